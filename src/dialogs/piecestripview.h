// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "history/historyqueries.h"

#include <QImage>
#include <QVector>
#include <QWidget>

// The bars of a piece in a strip, wrapped into rows: one cell per bar,
// coloured by its share of right answers on the viridis scale (a cross on the
// bars mostly missed, so they stand out without colour), a column under it as
// tall as the bar's mean time of a right answer against the slowest bar, and
// the bar's number below. A bar without answers is an empty cell. The arrow
// keys walk the bars; the bar walked to is told to the screen reader.
class PieceStripView : public QWidget {
    Q_OBJECT
public:
    // Under this share of right answers a bar gets the cross.
    static constexpr double MissedPercent = 70.0;

    explicit PieceStripView(QWidget* parent = nullptr);

    void setBars(const QVector<tonvero::history::BarFigures>& bars);
    int barCount() const { return int(m_bars.size()); }

    // The cell's colour: viridis by the share of right answers; white without answers.
    QColor cellColour(int bar) const;
    static QColor emptyColour();
    // Whether the bar carries the cross of a bar mostly missed.
    bool isMarked(int bar) const;
    // Where a bar's cell and its time column are drawn; empty for no such bar.
    QRectF cellRect(int bar) const;
    QRectF timeRect(int bar) const;
    int columns() const { return columnsFor(width()); }
    // Bar N, its answers, right share and mean time, one fact a line.
    QString barText(int bar) const;
    // The text shown on hover at a point; empty over nothing.
    QString toolTipAt(const QPoint& pos) const;

    // The bar the keyboard is on; −1 before any.
    int currentBar() const { return m_current; }
    void setCurrentBar(int bar);

    // The composed picture, as paint copies it.
    const QImage& picture() const { return m_picture; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

signals:
    void currentBarChanged(int bar);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    bool event(QEvent* event) override;

private:
    void rebuild();
    int cellWidth() const;
    int columnsFor(int width) const;
    int rowHeight() const;
    int legendHeight() const;
    int heightFor(int width) const;
    int barAt(const QPoint& pos) const;

    QVector<tonvero::history::BarFigures> m_bars;
    int m_slowestMs = 0;
    int m_current = -1;
    QImage m_picture;
};
