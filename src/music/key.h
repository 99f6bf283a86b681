// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/pitch.h"

#include <QString>
#include <array>
#include <vector>

namespace tonvero::music {

enum class Mode { Major, Minor };

// A key: its signature as fifths (−7 seven flats .. +7 seven sharps) and its
// mode. The minor shares the signature of its relative major.
class Key {
public:
    static constexpr int MaxFifths = 7;

    constexpr Key() = default;
    // Fifths outside −7..7 are clamped.
    constexpr Key(int fifths, Mode mode)
        : m_fifths(fifths < -MaxFifths ? -MaxFifths : fifths > MaxFifths ? MaxFifths : fifths),
          m_mode(mode)
    {
    }

    int fifths() const { return m_fifths; }
    Mode mode() const { return m_mode; }
    int accidentalCount() const { return m_fifths < 0 ? -m_fifths : m_fifths; }

    // The accidental the signature gives a letter: +1, −1 or 0.
    int alterFor(Step step) const;
    Pitch tonic(int octave = 4) const;
    // The letters of the signature in the order they are written (F C G D A E B
    // for sharps, B E A D G C F for flats).
    std::vector<Step> signatureSteps() const;
    // The seven degrees from the tonic, letters and accidentals (natural minor).
    std::array<Pitch, 7> scale() const;
    // The degree 0..6 of a letter in this key.
    int degreeOf(Step step) const;
    // Whether the sounding pitch class belongs to the scale.
    bool inScale(int midi) const;

    // "соль мажор", "си-бемоль минор", translated.
    QString displayName() const;

    bool operator==(const Key&) const = default;

private:
    int m_fifths = 0;
    Mode m_mode = Mode::Major;
};

} // namespace tonvero::music
