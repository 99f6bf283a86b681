// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/practicesettings.h"

#include "platform/registry/registry.h"

#include <QString>

using namespace platform;

namespace tonvero::history {

namespace {

const QString KeyPath = QStringLiteral("Software\\Tonvero\\History");
const QString RememberValue = QStringLiteral("bRememberPractice");

class Key {
public:
    ~Key()
    {
        if (handle)
            RegCloseKey(handle);
    }
    LONG close()
    {
        const LONG r = handle ? RegCloseKey(handle) : ERROR_SUCCESS;
        handle = nullptr;
        return r;
    }
    HKEY handle = nullptr;
};

} // namespace

bool PracticeSettings::load()
{
    // Read at start-up: a missing key means the defaults and is not made, so nothing is written.
    Key key;
    const LONG opened = RegOpenKeyEx(HKEY_CURRENT_USER, KeyPath, 0, KEY_READ, &key.handle);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    BYTE data[4];
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    if (RegQueryValueEx(key.handle, RememberValue, nullptr, &type, data, &size) == ERROR_SUCCESS && type == REG_DWORD
        && size == 4)
        bRememberPractice = (data[0] | data[1] | data[2] | data[3]) ? 1 : 0;
    return true;
}

bool PracticeSettings::save() const
{
    Key key;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, KeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                       &key.handle, nullptr)
        != ERROR_SUCCESS)
        return false;
    const DWORD v = bRememberPractice ? 1 : 0;
    const BYTE data[4] = {BYTE(v), 0, 0, 0};
    if (RegSetValueEx(key.handle, RememberValue, 0, REG_DWORD, data, sizeof data) != ERROR_SUCCESS)
        return false;
    return key.close() == ERROR_SUCCESS;
}

} // namespace tonvero::history
