// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/registry/registry.h"

#include <QString>

#include <array>
#include <cstddef>

namespace tonvero {

// One open key of the settings store and its values, closed when it goes.
// Values are read only in the form this program writes them: a number as a
// 4-byte REG_DWORD, a text as REG_SZ (or REG_EXPAND_SZ) in UTF-8.
class RegKey {
public:
    RegKey() = default;
    ~RegKey() { close(); }
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // Opens parent\path; the result is the store's (ERROR_FILE_NOT_FOUND when missing).
    platform::LONG open(const QString& path, platform::HKEY parent = platform::HKEY_CURRENT_USER,
              platform::REGSAM access = platform::KEY_READ);
    // Opens parent\path, making it and its parents when missing.
    platform::LONG create(const QString& path, platform::HKEY parent = platform::HKEY_CURRENT_USER);

    bool isOpen() const { return m_key != nullptr; }
    platform::HKEY get() const { return m_key; }
    platform::HKEY* out() { return &m_key; }

    bool readDword(const QString& name, std::int32_t& value) const;
    bool readInt(const QString& name, int& value) const;
    bool readText(const QString& name, QString& value) const;
    bool writeDword(const QString& name, std::int32_t value);
    bool writeText(const QString& name, const QString& value);

    // Closing the last handle of a changed store writes its file: the result says whether that worked.
    platform::LONG close();

private:
    platform::HKEY m_key = nullptr;
};

// A number of a settings store kept as a REG_DWORD: its value name, its
// member, the range a stored value must lie in to be taken, and the bits kept of it.
template <class Settings>
struct IntField {
    const char* name;
    int Settings::*member;
    int lowest;
    int highest;
    int mask = -1;
};

// Each stored value, masked, replaces its member when within range; the others keep theirs.
template <class Settings, std::size_t N>
void readFields(const RegKey& key, Settings& settings, const std::array<IntField<Settings>, N>& fields)
{
    for (const IntField<Settings>& f : fields) {
        int v = 0;
        if (!key.readInt(QLatin1String(f.name), v))
            continue;
        v &= f.mask;
        if (v >= f.lowest && v <= f.highest)
            settings.*f.member = v;
    }
}

// Writes the members that differ from base (all of them when base is null).
template <class Settings, std::size_t N>
bool writeFields(RegKey& key, const Settings& settings, const Settings* base,
                 const std::array<IntField<Settings>, N>& fields)
{
    bool ok = true;
    for (const IntField<Settings>& f : fields)
        if (!base || settings.*f.member != base->*f.member)
            ok = key.writeDword(QLatin1String(f.name), settings.*f.member) && ok;
    return ok;
}

} // namespace tonvero
