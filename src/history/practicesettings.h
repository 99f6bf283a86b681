// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The history's own settings, under HKEY_CURRENT_USER\Software\Tonvero\History.

namespace tonvero::history {

struct PracticeSettings {
    // Seed each exercise's draw from the remembered practice.
    int bRememberPractice = 1;

    // Reads the stored values over the defaults; a missing or odd value keeps
    // its default. Writes nothing. False when the key could not be read.
    bool load();
    // True when the values reached the settings file.
    bool save() const;

    bool operator==(const PracticeSettings&) const = default;
};

} // namespace tonvero::history
