// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>
#include <new>

namespace midi {

// A midiIn… call failed; what() is the system's text for the code.
class CMIDIInException : public std::exception {
public:
    explicit CMIDIInException(unsigned int errCode) noexcept;
    const char* what() const noexcept override { return m_ErrMsg; }
    // The system's result code.
    unsigned int code() const noexcept { return m_Code; }

private:
    char m_ErrMsg[128];
    unsigned int m_Code;
};

// The input device's signalling event could not be created.
class CMIDIInEventFailure : public std::exception {
public:
    const char* what() const noexcept override;
};

// Memory for a lent input buffer could not be allocated.
class CMIDIInMemFailure : public std::bad_alloc {
public:
    const char* what() const noexcept override;
};

// A midiOut… call failed; what() is the system's text for the code.
class CMIDIOutException : public std::exception {
public:
    explicit CMIDIOutException(unsigned int errCode) noexcept;
    const char* what() const noexcept override { return m_ErrMsg; }
    // The system's result code.
    unsigned int code() const noexcept { return m_Code; }

private:
    char m_ErrMsg[128];
    unsigned int m_Code;
};

// The output device's signalling event could not be created.
class CMIDIOutEventFailure : public std::exception {
public:
    const char* what() const noexcept override;
};

// Memory for a long output message could not be allocated.
class CMIDIOutMemFailure : public std::bad_alloc {
public:
    const char* what() const noexcept override;
};

} // namespace midi
