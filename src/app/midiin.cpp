// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tonverodlg.h"

void CTonveroDlg::OpenMidiInput()
{
}

void CTonveroDlg::StartMidiInput()
{
}

void CTonveroDlg::CloseMidiInput()
{
}

void CTonveroDlg::StopMidiInputAfterExercise()
{
}
