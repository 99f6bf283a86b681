// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece/piecelines.h"

namespace tonvero::piece {

std::vector<PieceLine> pieceLines(const Piece& piece, const PieceSelection& selection, int barsPerLine)
{
    (void)piece;
    (void)selection;
    (void)barsPerLine;
    return {};
}

} // namespace tonvero::piece
