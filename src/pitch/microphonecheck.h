// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A short listen to the microphone, to show a newcomer that the trainer hears
// them before an exercise: it opens the input for a few seconds, collects the
// notes it recognises and the loudest level, closes the input and gives the
// verdict. Capture and detection run off the GUI thread (MicrophoneInput).

#include "pitch/microphonesettings.h"
#include "platform/audio/audioerror.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>

class QTimer;

namespace platform {
class AudioSource;
}

namespace pitch {

class MicrophoneInput;

class MicrophoneCheck : public QObject {
    Q_OBJECT
public:
    using SourceMaker = std::function<std::unique_ptr<platform::AudioSource>()>;

    static constexpr int kDefaultMs = 3000;
    static constexpr int kTickMs = 100;
    static constexpr int kMostNotes = 12;

    struct Result {
        enum class Verdict { Notes, SoundWithoutNote, Silence, Failed, Cancelled };
        Verdict verdict = Verdict::Cancelled;
        QList<int> notes;      // sounding notes, each once, in the order first heard
        double loudestDb = -120.0;
        platform::AudioError error; // for Failed
    };

    explicit MicrophoneCheck(SourceMaker makeSource, QObject* parent = nullptr);
    ~MicrophoneCheck() override;

    void setDurationMs(int ms);
    int durationMs() const { return m_durationMs; }

    // Starts listening with these settings (on or off alike). A failure to
    // open ends the check at once, with finished() emitted before this returns.
    void start(const MicrophoneSettings& settings);
    // Closes the input; finished() says Cancelled. Nothing when not running.
    void cancel();
    bool isRunning() const { return m_running; }
    int remainingMs() const;

signals:
    // About ten times a second while listening.
    void progress(int remainingMs);
    // What is heard now, as MicrophoneInput reports it.
    void levelChanged(double levelDb, int heardNote, double cents);
    // The input is closed by the time this is emitted.
    void finished(const pitch::MicrophoneCheck::Result& result);

private:
    void finish(Result::Verdict verdict, const platform::AudioError& error = {});

    SourceMaker m_makeSource;
    std::unique_ptr<MicrophoneInput> m_input;
    QTimer* m_tick;
    QElapsedTimer m_clock;
    int m_durationMs = kDefaultMs;
    bool m_running = false;
    double m_silenceDb = -55.0;
    Result m_result;
};

} // namespace pitch

Q_DECLARE_METATYPE(pitch::MicrophoneCheck::Result)
