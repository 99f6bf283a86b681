// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <thread>

namespace platform {

// Reads the system's font configuration on a thread of its own while the
// application connects to the display; the first window to lay out text
// would otherwise wait for it (milliseconds of XML on a typical desktop).
// Where Qt draws without fontconfig there is nothing to read and nothing is
// started. Construct it before the QApplication.
class FontWarmUp {
public:
    FontWarmUp();
    ~FontWarmUp(); // waits for the thread, if it still runs
    FontWarmUp(const FontWarmUp&) = delete;
    FontWarmUp& operator=(const FontWarmUp&) = delete;

    bool started() const { return m_thread.joinable(); }

private:
    std::thread m_thread;
};

} // namespace platform
