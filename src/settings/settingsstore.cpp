// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settingsstore.h"

#include "platform/ui/messagebox.h"
#include "platform/registry/registry.h"

#include <QByteArray>

#include <algorithm>
#include <mutex>

using namespace platform;

namespace tonvero {

#define TONVERO_INT_FIELD(name) SettingField{#name, &TonveroSettings::name, nullptr}

const std::array<SettingField, 22> settingFields{{
    TONVERO_INT_FIELD(nInDevId),
    TONVERO_INT_FIELD(nOutDevId),
    TONVERO_INT_FIELD(bMIDI_In),
    TONVERO_INT_FIELD(bMIDI_Out),
    TONVERO_INT_FIELD(bAppControlByMIDI),
    TONVERO_INT_FIELD(bShowNoteName),
    TONVERO_INT_FIELD(bShowStatistics),
    TONVERO_INT_FIELD(bUseBlackKeys),
    TONVERO_INT_FIELD(bNoteInputFromCompKeyboard),
    TONVERO_INT_FIELD(bOnWrongNoteWaitTime),
    TONVERO_INT_FIELD(bBeep),
    TONVERO_INT_FIELD(bPianoKeys),
    TONVERO_INT_FIELD(bGuitar6),
    TONVERO_INT_FIELD(bGuitar4),
    SettingField{"nPatch", nullptr, &TonveroSettings::nPatch},
    TONVERO_INT_FIELD(nMinutes),
    TONVERO_INT_FIELD(nTimerDelay),
    TONVERO_INT_FIELD(nClef),
    TONVERO_INT_FIELD(nN12_min0),
    TONVERO_INT_FIELD(nN12_max0),
    TONVERO_INT_FIELD(nN12_min1),
    TONVERO_INT_FIELD(nN12_max1),
}};

#undef TONVERO_INT_FIELD

const std::array<SettingTextField, 2> settingTextFields{{
    {"strInDevName", &TonveroSettings::strInDevName},
    {"strOutDevName", &TonveroSettings::strOutDevName},
}};

namespace {

constexpr int lastKey = 87;

bool whiteByPitchClass(int keyIndex)
{
    switch ((keyIndex + 9) % 12) {
    case 1: case 3: case 6: case 8: case 10:
        return false;
    default:
        return true;
    }
}

// A damaged settings file is moved aside by the registry; the user hears of it here.
void tellUserOfRegistryNotices()
{
    static std::once_flag once;
    std::call_once(once, [] {
        platform::setNoticeHandler([](const QString& text) {
            platform::MessageBox(nullptr, text, QStringLiteral("Tonvero"), MsgIcon::Exclamation);
        });
    });
}

class KeyGuard {
public:
    KeyGuard() = default;
    ~KeyGuard() { close(); }
    KeyGuard(const KeyGuard&) = delete;
    KeyGuard& operator=(const KeyGuard&) = delete;
    HKEY* out() { return &m_key; }
    HKEY get() const { return m_key; }
    LONG close()
    {
        LONG r = ERROR_SUCCESS;
        if (m_key)
            r = RegCloseKey(m_key);
        m_key = nullptr;
        return r;
    }

private:
    HKEY m_key = nullptr;
};

std::int32_t fromLittleEndian(const BYTE* b)
{
    return std::int32_t(DWORD(b[0]) | DWORD(b[1]) << 8 | DWORD(b[2]) << 16 | DWORD(b[3]) << 24);
}

// A REG_SZ or REG_EXPAND_SZ value up to its first zero; false when missing or of another type.
bool readText(HKEY key, const QString& name, QString& text)
{
    DWORD type = REG_NONE;
    DWORD size = 0;
    if (RegQueryValueEx(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    QByteArray buf(qsizetype(size), '\0');
    if (RegQueryValueEx(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return false;
    buf.truncate(qsizetype(size));
    const qsizetype nul = buf.indexOf('\0');
    if (nul >= 0)
        buf.truncate(nul);
    text = QString::fromUtf8(buf);
    return true;
}

void readInstallDir(HKEY appKey, QString& strInstallDir)
{
    // A number is no folder name.
    QString text;
    if (!readText(appKey, QLatin1String(setupDirValue), text))
        return;
    const QString dir = installDirFromSetupDir(text);
    if (!dir.isEmpty())
        strInstallDir = dir;
}

} // namespace

QString installDirFromSetupDir(const QString& setupDir)
{
    if (setupDir.isEmpty())
        return {};
    QString dir = setupDir;
    if (dir.endsWith(u'/'))
        return dir;
    while (dir.endsWith(u'\\'))
        dir.chop(1);
    return dir + u'/';
}

void normaliseRange(int& low, int& high, const std::function<bool(int keyIndex)>& isWhite)
{
    auto white = [&isWhite](int k) { return isWhite ? isWhite(k) : whiteByPitchClass(k); };
    low = std::clamp(low, 0, lastKey - 1);
    high = std::min(std::max(high, low + 1), lastKey);
    if (!white(high))
        ++high;
    if (!white(low))
        --low;
    low = std::min(low, lastKey - 1);
    high = std::min(high, lastKey);
}

void normaliseSettings(TonveroSettings& s, const std::function<bool(int keyIndex)>& isWhite)
{
    for (const SettingField& f : settingFields) {
        if (f.name[0] == 'b' && f.member)
            s.*f.member = s.*f.member ? 1 : 0;
    }
    s.nInDevId = std::max(s.nInDevId, 0);
    s.nOutDevId = std::max(s.nOutDevId, 0);
    if (s.nPatch > 127)
        s.nPatch = TonveroSettings{}.nPatch;
    s.nMinutes = std::clamp(s.nMinutes, 0, maxMinutes);
    s.nTimerDelay = std::clamp(s.nTimerDelay, 0, maxTimerDelay);
    if (s.nClef < 0 || s.nClef > 3)
        s.nClef = TonveroSettings{}.nClef;
    for (const SettingTextField& f : settingTextFields)
        (s.*f.member).truncate(maxPortNameLength);
    normaliseRange(s.nN12_min0, s.nN12_max0, isWhite);
    normaliseRange(s.nN12_min1, s.nN12_max1, isWhite);
}

bool loadSettings(TonveroSettings& settings, QString& strInstallDir, std::function<bool(int keyIndex)> isWhite,
                  NewKeys newKeys)
{
    tellUserOfRegistryNotices();
    const auto create = [newKeys](HKEY parent, const char* name, HKEY* key) {
        return newKeys == NewKeys::Defer
            ? RegCreateKeyDeferred(parent, QLatin1String(name), KEY_ALL_ACCESS, key, nullptr)
            : RegCreateKeyEx(parent, QLatin1String(name), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                             nullptr, key, nullptr);
    };

    KeyGuard software, app, keySettings;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, QLatin1String(softwareKeyName), 0, KEY_ALL_ACCESS, software.out())
        != ERROR_SUCCESS)
        return false;
    if (create(software.get(), appKeyName, app.out()) != ERROR_SUCCESS)
        return false;

    readInstallDir(app.get(), strInstallDir);

    if (create(app.get(), settingsKeyName, keySettings.out()) != ERROR_SUCCESS)
        return false;

    for (const SettingField& f : settingFields) {
        BYTE data[4];
        DWORD size = sizeof data;
        DWORD type = REG_NONE;
        if (RegQueryValueEx(keySettings.get(), QLatin1String(f.name), nullptr, &type, data, &size) != ERROR_SUCCESS
            || size != 4 || type != REG_DWORD)
            continue;
        const std::int32_t v = fromLittleEndian(data);
        if (f.member)
            settings.*f.member = v;
        else
            settings.*f.byteMember = std::uint8_t(v & 0xff);
    }
    for (const SettingTextField& f : settingTextFields)
        readText(keySettings.get(), QLatin1String(f.name), settings.*f.member);

    keySettings.close();
    app.close();
    software.close();

    normaliseSettings(settings, isWhite);
    return true;
}

bool saveSettings(const TonveroSettings& settings)
{
    KeyGuard software, app, keySettings;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, QLatin1String(softwareKeyName), 0, KEY_ALL_ACCESS, software.out())
        != ERROR_SUCCESS)
        return false;
    if (RegOpenKeyEx(software.get(), QLatin1String(appKeyName), 0, KEY_ALL_ACCESS, app.out()) != ERROR_SUCCESS)
        return false;

    // Rebuilt from scratch so that values put there by hand do not linger.
    RegDeleteKey(app.get(), QLatin1String(settingsKeyName));
    if (RegCreateKeyEx(app.get(), QLatin1String(settingsKeyName), 0, nullptr, REG_OPTION_NON_VOLATILE,
                       KEY_ALL_ACCESS, nullptr, keySettings.out(), nullptr)
        != ERROR_SUCCESS)
        return false;

    for (const SettingField& f : settingFields) {
        const DWORD v = f.member ? DWORD(settings.*f.member) : DWORD(settings.*f.byteMember);
        const BYTE data[4] = {BYTE(v), BYTE(v >> 8), BYTE(v >> 16), BYTE(v >> 24)};
        RegSetValueEx(keySettings.get(), QLatin1String(f.name), 0, REG_DWORD, data, sizeof data);
    }
    for (const SettingTextField& f : settingTextFields) {
        const QByteArray text = (settings.*f.member).toUtf8();
        RegSetValueEx(keySettings.get(), QLatin1String(f.name), 0, REG_SZ,
                      reinterpret_cast<const BYTE*>(text.constData()), DWORD(text.size() + 1));
    }

    // The deletion and the values reach the file together, in one replacement.
    const LONG written = RegFlushKey(keySettings.get());
    keySettings.close();
    app.close();
    software.close();
    return written == ERROR_SUCCESS;
}

} // namespace tonvero
