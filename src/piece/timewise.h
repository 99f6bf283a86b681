// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

namespace tonvero::piece {

// A score-timewise document regrouped into score-partwise: each part's
// measures in order, the header (titles, part list) as it was. One streaming
// pass, bounded by the reader's limits; false with a translated reason otherwise.
bool timewiseToPartwise(const QByteArray& timewise, QByteArray& partwise, QString& error);

} // namespace tonvero::piece
