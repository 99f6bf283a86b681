// SPDX-License-Identifier: GPL-3.0-or-later
#include "parts.h"

#include <QPainter>

namespace pictures {

std::vector<Picture> allPictures(const Glyphs &g)
{
    std::vector<Picture> out;
    addPianoPictures(out);
    addFretboardPictures(out);
    addStavePictures(out, g);
    addShapeMarkPictures(out);
    return out;
}

QImage render(const Picture &pic, int scale)
{
    QImage img(pic.width * scale, pic.height * scale,
               pic.alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    img.fill(pic.alpha ? Qt::transparent : Qt::white);
    {
        QPainter p(&img);
        p.scale(scale, scale);
        pic.paint(p);
    }
    if (pic.alpha)
        img = img.convertToFormat(QImage::Format_ARGB32);
    return img;
}

} // namespace pictures
