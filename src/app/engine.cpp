// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/microphoneanswers.h"
#include "app/notedraw.h"
#include "app/templates.h"
#include "app/tonverodlg.h"
#include "platform/beep.h"

#include <QLabel>
#include <QPushButton>

using namespace tonvero;

namespace {

constexpr int WrongAnswerTimer = 1;
constexpr int ClockTimer = 2;
constexpr int ClockPeriodMs = 100;
constexpr int BeepHz = 400;
constexpr int BeepMs = 100;

int rangeCountForClef()
{
    return CStaveCtrl::nClef == CStaveCtrl::TrebleBass ? 2 : 1;
}

} // namespace

void CTonveroDlg::ClearErrorWeights()
{
    // All 88 entries: a weight left above key 51 would never be cleared again.
    notedraw::clearErrorWeights(anErrorWeight);
}

int CTonveroDlg::ChooseNextNote()
{
    notedraw::WhiteKeyTest isWhite;
    if (CInstrumentCtrl::ControlsReady)
        isWhite = [](int k) { return CInstrumentCtrl::KeyTable[k].isWhite != 0; };

    notedraw::DrawRequest request;
    // A range with fewer than two acceptable notes is widened for the draw, so
    // the draw always finds a note other than the current one.
    for (int s = 0; s < 2; ++s)
        request.ranges[s] = notedraw::normaliseRangeForDraw(piano->GetRangeLow(s), piano->GetRangeHigh(s),
                                                            bUseBlackKeys != 0, isWhite);
    request.grandStave = CStaveCtrl::nClef == CStaveCtrl::TrebleBass;
    request.useBlackKeys = bUseBlackKeys != 0;
    request.isWhite = isWhite;
    request.previousNote = nCurNote;
    request.weights = &anErrorWeight;
    request.extraChances = m_practiceSeeded ? &m_practiceChances : nullptr;

    const notedraw::DrawResult drawn = notedraw::drawNextNote(request);
    nCurStaff = drawn.staff;
    return drawn.keyIndex;
}

void CTonveroDlg::ShowCurrentNote()
{
    stave->SetNotes(CInstrumentCtrl::NoteFromKeyIndex(nCurNote), -1, -1, -1, nCurStaff);
}

void CTonveroDlg::ShowNextNote()
{
    nCurNote = ChooseNextNote();
    ShowCurrentNote();
    m_answers.noteShown();
}

namespace {

tonvero::ExerciseMode modeOf(const CTonveroDlg& d)
{
    using tonvero::ExerciseMode;
    return d.bHintMode ? ExerciseMode::Hint : d.bExamMode ? ExerciseMode::Exam : ExerciseMode::Training;
}

tonvero::Spelling spellingOf(const CStaveCtrl& stave, int staff)
{
    switch (stave.SlotAccidental(2 * staff)) {
    case CStaveCtrl::SharpSign: return tonvero::Spelling::Sharp;
    case CStaveCtrl::FlatSign: return tonvero::Spelling::Flat;
    default: return tonvero::Spelling::Natural;
    }
}

} // namespace

void CTonveroDlg::StartStop(bool pause)
{
    if (!bRunning) {
        startButton()->setText(tr("Остановить"));
        bRunning = true;
        bPaused = false;
        bWrongPending = 0;
        bKeyDown = false;
        m_examRanOut = false;
        seedPracticeChances();
        ClearErrorWeights();
        piano->SetKeyboardMode(true);
        nCurNote = ChooseNextNote();
        CInstrumentCtrl::SetPlayMode(true);
        ShowCurrentNote();
        m_answers.exerciseStarted(modeOf(*this), nMinutes);
        if (bShowStatistics)
            ResetClock();
        StartMidiInput();
        OpenMidiOutputForExercise();
        m_microphone->exerciseRunning(true);
        UpdateLayout();
        return;
    }

    if (pause) {
        bPaused = !bPaused;
        const int expected = CInstrumentCtrl::NoteFromKeyIndex(nCurNote);
        m_microphone->exerciseRunning(!bPaused);
        if (bPaused) {
            m_answers.paused();
            timers.KillTimer(WrongAnswerTimer);
            timers.KillTimer(ClockTimer);
            stave->SetNotes(-1, -1, -1, -1, -1);
            piano->SetNoteState(0, 0);
            guitar->SetNoteState(0, Red);
            bass->SetNoteState(0, Red);
        } else {
            m_answers.resumed();
            if (bShowStatistics)
                timers.SetTimer(ClockTimer, ClockPeriodMs);
            if (!bWrongPending) {
                ShowNextNote();
                notedraw::decreaseErrorWeights(anErrorWeight);
            } else {
                // The missed note comes back as it was left, so the exercise goes on:
                // waiting for the delay again, or for the right answer.
                ShowCurrentNote();
                piano->SetNoteState(expected, Red);
                guitar->SetNoteState(expected, Red);
                bass->SetNoteState(expected, Red);
                ShowNoteName(true);
                if (bOnWrongNoteWaitTime)
                    timers.SetTimer(WrongAnswerTimer, nTimerDelay);
            }
        }
        UpdateLayout();
        return;
    }

    bRunning = false;
    bPaused = false;
    m_microphone->exerciseRunning(false);
    timers.KillTimer(WrongAnswerTimer);
    timers.KillTimer(ClockTimer);
    bWrongPending = 0;
    bKeyDown = false;
    noteNameLabel()->setText(QString());
    startButton()->setText(tr("Начать"));
    piano->SetRangeCount(rangeCountForClef());
    guitar->SetNoteState(CInstrumentCtrl::NoteFromKeyIndex(nCurNote), None);
    bass->SetNoteState(CInstrumentCtrl::NoteFromKeyIndex(nCurNote), None);
    CInstrumentCtrl::SetPlayMode(false);
    StopMidiInputAfterExercise();
    CloseMidiOutput();
    m_microphone->outputClosed();
    UpdateLayout();
    m_answers.exerciseEnded(nNotes, nErrors, m_examRanOut);
}

void CTonveroDlg::AnswerNotePressed(int note, tonvero::AnswerSource source)
{
    if (!bRunning)
        return;
    if (bOnWrongNoteWaitTime) {
        if (bWrongPending)
            return;
        int key = 0;
        // A key still marked from the last answer is not played again until released.
        if (CInstrumentCtrl::GetKeyIndex(note, key) && CInstrumentCtrl::KeyTable[key].mark != None)
            return;
    }

    const int expected = CInstrumentCtrl::NoteFromKeyIndex(nCurNote);
    if (m_answers.hasListeners()) {
        tonvero::AnswerRecord record;
        record.clef = CStaveCtrl::nClef;
        record.staff = nCurStaff;
        record.shownNote = expected;
        record.spelling = spellingOf(*stave, nCurStaff);
        record.playedNote = note;
        record.source = source;
        record.right = note == expected;
        m_answers.answered(record);
    }
    int toSound = -1;
    if (bHintMode) {
        ++nNotes;
        stave->SetNotes(expected, -1, -1, -1, nCurStaff);
        piano->SetNoteState(expected, Green);
        guitar->SetNoteState(expected, Green);
        bass->SetNoteState(expected, Green);
        toSound = expected;
    } else if (note == expected) {
        bWrongPending = 0;
        piano->SetNoteState(note, Blue);
        guitar->SetNoteState(note, Blue);
        bass->SetNoteState(note, Blue);
        if (!bShowNoteName)
            noteNameLabel()->setText(QString());
        ++nNotes;
        ShowNextNote();
        notedraw::decreaseErrorWeights(anErrorWeight);
        toSound = note;
    } else {
        ShowNoteName(true);
        piano->SetNoteState(note, Blue);
        piano->SetNoteState(expected, Red);
        guitar->SetNoteState(expected, Red);
        bass->SetNoteState(expected, Red);
        notedraw::setErrorWeightOnWrongAnswer(anErrorWeight, nCurStaff, nCurNote, piano->GetRangeSize(nCurStaff),
                                              nNotes);
        if (bOnWrongNoteWaitTime) {
            ++nNotes;
            timers.SetTimer(WrongAnswerTimer, nTimerDelay);
        }
        bWrongPending = 1;
        if (bBeep)
            platform::Beep(BeepHz, BeepMs);
        ++nErrors;
    }
    if (toSound >= 0) {
        SoundNoteOn(toSound);
        if (bMIDI_Out)
            m_microphone->outputNoteOn(toSound);
    }
}

void CTonveroDlg::AnswerNoteReleased(int note)
{
    piano->SetNoteState(note, None);
    if (!bWrongPending) {
        guitar->SetNoteState(note, None);
        bass->SetNoteState(note, None);
    }
    if (bHintMode && bRunning) {
        const int expected = CInstrumentCtrl::NoteFromKeyIndex(nCurNote);
        piano->SetNoteState(expected, None);
        guitar->SetNoteState(expected, None);
        bass->SetNoteState(expected, None);
        ShowNextNote();
    }
    SoundNoteOff(note);
    if (bMIDI_Out)
        m_microphone->outputNoteOff(note);
}

void CTonveroDlg::OnWrongAnswerDelayEnd()
{
    timers.KillTimer(WrongAnswerTimer);
    if (!bRunning)
        return;
    bWrongPending = 0;
    const int expected = CInstrumentCtrl::NoteFromKeyIndex(nCurNote);
    piano->SetNoteState(expected, None);
    guitar->SetNoteState(expected, None);
    bass->SetNoteState(expected, None);
    if (!bShowNoteName)
        noteNameLabel()->setText(QString());
    ShowNextNote();
}

void CTonveroDlg::OnWrongNoteModeChanged()
{
    // Under "wait for the right note" no delay runs; switched to the delay
    // rule, the pending note would otherwise block every answer.
    if (!bRunning || bPaused || !bWrongPending)
        return;
    if (bOnWrongNoteWaitTime) {
        if (!timers.IsActive(WrongAnswerTimer))
            timers.SetTimer(WrongAnswerTimer, nTimerDelay);
    } else {
        timers.KillTimer(WrongAnswerTimer);
    }
}
