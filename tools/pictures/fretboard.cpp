// SPDX-License-Identifier: GPL-3.0-or-later
#include "parts.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include <cmath>

namespace pictures {

using namespace fretboard;

void woodGrain(QPainter &p, const QRectF &r, uint32_t seed, const QColor &dark, const QColor &light,
               qreal density)
{
    Grain rnd(seed);
    p.save();
    p.setClipRect(r);
    p.setRenderHint(QPainter::Antialiasing);
    const int streaks = int(r.height() * density * 1.6);
    for (int i = 0; i < streaks; ++i) {
        const qreal y0 = r.top() + rnd.range(-2, r.height() + 2);
        const qreal amp = rnd.range(0.2, 1.6);
        const qreal period = rnd.range(90, 420);
        const qreal phase = rnd.range(0, 6.283);
        const qreal width = rnd.range(0.35, 1.3);
        const bool isDark = rnd.next() < 0.62;
        QColor c = isDark ? dark : light;
        c.setAlpha(int(rnd.range(25, isDark ? 110 : 70)));
        const qreal x0 = r.left() + rnd.range(-r.width() * 0.3, r.width() * 0.7);
        const qreal len = rnd.range(r.width() * 0.25, r.width() * 1.1);
        QPainterPath path;
        const int steps = std::max(2, int(len / 6));
        for (int s = 0; s <= steps; ++s) {
            const qreal x = x0 + len * s / steps;
            const qreal y = y0 + amp * std::sin(phase + 6.283 * x / period);
            if (s == 0)
                path.moveTo(x, y);
            else
                path.lineTo(x, y);
        }
        p.strokePath(path, QPen(c, width, Qt::SolidLine, Qt::RoundCap));
    }
    // Pores: short dark flecks along the grain.
    const int pores = int(r.width() * r.height() * density / 60);
    for (int i = 0; i < pores; ++i) {
        const qreal x = r.left() + rnd.range(0, r.width());
        const qreal y = r.top() + rnd.range(0, r.height());
        const qreal len = rnd.range(1.5, 5);
        QColor c = dark;
        c.setAlpha(int(rnd.range(40, 120)));
        p.strokePath([&] { QPainterPath s; s.moveTo(x, y); s.lineTo(x + len, y + rnd.range(-0.3, 0.3)); return s; }(),
                     QPen(c, rnd.range(0.5, 0.9), Qt::SolidLine, Qt::RoundCap));
    }
    p.restore();
}

namespace {

void inlay(QPainter &p, qreal cx, qreal cy)
{
    const qreal r = 3.5;
    QRadialGradient g(cx - 1, cy - 1, r * 1.6);
    g.setColorAt(0, QColor(252, 250, 244));
    g.setColorAt(0.5, QColor(232, 228, 216));
    g.setColorAt(1, QColor(196, 190, 176));
    p.setPen(QPen(QColor(20, 10, 5, 110), 0.6));
    p.setBrush(g);
    p.drawEllipse(QPointF(cx, cy), r, r);
    p.setPen(Qt::NoPen);
}

qreal fretCentre(int fret) // between fret wire fret-1 (or the nut) and fret
{
    const int a = fret == 1 ? kNut : kFrets[fret - 2];
    const int b = kFrets[fret - 1];
    return (a + b) / 2.0 + 0.5;
}

void paintString(QPainter &p, qreal y, qreal width, bool wound)
{
    const qreal top = y - width / 2;
    // Shadow on the wood just below the string.
    p.fillRect(QRectF(kNut + 2, top + width + 0.4, kWidth, std::max(0.8, width * 0.6)), QColor(0, 0, 0, 75));
    p.fillRect(QRectF(0, top + width + 0.4, kNut - 1, std::max(0.8, width * 0.6)), QColor(0, 0, 0, 60));
    QLinearGradient g(0, top, 0, top + width);
    if (wound) {
        g.setColorAt(0, QColor(120, 112, 98));
        g.setColorAt(0.4, QColor(236, 228, 210));
        g.setColorAt(1, QColor(104, 96, 84));
    } else {
        g.setColorAt(0, QColor(150, 150, 152));
        g.setColorAt(0.4, QColor(250, 250, 252));
        g.setColorAt(1, QColor(128, 128, 132));
    }
    p.fillRect(QRectF(0, top, kWidth, width), g);
    if (!wound)
        return;
    // The winding: fine slanted grooves across the string.
    p.save();
    p.setClipRect(QRectF(0, top, kWidth, width));
    const qreal pitch = std::max(1.0, width * 0.5);
    QPainterPath grooves;
    for (qreal x = -width; x < kWidth + width; x += pitch) {
        grooves.moveTo(x, top + width);
        grooves.lineTo(x + width * 0.45, top);
    }
    p.strokePath(grooves, QPen(QColor(40, 34, 26, 70), pitch * 0.35));
    p.restore();
}

void paintFretboard(QPainter &p, int height, int strings, const qreal *widths, int woundFrom, uint32_t seed)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF board(0, 0, kWidth, height);
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, QColor(58, 34, 22));
    g.setColorAt(0.5, QColor(76, 46, 30));
    g.setColorAt(1, QColor(54, 32, 21));
    p.fillRect(board, g);
    woodGrain(p, board, seed, QColor(26, 13, 7), QColor(120, 76, 50), 1.0);
    // The headstock end, left of the nut, is a darker veneer.
    p.fillRect(QRectF(0, 0, kNut - 1, height), QColor(20, 12, 8, 150));
    // Bindings along both long edges.
    p.fillRect(QRectF(kNut + 2, 0, kWidth, 1), QColor(214, 204, 182));
    p.fillRect(QRectF(kNut + 2, height - 1, kWidth, 1), QColor(184, 174, 152));
    p.fillRect(QRectF(kNut + 2, 1, kWidth, 0.6), QColor(0, 0, 0, 70));
    // The end of the board past the last fret.
    p.fillRect(QRectF(kWidth - 1, 0, 1, height), QColor(0, 0, 0, 90));

    const qreal mid = height / 2.0;
    for (int fret : {3, 5, 7, 9, 15, 17, 19, 21, 24})
        inlay(p, fretCentre(fret), mid);
    const qreal twelve = fretCentre(12);
    const qreal pair = kStringSpacing;
    inlay(p, twelve, mid - pair);
    inlay(p, twelve, mid + pair);

    for (int x : kFrets) {
        QLinearGradient fw(x, 0, x + 1, 0);
        p.fillRect(QRectF(x - 0.5, 0, 0.5, height), QColor(0, 0, 0, 60));
        p.fillRect(QRectF(x, 0, 1, height), QColor(222, 222, 216));
        p.fillRect(QRectF(x + 1, 0, 1, height), QColor(0, 0, 0, 95));
        p.fillRect(QRectF(x + 2, 0, 1, height), QColor(0, 0, 0, 30));
    }
    // Bone nut.
    QLinearGradient nut(kNut - 1, 0, kNut + 2, 0);
    nut.setColorAt(0, QColor(250, 246, 232));
    nut.setColorAt(0.6, QColor(236, 229, 208));
    nut.setColorAt(1, QColor(196, 186, 160));
    p.fillRect(QRectF(kNut - 1, 0, 3, height), nut);
    p.fillRect(QRectF(kNut + 2, 0, 1, height), QColor(0, 0, 0, 110));

    for (int s = 0; s < strings; ++s)
        paintString(p, kTopString + kStringSpacing * s + 0.5, widths[s], s >= woundFrom);
}

} // namespace

void addFretboardPictures(std::vector<Picture> &out)
{
    static const qreal guitar[6] = {1.0, 1.2, 1.5, 1.9, 2.4, 2.9};
    static const qreal bass[4] = {2.2, 2.6, 3.0, 3.5};
    out.push_back({136, kWidth, kGuitarHeight, false,
                   [](QPainter &p) { paintFretboard(p, kGuitarHeight, 6, guitar, 3, 0x136u); }});
    out.push_back({148, kWidth, kBassHeight, false,
                   [](QPainter &p) { paintFretboard(p, kBassHeight, 4, bass, 0, 0x148u); }});
}

} // namespace pictures
