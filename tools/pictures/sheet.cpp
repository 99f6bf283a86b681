// SPDX-License-Identifier: GPL-3.0-or-later
#include "parts.h"

#include <QHash>
#include <QPainter>

namespace pictures {

namespace {

constexpr int kSheetWidth = 1400;
constexpr int kMargin = 16, kGap = 18, kLabel = 16;

struct Item {
    QImage image;
    int logicalW, logicalH; // drawn at its own pixel size; logical size only for layout
    QString label;
};

class Layout {
public:
    explicit Layout(const Glyphs &g) : m_g(g) {}
    void add(const QImage &img, const QString &label) { m_row.push_back({img, img.width(), img.height(), label}); }
    void newRow()
    {
        if (m_row.empty())
            return;
        m_rows.push_back(m_row);
        m_row.clear();
    }
    QImage finish()
    {
        newRow();
        // Wrap rows that are too wide, then size the sheet.
        std::vector<std::vector<Item>> rows;
        for (auto &row : m_rows) {
            std::vector<Item> cur;
            int w = kMargin;
            for (auto &it : row) {
                if (!cur.empty() && w + it.logicalW > kSheetWidth - kMargin) {
                    rows.push_back(cur);
                    cur.clear();
                    w = kMargin;
                }
                cur.push_back(it);
                w += it.logicalW + kGap;
            }
            rows.push_back(cur);
        }
        int h = kMargin;
        for (auto &row : rows) {
            int rh = 0;
            for (auto &it : row) rh = std::max(rh, it.logicalH);
            h += rh + kLabel + kGap;
        }
        QImage sheet(kSheetWidth, h, QImage::Format_RGB32);
        sheet.fill(QColor(214, 214, 214));
        QPainter p(&sheet);
        p.setRenderHint(QPainter::Antialiasing);
        int y = kMargin;
        for (auto &row : rows) {
            int rh = 0;
            for (auto &it : row) rh = std::max(rh, it.logicalH);
            int x = kMargin;
            for (auto &it : row) {
                p.drawImage(x, y + rh - it.logicalH, it.image);
                const QPainterPath text = m_g.label(it.label, 12);
                p.fillPath(text.translated(x, y + rh + 13), QColor(30, 30, 30));
                x += std::max(it.logicalW, int(text.boundingRect().width()) + 4) + kGap;
            }
            y += rh + kLabel + kGap;
        }
        return sheet;
    }

private:
    const Glyphs &m_g;
    std::vector<Item> m_row;
    std::vector<std::vector<Item>> m_rows;
};

QHash<int, const Picture *> byId(const std::vector<Picture> &all)
{
    QHash<int, const Picture *> h;
    for (const Picture &p : all) h.insert(p.id, &p);
    return h;
}

// The picture ids of one kind of marks: white key, then the two black sets.
struct MarkIds {
    int white[3];
    int black[2][3];
};

constexpr MarkIds kColourMarks{{piano::kWhiteMarkIds[0], piano::kWhiteMarkIds[1], piano::kWhiteMarkIds[2]},
                               {{piano::kBlackMarkIds[0][0], piano::kBlackMarkIds[0][1], piano::kBlackMarkIds[0][2]},
                                {piano::kBlackMarkIds[1][0], piano::kBlackMarkIds[1][1], piano::kBlackMarkIds[1][2]}}};
constexpr MarkIds kShapeMarks{{shapemarks::kWhiteIds[0], shapemarks::kWhiteIds[1], shapemarks::kWhiteIds[2]},
                              {{shapemarks::kBlackIds[0], shapemarks::kBlackIds[1], shapemarks::kBlackIds[2]},
                               {shapemarks::kBlackIds[0], shapemarks::kBlackIds[1], shapemarks::kBlackIds[2]}}};

// The keyboard with marks placed exactly as the piano control places them.
QImage markedKeyboard(const QHash<int, const Picture *> &pics, int scale, bool allKeys, const MarkIds &ids = kColourMarks)
{
    using namespace piano;
    QImage kb = render(*pics[129], scale);
    QImage marks[9];
    for (int i = 0; i < 3; ++i) {
        marks[i] = render(*pics[ids.white[i]], scale);
        marks[3 + i] = render(*pics[ids.black[0][i]], scale);
        marks[6 + i] = render(*pics[ids.black[1][i]], scale);
    }
    QPainter p(&kb);
    p.scale(scale, scale);
    auto put = [&](const QImage &m, int x, int y) { p.drawImage(QRectF(x, y, m.width() / scale, m.height() / scale), m); };
    int key = 0;
    for (int w = 0; w < kWhiteKeys; ++w) {
        const int x = whiteX(w);
        // A few chosen keys: red, green, blue on white and on both black shapes.
        const bool showWhite = allKeys || w == 23 || w == 25 || w == 27;
        if (showWhite)
            put(marks[allKeys ? key % 3 : (w - 23) / 2], x, kKeysBottom - kWhiteMarkH);
        ++key;
        const int b = blackAfter(w);
        if (b < 0)
            continue;
        const int set = kImageSet[b];
        int colour = -1;
        if (allKeys)
            colour = key % 3;
        else if (w == 31) colour = 0; // D#4, first set
        else if (w == 33) colour = 1; // F#4, first set
        else if (w == 38) colour = 2; // D#5, first set
        else if (w == 34) colour = 0; // G#4, second set
        else if (w == 35) colour = 1; // A#4, second set
        else if (w == 37) colour = 2; // C#5, second set
        if (colour >= 0)
            put(marks[3 + set + colour], x + kMarkX[b], kBlackBottom - kBlackMarkH);
        ++key;
    }
    return kb;
}

// The guitar fretboard with the shape marks where the fretboard control puts
// its marks: to play on the top string, played right and wrong below it.
QImage markedFretboard(const QHash<int, const Picture *> &pics, int scale)
{
    using namespace fretboard;
    QImage board = render(*pics[136], scale);
    QPainter p(&board);
    p.scale(scale, scale);
    const struct { int meaning, string, fret; } marks[] = {{0, 0, 0}, {0, 1, 5}, {0, 2, 9}, {1, 3, 3}, {2, 4, 7}, {2, 5, 12}};
    for (const auto &m : marks) {
        const QImage img = render(*pics[shapemarks::kFretIds[m.meaning]], scale);
        const int x = m.fret == 0 ? kNut / 2 : int((kFrets[m.fret - 1] + (m.fret == 1 ? kNut : kFrets[m.fret - 2])) * 0.5 + 1.0);
        const int y = kTopString + kStringSpacing * m.string;
        const int half = shapemarks::kFretSize / 2;
        p.drawImage(QRectF(x - half, y - half, shapemarks::kFretSize, shapemarks::kFretSize), img);
    }
    return board;
}

// A treble staff composed the way the stave control composes it, to show
// where notes, accidentals and ledger lines land.
QImage staveDemo(const QHash<int, const Picture *> &pics, int scale)
{
    const int w = 420, h = 110;
    QImage img(w * scale, h * scale, QImage::Format_RGB32);
    img.fill(Qt::white);
    QImage clef = render(*pics[137], scale), note = render(*pics[140], scale), red = render(*pics[141], scale),
           sharp = render(*pics[156], scale), flat = render(*pics[157], scale);
    QPainter p(&img);
    p.scale(scale, scale);
    auto put = [&](const QImage &m, int x, int y) { p.drawImage(QRectF(x, y, m.width() / scale, m.height() / scale), m); };
    const int cx = 10, cy = 20;
    put(clef, cx, cy);
    const int lineY = cy + 28;
    // (diatonic step, accidental: 0 none, 1 sharp, -1 flat), steps counted from A0.
    const struct { int step; int acc; bool red; } notes[] = {
        {23, 0, false}, {24, 1, false}, {25, 0, false}, {27, 0, false}, {29, -1, false},
        {30, 0, true}, {32, 0, false}, {33, 1, false}, {35, 0, false}, {37, 0, false}};
    int x = cx + 38 + 18;
    for (const auto &n : notes) {
        const int d = n.step - 30;
        const int y = d % 2 == 0 ? lineY - 27 - 9 * d / 2 : lineY - 27 + 4 - 9 * (d + 1) / 2;
        put(n.red ? red : note, x, y);
        if (n.acc)
            put(n.acc > 0 ? sharp : flat, x - 15, y + 16);
        if (d > 4)
            for (int j = 2; j <= (d - 3) / 2 + 1; ++j) p.fillRect(QRectF(x - 4, lineY - 9 * j, 21, 1), Qt::black);
        if (d < -6)
            for (int j = 4; j <= (-d - 5) / 2 + 3; ++j) p.fillRect(QRectF(x - 4, lineY + 9 * j, 21, 1), Qt::black);
        x += 34;
    }
    for (int j = -1; j <= 3; ++j)
        p.fillRect(QRectF(cx + 38 - 15, lineY + 9 * j, x - (cx + 38 - 15), 1), Qt::black);
    return img;
}

} // namespace

QImage contactSheet(const Glyphs &g)
{
    const std::vector<Picture> all = allPictures(g);
    const auto pics = byId(all);
    Layout l(g);
    l.add(markedKeyboard(pics, 1, false), QStringLiteral("129 with marks 132 130 134, 133 131 135, 151 150 149"));
    l.add(staveDemo(pics, 1), QStringLiteral("137 140 141 156 157 as the stave places them"));
    l.newRow();
    l.add(markedKeyboard(pics, 1, true), QStringLiteral("129 with a mark on all 88 keys"));
    l.add(staveDemo(pics, 2), QStringLiteral("the same at 2x"));
    l.newRow();
    l.add(markedKeyboard(pics, 2, false), QStringLiteral("129@2x with marks"));
    l.newRow();
    for (int id : {136, 148}) l.add(render(*pics[id], 1), QString::number(id));
    l.newRow();
    for (int id : {136, 148}) l.add(render(*pics[id], 2), QStringLiteral("%1@2x").arg(id));
    l.newRow();
    const int music[] = {137, 138, 139, 152, 140, 141, 156, 157};
    for (int id : music) l.add(render(*pics[id], 1), QString::number(id));
    for (int id : music) l.add(render(*pics[id], 2), QStringLiteral("%1@2x").arg(id));
    l.newRow();
    const int marks[] = {132, 130, 134, 133, 131, 135, 151, 150, 149};
    for (int id : marks) l.add(render(*pics[id], 1), QString::number(id));
    for (int id : marks) l.add(render(*pics[id], 2), QStringLiteral("%1@2x").arg(id));
    l.newRow();
    l.add(markedKeyboard(pics, 1, false, kShapeMarks),
          QStringLiteral("129 with shape marks 160 161 162, 163 164 165 (to play, played right, played wrong)"));
    l.add(markedFretboard(pics, 1), QStringLiteral("136 with shape marks 166 167 168"));
    l.newRow();
    l.add(markedKeyboard(pics, 2, false, kShapeMarks), QStringLiteral("129@2x with shape marks"));
    l.newRow();
    for (int i = 0; i < 3; ++i)
        for (int id : {shapemarks::kWhiteIds[i], shapemarks::kBlackIds[i], shapemarks::kFretIds[i]})
            l.add(render(*pics[id], 1), QString::number(id));
    for (int i = 0; i < 3; ++i)
        for (int id : {shapemarks::kWhiteIds[i], shapemarks::kBlackIds[i], shapemarks::kFretIds[i]})
            l.add(render(*pics[id], 2), QStringLiteral("%1@2x").arg(id));
    l.newRow();
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        l.add(renderIcon(g, size), size == 32 ? QStringLiteral("128 (32)") : size == 64 ? QStringLiteral("128@2x (64)") : QString::number(size));
    return l.finish();
}

} // namespace pictures
