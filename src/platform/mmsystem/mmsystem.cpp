// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mmsystem/mmsystem.h"

#include "platform/ui/messagebox.h"
#include "platform/mmsystem/mididevices.h"
#include "platform/mmsystem/midi_backend.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QString>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <set>

namespace mmsys {

using backend::Call;
using backend::InputDevice;
using backend::OutputDevice;

namespace {

// ---- error texts -----------------------------------------------------------

const char* errorText(MMRESULT error)
{
    switch (error) {
    case MMSYSERR_NOERROR: return "The specified command was carried out.";
    case MMSYSERR_ERROR: return "Undefined external error.";
    case MMSYSERR_BADDEVICEID: return "The specified device identifier is out of range.";
    case MMSYSERR_NOTENABLED: return "The driver failed to enable.";
    case MMSYSERR_ALLOCATED: return "The specified resource is already allocated.";
    case MMSYSERR_INVALHANDLE: return "The specified device handle is invalid.";
    case MMSYSERR_NODRIVER: return "No device driver is present.";
    case MMSYSERR_NOMEM: return "Unable to allocate or lock memory.";
    case MMSYSERR_NOTSUPPORTED: return "The function is not supported.";
    case MMSYSERR_BADERRNUM: return "The error value is out of range.";
    case MMSYSERR_INVALFLAG: return "An invalid flag was passed to a system function.";
    case MMSYSERR_INVALPARAM: return "An invalid parameter was passed to a system function.";
    case MMSYSERR_HANDLEBUSY: return "The handle is in use by another thread.";
    case MIDIERR_UNPREPARED: return "The buffer has not been prepared.";
    case MIDIERR_STILLPLAYING: return "The buffers are still in the queue.";
    case MIDIERR_NOMAP: return "No MIDI map is present.";
    case MIDIERR_NOTREADY: return "The hardware is busy.";
    case MIDIERR_NODEVICE: return "The MIDI port is no longer present.";
    case MIDIERR_INVALIDSETUP: return "The MIDI setup is invalid.";
    case MIDIERR_BADOPENMODE: return "The operation is not supported in this open mode.";
    default: return nullptr;
    }
}

MMRESULT copyErrorText(MMRESULT error, char* text, UINT cchText)
{
    if (!text || cchText == 0)
        return MMSYSERR_INVALPARAM;
    const char* known = errorText(error);
    const char* s = known ? known : "Undefined external error.";
    const std::size_t n = std::min<std::size_t>(std::strlen(s), cchText - 1);
    std::memcpy(text, s, n);
    text[n] = '\0';
    return known ? MMSYSERR_NOERROR : MMSYSERR_BADERRNUM;
}

// ---- notices -----------------------------------------------------------------

std::mutex noticeMutex;
NoticeHandler noticeHandler;
bool noticeHandlerSet = false;
LastingNoticeHandler lastingHandler;

void defaultNotice(const std::string& text)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    // Queued even on the GUI thread: a notice may come from within an open call,
    // which must not run a modal loop.
    const QString message = QString::fromStdString(text);
    QMetaObject::invokeMethod(app, [message] {
        platform::MessageBox(nullptr, message, QStringLiteral("Tonvero"), platform::MsgIcon::Exclamation);
    }, Qt::QueuedConnection);
}

// ---- header helpers --------------------------------------------------------

MMRESULT checkHeader(const MIDIHDR* header, UINT cbHeader)
{
    if (!header || cbHeader < sizeof(MIDIHDR))
        return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

// Packs up to three bytes the way a short message word is laid out.
DWORD packBytes(const unsigned char* data, std::size_t size)
{
    DWORD word = 0;
    for (std::size_t i = 0; i < size && i < 3; ++i)
        word |= DWORD(data[i]) << (8 * i);
    return word;
}


// ---- open ports --------------------------------------------------------------

class InPort final : public backend::InputSink {
public:
    InPort(std::shared_ptr<InputDevice> device, UINT id, MIDIINPROC callback, DWORD_PTR instance)
        : m_device(std::move(device)), m_id(id), m_callback(callback), m_instance(instance) {}

    HMIDIIN handle = nullptr;

    InputDevice& device() { return *m_device; }
    const std::shared_ptr<InputDevice>& devicePtr() const { return m_device; }
    UINT openedId() const { return m_id; }

    // Callers hold callbackMutex.
    void notify(UINT msg, DWORD_PTR p1 = 0, DWORD_PTR p2 = 0)
    {
        if (m_callback)
            m_callback(handle, msg, m_instance, p1, p2);
    }

    // The owner is gone: waits for a callback in progress and forgets the callback.
    void abandon()
    {
        std::lock_guard cb(callbackMutex);
        m_callback = nullptr;
        started = false;
    }

    // Serialises every callback of this port.
    std::recursive_mutex callbackMutex;
    std::mutex stateMutex;
    std::deque<MIDIHDR*> lent;
    std::atomic<bool> started{false};
    std::atomic<std::int64_t> startMs{0};
    std::atomic<bool> vanished{false};

    void gone() override
    {
        std::lock_guard cb(callbackMutex);
        if (vanished.exchange(true))
            return;
        started = false;
        notify(MIM_GONE, 0, now());
    }

    DWORD now() const override
    {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch()).count();
        return DWORD(ms - startMs.load());
    }

    void raw(const unsigned char* data, std::size_t size) override
    {
        if (size == 0)
            return;
        const DWORD stamp = now();
        if (data[0] == 0xF0) {
            bool bad = size < 2 || data[size - 1] != 0xF7;
            for (std::size_t i = 1; i + 1 < size && !bad; ++i)
                bad = data[i] >= 0x80 && data[i] < 0xF8;
            sysEx(data, size, stamp, bad);
            return;
        }
        const std::size_t want = backend::shortMessageLength(data[0]);
        bool bad = want == 0 || size != want;
        for (std::size_t i = 1; i < size && !bad; ++i)
            bad = data[i] >= 0x80;
        shortMsg(packBytes(data, size), stamp, bad);
    }

    void shortMsg(DWORD word, DWORD timeStamp, bool error) override
    {
        if (m_device->deliversOnlyWhenStarted() && !started.load())
            return;
        std::lock_guard cb(callbackMutex);
        if (!vanished.load())
            notify(error ? MIM_ERROR : MIM_DATA, word, timeStamp);
    }

    void sysEx(const unsigned char* data, std::size_t size, DWORD timeStamp, bool error) override
    {
        if (m_device->deliversOnlyWhenStarted() && !started.load())
            return;
        std::lock_guard cb(callbackMutex);
        if (vanished.load())
            return;
        std::size_t pos = 0;
        while (pos < size) {
            MIDIHDR* header = nullptr;
            {
                std::lock_guard lock(stateMutex);
                if (lent.empty())
                    return; // nowhere to put it: the rest is lost, as on a real port
                header = lent.front();
                const std::size_t n = std::min<std::size_t>(size - pos, header->dwBufferLength);
                std::memcpy(header->lpData, data + pos, n);
                header->dwBytesRecorded = DWORD(n);
                pos += n;
                lent.pop_front();
                header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
            }
            notify(error && pos >= size ? MIM_LONGERROR : MIM_LONGDATA, DWORD_PTR(header), timeStamp);
        }
    }

    // Hands every lent buffer back, empty and marked done.
    void returnAll()
    {
        std::lock_guard cb(callbackMutex);
        std::deque<MIDIHDR*> back;
        {
            std::lock_guard lock(stateMutex);
            back.swap(lent);
            for (MIDIHDR* h : back)
                h->dwFlags = (h->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        }
        for (MIDIHDR* h : back)
            notify(MIM_LONGDATA, DWORD_PTR(h), now());
    }

private:
    std::shared_ptr<InputDevice> m_device;
    UINT m_id;
    MIDIINPROC m_callback;
    DWORD_PTR m_instance;
};

class OutPort final : public backend::OutputSink {
public:
    OutPort(std::shared_ptr<OutputDevice> device, UINT id, MIDIOUTPROC callback, DWORD_PTR instance)
        : m_device(std::move(device)), m_id(id), m_callback(callback), m_instance(instance) {}
    ~OutPort() override
    {
        if (completions)
            completions->stop();
    }

    HMIDIOUT handle = nullptr;

    OutputDevice& device() { return *m_device; }
    const std::shared_ptr<OutputDevice>& devicePtr() const { return m_device; }
    UINT openedId() const { return m_id; }

    // Callers hold callbackMutex.
    void notify(UINT msg, DWORD_PTR p1 = 0, DWORD_PTR p2 = 0)
    {
        if (m_callback)
            m_callback(handle, msg, m_instance, p1, p2);
    }

    void abandon()
    {
        std::lock_guard cb(callbackMutex);
        m_callback = nullptr;
    }

    std::recursive_mutex callbackMutex;
    std::mutex stateMutex;
    std::deque<MIDIHDR*> pending;
    // Completes the blocks of devices that play them at once; made on first use.
    std::unique_ptr<backend::CallbackQueue> completions;
    std::atomic<bool> vanished{false};

    // Blocks still in play will never complete: they come back now, so they can be freed.
    void gone() override
    {
        if (!vanished.exchange(true))
            returnAll();
    }

    void done(MIDIHDR* header) override
    {
        std::lock_guard cb(callbackMutex);
        {
            std::lock_guard lock(stateMutex);
            auto it = std::find(pending.begin(), pending.end(), header);
            if (it == pending.end())
                return; // already handed back by a reset
            pending.erase(it);
            header->dwFlags = (header->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        }
        notify(MOM_DONE, DWORD_PTR(header), 0);
    }

    void returnAll()
    {
        std::lock_guard cb(callbackMutex);
        std::deque<MIDIHDR*> back;
        {
            std::lock_guard lock(stateMutex);
            back.swap(pending);
            for (MIDIHDR* h : back)
                h->dwFlags = (h->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
        }
        for (MIDIHDR* h : back)
            notify(MOM_DONE, DWORD_PTR(h), 0);
    }

private:
    std::shared_ptr<OutputDevice> m_device;
    UINT m_id;
    MIDIOUTPROC m_callback;
    DWORD_PTR m_instance;
};

// ---- the registry of devices and handles ------------------------------------

struct Registry {
    std::mutex mutex;
    bool enumerated = false;
    std::vector<Backend> order{Backend::Synth, Backend::Alsa, Backend::Loopback};
    std::vector<std::shared_ptr<InputDevice>> inputs;
    std::vector<std::shared_ptr<OutputDevice>> outputs;
    // What the ports were when listed, by id.
    std::vector<PortInfo> inputInfo;
    std::vector<PortInfo> outputInfo;
    std::set<const void*> busy;
    std::map<std::uintptr_t, std::shared_ptr<InPort>> inPorts;
    std::map<std::uintptr_t, std::shared_ptr<OutPort>> outPorts;
    std::uintptr_t nextHandle = 0x10;
};

Registry& registry()
{
    static Registry r;
    return r;
}

void enumerateLocked(Registry& r)
{
    std::vector<std::shared_ptr<InputDevice>> ins;
    std::vector<std::shared_ptr<OutputDevice>> outs;
    std::set<std::shared_ptr<OutputDevice>> builtIn;
    for (Backend b : r.order) {
        backend::Backend* be = nullptr;
        switch (b) {
        case Backend::Synth: be = &backend::synthBackend(); break;
        case Backend::Alsa: be = &backend::alsaBackend(); break;
        case Backend::Loopback: be = backend::loopbackBackend(); break;
        }
        if (!be)
            continue;
        const std::size_t firstOut = outs.size();
        be->enumerate(ins, outs);
        if (b == Backend::Synth)
            builtIn.insert(outs.begin() + std::ptrdiff_t(firstOut), outs.end());
    }
    r.inputInfo.clear();
    r.outputInfo.clear();
    for (const auto& d : ins)
        r.inputInfo.push_back({d->key(), d->name(), d->kind()});
    for (const auto& d : outs)
        r.outputInfo.push_back({d->key(), d->name(), builtIn.count(d) ? PortKind::BuiltIn : d->kind()});
    r.inputs = std::move(ins);
    r.outputs = std::move(outs);
    r.enumerated = true;
}

Registry& enumerated(std::unique_lock<std::mutex>& lock)
{
    Registry& r = registry();
    lock = std::unique_lock(r.mutex);
    if (!r.enumerated)
        enumerateLocked(r);
    return r;
}

std::shared_ptr<InPort> findIn(HMIDIIN h)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.inPorts.find(reinterpret_cast<std::uintptr_t>(h));
    return it == r.inPorts.end() ? nullptr : it->second;
}

std::shared_ptr<OutPort> findOut(HMIDIOUT h)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.outPorts.find(reinterpret_cast<std::uintptr_t>(h));
    return it == r.outPorts.end() ? nullptr : it->second;
}

// ---- what both directions share ------------------------------------------------

// Checks the flags, reserves the device, opens it and registers the new handle.
template <class Port, class Handle, class Proc, class Devices, class Ports>
MMRESULT openPort(Handle* handle, UINT deviceId, Proc callback, DWORD_PTR instance, DWORD flags,
                  Devices Registry::*devices, Ports Registry::*ports, UINT openMessage)
{
    if (!handle)
        return MMSYSERR_INVALPARAM;
    *handle = nullptr;
    const DWORD type = flags & CALLBACK_TYPEMASK;
    if ((type != CALLBACK_FUNCTION && type != CALLBACK_NULL) || (type == CALLBACK_FUNCTION && !callback))
        return MMSYSERR_INVALFLAG;
    std::shared_ptr<Port> port;
    {
        std::unique_lock<std::mutex> lock;
        Registry& r = enumerated(lock);
        if (deviceId >= (r.*devices).size())
            return MMSYSERR_BADDEVICEID;
        auto dev = (r.*devices)[deviceId];
        if (r.busy.count(dev.get()))
            return MMSYSERR_ALLOCATED;
        r.busy.insert(dev.get());
        port = std::make_shared<Port>(dev, deviceId, type == CALLBACK_FUNCTION ? callback : nullptr, instance);
        port->handle = reinterpret_cast<Handle>(r.nextHandle++);
    }
    MMRESULT rc = port->device().driverCall(Call::Open, nullptr);
    if (rc == MMSYSERR_NOERROR)
        rc = port->device().open(port.get());
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        if (rc != MMSYSERR_NOERROR) {
            r.busy.erase(port->devicePtr().get());
            return rc;
        }
        (r.*ports)[reinterpret_cast<std::uintptr_t>(port->handle)] = port;
        *handle = port->handle;
    }
    std::lock_guard cb(port->callbackMutex);
    port->notify(openMessage);
    return MMSYSERR_NOERROR;
}

// Unregisters the handle, closes the device (stopping what the direction runs
// first) and frees it; the caller has checked nothing is lent out.
template <class PortPtr, class Ports, class StopFn>
MMRESULT closePort(const PortPtr& port, std::uintptr_t key, Ports Registry::*ports, UINT closeMessage, StopFn stop)
{
    if (MMRESULT rc = port->device().driverCall(Call::Close, nullptr))
        return rc;
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        if (!(r.*ports).erase(key))
            return MMSYSERR_INVALHANDLE; // closed by another thread meanwhile
    }
    stop();
    {
        std::lock_guard cb(port->callbackMutex);
        port->notify(closeMessage);
    }
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.busy.erase(port->devicePtr().get());
    return MMSYSERR_NOERROR;
}

template <class PortPtr>
MMRESULT prepareHeader(const PortPtr& port, MIDIHDR* header, UINT cbHeader)
{
    if (!port)
        return MMSYSERR_INVALHANDLE;
    if (port->vanished)
        return MIDIERR_NODEVICE;
    if (MMRESULT rc = checkHeader(header, cbHeader))
        return rc;
    if (!header->lpData || header->dwBufferLength == 0)
        return MMSYSERR_INVALPARAM;
    if (header->dwFlags & MHDR_PREPARED)
        return MMSYSERR_NOERROR;
    if (MMRESULT rc = port->device().driverCall(Call::Prepare, header))
        return rc;
    header->dwFlags = MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

template <class PortPtr>
MMRESULT unprepareHeader(const PortPtr& port, MIDIHDR* header, UINT cbHeader)
{
    if (!port)
        return MMSYSERR_INVALHANDLE;
    if (MMRESULT rc = checkHeader(header, cbHeader))
        return rc;
    {
        std::lock_guard lock(port->stateMutex);
        if (!(header->dwFlags & MHDR_PREPARED))
            return MMSYSERR_NOERROR;
        if (header->dwFlags & MHDR_INQUEUE)
            return MIDIERR_STILLPLAYING;
    }
    if (MMRESULT rc = port->device().driverCall(Call::Unprepare, header))
        return rc;
    std::lock_guard lock(port->stateMutex);
    header->dwFlags &= ~MHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

// A block handed to the device: prepared, and not already in its queue.
template <class PortPtr>
MMRESULT checkQueueable(const PortPtr& port, MIDIHDR* header, UINT cbHeader, Call call)
{
    if (!port)
        return MMSYSERR_INVALHANDLE;
    if (port->vanished)
        return MIDIERR_NODEVICE;
    if (MMRESULT rc = checkHeader(header, cbHeader))
        return rc;
    {
        std::lock_guard lock(port->stateMutex);
        if (!(header->dwFlags & MHDR_PREPARED))
            return MIDIERR_UNPREPARED;
        if (header->dwFlags & MHDR_INQUEUE)
            return MIDIERR_STILLPLAYING;
    }
    return port->device().driverCall(call, header);
}

void fillName(char (&dst)[MAXPNAMELEN], const std::string& name)
{
    std::memset(dst, 0, sizeof dst);
    std::memcpy(dst, name.data(), std::min<std::size_t>(name.size(), MAXPNAMELEN - 1));
}

template <typename Dev>
UINT indexOf(const std::vector<std::shared_ptr<Dev>>& list, const std::shared_ptr<Dev>& dev, UINT fallback)
{
    auto it = std::find(list.begin(), list.end(), dev);
    return it == list.end() ? fallback : UINT(it - list.begin());
}

std::int64_t steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace

namespace backend {

// Length of a short message with this status byte; 0 when it cannot start one.
std::size_t shortMessageLength(unsigned char status)
{
    if (status < 0x80)
        return 0;
    if (status < 0xF0)
        return (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 2 : 3;
    switch (status) {
    case 0xF1:
    case 0xF3: return 2;
    case 0xF2: return 3;
    case 0xF6:
    case 0xF8: case 0xFA: case 0xFB: case 0xFC: case 0xFE: case 0xFF: return 1;
    default: return 0;
    }
}

namespace {
std::atomic<Backend*> installedLoopback{nullptr};
}

Backend* loopbackBackend()
{
    return installedLoopback.load();
}

void setLoopbackBackend(Backend* backend)
{
    installedLoopback.store(backend);
}

void invalidateDevices()
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.enumerated = false;
}

void notice(const std::string& text)
{
    NoticeHandler handler;
    bool custom;
    {
        std::lock_guard lock(noticeMutex);
        handler = noticeHandler;
        custom = noticeHandlerSet;
    }
    if (custom) {
        if (handler)
            handler(text);
    } else {
        defaultNotice(text);
    }
}

void lastingNotice(const std::string& key, const std::string& text)
{
    LastingNoticeHandler handler;
    {
        std::lock_guard lock(noticeMutex);
        handler = lastingHandler;
    }
    if (handler)
        handler(key, text);
    else
        notice(text);
}

void withdrawNotice(const std::string& key)
{
    LastingNoticeHandler handler;
    {
        std::lock_guard lock(noticeMutex);
        handler = lastingHandler;
    }
    if (handler)
        handler(key, {});
}

CallbackQueue::CallbackQueue()
    : m_running(true), m_thread([this] { run(); })
{
}

CallbackQueue::~CallbackQueue()
{
    stop();
}

void CallbackQueue::post(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

void CallbackQueue::drain()
{
    if (std::this_thread::get_id() == m_thread.get_id())
        return;
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [this] { return (m_jobs.empty() && !m_busy) || !m_running; });
}

void CallbackQueue::stop()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable() && std::this_thread::get_id() != m_thread.get_id())
        m_thread.join();
}

void CallbackQueue::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return !m_jobs.empty() || m_stopping; });
        if (m_jobs.empty()) {
            m_running = false;
            m_idle.notify_all();
            return;
        }
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        job();
        lock.lock();
        m_busy = false;
        if (m_jobs.empty())
            m_idle.notify_all();
    }
}

} // namespace backend

// ---- configuration -----------------------------------------------------------

void refreshDevices()
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    enumerateLocked(r);
}

void setNoticeHandler(NoticeHandler handler)
{
    std::lock_guard lock(noticeMutex);
    noticeHandler = std::move(handler);
    noticeHandlerSet = true;
}

void setLastingNoticeHandler(LastingNoticeHandler handler)
{
    std::lock_guard lock(noticeMutex);
    lastingHandler = std::move(handler);
}

void resetNoticeHandler()
{
    std::lock_guard lock(noticeMutex);
    noticeHandler = nullptr;
    noticeHandlerSet = false;
    lastingHandler = nullptr;
}

void setBackendsForTest(const std::vector<Backend>& order)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    r.order = order;
    r.enumerated = false; // re-read on next use
}

void resetBackends()
{
    setBackendsForTest({Backend::Synth, Backend::Alsa, Backend::Loopback});
}

// The device id an open port has now (the lists may have been renumbered since it opened).
namespace {

template <class PortPtr, class Devices>
MMRESULT currentDeviceId(const PortPtr& port, Devices Registry::*devices, UINT* deviceId)
{
    if (!deviceId)
        return MMSYSERR_INVALPARAM;
    if (!port)
        return MMSYSERR_INVALHANDLE;
    if (port->vanished)
        return MIDIERR_NODEVICE;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    *deviceId = indexOf(r.*devices, port->devicePtr(), port->openedId());
    return MMSYSERR_NOERROR;
}

} // namespace

// ---- input ---------------------------------------------------------------------

UINT midiInGetNumDevs()
{
    std::unique_lock<std::mutex> lock;
    return UINT(enumerated(lock).inputs.size());
}

MMRESULT midiInGetDevCapsA(UINT deviceId, MIDIINCAPSA* caps, UINT cbCaps)
{
    if (!caps || cbCaps < sizeof(MIDIINCAPSA))
        return MMSYSERR_INVALPARAM;
    std::unique_lock<std::mutex> lock;
    Registry& r = enumerated(lock);
    if (deviceId >= r.inputs.size())
        return MMSYSERR_BADDEVICEID;
    *caps = MIDIINCAPSA{};
    caps->wMid = 0xFFFF;
    caps->wPid = 0xFFFF;
    caps->vDriverVersion = 0x0100;
    fillName(caps->szPname, r.inputs[deviceId]->name());
    return MMSYSERR_NOERROR;
}

MMRESULT midiInOpen(HMIDIIN* handle, UINT deviceId, MIDIINPROC callback, DWORD_PTR instance, DWORD flags)
{
    return openPort<InPort>(handle, deviceId, callback, instance, flags, &Registry::inputs, &Registry::inPorts, MIM_OPEN);
}

MMRESULT midiInClose(HMIDIIN handle)
{
    auto port = findIn(handle);
    if (!port)
        return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard lock(port->stateMutex);
        if (!port->lent.empty())
            return MIDIERR_STILLPLAYING;
    }
    return closePort(port, reinterpret_cast<std::uintptr_t>(handle), &Registry::inPorts, MIM_CLOSE, [&] {
        port->started = false;
        port->device().close();
    });
}

MMRESULT midiInStart(HMIDIIN handle)
{
    auto port = findIn(handle);
    if (!port)
        return MMSYSERR_INVALHANDLE;
    if (port->vanished)
        return MIDIERR_NODEVICE;
    if (MMRESULT rc = port->device().driverCall(Call::Start, nullptr))
        return rc;
    if (!port->started.load()) {
        port->startMs = steadyMs();
        port->started = true;
    }
    return MMSYSERR_NOERROR;
}

MMRESULT midiInStop(HMIDIIN handle)
{
    auto port = findIn(handle);
    if (!port)
        return MMSYSERR_INVALHANDLE;
    if (port->vanished)
        return MIDIERR_NODEVICE;
    if (MMRESULT rc = port->device().driverCall(Call::Stop, nullptr))
        return rc;
    port->started = false;
    return MMSYSERR_NOERROR;
}

MMRESULT midiInReset(HMIDIIN handle)
{
    auto port = findIn(handle);
    if (!port)
        return MMSYSERR_INVALHANDLE;
    if (MMRESULT rc = port->device().driverCall(Call::Reset, nullptr))
        return rc;
    port->started = false;
    port->returnAll();
    return MMSYSERR_NOERROR;
}

MMRESULT midiInPrepareHeader(HMIDIIN handle, MIDIHDR* header, UINT cbHeader)
{
    return prepareHeader(findIn(handle), header, cbHeader);
}

MMRESULT midiInUnprepareHeader(HMIDIIN handle, MIDIHDR* header, UINT cbHeader)
{
    return unprepareHeader(findIn(handle), header, cbHeader);
}

MMRESULT midiInAddBuffer(HMIDIIN handle, MIDIHDR* header, UINT cbHeader)
{
    auto port = findIn(handle);
    if (MMRESULT rc = checkQueueable(port, header, cbHeader, Call::AddBuffer))
        return rc;
    std::lock_guard lock(port->stateMutex);
    header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
    header->dwBytesRecorded = 0;
    port->lent.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT midiInGetID(HMIDIIN handle, UINT* deviceId)
{
    return currentDeviceId(deviceId ? findIn(handle) : nullptr, &Registry::inputs, deviceId);
}

MMRESULT midiInGetErrorTextA(MMRESULT error, char* text, UINT cchText)
{
    return copyErrorText(error, text, cchText);
}

MMRESULT midiInAbandon(HMIDIIN handle)
{
    auto port = findIn(handle);
    if (!port)
        return MMSYSERR_INVALHANDLE;
    port->abandon();
    // Buffers still lent belong to nobody now: hand them back so the port can close.
    midiInReset(handle);
    midiInClose(handle);
    return MMSYSERR_NOERROR;
}

// ---- output ----------------------------------------------------------------

UINT midiOutGetNumDevs()
{
    std::unique_lock<std::mutex> lock;
    return UINT(enumerated(lock).outputs.size());
}

MMRESULT midiOutGetDevCapsA(UINT deviceId, MIDIOUTCAPSA* caps, UINT cbCaps)
{
    if (!caps || cbCaps < sizeof(MIDIOUTCAPSA))
        return MMSYSERR_INVALPARAM;
    std::unique_lock<std::mutex> lock;
    Registry& r = enumerated(lock);
    if (deviceId >= r.outputs.size())
        return MMSYSERR_BADDEVICEID;
    *caps = MIDIOUTCAPSA{};
    caps->wMid = 0xFFFF;
    caps->wPid = 0xFFFF;
    caps->vDriverVersion = 0x0100;
    fillName(caps->szPname, r.outputs[deviceId]->name());
    caps->wTechnology = r.outputs[deviceId]->technology();
    caps->wVoices = r.outputs[deviceId]->voices();
    caps->wNotes = caps->wVoices;
    caps->wChannelMask = 0xFFFF;
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutOpen(HMIDIOUT* handle, UINT deviceId, MIDIOUTPROC callback, DWORD_PTR instance, DWORD flags)
{
    return openPort<OutPort>(handle, deviceId, callback, instance, flags, &Registry::outputs, &Registry::outPorts,
                             MOM_OPEN);
}

MMRESULT midiOutClose(HMIDIOUT handle)
{
    auto port = findOut(handle);
    if (!port)
        return MMSYSERR_INVALHANDLE;
    {
        std::lock_guard lock(port->stateMutex);
        if (!port->pending.empty())
            return MIDIERR_STILLPLAYING;
    }
    return closePort(port, reinterpret_cast<std::uintptr_t>(handle), &Registry::outPorts, MOM_CLOSE, [&] {
        port->device().close();
        if (port->completions)
            port->completions->stop();
    });
}

MMRESULT midiOutShortMsg(HMIDIOUT handle, DWORD msg)
{
    auto port = findOut(handle);
    if (!port)
        return MMSYSERR_INVALHANDLE;
    if (port->vanished)
        return MIDIERR_NODEVICE;
    if (MMRESULT rc = port->device().driverCall(Call::ShortMsg, nullptr))
        return rc;
    return port->device().shortMsg(msg);
}

MMRESULT midiOutLongMsg(HMIDIOUT handle, MIDIHDR* header, UINT cbHeader)
{
    auto port = findOut(handle);
    if (MMRESULT rc = checkQueueable(port, header, cbHeader, Call::LongMsg))
        return rc;
    {
        std::lock_guard lock(port->stateMutex);
        header->dwFlags = (header->dwFlags | MHDR_INQUEUE) & ~MHDR_DONE;
        port->pending.push_back(header);
    }
    bool later = false;
    const MMRESULT rc = port->device().longMsg(header, later);
    if (rc != MMSYSERR_NOERROR) {
        std::lock_guard lock(port->stateMutex);
        port->pending.erase(std::find(port->pending.begin(), port->pending.end(), header));
        header->dwFlags &= ~MHDR_INQUEUE;
        return rc;
    }
    if (!later) {
        std::lock_guard lock(port->stateMutex);
        if (!port->completions)
            port->completions = std::make_unique<backend::CallbackQueue>();
        OutPort* p = port.get();
        port->completions->post([p, header] { p->done(header); });
    }
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutPrepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT cbHeader)
{
    return prepareHeader(findOut(handle), header, cbHeader);
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT handle, MIDIHDR* header, UINT cbHeader)
{
    return unprepareHeader(findOut(handle), header, cbHeader);
}

MMRESULT midiOutReset(HMIDIOUT handle)
{
    auto port = findOut(handle);
    if (!port)
        return MMSYSERR_INVALHANDLE;
    if (MMRESULT rc = port->device().driverCall(Call::Reset, nullptr))
        return rc;
    port->device().reset();
    {
        std::unique_lock lock(port->stateMutex);
        backend::CallbackQueue* q = port->completions.get();
        lock.unlock();
        if (q)
            q->drain();
    }
    port->returnAll();
    return MMSYSERR_NOERROR;
}

MMRESULT midiOutGetID(HMIDIOUT handle, UINT* deviceId)
{
    return currentDeviceId(deviceId ? findOut(handle) : nullptr, &Registry::outputs, deviceId);
}

MMRESULT midiOutGetErrorTextA(MMRESULT error, char* text, UINT cchText)
{
    return copyErrorText(error, text, cchText);
}

MMRESULT midiOutAbandon(HMIDIOUT handle)
{
    auto port = findOut(handle);
    if (!port)
        return MMSYSERR_INVALHANDLE;
    port->abandon();
    // Completions already queued find no callback; blocks in play come back so the port can close.
    midiOutReset(handle);
    midiOutClose(handle);
    return MMSYSERR_NOERROR;
}

// ---- ports by identity (mididevices.h) ---------------------------------------

std::vector<PortInfo> midiInPorts()
{
    std::unique_lock<std::mutex> lock;
    return enumerated(lock).inputInfo;
}

std::vector<PortInfo> midiOutPorts()
{
    std::unique_lock<std::mutex> lock;
    return enumerated(lock).outputInfo;
}

} // namespace mmsys
