// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/keyboardfilter.h"

#include "app/keymap.h"
#include "app/tonverodlg.h"

#include <QKeyEvent>
#include <QWidget>

namespace tonvero {

KeyboardFilter::KeyboardFilter(CTonveroDlg* dlg) : QObject(dlg), m_dlg(dlg) {}

bool KeyboardFilter::active() const
{
    return m_dlg->bRunning && m_dlg->bNoteInputFromCompKeyboard;
}

bool KeyboardFilter::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::WindowDeactivate && watched == m_dlg && m_dlg->bRunning) {
        // The key-up goes to another window: let the held note go now.
        if (m_dlg->bKeyDown)
            releaseHeldKey(m_heldPitchClass);
        return false;
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    if (!active())
        return false;
    // Only the main window and its children; the options dialog gets its keys as typed.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != m_dlg)
        return false;
    return handleKey(static_cast<QKeyEvent*>(event), type == QEvent::KeyPress);
}

bool KeyboardFilter::handleKey(QKeyEvent* event, bool down)
{
    const int key = event->key();
    if (keymap::isEnterKey(key) || keymap::isEscapeKey(key))
        return !down;
    if (keymap::isPauseKey(key)) {
        if (down && !event->isAutoRepeat())
            m_dlg->StartStop(true);
        return true;
    }
    const int pitchClass = keymap::pitchClassForKey(event->nativeScanCode(), key);
    if (pitchClass < 0)
        return true;

    if (m_dlg->bPaused) {
        // Letters reach the dialog, but a note held from before the pause is still let go.
        if (!down && !event->isAutoRepeat() && m_dlg->bKeyDown)
            releaseHeldKey(pitchClass);
        return false;
    }
    // A held key repeats as release-press pairs: neither is a new answer.
    if (event->isAutoRepeat())
        return true;

    if (down) {
        if (m_dlg->bKeyDown)
            return false;
        m_dlg->bKeyDown = true;
        m_dlg->nKeyDownNote = m_dlg->nCurNote;
        m_heldPitchClass = pitchClass;
        const bool right = m_dlg->piano->GetPitchClass(m_dlg->nCurNote) == pitchClass;
        m_dlg->OnNoteOn(right ? CInstrumentCtrl::NoteFromKeyIndex(m_dlg->nCurNote) : -1, false);
        return true;
    }
    // A key pressed before the exercise started has no answer to end.
    if (m_dlg->bKeyDown)
        releaseHeldKey(pitchClass);
    return true;
}

void KeyboardFilter::releaseHeldKey(int pitchClass)
{
    m_dlg->bKeyDown = false;
    const int held = m_dlg->nKeyDownNote;
    if (held >= 0 && m_dlg->piano->GetPitchClass(held) == pitchClass)
        m_dlg->OnNoteOff(CInstrumentCtrl::NoteFromKeyIndex(held));
}

} // namespace tonvero
