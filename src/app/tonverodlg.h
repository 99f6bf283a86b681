// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exercise/answerfeed.h"
#include "exercise/notedraw.h"
#include "controls/guitarctrl.h"
#include "controls/instrumentctrl.h"
#include "controls/pianoctrl.h"
#include "controls/stavectrl.h"
#include "platform/ui/dialogtemplate.h"
#include "platform/ui/window.h"

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
class QDragEnterEvent;
class QDropEvent;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class DialogOptions;
namespace platform {
class Notices;
}
namespace tonvero {
class Exercise;
class Preferences;
class KeyboardFilter;
class MicrophoneAnswers;
class NoticeLine;
class PieceOpener;
}
namespace tonvero::history {
class HistoryStore;
struct PracticeSettings;
}
namespace midi {
class MidiRouter;
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

// The main window: builds the window, its views and commands, and connects
// them to the models it owns (the settings, the exercise, the MIDI ports,
// the history, the microphone). It decides nothing of an exercise.
class CTonveroDlg : public platform::TemplateDialog,
                    public CInstrumentCtrlListener,
                    public CStaveOwner {
    Q_OBJECT
public:
    explicit CTonveroDlg(QWidget* parent = nullptr);
    ~CTonveroDlg() override;

    // The views, owned here; as items of the dialog they live in client().
    std::unique_ptr<CStaveCtrl> stave;
    std::unique_ptr<CPianoCtrl> piano;
    std::unique_ptr<CGuitarCtrl> guitar;
    std::unique_ptr<CGuitarCtrl> bass;
    QCheckBox* pianoBox = nullptr;
    QCheckBox* guitarBox = nullptr;
    QCheckBox* bassBox = nullptr;
    DialogOptions* pOptions = nullptr;
    // Computer-keyboard note input, filtering the application's key events.
    tonvero::KeyboardFilter* keyboardFilter = nullptr;

    StaveLayoutTable StaveLayout{};
    PianoLayoutTable PianoLayout{};
    FretboardLayoutTable GuitarLayout{};
    FretboardLayoutTable BassLayout{};

    // The models.
    tonvero::Preferences& preferences() const { return *m_prefs; }
    tonvero::Exercise& exercise() const { return *m_exercise; }
    midi::MidiRouter& midi() const { return *m_midi; }
    tonvero::history::HistoryStore* history() const { return m_history.get(); }
    // Notes played in front of the microphone, as a fifth input.
    tonvero::MicrophoneAnswers* microphone() const { return m_microphone; }
    // What must be said without stopping an exercise, and the line that shows it.
    platform::Notices& noticeChannel() const { return *m_noticeChannel; }
    tonvero::NoticeLine* notices() const { return m_notices; }
    // Opening pieces: menus, drops, the command line.
    tonvero::PieceOpener* pieces() const { return m_pieces; }

    // Commands.
    void OnCommand(int id);
    QAction* menuAction(int id) const { return m_actions.value(id); }
    void StartStop(bool pause);
    void OnClef(int commandId);
    void OpenOptions();
    void OpenReadMe();
    void OpenHomePage();
    void OpenAbout();
    // A piece named on the command line or handed over by the desktop.
    bool OpenPiece(const QString& path);
    // The statistics window over all exercises, or one (sessionId).
    void OpenStatistics(qint64 sessionId = 0);
    // Sets a note range (key indexes) on the range editor and in the settings.
    void SetRange(int staff, int low, int high);

    // Items ↔ the exercise's counts and clock texts: edits 1014, 1015, 1016.
    bool UpdateData(bool save);
    QPushButton* startButton() const;
    QLabel* noteNameLabel() const;

    // Panels.
    void SetInstrumentBoxes();
    void OnInstrumentBox(int id);
    void UpdateLayout();
    void UpdateNoteBounds();
    void ShowStatistics(bool show);
    void DrawHelpOverlay();
    // Takes the help overlay off the screen; true when the window could be repainted.
    bool RemoveHelpOverlay();
    const tonvero::HelpOverlay* helpOverlay() const { return m_overlay; }
    bool bHelpShown = false;
    bool bFirstShow = true;
    bool bFirstSize = true;
    // The name of the note the stave shows; on screen when the settings or a wrong answer say so.
    QString strNoteName;
    void ShowNoteName(bool force) override;

    // CInstrumentCtrlListener: what is played on the instruments goes to the exercise.
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
    void CheckClefMenu(int commandId) override;
    void UpdateRangeCount() override;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createWindow();
    bool initDialog();
    void createModels();
    void connectExercise();
    void createMicrophone();
    void createShortcuts();
    // Accessible names and descriptions, and the Tab order.
    void setUpAccess();
    // Centred in a row of its own above the start button.
    void placeNotices();
    int noticeRowHeight() const;
    // Marks a note on the instruments the exercise names.
    void showMark(int note, int mark, int instruments);
    void showExamSummary(const QString& text, qint64 sessionId);

    std::unique_ptr<tonvero::Preferences> m_prefs;
    std::unique_ptr<platform::Notices> m_noticeChannel;
    std::unique_ptr<tonvero::history::HistoryStore> m_history;
    std::unique_ptr<tonvero::history::PracticeSettings> m_practice;
    std::unique_ptr<tonvero::Exercise> m_exercise;
    std::unique_ptr<midi::MidiRouter> m_midi;
    tonvero::MicrophoneAnswers* m_microphone = nullptr;
    QHash<int, QAction*> m_actions;
    QActionGroup* m_clefGroup = nullptr;
    QActionGroup* m_kindGroup = nullptr;
    // The single note's stave size, kept while a line of music takes more room.
    QSize m_singleStaveSize;
    void setExerciseKind(int kind);
    // The stored piece again at start-up; single notes when it cannot be read.
    void reopenStoredPiece();
    // The stave's size for a line of music, within the window.
    void fitStaveForLine();
    tonvero::PieceOpener* m_pieces = nullptr;
    // The user's clef while a piece's lines are written in their own (−1: none kept).
    int m_userClef = -1;
    void checkKindMenu();
    void placeNoteNameForPhrase();
    QPoint m_noteNameHome{-1, -1};
    platform::DataExchange m_ddx;
    tonvero::HelpOverlay* m_overlay = nullptr;
    tonvero::NoticeLine* m_notices = nullptr;
    // Statistics items 1014..1019 and their distance from the right edge and top, taken at the first showing.
    std::array<QWidget*, 6> aStatItems{};
    std::array<QPoint, 6> aStatOffsets{};
    int m_heldObserver = 0;
    // The window is growing to make room for the notice row.
    bool m_growing = false;
};
