// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/autoresetevent.h"
#include "midi/bufferqueue.h"
#include "platform/mmsystem/mmsystem.h"

#include <atomic>
#include <bitset>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace midi {

// One long message handed to an output port and not yet freed.
struct CMIDIOutBuffer {
    CMIDIOutBuffer(mmsys::HMIDIOUT handle, const char* buffer, std::uint32_t bufferLength);
    // Unprepares the header; false while the port still holds the block.
    bool Unprepare();

    mmsys::HMIDIOUT DevHandle;
    mmsys::MIDIHDR MidiHdr;
};

using CMIDIOutBufferQueue = BufferQueue<CMIDIOutBuffer>;

// One MIDI output port.
class CMIDIOutDevice {
public:
    enum State : std::uint32_t { CLOSED = 0, OPENED = 1 };

    // A closed device.
    CMIDIOutDevice();
    // A device opened on this port.
    explicit CMIDIOutDevice(unsigned int deviceId);
    // Closes the device.
    ~CMIDIOutDevice();
    CMIDIOutDevice(const CMIDIOutDevice&) = delete;
    CMIDIOutDevice& operator=(const CMIDIOutDevice&) = delete;

    // Opens the port with this id (closing any earlier one).
    void Open(unsigned int deviceId);
    // Releases held notes, frees pending blocks and closes the port; never raises.
    void Close();
    // Sends a packed short message; nothing when closed.
    void SendShortMsg(std::uint32_t msg);
    // Sends a caller-owned system-exclusive block; nothing when closed.
    void SendLongMsg(const char* buffer, std::uint32_t bufferLength);
    // Opened.
    bool IsOpen() const;
    // The id of the open port.
    unsigned int GetDevId();
    // The capabilities (name) of the port with this id.
    static void GetDevCaps(unsigned int deviceId, mmsys::MIDIOUTCAPSA& caps);

private:
    static void MidiOutProc(mmsys::HMIDIOUT handle, mmsys::UINT msg, mmsys::DWORD_PTR instance,
                            mmsys::DWORD_PTR param1, mmsys::DWORD_PTR param2);
    static void MidiOutThread(CMIDIOutDevice* device);
    void trackNotes(std::uint32_t msg);
    void releaseHeldNotes();

    mmsys::HMIDIOUT m_DevHandle = nullptr;
    std::unique_ptr<AutoResetEvent> m_Event;
    std::thread m_Thread;
    CMIDIOutBufferQueue m_BufferQueue;
    std::atomic<State> m_State{CLOSED};

    // Notes switched on and not yet off, by channel × 128 + note.
    std::mutex m_NotesMutex;
    std::bitset<16 * 128> m_HeldNotes;
};

} // namespace midi
