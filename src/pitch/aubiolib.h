// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// aubio, opened by name the first time pitch detection is needed: linking it
// would load its codec libraries into every start of the program.

#include <memory>
#include <string>

struct _aubio_pitch_t;
struct _aubio_onset_t;

namespace pitch::aubio {

using Pitch = _aubio_pitch_t;
using Onset = _aubio_onset_t;

// The few functions of aubio the detector uses. Samples are floats (aubio's smpl_t).
class Library {
public:
    // The loaded library, or null when it cannot be opened; *error (optional)
    // then says why. Thread-safe; the library stays loaded for the process.
    static const Library* get(std::string* error = nullptr);

    Pitch* newPitch(const char* method, unsigned bufSize, unsigned hopSize, unsigned rate) const;
    void deletePitch(Pitch* p) const;
    bool setPitchTolerance(Pitch* p, float tolerance) const;
    bool setPitchSilence(Pitch* p, float silenceDb) const;
    // One hop of hopSize samples in; the frequency in Hz out (0 for none).
    float pitchDo(Pitch* p, const float* hop, unsigned hopSize) const;
    float pitchConfidence(Pitch* p) const;

    Onset* newOnset(const char* method, unsigned bufSize, unsigned hopSize, unsigned rate) const;
    void deleteOnset(Onset* o) const;
    bool setOnsetThreshold(Onset* o, float threshold) const;
    bool setOnsetSilence(Onset* o, float silenceDb) const;
    bool setOnsetMinIoiMs(Onset* o, float ms) const;
    // True when an onset was found in this hop.
    bool onsetDo(Onset* o, const float* hop, unsigned hopSize) const;

    struct Functions;
    ~Library();

private:
    Library();
    std::unique_ptr<Functions> f;
};

} // namespace pitch::aubio
