// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The kind of exercise and how lines of music are written, kept apart from
// the single note's settings under HKEY_CURRENT_USER\Software\Tonvero\Phrase,
// one REG_DWORD per member, so that every older setting keeps its meaning.

#include <cstdint>

namespace tonvero {

inline constexpr char phraseKeyName[] = "Phrase";

// Bit of a key in a set of keys: majors by fifths (−7..7) in bits 0..14, minors in 15..29.
constexpr int phraseKeyBit(int fifths, bool minor)
{
    return (fifths + 7) + (minor ? 15 : 0);
}

class PhraseSettings {
public:
    enum Kind { SingleNote = 0, Phrase = 1, Piece = 2 };
    // With the microphone as an input, chords are played as arpeggios or not written at all.
    enum MicChords { MicArpeggio = 0, MicNoChords = 1 };
    static constexpr int keyBit(int fifths, bool minor) { return phraseKeyBit(fifths, minor); }
    static constexpr std::uint32_t AllKeys = (1u << 30) - 1;
    static constexpr std::uint32_t DefaultKeys = (1u << phraseKeyBit(0, false)) | (1u << phraseKeyBit(1, false))
        | (1u << phraseKeyBit(-1, false)) | (1u << phraseKeyBit(0, true)) | (1u << phraseKeyBit(1, true))
        | (1u << phraseKeyBit(-1, true));

    int nExerciseKind = SingleNote;
    int nPhraseLevel = 0;      // 0 easy, 1 medium, 2 hard
    int nPhraseBars = 2;       // 1..4
    int nPhraseTime = 2;       // 0 2/4, 1 3/4, 2 4/4, 3 6/8
    int nPhraseKeys = int(DefaultKeys);
    int bPhraseKeyPerLine = 0; // a key drawn for every line, or once per exercise
    int nPhraseChordNotes = 1; // 1: single notes; 2..4: chords of up to that many
    int bPhraseRests = 1;
    int bPhraseKeepPlayed = 1; // played notes stay, greyed, or vanish
    int nMicChords = MicArpeggio;

    bool operator==(const PhraseSettings&) const = default;

    // Reads the values stored as 4-byte REG_DWORDs; any other value, or one
    // out of range, keeps its default. A missing key keeps every default;
    // reading never writes. False when the store could not be read.
    bool load();
    // Writes the values that differ from base (all of them when base is null)
    // over what the file holds now, so another instance's changes survive.
    bool save(const PhraseSettings* base = nullptr) const;
};

} // namespace tonvero
