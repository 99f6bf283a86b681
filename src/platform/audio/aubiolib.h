// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// aubio, opened by name the first time pitch detection is needed: linking it
// would load its codec libraries into every start of the program.

#include <memory>
#include <string>

struct _aubio_onset_t;
struct _aubio_fft_t;

namespace pitch::aubio {

using Onset = _aubio_onset_t;
using Fft = _aubio_fft_t;

// The few functions of aubio the detector uses. Samples are floats (aubio's smpl_t).
class Library {
public:
    // The loaded library, or null when it cannot be opened; *error (optional)
    // then says why. Thread-safe; the library stays loaded for the process.
    static const Library* get(std::string* error = nullptr);

    // A real FFT of a power-of-two size. The spectrum is half-complex: the
    // real parts of bins 0..size/2, then the imaginary parts of bins
    // size/2-1..1 (bin k's at size - k). The inverse divides by the size.
    Fft* newFft(unsigned size) const;
    void deleteFft(Fft* fft) const;
    void fftForward(Fft* fft, const float* in, float* spectrum, unsigned size) const;
    void fftInverse(Fft* fft, const float* spectrum, float* out, unsigned size) const;

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
