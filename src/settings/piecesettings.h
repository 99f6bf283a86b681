// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The pieces opened lately and what of the current one is practised, under
// HKEY_CURRENT_USER\Software\Tonvero\Piece: numbers as REG_DWORDs, paths as REG_SZ.

#include <QString>
#include <QStringList>

namespace tonvero {

inline constexpr char pieceKeyName[] = "Piece";

class PieceSettings {
public:
    static constexpr int MaxRecent = 8;
    // Within the reader's own limits, so that a stored value never asks for more than a piece can have.
    static constexpr int MaxParts = 64;
    static constexpr int MaxBars = 20000;

    // Newest first, no duplicates, at most MaxRecent (stored as sRecent0..7).
    QStringList recent;
    QString sPiecePath;
    int nPiecePart = 0;      // 0-based
    int nPieceHand = 0;      // piece::PieceSelection::Hand
    int nPieceFirstBar = 0;  // 0-based
    int nPieceLastBar = -1;  // included; −1: to the end
    int bPieceRepeat = 0;

    bool operator==(const PieceSettings&) const = default;

    // Puts path first in the recent list (moving it if it was there), dropping the oldest beyond MaxRecent.
    void addRecent(const QString& path);
    void removeRecent(const QString& path);

    // Reads what is stored in the form written; a value of another type or
    // out of range keeps its default, empty recent entries are skipped. A
    // missing key keeps every default; reading never writes. False when the
    // store could not be read.
    bool load();
    // Writes the values that differ from base (all of them when base is null)
    // over what the file holds now; the recent list is one value, written whole.
    bool save(const PieceSettings* base = nullptr) const;
};

} // namespace tonvero
