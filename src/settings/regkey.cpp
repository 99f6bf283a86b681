// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/regkey.h"

#include <QByteArray>

using namespace platform;

namespace tonvero {

namespace {
// No value this program writes is longer; a larger one was not written by it.
constexpr DWORD kMaxTextBytes = 64 * 1024;
} // namespace

LONG RegKey::open(const QString& path, HKEY parent, REGSAM access)
{
    close();
    return RegOpenKeyEx(parent, path, 0, access, &m_key);
}

LONG RegKey::create(const QString& path, HKEY parent)
{
    close();
    return RegCreateKeyEx(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &m_key, nullptr);
}

bool RegKey::readDword(const QString& name, std::int32_t& value) const
{
    BYTE data[4];
    DWORD size = sizeof data;
    DWORD type = REG_NONE;
    if (!m_key || RegQueryValueEx(m_key, name, nullptr, &type, data, &size) != ERROR_SUCCESS || type != REG_DWORD
        || size != 4)
        return false;
    value = std::int32_t(DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24);
    return true;
}

bool RegKey::readInt(const QString& name, int& value) const
{
    std::int32_t v = 0;
    if (!readDword(name, v))
        return false;
    value = int(v);
    return true;
}

bool RegKey::readText(const QString& name, QString& value) const
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (!m_key || RegQueryValueEx(m_key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS
        || (type != REG_SZ && type != REG_EXPAND_SZ) || size > kMaxTextBytes)
        return false;
    QByteArray buf(qsizetype(size), '\0');
    if (RegQueryValueEx(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) != ERROR_SUCCESS
        || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    buf.truncate(qsizetype(size));
    const qsizetype nul = buf.indexOf('\0');
    if (nul >= 0)
        buf.truncate(nul);
    value = QString::fromUtf8(buf);
    return true;
}

bool RegKey::writeDword(const QString& name, std::int32_t value)
{
    const auto v = DWORD(std::uint32_t(value));
    const BYTE data[4] = {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
    return m_key && RegSetValueEx(m_key, name, 0, REG_DWORD, data, sizeof data) == ERROR_SUCCESS;
}

bool RegKey::writeText(const QString& name, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    return m_key
        && RegSetValueEx(m_key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(utf8.constData()),
                         DWORD(utf8.size() + 1))
        == ERROR_SUCCESS;
}

LONG RegKey::close()
{
    const LONG r = m_key ? RegCloseKey(m_key) : ERROR_SUCCESS;
    m_key = nullptr;
    return r;
}

} // namespace tonvero
