// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/interfacesettings.h"

#include "app/settingsstore.h"
#include "controls/instrumentctrl.h"
#include "platform/registry.h"

#include <array>
#include <cstdint>

using namespace platform;

namespace tonvero {

namespace {

struct Field {
    const char* name;
    int InterfaceSettings::*member;
};

const std::array<Field, 1> fields{{
    {"bShapeMarks", &InterfaceSettings::bShapeMarks},
}};

// Software\Tonvero\Interface, created with its parents when missing.
HKEY openInterfaceKey()
{
    const QString path = QStringLiteral("%1\\%2\\%3")
                             .arg(QLatin1String(softwareKeyName), QLatin1String(appKeyName),
                                  QLatin1String(interfaceKeyName));
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                       nullptr)
        != ERROR_SUCCESS)
        return nullptr;
    return key;
}

} // namespace

bool InterfaceSettings::load()
{
    HKEY key = openInterfaceKey();
    if (!key)
        return false;
    for (const Field& f : fields) {
        BYTE data[4];
        DWORD size = sizeof data;
        DWORD type = REG_NONE;
        if (RegQueryValueEx(key, QLatin1String(f.name), nullptr, &type, data, &size) != ERROR_SUCCESS
            || type != REG_DWORD || size != 4)
            continue;
        const std::uint32_t v = DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24;
        this->*f.member = v != 0 ? 1 : 0;
    }
    RegCloseKey(key);
    return true;
}

bool InterfaceSettings::save() const
{
    HKEY key = openInterfaceKey();
    if (!key)
        return false;
    bool ok = true;
    for (const Field& f : fields) {
        const DWORD v = DWORD(this->*f.member);
        const BYTE data[4] = {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
        ok = RegSetValueEx(key, QLatin1String(f.name), 0, REG_DWORD, data, sizeof data) == ERROR_SUCCESS && ok;
    }
    ok = RegFlushKey(key) == ERROR_SUCCESS && ok;
    RegCloseKey(key);
    return ok;
}

void InterfaceSettings::apply() const
{
    CInstrumentCtrl::SetShapeMarks(bShapeMarks != 0);
}

bool InterfaceSettings::loadAndApply()
{
    InterfaceSettings settings;
    const bool loaded = settings.load();
    settings.apply();
    return loaded;
}

} // namespace tonvero
