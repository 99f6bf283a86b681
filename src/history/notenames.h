// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Names and stave places of the notes the history speaks of. Pure functions:
// key indexes 0 (A0) to 87 (C8), MIDI note = key index + 21.

#include "history/answerrecord.h"

#include <QString>

namespace tonvero::history {

constexpr int KeyCount = 88;
constexpr int FirstMidiNote = 21;

// The clef a note was read in: 0 treble, 1 bass, 2 alto. The grand staff's
// upper staff reads as treble, its lower one as bass. −1 for values no
// stave shows.
int readingClef(int clef, int staff);

bool isBlackKey(int keyIndex);

// Scientific octave of the written note: C4 is middle C; B♯3 and C♭5 keep
// the octave of their letter.
int writtenOctave(int keyIndex, Spelling spelling);

// Letter of the written note, 0 C .. 6 B: a sharp takes the white key below,
// a flat the one above. A white key is always written natural.
int writtenLetter(int keyIndex, Spelling spelling);

// The spelling the stave uses for the key: natural for a white key, the given
// accidental (sharp when none) for a black one.
Spelling normalisedSpelling(int keyIndex, Spelling spelling);

// Place on the stave: 0 the bottom line, 1 the space above it, 8 the top
// line; negative below the stave, above 8 over it.
int stavePosition(int readingClef, int keyIndex, Spelling spelling);

// "C#4", "Db4", "A0": plain ASCII for files.
QString letterName(int keyIndex, Spelling spelling);

// The name shown to the user, such as "Фа♯4".
QString displayName(int keyIndex, Spelling spelling);

// Name of a reading clef, such as "скрипичный".
QString readingClefName(int readingClef);

} // namespace tonvero::history
