// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The user settings (22 numbers and the names of the MIDI ports), their
// registry names and defaults, and the load and save steps over
// HKEY_CURRENT_USER\Software\Tonvero\Settings, kept apart from the main
// window so they can be run without one.

#include <QString>

#include <array>
#include <cstdint>
#include <functional>

namespace tonvero {

// Members are named after their registry values, in the order of writing and reading.
struct TonveroSettings {
    int nInDevId = 0;
    int nOutDevId = 0;
    int bMIDI_In = 1;
    int bMIDI_Out = 1;
    int bAppControlByMIDI = 1;
    int bShowNoteName = 0;
    int bShowStatistics = 1;
    int bUseBlackKeys = 1;
    int bNoteInputFromCompKeyboard = 0;
    int bOnWrongNoteWaitTime = 1;
    int bBeep = 1;
    int bPianoKeys = 1;
    int bGuitar6 = 0;
    int bGuitar4 = 0;
    std::uint8_t nPatch = 0; // Acoustic Grand Piano
    int nMinutes = 2;
    int nTimerDelay = 2000;
    int nClef = 3;
    int nN12_min0 = 27;
    int nN12_max0 = 67;
    int nN12_min1 = 8;
    int nN12_max1 = 48;
    // The chosen MIDI ports by name, which survives renumbering; empty: none
    // chosen. The ids above stay for settings written before the names.
    QString strInDevName;
    QString strOutDevName;

    bool operator==(const TonveroSettings&) const = default;
};

// One registry value: its name and the member that holds it (exactly one of
// the two pointers is set).
struct SettingField {
    const char* name;
    int TonveroSettings::*member;
    std::uint8_t TonveroSettings::*byteMember;
};

extern const std::array<SettingField, 22> settingFields;

// A text value (REG_SZ, UTF-8), written after the numbers.
struct SettingTextField {
    const char* name;
    QString TonveroSettings::*member;
};

extern const std::array<SettingTextField, 2> settingTextFields;

// Longer names (edited by hand) are cut: no port has one.
inline constexpr int maxPortNameLength = 256;

// Registry location.
inline constexpr char softwareKeyName[] = "Software";
inline constexpr char appKeyName[] = "Tonvero";
inline constexpr char settingsKeyName[] = "Settings";
inline constexpr char setupDirValue[] = "setup_dir";

// Limits applied on loading to values edited by hand.
inline constexpr int maxMinutes = 60;
inline constexpr int maxTimerDelay = 180000;

// Moves both ends of a note range (key indexes) onto white keys, low below high, within 0..87.
void normaliseRange(int& low, int& high, const std::function<bool(int keyIndex)>& isWhite);

// Brings hand-edited values into the range the program can use: flags to 0/1,
// clef 0..3 (else 3), minutes 0..60, delay 0..180000 ms, device ids >= 0, a
// patch above 127 to 0, port names cut to maxPortNameLength, and both note
// ranges normalised.
void normaliseSettings(TonveroSettings& s, const std::function<bool(int keyIndex)>& isWhite);

// Opens or creates the application key and "Settings", reads "setup_dir" into
// strInstallDir (see installDirFromSetupDir), overwrites the members of which
// a 4-byte REG_DWORD (a REG_SZ for the names) is stored and normalises the result. False when a key
// could not be opened or created. isWhite may be empty: then the pitch class
// decides. A damaged settings file is reported once in a message box.
// Keys it has to make are written at once (NewKeys::Write), or, at start-up,
// kept in memory until the first save (NewKeys::Defer): a first start then
// writes nothing before the window is up, and the save finds them all the same.
enum class NewKeys { Write, Defer };
bool loadSettings(TonveroSettings& settings, QString& strInstallDir, std::function<bool(int keyIndex)> isWhite,
                  NewKeys newKeys = NewKeys::Write);

// The folder a "setup_dir" text names, ending in '/' so that "ReadMe.txt" can
// be appended: a trailing '/' is kept, trailing '\' (written by a Windows-minded
// installer) become one '/', and a bare path gets a '/'. Empty for an empty text.
QString installDirFromSetupDir(const QString& setupDir);

// Rebuilds "Settings" from scratch with the 24 values; nothing is written
// when the application key is missing. True when the values reached the file.
bool saveSettings(const TonveroSettings& settings);

} // namespace tonvero
