// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/phrase.h"
#include "notation/linelayout.h"

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <utility>
#include <vector>

class QPainter;

// A line of music drawn into a picture of a given size: the staff space is
// chosen to fit it, then the layout's symbols are painted in pixels.
namespace phrasepicture {

// Staff spaces in logical pixels: below the least the line would not read;
// above the most it looks swollen in a tall window.
constexpr int MinSpace = 6;
constexpr int MaxSpace = 14;
// The space a size hint asks for.
constexpr int ComfortableSpace = 10;

struct Fit {
    tonvero::notation::LineLayout layout;
    int space = 0;   // logical pixels per staff space, whole so that lines fall on pixels
    QPointF origin;  // the layout's (0, 0): the left end of the upper staff's top line
    double room = 0;  // spaces kept free above the top staff and below the lowest
    int nameRows = 0; // lines of hint names under the lowest staff
    double namesTop = 0;
    QPainterPath brace; // of the grand staff, in spaces
    bool fitsWidth = true;
    bool fitsHeight = true;

    QPointF at(double x, double y) const { return origin + QPointF(x * space, y * space); }
};

// Chooses the staff space for a picture of size: as large as its height allows
// (up to MaxSpace), smaller when the line would not fit its width (down to
// MinSpace), the notes spread over the width, the staves centred vertically
// with room for ledger lines, and rows for the hint names when shown.
Fit fitLine(const tonvero::music::Phrase& phrase, tonvero::notation::Clef clef, const QSize& size, bool names);

// The size that shows a line of bars at the comfortable space.
QSize sizeHint(tonvero::notation::Clef clef, int bars);

struct Look {
    int cursor = 0;          // the event to play; before it, played
    bool playedVisible = true;
    bool names = false;
    bool shapeMarks = false; // a triangle over the cursor too
};

// The soft band behind the event to play (logical pixels); empty past the line's end.
QRectF cursorBand(const Fit& fit, int event);
QColor cursorColour();
QColor bandColour();
QColor playedColour();

// The symbols drawn once at a staff space and pixel ratio, then copied: a
// line repeats a few shapes many times, and filling curves is what costs.
class Sprites {
public:
    // The shape at the scale, its origin at the image's offset() in device pixels.
    const QImage& sprite(const QPainterPath& path, const QColor& colour, int space, double dpr, bool mirrored);

private:
    struct Key {
        const QPainterPath* path;
        QRgb colour;
        bool mirrored;
        bool operator==(const Key&) const = default;
    };
    std::vector<std::pair<Key, QImage>> m_sprites;
    int m_space = 0;
    double m_dpr = 0;
};

// Paints the whole picture of size, background included; with sprites, the
// symbols are copied from them (whole device pixels) rather than filled.
void paint(QPainter& painter, const QSize& size, const Fit& fit, const tonvero::music::Phrase& phrase,
           const Look& look, Sprites* sprites = nullptr);

} // namespace phrasepicture
