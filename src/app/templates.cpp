// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/templates.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace tonvero {

using platform::DialogItem;
using platform::ItemKind;

const platform::DialogTemplate& MainDialogTemplate()
{
    static const platform::DialogTemplate tmpl{
        102,
        QStringLiteral("Tonvero"),
        QSize(532, 420),
        QStringLiteral("MS Shell Dlg"),
        8,
        {
            {IdcStave, ItemKind::Custom, {}, QRect(237, -7, 57, 128), platform::StyleNone, QStringLiteral("StaveCtrl")},
            {IdcPiano, ItemKind::Custom, {}, QRect(7, 162, 19, 17), platform::Hidden, QStringLiteral("PianoCtrl")},
            {IdcGuitar, ItemKind::Custom, {}, QRect(7, 214, 19, 17), platform::StyleNone, QStringLiteral("GuitarCtrl")},
            {IdcBass, ItemKind::Custom, {}, QRect(7, 266, 19, 17), platform::StyleNone, QStringLiteral("GuitarCtrl")},
            {IdcPianoBox, ItemKind::CheckBox, QStringLiteral("Клавиатура пианино"), QRect(7, 182, 87, 10)},
            {IdcGuitarBox, ItemKind::CheckBox, QStringLiteral("Гриф шестиструнной гитары"), QRect(7, 239, 114, 10)},
            {IdcBassBox, ItemKind::CheckBox, QStringLiteral("Гриф бас-гитары"), QRect(7, 291, 74, 10)},
            {IdcNoteName, ItemKind::Static, {}, QRect(300, 54, 39, 8)},
            {IdcStartStop, ItemKind::PushButton, QStringLiteral("Начать"), QRect(240, 399, 50, 14)},
            {IdcTime, ItemKind::Edit, {}, QRect(469, 7, 40, 12), platform::ReadOnly},
            {IdcNotes, ItemKind::Edit, {}, QRect(469, 20, 40, 12), platform::ReadOnly},
            {IdcErrors, ItemKind::Edit, {}, QRect(469, 33, 56, 12), platform::ReadOnly},
            {IdcTimeCaption, ItemKind::Static, QStringLiteral("Время"), QRect(439, 7, 29, 11)},
            {IdcNotesCaption, ItemKind::Static, QStringLiteral("Ноты"), QRect(439, 20, 29, 11)},
            {IdcErrorsCaption, ItemKind::Static, QStringLiteral("Ошибки"), QRect(439, 33, 29, 11)},
        },
    };
    return tmpl;
}

const std::vector<MenuPopup>& MainMenu()
{
    static const std::vector<MenuPopup> menu{
        {QStringLiteral("&Файл"), {{CmdExit, QStringLiteral("&Выход")}}},
        {QStringLiteral("&Конфигурация"),
         {{CmdOptions, QStringLiteral("&Настройки...")},
          {0, {}},
          {CmdClefTreble, QStringLiteral("Скрипичный ключ")},
          {CmdClefAlto, QStringLiteral("Альтовый ключ")},
          {CmdClefBass, QStringLiteral("Басовый ключ")},
          {CmdClefTrebleBass, QStringLiteral("Скрипичный и басовый ключи")}}},
        {QStringLiteral("&Помощь"),
         {{CmdHelp, QStringLiteral("&Помощь")},
          {CmdReadMe, QStringLiteral("Читать файл &ReadMe.txt")},
          {0, {}},
          {CmdHomePage, QStringLiteral("Посетить сайт &Tonvero")},
          {CmdAbout, QStringLiteral("&О программе...")}}},
    };
    return menu;
}

QMenuBar* CreateMenuBar(const std::vector<MenuPopup>& menu, QWidget* parent,
                        const std::function<void(int)>& onCommand, QHash<int, QAction*>& actions)
{
    auto* bar = new QMenuBar(parent);
    for (const MenuPopup& popup : menu) {
        QMenu* m = bar->addMenu(popup.title);
        for (const MenuEntry& entry : popup.items) {
            if (entry.id == 0) {
                m->addSeparator();
                continue;
            }
            QAction* a = m->addAction(entry.text);
            a->setData(entry.id);
            const int id = entry.id;
            QObject::connect(a, &QAction::triggered, bar, [onCommand, id] { onCommand(id); });
            actions.insert(id, a);
        }
    }
    return bar;
}

} // namespace tonvero
