// SPDX-License-Identifier: GPL-3.0-or-later
// The options dialog without a mouse and with a screen reader: names and
// descriptions, the Tab order, and arrow keys in the number fields.
#include "dialogs/dialogoptions.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <algorithm>
#include <functional>
#include <tuple>
#include <vector>

namespace {

// Up and Down in a number field step it as its arrows do.
class ArrowKeysStep : public QObject {
public:
    ArrowKeysStep(QObject* parent, std::function<void(int)> step) : QObject(parent), m_step(std::move(step)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
            return false;
        if (key->key() != Qt::Key_Up && key->key() != Qt::Key_Down)
            return false;
        // The arrows report −1 for up, as a Windows up-down control does.
        m_step(key->key() == Qt::Key_Up ? -1 : 1);
        return true;
    }

private:
    std::function<void(int)> m_step;
};

QString oneLine(const QString& text)
{
    return QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')).simplified();
}

} // namespace

void DialogOptions::setUpAccess()
{
    auto name = [this](int id, const QString& text, const QString& description = {}) {
        if (QWidget* w = item(id)) {
            w->setAccessibleName(text);
            if (!description.isEmpty())
                w->setAccessibleDescription(description);
        }
    };
    auto describe = [this](int id, const QString& description) {
        if (QWidget* w = item(id))
            w->setAccessibleDescription(description);
    };

    describe(IdcOk, tr("Сохраняет настройки и закрывает окно; выбранные MIDI-устройства открываются сейчас"));
    describe(IdcHint, tr("Нужная нота отмечена и звучит, что бы вы ни сыграли"));
    describe(IdcTraining, tr("Ноты без подсказки и без ограничения времени"));
    describe(IdcExam, tr("Упражнение на время: оно кончается через заданное число минут"));
    name(IdcMinutes, tr("Длительность экзамена, минут"), tr("От 0 до 60; стрелки вверх и вниз меняют на минуту"));
    name(IdcSeconds, tr("Пауза после ошибки, секунд"), tr("От 0 до 180; стрелки вверх и вниз меняют на секунду"));
    describe(IdcBlackKeys, tr("Давать и ноты с диезами и бемолями"));
    name(IdcMidiOut, tr("Включить воспроизведение MIDI"));
    name(IdcMidiIn, tr("Включить ввод нот с MIDI клавиатуры"));
    name(IdcMidiControl, tr("Включить управление программой через MIDI"),
         tr("Клавиша Ля 0 начинает и останавливает упражнение, Ля диез 0 ставит его на паузу"));

    // Two-line texts read as one sentence.
    for (int id : {int(IdcWaitTime), int(IdcWaitRight), int(IdcCompKeyboard)})
        if (auto* b = itemAs<QAbstractButton>(id))
            b->setAccessibleName(oneLine(b->text()));
    describe(IdcCompKeyboard, tr("Нижний ряд букв — белые клавиши, ряд над ним — чёрные; Pause — пауза"));

    for (const auto& [id, up, down, whole] :
         {std::tuple{int(IdcMinutesArrows), tr("Прибавить минуту"), tr("Убавить минуту"), tr("Минуты экзамена")},
          std::tuple{int(IdcSecondsArrows), tr("Прибавить секунду"), tr("Убавить секунду"),
                     tr("Секунды паузы после ошибки")}}) {
        if (auto* arrows = itemAs<platform::UpDownArrows>(id)) {
            arrows->setAccessibleName(whole);
            arrows->upButton()->setAccessibleName(up);
            arrows->downButton()->setAccessibleName(down);
        }
    }
    if (auto* minutes = item(IdcMinutes))
        minutes->installEventFilter(new ArrowKeysStep(this, [this](int delta) { onMinutesArrow(delta); }));
    if (auto* seconds = item(IdcSeconds))
        seconds->installEventFilter(new ArrowKeysStep(this, [this](int delta) { onSecondsArrow(delta); }));

    // Lists: a screen reader on the desktop takes a list's name from its label,
    // so each gets one, not shown: the dialog's layout has no place for it.
    const std::tuple<int, QString, QString> lists[] = {
        {IdcOutDevice, tr("Устройство воспроизведения MIDI"), tr("Меняется по кнопке OK")},
        {IdcInstrument, tr("Инструмент"), tr("Звук нот по General MIDI; меняется сразу")},
        {IdcInDevice, tr("Устройство ввода MIDI"), tr("Меняется по кнопке OK")},
    };
    for (const auto& [id, text, description] : lists) {
        QWidget* list = item(id);
        if (!list)
            continue;
        list->setAccessibleName(text);
        list->setAccessibleDescription(description);
        auto* label = new QLabel(text, client());
        label->setBuddy(list);
        label->hide();
    }
    for (auto& [it, w] : m_placed)
        if (auto* group = qobject_cast<QGroupBox*>(w); group && group->title().isEmpty())
            group->setAccessibleName(tr("Показ"));

    orderTabs();
}

void DialogOptions::orderTabs()
{
    // Down the left column, then the right one, then the sections, OK last.
    std::vector<QWidget*> order;
    for (int id : {int(IdcHint), int(IdcTraining), int(IdcExam), int(IdcMinutes)})
        order.push_back(item(id));
    if (auto* arrows = itemAs<platform::UpDownArrows>(IdcMinutesArrows)) {
        order.push_back(arrows->upButton());
        order.push_back(arrows->downButton());
    }
    for (int id : {int(IdcShowNoteName), int(IdcBeep), int(IdcStatistics), int(IdcBlackKeys), int(IdcCompKeyboard),
                   int(IdcWaitTime), int(IdcWaitRight), int(IdcSeconds)})
        order.push_back(item(id));
    if (auto* arrows = itemAs<platform::UpDownArrows>(IdcSecondsArrows)) {
        order.push_back(arrows->upButton());
        order.push_back(arrows->downButton());
    }
    for (int id : {int(IdcMidiOut), int(IdcOutDevice), int(IdcInstrument), int(IdcMidiIn), int(IdcInDevice),
                   int(IdcMidiControl)})
        order.push_back(item(id));
    // Each section keeps the order its own widgets have among themselves.
    for (QWidget* section : m_sections) {
        QWidget* start = section->nextInFocusChain();
        QWidget* w = start;
        std::vector<QWidget*> inSection;
        do {
            if (w != section && section->isAncestorOf(w) && w->focusPolicy() != Qt::NoFocus)
                inSection.push_back(w);
            w = w->nextInFocusChain();
        } while (w != start);
        order.insert(order.end(), inSection.begin(), inSection.end());
    }
    order.push_back(item(IdcOk));
    order.erase(std::remove(order.begin(), order.end(), nullptr), order.end());
    for (size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}
