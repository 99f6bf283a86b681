// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mmsystem/midi_loopback.h"

#include "platform/mmsystem/midi_backend.h"

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace mmsys::loopback {

namespace {

using backend::Call;

constexpr std::size_t kOps = 10;

std::size_t index(Op op) { return std::size_t(op); }
std::size_t index(Call c) { return std::size_t(c); }
static_assert(int(Op::LongMsg) == int(Call::LongMsg));

struct Gate {
    std::mutex mutex;
    std::condition_variable cv;
    bool hold = false;
    int blocked = 0;
};

Gate& gate()
{
    static Gate g;
    return g;
}

void passUnprepareGate()
{
    Gate& g = gate();
    std::unique_lock lock(g.mutex);
    if (!g.hold)
        return;
    ++g.blocked;
    g.cv.notify_all();
    g.cv.wait(lock, [&] { return !g.hold; });
    --g.blocked;
}

// What both kinds of port share: refusals and call counts.
struct Driver {
    std::mutex mutex;
    std::array<MMRESULT, kOps> failures{};
    std::array<int, kOps> calls{};

    MMRESULT call(Call c)
    {
        MMRESULT rc;
        {
            std::lock_guard lock(mutex);
            ++calls[index(c)];
            rc = failures[index(c)];
        }
        if (rc == MMSYSERR_NOERROR && c == Call::Unprepare)
            passUnprepareGate();
        return rc;
    }
};

// What both kinds of port share: identity, and starting and ending at run time.
class Presence {
public:
    Presence(PortDirection direction, int index, const PortSpec& spec,
             std::shared_ptr<backend::CallbackQueue> queue)
        : m_direction(direction),
          m_info{std::string(direction == PortDirection::Input ? "loopback:in:" : "loopback:out:")
                     + std::to_string(index),
                 spec.name, spec.kind},
          m_queue(std::move(queue))
    {
    }

    const PortInfo& info() const { return m_info; }
    bool present() const { return m_present.load(); }

    // Unlisted at once, as the sequencer forgets a port; the open handle and the
    // handlers hear of it on the loopback thread, after what was fed before.
    template <typename Tell>
    void end(Tell tellOpenHandle)
    {
        if (!m_present.exchange(false))
            return;
        m_queue->post([this, tellOpenHandle] {
            tellOpenHandle();
            backend::portChanged({PortChange::Gone, m_direction, m_info});
        });
    }

    void announce()
    {
        m_queue->post([this] { backend::portChanged({PortChange::Appeared, m_direction, m_info}); });
    }

    std::atomic<bool> vanishOnOpen{false};

protected:
    const std::shared_ptr<backend::CallbackQueue>& queue() const { return m_queue; }

private:
    PortDirection m_direction;
    PortInfo m_info;
    std::atomic<bool> m_present{true};
    std::shared_ptr<backend::CallbackQueue> m_queue;
};

class LoopIn final : public backend::InputDevice, public Presence {
public:
    LoopIn(int index, const PortSpec& spec, std::shared_ptr<backend::CallbackQueue> queue)
        : Presence(PortDirection::Input, index, spec, std::move(queue)) {}
    std::string name() const override { return info().name; }
    std::string key() const override { return info().key; }
    PortKind kind() const override { return info().kind; }
    bool deliversOnlyWhenStarted() const override { return false; }

    MMRESULT open(backend::InputSink* s) override
    {
        if (vanishOnOpen.exchange(false))
            remove();
        if (!present())
            return MIDIERR_NODEVICE;
        std::lock_guard lock(deliverMutex);
        sink = s;
        return MMSYSERR_NOERROR;
    }
    void close() override
    {
        std::lock_guard lock(deliverMutex);
        sink = nullptr;
    }
    MMRESULT driverCall(Call c, MIDIHDR*) override { return driver.call(c); }

    void remove()
    {
        end([this] {
            std::lock_guard lock(deliverMutex);
            ended = true;
            if (sink)
                sink->gone();
        });
    }

    // Held while delivering, so close() waits for a callback in progress.
    std::mutex deliverMutex;
    backend::InputSink* sink = nullptr;
    bool ended = false;
    Driver driver;
};

class LoopOut final : public backend::OutputDevice, public Presence {
public:
    LoopOut(int index, const PortSpec& spec, std::shared_ptr<backend::CallbackQueue> queue)
        : Presence(PortDirection::Output, index, spec, std::move(queue)) {}
    std::string name() const override { return info().name; }
    std::string key() const override { return info().key; }
    PortKind kind() const override { return info().kind; }

    MMRESULT open(backend::OutputSink* s) override
    {
        if (vanishOnOpen.exchange(false))
            remove();
        if (!present())
            return MIDIERR_NODEVICE;
        std::lock_guard lock(deliverMutex);
        sink = s;
        return MMSYSERR_NOERROR;
    }

    void remove()
    {
        end([this] {
            std::lock_guard lock(deliverMutex);
            ended = true;
            {
                std::lock_guard rec(recordMutex);
                inPlay.clear();
            }
            if (sink)
                sink->gone();
        });
    }
    void close() override
    {
        std::lock_guard lock(deliverMutex);
        sink = nullptr;
        std::lock_guard rec(recordMutex);
        inPlay.clear();
    }
    MMRESULT shortMsg(DWORD word) override
    {
        {
            std::lock_guard lock(recordMutex);
            recorded.push_back(Message{false, word, {}});
        }
        recordedChanged.notify_all();
        return MMSYSERR_NOERROR;
    }
    MMRESULT longMsg(MIDIHDR* header, bool& later) override
    {
        later = true;
        std::uint64_t seq;
        bool manualNow;
        {
            std::lock_guard lock(recordMutex);
            const auto* p = reinterpret_cast<const unsigned char*>(header->lpData);
            recorded.push_back(Message{true, 0, std::vector<unsigned char>(p, p + header->dwBufferLength)});
            seq = nextSeq++;
            inPlay.push_back({seq, header});
            manualNow = manual;
        }
        recordedChanged.notify_all();
        if (!manualNow)
            queue()->post([this, seq] { completeSeq(seq); });
        return MMSYSERR_NOERROR;
    }
    void reset() override
    {
        std::lock_guard lock(recordMutex);
        inPlay.clear();
    }
    MMRESULT driverCall(Call c, MIDIHDR*) override { return driver.call(c); }

    // Completes the block of this sequence number if it is still in play (0: the oldest).
    void completeSeq(std::uint64_t seq)
    {
        std::lock_guard lock(deliverMutex);
        MIDIHDR* header = nullptr;
        {
            std::lock_guard rec(recordMutex);
            for (auto it = inPlay.begin(); it != inPlay.end(); ++it) {
                if (seq == 0 || it->first == seq) {
                    header = it->second;
                    inPlay.erase(it);
                    break;
                }
            }
        }
        if (header && sink)
            sink->done(header);
    }

    std::mutex deliverMutex;
    backend::OutputSink* sink = nullptr;
    bool ended = false;
    std::mutex recordMutex;
    std::condition_variable recordedChanged;
    std::vector<Message> recorded;
    std::deque<std::pair<std::uint64_t, MIDIHDR*>> inPlay;
    std::uint64_t nextSeq = 1;
    bool manual = false;
    Driver driver;
};

class Core final : public backend::Backend {
public:
    Core(const std::vector<PortSpec>& inputs, const std::vector<PortSpec>& outputs)
    {
        for (const PortSpec& spec : inputs)
            addIn(spec);
        for (const PortSpec& spec : outputs)
            addOut(spec);
    }
    ~Core() override { queue->stop(); }

    void enumerate(std::vector<std::shared_ptr<backend::InputDevice>>& inputs,
                   std::vector<std::shared_ptr<backend::OutputDevice>>& outputs) override
    {
        std::lock_guard lock(portsMutex);
        for (const auto& in : ins)
            if (in->present())
                inputs.push_back(in);
        for (const auto& out : outs)
            if (out->present())
                outputs.push_back(out);
    }

    int addIn(const PortSpec& spec)
    {
        std::lock_guard lock(portsMutex);
        ins.push_back(std::make_shared<LoopIn>(int(ins.size()), spec, queue));
        return int(ins.size()) - 1;
    }
    int addOut(const PortSpec& spec)
    {
        std::lock_guard lock(portsMutex);
        outs.push_back(std::make_shared<LoopOut>(int(outs.size()), spec, queue));
        return int(outs.size()) - 1;
    }

    std::shared_ptr<backend::CallbackQueue> queue = std::make_shared<backend::CallbackQueue>();
    // Every port ever made, removed ones included, so port numbers stay put.
    std::mutex portsMutex;
    std::vector<std::shared_ptr<LoopIn>> ins;
    std::vector<std::shared_ptr<LoopOut>> outs;
};

std::mutex coreMutex;
std::shared_ptr<Core> current;

std::shared_ptr<Core> core()
{
    std::lock_guard lock(coreMutex);
    return current;
}

std::shared_ptr<LoopIn> inPort(int port)
{
    auto c = core();
    if (!c)
        return nullptr;
    std::lock_guard lock(c->portsMutex);
    if (port < 0 || std::size_t(port) >= c->ins.size())
        return nullptr;
    return c->ins[std::size_t(port)];
}

std::shared_ptr<LoopOut> outPort(int port)
{
    auto c = core();
    if (!c)
        return nullptr;
    std::lock_guard lock(c->portsMutex);
    if (port < 0 || std::size_t(port) >= c->outs.size())
        return nullptr;
    return c->outs[std::size_t(port)];
}

std::vector<PortSpec> numbered(const char* prefix, int count)
{
    std::vector<PortSpec> specs;
    for (int i = 0; i < count; ++i)
        specs.push_back({prefix + std::to_string(i + 1), PortKind::Hardware});
    return specs;
}

template <typename Fn>
void deliver(int port, Fn fn)
{
    auto c = core();
    auto in = inPort(port);
    if (!c || !in)
        return;
    c->queue->post([in, fn] {
        std::lock_guard lock(in->deliverMutex);
        if (in->sink && !in->ended)
            fn(*in->sink);
    });
}

} // namespace

void install(int inputs, int outputs)
{
    install(numbered("Loopback In ", inputs), numbered("Loopback Out ", outputs));
}

void install(const std::vector<PortSpec>& inputs, const std::vector<PortSpec>& outputs)
{
    auto fresh = std::make_shared<Core>(inputs, outputs);
    std::shared_ptr<Core> old;
    {
        std::lock_guard lock(coreMutex);
        old = current;
        current = fresh;
    }
    backend::setLoopbackBackend(fresh.get());
    backend::invalidateDevices();
}

void uninstall()
{
    std::shared_ptr<Core> old;
    {
        std::lock_guard lock(coreMutex);
        old.swap(current);
    }
    backend::setLoopbackBackend(nullptr);
    backend::invalidateDevices();
    if (old)
        old->queue->stop();
}

Scope::Scope(int inputs, int outputs)
{
    install(inputs, outputs);
    setBackendsForTest({Backend::Loopback});
}

Scope::Scope(const std::vector<PortSpec>& inputs, const std::vector<PortSpec>& outputs)
{
    install(inputs, outputs);
    setBackendsForTest({Backend::Loopback});
}

int addInput(const PortSpec& spec)
{
    auto c = core();
    if (!c)
        return -1;
    const int port = c->addIn(spec);
    inPort(port)->announce();
    return port;
}

int addOutput(const PortSpec& spec)
{
    auto c = core();
    if (!c)
        return -1;
    const int port = c->addOut(spec);
    outPort(port)->announce();
    return port;
}

void removeInput(int port)
{
    if (auto in = inPort(port))
        in->remove();
}

void removeOutput(int port)
{
    if (auto out = outPort(port))
        out->remove();
}

void vanishOnOpen(PortDirection direction, int port)
{
    if (direction == PortDirection::Input) {
        if (auto in = inPort(port))
            in->vanishOnOpen = true;
    } else if (auto out = outPort(port)) {
        out->vanishOnOpen = true;
    }
}

PortInfo portInfo(PortDirection direction, int port)
{
    if (direction == PortDirection::Input) {
        if (auto in = inPort(port))
            return in->info();
    } else if (auto out = outPort(port)) {
        return out->info();
    }
    return {};
}

Scope::~Scope()
{
    clearFailures();
    holdUnprepare(false);
    uninstall();
    resetBackends();
}

void feed(DWORD word, DWORD timeStamp, int port)
{
    deliver(port, [=](backend::InputSink& s) { s.shortMsg(word, timeStamp, false); });
}

void feedError(DWORD word, DWORD timeStamp, int port)
{
    deliver(port, [=](backend::InputSink& s) { s.shortMsg(word, timeStamp, true); });
}

void feedLong(const std::vector<unsigned char>& bytes, DWORD timeStamp, int port)
{
    deliver(port, [=](backend::InputSink& s) { s.sysEx(bytes.data(), bytes.size(), timeStamp, false); });
}

void feedLongError(const std::vector<unsigned char>& bytes, DWORD timeStamp, int port)
{
    deliver(port, [=](backend::InputSink& s) { s.sysEx(bytes.data(), bytes.size(), timeStamp, true); });
}

void feedRaw(const std::vector<unsigned char>& bytes, int port)
{
    deliver(port, [=](backend::InputSink& s) { s.raw(bytes.data(), bytes.size()); });
}

void flush()
{
    if (auto c = core())
        c->queue->drain();
}

std::vector<Message> sent(int port)
{
    auto out = outPort(port);
    if (!out)
        return {};
    std::lock_guard lock(out->recordMutex);
    return out->recorded;
}

bool waitForCount(std::size_t count, int timeoutMs, int port)
{
    auto out = outPort(port);
    if (!out)
        return false;
    std::unique_lock lock(out->recordMutex);
    return out->recordedChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                         [&] { return out->recorded.size() >= count; });
}

void clearSent(int port)
{
    if (auto out = outPort(port)) {
        std::lock_guard lock(out->recordMutex);
        out->recorded.clear();
    }
}

void setManualCompletion(bool manual, int port)
{
    if (auto out = outPort(port)) {
        std::lock_guard lock(out->recordMutex);
        out->manual = manual;
    }
}

std::size_t pendingLong(int port)
{
    auto out = outPort(port);
    if (!out)
        return 0;
    std::lock_guard lock(out->recordMutex);
    return out->inPlay.size();
}

void complete(int count, int port)
{
    auto c = core();
    auto out = outPort(port);
    if (!c || !out)
        return;
    c->queue->post([out, count] {
        for (int i = 0; i < count; ++i)
            out->completeSeq(0);
    });
}

void failIn(Op op, MMRESULT code, int port)
{
    if (auto in = inPort(port)) {
        std::lock_guard lock(in->driver.mutex);
        in->driver.failures[index(op)] = code;
    }
}

void failOut(Op op, MMRESULT code, int port)
{
    if (auto out = outPort(port)) {
        std::lock_guard lock(out->driver.mutex);
        out->driver.failures[index(op)] = code;
    }
}

void clearFailures()
{
    auto c = core();
    if (!c)
        return;
    for (auto& in : c->ins) {
        std::lock_guard lock(in->driver.mutex);
        in->driver.failures.fill(MMSYSERR_NOERROR);
    }
    for (auto& out : c->outs) {
        std::lock_guard lock(out->driver.mutex);
        out->driver.failures.fill(MMSYSERR_NOERROR);
    }
}

int inCalls(Op op, int port)
{
    auto in = inPort(port);
    if (!in)
        return 0;
    std::lock_guard lock(in->driver.mutex);
    return in->driver.calls[index(op)];
}

int outCalls(Op op, int port)
{
    auto out = outPort(port);
    if (!out)
        return 0;
    std::lock_guard lock(out->driver.mutex);
    return out->driver.calls[index(op)];
}

void holdUnprepare(bool hold)
{
    Gate& g = gate();
    {
        std::lock_guard lock(g.mutex);
        g.hold = hold;
    }
    g.cv.notify_all();
}

bool waitUnprepareBlocked(int count, int timeoutMs)
{
    Gate& g = gate();
    std::unique_lock lock(g.mutex);
    return g.cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return g.blocked >= count; });
}

} // namespace mmsys::loopback
