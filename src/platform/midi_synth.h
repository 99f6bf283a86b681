// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The built-in General MIDI synthesizer (FluidSynth with the system's GM
// soundfont). FluidSynth's headers stay in the .cpp.

#include <cstddef>
#include <cstdint>
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
inline constexpr int kPolyphony = 256;

// Configured latency of the audio output in milliseconds.
constexpr double configuredLatencyMs()
{
    return 1000.0 * kAudioPeriods * kAudioPeriodSize / kSampleRate;
}

// The soundfonts looked for, in order of preference.
std::vector<std::string> soundFontCandidates();
// The first candidate that exists; empty when none is installed.
std::string findSoundFont();

class SynthEngine {
public:
    // Creates the synthesizer without audio output and without a soundfont.
    SynthEngine();
    ~SynthEngine();
    SynthEngine(const SynthEngine&) = delete;
    SynthEngine& operator=(const SynthEngine&) = delete;

    // Loads the first loadable of these soundfonts on a worker thread.
    void loadAsync(std::vector<std::string> paths);
    // Loads a soundfont now; on failure nothing stays loaded.
    bool load(const std::string& path);
    // Waits for a load started by loadAsync; true once a soundfont is in.
    bool waitLoaded(int timeoutMs);
    bool isLoaded() const;
    std::string soundFont() const;

    // Starts rendering to the desktop's audio; false when there is no audio output.
    bool startAudio();
    void stopAudio();
    bool hasAudio() const;
    std::string audioDriver() const;

    // One packed short message; notes are dropped while no soundfont is loaded,
    // a program change is remembered and applied once it is.
    void shortMsg(std::uint32_t word);
    // A complete system-exclusive message (F0 ... F7).
    void sysEx(const unsigned char* data, std::size_t size);
    // Silences every channel at once.
    void allNotesOff();

    // Renders frames into two float channels; for use without an audio driver.
    void render(float* left, float* right, int frames);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The engine shared by the synthesizer output port, made on first use.
SynthEngine& sharedEngine();

} // namespace mmsys::synth
