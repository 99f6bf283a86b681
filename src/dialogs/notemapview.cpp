// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/notemapview.h"

#include "dialogs/tooltipevent.h"
#include "history/notenames.h"
#include "platform/ui/bitmap.h"

#include <QEvent>
#include <QHelpEvent>
#include <QLinearGradient>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <cmath>

using namespace tonvero;
using namespace tonvero::history;

namespace {

constexpr int Margin = 12;
constexpr qreal Gap = 10; // staff space
constexpr int WhiteKeys = 52;
constexpr qreal LegendBarHeight = 12;
// Room along the staff, in staff spaces: a note head, and an accidental before it.
constexpr qreal HeadRoom = 2.0 * Gap;
constexpr qreal AccidentalRoom = 1.1 * Gap;
// The clef pictures: 9 px staff space, top line on row 19.
constexpr qreal PictureGap = 9;
constexpr qreal PictureTopLine = 19.5;
constexpr int ClefPictures[3] = {137, 138, 139};
constexpr double FixedErrorTop = 50;
constexpr double FixedTimeTopMs = 5000;

const QColor Ink(0x22, 0x22, 0x22);
const QColor KeyEdge(0x70, 0x70, 0x70);

// Viridis, sampled at tenths (matplotlib's table); linear in between.
constexpr unsigned ViridisStops[11] = {0x440154, 0x482475, 0x414487, 0x355f8d, 0x2a788e, 0x21918c,
                                       0x22a884, 0x44bf70, 0x7ad151, 0xbddf26, 0xfde725};

int whiteIndexOf(int key)
{
    int w = 0;
    for (int k = 0; k < key; ++k)
        w += isBlackKey(k) ? 0 : 1;
    return isBlackKey(key) ? w - 1 : w;
}

qreal staffTopPadding(int maxPos)
{
    return std::max(0, maxPos - 8) * Gap / 2 + 1.5 * Gap;
}

qreal staffBottomPadding(int minPos)
{
    return std::max(0, -minPos) * Gap / 2 + 1.5 * Gap;
}

std::pair<int, int> positionRange(const QVector<SpelledNote>& notes, int reading)
{
    int lo = 0, hi = 8;
    for (const SpelledNote& n : notes) {
        const int p = stavePosition(reading, n.keyIndex, n.spelling);
        lo = std::min(lo, p);
        hi = std::max(hi, p);
    }
    return {lo, hi};
}

qreal keyboardHeight(qreal keyWidth)
{
    return std::clamp(keyWidth * 5.2, 60.0, 120.0);
}

QString seconds(int ms)
{
    return QLocale().toString(ms / 1000.0, 'f', ms < 10000 ? 2 : 1);
}

} // namespace

NoteMapView::NoteMapView(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setAccessibleName(tr("Карта нот"));
    m_keyRects.resize(KeyCount);
}

QColor NoteMapView::viridis(double t)
{
    if (!(t > 0))
        t = 0;
    t = std::min(t, 1.0);
    const double scaled = t * 10;
    const int i = std::min(int(scaled), 9);
    const double f = scaled - i;
    const QColor a = QColor::fromRgb(ViridisStops[i]);
    const QColor b = QColor::fromRgb(ViridisStops[i + 1]);
    auto mix = [f](int x, int y) { return int(std::lround(x + (y - x) * f)); };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

QColor NoteMapView::noDataWhite()
{
    return QColor(0xff, 0xff, 0xff);
}

QColor NoteMapView::noDataBlack()
{
    // Pale, so that no key without answers passes for the dark end of the scale.
    return QColor(0xc8, 0xc8, 0xc8);
}

void NoteMapView::setMap(const NoteMapData& map, int clefSetting)
{
    m_map = map;
    m_clef = clefSetting >= 0 && clefSetting <= 3 ? clefSetting : 3;
    updateScale();
    updateGeometry();
    rebuild();
}

void NoteMapView::setMetric(Metric metric)
{
    if (metric == m_metric)
        return;
    m_metric = metric;
    updateScale();
    rebuild();
}

void NoteMapView::setFixedScale(bool fixed)
{
    if (fixed == m_fixedScale)
        return;
    m_fixedScale = fixed;
    updateScale();
    rebuild();
}

void NoteMapView::updateScale()
{
    double hiRate = 0;
    int loMs = -1, hiMs = -1;
    auto consider = [&](const NoteFigures& f) {
        if (f.answers == 0)
            return;
        hiRate = std::max(hiRate, f.errorPercent());
        if (f.medianMs >= 0) {
            loMs = loMs < 0 ? f.medianMs : std::min(loMs, f.medianMs);
            hiMs = std::max(hiMs, f.medianMs);
        }
    };
    for (const NoteFigures& f : m_map.keys)
        consider(f);
    for (const auto& staff : m_map.staves)
        for (const SpelledNote& n : staff)
            consider(n.figures);

    if (m_fixedScale) {
        // The same colours from one day to the next: a note at 8 % looks the same whatever the rest did.
        m_low = 0;
        m_high = m_metric == Metric::Errors ? FixedErrorTop : FixedTimeTopMs;
    } else if (m_metric == Metric::Errors) {
        m_low = 0;
        m_high = 100;
        for (double top : {5.0, 10.0, 15.0, 20.0, 25.0, 30.0, 40.0, 50.0, 60.0, 75.0, 100.0}) {
            if (hiRate <= top) {
                m_high = top;
                break;
            }
        }
    } else if (loMs < 0) {
        m_low = 0;
        m_high = 1000;
    } else {
        m_low = std::floor(loMs / 100.0) * 100;
        m_high = std::ceil(hiMs / 100.0) * 100;
        if (m_high <= m_low)
            m_high = m_low + 100;
    }
}

double NoteMapView::value(const NoteFigures& f) const
{
    if (f.answers == 0)
        return -1;
    if (m_metric == Metric::Errors)
        return std::clamp(f.errorPercent() / m_high, 0.0, 1.0);
    if (f.medianMs < 0)
        return -1;
    return std::clamp((f.medianMs - m_low) / (m_high - m_low), 0.0, 1.0);
}

QColor NoteMapView::colour(const NoteFigures& f, bool black) const
{
    const double v = value(f);
    if (v < 0)
        return black ? noDataBlack() : noDataWhite();
    return viridis(v);
}

QColor NoteMapView::keyColour(int keyIndex) const
{
    if (keyIndex < 0 || keyIndex >= KeyCount)
        return QColor();
    return colour(m_map.keys[std::size_t(keyIndex)], isBlackKey(keyIndex));
}

QString NoteMapView::tip(const QString& name, const NoteFigures& f) const
{
    QString text = name;
    if (f.answers == 0)
        return text + u'\n' + tr("Ответов нет");
    text += u'\n'
        + tr("Ответов: %1, ошибок: %2 (%3 %)")
              .arg(f.answers)
              .arg(f.errors)
              .arg(QLocale().toString(f.errorPercent(), 'f', 0));
    text += u'\n';
    text += f.medianMs >= 0 ? tr("Медиана времени ответа: %1 с").arg(seconds(f.medianMs))
                            : tr("Верных ответов нет");
    return text;
}

QRectF NoteMapView::keyRect(int keyIndex) const
{
    return keyIndex >= 0 && keyIndex < KeyCount ? m_keyRects[keyIndex] : QRectF();
}

QString NoteMapView::toolTipAt(const QPoint& pos) const
{
    for (auto it = m_items.crbegin(); it != m_items.crend(); ++it)
        if (it->rect.contains(pos))
            return it->tip;
    return QString();
}

int NoteMapView::stavesHeight() const
{
    qreal h = 0;
    const int staves = m_clef == 3 ? 2 : 1;
    for (int s = 0; s < staves; ++s) {
        const auto [lo, hi] = positionRange(m_map.staves[std::size_t(s)], readingClef(m_clef, s));
        h += staffTopPadding(hi) + 4 * Gap + bottomPadding(s, lo);
    }
    return int(std::ceil(h));
}

qreal NoteMapView::bottomPadding(int staff, int minPos) const
{
    // An empty staff says so under its lines.
    if (m_map.staves[std::size_t(staff)].isEmpty())
        return Gap + QFontMetricsF(smallFont()).height();
    return staffBottomPadding(minPos);
}

int NoteMapView::heightFor(int width) const
{
    const qreal keyW = (width - 2 * Margin) / qreal(WhiteKeys);
    const qreal label = QFontMetricsF(smallFont()).height();
    // Staves, keyboard, octave names, legend bar with its labels.
    return int(std::ceil(Margin + stavesHeight() + 1.5 * Gap + keyboardHeight(keyW) + label + 1.5 * Gap
                         + LegendBarHeight + 8 + label + Margin));
}

QFont NoteMapView::smallFont() const
{
    QFont f = font();
    f.setPointSizeF(f.pointSizeF() * 0.85);
    return f;
}

QSize NoteMapView::sizeHint() const
{
    return QSize(900, heightFor(900));
}

QSize NoteMapView::minimumSizeHint() const
{
    return QSize(560, heightFor(560));
}

bool NoteMapView::hasHeightForWidth() const
{
    return true;
}

int NoteMapView::heightForWidth(int width) const
{
    return heightFor(width);
}

void NoteMapView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    rebuild();
}

bool NoteMapView::event(QEvent* event)
{
    if (showToolTipEvent(this, event, [this](const QPoint& at) { return toolTipAt(at); }))
        return true;
    return QWidget::event(event);
}

void NoteMapView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(QPoint(0, 0), m_picture);
}

void NoteMapView::rebuild()
{
    m_items.clear();
    const QSize area = size();
    if (area.isEmpty())
        return;
    const qreal ratio = devicePixelRatioF();
    m_picture = QImage((QSizeF(area) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    m_picture.setDevicePixelRatio(ratio);
    m_picture.fill(palette().color(QPalette::Base));

    QPainter p(&m_picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const qreal left = Margin;
    const qreal right = area.width() - Margin;
    const QFont small = smallFont();

    // The stave(s): clef, lines, and each note that was shown, in pitch order.
    const int staves = m_clef == 3 ? 2 : 1;
    qreal y = Margin;
    const qreal braceW = staves == 2 ? 14 : 0;
    qreal firstTop = 0, lastBottom = 0;
    QFont accidentalFont = font();
    accidentalFont.setPixelSize(int(Gap * 1.7));
    for (int s = 0; s < staves; ++s) {
        const int reading = readingClef(m_clef, s);
        const QVector<SpelledNote>& notes = m_map.staves[std::size_t(s)];
        const auto [lo, hi] = positionRange(notes, reading);
        const qreal top = y + staffTopPadding(hi);
        const qreal bottom = top + 4 * Gap;
        if (s == 0)
            firstTop = top;
        lastBottom = bottom;
        const qreal x0 = left + braceW;

        const qreal pictureScale = Gap / PictureGap;
        const QImage clefPicture = platform::LoadBitmap(ClefPictures[reading], 2.0);
        qreal clefWidth = 3 * Gap;
        if (!clefPicture.isNull()) {
            const QSizeF size = clefPicture.deviceIndependentSize() * pictureScale;
            const QRectF target(x0, top - PictureTopLine * pictureScale, size.width(), size.height());
            p.drawImage(target, clefPicture);
            clefWidth = size.width();
        }
        p.setPen(QPen(Ink, 1));
        for (int line = 0; line < 5; ++line)
            p.drawLine(QPointF(x0, top + line * Gap), QPointF(right, top + line * Gap));

        const qreal notesLeft = x0 + clefWidth + Gap;
        const qreal notesRight = right - Gap;
        if (notes.isEmpty()) {
            p.setPen(palette().color(QPalette::PlaceholderText));
            p.setFont(small);
            p.drawText(QRectF(notesLeft, bottom + Gap / 2, notesRight - notesLeft, QFontMetricsF(small).height()),
                       Qt::AlignHCenter | Qt::AlignTop, tr("Нет ответов в этом ключе"));
        }
        // Each note gets a head's room, and an accidental's more when it has one; all of it
        // shrinks together when the notes are many.
        qreal units = 0;
        for (const SpelledNote& n : notes)
            units += HeadRoom + (n.spelling != Spelling::Natural ? AccidentalRoom : 0);
        const qreal unit = units > 0 ? std::min((notesRight - notesLeft) / units, 1.6) : 0;
        qreal cursor = notesLeft;
        for (int i = 0; i < notes.size(); ++i) {
            const SpelledNote& n = notes[i];
            const qreal room = (HeadRoom + (n.spelling != Spelling::Natural ? AccidentalRoom : 0)) * unit;
            cursor += room;
            const int pos = stavePosition(reading, n.keyIndex, n.spelling);
            const qreal cx = cursor - HeadRoom * unit / 2;
            const qreal cy = bottom - pos * Gap / 2;
            p.setPen(QPen(Ink, 1));
            for (int ledger = -2; ledger >= pos; ledger -= 2)
                p.drawLine(QPointF(cx - 0.95 * Gap, bottom - ledger * Gap / 2),
                           QPointF(cx + 0.95 * Gap, bottom - ledger * Gap / 2));
            for (int ledger = 10; ledger <= pos; ledger += 2)
                p.drawLine(QPointF(cx - 0.95 * Gap, bottom - ledger * Gap / 2),
                           QPointF(cx + 0.95 * Gap, bottom - ledger * Gap / 2));
            p.save();
            p.translate(cx, cy);
            p.rotate(-20);
            p.setBrush(colour(n.figures, false));
            p.setPen(QPen(Ink, 1.2));
            p.drawEllipse(QPointF(0, 0), 0.68 * Gap, 0.46 * Gap);
            p.restore();
            if (n.spelling != Spelling::Natural) {
                p.setFont(accidentalFont);
                p.setPen(Ink);
                const QString sign = n.spelling == Spelling::Sharp ? QString(QChar(0x266F)) : QString(QChar(0x266D));
                p.drawText(QRectF(cx - 0.75 * Gap - 1.5 * Gap, cy - 1.5 * Gap, 1.5 * Gap, 3 * Gap),
                           Qt::AlignRight | Qt::AlignVCenter, sign);
            }
            m_items.push_back({QRectF(cursor - room, cy - Gap, room, 2 * Gap),
                               tip(tr("%1, %2 ключ").arg(displayName(n.keyIndex, n.spelling), readingClefName(reading)),
                                   n.figures)});
        }
        y = bottom + bottomPadding(s, lo);
    }
    if (staves == 2) {
        // The grand staff's bracket and the line that joins its staves.
        p.setPen(QPen(Ink, 1));
        p.drawLine(QPointF(left + braceW, firstTop), QPointF(left + braceW, lastBottom));
        QPainterPath brace;
        const qreal mid = (firstTop + lastBottom) / 2;
        brace.moveTo(left + braceW - 2, firstTop);
        brace.cubicTo(left, firstTop, left + braceW - 2, mid, left, mid);
        brace.cubicTo(left + braceW - 2, mid, left, lastBottom, left + braceW - 2, lastBottom);
        p.setPen(QPen(Ink, 2.2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(brace);
    }

    // The keyboard.
    const qreal keyW = (right - left) / WhiteKeys;
    const qreal whiteH = keyboardHeight(keyW);
    const qreal keysTop = y + 1.5 * Gap;
    const qreal blackW = keyW * 0.6;
    const qreal blackH = whiteH * 0.62;
    for (int pass = 0; pass < 2; ++pass) {
        for (int k = 0; k < KeyCount; ++k) {
            const bool black = isBlackKey(k);
            if (black != (pass == 1))
                continue;
            const int w = whiteIndexOf(k);
            const QRectF r = black ? QRectF(left + (w + 1) * keyW - blackW / 2, keysTop, blackW, blackH)
                                   : QRectF(left + w * keyW, keysTop, keyW, whiteH);
            m_keyRects[k] = r;
            p.setBrush(keyColour(k));
            p.setPen(QPen(black ? Ink : KeyEdge, 1));
            if (black)
                p.drawRoundedRect(r.adjusted(0.5, -0.5, -0.5, -0.5), 1.5, 1.5);
            else
                p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
            const QString name = black ? QStringLiteral("%1 / %2").arg(displayName(k, Spelling::Sharp),
                                                                       displayName(k, Spelling::Flat))
                                       : displayName(k, Spelling::Natural);
            m_items.push_back({r, tip(name, m_map.keys[std::size_t(k)])});
        }
    }
    p.setFont(small);
    const QFontMetricsF fm(small);
    p.setPen(palette().color(QPalette::Text));
    for (int k = 0; k < KeyCount; ++k) {
        if ((k + 9) % 12 != 0)
            continue; // the Cs name the octaves
        const QRectF r = m_keyRects[k];
        p.drawText(QRectF(r.center().x() - 2 * keyW, keysTop + whiteH + 2, 4 * keyW, fm.height()), Qt::AlignCenter,
                   displayName(k, Spelling::Natural));
    }

    // The legend.
    const qreal legendTop = keysTop + whiteH + fm.height() + Gap * 1.5;
    const QString title = m_metric == Metric::Errors ? tr("Доля ошибок") : tr("Медиана времени ответа");
    p.setFont(font());
    const QFontMetricsF fmTitle(font());
    const qreal titleW = fmTitle.horizontalAdvance(title) + Gap;
    p.drawText(QPointF(left, legendTop + LegendBarHeight), title);
    const qreal barLeft = left + titleW;
    const qreal barW = std::min(320.0, std::max(120.0, (right - left) * 0.4));
    QLinearGradient gradient(barLeft, 0, barLeft + barW, 0);
    for (int i = 0; i <= 10; ++i)
        gradient.setColorAt(i / 10.0, viridis(i / 10.0));
    p.setPen(QPen(KeyEdge, 1));
    p.setBrush(gradient);
    p.drawRect(QRectF(barLeft, legendTop + 2, barW, LegendBarHeight));
    p.setFont(small);
    p.setPen(palette().color(QPalette::Text));
    // Round labels: whole steps of the error scale, or the ends and the middle of the times.
    int steps = 2;
    if (m_metric == Metric::Errors) {
        const double nice[] = {1, 2, 2.5, 5, 10, 15, 20, 25};
        for (int n : {5, 4, 3, 2}) {
            if (std::find(std::begin(nice), std::end(nice), m_high / n) != std::end(nice)) {
                steps = n;
                break;
            }
        }
    }
    for (int i = 0; i <= steps; ++i) {
        const double v = m_low + (m_high - m_low) * i / steps;
        const QString label = m_metric == Metric::Errors ? QStringLiteral("%1 %").arg(QLocale().toString(v, 'f', 0))
                                                          : tr("%1 с").arg(seconds(int(v)));
        const qreal x = barLeft + barW * i / steps;
        p.drawLine(QPointF(x, legendTop + 2 + LegendBarHeight), QPointF(x, legendTop + 5 + LegendBarHeight));
        p.drawText(QRectF(x - 40, legendTop + 6 + LegendBarHeight, 80, fm.height()), Qt::AlignHCenter, label);
    }
    const qreal swatchX = barLeft + barW + 3 * Gap;
    p.setPen(QPen(KeyEdge, 1));
    p.setBrush(noDataWhite());
    p.drawRect(QRectF(swatchX, legendTop + 2, LegendBarHeight, LegendBarHeight));
    p.setBrush(noDataBlack());
    p.drawRect(QRectF(swatchX + LegendBarHeight + 3, legendTop + 2, LegendBarHeight, LegendBarHeight));
    p.setPen(palette().color(QPalette::Text));
    p.drawText(QPointF(swatchX + 2 * LegendBarHeight + 10, legendTop + LegendBarHeight), tr("нет данных"));
    p.end();
    update();
}
