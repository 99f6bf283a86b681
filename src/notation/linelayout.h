// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/phrase.h"
#include "notation/clef.h"

#include <vector>

namespace tonvero::notation {

// Engraving sizes in staff spaces, after the common rules (Gould, "Behind Bars").
struct EngravingRules {
    double stemLength = 3.5;       // from the notehead at the stem's end to its tip
    double extraFlagLength = 0.5;  // per flag or beam beyond the first
    double maxBeamRise = 1.0;      // the steepest beam, first stem to last
    double beamRisePerStep = 0.25; // a second rises a quarter space, a fifth the most
    double beamSpacing = 0.75;     // between the beams of sixteenths
    double ledgerExtension = 0.4;  // beyond the notehead on each side
    double accidentalWidth = 1.1;  // one column of accidentals
    double accidentalGap = 0.2;    // between the accidentals and the notehead
    int accidentalColumnClearance = 6; // accidentals a seventh apart share a column
    double dotGap = 0.5;           // between the notehead and its dot, and between dots
    double clefWidth = 3.0;
    double keyAccidentalStep = 1.0;
    double timeSignatureWidth = 2.2;
    double barGap = 1.2;           // from a bar line to the first note
    // Space taken by a note or rest, by value: whole, half, quarter, eighth,
    // sixteenth; dotted values lie between, by the logarithm of their length.
    double spacing[5] = {7.0, 5.0, 3.6, 2.8, 2.2};
    // Notehead widths: whole, half, filled.
    double headWidth[3] = {1.7, 1.18, 1.18};
};

struct StaffGeometry {
    double staffGap = 6.0; // grand staff: from the upper staff's bottom line to the lower's top line
    double width = 0.0;    // 0: the natural width; wider: the notes spread out to fill it
    EngravingRules rules;
};

enum class StemDirection { Up, Down };

// Accidentals by the alteration they write; Natural cancels.
enum class Accidental { DoubleFlat = -2, Flat = -1, Natural = 0, Sharp = 1, DoubleSharp = 2 };

// Everything below is in staff spaces: x from the line's left edge, y down
// from the top line of the upper staff; a "position" is a place on the staff
// (clef.h). An event index counts over the whole line, as the cursor does.
struct StaffPlace {
    double top = 0;
    StaffClef clef = StaffClef::Treble;
};

struct ClefMark {
    int staff;
    double x;
    StaffClef clef;
};

struct TimeSignatureMark {
    int staff;
    double x;
    int numerator;
    int denominator;
};

struct Notehead {
    int event;
    int note;     // index in the event's notes
    int staff;
    double x;     // left edge
    int position;
    music::NoteValue value;
    bool displaced; // set on the other side of the stem (a second in a chord)
};

struct AccidentalMark {
    int event;    // −1: the key signature
    int staff;
    double x;     // left edge
    int position;
    Accidental sign;
};

struct Stem {
    int event;
    int staff;
    double x;
    double yBase; // at the notehead farthest from the tip
    double yTip;
    StemDirection direction;
};

struct Flag {
    int event;
    int staff;
    double x;   // the stem's
    double y;   // its tip
    int count;
    StemDirection direction;
};

// A beam as a straight line from the first stem to the last; secondary beams
// (sixteenths) as spans of it, drawn beamSpacing nearer the noteheads per level.
struct BeamSpan {
    int level; // 1: the second beam
    double x1;
    double x2;
};

struct Beam {
    int staff;
    std::vector<int> events;
    double x1, y1, x2, y2;
    StemDirection direction;
    std::vector<BeamSpan> secondary;
    double yAt(double x) const { return x2 == x1 ? y1 : y1 + (y2 - y1) * (x - x1) / (x2 - x1); }
};

struct LedgerLine {
    int staff;
    double x1, x2;
    int position;
    int event = -1;
};

struct Dot {
    int event;
    int staff;
    double x;
    int position;
};

// position: the line a whole rest hangs from, a half rest sits on, the middle of the others.
struct Rest {
    int event; // −1: a whole-bar rest on a staff the bar leaves empty
    int staff;
    double x;  // left edge; a whole-bar rest's is its centre
    int position;
    music::NoteValue value;
    int dots;
};

struct EventPlace {
    int bar;
    int index;  // in its bar
    double x;   // the noteheads' column, where a cursor stands
};

struct LineLayout {
    std::vector<StaffPlace> staves;
    std::vector<ClefMark> clefs;
    std::vector<AccidentalMark> keySignature;
    std::vector<TimeSignatureMark> timeSignatures;
    std::vector<Notehead> noteheads;
    std::vector<AccidentalMark> accidentals;
    std::vector<Stem> stems;
    std::vector<Flag> flags;
    std::vector<Beam> beams;
    std::vector<LedgerLine> ledgerLines;
    std::vector<Dot> dots;
    std::vector<Rest> rests;
    std::vector<double> barLines;
    std::vector<EventPlace> events;
    double width = 0;
    double height = 4; // the top line of the upper staff to the bottom line of the lower

    double y(int staff, double position) const;
};

// Lays out a line: the clef, key and time signature at its start, then every
// event of every bar with bar lines after each bar. On the grand staff a note
// stands on the staff its Note says (the lower one for staff 1); on one staff
// every note stands on it. A staff with nothing of a bar gets a whole-bar rest,
// and rests fill where it is silent while the other staff sounds.
LineLayout layoutLine(const music::Phrase& phrase, Clef clef, const StaffGeometry& geometry = {});

} // namespace tonvero::notation
