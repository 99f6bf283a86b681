// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class CTonveroDlg;
class QKeyEvent;

namespace tonvero {

// The computer keyboard as a note input, installed on the application so it
// sees the keys of the main window and its children before they are
// dispatched. Active only while an exercise runs with note input from the
// computer keyboard on: mapped keys answer by pitch class (the current note
// in any octave counts as that note; another key arrives as note −1), Pause
// pauses and resumes, Enter and Escape work as in any dialog, other keys are
// swallowed, except the keys with which a focused instrument control moves
// its focus and plays. Shortcuts (F5, F6, Ctrl+...) never get here as keys.
class KeyboardFilter : public QObject {
    Q_OBJECT
public:
    explicit KeyboardFilter(CTonveroDlg* dlg);

    // An exercise runs and the computer keyboard is a note input.
    bool active() const;
    // A key is held down as an answer, and the note shown when it went down.
    bool bKeyDown = false;
    int nKeyDownNote = -1;
    // An exercise starts or stops: no key is held as an answer.
    void reset();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // True when the event was consumed.
    bool handleKey(QKeyEvent* event, bool down);
    static quint32 keyIdentity(const QKeyEvent* event);
    bool isHeldKey(const QKeyEvent* event) const;
    // The held key goes up: the note it answered with is released.
    void releaseHeldKey();

    CTonveroDlg* m_dlg;
    quint32 m_heldKey = 0;
    int m_heldNote = -1;
};

} // namespace tonvero
