// SPDX-License-Identifier: GPL-3.0-or-later
// Two instances of the program share one settings file: each keeps what the
// other changed, unless both changed the same value (the later save wins).
#include "settings/preferences.h"
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
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
