// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the tests of a main window over loopback MIDI ports share: a private
// settings home, the ports, the window, and the message boxes it raised.

#include "platform/mmsystem/midi_loopback.h"
#include "platform/ui/messagebox.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QList>
#include <QThread>
#include <memory>
#include <vector>

namespace testsupport {

template <class Window>
class MidiWindowFixture {
protected:
    std::unique_ptr<TempConfigHome> m_home;
    std::unique_ptr<mmsys::loopback::Scope> m_loop;
    std::unique_ptr<Window> m_dlg;
    QList<platform::MessageBoxCall> m_boxes;
    // A box raised on another thread than the GUI's.
    bool m_boxOffGuiThread = false;

    // Before each test: a fresh home; boxes are recorded, never shown.
    void setUpFixture()
    {
        m_home = std::make_unique<TempConfigHome>();
        m_boxes.clear();
        m_boxOffGuiThread = false;
        platform::setMessageBoxHook([this](const platform::MessageBoxCall& call) {
            if (QThread::currentThread() != qApp->thread())
                m_boxOffGuiThread = true;
            m_boxes << call;
        });
    }
    // After each test: the window goes before its ports, the ports before the home.
    void tearDownFixture()
    {
        m_dlg.reset();
        m_loop.reset();
        m_home.reset();
        platform::setMessageBoxHook({});
    }

    // The ports the next window finds; an open window goes first.
    void ports(int inputs, int outputs)
    {
        m_dlg.reset();
        m_loop.reset();
        m_loop = std::make_unique<mmsys::loopback::Scope>(inputs, outputs);
    }
    void ports(const std::vector<mmsys::loopback::PortSpec>& inputs,
               const std::vector<mmsys::loopback::PortSpec>& outputs)
    {
        m_dlg.reset();
        m_loop.reset();
        m_loop = std::make_unique<mmsys::loopback::Scope>(inputs, outputs);
    }

    // A window that makes no sound of its own and shows no clock, on screen.
    Window& quietWindow()
    {
        m_dlg = std::make_unique<Window>();
        m_dlg->preferences().bBeep = 0;
        m_dlg->preferences().bShowStatistics = 0;
        m_dlg->show();
        settle();
        return *m_dlg;
    }

    // Lets the loopback deliver, the watcher re-read the lists and the window act on it.
    static void settle()
    {
        for (int i = 0; i < 2; ++i) {
            mmsys::loopback::flush();
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }
};

} // namespace testsupport
