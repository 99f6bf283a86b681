// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a soundfont file: the reader either refuses them with a reason,
// or every preset it finds has samples inside the file, loops inside their
// samples (start never after end), and rates and tuning in range; a preset
// cut out reads whole, and every mapped point of its samples can be read.
#include "platform/synth/sf2file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

using mmsys::synth::Sf2File;
using mmsys::synth::Sf2Image;
using mmsys::synth::Sf2Preset;
using mmsys::synth::Sf2Zone;

namespace {

// The file lives in memory; the reader opens it by a path like any other.
int memoryFile()
{
    static const int fd = ::memfd_create("fuzz.sf2", 0);
    return fd;
}

void checkZone(const Sf2Zone& z, std::size_t links)
{
    if (z.link >= 0 && std::size_t(z.link) >= links)
        std::abort();
    for (const auto& [id, value] : z.generators) {
        if ((id == 51 && (value < -120 || value > 120)) || (id == 52 && (value < -99 || value > 99))
            || (id == 56 && (value < 0 || value > 1200)) || (id == 58 && (value < -1 || value > 127)))
            std::abort(); // tuning out of range
    }
}

void checkPreset(const Sf2File& file, const Sf2Preset& p)
{
    const std::uint64_t points = file.pointCount();
    const std::int16_t* mapped = file.samplePoints();
    for (const auto& z : p.zones)
        checkZone(z, p.instruments.size());
    for (const auto& inst : p.instruments)
        for (const auto& z : inst.zones)
            checkZone(z, p.samples.size());
    volatile std::int32_t sum = 0;
    for (const auto& s : p.samples) {
        if (s.start >= s.end || s.end > points || s.loopStart < s.start || s.loopStart > s.loopEnd
            || s.loopEnd > s.end)
            std::abort(); // a sample or loop outside the file, or a loop turned round
        if (s.rate < 400 || s.rate > 192000 || s.correction < -99 || s.correction > 99 || s.rootKey < 0
            || s.rootKey > 127)
            std::abort();
        if (mapped)
            for (std::uint32_t i = s.start; i < s.end; ++i)
                sum = sum + mapped[i];
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int fd = memoryFile();
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != ssize_t(size))
        std::abort();
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    std::string error;
    const auto file = Sf2File::open(path, &error);
    if (!file) {
        if (error.empty())
            std::abort(); // refused without a reason
        return 0;
    }
    for (int bank : {0, 128}) {
        for (int program = 0; program < 128; ++program) {
            if (!file->hasPreset(bank, program))
                continue;
            if (const auto preset = file->preset(bank, program))
                checkPreset(*file, *preset);
            if (const auto image = file->extract(bank, program)) {
                std::string bytes(std::size_t(image->size()), '\0');
                if (!image->read(0, bytes.data(), bytes.size()))
                    std::abort();
            }
        }
    }
    return 0;
}
