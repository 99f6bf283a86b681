// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "exercisehelpers.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/window.h"

#include <QDir>
#include <QPushButton>

using namespace tonvero;
using namespace exercisehelpers;

namespace {

// The computer key of each pitch class (C = 0), bottom row white, row above black.
constexpr Qt::Key KeyOfPitchClass[12] = {Qt::Key_Z, Qt::Key_S, Qt::Key_X, Qt::Key_D, Qt::Key_C, Qt::Key_V,
                                         Qt::Key_G, Qt::Key_B, Qt::Key_H, Qt::Key_N, Qt::Key_J, Qt::Key_M};

} // namespace

// A whole exercise as a user plays it: the start button, clicks on the three
// instruments and keys, real timers, a clock that is moved on by the test.
class TestExercise : public QObject {
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
        m_dlg->resize(1000, 820);
        useInstruments(*m_dlg, true, true, true);
        useCommonTrebleRange(*m_dlg);
        return *m_dlg;
    }

    QString shown(int id) const { return m_dlg->itemAs<QLineEdit>(id)->text(); }

    template <class Ctrl>
    void click(Ctrl& ctrl, int note)
    {
        const QPoint at = pointForNote(ctrl, note);
        QVERIFY2(!at.isNull(), qPrintable(QStringLiteral("note %1 not on %2").arg(note).arg(ctrl.objectName())));
        QVERIFY(ctrl.isVisible());
        QTest::mouseClick(&ctrl, Qt::LeftButton, {}, at);
    }

    void typeKey(int pitchClass)
    {
        QWidget* focus = m_dlg->focusWidget() ? m_dlg->focusWidget() : m_dlg.get();
        QTest::keyClick(focus, KeyOfPitchClass[pitchClass]);
    }

    int currentPitchClass() const { return m_dlg->piano->GetPitchClass(m_dlg->exercise().nCurNote); }

    // A wrong answer waits for the real delay before the next note.
    void waitForNextNote()
    {
        QVERIFY(m_dlg->exercise().bWrongPending);
        QTRY_VERIFY_WITH_TIMEOUT(!m_dlg->exercise().bWrongPending, 2000);
    }

private slots:
    void init()
    {
        m_home = std::make_unique<testsupport::TempConfigHome>();
        m_boxes.clear();
        m_now = QDateTime(QDate(2024, 5, 6), QTime(9, 0, 0));
        platform::setNowForTest([this] { return m_now; });
    }
    void cleanup()
    {
        m_dlg.reset();
        platform::setNowForTest({});
        platform::setMessageBoxHook({});
        m_home.reset();
    }

    void oneMinuteExam()
    {
        CTonveroDlg& d = window();
        d.preferences().bExamMode = 1;
        d.preferences().nMinutes = 1;
        d.preferences().nTimerDelay = 100;
        d.preferences().bNoteInputFromCompKeyboard = 1;

        QTest::mouseClick(d.startButton(), Qt::LeftButton);
        QVERIFY(d.exercise().bRunning);
        QCOMPARE(d.startButton()->text(), QStringLiteral("Остановить"));
        QTRY_COMPARE(shown(IdcTime), QStringLiteral("01:00"));

        click(*d.piano, expectedNote(d));
        click(*d.guitar, expectedNote(d));
        click(*d.bass, expectedNote(d));
        typeKey(currentPitchClass());
        QCOMPARE(d.exercise().nNotes, 4);
        QCOMPARE(d.exercise().nErrors, 0);

        m_now = m_now.addSecs(20);
        QTRY_COMPARE(shown(IdcTime), QStringLiteral("00:40"));
        QCOMPARE(shown(IdcNotes), QStringLiteral("4"));
        QCOMPARE(shown(IdcErrors), QStringLiteral("0"));

        // A wrong note on the piano: red on all three, the name beside the stave.
        const int missed = expectedNote(d);
        click(*d.piano, wrongNoteNear(*d.piano, missed));
        QCOMPARE(markOf(missed), int(Red));
        QCOMPARE(d.guitar->CurrentNote(), missed);
        QCOMPARE(d.bass->CurrentNote(), missed);
        QVERIFY(!noteNameShown(d).isEmpty());
        waitForNextNote();
        QCOMPARE(markOf(missed), int(None));

        // A wrong key, then the right note on the guitar.
        typeKey((currentPitchClass() + 1) % 12);
        waitForNextNote();
        click(*d.guitar, expectedNote(d));
        QCOMPARE(d.exercise().nNotes, 7);
        QCOMPARE(d.exercise().nErrors, 2);

        m_now = m_now.addSecs(30);
        QTRY_COMPARE(shown(IdcTime), QStringLiteral("00:10"));
        QCOMPARE(shown(IdcErrors), QStringLiteral("2 (29%)"));

        // The statistics switched off near the end: the summary comes in a box.
        d.preferences().bShowStatistics = 0;
        d.ShowStatistics(false);
        m_now = m_now.addSecs(10);
        QTRY_VERIFY(!d.exercise().bRunning);
        QCOMPARE(d.startButton()->text(), QStringLiteral("Начать"));
        QCOMPARE(shown(IdcTime), QStringLiteral("01:00"));
        QCOMPARE(shown(IdcNotes), QStringLiteral("7"));
        QCOMPARE(shown(IdcErrors), QStringLiteral("2 (29%)"));
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, QStringLiteral("Время\t01:00\nНоты\t7\nОшибки\t2 (29%)"));
        QCOMPARE(m_boxes[0].caption, QStringLiteral("Tonvero"));
        QCOMPARE(m_boxes[0].icon, platform::MsgIcon::Exclamation);

        // Back to editing: the ranges on the stave, the instruments idle.
        QCOMPARE(d.stave->NoteSlot(0), d.piano->GetRangeLow(0));
        QCOMPARE(d.stave->NoteSlot(1), d.piano->GetRangeHigh(0));
        const int notes = d.exercise().nNotes;
        click(*d.piano, 60);
        QCOMPARE(d.exercise().nNotes, notes);
    }

    // The picture for the documentation: written only when a folder is given.
    void screenshotOfWrongAnswer()
    {
        const QString dir = qEnvironmentVariable("TONVERO_SHOTS_DIR");
        if (dir.isEmpty())
            QSKIP("TONVERO_SHOTS_DIR not set");
        CTonveroDlg& d = window();
        d.preferences().nTimerDelay = 60000;
        d.StartStop(false);
        for (int i = 0; i < 5; ++i)
            click(*d.piano, expectedNote(d));
        const int missed = expectedNote(d);
        const int played = wrongNoteNear(*d.piano, missed);
        QTest::mousePress(d.piano.get(), Qt::LeftButton, {}, pointForNote(*d.piano, played));
        QCOMPARE(markOf(missed), int(Red));
        QCOMPARE(markOf(played), int(Blue));
        m_now = m_now.addSecs(25);
        d.exercise().timers.Fire(2);
        QTest::qWait(50);
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(d.grab().save(QDir(dir).filePath(QStringLiteral("exercise-wrong-answer.png"))));
        QTest::mouseRelease(d.piano.get(), Qt::LeftButton, {}, pointForNote(*d.piano, played));
    }
};

QTEST_MAIN(TestExercise)
#include "tst_exercise.moc"
