// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/noticeline.h"
#include "app/tonverodlg.h"

#include "dialogs/dialogoptions.h"
#include "midi/devicewatcher.h"
#include "midi/midiexceptions.h"
#include "midi/shortmsg.h"
#include "platform/messagebox.h"
#include "platform/mmsystem.h"

#include <QMetaObject>
#include <QTimer>

using mmsys::PortDirection;

namespace {
constexpr unsigned char kNoteOn = 0x90;
constexpr unsigned char kNoteOff = 0x80;
// How long "connected" stays in the notice line: long enough to read, gone before it is stale.
constexpr int kConnectedNoticeMs = 5000;

const QString kInErrorNotice = QStringLiteral("midi-in:error");
const QString kInConnectedNotice = QStringLiteral("midi-in:connected");

// A port missing when opened ended between listing and opening: the watcher hears of it too.
bool portMissing(const std::exception& e)
{
    const auto* in = dynamic_cast<const midi::CMIDIInException*>(&e);
    return in && in->code() == mmsys::MIDIERR_NODEVICE;
}
} // namespace

void CTonveroDlg::connectDeviceWatcher()
{
    deviceWatcher = new midi::DeviceWatcher(this);
    connect(deviceWatcher, &midi::DeviceWatcher::portsChanged, this, [this] {
        if (pOptions)
            pOptions->refreshDeviceLists();
    });
    connect(deviceWatcher, &midi::DeviceWatcher::inputGone, this, &CTonveroDlg::onMidiInputGone);
    connect(deviceWatcher, &midi::DeviceWatcher::chosenInputAppeared, this, &CTonveroDlg::onMidiInputAppeared);
    connect(deviceWatcher, &midi::DeviceWatcher::keyboardAppeared, this, &CTonveroDlg::onMidiInputAppeared);
    connect(deviceWatcher, &midi::DeviceWatcher::outputGone, this, &CTonveroDlg::onMidiOutputGone);
    // The chosen output that comes back is opened by the next exercise: none changes its sound midway.
}

void CTonveroDlg::UpdateMidiChoice()
{
    if (!deviceWatcher)
        return;
    deviceWatcher->setChosen(PortDirection::Input, strInDevName.toStdString(), nInDevId);
    deviceWatcher->setChosen(PortDirection::Output, strOutDevName.toStdString(), nOutDevId);
}

QString CTonveroDlg::openedPortName(bool input) const
{
    if (!deviceWatcher)
        return {};
    const PortDirection direction = input ? PortDirection::Input : PortDirection::Output;
    const std::string& key = deviceWatcher->opened(direction);
    for (const mmsys::PortInfo& p : deviceWatcher->ports(direction))
        if (!key.empty() && p.key == key)
            return QString::fromStdString(p.name);
    return {};
}

void CTonveroDlg::OpenMidiInputPort(int id)
{
    midiInDevice.SetReceiver(this);
    if (deviceWatcher)
        deviceWatcher->setOpened(PortDirection::Input, {});
    midiInDevice.Open(unsigned(id));
    if (!deviceWatcher)
        return;
    const auto& ports = deviceWatcher->ports(PortDirection::Input);
    if (id >= 0 && std::size_t(id) < ports.size())
        deviceWatcher->setOpened(PortDirection::Input, ports[std::size_t(id)].key);
    // A keyboard is back (or another took its place): what was said of the old one is over.
    for (const QString& key : std::as_const(m_inGoneNotices))
        m_notices->clear(key);
    m_inGoneNotices.clear();
    m_notices->clear(kInErrorNotice);
}

void CTonveroDlg::OpenMidiInput()
{
    UpdateMidiChoice();
    const int id = deviceWatcher ? deviceWatcher->choice(PortDirection::Input).id : -1;
    if (id < 0)
        return; // no keyboard: one plugged in later is taken then
    try {
        OpenMidiInputPort(id);
    } catch (const std::exception& e) {
        if (portMissing(e))
            return;
        platform::MessageBox(this, QString::fromLocal8Bit(e.what()), tr("MIDI init Error"),
                             platform::MsgIcon::Error);
    }
}

bool CTonveroDlg::reopenMidiInput(int id)
{
    try {
        OpenMidiInputPort(id);
        return true;
    } catch (const std::exception& e) {
        if (!portMissing(e)) {
            const auto& ports = deviceWatcher->ports(PortDirection::Input);
            const QString name = id >= 0 && std::size_t(id) < ports.size()
                ? QString::fromStdString(ports[std::size_t(id)].name) : QString();
            m_notices->post(kInErrorNotice, tr("MIDI-клавиатуру «%1» не удалось открыть: %2")
                                                .arg(name, QString::fromLocal8Bit(e.what())));
        }
    }
    return false;
}

void CTonveroDlg::StartMidiInput()
{
    // A keyboard that was missing or unplugged is looked for again.
    if (bMIDI_In && deviceWatcher && (!midiInDevice.IsOpen() || midiInDevice.IsPortGone())) {
        UpdateMidiChoice();
        const int id = deviceWatcher->choice(PortDirection::Input).id;
        if (id >= 0)
            reopenMidiInput(id);
    }
    if (!midiInDevice.IsOpen())
        return;
    try {
        midiInDevice.StartReceiving();
    } catch (const std::exception& e) {
        if (!portMissing(e))
            reportMidiError(QString::fromLocal8Bit(e.what()), tr("MIDI error"));
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
    if (deviceWatcher)
        deviceWatcher->setOpened(PortDirection::Input, {});
    try {
        midiInDevice.Close();
    } catch (const std::exception&) {
        // The port refused to close while the program ends: nothing left to do with it.
    }
}

void CTonveroDlg::onMidiInputGone(const QString& name)
{
    // The notes it held came as Note Offs before this, through the usual road.
    try {
        midiInDevice.Close();
    } catch (const std::exception&) {
        // A port that ended refuses nothing but the odd driver; it is reopened before the next use.
    }
    if (!bMIDI_In)
        return; // not listened to: nothing lost
    const QString key = QStringLiteral("midi-in:gone:") + name;
    if (!m_inGoneNotices.contains(key))
        m_inGoneNotices << key;
    m_notices->clear(kInConnectedNotice);
    m_notices->post(key, bRunning
                             ? tr("MIDI-клавиатура «%1» отключена. Упражнение продолжается; она подключится снова, "
                                  "когда появится.").arg(name)
                             : tr("MIDI-клавиатура «%1» отключена; она подключится снова, когда появится.").arg(name));
}

void CTonveroDlg::onMidiInputAppeared(int id)
{
    if (!bMIDI_In || !reopenMidiInput(id))
        return;
    if (bRunning || bAppControlByMIDI)
        StartMidiInput();
    m_notices->post(kInConnectedNotice, tr("MIDI-клавиатура «%1» подключена.").arg(openedPortName(true)));
    QTimer::singleShot(kConnectedNoticeMs, m_notices, [line = m_notices] { line->clear(kInConnectedNotice); });
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
    reportMidiError(tr("An illegal MIDI short message was received."), tr("Error"));
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
