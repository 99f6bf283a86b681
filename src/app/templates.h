// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/ui/dialogtemplate.h"

#include <QHash>
#include <QString>
#include <functional>
#include <vector>

class QAction;
class QMenuBar;
class QWidget;

namespace tonvero {

// Item ids of the main window (template 102).
enum MainItem {
    IdcGuitar = 1001,
    IdcBass = 1002,
    IdcPiano = 1003,
    IdcStave = 1004,
    IdcStartStop = 1008,
    IdcPianoBox = 1009,
    IdcGuitarBox = 1010,
    IdcBassBox = 1011,
    IdcNoteName = 1012,
    IdcTime = 1014,
    IdcNotes = 1015,
    IdcErrors = 1016,
    IdcTimeCaption = 1017,
    IdcNotesCaption = 1018,
    IdcErrorsCaption = 1019,
};

// Command ids of menu 128.
enum MainCommand {
    CmdExit = 57665,
    CmdOptions = 32700,
    CmdHelp = 32701,
    CmdReadMe = 32702,
    CmdHomePage = 32703,
    CmdClefTreble = 32710,
    CmdClefBass = 32711,
    CmdClefAlto = 32712,
    CmdClefTrebleBass = 32713,
    CmdStatistics = 32720,
    CmdKindSingleNote = 32730,
    CmdKindPhrase = 32731,
    CmdKindPiece = 32732,
    CmdOpenPiece = 32740,
    CmdPieceOptions = 32741,
    // Keyboard-only commands: start or stop, pause or resume.
    CmdStartStopKey = 32721,
    CmdPauseKey = 32722,
    CmdAbout = 57664,
};

const platform::DialogTemplate& MainDialogTemplate();

// A menu as data: a popup is a title and its items; id 0 is a separator.
struct MenuEntry {
    int id;
    QString text;
};
struct MenuPopup {
    QString title;
    std::vector<MenuEntry> items;
};
const std::vector<MenuPopup>& MainMenu();

// Builds a menu bar from popups; each action reports its command id and is listed in actions.
QMenuBar* CreateMenuBar(const std::vector<MenuPopup>& menu, QWidget* parent,
                        const std::function<void(int)>& onCommand, QHash<int, QAction*>& actions);

} // namespace tonvero
