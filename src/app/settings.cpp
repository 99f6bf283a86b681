// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tonverodlg.h"

bool CTonveroDlg::LoadSettings()
{
    return false;
}

bool CTonveroDlg::SaveSettings()
{
    return false;
}
