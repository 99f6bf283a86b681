// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/audiocapture.h"

#include <pulse/error.h>
#include <pulse/pulseaudio.h>
#include <pulse/simple.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

namespace {

constexpr const char* kClientName = "Tonvero";
constexpr const char* kStreamName = "microphone";

#ifndef TONVERO_PULSE_SIMPLE_SONAME
#define TONVERO_PULSE_SIMPLE_SONAME "libpulse-simple.so.0"
#endif

// The sound server's client library, opened by name the first time the
// microphone is looked for: linked, it and its sound file codecs would load
// with every start of the program. Its functions under their own names.
struct Pulse {
#define TONVERO_PULSE_FUNCTIONS(X)                                                                                 \
    X(pa_mainloop_new) X(pa_mainloop_free) X(pa_mainloop_get_api) X(pa_mainloop_prepare) X(pa_mainloop_poll)       \
    X(pa_mainloop_dispatch) X(pa_context_new) X(pa_context_connect) X(pa_context_get_state)                         \
    X(pa_context_get_server_info) X(pa_context_get_source_info_list) X(pa_context_disconnect) X(pa_context_unref)   \
    X(pa_operation_unref) X(pa_strerror) X(pa_usec_to_bytes) X(pa_simple_new) X(pa_simple_read) X(pa_simple_free)
#define TONVERO_PULSE_MEMBER(name) decltype(&::name) name = nullptr;
    TONVERO_PULSE_FUNCTIONS(TONVERO_PULSE_MEMBER)
#undef TONVERO_PULSE_MEMBER

    // The loaded library (it stays loaded), or null with the reason in *error.
    static const Pulse* get(QString* error)
    {
        static std::once_flag once;
        static const Pulse* library = nullptr;
        static QString* failure = new QString;
        std::call_once(once, [] {
            // The simple API's library brings the main one along; dlsym looks in both.
            void* handle = ::dlopen(TONVERO_PULSE_SIMPLE_SONAME, RTLD_NOW | RTLD_LOCAL);
            if (!handle) {
                const char* why = ::dlerror();
                *failure = QString::fromUtf8(why ? why : "cannot open " TONVERO_PULSE_SIMPLE_SONAME);
                return;
            }
            auto* lib = new Pulse;
            QString missing;
#define TONVERO_PULSE_RESOLVE(name)                                                                                \
    lib->name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name));                                       \
    if (!lib->name && missing.isEmpty())                                                                           \
        missing = QStringLiteral(#name);
            TONVERO_PULSE_FUNCTIONS(TONVERO_PULSE_RESOLVE)
#undef TONVERO_PULSE_RESOLVE
            if (!missing.isEmpty()) {
                *failure = QStringLiteral(TONVERO_PULSE_SIMPLE_SONAME " lacks ") + missing;
                delete lib;
                ::dlclose(handle);
                return;
            }
            library = lib;
        });
        if (!library && error)
            *error = *failure;
        return library;
    }
#undef TONVERO_PULSE_FUNCTIONS
};

struct SourceList {
    QList<AudioInputDevice> devices;
    QString defaultName;
    bool sourcesDone = false;
    bool serverDone = false;
};

void onSource(pa_context*, const pa_source_info* info, int eol, void* data)
{
    auto* list = static_cast<SourceList*>(data);
    if (eol != 0 || !info) {
        list->sourcesDone = true;
        return;
    }
    if (info->monitor_of_sink != PA_INVALID_INDEX)
        return; // what an output plays, not what a microphone hears
    const QString id = QString::fromUtf8(info->name);
    const QString name = info->description && *info->description ? QString::fromUtf8(info->description) : id;
    list->devices.append({id, name});
}

void onServer(pa_context*, const pa_server_info* info, void* data)
{
    auto* list = static_cast<SourceList*>(data);
    if (info && info->default_source_name)
        list->defaultName = QString::fromUtf8(info->default_source_name);
    list->serverDone = true;
}

// Runs the main loop until done() or the deadline; false at the deadline.
template <typename Done>
bool runUntil(const Pulse& pa, pa_mainloop* loop, std::chrono::steady_clock::time_point deadline, Done done)
{
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        if (pa.pa_mainloop_prepare(loop, int(std::min<long long>(left.count(), 50000))) < 0
            || pa.pa_mainloop_poll(loop) < 0 || pa.pa_mainloop_dispatch(loop) < 0)
            return false;
    }
    return true;
}

} // namespace

QList<AudioInputDevice> audioInputDevices(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 1));
    const Pulse* pulse = Pulse::get(nullptr);
    if (!pulse)
        return {}; // no sound server to ask
    const Pulse& pa = *pulse;
    pa_mainloop* loop = pa.pa_mainloop_new();
    if (!loop)
        return {};
    SourceList list;
    pa_context* context = pa.pa_context_new(pa.pa_mainloop_get_api(loop), kClientName);
    if (context) {
        // No autospawn: asking which inputs exist must not start a sound server.
        if (pa.pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            const bool ready = runUntil(pa, loop, deadline, [&] {
                const pa_context_state_t s = pa.pa_context_get_state(context);
                return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
            });
            if (ready && pa.pa_context_get_state(context) == PA_CONTEXT_READY) {
                if (pa_operation* op = pa.pa_context_get_server_info(context, onServer, &list))
                    pa.pa_operation_unref(op);
                else
                    list.serverDone = true;
                if (pa_operation* op = pa.pa_context_get_source_info_list(context, onSource, &list))
                    pa.pa_operation_unref(op);
                else
                    list.sourcesDone = true;
                if (!runUntil(pa, loop, deadline, [&] { return list.sourcesDone && list.serverDone; }))
                    list.devices.clear();
            }
            pa.pa_context_disconnect(context);
        }
        pa.pa_context_unref(context);
    }
    pa.pa_mainloop_free(loop);

    for (qsizetype i = 1; i < list.devices.size(); ++i)
        if (list.devices[i].id == list.defaultName)
            list.devices.move(i, 0);
    return list.devices;
}

struct AudioCapture::Private {
    const Pulse* pa = nullptr; // set with the stream
    pa_simple* stream = nullptr;
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> running{false};
    int rate = kDefaultRate;
    std::mutex control; // start and stop from different threads do not overlap

    void read(FrameCallback onFrames, ErrorCallback onError)
    {
        const std::size_t frames = std::size_t(rate) * kFragmentMs / 1000;
        std::vector<float> buffer(frames);
        while (!stopping.load(std::memory_order_acquire)) {
            int err = 0;
            if (pa->pa_simple_read(stream, buffer.data(), buffer.size() * sizeof(float), &err) < 0) {
                if (!stopping.load(std::memory_order_acquire) && onError)
                    onError(AudioError::fromPulse(err, QString::fromUtf8(pa->pa_strerror(err))));
                break;
            }
            onFrames(buffer.data(), buffer.size());
        }
        running.store(false, std::memory_order_release);
    }
};

AudioCapture::AudioCapture() : d(std::make_unique<Private>()) {}

AudioCapture::~AudioCapture()
{
    stop();
}

bool AudioCapture::start(const QString& deviceId, FrameCallback onFrames, ErrorCallback onError, int sampleRate,
                         AudioError* error)
{
    std::lock_guard lock(d->control);
    if (d->thread.joinable() || !onFrames || sampleRate < 8000 || sampleRate > 192000) {
        if (error)
            *error = {AudioError::Cause::Other, QStringLiteral("already recording, or no frame callback, or a rate out of range")};
        return false;
    }
    QString why;
    const Pulse* pa = Pulse::get(&why);
    if (!pa) {
        if (error)
            *error = {AudioError::Cause::NoSoundLibrary, why};
        return false;
    }
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, std::uint32_t(sampleRate), 1};
    pa_buffer_attr attr;
    attr.maxlength = std::uint32_t(-1);
    attr.tlength = std::uint32_t(-1);
    attr.prebuf = std::uint32_t(-1);
    attr.minreq = std::uint32_t(-1);
    attr.fragsize = std::uint32_t(pa->pa_usec_to_bytes(pa_usec_t(kFragmentMs) * 1000, &spec));
    const QByteArray device = deviceId.toUtf8();
    int err = 0;
    d->stream = pa->pa_simple_new(nullptr, kClientName, PA_STREAM_RECORD, device.isEmpty() ? nullptr : device.constData(),
                              kStreamName, &spec, nullptr, &attr, &err);
    if (!d->stream) {
        if (error)
            *error = AudioError::fromPulse(err, QString::fromUtf8(pa->pa_strerror(err)));
        return false;
    }
    d->pa = pa;
    d->rate = sampleRate;
    d->stopping.store(false);
    d->running.store(true);
    d->thread = std::thread([p = d.get(), f = std::move(onFrames), e = std::move(onError)] { p->read(f, e); });
    return true;
}

void AudioCapture::stop()
{
    std::lock_guard lock(d->control);
    if (!d->thread.joinable())
        return;
    // The blocking read returns within one fragment and sees the flag.
    d->stopping.store(true, std::memory_order_release);
    d->thread.join();
    d->pa->pa_simple_free(d->stream);
    d->stream = nullptr;
    d->running.store(false);
}

bool AudioCapture::isRunning() const
{
    return d->running.load(std::memory_order_acquire);
}

int AudioCapture::sampleRate() const
{
    return d->rate;
}

} // namespace platform
