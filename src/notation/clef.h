// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/key.h"
#include "music/pitch.h"

#include <vector>

namespace tonvero::notation {

// The clef of one staff.
enum class StaffClef { Treble = 0, Bass, Alto };

// What the stave shows, numbered as the stave control's clef setting.
enum class Clef { Treble = 0, Bass = 1, Alto = 2, Grand = 3 };

// Place on a staff: 0 the bottom line, 1 the space above it, 8 the top line;
// negative below the staff. One per line and space, whatever the accidental.
int staffPosition(const music::Pitch& pitch, StaffClef clef);

// Where the signature's accidentals stand, in the order they are written:
// the same zigzag on every clef, moved to the clef's octave (so the bass's
// flats end on the space below the staff and its sharps start on the F line).
std::vector<int> keySignaturePositions(const music::Key& key, StaffClef clef);

} // namespace tonvero::notation
