// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/phrasepicture.h"

#include "controls/staveglyphs.h"
#include "music/notenames.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <cmath>

namespace phrasepicture {

using namespace tonvero;
using notation::LineLayout;
using notation::StemDirection;

namespace {

constexpr double LeftPad = 0.5;
constexpr double GrandLeftPad = 1.8; // room for the brace
constexpr double RightPad = 1.0;
// Above and below the staves whatever the line holds: three ledger lines and
// the cursor's triangle fit, so the staves do not jump from line to line.
constexpr double MinRoom = 4.0;
constexpr double NameRow = 1.5;
constexpr double NameGap = 0.8;
constexpr double BeamThickness = 0.5;

const QColor Ink(0, 0, 0);

double leftPad(const LineLayout& l)
{
    return l.staves.size() > 1 ? GrandLeftPad : LeftPad;
}

// How far the line's symbols reach above the top line and below the bottom line, in spaces.
std::pair<double, double> reach(const LineLayout& l)
{
    double top = 0, bottom = l.height;
    auto take = [&](double y0, double y1) {
        top = std::min(top, std::min(y0, y1));
        bottom = std::max(bottom, std::max(y0, y1));
    };
    for (const auto& h : l.noteheads) {
        const double y = l.y(h.staff, h.position);
        take(y - 0.6, y + 0.6);
    }
    for (const auto& a : l.accidentals) {
        const double y = l.y(a.staff, a.position);
        take(y - 1.8, y + 1.4);
    }
    for (const auto& s : l.stems)
        take(s.yBase, s.yTip);
    for (const auto& b : l.beams)
        take(std::min(b.y1, b.y2) - BeamThickness, std::max(b.y1, b.y2) + BeamThickness);
    for (const auto& f : l.flags)
        take(f.y, f.y + (f.direction == StemDirection::Up ? 3.2 : -3.2));
    return {-top, bottom - l.height};
}

int maxChordSize(const music::Phrase& phrase)
{
    int n = 0;
    for (const auto& bar : phrase.bars)
        for (const auto& e : bar.events)
            n = std::max(n, static_cast<int>(e.notes.size()));
    return n;
}

// Whole device pixels for an edge given in logical pixels.
double snap(double v, double dpr)
{
    return std::round(v * dpr) / dpr;
}

// A thickness of at least one device pixel, whole in device pixels.
double thickness(double spaces, int space, double dpr)
{
    return std::max(1.0, std::round(spaces * space * dpr)) / dpr;
}

QPainterPath makeDigit(int d)
{
    QFont font(QStringLiteral("DejaVu Serif"));
    font.setBold(true);
    font.setPixelSize(100);
    QPainterPath p;
    p.addText(0, 0, font, QString::number(d));
    // Every digit two spaces tall and centred on x = 0, whatever the font's metrics.
    const QRectF b = p.boundingRect();
    const double k = b.height() > 0 ? 2.0 / b.height() : 0.0;
    QTransform t;
    t.scale(k * 1.12, k);
    t.translate(-b.center().x(), -b.bottom());
    return t.map(p);
}

const QPainterPath& digitPath(QChar digit)
{
    static const std::array<QPainterPath, 10> digits = [] {
        std::array<QPainterPath, 10> made;
        for (int d = 0; d < 10; ++d)
            made[d] = makeDigit(d);
        return made;
    }();
    static const QPainterPath none;
    const int d = digit.digitValue();
    return d >= 0 && d <= 9 ? digits[d] : none;
}

// Each half of the brace leaves its tip on the right, runs down almost
// straight and swings left into the centre point; thin at the ends, full in the arm.
QPainterPath brace(double height)
{
    auto spineX = [](double v) {
        if (v < 0.2)
            return 0.40 + 0.52 * (1 - v / 0.2) * (1 - v / 0.2);
        if (v < 0.8)
            return 0.40 - 0.06 * (v - 0.2) / 0.6;
        const double u = (v - 0.8) / 0.2;
        return 0.34 * (1 - u * u);
    };
    auto width = [](double v) { return 0.06 + 0.44 * std::sin(M_PI * std::pow(v, 0.8)); };
    const int n = 80;
    const double h = height / 2;
    QPolygonF outline;
    for (int i = 0; i <= n; ++i) {
        const double v = double(i) / n;
        outline << QPointF(spineX(v) + width(v) / 2, v * h);
    }
    for (int i = n; i >= 0; --i) {
        const double v = double(i) / n;
        outline << QPointF(spineX(v) - width(v) / 2, v * h);
    }
    // Two arms overlapping at the point: filled by winding, no union needed.
    QPainterPath braceShape;
    braceShape.setFillRule(Qt::WindingFill);
    braceShape.addPolygon(outline);
    braceShape.closeSubpath();
    // Mirrored, and turned the same way round, so that the overlap stays filled.
    QPolygonF lower = QTransform(1, 0, 0, -1, 0, height).map(outline);
    std::reverse(lower.begin(), lower.end());
    braceShape.addPolygon(lower);
    braceShape.closeSubpath();
    return braceShape;
}

class Painter {
public:
    Painter(QPainter& p, const Fit& fit, const music::Phrase& phrase, const Look& look, Sprites* sprites)
        : p(p), fit(fit), l(fit.layout), phrase(phrase), look(look), s(fit.space),
          dpr(p.device()->devicePixelRatioF()), sprites(sprites)
    {
    }

    void run(const QSize& size)
    {
        p.fillRect(QRectF(QPointF(0, 0), QSizeF(size)), Qt::white);
        if (s <= 0 || l.staves.empty())
            return;
        p.setRenderHint(QPainter::Antialiasing, true);
        const QRectF band = cursorBand(fit, look.cursor);
        if (!band.isEmpty())
            p.fillRect(band, bandColour());
        staffLines();
        header();
        barLines();
        events();
        if (look.names)
            names();
        if (look.shapeMarks && !band.isEmpty())
            triangle(band);
    }

private:
    QPainter& p;
    const Fit& fit;
    const LineLayout& l;
    const music::Phrase& phrase;
    const Look& look;
    int s;
    double dpr;
    Sprites* sprites;

    double X(double x) const { return fit.origin.x() + x * s; }
    double Y(double y) const { return fit.origin.y() + y * s; }

    // A rectangle whose edges fall on device pixels, at least one pixel each way.
    void block(double x0, double y0, double x1, double y1, const QColor& c)
    {
        double a = snap(std::min(x0, x1), dpr), b = snap(std::max(x0, x1), dpr);
        double t = snap(std::min(y0, y1), dpr), u = snap(std::max(y0, y1), dpr);
        if (b - a < 1 / dpr)
            b = a + 1 / dpr;
        if (u - t < 1 / dpr)
            u = t + 1 / dpr;
        p.fillRect(QRectF(QPointF(a, t), QPointF(b, u)), c);
    }

    // A horizontal line of a thickness centred on y.
    void hline(double x0, double x1, double y, double thick, const QColor& c)
    {
        const double top = snap(y - thick / 2, dpr);
        p.fillRect(QRectF(QPointF(snap(x0, dpr), top), QPointF(snap(x1, dpr), top + thick)), c);
    }

    void glyph(const QPainterPath& path, double x, double y, const QColor& c, double sx = 1, double sy = 1)
    {
        if (sprites) {
            const QImage& sprite = sprites->sprite(path, c, s, dpr, sy < 0);
            // The sprite's origin on a whole device pixel.
            const QPointF at(std::round(X(x) * dpr) / dpr, std::round(Y(y) * dpr) / dpr);
            p.drawImage(at + QPointF(sprite.offset()) / dpr, sprite);
            return;
        }
        p.save();
        p.translate(X(x), Y(y));
        p.scale(s * sx, s * sy);
        p.fillPath(path, c);
        p.restore();
    }

    bool played(int event) const { return event >= 0 && event < look.cursor; }
    bool shown(int event) const { return !played(event) || look.playedVisible; }
    QColor ink(int event) const { return played(event) ? playedColour() : Ink; }

    bool barPlayed(int bar) const
    {
        bool any = false;
        for (int e = 0; e < static_cast<int>(l.events.size()); ++e)
            if (l.events[e].bar == bar) {
                any = true;
                if (!played(e))
                    return false;
            }
        return any;
    }

    void staffLines()
    {
        const double t = thickness(0.1, s, dpr);
        const double x1 = X(l.width);
        for (const auto& staff : l.staves)
            for (int i = 0; i < 5; ++i)
                hline(X(0), x1, Y(staff.top + i), t, Ink);
        if (l.staves.size() > 1) {
            // The system's first line, and the brace that makes it a grand staff.
            const double w = thickness(0.16, s, dpr);
            block(X(0), Y(0) - t / 2, X(0) + w, Y(l.height) + t / 2, Ink);
            p.save();
            p.translate(X(-1.45), Y(0));
            p.scale(s, s);
            p.fillPath(fit.brace, Ink);
            p.restore();
        }
    }

    void header()
    {
        for (const auto& c : l.clefs)
            glyph(staveglyphs::clef(c.clef), c.x, l.y(c.staff, staveglyphs::clefLine(c.clef)), Ink);
        for (const auto& a : l.keySignature)
            glyph(staveglyphs::accidental(a.sign), a.x + 1.0, l.y(a.staff, a.position), Ink);
        for (const auto& t : l.timeSignatures) {
            const double cx = t.x + 1.1;
            const QString top = QString::number(t.numerator), bottom = QString::number(t.denominator);
            digits(top, cx, l.y(t.staff, 4));
            digits(bottom, cx, l.y(t.staff, 0));
        }
    }

    void digits(const QString& text, double centreX, double bottomY)
    {
        const double advance = 1.55;
        double x = centreX - advance * (text.size() - 1) / 2;
        for (QChar c : text) {
            glyph(digitPath(c), x, bottomY, Ink);
            x += advance;
        }
    }

    void barLines()
    {
        const double t = thickness(0.16, s, dpr);
        const double staffT = thickness(0.1, s, dpr);
        const double top = Y(0) - staffT / 2, bottom = Y(l.height) + staffT / 2;
        for (size_t i = 0; i < l.barLines.size(); ++i) {
            const double x = X(l.barLines[i]);
            if (i + 1 < l.barLines.size()) {
                block(x - t, top, x, bottom, Ink);
                continue;
            }
            // The final bar line: thin, then thick at the line's end.
            const double thick = snap(0.5 * s, dpr);
            block(x - thick, top, x, bottom, Ink);
            const double thinRight = x - thick - snap(0.4 * s, dpr);
            block(thinRight - t, top, thinRight, bottom, Ink);
        }
    }

    void events()
    {
        const double ledgerT = thickness(0.13, s, dpr);
        for (const auto& g : l.ledgerLines)
            if (shown(g.event))
                hline(X(g.x1), X(g.x2), Y(l.y(g.staff, g.position)), ledgerT, ink(g.event));
        for (const auto& h : l.noteheads)
            if (shown(h.event))
                glyph(staveglyphs::notehead(h.value), h.x, l.y(h.staff, h.position), ink(h.event));
        for (const auto& a : l.accidentals)
            if (shown(a.event))
                glyph(staveglyphs::accidental(a.sign), a.x + 1.0, l.y(a.staff, a.position), ink(a.event));
        for (const auto& d : l.dots)
            if (shown(d.event)) {
                p.setPen(Qt::NoPen);
                p.setBrush(ink(d.event));
                p.drawEllipse(QPointF(X(d.x), Y(l.y(d.staff, d.position))), 0.2 * s, 0.2 * s);
            }
        stems();
        for (const auto& f : l.flags)
            if (shown(f.event)) {
                const bool up = f.direction == StemDirection::Up;
                const double t = thickness(0.11, s, dpr) / s;
                for (int k = 0; k < f.count; ++k) {
                    const double y = f.y + (up ? 1 : -1) * 0.8 * k;
                    glyph(staveglyphs::flag(), up ? f.x - t / 2 : f.x + t / 2, y, ink(f.event), 1, up ? 1 : -1);
                }
            }
        for (const auto& b : l.beams)
            beam(b);
        for (const auto& r : l.rests) {
            const bool isPlayed = r.event >= 0 ? played(r.event) : barPlayed(barOf(r.x));
            if (isPlayed && !look.playedVisible)
                continue;
            rest(r, isPlayed ? playedColour() : Ink);
        }
    }

    int barOf(double x) const
    {
        for (size_t i = 0; i < l.barLines.size(); ++i)
            if (x < l.barLines[i])
                return static_cast<int>(i);
        return static_cast<int>(l.barLines.size()) - 1;
    }

    void stems()
    {
        const double t = thickness(0.11, s, dpr);
        for (const auto& st : l.stems) {
            if (!shown(st.event))
                continue;
            const bool up = st.direction == StemDirection::Up;
            const double x = snap(X(st.x), dpr);
            // From inside the notehead, where it meets the stem, to the tip.
            const double base = Y(st.yBase) + (up ? -0.15 : 0.15) * s;
            const double tip = Y(st.yTip);
            if (up)
                block(x - t, tip, x, base, ink(st.event));
            else
                block(x, base, x + t, tip, ink(st.event));
        }
    }

    void beamShape(const notation::Beam& b, double x1, double x2, double offset, const QColor& c)
    {
        const bool up = b.direction == StemDirection::Up;
        const double sign = up ? 1 : -1;
        QPainterPath path;
        const double y1 = b.yAt(x1) + sign * offset, y2 = b.yAt(x2) + sign * offset;
        path.moveTo(X(x1), Y(y1));
        path.lineTo(X(x2), Y(y2));
        path.lineTo(X(x2), Y(y2 + sign * BeamThickness));
        path.lineTo(X(x1), Y(y1 + sign * BeamThickness));
        path.closeSubpath();
        p.fillPath(path, c);
    }

    void beam(const notation::Beam& b)
    {
        // A beam over played and unplayed notes changes colour between them.
        double split = -1e9;
        for (size_t k = 0; k + 1 < b.events.size(); ++k)
            if (played(b.events[k]) && !played(b.events[k + 1]))
                split = (stemX(b, k) + stemX(b, k + 1)) / 2;
        const bool allPlayed = !b.events.empty() && played(b.events.back());
        const double t = thickness(0.11, s, dpr) / s;
        const bool up = b.direction == StemDirection::Up;
        const double left = up ? b.x1 - t : b.x1, right = up ? b.x2 : b.x2 + t;
        auto draw = [&](double x1, double x2, double offset) {
            if (allPlayed) {
                if (look.playedVisible)
                    beamShape(b, x1, x2, offset, playedColour());
                return;
            }
            if (split > x1) {
                if (look.playedVisible)
                    beamShape(b, x1, std::min(split, x2), offset, playedColour());
                if (split < x2)
                    beamShape(b, split, x2, offset, Ink);
                return;
            }
            beamShape(b, x1, x2, offset, Ink);
        };
        draw(left, right, 0);
        const double spacing = 0.75;
        for (const auto& span : b.secondary) {
            const double x1 = span.x1 == b.x1 ? left : span.x1;
            const double x2 = span.x2 == b.x2 ? right : span.x2;
            draw(x1, x2, spacing * span.level);
        }
    }

    double stemX(const notation::Beam& b, size_t k) const
    {
        for (const auto& st : l.stems)
            if (st.event == b.events[k] && st.staff == b.staff)
                return st.x;
        return b.x1;
    }

    void rest(const notation::Rest& r, const QColor& c)
    {
        const double y = l.y(r.staff, r.position);
        switch (r.value) {
        case music::NoteValue::Whole: {
            const double x = r.event < 0 ? r.x - 0.6 : r.x;
            block(X(x), Y(y), X(x + 1.2), Y(y + 0.5), c);
            break;
        }
        case music::NoteValue::Half:
            block(X(r.x), Y(y - 0.5), X(r.x + 1.2), Y(y), c);
            break;
        default:
            glyph(staveglyphs::rest(r.value), r.x, y, c);
            break;
        }
    }

    void names()
    {
        // Outlines rather than text, so that no hinting setting moves them.
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(std::max(8, static_cast<int>(std::lround(0.9 * s))));
        const double rowsTop = fit.namesTop;
        int index = 0;
        for (const auto& bar : phrase.bars)
            for (const auto& e : bar.events) {
                const int event = index++;
                if (e.notes.empty() || !shown(event) || event >= static_cast<int>(l.events.size()))
                    continue;
                std::vector<music::Pitch> pitches;
                for (const auto& n : e.notes)
                    pitches.push_back(n.pitch);
                // Low to high, upwards, as the chord stands.
                std::sort(pitches.begin(), pitches.end(), [](const music::Pitch& a, const music::Pitch& b) {
                    return a.diatonicIndex() != b.diatonicIndex() ? a.diatonicIndex() < b.diatonicIndex()
                                                                  : a.alter < b.alter;
                });
                const double centre = X(l.events[event].x + 0.59);
                const int rows = static_cast<int>(pitches.size());
                for (int i = 0; i < rows; ++i) {
                    const QString name = music::writtenName(pitches[i]);
                    const double baseline = Y(rowsTop + NameRow * (rows - i) - 0.35 * NameRow);
                    QPainterPath text;
                    text.addText(QPointF(0, baseline), font, name);
                    text.translate(centre - text.boundingRect().center().x(), 0);
                    p.fillPath(text, ink(event));
                }
            }
    }

    void triangle(const QRectF& band)
    {
        const double cx = band.center().x();
        const double tip = band.top() + 1.2 * s;
        QPainterPath t;
        t.moveTo(cx - 0.6 * s, tip - 0.9 * s);
        t.lineTo(cx + 0.6 * s, tip - 0.9 * s);
        t.lineTo(cx, tip);
        t.closeSubpath();
        p.fillPath(t, cursorColour());
    }
};

} // namespace

Fit fitLine(const music::Phrase& phrase, notation::Clef clef, const QSize& size, bool names)
{
    Fit fit;
    fit.layout = notation::layoutLine(phrase, clef);
    const auto [above, below] = reach(fit.layout);
    fit.nameRows = names ? std::max(1, maxChordSize(phrase)) : 0;
    const double room = std::max({MinRoom, above, below});
    fit.room = room;
    // The names right under what the lowest staff holds; the staves stay where they were.
    fit.namesTop = fit.layout.height + std::max(2.5, below) + NameGap;
    const double namesBelowRoom = fit.nameRows > 0
        ? std::max(0.0, fit.namesTop + NameRow * fit.nameRows - (fit.layout.height + room))
        : 0.0;
    const double tall = fit.layout.height + 2 * room + namesBelowRoom;
    const double pads = leftPad(fit.layout) + RightPad;
    const double natural = fit.layout.width + pads;

    const double byHeight = std::min<double>(MaxSpace, size.height() / tall);
    double space = byHeight;
    if (space * natural > size.width())
        space = size.width() / natural;
    fit.space = std::max(MinSpace, static_cast<int>(std::floor(space)));
    fit.fitsWidth = fit.space * natural <= size.width() + 0.5;
    fit.fitsHeight = fit.space * tall <= size.height() + 0.5;

    const double available = size.width() / double(fit.space) - pads;
    if (available > fit.layout.width) {
        notation::StaffGeometry geometry;
        geometry.width = available;
        fit.layout = notation::layoutLine(phrase, clef, geometry);
    }
    const double left = std::round(leftPad(fit.layout) * fit.space);
    const double top = std::round((size.height() - tall * fit.space) / 2 + room * fit.space);
    fit.origin = QPointF(left, top);
    if (fit.layout.staves.size() > 1)
        fit.brace = brace(fit.layout.height);
    return fit;
}

QSize sizeHint(notation::Clef clef, int bars)
{
    const bool grand = clef == notation::Clef::Grand;
    const double height = (grand ? 14.0 : 4.0) + 2 * MinRoom + NameGap + NameRow;
    // A clef, a key of up to seven accidentals and the time, then bars of eighths.
    const double width = (grand ? GrandLeftPad : LeftPad) + 15.5 + 23.0 * std::clamp(bars, 1, 4) + RightPad;
    return QSize(static_cast<int>(std::ceil(width * ComfortableSpace)),
                 static_cast<int>(std::ceil(height * ComfortableSpace)));
}

QRectF cursorBand(const Fit& fit, int event)
{
    const LineLayout& l = fit.layout;
    if (event < 0 || event >= static_cast<int>(l.events.size()) || fit.space <= 0)
        return {};
    double left = l.events[event].x, right = left + 1.18;
    for (const auto& h : l.noteheads)
        if (h.event == event) {
            left = std::min(left, h.x);
            right = std::max(right, h.x + (h.value == music::NoteValue::Whole ? 1.7 : 1.18));
        }
    for (const auto& a : l.accidentals)
        if (a.event == event)
            left = std::min(left, a.x + 0.1);
    for (const auto& r : l.rests)
        if (r.event == event) {
            left = std::min(left, r.x);
            right = std::max(right, r.x + 1.2);
        }
    const double margin = 0.5;
    const double top = -3.0, bottom = l.height + 3.0;
    const double s = fit.space;
    return QRectF(fit.at(left - margin, top), fit.at(right + margin, bottom)).normalized()
        .intersected(QRectF(fit.origin.x() - s, fit.origin.y() - 100 * s, (l.width + 2) * s, 200 * s + l.height * s))
        .toAlignedRect();
}

QColor cursorColour()
{
    // The shape marks' dark bluish green, the note to play: apart for every kind of colour vision.
    return QColor(0x17, 0x82, 0x79);
}

QColor bandColour()
{
    return QColor(0xD4, 0xEA, 0xE7);
}

QColor playedColour()
{
    return QColor(0xA8, 0xA8, 0xA8);
}

void paint(QPainter& painter, const QSize& size, const Fit& fit, const music::Phrase& phrase, const Look& look,
           Sprites* sprites)
{
    Painter(painter, fit, phrase, look, sprites).run(size);
}

const QImage& Sprites::sprite(const QPainterPath& path, const QColor& colour, int space, double dpr, bool mirrored)
{
    if (space != m_space || dpr != m_dpr) {
        m_sprites.clear();
        m_space = space;
        m_dpr = dpr;
    }
    const Key key{&path, colour.rgba(), mirrored};
    for (const auto& [k, image] : m_sprites)
        if (k == key)
            return image;
    const double k = space * dpr;
    QTransform t = QTransform::fromScale(k, mirrored ? -k : k);
    const QRectF bounds = t.map(path).boundingRect();
    const QPoint topLeft(static_cast<int>(std::floor(bounds.left())) - 1, static_cast<int>(std::floor(bounds.top())) - 1);
    const QSize size(static_cast<int>(std::ceil(bounds.right())) + 2 - topLeft.x(),
                     static_cast<int>(std::ceil(bounds.bottom())) + 2 - topLeft.y());
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing, true);
        p.translate(-topLeft.x(), -topLeft.y());
        p.setTransform(t, true);
        p.fillPath(path, colour);
    }
    image.setDevicePixelRatio(dpr);
    image.setOffset(topLeft);
    m_sprites.emplace_back(key, std::move(image));
    return m_sprites.back().second;
}

} // namespace phrasepicture
