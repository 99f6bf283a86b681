// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/keyboardfilter.h"

#include "app/keymap.h"
#include "app/tonverodlg.h"
#include "exercise/exercise.h"
#include "settings/preferences.h"

#include <QKeyEvent>
#include <QWidget>

namespace tonvero {

KeyboardFilter::KeyboardFilter(CTonveroDlg* dlg) : QObject(dlg), m_dlg(dlg) {}

void KeyboardFilter::reset()
{
    bKeyDown = false;
}

bool KeyboardFilter::active() const
{
    return m_dlg->exercise().bRunning && m_dlg->preferences().bNoteInputFromCompKeyboard;
}

bool KeyboardFilter::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::WindowDeactivate && watched == m_dlg && m_dlg->exercise().bRunning) {
        // The key-up goes to another window: let the held note go now.
        if (bKeyDown)
            releaseHeldKey();
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
    auto* key = static_cast<QKeyEvent*>(event);
    // A focused instrument moves its focus and plays with keys of its own,
    // none of them a letter of the map: they reach it, and answer once.
    if (auto* instrument = qobject_cast<CInstrumentCtrl*>(widget); instrument && instrument->handlesKey(*key))
        return false;
    return handleKey(key, type == QEvent::KeyPress);
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

    if (m_dlg->exercise().bPaused) {
        // Letters reach the dialog, but a note held from before the pause is still let go.
        if (!down && !event->isAutoRepeat() && isHeldKey(event))
            releaseHeldKey();
        return false;
    }
    // A held key repeats as release-press pairs: neither is a new answer.
    if (event->isAutoRepeat())
        return true;

    if (down) {
        if (bKeyDown)
            return false;
        bKeyDown = true;
        nKeyDownNote = m_dlg->exercise().nCurNote;
        m_heldKey = keyIdentity(event);
        const bool right = m_dlg->piano->GetPitchClass(m_dlg->exercise().nCurNote) == pitchClass;
        m_heldNote = right ? CInstrumentCtrl::NoteFromKeyIndex(m_dlg->exercise().nCurNote) : -1;
        m_dlg->exercise().OnNoteOn(m_heldNote, false, AnswerSource::ComputerKeyboard);
        return true;
    }
    // Only the held key ends the answer: a second key let go first, or a key
    // pressed before the exercise started, has nothing to release.
    if (isHeldKey(event))
        releaseHeldKey();
    return true;
}

quint32 KeyboardFilter::keyIdentity(const QKeyEvent* event)
{
    // The scan code names the physical key whatever the layout; synthetic events have none.
    return event->nativeScanCode() ? event->nativeScanCode() : 0x80000000u | quint32(event->key());
}

bool KeyboardFilter::isHeldKey(const QKeyEvent* event) const
{
    return bKeyDown && keyIdentity(event) == m_heldKey;
}

void KeyboardFilter::releaseHeldKey()
{
    bKeyDown = false;
    // A wrong key answered as note −1, which marked and sounded nothing.
    if (m_heldNote >= 0)
        m_dlg->OnNoteOff(m_heldNote);
    m_heldNote = -1;
}

} // namespace tonvero
