// SPDX-License-Identifier: GPL-3.0-or-later
// The committed pictures carry the geometry that the controls' layout tables
// bind: staff line rows, key edges, fret columns, string rows, the note head.
#include "platform/ui/bitmap.h"
#include "support/testenv.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QThreadPool>

namespace {

constexpr int kKeysLeft = 26, kKeysTop = 39, kKeysRight = 650, kKeysBottom = 110, kBlackBottom = 84;
constexpr int kMarkX[5] = {4, 7, 4, 5, 7}; // C#, D#, F#, G#, A#
constexpr int kZoneX[5] = {6, 9, 6, 7, 9};
constexpr int kImageSet[5] = {3, 0, 0, 3, 3};
constexpr int kFrets[24] = {60, 105, 145, 181, 214, 246, 276, 304, 330, 356, 381, 404,
                            426, 447, 468, 488, 508, 528, 547, 564, 580, 595, 608, 620};

int whiteX(int w) { return int(w * (double(kKeysRight - kKeysLeft + 1) / 52) + kKeysLeft); }

int blackAfter(int w) // 0..4 for C#..A#, -1 when none
{
    if (w >= 51)
        return -1;
    static const int black[7] = {0, 1, -1, 2, 3, 4, -1};
    return black[(w - 30 % 7 + 7) % 7];
}

QString picturesDir() { return testsupport::sourceDir() + QStringLiteral("/res/pictures"); }

QImage loadFile(const QString &name)
{
    return QImage(picturesDir() + QLatin1Char('/') + name);
}

// A picture read at 1× coordinates whatever its scale; transparent pixels
// count as lying on white paper.
class Pic {
public:
    Pic(const QString &name, int scale)
        : m_scale(scale)
    {
        const QString file = scale == 1 ? name + QStringLiteral(".png") : name + QStringLiteral("@2x.png");
        m_raw = loadFile(file).convertToFormat(QImage::Format_ARGB32);
        m_raw.setDevicePixelRatio(1); // "@2x" files load tagged with ratio 2
        m_img = QImage(m_raw.size(), QImage::Format_RGB32);
        m_img.fill(Qt::white);
        QPainter p(&m_img);
        p.drawImage(0, 0, m_raw);
    }
    bool isNull() const { return m_raw.isNull(); }
    int width() const { return m_raw.width() / m_scale; }
    int height() const { return m_raw.height() / m_scale; }
    // Mean luminance (0..255) of the device pixels of 1× pixel (x, y).
    double lum(int x, int y) const { return mean(x, y, [](QRgb c) { return (qRed(c) * 299 + qGreen(c) * 587 + qBlue(c) * 114) / 1000.0; }, m_img); }
    double alpha(int x, int y) const { return mean(x, y, [](QRgb c) { return double(qAlpha(c)); }, m_raw); }
    QColor colour(int x, int y) const { return QColor(m_raw.pixel(x * m_scale + m_scale / 2, y * m_scale + m_scale / 2)); }
    const QImage &raw() const { return m_raw; }
    int scale() const { return m_scale; }

private:
    template<typename F>
    double mean(int x, int y, F f, const QImage &img) const
    {
        double sum = 0;
        for (int dy = 0; dy < m_scale; ++dy)
            for (int dx = 0; dx < m_scale; ++dx)
                sum += f(img.pixel(x * m_scale + dx, y * m_scale + dy));
        return sum / (m_scale * m_scale);
    }
    int m_scale;
    QImage m_raw, m_img;
};

// Every pixel a mark laid at (x0, y0) draws on lies on the key: light under
// a white key's mark, dark under a black key's.
void liesOnItsKey(const Pic &keyboard, const Pic &mark, int x0, int y0, bool onWhite, int key)
{
    for (int y = 0; y < mark.height(); ++y)
        for (int x = 0; x < mark.width(); ++x) {
            if (mark.alpha(x, y) == 0)
                continue;
            const double under = keyboard.lum(x0 + x, y0 + y);
            if (!(onWhite ? under > 170 : under < 110))
                QFAIL(qPrintable(QStringLiteral("key %1: mark pixel (%2, %3) lies off the key (lum %4)")
                                     .arg(key).arg(x).arg(y).arg(under)));
        }
}

void addScales(const char *name)
{
    QTest::addColumn<int>("scale");
    QTest::newRow(QByteArray(name).append(" 1x").constData()) << 1;
    QTest::newRow(QByteArray(name).append(" 2x").constData()) << 2;
}

} // namespace

class TestPictures : public QObject {
    Q_OBJECT

private slots:
    void sizes_data();
    void sizes();
    void resourcesMatchFiles_data() { sizes_data(); }
    void resourcesMatchFiles();
    void staffLines_data();
    void staffLines();
    void keyboardEdges_data() { addScales("keyboard"); }
    void keyboardEdges();
    void blackKeys_data() { addScales("keyboard"); }
    void blackKeys();
    void marksSitOnTheirKeys_data();
    void marksSitOnTheirKeys();
    void shapeMarksSitOnTheirKeys_data();
    void shapeMarksSitOnTheirKeys();
    void shapeMarksCentred_data();
    void shapeMarksCentred();
    void fretboard_data();
    void fretboard();
    void noteHead_data();
    void noteHead();
    void accidentals_data();
    void accidentals();
    void decodedAheadAsRead_data();
    void decodedAheadAsRead();
    void icons_data();
    void icons();
};

void TestPictures::sizes_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    const struct { int id, w, h; const char *what; } rows[] = {
        {128, 32, 32, "icon"},
        {129, 677, 119, "keyboard"},
        {130, 14, 26, "white mark green"}, {132, 14, 26, "white mark red"}, {134, 14, 26, "white mark blue"},
        {131, 14, 21, "black mark 1 green"}, {133, 14, 21, "black mark 1 red"}, {135, 14, 21, "black mark 1 blue"},
        {149, 14, 21, "black mark 2 blue"}, {150, 14, 21, "black mark 2 green"}, {151, 14, 21, "black mark 2 red"},
        {136, 624, 85, "guitar"}, {148, 624, 58, "bass"},
        {137, 38, 72, "treble"}, {138, 38, 56, "bass clef"}, {139, 38, 56, "alto"}, {152, 73, 190, "grand staff"},
        {140, 13, 37, "note"}, {141, 13, 37, "red note"}, {156, 10, 30, "sharp"}, {157, 10, 30, "flat"},
        {160, 14, 26, "white shape mark to play"}, {161, 14, 26, "white shape mark played right"},
        {162, 14, 26, "white shape mark played wrong"}, {163, 14, 21, "black shape mark to play"},
        {164, 14, 21, "black shape mark played right"}, {165, 14, 21, "black shape mark played wrong"},
        {166, 15, 15, "fretboard shape mark to play"}, {167, 15, 15, "fretboard shape mark played right"},
        {168, 15, 15, "fretboard shape mark played wrong"},
    };
    for (const auto &r : rows)
        QTest::newRow(QStringLiteral("%1 %2").arg(r.id).arg(QLatin1String(r.what)).toLatin1().constData())
            << r.id << r.w << r.h;
}

void TestPictures::sizes()
{
    QFETCH(int, id);
    QFETCH(int, width);
    QFETCH(int, height);
    const QString base = QString::number(id);
    for (const QString &prefix : {picturesDir() + QLatin1Char('/'), QStringLiteral(":/pictures/")}) {
        const QImage one(prefix + base + QStringLiteral(".png"));
        const QImage two(prefix + base + QStringLiteral("@2x.png"));
        QVERIFY2(!one.isNull(), qPrintable(prefix + base));
        QVERIFY2(!two.isNull(), qPrintable(prefix + base + "@2x"));
        QCOMPARE(one.size(), QSize(width, height));
        QCOMPARE(two.size(), QSize(2 * width, 2 * height));
    }
}

void TestPictures::decodedAheadAsRead_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("1x") << qreal(1.0);
    QTest::newRow("2x") << qreal(2.0);
}

// The window asks for pictures while they are still being decoded ahead: each
// must come back whole, once, as the file holds it.
void TestPictures::decodedAheadAsRead()
{
    QFETCH(qreal, ratio);
    const QList<int> ids{129, 136, 148, 137, 152};
    platform::DecodeAhead(ids, ratio);
    QList<QImage> asked;
    for (auto it = ids.crbegin(); it != ids.crend(); ++it)
        asked.prepend(platform::LoadBitmap(*it, ratio));
    QThreadPool::globalInstance()->waitForDone();
    for (int i = 0; i < ids.size(); ++i) {
        const QString name = QString::number(ids[i]) + (ratio > 1 ? QStringLiteral("@2x.png") : QStringLiteral(".png"));
        const QImage file = loadFile(name);
        QVERIFY2(asked[i] == file, qPrintable(name));
        QCOMPARE(asked[i].devicePixelRatio(), ratio);
        QVERIFY(platform::LoadBitmap(ids[i], ratio).constBits() == asked[i].constBits()); // decoded once, then shared
    }
}

void TestPictures::resourcesMatchFiles()
{
    QFETCH(int, id);
    for (const QString &suffix : {QStringLiteral(".png"), QStringLiteral("@2x.png")}) {
        QFile file(picturesDir() + QLatin1Char('/') + QString::number(id) + suffix);
        QFile res(QStringLiteral(":/pictures/") + QString::number(id) + suffix);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(res.open(QIODevice::ReadOnly));
        QVERIFY2(file.readAll() == res.readAll(), "embedded picture is stale: rebuild");
    }
}

void TestPictures::staffLines_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("scale");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<int>("fromX"); // the right part, clear of clef and time signature
    const QList<int> upper{19, 28, 37, 46, 55}, lower{152, 161, 170, 179, 188};
    for (int s : {1, 2}) {
        const QByteArray x = s == 1 ? " 1x" : " 2x";
        QTest::newRow("137 treble" + x) << "137" << s << upper << 31;
        QTest::newRow("138 bass" + x) << "138" << s << upper << 31;
        QTest::newRow("139 alto" + x) << "139" << s << upper << 31;
        QTest::newRow("152 grand staff" + x) << "152" << s << (upper + lower) << 60;
    }
}

void TestPictures::staffLines()
{
    QFETCH(QString, name);
    QFETCH(int, scale);
    QFETCH(QList<int>, rows);
    QFETCH(int, fromX);
    const Pic pic(name, scale);
    QVERIFY(!pic.isNull());
    for (int x = fromX; x < pic.width(); ++x) {
        for (int y = 0; y < pic.height(); ++y) {
            const bool line = rows.contains(y);
            const double l = pic.lum(x, y);
            if (line)
                QVERIFY2(l < 40, qPrintable(QStringLiteral("no staff line at (%1, %2): %3").arg(x).arg(y).arg(l)));
            else
                QVERIFY2(l > 230, qPrintable(QStringLiteral("ink off the staff lines at (%1, %2): %3").arg(x).arg(y).arg(l)));
        }
    }
}

void TestPictures::keyboardEdges()
{
    QFETCH(int, scale);
    const Pic kb(QStringLiteral("129"), scale);
    QVERIFY(!kb.isNull());
    // Below the black keys every white key is a light face between dark edges.
    for (int w = 0; w <= 52; ++w) {
        const int x = w < 52 ? whiteX(w) : kKeysRight;
        for (int y : {86, 100, 108}) {
            QVERIFY2(kb.lum(x, y) < 110, qPrintable(QStringLiteral("no key edge at (%1, %2)").arg(x).arg(y)));
            if (w < 52) {
                QVERIFY2(kb.lum(x + 6, y) > 200, qPrintable(QStringLiteral("key %1 not light at row %2").arg(w).arg(y)));
                QVERIFY2(kb.lum(x + 3, y) > 200 && kb.lum(x + 10, y) > 200, qPrintable(QString::number(w)));
            }
        }
        if (w < 52) {
            QVERIFY2(kb.lum(x + 6, kKeysTop - 1) < 90, "the strip above the keys must be dark");
            QVERIFY2(kb.lum(x + 6, kKeysBottom + 1) < 90, "the rail below the keys must be dark");
            QVERIFY2(kb.lum(x + 6, kKeysBottom - 1) > 180, qPrintable(QString::number(w)));
        }
    }
    // Outside the keys area left and right: the case.
    for (int y : {kKeysTop, 70, kKeysBottom}) {
        QVERIFY(kb.lum(kKeysLeft - 1, y) < 90);
        QVERIFY(kb.lum(kKeysRight + 1, y) < 90);
    }
    // The strip is plain: no light pixels anywhere above the keys.
    for (int x = 0; x < kb.width(); x += 3)
        for (int y = 0; y < kKeysTop; ++y)
            QVERIFY2(kb.lum(x, y) < 150, qPrintable(QStringLiteral("(%1, %2)").arg(x).arg(y)));
}

void TestPictures::blackKeys()
{
    QFETCH(int, scale);
    const Pic kb(QStringLiteral("129"), scale);
    QVERIFY(!kb.isNull());
    int blacks = 0;
    for (int w = 0; w < 52; ++w) {
        const int x = whiteX(w);
        const int b = blackAfter(w);
        const int prev = w > 0 ? blackAfter(w - 1) : -1;
        // Columns of the face of key w that no black key covers.
        const int from = prev >= 0 ? whiteX(w - 1) + kZoneX[prev] + 9 : x + 1;
        const int to = b >= 0 ? x + kZoneX[b] - 1 : (w < 51 ? whiteX(w + 1) - 1 : kKeysRight - 1);
        QVERIFY2(to - from >= 2, qPrintable(QString::number(w)));
        for (int y : {kKeysTop, 60, kBlackBottom})
            QVERIFY2(kb.lum((from + to) / 2, y) > 180,
                     qPrintable(QStringLiteral("white key %1 covered at row %2").arg(w).arg(y)));
        if (b < 0)
            continue;
        ++blacks;
        const int zone = x + kZoneX[b];
        for (int dx = 0; dx < 9; ++dx) {
            QVERIFY2(kb.lum(zone + dx, kBlackBottom) < 80, qPrintable(QStringLiteral("black key bottom at %1").arg(zone + dx)));
            QVERIFY2(kb.lum(zone + dx, 50) < 100, qPrintable(QString::number(zone + dx)));
        }
        QVERIFY2(kb.lum(zone + 4, kBlackBottom + 1) > 180, qPrintable(QStringLiteral("row below black key at %1").arg(zone)));
        QVERIFY(kb.lum(zone - 1, 60) > 170);
        QVERIFY(kb.lum(zone + 9, 60) > 170);
    }
    QCOMPARE(blacks, 36);
}

void TestPictures::marksSitOnTheirKeys_data()
{
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("mark"); // 0 red, 1 green, 2 blue
    const char *names[] = {"red", "green", "blue"};
    for (int s : {1, 2})
        for (int m = 0; m < 3; ++m)
            QTest::newRow(QStringLiteral("%1 %2x").arg(QLatin1String(names[m])).arg(s).toLatin1().constData()) << s << m;
}

// Every mark, laid over the keyboard where the piano lays it, colours only
// its own key and covers the key's lower end.
void TestPictures::marksSitOnTheirKeys()
{
    QFETCH(int, scale);
    QFETCH(int, mark);
    const Pic kb(QStringLiteral("129"), scale);
    const int whiteIds[3] = {132, 130, 134};
    const int blackIds[2][3] = {{133, 131, 135}, {151, 150, 149}};
    const Pic white(QString::number(whiteIds[mark]), scale);
    const Pic black0(QString::number(blackIds[0][mark]), scale);
    const Pic black1(QString::number(blackIds[1][mark]), scale);
    QVERIFY(!kb.isNull() && !white.isNull() && !black0.isNull() && !black1.isNull());

    auto check = [&](const Pic &m, int x0, int y0, bool onWhite, int key) {
        liesOnItsKey(kb, m, x0, y0, onWhite, key);
        if (QTest::currentTestFailed())
            return;
        // The lower end of the key is covered and clearly coloured.
        const QPoint c = onWhite ? QPoint(6, 14) : QPoint(6, 12);
        QVERIFY2(m.alpha(c.x(), c.y()) >= 200, qPrintable(QString::number(key)));
        const QColor col = m.colour(c.x(), c.y());
        const int ch[3] = {col.red(), col.green(), col.blue()};
        for (int i = 0; i < 3; ++i)
            if (i != mark)
                QVERIFY2(ch[mark] > ch[i] + 60, qPrintable(QStringLiteral("mark colour %1").arg(col.name())));
    };

    int key = 0;
    for (int w = 0; w < 52; ++w) {
        check(white, whiteX(w), kKeysBottom - 26, true, key++);
        const int b = blackAfter(w);
        if (b < 0)
            continue;
        check(kImageSet[b] == 0 ? black0 : black1, whiteX(w) + kMarkX[b], kBlackBottom - 21, false, key++);
    }
    QCOMPARE(key, 88);
}

void TestPictures::shapeMarksSitOnTheirKeys_data()
{
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("meaning");
    const char *names[] = {"to play", "played right", "played wrong"};
    for (int s : {1, 2})
        for (int m = 0; m < 3; ++m)
            QTest::newRow(QStringLiteral("%1 %2x").arg(QLatin1String(names[m])).arg(s).toLatin1().constData()) << s << m;
}

// Laid over the keyboard where the piano lays the colour marks, a shape mark,
// halo included, stays on its own key.
void TestPictures::shapeMarksSitOnTheirKeys()
{
    QFETCH(int, scale);
    QFETCH(int, meaning);
    const Pic kb(QStringLiteral("129"), scale);
    const Pic white(QString::number(160 + meaning), scale);
    const Pic black(QString::number(163 + meaning), scale);
    QVERIFY(!kb.isNull() && !white.isNull() && !black.isNull());
    int key = 0;
    for (int w = 0; w < 52; ++w) {
        liesOnItsKey(kb, white, whiteX(w), kKeysBottom - 26, true, key++);
        const int b = blackAfter(w);
        if (b >= 0)
            liesOnItsKey(kb, black, whiteX(w) + kMarkX[b], kBlackBottom - 21, false, key++);
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(key, 88);
}

void TestPictures::shapeMarksCentred_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("scale");
    QTest::addColumn<QPointF>("centre");
    const char *places[] = {"white key", "black key", "fretboard"};
    const char *names[] = {"to play", "played right", "played wrong"};
    const QPointF centres[] = {{6.5, 13.5}, {6.5, 10.5}, {7.5, 7.5}};
    for (int s : {1, 2})
        for (int place = 0; place < 3; ++place)
            for (int m = 0; m < 3; ++m)
                QTest::newRow(QStringLiteral("%1 %2, %3 %4x")
                                  .arg(160 + 3 * place + m)
                                  .arg(QLatin1String(places[place]), QLatin1String(names[m]))
                                  .arg(s)
                                  .toLatin1()
                                  .constData())
                    << 160 + 3 * place + m << s << centres[place];
}

// The shape is centred where the controls expect it: a dot and a cross cover
// the centre, a ring leaves it open, and the cross leaves the middle of its
// sides open where the dot does not.
void TestPictures::shapeMarksCentred()
{
    QFETCH(int, id);
    QFETCH(int, scale);
    QFETCH(QPointF, centre);
    const Pic mark(QString::number(id), scale);
    QVERIFY(!mark.isNull());
    double mass = 0, mx = 0, my = 0;
    for (int y = 0; y < mark.height(); ++y)
        for (int x = 0; x < mark.width(); ++x) {
            const double a = mark.alpha(x, y);
            mass += a;
            mx += a * (x + 0.5);
            my += a * (y + 0.5);
        }
    QVERIFY(mass > 0);
    QVERIFY2(qAbs(mx / mass - centre.x()) < 0.3 && qAbs(my / mass - centre.y()) < 0.3,
             qPrintable(QStringLiteral("centred on (%1, %2)").arg(mx / mass).arg(my / mass)));
    const int meaning = (id - 160) % 3;
    const int cx = int(centre.x()), cy = int(centre.y());
    const double middle = mark.alpha(cx, cy);
    if (meaning == 1)
        QVERIFY2(middle < 40, qPrintable(QStringLiteral("the ring's hole: alpha %1").arg(middle)));
    else
        QVERIFY2(middle > 230, qPrintable(QStringLiteral("the centre: alpha %1").arg(middle)));
    // Halfway out along a side: inside the dot's and the ring's ink, between the cross's arms.
    const int side = id >= 166 ? 4 : id >= 163 ? 3 : 4;
    const double between = mark.alpha(cx, cy - side);
    if (meaning == 2)
        QVERIFY2(between < 120, qPrintable(QStringLiteral("between the arms: alpha %1").arg(between)));
    else
        QVERIFY2(between > 120, qPrintable(QStringLiteral("on the ink: alpha %1").arg(between)));
}

void TestPictures::fretboard_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("strings");
    for (int s : {1, 2}) {
        const QByteArray x = s == 1 ? " 1x" : " 2x";
        QTest::newRow("136 guitar" + x) << "136" << s << 6;
        QTest::newRow("148 bass" + x) << "148" << s << 4;
    }
}

void TestPictures::fretboard()
{
    QFETCH(QString, name);
    QFETCH(int, scale);
    QFETCH(int, strings);
    const Pic fb(name, scale);
    QVERIFY(!fb.isNull());
    const int h = fb.height();
    // Fret wires: bright at their column, wood a few pixels either side.
    for (int fx : kFrets)
        for (int y : {3, h - 3}) {
            QVERIFY2(fb.lum(fx, y) > 170, qPrintable(QStringLiteral("fret wire at (%1, %2)").arg(fx).arg(y)));
            QVERIFY2(fb.lum(fx - 3, y) < 120, qPrintable(QStringLiteral("wood at (%1, %2)").arg(fx - 3).arg(y)));
            QVERIFY2(fb.lum(fx - 6, y) < 120, qPrintable(QStringLiteral("wood at (%1, %2)").arg(fx - 6).arg(y)));
        }
    for (int y : {3, h - 3}) {
        QVERIFY2(fb.lum(10, y) > 170, "the nut is at x 10");
        QVERIFY(fb.lum(15, y) < 120);
    }
    // Strings: bright rows at 7 + 14 s over the wood, between the frets.
    for (int s = 0; s < strings; ++s) {
        const int y = 7 + 14 * s;
        // Open string and frets without inlays.
        for (int x : {5, 35, 83, 163, 230, 290, 343, 415, 437}) {
            QVERIFY2(fb.lum(x, y) > 150, qPrintable(QStringLiteral("string %1 at (%2, %3)").arg(s).arg(x).arg(y)));
            QVERIFY2(fb.lum(x, y) > fb.lum(x, y - 4) + 60, qPrintable(QStringLiteral("string %1 at x %2").arg(s).arg(x)));
        }
    }
    const int below = 7 + 14 * strings; // no string past the last one
    if (below < h - 3)
        QVERIFY(fb.lum(83, below) < 120);
}

void TestPictures::noteHead_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("scale");
    for (int s : {1, 2}) {
        QTest::newRow(s == 1 ? "140 black 1x" : "140 black 2x") << "140" << s;
        QTest::newRow(s == 1 ? "141 red 1x" : "141 red 2x") << "141" << s;
    }
}

void TestPictures::noteHead()
{
    QFETCH(QString, name);
    QFETCH(int, scale);
    const Pic note(name, scale);
    QVERIFY(!note.isNull());
    auto ink = [&](int y) {
        double sum = 0;
        for (int x = 0; x < 11; ++x) // left of the stem
            sum += 255 - note.lum(x, y);
        return sum;
    };
    // The head is centred on row 32 and one staff space high: its ink lies in
    // rows 28..36 with the centre of mass on row 32, and row 32 is the darkest.
    double mass = 0, moment = 0, widest = 0;
    for (int y = 24; y < note.height(); ++y) {
        mass += ink(y);
        moment += ink(y) * (y + 0.5);
        widest = qMax(widest, ink(y));
    }
    const double centre = moment / mass;
    QVERIFY2(qAbs(centre - 32.5) < 0.5, qPrintable(QStringLiteral("head centred on %1").arg(centre)));
    QVERIFY(ink(32) > 0.9 * widest);
    QVERIFY(ink(27) < 0.05 * widest);
    QVERIFY(ink(28) > 0.2 * widest && ink(36) > 0.2 * widest);
    // Stem up on the right, nothing to its right.
    for (int y = 2; y < 30; ++y) {
        QVERIFY2(note.lum(11, y) < 110, qPrintable(QStringLiteral("stem at row %1").arg(y)));
        QVERIFY(note.lum(12, y) > 240);
        if (y < 27)
            QVERIFY(note.lum(5, y) > 240);
    }
}

void TestPictures::accidentals_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("scale");
    QTest::addColumn<int>("fromX"); // the part that must centre on the note's row
    for (int s : {1, 2}) {
        QTest::newRow(s == 1 ? "156 sharp 1x" : "156 sharp 2x") << "156" << s << 0;
        QTest::newRow(s == 1 ? "157 flat bowl 1x" : "157 flat bowl 2x") << "157" << s << 5;
    }
}

// The stave draws an accidental 16 rows below the note picture's top, so the
// note head's row 32 is the accidental's row 16.
void TestPictures::accidentals()
{
    QFETCH(QString, name);
    QFETCH(int, scale);
    QFETCH(int, fromX);
    const Pic acc(name, scale);
    QVERIFY(!acc.isNull());
    double mass = 0, moment = 0;
    int top = -1, bottom = -1;
    for (int y = 0; y < acc.height(); ++y)
        for (int x = fromX; x < acc.width(); ++x) {
            const double ink = 255 - acc.lum(x, y);
            if (ink < 40)
                continue;
            mass += ink;
            moment += ink * (y + 0.5);
            if (top < 0)
                top = y;
            bottom = y;
        }
    QVERIFY(mass > 0);
    const double centre = moment / mass;
    QVERIFY2(qAbs(centre - 16.5) < 1.5, qPrintable(QStringLiteral("ink centred on %1").arg(centre)));
    QVERIFY(top > 0 && bottom < acc.height() - 1);
}

void TestPictures::icons_data()
{
    QTest::addColumn<int>("size");
    for (int s : {16, 24, 32, 48, 64, 128, 256})
        QTest::newRow(QByteArray::number(s) + " px") << s;
}

void TestPictures::icons()
{
    QFETCH(int, size);
    const QString file = testsupport::sourceDir() + QStringLiteral("/res/icons/tonvero-%1.png").arg(size);
    const QImage icon(file);
    QVERIFY2(!icon.isNull(), qPrintable(file));
    QCOMPARE(icon.size(), QSize(size, size));
    QVERIFY(icon.hasAlphaChannel());
    QCOMPARE(qAlpha(icon.pixel(size / 2, size / 2)), 255);
    // Picture 128 is the 32 px icon, drawn again at 64 px for the @2x picture.
    if (size == 32 || size == 64) {
        QFile a(file), b(picturesDir() + (size == 32 ? QStringLiteral("/128.png") : QStringLiteral("/128@2x.png")));
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        QVERIFY(a.readAll() == b.readAll());
    }
}

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
