// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/statstext.h"

#include <QDateTime>
#include <QTest>

class TestStatsText : public QObject {
    Q_OBJECT
private slots:
    void errorsText_data();
    void errorsText();
    void clockText_data();
    void clockText();
    void roundSpan_data();
    void roundSpan();
    void secondsBetweenDateTimes();
    void examSummary();
};

void TestStatsText::errorsText_data()
{
    QTest::addColumn<int>("errors");
    QTest::addColumn<int>("notes");
    QTest::addColumn<QString>("text");
    QTest::newRow("all wrong") << 3 << 3 << "3 (100%)";
    QTest::newRow("more errors than notes") << 5 << 4 << "5 (125%)";
    QTest::newRow("a quarter") << 1 << 4 << "1 (25%)";
    QTest::newRow("exactly ten percent") << 1 << 10 << "1 (10%)";
    QTest::newRow("five percent") << 1 << 20 << "1 (5.0%)";
    QTest::newRow("exactly one percent") << 1 << 100 << "1 (1.0%)";
    QTest::newRow("just under one percent") << 1 << 101 << "1 (0.99%)";
    QTest::newRow("single precision 0.1 is not below 0.1") << 1 << 1000 << "1 (0.10%)";
    QTest::newRow("under a tenth") << 1 << 2000 << "1 (0.050%)";
    QTest::newRow("errors before any note") << 2 << 0 << "2 (100%)";
    QTest::newRow("no error, no note") << 0 << 0 << "0";
    QTest::newRow("no error, many notes") << 0 << 57 << "0";
    // Exact binary ties round to even, as the C library's printf does.
    QTest::newRow("tie 12.5 to even, no decimals") << 1 << 8 << "1 (12%)";
    QTest::newRow("tie 37.5 to even, no decimals") << 3 << 8 << "3 (38%)";
    QTest::newRow("tie 62.5 to even, no decimals") << 5 << 8 << "5 (62%)";
    QTest::newRow("tie 6.25 to even, one decimal") << 1 << 16 << "1 (6.2%)";
    QTest::newRow("tie 0.125 to even, two decimals") << 1 << 800 << "1 (0.12%)";
    QTest::newRow("tie 0.0625 to even, three decimals") << 1 << 1600 << "1 (0.062%)";
    QTest::newRow("large counts do not overflow") << 30000000 << 40000000 << "30000000 (75%)";
}

void TestStatsText::errorsText()
{
    QFETCH(int, errors);
    QFETCH(int, notes);
    QFETCH(QString, text);
    QCOMPARE(statstext::errorsText(errors, notes), text);
}

void TestStatsText::clockText_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("start") << qint64(0) << "00:00";
    QTest::newRow("two minutes") << qint64(120) << "02:00";
    QTest::newRow("last second of the first hour") << qint64(3599) << "59:59";
    QTest::newRow("one hour") << qint64(3600) << "01:00:00";
    QTest::newRow("mixed") << qint64(2 * 3600 + 3 * 60 + 4) << "02:03:04";
    QTest::newRow("hours within a day") << qint64(25 * 3600) << "01:00:00";
    QTest::newRow("a whole day still shows hours") << qint64(24 * 3600) << "00:00:00";
    QTest::newRow("exam end passed") << qint64(-5) << "00:00";
}

void TestStatsText::clockText()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(statstext::clockText(seconds), text);
}

void TestStatsText::roundSpan_data()
{
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<qint64>("seconds");
    QTest::newRow("zero") << qint64(0) << qint64(0);
    QTest::newRow("just under half") << qint64(1499) << qint64(1);
    QTest::newRow("half rounds up") << qint64(1500) << qint64(2);
    QTest::newRow("negative half rounds away") << qint64(-1500) << qint64(-2);
    QTest::newRow("negative small") << qint64(-400) << qint64(0);
}

void TestStatsText::roundSpan()
{
    QFETCH(qint64, ms);
    QFETCH(qint64, seconds);
    QCOMPARE(statstext::roundSpanToSeconds(ms), seconds);
}

void TestStatsText::secondsBetweenDateTimes()
{
    // An exam of two minutes started at 10:00:00: the countdown at each moment.
    const QDateTime start(QDate(2024, 3, 1), QTime(10, 0, 0));
    const QDateTime end = start.addSecs(2 * 60);
    QCOMPARE(statstext::clockText(statstext::secondsBetween(start, end)), QStringLiteral("02:00"));
    QCOMPARE(statstext::clockText(statstext::secondsBetween(start.addMSecs(30'600), end)),
             QStringLiteral("01:29"));
    QCOMPARE(statstext::clockText(statstext::secondsBetween(end.addSecs(3), end)),
             QStringLiteral("00:00"));
    // Elapsed time across midnight.
    const QDateTime late(QDate(2024, 3, 1), QTime(23, 59, 30));
    QCOMPARE(statstext::clockText(statstext::secondsBetween(late, late.addSecs(3600 + 45))),
             QStringLiteral("01:00:45"));
}

void TestStatsText::examSummary()
{
    QCOMPARE(statstext::examSummaryText(QStringLiteral("02:00"), 37, QStringLiteral("3 (8.1%)")),
             QStringLiteral("Время\t02:00\nНоты\t37\nОшибки\t3 (8.1%)"));
    // A text that looks like a placeholder stays as it is.
    QCOMPARE(statstext::examSummaryText(QStringLiteral("%2"), 1, QStringLiteral("%1")),
             QStringLiteral("Время\t%2\nНоты\t1\nОшибки\t%1"));
}

QTEST_GUILESS_MAIN(TestStatsText)
#include "tst_statstext.moc"
