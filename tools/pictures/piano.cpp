// SPDX-License-Identifier: GPL-3.0-or-later
#include "pictures.h"
#include "parts.h"

#include <QLinearGradient>
#include <QPainter>

namespace pictures {

namespace piano {

int whiteX(int w)
{
    const double keyWidth = double(kKeysRight - kKeysLeft + 1) / kWhiteKeys;
    return int(w * keyWidth + kKeysLeft);
}

int blackAfter(int w)
{
    if (w >= kWhiteKeys - 1)
        return -1; // nothing right of C8
    const int step = (w - 30 % 7 + 7) % 7; // 0 C .. 6 B; white key 0 is an A
    static const int black[7] = {0, 1, -1, 2, 3, 4, -1};
    return black[step];
}

} // namespace piano

using namespace piano;

namespace {

const QColor kIvoryTop(250, 248, 241);
const QColor kIvoryFront(238, 235, 226);
const QColor kKeyGap(70, 66, 60);

void paintCase(QPainter &p, QRectF r, uint32_t seed)
{
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, QColor(62, 38, 26));
    g.setColorAt(0.5, QColor(74, 46, 31));
    g.setColorAt(1, QColor(52, 31, 21));
    p.fillRect(r, g);
    woodGrain(p, r, seed, QColor(30, 16, 9), QColor(104, 68, 46), 0.8);
}

void paintWhiteKeys(QPainter &p)
{
    const QRectF keys(kKeysLeft, kKeysTop, kKeysRight - kKeysLeft + 1, kKeysBottom - kKeysTop + 1);
    QLinearGradient face(0, kKeysTop, 0, kKeysBottom + 1);
    face.setColorAt(0, QColor(236, 233, 225));
    face.setColorAt(0.06, kIvoryTop);
    face.setColorAt(0.85, QColor(247, 245, 238));
    face.setColorAt(0.92, kIvoryFront);
    face.setColorAt(1, QColor(200, 196, 186));
    p.fillRect(keys, face);
    // The rounded front edge of every white key.
    p.fillRect(QRectF(kKeysLeft, kKeysBottom, keys.width(), 1), QColor(178, 173, 163));
    for (int w = 0; w <= kWhiteKeys; ++w) {
        const int x = w < kWhiteKeys ? whiteX(w) : kKeysRight;
        p.fillRect(QRectF(x, kKeysTop, 1, keys.height()), kKeyGap);
        // A faint highlight on the left edge of each key face.
        if (w < kWhiteKeys)
            p.fillRect(QRectF(x + 1, kKeysTop, 1, keys.height() - 1), QColor(255, 255, 255, 150));
    }
}

void paintBlackKey(QPainter &p, int x)
{
    const int w = kBlackZoneWidth;
    const int top = kKeysTop;
    const int bevel = kBlackBottom - 6; // first row of the sloped front
    // Cast shadow on the white keys, to the right and below.
    p.fillRect(QRectF(x + w, top, 1, kBlackBottom - top + 1), QColor(0, 0, 0, 40));
    p.fillRect(QRectF(x + 1, kBlackBottom + 1, w, 1), QColor(0, 0, 0, 22));
    // Body with its sides, then the top face and the sloped front.
    p.fillRect(QRectF(x, top, w, kBlackBottom - top + 1), QColor(14, 13, 13));
    QLinearGradient faceG(0, top, 0, bevel);
    faceG.setColorAt(0, QColor(26, 25, 25));
    faceG.setColorAt(1, QColor(44, 43, 42));
    p.fillRect(QRectF(x + 1, top, w - 2, bevel - top), faceG);
    QLinearGradient front(0, bevel, 0, kBlackBottom);
    front.setColorAt(0, QColor(92, 90, 88));
    front.setColorAt(1, QColor(40, 39, 38));
    p.fillRect(QRectF(x + 1, bevel, w - 2, kBlackBottom - bevel), front);
    // Light from the upper left catches the left side of the top face.
    p.fillRect(QRectF(x + 1, top, 1, bevel - top), QColor(255, 255, 255, 28));
    p.fillRect(QRectF(x, kBlackBottom, w, 1), QColor(8, 8, 8));
}

void paintKeyboard(QPainter &p)
{
    paintCase(p, QRectF(0, 0, kWidth, kHeight), 0x129u);
    // Key slip below the keys, a little lighter, with the keys' shadow on it.
    const QRectF slip(kKeysLeft - 4, kKeysBottom + 1, kKeysRight - kKeysLeft + 9, kHeight - kKeysBottom - 1);
    QLinearGradient sg(0, slip.top(), 0, slip.bottom());
    sg.setColorAt(0, QColor(28, 16, 10));
    sg.setColorAt(0.3, QColor(82, 52, 35));
    sg.setColorAt(1, QColor(64, 40, 27));
    p.fillRect(slip, sg);
    // The cheeks' inner faces.
    p.fillRect(QRectF(kKeysLeft - 4, 0, 3, kHeight), QColor(40, 24, 16));
    p.fillRect(QRectF(kKeysRight + 2, 0, 3, kHeight), QColor(40, 24, 16));
    p.fillRect(QRectF(kKeysLeft - 1, 0, 1, kHeight), QColor(24, 14, 9));
    p.fillRect(QRectF(kKeysRight + 1, 0, 1, kHeight), QColor(24, 14, 9));
    // Fallboard edge with its highlight, then the felt at the back of the keys.
    p.fillRect(QRectF(kKeysLeft - 4, 31, kKeysRight - kKeysLeft + 9, 1), QColor(140, 100, 72));
    p.fillRect(QRectF(kKeysLeft - 4, 32, kKeysRight - kKeysLeft + 9, 3), QColor(44, 27, 18));
    p.fillRect(QRectF(kKeysLeft, 35, kKeysRight - kKeysLeft + 1, kKeysTop - 35), QColor(112, 20, 30));
    p.fillRect(QRectF(kKeysLeft, 35, kKeysRight - kKeysLeft + 1, 1), QColor(70, 12, 18));

    paintWhiteKeys(p);
    for (int w = 0; w < kWhiteKeys; ++w) {
        const int b = blackAfter(w);
        if (b >= 0)
            paintBlackKey(p, whiteX(w) + kZoneX[b]);
    }
}

// The lower end of a white key face: columns 1..11, keyboard rows 85..109.
void paintWhiteMark(QPainter &p, const QColor &c)
{
    const QRectF r(1, 1, 11, kWhiteMarkH - 1);
    QPainterPath shape;
    shape.addRoundedRect(r.adjusted(0, -3, 0, 0), 1.5, 1.5);
    shape = shape.intersected([&] { QPainterPath clip; clip.addRect(r); return clip; }());
    QLinearGradient g(0, r.top(), 0, r.bottom());
    g.setColorAt(0, lighter(c, 0.55, 150));
    g.setColorAt(0.3, lighter(c, 0.25, 225));
    g.setColorAt(0.82, lighter(c, 0.0, 240));
    g.setColorAt(1, darker(c, 0.35, 250));
    p.setRenderHint(QPainter::Antialiasing);
    p.fillPath(shape, g);
    p.fillRect(QRectF(1, 1, 1, r.height() - 2), QColor(255, 255, 255, 70));
    p.fillRect(QRectF(11, 1, 1, r.height() - 2), QColor(0, 0, 0, 40));
}

// The lower end of a black key: columns 2..10, keyboard rows 63..83.
void paintBlackMark(QPainter &p, const QColor &c)
{
    const int x = 2, w = kBlackZoneWidth, bevel = 16;
    QLinearGradient body(0, 0, 0, kBlackMarkH);
    QColor side = darker(c, 0.55, 255);
    QColor sideFade = side;
    sideFade.setAlpha(0);
    body.setColorAt(0, sideFade);
    body.setColorAt(0.2, side);
    body.setColorAt(1, side);
    p.fillRect(QRectF(x, 0, w, kBlackMarkH), body);
    QLinearGradient face(0, 0, 0, bevel);
    QColor faceTop = darker(c, 0.2, 0);
    face.setColorAt(0, faceTop);
    face.setColorAt(0.25, darker(c, 0.2, 255));
    face.setColorAt(1, c);
    p.fillRect(QRectF(x + 1, 0, w - 2, bevel), face);
    QLinearGradient front(0, bevel, 0, kBlackMarkH);
    front.setColorAt(0, lighter(c, 0.45, 255));
    front.setColorAt(1, darker(c, 0.15, 255));
    p.fillRect(QRectF(x + 1, bevel, w - 2, kBlackMarkH - bevel), front);
    QColor hl(255, 255, 255, 60);
    QLinearGradient hlG(0, 0, 0, bevel);
    hlG.setColorAt(0, QColor(255, 255, 255, 0));
    hlG.setColorAt(0.3, hl);
    hlG.setColorAt(1, hl);
    p.fillRect(QRectF(x + 1, 0, 1, bevel), hlG);
}

} // namespace

QColor lighter(const QColor &c, qreal towardsWhite, int alpha)
{
    auto mix = [&](int v) { return int(v + (255 - v) * towardsWhite + 0.5); };
    return QColor(mix(c.red()), mix(c.green()), mix(c.blue()), alpha);
}

QColor darker(const QColor &c, qreal towardsBlack, int alpha)
{
    auto mix = [&](int v) { return int(v * (1 - towardsBlack) + 0.5); };
    return QColor(mix(c.red()), mix(c.green()), mix(c.blue()), alpha);
}

void addPianoPictures(std::vector<Picture> &out)
{
    out.push_back({129, kWidth, kHeight, false, paintKeyboard});
    for (int m = 0; m < 3; ++m) {
        const QColor c = markColour(m);
        out.push_back({kWhiteMarkIds[m], kWhiteMarkW, kWhiteMarkH, true,
                       [c](QPainter &p) { paintWhiteMark(p, c); }});
        for (int set = 0; set < 2; ++set)
            out.push_back({kBlackMarkIds[set][m], kBlackMarkW, kBlackMarkH, true,
                           [c](QPainter &p) { paintBlackMark(p, c); }});
    }
}

} // namespace pictures
