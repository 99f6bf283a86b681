// SPDX-License-Identifier: GPL-3.0-or-later
// What the window says while an exercise pauses, after an exam, and when
// notices come and go; and the guide of F1, which goes as easily as it comes.
#include "exercisehelpers.h"

#include "app/noticeline.h"
#include "dialogs/dialogoptions.h"
#include "dialogs/statisticsdlg.h"
#include "exercise/exercise.h"
#include "platform/mmsystem/midi_backend.h"
#include "platform/ui/notices.h"
#include "platform/ui/window.h"
#include "settings/preferences.h"

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QLabel>
#include <QTimer>

using namespace exercisehelpers;

class TestNotices : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempConfigHome> m_home;
    std::unique_ptr<CTonveroDlg> m_dlg;
    QDateTime m_now;

    CTonveroDlg& window()
    {
        m_dlg = openWindow();
        return *m_dlg;
    }
    QString shownNotice() const { return m_dlg->notices()->isVisible() ? m_dlg->notices()->currentText() : QString(); }

    // The controls a user reaches, and so what no notice may cover.
    std::vector<QWidget*> controls() const
    {
        std::vector<QWidget*> all{m_dlg->stave.get(), m_dlg->piano.get(), m_dlg->guitar.get(), m_dlg->bass.get()};
        for (QWidget* w : std::initializer_list<QWidget*>{m_dlg->pianoBox, m_dlg->guitarBox, m_dlg->bassBox,
                                                          m_dlg->startButton()})
            all.push_back(w);
        std::erase_if(all, [](QWidget* w) { return !w->isVisible(); });
        return all;
    }

private slots:
    void init()
    {
        m_home = std::make_unique<testsupport::TempConfigHome>();
        m_now = QDateTime(QDate(2025, 6, 2), QTime(9, 0));
        platform::setNowForTest([this] { return m_now; });
    }
    void cleanup()
    {
        m_dlg.reset();
        platform::setNowForTest({});
        m_home.reset();
    }

    void pauseIsSaidAndHidesTheName()
    {
        CTonveroDlg& d = window();
        d.preferences().bShowNoteName = 1;
        d.StartStop(false);
        QVERIFY(!d.noteNameLabel()->text().isEmpty());
        d.StartStop(true);
        QVERIFY(shownNotice().contains(QStringLiteral("F6")));
        QVERIFY(d.noteNameLabel()->text().isEmpty());
        d.StartStop(true);
        QVERIFY(shownNotice().isEmpty());
        QVERIFY(!d.noteNameLabel()->text().isEmpty());
        // Stopping while paused leaves nothing about the pause behind.
        d.StartStop(true);
        d.StartStop(false);
        QVERIFY(shownNotice().isEmpty());
    }

    void examEndIsSaidWithALinkToItsNoteMap()
    {
        CTonveroDlg& d = window();
        d.preferences().bExamMode = 1;
        d.preferences().nMinutes = 1;
        d.preferences().bShowStatistics = 1;
        d.StartStop(false);
        d.OnNoteOn(expectedNote(d), false);
        const qint64 session = d.exercise().answers().exercise().sessionId;
        m_now = m_now.addSecs(60);
        d.exercise().timers.Fire(tonvero::Exercise::ClockTimer);
        QVERIFY(!d.exercise().bRunning);
        const QString notice = shownNotice();
        QVERIFY2(notice.contains(QStringLiteral("Экзамен окончен: время 01:00, нот 1, ошибок 0.")), qPrintable(notice));
        QVERIFY(notice.contains(QStringLiteral("href=\"exam:%1\"").arg(session)));

        // Following the link opens that exam's note map.
        bool opened = false;
        QTimer::singleShot(0, this, [&] {
            if (auto* dlg = qobject_cast<StatisticsDialog*>(QApplication::activeModalWidget())) {
                opened = true;
                dlg->close();
            }
        });
        emit d.notices()->linkActivated(QStringLiteral("exam:%1").arg(session));
        QVERIFY(opened);

        // The next exercise starts with nothing said of the last one.
        d.preferences().bExamMode = 0;
        d.StartStop(false);
        QVERIFY(shownNotice().isEmpty());
    }

    void noticesOfTheExerciseEndWithIt_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("staysAfterStop");
        QTest::newRow("a keyboard unplugged") << QStringLiteral("midi-in:gone:USB Keyboard") << true;
        QTest::newRow("the history set aside") << QStringLiteral("history") << true;
    }
    void noticesOfTheExerciseEndWithIt()
    {
        QFETCH(QString, key);
        QFETCH(bool, staysAfterStop);
        CTonveroDlg& d = window();
        d.StartStop(false);
        d.noticeChannel().post(key, QStringLiteral("something to know"));
        QVERIFY(d.notices()->has(key));
        d.StartStop(false);
        QCOMPARE(d.notices()->has(key), staysAfterStop);
    }

    // What a device says during an exercise (no sound in it) ends with it; what it said before stays.
    void deviceNoticesEndWithTheirExercise_data()
    {
        QTest::addColumn<bool>("duringExercise");
        QTest::newRow("said during an exercise") << true;
        QTest::newRow("said before any exercise") << false;
    }
    void deviceNoticesEndWithTheirExercise()
    {
        QFETCH(bool, duringExercise);
        CTonveroDlg& d = window();
        if (duringExercise)
            d.StartStop(false);
        mmsys::backend::notice("Звука не будет");
        QTRY_VERIFY(d.notices()->texts().contains(QStringLiteral("Звука не будет")));
        if (!duringExercise)
            d.StartStop(false);
        d.StartStop(false);
        QCOMPARE(d.notices()->texts().contains(QStringLiteral("Звука не будет")), !duringExercise);
    }

    // A device's lasting state (no soundfont) outlives exercises and goes when the device says it is over.
    void lastingDeviceNoticeStaysUntilWithdrawn()
    {
        CTonveroDlg& d = window();
        const QString text = QStringLiteral("Звука не будет: не найден ни один пригодный файл звуков");
        d.StartStop(false);
        mmsys::backend::lastingNotice("no-soundfont", text.toStdString());
        QTRY_COMPARE(shownNotice(), text);
        d.StartStop(false);
        QCOMPARE(shownNotice(), text);
        mmsys::backend::lastingNotice("no-soundfont", text.toStdString()); // said again: still one line
        QTRY_COMPARE(d.notices()->texts().count(text), 1);
        mmsys::backend::withdrawNotice("no-soundfont");
        QTRY_VERIFY(shownNotice().isEmpty());
    }

    void noticeRowNeverCoversAControl_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("lines");
        QTest::newRow("idle, one line") << false << 1;
        QTest::newRow("idle, a long notice") << false << 12;
        QTest::newRow("in an exercise, a long notice") << true << 12;
    }
    void noticeRowNeverCoversAControl()
    {
        QFETCH(bool, running);
        QFETCH(int, lines);
        CTonveroDlg& d = window();
        useInstruments(d, true, true, true);
        if (running)
            d.StartStop(false);
        QStringList text;
        for (int i = 0; i < lines; ++i)
            text << QStringLiteral("Звука не будет: не найдено устройство вывода звука.");
        d.noticeChannel().post(QStringLiteral("device:test"), text.join(QLatin1Char(' ')));
        QCoreApplication::processEvents();
        const QRect notice = d.notices()->geometry();
        QVERIFY(d.notices()->isVisible());
        for (QWidget* w : controls()) {
            const QRect r(w->mapTo(d.client(), QPoint(0, 0)), w->size());
            QVERIFY2(!r.intersects(notice), qPrintable(w->metaObject()->className() + QStringLiteral(" ")
                                                       + w->objectName()));
        }
    }

    void guideGoesWithF1EscOrAClick_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("F1 again") << QStringLiteral("F1");
        QTest::newRow("Esc") << QStringLiteral("Esc");
        QTest::newRow("a click on it") << QStringLiteral("click");
    }
    void guideGoesWithF1EscOrAClick()
    {
        QFETCH(QString, how);
        CTonveroDlg& d = window();
        d.OnCommand(tonvero::CmdHelp);
        QVERIFY(d.bHelpShown);
        QVERIFY(d.helpOverlay()->isVisible());
        if (how == QLatin1String("F1")) {
            d.OnCommand(tonvero::CmdHelp);
        } else if (how == QLatin1String("Esc")) {
            QTest::keyClick(&d, Qt::Key_Escape);
        } else {
            // The top-left corner of the window is bare background under the guide.
            QTest::mouseClick(d.client(), Qt::LeftButton, {}, QPoint(3, 3));
        }
        QVERIFY(!d.bHelpShown);
        QVERIFY(!d.helpOverlay()->isVisible());
        QVERIFY(d.isVisible()); // Esc took the guide, not the window
        // The click took only the guide: the options stay closed.
        QVERIFY(!d.pOptions || !d.pOptions->isVisible());
    }
};

QTEST_MAIN(TestNotices)
#include "tst_notices.moc"
