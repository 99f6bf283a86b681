// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// MIDI ports as a Linux system names them, for the loopback backend to offer.

#include "platform/mmsystem/midi_loopback.h"

#include <QMetaType>
#include <cstdint>
#include <vector>

namespace testsupport::ports {

using mmsys::PortKind;
using mmsys::loopback::PortSpec;

// The first port of every ALSA system: passes on what it is sent, plays nothing.
inline const PortSpec kThrough{"Midi Through:Midi Through Port-0", PortKind::Through};
inline const PortSpec kKeyboard{"USB Keyboard:USB Keyboard MIDI 1", PortKind::Hardware};
inline const PortSpec kPiano{"Digital Piano:Digital Piano MIDI 1", PortKind::Hardware};
// A program's port (a virtual keyboard): not a keyboard to take by default.
inline const PortSpec kVmpk{"VMPK Output:out", PortKind::Software};
inline const PortSpec kBuiltIn{"Tonvero built-in synthesizer", PortKind::BuiltIn};
inline const PortSpec kSynth{"FLUID Synth:Synth input port", PortKind::Software};

} // namespace testsupport::ports

namespace testsupport {

// The short messages the loopback's output port was sent, in order, once the
// messages in flight have arrived.
inline std::vector<std::uint32_t> sentWords(int port = 0)
{
    mmsys::loopback::flush();
    std::vector<std::uint32_t> words;
    for (const mmsys::loopback::Message& m : mmsys::loopback::sent(port))
        if (!m.isLong)
            words.push_back(m.word);
    return words;
}

} // namespace testsupport

Q_DECLARE_METATYPE(mmsys::loopback::PortSpec)
