// SPDX-License-Identifier: GPL-3.0-or-later
#include "music/duration.h"

#include <algorithm>

namespace tonvero::music {

Fraction Duration::length() const
{
    // A value cast from a bad number reads as the nearest real one.
    const int v = std::clamp(static_cast<int>(value), 0, static_cast<int>(NoteValue::Sixteenth));
    Fraction base(1, 1 << v);
    Fraction total = base;
    for (int d = 0; d < dots && d < 2; ++d) {
        base = base / 2;
        total += base;
    }
    return total;
}

int Duration::flagCount() const
{
    return std::clamp(static_cast<int>(value) - 2, 0, 2);
}

std::optional<Duration> Duration::fromLength(Fraction length)
{
    for (int v = 0; v <= static_cast<int>(NoteValue::Sixteenth); ++v)
        for (int dots = 0; dots <= 2; ++dots) {
            const Duration d{static_cast<NoteValue>(v), dots};
            if (d.length() == length)
                return d;
        }
    return std::nullopt;
}

} // namespace tonvero::music
