// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The microphone's settings, kept in the per-user store under
// HKEY_CURRENT_USER\Software\Tonvero\Microphone, value names after the members.

#include "pitch/notedetector.h"
#include "pitch/transposition.h"

#include <QString>

namespace pitch {

struct MicrophoneSettings {
    static constexpr int kMinReferenceHz = 415;
    static constexpr int kMaxReferenceHz = 466;
    static constexpr int kMinHoldMs = 10;
    static constexpr int kMaxHoldMs = 200;
    static constexpr int kMinToleranceCents = 10;
    static constexpr int kMaxToleranceCents = 50;

    bool bEnabled = false;
    QString strDevice; // the input's id; empty: the default input
    int nReferenceA4 = 440; // Hz
    int nTransposition = int(Transposition::AsWritten);
    int nHoldMs = DetectorSettings{}.holdMs;
    int nToleranceCents = DetectorSettings{}.toleranceCents;

    // Out-of-range values back to their defaults.
    MicrophoneSettings normalized() const;
    Transposition transposition() const { return transpositionFromInt(nTransposition); }
    DetectorSettings detectorSettings() const;

    // Missing or damaged values get their defaults; the store is not written.
    static MicrophoneSettings load();
    // False when the store cannot be written.
    bool save() const;

    bool operator==(const MicrophoneSettings&) const = default;
};

} // namespace pitch
