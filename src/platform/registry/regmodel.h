// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Keys and typed values of the per-user settings store, in memory: what a key
// and a value are, which names are allowed, and the tree below
// HKEY_CURRENT_USER. Nothing here touches a file.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <optional>

namespace platform {

using DWORD = std::uint32_t;
using BYTE = unsigned char;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

inline constexpr char regRootName[] = "HKEY_CURRENT_USER";
inline constexpr char regSoftwareName[] = "Software";

// The limits and forbidden characters of the Windows registry.
bool isValidKeyName(const QString& name);
bool isValidValueName(const QString& name);

// "a\b\c" -> {a, b, c}; an empty text is the key itself. nullopt when a part is not a valid key name.
std::optional<QStringList> splitKeyPath(const QString& text);

struct RegValue {
    QString name;
    DWORD type = REG_NONE;
    QByteArray data; // REG_SZ and REG_EXPAND_SZ as UTF-8 with the terminating zero
    bool operator==(const RegValue&) const = default;
};

struct RegKey {
    QStringList path; // below HKEY_CURRENT_USER, as first spelled
    QList<RegValue> values; // in the order they were first set
    bool operator==(const RegKey&) const = default;
};

// A tree of keys below HKEY_CURRENT_USER; names compare without regard to case.
// The root and "Software" always exist.
class RegStore {
public:
    RegStore();

    static QStringList fold(const QStringList& path);

    const RegKey* find(const QStringList& path) const;
    RegKey* find(const QStringList& path);
    // Creates the key with its missing parents; *created tells whether it was new.
    RegKey& create(const QStringList& path, bool* created = nullptr);
    // Removes the key and its subtree; false for a missing or a built-in key.
    bool remove(const QStringList& path);

    static const RegValue* value(const RegKey& key, const QString& name);
    static void setValue(RegKey& key, const RegValue& value);
    static bool removeValue(RegKey& key, const QString& name);

    // Keys by case-folded path; a parent comes before its children.
    const std::map<QStringList, RegKey>& keys() const { return m_keys; }
    bool isBuiltIn(const QStringList& path) const;

    bool operator==(const RegStore&) const = default;

private:
    std::map<QStringList, RegKey> m_keys;
};

// Whether path lies at or below prefix (both case-folded).
bool isPathWithin(const QStringList& path, const QStringList& prefix);

} // namespace platform
