// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Practice that remembers: a Leitner-style box per note and reading clef,
// fed with the answers in the order they were given, and the extra draw
// chances that follow from the boxes.
//
//   wrong answer                 -> box 0
//   right but slow               -> one box down, but not below box 1
//   right and quick              -> one box up (at most one step per exercise)
//   extra chances of boxes 0..3  -> 3, 2, 1, 0
//
// A note never seen has no box and no extra chance. "Slow" is measured
// against the learner's own pace: more than 1.5 times the median of their
// last right answers in the same clef (once there are enough of them).
// Hint-mode answers do not move a box: the hint tells the note.

#include "history/answerrecord.h"
#include "history/notenames.h"

#include <array>
#include <cstdint>
#include <vector>

namespace tonvero::history {

// Extra draw chances by staff (0 single or upper, 1 lower) and key index.
using PracticeChances = std::array<std::array<int, KeyCount>, 2>;

struct PracticeAnswer {
    std::int64_t sessionId = 0;
    int clef = 0;
    int staff = 0;
    int keyIndex = 0;
    bool right = false;
    int responseMs = 0;
    ExerciseMode mode = ExerciseMode::Training;
};

class PracticeWeights {
public:
    static constexpr int LearnedBox = 3;
    static constexpr int NoBox = -1;
    // Right answers per clef the pace is measured over, and how many it needs.
    static constexpr int PaceWindow = 101;
    static constexpr int PaceMinimum = 20;
    // Slow: above this many tenths of the median.
    static constexpr int SlowTenths = 15;

    void add(const PracticeAnswer& answer);
    void clear();

    int box(int readingClef, int keyIndex) const;
    // 0..3 by the rule above.
    int extraChances(int readingClef, int keyIndex) const;
    // The tables for the draw under a clef setting (0..3): the grand staff's
    // staves take the treble and the bass boxes.
    PracticeChances chancesForClef(int clef) const;
    // Response time above which a right answer counts as slow; 0 while the
    // pace is not known yet.
    int slowThresholdMs(int readingClef) const;

private:
    struct Note {
        std::int8_t box = NoBox;
        std::int64_t lastRiseSession = 0;
        bool rose = false;
    };
    struct Pace {
        std::array<int, PaceWindow> recent{};
        int count = 0;
        int next = 0;
    };

    std::array<std::array<Note, KeyCount>, 3> m_notes{};
    std::array<Pace, 3> m_pace{};
};

} // namespace tonvero::history
