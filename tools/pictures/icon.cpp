// SPDX-License-Identifier: GPL-3.0-or-later
#include "parts.h"

#include <QLinearGradient>
#include <QPainter>
#include <QTransform>

#include <cmath>

namespace pictures {

namespace {

int px(qreal v) { return int(std::lround(v)); }

} // namespace

// A quarter note on a staff above a few piano keys, in a walnut frame.
// Every size is laid out on its own pixel grid so lines stay sharp.
QImage renderIcon(const Glyphs &g, int s)
{
    QImage img(s, s, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);

    const qreal pad = s >= 32 ? s / 32.0 : 0;
    const QRectF frame(pad, pad, s - 2 * pad, s - 2 * pad);
    QLinearGradient wood(0, 0, 0, s);
    wood.setColorAt(0, QColor(96, 60, 40));
    wood.setColorAt(1, QColor(58, 35, 23));
    p.setPen(Qt::NoPen);
    p.setBrush(wood);
    p.drawRoundedRect(frame, s * 0.17, s * 0.17);

    const int m = std::max(2, px(s * 0.1));
    const int keysTop = px(s * 0.6);
    const int keysBottom = s - m;
    const int paperBottom = keysTop - std::max(1, px(s * 0.05));
    const QRect paper(m, m, s - 2 * m, paperBottom - m);
    QLinearGradient pg(0, paper.top(), 0, paper.bottom());
    pg.setColorAt(0, QColor(255, 254, 248));
    pg.setColorAt(1, QColor(240, 235, 222));
    p.setBrush(pg);
    p.drawRoundedRect(QRectF(paper), s * 0.04, s * 0.04);

    // Staff: five lines from 32 px up, three below.
    const int lines = s >= 32 ? 5 : 3;
    const int lt = std::max(1, px(s / 64.0));
    const int sp = std::max(lt + 2, int((paper.height() * 0.72) / (lines - 1)));
    const int staffH = sp * (lines - 1);
    const int staffTop = paper.top() + (paper.height() - staffH - lt) / 2 + (s >= 32 ? px(s / 64.0) : 0);
    const qreal inset = std::max(1, px(s * 0.03));
    for (int i = 0; i < lines; ++i)
        p.fillRect(QRectF(paper.left() + inset, staffTop + i * sp, paper.width() - 2 * inset, lt), Qt::black);
    const qreal lineCentre = lt / 2.0;

    if (s >= 48) {
        QPainterPath clefPath = g.music(0x1D11E);
        const qreal k = sp / 193.5 * 1.1;
        const qreal gLineFont = -370.5 + 193.5;
        const qreal gLineY = staffTop + (lines - 2) * sp + lineCentre;
        const qreal left = clefPath.boundingRect().left();
        p.fillPath(QTransform(k, 0, 0, k, paper.left() + inset + sp * 0.4 - left * k, gLineY - gLineFont * k).map(clefPath),
                   Qt::black);
    }

    // The note sits in the space above the middle line, stem up.
    const qreal headCy = staffTop + sp * (lines == 5 ? 1.5 : 0.5) + lineCentre;
    const qreal headCx = s >= 48 ? paper.left() + paper.width() * 0.66 : paper.left() + paper.width() * 0.5;
    const qreal hh = sp * 0.5 + lt * 0.5, hw = sp * 0.66 + lt * 0.3;
    QPainterPath head;
    head.addEllipse(QPointF(0, 0), hw, hh * 0.86);
    QTransform t;
    t.translate(headCx, headCy);
    t.rotate(-20);
    p.fillPath(t.map(head), Qt::black);
    const qreal stemW = std::max(1.0, std::round(sp * 0.16));
    const qreal stemRight = std::round(headCx + hw * 0.95);
    const qreal stemTop = std::max<qreal>(paper.top() + 1, headCy - sp * 3.4);
    p.fillRect(QRectF(stemRight - stemW, stemTop, stemW, headCy - stemTop), Qt::black);

    // Keys.
    const int whites = s <= 24 ? 4 : 7;
    const int kx0 = m, kx1 = s - m;
    QRect keys(kx0, keysTop, kx1 - kx0, keysBottom - keysTop);
    p.fillRect(keys, QColor(250, 248, 240));
    const QColor gap(70, 66, 60);
    auto edge = [&](int i) { return kx0 + px(qreal(i) * (kx1 - kx0) / whites); };
    for (int i = 1; i < whites; ++i)
        p.fillRect(QRect(edge(i), keysTop, lt, keys.height()), gap);
    p.fillRect(QRect(kx0, keysBottom - lt, kx1 - kx0, lt), QColor(190, 185, 175));
    const int blackH = px(keys.height() * 0.6);
    const int blackW = std::max(2, px((kx1 - kx0) / qreal(whites) * 0.62));
    static const int blacks7[] = {1, 2, 4, 5, 6};
    static const int blacks4[] = {1, 2};
    const int *bl = whites == 7 ? blacks7 : blacks4;
    const int nb = whites == 7 ? 5 : 2;
    for (int i = 0; i < nb; ++i) {
        const int x = edge(bl[i]) + lt / 2 - blackW / 2;
        p.fillRect(QRect(x, keysTop, blackW, blackH), QColor(20, 19, 18));
        if (s >= 48)
            p.fillRect(QRect(x + lt, keysTop + blackH - 2 * lt, blackW - 2 * lt, lt), QColor(90, 88, 86));
    }
    p.fillRect(QRect(kx0, keysTop, kx1 - kx0, lt), QColor(112, 20, 30));
    p.end();
    return img.convertToFormat(QImage::Format_ARGB32);
}

} // namespace pictures
