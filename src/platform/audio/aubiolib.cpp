// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/aubiolib.h"

#include <aubio/aubio.h>

#include <dlfcn.h>

#include <mutex>

#ifndef TONVERO_AUBIO_SONAME
#define TONVERO_AUBIO_SONAME "libaubio.so.5"
#endif

static_assert(sizeof(smpl_t) == sizeof(float), "aubio built with double samples");

namespace pitch::aubio {

struct Library::Functions {
    decltype(&::new_aubio_fft) newFft = nullptr;
    decltype(&::del_aubio_fft) deleteFft = nullptr;
    decltype(&::aubio_fft_do_complex) fftDo = nullptr;
    decltype(&::aubio_fft_rdo_complex) fftRdo = nullptr;
    decltype(&::new_aubio_onset) newOnset = nullptr;
    decltype(&::del_aubio_onset) deleteOnset = nullptr;
    decltype(&::aubio_onset_do) onsetDo = nullptr;
    decltype(&::aubio_onset_set_threshold) onsetSetThreshold = nullptr;
    decltype(&::aubio_onset_set_silence) onsetSetSilence = nullptr;
    decltype(&::aubio_onset_set_minioi_ms) onsetSetMinIoiMs = nullptr;
    decltype(&::aubio_log_set_function) logSetFunction = nullptr;
};

namespace {

// aubio prints its complaints on stderr; ours come back as results instead.
void quietLog(sint_t, const char_t*, void*) {}

template <typename Fn>
bool resolve(void* handle, const char* name, Fn& fn, std::string& missing)
{
    fn = reinterpret_cast<Fn>(dlsym(handle, name));
    if (!fn)
        missing = name;
    return fn != nullptr;
}

} // namespace

Library::Library() : f(std::make_unique<Functions>()) {}
Library::~Library() = default;

const Library* Library::get(std::string* error)
{
    static std::once_flag once;
    static std::unique_ptr<Library> library;
    static std::string failure;
    std::call_once(once, [] {
        void* handle = dlopen(TONVERO_AUBIO_SONAME, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            handle = dlopen("libaubio.so", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            const char* why = dlerror();
            failure = why ? why : "cannot open " TONVERO_AUBIO_SONAME;
            return;
        }
        auto lib = std::unique_ptr<Library>(new Library);
        Functions& fn = *lib->f;
        std::string missing;
        const bool ok = resolve(handle, "new_aubio_fft", fn.newFft, missing)
            && resolve(handle, "del_aubio_fft", fn.deleteFft, missing)
            && resolve(handle, "aubio_fft_do_complex", fn.fftDo, missing)
            && resolve(handle, "aubio_fft_rdo_complex", fn.fftRdo, missing)
            && resolve(handle, "new_aubio_onset", fn.newOnset, missing)
            && resolve(handle, "del_aubio_onset", fn.deleteOnset, missing)
            && resolve(handle, "aubio_onset_do", fn.onsetDo, missing)
            && resolve(handle, "aubio_onset_set_threshold", fn.onsetSetThreshold, missing)
            && resolve(handle, "aubio_onset_set_silence", fn.onsetSetSilence, missing)
            && resolve(handle, "aubio_onset_set_minioi_ms", fn.onsetSetMinIoiMs, missing)
            && resolve(handle, "aubio_log_set_function", fn.logSetFunction, missing);
        if (!ok) {
            failure = "aubio has no function " + missing;
            dlclose(handle);
            return;
        }
        fn.logSetFunction(quietLog, nullptr);
        library = std::move(lib); // the handle stays open for the life of the process
    });
    if (!library && error)
        *error = failure;
    return library.get();
}

Fft* Library::newFft(unsigned size) const
{
    return f->newFft(size);
}

void Library::deleteFft(Fft* fft) const
{
    if (fft)
        f->deleteFft(fft);
}

void Library::fftForward(Fft* fft, const float* in, float* spectrum, unsigned size) const
{
    const fvec_t input{size, const_cast<float*>(in)};
    fvec_t output{size, spectrum};
    f->fftDo(fft, &input, &output);
}

void Library::fftInverse(Fft* fft, const float* spectrum, float* out, unsigned size) const
{
    const fvec_t input{size, const_cast<float*>(spectrum)};
    fvec_t output{size, out};
    f->fftRdo(fft, &input, &output);
}

Onset* Library::newOnset(const char* method, unsigned bufSize, unsigned hopSize, unsigned rate) const
{
    return f->newOnset(method, bufSize, hopSize, rate);
}

void Library::deleteOnset(Onset* o) const
{
    if (o)
        f->deleteOnset(o);
}

bool Library::setOnsetThreshold(Onset* o, float threshold) const
{
    return f->onsetSetThreshold(o, threshold) == 0;
}

bool Library::setOnsetSilence(Onset* o, float silenceDb) const
{
    return f->onsetSetSilence(o, silenceDb) == 0;
}

bool Library::setOnsetMinIoiMs(Onset* o, float ms) const
{
    return f->onsetSetMinIoiMs(o, ms) == 0;
}

bool Library::onsetDo(Onset* o, const float* hop, unsigned hopSize) const
{
    const fvec_t in{hopSize, const_cast<float*>(hop)};
    float result = 0.f;
    fvec_t out{1, &result};
    f->onsetDo(o, &in, &out);
    return result > 0.f;
}

} // namespace pitch::aubio
