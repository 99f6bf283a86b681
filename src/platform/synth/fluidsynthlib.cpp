// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/synth/fluidsynthlib.h"

#include <fluidsynth.h>

#include <dlfcn.h>

#include <memory>
#include <mutex>
#include <type_traits>

#ifndef TONVERO_FLUIDSYNTH_SONAME
#define TONVERO_FLUIDSYNTH_SONAME "libfluidsynth.so.3"
#endif

namespace mmsys::synth {

namespace {

// FluidSynth's own types are the ones the header forward-declares.
static_assert(std::is_same_v<FluidSynthLib::Settings*, fluid_settings_t*>);
static_assert(std::is_same_v<FluidSynthLib::Synth*, fluid_synth_t*>);
static_assert(std::is_same_v<FluidSynthLib::AudioDriver*, fluid_audio_driver_t*>);
static_assert(std::is_same_v<FluidSynthLib::SfLoader*, fluid_sfloader_t*>);
static_assert(std::is_same_v<FluidSynthLib::Offset, fluid_long_long_t>);

void quietLog(int, const char*, void*) {}

template <typename Fn>
bool resolve(void* handle, const char* name, Fn& fn, std::string& missing)
{
    fn = reinterpret_cast<Fn>(::dlsym(handle, name));
    if (!fn)
        missing = name;
    return fn != nullptr;
}

} // namespace

// Resolves one function by its name, with the signature FluidSynth declares.
#define TONVERO_FLUID(name)                                                                                        \
    static_assert(std::is_same_v<decltype(FluidSynthLib::name), decltype(&::name)>, #name " differs");            \
    ok = ok && resolve(handle, #name, lib->name, missing)

const FluidSynthLib* FluidSynthLib::get(std::string* error)
{
    static std::once_flag once;
    // Never destroyed: synthesizers living in other static objects are torn
    // down through it at exit, after this function's statics would be gone.
    static FluidSynthLib* library = nullptr;
    static std::string* failure = new std::string;
    std::call_once(once, [] {
        void* handle = ::dlopen(TONVERO_FLUIDSYNTH_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = ::dlerror();
            *failure = why ? why : "cannot open " TONVERO_FLUIDSYNTH_SONAME;
            return;
        }
        auto lib = std::unique_ptr<FluidSynthLib>(new FluidSynthLib);
        std::string missing;
        bool ok = true;
        TONVERO_FLUID(new_fluid_settings);
        TONVERO_FLUID(delete_fluid_settings);
        TONVERO_FLUID(fluid_settings_setnum);
        TONVERO_FLUID(fluid_settings_setint);
        TONVERO_FLUID(fluid_settings_setstr);
        TONVERO_FLUID(fluid_settings_foreach_option);
        TONVERO_FLUID(new_fluid_synth);
        TONVERO_FLUID(delete_fluid_synth);
        TONVERO_FLUID(fluid_synth_system_reset);
        TONVERO_FLUID(fluid_synth_noteon);
        TONVERO_FLUID(fluid_synth_noteoff);
        TONVERO_FLUID(fluid_synth_key_pressure);
        TONVERO_FLUID(fluid_synth_cc);
        TONVERO_FLUID(fluid_synth_channel_pressure);
        TONVERO_FLUID(fluid_synth_pitch_bend);
        TONVERO_FLUID(fluid_synth_sysex);
        TONVERO_FLUID(fluid_synth_all_sounds_off);
        TONVERO_FLUID(fluid_synth_all_notes_off);
        TONVERO_FLUID(fluid_synth_get_active_voice_count);
        TONVERO_FLUID(fluid_synth_program_select);
        TONVERO_FLUID(fluid_synth_unset_program);
        TONVERO_FLUID(fluid_synth_sfload);
        TONVERO_FLUID(fluid_synth_sfunload);
        TONVERO_FLUID(fluid_synth_write_float);
        TONVERO_FLUID(fluid_synth_add_sfloader);
        TONVERO_FLUID(new_fluid_defsfloader);
        TONVERO_FLUID(fluid_sfloader_set_callbacks);
        TONVERO_FLUID(fluid_synth_add_sfont);
        TONVERO_FLUID(fluid_synth_remove_sfont);
        TONVERO_FLUID(fluid_synth_alloc_voice);
        TONVERO_FLUID(fluid_synth_start_voice);
        TONVERO_FLUID(new_fluid_sfont);
        TONVERO_FLUID(delete_fluid_sfont);
        TONVERO_FLUID(fluid_sfont_set_data);
        TONVERO_FLUID(fluid_sfont_get_data);
        TONVERO_FLUID(new_fluid_preset);
        TONVERO_FLUID(delete_fluid_preset);
        TONVERO_FLUID(fluid_preset_set_data);
        TONVERO_FLUID(fluid_preset_get_data);
        TONVERO_FLUID(new_fluid_sample);
        TONVERO_FLUID(delete_fluid_sample);
        TONVERO_FLUID(fluid_sample_set_name);
        TONVERO_FLUID(fluid_sample_set_sound_data);
        TONVERO_FLUID(fluid_sample_set_loop);
        TONVERO_FLUID(fluid_sample_set_pitch);
        TONVERO_FLUID(fluid_voice_gen_set);
        TONVERO_FLUID(fluid_voice_gen_incr);
        TONVERO_FLUID(fluid_voice_add_mod);
        TONVERO_FLUID(fluid_voice_optimize_sample);
        TONVERO_FLUID(new_fluid_mod);
        TONVERO_FLUID(delete_fluid_mod);
        TONVERO_FLUID(fluid_mod_set_source1);
        TONVERO_FLUID(fluid_mod_set_source2);
        TONVERO_FLUID(fluid_mod_set_dest);
        TONVERO_FLUID(fluid_mod_set_amount);
        TONVERO_FLUID(fluid_mod_get_amount);
        TONVERO_FLUID(fluid_mod_test_identity);
        TONVERO_FLUID(new_fluid_audio_driver);
        TONVERO_FLUID(delete_fluid_audio_driver);
        decltype(&::fluid_set_log_function) setLog = nullptr;
        ok = ok && resolve(handle, "fluid_set_log_function", setLog, missing);
        if (!ok) {
            *failure = TONVERO_FLUIDSYNTH_SONAME " lacks " + missing;
            ::dlclose(handle);
            return;
        }
        lib->omp_set_num_threads = reinterpret_cast<void (*)(int)>(::dlsym(handle, "omp_set_num_threads"));
        // FluidSynth prints its complaints on stderr; ours come back as results instead.
        for (int level = FLUID_PANIC; level <= FLUID_DBG; ++level)
            setLog(level, quietLog, nullptr);
        library = lib.release();
    });
    if (!library && error)
        *error = *failure;
    return library;
}

#undef TONVERO_FLUID

} // namespace mmsys::synth
