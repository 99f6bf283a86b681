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

class CMIDIReceiver;

// One buffer lent to an input port for system-exclusive data.
struct CMIDIInBuffer {
    CMIDIInBuffer(mmsys::HMIDIIN handle, char* buffer, std::uint32_t bufferLength);
    // Unprepares the header; false while the port still holds the buffer.
    bool Unprepare();

    mmsys::HMIDIIN DevHandle;
    mmsys::MIDIHDR MidiHdr;
};

using CMIDIInBufferQueue = BufferQueue<CMIDIInBuffer>;

// One MIDI input port; hands everything it delivers to one receiver. When the
// port ends while open (a keyboard unplugged), every note it still holds down
// reaches the receiver as a Note Off, once, on the callback thread; nothing follows.
class CMIDIInDevice {
public:
    enum State : std::uint32_t { CLOSED = 0, OPENED = 1, RECEIVING = 2 };

    // A closed device without a receiver.
    CMIDIInDevice();
    // A closed device with this receiver (not owned).
    explicit CMIDIInDevice(CMIDIReceiver* receiver);
    // A device opened on this port, with this receiver.
    CMIDIInDevice(unsigned int deviceId, CMIDIReceiver* receiver);
    // Closes the device.
    ~CMIDIInDevice();
    CMIDIInDevice(const CMIDIInDevice&) = delete;
    CMIDIInDevice& operator=(const CMIDIInDevice&) = delete;

    // Replaces the receiver; returns the previous one. When it returns, no
    // callback is inside the previous receiver (but the one it is called from)
    // and none will enter it.
    CMIDIReceiver* SetReceiver(CMIDIReceiver* receiver);
    // Opens the port with this id (closing any earlier one).
    void Open(unsigned int deviceId);
    // Stops receiving and closes the port.
    void Close();
    // Lends a caller-owned buffer for system-exclusive input.
    void AddSysExBuffer(char* buffer, std::uint32_t bufferLength);
    // Starts input and the buffer worker; only when opened.
    void StartReceiving();
    // Stops input, ends the worker and frees the lent buffers; only when receiving.
    void StopReceiving();
    // The id of the open port.
    unsigned int GetDevId();
    // The capabilities (name) of the port with this id.
    static void GetDevCaps(unsigned int deviceId, mmsys::MIDIINCAPSA& caps);
    // Opened or receiving.
    bool IsOpen() const;
    // Receiving.
    bool IsReceiving() const;
    // The open port has ended; only Close is of use now.
    bool IsPortGone() const;

private:
    static void MidiInProc(mmsys::HMIDIIN handle, mmsys::UINT msg, mmsys::DWORD_PTR instance,
                           mmsys::DWORD_PTR param1, mmsys::DWORD_PTR param2);
    static void MidiInThread(CMIDIInDevice* device);
    void createEvent();
    // Callers hold m_CallbackMutex.
    void trackNotes(std::uint32_t msg, std::uint32_t timeStamp);
    void releaseHeldNotes(CMIDIReceiver* receiver);

    mmsys::HMIDIIN m_DevHandle = nullptr;
    std::unique_ptr<AutoResetEvent> m_Event;
    std::thread m_Thread;
    CMIDIInBufferQueue m_BufferQueue;
    std::atomic<State> m_State{CLOSED};
    std::atomic<bool> m_PortGone{false};

    // Held by the callback while it hands a message on, so that replacing the
    // receiver waits for a call in progress; recursive, as a receiver may close
    // the device from within a call. Guards the members below.
    std::recursive_mutex m_CallbackMutex;
    CMIDIReceiver* m_Receiver = nullptr;
    // Notes the port pressed and has not released, by channel × 128 + note.
    std::bitset<16 * 128> m_HeldNotes;
    std::uint32_t m_LastTimeStamp = 0;
};

} // namespace midi
