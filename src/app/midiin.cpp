// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tonverodlg.h"

#include "midi/shortmsg.h"
#include "platform/messagebox.h"
#include "platform/mmsystem.h"

#include <QMetaObject>

namespace {
constexpr unsigned char kNoteOn = 0x90;
constexpr unsigned char kNoteOff = 0x80;
} // namespace

int CTonveroDlg::InputDeviceToOpen() const
{
    const int count = int(mmsys::midiInGetNumDevs());
    return nInDevId >= 0 && nInDevId < count ? nInDevId : 0;
}

void CTonveroDlg::OpenMidiInput()
{
    if (mmsys::midiInGetNumDevs() == 0)
        return;
    try {
        midiInDevice.SetReceiver(this);
        midiInDevice.Open(unsigned(InputDeviceToOpen()));
    } catch (const std::exception& e) {
        platform::MessageBox(this, QString::fromLocal8Bit(e.what()), QStringLiteral("MIDI init Error"),
                             platform::MsgIcon::Error);
    }
}

void CTonveroDlg::StartMidiInput()
{
    if (mmsys::midiInGetNumDevs() == 0)
        return;
    try {
        midiInDevice.StartReceiving();
    } catch (const std::exception& e) {
        reportMidiError(QString::fromLocal8Bit(e.what()), QStringLiteral("MIDI error"));
    }
}

void CTonveroDlg::StopMidiInputAfterExercise()
{
    // With program control the input stays live, so that a MIDI key can start the next exercise.
    if (bMIDI_In && bAppControlByMIDI)
        return;
    if (midiInDevice.IsOpen() && midiInDevice.IsReceiving())
        midiInDevice.StopReceiving();
}

void CTonveroDlg::CloseMidiInput()
{
    // First the receiver: a port that refuses to close must not call into a window that is going.
    midiInDevice.SetReceiver(nullptr);
    try {
        midiInDevice.Close();
    } catch (const std::exception&) {
        // The port refused to close while the program ends: nothing left to do with it.
    }
}

bool CTonveroDlg::HandleControlKey(int note, bool fromMidi)
{
    if (!bMIDI_In || !bAppControlByMIDI || !fromMidi)
        return false;
    if (bRunning) {
        if (note == nStopKey) {
            StartStop(false);
            return true;
        }
        if (note == nPauseKey) {
            StartStop(true);
            return true;
        }
        return false;
    }
    if (note == nStartKey) {
        StartStop(false);
        return true;
    }
    return false;
}

void CTonveroDlg::OnShortMsg(std::uint32_t msg, std::uint32_t)
{
    // Callback thread: nothing of the window is touched here. Queued calls keep the arrival order.
    QMetaObject::invokeMethod(this, [this, msg] { HandleShortMsg(msg); }, Qt::QueuedConnection);
}

void CTonveroDlg::OnShortMsgError(std::uint32_t, std::uint32_t)
{
    reportMidiError(QStringLiteral("An illegal MIDI short message was received."), QStringLiteral("Error"));
}

void CTonveroDlg::OnLongMsg(const char*, std::uint32_t, std::uint32_t)
{
}

void CTonveroDlg::OnLongMsgError(const char*, std::uint32_t, std::uint32_t)
{
}

void CTonveroDlg::HandleShortMsg(std::uint32_t msg)
{
    if (m_closing || !bMIDI_In)
        return;
    const midi::CShortMsg m(msg, 0);
    const unsigned char command = m.GetCommand();
    if (command == kNoteOn && m.GetData2() > 0)
        OnNoteOn(m.GetData1(), true);
    else if (command == kNoteOn || command == kNoteOff)
        OnNoteOff(m.GetData1());
}
