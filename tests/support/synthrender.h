// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Notes rendered through the built-in synthesizer into a buffer, as test
// fixtures for the pitch detector: real instrument samples, no files.

#include "platform/synth/midi_synth.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct NoteToRender {
    int note = 60;
    double startSec = 0.0;
    double durationSec = 0.5;
    int velocity = 100;
};

// The soundfont the fixtures use: $TONVERO_TEST_SOUNDFONT when set (to run
// the tests with each installed soundfont), else the program's own choice.
// Empty when none is installed.
std::string testSoundFont();

class SynthRenderer {
public:
    explicit SynthRenderer(const std::string& soundFont);
    bool isLoaded() const;
    std::string soundFont() const;
    static constexpr int sampleRate() { return mmsys::synth::kSampleRate; }

    // The notes played one after another on a General MIDI program (0-based),
    // mixed to mono, totalSec long. The synthesizer is silent again afterwards.
    std::vector<float> render(int program, const std::vector<NoteToRender>& notes, double totalSec);

private:
    // Program Change on channel 0; the one place that waits for the
    // synthesizer to have the instrument ready before the first Note On.
    void selectProgram(int program);
    void renderInto(std::vector<float>& out, std::size_t from, std::size_t to);

    mmsys::synth::SynthEngine m_engine;
    bool m_loaded = false;
};

} // namespace testsupport
