// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/fraction.h"

#include <vector>

namespace tonvero::music {

// The meters a generated line is written in; Other: any meter a piece brings.
enum class Meter { TwoFour, ThreeFour, FourFour, SixEight, Other };

struct TimeSignature {
    Meter meter = Meter::FourFour;
    // With Meter::Other only.
    int otherNumerator = 4;
    int otherDenominator = 4;

    // Any meter as written: one of the named ones when it is one, else Other.
    // Out-of-range figures read as 4/4.
    static TimeSignature of(int numerator, int denominator);

    int numerator() const;
    int denominator() const;
    // Whether the beat divides in three (6/8, 9/8, 12/8: dotted-quarter beats).
    bool isCompound() const;
    int beatsPerBar() const;
    Fraction beatLength() const;
    Fraction barLength() const;
    // How eighths are beamed, as consecutive spans from the start of the bar:
    // by the beat, but four eighths over a half bar in 4/4 and three over a
    // dotted quarter in 6/8, so that a beam never hides the middle of the bar.
    std::vector<Fraction> beamGroups() const;

    bool operator==(const TimeSignature&) const = default;
};

} // namespace tonvero::music
