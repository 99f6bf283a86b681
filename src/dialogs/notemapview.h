// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "history/historyqueries.h"

#include <QImage>
#include <QVector>
#include <QWidget>

// The note map of the statistics window: the stave(s) of a clef with every
// note that was shown, and the 88 keys below, each coloured by its share of
// errors or by its median response time on the viridis scale, with a legend.
// Hovering a note or a key shows its figures.
class NoteMapView : public QWidget {
    Q_OBJECT
public:
    enum class Metric { Errors, ResponseTime };

    explicit NoteMapView(QWidget* parent = nullptr);

    // The viridis colour at t in 0..1: dark blue-violet to yellow, lighter
    // all the way, so it reads without telling red from green.
    static QColor viridis(double t);

    void setMap(const tonvero::history::NoteMapData& map, int clefSetting);
    void setMetric(Metric metric);
    Metric metric() const { return m_metric; }
    // A fixed colour scale (0–50 % errors, 0–5 s) instead of one up to the hardest note.
    void setFixedScale(bool fixed);
    bool fixedScale() const { return m_fixedScale; }

    // The ends of the colour scale: per cent for errors, ms for response times.
    double scaleLow() const { return m_low; }
    double scaleHigh() const { return m_high; }
    // Colour of a key (no data: the pale "no data" colour).
    QColor keyColour(int keyIndex) const;
    // The figures shown on hover at a point of the widget; empty over nothing.
    QString toolTipAt(const QPoint& pos) const;
    // Where a key is drawn, for tests and tools.
    QRectF keyRect(int keyIndex) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The keys widen with the window, and the map grows with them.
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;

    static QColor noDataWhite();
    static QColor noDataBlack();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Item {
        QRectF rect;
        QString tip;
    };

    void rebuild();
    void updateScale();
    double value(const tonvero::history::NoteFigures& f) const; // 0..1, or −1 without data
    QColor colour(const tonvero::history::NoteFigures& f, bool black) const;
    QString tip(const QString& name, const tonvero::history::NoteFigures& f) const;
    int stavesHeight() const;
    qreal bottomPadding(int staff, int minPos) const;
    int heightFor(int width) const;
    QFont smallFont() const;

    tonvero::history::NoteMapData m_map;
    int m_clef = 3;
    Metric m_metric = Metric::Errors;
    bool m_fixedScale = false;
    double m_low = 0;
    double m_high = 10;
    QImage m_picture;
    QVector<Item> m_items; // in drawing order: later items lie on top
    QVector<QRectF> m_keyRects;
};
