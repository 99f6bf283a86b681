// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Notes played in front of the microphone, as answers: captures sound,
// runs the note detector off the GUI thread and hands each note to the GUI
// thread, in order, as the written note to judge. Also reports what it hears
// about twenty times a second, for a level meter.
//
// The exercise starts it when an exercise with the microphone runs and stops
// it at pause and stop; the options start it while they are shown.

#include "pitch/microphonesettings.h"
#include "platform/audio/audioerror.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>

namespace platform {
class AudioSource;
}

namespace pitch {

class MicrophoneInput : public QObject {
    Q_OBJECT

public:
    // Captures from the desktop's audio input.
    explicit MicrophoneInput(QObject* parent = nullptr);
    // Captures from another source (a stand-in that plays a buffer, in tests).
    MicrophoneInput(std::unique_ptr<platform::AudioSource> source, QObject* parent = nullptr);
    ~MicrophoneInput() override;

    // Used from the next start on.
    void setSettings(const MicrophoneSettings& settings);
    const MicrophoneSettings& settings() const;

    // The note on the stave (MIDI, -1 for none), asked on the GUI thread as
    // each note arrives; only "any octave" needs it.
    void setExpectedNote(std::function<int()> expected);

    // Opens the input and starts listening; false with *error when the input
    // or the detector cannot be opened. Starting while running restarts.
    bool start(platform::AudioError* error = nullptr);
    // Stops listening; no signal of the stopped run arrives afterwards. A note
    // still held is released first.
    void stop();
    bool isRunning() const;

signals:
    // A note was played: the written note to judge, and the note that sounded.
    void notePressed(int writtenNote, int soundingNote);
    // The note pressed last has stopped sounding (or another began).
    void noteReleased(int writtenNote);
    // What is heard now: level in dBFS, the held note (-1 none) and its cents.
    void levelChanged(double levelDb, int heardNote, double cents);
    // Capture broke off while running (the device went away).
    void failed(const platform::AudioError& error);

private:
    struct Worker;
    void deliverPressed(unsigned run, int sounding);
    void deliverReleased(unsigned run);

    std::unique_ptr<platform::AudioSource> m_source;
    std::shared_ptr<Worker> m_worker;
    MicrophoneSettings m_settings;
    std::function<int()> m_expected;
    std::atomic<unsigned> m_run{0};
    bool m_running = false;
    int m_pressedWritten = -1;
};

} // namespace pitch
