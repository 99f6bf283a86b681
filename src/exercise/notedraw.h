// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <random>

// The random draw of the next exercise note and the bookkeeping of the error
// weights that make recently missed notes come back more often. Pure logic:
// everything the draw needs is passed in, so it runs without a window.
namespace notedraw {

constexpr int KeyCount = 88;
// The generator range the draw is scaled for (values 0..RandomMax).
constexpr int RandomMax = 32767;
// Extra slots each weighted note gets in the draw.
constexpr int WeightSlots = 4;
// Rejected draws after which the draw stops gambling and scans instead.
constexpr int MaxRejectedDraws = 10000;
// Cap on one note's extra chances from an ExtraChanceTable.
constexpr int MaxExtraChances = 16;

// Error weights by staff (0 upper or single, 1 lower) and key index; the
// main window's anErrorWeight is passed as it is.
using ErrorWeightTable = int[2][KeyCount];
// Extra slots in the draw by staff and key index, on top of the error weights
// (the practice remembered from earlier exercises).
using ExtraChanceTable = std::array<std::array<int, KeyCount>, 2>;
// Returns a value in 0..RandomMax.
using RandomSource = std::function<int()>;
using WhiteKeyTest = std::function<bool(int keyIndex)>;

// One staff's note range in key indexes, both ends included.
struct StaffRange {
    int low = 0;
    int high = 0;
    int size() const { return high - low + 1; }
    bool contains(int keyIndex) const { return keyIndex >= low && keyIndex <= high; }
    bool operator==(const StaffRange&) const = default;
};

struct DrawRequest {
    std::array<StaffRange, 2> ranges{};
    bool grandStave = false;     // clef 3: two staves, range 1 for the lower one
    bool useBlackKeys = true;
    WhiteKeyTest isWhite;        // empty: decided by pitch class
    int previousNote = -1;       // never drawn again; −1 before the first draw
    const ErrorWeightTable* weights = nullptr;
    const ExtraChanceTable* extraChances = nullptr; // null or all zero: the plain draw
};

struct DrawResult {
    int keyIndex = -1;
    int staff = 0;
    bool operator==(const DrawResult&) const = default;
};

// The C library generator scaled to 0..RandomMax whatever RAND_MAX is.
int cRandom();

// A reproducible source for tests and benchmarks (std::mt19937 is fully specified).
class SeededRandom {
public:
    explicit SeededRandom(std::uint32_t seed) : m_engine(seed) {}
    int operator()() { return static_cast<int>(m_engine() >> 17); }

private:
    std::mt19937 m_engine;
};

// White key by pitch class, (k + 9) mod 12 not in {1, 3, 6, 8, 10}.
bool isWhiteByPitchClass(int keyIndex);

// Draws the staff (grand stave only) and a note of its range: never the previous
// note, no black key when they are off, weighted notes of the range get
// WeightSlots extra chances each, and each note of the range its extra chances
// (0..MaxExtraChances) from the table. Always ends: after MaxRejectedDraws rejections
// it takes the acceptable note nearest the previous one; with none at all it
// returns the previous note (or the range's low key before the first draw).
DrawResult drawNextNote(const DrawRequest& request, const RandomSource& random = cRandom);

// Clamps the range to the keyboard, orders its ends and widens it (up first,
// then down, alternately) until it holds at least two acceptable notes, so the
// draw always has a note other than the current one.
StaffRange normaliseRangeForDraw(int low, int high, bool useBlackKeys,
                                 const WhiteKeyTest& isWhite = {});

// Acceptable notes of a range (in range and allowed by the black-key setting).
int acceptableNoteCount(const StaffRange& range, bool useBlackKeys,
                        const WhiteKeyTest& isWhite = {});

// Zeroes every weight of both staffs.
void clearErrorWeights(ErrorWeightTable& weights);
// Lowers every positive weight of both staffs by one (a right answer, a resume).
void decreaseErrorWeights(ErrorWeightTable& weights);
// A wrong answer on keyIndex of staff: clears all weights when nNotes is a
// multiple of rangeSize, then gives the note the weight 2 × rangeSize.
void setErrorWeightOnWrongAnswer(ErrorWeightTable& weights, int staff, int keyIndex,
                                 int rangeSize, int nNotes);

} // namespace notedraw
