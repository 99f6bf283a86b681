// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "app/templates.h"
#include "app/tonverodlg.h"
#include "platform/ui/messagebox.h"
#include "support/testenv.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <memory>
#include <vector>

// What the exercise tests share: a quiet main window on screen, instruments
// and ranges chosen, and points on the instruments found through their own hit tests.
namespace exercisehelpers {

// A point on the control where a click plays the note: the middle of the
// hit area's middle row, as a user aims. A null point when the note is not there.
template <class Ctrl>
QPoint pointForNote(const Ctrl& ctrl, int note)
{
    std::vector<QPoint> hits;
    for (int y = 0; y < ctrl.height(); ++y)
        for (int x = 0; x < ctrl.width(); ++x)
            if (ctrl.HitTest(QPoint(x, y)) == note)
                hits.emplace_back(x, y);
    if (hits.empty())
        return {};
    const int row = hits[hits.size() / 2].y();
    std::vector<QPoint> inRow;
    for (const QPoint& p : hits)
        if (p.y() == row)
            inRow.push_back(p);
    return inRow[inRow.size() / 2];
}

// The main window as the user sees it, with no beep and no sound output, so tests stay quiet and quick.
// Message boxes are logged, not shown: a test must never wait for a click.
inline std::unique_ptr<CTonveroDlg> openWindow()
{
    platform::setMessageBoxHook(
        [](const platform::MessageBoxCall& call) { qWarning("message box: %s", qPrintable(call.text)); });
    auto d = std::make_unique<CTonveroDlg>();
    d->preferences().bBeep = 0;
    d->preferences().bMIDI_Out = 0;
    d->show();
    if (!QTest::qWaitForWindowExposed(d.get()))
        qWarning("window not exposed");
    return d;
}

inline void useInstruments(CTonveroDlg& d, bool pianoOn, bool guitarOn, bool bassOn)
{
    d.pianoBox->setChecked(pianoOn);
    d.guitarBox->setChecked(guitarOn);
    d.bassBox->setChecked(bassOn);
    d.preferences().bPianoKeys = pianoOn;
    d.preferences().bGuitar6 = guitarOn;
    d.preferences().bGuitar4 = bassOn;
}

// One treble staff over the keys that the piano, the guitar and the bass all have.
inline void useCommonTrebleRange(CTonveroDlg& d, int low = 31, int high = 58)
{
    d.OnClef(tonvero::CmdClefTreble);
    d.SetRange(0, low, high);
}

inline int expectedNote(const CTonveroDlg& d)
{
    return CInstrumentCtrl::NoteFromKeyIndex(d.exercise().nCurNote);
}

inline int markOf(int note)
{
    int key = 0;
    return CInstrumentCtrl::GetKeyIndex(note, key) ? CInstrumentCtrl::KeyTable[key].mark : 0;
}

inline int countMarks(int mark)
{
    int n = 0;
    for (const KeyInfo& k : CInstrumentCtrl::KeyTable)
        n += k.mark == mark ? 1 : 0;
    return n;
}

// A note the instrument has that is not the expected one, near it.
template <class Ctrl>
int wrongNoteNear(const Ctrl& ctrl, int expected)
{
    for (int d = 1; d < 12; ++d)
        for (int n : {expected + d, expected - d})
            if (!pointForNote(ctrl, n).isNull())
                return n;
    return -1;
}

inline QString noteNameShown(const CTonveroDlg& d)
{
    return d.noteNameLabel()->text();
}

} // namespace exercisehelpers
