// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/notedraw.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <utility>
#include <vector>

namespace notedraw {

namespace {

StaffRange sanitised(StaffRange r)
{
    r.low = std::clamp(r.low, 0, KeyCount - 1);
    r.high = std::clamp(r.high, 0, KeyCount - 1);
    if (r.low > r.high)
        std::swap(r.low, r.high);
    return r;
}

bool whiteKey(const WhiteKeyTest& isWhite, int keyIndex)
{
    return isWhite ? isWhite(keyIndex) : isWhiteByPitchClass(keyIndex);
}

int nextRandom(const RandomSource& random)
{
    return std::clamp(random ? random() : cRandom(), 0, RandomMax);
}

// r / RandomMax × size, truncated: the classic scaling of a 15-bit draw.
int scaled(int r, int size)
{
    return static_cast<int>(r / static_cast<double>(RandomMax) * size);
}

} // namespace

int cRandom()
{
    // glibc's RAND_MAX is 2^31 − 1: keep the high bits, which are the better ones.
    constexpr long divisor = static_cast<long>(RAND_MAX) / (RandomMax + 1L) + 1;
    return static_cast<int>(std::rand() / divisor);
}

bool isWhiteByPitchClass(int keyIndex)
{
    switch (((keyIndex + 9) % 12 + 12) % 12) {
    case 1: case 3: case 6: case 8: case 10:
        return false;
    default:
        return true;
    }
}

int acceptableNoteCount(const StaffRange& range, bool useBlackKeys, const WhiteKeyTest& isWhite)
{
    const StaffRange r = sanitised(range);
    if (useBlackKeys)
        return r.size();
    int count = 0;
    for (int k = r.low; k <= r.high; ++k)
        count += whiteKey(isWhite, k) ? 1 : 0;
    return count;
}

DrawResult drawNextNote(const DrawRequest& request, const RandomSource& random)
{
    DrawResult result;
    if (request.grandStave) {
        const int size0 = sanitised(request.ranges[0]).size();
        const int size1 = sanitised(request.ranges[1]).size();
        // Staff 1 takes the values from size(0) up, so each staff's chance is its share.
        if (scaled(nextRandom(random), size0 + size1) >= size0)
            result.staff = 1;
    }

    const StaffRange range = sanitised(request.ranges[result.staff]);
    const int previous = request.previousNote;
    auto acceptable = [&](int k) {
        return range.contains(k) && k != previous
            && (request.useBlackKeys || whiteKey(request.isWhite, k));
    };

    // Notes with extra slots, in increasing order, and where their slots end.
    std::vector<int> weighted;
    std::vector<int> slotEnds;
    int extraSlots = 0;
    for (int k = range.low; k <= range.high; ++k) {
        int slots = 0;
        if (request.weights && (*request.weights)[result.staff][k] > 0)
            slots += WeightSlots;
        if (request.extraChances)
            slots += std::clamp((*request.extraChances)[std::size_t(result.staff)][std::size_t(k)], 0, MaxExtraChances);
        if (slots == 0)
            continue;
        extraSlots += slots;
        weighted.push_back(k);
        slotEnds.push_back(extraSlots);
    }
    const int widened = range.size() + extraSlots;

    for (int attempt = 0; attempt < MaxRejectedDraws; ++attempt) {
        const int value = range.low + scaled(nextRandom(random), widened);
        int note = value;
        if (value > range.high) {
            const int slot = value - range.high - 1;
            if (slot >= extraSlots)
                continue; // only the very top value of the generator lands here
            const auto owner = std::upper_bound(slotEnds.begin(), slotEnds.end(), slot);
            note = weighted[std::size_t(owner - slotEnds.begin())];
        }
        if (acceptable(note)) {
            result.keyIndex = note;
            return result;
        }
    }

    // Nothing accepted by chance: the acceptable note nearest the previous one.
    const int anchor = range.contains(previous) ? previous : range.low;
    for (int d = 0; d < KeyCount; ++d) {
        if (acceptable(anchor - d)) {
            result.keyIndex = anchor - d;
            return result;
        }
        if (acceptable(anchor + d)) {
            result.keyIndex = anchor + d;
            return result;
        }
    }
    result.keyIndex = (previous >= 0 && previous < KeyCount) ? previous : range.low;
    return result;
}

StaffRange normaliseRangeForDraw(int low, int high, bool useBlackKeys, const WhiteKeyTest& isWhite)
{
    StaffRange r = sanitised({low, high});
    bool upNext = true;
    while (acceptableNoteCount(r, useBlackKeys, isWhite) < 2) {
        const bool canUp = r.high < KeyCount - 1;
        const bool canDown = r.low > 0;
        if (!canUp && !canDown)
            break; // cannot happen on a full keyboard; keeps the loop finite regardless
        if ((upNext && canUp) || !canDown)
            ++r.high;
        else
            --r.low;
        upNext = !upNext;
    }
    return r;
}

void clearErrorWeights(ErrorWeightTable& weights)
{
    for (auto& staff : weights)
        std::fill(std::begin(staff), std::end(staff), 0);
}

void decreaseErrorWeights(ErrorWeightTable& weights)
{
    for (auto& staff : weights)
        for (int& w : staff)
            if (w > 0)
                --w;
}

void setErrorWeightOnWrongAnswer(ErrorWeightTable& weights, int staff, int keyIndex,
                                 int rangeSize, int nNotes)
{
    if (rangeSize > 0 && nNotes % rangeSize == 0)
        clearErrorWeights(weights);
    if (staff < 0 || staff > 1 || keyIndex < 0 || keyIndex >= KeyCount || rangeSize <= 0)
        return;
    weights[staff][keyIndex] = 2 * rangeSize;
}

} // namespace notedraw
