// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The held-out set for the note detector: instruments of a soundfont the
// detector's fixtures never use, played in the conditions players meet.
// Nothing here is tuned against; the measurement tool reports on all of it,
// one test asserts a small part of it.
//
// Debian's soundfonts come in two families: Csound's bank shares most of its
// samples with TimGM6mb, MuseScore's with FluidR3. So the detector is tuned
// on FluidR3 only (its fixtures, and these instruments rendered from it with
// `tonvero_heldout render DIR --soundfont FluidR3_GM.sf2`), and TimGM6mb
// only ever plays the fixtures' seven instruments; of those, the piano is
// also in this set, so its held-out figure is not an unseen one.

#include "support/synthrender.h"

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport::heldout {

struct Instrument {
    const char* name;
    int program;   // General MIDI, 0-based
    int low, high; // sounding range
};

// Bowed strings, voice, reeds, brass, organ, piano, guitar and bass.
const std::vector<Instrument>& instruments();

enum class Condition {
    Clean,
    White20,
    White10,
    Pink20,
    Pink10,
    Room,
    Hum,
    Soft,
    FourASecond,
    Legato,
    SharpBy20,
    FlatBy20,
    Vibrato,
};
const std::vector<Condition>& conditions();
const char* conditionName(Condition c);

// A soundfont Debian ships that the detector's fixtures do not use, empty
// when none is installed.
std::string soundFont();

struct Take {
    std::vector<float> samples; // mono at SynthRenderer::sampleRate()
    std::vector<NoteToRender> notes;
};

// The notes of an instrument in a condition; `count` notes across its range
// (more for the fast and legato conditions, drawn from its middle).
Take render(SynthRenderer& synth, const Instrument& in, Condition c, int count = 10);

struct Heard {
    std::int64_t reportSample = 0; // when the note was taken
    int note = -1;
};

struct Score {
    int notes = 0;
    int right = 0;  // reported with the right pitch while the note sounds (first report)
    int extra = 0;  // any other report
    int octave = 0; // notes whose only report was an octave (or two) off
    std::vector<double> delaysMs; // from each right note's start to its report
    void add(const Score& other);
};

Score score(const std::vector<NoteToRender>& truth, const std::vector<Heard>& heard, int rate);

// What the trainer's detector reports, at its default settings.
std::vector<Heard> detectorNotes(const std::vector<float>& samples, int rate);

double percentile(std::vector<double> values, double p);

} // namespace testsupport::heldout
