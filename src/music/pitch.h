// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace tonvero::music {

class Key;

// The letter of a written note.
enum class Step { C = 0, D, E, F, G, A, B };

constexpr int KeyCount = 88;      // piano keys, key index 0 (A0) .. 87 (C8)
constexpr int FirstMidiNote = 21; // MIDI number of key index 0

// A written note: its letter, its accidental (−2 double flat .. +2 double
// sharp) and its octave (scientific: C4 is middle C; B♯3 sounds as C4 but
// keeps the octave of its letter).
struct Pitch {
    Step step = Step::C;
    int alter = 0;
    int octave = 4;

    // Semitones above C of a natural step.
    static int naturalSemitone(Step step);

    int midi() const;
    int keyIndex() const { return midi() - FirstMidiNote; }
    // Steps above C0: one per line and space, so two pitches a third apart
    // differ by 2 whatever their accidentals.
    int diatonicIndex() const { return octave * 7 + static_cast<int>(step); }
    bool isValid() const { return alter >= -2 && alter <= 2; }

    // The pitch on a diatonic index with the given accidental.
    static Pitch fromDiatonic(int diatonicIndex, int alter);
    // The sounding note spelled as the key writes it: its own scale notes as
    // they are, other notes by the nearer accidental in the key's direction
    // (sharps in sharp keys and C major, flats in flat keys; the raised sixth
    // and seventh in minor), never a double accidental where a single one will do.
    static Pitch fromMidi(int midi, const Key& key);

    // "C#4", "Bb3", "Fx5" (double sharp), "Ebb2": plain ASCII for files and logs.
    QString asciiName() const;

    bool operator==(const Pitch&) const = default;
};

} // namespace tonvero::music
