// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A stand-in audio input that plays a buffer from its own thread in small
// fragments, as a sound card delivers them: as fast as it can, or in real
// time and round and round until stopped (for a live meter).

#include "platform/audio/audiocapture.h"

#include <atomic>
#include <thread>
#include <vector>

namespace testsupport {

class BufferAudioSource : public platform::AudioSource {
public:
    enum class Pace { AsFastAsPossible, RealTimeLooping };

    // failAtEnd: once the buffer is played, capture fails as an unplugged input does.
    explicit BufferAudioSource(std::vector<float> samples, Pace pace = Pace::AsFastAsPossible,
                               bool failAtEnd = false);
    ~BufferAudioSource() override;

    // Fails for the device id "missing", as a missing input does.
    bool start(const QString& deviceId, FrameCallback onFrames, ErrorCallback onError, int sampleRate,
               platform::AudioError* error) override;
    void stop() override;
    bool isRunning() const override;

private:
    std::vector<float> m_samples;
    Pace m_pace;
    bool m_failAtEnd;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
};

} // namespace testsupport
