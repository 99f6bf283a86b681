// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/preferences.h"

#include "platform/registry/registry.h"

namespace tonvero {

Preferences::Preferences(QObject* parent) : QObject(parent)
{
    // Not a message box: a save at exit must not wait for anyone.
    platform::setSaveNoticeHandler([this](const QString& text) {
        qWarning("%s", qPrintable(text));
        emit notice(text);
    });
}

Preferences::~Preferences()
{
    platform::setSaveNoticeHandler({});
}

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
