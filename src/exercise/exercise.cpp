// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/exercise.h"

#include "exercise/statstext.h"
#include "music/notenames.h"
#include "settings/preferences.h"

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
    };
    // The rule after a wrong answer may change in the options while one is pending.
    connect(&m_prefs, &Preferences::changed, this, &Exercise::OnWrongNoteModeChanged);
}

Exercise::~Exercise() = default;

int Exercise::expectedNote() const
{
    return bRunning ? noteFromKeyIndex(nCurNote) : -1;
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
        emit starting();
        nCurNote = ChooseNextNote();
        curSpelling = drawSpelling(nCurNote);
        ShowCurrentNote();
        m_answers.exerciseStarted(mode(), m_prefs.nMinutes);
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
            emit noteShown(-1, -1, Spelling::Natural);
            mark(0, NoMark, Piano);
            mark(0, Red, Fretboards);
            emit pausedChanged(true);
        } else {
            m_answers.resumed();
            timers.SetTimer(ClockTimer, ClockPeriodMs);
            if (!bWrongPending) {
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
    bWrongPending = 0;
    emit noteNameHidden();
    mark(noteFromKeyIndex(nCurNote), None, Fretboards);
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
    if (m_prefs.bOnWrongNoteWaitTime) {
        if (bWrongPending)
            return;
        // A key still marked from the last answer is not played again until released.
        const int m = markOf(note);
        if (m != NoMark && m != None)
            return;
    }

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
        if (m_prefs.bOnWrongNoteWaitTime) {
            ++nNotes;
            timers.SetTimer(WrongAnswerTimer, m_prefs.nTimerDelay);
        }
        bWrongPending = 1;
        if (m_prefs.bBeep)
            emit wrongAnswer();
        ++nErrors;
    }
    if (toSound >= 0)
        emit soundOn(toSound);
}

void Exercise::AnswerNoteReleased(int note)
{
    mark(note, None, Piano);
    if (!bWrongPending)
        mark(note, None, Fretboards);
    if (m_prefs.bHintMode && bRunning) {
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
    mark(noteFromKeyIndex(nCurNote), None, AllInstruments);
    if (!m_prefs.bShowNoteName)
        emit noteNameHidden();
    ShowNextNote();
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

} // namespace tonvero
