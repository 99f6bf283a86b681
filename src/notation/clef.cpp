// SPDX-License-Identifier: GPL-3.0-or-later
#include "notation/clef.h"

#include <algorithm>

namespace tonvero::notation {

namespace {

// Diatonic index of each clef's bottom line: E4, G2, F3.
constexpr int BottomLine[3] = {4 * 7 + 2, 2 * 7 + 4, 3 * 7 + 3};

// The treble signatures; the other clefs write the same shape lower.
constexpr int TrebleSharps[7] = {8, 5, 9, 6, 3, 7, 4};
constexpr int TrebleFlats[7] = {4, 7, 3, 6, 2, 5, 1};
constexpr int ShapeOffset[3] = {0, -2, -1};

int clefIndex(StaffClef clef)
{
    return std::clamp(static_cast<int>(clef), 0, 2);
}

} // namespace

int staffPosition(const music::Pitch& pitch, StaffClef clef)
{
    return pitch.diatonicIndex() - BottomLine[clefIndex(clef)];
}

std::vector<int> keySignaturePositions(const music::Key& key, StaffClef clef)
{
    const int* shape = key.fifths() >= 0 ? TrebleSharps : TrebleFlats;
    std::vector<int> positions;
    for (int i = 0; i < key.accidentalCount(); ++i)
        positions.push_back(shape[i] + ShapeOffset[clefIndex(clef)]);
    return positions;
}

} // namespace tonvero::notation
