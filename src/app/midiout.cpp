// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tonverodlg.h"

void CTonveroDlg::CloseMidiOutput()
{
}

void CTonveroDlg::OpenMidiOutputForExercise()
{
}

void CTonveroDlg::SoundNoteOn(int)
{
}

void CTonveroDlg::SoundNoteOff(int)
{
}
