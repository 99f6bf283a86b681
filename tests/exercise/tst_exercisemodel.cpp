// SPDX-License-Identifier: GPL-3.0-or-later
// Whole exercises on the model alone: no widget exists in this program, so
// every judgement below is the exercise's own, not a view's.
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/window.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <map>
#include <memory>
#include <vector>

using namespace tonvero;

namespace {

struct Mark {
    int note;
    int mark;
    int instruments;
    bool operator==(const Mark&) const = default;
};

class Recorder : public AnswerListener {
public:
    std::vector<AnswerRecord> answers;
    std::vector<ExerciseRecord> ended;
    void exerciseStarted(const ExerciseRecord&) override {}
    void answered(const AnswerRecord& a) override { answers.push_back(a); }
    void exercisePaused(const ExerciseRecord&) override {}
    void exerciseEnded(const ExerciseRecord& e) override { ended.push_back(e); }
};

} // namespace

class TestExerciseModel : public QObject {
    Q_OBJECT

    std::unique_ptr<Preferences> m_prefs;
    std::unique_ptr<Exercise> m_ex;
    Recorder m_recorder;
    std::vector<Mark> m_marks;
    std::vector<int> m_shown; // notes put on the stave; −1 an empty stave
    std::vector<int> m_sounded;
    int m_beeps = 0;
    QDateTime m_now;

    Exercise& ex() { return *m_ex; }
    Preferences& prefs() { return *m_prefs; }
    int expected() const { return m_ex->nCurNote + 21; }
    // A note of the ranges other than the expected one.
    int wrongNote() const { return expected() == 60 ? 62 : 60; }
    void setNow(const QString& hms) { m_now = QDateTime(QDate(2025, 5, 1), QTime::fromString(hms, "HH:mm:ss")); }
    void tickAt(const QString& hms)
    {
        setNow(hms);
        m_ex->timers.Fire(Exercise::ClockTimer);
    }

private slots:
    void initTestCase()
    {
        // The model must never need a widget: none may have been made.
        QVERIFY(!qobject_cast<QApplication*>(QCoreApplication::instance()));
        platform::setNowForTest([this] { return m_now; });
        platform::setMessageBoxHook([](const platform::MessageBoxCall&) {});
    }

    void init()
    {
        setNow("10:00:00");
        m_prefs = std::make_unique<Preferences>();
        prefs().nClef = 0; // treble
        prefs().setRange(0, 27, 48);
        m_ex = std::make_unique<Exercise>(prefs());
        m_ex->setRandomSource(notedraw::SeededRandom(7));
        m_recorder = Recorder{};
        m_ex->answers().addListener(&m_recorder);
        m_marks.clear();
        m_shown.clear();
        m_sounded.clear();
        m_beeps = 0;
        connect(m_ex.get(), &Exercise::marked, this,
                [this](int note, int mark, int instruments) { m_marks.push_back({note, mark, instruments}); });
        connect(m_ex.get(), &Exercise::noteShown, this, [this](int note, int, Spelling) { m_shown.push_back(note); });
        connect(m_ex.get(), &Exercise::soundOn, this, [this](int note) { m_sounded.push_back(note); });
        connect(m_ex.get(), &Exercise::wrongAnswer, this, [this] { ++m_beeps; });
    }

    void cleanup()
    {
        m_ex.reset();
        m_prefs.reset();
    }

    void trainingCountsRightAndWrongAnswers_data()
    {
        QTest::addColumn<bool>("waitTime");
        QTest::newRow("delay after a wrong answer") << true;
        QTest::newRow("wait until right") << false;
    }
    void trainingCountsRightAndWrongAnswers()
    {
        QFETCH(bool, waitTime);
        prefs().bOnWrongNoteWaitTime = waitTime;
        ex().StartStop(false);
        QVERIFY(ex().bRunning);
        QCOMPARE(m_shown.size(), std::size_t(1));

        for (int i = 0; i < 5; ++i) {
            const int note = expected();
            ex().AnswerNotePressed(note);
            QCOMPARE(m_marks.back(), (Mark{note, Exercise::Blue, Exercise::AllInstruments}));
            ex().AnswerNoteReleased(note);
        }
        QCOMPARE(ex().nNotes, 5);
        QCOMPARE(ex().nErrors, 0);
        QCOMPARE(m_sounded.size(), std::size_t(5));

        const int missed = expected();
        ex().AnswerNotePressed(wrongNote());
        QCOMPARE(ex().nErrors, 1);
        QCOMPARE(ex().bWrongPending, 1);
        QCOMPARE(m_beeps, 1);
        QCOMPARE(m_marks.back(), (Mark{missed, Exercise::Red, Exercise::AllInstruments}));
        QCOMPARE(ex().markOf(missed), int(Exercise::Red));
        QCOMPARE(ex().timers.IsActive(Exercise::WrongAnswerTimer), waitTime);
        // The delay rule counts the missed note as a note; waiting does not.
        QCOMPARE(ex().nNotes, waitTime ? 6 : 5);
        ex().AnswerNoteReleased(wrongNote());

        if (waitTime) {
            // Nothing is judged while the delay runs; then the next note comes.
            ex().AnswerNotePressed(missed);
            QCOMPARE(ex().nNotes, 6);
            ex().timers.Fire(Exercise::WrongAnswerTimer);
            QCOMPARE(ex().bWrongPending, 0);
            QCOMPARE(ex().markOf(missed), int(Exercise::None));
            QVERIFY(ex().nCurNote + 21 != missed);
        } else {
            // Another wrong answer counts again; the right one moves on.
            ex().AnswerNotePressed(wrongNote());
            QCOMPARE(ex().nErrors, 2);
            ex().AnswerNoteReleased(wrongNote());
            QCOMPARE(expected(), missed);
            ex().AnswerNotePressed(missed);
            QCOMPARE(ex().bWrongPending, 0);
            QCOMPARE(ex().nNotes, 6);
        }
        ex().StartStop(false);
        QVERIFY(!ex().bRunning);
        QCOMPARE(m_recorder.ended.size(), std::size_t(1));
        QCOMPARE(m_recorder.ended[0].notes, ex().nNotes);
        QCOMPARE(m_recorder.answers.size(), std::size_t(waitTime ? 6 : 8));
    }

    void aKeyStillMarkedIsNotPlayedAgain()
    {
        // Under the delay rule a key marked from the last answer waits for its release.
        prefs().bOnWrongNoteWaitTime = 1;
        ex().StartStop(false);
        const int first = expected();
        ex().AnswerNotePressed(first);
        const int next = expected();
        ex().AnswerNotePressed(first); // still held: not a new answer
        QCOMPARE(ex().nNotes, 1);
        QCOMPARE(ex().nErrors, 0);
        ex().AnswerNoteReleased(first);
        QCOMPARE(ex().markOf(first), int(Exercise::None));
        ex().AnswerNotePressed(next);
        QCOMPARE(ex().nNotes, 2);
    }

    void hintShowsAndSoundsWhateverIsPlayed()
    {
        prefs().bHintMode = 1;
        ex().StartStop(false);
        const int shown = expected();
        ex().AnswerNotePressed(wrongNote());
        QCOMPARE(ex().nNotes, 1);
        QCOMPARE(ex().nErrors, 0);
        QCOMPARE(m_marks.back(), (Mark{shown, Exercise::Green, Exercise::AllInstruments}));
        QCOMPARE(m_sounded.back(), shown);
        QCOMPARE(expected(), shown); // the next note waits for the release
        ex().AnswerNoteReleased(wrongNote());
        QVERIFY(expected() != shown);
        QCOMPARE(m_recorder.answers.back().mode, ExerciseMode::Hint);
        QVERIFY(!m_recorder.answers.back().right);
    }

    void examEndsOnTime_data()
    {
        QTest::addColumn<bool>("statistics");
        QTest::newRow("figures shown") << true;
        QTest::newRow("figures hidden") << false;
    }
    void examEndsOnTime()
    {
        QFETCH(bool, statistics);
        prefs().bExamMode = 1;
        prefs().nMinutes = 2;
        prefs().bShowStatistics = statistics;
        QSignalSpy summary(m_ex.get(), &Exercise::examSummary);
        ex().StartStop(false);
        QVERIFY(ex().timers.IsActive(Exercise::ClockTimer));
        tickAt("10:00:01");
        QCOMPARE(ex().clock.strTime, QStringLiteral("01:59"));
        tickAt("10:01:59");
        QVERIFY(ex().bRunning);
        tickAt("10:02:00");
        QVERIFY(!ex().bRunning);
        QCOMPARE(ex().clock.strTime, QStringLiteral("02:00"));
        QVERIFY(m_recorder.ended.back().examCompleted);
        // Hidden figures are told in a summary; shown ones need none.
        QCOMPARE(summary.size(), statistics ? 0 : 1);
        if (!statistics)
            QVERIFY(summary.first().at(0).toString().startsWith(QStringLiteral("Время\t02:00\n")));
    }

    void pauseHidesTheNoteAndResumeBringsItBack_data()
    {
        QTest::addColumn<bool>("wrongPending");
        QTest::newRow("after a right answer: a new note") << false;
        QTest::newRow("a missed note comes back as it was") << true;
    }
    void pauseHidesTheNoteAndResumeBringsItBack()
    {
        QFETCH(bool, wrongPending);
        prefs().bOnWrongNoteWaitTime = 1;
        ex().StartStop(false);
        const int note = expected();
        if (wrongPending)
            ex().AnswerNotePressed(wrongNote());
        ex().StartStop(true);
        QVERIFY(ex().bPaused);
        QCOMPARE(m_shown.back(), -1);
        QVERIFY(!ex().timers.IsActive(Exercise::WrongAnswerTimer));
        QVERIFY(!ex().timers.IsActive(Exercise::ClockTimer));
        ex().AnswerNotePressed(note); // nothing is answered during a pause
        ex().StartStop(true);
        QVERIFY(!ex().bPaused);
        QVERIFY(ex().timers.IsActive(Exercise::ClockTimer));
        if (wrongPending) {
            QCOMPARE(expected(), note);
            QCOMPARE(m_shown.back(), note);
            QCOMPARE(ex().markOf(note), int(Exercise::Red));
            QVERIFY(ex().timers.IsActive(Exercise::WrongAnswerTimer));
        } else {
            QCOMPARE(m_shown.back(), expected());
        }
    }

    void controlKeysStartPauseAndStop_data()
    {
        QTest::addColumn<bool>("control");
        QTest::addColumn<bool>("fromMidi");
        QTest::newRow("MIDI keys control") << true << true;
        QTest::newRow("control off: the keys are notes") << false << true;
        QTest::newRow("not from MIDI: the keys are notes") << true << false;
    }
    void controlKeysStartPauseAndStop()
    {
        QFETCH(bool, control);
        QFETCH(bool, fromMidi);
        prefs().bAppControlByMIDI = control;
        const bool acts = control && fromMidi;
        ex().OnNoteOn(Exercise::nStartKey, fromMidi, AnswerSource::Midi);
        QCOMPARE(ex().bRunning, acts);
        if (!acts)
            ex().StartStop(false);
        ex().OnNoteOn(Exercise::nPauseKey, fromMidi, AnswerSource::Midi);
        QCOMPARE(ex().bPaused, acts);
        QCOMPARE(ex().nErrors + ex().nNotes > 0, !acts); // otherwise an answer
        ex().OnNoteOn(Exercise::nStopKey, fromMidi, AnswerSource::Midi);
        QCOMPARE(ex().bRunning, !acts);
    }

    void missedNotesWeighTheDraw()
    {
        // A wrong answer weighs the missed note; the weights wear off with right answers.
        prefs().bOnWrongNoteWaitTime = 0;
        ex().StartStop(false);
        const int missedKey = ex().nCurNote;
        ex().AnswerNotePressed(wrongNote());
        QVERIFY(ex().anErrorWeight[0][missedKey] > 0);
        ex().AnswerNotePressed(expected());
        ex().StartStop(false);
        ex().StartStop(false);
        QCOMPARE(ex().anErrorWeight[0][missedKey], 0); // each exercise starts afresh
    }

    void practiceMemoryFavoursItsNotes()
    {
        // Remembered practice makes one note come up far more often than its share.
        constexpr int favoured = 40;
        notedraw::ExtraChanceTable chances{};
        chances[0][favoured] = notedraw::MaxExtraChances;
        int asked = -1;
        ex().setPracticeSource([&](int clef) -> std::optional<notedraw::ExtraChanceTable> {
            asked = clef;
            return chances;
        });
        ex().StartStop(false);
        QCOMPARE(asked, 0);
        int hits = 0;
        constexpr int draws = 400;
        for (int i = 0; i < draws; ++i) {
            hits += ex().nCurNote == favoured;
            const int note = expected();
            ex().AnswerNotePressed(note);
            ex().AnswerNoteReleased(note);
        }
        // 22 keys share the draw: plainly about 18 of 400.
        QVERIFY2(hits > 60, qPrintable(QString::number(hits)));
    }

    void spellingIsTheExercisesAndMatchesTheName()
    {
        // Black keys only: every note has a sharp or a flat, chosen by the exercise.
        prefs().setRange(0, 28, 28); // A♯/B♭ 1 is widened by the draw
        std::map<Spelling, int> seen;
        connect(m_ex.get(), &Exercise::noteShown, this, [&](int note, int, Spelling s) {
            if (note >= 0 && !notedraw::isWhiteByPitchClass(note - 21))
                ++seen[s];
        });
        ex().StartStop(false);
        for (int i = 0; i < 200; ++i) {
            const int note = expected();
            const bool black = !notedraw::isWhiteByPitchClass(ex().nCurNote);
            const Spelling spelling = ex().curSpelling;
            QCOMPARE(spelling == Spelling::Natural, !black);
            if (black)
                QVERIFY(ex().strNoteName.contains(spelling == Spelling::Flat ? QLatin1Char('b') : QLatin1Char('#')));
            ex().AnswerNotePressed(note);
            // The history keeps the spelling that was shown.
            QCOMPARE(m_recorder.answers.back().spelling, spelling);
            ex().AnswerNoteReleased(note);
        }
        QVERIFY(seen[Spelling::Sharp] > 20);
        QVERIFY(seen[Spelling::Flat] > 20);
        QCOMPARE(seen.count(Spelling::Natural), std::size_t(0));
    }
};

QTEST_GUILESS_MAIN(TestExerciseModel)
#include "tst_exercisemodel.moc"
