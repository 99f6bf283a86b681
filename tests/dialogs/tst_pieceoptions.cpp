// SPDX-License-Identifier: GPL-3.0-or-later
// The piece dialog: its parts by name or number, the hand only for a part of
// two staves, the bars within the piece, and the selection it gives back.
#include "dialogs/pieceoptions.h"

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

using namespace tonvero;
using piece::PieceSelection;

namespace {

// A piece of `bars` 4/4 bars: a melody of one staff, an unnamed piano part of two.
piece::Piece makePiece(int bars)
{
    piece::Piece p;
    p.title = QStringLiteral("Этюд");
    piece::Part melody;
    melody.name = QStringLiteral("Флейта");
    piece::Part piano;
    piano.staves = 2;
    p.parts = {melody, piano};
    for (int b = 0; b < bars; ++b)
        p.bars.push_back({piece::Fraction(4 * b), piece::Fraction(4), {}});
    return p;
}

} // namespace

class TestPieceOptions : public QObject {
    Q_OBJECT
private slots:
    void showsTitleAndParts()
    {
        const piece::Piece p = makePiece(8);
        dialogs::PieceOptions d(p, p.title, {});
        QCOMPARE(d.titleLabel()->text(), QStringLiteral("Этюд"));
        QCOMPARE(d.partList()->count(), 2);
        QCOMPARE(d.partList()->item(0)->text(), QStringLiteral("Флейта"));
        QCOMPARE(d.partList()->item(1)->text(), QStringLiteral("Часть 2"));
        QCOMPARE(d.partList()->currentRow(), 0);
    }

    void handOnlyForTwoStaves_data()
    {
        QTest::addColumn<int>("part");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("melody of one staff") << 0 << false;
        QTest::newRow("piano of two staves") << 1 << true;
    }
    void handOnlyForTwoStaves()
    {
        QFETCH(int, part);
        QFETCH(bool, enabled);
        const piece::Piece p = makePiece(8);
        dialogs::PieceOptions d(p, p.title, {});
        d.partList()->setCurrentRow(part);
        for (int hand : {PieceSelection::Both, PieceSelection::Right, PieceSelection::Left})
            QCOMPARE(d.handButton(hand)->isEnabled(), enabled);
        // Chosen from the list, not only given at the start.
        d.partList()->setCurrentRow(1 - part);
        QCOMPARE(d.handButton(PieceSelection::Left)->isEnabled(), !enabled);
    }

    void barsWithinThePiece_data()
    {
        QTest::addColumn<int>("bars");
        QTest::addColumn<int>("firstBar"); // as given, 0-based
        QTest::addColumn<int>("lastBar");
        QTest::addColumn<int>("shownFirst"); // 1-based
        QTest::addColumn<int>("shownLast");
        QTest::newRow("to the end") << 12 << 0 << -1 << 1 << 12;
        QTest::newRow("a middle range") << 12 << 3 << 6 << 4 << 7;
        QTest::newRow("beyond the piece") << 5 << 9 << 30 << 5 << 5;
        QTest::newRow("turned round") << 12 << 6 << 2 << 7 << 7;
        QTest::newRow("negative first bar") << 12 << -4 << 1 << 1 << 2;
        QTest::newRow("a piece of one bar") << 1 << 0 << -1 << 1 << 1;
    }
    void barsWithinThePiece()
    {
        QFETCH(int, bars);
        QFETCH(int, firstBar);
        QFETCH(int, lastBar);
        QFETCH(int, shownFirst);
        QFETCH(int, shownLast);
        const piece::Piece p = makePiece(bars);
        PieceSelection s;
        s.firstBar = firstBar;
        s.lastBar = lastBar;
        dialogs::PieceOptions d(p, p.title, s);
        QCOMPARE(d.firstBarBox()->minimum(), 1);
        QCOMPARE(d.firstBarBox()->maximum(), bars);
        QCOMPARE(d.lastBarBox()->maximum(), bars);
        QCOMPARE(d.firstBarBox()->value(), shownFirst);
        QCOMPARE(d.lastBarBox()->value(), shownLast);
    }

    void rangeNeverTurnsRound()
    {
        const piece::Piece p = makePiece(12);
        dialogs::PieceOptions d(p, p.title, {});
        d.lastBarBox()->setValue(4);
        d.firstBarBox()->setValue(9);
        QCOMPARE(d.lastBarBox()->value(), 9);
        d.lastBarBox()->setValue(2);
        QCOMPARE(d.firstBarBox()->value(), 2);
    }

    void selectionComesBack_data()
    {
        QTest::addColumn<int>("part");
        QTest::addColumn<int>("hand");
        QTest::addColumn<int>("firstBar");
        QTest::addColumn<int>("lastBar");
        QTest::addColumn<bool>("repeat");
        QTest::newRow("whole melody") << 0 << int(PieceSelection::Both) << 0 << -1 << false;
        QTest::newRow("left hand, bars 3–5, repeated") << 1 << int(PieceSelection::Left) << 2 << 4 << true;
        QTest::newRow("right hand from bar 6 to the end") << 1 << int(PieceSelection::Right) << 5 << -1 << false;
    }
    void selectionComesBack()
    {
        QFETCH(int, part);
        QFETCH(int, hand);
        QFETCH(int, firstBar);
        QFETCH(int, lastBar);
        QFETCH(bool, repeat);
        const piece::Piece p = makePiece(10);
        const PieceSelection given{part, hand, firstBar, lastBar, repeat};
        dialogs::PieceOptions d(p, p.title, given);
        QCOMPARE(d.repeatBox()->isChecked(), repeat);
        QCOMPARE(d.selection(), given);
    }

    void editsMakeTheSelection()
    {
        const piece::Piece p = makePiece(10);
        dialogs::PieceOptions d(p, p.title, {});
        d.partList()->setCurrentRow(1);
        d.handButton(PieceSelection::Right)->click();
        d.firstBarBox()->setValue(2);
        d.lastBarBox()->setValue(10); // the last bar: "to the end"
        d.repeatBox()->setChecked(true);
        QCOMPARE(d.selection(), (PieceSelection{1, PieceSelection::Right, 1, -1, true}));
    }

    void partOutOfRangeTakesTheFirst()
    {
        const piece::Piece p = makePiece(4);
        dialogs::PieceOptions d(p, p.title, PieceSelection{7, 9, 0, -1, false});
        QCOMPARE(d.partList()->currentRow(), 0);
        QCOMPARE(d.selection().part, 0);
        QCOMPARE(d.selection().hand, int(PieceSelection::Both));
    }
};

QTEST_MAIN(TestPieceOptions)
#include "tst_pieceoptions.moc"
