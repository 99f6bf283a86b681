// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "piece/musicxmlreader.h"

#include <QByteArray>

namespace tonvero::piece {

// A standard MIDI file (format 0 or 1) as a piece: onsets and lengths on the
// grid a phrase can draw (sixteenths; eighth triplets where a beat clearly has
// them), bars from its time signatures (4/4 without one), keys from its key
// signatures or, without one, estimated from its pitches. Each track with notes
// is a part (each channel in format 0); percussion (channel 10) is left out. A
// piano part, or two tracks named for the right and left hand, is a grand staff.
PieceResult readMidiFile(const QByteArray& data);

} // namespace tonvero::piece
