// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QList>
#include <QSize>

namespace platform {

// The picture of a resource id (":/pictures/<id>.png"). With a device pixel
// ratio above 1 the "@2x" picture is returned, tagged with ratio 2, so that
// drawing it at 1× coordinates stays crisp. Decoded pictures are cached;
// the returned QImage is an implicitly shared copy, cheap to "load afresh".
QImage LoadBitmap(int id, qreal devicePixelRatio = 1.0);

// Starts decoding these pictures on a worker thread, so that the large ones
// are ready by the time a window is built; LoadBitmap waits for a picture
// still being decoded there rather than decoding it again.
void DecodeAhead(const QList<int>& ids, qreal devicePixelRatio);

// Size of the picture in 1× pixels (empty when the id has no picture).
QSize BitmapSize(int id);

} // namespace platform
