// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/staveglyphs.h"

#include <QPainterPathStroker>
#include <QPolygonF>
#include <QTransform>
#include <cmath>
#include <vector>

namespace staveglyphs {

using tonvero::music::NoteValue;
using tonvero::notation::Accidental;
using tonvero::notation::StaffClef;

namespace {

// Boolean operations flatten curves to a fixed precision in path units: done
// in units of a hundredth of a space, so that round shapes stay round.
constexpr double Fine = 100;

QPainterPath up(const QPainterPath& p)
{
    return QTransform::fromScale(Fine, Fine).map(p);
}

QPainterPath down(const QPainterPath& p)
{
    return QTransform::fromScale(1 / Fine, 1 / Fine).map(p);
}

QPainterPath unite(std::initializer_list<QPainterPath> parts)
{
    QPainterPath all;
    for (const QPainterPath& part : parts)
        all = all.isEmpty() ? up(part) : all.united(up(part));
    return down(all);
}

QPainterPath unite(const QPainterPath& a, const QPainterPath& b)
{
    return unite({a, b});
}

QPainterPath cut(const QPainterPath& a, const QPainterPath& b)
{
    return down(up(a).subtracted(up(b)));
}

// A point of a pen stroke's spine and the stroke's width there.
struct Nib {
    double x, y, w;
};

QPointF catmullRom(const Nib& p0, const Nib& p1, const Nib& p2, const Nib& p3, double t)
{
    const double t2 = t * t, t3 = t2 * t;
    auto f = [&](double a, double b, double c, double d) {
        return 0.5 * (2 * b + (c - a) * t + (2 * a - 5 * b + 4 * c - d) * t2 + (3 * b - a - 3 * c + d) * t3);
    };
    return {f(p0.x, p1.x, p2.x, p3.x), f(p0.y, p1.y, p2.y, p3.y)};
}

// A broad-nib stroke along a smooth curve through the nibs: thick and thin as
// an engraver's line is, with round ends.
QPainterPath penStroke(const std::vector<Nib>& nibs)
{
    constexpr int Steps = 16;
    std::vector<QPointF> spine;
    std::vector<double> widths;
    const int n = static_cast<int>(nibs.size());
    for (int i = 0; i + 1 < n; ++i) {
        const Nib& p0 = nibs[std::max(i - 1, 0)];
        const Nib& p3 = nibs[std::min(i + 2, n - 1)];
        for (int s = 0; s < Steps; ++s) {
            const double t = double(s) / Steps;
            spine.push_back(catmullRom(p0, nibs[i], nibs[i + 1], p3, t));
            const double e = t * t * (3 - 2 * t);
            widths.push_back(nibs[i].w + (nibs[i + 1].w - nibs[i].w) * e);
        }
    }
    spine.push_back({nibs.back().x, nibs.back().y});
    widths.push_back(nibs.back().w);

    QPolygonF left, right;
    const int m = static_cast<int>(spine.size());
    for (int i = 0; i < m; ++i) {
        const QPointF a = spine[std::max(i - 1, 0)];
        const QPointF b = spine[std::min(i + 1, m - 1)];
        const QPointF d = b - a;
        const double len = std::hypot(d.x(), d.y());
        const QPointF normal = len > 0 ? QPointF(-d.y() / len, d.x() / len) : QPointF(0, 0);
        left << spine[i] + normal * (widths[i] / 2);
        right.prepend(spine[i] - normal * (widths[i] / 2));
    }
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    path.addPolygon(left + right);
    path.closeSubpath();
    path.addEllipse(spine.front(), widths.front() / 2, widths.front() / 2);
    path.addEllipse(spine.back(), widths.back() / 2, widths.back() / 2);
    return down(up(path).simplified());
}

QPainterPath ellipse(double cx, double cy, double a, double b, double degrees)
{
    QPainterPath e;
    e.addEllipse(QPointF(0, 0), a, b);
    QTransform t;
    t.translate(cx, cy);
    t.rotate(degrees);
    return t.map(e);
}

QPainterPath ball(double cx, double cy, double r)
{
    QPainterPath p;
    p.addEllipse(QPointF(cx, cy), r, r);
    return p;
}

QPainterPath box(double x0, double y0, double x1, double y1)
{
    QPainterPath p;
    p.addRect(QRectF(QPointF(x0, y0), QPointF(x1, y1)));
    return p;
}

// A thick bar from (x0, y0) to (x1, y1), cut vertically at its ends.
QPainterPath slantedBar(double x0, double y0, double x1, double y1, double thickness)
{
    QPainterPath p;
    p.moveTo(x0, y0 - thickness / 2);
    p.lineTo(x1, y1 - thickness / 2);
    p.lineTo(x1, y1 + thickness / 2);
    p.lineTo(x0, y0 + thickness / 2);
    p.closeSubpath();
    return p;
}

QPainterPath makeNotehead(NoteValue value)
{
    // Engraved heads lean up to the right; the hollow of a half note leans
    // further than its outline, a whole note's hollow the other way.
    switch (value) {
    case NoteValue::Whole:
        return cut(ellipse(0.85, 0, 0.85, 0.52, 0), ellipse(0.85, 0, 0.44, 0.27, 58));
    case NoteValue::Half:
        return cut(ellipse(0.59, 0, 0.602, 0.485, -20), ellipse(0.59, 0, 0.53, 0.2, -33));
    default:
        return ellipse(0.59, 0, 0.602, 0.485, -20);
    }
}

QPainterPath flatShape(double x)
{
    QPainterPath bowl;
    bowl.moveTo(x + 0.1, -0.2);
    bowl.cubicTo(x + 0.3, -0.58, x + 0.82, -0.62, x + 0.8, -0.2);
    bowl.cubicTo(x + 0.78, 0.12, x + 0.45, 0.38, x + 0.08, 0.6);
    bowl.lineTo(x + 0.08, -0.2);
    bowl.closeSubpath();
    QPainterPath hole;
    hole.moveTo(x + 0.16, 0.3);
    hole.cubicTo(x + 0.35, 0.15, x + 0.52, -0.02, x + 0.52, -0.18);
    hole.cubicTo(x + 0.52, -0.34, x + 0.32, -0.32, x + 0.16, -0.1);
    hole.closeSubpath();
    return unite(cut(bowl, hole), box(x, -1.75, x + 0.14, 0.6));
}

QPainterPath makeAccidental(Accidental sign)
{
    QPainterPath p;
    switch (sign) {
    case Accidental::Sharp:
        p = unite({box(0.22, -1.2, 0.33, 1.4), box(0.6, -1.4, 0.71, 1.2), slantedBar(0.0, -0.42, 0.93, -0.66, 0.32),
                   slantedBar(0.0, 0.66, 0.93, 0.42, 0.32)});
        p.translate(-0.93, 0);
        break;
    case Accidental::Flat:
        p = flatShape(0);
        p.translate(-0.82, 0);
        break;
    case Accidental::Natural:
        p = unite({box(0.0, -1.35, 0.12, 0.5), box(0.56, -0.5, 0.68, 1.35), slantedBar(0.0, -0.3, 0.68, -0.5, 0.26),
                   slantedBar(0.0, 0.5, 0.68, 0.3, 0.26)});
        p.translate(-0.68, 0);
        break;
    case Accidental::DoubleSharp: {
        QPainterPathStroker stroker;
        stroker.setWidth(0.16);
        QPainterPath cross;
        cross.moveTo(-0.34, -0.34);
        cross.lineTo(0.34, 0.34);
        cross.moveTo(-0.34, 0.34);
        cross.lineTo(0.34, -0.34);
        p = stroker.createStroke(cross);
        for (double sx : {-1.0, 1.0})
            for (double sy : {-1.0, 1.0})
                p = unite(p, box(sx * 0.42 - 0.13, sy * 0.42 - 0.13, sx * 0.42 + 0.13, sy * 0.42 + 0.13));
        p.translate(-0.55, 0);
        break;
    }
    case Accidental::DoubleFlat:
        p = unite(flatShape(0), flatShape(0.62));
        p.translate(-1.44, 0);
        break;
    }
    p.setFillRule(Qt::WindingFill);
    return p;
}

// The G clef: a spiral round the G line, a rising stroke through the staff,
// a loop over it and the spine that ends in a hook below it.
QPainterPath makeTrebleClef()
{
    QPainterPath p = penStroke({
        {1.62, 0.12, 0.1},  {1.45, -0.62, 0.16}, {0.75, -0.62, 0.26}, {0.2, 0.15, 0.5},
        {0.62, 1.08, 0.36}, {1.5, 1.3, 0.14},    {2.32, 0.7, 0.22},   {2.4, -0.38, 0.3},
        {1.8, -1.35, 0.48}, {0.98, -2.35, 0.5},  {0.8, -3.45, 0.34},  {1.25, -4.45, 0.14},
        {1.75, -4.9, 0.12}, {2.05, -4.4, 0.16},  {1.88, -3.4, 0.2},   {1.68, -2.0, 0.2},
        {1.57, -0.6, 0.19}, {1.5, 1.0, 0.19},    {1.44, 2.2, 0.18},   {1.17, 2.92, 0.14},
        {0.68, 2.98, 0.12},
    });
    // Drawn roomy, then set to an engraved clef's height: 4.4 spaces above the G line, 2.7 below.
    return QTransform::fromScale(1.0, 0.88).map(unite(p, ball(0.8, 2.55, 0.42)));
}

QPainterPath makeBassClef()
{
    QPainterPath p = penStroke({
        {0.38, -0.12, 0.2}, {0.55, -0.75, 0.16}, {1.3, -1.0, 0.16}, {2.05, -0.55, 0.38},
        {2.2, 0.35, 0.44},  {1.75, 1.45, 0.34},  {1.0, 2.25, 0.18}, {0.1, 2.85, 0.08},
    });
    p = unite({p, ball(0.48, 0.02, 0.42), ball(2.75, -0.5, 0.17), ball(2.75, 0.5, 0.17)});
    return p;
}

QPainterPath makeAltoClef()
{
    QPainterPath p = unite(box(0, -2.0, 0.5, 2.0), box(0.72, -2.0, 0.86, 2.0));
    const std::vector<Nib> upper{
        {0.86, -0.02, 0.12}, {1.15, -0.35, 0.14}, {1.42, -1.1, 0.24}, {1.7, -1.75, 0.2},
        {2.2, -1.95, 0.14},  {2.65, -1.55, 0.36}, {2.55, -0.85, 0.4}, {2.05, -0.65, 0.18},
    };
    const QPainterPath half = unite(penStroke(upper), ball(1.95, -1.12, 0.34));
    p = unite({p, half, QTransform(1, 0, 0, -1, 0, 0).map(half)});
    return p;
}

QPainterPath makeFlag()
{
    QPainterPath p;
    p.moveTo(0, 0);
    p.cubicTo(0.05, 1.0, 1.25, 1.35, 1.0, 2.9);
    p.cubicTo(0.98, 3.05, 0.9, 3.15, 0.85, 3.1);
    p.cubicTo(1.05, 2.0, 0.45, 1.55, 0, 1.15);
    p.closeSubpath();
    return p;
}

// The quarter rest as an engraver cuts it: a thin stroke down to the right, a
// thick one back to the left, a thin one down again and a hook at the foot.
QPainterPath makeQuarterRest()
{
    return unite({penStroke({{0.3, -1.52, 0.12}, {0.62, -1.12, 0.34}, {0.92, -0.72, 0.24}}),
                  penStroke({{0.92, -0.72, 0.24}, {0.6, -0.34, 0.6}, {0.32, 0.04, 0.22}}),
                  penStroke({{0.32, 0.04, 0.2}, {0.62, 0.44, 0.3}, {0.9, 0.84, 0.16}}),
                  penStroke({{0.9, 0.84, 0.14}, {0.48, 0.72, 0.26}, {0.3, 1.05, 0.36}, {0.6, 1.5, 0.14}})});
}

// Eighth and sixteenth rests: a slanted stem with a hooked ball per value.
QPainterPath makeHookedRest(int hooks)
{
    const double top = -0.55;
    const double bottom = hooks == 1 ? 1.0 : 2.0;
    auto stemX = [&](double y) { return 1.0 - (y - top) * 0.28; };
    QPainterPath p;
    p.moveTo(stemX(top) - 0.02, top - 0.05);
    p.lineTo(stemX(top) + 0.12, top - 0.05);
    p.lineTo(stemX(bottom) + 0.08, bottom);
    p.lineTo(stemX(bottom) - 0.08, bottom);
    p.closeSubpath();
    for (int h = 0; h < hooks; ++h) {
        const double y = top + h * 1.0;
        const double x = stemX(y);
        QPainterPath hook;
        hook.moveTo(x + 0.05, y - 0.02);
        hook.cubicTo(x - 0.2, y + 0.35, x - 0.55, y + 0.35, x - 0.7, y + 0.15);
        hook.lineTo(x - 0.7, y + 0.05);
        hook.cubicTo(x - 0.5, y + 0.15, x - 0.2, y + 0.1, x + 0.05, y - 0.1);
        hook.closeSubpath();
        p = unite({p, hook, ball(x - 0.68, y - 0.02, 0.23)});
    }
    if (hooks > 1)
        p.translate(0.3, -0.5);
    return p;
}

} // namespace

const QPainterPath& notehead(NoteValue value)
{
    static const QPainterPath heads[3] = {makeNotehead(NoteValue::Whole), makeNotehead(NoteValue::Half),
                                          makeNotehead(NoteValue::Quarter)};
    const int i = std::clamp(static_cast<int>(value), 0, 2);
    return heads[i];
}

const QPainterPath& accidental(Accidental sign)
{
    static const QPainterPath signs[5] = {makeAccidental(Accidental::DoubleFlat), makeAccidental(Accidental::Flat),
                                          makeAccidental(Accidental::Natural), makeAccidental(Accidental::Sharp),
                                          makeAccidental(Accidental::DoubleSharp)};
    return signs[std::clamp(static_cast<int>(sign) + 2, 0, 4)];
}

const QPainterPath& clef(StaffClef clef)
{
    static const QPainterPath clefs[3] = {makeTrebleClef(), makeBassClef(), makeAltoClef()};
    return clefs[std::clamp(static_cast<int>(clef), 0, 2)];
}

int clefLine(StaffClef clef)
{
    switch (clef) {
    case StaffClef::Bass: return 6;
    case StaffClef::Alto: return 4;
    default: return 2;
    }
}

const QPainterPath& flag()
{
    static const QPainterPath f = makeFlag();
    return f;
}

const QPainterPath& rest(NoteValue value)
{
    static const QPainterPath rests[3] = {makeQuarterRest(), makeHookedRest(1), makeHookedRest(2)};
    return rests[std::clamp(static_cast<int>(value) - 2, 0, 2)];
}

} // namespace staveglyphs
