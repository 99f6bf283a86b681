// SPDX-License-Identifier: GPL-3.0-or-later
#include "music/pitch.h"

#include "music/key.h"

#include <cstdlib>

namespace tonvero::music {

namespace {

constexpr int StepSemitones[7] = {0, 2, 4, 5, 7, 9, 11};

int floorDiv(int a, int b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

int positiveMod(int a, int b)
{
    const int m = a % b;
    return m < 0 ? m + b : m;
}

} // namespace

int Pitch::naturalSemitone(Step step)
{
    return StepSemitones[static_cast<int>(step)];
}

int Pitch::midi() const
{
    return 12 * (octave + 1) + naturalSemitone(step) + alter;
}

Pitch Pitch::fromDiatonic(int diatonicIndex, int alter)
{
    return {static_cast<Step>(positiveMod(diatonicIndex, 7)), alter, floorDiv(diatonicIndex, 7)};
}

Pitch Pitch::fromMidi(int midi, const Key& key)
{
    const int pitchClass = positiveMod(midi, 12);
    // The minor's raised sixth and seventh read as raised degrees, not as
    // lowered neighbours (G♯ in A minor, never A♭).
    const bool minor = key.mode() == Mode::Minor;
    const int tonicClass = positiveMod(key.tonic().midi(), 12);
    const bool raise = key.fifths() >= 0 || (minor && (pitchClass == positiveMod(tonicClass - 1, 12)
                                                       || pitchClass == positiveMod(tonicClass + 9, 12)));
    Pitch best;
    int bestCost = 1 << 20;
    for (int s = 0; s < 7; ++s) {
        const Step step = static_cast<Step>(s);
        int alter = positiveMod(pitchClass - StepSemitones[s] + 6, 12) - 6;
        if (alter < -2 || alter > 2)
            continue;
        const int fromKey = alter - key.alterFor(step);
        int cost = std::abs(fromKey) * 4;
        if (fromKey > 0 && !raise)
            cost += 1;
        if (fromKey < 0 && raise)
            cost += 1;
        if (std::abs(alter) == 2)
            cost += 3;
        if (cost < bestCost) {
            bestCost = cost;
            // The octave of the letter: C♭5 sounds as B4, B♯3 as C4.
            const int octave = floorDiv(midi - StepSemitones[s] - alter, 12) - 1;
            best = Pitch{step, alter, octave};
        }
    }
    return best;
}

QString Pitch::asciiName() const
{
    static const char Letters[] = "CDEFGAB";
    QString name{QChar(QLatin1Char(Letters[static_cast<int>(step)]))};
    switch (alter) {
    case -2: name += QStringLiteral("bb"); break;
    case -1: name += QLatin1Char('b'); break;
    case 1: name += QLatin1Char('#'); break;
    case 2: name += QLatin1Char('x'); break;
    default: break;
    }
    return name + QString::number(octave);
}

} // namespace tonvero::music
