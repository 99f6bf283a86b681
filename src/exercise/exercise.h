// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exercise/answerfeed.h"
#include "exercise/exerciseclock.h"
#include "exercise/notedraw.h"
#include "exercise/phrasetask.h"
#include "piece/piecelines.h"
#include "platform/ui/window.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace tonvero {

class Preferences;

// The exercise of one note at a time, or of lines of music: what is shown, how each answer is
// judged, what it counts and when it ends. It has no widget and no device:
// views and outputs follow its signals, every input ends in its answer steps.
// The settings are read from Preferences when they are needed.
class Exercise : public QObject {
    Q_OBJECT
public:
    // Timers of the exercise.
    static constexpr int WrongAnswerTimer = 1;
    static constexpr int ClockTimer = 2;
    static constexpr int ChordTimer = 3;
    static constexpr int ClockPeriodMs = 100;
    // MIDI keys that start, pause and stop the exercise (A0, A♯0).
    static constexpr int nStopKey = 21;
    static constexpr int nPauseKey = 22;
    static constexpr int nStartKey = 21;
    // Marks, as the instruments draw them.
    enum Mark { NoMark = 0, None = 1, Red = 2, Green = 3, Blue = 4 };
    // Which instruments a mark is for.
    enum Instrument { Piano = 1, Guitar = 2, Bass = 4, Fretboards = Guitar | Bass, AllInstruments = 7 };

    explicit Exercise(Preferences& prefs, QObject* parent = nullptr);
    ~Exercise() override;

    // State; the names are those of the stored files and of the rest of the program.
    int nCurNote = -1;   // key index of the note shown
    int nCurStaff = 0;   // its staff: 0 upper or single, 1 lower
    Spelling curSpelling = Spelling::Natural;
    QString strNoteName; // the shown note's name
    int nNotes = 0;
    int nErrors = 0;
    bool bRunning = false;
    bool bPaused = false;
    int bWrongPending = 0;
    int anErrorWeight[2][88] = {};

    ExerciseClock clock;
    platform::TimerSet timers;

    // Starts or stops the exercise; with pause set, pauses or resumes a running one.
    void StartStop(bool pause);
    // A note from any input: the MIDI control keys first, then the answer step.
    void OnNoteOn(int note, bool fromMidi, AnswerSource source);
    // The MIDI control keys: true when the note started, paused or stopped the
    // exercise instead of answering it.
    bool HandleControlKey(int note, bool fromMidi);
    // The answer steps every input ends in: a note pressed is judged, a note
    // released clears its marks (and brings the next note in hint mode).
    void AnswerNotePressed(int note, AnswerSource source = AnswerSource::Piano);
    void AnswerNoteReleased(int note);

    void ClearErrorWeights();
    // Draws the next note (key index) and its staff into nCurStaff.
    int ChooseNextNote();
    // Draws the next note and shows it alone on its staff.
    void ShowNextNote();
    // Shows nCurNote alone on its staff.
    void ShowCurrentNote();
    // The delay after a wrong answer ends: marks cleared, the next note shown.
    void OnWrongAnswerDelayEnd();
    // The wrong-answer rule may have changed: a wrong answer pending under the
    // old rule follows the new one.
    void OnWrongNoteModeChanged();
    // Timer 2: the clock's texts, and the end of an exam whose time is up.
    void OnClockTick();
    // A message box kept the user this long: the clock, the exam and the response time leave it out.
    void OnUserHeld(qint64 ms);

    // The note shown, as a MIDI note; -1 when no exercise runs.
    int expectedNote() const;
    // The mark a key carries now (None when unmarked), as the instruments show it.
    int markOf(int note) const;
    // Whoever keeps the answers listens here.
    AnswerFeed& answers() { return m_answers; }
    const AnswerFeed& answers() const { return m_answers; }

    // Where the draw gets the remembered practice for a clef at each start; none: the plain draw.
    using PracticeSource = std::function<std::optional<notedraw::ExtraChanceTable>(int clef)>;
    void setPracticeSource(PracticeSource source) { m_practiceSource = std::move(source); }
    // Random numbers 0..32767 for the draw and the spelling; the C library's by default.
    void setRandomSource(notedraw::RandomSource random) { m_random = std::move(random); }
    // Whether the microphone is one of the inputs: it may leave chords out of the lines.
    void setMicrophoneInput(bool on) { m_microphoneInput = on; }
    // Milliseconds on a monotonic clock, for the window of a MIDI chord; tests set their own.
    void setClock(std::function<qint64()> clock) { m_clock = std::move(clock); }

    // The exercise running is one of lines of music (decided at its start).
    bool phraseRunning() const { return bRunning && m_phraseMode; }
    const PhraseTask& phraseTask() const { return m_phrase; }
    // The window of a MIDI chord ran out (timer 3).
    void OnChordWindowEnd();

    // The piece practised when the settings choose pieces; its lines are cut
    // afresh at each start. id: what the answers are kept under; title: what
    // the history shows.
    void setPiece(std::shared_ptr<const piece::Piece> piece, const QString& id, const QString& title,
                  const piece::PieceSelection& selection);
    void clearPiece();
    bool hasPiece() const { return m_piece != nullptr; }
    const piece::Piece* currentPiece() const { return m_piece.get(); }
    const QString& pieceId() const { return m_pieceId; }
    const piece::PieceSelection& pieceSelection() const { return m_pieceSelection; }
    // The running exercise is one of a piece.
    bool pieceRunning() const { return phraseRunning() && m_pieceMode; }

signals:
    // An exercise is about to show its first note; the views take their exercise look.
    void starting();
    // It runs: inputs and outputs open.
    void started();
    // It stopped (exam: examCompleted); its end is handed to the answers after this.
    void stopped(bool examCompleted);
    void pausedChanged(bool paused);
    // The note to show on the stave, alone on its staff; note −1: an empty stave.
    void noteShown(int note, int staff, tonvero::Spelling spelling);
    // Mark a note on the instruments (a bit set of Instrument); note 0 with
    // NoMark redraws, as a pause does.
    void marked(int note, int mark, int instruments);
    // Show the note's name (force: whatever the setting), or take it away.
    void noteNameShown(bool force);
    void noteNameHidden();
    // Counts or clock texts changed.
    void countsChanged();
    // Sound the note played, and release it.
    void soundOn(int note);
    void soundOff(int note);
    void wrongAnswer();
    // An exam ran out its time: its figures (time, notes, errors) and the exercise it belongs to.
    void examEnded(const QString& time, int notes, const QString& errors, qint64 sessionId);
    // The same while its figures were hidden: the summary box's text.
    void examSummary(const QString& text, qint64 sessionId);
    // Lines of music: a line to show (the cursor at its first note), the line
    // taken away (pause, stop), the cursor moved to an event, the names of
    // the notes under the line shown or not (hint mode).
    void phraseShown(const tonvero::music::Phrase& phrase);
    void phraseHidden();
    void phraseCursorMoved(int event);
    void phraseNamesShown(bool shown);
    // A piece's line is written in this clef (notation::Clef, numbered as the
    // stave's setting); sent before the line is shown.
    void phraseClef(int clef);
    // The selected bars were played through and do not repeat: the exercise stops after this.
    void pieceFinished();

private:
    void mark(int note, int mark, int instruments);
    void showNote(int note, int staff, Spelling spelling);
    Spelling drawSpelling(int keyIndex);
    ExerciseMode mode() const;
    int rangeCount() const;
    void startPhrase();
    void startPiece(std::vector<piece::PieceLine> lines);
    void showPhraseLine();
    void showPhraseCursor();
    void phraseAnswer(int note, AnswerSource source);
    void phraseMiss(int playedNote, bool firstMiss, bool played);
    // A miss: counted (count), held under the delay rule, beeped.
    void countMiss(bool count);
    bool heldByLastAnswer(int note) const;
    void phraseNext();
    const music::KeyWeights* phraseWeights();
    void recordPhraseAnswer(int note, AnswerSource source, bool right);

    Preferences& m_prefs;
    AnswerFeed m_answers;
    notedraw::RandomSource m_random;
    PracticeSource m_practiceSource;
    notedraw::ExtraChanceTable m_practiceChances{};
    bool m_practiceSeeded = false;
    bool m_examRanOut = false;
    // The marks the instruments show: a key still marked is not played again until released.
    int m_marks[88] = {};

    bool m_phraseMode = false;
    bool m_microphoneInput = false;
    bool m_hintHeld = false;
    PhraseTask m_phrase;
    std::mt19937 m_phraseRandom;
    music::KeyWeights m_phraseWeights{};
    std::function<qint64()> m_clock;

    bool m_pieceMode = false;
    std::shared_ptr<const piece::Piece> m_piece;
    QString m_pieceId;
    QString m_pieceTitle;
    piece::PieceSelection m_pieceSelection;
};

} // namespace tonvero
