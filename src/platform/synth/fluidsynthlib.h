// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// FluidSynth, opened by name on the synthesizer's worker the first time a
// synthesizer is made. Linked, it would load some forty libraries (audio
// servers, sound file codecs, SDL, the instrument-patch library) with every
// start of the program, before its window could show.
//
// The functions the built-in synthesizer uses, under FluidSynth's own names
// and with its own signatures (the .cpp checks them against FluidSynth's
// header, which stays out of ours).

#include <string>

struct _fluid_hashtable_t;
struct _fluid_synth_t;
struct _fluid_audio_driver_t;
struct _fluid_sfloader_t;
struct _fluid_sfont_t;
struct _fluid_preset_t;
struct _fluid_sample_t;
struct _fluid_voice_t;
struct _fluid_mod_t;

namespace mmsys::synth {

class FluidSynthLib {
public:
    using Settings = _fluid_hashtable_t;
    using Synth = _fluid_synth_t;
    using AudioDriver = _fluid_audio_driver_t;
    using SfLoader = _fluid_sfloader_t;
    using Offset = long long;
    using SFont = _fluid_sfont_t;
    using Preset = _fluid_preset_t;
    using Sample = _fluid_sample_t;
    using Voice = _fluid_voice_t;
    using Mod = _fluid_mod_t;

    // The loaded library, or null when it cannot be opened; *error (optional)
    // then says why. Thread-safe; the library stays loaded for the process,
    // its log kept quiet.
    static const FluidSynthLib* get(std::string* error = nullptr);

    Settings* (*new_fluid_settings)();
    void (*delete_fluid_settings)(Settings*);
    int (*fluid_settings_setnum)(Settings*, const char*, double);
    int (*fluid_settings_setint)(Settings*, const char*, int);
    int (*fluid_settings_setstr)(Settings*, const char*, const char*);
    void (*fluid_settings_foreach_option)(Settings*, const char*, void*,
                                          void (*)(void* data, const char* name, const char* option));

    Synth* (*new_fluid_synth)(Settings*);
    void (*delete_fluid_synth)(Synth*);
    int (*fluid_synth_system_reset)(Synth*);
    int (*fluid_synth_noteon)(Synth*, int chan, int key, int vel);
    int (*fluid_synth_noteoff)(Synth*, int chan, int key);
    int (*fluid_synth_key_pressure)(Synth*, int chan, int key, int val);
    int (*fluid_synth_cc)(Synth*, int chan, int ctrl, int val);
    int (*fluid_synth_channel_pressure)(Synth*, int chan, int val);
    int (*fluid_synth_pitch_bend)(Synth*, int chan, int val);
    int (*fluid_synth_sysex)(Synth*, const char* data, int len, char* response, int* responseLen, int* handled,
                             int dryrun);
    int (*fluid_synth_all_sounds_off)(Synth*, int chan);
    int (*fluid_synth_all_notes_off)(Synth*, int chan);
    int (*fluid_synth_get_active_voice_count)(Synth*);
    int (*fluid_synth_program_select)(Synth*, int chan, int sfontId, int bank, int preset);
    int (*fluid_synth_unset_program)(Synth*, int chan);
    int (*fluid_synth_sfload)(Synth*, const char* filename, int resetPresets);
    int (*fluid_synth_sfunload)(Synth*, int id, int resetPresets);
    int (*fluid_synth_write_float)(Synth*, int len, void* lout, int loff, int lincr, void* rout, int roff,
                                   int rincr);
    void (*fluid_synth_add_sfloader)(Synth*, SfLoader*);

    SfLoader* (*new_fluid_defsfloader)(Settings*);
    int (*fluid_sfloader_set_callbacks)(SfLoader*, void* (*open)(const char* filename),
                                        int (*read)(void* buf, Offset count, void* handle),
                                        int (*seek)(void* handle, Offset offset, int origin),
                                        Offset (*tell)(void* handle), int (*close)(void* handle));

    // Soundfonts of our own making.
    int (*fluid_synth_add_sfont)(Synth*, SFont*);
    int (*fluid_synth_remove_sfont)(Synth*, SFont*);
    Voice* (*fluid_synth_alloc_voice)(Synth*, Sample*, int channum, int key, int vel);
    void (*fluid_synth_start_voice)(Synth*, Voice*);
    SFont* (*new_fluid_sfont)(const char* (*getName)(SFont*), Preset* (*getPreset)(SFont*, int bank, int prenum),
                              void (*iterationStart)(SFont*), Preset* (*iterationNext)(SFont*),
                              int (*free)(SFont*));
    int (*delete_fluid_sfont)(SFont*);
    int (*fluid_sfont_set_data)(SFont*, void*);
    void* (*fluid_sfont_get_data)(SFont*);
    Preset* (*new_fluid_preset)(SFont*, const char* (*getName)(Preset*), int (*getBank)(Preset*),
                                int (*getNum)(Preset*), int (*noteon)(Preset*, Synth*, int chan, int key, int vel),
                                void (*free)(Preset*));
    void (*delete_fluid_preset)(Preset*);
    int (*fluid_preset_set_data)(Preset*, void*);
    void* (*fluid_preset_get_data)(Preset*);
    Sample* (*new_fluid_sample)();
    void (*delete_fluid_sample)(Sample*);
    int (*fluid_sample_set_name)(Sample*, const char*);
    int (*fluid_sample_set_sound_data)(Sample*, short* data, char* data24, unsigned int frames,
                                       unsigned int sampleRate, short copy);
    int (*fluid_sample_set_loop)(Sample*, unsigned int loopStart, unsigned int loopEnd);
    int (*fluid_sample_set_pitch)(Sample*, int rootKey, int fineTune);
    void (*fluid_voice_gen_set)(Voice*, int gen, float value);
    void (*fluid_voice_gen_incr)(Voice*, int gen, float value);
    void (*fluid_voice_add_mod)(Voice*, Mod*, int mode);
    int (*fluid_voice_optimize_sample)(Sample*);
    Mod* (*new_fluid_mod)();
    void (*delete_fluid_mod)(Mod*);
    void (*fluid_mod_set_source1)(Mod*, int src, int flags);
    void (*fluid_mod_set_source2)(Mod*, int src, int flags);
    void (*fluid_mod_set_dest)(Mod*, int dest);
    void (*fluid_mod_set_amount)(Mod*, double amount);
    double (*fluid_mod_get_amount)(const Mod*);
    int (*fluid_mod_test_identity)(const Mod*, const Mod*);

    AudioDriver* (*new_fluid_audio_driver)(Settings*, Synth*);
    void (*delete_fluid_audio_driver)(AudioDriver*);

    // omp_set_num_threads of the OpenMP FluidSynth was built with; null without one.
    void (*omp_set_num_threads)(int) = nullptr;

private:
    FluidSynthLib() = default;
};

} // namespace mmsys::synth
