// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/portchoice.h"
#include "platform/mmsystem/mididevices.h"

#include <QObject>
#include <QString>

#include <array>
#include <atomic>
#include <string>
#include <vector>

namespace midi {

// Keeps the MIDI port lists current on the GUI thread while ports start and
// end, and tells its owner what that means for the ports it chose and has
// open. The backends announce changes on their own threads; each announcement
// reaches this object queued, in order, and has it re-read the lists
// (mmsys::refreshDevices), so device ids change only here, on the GUI thread.
class DeviceWatcher : public QObject {
    Q_OBJECT
public:
    explicit DeviceWatcher(QObject* parent = nullptr);
    ~DeviceWatcher() override;

    // The ports by device id, as of the last re-reading.
    const std::vector<mmsys::PortInfo>& ports(mmsys::PortDirection direction) const;

    // The user's choice: the stored port name (empty when none) and device id.
    void setChosen(mmsys::PortDirection direction, const std::string& name, int id);
    // The port now open (its key), or none (empty).
    void setOpened(mmsys::PortDirection direction, const std::string& key);
    const std::string& opened(mmsys::PortDirection direction) const;
    // The port to open for the choice now.
    PortChoice choice(mmsys::PortDirection direction) const;

    // Re-reads the lists and reports the changes, as an announcement does.
    void refresh();

signals:
    // The lists changed; ids may have moved.
    void portsChanged();
    // The open port ended (unplugged); it no longer counts as open.
    void inputGone(const QString& name);
    void outputGone(const QString& name);
    // The chosen port appeared (plugged in, or back) while it is not the one open.
    void chosenInputAppeared(int id);
    void chosenOutputAppeared(int id);
    // A keyboard appeared while no input is chosen and none is open.
    void keyboardAppeared(int id);

private:
    struct Side {
        std::vector<mmsys::PortInfo> ports;
        std::string chosenName;
        int chosenId = 0;
        std::string opened;
    };
    Side& side(mmsys::PortDirection direction);
    const Side& side(mmsys::PortDirection direction) const;
    void report(mmsys::PortDirection direction, const std::vector<mmsys::PortInfo>& before);

    std::array<Side, 2> m_sides;
    int m_token = 0;
    // One re-reading queued at a time: it catches every change made before it runs.
    std::atomic<bool> m_pending{false};
};

} // namespace midi
