// SPDX-License-Identifier: GPL-3.0-or-later
#include "notation/linelayout.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tonvero::notation {

using music::Event;
using music::Fraction;
using music::NoteValue;

namespace {

constexpr int MiddleLine = 4;
constexpr int MaxLedgerLines = 16; // a wild octave must not make thousands

// The notes of one event on one staff, low to high.
struct Chord {
    int staff = 0;
    std::vector<int> notes;       // indexes into the event's notes
    std::vector<int> positions;
    std::vector<int> accidental;  // the alteration to write, or NoSign
    std::vector<int> column;      // accidental column, 0 nearest the head
    std::vector<bool> displaced;
    int columns = 0;
    StemDirection direction = StemDirection::Up;
    bool beamed = false;
    bool displacedLeft = false;
    bool displacedRight = false;
};
constexpr int NoSign = 99;

struct Work {
    int bar = 0;
    int index = 0;
    const Event* event = nullptr;
    Fraction onset;
    std::vector<Chord> chords; // at most one per staff
    double leftExtra = 0;
    double space = 0;
    double x = 0;

    const Chord* chordOn(int staff) const
    {
        for (const Chord& c : chords)
            if (c.staff == staff)
                return &c;
        return nullptr;
    }
    Chord* chordOn(int staff) { return const_cast<Chord*>(std::as_const(*this).chordOn(staff)); }
};

int valueIndex(NoteValue v)
{
    return std::clamp(static_cast<int>(v), 0, static_cast<int>(NoteValue::Sixteenth));
}

double headWidth(const EngravingRules& rules, NoteValue v)
{
    return rules.headWidth[std::min(valueIndex(v), 2)];
}

bool hasStem(NoteValue v)
{
    return valueIndex(v) > 0;
}

double spacingFor(const EngravingRules& rules, const music::Duration& d)
{
    const double e = std::clamp(-std::log2(std::max(d.length().toDouble(), 1.0 / 64)), 0.0, 4.0);
    const int i = std::min(static_cast<int>(e), 3);
    const double f = e - i;
    return rules.spacing[i] + (rules.spacing[i + 1] - rules.spacing[i]) * f;
}

double restWidth(NoteValue v)
{
    static constexpr double Widths[5] = {1.2, 1.2, 1.1, 1.0, 1.2};
    return Widths[valueIndex(v)];
}

// Down when the note farthest from the middle line is above it, or as far above as below.
StemDirection directionFor(int lowest, int highest)
{
    return highest - MiddleLine >= MiddleLine - lowest ? StemDirection::Down : StemDirection::Up;
}

// Accidentals written in a bar so far, by staff and diatonic index.
class BarAccidentals {
public:
    explicit BarAccidentals(const music::Key& key) : m_key(key) {}
    void clear() { m_written.clear(); }
    int current(int staff, const music::Pitch& p) const
    {
        for (const auto& w : m_written)
            if (w.staff == staff && w.diatonic == p.diatonicIndex())
                return w.alter;
        return m_key.alterFor(p.step);
    }
    void set(int staff, const music::Pitch& p, int alter)
    {
        for (auto& w : m_written)
            if (w.staff == staff && w.diatonic == p.diatonicIndex()) {
                w.alter = alter;
                return;
            }
        m_written.push_back({staff, p.diatonicIndex(), alter});
    }

private:
    struct Written {
        int staff;
        int diatonic;
        int alter;
    };
    music::Key m_key;
    std::vector<Written> m_written;
};

// Columns right to left, top to bottom: an accidental joins the first column
// whose accidentals are all far enough from it.
void placeAccidentalColumns(Chord& chord, int clearance)
{
    std::vector<std::vector<int>> columns;
    for (int i = static_cast<int>(chord.notes.size()) - 1; i >= 0; --i) {
        if (chord.accidental[i] == NoSign)
            continue;
        size_t c = 0;
        for (; c < columns.size(); ++c) {
            const bool clear = std::all_of(columns[c].begin(), columns[c].end(), [&](int j) {
                return std::abs(chord.positions[j] - chord.positions[i]) >= clearance;
            });
            if (clear)
                break;
        }
        if (c == columns.size())
            columns.emplace_back();
        columns[c].push_back(i);
        chord.column[i] = static_cast<int>(c);
    }
    chord.columns = static_cast<int>(columns.size());
}

// A second in a chord goes to the other side of the stem: right of an up stem
// counting from the bottom, left of a down stem counting from the top.
void placeSeconds(Chord& chord, bool stemmed)
{
    const int n = static_cast<int>(chord.positions.size());
    chord.displaced.assign(n, false);
    chord.displacedLeft = chord.displacedRight = false;
    if (!stemmed || chord.direction == StemDirection::Up) {
        for (int i = 1; i < n; ++i)
            if (chord.positions[i] - chord.positions[i - 1] <= 1 && !chord.displaced[i - 1]) {
                chord.displaced[i] = true;
                chord.displacedRight = true;
            }
    } else {
        for (int i = n - 2; i >= 0; --i)
            if (chord.positions[i + 1] - chord.positions[i] <= 1 && !chord.displaced[i + 1]) {
                chord.displaced[i] = true;
                chord.displacedLeft = true;
            }
    }
}

struct Layouter {
    const music::Phrase& phrase;
    const StaffGeometry& geometry;
    const EngravingRules& rules;
    LineLayout out;
    std::vector<Work> work;
    std::vector<std::vector<int>> beamRuns; // work indexes, one staff each
    std::vector<int> beamRunStaff;

    int staffCount() const { return static_cast<int>(out.staves.size()); }
    int staffOf(int staff) const { return std::clamp(staff, 0, staffCount() - 1); }

    void buildChords()
    {
        BarAccidentals written(phrase.key);
        for (int b = 0; b < static_cast<int>(phrase.bars.size()); ++b) {
            written.clear();
            Fraction onset;
            const auto& events = phrase.bars[b].events;
            for (int i = 0; i < static_cast<int>(events.size()); ++i) {
                Work w;
                w.bar = b;
                w.index = i;
                w.event = &events[i];
                w.onset = onset;
                onset += events[i].duration.length();
                for (int s = 0; s < staffCount(); ++s) {
                    Chord chord;
                    chord.staff = s;
                    for (int n = 0; n < static_cast<int>(events[i].notes.size()); ++n)
                        if (staffOf(events[i].notes[n].staff) == s)
                            chord.notes.push_back(n);
                    if (chord.notes.empty())
                        continue;
                    const StaffClef clef = out.staves[s].clef;
                    std::sort(chord.notes.begin(), chord.notes.end(), [&](int a, int c) {
                        return staffPosition(events[i].notes[a].pitch, clef)
                            < staffPosition(events[i].notes[c].pitch, clef);
                    });
                    for (int n : chord.notes) {
                        const music::Pitch& p = events[i].notes[n].pitch;
                        chord.positions.push_back(staffPosition(p, clef));
                        const int alter = std::clamp(p.alter, -2, 2);
                        chord.accidental.push_back(written.current(s, p) == alter ? NoSign : alter);
                    }
                    // The chord's own accidentals count for what follows, not for each other.
                    for (int k = 0; k < static_cast<int>(chord.notes.size()); ++k)
                        written.set(s, events[i].notes[chord.notes[k]].pitch,
                                    std::clamp(events[i].notes[chord.notes[k]].pitch.alter, -2, 2));
                    chord.column.assign(chord.notes.size(), -1);
                    placeAccidentalColumns(chord, rules.accidentalColumnClearance);
                    chord.direction = directionFor(chord.positions.front(), chord.positions.back());
                    w.chords.push_back(std::move(chord));
                }
                work.push_back(std::move(w));
            }
        }
    }

    // Which beam span of the bar an onset falls in; sixteenths are beamed by the beat.
    int beamGroupOf(Fraction onset, bool byBeat) const
    {
        if (byBeat) {
            const Fraction beat = phrase.time.beatLength();
            Fraction start;
            int g = 0;
            while (start + beat <= onset) {
                start += beat;
                ++g;
            }
            return g;
        }
        Fraction start;
        int g = 0;
        for (const Fraction& span : phrase.time.beamGroups()) {
            if (onset < start + span)
                return g;
            start += span;
            ++g;
        }
        return g;
    }

    void findBeams()
    {
        for (int s = 0; s < staffCount(); ++s) {
            std::vector<int> run;
            int runGroup = -1;
            auto flush = [&] {
                if (run.size() >= 2)
                    splitAndKeep(run, s);
                run.clear();
            };
            for (int i = 0; i < static_cast<int>(work.size()); ++i) {
                const Work& w = work[i];
                const Chord* chord = w.chordOn(s);
                const bool beamable = chord && w.event->duration.flagCount() > 0;
                const int group = beamable ? beamGroupOf(w.onset, false) : -1;
                const bool sameRun = !run.empty() && work[run.back()].bar == w.bar && group == runGroup;
                if (!beamable || !sameRun)
                    flush();
                if (beamable) {
                    run.push_back(i);
                    runGroup = group;
                }
            }
            flush();
        }
    }

    void splitAndKeep(const std::vector<int>& run, int staff)
    {
        const bool sixteenths = std::any_of(run.begin(), run.end(), [&](int i) {
            return work[i].event->duration.flagCount() > 1;
        });
        std::vector<std::vector<int>> parts;
        if (!sixteenths) {
            parts.push_back(run);
        } else {
            int beat = -1;
            for (int i : run) {
                const int b = beamGroupOf(work[i].onset, true);
                if (parts.empty() || b != beat)
                    parts.emplace_back();
                parts.back().push_back(i);
                beat = b;
            }
        }
        for (auto& part : parts) {
            if (part.size() < 2)
                continue;
            int lowest = 1 << 20;
            int highest = -(1 << 20);
            for (int i : part) {
                Chord& c = *work[i].chordOn(staff);
                lowest = std::min(lowest, c.positions.front());
                highest = std::max(highest, c.positions.back());
            }
            const StemDirection direction = directionFor(lowest, highest);
            for (int i : part) {
                Chord& c = *work[i].chordOn(staff);
                c.direction = direction;
                c.beamed = true;
            }
            beamRuns.push_back(part);
            beamRunStaff.push_back(staff);
        }
    }

    void measure()
    {
        for (Work& w : work) {
            const NoteValue v = w.event->duration.value;
            const double head = headWidth(rules, v);
            double left = 0;
            double right = w.event->isRest() ? restWidth(v) : head;
            for (Chord& c : w.chords) {
                placeSeconds(c, hasStem(v));
                double l = c.displacedLeft ? head : 0;
                if (c.columns > 0)
                    l += rules.accidentalGap + c.columns * rules.accidentalWidth;
                left = std::max(left, l);
                right = std::max(right, head * (c.displacedRight ? 2 : 1));
            }
            right += std::clamp(w.event->duration.dots, 0, 2) * rules.dotGap * 2;
            w.leftExtra = left;
            w.space = std::max(spacingFor(rules, w.event->duration), right + 0.6);
        }
    }

    double header() const
    {
        const double keyStart = 0.5 + rules.clefWidth + 0.5;
        const int n = phrase.key.accidentalCount();
        return keyStart + n * rules.keyAccidentalStep + (n > 0 ? 0.5 : 0);
    }

    // Places events and bar lines, the durations' space stretched by factor.
    double place(double factor)
    {
        out.barLines.clear();
        double cursor = header() + rules.timeSignatureWidth + rules.barGap;
        size_t i = 0;
        for (int b = 0; b < static_cast<int>(phrase.bars.size()); ++b) {
            for (; i < work.size() && work[i].bar == b; ++i) {
                work[i].x = cursor + work[i].leftExtra;
                cursor = work[i].x + work[i].space * factor;
            }
            out.barLines.push_back(cursor);
            cursor += rules.barGap;
        }
        return out.barLines.empty() ? cursor : out.barLines.back();
    }

    void emitHeader()
    {
        const double keyStart = 0.5 + rules.clefWidth + 0.5;
        for (int s = 0; s < staffCount(); ++s) {
            out.clefs.push_back({s, 0.5, out.staves[s].clef});
            const std::vector<int> positions = keySignaturePositions(phrase.key, out.staves[s].clef);
            const Accidental sign = phrase.key.fifths() > 0 ? Accidental::Sharp : Accidental::Flat;
            for (int k = 0; k < static_cast<int>(positions.size()); ++k)
                out.keySignature.push_back({-1, s, keyStart + k * rules.keyAccidentalStep, positions[k], sign});
            out.timeSignatures.push_back({s, header(), phrase.time.numerator(), phrase.time.denominator()});
        }
    }

    void emitChord(int eventIndex, const Work& w, const Chord& c)
    {
        const music::Duration& d = w.event->duration;
        const double head = headWidth(rules, d.value);
        const int n = static_cast<int>(c.notes.size());
        double minX = w.x;
        double maxX = w.x + head;
        for (int k = 0; k < n; ++k) {
            double x = w.x;
            if (c.displaced[k])
                x += c.direction == StemDirection::Up || !hasStem(d.value) ? head : -head;
            minX = std::min(minX, x);
            maxX = std::max(maxX, x + head);
            out.noteheads.push_back({eventIndex, c.notes[k], c.staff, x, c.positions[k],
                                     static_cast<NoteValue>(valueIndex(d.value)), c.displaced[k]});
        }
        const double accidentalRight = minX - rules.accidentalGap;
        for (int k = 0; k < n; ++k)
            if (c.accidental[k] != NoSign)
                out.accidentals.push_back({eventIndex, c.staff,
                                           accidentalRight - (c.column[k] + 1) * rules.accidentalWidth,
                                           c.positions[k], static_cast<Accidental>(c.accidental[k])});
        for (int p = 10, count = 0; p <= c.positions.back() && count < MaxLedgerLines; p += 2, ++count)
            out.ledgerLines.push_back(
                {c.staff, minX - rules.ledgerExtension, maxX + rules.ledgerExtension, p, eventIndex});
        for (int p = -2, count = 0; p >= c.positions.front() && count < MaxLedgerLines; p -= 2, ++count)
            out.ledgerLines.push_back(
                {c.staff, minX - rules.ledgerExtension, maxX + rules.ledgerExtension, p, eventIndex});
        if (d.dots > 0) {
            // A note on a line has its dot in the space above; two dots never share a space.
            std::vector<int> taken;
            for (int k = n - 1; k >= 0; --k) {
                int p = c.positions[k] % 2 == 0 ? c.positions[k] + 1 : c.positions[k];
                if (std::find(taken.begin(), taken.end(), p) != taken.end())
                    p -= 2;
                taken.push_back(p);
                for (int dot = 0; dot < std::min(d.dots, 2); ++dot)
                    out.dots.push_back({eventIndex, c.staff, maxX + rules.dotGap * (dot + 1), p});
            }
        }
        if (!hasStem(d.value) || c.beamed)
            return;
        const int flags = d.flagCount();
        const double length = rules.stemLength + rules.extraFlagLength * std::max(flags - 1, 0);
        const bool up = c.direction == StemDirection::Up;
        const double x = up ? w.x + head : w.x;
        const double yBase = out.y(c.staff, up ? c.positions.front() : c.positions.back());
        const double yNear = out.y(c.staff, up ? c.positions.back() : c.positions.front());
        const double yMiddle = out.y(c.staff, MiddleLine);
        const double yTip = up ? std::min(yNear - length, yMiddle) : std::max(yNear + length, yMiddle);
        out.stems.push_back({eventIndex, c.staff, x, yBase, yTip, c.direction});
        if (flags > 0)
            out.flags.push_back({eventIndex, c.staff, x, yTip, flags, c.direction});
    }

    void emitRest(int eventIndex, int staff, double x, const music::Duration& d)
    {
        const int position = d.value == NoteValue::Whole ? 6 : MiddleLine;
        out.rests.push_back({eventIndex, staff, x, position, static_cast<NoteValue>(valueIndex(d.value)),
                             std::clamp(d.dots, 0, 2)});
        for (int dot = 0; dot < std::min(d.dots, 2); ++dot)
            out.dots.push_back({eventIndex, staff, x + restWidth(d.value) + rules.dotGap * (dot + 1), 5});
    }

    void emitEvents()
    {
        size_t first = 0;
        for (int b = 0; b < static_cast<int>(phrase.bars.size()); ++b) {
            size_t end = first;
            while (end < work.size() && work[end].bar == b)
                ++end;
            const double barStart = b == 0 ? header() + rules.timeSignatureWidth : out.barLines[b - 1];
            for (int s = 0; s < staffCount(); ++s) {
                bool used = false;
                for (size_t i = first; i < end; ++i)
                    used = used || work[i].chordOn(s)
                        || (work[i].event->isRest() && staffOf(work[i].event->restStaff) == s);
                if (!used) {
                    out.rests.push_back({-1, s, (barStart + out.barLines[b]) / 2, 6, NoteValue::Whole, 0});
                    continue;
                }
                for (size_t i = first; i < end; ++i) {
                    const Work& w = work[i];
                    if (const Chord* c = w.chordOn(s))
                        emitChord(static_cast<int>(i), w, *c);
                    else
                        emitRest(static_cast<int>(i), s, w.x, w.event->duration);
                }
            }
            first = end;
        }
        for (const Work& w : work)
            out.events.push_back({w.bar, w.index, w.x});
    }

    void emitBeams()
    {
        for (size_t r = 0; r < beamRuns.size(); ++r) {
            const std::vector<int>& run = beamRuns[r];
            const int staff = beamRunStaff[r];
            const Chord& firstChord = *work[run.front()].chordOn(staff);
            const bool up = firstChord.direction == StemDirection::Up;
            int maxFlags = 1;
            for (int i : run)
                maxFlags = std::max(maxFlags, work[i].event->duration.flagCount());
            const double length = rules.stemLength + rules.extraFlagLength * (maxFlags - 1);

            std::vector<double> xs;
            std::vector<int> tipNotes;
            for (int i : run) {
                const Chord& c = *work[i].chordOn(staff);
                xs.push_back(up ? work[i].x + headWidth(rules, work[i].event->duration.value) : work[i].x);
                tipNotes.push_back(up ? c.positions.back() : c.positions.front());
            }
            // The slope follows the outer notes, gentler for small intervals and
            // flat when an inner note reaches beyond both of them.
            const int delta = tipNotes.back() - tipNotes.front();
            bool flat = delta == 0;
            for (size_t k = 1; k + 1 < tipNotes.size(); ++k) {
                const int outer = up ? std::max(tipNotes.front(), tipNotes.back())
                                     : std::min(tipNotes.front(), tipNotes.back());
                if (up ? tipNotes[k] > outer : tipNotes[k] < outer)
                    flat = true;
            }
            const double rise = flat ? 0 : std::min(std::abs(delta) * rules.beamRisePerStep, rules.maxBeamRise);
            const double dx = xs.back() - xs.front();
            const double slope = dx > 0 ? (delta > 0 ? -rise : rise) / dx : 0;
            const double yMiddle = out.y(staff, MiddleLine);
            double c = up ? 1e9 : -1e9;
            for (size_t k = 0; k < xs.size(); ++k) {
                const double yNote = out.y(staff, tipNotes[k]);
                const double offset = slope * (xs[k] - xs.front());
                if (up)
                    c = std::min({c, yNote - length - offset, yMiddle - offset});
                else
                    c = std::max({c, yNote + length - offset, yMiddle - offset});
            }
            Beam beam{staff, {}, xs.front(), c, xs.back(), c + slope * dx,
                      up ? StemDirection::Up : StemDirection::Down, {}};
            for (size_t k = 0; k < run.size(); ++k) {
                const Chord& ch = *work[run[k]].chordOn(staff);
                beam.events.push_back(run[k]);
                const double yBase = out.y(staff, up ? ch.positions.front() : ch.positions.back());
                out.stems.push_back({run[k], staff, xs[k], yBase, beam.yAt(xs[k]), beam.direction});
            }
            const double hook = rules.headWidth[2];
            for (size_t k = 0; k < run.size(); ++k) {
                const bool here = work[run[k]].event->duration.flagCount() > 1;
                const bool next = k + 1 < run.size() && work[run[k + 1]].event->duration.flagCount() > 1;
                const bool prev = k > 0 && work[run[k - 1]].event->duration.flagCount() > 1;
                if (here && next)
                    beam.secondary.push_back({1, xs[k], xs[k + 1]});
                else if (here && !prev)
                    beam.secondary.push_back(k + 1 < run.size() ? BeamSpan{1, xs[k], xs[k] + hook}
                                                                : BeamSpan{1, xs[k] - hook, xs[k]});
            }
            out.beams.push_back(std::move(beam));
        }
    }
};

} // namespace

double LineLayout::y(int staff, double position) const
{
    const double top = staff >= 0 && staff < static_cast<int>(staves.size()) ? staves[staff].top : 0;
    return top + (8 - position) / 2;
}

LineLayout layoutLine(const music::Phrase& phrase, Clef clef, const StaffGeometry& geometry)
{
    Layouter l{phrase, geometry, geometry.rules, {}, {}, {}, {}};
    switch (clef) {
    case Clef::Bass: l.out.staves = {{0, StaffClef::Bass}}; break;
    case Clef::Alto: l.out.staves = {{0, StaffClef::Alto}}; break;
    case Clef::Grand:
        l.out.staves = {{0, StaffClef::Treble}, {4 + std::max(geometry.staffGap, 0.0), StaffClef::Bass}};
        break;
    default: l.out.staves = {{0, StaffClef::Treble}}; break;
    }
    l.out.height = l.out.staves.back().top + 4;

    l.buildChords();
    l.findBeams();
    l.measure();
    double width = l.place(1.0);
    if (geometry.width > width) {
        double flexible = 0;
        for (const Work& w : l.work)
            flexible += w.space;
        if (flexible > 0)
            width = l.place(1.0 + (geometry.width - width) / flexible);
    }
    l.out.width = width;
    l.emitHeader();
    l.emitEvents();
    l.emitBeams();
    return std::move(l.out);
}

} // namespace tonvero::notation
