// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

namespace shots {

// Headless pictures on a laptop's 1366×768 screen, unless the caller chose a
// platform: windows size themselves to the screen they open on.
inline void useSmallScreen(const QTemporaryDir& dir)
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return;
    const QString path = dir.filePath(QStringLiteral("screen.json"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)
        && file.write(R"({"screens": [{"name": "laptop", "x": 0, "y": 0, "width": 1366, "height": 768,
                         "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})")
            > 0) {
        file.close();
        qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + path.toLocal8Bit());
    } else {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
}

} // namespace shots
