// SPDX-License-Identifier: GPL-3.0-or-later
// Lines of music played through the exercise model alone: the cursor, chords
// from each input, the wrong-answer rule, pauses, hint mode and the records.
#include "exercise/exercise.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/window.h"
#include "settings/preferences.h"
#include "support/answerrecorder.h"

#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <memory>
#include <vector>

using namespace tonvero;

namespace {

using Recorder = AnswerRecorder;

} // namespace

class TestPhraseExercise : public QObject {
    Q_OBJECT

    std::unique_ptr<Preferences> m_prefs;
    std::unique_ptr<Exercise> m_ex;
    Recorder m_recorder;
    qint64 m_ms = 1000;
    int m_linesShown = 0;
    int m_hidden = 0;
    std::vector<int> m_cursors;
    int m_beeps = 0;

    Exercise& ex() { return *m_ex; }
    Preferences& prefs() { return *m_prefs; }
    const PhraseTask& task() { return m_ex->phraseTask(); }
    std::vector<int> notes() { return task().expected(); }
    // A note of the keyboard that is not in the current event.
    int wrongNote()
    {
        const std::vector<int> n = notes();
        int w = n.front() + 1;
        while (std::find(n.begin(), n.end(), w) != n.end())
            ++w;
        return w;
    }
    void play(const std::vector<int>& keys, AnswerSource source, qint64 gapMs = 10)
    {
        for (int k : keys) {
            ex().AnswerNotePressed(k, source);
            m_ms += gapMs;
        }
        for (int k : keys)
            ex().AnswerNoteReleased(k);
    }
    // Plays right answers until the cursor stands on an event of at least that many notes.
    bool seekChord(std::size_t size)
    {
        for (int i = 0; i < 400; ++i) {
            if (notes().size() >= size)
                return true;
            play(notes(), AnswerSource::Piano);
        }
        return false;
    }

private slots:
    void initTestCase()
    {
        platform::setMessageBoxHook([](const platform::MessageBoxCall&) {});
    }

    void init()
    {
        m_prefs = std::make_unique<Preferences>();
        prefs().nClef = 0;
        prefs().setRange(0, 27, 55);
        prefs().setRange(1, 8, 39);
        prefs().phrase.nExerciseKind = PhraseSettings::Phrase;
        prefs().bOnWrongNoteWaitTime = 0;
        m_ex = std::make_unique<Exercise>(prefs());
        m_ex->setRandomSource(notedraw::SeededRandom(11));
        m_ex->setClock([this] { return m_ms; });
        m_recorder = Recorder{};
        m_ex->answers().addListener(&m_recorder);
        m_linesShown = 0;
        m_hidden = 0;
        m_cursors.clear();
        m_beeps = 0;
        connect(m_ex.get(), &Exercise::phraseShown, this, [this] { ++m_linesShown; });
        connect(m_ex.get(), &Exercise::phraseHidden, this, [this] { ++m_hidden; });
        connect(m_ex.get(), &Exercise::phraseCursorMoved, this, [this](int e) { m_cursors.push_back(e); });
        connect(m_ex.get(), &Exercise::wrongAnswer, this, [this] { ++m_beeps; });
    }

    void cleanup()
    {
        m_ex.reset();
        m_prefs.reset();
    }

    void singleNoteStaysTheDefault()
    {
        Preferences fresh;
        QCOMPARE(fresh.phrase.nExerciseKind, int(PhraseSettings::SingleNote));
        Exercise single(fresh);
        QSignalSpy lines(&single, &Exercise::phraseShown);
        QSignalSpy note(&single, &Exercise::noteShown);
        single.StartStop(false);
        QCOMPARE(lines.count(), 0);
        QCOMPARE(note.count(), 1);
        QVERIFY(!single.phraseRunning());
        single.StartStop(false);
    }

    void linesArePlayedThroughOnEveryStaff_data()
    {
        QTest::addColumn<int>("clef");
        QTest::addColumn<int>("chordNotes");
        QTest::addColumn<int>("meter");
        QTest::newRow("treble, single notes, 4/4") << 0 << 1 << 2;
        QTest::newRow("bass, single notes, 3/4") << 1 << 1 << 1;
        QTest::newRow("alto, intervals, 2/4") << 2 << 2 << 0;
        QTest::newRow("grand staff, chords of 3, 6/8") << 3 << 3 << 3;
        QTest::newRow("grand staff, chords of 4, 4/4") << 3 << 4 << 2;
    }
    void linesArePlayedThroughOnEveryStaff()
    {
        QFETCH(int, clef);
        QFETCH(int, chordNotes);
        QFETCH(int, meter);
        prefs().nClef = clef;
        prefs().phrase.nPhraseChordNotes = chordNotes;
        prefs().phrase.nPhraseTime = meter;
        prefs().phrase.nPhraseLevel = 1;
        ex().StartStop(false);
        QVERIFY(ex().phraseRunning());
        QCOMPARE(m_linesShown, 1);
        QCOMPARE(m_recorder.started.back().kind, ExerciseKind::Phrase);

        // Two whole lines: the second follows the first at once.
        int answered = 0;
        int chords = 0;
        std::vector<int> positions;
        while (m_linesShown < 3) {
            std::vector<int> n = notes();
            QVERIFY(!n.empty());
            if (n.size() > 1)
                ++chords;
            positions.push_back(task().cursor());
            // Note by note on the screen, highest first: any order will do.
            std::reverse(n.begin(), n.end());
            play(n, AnswerSource::Piano, 500);
            ++answered;
            QVERIFY(answered < 200);
        }
        QCOMPARE(ex().nNotes, answered);
        QCOMPARE(ex().nErrors, 0);
        QCOMPARE(m_beeps, 0);
        if (chordNotes > 1)
            QVERIFY2(chords > 0, "a line with chords asked for has none");
        // Records: one per note, each with the line's key, its place and its chord.
        QVERIFY(!m_recorder.answers.empty());
        for (const AnswerRecord& r : m_recorder.answers) {
            QCOMPARE(r.kind, ExerciseKind::Phrase);
            QVERIFY(r.right);
            QVERIFY(r.linePosition >= 0);
            QVERIFY(r.bar >= 0 && r.bar < prefs().phrase.nPhraseBars);
            QVERIFY(r.chordNotes >= 1 && r.chordNotes <= chordNotes);
            QCOMPARE(r.shownNote, r.playedNote);
            QCOMPARE(r.clef, clef);
        }
        // The cursor only moves forward within a line, and starts again at a line's start.
        QVERIFY(std::is_sorted(positions.begin(), positions.begin() + 2));
        ex().StartStop(false);
        QCOMPARE(m_hidden, 1);
    }

    void midiChordNeedsItsNotesTogether_data()
    {
        QTest::addColumn<int>("gapMs");
        QTest::addColumn<bool>("timerEnds");
        QTest::addColumn<int>("errors");
        QTest::newRow("all within the window") << 40 << false << 0;
        QTest::newRow("just within, in 140 ms") << 70 << false << 0;
        QTest::newRow("the last note 200 ms late") << 200 << false << 1;
        QTest::newRow("the window runs out after one note") << 0 << true << 1;
    }
    void midiChordNeedsItsNotesTogether()
    {
        QFETCH(int, gapMs);
        QFETCH(bool, timerEnds);
        QFETCH(int, errors);
        prefs().nClef = 3;
        prefs().phrase.nPhraseChordNotes = 3;
        prefs().phrase.nPhraseLevel = 1;
        ex().StartStop(false);
        QVERIFY(seekChord(3));
        const int before = ex().nNotes;
        const int cursor = task().cursor();
        std::vector<int> n = notes();
        std::rotate(n.begin(), n.begin() + 1, n.end()); // not low to high
        if (timerEnds) {
            ex().AnswerNotePressed(n[0], AnswerSource::Midi);
            QVERIFY(ex().timers.IsActive(Exercise::ChordTimer));
            m_ms += 151;
            ex().timers.Fire(Exercise::ChordTimer);
        } else {
            // Three notes, gapMs apart: the last comes 2 × gapMs after the first.
            play(n, AnswerSource::Midi, gapMs);
        }
        QCOMPARE(ex().nErrors, errors);
        if (errors == 0) {
            QCOMPARE(ex().nNotes, before + 1);
            QVERIFY(task().cursor() != cursor || m_linesShown > 1);
        } else {
            // Waiting for the right answer: the chord stays, to be played together.
            QCOMPARE(task().cursor(), cursor);
            QVERIFY(m_beeps >= 1); // every try that falls apart beeps; it counts once

            m_ms += 1000;
            play(notes(), AnswerSource::Midi, 5);
            QCOMPARE(ex().nErrors, errors);
            QCOMPARE(ex().nNotes, before + 1);
        }
        ex().StartStop(false);
    }

    void onScreenAChordTakesAnyTime()
    {
        prefs().nClef = 3;
        prefs().phrase.nPhraseChordNotes = 3;
        prefs().phrase.nPhraseLevel = 1;
        ex().StartStop(false);
        QVERIFY(seekChord(2));
        const int before = ex().nNotes;
        for (AnswerSource source : {AnswerSource::Piano, AnswerSource::Guitar, AnswerSource::ComputerKeyboard}) {
            QVERIFY(seekChord(2));
            const int ahead = ex().nNotes;
            play(notes(), source, 2000);
            QCOMPARE(ex().nNotes, ahead + 1);
        }
        QVERIFY(ex().nNotes > before);
        QCOMPARE(ex().nErrors, 0);
        ex().StartStop(false);
    }

    void aWrongNoteCountsOncePerChord_data()
    {
        QTest::addColumn<bool>("waitTime");
        QTest::newRow("wait until right") << false;
        QTest::newRow("delay, then the next") << true;
    }
    void aWrongNoteCountsOncePerChord()
    {
        QFETCH(bool, waitTime);
        prefs().bOnWrongNoteWaitTime = waitTime;
        prefs().nClef = 3;
        prefs().phrase.nPhraseChordNotes = 3;
        prefs().phrase.nPhraseLevel = 1;
        ex().StartStop(false);
        QVERIFY(seekChord(2));
        const int notesBefore = ex().nNotes;
        const int cursor = task().cursor();
        const std::vector<int> chord = notes();
        ex().AnswerNotePressed(chord[0], AnswerSource::Piano);
        const int wrong = wrongNote();
        ex().AnswerNotePressed(wrong, AnswerSource::Piano);
        ex().AnswerNoteReleased(wrong);
        ex().AnswerNotePressed(wrong + 1 == chord[1] ? wrong + 2 : wrong + 1, AnswerSource::Piano);
        QCOMPARE(ex().nErrors, 1);
        QVERIFY(ex().bWrongPending);
        QCOMPARE(m_recorder.answers.back().right, false);
        if (waitTime) {
            // The pending answer holds every key; after the delay the line moves on.
            QCOMPARE(ex().nNotes, notesBefore + 1);
            ex().AnswerNotePressed(chord[1], AnswerSource::Piano);
            QCOMPARE(task().cursor(), cursor);
            ex().timers.Fire(Exercise::WrongAnswerTimer);
            QVERIFY(!ex().bWrongPending);
            QVERIFY(task().cursor() != cursor || m_linesShown > 1);
            QCOMPARE(ex().nNotes, notesBefore + 1);
        } else {
            for (std::size_t i = 1; i < chord.size(); ++i)
                ex().AnswerNotePressed(chord[i], AnswerSource::Piano);
            QCOMPARE(ex().nErrors, 1);
            QCOMPARE(ex().nNotes, notesBefore + 1);
            QVERIFY(!ex().bWrongPending);
        }
        ex().StartStop(false);
    }

    void microphoneChords_data()
    {
        QTest::addColumn<int>("micChords");
        QTest::addColumn<bool>("microphone");
        QTest::addColumn<bool>("chordsExpected");
        QTest::newRow("microphone, chords as arpeggios") << int(PhraseSettings::MicArpeggio) << true << true;
        QTest::newRow("microphone, chords left out") << int(PhraseSettings::MicNoChords) << true << false;
        QTest::newRow("no microphone, the setting does not apply") << int(PhraseSettings::MicNoChords) << false << true;
    }
    void microphoneChords()
    {
        QFETCH(int, micChords);
        QFETCH(bool, microphone);
        QFETCH(bool, chordsExpected);
        prefs().nClef = 3;
        prefs().phrase.nPhraseChordNotes = 3;
        prefs().phrase.nMicChords = micChords;
        prefs().phrase.nPhraseLevel = 1;
        ex().setMicrophoneInput(microphone);
        ex().StartStop(false);
        bool chords = false;
        while (m_linesShown < 4) {
            const std::vector<int> n = notes();
            chords = chords || n.size() > 1;
            // One note at a time, as the microphone hears them, seconds apart.
            play(n, AnswerSource::Microphone, 1000);
        }
        QCOMPARE(chords, chordsExpected);
        QCOMPARE(ex().nErrors, 0);
        ex().StartStop(false);
    }

    void pauseHidesTheLineAndResumesWhereItWas()
    {
        prefs().phrase.nPhraseBars = 4;
        ex().StartStop(false);
        play(notes(), AnswerSource::Piano);
        play(notes(), AnswerSource::Piano);
        const int cursor = task().cursor();
        const music::Phrase line = task().phrase();
        ex().StartStop(true);
        QCOMPARE(m_hidden, 1);
        // Nothing counts during a pause.
        ex().AnswerNotePressed(60, AnswerSource::Piano);
        QCOMPARE(ex().nErrors, 0);
        ex().StartStop(true);
        QCOMPARE(task().cursor(), cursor);
        QVERIFY(task().phrase() == line);
        QCOMPARE(m_cursors.back(), cursor);
        ex().StartStop(false);
    }

    void hintModeNamesTheLineAndMovesOnRelease()
    {
        prefs().bHintMode = 1;
        QSignalSpy names(m_ex.get(), &Exercise::phraseNamesShown);
        QSignalSpy sounded(m_ex.get(), &Exercise::soundOn);
        ex().StartStop(false);
        QCOMPARE(names.count(), 1);
        QCOMPARE(names.first().first().toBool(), true);
        const int cursor = task().cursor();
        const std::vector<int> n = notes();
        ex().AnswerNotePressed(n.front() + 1, AnswerSource::Piano); // any key shows the answer
        QCOMPARE(sounded.count(), int(n.size()));
        QCOMPARE(task().cursor(), cursor);
        QVERIFY(!ex().strNoteName.isEmpty());
        ex().AnswerNoteReleased(n.front() + 1);
        QVERIFY(task().cursor() != cursor || m_linesShown > 1);
        QCOMPARE(ex().nNotes, 1);
        QCOMPARE(ex().nErrors, 0);
        ex().StartStop(false);
    }

    void theSameSeedWritesTheSameLines()
    {
        ex().StartStop(false);
        const music::Phrase first = task().phrase();
        ex().StartStop(false);
        Exercise again(prefs());
        again.setRandomSource(notedraw::SeededRandom(11));
        again.StartStop(false);
        QVERIFY(again.phraseTask().phrase() == first);
        again.StartStop(false);
    }
};

QTEST_GUILESS_MAIN(TestPhraseExercise)
#include "tst_phraseexercise.moc"
