// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace midi {

class CMIDIOutDevice;

// A MIDI message that can send itself to an output device.
class CMIDIMsg {
public:
    virtual ~CMIDIMsg() = default;

    // Sends this message through the output device.
    virtual void Send(CMIDIOutDevice& outDevice) = 0;
    // Number of message bytes.
    virtual std::uint32_t GetLength() const = 0;
    // The first message byte.
    virtual const unsigned char* GetBytes() const = 0;
};

} // namespace midi
