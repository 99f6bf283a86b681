// SPDX-License-Identifier: GPL-3.0-or-later
#include "music/timesignature.h"

namespace tonvero::music {

namespace {

struct MeterData {
    int numerator;
    int denominator;
};

constexpr MeterData Meters[] = {{2, 4}, {3, 4}, {4, 4}, {6, 8}};

bool validDenominator(int d)
{
    return d == 1 || d == 2 || d == 4 || d == 8 || d == 16 || d == 32;
}

// A stored value out of range reads as 4/4.
MeterData data(const TimeSignature& t)
{
    const int i = static_cast<int>(t.meter);
    if (i >= 0 && i < 4)
        return Meters[i];
    if (t.meter == Meter::Other && t.otherNumerator >= 1 && t.otherNumerator <= 32
        && validDenominator(t.otherDenominator))
        return {t.otherNumerator, t.otherDenominator};
    return Meters[2];
}

} // namespace

TimeSignature TimeSignature::of(int numerator, int denominator)
{
    for (int i = 0; i < 4; ++i) {
        if (Meters[i].numerator == numerator && Meters[i].denominator == denominator)
            return TimeSignature{static_cast<Meter>(i)};
    }
    if (numerator < 1 || numerator > 32 || !validDenominator(denominator))
        return TimeSignature{};
    return TimeSignature{Meter::Other, numerator, denominator};
}

int TimeSignature::numerator() const { return data(*this).numerator; }
int TimeSignature::denominator() const { return data(*this).denominator; }

bool TimeSignature::isCompound() const
{
    const MeterData d = data(*this);
    return d.denominator >= 8 && d.numerator > 3 && d.numerator % 3 == 0;
}

int TimeSignature::beatsPerBar() const
{
    const MeterData d = data(*this);
    return isCompound() ? d.numerator / 3 : d.numerator;
}

Fraction TimeSignature::beatLength() const
{
    const MeterData d = data(*this);
    return isCompound() ? Fraction(3, d.denominator) : Fraction(1, d.denominator);
}

Fraction TimeSignature::barLength() const
{
    return Fraction(numerator(), denominator());
}

std::vector<Fraction> TimeSignature::beamGroups() const
{
    const MeterData d = data(*this);
    // 4/4 beams by half bars, so that a beam never hides the middle of the bar.
    if (d.numerator == 4 && d.denominator == 4)
        return {Fraction(1, 2), Fraction(1, 2)};
    // Beats shorter than an eighth (3/16, 2/32) are beamed by the eighth.
    Fraction beat = beatLength();
    int count = beatsPerBar();
    if (beat < Fraction(1, 8)) {
        beat = Fraction(1, 8);
        const Fraction bar(d.numerator, d.denominator);
        std::vector<Fraction> groups;
        Fraction at;
        while (at < bar) {
            const Fraction left = bar - at;
            groups.push_back(left < beat ? left : beat);
            at = at + groups.back();
        }
        return groups;
    }
    return std::vector<Fraction>(std::size_t(count), beat);
}

} // namespace tonvero::music
