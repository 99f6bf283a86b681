// SPDX-License-Identifier: GPL-3.0-or-later
#include "parts.h"

#include <QPainter>
#include <QPainterPathStroker>

namespace pictures {

namespace shapemarks {

QColor colour(int meaning)
{
    // Okabe-Ito's sky blue and orange, and its bluish green made darker: the
    // three then differ in lightness too, which is what a red-green blind eye
    // has left to tell a dot from a cross by colour.
    static const QColor colours[3] = {
        QColor(0x17, 0x82, 0x79), // dark bluish green: the note to play
        QColor(0x56, 0xB4, 0xE9), // sky blue: played, and right
        QColor(0xE6, 0x9F, 0x00), // orange: played, and wrong
    };
    return colours[meaning];
}

} // namespace shapemarks

using namespace shapemarks;

namespace {

// Where and how large one symbol is drawn; a halo parts it from a dark ground.
struct Geometry {
    QPointF centre;
    qreal radius;  // of the dot and the ring's outer edge
    qreal ring;    // width of the ring
    qreal arm;     // half the width of the cross
    qreal bar;     // width of the cross's bars
    qreal halo;    // 0: none
    QColor haloColour;
};

QPainterPath disc(QPointF c, qreal r)
{
    QPainterPath p;
    p.addEllipse(c, r, r);
    return p;
}

QPainterPath symbol(int meaning, const Geometry &g)
{
    switch (meaning) {
    case ToPlay:
        return disc(g.centre, g.radius);
    case PlayedRight:
        return disc(g.centre, g.radius).subtracted(disc(g.centre, g.radius - g.ring));
    default: {
        const QPointF c = g.centre;
        const qreal a = g.arm;
        QPainterPath lines;
        lines.moveTo(c + QPointF(-a, -a));
        lines.lineTo(c + QPointF(a, a));
        lines.moveTo(c + QPointF(a, -a));
        lines.lineTo(c + QPointF(-a, a));
        QPainterPathStroker stroker;
        stroker.setWidth(g.bar);
        stroker.setCapStyle(Qt::FlatCap);
        return stroker.createStroke(lines).simplified();
    }
    }
}

void paintSymbol(QPainter &p, int meaning, const Geometry &g)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath shape = symbol(meaning, g);
    if (g.halo > 0) {
        // Only round the outside: the ring's hole must stay open.
        const QPainterPath outline = meaning == PlayedRight ? disc(g.centre, g.radius) : shape;
        p.strokePath(outline, QPen(g.haloColour, 2 * g.halo, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    }
    p.fillPath(shape, colour(meaning));
}

// On the ivory face of a white key, columns 1..11, below the black keys.
const Geometry kWhiteKey{QPointF(6.5, 13.5), 4.8, 1.7, 3.5, 2.3, 0, QColor()};
// On a black key, columns 2..10: a thin ivory halo keeps the shape apart from the black.
const Geometry kBlackKey{QPointF(6.5, 10.5), 3.8, 1.25, 2.6, 1.7, 0.6, QColor(250, 248, 241, 220)};
// On the wood of a fretboard, centred on the string.
const Geometry kFret{QPointF(kFretSize / 2.0, kFretSize / 2.0), 5.5, 2.0, 4.3, 2.2, 1.0, QColor(255, 253, 246, 235)};

} // namespace

void addShapeMarkPictures(std::vector<Picture> &out)
{
    using namespace piano;
    for (int m = ToPlay; m <= PlayedWrong; ++m) {
        out.push_back({kWhiteIds[m], kWhiteMarkW, kWhiteMarkH, true, [m](QPainter &p) { paintSymbol(p, m, kWhiteKey); }});
        out.push_back({kBlackIds[m], kBlackMarkW, kBlackMarkH, true, [m](QPainter &p) { paintSymbol(p, m, kBlackKey); }});
        out.push_back({kFretIds[m], kFretSize, kFretSize, true, [m](QPainter &p) { paintSymbol(p, m, kFret); }});
    }
}

} // namespace pictures
