// SPDX-License-Identifier: GPL-3.0-or-later
#include "pitch/microphoneinput.h"

#include "pitch/notedetector.h"
#include "platform/audio/audiocapture.h"


#include <vector>

namespace pitch {

namespace {

constexpr int kMeterHz = 20;

} // namespace

// Lives on the capture thread while a run lasts.
struct MicrophoneInput::Worker {
    NoteDetector detector;
    std::vector<NoteEvent> events;
    std::size_t sinceMeter = 0;
    std::size_t meterEvery;

    Worker(int rate, const DetectorSettings& settings)
        : detector(rate, settings), meterEvery(std::size_t(rate / kMeterHz))
    {
    }
};

MicrophoneInput::MicrophoneInput(QObject* parent)
    : MicrophoneInput(std::make_unique<platform::AudioCapture>(), parent)
{
}

MicrophoneInput::MicrophoneInput(std::unique_ptr<platform::AudioSource> source, QObject* parent)
    : QObject(parent), m_source(std::move(source))
{
}

MicrophoneInput::~MicrophoneInput()
{
    if (m_source)
        m_source->stop();
}

void MicrophoneInput::setSettings(const MicrophoneSettings& settings)
{
    m_settings = settings.normalized();
}

const MicrophoneSettings& MicrophoneInput::settings() const
{
    return m_settings;
}

void MicrophoneInput::setExpectedNote(std::function<int()> expected)
{
    m_expected = std::move(expected);
}

bool MicrophoneInput::start(platform::AudioError* error)
{
    stop();
    const int rate = platform::AudioSource::kDefaultRate;
    auto worker = std::make_shared<Worker>(rate, m_settings.detectorSettings());
    if (!worker->detector.isValid()) {
        if (error)
            *error = {platform::AudioError::Cause::NoDetector, QString::fromStdString(worker->detector.errorString())};
        return false;
    }
    const unsigned run = ++m_run;
    auto onFrames = [this, worker, run](const float* frames, std::size_t count) {
        Worker& w = *worker;
        w.events.clear();
        w.detector.process(frames, count, w.events);
        for (const NoteEvent& e : w.events) {
            const int sounding = e.note;
            if (e.kind == NoteEvent::Kind::Started)
                QMetaObject::invokeMethod(this, [this, run, sounding] { deliverPressed(run, sounding); },
                                          Qt::QueuedConnection);
            else
                QMetaObject::invokeMethod(this, [this, run] { deliverReleased(run); }, Qt::QueuedConnection);
        }
        w.sinceMeter += count;
        if (w.sinceMeter >= w.meterEvery) {
            w.sinceMeter -= w.meterEvery;
            const double level = w.detector.levelDb();
            const int heard = w.detector.heardNote();
            const double cents = w.detector.heardCents();
            QMetaObject::invokeMethod(
                this,
                [this, run, level, heard, cents] {
                    if (run == m_run.load())
                        emit levelChanged(level, heard, cents);
                },
                Qt::QueuedConnection);
        }
    };
    auto onError = [this, run](const platform::AudioError& failure) {
        QMetaObject::invokeMethod(
            this,
            [this, run, failure] {
                if (run != m_run.load())
                    return;
                stop();
                emit failed(failure);
            },
            Qt::QueuedConnection);
    };
    platform::AudioError why;
    if (!m_source->start(m_settings.strDevice, onFrames, onError, rate, &why)) {
        if (error)
            *error = why;
        return false;
    }
    m_worker = std::move(worker);
    m_running = true;
    return true;
}

void MicrophoneInput::stop()
{
    if (!m_running)
        return;
    m_source->stop();
    // Whatever the stopped run still has queued is dropped.
    ++m_run;
    m_running = false;
    m_worker.reset();
    if (m_pressedWritten >= 0) {
        const int written = m_pressedWritten;
        m_pressedWritten = -1;
        emit noteReleased(written);
    }
    emit levelChanged(-120.0, -1, 0.0);
}

bool MicrophoneInput::isRunning() const
{
    return m_running;
}

void MicrophoneInput::deliverPressed(unsigned run, int sounding)
{
    if (run != m_run.load())
        return;
    if (m_pressedWritten >= 0) {
        const int previous = m_pressedWritten;
        m_pressedWritten = -1;
        emit noteReleased(previous);
    }
    const int expected = m_expected ? m_expected() : -1;
    const int written = answerFor(sounding, m_settings.transposition(), expected);
    m_pressedWritten = written;
    emit notePressed(written, sounding);
}

void MicrophoneInput::deliverReleased(unsigned run)
{
    if (run != m_run.load() || m_pressedWritten < 0)
        return;
    const int written = m_pressedWritten;
    m_pressedWritten = -1;
    emit noteReleased(written);
}

} // namespace pitch
