// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pictures.h"

#include <QRectF>

namespace pictures {

QColor lighter(const QColor &c, qreal towardsWhite, int alpha);
QColor darker(const QColor &c, qreal towardsBlack, int alpha);
void woodGrain(QPainter &p, const QRectF &r, uint32_t seed, const QColor &dark, const QColor &light,
               qreal density);

void addPianoPictures(std::vector<Picture> &out);
void addFretboardPictures(std::vector<Picture> &out);
void addStavePictures(std::vector<Picture> &out, const Glyphs &g);
void addShapeMarkPictures(std::vector<Picture> &out);

} // namespace pictures
