// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "piece/musicxmlreader.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tonvero::piece {

enum class PieceFormat { MusicXml, CompressedMusicXml, Midi, Unknown };

// By the first bytes (a ZIP, a MIDI header, XML), the file's name only when they say nothing.
PieceFormat detectFormat(const QByteArray& head, const QString& fileName);

// A piece read from a file of any format Tonvero knows, and how to know it again.
struct PieceFile {
    Piece piece;
    QString error; // translated, one line; empty when read
    QString path;
    // The same bytes give the same id wherever the file lies: the answers of a
    // piece stay together when it is moved or renamed.
    QString id;

    bool ok() const { return error.isEmpty(); }
};

PieceFile readPieceFile(const QString& path);
// fileName only helps to tell the format.
PieceFile readPieceData(const QByteArray& data, const QString& fileName);
QString pieceId(const QByteArray& data);

// The open dialog's filters, translated: all pieces first.
QStringList pieceFileFilters();

} // namespace tonvero::piece
