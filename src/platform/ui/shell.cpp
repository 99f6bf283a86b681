// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/shell.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace platform {

namespace {
std::function<bool(const QString&)> shellHook;
}

void setShellOpenHook(std::function<bool(const QString&)> hook)
{
    shellHook = std::move(hook);
}

bool ShellOpen(const QString& fileOrAddress)
{
    if (shellHook)
        return shellHook(fileOrAddress);
    const QUrl asUrl(fileOrAddress);
    const bool isAddress = !asUrl.scheme().isEmpty() && asUrl.scheme().size() > 1;
    const QUrl url = isAddress ? asUrl : QUrl::fromLocalFile(QFileInfo(fileOrAddress).absoluteFilePath());
    return QDesktopServices::openUrl(url);
}

} // namespace platform
