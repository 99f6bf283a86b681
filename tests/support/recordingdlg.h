// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window, recording what reaches its listener operations and on which thread.

#include "app/tonverodlg.h"

#include <QCoreApplication>
#include <QThread>

#include <vector>

namespace testsupport {

class RecordingDlg : public CTonveroDlg {
public:
    struct Call {
        bool on;
        int note;
        bool fromMidi;
        bool onGuiThread;
        bool operator==(const Call&) const = default;
    };
    std::vector<Call> calls;

    void OnNoteOn(int note, bool fromMidi) override
    {
        calls.push_back({true, note, fromMidi, QThread::currentThread() == qApp->thread()});
        CTonveroDlg::OnNoteOn(note, fromMidi);
    }
    void OnNoteOff(int note) override
    {
        calls.push_back({false, note, false, QThread::currentThread() == qApp->thread()});
        CTonveroDlg::OnNoteOff(note);
    }
};

} // namespace testsupport
