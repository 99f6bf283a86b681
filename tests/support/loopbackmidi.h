// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A receiver that records what a MIDI input device hands it, safe to read
// from the test thread while the device's callback thread writes.

#include "midi/midireceiver.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

namespace testsupport {

struct ReceivedMsg {
    enum Kind { Short, ShortError, Long, LongError } kind;
    std::uint32_t word = 0;
    std::vector<unsigned char> bytes;
    std::uint32_t timeStamp = 0;

    bool operator==(const ReceivedMsg&) const = default;
};

class RecordingReceiver : public midi::CMIDIReceiver {
public:
    void OnLongMsg(const char* msg, std::uint32_t bytesRecorded, std::uint32_t timeStamp) override
    {
        add({ReceivedMsg::Long, 0, bytes(msg, bytesRecorded), timeStamp});
    }
    void OnShortMsg(std::uint32_t msg, std::uint32_t timeStamp) override
    {
        add({ReceivedMsg::Short, msg, {}, timeStamp});
    }
    void OnLongMsgError(const char* msg, std::uint32_t bytesRecorded, std::uint32_t timeStamp) override
    {
        add({ReceivedMsg::LongError, 0, bytes(msg, bytesRecorded), timeStamp});
    }
    void OnShortMsgError(std::uint32_t msg, std::uint32_t timeStamp) override
    {
        add({ReceivedMsg::ShortError, msg, {}, timeStamp});
    }

    std::vector<ReceivedMsg> received() const
    {
        std::lock_guard lock(m_mutex);
        return m_received;
    }

    bool waitForCount(std::size_t count, int timeoutMs = 5000) const
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return m_received.size() >= count; });
    }

private:
    static std::vector<unsigned char> bytes(const char* p, std::uint32_t n)
    {
        const auto* u = reinterpret_cast<const unsigned char*>(p);
        return std::vector<unsigned char>(u, u + n);
    }
    void add(ReceivedMsg m)
    {
        {
            std::lock_guard lock(m_mutex);
            m_received.push_back(std::move(m));
        }
        m_changed.notify_all();
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<ReceivedMsg> m_received;
};

} // namespace testsupport
