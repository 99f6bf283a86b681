// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QSize>

namespace pictures {

// How far a freshly drawn picture may stray from the committed one. Another
// CPU rounds a few antialiased or semi-transparent pixels the other way (Qt
// divides by alpha with the processor's approximate reciprocal); a moved
// line or a changed colour goes far beyond this.
struct Tolerance {
    int levels = 2;       // per channel, alpha included
    double share = 0.005; // of the picture's pixels that may differ at all
    int fewPixels = 4;    // a tiny mark may differ in this many even where the share is less
    qint64 allowedPixels(qint64 pixels) const;
};

struct PictureDifference {
    QSize made, committed;
    qint64 pixels = 0;    // in the picture
    qint64 changed = 0;   // pixels whose stored values differ at all
    qint64 differing = 0; // of those, the ones that show differently or stray beyond the levels
    qint64 allowed = 0;
    int largest = 0;      // largest change of one channel, in levels

    bool sameSize() const { return made == committed; }
    double share() const { return pixels ? double(differing) / double(pixels) : 0.0; }
    bool withinTolerance(const Tolerance &t) const { return sameSize() && largest <= t.levels && differing <= allowed; }
};

// Pixels are compared as stored (ARGB, not premultiplied). A semi-transparent
// pixel whose colour rounds one level the other way but shows the same once
// weighted by its alpha counts as changed, not as differing.
PictureDifference comparePictures(const QImage &made, const QImage &committed, const Tolerance &t = {});

// Committed, drawn and a map of the differences, side by side or stacked,
// enlarged so a small mark can be seen: red beyond the levels, orange visible
// within them, blue stored differently but shown the same.
QImage differencePicture(const QImage &made, const QImage &committed, const Tolerance &t = {});

} // namespace pictures
