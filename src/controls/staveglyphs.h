// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/duration.h"
#include "notation/clef.h"
#include "notation/linelayout.h"

#include <QPainterPath>

// The symbols of a line of music as filled outlines of our own, in staff
// spaces (one space = 1.0, y down). Each is built once and shared.
namespace staveglyphs {

// Notehead of a value, its left edge at x = 0 and its centre on y = 0.
const QPainterPath& notehead(tonvero::music::NoteValue value);
// Accidental with its right edge at x = 0, centred on its line or space at y = 0.
const QPainterPath& accidental(tonvero::notation::Accidental sign);
// Clef with its left edge at x = 0; y = 0 on the line it names (G, F or C line).
const QPainterPath& clef(tonvero::notation::StaffClef clef);
// Staff position of the line a clef names.
int clefLine(tonvero::notation::StaffClef clef);
// One flag hanging from the tip of an up stem at (0, 0), on the stem's right;
// a down stem's flag is its mirror image.
const QPainterPath& flag();
// A rest of a value (whole and half excluded: those are plain blocks), left
// edge at x = 0, centred on the middle line at y = 0.
const QPainterPath& rest(tonvero::music::NoteValue value);

} // namespace staveglyphs
