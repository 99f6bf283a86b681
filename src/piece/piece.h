// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/fraction.h"
#include "music/key.h"
#include "music/pitch.h"

#include <QString>

#include <vector>

namespace tonvero::piece {

// Times and lengths in a piece are in quarter notes, counted from its start.
using music::Fraction;

// A time signature as written; any meter, not only the ones a phrase uses.
struct TimeSig {
    int numerator = 4;
    int denominator = 4;

    Fraction barLength() const { return Fraction(numerator * 4, denominator); }
    bool operator==(const TimeSig&) const = default;
};

enum class ClefSign { G, F, C, Percussion, Tab, None };

// A clef taking effect on one staff of a part (staves 0-based).
struct ClefChange {
    int staff = 0;
    int bar = 0;
    Fraction onset; // from the start of the piece
    ClefSign sign = ClefSign::G;
    int line = 2;         // staff line from the bottom, 1..5
    int octaveChange = 0; // 8va (+1), 8vb (−1) clefs

    bool operator==(const ClefChange&) const = default;
};

struct Part {
    QString id;
    QString name;
    int staves = 1;
    // The key in effect in each bar; a part keeps its own (transposing instruments).
    std::vector<music::Key> keys;
    std::vector<ClefChange> clefs; // in the order they take effect
};

// The bars are shared by all parts: a bar is as long as its longest part.
struct Bar {
    Fraction start;
    Fraction length;
    TimeSig time; // as the first part that declares one writes it
};

// A sounding note: a tied chain is one note, rests and grace notes are none.
struct Note {
    int part = 0;
    int staff = 0;
    int bar = 0; // where it begins
    Fraction onset;
    Fraction duration;
    music::Pitch pitch; // as written
    int midi = 60;
    QString voice;
};

struct Piece {
    QString title;
    std::vector<Part> parts;
    std::vector<Bar> bars;
    // Ordered by onset, then part, staff and pitch.
    std::vector<Note> notes;
};

} // namespace tonvero::piece
