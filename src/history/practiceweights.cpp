// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/practiceweights.h"

#include <algorithm>

namespace tonvero::history {

void PracticeWeights::clear()
{
    *this = PracticeWeights();
}

int PracticeWeights::slowThresholdMs(int readingClef) const
{
    if (readingClef < 0 || readingClef > 2)
        return 0;
    const Pace& pace = m_pace[readingClef];
    if (pace.count < PaceMinimum)
        return 0;
    std::array<int, PaceWindow> sorted = pace.recent;
    auto end = sorted.begin() + pace.count;
    auto middle = sorted.begin() + pace.count / 2;
    std::nth_element(sorted.begin(), middle, end);
    return int(std::int64_t(*middle) * SlowTenths / 10);
}

void PracticeWeights::add(const PracticeAnswer& a)
{
    const int clef = readingClef(a.clef, a.staff);
    if (clef < 0 || a.keyIndex < 0 || a.keyIndex >= KeyCount || a.mode == ExerciseMode::Hint)
        return;
    Note& note = m_notes[clef][a.keyIndex];
    const int current = note.box == NoBox ? LearnedBox : note.box;
    if (!a.right) {
        note.box = 0;
        return;
    }

    const int threshold = slowThresholdMs(clef);
    const int response = std::max(a.responseMs, 0);
    Pace& pace = m_pace[clef];
    pace.recent[pace.next] = response;
    pace.next = (pace.next + 1) % PaceWindow;
    pace.count = std::min(pace.count + 1, PaceWindow);

    if (threshold > 0 && response > threshold) {
        note.box = std::int8_t(std::max(1, current - 1));
        return;
    }
    if (note.box == NoBox)
        return; // a note first met and read well needs no extra chance
    // Spacing: one step up per exercise, so a note is learned only over several of them.
    if (note.rose && note.lastRiseSession == a.sessionId)
        return;
    if (current < LearnedBox) {
        note.box = std::int8_t(current + 1);
        note.rose = true;
        note.lastRiseSession = a.sessionId;
    }
}

int PracticeWeights::box(int readingClef, int keyIndex) const
{
    if (readingClef < 0 || readingClef > 2 || keyIndex < 0 || keyIndex >= KeyCount)
        return NoBox;
    return m_notes[readingClef][keyIndex].box;
}

int PracticeWeights::extraChances(int readingClef, int keyIndex) const
{
    const int b = box(readingClef, keyIndex);
    return b == NoBox ? 0 : LearnedBox - std::min(b, int(LearnedBox));
}

PracticeChances PracticeWeights::chancesForClef(int clef) const
{
    PracticeChances chances{};
    for (int staff = 0; staff < 2; ++staff) {
        const int reading = readingClef(clef, staff);
        if (reading < 0)
            continue;
        for (int k = 0; k < KeyCount; ++k)
            chances[staff][k] = extraChances(reading, k);
    }
    return chances;
}

} // namespace tonvero::history
