// SPDX-License-Identifier: GPL-3.0-or-later
#include "music/phrasegenerator.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdlib>

namespace tonvero::music {

namespace {

constexpr LevelProfile Profiles[3] = {
    {1, {0, 70, 30, 0, 0, 0, 0, 0}, 0.0, 0.0},
    {3, {0, 50, 24, 12, 8, 6, 0, 0}, 0.0, 0.0},
    {7, {0, 40, 20, 12, 10, 7, 4, 7}, 0.08, 1.0},
};

// A leap of a fourth or more is answered by a step the other way.
constexpr int LargeLeap = 3;
constexpr int MaxExtraChances = 8;
constexpr double ChordShare = 0.5;
constexpr int MaxChordSpan = 7; // an octave: one hand

struct CellNote {
    NoteValue value;
    int dots;
    bool rest;
};

// A rhythm filling whole beats, with its weight at each level (0: not written there).
struct Cell {
    int beats;
    std::vector<CellNote> notes;
    std::array<int, 3> weights;
};

bool hasRest(const Cell& c)
{
    return std::any_of(c.notes.begin(), c.notes.end(), [](const CellNote& n) { return n.rest; });
}

const std::vector<Cell>& simpleCells()
{
    using V = NoteValue;
    static const std::vector<Cell> cells = {
        {1, {{V::Quarter, 0, false}}, {6, 5, 4}},
        {2, {{V::Half, 0, false}}, {4, 3, 2}},
        {1, {{V::Eighth, 0, false}, {V::Eighth, 0, false}}, {0, 4, 4}},
        {2, {{V::Quarter, 1, false}, {V::Eighth, 0, false}}, {0, 2, 2}},
        {3, {{V::Half, 1, false}}, {0, 1, 1}},
        {4, {{V::Whole, 0, false}}, {0, 0, 1}},
        {1, {{V::Quarter, 0, true}}, {0, 0, 1}},
        {1, {{V::Eighth, 0, true}, {V::Eighth, 0, false}}, {0, 0, 1}},
    };
    return cells;
}

const std::vector<Cell>& compoundCells()
{
    using V = NoteValue;
    static const std::vector<Cell> cells = {
        {1, {{V::Quarter, 1, false}}, {5, 4, 3}},
        {1, {{V::Quarter, 0, false}, {V::Eighth, 0, false}}, {5, 4, 3}},
        {2, {{V::Half, 1, false}}, {2, 1, 1}},
        {1, {{V::Eighth, 0, false}, {V::Eighth, 0, false}, {V::Eighth, 0, false}}, {0, 4, 4}},
        {1, {{V::Quarter, 0, true}, {V::Eighth, 0, false}}, {0, 0, 1}},
        {1, {{V::Eighth, 0, true}, {V::Eighth, 0, false}, {V::Eighth, 0, false}}, {0, 0, 1}},
    };
    return cells;
}

// Our own draws on the generator's raw output: the standard distributions
// differ between libraries, the engine's sequence does not.
class Draw {
public:
    explicit Draw(std::mt19937& engine) : m_engine(engine) {}
    int below(int n) { return n <= 1 ? 0 : static_cast<int>(m_engine() % static_cast<unsigned>(n)); }
    double unit() { return m_engine() / 4294967296.0; }
    bool chance(double p) { return p > 0 && unit() < p; }
    // An index by weight; −1 when every weight is zero.
    int weighted(const std::vector<int>& weights)
    {
        long long total = 0;
        for (int w : weights)
            total += std::max(w, 0);
        if (total <= 0)
            return -1;
        long long r = static_cast<long long>(unit() * static_cast<double>(total));
        for (int i = 0; i < static_cast<int>(weights.size()); ++i) {
            r -= std::max(weights[i], 0);
            if (r < 0)
                return i;
        }
        return static_cast<int>(weights.size()) - 1;
    }

private:
    std::mt19937& m_engine;
};

KeyRange normalised(KeyRange r)
{
    r.low = std::clamp(r.low, 0, KeyCount - 1);
    r.high = std::clamp(r.high, 0, KeyCount - 1);
    if (r.low > r.high)
        std::swap(r.low, r.high);
    return r;
}

// The notes a staff may use, low to high: the scale's notes in its range, or
// every key of the range when the scale has none there.
std::vector<Pitch> staffNotes(const Key& key, KeyRange range)
{
    std::vector<Pitch> notes;
    const int lowDiatonic = Pitch::fromMidi(range.low + FirstMidiNote, key).diatonicIndex() - 1;
    const int highDiatonic = Pitch::fromMidi(range.high + FirstMidiNote, key).diatonicIndex() + 1;
    for (int d = lowDiatonic; d <= highDiatonic; ++d) {
        Pitch p = Pitch::fromDiatonic(d, 0);
        p.alter = key.alterFor(p.step);
        if (p.keyIndex() >= range.low && p.keyIndex() <= range.high)
            notes.push_back(p);
    }
    if (notes.empty())
        for (int k = range.low; k <= range.high; ++k)
            notes.push_back(Pitch::fromMidi(k + FirstMidiNote, key));
    return notes;
}

bool isStable(const Key& key, const Pitch& p)
{
    const int degree = key.degreeOf(p.step);
    return p.alter == key.alterFor(p.step) && (degree == 0 || degree == 2 || degree == 4);
}

struct Slot {
    Duration duration;
    bool rest = false;
    int staff = 0;
};

Duration durationOfBeats(const TimeSignature& time, int beats)
{
    const std::optional<Duration> d = Duration::fromLength(time.beatLength() * beats);
    return d.value_or(Duration{NoteValue::Quarter, 0});
}

// Whether a cell may start on a beat: within the bar and, in 4/4, not across
// the middle of the bar unless it starts the bar.
bool fits(const TimeSignature& time, int beat, int beats, int limit)
{
    if (beat + beats > limit)
        return false;
    if (time.meter == Meter::FourFour && beats >= 2 && beat != 0 && beat < 2 && beat + beats > 2)
        return false;
    return true;
}

std::vector<std::vector<Slot>> makeRhythm(const PhraseRequest& request, int bars, Draw& draw)
{
    const TimeSignature& time = request.time;
    const std::vector<Cell>& cells = time.isCompound() ? compoundCells() : simpleCells();
    const int level = static_cast<int>(request.level);
    const LevelProfile& profile = Profiles[level];
    const int beatsPerBar = time.beatsPerBar();
    // The line ends on a long note: two beats, or one when a single short bar is all there is.
    const int finalBeats = (bars == 1 && beatsPerBar == 2) ? 1 : 2;
    int startStaff = request.grandStaff ? draw.below(2) : 0;

    std::vector<std::vector<Slot>> rhythm(bars);
    for (int b = 0; b < bars; ++b) {
        const int staff = request.grandStaff ? (startStaff + b) % 2 : 0;
        const bool last = b == bars - 1;
        const int limit = last ? beatsPerBar - finalBeats : beatsPerBar;
        int beat = 0;
        bool restInBar = false; // one rest a bar at most, so a bar never falls silent
        while (beat < limit) {
            std::vector<int> weights;
            for (const Cell& c : cells) {
                int w = c.weights[level];
                if (hasRest(c)) {
                    const bool first = b == 0 && beat == 0;
                    w = (request.rests && !first && !restInBar) ? static_cast<int>(w * profile.restShare) : 0;
                }
                weights.push_back(fits(time, beat, c.beats, limit) ? w : 0);
            }
            const int i = draw.weighted(weights);
            if (i < 0) { // cannot happen with the one-beat cells; keep the bar full anyway
                rhythm[b].push_back({durationOfBeats(time, 1), false, staff});
                ++beat;
                continue;
            }
            for (const CellNote& n : cells[i].notes)
                rhythm[b].push_back({Duration{n.value, n.dots}, n.rest, staff});
            restInBar = restInBar || hasRest(cells[i]);
            beat += cells[i].beats;
        }
        if (last)
            rhythm[b].push_back({durationOfBeats(time, finalBeats), false, staff});
    }
    return rhythm;
}

struct Walker {
    const PhraseRequest& request;
    const LevelProfile& profile;
    std::array<std::vector<Pitch>, 2> notes;
    Draw& draw;

    int chancesOf(int staff, const Pitch& p) const
    {
        if (!request.weights)
            return 1;
        const int k = std::clamp(p.keyIndex(), 0, KeyCount - 1);
        return 1 + std::clamp((*request.weights)[staff][k], 0, MaxExtraChances);
    }

    // A note of the tonic chord, nearer the middle of the range more likely.
    int firstNote(int staff)
    {
        const std::vector<Pitch>& list = notes[staff];
        std::vector<int> weights(list.size(), 0);
        const int middle = static_cast<int>(list.size()) / 2;
        bool any = false;
        for (size_t i = 0; i < list.size(); ++i)
            if (isStable(request.key, list[i])) {
                const int distance = std::abs(static_cast<int>(i) - middle);
                weights[i] = std::max(1, 8 - distance) * chancesOf(staff, list[i]);
                any = true;
            }
        if (!any)
            return draw.below(static_cast<int>(list.size()));
        return draw.weighted(weights);
    }

    // The next note from the current one; forcedDirection ≠ 0 asks for a step that way.
    int next(int staff, int current, int forcedDirection, bool largeAllowed)
    {
        const std::vector<Pitch>& list = notes[staff];
        const int from = list[current].diatonicIndex();
        if (forcedDirection != 0) {
            const int j = current + forcedDirection;
            if (j >= 0 && j < static_cast<int>(list.size())
                && list[j].diatonicIndex() - from == forcedDirection)
                return j;
        }
        std::vector<int> weights(list.size(), 0);
        for (size_t j = 0; j < list.size(); ++j) {
            const int steps = std::abs(list[j].diatonicIndex() - from);
            if (steps > 7 || (!largeAllowed && steps >= LargeLeap))
                continue;
            weights[j] = profile.intervalWeights[steps] * chancesOf(staff, list[j]);
        }
        const int j = draw.weighted(weights);
        if (j >= 0)
            return j;
        // A range too small for the level's intervals: the nearest other note.
        if (list.size() > 1)
            return current + 1 < static_cast<int>(list.size()) ? current + 1 : current - 1;
        return current;
    }

    // The nearest note of the tonic chord; the tonic wins a tie.
    int finalNote(int staff, int current)
    {
        const std::vector<Pitch>& list = notes[staff];
        int best = -1;
        int bestCost = 1 << 20;
        for (size_t i = 0; i < list.size(); ++i) {
            if (!isStable(request.key, list[i]))
                continue;
            const int cost = std::abs(list[i].diatonicIndex() - list[current].diatonicIndex()) * 2
                + (request.key.degreeOf(list[i].step) == 0 ? 0 : 1);
            if (cost < bestCost) {
                bestCost = cost;
                best = static_cast<int>(i);
            }
        }
        return best >= 0 ? best : current;
    }

    // Notes under (or, without room, over) the melody note: a third to a sixth
    // first, then thirds and fourths, within an octave.
    std::vector<Note> chord(int staff, int top, int size)
    {
        const std::vector<Pitch>& list = notes[staff];
        static constexpr int FirstIntervals[3][4] = {{2, 4, 2, 4}, {2, 3, 4, 5}, {1, 2, 3, 5}};
        static constexpr int NextIntervals[2] = {2, 3};
        std::vector<int> chosen{top};
        for (int direction : {-1, 1}) {
            chosen.resize(1);
            int at = top;
            for (int n = 1; n < size; ++n) {
                const int steps = n == 1 ? FirstIntervals[static_cast<int>(request.level)][draw.below(4)]
                                         : NextIntervals[draw.below(2)];
                const int j = at + direction * steps;
                if (j < 0 || j >= static_cast<int>(list.size())
                    || std::abs(list[j].diatonicIndex() - list[top].diatonicIndex()) > MaxChordSpan)
                    break;
                chosen.push_back(j);
                at = j;
            }
            if (static_cast<int>(chosen.size()) == size)
                break;
        }
        std::sort(chosen.begin(), chosen.end());
        chosen.erase(std::unique(chosen.begin(), chosen.end()), chosen.end());
        std::vector<Note> result;
        for (int i : chosen)
            result.push_back(Note{list[i], staff});
        return result;
    }
};

} // namespace

const LevelProfile& levelProfile(Level level)
{
    const int i = std::clamp(static_cast<int>(level), 0, 2);
    return Profiles[i];
}

QString levelName(Level level)
{
    static const char* const Names[3] = {
        QT_TRANSLATE_NOOP("tonvero::music::Level", "лёгкий"),
        QT_TRANSLATE_NOOP("tonvero::music::Level", "средний"),
        QT_TRANSLATE_NOOP("tonvero::music::Level", "трудный"),
    };
    return QCoreApplication::translate("tonvero::music::Level",
                                       Names[std::clamp(static_cast<int>(level), 0, 2)]);
}

Key drawKey(const std::vector<Key>& keys, Level level, std::mt19937& random)
{
    if (keys.empty())
        return Key{};
    const int maxFifths = levelProfile(level).maxFifths;
    std::vector<Key> allowed;
    for (const Key& k : keys)
        if (k.accidentalCount() <= maxFifths)
            allowed.push_back(k);
    if (allowed.empty())
        return *std::min_element(keys.begin(), keys.end(), [](const Key& a, const Key& b) {
            return a.accidentalCount() < b.accidentalCount();
        });
    Draw draw(random);
    return allowed[draw.below(static_cast<int>(allowed.size()))];
}

Phrase generatePhrase(const PhraseRequest& request, std::uint32_t seed)
{
    std::mt19937 engine(seed);
    return generatePhrase(request, engine);
}

Phrase generatePhrase(const PhraseRequest& rawRequest, std::mt19937& random)
{
    PhraseRequest request = rawRequest;
    request.level = static_cast<Level>(std::clamp(static_cast<int>(request.level), 0, 2));
    const int bars = std::clamp(request.bars, 1, 4);
    const int maxChord = std::clamp(request.maxChordNotes, 1, 4);
    Draw draw(random);

    Walker walker{request, levelProfile(request.level), {}, draw};
    for (int s = 0; s < 2; ++s)
        walker.notes[s] = staffNotes(request.key, normalised(request.ranges[s]));

    const std::vector<std::vector<Slot>> rhythm = makeRhythm(request, bars, draw);
    // The note slots in order, to know what follows each one.
    std::vector<const Slot*> noteSlots;
    for (const auto& bar : rhythm)
        for (const Slot& s : bar)
            if (!s.rest)
                noteSlots.push_back(&s);

    Phrase phrase;
    phrase.key = request.key;
    phrase.time = request.time;
    phrase.bars.resize(bars);

    int current = -1;
    int staff = -1;
    int forced = 0;
    size_t noteNumber = 0;
    for (int b = 0; b < bars; ++b) {
        for (const Slot& slot : rhythm[b]) {
            Event event;
            event.duration = slot.duration;
            event.restStaff = slot.staff;
            if (slot.rest) {
                phrase.bars[b].events.push_back(event);
                continue;
            }
            const bool final = noteNumber + 1 == noteSlots.size();
            // What comes next decides what this note may do: before the last note
            // or a change of staff there is no room to answer a leap or a chromatic note.
            // Before the last note or a change of staff there is no room to
            // answer a leap or a chromatic note with a step.
            const bool roomToAnswer = noteNumber + 2 < noteSlots.size()
                && noteSlots[noteNumber + 1]->staff == slot.staff;
            bool walked = false;
            if (slot.staff != staff) {
                current = walker.firstNote(slot.staff);
                staff = slot.staff;
                forced = 0;
            } else if (!final) {
                const int before = current;
                current = walker.next(staff, current, forced, roomToAnswer);
                const int leap = walker.notes[staff][current].diatonicIndex()
                    - walker.notes[staff][before].diatonicIndex();
                forced = std::abs(leap) >= LargeLeap ? (leap > 0 ? -1 : 1) : 0;
                walked = true;
            }
            if (final)
                current = walker.finalNote(staff, current);

            Pitch melody = walker.notes[staff][current];
            const std::vector<Pitch>& list = walker.notes[staff];
            if (walked && roomToAnswer && forced == 0 && draw.chance(walker.profile.chromaticShare)) {
                // A semitone off the scale, then on by step the way it leans.
                const int direction = draw.below(2) == 0 ? 1 : -1;
                const int target = current + direction;
                Pitch altered = melody;
                altered.alter += direction;
                if (std::abs(altered.alter) <= 1 && target >= 0 && target < static_cast<int>(list.size())
                    && list[target].diatonicIndex() - melody.diatonicIndex() == direction
                    && altered.keyIndex() >= 0 && altered.keyIndex() < KeyCount
                    && altered.midi() != list[target].midi()) {
                    const KeyRange range = normalised(request.ranges[staff]);
                    if (altered.keyIndex() >= range.low && altered.keyIndex() <= range.high) {
                        melody = altered;
                        forced = direction;
                    }
                }
            }

            if (maxChord >= 2 && draw.chance(ChordShare)) {
                const int size = 2 + draw.below(maxChord - 1);
                event.notes = walker.chord(staff, current, size);
                for (Note& n : event.notes)
                    if (n.pitch.diatonicIndex() == melody.diatonicIndex())
                        n.pitch = melody;
            } else {
                event.notes = {Note{melody, staff}};
            }
            phrase.bars[b].events.push_back(event);
            ++noteNumber;
        }
    }
    return phrase;
}

} // namespace tonvero::music
