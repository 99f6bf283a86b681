// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/dialogoptions.h"

#include "midi/devicewatcher.h"
#include "midi/midirouter.h"
#include "settings/preferences.h"
#include "dialogs/gminstruments.h"
#include "midi/devicewatcher.h"
#include "platform/ui/messagebox.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

using mmsys::PortDirection;
using platform::DialogItem;
using platform::ItemKind;

namespace {

constexpr int kMaxMinutes = 60;
constexpr int kMaxSeconds = 180;

void showMidiError(QWidget* parent, const std::exception& e)
{
    platform::MessageBox(parent, QString::fromLocal8Bit(e.what()), QCoreApplication::translate("Options", "MIDI error"),
                         platform::MsgIcon::Error);
}

// Breaks each paragraph of text into lines no wider than width, at blanks.
QString wrapText(const QString& text, int width, const QFontMetrics& fm)
{
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QString line;
        bool first = true;
        for (const QString& word : paragraph.split(QLatin1Char(' '))) {
            const QString candidate = first ? word : line + QLatin1Char(' ') + word;
            first = false;
            if (!line.isEmpty() && fm.horizontalAdvance(candidate) > width) {
                lines << line;
                line = word;
            } else {
                line = candidate;
            }
        }
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

} // namespace

const platform::DialogTemplate& DialogOptions::Template()
{
    using platform::Disabled;
    using platform::Hidden;
    using platform::MultiLine;
    using platform::RightAlign;
    static const platform::DialogTemplate tmpl{
        144,
        QT_TRANSLATE_NOOP("Options", "Настройки"),
        QSize(332, 251),
        QStringLiteral("MS Shell Dlg"),
        8,
        {
            {IdcOk, ItemKind::DefPushButton, QStringLiteral("OK"), QRect(275, 230, 50, 14)},
            {-1, ItemKind::GroupBox, QT_TRANSLATE_NOOP("Options", "Режим работы"), QRect(7, 7, 148, 74)},
            {IdcMinutes, ItemKind::Edit, {}, QRect(72, 55, 38, 14), RightAlign},
            {IdcMinutesArrows, ItemKind::UpDown, {}, QRect(114, 55, 11, 14)},
            {IdcMinutesLabel, ItemKind::Static, QT_TRANSLATE_NOOP("Options", "мин."), QRect(129, 58, 14, 8)},
            {-1, ItemKind::GroupBox, {}, QRect(7, 82, 148, 96)},
            {IdcShowNoteName, ItemKind::CheckBox, QT_TRANSLATE_NOOP("Options", "Показывать название ноты"), QRect(22, 94, 110, 10)},
            {IdcBeep, ItemKind::CheckBox, QT_TRANSLATE_NOOP("Options", "Звук при ошибке"), QRect(22, 111, 73, 10)},
            {IdcStatistics, ItemKind::CheckBox, QT_TRANSLATE_NOOP("Options", "Показывать статистику"), QRect(22, 127, 98, 10)},
            {-1, ItemKind::GroupBox, QT_TRANSLATE_NOOP("Options", "Ввод нот с MIDI клавиатуры"), QRect(160, 82, 165, 96)},
            {IdcMidiIn, ItemKind::CheckBox, QT_TRANSLATE_NOOP("Options", "включить"), QRect(170, 94, 61, 13)},
            {IdcInDevice, ItemKind::DropDownList, {}, QRect(170, 113, 150, 59)},
            {-1, ItemKind::GroupBox, QT_TRANSLATE_NOOP("Options", "Воспроизведение MIDI"), QRect(160, 7, 165, 73)},
            {IdcMidiOut, ItemKind::CheckBox, QT_TRANSLATE_NOOP("Options", "включить"), QRect(168, 21, 50, 10)},
            {IdcOutDevice, ItemKind::DropDownList, {}, QRect(168, 36, 150, 60)},
            {IdcInstrument, ItemKind::DropDownList, {}, QRect(168, 55, 150, 142)},
            {IdcMidiControl, ItemKind::CheckBox, QT_TRANSLATE_NOOP("Options", "включить"), QRect(178, 146, 50, 13)},
            {IdcMidiControlGroup, ItemKind::GroupBox, QT_TRANSLATE_NOOP("Options", "Управление программой через MIDI"),
             QRect(170, 130, 150, 40)},
            {IdcAssignKeys, ItemKind::PushButton, QT_TRANSLATE_NOOP("Options", "Назначить клавиши"), QRect(230, 146, 83, 14),
             Hidden | Disabled},
            {IdcHint, ItemKind::RadioButton, QT_TRANSLATE_NOOP("Options", "Подсказка"), QRect(23, 21, 52, 10)},
            {IdcTraining, ItemKind::RadioButton, QT_TRANSLATE_NOOP("Options", "Тренировка"), QRect(23, 39, 56, 10)},
            {IdcExam, ItemKind::RadioButton, QT_TRANSLATE_NOOP("Options", "Экзамен"), QRect(23, 57, 44, 10)},
            {IdcBlackKeys, ItemKind::CheckBox, QT_TRANSLATE_NOOP("Options", "Использовать #, b"), QRect(22, 143, 90, 10)},
            {-1, ItemKind::GroupBox, QT_TRANSLATE_NOOP("Options", "Действия при ошибке"), QRect(7, 181, 225, 64)},
            {IdcWaitTime, ItemKind::RadioButton, QT_TRANSLATE_NOOP("Options", "Показывать ошибочную ноту\n потом показать новую"),
             QRect(29, 197, 114, 16), MultiLine},
            {IdcWaitRight, ItemKind::RadioButton,
             QT_TRANSLATE_NOOP("Options", "Показывать новую ноту только после ввода правильной ноты"), QRect(29, 218, 128, 17),
             MultiLine},
            {IdcSeconds, ItemKind::Edit, {}, QRect(144, 195, 28, 14)},
            {-1, ItemKind::Static, QT_TRANSLATE_NOOP("Options", "секунд,"), QRect(188, 197, 26, 8)},
            {IdcSecondsArrows, ItemKind::UpDown, {}, QRect(174, 195, 11, 14)},
            {IdcCompKeyboard, ItemKind::CheckBox, QT_TRANSLATE_NOOP("Options", "Ввод нот с компьютерной клавиатуры"),
             QRect(22, 156, 104, 17), MultiLine},
        },
        "Options",
    };
    return tmpl;
}

DialogOptions::DialogOptions(tonvero::Preferences& prefs, midi::MidiRouter& router, QWidget* parent)
    : platform::TemplateDialog(parent), prefs(prefs), router(router), m_ddx(this)
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(false);
    createFromTemplate(Template());

    // Items without an id are found by kind and text (every such pair is unique).
    const QList<QWidget*> children = client()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (const DialogItem& it : Template().items) {
        QWidget* w = item(it.id);
        if (!w) {
            for (QWidget* c : children) {
                const bool group = it.kind == ItemKind::GroupBox;
                if (c->objectName() != QLatin1String("-1"))
                    continue;
                if (auto* g = qobject_cast<QGroupBox*>(c); group && g && g->title() == Template().shown(it.text))
                    w = c;
                else if (auto* l = qobject_cast<QLabel*>(c); !group && l && l->text() == Template().shown(it.text))
                    w = c;
                if (w)
                    break;
            }
        }
        if (w)
            m_placed.emplace_back(&it, w);
    }

    inDevices = itemAs<QComboBox>(IdcInDevice);
    outDevices = itemAs<QComboBox>(IdcOutDevice);
    instruments = itemAs<QComboBox>(IdcInstrument);
    statisticsBox = itemAs<QAbstractButton>(IdcStatistics);
    midiControlBox = itemAs<QAbstractButton>(IdcMidiControl);
    instruments->addItems(tonvero::GeneralMidiInstrumentTexts());
    instruments->setMaxVisibleItems(16);
    deviceList(PortDirection::Input).box = inDevices;
    deviceList(PortDirection::Input).enable = itemAs<QAbstractButton>(IdcMidiIn);
    deviceList(PortDirection::Output).box = outDevices;
    deviceList(PortDirection::Output).enable = itemAs<QAbstractButton>(IdcMidiOut);
    // Any pick by the user counts, the entry already shown included.
    connect(inDevices, &QComboBox::activated, this, [this] { deviceList(PortDirection::Input).activated = true; });
    connect(outDevices, &QComboBox::activated, this, [this] { deviceList(PortDirection::Output).activated = true; });

    m_ddx.check(itemAs<QAbstractButton>(IdcMidiIn), &prefs.bMIDI_In);
    m_ddx.check(itemAs<QAbstractButton>(IdcMidiOut), &prefs.bMIDI_Out);
    m_ddx.check(itemAs<QAbstractButton>(IdcShowNoteName), &prefs.bShowNoteName);
    m_ddx.check(itemAs<QAbstractButton>(IdcBeep), &prefs.bBeep);
    m_ddx.check(itemAs<QAbstractButton>(IdcBlackKeys), &prefs.bUseBlackKeys);
    m_ddx.check(itemAs<QAbstractButton>(IdcCompKeyboard), &prefs.bNoteInputFromCompKeyboard);
    m_ddx.integer(itemAs<QLineEdit>(IdcMinutes), &nEditMinutes);
    m_ddx.integer(itemAs<QLineEdit>(IdcSeconds), &nEditSeconds);

    for (int id : {int(IdcHint), int(IdcTraining), int(IdcExam)})
        connect(itemAs<QAbstractButton>(id), &QAbstractButton::clicked, this, [this, id] { onModeClicked(id); });
    for (int id : {int(IdcWaitTime), int(IdcWaitRight)})
        connect(itemAs<QAbstractButton>(id), &QAbstractButton::clicked, this, [this, id] { onWrongNoteClicked(id); });
    connect(itemAs<QAbstractButton>(IdcShowNoteName), &QAbstractButton::clicked, this,
            &DialogOptions::onShowNoteNameClicked);
    for (int id : {int(IdcBeep), int(IdcMidiIn), int(IdcMidiOut)})
        connect(itemAs<QAbstractButton>(id), &QAbstractButton::clicked, this, &DialogOptions::onExchangeClicked);
    connect(statisticsBox, &QAbstractButton::clicked, this, &DialogOptions::onStatisticsClicked);
    connect(midiControlBox, &QAbstractButton::clicked, this, &DialogOptions::onMidiControlClicked);
    connect(instruments, &QComboBox::currentIndexChanged, this, &DialogOptions::onInstrumentChanged);
    connect(itemAs<platform::UpDownArrows>(IdcMinutesArrows), &platform::UpDownArrows::deltaPos, this,
            &DialogOptions::onMinutesArrow);
    connect(itemAs<QLineEdit>(IdcMinutes), &QLineEdit::textChanged, this, &DialogOptions::onMinutesChanged);
    connect(itemAs<platform::UpDownArrows>(IdcSecondsArrows), &platform::UpDownArrows::deltaPos, this,
            &DialogOptions::onSecondsArrow);
    item(IdcSeconds)->installEventFilter(this);
    connect(itemAs<QPushButton>(IdcOk), &QPushButton::clicked, this, &DialogOptions::accept);

    initDialog();
    fitTexts();
    setUpAccess();
}

bool DialogOptions::UpdateData(bool save)
{
    return m_ddx.run(save);
}

bool DialogOptions::initDialog()
{
    m_initialising = true;
    UpdateData(false);                                       // 1
    if (prefs.bExamMode)                                     // 2
        onModeClicked(IdcExam);
    else if (prefs.bHintMode)
        onModeClicked(IdcHint);
    else
        onModeClicked(IdcTraining);
    statisticsBox->setChecked(prefs.bShowStatistics != 0);   // 3
    midiControlBox->setChecked(prefs.bAppControlByMIDI != 0);
    onWrongNoteClicked(prefs.bOnWrongNoteWaitTime ? IdcWaitTime : IdcWaitRight); // 4
    nEditMinutes = prefs.nMinutes;                           // 5
    nEditSeconds = prefs.nTimerDelay / 1000;
    UpdateData(false);
    instruments->setCurrentIndex(prefs.nPatch);              // 6
    fillDeviceLists();                                        // 7, 8
    m_initialising = false;
    return true;
}

DialogOptions::DeviceList& DialogOptions::deviceList(PortDirection direction)
{
    return m_deviceLists[direction == PortDirection::Input ? 0 : 1];
}

bool DialogOptions::userPicked(const DeviceList& list) const
{
    return list.activated || list.box->currentData().toString().toStdString() != list.shownKey;
}

bool DialogOptions::listPorts(PortDirection direction)
{
    DeviceList& list = deviceList(direction);
    const QString pending = userPicked(list) ? list.box->currentData().toString() : QString();
    const std::vector<mmsys::PortInfo>& ports = router.deviceWatcher()->ports(direction);
    const midi::PortChoice choice = router.deviceWatcher()->choice(direction);
    const QSignalBlocker quiet(list.box);
    list.box->clear();
    QString chosen;
    for (std::size_t id = 0; id < ports.size(); ++id) {
        // Our own ports are connections, not devices.
        if (ports[id].kind == mmsys::PortKind::Own)
            continue;
        const QString key = QString::fromStdString(ports[id].key);
        // The built-in synthesizer's port name is the system's; the list says it in the interface's language.
        const QString shown = ports[id].kind == mmsys::PortKind::BuiltIn ? tr("Встроенный синтезатор Tonvero")
                                                                         : QString::fromStdString(ports[id].name);
        list.box->addItem(shown, key);
        if (int(id) == choice.id)
            chosen = key;
    }
    const int kept = pending.isEmpty() ? -1 : list.box->findData(pending);
    if (kept >= 0) {
        list.box->setCurrentIndex(kept);
    } else {
        // Nothing to open (only a through port, say) shows no entry rather than one not in use.
        list.activated = false;
        list.box->setCurrentIndex(chosen.isEmpty() ? -1 : list.box->findData(chosen));
        list.shownKey = list.box->currentData().toString().toStdString();
    }
    return list.box->count() > 0;
}

void DialogOptions::setDevicesPresent(PortDirection direction, bool present)
{
    DeviceList& list = deviceList(direction);
    const bool input = direction == PortDirection::Input;
    const int setting = input ? prefs.bMIDI_In : prefs.bMIDI_Out;
    std::vector<QWidget*> boxes{list.enable};
    if (input)
        boxes.insert(boxes.end(), {item(IdcMidiControlGroup), midiControlBox});
    for (QWidget* w : boxes)
        w->setEnabled(present);
    // Without a device the box cannot be changed, but it keeps showing the
    // setting: a keyboard unplugged for a moment must not switch MIDI off for good.
    list.enable->setChecked(setting != 0);
}

void DialogOptions::fillDeviceLists()
{
    if (!router.deviceWatcher())
        return;
    setDevicesPresent(PortDirection::Output, listPorts(PortDirection::Output));
    setDevicesPresent(PortDirection::Input, listPorts(PortDirection::Input));
}

void DialogOptions::refreshDeviceLists()
{
    if (!router.deviceWatcher())
        return;
    setDevicesPresent(PortDirection::Output, listPorts(PortDirection::Output));
    setDevicesPresent(PortDirection::Input, listPorts(PortDirection::Input));
}

bool DialogOptions::takePick(PortDirection direction)
{
    DeviceList& list = deviceList(direction);
    if (list.box->currentIndex() < 0 || !userPicked(list))
        return false; // a port taken by default is not the user's choice: another may take its place
    const std::string key = list.box->currentData().toString().toStdString();
    list.activated = false;
    list.shownKey = key;
    const std::vector<mmsys::PortInfo>& ports = router.deviceWatcher()->ports(direction);
    const auto it = std::find_if(ports.begin(), ports.end(), [&](const mmsys::PortInfo& p) { return p.key == key; });
    if (it == ports.end())
        return false;
    const bool input = direction == PortDirection::Input;
    const int id = int(it - ports.begin());
    const QString name = QString::fromStdString(it->name);
    QString& storedName = input ? prefs.strInDevName : prefs.strOutDevName;
    int& storedId = input ? prefs.nInDevId : prefs.nOutDevId;
    if (name == storedName && id == storedId)
        return false;
    storedName = name;
    storedId = id;
    return true;
}

void DialogOptions::onModeClicked(int id)
{
    for (int r : {int(IdcHint), int(IdcTraining), int(IdcExam)})
        itemAs<QAbstractButton>(r)->setChecked(r == id);
    prefs.bHintMode = id == IdcHint ? 1 : 0;
    prefs.bExamMode = id == IdcExam ? 1 : 0;
    for (int r : {int(IdcMinutes), int(IdcMinutesLabel), int(IdcMinutesArrows)})
        item(r)->setEnabled(id == IdcExam);
}

void DialogOptions::onWrongNoteClicked(int id)
{
    itemAs<QAbstractButton>(IdcWaitTime)->setChecked(id == IdcWaitTime);
    itemAs<QAbstractButton>(IdcWaitRight)->setChecked(id == IdcWaitRight);
    const int waitTime = id == IdcWaitTime ? 1 : 0;
    if (prefs.bOnWrongNoteWaitTime == waitTime)
        return;
    prefs.bOnWrongNoteWaitTime = waitTime;
    prefs.notifyChanged();
}

void DialogOptions::onShowNoteNameClicked()
{
    UpdateData(true);
    prefs.notifyChanged();
}

void DialogOptions::onExchangeClicked()
{
    UpdateData(true);
}

void DialogOptions::onStatisticsClicked()
{
    UpdateData(true);
    prefs.bShowStatistics = statisticsBox->isChecked() ? 1 : 0;
    prefs.notifyChanged();
}

void DialogOptions::onMidiControlClicked()
{
    UpdateData(true);
    prefs.bAppControlByMIDI = midiControlBox->isChecked() ? 1 : 0;
    prefs.notifyChanged();
    router.StartMidiInput();
}

void DialogOptions::onInstrumentChanged(int index)
{
    if (m_initialising || m_ddx.loading() || index < 0)
        return;
    router.SetPatch(index);
}

void DialogOptions::storeMinutes()
{
    nEditMinutes = qBound(0, nEditMinutes, kMaxMinutes);
    prefs.nMinutes = nEditMinutes;
}

void DialogOptions::storeSeconds()
{
    nEditSeconds = qBound(0, nEditSeconds, kMaxSeconds);
    prefs.nTimerDelay = nEditSeconds * 1000;
}

void DialogOptions::onMinutesArrow(int delta)
{
    if (delta == 0)
        return;
    // Text that is not a number keeps the previous value (the user was told).
    if (UpdateData(true))
        nEditMinutes -= delta;
    storeMinutes();
    UpdateData(false);
}

void DialogOptions::onMinutesChanged()
{
    if (m_ddx.loading() || m_initialising)
        return;
    UpdateData(true);
    storeMinutes();
    UpdateData(false);
}

void DialogOptions::onSecondsArrow(int delta)
{
    if (delta == 0)
        return;
    if (UpdateData(true))
        nEditSeconds -= delta;
    storeSeconds();
    UpdateData(false);
}

void DialogOptions::onSecondsFocusOut()
{
    // The message box of a bad number takes the focus from the edit again.
    if (m_inSecondsHandler || m_ddx.loading() || m_initialising)
        return;
    m_inSecondsHandler = true;
    UpdateData(true);
    storeSeconds();
    UpdateData(false);
    m_inSecondsHandler = false;
}

bool DialogOptions::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusOut && watched == item(IdcSeconds))
        onSecondsFocusOut();
    // A section opened or closed a part: the dialog takes the new height, within the screen.
    if (event->type() == QEvent::LayoutRequest && m_scroll && watched == m_scroll->viewport())
        QMetaObject::invokeMethod(this, &DialogOptions::placeSections, Qt::QueuedConnection);
    return platform::TemplateDialog::eventFilter(watched, event);
}

void DialogOptions::accept()
{
    // Every box's state and both numbers as they stand, also when Enter left the focus in an edit.
    if (!UpdateData(true))
        return;
    storeMinutes();
    storeSeconds();
    UpdateData(false);

    if (router.deviceWatcher()) {
        if (takePick(PortDirection::Output))
            bOutDevChanged = true;
        if (takePick(PortDirection::Input))
            bInDevChanged = true;
        router.UpdateMidiChoice();
    }
    try {
        if (bOutDevChanged) {
            router.CloseMidiOutput();
            if (prefs.bMIDI_Out)
                router.OpenMidiOutputPort(prefs.nOutDevId);
            router.SetPatch(instruments->currentIndex());
            bOutDevChanged = false;
        }
        if (bInDevChanged) {
            router.CloseMidiInput();
            if (prefs.bMIDI_In) {
                router.OpenMidiInputPort(prefs.nInDevId);
                router.midiInDevice.StartReceiving();
            }
            bInDevChanged = false;
        }
    } catch (const std::exception& e) {
        // The dialog stays open; the next OK tries the device again.
        showMidiError(this, e);
        return;
    }
    prefs.notifyChanged();
    prefs.save();
    emit settingsSaved();
    platform::TemplateDialog::accept();
}

void DialogOptions::addSection(QWidget* section)
{
    if (!section)
        return;
    if (!m_column) {
        // The sections scroll when opening one of their parts makes them taller
        // than the dialog, rather than squeezing the rows above it.
        m_scroll = new QScrollArea(client());
        m_scroll->setFrameShape(QFrame::NoFrame);
        m_scroll->setWidgetResizable(true);
        m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        // Tab goes to the sections' fields, and the area follows the focus.
        m_scroll->setFocusPolicy(Qt::NoFocus);
        m_scroll->setAccessibleName(QCoreApplication::translate("Options", "Другие настройки"));
        m_column = new QWidget;
        auto* column = new QVBoxLayout(m_column);
        column->setContentsMargins(0, 0, 0, 0);
        column->addStretch(1);
        m_scroll->setWidget(m_column);
        m_scroll->show();
        m_scroll->viewport()->installEventFilter(this);
    }
    auto* column = static_cast<QVBoxLayout*>(m_column->layout());
    section->setParent(m_column);
    column->insertWidget(column->count() - 1, section);
    m_sections.push_back(section);
    orderTabs();
    section->show();
    placeSections();
}

void DialogOptions::placeSections()
{
    if (!m_column)
        return;
    const platform::DialogUnits u = m_fittedUnits;
    const QSize base = m_fixedSize;
    const int gap = u.x(7);
    const int top = u.y(7);
    const int bar = m_scroll->verticalScrollBar()->sizeHint().width();
    // Never narrower than before: the dialog does not twitch when a part opens or closes.
    m_columnWidth = qMax(m_columnWidth, qMax(m_column->sizeHint().width(), u.x(180)) + bar);
    const int width = m_columnWidth;
    // As tall as the sections want, up to what the screen leaves for the dialog.
    int height = qMax(m_column->sizeHint().height(), base.height() - top - u.y(7 + 14 + 7));
    if (const QScreen* s = screen()) {
        const int room = s->availableGeometry().height() - 48 - top - u.y(7 + 14 + 7);
        height = qMax(base.height() - top - u.y(7 + 14 + 7), qMin(height, room));
    }
    m_scroll->setGeometry(base.width(), top, width, height);
    const QSize size(base.width() + width + gap, qMax(base.height(), top + height + u.y(7 + 14 + 7)));
    // OK keeps its corner: the bottom right of the whole dialog.
    if (QWidget* ok = item(IdcOk))
        ok->move(size.width() - gap - ok->width(), size.height() - u.y(7) - ok->height());
    client()->setMinimumSize(size);
    setFixedSize(size);
}

int DialogOptions::placeItems(const platform::DialogUnits& u)
{
    int misfit = 0;
    for (auto& [it, w] : m_placed) {
        QRect r = u.rect(it->rect);
        if (it->kind == ItemKind::DropDownList) // the template's height includes the open list
            r.setHeight(qMax(w->sizeHint().height(), u.y(14)));
        w->setGeometry(r);
        if (it->text.isEmpty() || (it->style & platform::Hidden))
            continue;
        const QString text = Template().shown(it->text);
        const QFontMetrics fm(w->font());
        QSize need;
        if (auto* b = qobject_cast<QAbstractButton*>(w); b && (it->kind == ItemKind::CheckBox || it->kind == ItemKind::RadioButton)) {
            const bool radio = it->kind == ItemKind::RadioButton;
            const int indicator = style()->pixelMetric(radio ? QStyle::PM_ExclusiveIndicatorWidth : QStyle::PM_IndicatorWidth, nullptr, b)
                + style()->pixelMetric(radio ? QStyle::PM_RadioButtonLabelSpacing : QStyle::PM_CheckBoxLabelSpacing, nullptr, b) + 4;
            if (it->style & platform::MultiLine)
                b->setText(wrapText(text, r.width() - indicator, fm));
            const QSize text = fm.size(0, b->text());
            need = QSize(text.width() + indicator, text.height());
        } else if (auto* p = qobject_cast<QPushButton*>(w)) {
            need = QSize(fm.horizontalAdvance(text) + 2 * style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, p),
                         fm.height());
        } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
            need = QSize(g->minimumSizeHint().width(), 0);
        } else {
            need = fm.size(0, text);
        }
        if (need.width() > r.width())
            misfit |= TooNarrow;
        if (need.height() > r.height())
            misfit |= TooLow;
    }
    return misfit;
}

void DialogOptions::fitTexts()
{
    // The desktop's font can be wider than the one the template was drawn for:
    // widen the dialog units until every text fits its item, never cut a text.
    platform::DialogUnits u = units();
    for (int step = 0; step < 40; ++step) {
        const int misfit = placeItems(u);
        if (!misfit)
            break;
        if (misfit & TooNarrow)
            ++u.baseX;
        if (misfit & TooLow)
            ++u.baseY;
    }
    const QSize size = u.size(Template().size);
    m_fittedUnits = u;
    m_fixedSize = size;
    client()->setMinimumSize(size);
    setFixedSize(size);
    placeSections();
}
