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

namespace mmsys::synth {

class FluidSynthLib {
public:
    using Settings = _fluid_hashtable_t;
    using Synth = _fluid_synth_t;
    using AudioDriver = _fluid_audio_driver_t;
    using SfLoader = _fluid_sfloader_t;
    using Offset = long long;

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

    AudioDriver* (*new_fluid_audio_driver)(Settings*, Synth*);
    void (*delete_fluid_audio_driver)(AudioDriver*);

    // omp_set_num_threads of the OpenMP FluidSynth was built with; null without one.
    void (*omp_set_num_threads)(int) = nullptr;

private:
    FluidSynthLib() = default;
};

} // namespace mmsys::synth
