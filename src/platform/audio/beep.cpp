// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/beep.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <numbers>

namespace platform {

namespace {

constexpr int sampleRate = 48000;
constexpr int maxDurationMs = 10000;
constexpr double amplitude = 0.4 * 32767;
constexpr double fadeMs = 5.0;
constexpr unsigned latencyUs = 50000;

void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

// ALSA reports through one process-wide handler; it is silenced only while we
// talk to it, and whatever was there before is put back.
class QuietAlsa {
public:
    QuietAlsa() : m_previous(snd_lib_error) { snd_lib_error_set_handler(silentAlsaError); }
    ~QuietAlsa() { snd_lib_error_set_handler(m_previous); }
    QuietAlsa(const QuietAlsa&) = delete;
    QuietAlsa& operator=(const QuietAlsa&) = delete;

private:
    snd_lib_error_handler_t m_previous;
};

std::mutex beepMutex; // one tone at a time, and the error handler swap stays paired

} // namespace

std::vector<std::int16_t> beepSamples(int frequencyHz, int durationMs, int rate)
{
    if (frequencyHz <= 0 || durationMs <= 0 || rate <= 0 || 2 * frequencyHz >= rate)
        return {};
    const auto count = std::size_t(std::int64_t(rate) * std::min(durationMs, maxDurationMs) / 1000);
    std::vector<std::int16_t> out(count);
    const std::size_t fade = std::min(std::size_t(fadeMs * rate / 1000.0), count / 2);
    const double step = 2.0 * std::numbers::pi * frequencyHz / rate;
    for (std::size_t i = 0; i < count; ++i) {
        double gain = 1.0;
        const std::size_t fromEnd = count - 1 - i;
        const std::size_t edge = std::min(i, fromEnd);
        if (edge < fade)
            gain = 0.5 - 0.5 * std::cos(std::numbers::pi * double(edge) / double(fade));
        out[i] = std::int16_t(std::lround(amplitude * gain * std::sin(step * double(i))));
    }
    return out;
}

void Beep(int frequencyHz, int durationMs)
{
    const std::vector<std::int16_t> samples = beepSamples(frequencyHz, durationMs, sampleRate);
    if (samples.empty())
        return;

    std::lock_guard lock(beepMutex);
    QuietAlsa quiet;
    snd_pcm_t* pcm = nullptr;
    // Non-blocking open, so a device held by another program does not stall us.
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0)
        return;
    if (snd_pcm_nonblock(pcm, 0) < 0
        || snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, sampleRate, 1,
                              latencyUs)
               < 0) {
        snd_pcm_close(pcm);
        return;
    }
    const std::int16_t* p = samples.data();
    snd_pcm_uframes_t left = samples.size();
    while (left > 0) {
        snd_pcm_sframes_t n = snd_pcm_writei(pcm, p, left);
        if (n < 0)
            n = snd_pcm_recover(pcm, int(n), 1);
        if (n < 0)
            break;
        p += n;
        left -= snd_pcm_uframes_t(n);
    }
    snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
}

} // namespace platform
