// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/noticeline.h"
#include "app/tonverodlg.h"

#include "midi/devicewatcher.h"
#include "midi/midiexceptions.h"
#include "midi/shortmsg.h"
#include "platform/messagebox.h"
#include "platform/mmsystem.h"

#include <QMetaObject>

using mmsys::PortDirection;

namespace {
constexpr unsigned char kNoteOn = 0x90;
constexpr unsigned char kNoteOff = 0x80;
constexpr unsigned char kProgramChange = 0xC0;
constexpr unsigned char kChannel = 0;
constexpr unsigned char kVelocity = 127;

// The port ended (unplugged), between listing and opening or while open.
bool outputMissing(const std::exception& e)
{
    const auto* out = dynamic_cast<const midi::CMIDIOutException*>(&e);
    return out && out->code() == mmsys::MIDIERR_NODEVICE;
}
} // namespace

void CTonveroDlg::OpenMidiOutputPort(int id)
{
    if (deviceWatcher)
        deviceWatcher->setOpened(PortDirection::Output, {});
    midiOutDevice.Open(unsigned(id));
    if (!deviceWatcher)
        return;
    const auto& ports = deviceWatcher->ports(PortDirection::Output);
    if (id >= 0 && std::size_t(id) < ports.size())
        deviceWatcher->setOpened(PortDirection::Output, ports[std::size_t(id)].key);
}

void CTonveroDlg::OpenMidiOutputForExercise()
{
    m_midiOutFailed = false;
    m_outFallback = false;
    // An output lost in an earlier exercise: what was said of it is over.
    for (const QString& key : std::as_const(m_outGoneNotices))
        m_notices->clear(key);
    m_outGoneNotices.clear();
    if (!bMIDI_Out || !deviceWatcher)
        return;
    UpdateMidiChoice();
    const int id = deviceWatcher->choice(PortDirection::Output).id;
    if (id < 0)
        return;
    try {
        OpenMidiOutputPort(id);
        midi::CShortMsg(kProgramChange, kChannel, nPatch, 0, 0).Send(midiOutDevice);
    } catch (const std::exception& e) {
        if (outputMissing(e))
            fallBackToBuiltInSynth(QString::fromStdString(deviceWatcher->ports(PortDirection::Output)[std::size_t(id)].name));
        else
            reportMidiOutError(e);
    }
}

void CTonveroDlg::sendToOutput(midi::CShortMsg& msg)
{
    try {
        msg.Send(midiOutDevice);
    } catch (const std::exception& e) {
        if (!outputMissing(e) || m_outFallback) {
            reportMidiOutError(e);
            return;
        }
        // Unplugged before the watcher heard of it: the note goes to the built-in synthesizer.
        if (!fallBackToBuiltInSynth(openedPortName(false)))
            return;
        try {
            msg.Send(midiOutDevice);
        } catch (const std::exception& again) {
            reportMidiOutError(again);
        }
    }
}

void CTonveroDlg::SoundNoteOn(int note)
{
    if (!bMIDI_Out || note < 0 || note > 127)
        return;
    midi::CShortMsg msg(kNoteOn, kChannel, static_cast<unsigned char>(note), kVelocity, 0);
    sendToOutput(msg);
}

void CTonveroDlg::SoundNoteOff(int note)
{
    if (!bMIDI_Out || note < 0 || note > 127)
        return;
    midi::CShortMsg msg(kNoteOff, kChannel, static_cast<unsigned char>(note), 0, 0);
    sendToOutput(msg);
}

void CTonveroDlg::CloseMidiOutput()
{
    if (deviceWatcher)
        deviceWatcher->setOpened(PortDirection::Output, {});
    if (midiOutDevice.IsOpen())
        midiOutDevice.Close(); // releases notes still held
}

void CTonveroDlg::SetPatch(int program)
{
    nPatch = static_cast<uint8_t>(qBound(0, program, 127));
    try {
        midi::CShortMsg(kProgramChange, kChannel, nPatch, 0, 0).Send(midiOutDevice);
    } catch (const std::exception& e) {
        if (outputMissing(e))
            fallBackToBuiltInSynth(openedPortName(false)); // sends the program to the synthesizer
        else
            reportMidiError(QString::fromLocal8Bit(e.what()), tr("MIDI error"));
    }
}

bool CTonveroDlg::fallBackToBuiltInSynth(const QString& lostName)
{
    CloseMidiOutput();
    bool playing = false;
    if (bRunning && bMIDI_Out && deviceWatcher) {
        m_outFallback = true;
        const auto& ports = deviceWatcher->ports(PortDirection::Output);
        for (std::size_t id = 0; id < ports.size() && !playing; ++id) {
            if (ports[id].kind != mmsys::PortKind::BuiltIn)
                continue;
            try {
                OpenMidiOutputPort(int(id));
                midi::CShortMsg(kProgramChange, kChannel, nPatch, 0, 0).Send(midiOutDevice);
                playing = true;
            } catch (const std::exception&) {
                CloseMidiOutput();
            }
        }
    }
    const QString key = QStringLiteral("midi-out:gone:") + lostName;
    if (!m_outGoneNotices.contains(key))
        m_outGoneNotices << key;
    QString text;
    if (!bRunning)
        text = tr("MIDI-синтезатор «%1» отключён.").arg(lostName);
    else if (playing)
        text = tr("MIDI-синтезатор «%1» отключён. До конца упражнения звучит встроенный синтезатор.").arg(lostName);
    else
        text = tr("MIDI-синтезатор «%1» отключён. Упражнение продолжается без звука.").arg(lostName);
    m_notices->post(key, text);
    return playing;
}

void CTonveroDlg::onMidiOutputGone(const QString& name)
{
    fallBackToBuiltInSynth(name);
}

void CTonveroDlg::reportMidiOutError(const std::exception& e)
{
    // A device that failed once is closed: the exercise goes on silently
    // instead of raising a box at every note.
    CloseMidiOutput();
    if (m_midiOutFailed)
        return;
    m_midiOutFailed = true;
    reportMidiError(QString::fromLocal8Bit(e.what()), tr("MIDI error"));
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
