// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// An in-process MIDI backend for tests: virtual input ports that a test feeds
// and virtual output ports that record what is sent. Its callbacks run on a
// thread of its own, in order, as the system's do. Only tests install it.

#include "platform/mmsystem/mididevices.h"
#include "platform/mmsystem/mmsystem.h"

#include <cstddef>
#include <string>
#include <vector>

namespace mmsys::loopback {

struct Message {
    bool isLong = false;
    DWORD word = 0;                   // a short message
    std::vector<unsigned char> bytes; // a long message
};

// Calls a port can be made to refuse, and counted.
enum class Op { Open, Close, Start, Stop, Reset, Prepare, Unprepare, AddBuffer, ShortMsg, LongMsg };

struct PortSpec {
    std::string name;
    PortKind kind = PortKind::Hardware;
};

// Registers the loopback with ports "Loopback In 1".. and "Loopback Out 1"..
// (hardware ports) after the other backends; the device lists are re-read on
// next use. Replaces an earlier install.
void install(int inputs = 1, int outputs = 1);
// The same with ports of these names and kinds.
void install(const std::vector<PortSpec>& inputs, const std::vector<PortSpec>& outputs);
void uninstall();

// Installs the loopback as the only backend (its ports are ids 0, 1, ...) for
// the life of the object; restores the shipped backends afterwards.
class Scope {
public:
    explicit Scope(int inputs = 1, int outputs = 1);
    Scope(const std::vector<PortSpec>& inputs, const std::vector<PortSpec>& outputs);
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

// ---- ports that start and end --------------------------------------------------
// `port` arguments count the loopback's ports in the order they were made,
// removed ones included, so they do not shift as the device ids do. As on the
// ALSA sequencer, a change is announced on the loopback thread after what was
// fed before it, and the device ids change only at refreshDevices(); until
// then a removed port stays listed and opening it fails with MIDIERR_NODEVICE.

// A new port, announced as appeared; returns its number.
int addInput(const PortSpec& spec);
int addOutput(const PortSpec& spec);
// Ends a port at once: an open handle gets MIM_GONE (inputs) or its blocks
// back (outputs) and delivers nothing more; then the port is announced as gone.
void removeInput(int port);
void removeOutput(int port);
// The next open of this port finds it gone, as when a keyboard is pulled out
// between listing and opening: the open fails and the port is announced as gone.
void vanishOnOpen(PortDirection direction, int port);
// The identity the services give this port.
PortInfo portInfo(PortDirection direction, int port);

// ---- input ports -------------------------------------------------------------
// Delivered whether or not input was started, so every callback path is reachable.
void feed(DWORD word, DWORD timeStamp, int port = 0);
void feedError(DWORD word, DWORD timeStamp = 0, int port = 0);
// Filled into the buffers lent with midiInAddBuffer (oldest first); lost without one.
void feedLong(const std::vector<unsigned char>& bytes, DWORD timeStamp = 0, int port = 0);
void feedLongError(const std::vector<unsigned char>& bytes, DWORD timeStamp = 0, int port = 0);
// Raw bytes as a system port delivers them: checked and stamped by the services.
void feedRaw(const std::vector<unsigned char>& bytes, int port = 0);
// Waits until everything fed or completed so far has been delivered.
void flush();

// ---- output ports --------------------------------------------------------------
std::vector<Message> sent(int port = 0);
// Waits until at least `count` messages were sent; false on time-out.
bool waitForCount(std::size_t count, int timeoutMs = 5000, int port = 0);
void clearSent(int port = 0);
// With manual completion a long message stays in play until complete() is called.
void setManualCompletion(bool manual, int port = 0);
std::size_t pendingLong(int port = 0);
// Reports the oldest `count` blocks in play as done (MOM_DONE), back to back on the loopback thread.
void complete(int count = 1, int port = 0);

// ---- failures and counters -------------------------------------------------------
void failIn(Op op, MMRESULT code, int port = 0);
void failOut(Op op, MMRESULT code, int port = 0);
void clearFailures();
int inCalls(Op op, int port = 0);
int outCalls(Op op, int port = 0);

// While held, every header unprepare on a loopback port blocks (after being counted).
void holdUnprepare(bool hold);
// Waits until `count` callers are blocked by holdUnprepare; false on time-out.
bool waitUnprepareBlocked(int count, int timeoutMs = 5000);

} // namespace mmsys::loopback
