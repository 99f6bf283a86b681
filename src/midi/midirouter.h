// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "midi/midiindevice.h"
#include "midi/midioutdevice.h"
#include "midi/midireceiver.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <exception>

namespace platform {
class Notices;
}
namespace tonvero {
class Preferences;
}

namespace midi {

class CShortMsg;
class DeviceWatcher;

// The MIDI ports of the program: the keyboard whose notes answer, the synth
// that sounds them. Ports are opened by the names the user chose, reopened as
// they come and go; an output lost during an exercise hands over to the
// built-in synthesizer. Notes received reach noteOn/noteOff on the GUI thread
// in arrival order. Errors show one box at a time; the rest goes to the notices.
class MidiRouter : public QObject, public CMIDIReceiver {
    Q_OBJECT
public:
    MidiRouter(tonvero::Preferences& prefs, platform::Notices& notices, QObject* parent = nullptr);
    ~MidiRouter() override;

    // Closed until opened: the input at start-up, the output for each exercise.
    CMIDIInDevice midiInDevice;
    CMIDIOutDevice midiOutDevice;

    // Keeps the port lists; device ids are indexes into its lists.
    DeviceWatcher* deviceWatcher() const { return m_watcher; }

    // Hands the chosen names and ids to the watcher.
    void UpdateMidiChoice();
    // Opens the chosen input; a failure other than a missing port shows a box.
    void OpenMidiInput();
    // Starts receiving (a keyboard missing or unplugged is looked for again).
    void StartMidiInput();
    void CloseMidiInput();
    void CloseMidiOutput();
    // Open this port (an id of the watcher's lists) as the input or the output; raise the MIDI exceptions.
    void OpenMidiInputPort(int id);
    void OpenMidiOutputPort(int id);
    // Exercise steps: open the output and send the instrument at start; stop
    // receiving at stop unless MIDI keys control the program.
    void OpenMidiOutputForExercise();
    void StopMidiInputAfterExercise();
    void SoundNoteOn(int note);
    void SoundNoteOff(int note);
    // Stores the program and sends Program Change at once (nothing while the output is closed).
    void SetPatch(int program);
    // Whether an exercise runs: what is said of a lost port, and whether the built-in synthesizer takes over.
    // What was said of an output lost during an exercise ends with it.
    void setExerciseRunning(bool running);

    // MIDI errors that came while their box was open, and so were not shown.
    int midiErrorsNotShown() const { return m_midiErrorsNotShown; }
    // No note, box or notice after this: the program is closing.
    void shutDown();

    // CMIDIReceiver; called on the input's callback thread, handed on to the GUI thread.
    void OnLongMsg(const char* msg, std::uint32_t bytesRecorded, std::uint32_t timeStamp) override;
    void OnShortMsg(std::uint32_t msg, std::uint32_t timeStamp) override;
    void OnLongMsgError(const char* msg, std::uint32_t bytesRecorded, std::uint32_t timeStamp) override;
    void OnShortMsgError(std::uint32_t msg, std::uint32_t timeStamp) override;
    // A received short message on the GUI thread: notes to noteOn / noteOff.
    void HandleShortMsg(std::uint32_t msg);

signals:
    void noteOn(int note);
    void noteOff(int note);
    // The port lists changed.
    void portsChanged();

private:
    void onMidiInputGone(const QString& name);
    void onMidiInputAppeared(int id);
    void onMidiOutputGone(const QString& name);
    // Opens the input quietly when its port is missing; other failures go to the notices.
    bool reopenMidiInput(int id);
    // Sends on the output; a port that ended hands over to the built-in synthesizer.
    void sendToOutput(CShortMsg& msg);
    // The output port ended during an exercise: the built-in synthesizer plays on. True when it does.
    bool fallBackToBuiltInSynth(const QString& lostName);
    QString openedPortName(bool input) const;
    // Shows a MIDI exception once per exercise (queued, so no answer step is interrupted).
    void reportMidiOutError(const std::exception& e);
    void reportMidiError(const QString& text, const QString& caption);

    tonvero::Preferences& m_prefs;
    platform::Notices& m_notices;
    DeviceWatcher* m_watcher = nullptr;
    bool m_running = false;
    // The exercise plays on the built-in synthesizer because the chosen output ended.
    bool m_outFallback = false;
    QStringList m_inGoneNotices;
    QStringList m_outGoneNotices;
    bool m_midiOutFailed = false;
    bool m_midiErrorBoxOpen = false;
    int m_midiErrorsNotShown = 0;
    bool m_closing = false;
};

} // namespace midi
