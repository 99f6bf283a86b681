// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midioutdevice.h"

#include "midi/midiexceptions.h"

#include <system_error>

namespace midi {

using namespace mmsys;

CMIDIOutBuffer::CMIDIOutBuffer(HMIDIOUT handle, const char* buffer, std::uint32_t bufferLength)
    : DevHandle(handle), MidiHdr{}
{
    // The system only reads an output block.
    MidiHdr.lpData = const_cast<char*>(buffer);
    MidiHdr.dwBufferLength = bufferLength;
    MidiHdr.dwFlags = 0;
}

bool CMIDIOutBuffer::Unprepare()
{
    return midiOutUnprepareHeader(DevHandle, &MidiHdr, sizeof(MIDIHDR)) != MIDIERR_STILLPLAYING;
}

CMIDIOutDevice::CMIDIOutDevice()
{
    try {
        m_Event = std::make_unique<AutoResetEvent>();
    } catch (const std::exception&) {
        throw CMIDIOutEventFailure();
    }
}

CMIDIOutDevice::CMIDIOutDevice(unsigned int deviceId)
    : CMIDIOutDevice()
{
    Open(deviceId);
}

CMIDIOutDevice::~CMIDIOutDevice()
{
    Close();
}

void CMIDIOutDevice::Open(unsigned int deviceId)
{
    Close();
    const MMRESULT result = midiOutOpen(&m_DevHandle, deviceId, MidiOutProc,
                                        reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR)
        throw CMIDIOutException(result);
    {
        std::lock_guard lock(m_NotesMutex);
        m_HeldNotes.reset();
    }
    m_State = OPENED;
    try {
        m_Thread = std::thread(MidiOutThread, this);
    } catch (const std::system_error&) {
        m_State = CLOSED;
        midiOutClose(m_DevHandle);
        throw CMIDIOutException(MMSYSERR_NOMEM);
    }
}

void CMIDIOutDevice::Close()
{
    if (m_State != OPENED)
        return;
    // A note left sounding would hang on an external synth.
    releaseHeldNotes();
    m_State = CLOSED;
    m_Event->set();
    m_Thread.join();
    // Blocks still in play come back from a reset; only then may they be freed.
    if (!m_BufferQueue.IsEmpty())
        midiOutReset(m_DevHandle);
    m_BufferQueue.RemoveAll();
    // A port that refuses to close keeps the handle, which this object forgets:
    // it must never call back into it.
    if (midiOutClose(m_DevHandle) != MMSYSERR_NOERROR)
        midiOutAbandon(m_DevHandle);
}

void CMIDIOutDevice::SendShortMsg(std::uint32_t msg)
{
    if (m_State != OPENED)
        return;
    const MMRESULT result = midiOutShortMsg(m_DevHandle, msg);
    if (result != MMSYSERR_NOERROR)
        throw CMIDIOutException(result);
    trackNotes(msg);
}

void CMIDIOutDevice::SendLongMsg(const char* buffer, std::uint32_t bufferLength)
{
    if (m_State != OPENED)
        return;
    auto* outBuffer = new (std::nothrow) CMIDIOutBuffer(m_DevHandle, buffer, bufferLength);
    if (!outBuffer)
        throw CMIDIOutMemFailure();
    const auto hold = m_BufferQueue.Lock();
    MMRESULT result = midiOutPrepareHeader(m_DevHandle, &outBuffer->MidiHdr, sizeof(MIDIHDR));
    if (result != MMSYSERR_NOERROR) {
        delete outBuffer;
        throw CMIDIOutException(result);
    }
    result = midiOutLongMsg(m_DevHandle, &outBuffer->MidiHdr, sizeof(MIDIHDR));
    if (result != MMSYSERR_NOERROR) {
        midiOutUnprepareHeader(m_DevHandle, &outBuffer->MidiHdr, sizeof(MIDIHDR));
        delete outBuffer;
        throw CMIDIOutException(result);
    }
    m_BufferQueue.AddBuffer(outBuffer);
}

bool CMIDIOutDevice::IsOpen() const
{
    return m_State == OPENED;
}

unsigned int CMIDIOutDevice::GetDevId()
{
    UINT deviceId = 0;
    const MMRESULT result = midiOutGetID(m_DevHandle, &deviceId);
    if (result != MMSYSERR_NOERROR)
        throw CMIDIOutException(result);
    return deviceId;
}

void CMIDIOutDevice::GetDevCaps(unsigned int deviceId, MIDIOUTCAPSA& caps)
{
    const MMRESULT result = midiOutGetDevCapsA(deviceId, &caps, sizeof(MIDIOUTCAPSA));
    if (result != MMSYSERR_NOERROR)
        throw CMIDIOutException(result);
}

void CMIDIOutDevice::trackNotes(std::uint32_t msg)
{
    const unsigned command = msg & 0xF0;
    const unsigned channel = msg & 0x0F;
    const unsigned note = (msg >> 8) & 0x7F;
    const unsigned velocity = (msg >> 16) & 0x7F;
    if (command != 0x80 && command != 0x90 && command != 0xB0)
        return;
    std::lock_guard lock(m_NotesMutex);
    if (command == 0x90 && velocity > 0) {
        m_HeldNotes.set(channel * 128 + note);
    } else if (command == 0x80 || command == 0x90) {
        m_HeldNotes.reset(channel * 128 + note);
    } else if (note == 120 || note == 123) {
        // All Sound Off, All Notes Off.
        for (unsigned n = 0; n < 128; ++n)
            m_HeldNotes.reset(channel * 128 + n);
    }
}

void CMIDIOutDevice::releaseHeldNotes()
{
    std::bitset<16 * 128> held;
    {
        std::lock_guard lock(m_NotesMutex);
        held = m_HeldNotes;
        m_HeldNotes.reset();
    }
    for (std::size_t i = 0; i < held.size(); ++i) {
        if (held.test(i)) {
            const auto channel = static_cast<std::uint32_t>(i / 128);
            const auto note = static_cast<std::uint32_t>(i % 128);
            midiOutShortMsg(m_DevHandle, (0x80 | channel) | (note << 8)); // result ignored: closing goes on
        }
    }
}

void CMIDIOutDevice::MidiOutProc(HMIDIOUT, UINT msg, DWORD_PTR instance, DWORD_PTR, DWORD_PTR)
{
    if (msg == MOM_DONE)
        reinterpret_cast<CMIDIOutDevice*>(instance)->m_Event->set();
}

void CMIDIOutDevice::MidiOutThread(CMIDIOutDevice* device)
{
    while (device->m_State == OPENED) {
        device->m_Event->wait();
        if (device->m_State != OPENED)
            break;
        device->m_BufferQueue.RemoveOne();
    }
}

} // namespace midi
