// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The built-in General MIDI synthesizer (FluidSynth with the system's GM
// soundfont). FluidSynth's headers stay in the .cpp.
//
// Only the presets in use are in memory: a channel that selects a preset
// gets it played straight from the soundfont file's read-only mapping, so the
// kernel pages in only the samples that sound and can drop them again under
// memory pressure (a preset the mapping cannot play is cut out of the
// soundfont and loaded instead). Everything that may wait for the disk
// or the audio server (the soundfont, a preset, the audio output) runs on the
// engine's worker; callers never wait for it.
//
// Order of messages: before any soundfont is loaded or loading, notes are
// dropped and a program change is remembered. While the soundfont or a
// program's samples load, messages wait in arrival order and are played once
// they are in; a note released (or silenced) before then is not played at all.
// A channel's first note or program change loads its preset; nothing is
// loaded before.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mmsys::synth {

// Name of the output port the synthesizer is offered as.
inline constexpr const char* kDeviceName = "Tonvero built-in synthesizer";

// Audio set-up: periods × period size ÷ sample rate is the output latency.
inline constexpr int kSampleRate = 44100;
inline constexpr int kAudioPeriods = 2;
inline constexpr int kAudioPeriodSize = 220;
inline constexpr double kGain = 0.6;
// Voices: a trainer sounds one note at a time; each voice costs memory.
inline constexpr int kPolyphony = 64;

// Configured latency of the audio output in milliseconds.
constexpr double configuredLatencyMs()
{
    return 1000.0 * kAudioPeriods * kAudioPeriodSize / kSampleRate;
}

// The soundfonts looked for, best first.
std::vector<std::string> soundFontCandidates();
// The first candidate that exists; empty when none is installed.
std::string findSoundFont();

// How sample data is held: the presets in use, or the whole soundfont.
enum class SampleLoading { OnDemand, Whole };

// How a load ended: a soundfont is in, none of them could be used, or there
// is no synthesizer to load into (FluidSynth cannot be used).
enum class LoadOutcome { Loaded, NoUsableSoundFont, NoSynthesizer };

class SynthEngine {
public:
    // Creates the engine without audio output and without a soundfont; the
    // FluidSynth synthesizer is made on the worker when first needed.
    explicit SynthEngine(SampleLoading loading = SampleLoading::OnDemand);
    ~SynthEngine();
    SynthEngine(const SynthEngine&) = delete;
    SynthEngine& operator=(const SynthEngine&) = delete;

    // Loads the first loadable of these soundfonts on the worker; done (on
    // the worker) is told how it ended. Nothing is loaded, and done is not
    // called, while a soundfont is in or a load is pending.
    void loadAsync(std::vector<std::string> paths, std::function<void(LoadOutcome)> done = {});
    // Loads a soundfont now (and the presets already chosen); on failure the
    // previous state stays.
    bool load(const std::string& path);
    // Waits for the loads started so far; true once a soundfont is in.
    bool waitLoaded(int timeoutMs);
    bool isLoaded() const;
    std::string soundFont() const;
    // Waits until every program change and preset load handed to the worker
    // has finished; true when idle.
    bool waitIdle(int timeoutMs);

    // Starts rendering to the desktop's audio, waiting for the worker; false
    // when there is no audio output.
    bool startAudio();
    void stopAudio();
    // The same on the worker, after what is queued; `started` is told the result there.
    void startAudioAsync(std::function<void(bool)> started = {});
    void stopAudioAsync();
    bool hasAudio() const;
    std::string audioDriver() const;

    // One packed short message.
    void shortMsg(std::uint32_t word);
    // A complete system-exclusive message (F0 ... F7).
    void sysEx(const unsigned char* data, std::size_t size);
    // Silences every channel at once; notes still waiting for a load are dropped.
    void allNotesOff();

    // Renders frames into two float channels once every message sent before
    // has taken effect (it waits for loads in progress); for use without an
    // audio driver.
    void render(float* left, float* right, int frames);

    // For tests: runs on the worker before sample data is read from the disk.
    void setSampleReadHook(std::function<void()> hook);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The engine shared by the synthesizer output port, made on first use.
SynthEngine& sharedEngine();

} // namespace mmsys::synth
