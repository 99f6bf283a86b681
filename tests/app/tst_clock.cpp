// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "exercisehelpers.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/window.h"
#include "dialogs/statisticsdlg.h"

#include <QApplication>
#include <QTimer>

using namespace tonvero;
using namespace exercisehelpers;

class TestClock : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::TempConfigHome> m_home;
    std::unique_ptr<CTonveroDlg> m_dlg;
    QList<platform::MessageBoxCall> m_boxes;
    QDateTime m_now;

    CTonveroDlg& window()
    {
        m_dlg = openWindow();
        platform::setMessageBoxHook([this](const platform::MessageBoxCall& call) { m_boxes << call; });
        return *m_dlg;
    }

    void setNow(const QString& hms) { m_now = QDateTime(QDate(2024, 3, 1), QTime::fromString(hms, "HH:mm:ss.zzz")); }

    QString shown(int id) const { return m_dlg->itemAs<QLineEdit>(id)->text(); }

    // The clock ticks at the given time of day.
    void tickAt(const QString& hms)
    {
        setNow(hms);
        m_dlg->exercise().timers.Fire(2);
    }

private slots:
    void init()
    {
        m_home = std::make_unique<testsupport::TempConfigHome>();
        m_boxes.clear();
        setNow("10:00:00.000");
        platform::setNowForTest([this] { return m_now; });
    }
    void cleanup()
    {
        m_dlg.reset();
        platform::setNowForTest({});
        platform::setMessageBoxHook({});
        m_home.reset();
    }

    void trainingClockCountsUp_data()
    {
        QTest::addColumn<QString>("at");
        QTest::addColumn<QString>("clock");
        QTest::newRow("first tick") << "10:00:00.100" << "00:00";
        QTest::newRow("part of a second is not counted") << "10:00:59.900" << "00:59";
        QTest::newRow("last minute of the hour") << "10:59:59.000" << "59:59";
        QTest::newRow("one hour") << "11:00:00.000" << "01:00:00";
        QTest::newRow("hours and minutes") << "12:34:56.000" << "02:34:56";
    }
    void trainingClockCountsUp()
    {
        QFETCH(QString, at);
        QFETCH(QString, clock);
        CTonveroDlg& d = window();
        setNow("10:00:00.400");
        d.StartStop(false);
        tickAt(at);
        QCOMPARE(d.exercise().clock.strTime, clock);
        QCOMPARE(shown(IdcTime), clock);
        QVERIFY(d.exercise().bRunning);
    }

    void startResetsOnlyWithStatistics_data()
    {
        QTest::addColumn<bool>("statistics");
        QTest::newRow("statistics on: reset, clock runs") << true;
        QTest::newRow("statistics off: counters go on, the clock runs hidden") << false;
    }
    void startResetsOnlyWithStatistics()
    {
        QFETCH(bool, statistics);
        CTonveroDlg& d = window();
        d.exercise().nNotes = 7;
        d.exercise().nErrors = 3;
        d.exercise().clock.strTime = QStringLiteral("12:34");
        d.UpdateData(false);
        d.preferences().bShowStatistics = statistics;
        d.StartStop(false);
        QCOMPARE(d.exercise().nNotes, statistics ? 0 : 7);
        QCOMPARE(d.exercise().nErrors, statistics ? 0 : 3);
        QCOMPARE(shown(IdcTime), statistics ? QStringLiteral("00:00") : QStringLiteral("12:34"));
        // The clock runs either way: an exam must end on time.
        QVERIFY(d.exercise().timers.IsActive(2));
    }

    void tickShowsCounts()
    {
        CTonveroDlg& d = window();
        d.StartStop(false);
        d.OnNoteOn(expectedNote(d), false);
        d.OnNoteOn(-1, false); // wrong, counted as a note too while waiting
        tickAt("10:00:05.000");
        QCOMPARE(shown(IdcNotes), QStringLiteral("2"));
        QCOMPARE(shown(IdcErrors), QStringLiteral("1 (50%)"));
        QCOMPARE(shown(IdcTime), QStringLiteral("00:05"));
    }

    void examEnds_data()
    {
        QTest::addColumn<bool>("statisticsAtEnd");
        QTest::newRow("statistics shown") << true;
        QTest::newRow("statistics switched off during the exam") << false;
    }
    void examEnds()
    {
        QFETCH(bool, statisticsAtEnd);
        CTonveroDlg& d = window();
        d.preferences().bExamMode = 1;
        d.preferences().nMinutes = 2;
        d.StartStop(false);

        tickAt("10:00:00.100");
        QCOMPARE(shown(IdcTime), QStringLiteral("02:00"));
        // Three notes, one of them wrong.
        d.OnNoteOn(expectedNote(d), false);
        d.OnNoteOn(-1, false);
        d.exercise().timers.Fire(1);
        d.OnNoteOn(expectedNote(d), false);
        tickAt("10:01:30.000");
        QCOMPARE(shown(IdcTime), QStringLiteral("00:30"));
        tickAt("10:01:59.999");
        QCOMPARE(shown(IdcTime), QStringLiteral("00:01"));
        QVERIFY(d.exercise().bRunning);

        d.preferences().bShowStatistics = statisticsAtEnd;
        tickAt("10:02:00.000");
        QVERIFY(!d.exercise().bRunning);
        QVERIFY(!d.exercise().timers.IsActive(1));
        QVERIFY(!d.exercise().timers.IsActive(2));
        QCOMPARE(shown(IdcTime), QStringLiteral("02:00"));
        QCOMPARE(shown(IdcNotes), QStringLiteral("3"));
        QCOMPARE(shown(IdcErrors), QStringLiteral("1 (33%)"));
        if (statisticsAtEnd) {
            QVERIFY(m_boxes.isEmpty());
            return;
        }
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, QStringLiteral("Время\t02:00\nНоты\t3\nОшибки\t1 (33%)"));
        QCOMPARE(m_boxes[0].caption, QStringLiteral("Tonvero"));
        QCOMPARE(m_boxes[0].icon, platform::MsgIcon::Exclamation);
        QVERIFY(!m_boxes[0].extraButton.isEmpty()); // the exam's note map, one click away
    }

    // The summary's second button opens the statistics of that exam alone.
    void examSummaryOpensItsNoteMap()
    {
        CTonveroDlg& d = window();
        d.preferences().bExamMode = 1;
        d.preferences().nMinutes = 1;
        d.preferences().bShowStatistics = 0;
        d.StartStop(false);
        const qint64 session = d.exercise().answers().exercise().sessionId;
        d.OnNoteOn(expectedNote(d), false);
        platform::setMessageBoxButtonAnswer(true);
        qint64 shownSession = -1;
        // The window is modal: look at it, then close it, as a user would.
        QTimer::singleShot(0, this, [&] {
            if (auto* stats = qobject_cast<StatisticsDialog*>(QApplication::activeModalWidget())) {
                shownSession = stats->sessionId();
                stats->reject();
            }
        });
        setNow("10:01:00.000");
        d.exercise().OnClockTick();
        platform::setMessageBoxButtonAnswer(false);
        QVERIFY(!d.exercise().bRunning);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(shownSession, session);
    }

    void examEndPassedDuringPauseEndsAfterResume()
    {
        CTonveroDlg& d = window();
        d.preferences().bExamMode = 1;
        d.preferences().nMinutes = 1;
        d.StartStop(false);
        d.StartStop(true);
        setNow("10:05:00.000");
        d.StartStop(true);
        QVERIFY(d.exercise().bRunning);
        d.exercise().timers.Fire(2);
        QVERIFY(!d.exercise().bRunning);
        QCOMPARE(shown(IdcTime), QStringLiteral("01:00"));
    }

    // A box the program opens during an exercise keeps the user from playing:
    // that time counts neither on the clock nor against the exam.
    void boxTimeIsNotCounted_data()
    {
        QTest::addColumn<bool>("exam");
        QTest::addColumn<QString>("clockAfter");
        QTest::newRow("training: the clock leaves the box out") << false << "00:05";
        QTest::newRow("exam: the time left keeps the box out") << true << "01:55";
    }
    void boxTimeIsNotCounted()
    {
        QFETCH(bool, exam);
        QFETCH(QString, clockAfter);
        CTonveroDlg& d = window();
        d.preferences().bExamMode = exam;
        d.preferences().nMinutes = 2;
        d.StartStop(false);
        tickAt("10:00:03.000");
        QStringList duringBox;
        // The user reads the box for 20 s; the clock ticks meanwhile.
        platform::setMessageBoxHook([&](const platform::MessageBoxCall&) {
            tickAt("10:00:13.000");
            duringBox << d.exercise().clock.strTime;
            setNow("10:00:23.000");
        });
        platform::MessageBox(&d, QStringLiteral("MIDI"), QStringLiteral("MIDI error"), platform::MsgIcon::Error);
        QCOMPARE(duringBox, QStringList{exam ? "01:57" : "00:03"}); // stands still
        tickAt("10:00:25.000");
        QCOMPARE(d.exercise().clock.strTime, clockAfter);
        QVERIFY(d.exercise().bRunning);
    }

    void examDoesNotEndWhileABoxIsOpen()
    {
        CTonveroDlg& d = window();
        d.preferences().bExamMode = 1;
        d.preferences().nMinutes = 1;
        d.StartStop(false);
        platform::setMessageBoxHook([&](const platform::MessageBoxCall&) {
            tickAt("10:01:30.000"); // past the exam's end, but the user is held
            QVERIFY(d.exercise().bRunning);
            setNow("10:01:40.000");
        });
        setNow("10:00:50.000");
        platform::MessageBox(&d, QStringLiteral("MIDI"), QStringLiteral("MIDI error"), platform::MsgIcon::Error);
        tickAt("10:01:49.000");
        QVERIFY(d.exercise().bRunning);
        QCOMPARE(d.exercise().clock.strTime, QStringLiteral("00:01"));
        tickAt("10:01:50.000"); // 60 s of exam plus the 50 s box
        QVERIFY(!d.exercise().bRunning);
        QCOMPARE(d.exercise().clock.strTime, QStringLiteral("01:00"));
    }

    void examWithoutStatisticsEndsOnTime()
    {
        CTonveroDlg& d = window();
        d.preferences().bExamMode = 1;
        d.preferences().nMinutes = 1;
        d.preferences().bShowStatistics = 0;
        setNow("12:00:00.000");
        d.StartStop(false);
        QVERIFY(d.exercise().timers.IsActive(2));
        tickAt("12:00:59.000");
        QVERIFY(d.exercise().bRunning);
        QVERIFY(m_boxes.isEmpty());
        tickAt("12:01:00.000");
        QVERIFY(!d.exercise().bRunning);
        // Its figures were hidden: the summary says the exam is over.
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY(m_boxes.first().text.startsWith(QStringLiteral("Время\t01:00\n")));
    }

    void switchingModesWhileRunning()
    {
        CTonveroDlg& d = window();
        d.StartStop(false);
        // Training switched to exam without an exam start: the end is long past.
        d.preferences().bExamMode = 1;
        tickAt("10:00:10.000");
        QVERIFY(!d.exercise().bRunning);
        QCOMPARE(shown(IdcTime), QStringLiteral("02:00"));

        // Exam switched to training: the clock shows the time since the start again.
        setNow("11:00:00.000");
        d.StartStop(false);
        d.preferences().bExamMode = 0;
        tickAt("11:00:42.000");
        QVERIFY(d.exercise().bRunning);
        QCOMPARE(shown(IdcTime), QStringLiteral("00:42"));
    }

    void statisticsItemsFollowTheSetting()
    {
        CTonveroDlg& d = window();
        for (bool show : {false, true}) {
            d.ShowStatistics(show);
            for (int id = IdcTime; id <= IdcErrorsCaption; ++id)
                QCOMPARE(d.item(id)->isVisible(), show);
        }
    }
};

QTEST_MAIN(TestClock)
#include "tst_clock.moc"
