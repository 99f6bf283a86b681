// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midiindevice.h"

#include "midi/midiexceptions.h"
#include "midi/midireceiver.h"

#include <system_error>

namespace midi {

using namespace mmsys;

CMIDIInBuffer::CMIDIInBuffer(HMIDIIN handle, char* buffer, std::uint32_t bufferLength)
    : DevHandle(handle), MidiHdr{}
{
    MidiHdr.lpData = buffer;
    MidiHdr.dwBufferLength = bufferLength;
    MidiHdr.dwFlags = 0;
}

bool CMIDIInBuffer::Unprepare()
{
    return midiInUnprepareHeader(DevHandle, &MidiHdr, sizeof(MIDIHDR)) != MIDIERR_STILLPLAYING;
}

CMIDIInDevice::CMIDIInDevice()
{
    createEvent();
}

CMIDIInDevice::CMIDIInDevice(CMIDIReceiver* receiver)
    : m_Receiver(receiver)
{
    createEvent();
}

CMIDIInDevice::CMIDIInDevice(unsigned int deviceId, CMIDIReceiver* receiver)
    : m_Receiver(receiver)
{
    // The event must exist before the port can deliver anything.
    createEvent();
    Open(deviceId);
}

CMIDIInDevice::~CMIDIInDevice()
{
    try {
        Close();
    } catch (const std::exception&) {
        // The port refused to close: it must never call this object again.
        midiInAbandon(m_DevHandle);
    }
}

void CMIDIInDevice::createEvent()
{
    try {
        m_Event = std::make_unique<AutoResetEvent>();
    } catch (const std::exception&) {
        throw CMIDIInEventFailure();
    }
}

CMIDIReceiver* CMIDIInDevice::SetReceiver(CMIDIReceiver* receiver)
{
    std::lock_guard lock(m_CallbackMutex);
    CMIDIReceiver* previous = m_Receiver;
    m_Receiver = receiver;
    return previous;
}

void CMIDIInDevice::Open(unsigned int deviceId)
{
    Close();
    {
        std::lock_guard lock(m_CallbackMutex);
        m_HeldNotes.reset();
        m_LastTimeStamp = 0;
    }
    m_PortGone = false;
    const MMRESULT result = midiInOpen(&m_DevHandle, deviceId, MidiInProc,
                                       reinterpret_cast<DWORD_PTR>(this), CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR)
        throw CMIDIInException(result);
    m_State = OPENED;
}

void CMIDIInDevice::Close()
{
    if (m_State == RECEIVING)
        StopReceiving();
    if (m_State != OPENED)
        return;
    // Buffers lent while not receiving would keep the port from closing.
    if (!m_BufferQueue.IsEmpty()) {
        midiInReset(m_DevHandle);
        m_BufferQueue.RemoveAll();
    }
    const MMRESULT result = midiInClose(m_DevHandle);
    if (result != MMSYSERR_NOERROR)
        throw CMIDIInException(result);
    m_State = CLOSED;
}

void CMIDIInDevice::AddSysExBuffer(char* buffer, std::uint32_t bufferLength)
{
    auto* inBuffer = new (std::nothrow) CMIDIInBuffer(m_DevHandle, buffer, bufferLength);
    if (!inBuffer)
        throw CMIDIInMemFailure();
    const auto hold = m_BufferQueue.Lock();
    MMRESULT result = midiInPrepareHeader(m_DevHandle, &inBuffer->MidiHdr, sizeof(MIDIHDR));
    if (result != MMSYSERR_NOERROR) {
        delete inBuffer;
        throw CMIDIInException(result);
    }
    result = midiInAddBuffer(m_DevHandle, &inBuffer->MidiHdr, sizeof(MIDIHDR));
    if (result != MMSYSERR_NOERROR) {
        midiInUnprepareHeader(m_DevHandle, &inBuffer->MidiHdr, sizeof(MIDIHDR));
        delete inBuffer;
        throw CMIDIInException(result);
    }
    m_BufferQueue.AddBuffer(inBuffer);
}

void CMIDIInDevice::StartReceiving()
{
    if (m_State != OPENED)
        return;
    m_State = RECEIVING;
    try {
        m_Thread = std::thread(MidiInThread, this);
    } catch (const std::system_error&) {
        m_State = OPENED;
        throw CMIDIInException(MMSYSERR_NOMEM);
    }
    const MMRESULT result = midiInStart(m_DevHandle);
    if (result != MMSYSERR_NOERROR) {
        m_State = OPENED;
        m_Event->set();
        m_Thread.join();
        throw CMIDIInException(result);
    }
}

void CMIDIInDevice::StopReceiving()
{
    if (m_State != RECEIVING)
        return;
    m_State = OPENED;
    m_Event->set();
    m_Thread.join();
    midiInReset(m_DevHandle);
    m_BufferQueue.RemoveAll();
}

unsigned int CMIDIInDevice::GetDevId()
{
    UINT deviceId = 0;
    const MMRESULT result = midiInGetID(m_DevHandle, &deviceId);
    if (result != MMSYSERR_NOERROR)
        throw CMIDIInException(result);
    return deviceId;
}

void CMIDIInDevice::GetDevCaps(unsigned int deviceId, MIDIINCAPSA& caps)
{
    const MMRESULT result = midiInGetDevCapsA(deviceId, &caps, sizeof(MIDIINCAPSA));
    if (result != MMSYSERR_NOERROR)
        throw CMIDIInException(result);
}

bool CMIDIInDevice::IsOpen() const
{
    const State s = m_State;
    return s == OPENED || s == RECEIVING;
}

bool CMIDIInDevice::IsReceiving() const
{
    return m_State == RECEIVING;
}

bool CMIDIInDevice::IsPortGone() const
{
    return m_PortGone;
}

void CMIDIInDevice::trackNotes(std::uint32_t msg, std::uint32_t timeStamp)
{
    const unsigned command = msg & 0xF0;
    const unsigned channel = msg & 0x0F;
    const unsigned note = (msg >> 8) & 0x7F;
    const unsigned velocity = (msg >> 16) & 0x7F;
    m_LastTimeStamp = timeStamp;
    if (command == 0x90 && velocity > 0)
        m_HeldNotes.set(channel * 128 + note);
    else if (command == 0x80 || command == 0x90)
        m_HeldNotes.reset(channel * 128 + note);
}

void CMIDIInDevice::releaseHeldNotes(CMIDIReceiver* receiver)
{
    const std::bitset<16 * 128> held = m_HeldNotes;
    m_HeldNotes.reset();
    const std::uint32_t timeStamp = m_LastTimeStamp;
    if (!receiver)
        return;
    for (std::size_t i = 0; i < held.size(); ++i) {
        if (held.test(i)) {
            const auto channel = static_cast<std::uint32_t>(i / 128);
            const auto note = static_cast<std::uint32_t>(i % 128);
            receiver->OnShortMsg((0x80 | channel) | (note << 8), timeStamp);
        }
    }
}

void CMIDIInDevice::MidiInProc(HMIDIIN, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2)
{
    if (msg != MIM_DATA && msg != MIM_ERROR && msg != MIM_LONGDATA && msg != MIM_LONGERROR && msg != MIM_GONE)
        return; // open and close notices
    auto* device = reinterpret_cast<CMIDIInDevice*>(instance);
    const auto timeStamp = static_cast<std::uint32_t>(param2);
    std::lock_guard lock(device->m_CallbackMutex);
    CMIDIReceiver* receiver = device->m_Receiver;
    switch (msg) {
    case MIM_DATA:
        device->trackNotes(static_cast<std::uint32_t>(param1), timeStamp);
        if (receiver)
            receiver->OnShortMsg(static_cast<std::uint32_t>(param1), timeStamp);
        break;
    case MIM_ERROR:
        if (receiver)
            receiver->OnShortMsgError(static_cast<std::uint32_t>(param1), timeStamp);
        break;
    case MIM_LONGDATA:
    case MIM_LONGERROR:
        if (receiver && device->m_State == RECEIVING) {
            const auto* header = reinterpret_cast<const MIDIHDR*>(param1);
            if (msg == MIM_LONGDATA)
                receiver->OnLongMsg(header->lpData, header->dwBytesRecorded, timeStamp);
            else
                receiver->OnLongMsgError(header->lpData, header->dwBytesRecorded, timeStamp);
            device->m_Event->set();
        }
        break;
    case MIM_GONE:
        // Keys held on a keyboard that was pulled out are never let go.
        device->m_PortGone = true;
        device->releaseHeldNotes(receiver);
        break;
    default:
        break;
    }
}

void CMIDIInDevice::MidiInThread(CMIDIInDevice* device)
{
    while (device->m_State == RECEIVING) {
        device->m_Event->wait();
        if (device->m_State != RECEIVING)
            break;
        device->m_BufferQueue.RemoveOne();
    }
}

} // namespace midi
