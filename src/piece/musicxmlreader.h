// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "piece/piece.h"

#include <QByteArray>
#include <QString>

class QIODevice;

namespace tonvero::piece {

// What a reader gives: the piece, or why there is none (translated, one line).
struct PieceResult {
    Piece piece;
    QString error;

    bool ok() const { return error.isEmpty(); }
};

// Limits past which a file is refused rather than read: bounded time and
// memory whatever the file claims.
namespace limits {
constexpr qint64 MaxFileBytes = 32 * 1024 * 1024;
constexpr int MaxNotes = 50000;
constexpr int MaxParts = 64;
constexpr int MaxStaves = 16;
constexpr int MaxBars = 20000;
constexpr int MaxDepth = 200;
constexpr int MaxDivisions = 1000000;
constexpr int MaxNoteQuarters = 1024; // one note, rest, backup or forward
} // namespace limits

// An uncompressed MusicXML score (score-partwise, or score-timewise regrouped into parts), read as a stream.
PieceResult readMusicXml(QIODevice& device);
PieceResult readMusicXmlData(const QByteArray& bytes);
PieceResult readMusicXmlFile(const QString& path);

} // namespace tonvero::piece
