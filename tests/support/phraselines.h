// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Lines of music written out by hand for the stave's tests and benchmark, so
// that they stay put when the generator changes.

#include "music/phrase.h"

namespace phraselines {

using namespace tonvero::music;

inline Note n(Step step, int alter, int octave, int staff = 0)
{
    return Note{Pitch{step, alter, octave}, staff};
}

inline Event ev(NoteValue value, std::vector<Note> notes, int dots = 0)
{
    Event e;
    e.duration = Duration{value, dots};
    e.notes = std::move(notes);
    return e;
}

inline Event rest(NoteValue value, int dots = 0, int staff = 0)
{
    Event e;
    e.duration = Duration{value, dots};
    e.restStaff = staff;
    return e;
}

using V = NoteValue;
using S = Step;

// G major in 3/4 on the treble staff: beamed eighths, a sharp, a dotted half, a half rest.
inline Phrase gMajorTreble()
{
    Phrase p;
    p.key = Key(1, Mode::Major);
    p.time = TimeSignature{Meter::ThreeFour};
    p.bars = {
        Bar{{ev(V::Quarter, {n(S::G, 0, 4)}), ev(V::Eighth, {n(S::A, 0, 4)}), ev(V::Eighth, {n(S::B, 0, 4)}),
             ev(V::Quarter, {n(S::C, 0, 5)})}},
        Bar{{ev(V::Eighth, {n(S::D, 0, 5)}), ev(V::Eighth, {n(S::C, 1, 5)}), ev(V::Quarter, {n(S::B, 0, 4)}),
             rest(V::Quarter)}},
        Bar{{ev(V::Quarter, {n(S::D, 0, 5)}), rest(V::Half)}},
        Bar{{ev(V::Half, {n(S::G, 0, 4)}, 1)}},
    };
    return p;
}

// B flat major in 4/4 on the grand staff: chords over both staves, a second
// in a chord, eighths of chords, a naturalised note and a staff left empty for a bar.
inline Phrase bFlatMajorGrandChords()
{
    Phrase p;
    p.key = Key(-2, Mode::Major);
    p.time = TimeSignature{Meter::FourFour};
    p.bars = {
        Bar{{ev(V::Half, {n(S::B, -1, 4), n(S::D, 0, 5), n(S::F, 0, 5), n(S::B, -1, 2, 1)}),
             ev(V::Quarter, {n(S::C, 0, 5), n(S::E, -1, 5), n(S::F, 0, 3, 1)}),
             ev(V::Quarter, {n(S::A, 0, 4), n(S::B, -1, 4), n(S::D, 0, 5), n(S::F, 0, 2, 1), n(S::F, 0, 3, 1)})}},
        Bar{{ev(V::Eighth, {n(S::F, 0, 4), n(S::A, 0, 4), n(S::C, 0, 5), n(S::F, 0, 2, 1)}),
             ev(V::Eighth, {n(S::G, 0, 4), n(S::B, -1, 4), n(S::E, 0, 5), n(S::C, 0, 3, 1)}),
             ev(V::Eighth, {n(S::A, 0, 4), n(S::C, 0, 5), n(S::F, 0, 5), n(S::F, 0, 3, 1)}),
             ev(V::Eighth, {n(S::B, -1, 4), n(S::D, 0, 5), n(S::G, 0, 5), n(S::G, 0, 3, 1)}),
             ev(V::Quarter, {n(S::C, 0, 5), n(S::E, -1, 5), n(S::A, 0, 5), n(S::F, 0, 3, 1)}),
             rest(V::Quarter, 0, 1)}},
        Bar{{ev(V::Whole, {n(S::B, -1, 4), n(S::D, 0, 5), n(S::F, 0, 5)})}},
    };
    return p;
}

// E minor in 6/8 on the bass staff: a dotted quarter, eighths beamed by the
// dotted beat, the raised seventh, an eighth rest and a ledger line below.
inline Phrase eMinorBass()
{
    Phrase p;
    p.key = Key(1, Mode::Minor);
    p.time = TimeSignature{Meter::SixEight};
    p.bars = {
        Bar{{ev(V::Quarter, {n(S::E, 0, 3)}, 1), ev(V::Eighth, {n(S::F, 1, 3)}), ev(V::Eighth, {n(S::G, 0, 3)}),
             ev(V::Eighth, {n(S::A, 0, 3)})}},
        Bar{{ev(V::Eighth, {n(S::B, 0, 3)}), ev(V::Eighth, {n(S::D, 1, 3)}), rest(V::Eighth),
             ev(V::Quarter, {n(S::E, 0, 2)}, 1)}},
    };
    return p;
}

// The alto clef with ledger lines above and below and every accidental:
// sixteenths and their rest, a natural against the key, double sharp and flat.
inline Phrase altoLedgerLines()
{
    Phrase p;
    p.key = Key(-1, Mode::Major);
    p.time = TimeSignature{Meter::TwoFour};
    p.bars = {
        Bar{{rest(V::Sixteenth), ev(V::Sixteenth, {n(S::C, 1, 5)}), ev(V::Eighth, {n(S::B, 0, 4)}),
             ev(V::Eighth, {n(S::F, 2, 4)}), ev(V::Eighth, {n(S::G, 0, 4)})}},
        Bar{{ev(V::Quarter, {n(S::E, -2, 3)}), ev(V::Eighth, {n(S::B, 0, 2)}), ev(V::Eighth, {n(S::D, 0, 3)})}},
    };
    return p;
}

} // namespace phraselines
