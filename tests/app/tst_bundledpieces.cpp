// SPDX-License-Identifier: GPL-3.0-or-later
// The tunes installed with the program read as written: every bar full on
// every staff (a pickup only at the start), and the notes meant.
#include "app/pieceopener.h"
#include "piece/piecefile.h"
#include "support/testenv.h"

#include <QDir>
#include <QTest>

#include <map>

using namespace tonvero;
using piece::Fraction;

class TestBundledPieces : public QObject {
    Q_OBJECT
private slots:
    void everyListedTuneIsInstalledAndNoOther()
    {
        const QDir dir(testsupport::sourceDir() + QStringLiteral("/res/pieces"));
        QStringList listed;
        for (const BundledPiece& p : bundledPieces())
            listed << QLatin1String(p.file);
        listed.sort();
        QCOMPARE(dir.entryList({QStringLiteral("*.musicxml")}, QDir::Files, QDir::Name), listed);
    }

    void readsAsWritten_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("staves");
        QTest::addColumn<int>("bars");
        QTest::addColumn<bool>("pickup");
        QTest::addColumn<int>("notes");
        QTest::addColumn<int>("fifths");
        QTest::addColumn<QList<int>>("opening"); // MIDI numbers of the upper staff's first notes
        QTest::addColumn<QList<int>>("lower");   // of the lower staff's
        QTest::newRow("twinkle") << "twinkle.musicxml" << 1 << 12 << false << 42 << 0
                                 << QList<int>{60, 60, 67, 67, 69, 69, 67, 65, 65, 64, 64, 62, 62, 60} << QList<int>{};
        QTest::newRow("frere jacques") << "frere-jacques.musicxml" << 1 << 8 << false << 32 << 0
                                       << QList<int>{60, 62, 64, 60, 60, 62, 64, 60, 64, 65, 67, 64, 65, 67, 67, 69,
                                                     67, 65, 64, 60}
                                       << QList<int>{};
        QTest::newRow("vo pole beryoza") << "vo-pole-beryoza.musicxml" << 1 << 8 << false << 25 << -1
                                         << QList<int>{69, 69, 69, 69, 67, 65, 64, 64, 62, 62, 69, 69, 72, 70}
                                         << QList<int>{};
        QTest::newRow("ode to joy") << "ode-to-joy.musicxml" << 1 << 8 << false << 30 << 0
                                    << QList<int>{64, 64, 65, 67, 67, 65, 64, 62, 60, 60, 62, 64, 64, 62, 62}
                                    << QList<int>{};
        QTest::newRow("greensleeves") << "greensleeves.musicxml" << 1 << 9 << true << 37 << 0
                                      << QList<int>{69, 72, 74, 76, 77, 76, 74, 71, 67, 69, 71, 72, 69, 69, 68, 69}
                                      << QList<int>{};
        QTest::newRow("au clair de la lune, two hands")
            << "au-clair-de-la-lune.musicxml" << 2 << 8 << false << 36 << 0
            << QList<int>{72, 72, 72, 74, 76, 74, 72, 76, 74, 74, 72} << QList<int>{48, 52, 55, 43, 48, 43, 48};
    }
    void readsAsWritten()
    {
        QFETCH(QString, file);
        QFETCH(int, staves);
        QFETCH(int, bars);
        QFETCH(bool, pickup);
        QFETCH(int, notes);
        QFETCH(int, fifths);
        QFETCH(QList<int>, opening);
        QFETCH(QList<int>, lower);
        const piece::PieceFile read =
            piece::readPieceFile(testsupport::sourceDir() + QStringLiteral("/res/pieces/") + file);
        QVERIFY2(read.ok(), qPrintable(read.error));
        const piece::Piece& p = read.piece;
        QVERIFY(!p.title.isEmpty());
        QCOMPARE(int(p.parts.size()), 1);
        QCOMPARE(p.parts[0].staves, staves);
        QCOMPARE(int(p.bars.size()), bars);
        QCOMPARE(int(p.notes.size()), notes);
        QVERIFY(!p.parts[0].keys.empty());
        QCOMPARE(p.parts[0].keys.front().fifths(), fifths);

        // Every staff's notes fill every bar: no wrong length hides in a tune.
        std::map<std::pair<int, int>, Fraction> filled; // (bar, staff)
        for (const piece::Note& n : p.notes) {
            QCOMPARE(n.bar >= 0 && n.bar < bars, true);
            filled[std::make_pair(n.bar, n.staff)] += n.duration;
            QVERIFY(n.onset + n.duration <= p.bars[std::size_t(n.bar)].start + p.bars[std::size_t(n.bar)].length);
        }
        for (int b = 0; b < bars; ++b) {
            const piece::Bar& bar = p.bars[std::size_t(b)];
            const bool isPickup = pickup && b == 0;
            QVERIFY2((bar.length == bar.time.barLength()) != isPickup, qPrintable(QStringLiteral("bar %1").arg(b + 1)));
            for (int s = 0; s < staves; ++s) {
                const std::pair<int, int> at(b, s);
                QVERIFY2(filled[at] == bar.length, qPrintable(QStringLiteral("bar %1, staff %2").arg(b + 1).arg(s + 1)));
            }
        }

        QList<int> upper, bass;
        for (const piece::Note& n : p.notes)
            (n.staff == 0 ? upper : bass) << n.midi;
        QCOMPARE(upper.mid(0, opening.size()), opening);
        QCOMPARE(bass.mid(0, lower.size()), lower);
    }
};

QTEST_GUILESS_MAIN(TestBundledPieces)
#include "tst_bundledpieces.moc"
