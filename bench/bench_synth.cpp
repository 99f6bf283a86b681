// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in synthesizer: how soon the first note sounds, how long an
// instrument change takes on the worker, how long a caller waits meanwhile,
// and what one piano preset costs in memory.
#include "platform/synth/midi_synth.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Long enough for any note to die away after its release.
constexpr int kSilenceFrames = 8 * mmsys::synth::kSampleRate;
using mmsys::synth::SampleLoading;
using mmsys::synth::SynthEngine;

const std::vector<std::string>& fonts()
{
    static const std::vector<std::string> all{"/usr/share/sounds/sf2/FluidR3_GM.sf2",
                                              "/usr/share/sounds/sf2/TimGM6mb.sf2"};
    return all;
}

bool installed(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// Drops the file's pages from the page cache, as after a reboot.
void evict(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// A size line of /proc/self/status in MiB.
double statusMiB(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(std::strlen(key))) / 1024.0;
    return -1;
}

double rms(const std::vector<float>& x)
{
    double sum = 0;
    for (float v : x)
        sum += double(v) * v;
    return std::sqrt(sum / double(x.size()));
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The soundfont of the run's first argument, with the run labelled by it;
// null, and the run skipped, when it is not installed.
const std::string* fontOf(benchmark::State& state, const std::string& variant = {})
{
    const std::string& font = fonts()[std::size_t(state.range(0))];
    if (!installed(font)) {
        state.SkipWithError((font + " is not installed").c_str());
        return nullptr;
    }
    state.SetLabel(std::filesystem::path(font).filename().string() + variant);
    return &font;
}

// The trainer starts loading while it builds its window; an exercise started
// at once sends the instrument and a note. From the start of the load to the
// first rendered frame of that note (the audio output adds its own 10 ms).
// Each run is a new process, as each start of the trainer is: FluidSynth
// sets itself up once per process, and the user waits for that too.
double firstNoteInNewProcess(const std::string& font)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        const auto start = Clock::now();
        SynthEngine engine;
        engine.loadAsync({font});
        engine.shortMsg(0x000000C0); // program change: piano
        engine.shortMsg(0x007F4590); // note on A4
        std::vector<float> left(64), right(64);
        do
            engine.render(left.data(), right.data(), int(left.size()));
        while (rms(left) < 1e-4);
        const double took = ms(Clock::now() - start);
        const bool sent = ::write(pipeFds[1], &took, sizeof took) == ssize_t(sizeof took);
        ::_exit(sent ? 0 : 1);
    }
    ::close(pipeFds[1]);
    double took = -1;
    if (child < 0 || ::read(pipeFds[0], &took, sizeof took) != ssize_t(sizeof took))
        took = -1;
    ::close(pipeFds[0]);
    if (child > 0)
        ::waitpid(child, nullptr, 0);
    return took;
}

void BM_SynthFirstNote(benchmark::State& state)
{
    const bool cold = state.range(1) != 0;
    const std::string* font = fontOf(state, cold ? ", cold cache" : ", warm cache");
    if (!font)
        return;
    std::vector<double> took;
    for (auto _ : state) {
        if (cold)
            evict(*font);
        const double t = firstNoteInNewProcess(*font);
        if (t < 0) {
            state.SkipWithError("the measuring process failed");
            return;
        }
        state.SetIterationTime(t / 1000);
        took.push_back(t);
    }
    state.counters["median_ms"] = median(took);
    state.counters["max_ms"] = *std::max_element(took.begin(), took.end());
}
BENCHMARK(BM_SynthFirstNote)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"font", "cold"})
    ->UseManualTime()
    ->Iterations(7)
    ->Unit(benchmark::kMillisecond);

// An instrument change during an exercise: the worker loads the new preset
// (a new instrument each time; the one before has died away and is let go)
// while the caller keeps sending notes; the longest call the caller made is
// what the GUI thread would have waited.
void BM_SynthInstrumentChange(benchmark::State& state)
{
    const std::string* font = fontOf(state);
    if (!font)
        return;
    SynthEngine engine;
    engine.load(*font);
    std::vector<double> loads, calls;
    const int programs[] = {0, 40, 73, 24, 19, 32, 56, 48};
    std::size_t next = 0;
    std::vector<float> left(kSilenceFrames), right(kSilenceFrames);
    for (auto _ : state) {
        const int program = programs[next++ % std::size(programs)];
        const auto start = Clock::now();
        engine.shortMsg(0xC0 | std::uint32_t(program) << 8);
        int key = 60;
        bool idle = false;
        while (!idle) {
            for (std::uint32_t word : {0x007F0090u, 0x00000080u}) {
                const auto call = Clock::now();
                engine.shortMsg(word | std::uint32_t(key) << 8);
                calls.push_back(ms(Clock::now() - call));
            }
            key = key == 72 ? 60 : key + 1;
            idle = engine.waitIdle(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1)); // a very fast player
        }
        const auto loaded = Clock::now() - start;
        state.SetIterationTime(std::chrono::duration<double>(loaded).count());
        loads.push_back(ms(loaded));
        engine.allNotesOff();
        engine.render(left.data(), right.data(), int(left.size()));
    }
    state.counters["load_median_ms"] = median(loads);
    state.counters["caller_median_us"] = median(calls) * 1000;
    std::sort(calls.begin(), calls.end());
    state.counters["caller_p99_us"] = calls[calls.size() * 99 / 100] * 1000;
    state.counters["caller_max_us"] = *std::max_element(calls.begin(), calls.end()) * 1000;
}
BENCHMARK(BM_SynthInstrumentChange)
    ->DenseRange(0, 1)
    ->ArgName("font")
    ->UseManualTime()
    ->Iterations(24)
    ->Unit(benchmark::kMillisecond);

// Memory after loading the soundfont and playing one piano note, against
// holding the whole soundfont. Run alone for clean figures:
// --benchmark_filter=BM_SynthMemory/font:0/whole:0
void BM_SynthMemory(benchmark::State& state)
{
    const bool whole = state.range(1) != 0;
    const std::string* font = fontOf(state, whole ? ", whole" : ", on demand");
    if (!font)
        return;
    double grew = 0;
    for (auto _ : state) {
        const double before = statusMiB("VmRSS:");
        SynthEngine engine(whole ? SampleLoading::Whole : SampleLoading::OnDemand);
        engine.load(*font);
        engine.shortMsg(0x000000C0);
        engine.shortMsg(0x007F4590);
        std::vector<float> left(4096), right(4096);
        engine.render(left.data(), right.data(), int(left.size()));
        grew = statusMiB("VmRSS:") - before;
    }
    state.counters["rss_growth_MiB"] = grew;
    state.counters["peak_MiB"] = statusMiB("VmHWM:");
}
BENCHMARK(BM_SynthMemory)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"font", "whole"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
