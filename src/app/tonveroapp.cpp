// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tonveroapp.h"

#include "app/language.h"
#include "app/pieceopener.h"
#include "app/tonverodlg.h"
#include "platform/process/fontwarmup.h"
#include "platform/process/termination.h"

#include <QApplication>
#include <QTimer>
#include <cstdio>
#include <memory>

bool CTonveroApp::checkDisplay()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || !qEnvironmentVariableIsEmpty("DISPLAY")
        || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return true;
    std::fputs("tonvero: no graphical display (neither DISPLAY nor WAYLAND_DISPLAY is set); "
               "start it from a desktop session, or headless with: xvfb-run -a tonvero\n",
               stderr);
    return false;
}

int CTonveroApp::run(int argc, char* argv[])
{
    if (!checkDisplay())
        return 1;
    const platform::FontWarmUp fonts; // read while the display is connected
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tonvero"));
    // Wayland finds the window's icon and name through its desktop entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tonvero.tonvero"));
    tonvero::Translations translations;
    translations.install(tonvero::interfaceLanguage(tonvero::loadLanguageChoice()));
    // Logout, Ctrl+C or kill end the program as closing the window does, also
    // while a box raised as the window is built (a damaged settings file) is up.
    platform::TerminationSignals termination;
    bool endRequested = false;
    const QMetaObject::Connection early = QObject::connect(
        &termination, &platform::TerminationSignals::requested, &app, [&endRequested] {
            endRequested = true;
            platform::closeModalsAndWindow(nullptr);
        });
    auto dlg = std::make_unique<CTonveroDlg>();
    QObject::disconnect(early);
    QObject::connect(&termination, &platform::TerminationSignals::requested, dlg.get(),
                     [w = dlg.get()] { platform::closeModalsAndWindow(w); });
    // A piece named on the command line (the desktop's "Open with") opens once the window is up.
    const QString piece = tonvero::pieceFileArgument(QApplication::arguments());
    if (!piece.isEmpty())
        QTimer::singleShot(0, dlg.get(), [w = dlg.get(), piece] { w->OpenPiece(piece); });
    if (!endRequested)
        dlg->exec();
    dlg.reset(); // shutdown: MIDI closed, settings saved, while the application still exists
    return 0;
}
