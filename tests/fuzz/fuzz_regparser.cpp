// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes: the parser either refuses them with a reason or gives a store
// that is written out and read back unchanged.
#include "platform/registry/regformat.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using platform::RegistryFile;
    using platform::RegStore;

    RegStore store;
    platform::RegParseError error;
    if (!RegistryFile::parse(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)), store, error)) {
        if (error.message().isEmpty())
            std::abort(); // refused without a reason
        return 0;
    }
    const QByteArray text = RegistryFile::serialize(store);
    RegStore back;
    if (!RegistryFile::parse(text, back))
        std::abort(); // refuses its own output
    if (!(back == store))
        std::abort(); // loses or changes something on the way
    if (RegistryFile::serialize(back) != text)
        std::abort(); // output not stable
    return 0;
}
