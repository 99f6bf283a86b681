// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midiindevice.h"
#include "midi/midireceiver.h"
#include "midi/shortmsg.h"
#include "platform/mmsystem/midi_loopback.h"
#include "platform/synth/midi_synth.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class StampingReceiver : public midi::CMIDIReceiver {
public:
    void OnLongMsg(const char*, std::uint32_t, std::uint32_t) override {}
    void OnShortMsg(std::uint32_t, std::uint32_t) override
    {
        arrived.store(Clock::now().time_since_epoch().count(), std::memory_order_release);
        count.fetch_add(1, std::memory_order_acq_rel);
    }
    void OnLongMsgError(const char*, std::uint32_t, std::uint32_t) override {}
    void OnShortMsgError(std::uint32_t, std::uint32_t) override {}

    std::atomic<Clock::rep> arrived{0};
    std::atomic<int> count{0};
};

// One message at a time from the loopback input to the receiver's callback.
void BM_LoopbackShortMsgLatency(benchmark::State& state)
{
    constexpr int kMessages = 10000;
    mmsys::loopback::Scope loop(1, 0);
    StampingReceiver receiver;
    midi::CMIDIInDevice in(0, &receiver);
    in.StartReceiving();
    std::vector<double> micros;
    micros.reserve(kMessages);
    for (auto _ : state) {
        micros.clear();
        for (int i = 0; i < kMessages; ++i) {
            const int before = receiver.count.load(std::memory_order_acquire);
            const auto sent = Clock::now();
            mmsys::loopback::feed(midi::CShortMsg::Pack(0x90, 0, std::uint8_t(i & 0x7F), 100), 0);
            while (receiver.count.load(std::memory_order_acquire) == before)
                std::this_thread::yield();
            const Clock::duration took(receiver.arrived.load(std::memory_order_acquire) - sent.time_since_epoch().count());
            micros.push_back(std::chrono::duration<double, std::micro>(took).count());
        }
    }
    std::sort(micros.begin(), micros.end());
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["max_us"] = micros.back();
    state.counters["messages"] = kMessages;
    in.Close();
}
BENCHMARK(BM_LoopbackShortMsgLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

class CountingReceiver : public midi::CMIDIReceiver {
public:
    void OnLongMsg(const char*, std::uint32_t, std::uint32_t) override {}
    void OnShortMsg(std::uint32_t, std::uint32_t) override { count.fetch_add(1, std::memory_order_relaxed); }
    void OnLongMsgError(const char*, std::uint32_t, std::uint32_t) override {}
    void OnShortMsgError(std::uint32_t, std::uint32_t) override {}
    std::atomic<int> count{0};
};

// Messages back to back from the loopback input through the services and the
// device (note tracking, the receiver guard) to the receiver: the cost per message.
void BM_InputCallbackBurst(benchmark::State& state)
{
    constexpr int kMessages = 20000;
    mmsys::loopback::Scope loop(1, 0);
    CountingReceiver receiver;
    midi::CMIDIInDevice in(0, &receiver);
    in.StartReceiving();
    for (auto _ : state) {
        for (int i = 0; i < kMessages; ++i)
            mmsys::loopback::feed(midi::CShortMsg::Pack(i & 1 ? 0x80 : 0x90, 0, std::uint8_t(i >> 1 & 0x7F), 100), 0);
        mmsys::loopback::flush();
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
    state.counters["received"] = receiver.count.load();
    in.Close();
}
BENCHMARK(BM_InputCallbackBurst)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ShortMsgPack(benchmark::State& state)
{
    std::uint8_t note = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(midi::CShortMsg::Pack(0x90, 0x03, note, 127));
        ++note;
    }
}
BENCHMARK(BM_ShortMsgPack);

void BM_ShortMsgConstruct(benchmark::State& state)
{
    std::uint8_t note = 0;
    for (auto _ : state) {
        midi::CShortMsg m(0x90, 0, note & 0x7F, 127, 0);
        benchmark::DoNotOptimize(m.GetMsg());
        ++note;
    }
}
BENCHMARK(BM_ShortMsgConstruct);

void BM_ShortMsgUnpack(benchmark::State& state)
{
    std::uint32_t word = 0x00403C90;
    for (auto _ : state) {
        const midi::CShortMsg m(word, 0);
        benchmark::DoNotOptimize(m.GetCommand());
        benchmark::DoNotOptimize(m.GetChannel());
        benchmark::DoNotOptimize(m.GetData1());
        benchmark::DoNotOptimize(m.GetData2());
        word += 0x100;
    }
}
BENCHMARK(BM_ShortMsgUnpack);

// Not a timing: reports the audio latency the built-in synth is configured for.
void BM_SynthConfiguredLatency(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(mmsys::synth::configuredLatencyMs());
    state.counters["latency_ms"] = mmsys::synth::configuredLatencyMs();
}
BENCHMARK(BM_SynthConfiguredLatency)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
