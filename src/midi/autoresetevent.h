// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <mutex>

namespace midi {

// An event that releases one waiter per signal; signals do not add up.
class AutoResetEvent {
public:
    // Sets the event; a waiter (or the next one) takes it and resets it.
    void set()
    {
        {
            std::lock_guard lock(m_mutex);
            m_signalled = true;
        }
        m_cond.notify_one();
    }

    // Waits without a time limit until the event is set, then resets it.
    void wait()
    {
        std::unique_lock lock(m_mutex);
        m_cond.wait(lock, [this] { return m_signalled; });
        m_signalled = false;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_signalled = false;
};

} // namespace midi
