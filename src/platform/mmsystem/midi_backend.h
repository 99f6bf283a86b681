// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the MIDI services front expects of a backend (synth, ALSA, loopback).
// Private to src/platform: nothing above it includes this header.

#include "platform/mmsystem/mididevices.h"
#include "platform/mmsystem/mmsystem.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mmsys::backend {

// Length of a short message with this status byte; 0 when it cannot start one.
std::size_t shortMessageLength(unsigned char status);

// Calls a driver sees before the front acts on them, as a Windows driver gets
// its MIDM_/MODM_ message; a device may refuse one with an error code.
enum class Call { Open, Close, Start, Stop, Reset, Prepare, Unprepare, AddBuffer, ShortMsg, LongMsg };

// Where an input device delivers; called on the backend's own thread, in order.
class InputSink {
public:
    virtual ~InputSink() = default;
    // One message as a system port delivered it; the front stamps and classifies it.
    virtual void raw(const unsigned char* data, std::size_t size) = 0;
    // A short message (or an invalid one) with its time stamp as given.
    virtual void shortMsg(DWORD word, DWORD timeStamp, bool error) = 0;
    // A system-exclusive message to copy into the lent buffers.
    virtual void sysEx(const unsigned char* data, std::size_t size, DWORD timeStamp, bool error) = 0;
    // Milliseconds since input was started, for devices that stamp themselves.
    virtual DWORD now() const = 0;
    // The port ended while open: called once, after the last delivery; nothing follows.
    virtual void gone() = 0;
};

// Where an output device reports a finished long message.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    virtual void done(MIDIHDR* header) = 0;
    // The port ended while open: called once; no completion follows.
    virtual void gone() = 0;
};

class InputDevice {
public:
    virtual ~InputDevice() = default;
    virtual std::string name() const = 0;
    virtual std::string key() const { return name(); }
    virtual PortKind kind() const { return PortKind::Software; }
    virtual MMRESULT open(InputSink* sink) = 0;
    // After it returns the sink is never called again.
    virtual void close() = 0;
    // System ports deliver only between start and stop; the loopback delivers whatever a test feeds.
    virtual bool deliversOnlyWhenStarted() const { return true; }
    virtual MMRESULT driverCall(Call, MIDIHDR*) { return MMSYSERR_NOERROR; }
};

class OutputDevice {
public:
    virtual ~OutputDevice() = default;
    virtual std::string name() const = 0;
    virtual std::string key() const { return name(); }
    virtual PortKind kind() const { return PortKind::Software; }
    virtual WORD technology() const { return MOD_MIDIPORT; }
    // Notes a synthesizer can sound at once; 0 for a port.
    virtual WORD voices() const { return 0; }
    virtual MMRESULT open(OutputSink* sink) = 0;
    // After it returns the sink is never called again.
    virtual void close() = 0;
    virtual MMRESULT shortMsg(DWORD word) = 0;
    // Plays a block. Returns true in `later` when the device reports completion
    // itself through the sink; otherwise the block is finished on return.
    virtual MMRESULT longMsg(MIDIHDR* header, bool& later) = 0;
    // Silences every channel and forgets blocks not yet reported done.
    virtual void reset() = 0;
    virtual MMRESULT driverCall(Call, MIDIHDR*) { return MMSYSERR_NOERROR; }
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual void enumerate(std::vector<std::shared_ptr<InputDevice>>& inputs,
                           std::vector<std::shared_ptr<OutputDevice>>& outputs) = 0;
};

Backend& synthBackend();
Backend& alsaBackend();
// The installed loopback, or null.
Backend* loopbackBackend();
void setLoopbackBackend(Backend* backend);

// Marks the device lists stale; they are re-read on next use.
void invalidateDevices();

// Passes a one-off notice to the installed handler.
void notice(const std::string& text);
// A notice of a state that lasts until withdrawn (no soundfont), by key.
void lastingNotice(const std::string& key, const std::string& text);
void withdrawNotice(const std::string& key);

// Announces a port that started or ended to the handlers of mididevices.h;
// called by a backend on its own thread, in the order of the changes.
void portChanged(const PortChange& change);

// What the ALSA sequencer tells of a port, reduced to what decides its kind.
struct AlsaPortFacts {
    int client = 0;
    bool kernelClient = false; // a driver's client, not a program's
    bool ourProcess = false;   // the client belongs to this process
    std::string clientName;
    bool hardware = false;     // SND_SEQ_PORT_TYPE_HARDWARE
    bool software = false;     // SND_SEQ_PORT_TYPE_SOFTWARE
    bool readable = false;     // others can read from it (an input for us)
    bool writable = false;     // others can write to it (an output for us)
};
PortKind alsaPortKind(const AlsaPortFacts& facts);

// A worker thread running posted jobs in order; stop() runs what is queued, then joins.
class CallbackQueue {
public:
    CallbackQueue();
    ~CallbackQueue();
    CallbackQueue(const CallbackQueue&) = delete;
    CallbackQueue& operator=(const CallbackQueue&) = delete;

    void post(std::function<void()> job);
    // Waits until every job posted so far has run.
    void drain();
    void stop();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<std::function<void()>> m_jobs;
    bool m_running = false;
    bool m_busy = false;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace mmsys::backend
