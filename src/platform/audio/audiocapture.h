// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Sound from the desktop's audio inputs (PulseAudio, or PipeWire through its
// PulseAudio service), as mono float frames. PulseAudio's headers stay in
// the .cpp.
//
// Why the PulseAudio simple API and not Qt Multimedia's QAudioSource: the
// stream is opened with fragments of kFragmentMs and read by a blocking call
// on a thread of our own, so frames arrive about kFragmentMs after they were
// captured. Qt 6.4's PulseAudio source asks for 50 ms fragments and hands
// them over from a timer on its owner's event loop, which adds 50 ms or
// more. The client library is opened when the microphone is first looked
// for; without it there are no inputs, and start() says why.

#include "platform/audio/audioerror.h"

#include <QList>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>

namespace platform {

struct AudioInputDevice {
    QString id;   // the sound server's name of the source
    QString name; // its description, for people
    bool operator==(const AudioInputDevice&) const = default;
};

// The audio inputs, the default one first; monitors of outputs are left out.
// Empty when there is no sound server or it has no input; prints nothing and
// starts no sound server. Waits for the server at most timeoutMs.
QList<AudioInputDevice> audioInputDevices(int timeoutMs = 1500);

// Where captured sound comes from: the microphone, or in tests a stand-in
// that plays a buffer, as the loopback backend stands in for MIDI ports.
class AudioSource {
public:
    // Frames of one channel, full scale ±1, in the order captured. Called on
    // the source's own thread; it should return quickly.
    using FrameCallback = std::function<void(const float* frames, std::size_t count)>;
    // Called once on that thread when the stream fails while running (the
    // device was unplugged, the server went away); capture has ended.
    using ErrorCallback = std::function<void(const AudioError& error)>;

    static constexpr int kDefaultRate = 44100;

    virtual ~AudioSource() = default;
    // Opens an input (empty id: the default one) and starts delivering
    // frames. False with *error when it cannot be opened; nothing is printed.
    virtual bool start(const QString& deviceId, FrameCallback onFrames, ErrorCallback onError = {},
                       int sampleRate = kDefaultRate, AudioError* error = nullptr) = 0;
    // Returns once the callbacks will not be called again. Safe to call when stopped.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;
};

class AudioCapture : public AudioSource {
public:
    static constexpr int kFragmentMs = 5;

    AudioCapture();
    ~AudioCapture() override; // stops
    AudioCapture(const AudioCapture&) = delete;
    AudioCapture& operator=(const AudioCapture&) = delete;

    bool start(const QString& deviceId, FrameCallback onFrames, ErrorCallback onError = {},
               int sampleRate = kDefaultRate, AudioError* error = nullptr) override;
    void stop() override;
    bool isRunning() const override;
    int sampleRate() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace platform
