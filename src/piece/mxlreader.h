// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "piece/musicxmlreader.h"

#include <QByteArray>

namespace tonvero::piece {

namespace limits {
constexpr int MaxZipEntries = 1000;
constexpr qint64 MaxContainerBytes = 1024 * 1024; // META-INF/container.xml
} // namespace limits

// A compressed MusicXML file (.mxl): the score its container names, read from
// memory and inflated only up to limits::MaxFileBytes whatever the archive declares.
PieceResult readCompressedMusicXml(const QByteArray& data);

} // namespace tonvero::piece
