// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/settingsstore.h"
#include "app/tonverodlg.h"

bool CTonveroDlg::LoadSettings()
{
    tonvero::TonveroSettings s = tonvero::settingsOf(*this);
    s.nClef = CStaveCtrl::nClef;
    // Nothing is written at start-up: the keys a first start lacks go to the file with the first save.
    const bool ok = tonvero::loadSettings(s, strInstallDir,
                                          [](int k) { return CInstrumentCtrl::KeyTable[k].isWhite != 0; },
                                          tonvero::NewKeys::Defer);
    tonvero::assignSettings(s, *this);
    CStaveCtrl::nClef = s.nClef;
    return ok;
}

bool CTonveroDlg::SaveSettings()
{
    tonvero::TonveroSettings s = tonvero::settingsOf(*this);
    s.nClef = CStaveCtrl::nClef;
    // The ranges edited on the piano are the ones that count.
    s.nN12_min0 = piano->GetRangeLow(0);
    s.nN12_max0 = piano->GetRangeHigh(0);
    s.nN12_min1 = piano->GetRangeLow(1);
    s.nN12_max1 = piano->GetRangeHigh(1);
    return tonvero::saveSettings(s);
}
