// SPDX-License-Identifier: GPL-3.0-or-later
// The recent pieces and the selection of the current one: stored, read back,
// kept whole when two instances save, and safe against values out of range.
#include "settings/piecesettings.h"
#include "settings/preferences.h"
#include "settings/regkey.h"
#include "platform/ui/messagebox.h"
#include "support/testenv.h"

#include <QTest>
#include <memory>

using namespace tonvero;

class TestPieceSettings : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempConfigHome> m_home;

    static void writeDword(const char* name, int value)
    {
        RegKey key;
        QCOMPARE(key.create(QStringLiteral("Software\\Tonvero\\Piece")), platform::ERROR_SUCCESS);
        QVERIFY(key.writeDword(QLatin1String(name), value));
    }

private slots:
    void init()
    {
        m_home = std::make_unique<testsupport::TempConfigHome>();
        platform::setMessageBoxHook([](const platform::MessageBoxCall&) {});
    }
    void cleanup()
    {
        platform::setMessageBoxHook({});
        m_home.reset();
    }

    void recentListKeepsNewestFirst_data()
    {
        QTest::addColumn<QStringList>("opened");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("one") << QStringList{"/a"} << QStringList{"/a"};
        QTest::newRow("newest first") << QStringList{"/a", "/b", "/c"} << QStringList{"/c", "/b", "/a"};
        QTest::newRow("opened again moves to the top")
            << QStringList{"/a", "/b", "/a"} << QStringList{"/a", "/b"};
        QTest::newRow("the oldest goes beyond eight")
            << QStringList{"/1", "/2", "/3", "/4", "/5", "/6", "/7", "/8", "/9"}
            << QStringList{"/9", "/8", "/7", "/6", "/5", "/4", "/3", "/2"};
        QTest::newRow("an empty path is not a piece") << QStringList{"/a", ""} << QStringList{"/a"};
    }
    void recentListKeepsNewestFirst()
    {
        QFETCH(QStringList, opened);
        QFETCH(QStringList, expected);
        PieceSettings s;
        for (const QString& p : opened)
            s.addRecent(p);
        QCOMPARE(s.recent, expected);
        QVERIFY(s.save());
        PieceSettings read;
        QVERIFY(read.load());
        QCOMPARE(read.recent, expected);
    }

    void everyValueRoundTrips()
    {
        PieceSettings s;
        s.addRecent(QStringLiteral("/home/ученик/Пьесы/вальс.musicxml"));
        s.sPiecePath = QStringLiteral("/home/ученик/Пьесы/вальс.musicxml");
        s.nPiecePart = 2;
        s.nPieceHand = 2;
        s.nPieceFirstBar = 4;
        s.nPieceLastBar = 11;
        s.bPieceRepeat = 1;
        QVERIFY(s.save());
        PieceSettings read;
        QVERIFY(read.load());
        QCOMPARE(read, s);
    }

    void missingKeyKeepsDefaults()
    {
        PieceSettings read;
        QVERIFY(read.load());
        QCOMPARE(read, PieceSettings{});
    }

    void outOfRangeKeepsDefault_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("value");
        QTest::newRow("negative part") << QByteArray("nPiecePart") << -1;
        QTest::newRow("more parts than a piece has") << QByteArray("nPiecePart") << 64;
        QTest::newRow("a third hand") << QByteArray("nPieceHand") << 3;
        QTest::newRow("negative first bar") << QByteArray("nPieceFirstBar") << -1;
        QTest::newRow("last bar beyond the limit") << QByteArray("nPieceLastBar") << 20000;
        QTest::newRow("last bar below −1") << QByteArray("nPieceLastBar") << -2;
        QTest::newRow("repeat neither on nor off") << QByteArray("bPieceRepeat") << 2;
    }
    void outOfRangeKeepsDefault()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, value);
        writeDword(name.constData(), value);
        PieceSettings read;
        QVERIFY(read.load());
        QCOMPARE(read, PieceSettings{});
    }

    void textWhereANumberBelongsKeepsDefault()
    {
        {
            RegKey key;
            QCOMPARE(key.create(QStringLiteral("Software\\Tonvero\\Piece")), platform::ERROR_SUCCESS);
            QVERIFY(key.writeText(QStringLiteral("nPiecePart"), QStringLiteral("2")));
            QVERIFY(key.writeDword(QStringLiteral("sPiecePath"), 5));
            QVERIFY(key.writeText(QStringLiteral("sRecent0"), QStringLiteral("/a")));
            QVERIFY(key.writeText(QStringLiteral("sRecent1"), QString()));
            QVERIFY(key.writeText(QStringLiteral("sRecent2"), QStringLiteral("/a")));
            QVERIFY(key.writeText(QStringLiteral("sRecent3"), QStringLiteral("/b")));
        }
        PieceSettings read;
        QVERIFY(read.load());
        QCOMPARE(read.nPiecePart, 0);
        QVERIFY(read.sPiecePath.isEmpty());
        // Gaps and repeats are dropped.
        QCOMPARE(read.recent, (QStringList{"/a", "/b"}));
    }

    void preferencesSaveWhatThisInstanceChanged()
    {
        {
            Preferences first;
            first.load();
            QVERIFY(first.save());
        }
        Preferences a, b;
        a.load();
        b.load();
        a.piece.addRecent(QStringLiteral("/a.musicxml"));
        a.piece.sPiecePath = QStringLiteral("/a.musicxml");
        QVERIFY(a.save());
        b.piece.bPieceRepeat = 1;
        QVERIFY(b.save());
        PieceSettings read;
        QVERIFY(read.load());
        QCOMPARE(read.sPiecePath, QStringLiteral("/a.musicxml"));
        QCOMPARE(read.recent, QStringList{"/a.musicxml"});
        QCOMPARE(read.bPieceRepeat, 1);
    }

    void emptiedListStaysEmpty()
    {
        PieceSettings s;
        s.addRecent(QStringLiteral("/a"));
        QVERIFY(s.save());
        PieceSettings base = s;
        s.removeRecent(QStringLiteral("/a"));
        QVERIFY(s.save(&base));
        PieceSettings read;
        read.recent = QStringList{"/in memory"};
        QVERIFY(read.load());
        QVERIFY(read.recent.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestPieceSettings)
#include "tst_piecesettings.moc"
