// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece/piecelines.h"

#include <algorithm>
#include <map>

namespace tonvero::piece {

namespace {

using music::Duration;
using music::NoteValue;

// The stave draws sixteenths at the shortest: times are put on that grid.
constexpr int GridPerQuarter = 4;
// No meter has a longer bar than sixteen whole notes; a file that claims one
// would only fill the line with rests (notes past it stand at its end).
constexpr qint64 MaxBarGrid = 16 * 16;

// Quarters to sixteenths, to the nearest (half up).
qint64 toGrid(Fraction quarters)
{
    const qint64 n = qint64(quarters.num) * GridPerQuarter;
    const qint64 d = quarters.den;
    return n >= 0 ? (2 * n + d) / (2 * d) : -((-2 * n + d) / (2 * d));
}

// The longest written value (with up to maxDots dots) no longer than so many sixteenths.
Duration longestWithin(qint64 sixteenths, int maxDots = 2)
{
    Duration best{NoteValue::Sixteenth, 0};
    qint64 bestLength = 1;
    for (int v = 0; v <= int(NoteValue::Sixteenth); ++v)
        for (int dots = 0; dots <= maxDots; ++dots) {
            const Duration d{NoteValue(v), dots};
            const Fraction f = d.length() * 16;
            if (f.den != 1)
                continue; // a sixteenth with dots is off the grid
            if (f.num <= sixteenths && f.num > bestLength) {
                best = d;
                bestLength = f.num;
            }
        }
    return best;
}

qint64 lengthOf(const Duration& d)
{
    const Fraction f = d.length() * 16;
    return f.num / f.den;
}

void addRests(music::Bar& bar, qint64 sixteenths, int staff)
{
    // Rests take one dot at most, as engravers write them.
    while (sixteenths > 0) {
        const Duration d = longestWithin(sixteenths, 1);
        music::Event rest;
        rest.duration = d;
        rest.restStaff = staff;
        bar.events.push_back(rest);
        sixteenths -= lengthOf(d);
    }
}

notation::Clef clefOf(const ClefChange& c)
{
    switch (c.sign) {
    case ClefSign::F: return notation::Clef::Bass;
    case ClefSign::C: return notation::Clef::Alto;
    default: return notation::Clef::Treble;
    }
}

notation::Clef clefAt(const Part& part, int staff, const Bar& bar)
{
    notation::Clef clef = staff == 0 ? notation::Clef::Treble : notation::Clef::Bass;
    for (const ClefChange& c : part.clefs)
        if (c.staff == staff && c.onset <= bar.start)
            clef = clefOf(c);
    return clef;
}

music::Key keyAt(const Part& part, int bar)
{
    if (part.keys.empty())
        return {};
    return part.keys[std::size_t(std::clamp(bar, 0, int(part.keys.size()) - 1))];
}

struct Selected {
    int part = 0;
    bool grand = false;
    int staff = 0; // the one staff when not grand
};

// One bar of the part's chosen staves as events: notes starting together
// make one event; the time to the next is filled with rests.
music::Bar barOf(const Piece& piece, const Selected& sel, int barIndex, bool& hasNotes)
{
    // The notes are ordered by onset, so by bar too.
    auto from = std::lower_bound(piece.notes.begin(), piece.notes.end(), barIndex,
                                 [](const Note& n, int bar) { return n.bar < bar; });
    const Bar& bar = piece.bars[std::size_t(barIndex)];
    const qint64 barLength = std::clamp<qint64>(toGrid(bar.length), 1, MaxBarGrid);
    // Onset on the grid → the event's notes and its longest length.
    std::map<qint64, std::pair<std::vector<music::Note>, qint64>> groups;
    for (; from != piece.notes.end() && from->bar == barIndex; ++from) {
        const Note& n = *from;
        if (n.part != sel.part)
            continue;
        if (sel.grand ? n.staff > 1 : n.staff != sel.staff)
            continue;
        const int midi = n.pitch.midi();
        if (midi < music::FirstMidiNote || midi >= music::FirstMidiNote + music::KeyCount)
            continue;
        const qint64 at = std::clamp<qint64>(toGrid(n.onset - bar.start), 0, barLength - 1);
        auto& [notes, length] = groups[at];
        const music::Note written{n.pitch, sel.grand ? n.staff : 0};
        if (std::none_of(notes.begin(), notes.end(), [&](const music::Note& o) { return o.pitch.midi() == midi; }))
            notes.push_back(written);
        // The end is put on the grid as the onset is, so that a triplet's notes meet.
        const qint64 end = toGrid(n.onset + n.duration - bar.start);
        length = std::max(length, std::max<qint64>(1, end - at));
    }
    music::Bar out;
    qint64 at = 0;
    int lastStaff = 0;
    for (auto it = groups.begin(); it != groups.end(); ++it) {
        addRests(out, it->first - at, lastStaff);
        const auto next = std::next(it);
        const qint64 gap = (next == groups.end() ? barLength : next->first) - it->first;
        music::Event e;
        e.notes = it->second.first;
        std::sort(e.notes.begin(), e.notes.end(),
                  [](const music::Note& a, const music::Note& b) { return a.pitch.midi() < b.pitch.midi(); });
        e.duration = longestWithin(std::min(it->second.second, gap));
        lastStaff = e.notes.front().staff;
        out.events.push_back(e);
        at = it->first + lengthOf(e.duration);
        hasNotes = true;
    }
    addRests(out, barLength - at, lastStaff);
    return out;
}

} // namespace

std::vector<PieceLine> pieceLines(const Piece& piece, const PieceSelection& selection, int barsPerLine)
{
    std::vector<PieceLine> lines;
    if (piece.parts.empty() || piece.bars.empty())
        return lines;
    const int barCount = int(piece.bars.size());
    Selected sel;
    sel.part = std::clamp(selection.part, 0, int(piece.parts.size()) - 1);
    const Part& part = piece.parts[std::size_t(sel.part)];
    if (part.staves >= 2) {
        sel.grand = selection.hand == PieceSelection::Both;
        sel.staff = selection.hand == PieceSelection::Left ? 1 : 0;
    }
    const int first = std::clamp(selection.firstBar, 0, barCount - 1);
    const int last = selection.lastBar < 0 ? barCount - 1 : std::clamp(selection.lastBar, first, barCount - 1);
    barsPerLine = std::max(1, barsPerLine);

    auto clefFor = [&](int b) {
        return sel.grand ? notation::Clef::Grand : clefAt(part, sel.staff, piece.bars[std::size_t(b)]);
    };
    int b = first;
    while (b <= last) {
        PieceLine line;
        line.firstBar = b;
        line.clef = clefFor(b);
        line.phrase.key = keyAt(part, b);
        const TimeSig time = piece.bars[std::size_t(b)].time;
        line.phrase.time = music::TimeSignature::of(time.numerator, time.denominator);
        bool hasNotes = false;
        int k = 0;
        // A new key, meter or clef begins a new line, as a stave shows them at its start.
        while (b <= last && k < barsPerLine
               && (k == 0
                   || (piece.bars[std::size_t(b)].time == time && keyAt(part, b) == line.phrase.key
                       && clefFor(b) == line.clef))) {
            line.phrase.bars.push_back(barOf(piece, sel, b, hasNotes));
            ++b;
            ++k;
        }
        if (hasNotes)
            lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace tonvero::piece
