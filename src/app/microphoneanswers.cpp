// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/microphoneanswers.h"

#include "pitch/microphoneinput.h"
#include "platform/audio/audiocapture.h"

#include <QTimer>

namespace tonvero {

MicrophoneAnswers::MicrophoneAnswers(QObject* parent) : MicrophoneAnswers(SourceMaker{}, parent) {}

MicrophoneAnswers::MicrophoneAnswers(SourceMaker makeSource, QObject* parent)
    : QObject(parent), m_makeSource(std::move(makeSource)), m_releaseTimer(new QTimer(this))
{
    m_releaseTimer->setSingleShot(true);
    connect(m_releaseTimer, &QTimer::timeout, this, &MicrophoneAnswers::releaseHeld);
    m_clock.start();
}

MicrophoneAnswers::~MicrophoneAnswers() = default;

void MicrophoneAnswers::setSourceMaker(SourceMaker makeSource)
{
    stop();
    m_input.reset();
    m_makeSource = std::move(makeSource);
    if (m_running && m_settings.bEnabled)
        start();
}

void MicrophoneAnswers::setSettings(const pitch::MicrophoneSettings& settings)
{
    const bool changed = !(settings == m_settings);
    m_settings = settings;
    // A change while listening applies now: on, off, another input or tuning.
    if (changed && m_running) {
        stop();
        if (m_settings.bEnabled)
            start();
    }
}

void MicrophoneAnswers::setExpectedNote(std::function<int()> expected)
{
    m_expected = std::move(expected);
    if (m_input)
        m_input->setExpectedNote(m_expected);
}

void MicrophoneAnswers::exerciseRunning(bool running)
{
    if (running == m_running)
        return;
    m_running = running;
    if (!running)
        stop();
    else if (m_settings.bEnabled)
        start();
}

bool MicrophoneAnswers::isListening() const
{
    return m_input && m_input->isRunning();
}

void MicrophoneAnswers::start()
{
    if (!m_input) {
        m_input = m_makeSource ? std::make_unique<pitch::MicrophoneInput>(m_makeSource())
                               : std::make_unique<pitch::MicrophoneInput>();
        m_input->setExpectedNote(m_expected);
        connect(m_input.get(), &pitch::MicrophoneInput::notePressed, this, &MicrophoneAnswers::onPressed);
        connect(m_input.get(), &pitch::MicrophoneInput::noteReleased, this, &MicrophoneAnswers::onReleased);
        connect(m_input.get(), &pitch::MicrophoneInput::failed, this, [this](const platform::AudioError& error) {
            releaseHeld();
            tell(error);
        });
    }
    m_input->setSettings(m_settings);
    platform::AudioError error;
    if (!m_input->start(&error))
        tell(error);
}

void MicrophoneAnswers::tell(const platform::AudioError& error)
{
    // Every pause and resume tries again; the user hears of each cause once.
    if (m_told.contains(int(error.cause)))
        return;
    m_told.insert(int(error.cause));
    emit notice(tr("%1 Упражнение продолжается с другими инструментами.").arg(error.text()));
}

void MicrophoneAnswers::newExercise()
{
    m_told.clear();
}

void MicrophoneAnswers::stop()
{
    releaseHeld();
    if (m_input)
        m_input->stop();
}

void MicrophoneAnswers::outputNoteOn(int note)
{
    m_own.noteOn(note, m_clock.elapsed());
}

void MicrophoneAnswers::outputNoteOff(int note)
{
    m_own.noteOff(note, m_clock.elapsed());
}

void MicrophoneAnswers::outputClosed()
{
    m_own.allNotesOff(m_clock.elapsed());
}

void MicrophoneAnswers::outputTone(double frequencyHz, int durationMs)
{
    m_own.tone(frequencyHz, durationMs, m_clock.elapsed());
}

bool MicrophoneAnswers::isOurOwnSound(int sounding) const
{
    return m_own.isOwn(sounding, m_clock.elapsed(), double(m_settings.nReferenceA4));
}

void MicrophoneAnswers::onPressed(int written, int sounding)
{
    if (isOurOwnSound(sounding))
        return;
    releaseHeld();
    m_held = written;
    emit pressed(written);
    m_releaseTimer->start(kLongestPressMs);
}

void MicrophoneAnswers::onReleased(int written)
{
    if (written == m_held)
        releaseHeld();
}

void MicrophoneAnswers::releaseHeld()
{
    m_releaseTimer->stop();
    if (m_held < 0)
        return;
    const int note = m_held;
    m_held = -1;
    emit released(note);
}

} // namespace tonvero
