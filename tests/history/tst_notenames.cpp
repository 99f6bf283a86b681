// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/notenames.h"

#include <QTest>

using namespace tonvero;
using namespace tonvero::history;

class TestNoteNames : public QObject {
    Q_OBJECT
private slots:
    void names_data();
    void names();
    void stavePlaces_data();
    void stavePlaces();
    void readingClefs_data();
    void readingClefs();
};

void TestNoteNames::names_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("spelling");
    QTest::addColumn<QString>("letters");
    QTest::addColumn<QString>("shown");
    QTest::newRow("lowest key") << 0 << 0 << "A0" << "Ля0";
    QTest::newRow("A sharp 0") << 1 << 1 << "A#0" << "Ля♯0";
    QTest::newRow("B flat 0") << 1 << 2 << "Bb0" << "Си♭0";
    QTest::newRow("middle C") << 39 << 0 << "C4" << "До4";
    QTest::newRow("C sharp 4") << 40 << 1 << "C#4" << "До♯4";
    QTest::newRow("D flat 4") << 40 << 2 << "Db4" << "Ре♭4";
    QTest::newRow("a black key written natural is a sharp") << 40 << 0 << "C#4" << "До♯4";
    QTest::newRow("a white key is never written with an accidental") << 41 << 2 << "D4" << "Ре4";
    QTest::newRow("B4 then C5") << 50 << 0 << "B4" << "Си4";
    QTest::newRow("C5") << 51 << 0 << "C5" << "До5";
    QTest::newRow("highest key") << 87 << 0 << "C8" << "До8";
}

void TestNoteNames::names()
{
    QFETCH(int, key);
    QFETCH(int, spelling);
    QFETCH(QString, letters);
    QFETCH(QString, shown);
    QCOMPARE(letterName(key, Spelling(spelling)), letters);
    QCOMPARE(displayName(key, Spelling(spelling)), shown);
}

void TestNoteNames::stavePlaces_data()
{
    QTest::addColumn<int>("clef");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("spelling");
    QTest::addColumn<int>("place");
    QTest::newRow("treble: E4 on the bottom line") << 0 << 43 << 0 << 0;
    QTest::newRow("treble: F5 on the top line") << 0 << 56 << 0 << 8;
    QTest::newRow("treble: middle C on a ledger line below") << 0 << 39 << 0 << -2;
    QTest::newRow("treble: C sharp 4 beside it") << 0 << 40 << 1 << -2;
    QTest::newRow("treble: D flat 4 a step higher") << 0 << 40 << 2 << -1;
    QTest::newRow("bass: G2 on the bottom line") << 1 << 22 << 0 << 0;
    QTest::newRow("bass: A3 on the top line") << 1 << 36 << 0 << 8;
    QTest::newRow("bass: middle C above the stave") << 1 << 39 << 0 << 10;
    QTest::newRow("alto: middle C on the middle line") << 2 << 39 << 0 << 4;
    QTest::newRow("alto: F3 on the bottom line") << 2 << 32 << 0 << 0;
}

void TestNoteNames::stavePlaces()
{
    QFETCH(int, clef);
    QFETCH(int, key);
    QFETCH(int, spelling);
    QFETCH(int, place);
    QCOMPARE(stavePosition(clef, key, Spelling(spelling)), place);
}

void TestNoteNames::readingClefs_data()
{
    QTest::addColumn<int>("clef");
    QTest::addColumn<int>("staff");
    QTest::addColumn<int>("reading");
    QTest::newRow("treble") << 0 << 0 << 0;
    QTest::newRow("bass") << 1 << 0 << 1;
    QTest::newRow("alto") << 2 << 0 << 2;
    QTest::newRow("grand staff, upper") << 3 << 0 << 0;
    QTest::newRow("grand staff, lower") << 3 << 1 << 1;
    QTest::newRow("a single stave has no lower staff") << 0 << 1 << -1;
    QTest::newRow("no such clef") << 4 << 0 << -1;
    QTest::newRow("no such staff") << 3 << 2 << -1;
    QTest::newRow("negative") << -1 << 0 << -1;
}

void TestNoteNames::readingClefs()
{
    QFETCH(int, clef);
    QFETCH(int, staff);
    QFETCH(int, reading);
    QCOMPARE(readingClef(clef, staff), reading);
}

QTEST_GUILESS_MAIN(TestNoteNames)
#include "tst_notenames.moc"
