// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/piecestripview.h"

#include "dialogs/notemapview.h"
#include "dialogs/tooltipevent.h"

#include <QAccessible>
#include <QEvent>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLinearGradient>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

using namespace tonvero::history;

namespace {

constexpr int Margin = 8;
constexpr int Gap = 2;
constexpr int CellHeight = 26;
constexpr int TimeHeight = 22;
constexpr int RowGap = 8;
constexpr int LegendBar = 12;
constexpr int MinCellWidth = 22;

const QColor Ink(0x22, 0x22, 0x22);
const QColor Edge(0x70, 0x70, 0x70);
const QColor TimeColour(0x60, 0x60, 0x60);

QString seconds(int ms)
{
    return QLocale().toString(ms / 1000.0, 'f', ms < 10000 ? 2 : 1);
}

} // namespace

PieceStripView::PieceStripView(QWidget* parent) : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(tr("Такты пьесы"));
}

QColor PieceStripView::emptyColour()
{
    return NoteMapView::noDataWhite();
}

void PieceStripView::setBars(const QVector<BarFigures>& bars)
{
    m_bars = bars;
    m_slowestMs = 0;
    for (const BarFigures& b : m_bars)
        m_slowestMs = std::max(m_slowestMs, b.meanMs);
    if (m_current >= barCount())
        m_current = barCount() - 1;
    updateGeometry();
    rebuild();
    setAccessibleDescription(m_current >= 0 ? barText(m_current) : QString());
}

QColor PieceStripView::cellColour(int bar) const
{
    if (bar < 0 || bar >= barCount())
        return QColor();
    const BarFigures& b = m_bars[bar];
    return b.answers > 0 ? NoteMapView::viridis(b.accuracyPercent() / 100.0) : emptyColour();
}

bool PieceStripView::isMarked(int bar) const
{
    return bar >= 0 && bar < barCount() && m_bars[bar].answers > 0 && m_bars[bar].accuracyPercent() < MissedPercent;
}

int PieceStripView::cellWidth() const
{
    const QFontMetrics fm(font());
    return std::max(MinCellWidth, fm.horizontalAdvance(QLocale().toString(std::max(barCount(), 9))) + 6);
}

int PieceStripView::columnsFor(int width) const
{
    return std::max(1, (width - 2 * Margin + Gap) / (cellWidth() + Gap));
}

int PieceStripView::rowHeight() const
{
    return CellHeight + 2 + TimeHeight + QFontMetrics(font()).height() + RowGap;
}

int PieceStripView::legendHeight() const
{
    const int line = QFontMetrics(font()).height();
    return LegendBar + 4 + line + 4 + line + Margin;
}

int PieceStripView::heightFor(int width) const
{
    const int columns = columnsFor(width);
    const int rows = std::max(1, (barCount() + columns - 1) / columns);
    return Margin + rows * rowHeight() + legendHeight();
}

QSize PieceStripView::sizeHint() const
{
    return QSize(800, heightFor(800));
}

QSize PieceStripView::minimumSizeHint() const
{
    // One row and the legend: the rows past the first scroll.
    return QSize(2 * Margin + 8 * (cellWidth() + Gap), Margin + rowHeight() + legendHeight());
}

bool PieceStripView::hasHeightForWidth() const
{
    return true;
}

int PieceStripView::heightForWidth(int width) const
{
    return heightFor(width);
}

QRectF PieceStripView::cellRect(int bar) const
{
    if (bar < 0 || bar >= barCount())
        return QRectF();
    const int w = cellWidth();
    const int row = bar / columns();
    const int col = bar % columns();
    return QRectF(Margin + col * (w + Gap), Margin + row * rowHeight(), w, CellHeight);
}

QRectF PieceStripView::timeRect(int bar) const
{
    const QRectF cell = cellRect(bar);
    if (cell.isEmpty() || m_bars[bar].meanMs < 0 || m_slowestMs <= 0)
        return QRectF();
    const qreal h = std::max(2.0, TimeHeight * qreal(m_bars[bar].meanMs) / m_slowestMs);
    const qreal bottom = cell.bottom() + 2 + TimeHeight;
    return QRectF(cell.left() + 3, bottom - h, cell.width() - 6, h);
}

QString PieceStripView::barText(int bar) const
{
    if (bar < 0 || bar >= barCount())
        return QString();
    const BarFigures& b = m_bars[bar];
    QString text = tr("Такт %1").arg(bar + 1);
    if (b.answers == 0)
        return text + u'\n' + tr("Ответов нет");
    text += u'\n'
        + tr("Ответов: %1, верно: %2 (%3 %)")
              .arg(b.answers)
              .arg(b.right)
              .arg(QLocale().toString(b.accuracyPercent(), 'f', 0));
    text += u'\n';
    text += b.meanMs >= 0 ? tr("Среднее время верного ответа: %1 с").arg(seconds(b.meanMs)) : tr("Верных ответов нет");
    return text;
}

int PieceStripView::barAt(const QPoint& pos) const
{
    const int w = cellWidth();
    const int x = pos.x() - Margin;
    const int y = pos.y() - Margin;
    if (x < 0 || y < 0)
        return -1;
    const int col = x / (w + Gap);
    const int row = y / rowHeight();
    if (col >= columns() || x % (w + Gap) >= w || y % rowHeight() >= rowHeight() - RowGap)
        return -1;
    const int bar = row * columns() + col;
    return bar < barCount() ? bar : -1;
}

QString PieceStripView::toolTipAt(const QPoint& pos) const
{
    return barText(barAt(pos));
}

void PieceStripView::setCurrentBar(int bar)
{
    if (barCount() == 0)
        return;
    bar = std::clamp(bar, 0, barCount() - 1);
    if (bar == m_current)
        return;
    m_current = bar;
    update();
    setAccessibleDescription(barText(bar));
    QAccessibleEvent changed(this, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
    emit currentBarChanged(bar);
}

void PieceStripView::keyPressEvent(QKeyEvent* event)
{
    const int at = std::max(m_current, 0);
    switch (event->key()) {
    case Qt::Key_Left:
        setCurrentBar(at - 1);
        break;
    case Qt::Key_Right:
        setCurrentBar(m_current < 0 ? 0 : at + 1);
        break;
    case Qt::Key_Up:
        setCurrentBar(at - columns());
        break;
    case Qt::Key_Down:
        setCurrentBar(m_current < 0 ? 0 : at + columns());
        break;
    case Qt::Key_Home:
        setCurrentBar(0);
        break;
    case Qt::Key_End:
        setCurrentBar(barCount() - 1);
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void PieceStripView::mousePressEvent(QMouseEvent* event)
{
    const int bar = barAt(event->position().toPoint());
    if (bar >= 0)
        setCurrentBar(bar);
    QWidget::mousePressEvent(event);
}

void PieceStripView::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    if (m_current < 0)
        setCurrentBar(0);
    update();
}

void PieceStripView::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

bool PieceStripView::event(QEvent* event)
{
    if (showToolTipEvent(this, event, [this](const QPoint& at) { return toolTipAt(at); }))
        return true;
    return QWidget::event(event);
}

void PieceStripView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    rebuild();
}

void PieceStripView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawImage(QPoint(0, 0), m_picture);
    if (hasFocus() && m_current >= 0) {
        // The bar the keyboard is on: a frame round its cell, time and number.
        const QRectF cell = cellRect(m_current);
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(cell.adjusted(-2, -2, 2, rowHeight() - RowGap - CellHeight + 1));
    }
}

void PieceStripView::rebuild()
{
    const int columns = this->columns();
    const QSize area = size().expandedTo(QSize(1, 1));
    const qreal ratio = devicePixelRatioF();
    m_picture = QImage((QSizeF(area) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    m_picture.setDevicePixelRatio(ratio);
    m_picture.fill(palette().color(QPalette::Base));

    QPainter p(&m_picture);
    p.setFont(font());
    const QFontMetrics fm(font());
    const QColor text = palette().color(QPalette::Text);
    for (int bar = 0; bar < barCount(); ++bar) {
        const QRectF cell = cellRect(bar);
        p.setPen(QPen(Edge, 1));
        p.setBrush(cellColour(bar));
        p.drawRect(cell.adjusted(0.5, 0.5, -0.5, -0.5));
        if (isMarked(bar)) {
            // Light on the dark end of the scale, where these bars lie.
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
            const qreal s = std::min(cell.width(), cell.height()) / 2 - 6;
            const QPointF c = cell.center();
            p.drawLine(c + QPointF(-s, -s), c + QPointF(s, s));
            p.drawLine(c + QPointF(-s, s), c + QPointF(s, -s));
            p.setRenderHint(QPainter::Antialiasing, false);
        }
        const QRectF time = timeRect(bar);
        if (!time.isEmpty())
            p.fillRect(time, TimeColour);
        p.setPen(text);
        p.drawText(QRectF(cell.left() - Gap, cell.bottom() + 2 + TimeHeight, cell.width() + 2 * Gap, fm.height()),
                   Qt::AlignHCenter | Qt::AlignTop, QLocale().toString(bar + 1));
    }

    // The legend: the colour scale with its ends, the empty cell, the cross, and what the columns mean.
    const int rows = std::max(1, (barCount() + columns - 1) / columns);
    const qreal top = Margin + rows * rowHeight();
    qreal x = Margin;
    p.setPen(text);
    const QString right = tr("Верных ответов:");
    p.drawText(QPointF(x, top + LegendBar), right);
    x += fm.horizontalAdvance(right) + 8;
    const qreal barW = 160;
    QLinearGradient gradient(x, 0, x + barW, 0);
    for (int i = 0; i <= 10; ++i)
        gradient.setColorAt(i / 10.0, NoteMapView::viridis(i / 10.0));
    p.setPen(QPen(Edge, 1));
    p.setBrush(gradient);
    p.drawRect(QRectF(x, top + 2, barW, LegendBar));
    p.setPen(text);
    for (int i = 0; i <= 2; ++i) {
        const qreal at = x + barW * i / 2;
        p.drawText(QRectF(at - 30, top + 4 + LegendBar, 60, fm.height()), Qt::AlignHCenter,
                   QStringLiteral("%1 %").arg(QLocale().toString(50 * i)));
    }
    x += barW + 24;
    p.setPen(QPen(Edge, 1));
    p.setBrush(emptyColour());
    p.drawRect(QRectF(x, top + 2, LegendBar, LegendBar));
    p.setPen(text);
    const QString none = tr("нет ответов");
    p.drawText(QPointF(x + LegendBar + 6, top + LegendBar), none);
    x += LegendBar + 6 + fm.horizontalAdvance(none) + 24;
    p.setBrush(NoteMapView::viridis(0.2));
    p.setPen(QPen(Edge, 1));
    const QRectF sample(x, top + 2, LegendBar, LegendBar);
    p.drawRect(sample);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 1.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(sample.topLeft() + QPointF(3, 3), sample.bottomRight() - QPointF(3, 3));
    p.drawLine(sample.bottomLeft() + QPointF(3, -3), sample.topRight() + QPointF(-3, 3));
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(text);
    p.drawText(QPointF(x + LegendBar + 6, top + LegendBar),
               tr("меньше %1 % верных").arg(QLocale().toString(MissedPercent, 'f', 0)));
    const QString times = m_slowestMs > 0
        ? tr("Столбик под тактом: среднее время верного ответа, самый высокий — %1 с").arg(seconds(m_slowestMs))
        : tr("Столбик под тактом: среднее время верного ответа");
    p.drawText(QPointF(Margin, top + 4 + LegendBar + fm.height() + 4 + fm.ascent()), times);
    update();
}
