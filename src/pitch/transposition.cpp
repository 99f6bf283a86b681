// SPDX-License-Identifier: GPL-3.0-or-later
#include "pitch/transposition.h"

#include <algorithm>

namespace pitch {

Transposition transpositionFromInt(int value)
{
    switch (value) {
    case int(Transposition::OctaveDown):
        return Transposition::OctaveDown;
    case int(Transposition::AnyOctave):
        return Transposition::AnyOctave;
    default:
        return Transposition::AsWritten;
    }
}

int answerFor(int soundingNote, Transposition mode, int expectedNote)
{
    soundingNote = std::clamp(soundingNote, 0, 127);
    switch (mode) {
    case Transposition::AsWritten:
        return soundingNote;
    case Transposition::OctaveDown:
        return soundingNote + 12 <= 127 ? soundingNote + 12 : soundingNote;
    case Transposition::AnyOctave:
        break;
    }
    if (expectedNote < 0 || expectedNote > 127)
        return soundingNote;
    const int pcDiff = ((soundingNote - expectedNote) % 12 + 12) % 12;
    if (pcDiff == 0)
        return expectedNote;
    // The same pitch class within a tritone of the expected note.
    int near = expectedNote + (pcDiff <= 6 ? pcDiff : pcDiff - 12);
    if (near < 0)
        near += 12;
    if (near > 127)
        near -= 12;
    return near;
}

} // namespace pitch
