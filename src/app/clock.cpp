// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/templates.h"
#include "app/tonverodlg.h"

using namespace tonvero;

void CTonveroDlg::OnTimer(int)
{
}

void CTonveroDlg::ShowStatistics(bool show)
{
    if (bFirstShow)
        return;
    for (int id = IdcTime; id <= IdcErrorsCaption; ++id)
        if (QWidget* w = item(id))
            w->setVisible(show);
}
