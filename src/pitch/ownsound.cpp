// SPDX-License-Identifier: GPL-3.0-or-later
#include "pitch/ownsound.h"

#include <algorithm>
#include <cmath>

namespace pitch {

namespace {

// The octave below, the note itself and harmonics 2 to 6, in semitones.
constexpr double kRelatives[] = {-12.0, 0.0, 12.0, 19.0196, 24.0, 27.8631, 31.0196};
// A heard note is a rounded pitch: it lies within half a semitone of the true
// one, with a little room for the detector's own wobble.
constexpr double kMatchSemitones = 0.55;

} // namespace

void OwnSound::noteOn(int note, std::int64_t nowMs)
{
    expire(nowMs);
    for (Sound& s : m_sounds) {
        if (s.key == note) {
            if (s.endMs >= 0) {
                s.count = 0;
                s.endMs = -1;
            }
            ++s.count;
            return;
        }
    }
    m_sounds.push_back({double(note), note, 1, nowMs, -1});
}

void OwnSound::noteOff(int note, std::int64_t nowMs)
{
    for (Sound& s : m_sounds) {
        if (s.key == note && s.endMs < 0 && --s.count <= 0) {
            s.count = 0;
            s.endMs = nowMs;
        }
    }
    expire(nowMs);
}

void OwnSound::allNotesOff(std::int64_t nowMs)
{
    for (Sound& s : m_sounds) {
        if (s.endMs < 0) {
            s.count = 0;
            s.endMs = nowMs;
        }
    }
    expire(nowMs);
}

void OwnSound::tone(double frequencyHz, int durationMs, std::int64_t nowMs)
{
    expire(nowMs);
    if (!(frequencyHz > 0.0) || durationMs <= 0)
        return;
    const double note = 69.0 + 12.0 * std::log2(frequencyHz / 440.0);
    m_sounds.push_back({note, -1, 0, nowMs, nowMs + durationMs});
}

bool OwnSound::isOwn(int heardNote, std::int64_t nowMs, double a4Hz) const
{
    // Our pitches are at 440 Hz; the heard note is at the detector's tuning.
    const double shift = a4Hz > 0.0 ? 12.0 * std::log2(440.0 / a4Hz) : 0.0;
    for (const Sound& s : m_sounds) {
        if (nowMs < s.startMs || (s.endMs >= 0 && nowMs - s.endMs >= kTailMs))
            continue;
        const double own = s.note + shift;
        for (double relative : kRelatives) {
            if (std::abs(double(heardNote) - (own + relative)) <= kMatchSemitones)
                return true;
        }
    }
    return false;
}

void OwnSound::expire(std::int64_t nowMs)
{
    std::erase_if(m_sounds, [nowMs](const Sound& s) { return s.endMs >= 0 && nowMs - s.endMs >= kTailMs; });
}

} // namespace pitch
