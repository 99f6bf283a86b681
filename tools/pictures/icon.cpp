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
QImage renderIcon(const Glyphs &, int s)
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
    // Five-line staves sit low on the paper to leave room for the stems and beam.
    const int sp = std::max(lt + 2, int((paper.height() * (lines == 5 ? 0.6 : 0.72)) / (lines - 1)));
    const int staffH = sp * (lines - 1);
    const int staffTop = lines == 5 ? paper.bottom() + 1 - staffH - lt - px(sp * 0.55)
                                    : paper.top() + (paper.height() - staffH - lt) / 2;
    const qreal inset = std::max(1, px(s * 0.03));
    for (int i = 0; i < lines; ++i)
        p.fillRect(QRectF(paper.left() + inset, staffTop + i * sp, paper.width() - 2 * inset, lt), Qt::black);
    const qreal lineCentre = lt / 2.0;

    // One quarter note on the small sizes, two beamed quavers from 32 px up.
    const qreal hh = sp * 0.5 + lt * 0.5, hw = sp * 0.66 + lt * 0.3;
    const qreal stemW = std::max(1.0, std::round(sp * 0.16));
    auto noteHead = [&](qreal cx, qreal cy) {
        QPainterPath head;
        head.addEllipse(QPointF(0, 0), hw, hh * 0.86);
        QTransform t;
        t.translate(cx, cy);
        t.rotate(-20);
        p.fillPath(t.map(head), Qt::black);
        return std::round(cx + hw * 0.95); // right edge of the stem
    };
    if (lines == 3) {
        const qreal cy = staffTop + sp * 0.5 + lineCentre;
        const qreal right = noteHead(paper.left() + paper.width() * 0.5, cy);
        const qreal top = std::max<qreal>(paper.top() + 1, cy - sp * 3.4);
        p.fillRect(QRectF(right - stemW, top, stemW, cy - top), Qt::black);
    } else {
        const qreal cy1 = staffTop + sp * 3.5 + lineCentre, cy2 = staffTop + sp * 2.5 + lineCentre;
        const qreal x1 = paper.left() + paper.width() * 0.34, x2 = paper.left() + paper.width() * 0.7;
        const qreal r1 = noteHead(x1, cy1), r2 = noteHead(x2, cy2);
        const qreal beam = std::max<qreal>(2, std::round(sp * 0.5));
        const qreal top2 = std::max<qreal>(paper.top() + std::max(2.0, sp * 0.4), cy2 - sp * 3.5);
        const qreal top1 = top2 + sp * 0.5;
        p.fillRect(QRectF(r1 - stemW, top1, stemW, cy1 - top1), Qt::black);
        p.fillRect(QRectF(r2 - stemW, top2, stemW, cy2 - top2), Qt::black);
        QPolygonF b;
        b << QPointF(r1 - stemW, top1) << QPointF(r2, top2) << QPointF(r2, top2 + beam) << QPointF(r1 - stemW, top1 + beam);
        QPainterPath bp;
        bp.addPolygon(b);
        p.fillPath(bp, Qt::black);
    }

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
