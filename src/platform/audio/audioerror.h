// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Why the microphone cannot be heard, sorted by what the user can do about
// it. The sound server's own words ride along for the curious, but are never
// all a user is told: they are terse, English and name no remedy.

#include <QMetaType>
#include <QString>

namespace platform {

struct AudioError {
    enum class Cause {
        None,
        NoSoundLibrary, // the sound server's client library is not installed
        NoSoundServer,  // PulseAudio or PipeWire is not running or went away
        NoInput,        // no input device, or the chosen one is gone
        NoPermission,   // the sound server refused this user or program
        NoDetector,     // the note detector's library (aubio) cannot be loaded
        Other,
    };

    Cause cause = Cause::None;
    QString detail; // the sound system's own words; may be empty

    bool isError() const { return cause != Cause::None; }
    // One or two plain sentences in the interface's language: what is missing and what to do.
    QString text() const;

    // The cause of a PulseAudio error code (PA_ERR_...).
    static Cause pulseCause(int code);
    static AudioError fromPulse(int code, const QString& detail);

    bool operator==(const AudioError&) const = default;
};

} // namespace platform

Q_DECLARE_METATYPE(platform::AudioError)
