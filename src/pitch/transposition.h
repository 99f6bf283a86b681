// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How a note heard through the microphone becomes the written note the
// exercise judges.

namespace pitch {

enum class Transposition {
    AsWritten = 0,  // the sounding note is the written one (piano, flute, voice)
    OctaveDown = 1, // guitar and bass: written an octave above the sound
    AnyOctave = 2,  // only the pitch class counts
};

inline constexpr int kTranspositionCount = 3;

// A stored number back to a mode; anything unknown is AsWritten.
Transposition transpositionFromInt(int value);

// The written note to answer with for a sounding note. expectedNote is the
// note on the stave (-1 when there is none); it matters only for AnyOctave,
// where a note of the right pitch class answers the expected note exactly
// and any other is moved to the octave nearest the expected note, so the
// wrong note is marked where the user looks. Results stay within 0..127.
int answerFor(int soundingNote, Transposition mode, int expectedNote);

} // namespace pitch
