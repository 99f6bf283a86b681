// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One preset of a soundfont as a FluidSynth soundfont of its own, playing its
// samples straight from the file's mapping: nothing is copied, and a sample's
// pages come into memory only when it sounds. FluidSynth's own loader reads
// every sample of a preset into memory at once, megabytes for a good piano.
//
// Its notes start voices exactly as FluidSynth's loader would for the same
// preset (zones, generators, modulators and their precedence), so it sounds
// the same.

#include <memory>

struct _fluid_sfont_t;

namespace mmsys::synth {

class FluidSynthLib;
class Sf2File;

class MappedPreset {
public:
    // Null when the preset does not exist or the file cannot be mapped. Asks
    // the system to read the preset's samples ahead, without waiting for it.
    static std::unique_ptr<MappedPreset> make(const FluidSynthLib& fl, std::shared_ptr<const Sf2File> file,
                                              int bank, int program);
    ~MappedPreset();
    MappedPreset(const MappedPreset&) = delete;
    MappedPreset& operator=(const MappedPreset&) = delete;

    // For fluid_synth_add_sfont; still owned here. Destroy only once it is
    // removed from the synthesizer and no voice plays from it.
    _fluid_sfont_t* sfont() const;

    struct Data; // reached by FluidSynth's callbacks

private:
    MappedPreset() = default;
    std::unique_ptr<Data> d;
};

} // namespace mmsys::synth
