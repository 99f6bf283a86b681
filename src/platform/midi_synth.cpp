// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi_synth.h"

#include "platform/midi_backend.h"

#include <fluidsynth.h>

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

namespace mmsys::synth {

namespace {

// FluidSynth settings keys.
constexpr const char* kKeySampleRate = "synth.sample-rate";
constexpr const char* kKeyGain = "synth.gain";
constexpr const char* kKeyPolyphony = "synth.polyphony";
constexpr const char* kKeyAudioDriver = "audio.driver";
constexpr const char* kKeyPeriods = "audio.periods";
constexpr const char* kKeyPeriodSize = "audio.period-size";
constexpr const char* kKeyPulseMediaRole = "audio.pulseaudio.media-role";

// Desktop audio first; plain ALSA last.
constexpr std::array<const char*, 3> kAudioDrivers{"pulseaudio", "pipewire", "alsa"};

constexpr const char* kNoAudioNotice =
    "No audio output was found, so the built-in synthesizer plays no sound. "
    "Connect an audio device, or choose another MIDI output in the options.";

void silentFluidLog(int, const char*, void*) {}
void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

void silenceLibraries()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level)
            fluid_set_log_function(level, silentFluidLog, nullptr);
        snd_lib_error_set_handler(silentAlsaError);
    });
}

void collectOption(void* data, const char*, const char* option)
{
    static_cast<std::vector<std::string>*>(data)->push_back(option);
}

} // namespace

std::vector<std::string> soundFontCandidates()
{
    return {"/usr/share/sounds/sf2/default-GM.sf2", "/usr/share/sounds/sf2/FluidR3_GM.sf2",
            "/usr/share/sounds/sf2/TimGM6mb.sf2"};
}

std::string findSoundFont()
{
    std::error_code ec;
    for (const std::string& path : soundFontCandidates())
        if (std::filesystem::is_regular_file(path, ec))
            return path;
    return {};
}

struct SynthEngine::Private {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_audio_driver_t* audio = nullptr;
    std::string driverName;

    std::thread loader;
    mutable std::mutex loadMutex;
    std::condition_variable loadDone;
    bool loading = false;
    std::atomic<bool> loaded{false};
    std::string soundFont;
    // Programs chosen before the soundfont was in; -1 = none.
    std::array<int, 16> pendingProgram{};

    std::mutex audioMutex;

    void teardown()
    {
        // Reverse order of creation.
        if (audio) {
            delete_fluid_audio_driver(audio);
            audio = nullptr;
        }
        if (synth) {
            delete_fluid_synth(synth);
            synth = nullptr;
        }
        if (settings) {
            delete_fluid_settings(settings);
            settings = nullptr;
        }
    }
};

SynthEngine::SynthEngine()
    : d(std::make_unique<Private>())
{
    silenceLibraries();
    d->pendingProgram.fill(-1);
    d->settings = new_fluid_settings();
    if (!d->settings)
        return;
    fluid_settings_setnum(d->settings, kKeySampleRate, kSampleRate);
    fluid_settings_setnum(d->settings, kKeyGain, kGain);
    fluid_settings_setint(d->settings, kKeyPolyphony, kPolyphony);
    fluid_settings_setint(d->settings, kKeyPeriods, kAudioPeriods);
    fluid_settings_setint(d->settings, kKeyPeriodSize, kAudioPeriodSize);
    fluid_settings_setstr(d->settings, kKeyPulseMediaRole, "music");
    d->synth = new_fluid_synth(d->settings);
    if (!d->synth) {
        d->teardown();
        return;
    }
    // A new synthesizer's reverb holds whatever the heap held until the first
    // reset, and a synthesizer without a soundfont is never reset otherwise.
    fluid_synth_system_reset(d->synth);
}

SynthEngine::~SynthEngine()
{
    if (d->loader.joinable())
        d->loader.join();
    d->teardown();
}

bool SynthEngine::load(const std::string& path)
{
    // Checked first: the loader complains on stderr about files that are no soundfont.
    if (!d->synth || !fluid_is_soundfont(path.c_str()))
        return false;
    const int id = fluid_synth_sfload(d->synth, path.c_str(), 1);
    if (id == FLUID_FAILED)
        return false;
    // A soundfont without a piano at bank 0, program 0 is no General MIDI set.
    fluid_sfont_t* sf = fluid_synth_get_sfont_by_id(d->synth, id);
    if (!sf || !fluid_sfont_get_preset(sf, 0, 0)) {
        fluid_synth_sfunload(d->synth, id, 1);
        return false;
    }
    std::lock_guard lock(d->loadMutex);
    for (int ch = 0; ch < 16; ++ch) {
        if (d->pendingProgram[std::size_t(ch)] >= 0)
            fluid_synth_program_change(d->synth, ch, d->pendingProgram[std::size_t(ch)]);
        d->pendingProgram[std::size_t(ch)] = -1;
    }
    d->soundFont = path;
    d->loaded = true;
    return true;
}

void SynthEngine::loadAsync(std::vector<std::string> paths)
{
    {
        std::lock_guard lock(d->loadMutex);
        if (d->loading || d->loaded || d->loader.joinable())
            return;
        d->loading = true;
    }
    d->loader = std::thread([this, paths = std::move(paths)] {
        for (const std::string& path : paths)
            if (load(path))
                break;
        std::lock_guard lock(d->loadMutex);
        d->loading = false;
        d->loadDone.notify_all();
    });
}

bool SynthEngine::waitLoaded(int timeoutMs)
{
    std::unique_lock lock(d->loadMutex);
    d->loadDone.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !d->loading; });
    return d->loaded;
}

bool SynthEngine::isLoaded() const
{
    return d->loaded;
}

std::string SynthEngine::soundFont() const
{
    std::lock_guard lock(d->loadMutex);
    return d->soundFont;
}

bool SynthEngine::startAudio()
{
    std::lock_guard lock(d->audioMutex);
    if (d->audio)
        return true;
    if (!d->synth)
        return false;
    std::vector<std::string> available;
    fluid_settings_foreach_option(d->settings, kKeyAudioDriver, &available, collectOption);
    for (const char* name : kAudioDrivers) {
        if (std::find(available.begin(), available.end(), name) == available.end())
            continue;
        fluid_settings_setstr(d->settings, kKeyAudioDriver, name);
        d->audio = new_fluid_audio_driver(d->settings, d->synth);
        if (d->audio) {
            d->driverName = name;
            return true;
        }
    }
    return false;
}

void SynthEngine::stopAudio()
{
    std::lock_guard lock(d->audioMutex);
    if (d->audio) {
        delete_fluid_audio_driver(d->audio);
        d->audio = nullptr;
        d->driverName.clear();
    }
}

bool SynthEngine::hasAudio() const
{
    std::lock_guard lock(d->audioMutex);
    return d->audio != nullptr;
}

std::string SynthEngine::audioDriver() const
{
    std::lock_guard lock(d->audioMutex);
    return d->driverName;
}

void SynthEngine::shortMsg(std::uint32_t word)
{
    if (!d->synth)
        return;
    const int status = int(word & 0xFF);
    const int chan = status & 0x0F;
    const int d1 = int((word >> 8) & 0x7F);
    const int d2 = int((word >> 16) & 0x7F);
    if ((status & 0xF0) == 0xC0) {
        std::lock_guard lock(d->loadMutex);
        if (!d->loaded) {
            d->pendingProgram[std::size_t(chan)] = d1;
            return;
        }
    } else if (!d->loaded) {
        return; // the soundfont is still loading
    }
    switch (status & 0xF0) {
    case 0x80: fluid_synth_noteoff(d->synth, chan, d1); break;
    case 0x90:
        if (d2 > 0)
            fluid_synth_noteon(d->synth, chan, d1, d2);
        else
            fluid_synth_noteoff(d->synth, chan, d1);
        break;
    case 0xA0: fluid_synth_key_pressure(d->synth, chan, d1, d2); break;
    case 0xB0: fluid_synth_cc(d->synth, chan, d1, d2); break;
    case 0xC0: fluid_synth_program_change(d->synth, chan, d1); break;
    case 0xD0: fluid_synth_channel_pressure(d->synth, chan, d1); break;
    case 0xE0: fluid_synth_pitch_bend(d->synth, chan, d1 | (d2 << 7)); break;
    default:
        if (status == 0xFF)
            fluid_synth_system_reset(d->synth);
        break;
    }
}

void SynthEngine::sysEx(const unsigned char* data, std::size_t size)
{
    if (!d->synth || !d->loaded || size < 3 || data[0] != 0xF0 || data[size - 1] != 0xF7)
        return;
    fluid_synth_sysex(d->synth, reinterpret_cast<const char*>(data) + 1, int(size - 2),
                      nullptr, nullptr, nullptr, 0);
}

void SynthEngine::allNotesOff()
{
    if (!d->synth)
        return;
    fluid_synth_all_notes_off(d->synth, -1);
}

void SynthEngine::render(float* left, float* right, int frames)
{
    if (!d->synth) {
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        return;
    }
    fluid_synth_write_float(d->synth, frames, left, 0, 1, right, 0, 1);
}

SynthEngine& sharedEngine()
{
    static SynthEngine engine;
    return engine;
}

namespace {

class SynthOut final : public backend::OutputDevice {
public:
    std::string name() const override { return kDeviceName; }
    WORD technology() const override { return MOD_SWSYNTH; }

    MMRESULT open(backend::OutputSink*) override
    {
        SynthEngine& engine = sharedEngine();
        engine.loadAsync(soundFontCandidates());
        if (!engine.startAudio()) {
            static std::atomic<bool> told{false};
            if (!told.exchange(true))
                backend::notice(kNoAudioNotice);
        }
        return MMSYSERR_NOERROR;
    }
    void close() override
    {
        sharedEngine().allNotesOff();
        sharedEngine().stopAudio();
    }
    MMRESULT shortMsg(DWORD word) override
    {
        sharedEngine().shortMsg(word);
        return MMSYSERR_NOERROR;
    }
    MMRESULT longMsg(MIDIHDR* header, bool& later) override
    {
        later = false;
        sharedEngine().sysEx(reinterpret_cast<const unsigned char*>(header->lpData), header->dwBufferLength);
        return MMSYSERR_NOERROR;
    }
    void reset() override { sharedEngine().allNotesOff(); }
};

class SynthBackend final : public backend::Backend {
public:
    void enumerate(std::vector<std::shared_ptr<backend::InputDevice>>&,
                   std::vector<std::shared_ptr<backend::OutputDevice>>& outputs) override
    {
        if (findSoundFont().empty())
            return;
        // Start loading now, off the caller's thread, so the first note is not kept waiting.
        sharedEngine().loadAsync(soundFontCandidates());
        if (!m_device)
            m_device = std::make_shared<SynthOut>();
        outputs.push_back(m_device);
    }

private:
    std::shared_ptr<SynthOut> m_device;
};

} // namespace

} // namespace mmsys::synth

namespace mmsys::backend {

Backend& synthBackend()
{
    static synth::SynthBackend b;
    return b;
}

} // namespace mmsys::backend
