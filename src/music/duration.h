// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/fraction.h"

#include <optional>

namespace tonvero::music {

// The written value of a note or rest, longest first.
enum class NoteValue { Whole = 0, Half, Quarter, Eighth, Sixteenth };

struct Duration {
    NoteValue value = NoteValue::Quarter;
    int dots = 0; // 0..2

    // Length as a fraction of a whole note: each dot adds half of what it follows.
    Fraction length() const;
    // Flags or beams the value carries: 0 for quarters and longer.
    int flagCount() const;
    // The value that writes the length as one note (with up to two dots), if any.
    static std::optional<Duration> fromLength(Fraction length);

    bool operator==(const Duration&) const = default;
};

} // namespace tonvero::music
