// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the trainer itself is sounding (its synthesizer's notes, its beep),
// so that a microphone in front of the speakers does not take it for an
// answer. A heard note is ours when it lies on one of our pitches, an octave
// below it (the detector's commonest slip) or on one of its first harmonics,
// while that pitch sounds or within a tail after it ended (speakers, room
// and capture lag behind the moment a sound was started or silenced).
// Times are milliseconds on any clock the caller keeps steady.

#include <cstdint>
#include <vector>

namespace pitch {

class OwnSound {
public:
    // How long a silenced sound still counts as ours.
    static constexpr int kTailMs = 600;

    // Our output sounds MIDI note `note` (equal temperament, A4 = 440 Hz, as
    // the synthesizer plays it) until noteOff.
    void noteOn(int note, std::int64_t nowMs);
    void noteOff(int note, std::int64_t nowMs);
    // Everything our output still sounds was silenced at once.
    void allNotesOff(std::int64_t nowMs);
    // A tone of its own length, such as the error beep.
    void tone(double frequencyHz, int durationMs, std::int64_t nowMs);

    // Whether a heard note (MIDI, at the detector's tuning a4Hz) is ours at nowMs.
    bool isOwn(int heardNote, std::int64_t nowMs, double a4Hz = 440.0) const;

    // Forgets sounds whose tail has passed.
    void expire(std::int64_t nowMs);

private:
    struct Sound {
        double note = 0.0;           // fractional MIDI note at A4 = 440 Hz
        int key = -1;                // the MIDI note for noteOn/noteOff, -1 for a tone
        int count = 0;               // how many noteOns of it still sound
        std::int64_t startMs = 0;    // when it began
        std::int64_t endMs = -1;     // when it stopped (or stops); -1 while it sounds
    };
    std::vector<Sound> m_sounds;
};

} // namespace pitch
