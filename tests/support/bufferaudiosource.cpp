// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/bufferaudiosource.h"

#include <algorithm>
#include <chrono>

namespace testsupport {

BufferAudioSource::BufferAudioSource(std::vector<float> samples, Pace pace, bool failAtEnd)
    : m_samples(std::move(samples)), m_pace(pace), m_failAtEnd(failAtEnd)
{
}

BufferAudioSource::~BufferAudioSource()
{
    stop();
}

bool BufferAudioSource::start(const QString& deviceId, FrameCallback onFrames, ErrorCallback onError, int sampleRate,
                              platform::AudioError* error)
{
    if (deviceId == QLatin1String("missing")) {
        if (error)
            *error = {platform::AudioError::Cause::NoInput, QStringLiteral("No such entity")};
        return false;
    }
    stop();
    m_stop = false;
    m_running = true;
    m_thread = std::thread([this, onFrames, onError, sampleRate] {
        constexpr std::size_t fragment = 220;
        const auto fragmentTime = std::chrono::microseconds(std::int64_t(fragment) * 1000000 / sampleRate);
        auto next = std::chrono::steady_clock::now();
        do {
            for (std::size_t i = 0; i < m_samples.size() && !m_stop; i += fragment) {
                onFrames(m_samples.data() + i, std::min(fragment, m_samples.size() - i));
                if (m_pace == Pace::RealTimeLooping) {
                    next += fragmentTime;
                    std::this_thread::sleep_until(next);
                }
            }
        } while (m_pace == Pace::RealTimeLooping && !m_stop);
        if (m_failAtEnd && onError && !m_stop)
            onError({platform::AudioError::Cause::NoInput, QStringLiteral("Entity killed")});
        m_running = false;
    });
    return true;
}

void BufferAudioSource::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    m_running = false;
}

bool BufferAudioSource::isRunning() const
{
    return m_running;
}

} // namespace testsupport
