// SPDX-License-Identifier: GPL-3.0-or-later
#include "music/timesignature.h"

namespace tonvero::music {

namespace {

struct MeterData {
    int numerator;
    int denominator;
    int beats;
    Fraction beat;
};

constexpr MeterData Meters[] = {
    {2, 4, 2, Fraction(1, 4)},
    {3, 4, 3, Fraction(1, 4)},
    {4, 4, 4, Fraction(1, 4)},
    {6, 8, 2, Fraction(3, 8)},
};

// A stored value out of range reads as 4/4.
int index(Meter m)
{
    const int i = static_cast<int>(m);
    return i >= 0 && i < 4 ? i : 2;
}

const MeterData& data(Meter m)
{
    return Meters[index(m)];
}

} // namespace

int TimeSignature::numerator() const { return data(meter).numerator; }
int TimeSignature::denominator() const { return data(meter).denominator; }
int TimeSignature::beatsPerBar() const { return data(meter).beats; }
Fraction TimeSignature::beatLength() const { return data(meter).beat; }

Fraction TimeSignature::barLength() const
{
    return Fraction(numerator(), denominator());
}

const std::vector<Fraction>& TimeSignature::beamGroups() const
{
    static const std::vector<Fraction> Groups[] = {
        {Fraction(1, 4), Fraction(1, 4)},
        {Fraction(1, 4), Fraction(1, 4), Fraction(1, 4)},
        {Fraction(1, 2), Fraction(1, 2)},
        {Fraction(3, 8), Fraction(3, 8)},
    };
    return Groups[index(meter)];
}

} // namespace tonvero::music
