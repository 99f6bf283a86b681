// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pitch/microphonesettings.h"
#include "pitch/ownsound.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <functional>
#include <memory>

class QTimer;

namespace platform {
class AudioSource;
struct AudioError;
}
namespace pitch {
class MicrophoneInput;
}

namespace tonvero {

// The microphone as an input of the exercise: listens while an exercise runs
// with it switched on, turns what it hears into presses and releases of the
// written note, and does not take the trainer's own sound for an answer.
class MicrophoneAnswers : public QObject {
    Q_OBJECT
public:
    using SourceMaker = std::function<std::unique_ptr<platform::AudioSource>()>;

    // The desktop's input; nothing is opened before the first start.
    explicit MicrophoneAnswers(QObject* parent = nullptr);
    // Another source (a stand-in in tests).
    MicrophoneAnswers(SourceMaker makeSource, QObject* parent = nullptr);
    ~MicrophoneAnswers() override;

    // Where the next start listens (a stand-in in tests); empty: the desktop's input.
    void setSourceMaker(SourceMaker makeSource);
    void setSettings(const pitch::MicrophoneSettings& settings);
    const pitch::MicrophoneSettings& settings() const { return m_settings; }
    // The note on the stave, for "any octave".
    void setExpectedNote(std::function<int()> expected);

    // Listening follows the exercise: started, paused, resumed, stopped. Off
    // in the settings, these do nothing.
    void exerciseRunning(bool running);
    bool isListening() const;
    // A new exercise: what went wrong in the last one may be said again.
    void newExercise();

    // The trainer sounds or silences a note itself: a microphone in front of
    // the speakers hears it (or its octaves and harmonics), which is no answer.
    void outputNoteOn(int note);
    void outputNoteOff(int note);
    // The output was closed, which silences whatever it still sounded.
    void outputClosed();
    // The trainer plays a tone of its own (the error beep), starting now.
    void outputTone(double frequencyHz, int durationMs);

    // A note held shorter than this is released after it, so that marks and
    // hint mode keep pace with an instrument that rings on.
    static constexpr int kLongestPressMs = 400;
    // The speakers' sound of a released note still counts as ours for this long.
    static constexpr int kOutputTailMs = pitch::OwnSound::kTailMs;

signals:
    void pressed(int writtenNote);
    void released(int writtenNote);
    // Something to tell the user without stopping the exercise; once per cause and exercise.
    void notice(const QString& text);

private:
    void start();
    void stop();
    void onPressed(int written, int sounding);
    void onReleased(int written);
    void releaseHeld();
    bool isOurOwnSound(int sounding) const;
    void tell(const platform::AudioError& error);

    SourceMaker m_makeSource;
    std::unique_ptr<pitch::MicrophoneInput> m_input;
    pitch::MicrophoneSettings m_settings;
    std::function<int()> m_expected;
    bool m_running = false;
    int m_held = -1;       // the written note pressed and not yet released
    QTimer* m_releaseTimer;
    pitch::OwnSound m_own; // what our output sounds, by m_clock
    QElapsedTimer m_clock;
    QSet<int> m_told; // causes said in this exercise
};

} // namespace tonvero
