// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "midi/midirouter.h"
#include "exercisehelpers.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/window.h"

#include <QKeyEvent>
#include <QPushButton>

using namespace tonvero;
using namespace exercisehelpers;

namespace {

// What the engine hands whoever listens, kept in order.
class RecordingListener : public AnswerListener {
public:
    QStringList events;
    std::vector<AnswerRecord> answers;
    std::vector<ExerciseRecord> started, ended;

    void exerciseStarted(const ExerciseRecord& e) override
    {
        started.push_back(e);
        events << QStringLiteral("start");
    }
    void answered(const AnswerRecord& a) override
    {
        answers.push_back(a);
        events << QStringLiteral("answer");
    }
    void exercisePaused(const ExerciseRecord&) override { events << QStringLiteral("pause"); }
    void exerciseEnded(const ExerciseRecord& e) override
    {
        ended.push_back(e);
        events << QStringLiteral("end");
    }
};

} // namespace

// The answer records of scripted exercises: every input source, right and
// wrong, the response clock without pauses and message boxes.
class TestAnswerFeed : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::TempConfigHome> m_home;
    std::unique_ptr<CTonveroDlg> m_dlg;
    RecordingListener m_listener;
    QDateTime m_now;

    CTonveroDlg& window()
    {
        m_dlg = openWindow();
        platform::setMessageBoxHook({});
        m_dlg->resize(1000, 820);
        useInstruments(*m_dlg, true, true, true);
        useCommonTrebleRange(*m_dlg);
        m_dlg->exercise().answers().addListener(&m_listener);
        return *m_dlg;
    }

    void after(int ms) { m_now = m_now.addMSecs(ms); }

    template <class Ctrl>
    void press(Ctrl& ctrl, int note)
    {
        const QPoint at = pointForNote(ctrl, note);
        QVERIFY(!at.isNull());
        QTest::mousePress(&ctrl, Qt::LeftButton, {}, at);
        QTest::mouseRelease(&ctrl, Qt::LeftButton, {}, at);
    }

private slots:
    void init()
    {
        m_home = std::make_unique<testsupport::TempConfigHome>();
        m_listener = RecordingListener{};
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

    void eachSourceIsNamed_data()
    {
        QTest::addColumn<int>("source");
        QTest::newRow("piano") << int(AnswerSource::Piano);
        QTest::newRow("guitar") << int(AnswerSource::Guitar);
        QTest::newRow("bass") << int(AnswerSource::Bass);
        QTest::newRow("computer keyboard") << int(AnswerSource::ComputerKeyboard);
        QTest::newRow("MIDI") << int(AnswerSource::Midi);
    }
    void eachSourceIsNamed()
    {
        QFETCH(int, source);
        CTonveroDlg& d = window();
        d.preferences().bNoteInputFromCompKeyboard = 1;
        d.StartStop(false);
        const int expected = expectedNote(d);
        after(1500);
        switch (AnswerSource(source)) {
        case AnswerSource::Piano: press(*d.piano, expected); break;
        case AnswerSource::Guitar: press(*d.guitar, expected); break;
        case AnswerSource::Bass: press(*d.bass, expected); break;
        case AnswerSource::ComputerKeyboard: {
            static constexpr Qt::Key keys[12] = {Qt::Key_Z, Qt::Key_S, Qt::Key_X, Qt::Key_D, Qt::Key_C, Qt::Key_V,
                                                 Qt::Key_G, Qt::Key_B, Qt::Key_H, Qt::Key_N, Qt::Key_J, Qt::Key_M};
            QTest::keyClick(static_cast<QWidget*>(d.startButton()), keys[d.piano->GetPitchClass(d.exercise().nCurNote)]);
            break;
        }
        case AnswerSource::Midi:
            d.midi().HandleShortMsg(0x90u | unsigned(expected) << 8 | 100u << 16);
            d.midi().HandleShortMsg(0x80u | unsigned(expected) << 8);
            break;
        default: QFAIL("no such source");
        }
        QCOMPARE(int(m_listener.answers.size()), 1);
        const AnswerRecord& a = m_listener.answers.front();
        QCOMPARE(int(a.source), source);
        QVERIFY(a.right);
        QCOMPARE(a.shownNote, expected);
        QCOMPARE(a.playedNote, expected);
        QCOMPARE(a.responseMs, 1500);
        QCOMPARE(a.sessionId, m_listener.started.front().sessionId);
        QCOMPARE(a.clef, int(CStaveCtrl::Treble));
        QCOMPARE(a.staff, 0);
        QCOMPARE(a.timeMs, m_now.toMSecsSinceEpoch());
    }

    void rightWrongAndSpelling()
    {
        CTonveroDlg& d = window();
        d.preferences().bOnWrongNoteWaitTime = 0;
        d.StartStop(false);
        const int expected = expectedNote(d);
        const int wrong = wrongNoteNear(*d.piano, expected);
        after(700);
        d.OnNoteOn(wrong, false);
        d.OnNoteOff(wrong);
        after(300);
        d.OnNoteOn(expected, false);
        QCOMPARE(int(m_listener.answers.size()), 2);
        const AnswerRecord& miss = m_listener.answers[0];
        QVERIFY(!miss.right);
        QCOMPARE(miss.playedNote, wrong);
        QCOMPARE(miss.responseMs, 700);
        const AnswerRecord& hit = m_listener.answers[1];
        QVERIFY(hit.right);
        // The same note is still being read: its clock did not restart at the miss.
        QCOMPARE(hit.responseMs, 1000);
        const bool black = !CInstrumentCtrl::KeyTable[CInstrumentCtrl::KeyIndexFromNote(expected)].isWhite;
        QCOMPARE(hit.spelling == Spelling::Natural, !black);
        QCOMPARE(hit.mode, ExerciseMode::Training);
    }

    void pausesAndBoxesAreNotResponseTime()
    {
        CTonveroDlg& d = window();
        d.StartStop(false);
        const int expected = expectedNote(d);
        after(400);
        d.StartStop(true);
        after(60000); // a minute's pause
        d.StartStop(true);
        // The pause drew a new note: its clock starts at the resume.
        QCOMPARE(m_listener.events, QStringList({"start", "pause"}));
        const int shown = expectedNote(d);
        QVERIFY(shown != expected);
        after(200);
        // A box that keeps the user 5 s: the hook stands for the user reading it.
        platform::setMessageBoxHook([this](const platform::MessageBoxCall&) { after(5000); });
        platform::MessageBox(&d, QStringLiteral("x"), QStringLiteral("y"), platform::MsgIcon::Error);
        platform::setMessageBoxHook({});
        after(300);
        d.OnNoteOn(shown, false);
        QCOMPARE(int(m_listener.answers.size()), 1);
        QCOMPARE(m_listener.answers.front().responseMs, 500);
    }

    void answersWhilePausedLeaveThePauseOut()
    {
        CTonveroDlg& d = window();
        d.StartStop(false);
        const int expected = expectedNote(d);
        after(250);
        d.StartStop(true);
        after(4000);
        d.OnNoteOn(expected, false); // the engine still judges while paused
        QCOMPARE(int(m_listener.answers.size()), 1);
        QCOMPARE(m_listener.answers.front().responseMs, 250);
    }

    void exerciseRecord_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("ranOut");
        QTest::newRow("training stopped") << int(ExerciseMode::Training) << false;
        QTest::newRow("hint stopped") << int(ExerciseMode::Hint) << false;
        QTest::newRow("exam stopped by hand") << int(ExerciseMode::Exam) << false;
        QTest::newRow("exam ran out") << int(ExerciseMode::Exam) << true;
    }
    void exerciseRecord()
    {
        QFETCH(int, mode);
        QFETCH(bool, ranOut);
        CTonveroDlg& d = window();
        d.preferences().bHintMode = mode == int(ExerciseMode::Hint);
        d.preferences().bExamMode = mode == int(ExerciseMode::Exam);
        d.preferences().nMinutes = 3;
        const qint64 start = m_now.toMSecsSinceEpoch();
        d.StartStop(false);
        const int expected = expectedNote(d);
        after(1000);
        d.OnNoteOn(expected, false);
        d.OnNoteOff(expected);
        if (ranOut) {
            after(3 * 60 * 1000);
            d.exercise().timers.Fire(2);
        } else {
            after(2000);
            d.StartStop(false);
        }
        QVERIFY(!d.exercise().bRunning);
        QCOMPARE(m_listener.events, QStringList({"start", "answer", "end"}));
        const ExerciseRecord& e = m_listener.ended.front();
        QCOMPARE(int(e.mode), mode);
        QCOMPARE(e.startMs, start);
        QCOMPARE(e.endMs, m_now.toMSecsSinceEpoch());
        QCOMPARE(e.examMinutes, mode == int(ExerciseMode::Exam) ? 3 : 0);
        QCOMPARE(e.notes, 1);
        QCOMPARE(e.errors, 0);
        QCOMPARE(e.examCompleted, ranOut);
        QCOMPARE(m_listener.answers.front().mode, ExerciseMode(mode));
    }

    void eachExerciseIsItsOwnSession()
    {
        CTonveroDlg& d = window();
        d.StartStop(false);
        d.StartStop(false);
        d.StartStop(false); // same millisecond as the first
        d.StartStop(false);
        QCOMPARE(int(m_listener.started.size()), 2);
        QVERIFY(m_listener.started[0].sessionId != m_listener.started[1].sessionId);
    }

    void ignoredPressesAreNoAnswers()
    {
        CTonveroDlg& d = window();
        d.OnNoteOn(60, false); // idle
        d.StartStop(false);
        const int expected = expectedNote(d);
        const int wrong = wrongNoteNear(*d.piano, expected);
        d.OnNoteOn(wrong, false); // wrong: a delay follows
        d.OnNoteOn(expected, false); // ignored while the delay runs
        QCOMPARE(int(m_listener.answers.size()), 1);
    }
};

QTEST_MAIN(TestAnswerFeed)
#include "tst_answerfeed.moc"
