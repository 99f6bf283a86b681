// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/instrumentctrl.h"

#include <QColor>
#include <QPoint>
#include <array>
#include <climits>

class QPainter;

// The exercise note ranges shown on the piano in range mode: one or two
// ranges of key indexes, kept inside bounds, edited by dragging their ends.
class NoteRangeSelector {
public:
    static constexpr int LastKey = CInstrumentCtrl::KeyCount - 1;

    // Takes the keys rectangle from the piano layout and lays the brackets out;
    // bounds and both ranges become 0..87.
    void setup(const int* layout, double keyWidth);
    // Forgets any drag and lays the brackets out for n ranges.
    void reset(int n);
    void setRange(int i, int low, int high);
    void setBounds(int low, int high);
    // Brings bounds and ranges back into the keyboard and the ranges into the bounds.
    void normalise();

    // A press on key in range mode: takes the end of a range lying on that key.
    // Returns true when an end was taken.
    bool press(int key, bool lowerHalf);
    // Moves the taken end towards key. Returns true when an end is being dragged.
    bool dragTo(int key);
    void release() { activeEnd = 0; }

    // Draws brackets and bound markers over the keyboard picture; returns the
    // anchors of the last range drawn in picture coordinates.
    struct Anchors {
        QPoint low;
        QPoint high;
    };
    Anchors draw(QPainter& painter);

    int boundsLow = INT_MIN + 2;
    int boundsHigh = INT_MAX;
    int rangeCount = 1;
    int activeRange = -1;
    int activeEnd = 0;
    std::array<NoteRange, 2> ranges{};
    int keysLeft = 0;
    int keysTop = 0;
    int keysRight = 0;
    int keysBottom = 0;
    double keyWidth = 0.0;
    int insetA = 3;
    int insetB = 3;
    int shadowDx = -1;
    int shadowDy = 1;
    int bracketPenWidth = 3;
    int shadowPenWidth = 5;
    QColor bracketColour{0, 220, 0};
    QColor shadowColour{120, 120, 120};
    QColor boundColour{255, 217, 0};
    bool normalised = false;

private:
    static bool isBlack(int key);
};
