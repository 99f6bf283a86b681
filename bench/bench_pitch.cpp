// SPDX-License-Identifier: GPL-3.0-or-later
// The note detector's CPU cost per second of audio, reported as the share of
// one core it takes to keep up with a live input ("core_%").
#include "pitch/notedetector.h"
#include "platform/synth/midi_synth.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <numbers>
#include <vector>

namespace {

constexpr double kSeconds = 10.0;

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// Ten seconds of notes: the built-in synthesizer's piano when a soundfont is
// installed, else tones with harmonics. Noise-free either way.
std::vector<float> music(int rate)
{
    const auto frames = std::size_t(kSeconds * rate);
    std::vector<float> x(frames, 0.f);
    const std::string font = mmsys::synth::findSoundFont();
    if (rate == mmsys::synth::kSampleRate && !font.empty()) {
        mmsys::synth::SynthEngine synth;
        if (synth.load(font)) {
            std::vector<float> right(frames);
            std::size_t at = 0;
            for (int i = 0; at < frames; ++i) {
                const int note = 40 + (i * 7) % 40;
                synth.shortMsg(0x90u | std::uint32_t(note) << 8 | 100u << 16);
                const std::size_t n = std::min<std::size_t>(frames - at, std::size_t(rate / 2));
                synth.render(x.data() + at, right.data() + at, int(n));
                synth.shortMsg(0x80u | std::uint32_t(note) << 8);
                at += n;
            }
            return x;
        }
    }
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const double hz = pitch::NoteDetector::noteToHz(40 + (int(t * 2) * 7) % 40, 440.0);
        const double local = std::fmod(t, 0.5);
        double v = 0;
        for (int h = 1; h <= 5; ++h)
            v += std::sin(2 * std::numbers::pi * hz * h * t) / h;
        x[i] = float(0.3 * v * std::exp(-4 * local));
    }
    return x;
}

void run(benchmark::State& state, const std::vector<float>& x, int rate)
{
    pitch::NoteDetector detector(rate);
    if (!detector.isValid()) {
        state.SkipWithError("aubio cannot be loaded");
        return;
    }
    std::vector<pitch::NoteEvent> events;
    constexpr std::size_t chunk = 220; // the capture's 5 ms fragments
    double cpuSeconds = 0;
    for (auto _ : state) {
        const double before = threadCpuSeconds();
        for (std::size_t i = 0; i < x.size(); i += chunk)
            detector.process(x.data() + i, std::min(chunk, x.size() - i), events);
        cpuSeconds += threadCpuSeconds() - before;
        benchmark::DoNotOptimize(events.data());
        events.clear();
    }
    // CPU time per second of audio, in percent of one core.
    state.counters["core_%"] = 100.0 * cpuSeconds / (double(state.iterations()) * kSeconds);
}

void BM_DetectorMusic44k(benchmark::State& state)
{
    static const std::vector<float> x = music(44100);
    run(state, x, 44100);
}
BENCHMARK(BM_DetectorMusic44k)->Unit(benchmark::kMillisecond);

void BM_DetectorTones48k(benchmark::State& state)
{
    static const std::vector<float> x = music(48000);
    run(state, x, 48000);
}
BENCHMARK(BM_DetectorTones48k)->Unit(benchmark::kMillisecond);

// What listening costs while nobody plays.
void BM_DetectorSilence44k(benchmark::State& state)
{
    static const std::vector<float> x(std::size_t(kSeconds * 44100), 0.f);
    run(state, x, 44100);
}
BENCHMARK(BM_DetectorSilence44k)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
