// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/interfacesettings.h"

#include "settings/settingsstore.h"
#include "controls/instrumentctrl.h"
#include "settings/regkey.h"

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

} // namespace

bool InterfaceSettings::load()
{
    // Reading never writes: a first start leaves the file as it is (no save, no fsync).
    RegKey key;
    const LONG opened = key.open(interfaceKeyPath());
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    for (const Field& f : fields) {
        std::int32_t stored = 0;
        if (!key.readDword(QLatin1String(f.name), stored))
            continue;
        const auto v = std::uint32_t(stored);
        if (f.highest == 1)
            this->*f.member = v != 0 ? 1 : 0;
        else if (v <= std::uint32_t(f.highest))
            this->*f.member = int(v);
    }
    return true;
}

bool InterfaceSettings::save() const
{
    RegKey key;
    if (key.create(interfaceKeyPath()) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (const Field& f : fields)
        ok = key.writeDword(QLatin1String(f.name), this->*f.member) && ok;
    ok = RegFlushKey(key.get()) == ERROR_SUCCESS && ok;
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
