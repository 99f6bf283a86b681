// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/notemapview.h"
#include "dialogs/piecestripview.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTest>

using namespace tonvero::history;

namespace {

// Channels within 2 of each other: rounding, not a different colour.
bool near(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 && std::abs(a.blue() - b.blue()) <= 2;
}

QString describe(const QColor& c)
{
    return c.name();
}

BarFigures bar(int answers, int right, int meanMs)
{
    BarFigures b;
    b.answers = answers;
    b.right = right;
    b.meanMs = meanMs;
    return b;
}

} // namespace

class TestPieceStripView : public QObject {
    Q_OBJECT
private slots:
    void cells_data();
    void cells();
    void timeColumns();
    void tooltips_data();
    void tooltips();
    void twoHundredBarsWrap_data();
    void twoHundredBarsWrap();
    void keyboard();
};

void TestPieceStripView::cells_data()
{
    QTest::addColumn<int>("answers");
    QTest::addColumn<int>("right");
    QTest::addColumn<double>("scale"); // where on viridis; −1: the empty cell
    QTest::addColumn<bool>("marked");
    QTest::newRow("no answers: empty, no cross") << 0 << 0 << -1.0 << false;
    QTest::newRow("all wrong: the dark end, crossed") << 4 << 0 << 0.0 << true;
    QTest::newRow("two of three: crossed below 70 %") << 3 << 2 << 2.0 / 3 << true;
    QTest::newRow("seven of ten: no cross at 70 %") << 10 << 7 << 0.7 << false;
    QTest::newRow("all right: the light end") << 5 << 5 << 1.0 << false;
}

void TestPieceStripView::cells()
{
    QFETCH(int, answers);
    QFETCH(int, right);
    QFETCH(double, scale);
    QFETCH(bool, marked);
    PieceStripView strip;
    // The bar under test between two others, so its place in the row is not the first.
    strip.setBars({bar(1, 1, 500), bar(answers, right, right > 0 ? 800 : -1), bar(0, 0, -1)});
    strip.resize(600, strip.heightForWidth(600));
    QCOMPARE(strip.barCount(), 3);
    const QColor expected = scale < 0 ? PieceStripView::emptyColour() : NoteMapView::viridis(scale);
    QVERIFY2(near(strip.cellColour(1), expected),
             qPrintable(describe(strip.cellColour(1)) + QStringLiteral(" against ") + describe(expected)));
    QCOMPARE(strip.isMarked(1), marked);
    // The picture shows it: near a corner of the cell (the cross lies across its middle).
    const QRectF cell = strip.cellRect(1);
    const QImage& picture = strip.picture();
    const qreal ratio = picture.devicePixelRatio();
    const QColor corner = picture.pixelColor((cell.topLeft() + QPointF(3, 3)).toPoint() * ratio);
    QVERIFY2(near(corner, expected), qPrintable(describe(corner) + QStringLiteral(" against ") + describe(expected)));
    // The cross is drawn light over the cell's middle, and only on the bars it marks.
    const QColor middle = picture.pixelColor(cell.center().toPoint() * ratio);
    QCOMPARE(middle.lightness() > 200 && !near(middle, expected), marked);
}

void TestPieceStripView::timeColumns()
{
    PieceStripView strip;
    strip.setBars({bar(2, 2, 1000), bar(2, 2, 4000), bar(2, 0, -1), bar(0, 0, -1), bar(1, 1, 2000)});
    strip.resize(600, strip.heightForWidth(600));
    // As tall as the bar's mean time against the slowest bar's; none without a right answer.
    const qreal full = strip.timeRect(1).height();
    QVERIFY(full > 10);
    QVERIFY(qAbs(strip.timeRect(0).height() - full / 4) < 0.01);
    QVERIFY(qAbs(strip.timeRect(4).height() - full / 2) < 0.01);
    QVERIFY(strip.timeRect(2).isEmpty());
    QVERIFY(strip.timeRect(3).isEmpty());
    // Standing on the same line under their cells.
    QCOMPARE(strip.timeRect(0).bottom(), strip.timeRect(1).bottom());
    QVERIFY(strip.timeRect(0).top() > strip.cellRect(0).bottom());
    QVERIFY(strip.cellRect(5).isEmpty());
}

void TestPieceStripView::tooltips_data()
{
    QTest::addColumn<int>("answers");
    QTest::addColumn<int>("right");
    QTest::addColumn<int>("meanMs");
    QTest::addColumn<QString>("text");
    const QLocale l;
    QTest::newRow("no answers") << 0 << 0 << -1 << QStringLiteral("Такт 2\nОтветов нет");
    QTest::newRow("all wrong") << 3 << 0 << -1 << QStringLiteral("Такт 2\nОтветов: 3, верно: 0 (0 %)\nВерных ответов нет");
    QTest::newRow("some right")
        << 3 << 2 << 1250
        << QStringLiteral("Такт 2\nОтветов: 3, верно: 2 (67 %)\nСреднее время верного ответа: %1 с").arg(l.toString(1.25, 'f', 2));
    QTest::newRow("slow") << 1 << 1 << 30500
                          << QStringLiteral("Такт 2\nОтветов: 1, верно: 1 (100 %)\nСреднее время верного ответа: %1 с")
                                 .arg(l.toString(30.5, 'f', 1));
}

void TestPieceStripView::tooltips()
{
    QFETCH(int, answers);
    QFETCH(int, right);
    QFETCH(int, meanMs);
    QFETCH(QString, text);
    PieceStripView strip;
    strip.setBars({bar(1, 1, 500), bar(answers, right, meanMs)});
    strip.resize(600, strip.heightForWidth(600));
    QCOMPARE(strip.barText(1), text);
    // Over the cell, over its time column; not in the gap between two cells.
    QCOMPARE(strip.toolTipAt(strip.cellRect(1).center().toPoint()), text);
    QCOMPARE(strip.toolTipAt((strip.cellRect(1).bottomLeft() + QPointF(4, 10)).toPoint()), text);
    const QRectF first = strip.cellRect(0);
    QCOMPARE(strip.toolTipAt(QPoint(int(first.right() + 1), int(first.center().y()))), QString());
    QCOMPARE(strip.toolTipAt(QPoint(2, 2)), QString());
}

void TestPieceStripView::twoHundredBarsWrap_data()
{
    QTest::addColumn<int>("width");
    QTest::newRow("wide window") << 1200;
    QTest::newRow("small screen") << 700;
    QTest::newRow("narrower than eight cells") << 120;
}

void TestPieceStripView::twoHundredBarsWrap()
{
    QFETCH(int, width);
    // Inside a window, as in the dialog: a window of its own would be held to the screen's size.
    QWidget host;
    host.resize(2000, 2000);
    auto& strip = *new PieceStripView(&host);
    QVector<BarFigures> bars(200);
    for (int i = 0; i < bars.size(); i += 3)
        bars[i] = bar(4, i % 4, 900);
    strip.setBars(bars);
    const int height = strip.heightForWidth(width);
    strip.setGeometry(0, 0, width, height);
    QVERIFY(strip.columns() >= 1);
    const int rows = (200 + strip.columns() - 1) / strip.columns();
    // Every bar inside the widget, in rows from left to right, none over another.
    for (int i = 0; i < 200; ++i) {
        const QRectF r = strip.cellRect(i);
        QVERIFY2(r.right() <= width || strip.columns() == 1, qPrintable(QString::number(i)));
        QVERIFY(r.bottom() < height);
        if (i % strip.columns() != 0)
            QVERIFY(r.left() > strip.cellRect(i - 1).right());
        else if (i > 0)
            QVERIFY(r.top() > strip.timeRect(i - strip.columns()).bottom());
    }
    // The last bar on the last row.
    const qreal pitch = strip.cellRect(strip.columns()).top() - strip.cellRect(0).top();
    QCOMPARE(strip.cellRect(199).top(), strip.cellRect(0).top() + (rows - 1) * pitch);
    // A three-digit number fits its cell.
    QVERIFY(strip.cellRect(0).width() >= strip.fontMetrics().horizontalAdvance(QStringLiteral("200")));
}

void TestPieceStripView::keyboard()
{
    PieceStripView strip;
    QVector<BarFigures> bars(40);
    bars[0] = bar(2, 1, 700);
    strip.setBars(bars);
    strip.resize(300, strip.heightForWidth(300));
    QSignalSpy moved(&strip, &PieceStripView::currentBarChanged);
    strip.show();
    QVERIFY(QTest::qWaitForWindowExposed(&strip));
    strip.setFocus();
    QTRY_VERIFY(strip.hasFocus());
    QCOMPARE(strip.currentBar(), 0); // focus lands on the first bar
    QCOMPARE(strip.accessibleDescription(), strip.barText(0));
    QTest::keyClick(&strip, Qt::Key_Right);
    QTest::keyClick(&strip, Qt::Key_Right);
    QCOMPARE(strip.currentBar(), 2);
    QTest::keyClick(&strip, Qt::Key_Down);
    QCOMPARE(strip.currentBar(), 2 + strip.columns());
    QTest::keyClick(&strip, Qt::Key_End);
    QCOMPARE(strip.currentBar(), 39);
    QTest::keyClick(&strip, Qt::Key_Right); // stays at the last
    QCOMPARE(strip.currentBar(), 39);
    QCOMPARE(strip.accessibleDescription(), QStringLiteral("Такт 40\nОтветов нет"));
    QTest::keyClick(&strip, Qt::Key_Home);
    QCOMPARE(strip.currentBar(), 0);
    QCOMPARE(moved.count(), 6);
    QCOMPARE(moved.last().at(0).toInt(), 0);
    // A click chooses the bar under it.
    QTest::mouseClick(&strip, Qt::LeftButton, {}, strip.cellRect(5).center().toPoint());
    QCOMPARE(strip.currentBar(), 5);
    // Fewer bars: the current one stays inside.
    strip.setBars(QVector<BarFigures>(3));
    QCOMPARE(strip.currentBar(), 2);
}

QTEST_MAIN(TestPieceStripView)
#include "tst_piecestripview.moc"
