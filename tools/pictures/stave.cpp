// SPDX-License-Identifier: GPL-3.0-or-later
#include "parts.h"

#include <QPainter>
#include <QTransform>

#include <cmath>

namespace pictures {

namespace {

const QColor kInk(0, 0, 0);
const QColor kRedInk(208, 0, 0);

// FreeSerif draws its clefs on one staff: the bass clef's dots lie a staff
// space apart around the F line and the C clef is centred on the middle line.
constexpr qreal kFontSpace = 193.5;       // staff space in font units
constexpr qreal kFontMiddleLine = -370.5; // middle staff line in font units
constexpr qreal kSpace = 9;               // our staff space in pixels
constexpr qreal kScale = kSpace / kFontSpace;
constexpr qreal kTrebleGrow = 1.1; // FreeSerif's G clef is small next to engraved ones

constexpr int kUpperLines[5] = {19, 28, 37, 46, 55};
constexpr int kLowerLines[5] = {152, 161, 170, 179, 188};

// Row of a staff line -> y of its centre.
constexpr qreal centre(int row) { return row + 0.5; }

void staffLines(QPainter &p, const int (&rows)[5], qreal x0, qreal x1)
{
    for (int r : rows)
        p.fillRect(QRectF(x0, r, x1 - x0, 1), kInk);
}

// A clef glyph with its font staff's middle line at middleY and its left edge at x.
void clef(QPainter &p, const Glyphs &g, char32_t cp, qreal x, qreal middleY, qreal grow = 1.0,
          qreal growAroundFontY = kFontMiddleLine)
{
    QPainterPath path = g.music(cp);
    const qreal k = kScale * grow;
    const qreal left = path.boundingRect().left();
    // Scale about the chosen font line so that line stays where the font puts it.
    const qreal anchorY = middleY + (growAroundFontY - kFontMiddleLine) * kScale;
    QTransform t(k, 0, 0, k, x - left * k, anchorY - growAroundFontY * k);
    const QPainterPath placed = t.map(path);
    p.fillPath(placed, kInk);
    // FreeSerif's clefs are drawn lighter than engraved ones: thicken them a little.
    p.strokePath(placed, QPen(kInk, 0.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

void trebleClef(QPainter &p, const Glyphs &g, qreal x, int middleRow)
{
    const qreal gLine = kFontMiddleLine + kFontSpace; // second line from the bottom
    clef(p, g, 0x1D11E, x, centre(middleRow), kTrebleGrow, gLine);
}

void bassClef(QPainter &p, const Glyphs &g, qreal x, int middleRow)
{
    clef(p, g, 0x1D122, x, centre(middleRow));
}

// A time-signature digit spanning two staff spaces, bottom at bottomY.
void timeDigit(QPainter &p, const Glyphs &g, char32_t digit, qreal centreX, qreal bottomY)
{
    QPainterPath path = g.bold(digit);
    const QRectF b = path.boundingRect();
    const qreal ky = 2 * kSpace / b.height();
    const qreal kx = ky * 1.18;
    QTransform t(kx, 0, 0, ky, centreX - (b.left() + b.width() / 2) * kx, bottomY - b.bottom() * ky);
    p.fillPath(t.map(path), kInk);
}

void commonFourFour(QPainter &p, const Glyphs &g, qreal centreX, const int (&rows)[5])
{
    timeDigit(p, g, U'4', centreX, centre(rows[2]));
    timeDigit(p, g, U'4', centreX, centre(rows[4]));
}

// A brace: each half is a stroke that leaves its tip on the right, runs down
// almost straight and swings left into the centre point; it is thin at the
// tip and the centre and full in the middle of the arm.
QPainterPath brace(qreal left, qreal top, qreal width, qreal height)
{
    const qreal h = height / 2;
    auto spineX = [](qreal v) {
        if (v < 0.2)
            return 0.40 + 0.52 * (1 - v / 0.2) * (1 - v / 0.2);
        if (v < 0.8)
            return 0.40 - 0.06 * (v - 0.2) / 0.6;
        const qreal u = (v - 0.8) / 0.2;
        return 0.34 * (1 - u * u);
    };
    auto thickness = [](qreal v) { return 0.06 + 0.44 * std::sin(M_PI * std::pow(v, 0.8)); };
    const int n = 200;
    QPolygonF outline;
    for (int i = 0; i <= n; ++i) {
        const qreal v = qreal(i) / n;
        outline << QPointF(left + width * (spineX(v) + thickness(v) / 2), top + v * h);
    }
    for (int i = n; i >= 0; --i) {
        const qreal v = qreal(i) / n;
        outline << QPointF(left + width * (spineX(v) - thickness(v) / 2), top + v * h);
    }
    QPainterPath half;
    half.addPolygon(outline);
    half.closeSubpath();
    const QPainterPath lower = QTransform(1, 0, 0, -1, 0, 2 * (top + h)).map(half);
    return half.united(lower);
}

void paintTreble(QPainter &p, const Glyphs &g)
{
    p.fillRect(QRectF(0, 0, 38, 72), Qt::white);
    staffLines(p, kUpperLines, 1, 38);
    p.setRenderHint(QPainter::Antialiasing);
    trebleClef(p, g, 5, kUpperLines[2]);
}

void paintBass(QPainter &p, const Glyphs &g)
{
    p.fillRect(QRectF(0, 0, 38, 56), Qt::white);
    staffLines(p, kUpperLines, 1, 38);
    p.setRenderHint(QPainter::Antialiasing);
    bassClef(p, g, 4, kUpperLines[2]);
}

void paintAlto(QPainter &p, const Glyphs &g)
{
    p.fillRect(QRectF(0, 0, 38, 56), Qt::white);
    staffLines(p, kUpperLines, 1, 38);
    p.setRenderHint(QPainter::Antialiasing);
    clef(p, g, 0x1D121, 5, centre(kUpperLines[2]));
}

void paintGrand(QPainter &p, const Glyphs &g)
{
    p.fillRect(QRectF(0, 0, 73, 190), Qt::white);
    const qreal barX = 12;
    staffLines(p, kUpperLines, barX, 73);
    staffLines(p, kLowerLines, barX, 73);
    p.fillRect(QRectF(barX, kUpperLines[0], 1, kLowerLines[4] - kUpperLines[0] + 1), kInk);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(brace(0.8, kUpperLines[0], 9.6, kLowerLines[4] + 1 - kUpperLines[0]), kInk);
    trebleClef(p, g, 15, kUpperLines[2]);
    bassClef(p, g, 14, kLowerLines[2]);
    commonFourFour(p, g, 50, kUpperLines);
    commonFourFour(p, g, 50, kLowerLines);
}

// Quarter note: head centred on row 32, stem up on the right edge of the head.
void paintNote(QPainter &p, const QColor &ink)
{
    p.fillRect(QRectF(0, 0, 13, 37), Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(6.5, 32.5);
    // Semi-axes chosen so the tilted head is 11 px wide and one staff space high.
    const qreal a = 5.64, b = 4.33, tilt = -20;
    QPainterPath head;
    head.addEllipse(QPointF(0, 0), a, b);
    QTransform t;
    t.translate(c.x(), c.y());
    t.rotate(tilt);
    p.fillPath(t.map(head), ink);
    p.fillRect(QRectF(11, 1, 1, 31), ink);
}

void paintSharp(QPainter &p)
{
    p.fillRect(QRectF(0, 0, 10, 30), Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal yc = 16.5, xc = 5.3, slope = -0.27, thick = 3.0, halfGap = 4.1;
    const qreal x0 = 0.9, x1 = 9.7;
    QPainterPath shape;
    for (qreal dy : {-halfGap, halfGap}) {
        auto y = [&](qreal x) { return yc + dy + slope * (x - xc); };
        QPolygonF beam;
        beam << QPointF(x0, y(x0) - thick / 2) << QPointF(x1, y(x1) - thick / 2)
             << QPointF(x1, y(x1) + thick / 2) << QPointF(x0, y(x0) + thick / 2);
        shape.addPolygon(beam);
        shape.closeSubpath();
    }
    shape.addRect(QRectF(3, yc - 10.2, 1, 22.4));
    shape.addRect(QRectF(7, yc - 12.4, 1, 22.4));
    shape.setFillRule(Qt::WindingFill);
    p.fillPath(shape.simplified(), kInk);
}

void paintFlat(QPainter &p)
{
    p.fillRect(QRectF(0, 0, 10, 30), Qt::white);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal yc = 16.5, x = 3;
    QPainterPath bowl;
    bowl.moveTo(x + 1.0, yc - 2.0);
    bowl.cubicTo(x + 2.6, yc - 5.0, x + 7.0, yc - 5.6, x + 7.0, yc - 2.0);
    bowl.cubicTo(x + 7.0, yc + 0.8, x + 4.0, yc + 3.6, x + 0.9, yc + 5.6);
    bowl.lineTo(x + 0.9, yc - 2.0);
    bowl.closeSubpath();
    QPainterPath hole;
    hole.moveTo(x + 1.35, yc + 2.7);
    hole.cubicTo(x + 3.0, yc + 1.4, x + 4.5, yc - 0.1, x + 4.5, yc - 1.6);
    hole.cubicTo(x + 4.5, yc - 2.9, x + 2.8, yc - 2.7, x + 1.35, yc - 0.9);
    hole.closeSubpath();
    QPainterPath stem;
    stem.addRect(QRectF(x, yc - 15.2, 1.35, 20.6));
    QPainterPath shape = bowl.subtracted(hole).united(stem);
    p.fillPath(shape, kInk);
}

} // namespace

void addStavePictures(std::vector<Picture> &out, const Glyphs &g)
{
    const Glyphs *gp = &g;
    out.push_back({137, 38, 72, false, [gp](QPainter &p) { paintTreble(p, *gp); }});
    out.push_back({138, 38, 56, false, [gp](QPainter &p) { paintBass(p, *gp); }});
    out.push_back({139, 38, 56, false, [gp](QPainter &p) { paintAlto(p, *gp); }});
    out.push_back({152, 73, 190, false, [gp](QPainter &p) { paintGrand(p, *gp); }});
    out.push_back({140, 13, 37, false, [](QPainter &p) { paintNote(p, kInk); }});
    out.push_back({141, 13, 37, false, [](QPainter &p) { paintNote(p, kRedInk); }});
    out.push_back({156, 10, 30, false, paintSharp});
    out.push_back({157, 10, 30, false, paintFlat});
}

} // namespace pictures
