// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/templates.h"

#include <QAction>
#include <QCoreApplication>
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
            {IdcPianoBox, ItemKind::CheckBox, QT_TRANSLATE_NOOP("MainWindow", "Клавиатура пианино"), QRect(7, 182, 87, 10)},
            {IdcGuitarBox, ItemKind::CheckBox, QT_TRANSLATE_NOOP("MainWindow", "Гриф шестиструнной гитары"), QRect(7, 239, 114, 10)},
            {IdcBassBox, ItemKind::CheckBox, QT_TRANSLATE_NOOP("MainWindow", "Гриф бас-гитары"), QRect(7, 291, 74, 10)},
            {IdcNoteName, ItemKind::Static, {}, QRect(300, 54, 39, 8)},
            {IdcStartStop, ItemKind::PushButton, QT_TRANSLATE_NOOP("MainWindow", "Начать"), QRect(240, 399, 50, 14)},
            {IdcTime, ItemKind::Edit, {}, QRect(469, 7, 40, 12), platform::ReadOnly},
            {IdcNotes, ItemKind::Edit, {}, QRect(469, 20, 40, 12), platform::ReadOnly},
            {IdcErrors, ItemKind::Edit, {}, QRect(469, 33, 56, 12), platform::ReadOnly},
            {IdcTimeCaption, ItemKind::Static, QT_TRANSLATE_NOOP("MainWindow", "Время"), QRect(439, 7, 29, 11)},
            {IdcNotesCaption, ItemKind::Static, QT_TRANSLATE_NOOP("MainWindow", "Ноты"), QRect(439, 20, 29, 11)},
            {IdcErrorsCaption, ItemKind::Static, QT_TRANSLATE_NOOP("MainWindow", "Ошибки"), QRect(439, 33, 29, 11)},
        },
        "MainWindow",
    };
    return tmpl;
}

const std::vector<MenuPopup>& MainMenu()
{
    static const std::vector<MenuPopup> menu{
        {QT_TRANSLATE_NOOP("MainMenu", "&Файл"),
         {{CmdOpenPiece, QT_TRANSLATE_NOOP("MainMenu", "&Открыть пьесу...")},
          {0, {}},
          {CmdExit, QT_TRANSLATE_NOOP("MainMenu", "&Выход")}}},
        {QT_TRANSLATE_NOOP("MainMenu", "&Конфигурация"),
         {{CmdOptions, QT_TRANSLATE_NOOP("MainMenu", "&Настройки...")},
          {CmdStatistics, QT_TRANSLATE_NOOP("MainMenu", "&Статистика...")},
          {0, {}},
          {CmdClefTreble, QT_TRANSLATE_NOOP("MainMenu", "Скрипичный ключ")},
          {CmdClefAlto, QT_TRANSLATE_NOOP("MainMenu", "Альтовый ключ")},
          {CmdClefBass, QT_TRANSLATE_NOOP("MainMenu", "Басовый ключ")},
          {CmdClefTrebleBass, QT_TRANSLATE_NOOP("MainMenu", "Скрипичный и басовый ключи")},
          {0, {}},
          {CmdKindSingleNote, QT_TRANSLATE_NOOP("MainMenu", "Отдельные ноты")},
          {CmdKindPhrase, QT_TRANSLATE_NOOP("MainMenu", "Фраза")},
          {CmdKindPiece, QT_TRANSLATE_NOOP("MainMenu", "Пьеса")},
          {CmdPieceOptions, QT_TRANSLATE_NOOP("MainMenu", "Что играть в пьесе...")}}},
        {QT_TRANSLATE_NOOP("MainMenu", "&Помощь"),
         {{CmdHelp, QT_TRANSLATE_NOOP("MainMenu", "&Помощь")},
          {CmdReadMe, QT_TRANSLATE_NOOP("MainMenu", "Читать файл &ReadMe.txt")},
          {0, {}},
          {CmdHomePage, QT_TRANSLATE_NOOP("MainMenu", "Посетить сайт &Tonvero")},
          {CmdAbout, QT_TRANSLATE_NOOP("MainMenu", "&О программе...")}}},
    };
    return menu;
}

QMenuBar* CreateMenuBar(const std::vector<MenuPopup>& menu, QWidget* parent,
                        const std::function<void(int)>& onCommand, QHash<int, QAction*>& actions)
{
    auto* bar = new QMenuBar(parent);
    for (const MenuPopup& popup : menu) {
        QMenu* m = bar->addMenu(QCoreApplication::translate("MainMenu", popup.title.toUtf8().constData()));
        for (const MenuEntry& entry : popup.items) {
            if (entry.id == 0) {
                m->addSeparator();
                continue;
            }
            QAction* a = m->addAction(QCoreApplication::translate("MainMenu", entry.text.toUtf8().constData()));
            a->setData(entry.id);
            const int id = entry.id;
            QObject::connect(a, &QAction::triggered, bar, [onCommand, id] { onCommand(id); });
            actions.insert(id, a);
        }
    }
    return bar;
}

} // namespace tonvero
