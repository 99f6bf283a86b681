// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace midi {

// Receives what a MIDI input device delivers. Called on the device's
// callback thread, not on the GUI thread.
class CMIDIReceiver {
public:
    virtual ~CMIDIReceiver() = default;

    // A lent buffer came back filled with a system-exclusive message.
    virtual void OnLongMsg(const char* msg, std::uint32_t bytesRecorded, std::uint32_t timeStamp) = 0;
    // A short message arrived (packed word, status in bits 0-7).
    virtual void OnShortMsg(std::uint32_t msg, std::uint32_t timeStamp) = 0;
    // A lent buffer came back with an invalid system-exclusive message.
    virtual void OnLongMsgError(const char* msg, std::uint32_t bytesRecorded, std::uint32_t timeStamp) = 0;
    // An invalid short message arrived.
    virtual void OnShortMsgError(std::uint32_t msg, std::uint32_t timeStamp) = 0;
};

} // namespace midi
