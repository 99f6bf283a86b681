// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The names of the twelve notes, in the interface's language: as written
// beside the stave («До #», «Ре b») and as a screen reader says them
// («До диез», «Ре бемоль»). Pitch class 0 is C.

#include <QString>

namespace tonvero::music {

struct Pitch;

// The sharp name of every pitch class; a flat name only for the five black keys
// (empty for the others).
QString sharpName(int pitchClass);
QString flatName(int pitchClass);

// Words for speech; a flat is asked for with flat set, and falls back to the sharp name.
QString spokenName(int pitchClass, bool flat);

// A written note's name as the stave's hints write it: its letter's name and
// its accidental as written («Фа #», «Си b», «Фа ##», «Си bb», «Ми #»), without
// octave. An accidental beyond a double one writes the letter alone.
QString writtenName(const Pitch& pitch);
// The same for speech, with the octave: «Фа диез 4», «Си дубль-бемоль 3».
QString spokenWrittenName(const Pitch& pitch);

} // namespace tonvero::music
