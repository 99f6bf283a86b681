// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QRawFont>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

class QPainter;

namespace pictures {

// Music and label glyphs come from font files, read as outlines without
// hinting, so the result does not depend on the machine's font set-up.
class Glyphs {
public:
    bool load(QString *error);
    // Outline of one character at an em size of 1000 units, y down, baseline at 0.
    QPainterPath music(char32_t cp) const;
    QPainterPath bold(char32_t cp) const;
    // A line of label text at the given pixel size, baseline at 0.
    QPainterPath label(const QString &text, qreal pixelSize) const;

private:
    static QPainterPath outline(const QRawFont &font, char32_t cp);
    QRawFont m_serif, m_serifBold, m_sans;
};

// Paints one picture in 1× coordinates; the painter is already scaled for 2×.
using Painter = std::function<void(QPainter &p)>;

struct Picture {
    int id;
    int width;
    int height;
    bool alpha; // transparent outside the drawn shape
    Painter paint;
};

std::vector<Picture> allPictures(const Glyphs &g);
QImage render(const Picture &pic, int scale);
QImage renderIcon(const Glyphs &g, int size);
QImage contactSheet(const Glyphs &g);

// Piano geometry shared by the keyboard, the marks and the contact sheet.
namespace piano {
constexpr int kWidth = 677, kHeight = 119;
constexpr int kKeysLeft = 26, kKeysTop = 39, kKeysRight = 650, kKeysBottom = 110;
constexpr int kBlackBottom = 84;
constexpr int kWhiteKeys = 52;
constexpr int kBlackZoneWidth = 9;
constexpr int kMarkX[5] = {4, 7, 4, 5, 7};    // C#, D#, F#, G#, A#
constexpr int kZoneX[5] = {6, 9, 6, 7, 9};
constexpr int kImageSet[5] = {3, 0, 0, 3, 3};
constexpr int kWhiteMarkW = 14, kWhiteMarkH = 26, kBlackMarkW = 14, kBlackMarkH = 21;
constexpr int kWhiteMarkIds[3] = {132, 130, 134}; // red, green, blue
constexpr int kBlackMarkIds[2][3] = {{133, 131, 135}, {151, 150, 149}};
int whiteX(int w);
// Black key after white key w: 0..4 for C#, D#, F#, G#, A#, or -1 for none.
int blackAfter(int w);
} // namespace piano

namespace fretboard {
constexpr int kWidth = 624;
constexpr int kGuitarHeight = 85, kBassHeight = 58;
constexpr int kNut = 10;
constexpr int kFrets[24] = {60, 105, 145, 181, 214, 246, 276, 304, 330, 356, 381, 404,
                            426, 447, 468, 488, 508, 528, 547, 564, 580, 595, 608, 620};
constexpr int kTopString = 7, kStringSpacing = 14;
} // namespace fretboard

// Mark colours, also used by the contact sheet.
QColor markColour(int mark); // 0 red, 1 green, 2 blue

// Marks that tell their meaning by shape as well as by colour, for players
// who do not tell red from green: a filled dot for the note to play, a ring
// for a note played right, a cross for a note played wrong (as chord charts
// mark fretted, open and muted strings), in colours apart for them too.
namespace shapemarks {
enum Meaning { ToPlay = 0, PlayedRight = 1, PlayedWrong = 2 };
constexpr int kWhiteIds[3] = {160, 161, 162}; // piano white key, 14 x 26 like the colour marks
constexpr int kBlackIds[3] = {163, 164, 165}; // piano black key, 14 x 21
constexpr int kFretIds[3] = {166, 167, 168};  // fretboard, centred on the string
constexpr int kFretSize = 15;
QColor colour(int meaning);
} // namespace shapemarks

// A small deterministic generator for wood grain.
class Grain {
public:
    explicit Grain(uint32_t seed) : m_state(seed ? seed : 1u) {}
    double next(); // [0, 1)
    double range(double lo, double hi) { return lo + (hi - lo) * next(); }

private:
    uint32_t m_state;
};

} // namespace pictures
