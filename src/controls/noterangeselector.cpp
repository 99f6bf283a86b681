// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/noterangeselector.h"

#include <QPainter>
#include <algorithm>
#include <vector>

namespace {

// Wide pens are centred on the line, as on the screen the layout was measured
// on; every segment here is horizontal or vertical, so a segment is a rectangle.
void strokePolyline(QPainter& p, const std::vector<QPoint>& pts, int width, const QColor& colour)
{
    const int half = width / 2;
    for (size_t i = 1; i < pts.size(); ++i) {
        const QPoint& a = pts[i - 1];
        const QPoint& b = pts[i];
        const QPoint topLeft(std::min(a.x(), b.x()) - half, std::min(a.y(), b.y()) - half);
        const QPoint bottomRight(std::max(a.x(), b.x()) + half, std::max(a.y(), b.y()) + half);
        p.fillRect(QRect(topLeft, bottomRight), colour);
    }
}

// Moves the leading column of the polyline by first and the trailing one by last.
std::vector<QPoint> shiftEnds(std::vector<QPoint> pts, int first, int last)
{
    const int x0 = pts.front().x();
    for (size_t i = 0; i < pts.size() && pts[i].x() == x0; ++i)
        pts[i].rx() += first;
    const int x1 = pts.back().x();
    for (size_t i = pts.size(); i-- > 0 && pts[i].x() == x1;)
        pts[i].rx() += last;
    return pts;
}

} // namespace

bool NoteRangeSelector::isBlack(int key)
{
    return key >= 0 && key <= LastKey && !CInstrumentCtrl::KeyTable[key].isWhite;
}

void NoteRangeSelector::setup(const int* layout, double width)
{
    boundsLow = 0;
    boundsHigh = LastKey;
    for (NoteRange& r : ranges) {
        r.low = 0;
        r.high = LastKey;
    }
    keysLeft = layout[21];
    keysTop = layout[22];
    keysRight = layout[23];
    keysBottom = layout[24];
    keyWidth = width;
    normalised = false;
    reset(rangeCount);
}

void NoteRangeSelector::reset(int n)
{
    activeRange = -1;
    activeEnd = 0;
    rangeCount = n;
    const int mid = (keysTop + keysBottom) / 2;
    ranges[0].yTop = keysTop + insetB;
    ranges[0].yBottom = n == 1 ? keysBottom - insetB : mid - insetB;
    ranges[1].yTop = mid + insetB;
    ranges[1].yBottom = keysBottom - insetB;
}

void NoteRangeSelector::setRange(int i, int low, int high)
{
    if (i < 0 || i > 1)
        return;
    ranges[i].low = low;
    ranges[i].high = high;
    normalised = false;
}

void NoteRangeSelector::setBounds(int low, int high)
{
    boundsLow = low;
    boundsHigh = high;
    normalised = false;
}

void NoteRangeSelector::normalise()
{
    // Both bounds are clamped on both sides: a bound outside the keyboard
    // would otherwise index past the key table when the markers are drawn.
    boundsLow = std::clamp(boundsLow, 0, LastKey);
    boundsHigh = std::clamp(boundsHigh, 0, LastKey);
    for (NoteRange& r : ranges) {
        if (r.low < boundsLow) {
            r.low = boundsLow;
            r.high = std::max(r.high, boundsLow + 1);
            if (isBlack(r.high) && r.high < LastKey)
                ++r.high;
        }
        if (r.high > boundsHigh) {
            r.high = boundsHigh;
            r.low = std::min(r.low, boundsHigh - 1);
            if (isBlack(r.low) && r.low > 0)
                --r.low;
        }
        r.low = std::clamp(r.low, 0, LastKey);
        r.high = std::clamp(r.high, 0, LastKey);
    }
    normalised = true;
}

bool NoteRangeSelector::press(int key, bool lowerHalf)
{
    activeRange = rangeCount == 2 && lowerHalf ? 1 : 0;
    const NoteRange& r = ranges[activeRange];
    activeEnd = key == r.low ? -1 : key == r.high ? 1 : 0;
    return activeEnd != 0;
}

bool NoteRangeSelector::dragTo(int key)
{
    if (activeEnd == 0 || activeRange < 0 || key < 0)
        return false;
    NoteRange& r = ranges[activeRange];
    if (activeEnd < 0) {
        const int m = std::max(0, r.high - (isBlack(r.high - 1) ? 2 : 1));
        r.low = std::max(std::min(key, m), boundsLow);
    } else {
        const int m = std::min(LastKey, r.low + (isBlack(r.low + 1) ? 2 : 1));
        r.high = std::min(std::max(key, m), boundsHigh);
    }
    return true;
}

NoteRangeSelector::Anchors NoteRangeSelector::draw(QPainter& p)
{
    if (!normalised)
        normalise();
    const auto& keys = CInstrumentCtrl::KeyTable;
    const double kw = keyWidth;
    const int a = insetA;
    Anchors anchors;
    for (int i = 0; i < rangeCount; ++i) {
        const NoteRange& r = ranges[i];
        for (int pass = 0; pass < 2; ++pass) {
            const bool shadow = pass == 0;
            const int dx = shadow ? shadowDx : 0;
            const int dy = shadow ? shadowDy : 0;
            const int width = shadow ? shadowPenWidth : bracketPenWidth;
            const QColor& colour = shadow ? shadowColour : bracketColour;
            const int yT = r.yTop + dy + insetB;
            const int yB = r.yBottom - insetB + dy;
            const int xl = keys[r.low].x;
            const int xh = keys[r.high].x;
            const int xlIn = xl + dx + a;
            const int xlOut = int(xl + kw - a + dx);
            const int xhIn = xh + dx + a;
            const int xhOut = int(xh + kw - a + dx);
            strokePolyline(p, {{xlOut, yB}, {xlIn, yB}, {xlIn, yT}, {xlOut, yT}}, width, colour);
            strokePolyline(p, {{xhIn, yB}, {xhOut, yB}, {xhOut, yT}, {xhIn, yT}}, width, colour);
            if (shadow) {
                anchors.low = QPoint(xlIn, yT - 3);
                anchors.high = QPoint(xhOut, yT - 3);
            }
            if (i != rangeCount - 1)
                continue;
            const int tick = int(yB - (kw - 2 * a));
            auto marker = [&](const std::vector<QPoint>& pts) {
                strokePolyline(p, pts, shadowPenWidth, shadowColour);
                strokePolyline(p, shiftEnds(pts, -dx, dx), bracketPenWidth, boundColour);
            };
            if (boundsLow > 0) {
                int m = boundsLow - 1;
                if (isBlack(m) && m > 0)
                    --m;
                const int xm = int(keys[m].x + kw - a + dx);
                marker({{keys[0].x + dx + a, yB}, {xm, yB}, {xm, tick}});
            }
            if (boundsHigh < LastKey) {
                int m = boundsHigh + 1;
                if (isBlack(m) && m < LastKey)
                    ++m;
                const int xm = keys[m].x + dx + a;
                marker({{xm, tick}, {xm, yB}, {int(keys[LastKey].x + kw - a + dx), yB}});
            }
        }
    }
    return anchors;
}
