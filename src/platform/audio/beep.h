// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

// Plays a sine of frequencyHz for durationMs on the default audio output and
// returns when it has been played. Without an audio device, or for a tone
// that cannot be played (frequency at or above half the sample rate, zero
// length), it returns at once and says nothing. Tones are capped at 10 s.
void Beep(int frequencyHz, int durationMs);

// The samples Beep plays: mono signed 16-bit at sampleRate, durationMs long,
// faded in and out over a few milliseconds so the ends do not click.
std::vector<std::int16_t> beepSamples(int frequencyHz, int durationMs, int sampleRate);

} // namespace platform
