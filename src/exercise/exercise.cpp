// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/exercise.h"

#include "exercise/statstext.h"
#include "music/notenames.h"
#include "settings/preferences.h"

#include <QElapsedTimer>
#include <algorithm>

namespace tonvero {

namespace {

constexpr int KeyCount = 88;
constexpr int TrebleBass = 3;

int noteFromKeyIndex(int keyIndex)
{
    return keyIndex + 21;
}

bool keyIndexOf(int note, int& keyIndex)
{
    keyIndex = note - 21;
    return keyIndex >= 0 && keyIndex < KeyCount;
}

} // namespace

Exercise::Exercise(Preferences& prefs, QObject* parent)
    : QObject(parent), m_prefs(prefs), m_random(notedraw::cRandom)
{
    std::fill(std::begin(m_marks), std::end(m_marks), int(None));
    timers.onTimer = [this](int id) {
        if (id == WrongAnswerTimer)
            OnWrongAnswerDelayEnd();
        else if (id == ClockTimer)
            OnClockTick();
        else if (id == ChordTimer)
            OnChordWindowEnd();
    };
    m_clock = [] {
        static QElapsedTimer since;
        if (!since.isValid())
            since.start();
        return since.elapsed();
    };
    // The rule after a wrong answer may change in the options while one is pending.
    connect(&m_prefs, &Preferences::changed, this, &Exercise::OnWrongNoteModeChanged);
}

Exercise::~Exercise() = default;

int Exercise::expectedNote() const
{
    if (!bRunning)
        return -1;
    if (m_phraseMode) {
        const std::vector<int> left = m_phrase.missing();
        return left.empty() ? -1 : left.front();
    }
    return noteFromKeyIndex(nCurNote);
}

int Exercise::markOf(int note) const
{
    int key = 0;
    return keyIndexOf(note, key) ? m_marks[key] : int(NoMark);
}

void Exercise::mark(int note, int markValue, int instruments)
{
    int key = 0;
    if (instruments && keyIndexOf(note, key) && markValue >= None && markValue <= Blue)
        m_marks[key] = markValue;
    emit marked(note, markValue, instruments);
}

ExerciseMode Exercise::mode() const
{
    return m_prefs.bHintMode ? ExerciseMode::Hint : m_prefs.bExamMode ? ExerciseMode::Exam : ExerciseMode::Training;
}

int Exercise::rangeCount() const
{
    return m_prefs.nClef == TrebleBass ? 2 : 1;
}

void Exercise::ClearErrorWeights()
{
    // All 88 entries: a weight left above key 51 would never be cleared again.
    notedraw::clearErrorWeights(anErrorWeight);
}

int Exercise::ChooseNextNote()
{
    notedraw::DrawRequest request;
    const bool black = m_prefs.bUseBlackKeys != 0;
    // A range with fewer than two acceptable notes is widened for the draw, so
    // the draw always finds a note other than the current one.
    for (int s = 0; s < 2; ++s)
        request.ranges[s] = notedraw::normaliseRangeForDraw(m_prefs.rangeLow(s), m_prefs.rangeHigh(s), black);
    request.grandStave = m_prefs.nClef == TrebleBass;
    request.useBlackKeys = black;
    request.previousNote = nCurNote;
    request.weights = &anErrorWeight;
    request.extraChances = m_practiceSeeded ? &m_practiceChances : nullptr;

    const notedraw::DrawResult drawn = notedraw::drawNextNote(request, m_random);
    nCurStaff = drawn.staff;
    return drawn.keyIndex;
}

Spelling Exercise::drawSpelling(int keyIndex)
{
    if (notedraw::isWhiteByPitchClass(keyIndex))
        return Spelling::Natural;
    // An even split between the two spellings of a black key.
    const int r = m_random ? m_random() : notedraw::cRandom();
    return r <= notedraw::RandomMax / 2 ? Spelling::Flat : Spelling::Sharp;
}

void Exercise::showNote(int keyIndex, int staff, Spelling spelling)
{
    const int pitchClass = (keyIndex + 9) % 12;
    strNoteName = spelling == Spelling::Flat ? music::flatName(pitchClass) : music::sharpName(pitchClass);
    emit noteShown(noteFromKeyIndex(keyIndex), staff, spelling);
}

void Exercise::ShowCurrentNote()
{
    showNote(nCurNote, nCurStaff, curSpelling);
}

void Exercise::ShowNextNote()
{
    nCurNote = ChooseNextNote();
    curSpelling = drawSpelling(nCurNote);
    ShowCurrentNote();
    m_answers.noteShown();
}

void Exercise::StartStop(bool pause)
{
    if (!bRunning) {
        bRunning = true;
        bPaused = false;
        bWrongPending = 0;
        m_examRanOut = false;
        std::optional<notedraw::ExtraChanceTable> chances;
        if (m_practiceSource)
            chances = m_practiceSource(m_prefs.nClef);
        m_practiceSeeded = chances.has_value();
        m_practiceChances = chances.value_or(notedraw::ExtraChanceTable{});
        ClearErrorWeights();
        m_phraseMode = m_prefs.phraseExercise();
        m_pieceMode = false;
        std::vector<piece::PieceLine> lines;
        // A piece with nothing to play in its selection leaves the single notes running.
        if (m_prefs.pieceExercise() && m_piece) {
            lines = piece::pieceLines(*m_piece, m_pieceSelection, std::clamp(m_prefs.phrase.nPhraseBars, 1, 4));
            m_pieceMode = m_phraseMode = !lines.empty();
        }
        m_hintHeld = false;
        emit starting();
        if (m_pieceMode) {
            startPiece(std::move(lines));
        } else if (m_phraseMode) {
            startPhrase();
        } else {
            nCurNote = ChooseNextNote();
            curSpelling = drawSpelling(nCurNote);
            ShowCurrentNote();
        }
        if (m_pieceMode)
            m_answers.exerciseStarted(mode(), m_prefs.nMinutes, ExerciseKind::Piece, m_pieceId, m_pieceTitle,
                                      int(m_piece->bars.size()));
        else
            m_answers.exerciseStarted(mode(), m_prefs.nMinutes,
                                      m_phraseMode ? ExerciseKind::Phrase : ExerciseKind::SingleNote);
        // The figures start from zero when they are shown; the clock runs
        // either way, so that an exam ends on time.
        if (m_prefs.bShowStatistics) {
            nNotes = 0;
            nErrors = 0;
            clock.strTime = QStringLiteral("00:00");
            emit countsChanged();
        }
        clock.start(m_prefs.bExamMode != 0, m_prefs.nMinutes);
        timers.SetTimer(ClockTimer, ClockPeriodMs);
        emit started();
        return;
    }

    if (pause) {
        bPaused = !bPaused;
        const int expected = noteFromKeyIndex(nCurNote);
        if (bPaused) {
            m_answers.paused();
            timers.KillTimer(WrongAnswerTimer);
            timers.KillTimer(ClockTimer);
            timers.KillTimer(ChordTimer);
            if (m_phraseMode) {
                // Nothing to read ahead during a pause.
                m_phrase.forgetPlayed();
                emit phraseHidden();
            }
            emit noteShown(-1, -1, Spelling::Natural);
            mark(0, NoMark, Piano);
            mark(0, Red, Fretboards);
            emit pausedChanged(true);
        } else {
            m_answers.resumed();
            timers.SetTimer(ClockTimer, ClockPeriodMs);
            if (m_phraseMode) {
                // The line comes back as it was left, at the note to play.
                showPhraseLine();
                showPhraseCursor();
                if (bWrongPending) {
                    for (int n : m_phrase.missing())
                        mark(n, Red, AllInstruments);
                    emit noteNameShown(true);
                    if (m_prefs.bOnWrongNoteWaitTime)
                        timers.SetTimer(WrongAnswerTimer, m_prefs.nTimerDelay);
                }
            } else if (!bWrongPending) {
                ShowNextNote();
                notedraw::decreaseErrorWeights(anErrorWeight);
            } else {
                // The missed note comes back as it was left, so the exercise goes on:
                // waiting for the delay again, or for the right answer.
                ShowCurrentNote();
                mark(expected, Red, AllInstruments);
                emit noteNameShown(true);
                if (m_prefs.bOnWrongNoteWaitTime)
                    timers.SetTimer(WrongAnswerTimer, m_prefs.nTimerDelay);
            }
            emit pausedChanged(false);
        }
        return;
    }

    bRunning = false;
    bPaused = false;
    timers.KillTimer(WrongAnswerTimer);
    timers.KillTimer(ClockTimer);
    timers.KillTimer(ChordTimer);
    bWrongPending = 0;
    emit noteNameHidden();
    if (m_phraseMode) {
        for (int n : m_phrase.expected())
            mark(n, None, Fretboards);
        m_phrase.clear();
        emit phraseHidden();
    } else {
        mark(noteFromKeyIndex(nCurNote), None, Fretboards);
    }
    // The piano leaves its exercise look: no key stays marked.
    std::fill(std::begin(m_marks), std::end(m_marks), int(None));
    emit stopped(m_examRanOut);
    m_answers.exerciseEnded(nNotes, nErrors, m_examRanOut);
}

void Exercise::OnNoteOn(int note, bool fromMidi, AnswerSource source)
{
    if (HandleControlKey(note, fromMidi))
        return;
    AnswerNotePressed(note, source);
}

bool Exercise::HandleControlKey(int note, bool fromMidi)
{
    if (!m_prefs.bMIDI_In || !m_prefs.bAppControlByMIDI || !fromMidi)
        return false;
    if (bRunning) {
        if (note == nStopKey) {
            StartStop(false);
            return true;
        }
        if (note == nPauseKey) {
            StartStop(true);
            return true;
        }
        return false;
    }
    if (note == nStartKey) {
        StartStop(false);
        return true;
    }
    return false;
}

void Exercise::AnswerNotePressed(int note, AnswerSource source)
{
    if (!bRunning)
        return;
    if (m_phraseMode) {
        // A paused line is hidden: there is nothing to answer.
        if (bPaused)
            return;
        phraseAnswer(note, source);
        return;
    }
    if (heldByLastAnswer(note))
        return;

    const int expected = noteFromKeyIndex(nCurNote);
    if (m_answers.hasListeners()) {
        AnswerRecord record;
        record.clef = m_prefs.nClef;
        record.staff = nCurStaff;
        record.shownNote = expected;
        record.spelling = curSpelling;
        record.playedNote = note;
        record.source = source;
        record.right = note == expected;
        m_answers.answered(record);
    }
    int toSound = -1;
    if (m_prefs.bHintMode) {
        ++nNotes;
        showNote(nCurNote, nCurStaff, curSpelling);
        mark(expected, Green, AllInstruments);
        toSound = expected;
    } else if (note == expected) {
        bWrongPending = 0;
        mark(note, Blue, AllInstruments);
        if (!m_prefs.bShowNoteName)
            emit noteNameHidden();
        ++nNotes;
        ShowNextNote();
        notedraw::decreaseErrorWeights(anErrorWeight);
        toSound = note;
    } else {
        emit noteNameShown(true);
        mark(note, Blue, Piano);
        mark(expected, Red, AllInstruments);
        const int rangeSize = m_prefs.rangeHigh(nCurStaff) - m_prefs.rangeLow(nCurStaff) + 1;
        notedraw::setErrorWeightOnWrongAnswer(anErrorWeight, nCurStaff, nCurNote, rangeSize, nNotes);
        countMiss(true);
    }
    if (toSound >= 0)
        emit soundOn(toSound);
}

void Exercise::AnswerNoteReleased(int note)
{
    mark(note, None, Piano);
    if (!bWrongPending)
        mark(note, None, Fretboards);
    if (m_prefs.bHintMode && bRunning && m_phraseMode) {
        // The first key let go of moves on, once per event.
        if (m_hintHeld) {
            m_hintHeld = false;
            for (int n : m_phrase.expected())
                mark(n, None, AllInstruments);
            phraseNext();
        }
    } else if (m_prefs.bHintMode && bRunning) {
        mark(noteFromKeyIndex(nCurNote), None, AllInstruments);
        ShowNextNote();
    }
    emit soundOff(note);
}

void Exercise::OnWrongAnswerDelayEnd()
{
    timers.KillTimer(WrongAnswerTimer);
    if (!bRunning)
        return;
    bWrongPending = 0;
    if (m_phraseMode) {
        for (int n : m_phrase.expected())
            mark(n, None, AllInstruments);
        if (!m_prefs.bShowNoteName)
            emit noteNameHidden();
        phraseNext();
        return;
    }
    mark(noteFromKeyIndex(nCurNote), None, AllInstruments);
    if (!m_prefs.bShowNoteName)
        emit noteNameHidden();
    ShowNextNote();
}

// Lines of music ------------------------------------------------------------

const music::KeyWeights* Exercise::phraseWeights()
{
    // The practice remembered, and the notes missed in this exercise.
    for (int st = 0; st < 2; ++st)
        for (int k = 0; k < KeyCount; ++k)
            m_phraseWeights[st][k] = (m_practiceSeeded ? m_practiceChances[st][k] : 0)
                + (anErrorWeight[st][k] > 0 ? notedraw::WeightSlots : 0);
    return &m_phraseWeights;
}

void Exercise::startPhrase()
{
    const int r = m_random ? m_random() : notedraw::cRandom();
    const int r2 = m_random ? m_random() : notedraw::cRandom();
    m_phraseRandom.seed(std::uint32_t(r) << 15 | std::uint32_t(r2));
    m_phrase.start(LineOptions::from(m_prefs, m_microphoneInput), m_phraseRandom, phraseWeights());
    emit phraseShown(m_phrase.phrase());
    emit phraseNamesShown(m_prefs.bHintMode != 0);
    showPhraseCursor();
}

void Exercise::startPiece(std::vector<piece::PieceLine> lines)
{
    m_phrase.startLines(std::move(lines), m_pieceSelection.repeat);
    showPhraseLine();
    emit phraseNamesShown(m_prefs.bHintMode != 0);
    showPhraseCursor();
}

void Exercise::showPhraseLine()
{
    // A piece's line brings its own clef; drawn lines are in the user's.
    if (const piece::PieceLine* line = m_phrase.pieceLine())
        emit phraseClef(int(line->clef));
    emit phraseShown(m_phrase.phrase());
}

void Exercise::showPhraseCursor()
{
    const std::vector<int> left = m_phrase.missing();
    const int midi = left.empty() ? -1 : left.front();
    nCurStaff = m_phrase.staff();
    nCurNote = midi >= 0 ? midi - 21 : -1;
    curSpelling = Spelling::Natural;
    if (const music::Note* n = m_phrase.noteFor(midi))
        curSpelling = n->pitch.alter > 0 ? Spelling::Sharp : n->pitch.alter < 0 ? Spelling::Flat : Spelling::Natural;
    // The names of the event's notes, low to high, as the key writes them.
    QStringList names;
    for (int m : m_phrase.expected()) {
        const music::Note* n = m_phrase.noteFor(m);
        const int pitchClass = m % 12;
        const QString flat = n && n->pitch.alter < 0 ? music::flatName(pitchClass) : QString();
        names << (flat.isEmpty() ? music::sharpName(pitchClass) : flat);
    }
    strNoteName = names.join(QLatin1Char(' '));
    emit phraseCursorMoved(m_phrase.cursor());
}

void Exercise::phraseNext()
{
    timers.KillTimer(ChordTimer);
    m_phrase.advance();
    if (m_phrase.lineDone()) {
        // The next line follows at once, without a pause.
        m_phrase.nextLine(m_phraseRandom, phraseWeights());
        if (m_phrase.piecePlayed()) {
            emit pieceFinished();
            StartStop(false);
            return;
        }
        showPhraseLine();
    }
    showPhraseCursor();
    m_answers.noteShown();
}

void Exercise::recordPhraseAnswer(int note, AnswerSource source, bool right)
{
    if (!m_answers.hasListeners())
        return;
    const std::vector<int> left = m_phrase.missing();
    const int shown = right || left.empty() ? note : left.front();
    const music::Note* n = m_phrase.noteFor(shown);
    AnswerRecord record;
    record.clef = m_prefs.nClef;
    record.staff = n ? n->staff : 0;
    record.shownNote = shown;
    record.spelling = !n ? Spelling::Natural
        : n->pitch.alter > 0 ? Spelling::Sharp
        : n->pitch.alter < 0 ? Spelling::Flat
                             : Spelling::Natural;
    record.playedNote = note;
    record.source = source;
    record.right = right;
    record.keyFifths = m_phrase.key().fifths();
    record.keyMinor = m_phrase.key().mode() == music::Mode::Minor;
    record.linePosition = m_phrase.cursor();
    record.bar = m_phrase.currentBar();
    record.chordNotes = int(m_phrase.expected().size());
    if (m_pieceMode) {
        record.kind = ExerciseKind::Piece;
        record.bar = m_phrase.pieceBar();
        record.pieceId = m_pieceId;
    }
    m_answers.answered(record);
}

void Exercise::phraseAnswer(int note, AnswerSource source)
{
    if (m_phrase.lineDone())
        return;
    if (heldByLastAnswer(note))
        return;
    const std::vector<int> all = m_phrase.expected();
    const bool inEvent = std::find(all.begin(), all.end(), note) != all.end();

    if (m_prefs.bHintMode) {
        if (m_hintHeld)
            return;
        recordPhraseAnswer(note, source, inEvent);
        ++nNotes;
        m_hintHeld = true;
        for (int n : all) {
            mark(n, Green, AllInstruments);
            emit soundOn(n);
        }
        return;
    }

    const bool missedBefore = m_phrase.missed();
    const PhraseTask::Outcome outcome = m_phrase.press(note, source == AnswerSource::Midi, m_clock());
    switch (outcome) {
    case PhraseTask::Outcome::Ignored:
        return;
    case PhraseTask::Outcome::Partial:
        recordPhraseAnswer(note, source, true);
        mark(note, Blue, AllInstruments);
        emit soundOn(note);
        if (m_phrase.windowOpen() && !timers.IsActive(ChordTimer)) {
            const qint64 left = PhraseTask::ChordWindowMs - (m_clock() - m_phrase.windowStart());
            timers.SetTimer(ChordTimer, int(std::max<qint64>(1, left + 1)));
        }
        return;
    case PhraseTask::Outcome::Complete:
        recordPhraseAnswer(note, source, true);
        bWrongPending = 0;
        mark(note, Blue, AllInstruments);
        if (!m_prefs.bShowNoteName)
            emit noteNameHidden();
        ++nNotes;
        emit soundOn(note);
        notedraw::decreaseErrorWeights(anErrorWeight);
        phraseNext();
        return;
    case PhraseTask::Outcome::NotTogether:
        recordPhraseAnswer(note, source, true);
        emit soundOn(note);
        phraseMiss(note, !missedBefore, false);
        return;
    case PhraseTask::Outcome::Wrong:
    case PhraseTask::Outcome::WrongAgain:
        recordPhraseAnswer(note, source, false);
        phraseMiss(note, !missedBefore, true);
        return;
    }
}

void Exercise::phraseMiss(int playedNote, bool firstMiss, bool played)
{
    timers.KillTimer(ChordTimer);
    emit noteNameShown(true);
    if (played)
        mark(playedNote, Blue, Piano);
    const std::vector<int> left = m_phrase.missing();
    for (int n : left) {
        mark(n, Red, AllInstruments);
        const music::Note* written = m_phrase.noteFor(n);
        const int staff = written ? written->staff : 0;
        const int rangeSize = m_prefs.rangeHigh(staff) - m_prefs.rangeLow(staff) + 1;
        notedraw::setErrorWeightOnWrongAnswer(anErrorWeight, staff, n - 21, rangeSize, nNotes);
    }
    // A chord is one answer: its misses count one error.
    countMiss(firstMiss);
}

void Exercise::countMiss(bool count)
{
    if (count) {
        ++nErrors;
        if (m_prefs.bOnWrongNoteWaitTime) {
            ++nNotes;
            timers.SetTimer(WrongAnswerTimer, m_prefs.nTimerDelay);
        }
    }
    bWrongPending = 1;
    if (m_prefs.bBeep)
        emit wrongAnswer();
}

bool Exercise::heldByLastAnswer(int note) const
{
    // Under the delay rule nothing counts until the delay ends, and a key
    // still marked from the last answer is not played again until released.
    if (!m_prefs.bOnWrongNoteWaitTime)
        return false;
    if (bWrongPending)
        return true;
    const int m = markOf(note);
    return m != NoMark && m != None;
}

void Exercise::OnChordWindowEnd()
{
    timers.KillTimer(ChordTimer);
    if (!bRunning || !m_phraseMode || bPaused)
        return;
    const bool missedBefore = m_phrase.missed();
    if (m_phrase.windowEnded() == PhraseTask::Outcome::NotTogether)
        phraseMiss(-1, !missedBefore, false);
}

void Exercise::OnWrongNoteModeChanged()
{
    // Under "wait for the right note" no delay runs; switched to the delay
    // rule, the pending note would otherwise block every answer.
    if (!bRunning || bPaused || !bWrongPending)
        return;
    if (m_prefs.bOnWrongNoteWaitTime) {
        if (!timers.IsActive(WrongAnswerTimer))
            timers.SetTimer(WrongAnswerTimer, m_prefs.nTimerDelay);
    } else {
        timers.KillTimer(WrongAnswerTimer);
    }
}

void Exercise::OnClockTick()
{
    const bool exam = m_prefs.bExamMode != 0;
    if (clock.tick(exam, m_prefs.nMinutes, nNotes, nErrors)) {
        timers.KillTimer(WrongAnswerTimer);
        if (bRunning) {
            m_examRanOut = true;
            StartStop(false);
            emit examEnded(clock.strTime, nNotes, clock.strErrors, m_answers.exercise().sessionId);
        }
        // With the figures hidden the end would go unseen: a summary says it.
        if (!m_prefs.bShowStatistics)
            emit examSummary(statstext::examSummaryText(clock.strTime, nNotes, clock.strErrors),
                             m_answers.exercise().sessionId);
    }
    emit countsChanged();
}

void Exercise::OnUserHeld(qint64 ms)
{
    // A pause already stops the answer clock; the exercise clock runs through pauses by design.
    if (!bRunning)
        return;
    clock.held(ms);
    m_answers.userHeld(ms);
}

void Exercise::setPiece(std::shared_ptr<const piece::Piece> piece, const QString& id, const QString& title,
                        const piece::PieceSelection& selection)
{
    m_piece = std::move(piece);
    m_pieceId = id;
    m_pieceTitle = title;
    m_pieceSelection = selection;
}

void Exercise::clearPiece()
{
    m_piece.reset();
    m_pieceId.clear();
    m_pieceTitle.clear();
    m_pieceSelection = {};
}

} // namespace tonvero
