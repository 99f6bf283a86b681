// SPDX-License-Identifier: GPL-3.0-or-later
// Builds the main window off-screen and saves it in each clef and with the help guide.
#include "app/templates.h"
#include "app/tonverodlg.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTemporaryDir>
#include <cstdio>

namespace {

bool save(QWidget& window, const QDir& dir, const char* name)
{
    QApplication::processEvents();
    const QString path = dir.filePath(QString::fromLatin1(name));
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "tonvero_shots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tonvero_shots <outdir>\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The pictures show the defaults, never the settings or history of whoever runs this.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (config.path() + QStringLiteral("/data")).toLocal8Bit());

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tonvero"));
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "tonvero_shots: cannot create %s\n", argv[1]);
        return 1;
    }

    CTonveroDlg window;
    window.show();
    QApplication::processEvents();

    struct Shot {
        int command;
        const char* name;
    };
    const Shot shots[] = {
        {tonvero::CmdClefTreble, "window-treble.png"},
        {tonvero::CmdClefBass, "window-bass.png"},
        {tonvero::CmdClefAlto, "window-alto.png"},
        {tonvero::CmdClefTrebleBass, "window-grand.png"},
    };
    bool ok = true;
    for (const Shot& s : shots) {
        window.OnCommand(s.command);
        ok = save(window, dir, s.name) && ok;
    }
    window.OnCommand(tonvero::CmdHelp);
    ok = save(window, dir, "window-help.png") && ok;
    return ok ? 0 : 1;
}
