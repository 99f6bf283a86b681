// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/fraction.h"

#include <vector>

namespace tonvero::music {

// The meters a line is written in.
enum class Meter { TwoFour, ThreeFour, FourFour, SixEight };

struct TimeSignature {
    Meter meter = Meter::FourFour;

    int numerator() const;
    int denominator() const;
    // Whether the beat divides in three (6/8: two dotted-quarter beats).
    bool isCompound() const { return meter == Meter::SixEight; }
    int beatsPerBar() const;
    Fraction beatLength() const;
    Fraction barLength() const;
    // How eighths are beamed, as consecutive spans from the start of the bar:
    // by the beat, but four eighths over a half bar in 4/4 and three over a
    // dotted quarter in 6/8, so that a beam never hides the middle of the bar.
    const std::vector<Fraction>& beamGroups() const;

    bool operator==(const TimeSignature&) const = default;
};

} // namespace tonvero::music
