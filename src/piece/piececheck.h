// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The piececheck command: reads a piece file as the trainer does and
// prints one line per note.

#include "music/fraction.h"

#include <QStringList>
#include <QTextStream>

namespace tonvero::piece {

enum PieceCheckExit {
    PieceCheckOk = 0,
    PieceCheckBadFile = 1, // missing, unreadable or broken file
    PieceCheckUsage = 2,   // wrong arguments
};

// args as main receives them, the program name first.
int runPieceCheck(const QStringList& args, QTextStream& out, QTextStream& err);

// A time in quarter notes rounded half away from zero to three decimals,
// trailing zeros dropped: "2", "2.5", "0.333", "0.667".
QString quarterText(music::Fraction quarters);

} // namespace tonvero::piece
