// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midiexceptions.h"

#include "platform/mmsystem/mmsystem.h"

namespace midi {

CMIDIInException::CMIDIInException(unsigned int errCode) noexcept
    : m_ErrMsg{}, m_Code(errCode)
{
    mmsys::midiInGetErrorTextA(errCode, m_ErrMsg, sizeof m_ErrMsg);
}

const char* CMIDIInEventFailure::what() const noexcept
{
    return "Unable to create a signalling event for CMIDIInDevice object.";
}

const char* CMIDIInMemFailure::what() const noexcept
{
    return "Memory allocation within a CMIDIInDevice object failed.";
}

CMIDIOutException::CMIDIOutException(unsigned int errCode) noexcept
    : m_ErrMsg{}, m_Code(errCode)
{
    mmsys::midiOutGetErrorTextA(errCode, m_ErrMsg, sizeof m_ErrMsg);
}

const char* CMIDIOutEventFailure::what() const noexcept
{
    return "Unable to create a signalling event for CMIDIOutDevice object.";
}

const char* CMIDIOutMemFailure::what() const noexcept
{
    return "Memory allocation within a CMIDIOutDevice object failed.";
}

} // namespace midi
