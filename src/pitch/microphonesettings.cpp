// SPDX-License-Identifier: GPL-3.0-or-later
#include "pitch/microphonesettings.h"

#include "settings/regkey.h"


namespace pitch {

using namespace platform;

namespace {

constexpr const char* kKey = "Software\\Tonvero\\Microphone";

} // namespace

MicrophoneSettings MicrophoneSettings::normalized() const
{
    const MicrophoneSettings defaults;
    MicrophoneSettings s = *this;
    if (s.nReferenceA4 < kMinReferenceHz || s.nReferenceA4 > kMaxReferenceHz)
        s.nReferenceA4 = defaults.nReferenceA4;
    if (s.nTransposition < 0 || s.nTransposition >= kTranspositionCount)
        s.nTransposition = defaults.nTransposition;
    if (s.nHoldMs < kMinHoldMs || s.nHoldMs > kMaxHoldMs)
        s.nHoldMs = defaults.nHoldMs;
    if (s.nToleranceCents < kMinToleranceCents || s.nToleranceCents > kMaxToleranceCents)
        s.nToleranceCents = defaults.nToleranceCents;
    return s;
}

DetectorSettings MicrophoneSettings::detectorSettings() const
{
    const MicrophoneSettings s = normalized();
    DetectorSettings d;
    d.referenceA4Hz = s.nReferenceA4;
    d.holdMs = s.nHoldMs;
    d.toleranceCents = s.nToleranceCents;
    return d;
}

MicrophoneSettings MicrophoneSettings::load()
{
    MicrophoneSettings s;
    tonvero::RegKey key;
    if (key.open(QLatin1String(kKey)) != ERROR_SUCCESS)
        return s;
    int enabled = 0;
    if (key.readInt(QStringLiteral("bEnabled"), enabled))
        s.bEnabled = enabled != 0;
    key.readText(QStringLiteral("strDevice"), s.strDevice);
    key.readInt(QStringLiteral("nReferenceA4"), s.nReferenceA4);
    key.readInt(QStringLiteral("nTransposition"), s.nTransposition);
    key.readInt(QStringLiteral("nHoldMs"), s.nHoldMs);
    key.readInt(QStringLiteral("nToleranceCents"), s.nToleranceCents);
    return s.normalized();
}

bool MicrophoneSettings::save() const
{
    const MicrophoneSettings s = normalized();
    tonvero::RegKey key;
    if (key.create(QLatin1String(kKey)) != ERROR_SUCCESS)
        return false;
    bool ok = key.writeDword(QStringLiteral("bEnabled"), s.bEnabled ? 1 : 0);
    ok = key.writeText(QStringLiteral("strDevice"), s.strDevice) && ok;
    ok = key.writeDword(QStringLiteral("nReferenceA4"), s.nReferenceA4) && ok;
    ok = key.writeDword(QStringLiteral("nTransposition"), s.nTransposition) && ok;
    ok = key.writeDword(QStringLiteral("nHoldMs"), s.nHoldMs) && ok;
    ok = key.writeDword(QStringLiteral("nToleranceCents"), s.nToleranceCents) && ok;
    // Closing the last handle writes the file; a failed write shows here.
    return key.close() == ERROR_SUCCESS && ok;
}

} // namespace pitch
