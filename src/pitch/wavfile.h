// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reading RIFF WAVE files for the pitch check: integer PCM of 8, 16, 24 and
// 32 bits, IEEE float of 32 and 64 bits, plain or WAVE_FORMAT_EXTENSIBLE,
// any number of channels (mixed to mono), rates the detector takes.

#include <QByteArrayView>
#include <QString>

#include <vector>

namespace pitch {

struct WavAudio {
    int sampleRate = 0;
    int channels = 0;
    int bitsPerSample = 0;
    bool isFloat = false;
    std::vector<float> mono; // the channels' mean, full scale ±1
};

// Parses a whole file's bytes. On failure out is left as it was and *error
// (optional) says what is wrong, in words for the user.
bool parseWav(QByteArrayView bytes, WavAudio& out, QString* error = nullptr);

// Reads and parses a file.
bool readWav(const QString& path, WavAudio& out, QString* error = nullptr);

} // namespace pitch
