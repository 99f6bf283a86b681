// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Which MIDI port to open, from the ports there are now and the user's stored
// choice (a port name, and the device id older settings know it by).

#include "platform/mmsystem/mididevices.h"

#include <cstdint>
#include <string>
#include <vector>

namespace midi {

enum class ChoiceBy : std::uint8_t { None, Name, Id, Default };

struct PortChoice {
    int id = -1; // in the list given; -1: nothing to open
    ChoiceBy by = ChoiceBy::None;

    bool operator==(const PortChoice&) const = default;
};

// The port of the stored name wherever it now is (of several, the one at the
// stored id); else the port at the stored id, if it is one a user could have
// meant (not a through port, not ours); else the default. An empty name with
// id 0 is what settings hold before anything was chosen: the default then.
// Our own ports are never chosen.
PortChoice choosePort(const std::vector<mmsys::PortInfo>& ports, mmsys::PortDirection direction,
                      const std::string& storedName, int storedId);

// What is opened while nothing is chosen: for input the first hardware port
// (a keyboard; never a through port), for output the built-in synthesizer,
// else the first hardware port. -1 when there is none.
int defaultPort(const std::vector<mmsys::PortInfo>& ports, mmsys::PortDirection direction);

// A port the default could take.
bool isDefaultKind(mmsys::PortKind kind, mmsys::PortDirection direction);

} // namespace midi
