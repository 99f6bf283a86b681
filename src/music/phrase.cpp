// SPDX-License-Identifier: GPL-3.0-or-later
#include "music/phrase.h"

namespace tonvero::music {

Fraction Bar::length() const
{
    Fraction total;
    for (const Event& e : events)
        total += e.duration.length();
    return total;
}

int Phrase::eventCount() const
{
    int n = 0;
    for (const Bar& b : bars)
        n += static_cast<int>(b.events.size());
    return n;
}

const Event* Phrase::eventAt(int index) const
{
    if (index < 0)
        return nullptr;
    for (const Bar& b : bars) {
        if (index < static_cast<int>(b.events.size()))
            return &b.events[index];
        index -= static_cast<int>(b.events.size());
    }
    return nullptr;
}

bool Phrase::barsComplete() const
{
    for (const Bar& b : bars)
        if (b.length() != time.barLength())
            return false;
    return true;
}

} // namespace tonvero::music
