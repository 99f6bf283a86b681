// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/duration.h"
#include "music/key.h"
#include "music/pitch.h"
#include "music/timesignature.h"

#include <vector>

namespace tonvero::music {

// One written note of an event and the staff it stands on (0 the only or the
// upper staff, 1 the lower staff of the grand staff).
struct Note {
    Pitch pitch;
    int staff = 0;

    bool operator==(const Note&) const = default;
};

// What sounds at one moment of the line: a note, a chord of notes sharing a
// duration (answered as one), or a rest when it has no notes.
struct Event {
    Duration duration;
    std::vector<Note> notes;
    int restStaff = 0; // where a rest is written

    bool isRest() const { return notes.empty(); }
    bool isChord() const { return notes.size() > 1; }
    bool operator==(const Event&) const = default;
};

// A bar: its events one after another.
struct Bar {
    std::vector<Event> events;

    Fraction length() const;
    bool operator==(const Bar&) const = default;
};

// A line of music: key, meter and bars. The events are read in order; an
// event's place in the line is its index counted over all bars.
struct Phrase {
    Key key;
    TimeSignature time;
    std::vector<Bar> bars;

    int eventCount() const;
    // The event at a place in the line; null past its end.
    const Event* eventAt(int index) const;
    // Whether every bar holds exactly the meter's length.
    bool barsComplete() const;
    bool operator==(const Phrase&) const = default;
};

} // namespace tonvero::music
