// SPDX-License-Identifier: GPL-3.0-or-later
// System MIDI ports on the ALSA sequencer: listed, classified and watched for
// hot-plug with the sequencer API; opened and played through RtMidi.
#include "platform/mmsystem/midi_backend.h"

#include <RtMidi.h>
#include <alsa/asoundlib.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace mmsys::backend {

namespace {

constexpr const char* kClientName = "Tonvero";
constexpr unsigned kInputQueueSize = 1024;
// The kernel's MIDI-through client (snd-seq-dummy) has this fixed number.
constexpr int kMidiThroughClient = 14;

void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

// Without a sequencer (no /dev/snd/seq, as in containers) ALSA would print on stderr.
void quietAlsa()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(silentAlsaError); });
}

// RtMidi reports through this instead of printing or throwing.
void recordError(RtMidiError::Type type, const std::string&, void* user)
{
    if (type != RtMidiError::WARNING && type != RtMidiError::DEBUG_WARNING)
        static_cast<std::atomic<bool>*>(user)->store(true);
}

// One port as the sequencer lists it.
struct SeqPort {
    int client = 0;
    int port = 0;
    std::string name; // "client name:port name"
    PortKind kind = PortKind::Software;
    bool input = false;  // we can read from it
    bool output = false; // we can write to it

    bool sameAs(const SeqPort& o) const { return client == o.client && port == o.port && name == o.name; }
    // RtMidi's name for it, which ends in the address.
    std::string rtMidiName() const { return name + " " + std::to_string(client) + ":" + std::to_string(port); }
};

// The ports RtMidi can open (the same filter as its own listing), without ours.
std::vector<SeqPort> scanPorts(snd_seq_t* seq)
{
    constexpr unsigned kReadable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
    constexpr unsigned kWritable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
    constexpr unsigned kMidiTypes = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_SYNTH | SND_SEQ_PORT_TYPE_APPLICATION;
    std::vector<SeqPort> ports;
    snd_seq_client_info_t* cinfo = nullptr;
    snd_seq_port_info_t* pinfo = nullptr;
    snd_seq_client_info_alloca(&cinfo);
    snd_seq_port_info_alloca(&pinfo);
    const int self = getpid();
    snd_seq_client_info_set_client(cinfo, -1);
    while (snd_seq_query_next_client(seq, cinfo) >= 0) {
        const int client = snd_seq_client_info_get_client(cinfo);
        if (client == SND_SEQ_CLIENT_SYSTEM)
            continue;
        AlsaPortFacts facts;
        facts.client = client;
        facts.kernelClient = snd_seq_client_info_get_type(cinfo) == SND_SEQ_KERNEL_CLIENT;
        facts.ourProcess = snd_seq_client_info_get_pid(cinfo) == self;
        facts.clientName = snd_seq_client_info_get_name(cinfo);
        snd_seq_port_info_set_client(pinfo, client);
        snd_seq_port_info_set_port(pinfo, -1);
        while (snd_seq_query_next_port(seq, pinfo) >= 0) {
            const unsigned type = snd_seq_port_info_get_type(pinfo);
            const unsigned caps = snd_seq_port_info_get_capability(pinfo);
            if (!(type & kMidiTypes) || (caps & SND_SEQ_PORT_CAP_NO_EXPORT))
                continue;
            facts.hardware = type & SND_SEQ_PORT_TYPE_HARDWARE;
            facts.software = type & SND_SEQ_PORT_TYPE_SOFTWARE;
            facts.readable = (caps & kReadable) == kReadable;
            facts.writable = (caps & kWritable) == kWritable;
            if (!facts.readable && !facts.writable)
                continue;
            SeqPort p;
            p.client = client;
            p.port = snd_seq_port_info_get_port(pinfo);
            p.name = facts.clientName + ":" + snd_seq_port_info_get_name(pinfo);
            p.kind = alsaPortKind(facts);
            p.input = facts.readable;
            p.output = facts.writable;
            // Our own ports are connections, not devices: listing them invites a feedback loop.
            if (p.kind != PortKind::Own)
                ports.push_back(std::move(p));
        }
    }
    return ports;
}

template <typename Rt>
int findPort(Rt& rt, const std::string& rtMidiName)
{
    const unsigned n = rt.getPortCount();
    for (unsigned i = 0; i < n; ++i)
        if (rt.getPortName(i) == rtMidiName)
            return int(i);
    return -1;
}

class AlsaIn final : public InputDevice {
public:
    AlsaIn(SeqPort port, std::string key) : m_port(std::move(port)), m_key(std::move(key)) {}
    std::string name() const override { return m_port.name; }
    std::string key() const override { return m_key; }
    PortKind kind() const override { return m_port.kind; }

    MMRESULT open(InputSink* sink) override
    {
        if (m_gone)
            return MIDIERR_NODEVICE;
        m_error = false;
        try {
            auto in = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, kClientName, kInputQueueSize);
            in->setErrorCallback(recordError, &m_error);
            const std::string rtName = m_port.rtMidiName();
            const int index = findPort(*in, rtName);
            if (index < 0)
                return MIDIERR_NODEVICE;
            in->ignoreTypes(false, true, true);
            {
                std::lock_guard lock(m_sinkMutex);
                m_sink = sink;
            }
            in->setCallback(onInput, this);
            in->openPort(unsigned(index), "Tonvero input");
            // RtMidi opens by index: a port that ended meanwhile shifts the list.
            const bool shifted = findPort(*in, rtName) != index;
            if (m_error || !in->isPortOpen() || shifted) {
                in->closePort();
                std::lock_guard lock(m_sinkMutex);
                m_sink = nullptr;
                return shifted ? MIDIERR_NODEVICE : MMSYSERR_ERROR;
            }
            m_in = std::move(in);
        } catch (const std::exception&) {
            std::lock_guard lock(m_sinkMutex);
            m_sink = nullptr;
            return MMSYSERR_ERROR;
        }
        return MMSYSERR_NOERROR;
    }

    void close() override
    {
        if (m_in) {
            m_in->closePort(); // joins RtMidi's input thread
            m_in.reset();
        }
        std::lock_guard lock(m_sinkMutex);
        m_sink = nullptr;
    }

    // The port ended: the open handle hears it once, after its last message.
    void markGone()
    {
        std::lock_guard lock(m_sinkMutex);
        if (m_gone.exchange(true))
            return;
        if (m_sink)
            m_sink->gone();
    }

private:
    static void onInput(double, std::vector<unsigned char>* message, void* user)
    {
        auto* self = static_cast<AlsaIn*>(user);
        std::lock_guard lock(self->m_sinkMutex);
        if (message && self->m_sink && !self->m_gone)
            self->m_sink->raw(message->data(), message->size());
    }

    const SeqPort m_port;
    const std::string m_key;
    std::unique_ptr<RtMidiIn> m_in;
    std::mutex m_sinkMutex;
    InputSink* m_sink = nullptr;
    std::atomic<bool> m_gone{false};
    std::atomic<bool> m_error{false};
};

class AlsaOut final : public OutputDevice {
public:
    AlsaOut(SeqPort port, std::string key) : m_port(std::move(port)), m_key(std::move(key)) {}
    std::string name() const override { return m_port.name; }
    std::string key() const override { return m_key; }
    PortKind kind() const override { return m_port.kind; }

    MMRESULT open(OutputSink* sink) override
    {
        if (m_gone)
            return MIDIERR_NODEVICE;
        m_error = false;
        try {
            auto out = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, kClientName);
            out->setErrorCallback(recordError, &m_error);
            const std::string rtName = m_port.rtMidiName();
            const int index = findPort(*out, rtName);
            if (index < 0)
                return MIDIERR_NODEVICE;
            out->openPort(unsigned(index), "Tonvero output");
            const bool shifted = findPort(*out, rtName) != index;
            if (m_error || !out->isPortOpen() || shifted)
                return shifted ? MIDIERR_NODEVICE : MMSYSERR_ERROR;
            std::lock_guard lock(m_mutex);
            m_out = std::move(out);
            m_sink = sink;
        } catch (const std::exception&) {
            return MMSYSERR_ERROR;
        }
        return MMSYSERR_NOERROR;
    }

    void close() override
    {
        std::lock_guard lock(m_mutex);
        if (m_out) {
            m_out->closePort();
            m_out.reset();
        }
        m_sink = nullptr;
    }

    MMRESULT shortMsg(DWORD word) override
    {
        const unsigned char bytes[3] = {static_cast<unsigned char>(word & 0xFF),
                                        static_cast<unsigned char>((word >> 8) & 0xFF),
                                        static_cast<unsigned char>((word >> 16) & 0xFF)};
        // A word without a status byte carries the two data bytes of running status.
        const std::size_t n = bytes[0] < 0x80 ? 2 : shortMessageLength(bytes[0]);
        if (n == 0)
            return MMSYSERR_INVALPARAM;
        return send(bytes, n);
    }

    MMRESULT longMsg(MIDIHDR* header, bool& later) override
    {
        later = false;
        return send(reinterpret_cast<const unsigned char*>(header->lpData), header->dwBufferLength);
    }

    void reset() override
    {
        for (unsigned char ch = 0; ch < 16; ++ch) {
            const unsigned char sustainOff[3] = {static_cast<unsigned char>(0xB0 | ch), 64, 0};
            const unsigned char allNotesOff[3] = {static_cast<unsigned char>(0xB0 | ch), 123, 0};
            send(sustainOff, 3);
            send(allNotesOff, 3);
        }
    }

    void markGone()
    {
        OutputSink* sink = nullptr;
        {
            std::lock_guard lock(m_mutex);
            if (m_gone.exchange(true))
                return;
            sink = m_sink;
        }
        // Outside the lock: the front takes back the blocks, which may send.
        if (sink)
            sink->gone();
    }

private:
    MMRESULT send(const unsigned char* data, std::size_t size)
    {
        std::lock_guard lock(m_mutex);
        if (m_gone)
            return MIDIERR_NODEVICE;
        if (!m_out)
            return MMSYSERR_INVALHANDLE;
        m_error = false;
        try {
            m_out->sendMessage(data, size);
        } catch (const std::exception&) {
            return MMSYSERR_ERROR;
        }
        return m_error ? MMSYSERR_ERROR : MMSYSERR_NOERROR;
    }

    const SeqPort m_port;
    const std::string m_key;
    std::mutex m_mutex;
    std::unique_ptr<RtMidiOut> m_out;
    OutputSink* m_sink = nullptr;
    std::atomic<bool> m_gone{false};
    std::atomic<bool> m_error{false};
};

class AlsaBackend;

// Listens on the sequencer's announce port (0:1) on a thread of its own and
// has the backend re-read the ports whenever a client or port starts, ends or changes.
class AnnounceWatcher {
public:
    explicit AnnounceWatcher(AlsaBackend& backend) : m_backend(backend) {}
    ~AnnounceWatcher() { stop(); }
    AnnounceWatcher(const AnnounceWatcher&) = delete;
    AnnounceWatcher& operator=(const AnnounceWatcher&) = delete;

    // Opens the sequencer and subscribes; the handle is ready for a first scan. False without a sequencer.
    bool open();
    snd_seq_t* seq() const { return m_seq; }
    void start();
    void stop();

private:
    void run();

    AlsaBackend& m_backend;
    snd_seq_t* m_seq = nullptr;
    int m_stopFd = -1;
    std::thread m_thread;
};

class AlsaBackend final : public Backend {
public:
    ~AlsaBackend() override
    {
        // Before the port lists go: the watcher's thread reads them.
        m_watcher.reset();
    }

    void enumerate(std::vector<std::shared_ptr<InputDevice>>& inputs,
                   std::vector<std::shared_ptr<OutputDevice>>& outputs) override
    {
        quietAlsa();
        ensureWatching();
        if (!m_watching) {
            // No announcements: the list is as fresh as this scan.
            snd_seq_t* seq = nullptr;
            if (snd_seq_open(&seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0)
                return;
            applyScan(scanPorts(seq), false);
            snd_seq_close(seq);
        }
        std::lock_guard lock(m_mutex);
        for (const Entry& e : m_ports) {
            if (e.in)
                inputs.push_back(e.in);
            if (e.out)
                outputs.push_back(e.out);
        }
    }

    // Brings the known ports in line with a scan: ports that ended are marked
    // gone (their open handles told) and, when announcing, announced after that.
    void applyScan(std::vector<SeqPort> scan, bool announce)
    {
        std::vector<Entry> ended;
        std::vector<PortChange> changes;
        {
            std::lock_guard lock(m_mutex);
            std::vector<Entry> next;
            for (SeqPort& p : scan) {
                auto known = std::find_if(m_ports.begin(), m_ports.end(),
                                          [&](const Entry& e) { return e.port.sameAs(p); });
                if (known != m_ports.end()) {
                    next.push_back(std::move(*known));
                    m_ports.erase(known);
                    continue;
                }
                Entry e;
                e.port = std::move(p);
                const std::string key = "alsa:" + std::to_string(e.port.client) + ":"
                                        + std::to_string(e.port.port) + "#" + std::to_string(++m_serial);
                if (e.port.input) {
                    e.in = std::make_shared<AlsaIn>(e.port, key);
                    changes.push_back({PortChange::Appeared, PortDirection::Input, {key, e.port.name, e.port.kind}});
                }
                if (e.port.output) {
                    e.out = std::make_shared<AlsaOut>(e.port, key);
                    changes.push_back({PortChange::Appeared, PortDirection::Output, {key, e.port.name, e.port.kind}});
                }
                next.push_back(std::move(e));
            }
            ended = std::move(m_ports); // what the scan no longer has
            m_ports = std::move(next);
        }
        std::vector<PortChange> gone;
        for (Entry& e : ended) {
            if (e.in) {
                e.in->markGone();
                gone.push_back({PortChange::Gone, PortDirection::Input, {e.in->key(), e.port.name, e.port.kind}});
            }
            if (e.out) {
                e.out->markGone();
                gone.push_back({PortChange::Gone, PortDirection::Output, {e.out->key(), e.port.name, e.port.kind}});
            }
        }
        if (!announce)
            return;
        for (const PortChange& c : gone)
            portChanged(c);
        for (const PortChange& c : changes)
            portChanged(c);
    }

private:
    struct Entry {
        SeqPort port;
        std::shared_ptr<AlsaIn> in;
        std::shared_ptr<AlsaOut> out;
    };

    void ensureWatching()
    {
        std::lock_guard lock(m_watchMutex);
        if (m_watching)
            return;
        auto watcher = std::make_unique<AnnounceWatcher>(*this);
        if (!watcher->open())
            return; // no sequencer; asked again at the next listing
        // The first scan, before the thread reads from the same handle.
        applyScan(scanPorts(watcher->seq()), false);
        watcher->start();
        m_watcher = std::move(watcher);
        m_watching = true;
    }

    std::mutex m_watchMutex;
    std::unique_ptr<AnnounceWatcher> m_watcher;
    std::atomic<bool> m_watching{false};

    std::mutex m_mutex;
    std::vector<Entry> m_ports; // in the sequencer's order
    unsigned m_serial = 0;
};

bool AnnounceWatcher::open()
{
    if (snd_seq_open(&m_seq, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
        m_seq = nullptr;
        return false;
    }
    snd_seq_set_client_name(m_seq, kClientName);
    // Written to by the announce port only: no one else may connect.
    const int port = snd_seq_create_simple_port(m_seq, "Tonvero announcements",
                                                SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
                                                SND_SEQ_PORT_TYPE_APPLICATION);
    m_stopFd = eventfd(0, EFD_CLOEXEC);
    if (port < 0 || m_stopFd < 0
        || snd_seq_connect_from(m_seq, port, SND_SEQ_CLIENT_SYSTEM, SND_SEQ_PORT_SYSTEM_ANNOUNCE) < 0) {
        stop();
        return false;
    }
    return true;
}

void AnnounceWatcher::start()
{
    m_thread = std::thread([this] { run(); });
}

void AnnounceWatcher::stop()
{
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        if (write(m_stopFd, &one, sizeof one) < 0) {
            // The thread also ends on the next announcement; nothing else to do.
        }
        m_thread.join();
    }
    if (m_seq) {
        snd_seq_close(m_seq);
        m_seq = nullptr;
    }
    if (m_stopFd >= 0) {
        ::close(m_stopFd);
        m_stopFd = -1;
    }
}

void AnnounceWatcher::run()
{
    const int n = snd_seq_poll_descriptors_count(m_seq, POLLIN);
    std::vector<pollfd> fds(std::size_t(n > 0 ? n : 0) + 1);
    if (n > 0)
        snd_seq_poll_descriptors(m_seq, fds.data(), unsigned(n), POLLIN);
    fds.back() = {m_stopFd, POLLIN, 0};
    for (;;) {
        if (poll(fds.data(), fds.size(), -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds.back().revents)
            return;
        bool changed = false;
        for (;;) {
            snd_seq_event_t* ev = nullptr;
            const int rc = snd_seq_event_input(m_seq, &ev);
            if (rc == -EAGAIN)
                break;
            if (rc == -ENOSPC) { // announcements were lost: a scan catches up
                changed = true;
                continue;
            }
            if (rc < 0)
                break;
            if (!ev)
                continue;
            switch (ev->type) {
            case SND_SEQ_EVENT_CLIENT_START:
            case SND_SEQ_EVENT_CLIENT_EXIT:
            case SND_SEQ_EVENT_CLIENT_CHANGE:
            case SND_SEQ_EVENT_PORT_START:
            case SND_SEQ_EVENT_PORT_EXIT:
            case SND_SEQ_EVENT_PORT_CHANGE:
                changed = true;
                break;
            default: // connections made and broken, ours included
                break;
            }
        }
        // A whole scan rather than the event's address: what ended has no
        // port info left to read, and a scan is right even after an overrun.
        if (changed)
            m_backend.applyScan(scanPorts(m_seq), true);
    }
}

} // namespace

PortKind alsaPortKind(const AlsaPortFacts& f)
{
    if (f.ourProcess || f.clientName.rfind(kClientName, 0) == 0)
        return PortKind::Own;
    if (f.client == kMidiThroughClient)
        return PortKind::Through;
    if (f.hardware)
        return PortKind::Hardware;
    if (f.kernelClient) {
        // A driver's software port open both ways only relays what programs
        // write to it (snd-virmidi, a through client under another number).
        if (f.software)
            return f.readable && f.writable ? PortKind::Through : PortKind::Software;
        return PortKind::Hardware; // drivers that do not mark their ports
    }
    return PortKind::Software;
}

Backend& alsaBackend()
{
    static AlsaBackend b;
    return b;
}

} // namespace mmsys::backend
