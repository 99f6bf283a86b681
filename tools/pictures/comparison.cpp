// SPDX-License-Identifier: GPL-3.0-or-later
#include "comparison.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace pictures {

namespace {

enum class Change { None, Hidden, Within, Beyond };

struct Argb {
    int a, r, g, b;
};

// A transparent pixel has no colour worth comparing.
Argb unpack(QRgb c)
{
    const int a = qAlpha(c);
    return a ? Argb{a, qRed(c), qGreen(c), qBlue(c)} : Argb{0, 0, 0, 0};
}

int weighted(int v, int a) { return (v * a + 127) / 255; }

Change classify(QRgb made, QRgb committed, int levels, int *largest)
{
    const Argb m = unpack(made), c = unpack(committed);
    const int d = std::max({std::abs(m.a - c.a), std::abs(m.r - c.r), std::abs(m.g - c.g), std::abs(m.b - c.b)});
    if (d == 0)
        return Change::None;
    *largest = std::max(*largest, d);
    if (d > levels)
        return Change::Beyond;
    const bool shown = m.a != c.a || weighted(m.r, m.a) != weighted(c.r, c.a)
                       || weighted(m.g, m.a) != weighted(c.g, c.a) || weighted(m.b, m.a) != weighted(c.b, c.a);
    return shown ? Change::Within : Change::Hidden;
}

QImage straight(const QImage &img) { return img.convertToFormat(QImage::Format_ARGB32); }

QRgb over(QRgb c, int bg)
{
    const int a = qAlpha(c);
    auto mix = [&](int v) { return (v * a + bg * (255 - a) + 127) / 255; };
    return qRgb(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c)));
}

} // namespace

qint64 Tolerance::allowedPixels(qint64 pixels) const
{
    return std::max<qint64>(fewPixels, qint64(std::floor(double(pixels) * share)));
}

PictureDifference comparePictures(const QImage &made, const QImage &committed, const Tolerance &t)
{
    PictureDifference r;
    r.made = made.size();
    r.committed = committed.size();
    r.pixels = qint64(made.width()) * made.height();
    r.allowed = t.allowedPixels(r.pixels);
    if (!r.sameSize()) {
        r.differing = r.pixels;
        return r;
    }
    const QImage m = straight(made), c = straight(committed);
    int largest = 0;
    for (int y = 0; y < m.height(); ++y) {
        const auto *lm = reinterpret_cast<const QRgb *>(m.constScanLine(y));
        const auto *lc = reinterpret_cast<const QRgb *>(c.constScanLine(y));
        for (int x = 0; x < m.width(); ++x) {
            const Change ch = classify(lm[x], lc[x], t.levels, &largest);
            if (ch == Change::None)
                continue;
            ++r.changed;
            if (ch != Change::Hidden)
                ++r.differing;
        }
    }
    r.largest = largest;
    return r;
}

QImage differencePicture(const QImage &made, const QImage &committed, const Tolerance &t)
{
    const QImage m = straight(made), c = straight(committed);
    const int w = std::max(m.width(), c.width()), h = std::max(m.height(), c.height());
    const int k = std::clamp(240 / std::max({w, h, 1}), 1, 12);
    // Wide pictures stack their panels, tall ones sit side by side.
    const bool stacked = w > h;
    const int gap = 8, pw = w * k, ph = h * k;
    QImage out(stacked ? pw + 2 * gap : 3 * pw + 4 * gap, stacked ? 3 * ph + 4 * gap : ph + 2 * gap,
               QImage::Format_RGB32);
    out.fill(qRgb(96, 96, 96));

    // Checks behind the pictures show where they are transparent.
    auto paper = [](int x, int y) { return ((x / 8 + y / 8) % 2) ? 255 : 226; };
    auto panel = [&](int index, auto colourAt) {
        const int x0 = stacked ? gap : gap + index * (pw + gap);
        const int y0 = stacked ? gap + index * (ph + gap) : gap;
        for (int y = 0; y < ph; ++y) {
            auto *line = reinterpret_cast<QRgb *>(out.scanLine(y0 + y));
            for (int x = 0; x < pw; ++x)
                line[x0 + x] = colourAt(x / k, y / k, paper(x, y));
        }
    };
    auto inside = [](const QImage &img, int x, int y) { return x < img.width() && y < img.height(); };
    panel(0, [&](int x, int y, int bg) { return inside(c, x, y) ? over(c.pixel(x, y), bg) : qRgb(bg, bg, bg); });
    panel(1, [&](int x, int y, int bg) { return inside(m, x, y) ? over(m.pixel(x, y), bg) : qRgb(bg, bg, bg); });
    panel(2, [&](int x, int y, int) {
        if (!inside(m, x, y) || !inside(c, x, y))
            return qRgb(220, 0, 0);
        int largest = 0;
        switch (classify(m.pixel(x, y), c.pixel(x, y), t.levels, &largest)) {
        case Change::Beyond: return qRgb(220, 0, 0);
        case Change::Within: return qRgb(255, 140, 0);
        case Change::Hidden: return qRgb(40, 90, 255);
        case Change::None: break;
        }
        // Unchanged pixels as a faint grey copy, for orientation.
        const int g = 200 + qGray(over(m.pixel(x, y), 255)) / 5;
        return qRgb(g, g, g);
    });
    return out;
}

} // namespace pictures
