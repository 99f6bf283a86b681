// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/tonverodlg.h"

#include "midi/shortmsg.h"
#include "platform/messagebox.h"
#include "platform/mmsystem.h"

#include <QMetaObject>

namespace {
constexpr unsigned char kNoteOn = 0x90;
constexpr unsigned char kNoteOff = 0x80;
constexpr unsigned char kProgramChange = 0xC0;
constexpr unsigned char kChannel = 0;
constexpr unsigned char kVelocity = 127;
} // namespace

int CTonveroDlg::OutputDeviceToOpen() const
{
    const int count = int(mmsys::midiOutGetNumDevs());
    return nOutDevId >= 0 && nOutDevId < count ? nOutDevId : 0;
}

void CTonveroDlg::OpenMidiOutputForExercise()
{
    m_midiOutFailed = false;
    if (mmsys::midiOutGetNumDevs() == 0 || !bMIDI_Out)
        return;
    try {
        midiOutDevice.Open(unsigned(OutputDeviceToOpen()));
        midi::CShortMsg(kProgramChange, kChannel, nPatch, 0, 0).Send(midiOutDevice);
    } catch (const std::exception& e) {
        reportMidiOutError(e);
    }
}

void CTonveroDlg::SoundNoteOn(int note)
{
    if (!bMIDI_Out || note < 0 || note > 127)
        return;
    try {
        midi::CShortMsg(kNoteOn, kChannel, static_cast<unsigned char>(note), kVelocity, 0).Send(midiOutDevice);
    } catch (const std::exception& e) {
        reportMidiOutError(e);
    }
}

void CTonveroDlg::SoundNoteOff(int note)
{
    if (!bMIDI_Out || note < 0 || note > 127)
        return;
    try {
        midi::CShortMsg(kNoteOff, kChannel, static_cast<unsigned char>(note), 0, 0).Send(midiOutDevice);
    } catch (const std::exception& e) {
        reportMidiOutError(e);
    }
}

void CTonveroDlg::CloseMidiOutput()
{
    if (midiOutDevice.IsOpen())
        midiOutDevice.Close(); // releases notes still held
}

void CTonveroDlg::SetPatch(int program)
{
    nPatch = static_cast<uint8_t>(qBound(0, program, 127));
    try {
        midi::CShortMsg(kProgramChange, kChannel, nPatch, 0, 0).Send(midiOutDevice);
    } catch (const std::exception& e) {
        reportMidiError(QString::fromLocal8Bit(e.what()), QStringLiteral("MIDI error"));
    }
}

void CTonveroDlg::reportMidiOutError(const std::exception& e)
{
    // A device that failed once is closed: the exercise goes on silently
    // instead of raising a box at every note.
    CloseMidiOutput();
    if (m_midiOutFailed)
        return;
    m_midiOutFailed = true;
    reportMidiError(QString::fromLocal8Bit(e.what()), QStringLiteral("MIDI error"));
}

void CTonveroDlg::reportMidiError(const QString& text, const QString& caption)
{
    // Queued: a box's own event loop must not run inside an answer step.
    QMetaObject::invokeMethod(
        this,
        [this, text, caption] {
            if (m_closing)
                return;
            // A stream of bad messages would open box after box inside each other's loops.
            if (m_midiErrorBoxOpen) {
                ++m_midiErrorsNotShown;
                return;
            }
            m_midiErrorBoxOpen = true;
            platform::MessageBox(this, text, caption, platform::MsgIcon::Error);
            m_midiErrorBoxOpen = false;
        },
        Qt::QueuedConnection);
}
