// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/synth/midi_synth.h"

#include "platform/synth/fluidsynthlib.h"
#include "platform/synth/mappedpreset.h"
#include "platform/mmsystem/midi_backend.h"
#include "platform/synth/sf2file.h"

#include <QCoreApplication>

#include <fluidsynth.h>

#include <alsa/asoundlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <future>
#include <map>
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

constexpr const char* kPulseMediaRole = "music";

// Desktop audio first; plain ALSA last.
constexpr std::array<const char*, 3> kAudioDrivers{"pulseaudio", "pipewire", "alsa"};

// Said in the window at every exercise that starts without sound.
constexpr const char* kNoAudioNotice = QT_TRANSLATE_NOOP(
    "Synthesizer", "Звука не будет: не найдено устройство вывода звука. Упражнение идёт без звука; "
                   "подключите наушники или колонки или выберите другой MIDI-выход в настройках.");

// Said once, in the window, when the soundfont was cut or rewritten in place
// while its samples played from its mapping: the pages it lost play as silence.
constexpr const char* kSoundFontChangedNotice = QT_TRANSLATE_NOOP(
    "Synthesizer", "Файл звуков (SoundFont) изменили или обрезали, пока он звучал: пропавшие звуки заглушены. "
                   "Перезапустите Tonvero, чтобы снова слышать все инструменты.");

// Said in the window while the synthesizer has no soundfont it can play:
// none installed, or every one damaged. Withdrawn once one works.
constexpr const char* kNoSoundFontNotice = QT_TRANSLATE_NOOP(
    "Synthesizer", "Звука не будет: не найден ни один пригодный файл звуков (SoundFont) для встроенного "
                   "синтезатора. Упражнения идут без звука; установите пакет fluid-soundfont-gm или "
                   "timgm6mb-soundfont или выберите другой MIDI-выход в настройках.");
constexpr const char* kNoSoundFontKey = "no-soundfont";

// Overrides the soundfonts looked for: paths separated by ':' (empty: none).
constexpr const char* kSoundFontsVariable = "TONVERO_SOUNDFONTS";

std::atomic<bool> noSoundFontSaid{false};
std::atomic<bool> soundFontPlayed{false}; // one was loaded in this process

// Once while the state lasts: every opening and every load would say it again.
void tellNoSoundFont()
{
    if (!noSoundFontSaid.exchange(true))
        backend::lastingNotice(kNoSoundFontKey,
                               QCoreApplication::translate("Synthesizer", kNoSoundFontNotice).toStdString());
}

void tellSoundFontWorks()
{
    soundFontPlayed = true;
    if (noSoundFontSaid.exchange(false))
        backend::withdrawNotice(kNoSoundFontKey);
}

// What the port's loads say; without FluidSynth the missing audio is said instead.
void tellLoad(LoadOutcome outcome)
{
    if (outcome == LoadOutcome::Loaded)
        tellSoundFontWorks();
    else if (outcome == LoadOutcome::NoUsableSoundFont)
        tellNoSoundFont();
}

void tellIfSoundFontChanged()
{
    static std::atomic<bool> told{false};
    if (Sf2File::lostPages() > 0 && !told.exchange(true))
        backend::notice(QCoreApplication::translate("Synthesizer", kSoundFontChangedNotice).toStdString());
}

constexpr int kChannels = 16;
constexpr int kDrumChannel = 9;
constexpr int kDrumBank = 128;
// Controller numbers. GS style: the bank select MSB alone picks the bank.
constexpr int kBankSelect = 0;
constexpr int kAllSoundOff = 120;
constexpr int kResetControllers = 121;
constexpr int kAllNotesOff = 123;
constexpr int kNoPreset = -1;

// Messages held while a load runs; beyond this, new notes are dropped.
constexpr std::size_t kMaxWaiting = 65536;

// How often the worker looks whether a preset let go has stopped sounding.
constexpr std::chrono::milliseconds kRetiredCheck{250};

// Names under which preset images are handed to FluidSynth's loader.
constexpr const char* kImagePrefix = "tonvero-preset:";

void silentAlsaError(const char*, int, const char*, int, const char*, ...) {}

void silenceAlsa()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(silentAlsaError); });
}

// FluidSynth prepares a soundfont's samples with an OpenMP team whose idle
// threads then spin, taking the CPU from the audio; one preset's samples are
// as quick on the loading thread alone. Found at run time: FluidSynth may be
// built without OpenMP.
void runSampleLoadingAlone(const FluidSynthLib& fl)
{
    if (fl.omp_set_num_threads)
        fl.omp_set_num_threads(1);
}

// FluidSynth shares loaded samples between its synthesizers in one cache for
// the whole process, behind a lock ThreadSanitizer cannot see; loads and
// unloads of all engines take this one as well.
std::mutex& sampleCacheLock()
{
    static std::mutex lock;
    return lock;
}

void collectOption(void* data, const char*, const char* option)
{
    static_cast<std::vector<std::string>*>(data)->push_back(option);
}

int presetKey(int bank, int program)
{
    return bank * 128 + program;
}

bool isNoteOn(std::uint32_t word)
{
    return (word & 0xF0) == 0x90 && ((word >> 16) & 0x7F) != 0;
}

bool isNoteOff(std::uint32_t word)
{
    return (word & 0xF0) == 0x80 || ((word & 0xF0) == 0x90 && ((word >> 16) & 0x7F) == 0);
}

// Channel and key of a note message.
int noteOf(std::uint32_t word)
{
    return int(word & 0x0F) << 8 | int((word >> 8) & 0x7F);
}

// GM, GM2, GS and XG resets: they put every channel back to its first program.
bool isResetSysEx(const unsigned char* data, std::size_t size)
{
    static const std::vector<std::vector<int>> resets{
        {0xF0, 0x7E, -1, 0x09, 0x01, 0xF7},
        {0xF0, 0x7E, -1, 0x09, 0x03, 0xF7},
        {0xF0, 0x41, -1, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7},
        {0xF0, 0x43, -1, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7},
    };
    for (const auto& r : resets) {
        if (r.size() != size)
            continue;
        bool same = true;
        for (std::size_t i = 0; i < size && same; ++i)
            same = r[i] < 0 || r[i] == data[i];
        if (same)
            return true;
    }
    return false;
}

// FluidSynth's loader callbacks carry no user data, so the image's address
// travels in the name; the image outlives the load that opens it.
struct ImageCursor {
    const Sf2Image* image;
    std::uint64_t position = 0;
};

void* imageOpen(const char* name)
{
    const std::size_t prefix = std::strlen(kImagePrefix);
    if (!name || std::strncmp(name, kImagePrefix, prefix) != 0)
        return nullptr;
    void* image = nullptr;
    unsigned serial = 0;
    if (std::sscanf(name + prefix, "%p:%u", &image, &serial) != 2 || !image)
        return nullptr;
    return new ImageCursor{static_cast<const Sf2Image*>(image)};
}

int imageRead(void* buffer, fluid_long_long_t count, void* handle)
{
    auto* cursor = static_cast<ImageCursor*>(handle);
    if (count < 0 || !cursor->image->read(cursor->position, buffer, std::size_t(count)))
        return FLUID_FAILED;
    cursor->position += std::uint64_t(count);
    return FLUID_OK;
}

int imageSeek(void* handle, fluid_long_long_t offset, int origin)
{
    auto* cursor = static_cast<ImageCursor*>(handle);
    const auto size = fluid_long_long_t(cursor->image->size());
    fluid_long_long_t base = 0;
    if (origin == SEEK_CUR)
        base = fluid_long_long_t(cursor->position);
    else if (origin == SEEK_END)
        base = size;
    else if (origin != SEEK_SET)
        return FLUID_FAILED;
    const fluid_long_long_t to = base + offset;
    if (to < 0 || to > size)
        return FLUID_FAILED;
    cursor->position = std::uint64_t(to);
    return FLUID_OK;
}

fluid_long_long_t imageTell(void* handle)
{
    return fluid_long_long_t(static_cast<ImageCursor*>(handle)->position);
}

int imageClose(void* handle)
{
    delete static_cast<ImageCursor*>(handle);
    return FLUID_OK;
}

} // namespace

std::vector<std::string> soundFontCandidates()
{
    if (const char* paths = std::getenv(kSoundFontsVariable)) {
        std::vector<std::string> list;
        std::string rest = paths;
        for (std::size_t from = 0; from <= rest.size();) {
            const std::size_t to = std::min(rest.find(':', from), rest.size());
            if (to > from)
                list.push_back(rest.substr(from, to - from));
            from = to + 1;
        }
        return list;
    }
    // FluidR3 first: it sounds far better than TimGM6mb, and only the presets
    // in use are held, so its size costs no memory.
    return {"/usr/share/sounds/sf2/FluidR3_GM.sf2", "/usr/share/sounds/sf2/default-GM.sf2",
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
    // One piece of work for the worker, in arrival order.
    struct Job {
        enum class Kind { Message, SysEx, Load, Select, Reset, NotesOff, StartAudio, StopAudio };
        Kind kind;
        std::uint32_t word = 0;
        int channel = 0;
        int key = kNoPreset;
        std::vector<unsigned char> bytes;
        std::vector<std::string> paths;
        std::shared_ptr<std::promise<bool>> loaded;
        std::function<void(LoadOutcome)> loadDone;
        std::function<void(bool)> started;

        explicit Job(Kind k) : kind(k) {}
        static Job message(std::uint32_t w)
        {
            Job job(Kind::Message);
            job.word = w;
            return job;
        }
        static Job select(int ch, int k)
        {
            Job job(Kind::Select);
            job.channel = ch;
            job.key = k;
            return job;
        }
        static Job load(std::vector<std::string> from, std::shared_ptr<std::promise<bool>> done = {})
        {
            Job job(Kind::Load);
            job.paths = std::move(from);
            job.loaded = std::move(done);
            return job;
        }
    };

    SampleLoading samples = SampleLoading::OnDemand;
    // Set on the worker before the synthesizer is made, and kept.
    const FluidSynthLib* fl = nullptr;
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_audio_driver_t* audio = nullptr;
    std::string driverName;
    mutable std::mutex audioMutex;

    // Guards what callers and the worker share; never held across a load.
    mutable std::mutex gate;
    std::condition_variable wake;
    std::condition_variable settled;
    std::deque<Job> jobs;
    bool busy = false;
    bool made = false;   // the synthesizer exists
    bool broken = false; // it could not be made
    bool stopping = false;
    int loadsPending = 0;
    std::atomic<bool> loaded{false};
    std::string soundFont;
    // The preset each channel asked for (bank × 128 + program), and its bank select.
    std::array<int, kChannels> requested{};
    std::array<int, kChannels> bank{};
    std::function<void()> readHook;
    std::thread worker;

    // The worker's own: the soundfont in use and the presets loaded from it.
    struct Resident {
        int fontId;
        int users;
    };
    std::shared_ptr<const Sf2File> font;
    int wholeFontId = FLUID_FAILED;
    std::map<int, Resident> resident;
    std::map<int, int> retired; // presets no channel uses, still sounding: key → font
    std::vector<int> doomed;    // fonts of a soundfont replaced, to unload once silent
    std::map<int, std::unique_ptr<MappedPreset>> mapped; // fonts that play from the file: id → preset
    std::array<int, kChannels> selected{};
    unsigned imageSerial = 0;
    bool tried = false; // to make the synthesizer

    Private()
    {
        requested.fill(kNoPreset);
        selected.fill(kNoPreset);
    }

    int requestKey(int channel, int program) const
    {
        return presetKey(channel == kDrumChannel ? kDrumBank : bank[std::size_t(channel)], program);
    }

    bool idle() const { return !busy && jobs.empty(); }


    void post(Job job)
    {
        jobs.push_back(std::move(job));
        wake.notify_one();
    }

    // A short message that must wait for the worker (gate held).
    void postMessage(std::uint32_t word)
    {
        if (isNoteOff(word)) {
            // A note released before it could sound is not played late.
            const int note = noteOf(word);
            for (auto it = jobs.rbegin(); it != jobs.rend(); ++it) {
                if (it->kind == Job::Kind::Message && isNoteOn(it->word) && noteOf(it->word) == note) {
                    jobs.erase(std::next(it).base());
                    break;
                }
            }
        } else if (jobs.size() >= kMaxWaiting) {
            return;
        }
        post(Job::message(word));
    }

    // Every channel back to its first program, as the worker will have it (gate held).
    void postReset()
    {
        bank.fill(0);
        for (int ch = 0; ch < kChannels; ++ch)
            if (requested[std::size_t(ch)] != kNoPreset)
                requested[std::size_t(ch)] = requestKey(ch, 0);
        post(Job(Job::Kind::Reset));
    }

    // A channel asks for a preset; before the soundfont is in, its load
    // selects what was asked for (gate held).
    void request(int channel, int key)
    {
        requested[std::size_t(channel)] = key;
        if (loaded)
            post(Job::select(channel, key));
    }

    // Notes waiting for a load that must not start any more (gate held).
    void dropWaitingNotes(int channel)
    {
        std::erase_if(jobs, [channel](const Job& job) {
            return job.kind == Job::Kind::Message && isNoteOn(job.word)
                   && (channel < 0 || int(job.word & 0x0F) == channel);
        });
    }

    // Plays a message that needs no preset to be loaded.
    void apply(std::uint32_t word)
    {
        const int chan = int(word & 0x0F);
        const int d1 = int((word >> 8) & 0x7F);
        const int d2 = int((word >> 16) & 0x7F);
        switch (word & 0xF0) {
        case 0x80: fl->fluid_synth_noteoff(synth, chan, d1); break;
        case 0x90:
            if (d2 > 0)
                fl->fluid_synth_noteon(synth, chan, d1, d2);
            else
                fl->fluid_synth_noteoff(synth, chan, d1);
            break;
        case 0xA0: fl->fluid_synth_key_pressure(synth, chan, d1, d2); break;
        case 0xB0: fl->fluid_synth_cc(synth, chan, d1, d2); break;
        case 0xD0: fl->fluid_synth_channel_pressure(synth, chan, d1); break;
        case 0xE0: fl->fluid_synth_pitch_bend(synth, chan, d1 | (d2 << 7)); break;
        default: break;
        }
    }

    // ---- worker only ----

    // Made on the worker when first needed, not by the caller: FluidSynth is
    // opened then, and a new synthesizer sets up its instrument-patch library,
    // tens of milliseconds of work that a trainer never playing a note is spared.
    bool ensureSynth()
    {
        if (!tried) {
            tried = true;
            create();
            std::lock_guard lock(gate);
            made = synth != nullptr;
            broken = !made;
        }
        return synth != nullptr;
    }

    void create()
    {
        fl = FluidSynthLib::get();
        if (!fl)
            return;
        runSampleLoadingAlone(*fl);
        settings = fl->new_fluid_settings();
        if (!settings)
            return;
        fl->fluid_settings_setnum(settings, kKeySampleRate, kSampleRate);
        fl->fluid_settings_setnum(settings, kKeyGain, kGain);
        fl->fluid_settings_setint(settings, kKeyPolyphony, kPolyphony);
        fl->fluid_settings_setint(settings, kKeyPeriods, kAudioPeriods);
        fl->fluid_settings_setint(settings, kKeyPeriodSize, kAudioPeriodSize);
        fl->fluid_settings_setstr(settings, kKeyPulseMediaRole, kPulseMediaRole);
        synth = fl->new_fluid_synth(settings);
        if (!synth) {
            teardown();
            return;
        }
        // A new synthesizer's reverb holds whatever the heap held until the
        // first reset, and one without a soundfont is never reset otherwise.
        fl->fluid_synth_system_reset(synth);
        if (fluid_sfloader_t* images = fl->new_fluid_defsfloader(settings)) {
            fl->fluid_sfloader_set_callbacks(images, imageOpen, imageRead, imageSeek, imageTell, imageClose);
            fl->fluid_synth_add_sfloader(synth, images);
        } else {
            samples = SampleLoading::Whole;
        }
    }

    void run()
    {
        std::unique_lock lock(gate);
        for (;;) {
            const auto due = [this] { return stopping || !jobs.empty(); };
            if (retired.empty() && doomed.empty())
                wake.wait(lock, due);
            else if (!wake.wait_for(lock, kRetiredCheck, due)) {
                busy = true;
                lock.unlock();
                dropRetired();
                lock.lock();
                busy = false;
                if (jobs.empty())
                    settled.notify_all();
                continue;
            }
            if (stopping)
                break;
            Job job = std::move(jobs.front());
            jobs.pop_front();
            busy = true;
            lock.unlock();
            perform(job);
            tellIfSoundFontChanged();
            lock.lock();
            busy = false;
            if (jobs.empty())
                settled.notify_all();
        }
        // Loads still waiting report failure to whoever waits for them.
        for (Job& job : jobs)
            if (job.loaded)
                job.loaded->set_value(false);
        jobs.clear();
        settled.notify_all();
    }

    void perform(Job& job)
    {
        // A load needs no synthesizer yet; stopping the audio never makes one.
        const bool needsSynth = job.kind != Job::Kind::Load && job.kind != Job::Kind::StopAudio;
        if (needsSynth && !ensureSynth()) {
            if (job.started)
                job.started(false);
            return;
        }
        switch (job.kind) {
        case Job::Kind::Load: performLoad(job); break;
        case Job::Kind::Message: apply(job.word); break;
        case Job::Kind::SysEx:
            fl->fluid_synth_sysex(synth, reinterpret_cast<const char*>(job.bytes.data()) + 1, int(job.bytes.size() - 2),
                              nullptr, nullptr, nullptr, 0);
            break;
        case Job::Kind::Select: select(job.channel, job.key); break;
        case Job::Kind::Reset:
            fl->fluid_synth_all_sounds_off(synth, -1);
            for (int ch = 0; ch < kChannels; ++ch) {
                fl->fluid_synth_cc(synth, ch, kResetControllers, 0);
                fl->fluid_synth_cc(synth, ch, kBankSelect, 0);
                if (selected[std::size_t(ch)] != kNoPreset)
                    select(ch, presetKey(ch == kDrumChannel ? kDrumBank : 0, 0));
            }
            break;
        case Job::Kind::NotesOff: fl->fluid_synth_all_notes_off(synth, -1); break;
        case Job::Kind::StartAudio: {
            const bool started = startAudio();
            if (job.started)
                job.started(started);
            break;
        }
        case Job::Kind::StopAudio: stopAudio(); break;
        }
    }

    void performLoad(Job& job)
    {
        bool ok = false;
        bool noSynth = false;
        for (const std::string& path : job.paths) {
            std::shared_ptr<const Sf2File> file = Sf2File::open(path);
            // A soundfont without a piano at bank 0, program 0 is no General MIDI set.
            if (!file || !file->hasPreset(0, 0))
                continue;
            int whole = FLUID_FAILED;
            if (samples == SampleLoading::Whole || !file->extractable()) {
                if (!ensureSynth()) {
                    noSynth = true; // said as no sound at all, not as a soundfont's fault
                    break;
                }
                std::lock_guard cache(sampleCacheLock());
                whole = fl->fluid_synth_sfload(synth, path.c_str(), 0);
                if (whole == FLUID_FAILED)
                    continue;
            }
            // A new soundfont replaces the old one with every preset taken from it.
            for (int ch = 0; ch < kChannels; ++ch)
                unselect(ch);
            for (const auto& [key, id] : retired)
                doomed.push_back(id);
            retired.clear();
            if (wholeFontId != FLUID_FAILED)
                doomed.push_back(wholeFontId);
            dropRetired();
            font = std::move(file);
            wholeFontId = whole;

            std::array<int, kChannels> wanted{};
            {
                std::lock_guard lock(gate);
                loaded = true;
                soundFont = path;
                // Only what was asked for: a channel's preset loads when it is first used.
                wanted = requested;
            }
            for (int ch = 0; ch < kChannels; ++ch)
                if (wanted[std::size_t(ch)] != kNoPreset)
                    select(ch, wanted[std::size_t(ch)]);
            ok = true;
            break;
        }
        if (job.loadDone)
            job.loadDone(ok ? LoadOutcome::Loaded : noSynth ? LoadOutcome::NoSynthesizer : LoadOutcome::NoUsableSoundFont);
        {
            std::lock_guard lock(gate);
            --loadsPending;
        }
        settled.notify_all();
        if (job.loaded)
            job.loaded->set_value(ok);
    }

    // The preset a request plays, with FluidSynth's fallbacks: a missing drum
    // kit falls back to the standard kit, a missing variation to bank 0, then
    // to the piano.
    int resolve(int key) const
    {
        if (!font)
            return kNoPreset;
        const int b = key / 128, p = key % 128;
        if (font->hasPreset(b, p))
            return key;
        if (b == kDrumBank)
            return font->hasPreset(kDrumBank, 0) ? presetKey(kDrumBank, 0) : kNoPreset;
        if (font->hasPreset(0, p))
            return presetKey(0, p);
        return font->hasPreset(0, 0) ? presetKey(0, 0) : kNoPreset;
    }

    // The FluidSynth font holding a preset, loading it when no channel has it.
    int acquire(int key)
    {
        auto it = resident.find(key);
        if (it != resident.end()) {
            ++it->second.users;
            return it->second.fontId;
        }
        if (auto back = retired.find(key); back != retired.end()) {
            resident[key] = {back->second, 1};
            retired.erase(back);
            return resident[key].fontId;
        }
        int id = wholeFontId;
        if (id == FLUID_FAILED)
            id = addMapped(key);
        if (id == FLUID_FAILED) {
            std::unique_ptr<Sf2Image> image = font->extract(key / 128, key % 128);
            if (!image)
                return FLUID_FAILED;
            {
                std::lock_guard lock(gate);
                image->setReadHook(readHook);
            }
            char name[96];
            std::snprintf(name, sizeof name, "%s%p:%u", kImagePrefix, static_cast<const void*>(image.get()),
                          ++imageSerial);
            std::lock_guard cache(sampleCacheLock());
            id = fl->fluid_synth_sfload(synth, name, 0);
            if (id == FLUID_FAILED)
                return FLUID_FAILED;
        }
        resident[key] = {id, 1};
        return id;
    }

    // The preset playing from the file's mapping; FLUID_FAILED when it cannot.
    int addMapped(int key)
    {
        std::function<void()> hook;
        {
            std::lock_guard lock(gate);
            hook = readHook;
        }
        if (hook)
            hook();
        std::unique_ptr<MappedPreset> preset = MappedPreset::make(*fl, font, key / 128, key % 128);
        if (!preset)
            return FLUID_FAILED;
        const int id = fl->fluid_synth_add_sfont(synth, preset->sfont());
        if (id != FLUID_FAILED)
            mapped[id] = std::move(preset);
        return id;
    }

    void unload(int id)
    {
        if (auto it = mapped.find(id); it != mapped.end()) {
            fl->fluid_synth_remove_sfont(synth, it->second->sfont());
            mapped.erase(it);
            return;
        }
        std::lock_guard cache(sampleCacheLock());
        fl->fluid_synth_sfunload(synth, id, 0);
    }

    void release(int key)
    {
        auto it = resident.find(key);
        if (it == resident.end() || --it->second.users > 0)
            return;
        if (it->second.fontId != wholeFontId)
            retired[key] = it->second.fontId;
        resident.erase(it);
        dropRetired();
    }

    // Unloads presets no channel uses once nothing sounds. FluidSynth would
    // otherwise free a preset still sounding from a timer thread of its own,
    // holding its lock while a caller may be waiting for it.
    void dropRetired()
    {
        if ((retired.empty() && doomed.empty()) || fl->fluid_synth_get_active_voice_count(synth) > 0)
            return;
        for (const auto& [key, id] : retired)
            unload(id);
        retired.clear();
        for (int id : doomed)
            unload(id);
        doomed.clear();
    }

    void select(int channel, int key)
    {
        if (!ensureSynth())
            return;
        const int preset = resolve(key);
        int& current = selected[std::size_t(channel)];
        if (preset == current)
            return;
        const int id = preset == kNoPreset ? FLUID_FAILED : acquire(preset);
        if (id == FLUID_FAILED) {
            unselect(channel);
            return;
        }
        // The new preset is in before the old one is let go, so a preset two
        // channels share is never loaded twice.
        fl->fluid_synth_program_select(synth, channel, id, preset / 128, preset % 128);
        release(current);
        current = preset;
    }

    void unselect(int channel)
    {
        int& current = selected[std::size_t(channel)];
        if (current == kNoPreset)
            return;
        fl->fluid_synth_unset_program(synth, channel);
        release(current);
        current = kNoPreset;
    }

    bool startAudio()
    {
        std::lock_guard lock(audioMutex);
        if (audio)
            return true;
        if (!synth)
            return false;
        std::vector<std::string> available;
        fl->fluid_settings_foreach_option(settings, kKeyAudioDriver, &available, collectOption);
        for (const char* name : kAudioDrivers) {
            if (std::find(available.begin(), available.end(), name) == available.end())
                continue;
            fl->fluid_settings_setstr(settings, kKeyAudioDriver, name);
            audio = fl->new_fluid_audio_driver(settings, synth);
            if (audio) {
                driverName = name;
                return true;
            }
        }
        return false;
    }

    void stopAudio()
    {
        std::lock_guard lock(audioMutex);
        if (audio) {
            fl->delete_fluid_audio_driver(audio);
            audio = nullptr;
            driverName.clear();
        }
    }

    void teardown()
    {
        // Reverse order of creation; the synthesizer owns the loaders added to it.
        if (audio) {
            fl->delete_fluid_audio_driver(audio);
            audio = nullptr;
        }
        if (synth) {
            std::lock_guard cache(sampleCacheLock());
            fl->delete_fluid_synth(synth);
            synth = nullptr;
        }
        if (settings) {
            fl->delete_fluid_settings(settings);
            settings = nullptr;
        }
    }
};

SynthEngine::SynthEngine(SampleLoading loading)
    : d(std::make_unique<Private>())
{
    silenceAlsa();
    d->samples = loading;
    d->worker = std::thread([this] { d->run(); });
}

SynthEngine::~SynthEngine()
{
    if (d->worker.joinable()) {
        {
            std::lock_guard lock(d->gate);
            d->stopping = true;
        }
        d->wake.notify_all();
        d->worker.join();
    }
    d->teardown();
}

void SynthEngine::loadAsync(std::vector<std::string> paths, std::function<void(LoadOutcome)> done)
{
    std::lock_guard lock(d->gate);
    if (d->broken || d->loadsPending > 0 || d->loaded)
        return;
    ++d->loadsPending;
    Private::Job job = Private::Job::load(std::move(paths));
    job.loadDone = std::move(done);
    d->post(std::move(job));
}

bool SynthEngine::load(const std::string& path)
{
    auto done = std::make_shared<std::promise<bool>>();
    std::future<bool> result = done->get_future();
    {
        std::lock_guard lock(d->gate);
        if (d->broken)
            return false;
        ++d->loadsPending;
        d->post(Private::Job::load({path}, done));
    }
    return result.get();
}

bool SynthEngine::waitLoaded(int timeoutMs)
{
    std::unique_lock lock(d->gate);
    d->settled.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                        [this] { return d->loadsPending == 0 || d->stopping; });
    return d->loaded;
}

bool SynthEngine::isLoaded() const
{
    return d->loaded;
}

std::string SynthEngine::soundFont() const
{
    std::lock_guard lock(d->gate);
    return d->soundFont;
}

bool SynthEngine::waitIdle(int timeoutMs)
{
    std::unique_lock lock(d->gate);
    return d->settled.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return d->idle(); });
}

bool SynthEngine::startAudio()
{
    auto done = std::make_shared<std::promise<bool>>();
    std::future<bool> started = done->get_future();
    startAudioAsync([done](bool ok) { done->set_value(ok); });
    return started.get();
}

void SynthEngine::stopAudio()
{
    d->stopAudio();
}

void SynthEngine::startAudioAsync(std::function<void(bool)> started)
{
    std::unique_lock lock(d->gate);
    if (d->broken) {
        lock.unlock();
        if (started)
            started(false);
        return;
    }
    Private::Job job(Private::Job::Kind::StartAudio);
    job.started = std::move(started);
    d->post(std::move(job));
}

void SynthEngine::stopAudioAsync()
{
    std::lock_guard lock(d->gate);
    if (d->broken)
        return;
    d->post(Private::Job(Private::Job::Kind::StopAudio));
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
    const int status = int(word & 0xFF);
    if (status < 0x80)
        return;
    std::lock_guard lock(d->gate);
    if (d->broken)
        return;
    const bool inOrLoading = d->loaded || d->loadsPending > 0;
    if (status == 0xFF) { // system reset
        if (inOrLoading)
            d->postReset();
        return;
    }
    if (status >= 0xF0)
        return;
    const int chan = status & 0x0F;
    const int d1 = int((word >> 8) & 0x7F);
    if ((status & 0xF0) == 0xB0 && d1 == kBankSelect)
        d->bank[std::size_t(chan)] = int((word >> 16) & 0x7F);
    if ((status & 0xF0) == 0xB0 && (d1 == kAllSoundOff || d1 == kAllNotesOff))
        d->dropWaitingNotes(chan);
    if ((status & 0xF0) == 0xC0) {
        const int key = d->requestKey(chan, d1);
        if (d->requested[std::size_t(chan)] != key)
            d->request(chan, key);
        return;
    }
    if (!inOrLoading)
        return; // no soundfont: nothing to play it with
    // A channel's first note selects its first program.
    if (isNoteOn(word) && d->requested[std::size_t(chan)] == kNoPreset)
        d->request(chan, d->requestKey(chan, 0));
    if (!d->loaded || !d->idle() || !d->made) {
        d->postMessage(word);
        return;
    }
    d->apply(word);
}

void SynthEngine::sysEx(const unsigned char* data, std::size_t size)
{
    if (!data || size < 3 || data[0] != 0xF0 || data[size - 1] != 0xF7)
        return;
    std::lock_guard lock(d->gate);
    if (d->broken || (!d->loaded && d->loadsPending == 0))
        return;
    if (isResetSysEx(data, size)) {
        d->postReset();
        return;
    }
    // Through the worker, in order: some system-exclusive messages reload presets.
    Private::Job job(Private::Job::Kind::SysEx);
    job.bytes.assign(data, data + size);
    d->post(std::move(job));
}

void SynthEngine::allNotesOff()
{
    std::lock_guard lock(d->gate);
    if (d->broken)
        return;
    d->dropWaitingNotes(-1);
    if (!d->made)
        return; // nothing has sounded
    if (d->idle())
        d->fl->fluid_synth_all_notes_off(d->synth, -1);
    else
        d->post(Private::Job(Private::Job::Kind::NotesOff));
}

void SynthEngine::render(float* left, float* right, int frames)
{
    fluid_synth_t* synth = nullptr;
    {
        // Offline output is the same however long the loads take.
        std::unique_lock lock(d->gate);
        d->settled.wait(lock, [this] { return d->idle() || d->stopping; });
        synth = d->synth;
    }
    if (!synth) {
        std::fill(left, left + frames, 0.0f);
        std::fill(right, right + frames, 0.0f);
        return;
    }
    d->fl->fluid_synth_write_float(synth, frames, left, 0, 1, right, 0, 1);
}

void SynthEngine::setSampleReadHook(std::function<void()> hook)
{
    std::lock_guard lock(d->gate);
    d->readHook = std::move(hook);
}

SynthEngine& sharedEngine()
{
    static SynthEngine engine;
    return engine;
}

namespace {

void tellNoAudio(bool started)
{
    if (!started)
        backend::notice(QCoreApplication::translate("Synthesizer", kNoAudioNotice).toStdString());
}

class SynthOut final : public backend::OutputDevice {
public:
    std::string name() const override { return kDeviceName; }
    WORD technology() const override { return MOD_SWSYNTH; }
    WORD voices() const override { return WORD(kPolyphony); }

    MMRESULT open(backend::OutputSink*) override
    {
        // Both on the worker: connecting to the audio server can take longer than a frame.
        SynthEngine& engine = sharedEngine();
        engine.loadAsync(soundFontCandidates(), tellLoad);
        // A missing soundfont is said by the load, once while it lasts.
        engine.startAudioAsync(tellNoAudio);
        return MMSYSERR_NOERROR;
    }
    void close() override
    {
        sharedEngine().allNotesOff();
        sharedEngine().stopAudioAsync();
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
        if (findSoundFont().empty()) {
            // One loaded before still plays from its mapping.
            if (!soundFontPlayed)
                tellNoSoundFont();
            return;
        }
        // Start loading now, off the caller's thread, so the first note is not kept waiting.
        sharedEngine().loadAsync(soundFontCandidates(), tellLoad);
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
