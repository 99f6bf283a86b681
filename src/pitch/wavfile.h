// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reading RIFF WAVE files for the pitch check: integer PCM of 8, 16, 24 and
// 32 bits, IEEE float of 32 and 64 bits, plain or WAVE_FORMAT_EXTENSIBLE,
// any number of channels (mixed to mono), rates the detector takes.
//
// The reader decodes a block at a time, so its memory does not grow with the
// file, and reads any input with a bound: a regular file, a pipe, a FIFO or a
// device such as /dev/zero ends with a result or a message.

#include <QByteArrayView>
#include <QString>

#include <memory>
#include <vector>

class QIODevice;

namespace pitch {

struct WavAudio {
    int sampleRate = 0;
    int channels = 0;
    int bitsPerSample = 0;
    bool isFloat = false;
    std::vector<float> mono; // the channels' mean, full scale ±1, always finite
};

// The longest recording taken, in seconds: a longer one is refused with a message.
constexpr int kMaxWavSeconds = 60 * 60;

class WavReader {
public:
    WavReader();
    ~WavReader();
    WavReader(const WavReader&) = delete;
    WavReader& operator=(const WavReader&) = delete;

    // Opens a file (any kind) and reads its header: false, with *error in
    // words for the user, when it cannot be read or is no WAV file taken here.
    bool open(const QString& path, QString* error = nullptr);
    // The same over a device opened for reading, which must outlive the reader.
    bool open(QIODevice* device, QString* error = nullptr);

    // The format read from the header (mono is empty).
    const WavAudio& format() const;

    // Decodes the next frames, at most maxFrames, into mono (replacing what it
    // held). Empty at the end of the sound. False, with *error, when the input
    // fails or runs on past maxSeconds.
    bool read(std::vector<float>& mono, std::size_t maxFrames, QString* error = nullptr);

    // The longest input taken (kMaxWavSeconds unless a test sets less).
    void setMaxSeconds(double seconds);

    struct Private;

private:
    std::unique_ptr<Private> d;
};

// Parses a whole file's bytes. On failure out is left as it was and *error
// (optional) says what is wrong, in words for the user.
bool parseWav(QByteArrayView bytes, WavAudio& out, QString* error = nullptr);

// Reads and parses a file.
bool readWav(const QString& path, WavAudio& out, QString* error = nullptr);

} // namespace pitch
