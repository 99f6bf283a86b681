// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <mutex>

namespace midi {

// First-in first-out queue of the buffers a device has handed to the system;
// owns them. Buffer::Unprepare() returns false while the system still holds
// the buffer, which then stays queued rather than being freed under it.
template <typename Buffer>
class BufferQueue {
public:
    BufferQueue() = default;
    ~BufferQueue() { RemoveAll(); }
    BufferQueue(const BufferQueue&) = delete;
    BufferQueue& operator=(const BufferQueue&) = delete;

    // Holds the queue while a buffer is handed to the system and appended, so a
    // completion that comes back at once cannot find the queue without it.
    [[nodiscard]] std::unique_lock<std::recursive_mutex> Lock() { return std::unique_lock(m_mutex); }

    // Appends a buffer at the back; the queue owns it from now on.
    void AddBuffer(Buffer* buffer)
    {
        std::lock_guard lock(m_mutex);
        m_buffers.push_back(buffer);
    }

    // Unprepares and frees the oldest buffer, if any.
    void RemoveOne()
    {
        std::lock_guard lock(m_mutex);
        if (m_buffers.empty())
            return;
        Buffer* buffer = m_buffers.front();
        if (!buffer->Unprepare())
            return;
        m_buffers.pop_front();
        delete buffer;
    }

    // Frees every buffer, oldest first, within one holding of the lock.
    void RemoveAll()
    {
        std::lock_guard lock(m_mutex);
        while (!m_buffers.empty()) {
            const std::size_t before = m_buffers.size();
            RemoveOne();
            if (m_buffers.size() == before) {
                // Still held by the system: give up ownership rather than free it.
                m_buffers.pop_front();
            }
        }
    }

    bool IsEmpty() const
    {
        std::lock_guard lock(m_mutex);
        return m_buffers.empty();
    }

private:
    mutable std::recursive_mutex m_mutex;
    std::deque<Buffer*> m_buffers;
};

} // namespace midi
