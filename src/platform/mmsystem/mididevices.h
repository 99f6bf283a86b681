// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a MIDI port is beyond its id: an identity that survives renumbering,
// its full name and its kind, and the announcements of ports that start or
// end while the program runs. The ids are those of the multimedia services
// (mmsystem.h) as of their last refreshDevices().

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mmsys {

enum class PortKind : std::uint8_t {
    Hardware, // a device: a USB or DIN keyboard, a sound card's MIDI port, a hardware synth
    Software, // another program's port: a virtual keyboard, a software synth
    Through,  // passes on what it is sent and plays nothing ("Midi Through")
    Own,      // a port of this program
    BuiltIn,  // the built-in synthesizer
};

enum class PortDirection : std::uint8_t { Input, Output };

struct PortInfo {
    // Unique while the port exists; a port that ends and comes back gets a new key.
    std::string key;
    // The full name (device ids and capability names may be shortened); what settings store.
    std::string name;
    PortKind kind = PortKind::Software;

    bool operator==(const PortInfo&) const = default;
};

// The ports behind the ids, in id order.
std::vector<PortInfo> midiInPorts();
std::vector<PortInfo> midiOutPorts();
inline std::vector<PortInfo> midiPorts(PortDirection direction)
{
    return direction == PortDirection::Input ? midiInPorts() : midiOutPorts();
}

struct PortChange {
    enum What : std::uint8_t { Appeared, Gone };
    What what = Appeared;
    PortDirection direction = PortDirection::Input;
    PortInfo port;
};

// Called on a backend's thread, one change at a time, in the order the ports
// started and ended. A handler must not add or remove handlers.
using PortChangeHandler = std::function<void(const PortChange&)>;
int addPortChangeHandler(PortChangeHandler handler);
// When it returns the handler is not running and is never called again.
void removePortChangeHandler(int token);

} // namespace mmsys
