// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/answerfeed.h"
#include "app/notedraw.h"
#include "controls/guitarctrl.h"
#include "controls/instrumentctrl.h"
#include "controls/pianoctrl.h"
#include "controls/stavectrl.h"
#include "midi/midiindevice.h"
#include "midi/midioutdevice.h"
#include "midi/midireceiver.h"
#include "platform/dialogtemplate.h"
#include "platform/window.h"

#include <QDateTime>
#include <QHash>
#include <QLine>
#include <QWidget>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

class QAction;
class QActionGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class DialogOptions;
namespace tonvero {
class KeyboardFilter;
class MicrophoneAnswers;
class NoticeLine;
}
namespace tonvero::history {
class HistoryStore;
struct PracticeSettings;
}
namespace midi {
class CShortMsg;
class DeviceWatcher;
}

namespace tonvero {

// The red guide of the help command, drawn over the client area until the next repaint.
class HelpOverlay : public QWidget {
public:
    struct Caption {
        QPoint at;
        QString text;
    };
    explicit HelpOverlay(QWidget* parent);
    void setGuide(std::vector<Caption> captions, std::vector<QLine> lines);
    const std::vector<Caption>& captions() const { return m_captions; }
    const std::vector<QLine>& lines() const { return m_lines; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<Caption> m_captions;
    std::vector<QLine> m_lines;
};

// Where the read-me file is looked for, in order: the installation directory when
// one is known; otherwise the data folder beside the program, the configured data
// folder, then the source tree (a build that was not installed).
QStringList ReadMeCandidates(const QString& installDir);

} // namespace tonvero

// The main window: owns the four instrument controls, the exercise state and
// the settings. Members are public because the options dialog and the engine
// read and write them directly.
class CTonveroDlg : public platform::TemplateDialog,
                    public CInstrumentCtrlListener,
                    public midi::CMIDIReceiver,
                    public CStaveOwner {
    Q_OBJECT
public:
    explicit CTonveroDlg(QWidget* parent = nullptr);
    ~CTonveroDlg() override;

    // Controls, owned here; as items of the dialog they live in client().
    std::unique_ptr<CStaveCtrl> stave;
    std::unique_ptr<CPianoCtrl> piano;
    std::unique_ptr<CGuitarCtrl> guitar;
    std::unique_ptr<CGuitarCtrl> bass;

    const std::array<QString, 12> astrSharpNames;
    const std::array<QString, 12> astrFlatNames;
    QString strNoteName;
    int nCurNote = -1;
    int nKeyDownNote = -1;
    bool bKeyDown = false;

    int bShowStatistics = 1;
    int bExamMode = 0;
    int bUseBlackKeys = 1;
    int bOnWrongNoteWaitTime = 1;
    int nMinutes = 2;
    int nInDevId = 0;
    int nOutDevId = 0;
    int bNoteInputFromCompKeyboard = 0;
    int bHintMode = 0;
    int bShowNoteName = 0;
    int bBeep = 1;
    int bWrongPending = 0;
    int nTimerDelay = 2000;
    bool bFirstSize = true;
    QString strInstallDir;
    QDateTime dtStart;
    QDateTime dtExamEnd;

    // Statistics items 1014..1019 and their distance from the right edge and top, taken at the first showing.
    std::array<QWidget*, 6> aStatItems{};
    std::array<QPoint, 6> aStatOffsets{};

    StaveLayoutTable StaveLayout{};
    PianoLayoutTable PianoLayout{};
    FretboardLayoutTable GuitarLayout{};
    FretboardLayoutTable BassLayout{};

    DialogOptions* pOptions = nullptr;

    bool bRunning = false;
    bool bPaused = false;
    bool bHelpShown = false;
    int nCurStaff = 0;
    int anErrorWeight[2][88] = {};

    // Closed until opened: the input at start-up, the output for each exercise.
    midi::CMIDIInDevice midiInDevice;
    midi::CMIDIOutDevice midiOutDevice;

    uint8_t nPatch = 0;
    int bMIDI_In = 1;
    int bMIDI_Out = 1;
    int bAppControlByMIDI = 1;
    const int nStopKey = 21;
    const int nPauseKey = 22;
    const int nStartKey = 21;

    QString strTime = QStringLiteral("00:00");
    int nNotes = 0;
    int nErrors = 0;
    QString strErrors = QStringLiteral("0");
    bool bFirstShow = true;

    int bPianoKeys = 1;
    int bGuitar6 = 0;
    int bGuitar4 = 0;
    QCheckBox* pianoBox = nullptr;
    QCheckBox* guitarBox = nullptr;
    QCheckBox* bassBox = nullptr;

    // Range limits (key indexes) as loaded; the piano holds the live ranges.
    int nN12_min0 = 27;
    int nN12_max0 = 67;
    int nN12_min1 = 8;
    int nN12_max1 = 48;

    platform::TimerSet timers;

    // Runs a menu or button command by id.
    void OnCommand(int id);
    QAction* menuAction(int id) const { return m_actions.value(id); }

    // Items ↔ members: edits 1014 (strTime), 1015 (nNotes), 1016 (strErrors).
    bool UpdateData(bool save);

    // Main window operations.
    void OnClef(int commandId);
    void UpdateRangeCount() override;
    void CheckClefMenu(int commandId) override;
    void ShowNoteName(bool force) override;
    void OpenOptions();
    void OpenReadMe();
    void OpenHomePage();
    void OpenAbout();

    // Panels.
    void SetInstrumentBoxes();
    void OnInstrumentBox(int id);
    void UpdateLayout();
    void UpdateNoteBounds();
    void DrawHelpOverlay();
    // Takes the help overlay off the screen; true when the window could be repainted.
    bool RemoveHelpOverlay();
    const tonvero::HelpOverlay* helpOverlay() const { return m_overlay; }

    // Engine.
    void ClearErrorWeights();
    void StartStop(bool pause);
    int ChooseNextNote();

    // The answer steps every input ends in: a note pressed is judged, a note
    // released clears its marks (and brings the next note in hint mode).
    void AnswerNotePressed(int note, tonvero::AnswerSource source = tonvero::AnswerSource::Piano);
    void AnswerNoteReleased(int note);
    // Draws the next note and shows it alone on its staff.
    void ShowNextNote();
    // The bOnWrongNoteWaitTime setting was changed (options): a wrong answer
    // pending under the old rule follows the new one.
    void OnWrongNoteModeChanged();
    // MIDI errors that came while their box was open, and so were not shown.
    int midiErrorsNotShown() const { return m_midiErrorsNotShown; }
    // Whoever keeps the answers listens here.
    tonvero::AnswerFeed& answers() { return m_answers; }
    // The answer history (its file is opened on first use) and the statistics
    // window over it: all exercises, or one (sessionId).
    tonvero::history::HistoryStore* history() const { return m_history.get(); }
    void OpenStatistics(qint64 sessionId = 0);
    // Notes played in front of the microphone, as a fifth input.
    tonvero::MicrophoneAnswers* microphone() const { return m_microphone; }
    // The delay after a wrong answer ends: marks cleared, the next note shown.
    void OnWrongAnswerDelayEnd();
    // Shows nCurNote alone on its staff.
    void ShowCurrentNote();

    // Clock and statistics.
    void OnTimer(int id);
    void ShowStatistics(bool show);
    // Counters and clock text to zero, the reference time to now, timer 2 started.
    void ResetClock();
    // Timer 2: refreshes the statistics and ends an exam whose time is up.
    void OnClockTick();
    // A message box kept the user this long: the clock, the exam and the response time leave it out.
    void OnUserHeld(qint64 ms);

    // Computer-keyboard note input, filtering the application's key events.
    tonvero::KeyboardFilter* keyboardFilter = nullptr;

    // MIDI.
    void OpenMidiInput();
    void StartMidiInput();
    void CloseMidiInput();
    void CloseMidiOutput();
    // Exercise steps: open the output and send the instrument at start; sound a
    // note; release it; stop receiving at stop unless MIDI keys control the program.
    void OpenMidiOutputForExercise();
    void SoundNoteOn(int note);
    void SoundNoteOff(int note);
    void StopMidiInputAfterExercise();
    // Stores the program and sends Program Change at once (nothing while the output is closed).
    void SetPatch(int program);
    // The MIDI control keys: true when the note started, paused or stopped the
    // exercise instead of answering it.
    bool HandleControlKey(int note, bool fromMidi);

    // MIDI ports by name, as they start and end while the program runs.
    // The chosen ports' names (settings; empty: none chosen, the default is used).
    QString strInDevName;
    QString strOutDevName;
    // Keeps the port lists; device ids are indexes into its lists. Made at start-up.
    midi::DeviceWatcher* deviceWatcher = nullptr;
    // Hands the chosen names and ids to the watcher.
    void UpdateMidiChoice();
    // Open this port (an id of the watcher's lists) as the input, with this window
    // as receiver, or as the output; raise the MIDI exceptions.
    void OpenMidiInputPort(int id);
    void OpenMidiOutputPort(int id);

    // midi::CMIDIReceiver; called on the input's callback thread, handed on to the GUI thread.
    void OnLongMsg(const char* msg, std::uint32_t bytesRecorded, std::uint32_t timeStamp) override;
    void OnShortMsg(std::uint32_t msg, std::uint32_t timeStamp) override;
    void OnLongMsgError(const char* msg, std::uint32_t bytesRecorded, std::uint32_t timeStamp) override;
    void OnShortMsgError(std::uint32_t msg, std::uint32_t timeStamp) override;
    // A received short message on the GUI thread: notes to OnNoteOn / OnNoteOff.
    void HandleShortMsg(std::uint32_t msg);

    // Settings.
    bool LoadSettings();
    bool SaveSettings();

    // A note from any input: the MIDI control keys, then the answer step.
    void OnNoteOn(int note, bool fromMidi, tonvero::AnswerSource source);

    // CInstrumentCtrlListener
    void OnNoteOn(int note, bool fromMidi) override;
    void OnNoteOnFromControl(int controlId, int note) override;
    void OnNoteOff(int note) override;
    void OnRangeChanged(const NoteRange* ranges) override;
    void OnCtrlMoved(int controlId, const QPoint* point) override;
    void OnRedrawRequest() override;

    // CStaveOwner
    void SetNoteNameText(const QString& name) override { strNoteName = name; }
    QString SharpName(int pitchClass) const override;
    QString FlatName(int pitchClass) const override;
    int PitchClass(int keyIndex) const override;

    QPushButton* startButton() const;
    QLabel* noteNameLabel() const;
    // What must be said without stopping an exercise.
    tonvero::NoticeLine* notices() const { return m_notices; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createWindow();
    bool initDialog();

    QHash<int, QAction*> m_actions;
    QActionGroup* m_clefGroup = nullptr;
    platform::DataExchange m_ddx;
    tonvero::HelpOverlay* m_overlay = nullptr;
    tonvero::NoticeLine* m_notices = nullptr;
    // Centred in a row of its own above the start button.
    void placeNotices();
    int noticeRowHeight() const;

    // Shows a MIDI exception once per exercise (queued, so no answer step is interrupted).
    void reportMidiOutError(const std::exception& e);
    // Ports that start and end (midiin.cpp, midiout.cpp).
    void connectDeviceWatcher();
    void onMidiInputGone(const QString& name);
    void onMidiInputAppeared(int id);
    void onMidiOutputGone(const QString& name);
    // Opens the input quietly when its port is missing; other failures go to the notice line.
    bool reopenMidiInput(int id);
    // Sends on the output; a port that ended hands over to the built-in synthesizer.
    void sendToOutput(midi::CShortMsg& msg);
    // The output port ended during an exercise: the built-in synthesizer plays on. True when it does.
    bool fallBackToBuiltInSynth(const QString& lostName);
    QString openedPortName(bool input) const;
    // The exercise plays on the built-in synthesizer because the chosen output ended.
    bool m_outFallback = false;
    QStringList m_inGoneNotices;
    QStringList m_outGoneNotices;
    void reportMidiError(const QString& text, const QString& caption);
    bool m_midiOutFailed = false;
    bool m_midiErrorBoxOpen = false;
    int m_midiErrorsNotShown = 0;
    bool m_closing = false;
    bool m_examRanOut = false;
    std::unique_ptr<tonvero::history::HistoryStore> m_history;
    std::unique_ptr<tonvero::history::PracticeSettings> m_practice;
    // The exercise's draw favours what the history says was missed or slow.
    notedraw::ExtraChanceTable m_practiceChances{};
    bool m_practiceSeeded = false;
    void seedPracticeChances();
    tonvero::MicrophoneAnswers* m_microphone = nullptr;
    void createMicrophone();
    void createShortcuts();
    // Accessible names and descriptions, and the Tab order.
    void setUpAccess();
    int m_heldObserver = 0;
    tonvero::AnswerFeed m_answers;
};
