// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tonverodlg.h"

#include "exercise/exercise.h"
#include "settings/preferences.h"

#include <QCheckBox>
#include <QLabel>

void CTonveroDlg::OnNoteOn(int note, bool fromMidi)
{
    exercise().OnNoteOn(note, fromMidi, fromMidi ? tonvero::AnswerSource::Midi : tonvero::AnswerSource::Piano);
}

void CTonveroDlg::OnNoteOnFromControl(int controlId, int note)
{
    using tonvero::AnswerSource;
    const AnswerSource source = controlId == CInstrumentCtrl::GuitarId ? AnswerSource::Guitar
                              : controlId == CInstrumentCtrl::BassId   ? AnswerSource::Bass
                                                                       : AnswerSource::Piano;
    exercise().OnNoteOn(note, false, source);
}

void CTonveroDlg::OnNoteOff(int note)
{
    exercise().AnswerNoteReleased(note);
}

void CTonveroDlg::OnRangeChanged(const NoteRange* ranges)
{
    if (!ranges)
        return;
    // The range editor's ranges are the ones the exercise draws from and the settings keep.
    for (int s = 0; s < 2; ++s)
        preferences().setRange(s, ranges[s].low, ranges[s].high);
    stave->SetNotes(CInstrumentCtrl::NoteFromKeyIndex(ranges[0].low), CInstrumentCtrl::NoteFromKeyIndex(ranges[0].high),
                    CInstrumentCtrl::NoteFromKeyIndex(ranges[1].low), CInstrumentCtrl::NoteFromKeyIndex(ranges[1].high),
                    -1);
}

void CTonveroDlg::OnCtrlMoved(int controlId, const QPoint* point)
{
    if (!point || (exercise().bRunning && controlId != CInstrumentCtrl::StaveId))
        return;
    QWidget* caption = nullptr;
    switch (controlId) {
    case CInstrumentCtrl::PianoId: caption = pianoBox; break;
    case CInstrumentCtrl::GuitarId: caption = guitarBox; break;
    case CInstrumentCtrl::BassId: caption = bassBox; break;
    case CInstrumentCtrl::StaveId: caption = noteNameLabel(); break;
    default: break;
    }
    if (!caption)
        return;
    QPoint at = *point;
    if (controlId == CInstrumentCtrl::StaveId)
        at = QPoint(point->x() + stave->GetWidth() + 12, point->y() - stave->GetHeight() / 2);
    caption->move(at);
    platform::RedrawNow(caption);
}

void CTonveroDlg::OnRedrawRequest()
{
    if (bHelpShown)
        RemoveHelpOverlay();
}
