// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/templates.h"
#include "app/tonverodlg.h"

#include <QLabel>
#include <QPushButton>

using namespace tonvero;

void CTonveroDlg::ClearErrorWeights()
{
    for (auto& staff : anErrorWeight)
        for (int k = 0; k < CInstrumentCtrl::WhiteKeyCount; ++k)
            staff[k] = 0;
}

int CTonveroDlg::ChooseNextNote()
{
    return nCurNote;
}

void CTonveroDlg::StartStop(bool pause)
{
    if (!bRunning) {
        startButton()->setText(QStringLiteral("Остановить"));
        bRunning = true;
        bPaused = false;
        ClearErrorWeights();
        piano->SetKeyboardMode(true);
        CInstrumentCtrl::SetPlayMode(true);
        UpdateLayout();
        return;
    }
    if (pause) {
        bPaused = !bPaused;
        if (bPaused) {
            timers.KillTimer(1);
            timers.KillTimer(2);
        }
        UpdateLayout();
        return;
    }
    bRunning = false;
    timers.KillTimer(1);
    timers.KillTimer(2);
    bWrongPending = 0;
    noteNameLabel()->setText(QString());
    startButton()->setText(QStringLiteral("Начать"));
    piano->SetRangeCount(CStaveCtrl::nClef == CStaveCtrl::TrebleBass ? 2 : 1);
    guitar->SetNoteState(CInstrumentCtrl::NoteFromKeyIndex(nCurNote), None);
    bass->SetNoteState(CInstrumentCtrl::NoteFromKeyIndex(nCurNote), None);
    CInstrumentCtrl::SetPlayMode(false);
    UpdateLayout();
}
