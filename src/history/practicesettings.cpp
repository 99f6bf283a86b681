// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/practicesettings.h"

#include "settings/regkey.h"

#include <QString>

using namespace platform;

namespace tonvero::history {

namespace {

const QString KeyPath = QStringLiteral("Software\\Tonvero\\History");
const QString RememberValue = QStringLiteral("bRememberPractice");

} // namespace

bool PracticeSettings::load()
{
    // Read at start-up: a missing key means the defaults and is not made, so nothing is written.
    RegKey key;
    const LONG opened = key.open(KeyPath);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    if (std::int32_t v = 0; key.readDword(RememberValue, v))
        bRememberPractice = v ? 1 : 0;
    return true;
}

bool PracticeSettings::save() const
{
    RegKey key;
    if (key.create(KeyPath) != ERROR_SUCCESS || !key.writeDword(RememberValue, bRememberPractice ? 1 : 0))
        return false;
    return key.close() == ERROR_SUCCESS;
}

} // namespace tonvero::history
