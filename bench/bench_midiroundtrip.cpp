// SPDX-License-Identifier: GPL-3.0-or-later
// A MIDI keyboard's note through the loopback: received on the input's callback
// thread, queued to the GUI thread, judged, the next note drawn, the played note
// sent out. Also a flood of notes while the GUI thread's event loop is timed.
#include "midi/midirouter.h"
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "app/tonverodlg.h"
#include "history/historystore.h"
#include "controls/instrumentctrl.h"
#include "platform/ui/messagebox.h"
#include "platform/mmsystem/midi_loopback.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace lb = mmsys::loopback;

namespace {

std::uint32_t noteOn(int note, int velocity = 100)
{
    return 0x90u | std::uint32_t(note) << 8 | std::uint32_t(velocity) << 16;
}
std::uint32_t noteOff(int note)
{
    return 0x80u | std::uint32_t(note) << 8;
}

// Stands between the input and the router, noting when the input's callback came.
class TimingReceiver : public midi::CMIDIReceiver {
public:
    explicit TimingReceiver(midi::CMIDIReceiver& next) : m_next(next) {}
    std::atomic<std::chrono::steady_clock::time_point> lastCallback{};
    void OnShortMsg(std::uint32_t msg, std::uint32_t timeStamp) override
    {
        lastCallback = std::chrono::steady_clock::now();
        m_next.OnShortMsg(msg, timeStamp);
    }
    void OnLongMsg(const char* msg, std::uint32_t bytes, std::uint32_t timeStamp) override
    {
        m_next.OnLongMsg(msg, bytes, timeStamp);
    }
    void OnShortMsgError(std::uint32_t msg, std::uint32_t timeStamp) override { m_next.OnShortMsgError(msg, timeStamp); }
    void OnLongMsgError(const char* msg, std::uint32_t bytes, std::uint32_t timeStamp) override
    {
        m_next.OnLongMsgError(msg, bytes, timeStamp);
    }

private:
    midi::CMIDIReceiver& m_next;
};

// The main window, remembering every note that reached its listener operations.
class CountingDlg : public CTonveroDlg {
public:
    std::vector<std::uint32_t> handled; // the words as they were handled, rebuilt from the calls
    void OnNoteOn(int note, bool fromMidi) override
    {
        handled.push_back(noteOn(note));
        CTonveroDlg::OnNoteOn(note, fromMidi);
    }
    void OnNoteOff(int note) override
    {
        handled.push_back(noteOff(note));
        CTonveroDlg::OnNoteOff(note);
    }
};

std::unique_ptr<CountingDlg> quietWindow()
{
    auto d = std::make_unique<CountingDlg>();
    d->preferences().bBeep = 0;
    d->preferences().bShowStatistics = 0;
    d->preferences().bMIDI_In = 1;
    d->preferences().bMIDI_Out = 1;
    d->show();
    QCoreApplication::processEvents();
    return d;
}

// Runs the GUI thread's event loop until `count` short messages went out.
void waitForSent(int count)
{
    while (lb::outCalls(lb::Op::ShortMsg) < count)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const auto i = std::min(v.size() - 1, std::size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

void BM_MidiRoundTrip(benchmark::State& state)
{
    lb::Scope loop(1, 1);
    auto d = quietWindow();
    d->preferences().bOnWrongNoteWaitTime = 0;
    d->StartStop(false);
    TimingReceiver timing(d->midi());
    d->midi().midiInDevice.SetReceiver(&timing);
    int sent = lb::outCalls(lb::Op::ShortMsg);
    std::vector<double> micros, toCallback;
    micros.reserve(std::size_t(state.max_iterations));
    toCallback.reserve(std::size_t(state.max_iterations));
    for (auto _ : state) {
        const int note = CInstrumentCtrl::NoteFromKeyIndex(d->exercise().nCurNote);
        const auto start = std::chrono::steady_clock::now();
        lb::feed(noteOn(note), 0);
        waitForSent(++sent);
        const auto end = std::chrono::steady_clock::now();
        const double us = std::chrono::duration<double, std::micro>(end - start).count();
        micros.push_back(us);
        toCallback.push_back(std::chrono::duration<double, std::micro>(timing.lastCallback.load() - start).count());
        state.SetIterationTime(us / 1e6);
        lb::feed(noteOff(note), 0);
        waitForSent(++sent);
    }
    if (d->exercise().nNotes != int(micros.size()) || d->exercise().nErrors != 0)
        state.SkipWithError("a note was not judged right");
    d->midi().midiInDevice.SetReceiver(&d->midi());
    // Every answer went on to the history store, whose writer ran meanwhile.
    state.counters["history_written"] = d->history() && d->history()->flush(10000) ? 1 : 0;
    state.counters["p50_us"] = percentile(micros, 0.50);
    state.counters["p99_us"] = percentile(micros, 0.99);
    state.counters["max_us"] = *std::max_element(micros.begin(), micros.end());
    // The share of the loopback's own thread: from the feed to the input callback.
    state.counters["callback_p50_us"] = percentile(toCallback, 0.50);
    state.counters["callback_p99_us"] = percentile(toCallback, 0.99);
    d->StartStop(false);
}
BENCHMARK(BM_MidiRoundTrip)->Iterations(10000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The same answer without the MIDI input: the GUI thread's own share of the round trip.
void BM_AnswerStepOnly(benchmark::State& state)
{
    lb::Scope loop(1, 1);
    auto d = quietWindow();
    d->preferences().bOnWrongNoteWaitTime = 0;
    d->StartStop(false);
    std::vector<double> micros;
    micros.reserve(std::size_t(state.max_iterations));
    for (auto _ : state) {
        const int note = CInstrumentCtrl::NoteFromKeyIndex(d->exercise().nCurNote);
        const auto start = std::chrono::steady_clock::now();
        d->OnNoteOn(note, true);
        const auto end = std::chrono::steady_clock::now();
        const double us = std::chrono::duration<double, std::micro>(end - start).count();
        micros.push_back(us);
        state.SetIterationTime(us / 1e6);
        d->OnNoteOff(note);
    }
    state.counters["p50_us"] = percentile(micros, 0.50);
    state.counters["p99_us"] = percentile(micros, 0.99);
    d->StartStop(false);
}
BENCHMARK(BM_AnswerStepOnly)->Iterations(10000)->UseManualTime()->Unit(benchmark::kMicrosecond);

// 10 000 messages a second from a keyboard thread for state.range(0) seconds,
// while a 1 ms timer on the GUI thread measures the longest stall of its event loop.
void BM_MidiFlood(benchmark::State& state)
{
    const int seconds = int(state.range(0));
    constexpr int kPerSecond = 10000;
    lb::Scope loop(1, 1);
    auto d = quietWindow();
    d->preferences().bOnWrongNoteWaitTime = 0;
    d->StartStop(false);

    std::vector<std::uint32_t> fed;
    const int total = seconds * kPerSecond;
    fed.reserve(std::size_t(total));
    for (int i = 0; i < total; ++i) {
        const int note = 36 + (i / 2 * 7) % 48;
        fed.push_back(i % 2 ? noteOff(note) : noteOn(note));
    }

    for (auto _ : state) {
        d->handled.clear();
        d->handled.reserve(fed.size());
        qint64 longestGapMs = 0;
        QElapsedTimer sinceTick;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longestGapMs = std::max(longestGapMs, sinceTick.restart());
        });
        std::atomic<bool> done{false};
        sinceTick.start();
        tick.start(1);
        std::thread keyboard([&] {
            auto next = std::chrono::steady_clock::now();
            for (std::uint32_t word : fed) {
                next += std::chrono::microseconds(1000000 / kPerSecond);
                std::this_thread::sleep_until(next);
                lb::feed(word, 0);
            }
            lb::flush();
            done = true;
        });
        while (!done || d->handled.size() < fed.size())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        keyboard.join();
        tick.stop();
        state.counters["longest_gap_ms"] = double(longestGapMs);
        state.counters["handled"] = double(d->handled.size());
        state.counters["in_order"] = d->handled == fed ? 1 : 0;
        if (d->handled != fed)
            state.SkipWithError("notes lost or out of order");
    }
    d->StartStop(false);
}
BENCHMARK(BM_MidiFlood)->Arg(10)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The main window saves its settings when it closes: keep the user's own out of reach.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    // The answer history is written as in the program, into a scratch data home.
    qputenv("XDG_DATA_HOME", (config.path() + QStringLiteral("/data")).toLocal8Bit());
    QApplication app(argc, argv);
    platform::setMessageBoxHook([](const platform::MessageBoxCall&) {});
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
