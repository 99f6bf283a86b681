// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/preferences.h"

namespace tonvero {

Preferences::Preferences(QObject* parent) : QObject(parent) {}

bool Preferences::load(NewKeys newKeys)
{
    // White keys by pitch class, as the piano lays them out.
    return loadSettings(values(), strInstallDir, {}, newKeys);
}

bool Preferences::save() const
{
    return saveSettings(values());
}

void Preferences::setRange(int s, int low, int high)
{
    (s == 0 ? nN12_min0 : nN12_min1) = low;
    (s == 0 ? nN12_max0 : nN12_max1) = high;
}

} // namespace tonvero
