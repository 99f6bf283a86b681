// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settingsstore.h"

#include "platform/ui/messagebox.h"
#include "platform/registry/registry.h"
#include "settings/regkey.h"


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

void readInstallDir(const RegKey& appKey, QString& strInstallDir)
{
    // A number is no folder name.
    QString text;
    if (!appKey.readText(QLatin1String(setupDirValue), text))
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

    RegKey software, app, keySettings;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, QLatin1String(softwareKeyName), 0, KEY_ALL_ACCESS, software.out())
        != ERROR_SUCCESS)
        return false;
    if (create(software.get(), appKeyName, app.out()) != ERROR_SUCCESS)
        return false;

    readInstallDir(app, strInstallDir);

    if (create(app.get(), settingsKeyName, keySettings.out()) != ERROR_SUCCESS)
        return false;

    for (const SettingField& f : settingFields) {
        std::int32_t v = 0;
        if (!keySettings.readDword(QLatin1String(f.name), v))
            continue;
        if (f.member)
            settings.*f.member = v;
        else
            settings.*f.byteMember = std::uint8_t(v & 0xff);
    }
    for (const SettingTextField& f : settingTextFields)
        keySettings.readText(QLatin1String(f.name), settings.*f.member);

    keySettings.close();
    app.close();
    software.close();

    normaliseSettings(settings, isWhite);
    return true;
}

bool saveSettings(const TonveroSettings& settings)
{
    RegKey software, app, keySettings;
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

    for (const SettingField& f : settingFields)
        keySettings.writeDword(QLatin1String(f.name), f.member ? settings.*f.member : settings.*f.byteMember);
    for (const SettingTextField& f : settingTextFields)
        keySettings.writeText(QLatin1String(f.name), settings.*f.member);

    // The deletion and the values reach the file together, in one replacement.
    const LONG written = RegFlushKey(keySettings.get());
    keySettings.close();
    app.close();
    software.close();
    return written == ERROR_SUCCESS;
}

} // namespace tonvero
