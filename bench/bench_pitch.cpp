// SPDX-License-Identifier: GPL-3.0-or-later
// The note detector's CPU cost per second of audio, reported as the share of
// one core it takes to keep up with a live input ("core_%").
#include "pitch/notedetector.h"
#include "platform/synth/midi_synth.h"

#include <benchmark/benchmark.h>

#include <algorithm>
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

// From a note's start to the detector's decision, for piano notes of one
// register (0: E1 to B2, 1: C3 to B4, 2: C5 to C7): median and p95 in ms, as
// counters. The time taken to compute them is no part of the figure. Where
// the time goes: the attack the detector found (from the note's start), and
// the rest, its windows filling with the note and the pitch holding.
void BM_DecisionDelay(benchmark::State& state)
{
    constexpr int rate = mmsys::synth::kSampleRate;
    const int low[] = {28, 48, 72}, high[] = {47, 71, 96};
    const int reg = int(state.range(0));
    const std::string font = mmsys::synth::findSoundFont();
    mmsys::synth::SynthEngine synth;
    if (font.empty() || !synth.load(font)) {
        state.SkipWithError("no General MIDI soundfont installed");
        return;
    }
    // Each note of the register for half a second, then silence as long.
    const auto half = std::size_t(rate / 2);
    std::vector<int> notes;
    for (int n = low[reg]; n <= high[reg]; ++n)
        notes.push_back(n);
    std::vector<float> x(2 * half * notes.size(), 0.f), right(x.size());
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const std::size_t at = 2 * half * i;
        synth.shortMsg(0x90u | std::uint32_t(notes[i]) << 8 | 100u << 16);
        synth.render(x.data() + at, right.data() + at, int(half));
        synth.shortMsg(0x80u | std::uint32_t(notes[i]) << 8);
        synth.render(x.data() + at + half, right.data() + at + half, int(half));
    }
    std::vector<double> delays, attacks, listening;
    for (auto _ : state) {
        pitch::NoteDetector detector(rate);
        if (!detector.isValid()) {
            state.SkipWithError("aubio cannot be loaded");
            return;
        }
        std::vector<pitch::NoteEvent> events;
        for (std::size_t i = 0; i < x.size(); i += 220)
            detector.process(x.data() + i, std::min<std::size_t>(220, x.size() - i), events);
        delays.clear();
        attacks.clear();
        listening.clear();
        for (std::size_t i = 0; i < notes.size(); ++i) {
            const auto start = std::int64_t(2 * half * i);
            for (const pitch::NoteEvent& e : events) {
                if (e.kind == pitch::NoteEvent::Kind::Started && e.note == notes[i] && e.reportSample >= start
                    && e.reportSample < start + std::int64_t(2 * half)) {
                    delays.push_back(1000.0 * double(e.reportSample - start) / rate);
                    attacks.push_back(1000.0 * double(e.onsetSample - start) / rate);
                    listening.push_back(1000.0 * double(e.reportSample - e.onsetSample) / rate);
                    break;
                }
            }
        }
    }
    auto at = [](std::vector<double> v, double p) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[std::min(v.size() - 1, std::size_t(p * double(v.size() - 1) + 0.5))];
    };
    state.counters["median_ms"] = at(delays, 0.5);
    state.counters["p95_ms"] = at(delays, 0.95);
    state.counters["attack_median_ms"] = at(attacks, 0.5);
    state.counters["listening_median_ms"] = at(listening, 0.5);
    state.counters["heard_%"] = 100.0 * double(delays.size()) / double(notes.size());
}
BENCHMARK(BM_DecisionDelay)->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
