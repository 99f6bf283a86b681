// SPDX-License-Identifier: GPL-3.0-or-later
#include "pitch/microphonecheck.h"

#include "pitch/microphoneinput.h"
#include "platform/audio/audiocapture.h"

#include <QTimer>

#include <algorithm>

namespace pitch {

MicrophoneCheck::MicrophoneCheck(SourceMaker makeSource, QObject* parent)
    : QObject(parent), m_makeSource(std::move(makeSource)), m_tick(new QTimer(this))
{
    m_tick->setInterval(kTickMs);
    connect(m_tick, &QTimer::timeout, this, [this] {
        const int left = remainingMs();
        if (left <= 0) {
            finish(m_result.notes.isEmpty() ? (m_result.loudestDb > m_silenceDb ? Result::Verdict::SoundWithoutNote
                                                                                 : Result::Verdict::Silence)
                                            : Result::Verdict::Notes);
            return;
        }
        emit progress(left);
    });
}

MicrophoneCheck::~MicrophoneCheck()
{
    if (m_input)
        m_input->stop();
}

void MicrophoneCheck::setDurationMs(int ms)
{
    m_durationMs = std::max(kTickMs, ms);
}

int MicrophoneCheck::remainingMs() const
{
    return m_running ? std::max(0, m_durationMs - int(m_clock.elapsed())) : 0;
}

void MicrophoneCheck::start(const MicrophoneSettings& settings)
{
    if (m_running)
        return;
    m_result = Result{};
    // Listening is the point of the check, whether answering by microphone is on or not.
    MicrophoneSettings s = settings;
    s.bEnabled = true;
    m_silenceDb = s.detectorSettings().silenceDb;
    if (!m_input) {
        m_input = m_makeSource ? std::make_unique<MicrophoneInput>(m_makeSource())
                               : std::make_unique<MicrophoneInput>();
        connect(m_input.get(), &MicrophoneInput::notePressed, this, [this](int, int sounding) {
            if (m_running && !m_result.notes.contains(sounding) && m_result.notes.size() < kMostNotes)
                m_result.notes.append(sounding);
        });
        connect(m_input.get(), &MicrophoneInput::levelChanged, this, [this](double db, int note, double cents) {
            if (!m_running)
                return;
            m_result.loudestDb = std::max(m_result.loudestDb, db);
            emit levelChanged(db, note, cents);
        });
        connect(m_input.get(), &MicrophoneInput::failed, this, [this](const platform::AudioError& error) {
            if (m_running)
                finish(Result::Verdict::Failed, error);
        });
    }
    m_input->setSettings(s);
    m_running = true;
    m_clock.start();
    platform::AudioError error;
    if (!m_input->start(&error)) {
        finish(Result::Verdict::Failed, error);
        return;
    }
    m_tick->start();
    emit progress(m_durationMs);
}

void MicrophoneCheck::cancel()
{
    if (m_running)
        finish(Result::Verdict::Cancelled);
}

void MicrophoneCheck::finish(Result::Verdict verdict, const platform::AudioError& error)
{
    // Not running from here on, so what the closing input still says is not counted.
    m_running = false;
    m_tick->stop();
    if (m_input)
        m_input->stop();
    m_result.verdict = verdict;
    m_result.error = error;
    emit finished(m_result);
}

} // namespace pitch
