// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/phrase.h"
#include "notation/clef.h"
#include "piece/piece.h"

#include <vector>

namespace tonvero::piece {

// What of a piece is practised.
struct PieceSelection {
    enum Hand { Both = 0, Right = 1, Left = 2 }; // the upper staff, the lower one, both
    int part = 0;      // 0-based
    int hand = Both;   // a part of one staff plays it whatever this says
    int firstBar = 0;  // 0-based, counted from the start of the piece
    int lastBar = -1;  // included; −1: to the end
    bool repeat = false;

    bool operator==(const PieceSelection&) const = default;
};

// A line of the piece as the phrase exercise shows it.
struct PieceLine {
    music::Phrase phrase;
    notation::Clef clef = notation::Clef::Treble;
    int firstBar = 0; // the piece's bar the line begins with

    bool operator==(const PieceLine&) const = default;
};

// The selected bars cut into lines of barsPerLine bars (fewer at the end);
// a selection out of range is clamped. Empty when the part has no notes there.
std::vector<PieceLine> pieceLines(const Piece& piece, const PieceSelection& selection, int barsPerLine);

} // namespace tonvero::piece
