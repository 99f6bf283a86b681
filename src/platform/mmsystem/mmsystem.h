// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The multimedia MIDI services with their Windows meanings (results, messages,
// header flags, error texts), served by the built-in synthesizer, the ALSA
// sequencer and, in tests, an in-process loopback.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mmsys {

using UINT = unsigned int;
using DWORD = std::uint32_t;
using WORD = std::uint16_t;
using DWORD_PTR = std::uintptr_t;
using MMRESULT = UINT;
using MMVERSION = UINT;

struct HMIDIIN__;
struct HMIDIOUT__;
using HMIDIIN = HMIDIIN__*;
using HMIDIOUT = HMIDIOUT__*;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_NOTENABLED = 3;
constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT MMSYSERR_HANDLEBUSY = 12;
constexpr MMRESULT MIDIERR_UNPREPARED = 64;
constexpr MMRESULT MIDIERR_STILLPLAYING = 65;
constexpr MMRESULT MIDIERR_NOMAP = 66;
constexpr MMRESULT MIDIERR_NOTREADY = 67;
constexpr MMRESULT MIDIERR_NODEVICE = 68;
constexpr MMRESULT MIDIERR_INVALIDSETUP = 69;
constexpr MMRESULT MIDIERR_BADOPENMODE = 70;

constexpr DWORD CALLBACK_NULL = 0x00000;
constexpr DWORD CALLBACK_FUNCTION = 0x30000;
constexpr DWORD CALLBACK_TYPEMASK = 0x70000;

constexpr UINT MIM_OPEN = 0x3C1;
constexpr UINT MIM_CLOSE = 0x3C2;
constexpr UINT MIM_DATA = 0x3C3;
constexpr UINT MIM_LONGDATA = 0x3C4;
constexpr UINT MIM_ERROR = 0x3C5;
constexpr UINT MIM_LONGERROR = 0x3C6;
constexpr UINT MOM_OPEN = 0x3C7;
constexpr UINT MOM_CLOSE = 0x3C8;
constexpr UINT MOM_DONE = 0x3C9;
// Ours, not Windows': the input port ended while open (unplugged). Comes once,
// after the last message of the port; afterwards only closing and freeing work.
constexpr UINT MIM_GONE = 0x3E0;

constexpr DWORD MHDR_DONE = 0x00000001;
constexpr DWORD MHDR_PREPARED = 0x00000002;
constexpr DWORD MHDR_INQUEUE = 0x00000004;
constexpr DWORD MHDR_ISSTRM = 0x00000008;

constexpr UINT MAXERRORLENGTH = 256;
constexpr UINT MAXPNAMELEN = 32;

struct MIDIHDR {
    char* lpData = nullptr;
    DWORD dwBufferLength = 0;
    DWORD dwBytesRecorded = 0;
    DWORD_PTR dwUser = 0;
    DWORD dwFlags = 0;
    MIDIHDR* lpNext = nullptr;
    DWORD_PTR reserved = 0;
    DWORD dwOffset = 0;
    DWORD_PTR dwReserved[8] = {};
};
using LPMIDIHDR = MIDIHDR*;

struct MIDIINCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    char szPname[MAXPNAMELEN];
    DWORD dwSupport;
};
static_assert(sizeof(MIDIINCAPSA) == 44);

constexpr WORD MOD_MIDIPORT = 1;
constexpr WORD MOD_SWSYNTH = 7;

struct MIDIOUTCAPSA {
    WORD wMid;
    WORD wPid;
    MMVERSION vDriverVersion;
    char szPname[MAXPNAMELEN];
    WORD wTechnology;
    WORD wVoices;
    WORD wNotes;
    WORD wChannelMask;
    DWORD dwSupport;
};
static_assert(sizeof(MIDIOUTCAPSA) == 52);

// Callbacks run on a thread of the device's backend, never on the caller's
// (except the open, close and reset notifications, sent from within those calls).
using MIDIINPROC = void (*)(HMIDIIN, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);
using MIDIOUTPROC = void (*)(HMIDIOUT, UINT msg, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2);

// Input ports.
UINT midiInGetNumDevs();
MMRESULT midiInGetDevCapsA(UINT deviceId, MIDIINCAPSA* caps, UINT cbCaps);
MMRESULT midiInOpen(HMIDIIN* handle, UINT deviceId, MIDIINPROC callback, DWORD_PTR instance, DWORD flags);
MMRESULT midiInClose(HMIDIIN handle);
MMRESULT midiInStart(HMIDIIN handle);
MMRESULT midiInStop(HMIDIIN handle);
MMRESULT midiInReset(HMIDIIN handle);
MMRESULT midiInPrepareHeader(HMIDIIN handle, MIDIHDR* header, UINT cbHeader);
MMRESULT midiInUnprepareHeader(HMIDIIN handle, MIDIHDR* header, UINT cbHeader);
MMRESULT midiInAddBuffer(HMIDIIN handle, MIDIHDR* header, UINT cbHeader);
MMRESULT midiInGetID(HMIDIIN handle, UINT* deviceId);
MMRESULT midiInGetErrorTextA(MMRESULT error, char* text, UINT cchText);
// Ours, not Windows': the owner of an open handle goes without having closed it
// (the port refused). When it returns, the callback is not running and is never
// called again, and the port delivers nothing more; the port is closed if it
// now allows it, else it stays allocated until the program ends.
MMRESULT midiInAbandon(HMIDIIN handle);

// Output ports.
UINT midiOutGetNumDevs();
MMRESULT midiOutGetDevCapsA(UINT deviceId, MIDIOUTCAPSA* caps, UINT cbCaps);
MMRESULT midiOutOpen(HMIDIOUT* handle, UINT deviceId, MIDIOUTPROC callback, DWORD_PTR instance, DWORD flags);
MMRESULT midiOutClose(HMIDIOUT handle);
MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD msg);
MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR* header, UINT cbHeader);
MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT cbHeader);
MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT cbHeader);
MMRESULT midiOutReset(HMIDIOUT handle);
MMRESULT midiOutGetID(HMIDIOUT handle, UINT* deviceId);
MMRESULT midiOutGetErrorTextA(MMRESULT error, char* text, UINT cchText);
// The same for an output handle: no MOM_DONE reaches the callback again.
MMRESULT midiOutAbandon(HMIDIOUT handle);

// Re-reads the device lists of every backend. The counts and ids above refer to
// the list of the last refresh (taken on first use), so ids stay stable between
// refreshes; handles already open are not affected (their ...GetID gives the new id).
// A port that ended since stays listed until then, and opening it fails with
// MIDIERR_NODEVICE; so does every call on an open handle whose port ended, but
// for reset, unprepare and close. Ports by identity and kind: mididevices.h.
void refreshDevices();

// Receives the one-off notices of the backends (e.g. "no audio output"). By
// default they go, queued to the GUI thread, to platform::MessageBox.
using NoticeHandler = std::function<void(const std::string&)>;
void setNoticeHandler(NoticeHandler handler);
// Receives the notices of a state that lasts (no soundfont) by key, and an
// empty text when it is over. Without one they go where the one-off ones go.
using LastingNoticeHandler = std::function<void(const std::string& key, const std::string& text)>;
void setLastingNoticeHandler(LastingNoticeHandler handler);
// Both handlers back to the defaults.
void resetNoticeHandler();

enum class Backend { Synth, Alsa, Loopback };

// Test seam: the backends that offer devices, in id order (inputs and outputs
// alike). An empty list offers no device at all. The lists are re-read on next use.
void setBackendsForTest(const std::vector<Backend>& order);
// Back to the shipped order: synth, ALSA, then the loopback when installed.
void resetBackends();

} // namespace mmsys
