// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audiocapture.h"

#include <QCoreApplication>

#include <pulse/error.h>
#include <pulse/pulseaudio.h>
#include <pulse/simple.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

namespace {

constexpr const char* kClientName = "Tonvero";
constexpr const char* kStreamName = "microphone";

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
bool runUntil(pa_mainloop* loop, std::chrono::steady_clock::time_point deadline, Done done)
{
    while (!done()) {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        if (pa_mainloop_prepare(loop, int(std::min<long long>(left.count(), 50000))) < 0 || pa_mainloop_poll(loop) < 0
            || pa_mainloop_dispatch(loop) < 0)
            return false;
    }
    return true;
}

} // namespace

QList<AudioInputDevice> audioInputDevices(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 1));
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop)
        return {};
    SourceList list;
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), kClientName);
    if (context) {
        // No autospawn: asking which inputs exist must not start a sound server.
        if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            const bool ready = runUntil(loop, deadline, [&] {
                const pa_context_state_t s = pa_context_get_state(context);
                return s == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(s);
            });
            if (ready && pa_context_get_state(context) == PA_CONTEXT_READY) {
                if (pa_operation* op = pa_context_get_server_info(context, onServer, &list))
                    pa_operation_unref(op);
                else
                    list.serverDone = true;
                if (pa_operation* op = pa_context_get_source_info_list(context, onSource, &list))
                    pa_operation_unref(op);
                else
                    list.sourcesDone = true;
                if (!runUntil(loop, deadline, [&] { return list.sourcesDone && list.serverDone; }))
                    list.devices.clear();
            }
            pa_context_disconnect(context);
        }
        pa_context_unref(context);
    }
    pa_mainloop_free(loop);

    for (qsizetype i = 1; i < list.devices.size(); ++i)
        if (list.devices[i].id == list.defaultName)
            list.devices.move(i, 0);
    return list.devices;
}

struct AudioCapture::Private {
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
            if (pa_simple_read(stream, buffer.data(), buffer.size() * sizeof(float), &err) < 0) {
                if (!stopping.load(std::memory_order_acquire) && onError)
                    onError(QCoreApplication::translate("platform::AudioCapture", "Запись с микрофона прервалась: %1").arg(QString::fromUtf8(pa_strerror(err))));
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
                         QString* error)
{
    std::lock_guard lock(d->control);
    if (d->thread.joinable() || !onFrames || sampleRate < 8000 || sampleRate > 192000) {
        if (error)
            *error = QCoreApplication::translate("platform::AudioCapture", "Запись с микрофона уже идёт или задана неверно");
        return false;
    }
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32NE, std::uint32_t(sampleRate), 1};
    pa_buffer_attr attr;
    attr.maxlength = std::uint32_t(-1);
    attr.tlength = std::uint32_t(-1);
    attr.prebuf = std::uint32_t(-1);
    attr.minreq = std::uint32_t(-1);
    attr.fragsize = std::uint32_t(pa_usec_to_bytes(pa_usec_t(kFragmentMs) * 1000, &spec));
    const QByteArray device = deviceId.toUtf8();
    int err = 0;
    d->stream = pa_simple_new(nullptr, kClientName, PA_STREAM_RECORD, device.isEmpty() ? nullptr : device.constData(),
                              kStreamName, &spec, nullptr, &attr, &err);
    if (!d->stream) {
        if (error)
            *error = QCoreApplication::translate("platform::AudioCapture", "Микрофон не открывается: %1").arg(QString::fromUtf8(pa_strerror(err)));
        return false;
    }
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
    pa_simple_free(d->stream);
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
