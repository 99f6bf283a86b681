// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/phrase.h"

#include <QString>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

namespace tonvero::music {

enum class Level { Easy = 0, Medium, Hard };

// A staff's note range in key indexes (0 A0 .. 87 C8), both ends included.
struct KeyRange {
    int low = 0;
    int high = KeyCount - 1;
    bool operator==(const KeyRange&) const = default;
};

// Extra chances by staff (0 the only or upper staff, 1 the lower one) and key
// index: the notes the learner misses. Each unit adds one chance to the note's.
using KeyWeights = std::array<std::array<int, KeyCount>, 2>;

// What a level writes; the levels are data so that options and tests read the
// same numbers.
struct LevelProfile {
    int maxFifths;                     // the most sharps or flats of its keys
    std::array<int, 8> intervalWeights; // by melodic interval in steps, unison .. octave
    double chromaticShare;             // notes moved off the scale by a semitone
    double restShare;                  // scale on the weight of rhythm cells with a rest
};

const LevelProfile& levelProfile(Level level);
// «лёгкий», «средний», «трудный», translated.
QString levelName(Level level);

struct PhraseRequest {
    Level level = Level::Easy;
    Key key;
    TimeSignature time;
    int bars = 2;             // 1..4
    bool grandStaff = false;  // both staves carry notes, a staff per bar
    std::array<KeyRange, 2> ranges{KeyRange{39, 60}, KeyRange{15, 39}}; // single or upper; lower
    int maxChordNotes = 1;    // 1: single notes; 2..4: some events are chords of that many at most
    bool rests = true;        // rests where the level writes them
    const KeyWeights* weights = nullptr;
};

// Picks a key for a line: one of the set that the level allows, at random; when
// none of them is allowed, the one with the fewest accidentals; C major for an empty set.
Key drawKey(const std::vector<Key>& keys, Level level, std::mt19937& random);

// A line of music that reads like music: it starts on a note of the tonic
// chord, moves mostly by steps and small leaps, steps back after a leap of a
// fourth or more, resolves a chromatic note by step in its direction, stays
// within each staff's range and ends on the tonic, third or fifth with a long
// note. Every bar is full. The same request and seed give the same line on
// every machine. Out-of-range requests are clamped, never refused; a range with
// no note of the scale is filled with its chromatic notes.
Phrase generatePhrase(const PhraseRequest& request, std::mt19937& random);
Phrase generatePhrase(const PhraseRequest& request, std::uint32_t seed);

} // namespace tonvero::music
