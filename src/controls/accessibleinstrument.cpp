// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/accessibleinstrument.h"

#include "controls/instrumentctrl.h"
#include "music/notenames.h"

#include <QCoreApplication>

namespace accessibility {

namespace {

EventWatcher& watcher()
{
    static EventWatcher w;
    return w;
}

QAccessibleInterface* instrumentFactory(const QString&, QObject* object)
{
    auto* ctrl = qobject_cast<CInstrumentCtrl*>(object);
    return ctrl ? new InstrumentAccessible(ctrl) : nullptr;
}

} // namespace

QString spokenNote(int note, Spelling spelling)
{
    if (note < 0 || note > 127)
        return {};
    const int pitchClass = note % 12;
    // Scientific octaves: middle C is C4, whatever the spelling.
    const int octave = note / 12 - 1;
    return QStringLiteral("%1 %2").arg(tonvero::music::spokenName(pitchClass, spelling == Spelling::Flat)).arg(octave);
}

void installFactory()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(instrumentFactory);
}

void setEventWatcher(EventWatcher w)
{
    watcher() = std::move(w);
}

bool listening()
{
    return bool(watcher()) || QAccessible::isActive();
}

void notify(QAccessibleEvent& event)
{
    if (watcher())
        watcher()(event);
    QAccessible::updateAccessibility(&event);
}

} // namespace accessibility

InstrumentAccessible::InstrumentAccessible(CInstrumentCtrl* ctrl)
    : QAccessibleWidget(ctrl, ctrl->ControlId() == CInstrumentCtrl::StaveId ? QAccessible::Graphic
                                                                            : QAccessible::Slider)
{
}

CInstrumentCtrl* InstrumentAccessible::ctrl() const
{
    return static_cast<CInstrumentCtrl*>(widget());
}

QString InstrumentAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return ctrl()->accessibleValue();
    // The name carries the value too: Qt's AT-SPI bridge hands screen readers
    // only the number of a value, and a name change is read out on the desktop.
    if (t == QAccessible::Name) {
        const QString name = QAccessibleWidget::text(t);
        const QString value = ctrl()->accessibleValue();
        return value.isEmpty() ? name : QStringLiteral("%1, %2").arg(name, value);
    }
    return QAccessibleWidget::text(t);
}

void* InstrumentAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
}

QVariant InstrumentAccessible::currentValue() const
{
    return ctrl()->focusNote();
}

void InstrumentAccessible::setCurrentValue(const QVariant& value)
{
    bool ok = false;
    const int note = value.toInt(&ok);
    if (ok)
        ctrl()->setFocusNote(note);
}

QVariant InstrumentAccessible::maximumValue() const
{
    return ctrl()->focusHigh();
}

QVariant InstrumentAccessible::minimumValue() const
{
    return ctrl()->focusLow();
}

QVariant InstrumentAccessible::minimumStepSize() const
{
    return 1;
}
