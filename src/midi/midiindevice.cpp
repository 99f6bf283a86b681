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
        // A destructor cannot report it; the port is left to the system.
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
    return m_Receiver.exchange(receiver);
}

void CMIDIInDevice::Open(unsigned int deviceId)
{
    Close();
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

void CMIDIInDevice::MidiInProc(HMIDIIN, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2)
{
    auto* device = reinterpret_cast<CMIDIInDevice*>(instance);
    CMIDIReceiver* receiver = device->m_Receiver;
    if (!receiver)
        return;
    const auto timeStamp = static_cast<std::uint32_t>(param2);
    switch (msg) {
    case MIM_DATA:
        receiver->OnShortMsg(static_cast<std::uint32_t>(param1), timeStamp);
        break;
    case MIM_ERROR:
        receiver->OnShortMsgError(static_cast<std::uint32_t>(param1), timeStamp);
        break;
    case MIM_LONGDATA:
    case MIM_LONGERROR:
        if (device->m_State == RECEIVING) {
            const auto* header = reinterpret_cast<const MIDIHDR*>(param1);
            if (msg == MIM_LONGDATA)
                receiver->OnLongMsg(header->lpData, header->dwBytesRecorded, timeStamp);
            else
                receiver->OnLongMsgError(header->lpData, header->dwBytesRecorded, timeStamp);
            device->m_Event->set();
        }
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
