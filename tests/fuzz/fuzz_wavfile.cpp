// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes: the WAV reader either refuses them with a reason or gives finite
// samples, no more frames than the bytes hold, the same however it is read.
#include "pitch/wavfile.h"

#include <QBuffer>

#include <cmath>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    pitch::WavAudio audio;
    QString error;
    if (!pitch::parseWav(bytes, audio, &error)) {
        if (error.isEmpty())
            std::abort(); // refused without a reason
        return 0;
    }
    if (audio.channels < 1 || audio.sampleRate < 8000 || audio.bitsPerSample < 8)
        std::abort();
    if (audio.mono.size() * std::size_t(audio.channels) * std::size_t(audio.bitsPerSample / 8) > size)
        std::abort(); // more frames than the file holds
    for (float v : audio.mono)
        if (!std::isfinite(v))
            std::abort();

    // In small blocks, as pitchcheck reads: the same samples.
    QByteArray copy(bytes.data(), bytes.size());
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    pitch::WavReader reader;
    if (!reader.open(&buffer, &error))
        std::abort();
    std::vector<float> block;
    std::size_t at = 0;
    for (;;) {
        if (!reader.read(block, 97, &error))
            std::abort();
        if (block.empty())
            break;
        for (float v : block)
            if (at >= audio.mono.size() || audio.mono[at++] != v)
                std::abort();
    }
    if (at != audio.mono.size())
        std::abort();
    return 0;
}
