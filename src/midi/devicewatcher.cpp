// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devicewatcher.h"

#include "platform/mmsystem/mmsystem.h"

#include <QMetaObject>

#include <algorithm>

namespace midi {

using mmsys::PortDirection;
using mmsys::PortInfo;

namespace {

const PortInfo* byKey(const std::vector<PortInfo>& ports, const std::string& key)
{
    auto it = std::find_if(ports.begin(), ports.end(), [&](const PortInfo& p) { return p.key == key; });
    return it == ports.end() ? nullptr : &*it;
}

} // namespace

DeviceWatcher::DeviceWatcher(QObject* parent)
    : QObject(parent)
{
    // Backend thread: only a queued call, nothing of this object is touched.
    m_token = mmsys::addPortChangeHandler([this](const mmsys::PortChange&) {
        if (!m_pending.exchange(true))
            QMetaObject::invokeMethod(this, [this] {
                m_pending = false;
                refresh();
            }, Qt::QueuedConnection);
    });
    mmsys::refreshDevices();
    side(PortDirection::Input).ports = mmsys::midiInPorts();
    side(PortDirection::Output).ports = mmsys::midiOutPorts();
}

DeviceWatcher::~DeviceWatcher()
{
    mmsys::removePortChangeHandler(m_token);
}

DeviceWatcher::Side& DeviceWatcher::side(PortDirection direction)
{
    return m_sides[direction == PortDirection::Input ? 0 : 1];
}

const DeviceWatcher::Side& DeviceWatcher::side(PortDirection direction) const
{
    return m_sides[direction == PortDirection::Input ? 0 : 1];
}

const std::vector<PortInfo>& DeviceWatcher::ports(PortDirection direction) const
{
    return side(direction).ports;
}

void DeviceWatcher::setChosen(PortDirection direction, const std::string& name, int id)
{
    side(direction).chosenName = name;
    side(direction).chosenId = id;
}

void DeviceWatcher::setOpened(PortDirection direction, const std::string& key)
{
    side(direction).opened = key;
}

const std::string& DeviceWatcher::opened(PortDirection direction) const
{
    return side(direction).opened;
}

PortChoice DeviceWatcher::choice(PortDirection direction) const
{
    const Side& s = side(direction);
    return choosePort(s.ports, direction, s.chosenName, s.chosenId);
}

void DeviceWatcher::refresh()
{
    const std::vector<PortInfo> inBefore = side(PortDirection::Input).ports;
    const std::vector<PortInfo> outBefore = side(PortDirection::Output).ports;
    mmsys::refreshDevices();
    side(PortDirection::Input).ports = mmsys::midiInPorts();
    side(PortDirection::Output).ports = mmsys::midiOutPorts();
    if (inBefore == side(PortDirection::Input).ports && outBefore == side(PortDirection::Output).ports)
        return;
    emit portsChanged();
    report(PortDirection::Input, inBefore);
    report(PortDirection::Output, outBefore);
}

void DeviceWatcher::report(PortDirection direction, const std::vector<PortInfo>& before)
{
    const bool input = direction == PortDirection::Input;
    // Copies: the owner may change the choice or open another port from a signal.
    const std::vector<PortInfo> now = side(direction).ports;
    const std::string opened = side(direction).opened;
    if (!opened.empty() && !byKey(now, opened)) {
        const PortInfo* was = byKey(before, opened);
        const QString name = QString::fromStdString(was ? was->name : std::string());
        side(direction).opened.clear();
        if (input)
            emit inputGone(name);
        else
            emit outputGone(name);
    }
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (byKey(before, now[i].key))
            continue;
        const Side& s = side(direction);
        const PortInfo* open = byKey(now, s.opened);
        if (!s.chosenName.empty() && now[i].name == s.chosenName && (!open || open->name != s.chosenName)) {
            if (input)
                emit chosenInputAppeared(int(i));
            else
                emit chosenOutputAppeared(int(i));
            return;
        }
        if (input && s.chosenName.empty() && s.opened.empty() && now[i].kind == mmsys::PortKind::Hardware) {
            emit keyboardAppeared(int(i));
            return;
        }
    }
}

} // namespace midi
