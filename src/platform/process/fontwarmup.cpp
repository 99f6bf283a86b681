// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/process/fontwarmup.h"

#include <dlfcn.h>

namespace platform {

FontWarmUp::FontWarmUp()
{
    // Qt's X11 and Wayland platforms load fontconfig with QtGui, so it is in
    // the process already; looked up rather than linked, it costs nothing
    // where it is absent. FcInit is safe to race: a second caller either
    // finds the configuration or builds its own and drops the spare.
    using Init = int (*)();
    if (auto init = reinterpret_cast<Init>(::dlsym(RTLD_DEFAULT, "FcInit")))
        m_thread = std::thread([init] { init(); });
}

FontWarmUp::~FontWarmUp()
{
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace platform
