// SPDX-License-Identifier: GPL-3.0-or-later
// Two instances of the program share one settings file: each keeps what the
// other changed, unless both changed the same value (the later save wins).
#include "settings/preferences.h"
#include "settings/regkey.h"
#include "platform/ui/messagebox.h"
#include "support/testenv.h"

#include <QTest>
#include <memory>

using namespace tonvero;

class TestPreferences : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempConfigHome> m_home;

    static TonveroSettings onFile()
    {
        TonveroSettings s;
        QString dir;
        loadSettings(s, dir, {}, NewKeys::Write);
        return s;
    }

private slots:
    void init()
    {
        m_home = std::make_unique<testsupport::TempConfigHome>();
        platform::setMessageBoxHook([](const platform::MessageBoxCall&) {});
        // A first save makes the file both instances start from.
        Preferences first;
        first.load();
        QVERIFY(first.save());
    }
    void cleanup()
    {
        platform::setMessageBoxHook({});
        m_home.reset();
    }

    void bothInstancesChangesSurvive_data()
    {
        QTest::addColumn<int>("bMinutes");
        QTest::newRow("each changed other values") << -1;
        QTest::newRow("both changed the exam length: the later save wins") << 5;
    }
    void bothInstancesChangesSurvive()
    {
        QFETCH(int, bMinutes);
        Preferences a, b;
        a.load();
        b.load();
        b.bBeep = 0;
        b.strOutDevName = QStringLiteral("FLUID Synth:Synth input port");
        if (bMinutes >= 0)
            b.nMinutes = bMinutes;
        QVERIFY(b.save());
        a.nMinutes = 7;
        QVERIFY(a.save());
        const TonveroSettings saved = onFile();
        QCOMPARE(saved.nMinutes, 7);
        QCOMPARE(saved.bBeep, 0);
        QCOMPARE(saved.strOutDevName, QStringLiteral("FLUID Synth:Synth input port"));

        // Saving again keeps b's changes too: a did not take them for its own.
        a.nTimerDelay = 3000;
        QVERIFY(a.save());
        QCOMPARE(onFile().bBeep, 0);
        QCOMPARE(onFile().nTimerDelay, 3000);
        QCOMPARE(onFile().strOutDevName, QStringLiteral("FLUID Synth:Synth input port"));
    }

    void aChangeBackAndForthIsAChange()
    {
        // a changes a value and saves, then changes it back: the second save writes it back.
        Preferences a, b;
        a.load();
        b.load();
        a.nPatch = 24;
        QVERIFY(a.save());
        a.nPatch = 0;
        QVERIFY(a.save());
        QCOMPARE(onFile().nPatch, std::uint8_t(0));
        b.nMinutes = 9;
        QVERIFY(b.save());
        QCOMPARE(onFile().nPatch, std::uint8_t(0));
        QCOMPARE(onFile().nMinutes, 9);
    }

    void linesOfMusicAreKeptApartAndMerged()
    {
        Preferences a, b;
        a.load();
        b.load();
        QCOMPARE(a.phrase, PhraseSettings{});
        a.phrase.nExerciseKind = PhraseSettings::Phrase;
        a.phrase.nPhraseKeys = 1 << PhraseSettings::keyBit(-2, false);
        QVERIFY(a.save());
        b.phrase.nPhraseBars = 4;
        QVERIFY(b.save());
        PhraseSettings read;
        QVERIFY(read.load());
        QCOMPARE(read.nExerciseKind, int(PhraseSettings::Phrase));
        QCOMPARE(read.nPhraseKeys, 1 << PhraseSettings::keyBit(-2, false));
        QCOMPARE(read.nPhraseBars, 4);
        // The single note's settings are untouched by the new key.
        QCOMPARE(onFile(), TonveroSettings{});
    }

    void linesOfMusicOutOfRangeKeepTheirDefaults_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("value");
        QTest::newRow("five bars") << "nPhraseBars" << 5;
        QTest::newRow("no bar") << "nPhraseBars" << 0;
        QTest::newRow("unknown meter") << "nPhraseTime" << 9;
        QTest::newRow("no key at all") << "nPhraseKeys" << 0;
        QTest::newRow("only keys that do not exist") << "nPhraseKeys" << (1 << 30);
        QTest::newRow("a fourth level") << "nPhraseLevel" << 3;
        QTest::newRow("chords of five") << "nPhraseChordNotes" << 5;
        QTest::newRow("negative kind") << "nExerciseKind" << -1;
    }
    void linesOfMusicOutOfRangeKeepTheirDefaults()
    {
        QFETCH(QString, name);
        QFETCH(int, value);
        {
            RegKey key;
            QCOMPARE(key.create(QStringLiteral("Software\\Tonvero\\Phrase")), platform::ERROR_SUCCESS);
            QVERIFY(key.writeDword(name, value));
        }
        PhraseSettings read;
        QVERIFY(read.load());
        QCOMPARE(read, PhraseSettings{});
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
