// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>

namespace platform {

// Opens a local file or an address (http…, mailto:) with the desktop's
// default application. Returns false when nothing could be asked to open it.
bool ShellOpen(const QString& fileOrAddress);

// Test seam: while set, ShellOpen records through the hook instead of
// starting another program; the hook's result is returned.
void setShellOpenHook(std::function<bool(const QString&)> hook);

} // namespace platform
