// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/interfacesettings.h"

#include "settings/settingsstore.h"
#include "controls/instrumentctrl.h"
#include "platform/registry/registry.h"

#include <array>
#include <cstdint>

using namespace platform;

namespace tonvero {

namespace {

struct Field {
    const char* name;
    int InterfaceSettings::*member;
    int highest; // values above it keep the default
};

const std::array<Field, 2> fields{{
    {"bShapeMarks", &InterfaceSettings::bShapeMarks, 1},
    {"nLanguage", &InterfaceSettings::nLanguage, 2},
}};

QString interfaceKeyPath()
{
    return QStringLiteral("%1\\%2\\%3")
        .arg(QLatin1String(softwareKeyName), QLatin1String(appKeyName), QLatin1String(interfaceKeyName));
}

// Software\Tonvero\Interface, created with its parents when missing.
HKEY openInterfaceKey()
{
    HKEY key = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, interfaceKeyPath(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                       nullptr, &key, nullptr)
        != ERROR_SUCCESS)
        return nullptr;
    return key;
}

} // namespace

bool InterfaceSettings::load()
{
    // Reading never writes: a first start leaves the file as it is (no save, no fsync).
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyEx(HKEY_CURRENT_USER, interfaceKeyPath(), 0, KEY_READ, &key);
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    for (const Field& f : fields) {
        BYTE data[4];
        DWORD size = sizeof data;
        DWORD type = REG_NONE;
        if (RegQueryValueEx(key, QLatin1String(f.name), nullptr, &type, data, &size) != ERROR_SUCCESS
            || type != REG_DWORD || size != 4)
            continue;
        const std::uint32_t v = DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24;
        if (f.highest == 1)
            this->*f.member = v != 0 ? 1 : 0;
        else if (v <= std::uint32_t(f.highest))
            this->*f.member = int(v);
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
