// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/synth/mappedpreset.h"

#include "platform/synth/fluidsynthlib.h"
#include "platform/synth/sf2file.h"

#include <fluidsynth.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <vector>

namespace mmsys::synth {

namespace {

// FluidSynth scales every attenuation a soundfont sets, as the EMU chips did
// and as the soundfonts made for them expect.
constexpr float kAttenuationFactor = 0.4f;
constexpr int kGenAttenuation = 48;
constexpr int kGenCount = 59;
constexpr std::size_t kMaxModulators = 64;

// Controllers that may not drive a modulator: bank select, data entry,
// (N)RPN numbers, and the channel mode messages.
bool controllerAllowed(int cc)
{
    return cc != 0 && cc != 6 && cc != 32 && cc != 38 && (cc < 98 || cc > 101) && cc < 120;
}

bool generalSourceAllowed(int index)
{
    switch (index) {
    case FLUID_MOD_NONE:
    case FLUID_MOD_VELOCITY:
    case FLUID_MOD_KEY:
    case FLUID_MOD_KEYPRESSURE:
    case FLUID_MOD_CHANNELPRESSURE:
    case FLUID_MOD_PITCHWHEEL:
    case FLUID_MOD_PITCHWHEELSENS: return true;
    default: return false;
    }
}

struct Source {
    int index = 0;
    int flags = 0;
    bool known = true;
};

Source source(std::uint16_t raw)
{
    Source s;
    s.index = raw & 127;
    s.flags = (raw & (1 << 7)) ? FLUID_MOD_CC : FLUID_MOD_GC;
    s.flags |= (raw & (1 << 8)) ? FLUID_MOD_NEGATIVE : FLUID_MOD_POSITIVE;
    s.flags |= (raw & (1 << 9)) ? FLUID_MOD_BIPOLAR : FLUID_MOD_UNIPOLAR;
    switch ((raw >> 10) & 63) {
    case 0: s.flags |= FLUID_MOD_LINEAR; break;
    case 1: s.flags |= FLUID_MOD_CONCAVE; break;
    case 2: s.flags |= FLUID_MOD_CONVEX; break;
    case 3: s.flags |= FLUID_MOD_SWITCH; break;
    default: s.known = false; break;
    }
    return s;
}

bool sourceAllowed(const Source& s)
{
    return (s.flags & FLUID_MOD_CC) ? controllerAllowed(s.index) : generalSourceAllowed(s.index);
}

struct Zone {
    int keyLow, keyHigh, velocityLow, velocityHigh;
    bool inside(int key, int velocity) const
    {
        return keyLow <= key && keyHigh >= key && velocityLow <= velocity && velocityHigh >= velocity;
    }
};

} // namespace

struct MappedPreset::Data {
    const FluidSynthLib* fl = nullptr;
    std::shared_ptr<const Sf2File> file;
    std::string name;
    int bank = 0, program = 0;
    fluid_sfont_t* sfont = nullptr;
    fluid_preset_t* preset = nullptr;
    bool iterated = false;
    std::vector<fluid_sample_t*> samples;
    std::vector<fluid_mod_t*> mods; // owned, shared by the lists below

    // An instrument zone with the global zone folded in.
    struct InstrumentZone {
        int sample;
        std::vector<std::pair<int, float>> generators; // set, in generator order
        std::vector<fluid_mod_t*> modulators;          // local first, then global ones not overridden
    };
    // A preset zone with its global zone folded in, and the instrument zones
    // it can start, their ranges narrowed to the preset zone's.
    struct PresetZone {
        Zone range;
        std::vector<std::pair<int, float>> generators; // added to the instrument's
        std::vector<fluid_mod_t*> modulators;
        std::vector<std::pair<Zone, InstrumentZone>> voices;
    };
    std::vector<PresetZone> zones;

    ~Data()
    {
        if (preset)
            fl->delete_fluid_preset(preset);
        if (sfont)
            fl->delete_fluid_sfont(sfont);
        for (fluid_sample_t* s : samples)
            fl->delete_fluid_sample(s);
        for (fluid_mod_t* m : mods)
            fl->delete_fluid_mod(m);
    }

    // A zone's modulators as FluidSynth's loader keeps them: broken ones and
    // any followed by an identical one left out, at most 64.
    std::vector<fluid_mod_t*> modulators(const std::vector<Sf2Modulator>& raw)
    {
        std::vector<fluid_mod_t*> made;
        for (const Sf2Modulator& m : raw) {
            fluid_mod_t* mod = fl->new_fluid_mod();
            if (!mod)
                continue;
            mods.push_back(mod);
            const Source s1 = source(m.source);
            Source s2 = source(m.amountSource);
            double amount = m.amount;
            if (!s1.known || !s2.known || m.transform != 0)
                amount = 0;
            if (!(s1.flags & FLUID_MOD_CC) && s1.index == FLUID_MOD_NONE)
                amount = 0;
            if (!(s2.flags & FLUID_MOD_CC) && s2.index == FLUID_MOD_NONE)
                s2.flags &= ~FLUID_MOD_BIPOLAR;
            fl->fluid_mod_set_source1(mod, s1.index, s1.flags);
            fl->fluid_mod_set_source2(mod, s2.index, s2.flags);
            fl->fluid_mod_set_dest(mod, m.destination);
            fl->fluid_mod_set_amount(mod, amount);
            const bool useless = !sourceAllowed(s1) || !sourceAllowed(s2)
                                 || (!(s1.flags & FLUID_MOD_CC) && s1.index == FLUID_MOD_NONE);
            if (!useless)
                made.push_back(mod);
        }
        std::vector<fluid_mod_t*> kept;
        for (std::size_t i = 0; i < made.size(); ++i) {
            const bool repeated = std::any_of(made.begin() + std::ptrdiff_t(i) + 1, made.end(), [&](fluid_mod_t* later) {
                return fl->fluid_mod_test_identity(made[i], later);
            });
            if (!repeated)
                kept.push_back(made[i]);
        }
        if (kept.size() > kMaxModulators)
            kept.resize(kMaxModulators);
        return kept;
    }

    // Local modulators, then the global ones no local one replaces.
    std::vector<fluid_mod_t*> merged(std::vector<fluid_mod_t*> local, const std::vector<fluid_mod_t*>& global) const
    {
        const std::size_t locals = local.size();
        for (fluid_mod_t* g : global) {
            const bool replaced = std::any_of(local.begin(), local.begin() + std::ptrdiff_t(locals),
                                              [&](fluid_mod_t* l) { return fl->fluid_mod_test_identity(g, l); });
            if (!replaced) {
                if (local.size() >= kMaxModulators)
                    break;
                local.push_back(g);
            }
        }
        return local;
    }

    static std::vector<std::pair<int, float>> generators(const Sf2Zone& local, const std::optional<Sf2Zone>& global)
    {
        std::array<std::optional<float>, kGenCount> value{};
        auto take = [&](const Sf2Zone& zone) {
            for (const auto& [id, amount] : zone.generators) {
                if (id >= kGenCount)
                    continue;
                const double v = id == kGenAttenuation ? double(amount) * double(kAttenuationFactor) : double(amount);
                value[id] = float(v);
            }
        };
        if (global)
            take(*global);
        take(local);
        std::vector<std::pair<int, float>> out;
        for (int id = 0; id < kGenCount; ++id)
            if (value[std::size_t(id)])
                out.emplace_back(id, *value[std::size_t(id)]);
        return out;
    }

    int noteOn(fluid_synth_t* synth, int channel, int key, int velocity) const
    {
        for (const PresetZone& pz : zones) {
            if (!pz.range.inside(key, velocity))
                continue;
            for (const auto& [range, iz] : pz.voices) {
                if (!range.inside(key, velocity))
                    continue;
                fluid_voice_t* voice =
                    fl->fluid_synth_alloc_voice(synth, samples[std::size_t(iz.sample)], channel, key, velocity);
                if (!voice)
                    return FLUID_FAILED;
                for (const auto& [id, v] : iz.generators)
                    fl->fluid_voice_gen_set(voice, id, v);
                for (fluid_mod_t* mod : iz.modulators)
                    fl->fluid_voice_add_mod(voice, mod, FLUID_VOICE_OVERWRITE);
                for (const auto& [id, v] : pz.generators)
                    fl->fluid_voice_gen_incr(voice, id, v);
                for (fluid_mod_t* mod : pz.modulators)
                    if (fl->fluid_mod_get_amount(mod) != 0)
                        fl->fluid_voice_add_mod(voice, mod, FLUID_VOICE_ADD);
                fl->fluid_synth_start_voice(synth, voice);
            }
        }
        return FLUID_OK;
    }

    static Data* of(fluid_sfont_t* sfont);
    static Data* of(fluid_preset_t* preset);
};

// FluidSynth's callbacks find the preset through the data pointer the
// soundfont and the preset carry; only a loaded library makes them.
MappedPreset::Data* MappedPreset::Data::of(fluid_sfont_t* sfont)
{
    return static_cast<Data*>(FluidSynthLib::get()->fluid_sfont_get_data(sfont));
}

MappedPreset::Data* MappedPreset::Data::of(fluid_preset_t* preset)
{
    return static_cast<Data*>(FluidSynthLib::get()->fluid_preset_get_data(preset));
}

namespace {

const char* sfontName(fluid_sfont_t* sfont)
{
    return MappedPreset::Data::of(sfont)->name.c_str();
}

fluid_preset_t* sfontPreset(fluid_sfont_t* sfont, int bank, int program)
{
    MappedPreset::Data* d = MappedPreset::Data::of(sfont);
    return bank == d->bank && program == d->program ? d->preset : nullptr;
}

void sfontIterationStart(fluid_sfont_t* sfont)
{
    MappedPreset::Data::of(sfont)->iterated = false;
}

fluid_preset_t* sfontIterationNext(fluid_sfont_t* sfont)
{
    MappedPreset::Data* d = MappedPreset::Data::of(sfont);
    if (d->iterated)
        return nullptr;
    d->iterated = true;
    return d->preset;
}

// The owner deletes everything, after taking the soundfont out of the synthesizer.
int sfontFree(fluid_sfont_t*)
{
    return 0;
}

const char* presetName(fluid_preset_t* preset)
{
    return MappedPreset::Data::of(preset)->name.c_str();
}

int presetBank(fluid_preset_t* preset)
{
    return MappedPreset::Data::of(preset)->bank;
}

int presetProgram(fluid_preset_t* preset)
{
    return MappedPreset::Data::of(preset)->program;
}

int presetNoteOn(fluid_preset_t* preset, fluid_synth_t* synth, int channel, int key, int velocity)
{
    return MappedPreset::Data::of(preset)->noteOn(synth, channel, key, velocity);
}

void presetFree(fluid_preset_t*) {}

// Starts reading the samples into the system's cache, so that the first notes
// find them there instead of waiting for the disk on the audio thread.
void readAhead(const std::int16_t* points, const std::vector<Sf2Sample>& samples)
{
    const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    for (const Sf2Sample& s : samples) {
        const auto from = reinterpret_cast<std::uintptr_t>(points + s.start) / page * page;
        const auto to = reinterpret_cast<std::uintptr_t>(points + std::max(s.end, s.loopEnd));
        ::madvise(reinterpret_cast<void*>(from), to - from, MADV_WILLNEED);
    }
}

// FluidSynth measures a loop's loudness once, to know when a quiet voice may
// stop. Measured through the mapping, every loop of the preset would come into
// memory at once; so the sample first points at a view holding only its loop,
// read from the file, and the view is gone before the sample is played.
bool measureLoop(const FluidSynthLib& fl, const Sf2File& file, const Sf2Sample& s, fluid_sample_t* sample)
{
    const std::size_t from = s.loopStart - s.start, to = s.loopEnd - s.start;
    const std::size_t frames = std::max<std::size_t>(to, 1);
    // Untouched pages of the view take no memory.
    void* view = ::mmap(nullptr, frames * sizeof(short), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (view == MAP_FAILED)
        return false;
    auto* points = static_cast<short*>(view);
    const bool ok = file.readPoints(s.loopStart, to - from, reinterpret_cast<std::int16_t*>(points + from))
                    && fl.fluid_sample_set_sound_data(sample, points, nullptr, s.end - s.start, s.rate, 0) == FLUID_OK;
    if (ok)
        fl.fluid_voice_optimize_sample(sample);
    ::munmap(view, frames * sizeof(short));
    return ok;
}

} // namespace

std::unique_ptr<MappedPreset> MappedPreset::make(const FluidSynthLib& fl, std::shared_ptr<const Sf2File> file,
                                                 int bank, int program)
{
    if (!file)
        return nullptr;
    const std::int16_t* points = file->samplePoints();
    std::optional<Sf2Preset> layout = file->preset(bank, program);
    if (!points || !layout)
        return nullptr;

    auto made = std::unique_ptr<MappedPreset>(new MappedPreset);
    made->d = std::make_unique<Data>();
    Data& d = *made->d;
    d.fl = &fl;
    d.file = std::move(file);
    d.name = layout->name;
    d.bank = bank;
    d.program = program;

    readAhead(points, layout->samples);
    for (const Sf2Sample& s : layout->samples) {
        fluid_sample_t* sample = fl.new_fluid_sample();
        if (!sample)
            return nullptr;
        d.samples.push_back(sample);
        // FluidSynth only reads sample data it is not asked to copy.
        auto* data = const_cast<short*>(reinterpret_cast<const short*>(points + s.start));
        if (fl.fluid_sample_set_name(sample, s.name.c_str()) != FLUID_OK
            || fl.fluid_sample_set_loop(sample, s.loopStart - s.start, s.loopEnd - s.start) != FLUID_OK
            || fl.fluid_sample_set_pitch(sample, s.rootKey, s.correction) != FLUID_OK)
            return nullptr;
        if (!measureLoop(fl, *d.file, s, sample))
            return nullptr;
        if (fl.fluid_sample_set_sound_data(sample, data, nullptr, s.end - s.start, s.rate, 0) != FLUID_OK)
            return nullptr;
    }

    struct Instrument {
        std::vector<Data::InstrumentZone> zones;
        std::vector<Zone> ranges;
    };
    std::vector<Instrument> instruments;
    for (const Sf2Instrument& inst : layout->instruments) {
        Instrument built;
        const std::vector<fluid_mod_t*> globalMods =
            inst.global ? d.modulators(inst.global->modulators) : std::vector<fluid_mod_t*>{};
        // FluidSynth plays zones last to first.
        for (auto z = inst.zones.rbegin(); z != inst.zones.rend(); ++z) {
            built.zones.push_back({z->link, Data::generators(*z, inst.global), d.merged(d.modulators(z->modulators), globalMods)});
            built.ranges.push_back({z->keyLow, z->keyHigh, z->velocityLow, z->velocityHigh});
        }
        instruments.push_back(std::move(built));
    }

    const std::vector<fluid_mod_t*> presetGlobalMods =
        layout->global ? d.modulators(layout->global->modulators) : std::vector<fluid_mod_t*>{};
    for (auto z = layout->zones.rbegin(); z != layout->zones.rend(); ++z) {
        Data::PresetZone pz;
        pz.range = {z->keyLow, z->keyHigh, z->velocityLow, z->velocityHigh};
        pz.generators = Data::generators(*z, layout->global);
        pz.modulators = d.merged(d.modulators(z->modulators), presetGlobalMods);
        const Instrument& inst = instruments[std::size_t(z->link)];
        for (std::size_t i = 0; i < inst.zones.size(); ++i) {
            const Zone& r = inst.ranges[i];
            const Zone both{std::max(pz.range.keyLow, r.keyLow), std::min(pz.range.keyHigh, r.keyHigh),
                            std::max(pz.range.velocityLow, r.velocityLow),
                            std::min(pz.range.velocityHigh, r.velocityHigh)};
            pz.voices.emplace_back(both, inst.zones[i]);
        }
        d.zones.push_back(std::move(pz));
    }

    d.sfont = fl.new_fluid_sfont(sfontName, sfontPreset, sfontIterationStart, sfontIterationNext, sfontFree);
    if (!d.sfont)
        return nullptr;
    fl.fluid_sfont_set_data(d.sfont, &d);
    d.preset = fl.new_fluid_preset(d.sfont, presetName, presetBank, presetProgram, presetNoteOn, presetFree);
    if (!d.preset)
        return nullptr;
    fl.fluid_preset_set_data(d.preset, &d);
    return made;
}

MappedPreset::~MappedPreset() = default;

fluid_sfont_t* MappedPreset::sfont() const
{
    return d->sfont;
}

} // namespace mmsys::synth
