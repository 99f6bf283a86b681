// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/pianoctrl.h"
#include "platform/ui/bitmap.h"

#include <QTest>
#include <memory>

namespace {

const QRgb BracketGreen = qRgb(0, 220, 0);
const QRgb ShadowGrey = qRgb(120, 120, 120);
const QRgb BoundGold = qRgb(255, 217, 0);
constexpr double KeyWidth = 625.0 / 52;

class Recorder : public CInstrumentCtrlListener {
public:
    QStringList ranges;
    void OnNoteOn(int, bool) override {}
    void OnNoteOff(int) override {}
    void OnRangeChanged(const NoteRange* r) override
    {
        ranges << QStringLiteral("%1-%2 %3-%4").arg(r[0].low).arg(r[0].high).arg(r[1].low).arg(r[1].high);
    }
    void OnCtrlMoved(int, const QPoint*) override {}
    void OnRedrawRequest() override {}
};

// A point on the lower half of a white key, where range mode hits it.
QPoint onKey(int key, int y = 100)
{
    return QPoint(CInstrumentCtrl::KeyTable[key].x + 6, y);
}

// Rows of a picture column in runs of one colour: the middle row of each run,
// and the last row of the run that follows it directly in the other colour.
struct Runs {
    QList<int> centres;
    QList<int> lastBelow;
};

Runs runsInColumn(const QImage& picture, int x, QRgb colour, QRgb below)
{
    Runs runs;
    int y = 0;
    while (y < picture.height()) {
        if (picture.pixel(x, y) != colour) {
            ++y;
            continue;
        }
        const int start = y;
        while (y < picture.height() && picture.pixel(x, y) == colour)
            ++y;
        runs.centres << (start + y - 1) / 2;
        int end = y;
        while (end < picture.height() && picture.pixel(x, end) == below)
            ++end;
        runs.lastBelow << end - 1;
    }
    return runs;
}

QList<int> columnsInRow(const QImage& picture, int y, QRgb colour)
{
    QList<int> xs;
    for (int x = 0; x < picture.width(); ++x)
        if (picture.pixel(x, y) == colour)
            xs << x;
    return xs;
}

QList<int> span(int from, int to)
{
    QList<int> xs;
    for (int x = from; x <= to; ++x)
        xs << x;
    return xs;
}

} // namespace

class TestNoteRange : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void bracketRows_data();
    void bracketRows();
    void anchors();
    void boundsWithGoldMarkers();
    void normalisation_data();
    void normalisation();
    void dragLimits_data();
    void dragLimits();
    void pressOnOtherKeyDoesNothing();
    void twoRangesByHalf_data();
    void twoRangesByHalf();
    void notifications();

private:
    std::unique_ptr<QWidget> m_parent;
    CPianoCtrl* m_piano = nullptr;
    Recorder m_rec;
};

void TestNoteRange::initTestCase()
{
    QVERIFY2(!platform::LoadBitmap(129).isNull(), "keyboard picture missing from the resources");
}

void TestNoteRange::init()
{
    m_parent = std::make_unique<QWidget>();
    m_parent->resize(900, 400);
    m_piano = new CPianoCtrl(CInstrumentCtrl::PianoId, "PianoCtrl", m_parent.get());
    QVERIFY(m_piano->initialize(CPianoCtrl::DefaultLayout().data()));
    m_piano->MoveTo(0, 10, 20, m_piano->GetHeight(), m_piano->GetWidth());
    m_parent->show();
    m_piano->AddListener(&m_rec);
}

void TestNoteRange::cleanup()
{
    QTestPrivate::qtestMouseButtons = Qt::NoButton;
    m_parent.reset();
    m_piano = nullptr;
    m_rec.ranges.clear();
}

void TestNoteRange::bracketRows_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("greenRows");
    QTest::addColumn<QList<int>>("shadowRows");
    QTest::newRow("one range") << 1 << QList<int>{45, 104} << QList<int>{46, 105};
    QTest::newRow("two ranges") << 2 << QList<int>{45, 68, 80, 104} << QList<int>{46, 69, 81, 105};
}

void TestNoteRange::bracketRows()
{
    QFETCH(int, count);
    QFETCH(QList<int>, greenRows);
    QFETCH(QList<int>, shadowRows);
    m_piano->SetRangeCount(count);
    QCOMPARE(m_piano->GetRangeCount(), count);
    const QImage& picture = m_piano->picture();
    // Down the middle of the low bracket on key 0 and of the high bracket on key 87,
    // clear of the shadows of their uprights.
    const int xl = CInstrumentCtrl::KeyTable[0].x;
    const int xh = CInstrumentCtrl::KeyTable[87].x;
    for (int x : {xl + 6, xh + 4}) {
        const Runs runs = runsInColumn(picture, x, BracketGreen, ShadowGrey);
        QCOMPARE(runs.centres, greenRows);
        // The 5-pixel shadow shows below each 3-pixel bracket line, down to its centre + 2.
        QList<int> shadowCentres;
        for (int last : runs.lastBelow)
            shadowCentres << last - 2;
        QCOMPARE(shadowCentres, shadowRows);
    }
    // The upright of the low bracket stands inside key 0, the high one's inside key 87.
    QCOMPARE(picture.pixel(xl + 3, 60), BracketGreen);
    QCOMPARE(picture.pixel(xl + 1, 60), ShadowGrey);
    QCOMPARE(picture.pixel(int(xh + KeyWidth - 3), 60), BracketGreen);
}

void TestNoteRange::anchors()
{
    m_piano->SetRangeCount(2);
    m_piano->RedrawRanges(false);
    // Range 1 is the last drawn: shadow top row 81, anchors 3 rows above it.
    const QPoint pos(10, 20);
    QCOMPARE(m_piano->LowEndAnchor(), pos + QPoint(26 - 1 + 3, 78));
    QCOMPARE(m_piano->HighEndAnchor(), pos + QPoint(int(638 + KeyWidth - 3 - 1), 78));
}

void TestNoteRange::boundsWithGoldMarkers()
{
    m_piano->SetBounds(31, 79);
    QCOMPARE(m_piano->GetRangeLow(0), 31);
    QCOMPARE(m_piano->GetRangeHigh(0), 79);
    QVERIFY(CInstrumentCtrl::KeyTable[31].isWhite && CInstrumentCtrl::KeyTable[79].isWhite);

    // Key 30 is black: the lower marker ends at the right of white key 29.
    const auto& keys = CInstrumentCtrl::KeyTable;
    const int lowEnd = int(keys[29].x + KeyWidth - 3);
    const int highStart = keys[80].x + 3;
    const int highEnd = int(keys[87].x + KeyWidth - 3);
    const QImage& picture = m_piano->picture();
    QCOMPARE(columnsInRow(picture, 104, BoundGold), span(keys[0].x + 3 - 1, lowEnd + 1) + span(highStart - 1, highEnd + 1));
    // Each marker ends in a tick towards the range.
    QCOMPARE(picture.pixel(lowEnd, 99), BoundGold);
    QCOMPARE(picture.pixel(highStart, 99), BoundGold);
    QVERIFY(picture.pixel(lowEnd + 4, 99) != BoundGold);

    m_piano->SetBounds(0, 87);
    QVERIFY(columnsInRow(m_piano->picture(), 104, BoundGold).isEmpty());
    QCOMPARE(m_piano->GetRangeLow(0), 31); // the bounds only narrow a range
}

void TestNoteRange::normalisation_data()
{
    QTest::addColumn<int>("boundsLow");
    QTest::addColumn<int>("boundsHigh");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("expectedLow");
    QTest::addColumn<int>("expectedHigh");
    QTest::newRow("inside the bounds") << 0 << 87 << 10 << 50 << 10 << 50;
    QTest::newRow("narrowed to the bounds") << 31 << 79 << 0 << 87 << 31 << 79;
    QTest::newRow("below the bounds") << 31 << 79 << 2 << 20 << 31 << 32;
    QTest::newRow("below, next key black") << 32 << 79 << 0 << 10 << 32 << 34;
    QTest::newRow("above, key below black") << 0 << 50 << 60 << 80 << 48 << 50;
    QTest::newRow("bounds wider than the keyboard") << -10 << 200 << 0 << 87 << 0 << 87;
    QTest::newRow("range wider than the keyboard") << 0 << 87 << -5 << 200 << 0 << 87;
    QTest::newRow("bounds past the top") << 90 << 120 << 0 << 87 << 86 << 87;
    QTest::newRow("bounds on the bottom key") << -5 << 0 << 0 << 87 << 0 << 0;
}

void TestNoteRange::normalisation()
{
    QFETCH(int, boundsLow);
    QFETCH(int, boundsHigh);
    QFETCH(int, low);
    QFETCH(int, high);
    m_piano->SetRange(0, low, high);
    m_piano->SetBounds(boundsLow, boundsHigh);
    QTEST(m_piano->GetRangeLow(0), "expectedLow");
    QTEST(m_piano->GetRangeHigh(0), "expectedHigh");
    QVERIFY(m_piano->GetBoundsLow() >= 0 && m_piano->GetBoundsHigh() <= 87);
    QVERIFY(!m_piano->picture().isNull());
}

void TestNoteRange::dragLimits_data()
{
    QTest::addColumn<int>("boundsLow");
    QTest::addColumn<int>("boundsHigh");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<bool>("lowEnd");
    QTest::addColumn<int>("target");
    QTest::addColumn<int>("expectedLow");
    QTest::addColumn<int>("expectedHigh");
    // Key 23 (G#2) is black, key 26 (B2) and 27 (C3) white, key 25 (A#2) black.
    QTest::newRow("low along the keys") << 0 << 87 << 3 << 50 << true << 10 << 10 << 50;
    QTest::newRow("low past high, black below it") << 0 << 87 << 3 << 24 << true << 26 << 22 << 24;
    QTest::newRow("low past high, white below it") << 0 << 87 << 3 << 27 << true << 39 << 26 << 27;
    QTest::newRow("low beyond the bounds") << 10 << 87 << 12 << 50 << true << 0 << 10 << 50;
    QTest::newRow("high past low, black above it") << 0 << 87 << 24 << 50 << false << 10 << 24 << 26;
    QTest::newRow("high past low, white above it") << 0 << 87 << 26 << 50 << false << 3 << 26 << 27;
    QTest::newRow("high beyond the bounds") << 0 << 79 << 3 << 70 << false << 87 << 3 << 79;
}

void TestNoteRange::dragLimits()
{
    QFETCH(int, boundsLow);
    QFETCH(int, boundsHigh);
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(bool, lowEnd);
    QFETCH(int, target);
    QFETCH(int, expectedLow);
    QFETCH(int, expectedHigh);
    m_piano->SetBounds(boundsLow, boundsHigh);
    m_piano->SetRange(0, low, high);
    m_rec.ranges.clear();

    QTest::mousePress(m_piano, Qt::LeftButton, {}, onKey(lowEnd ? low : high));
    QCOMPARE(m_piano->cursor().shape(), Qt::SizeHorCursor);
    QTest::mouseMove(m_piano, onKey(target));
    QCOMPARE(m_piano->GetRangeLow(0), expectedLow);
    QCOMPARE(m_piano->GetRangeHigh(0), expectedHigh);
    QCOMPARE(m_rec.ranges.size(), 1);
    QVERIFY(m_rec.ranges.last().startsWith(QStringLiteral("%1-%2 ").arg(expectedLow).arg(expectedHigh)));

    QTest::mouseRelease(m_piano, Qt::LeftButton, {}, onKey(target));
    QCOMPARE(m_piano->cursor().shape(), Qt::ArrowCursor);
    // The bracket follows: the taken end is drawn over its new key.
    const int end = lowEnd ? expectedLow : expectedHigh;
    QCOMPARE(m_piano->picture().pixel(CInstrumentCtrl::KeyTable[end].x + 6, 104), BracketGreen);
    // Released: further moves edit nothing.
    QTest::mouseMove(m_piano, onKey(40));
    QCOMPARE(m_rec.ranges.size(), 1);
}

void TestNoteRange::pressOnOtherKeyDoesNothing()
{
    m_piano->SetRange(0, 10, 50);
    m_rec.ranges.clear();
    QTest::mousePress(m_piano, Qt::LeftButton, {}, onKey(29));
    QTest::mouseMove(m_piano, onKey(5));
    QTest::mouseMove(m_piano, onKey(70));
    QTest::mouseRelease(m_piano, Qt::LeftButton, {}, onKey(70));
    QCOMPARE(m_piano->GetRangeLow(0), 10);
    QCOMPARE(m_piano->GetRangeHigh(0), 50);
    QVERIFY(m_rec.ranges.isEmpty());
}

void TestNoteRange::twoRangesByHalf_data()
{
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("range");
    QTest::newRow("upper half") << 60 << 0;
    QTest::newRow("bottom of the black keys") << 84 << 0;
    QTest::newRow("below the black keys") << 85 << 1;
}

void TestNoteRange::twoRangesByHalf()
{
    QFETCH(int, y);
    QFETCH(int, range);
    m_piano->SetRangeCount(2);
    m_piano->SetRange(0, 10, 50);
    m_piano->SetRange(1, 10, 40);
    QTest::mousePress(m_piano, Qt::LeftButton, {}, onKey(10, y));
    QTest::mouseMove(m_piano, onKey(5, y));
    QTest::mouseRelease(m_piano, Qt::LeftButton, {}, onKey(5, y));
    QCOMPARE(m_piano->GetRangeLow(range), 5);
    QCOMPARE(m_piano->GetRangeLow(1 - range), 10);
    QCOMPARE(m_rec.ranges.last(), range == 0 ? QStringLiteral("5-50 10-40") : QStringLiteral("10-50 5-40"));
}

void TestNoteRange::notifications()
{
    m_rec.ranges.clear();
    m_piano->SetRange(0, 10, 50);
    m_piano->SetRange(1, 20, 60);
    m_piano->SetBounds(0, 87);
    QVERIFY(m_rec.ranges.isEmpty());
    m_piano->SetRangeCount(1); // same count: reported all the same
    QCOMPARE(m_rec.ranges, QStringList{"10-50 20-60"});
    m_piano->SetRangeCount(2);
    QCOMPARE(m_rec.ranges.size(), 2);

    // Back to range mode from an exercise: marks go, the ranges come back.
    m_piano->SetKeyboardMode(true);
    m_piano->SetNoteState(60, Red);
    m_piano->SetRangeCount(2);
    QCOMPARE(CInstrumentCtrl::KeyTable[39].mark, int(None));
    QVERIFY(!m_piano->IsKeyboardMode());
    QCOMPARE(m_rec.ranges.size(), 3);
}

QTEST_MAIN(TestNoteRange)
#include "tst_noterange.moc"
