// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the interface looks, kept apart from the exercise settings under
// HKEY_CURRENT_USER\Software\Tonvero\Interface, one REG_DWORD per member.

namespace tonvero {

inline constexpr char interfaceKeyName[] = "Interface";

class InterfaceSettings {
public:
    // Marks that differ by shape as well as colour (CInstrumentCtrl::ShapeMarks).
    int bShapeMarks = 0;
    // The interface's language, a LanguageChoice: 0 the system's, 1 Russian,
    // 2 English. Read once at start-up.
    int nLanguage = 0;

    bool operator==(const InterfaceSettings&) const = default;

    // Reads the values that are stored as 4-byte REG_DWORDs; any other value
    // (or one out of range) keeps its default, and a flag reads as 0 or 1. A
    // missing key keeps every default; reading never writes the file. False
    // when the store could not be read.
    bool load();

    // Writes this class's values and leaves every other value of the key as it
    // is. True when they reached the file.
    bool save() const;

    // Hands the values to the parts of the program that use them.
    void apply() const;

    // At start-up: the stored values, applied. False when they could not be
    // read (the defaults are applied then).
    static bool loadAndApply();
};

} // namespace tonvero
