// SPDX-License-Identifier: GPL-3.0-or-later
// The picture check lets a drawing stray by a rounding step in a few pixels
// and fails one where a line moved or a colour changed. CMakeLists.txt runs
// the functions by name, the byte-for-byte rerun as a check of its own.
#include "comparison.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kTool = QStringLiteral(TONVERO_PICTURES_TOOL);
const QString kSource = QStringLiteral(TONVERO_PICTURES_SOURCE_DIR);

struct Run {
    int exitCode = -1;
    QString output;
};

Run runTool(const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(kTool, args);
    if (!p.waitForFinished(240000)) {
        p.kill();
        p.waitForFinished();
        return {-1, QStringLiteral("tonvero_pictures did not finish")};
    }
    const QString out = QString::fromLocal8Bit(p.readAll());
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, out};
}

bool draw(const QString &dir, QString *output)
{
    const Run r = runTool({dir + QStringLiteral("/pictures"), QStringLiteral("--icons"), dir + QStringLiteral("/icons"),
                           QStringLiteral("--contact-sheet"), dir + QStringLiteral("/pictures.png")});
    *output = r.output;
    return r.exitCode == 0;
}

// Every file of a drawing, relative to its folder.
QStringList filesIn(const QString &dir)
{
    QStringList out;
    QDirIterator it(dir, {QStringLiteral("*.png")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        out << QDir(dir).relativeFilePath(it.next());
    out.sort();
    return out;
}

// A copy of the committed pictures, laid out as in the source tree.
bool copyCommitted(const QString &root)
{
    for (const QString &sub : {QStringLiteral("res/pictures"), QStringLiteral("res/icons"), QStringLiteral("docs")}) {
        if (!QDir().mkpath(root + QLatin1Char('/') + sub))
            return false;
        const QDir from(kSource + QLatin1Char('/') + sub);
        const QStringList names = sub == QLatin1String("docs") ? QStringList{QStringLiteral("pictures.png")}
                                                               : from.entryList({QStringLiteral("*.png")}, QDir::Files);
        for (const QString &f : names)
            if (!QFile::copy(from.filePath(f), root + QLatin1Char('/') + sub + QLatin1Char('/') + f))
                return false;
    }
    return true;
}

QImage loadStraight(const QString &path)
{
    QImage img(path);
    img = img.convertToFormat(QImage::Format_ARGB32);
    img.setDevicePixelRatio(1); // "@2x" files load tagged with ratio 2
    return img;
}

// One step towards the middle, so the value stays in range.
int nudge(int v) { return v < 255 ? v + 1 : v - 1; }

// Three pixels spread over the picture, one level off in red, green and alpha.
void nudgeFewPixels(QImage &img)
{
    const QPoint at[3] = {{img.width() / 4, img.height() / 4},
                          {img.width() / 2, img.height() / 2},
                          {3 * img.width() / 4, 3 * img.height() / 4}};
    for (int i = 0; i < 3; ++i) {
        const QRgb c = img.pixel(at[i]);
        int ch[4] = {qRed(c), qGreen(c), qBlue(c), qAlpha(c)};
        const int channel = i < 2 ? i : 3;
        ch[channel] = nudge(ch[channel]);
        img.setPixel(at[i], qRgba(ch[0], ch[1], ch[2], ch[3]));
    }
}

// Stores every translucent colour that lies exactly halfway between two levels
// rounded the other way, as a CPU with another reciprocal estimate does.
int roundTiesTheOtherWay(QImage &img)
{
    int flipped = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            const int a = qAlpha(c);
            if (a == 0 || a == 255)
                continue;
            int ch[3] = {qRed(c), qGreen(c), qBlue(c)};
            bool changed = false;
            for (int &v : ch) {
                const int shown = (v * a + 127) / 255, twice = 510 * shown;
                if (twice % a || (twice / a) % 2 == 0)
                    continue;
                const int below = twice / a / 2; // stored value is below or below + 1
                v = v == below ? below + 1 : below;
                changed = true;
            }
            if (changed) {
                img.setPixel(x, y, qRgba(ch[0], ch[1], ch[2], a));
                ++flipped;
            }
        }
    return flipped;
}

void darkenAll(QImage &img)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            auto down = [](int v) { return v > 0 ? v - 1 : 0; };
            img.setPixel(x, y, qRgba(down(qRed(c)), down(qGreen(c)), down(qBlue(c)), qAlpha(c)));
        }
}

// Moves the line at rows (Qt::Horizontal) or columns first..last one pixel
// further on: what lay just beyond it takes its first place.
bool moveLine(QImage &img, Qt::Orientation o, int first, int last)
{
    const bool rows = o == Qt::Horizontal;
    const int across = rows ? img.width() : img.height();
    auto at = [&](int along, int i) -> QRgb { return rows ? img.pixel(i, along) : img.pixel(along, i); };
    auto set = [&](int along, int i, QRgb c) { rows ? img.setPixel(i, along, c) : img.setPixel(along, i, c); };
    // Only a line clearly darker than what follows it can be seen to move.
    qint64 line = 0, beyond = 0;
    for (int i = 0; i < across; ++i) {
        line += qGray(at(first, i));
        beyond += qGray(at(last + 1, i));
    }
    if (beyond - line < qint64(across) * 40)
        return false;
    for (int i = 0; i < across; ++i) {
        const QRgb next = at(last + 1, i);
        for (int a = last + 1; a > first; --a)
            set(a, i, at(a - 1, i));
        set(first, i, next);
    }
    return true;
}

QImage pattern(int w, int h, int alpha)
{
    QImage img(w, h, QImage::Format_ARGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgba((x * 7) % 256, (y * 5) % 256, 128, alpha));
    return img;
}

QImage withPixels(QImage img, int count, int channel, int delta)
{
    for (int i = 0; i < count; ++i) {
        const int x = i % img.width(), y = i / img.width();
        const QRgb c = img.pixel(x, y);
        int ch[4] = {qRed(c), qGreen(c), qBlue(c), qAlpha(c)};
        // Off by |delta| whichever way stays in range.
        ch[channel] += (ch[channel] + delta < 0 || ch[channel] + delta > 255) ? -delta : delta;
        img.setPixel(x, y, qRgba(ch[0], ch[1], ch[2], ch[3]));
    }
    return img;
}

QImage filled(int w, int h, QRgb c)
{
    QImage img(w, h, QImage::Format_ARGB32);
    img.fill(c);
    return img;
}

// Which of the flag colours a difference picture shows.
QStringList markColours(const QImage &picture)
{
    const std::pair<QRgb, const char *> flags[] = {
        {qRgb(220, 0, 0), "red"}, {qRgb(255, 140, 0), "orange"}, {qRgb(40, 90, 255), "blue"}};
    QStringList found;
    for (const auto &[colour, name] : flags) {
        bool seen = false;
        for (int y = 0; y < picture.height() && !seen; ++y)
            for (int x = 0; x < picture.width() && !seen; ++x)
                seen = (picture.pixel(x, y) & 0xffffff) == (colour & 0xffffff);
        if (seen)
            found << QLatin1String(name);
    }
    return found;
}

} // namespace

class TestPictureCheck : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void compareImages_data();
    void compareImages();
    void checkCommittedCopies_data();
    void checkCommittedCopies();
    void drawingTwiceGivesSameBytes();

private:
    QTemporaryDir m_tmp;
    QString m_made;
};

void TestPictureCheck::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    QVERIFY2(QFile::exists(kTool), qPrintable(kTool));
    m_made = m_tmp.filePath(QStringLiteral("made"));
    QString out;
    QVERIFY2(draw(m_made, &out), qPrintable(out));
    QVERIFY(filesIn(m_made).size() >= 40);
}

void TestPictureCheck::compareImages_data()
{
    QTest::addColumn<QImage>("made");
    QTest::addColumn<QImage>("committed");
    QTest::addColumn<bool>("passes");
    QTest::addColumn<qint64>("changed");
    QTest::addColumn<qint64>("differing");
    QTest::addColumn<int>("largest");
    QTest::addColumn<QStringList>("marks"); // colours that flag pixels in the difference picture

    const QImage big = pattern(100, 100, 255); // 0.5 % is 50 pixels
    const QImage mark = pattern(14, 21, 255);  // 294 pixels: the few-pixel allowance holds
    enum { R, G, B, A };
    const QStringList none, red{QStringLiteral("red")}, orange{QStringLiteral("orange")}, blue{QStringLiteral("blue")};
    auto row = [](const char *name, const QImage &made, const QImage &committed, bool passes, qint64 changed,
                  qint64 differing, int largest, const QStringList &marks) {
        QTest::newRow(name) << made << committed << passes << changed << differing << largest << marks;
    };
    row("identical", big, big, true, 0, 0, 0, none);
    row("one channel two levels off", withPixels(big, 1, B, 2), big, true, 1, 1, 2, orange);
    row("one channel three levels off", withPixels(big, 1, G, -3), big, false, 1, 1, 3, red);
    row("alpha three levels off", withPixels(big, 1, A, -3), big, false, 1, 1, 3, red);
    row("0.5 % of the pixels one level off", withPixels(big, 50, R, 1), big, true, 50, 50, 1, orange);
    row("one pixel more", withPixels(big, 51, R, 1), big, false, 51, 51, 1, orange);
    row("small mark, four pixels", withPixels(mark, 4, A, -1), mark, true, 4, 4, 1, orange);
    row("small mark, five pixels", withPixels(mark, 5, A, -1), mark, false, 5, 5, 1, orange);
    // 255 * 1 / 170 = 1.5: a CPU may store 1 or 2, and both show as 1 at alpha 170.
    row("translucent colour rounded the other way everywhere", filled(100, 100, qRgba(2, 1, 2, 170)),
        filled(100, 100, qRgba(1, 2, 1, 170)), true, 10000, 0, 1, blue);
    row("translucent colour visibly off", filled(100, 100, qRgba(3, 1, 1, 170)),
        filled(100, 100, qRgba(1, 1, 1, 170)), false, 10000, 10000, 2, orange);
    row("colour under full transparency", filled(100, 100, qRgba(200, 30, 90, 0)), filled(100, 100, 0), true, 0, 0, 0,
        none);
    row("one row taller", big, pattern(100, 101, 255), false, 0, 10000, 0, red);
}

void TestPictureCheck::compareImages()
{
    QFETCH(QImage, made);
    QFETCH(QImage, committed);
    QFETCH(bool, passes);
    QFETCH(qint64, changed);
    QFETCH(qint64, differing);
    QFETCH(int, largest);
    QFETCH(QStringList, marks);

    const pictures::Tolerance t;
    const pictures::PictureDifference d = pictures::comparePictures(made, committed, t);
    QCOMPARE(d.changed, changed);
    QCOMPARE(d.differing, differing);
    QCOMPARE(d.largest, largest);
    QCOMPARE(d.withinTolerance(t), passes);
    // The same pictures either way round.
    QCOMPARE(pictures::comparePictures(committed, made, t).withinTolerance(t), passes);

    const QImage picture = pictures::differencePicture(made, committed, t);
    const QSize extent(std::max(made.width(), committed.width()), std::max(made.height(), committed.height()));
    QVERIFY(picture.width() >= extent.width() && picture.height() >= extent.height());
    QVERIFY(picture.width() * picture.height() >= 3 * extent.width() * extent.height());
    QCOMPARE(markColours(picture), marks);
}

void TestPictureCheck::checkCommittedCopies_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("failing");

    QTest::newRow("as committed") << QString() << QStringList() << QStringList();
    // The marks and icons: what another CPU rounds differently.
    QStringList translucent;
    for (const QString &sub : {QStringLiteral("res/pictures"), QStringLiteral("res/icons")}) {
        const QDir dir(kSource + QLatin1Char('/') + sub);
        for (const QString &f : dir.entryList({QStringLiteral("*.png")}, QDir::Files))
            if (QImage(dir.filePath(f)).hasAlphaChannel())
                translucent << sub + QLatin1Char('/') + f;
    }
    QTest::newRow("translucent halfway colours rounded the other way")
        << QStringLiteral("ties") << translucent << QStringList();
    QTest::newRow("a few pixels one level off")
        << QStringLiteral("few")
        << QStringList{QStringLiteral("res/pictures/129.png"), QStringLiteral("res/pictures/152@2x.png"),
                       QStringLiteral("res/pictures/130@2x.png"), QStringLiteral("res/icons/tonvero-256.png"),
                       QStringLiteral("docs/pictures.png")}
        << QStringList();
    // Row 19 is the top staff line; columns 340 and 341 the edge between E and F (white keys 11
    // and 12), clear of black keys.
    QTest::newRow("staff line one row lower")
        << QStringLiteral("row 19..19") << QStringList{QStringLiteral("res/pictures/137.png")}
        << QStringList{QStringLiteral("res/pictures/137.png")};
    QTest::newRow("key edge one column to the right")
        << QStringLiteral("column 340..341") << QStringList{QStringLiteral("res/pictures/129@2x.png")}
        << QStringList{QStringLiteral("res/pictures/129@2x.png")};
    QTest::newRow("colour one level darker all over")
        << QStringLiteral("darker") << QStringList{QStringLiteral("res/pictures/136.png")}
        << QStringList{QStringLiteral("res/pictures/136.png")};
}

void TestPictureCheck::checkCommittedCopies()
{
    QFETCH(QString, how);
    QFETCH(QStringList, files);
    QFETCH(QStringList, failing);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    QVERIFY(copyCommitted(root.path()));
    static const QRegularExpression lineRe(QStringLiteral("^(row|column) (\\d+)\\.\\.(\\d+)$"));
    int ties = 0;
    for (const QString &f : files) {
        const QString path = root.filePath(f);
        QImage img = loadStraight(path);
        QVERIFY2(!img.isNull(), qPrintable(path));
        if (how == QLatin1String("few")) {
            nudgeFewPixels(img);
        } else if (how == QLatin1String("ties")) {
            ties += roundTiesTheOtherWay(img);
        } else if (how == QLatin1String("darker")) {
            darkenAll(img);
        } else {
            const QRegularExpressionMatch m = lineRe.match(how);
            QVERIFY(m.hasMatch());
            const auto o = m.captured(1) == QLatin1String("row") ? Qt::Horizontal : Qt::Vertical;
            QVERIFY2(moveLine(img, o, m.captured(2).toInt(), m.captured(3).toInt()), "no dark line there to move");
        }
        QVERIFY(img.save(path, "png"));
    }
    if (how == QLatin1String("ties"))
        QVERIFY2(ties > 100, qPrintable(QString::number(ties)));

    const Run r = runTool({QStringLiteral("--compare"), root.path(), m_made});
    const QStringList drawn = filesIn(m_made).filter(QRegularExpression(QStringLiteral("^(?!.*\\.diff\\.png$)")));
    QVERIFY2(r.exitCode == (failing.isEmpty() ? 0 : 1), qPrintable(r.output));
    if (failing.isEmpty()) {
        QVERIFY2(r.output.contains(QStringLiteral("all %1 pictures match").arg(drawn.size())), qPrintable(r.output));
        QVERIFY2(!r.output.contains(QLatin1String("DIFFERS")), qPrintable(r.output));
        return;
    }
    QCOMPARE(r.output.count(QLatin1String("DIFFERS")), failing.size());
    for (const QString &f : failing) {
        // Name, size, count and share of differing pixels, largest difference, difference picture.
        static const QRegularExpression re(QStringLiteral(
            "^(\\S+): DIFFERS: (\\d+)x(\\d+) px, (\\d+) pixels differ \\(([\\d.e+-]+) %, at most (\\d+) allowed\\), "
            "largest difference (\\d+) levels?; committed, drawn and differences in (\\S+)$"),
            QRegularExpression::MultilineOption);
        QRegularExpressionMatch m;
        for (auto it = re.globalMatch(r.output); it.hasNext();) {
            const QRegularExpressionMatch n = it.next();
            if (n.captured(1) == f)
                m = n;
        }
        QVERIFY2(m.hasMatch(), qPrintable(f + QStringLiteral(" not reported:\n") + r.output));
        const QImage committed = loadStraight(kSource + QLatin1Char('/') + f);
        QCOMPARE(QSize(m.captured(2).toInt(), m.captured(3).toInt()), committed.size());
        const qint64 differing = m.captured(4).toLongLong(), allowed = m.captured(6).toLongLong();
        const int largest = m.captured(7).toInt();
        QVERIFY2(differing > allowed || largest > 2, qPrintable(m.captured(0)));
        const double share = 100.0 * double(differing) / (committed.width() * committed.height());
        QVERIFY2(qAbs(m.captured(5).toDouble() - share) <= share * 0.01, qPrintable(m.captured(5)));
        const QImage picture(m.captured(8));
        QVERIFY2(!picture.isNull(), qPrintable(m.captured(8)));
        QVERIFY(m.captured(8).startsWith(m_made));
        QVERIFY(picture.width() * picture.height() >= 3 * committed.width() * committed.height());
    }
}

void TestPictureCheck::drawingTwiceGivesSameBytes()
{
    const QString again = m_tmp.filePath(QStringLiteral("again"));
    QString out;
    QVERIFY2(draw(again, &out), qPrintable(out));
    const QStringList first = filesIn(m_made).filter(QRegularExpression(QStringLiteral("^(?!.*\\.diff\\.png$)")));
    QCOMPARE(filesIn(again), first);
    QStringList differ;
    for (const QString &f : first) {
        QFile a(m_made + QLatin1Char('/') + f), b(again + QLatin1Char('/') + f);
        QVERIFY(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
        if (a.readAll() != b.readAll())
            differ << f;
    }
    QVERIFY2(differ.isEmpty(),
             qPrintable(QStringLiteral("a second drawing differs: ") + differ.join(QLatin1String(", "))));
}

QTEST_GUILESS_MAIN(TestPictureCheck)
#include "tst_picturecheck.moc"
