// SPDX-License-Identifier: GPL-3.0-or-later
#include "pitch/microphonesettings.h"

#include "platform/registry/registry.h"

#include <QByteArray>

namespace pitch {

using namespace platform;

namespace {

constexpr const char* kKey = "Software\\Tonvero\\Microphone";

// Closes the handle at scope end.
class Key {
public:
    ~Key()
    {
        if (m_key)
            RegCloseKey(m_key);
    }
    HKEY* out() { return &m_key; }
    HKEY get() const { return m_key; }
    LONG close()
    {
        const LONG r = m_key ? RegCloseKey(m_key) : ERROR_SUCCESS;
        m_key = nullptr;
        return r;
    }

private:
    HKEY m_key = nullptr;
};

bool readDword(HKEY key, const char* name, int& value)
{
    DWORD type = REG_NONE;
    BYTE data[4];
    DWORD size = sizeof data;
    if (RegQueryValueEx(key, QLatin1String(name), nullptr, &type, data, &size) != ERROR_SUCCESS || type != REG_DWORD
        || size != 4)
        return false;
    value = int(std::int32_t(DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24));
    return true;
}

bool readString(HKEY key, const char* name, QString& value)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueEx(key, QLatin1String(name), nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ
        || size > 4096)
        return false;
    QByteArray buf(int(size), '\0');
    if (RegQueryValueEx(key, QLatin1String(name), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size)
        != ERROR_SUCCESS)
        return false;
    const qsizetype end = buf.indexOf('\0');
    value = QString::fromUtf8(end >= 0 ? buf.left(end) : buf);
    return true;
}

bool writeDword(HKEY key, const char* name, int value)
{
    const auto v = DWORD(std::uint32_t(value));
    const BYTE data[4] = {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
    return RegSetValueEx(key, QLatin1String(name), 0, REG_DWORD, data, 4) == ERROR_SUCCESS;
}

bool writeString(HKEY key, const char* name, const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    return RegSetValueEx(key, QLatin1String(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(utf8.constData()),
                         DWORD(utf8.size() + 1))
        == ERROR_SUCCESS;
}

} // namespace

MicrophoneSettings MicrophoneSettings::normalized() const
{
    const MicrophoneSettings defaults;
    MicrophoneSettings s = *this;
    if (s.nReferenceA4 < kMinReferenceHz || s.nReferenceA4 > kMaxReferenceHz)
        s.nReferenceA4 = defaults.nReferenceA4;
    if (s.nTransposition < 0 || s.nTransposition >= kTranspositionCount)
        s.nTransposition = defaults.nTransposition;
    if (s.nHoldMs < kMinHoldMs || s.nHoldMs > kMaxHoldMs)
        s.nHoldMs = defaults.nHoldMs;
    if (s.nToleranceCents < kMinToleranceCents || s.nToleranceCents > kMaxToleranceCents)
        s.nToleranceCents = defaults.nToleranceCents;
    return s;
}

DetectorSettings MicrophoneSettings::detectorSettings() const
{
    const MicrophoneSettings s = normalized();
    DetectorSettings d;
    d.referenceA4Hz = s.nReferenceA4;
    d.holdMs = s.nHoldMs;
    d.toleranceCents = s.nToleranceCents;
    return d;
}

MicrophoneSettings MicrophoneSettings::load()
{
    MicrophoneSettings s;
    Key key;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, QLatin1String(kKey), 0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return s;
    int enabled = 0;
    if (readDword(key.get(), "bEnabled", enabled))
        s.bEnabled = enabled != 0;
    readString(key.get(), "strDevice", s.strDevice);
    readDword(key.get(), "nReferenceA4", s.nReferenceA4);
    readDword(key.get(), "nTransposition", s.nTransposition);
    readDword(key.get(), "nHoldMs", s.nHoldMs);
    readDword(key.get(), "nToleranceCents", s.nToleranceCents);
    return s.normalized();
}

bool MicrophoneSettings::save() const
{
    const MicrophoneSettings s = normalized();
    Key key;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, QLatin1String(kKey), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                       nullptr, key.out(), nullptr)
        != ERROR_SUCCESS)
        return false;
    bool ok = writeDword(key.get(), "bEnabled", s.bEnabled ? 1 : 0);
    ok = writeString(key.get(), "strDevice", s.strDevice) && ok;
    ok = writeDword(key.get(), "nReferenceA4", s.nReferenceA4) && ok;
    ok = writeDword(key.get(), "nTransposition", s.nTransposition) && ok;
    ok = writeDword(key.get(), "nHoldMs", s.nHoldMs) && ok;
    ok = writeDword(key.get(), "nToleranceCents", s.nToleranceCents) && ok;
    // Closing the last handle writes the file; a failed write shows here.
    return key.close() == ERROR_SUCCESS && ok;
}

} // namespace pitch
