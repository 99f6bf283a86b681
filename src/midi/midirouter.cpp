// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midirouter.h"

#include "midi/devicewatcher.h"
#include "midi/midiexceptions.h"
#include "midi/shortmsg.h"
#include "platform/mmsystem/mmsystem.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/notices.h"
#include "settings/preferences.h"

#include <QApplication>
#include <QMetaObject>
#include <QTimer>
#include <QWidget>

using mmsys::PortDirection;

namespace midi {

namespace {
constexpr unsigned char kProgramChange = 0xC0;
constexpr unsigned char kChannel = 0;
constexpr unsigned char kVelocity = 127;
constexpr unsigned char kNoteOn = 0x90;
constexpr unsigned char kNoteOff = 0x80;
// How long "connected" stays in the notice line: long enough to read, gone before it is stale.
constexpr int kConnectedNoticeMs = 5000;

const QString kInErrorNotice = QStringLiteral("midi-in:error");
const QString kInConnectedNotice = QStringLiteral("midi-in:connected");

// A port missing when opened ended between listing and opening: the watcher hears of it too.
bool portMissing(const std::exception& e)
{
    const auto* in = dynamic_cast<const CMIDIInException*>(&e);
    return in && in->code() == mmsys::MIDIERR_NODEVICE;
}


// The port ended (unplugged), between listing and opening or while open.
bool outputMissing(const std::exception& e)
{
    const auto* out = dynamic_cast<const CMIDIOutException*>(&e);
    return out && out->code() == mmsys::MIDIERR_NODEVICE;
}

// Boxes belong to the window the user is in.
QWidget* boxParent()
{
    return QApplication::activeWindow();
}
} // namespace

MidiRouter::MidiRouter(tonvero::Preferences& prefs, platform::Notices& notices, QObject* parent)
    : QObject(parent), m_prefs(prefs), m_notices(notices)
{
    m_watcher = new DeviceWatcher(this);
    connect(m_watcher, &DeviceWatcher::portsChanged, this, &MidiRouter::portsChanged);
    connect(m_watcher, &DeviceWatcher::inputGone, this, &MidiRouter::onMidiInputGone);
    connect(m_watcher, &DeviceWatcher::chosenInputAppeared, this, &MidiRouter::onMidiInputAppeared);
    connect(m_watcher, &DeviceWatcher::keyboardAppeared, this, &MidiRouter::onMidiInputAppeared);
    connect(m_watcher, &DeviceWatcher::outputGone, this, &MidiRouter::onMidiOutputGone);
    // The chosen output that comes back is opened by the next exercise: none changes its sound midway.
}

MidiRouter::~MidiRouter()
{
    shutDown();
    CloseMidiInput();
    CloseMidiOutput();
}

void MidiRouter::shutDown()
{
    m_closing = true; // MIDI events still queued find the router going
    // No port change reaches a router that is going.
    delete m_watcher;
    m_watcher = nullptr;
}

void MidiRouter::setExerciseRunning(bool running)
{
    if (m_running && !running) {
        for (const QString& key : std::as_const(m_outGoneNotices))
            m_notices.clear(key);
        m_outGoneNotices.clear();
    }
    m_running = running;
}

void MidiRouter::UpdateMidiChoice()
{
    if (!m_watcher)
        return;
    m_watcher->setChosen(PortDirection::Input, m_prefs.strInDevName.toStdString(), m_prefs.nInDevId);
    m_watcher->setChosen(PortDirection::Output, m_prefs.strOutDevName.toStdString(), m_prefs.nOutDevId);
}

QString MidiRouter::openedPortName(bool input) const
{
    if (!m_watcher)
        return {};
    const PortDirection direction = input ? PortDirection::Input : PortDirection::Output;
    const std::string& key = m_watcher->opened(direction);
    for (const mmsys::PortInfo& p : m_watcher->ports(direction))
        if (!key.empty() && p.key == key)
            return QString::fromStdString(p.name);
    return {};
}

void MidiRouter::OpenMidiInputPort(int id)
{
    midiInDevice.SetReceiver(this);
    if (m_watcher)
        m_watcher->setOpened(PortDirection::Input, {});
    midiInDevice.Open(unsigned(id));
    if (!m_watcher)
        return;
    const auto& ports = m_watcher->ports(PortDirection::Input);
    if (id >= 0 && std::size_t(id) < ports.size())
        m_watcher->setOpened(PortDirection::Input, ports[std::size_t(id)].key);
    // A keyboard is back (or another took its place): what was said of the old one is over.
    for (const QString& key : std::as_const(m_inGoneNotices))
        m_notices.clear(key);
    m_inGoneNotices.clear();
    m_notices.clear(kInErrorNotice);
}

void MidiRouter::OpenMidiInput()
{
    UpdateMidiChoice();
    const int id = m_watcher ? m_watcher->choice(PortDirection::Input).id : -1;
    if (id < 0)
        return; // no keyboard: one plugged in later is taken then
    try {
        OpenMidiInputPort(id);
    } catch (const std::exception& e) {
        if (portMissing(e))
            return;
        platform::MessageBox(boxParent(), QString::fromLocal8Bit(e.what()), tr("MIDI init Error"),
                             platform::MsgIcon::Error);
    }
}

bool MidiRouter::reopenMidiInput(int id)
{
    try {
        OpenMidiInputPort(id);
        return true;
    } catch (const std::exception& e) {
        if (!portMissing(e)) {
            const auto& ports = m_watcher->ports(PortDirection::Input);
            const QString name = id >= 0 && std::size_t(id) < ports.size()
                ? QString::fromStdString(ports[std::size_t(id)].name) : QString();
            m_notices.post(kInErrorNotice, tr("MIDI-клавиатуру «%1» не удалось открыть: %2")
                                                .arg(name, QString::fromLocal8Bit(e.what())));
        }
    }
    return false;
}

void MidiRouter::StartMidiInput()
{
    // A keyboard that was missing or unplugged is looked for again.
    if (m_prefs.bMIDI_In && m_watcher && (!midiInDevice.IsOpen() || midiInDevice.IsPortGone())) {
        UpdateMidiChoice();
        const int id = m_watcher->choice(PortDirection::Input).id;
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

void MidiRouter::StopMidiInputAfterExercise()
{
    // With program control the input stays live, so that a MIDI key can start the next exercise.
    if (m_prefs.bMIDI_In && m_prefs.bAppControlByMIDI)
        return;
    if (midiInDevice.IsOpen() && midiInDevice.IsReceiving())
        midiInDevice.StopReceiving();
}

void MidiRouter::CloseMidiInput()
{
    // First the receiver: a port that refuses to close must not call into a window that is going.
    midiInDevice.SetReceiver(nullptr);
    if (m_watcher)
        m_watcher->setOpened(PortDirection::Input, {});
    try {
        midiInDevice.Close();
    } catch (const std::exception&) {
        // The port refused to close while the program ends: nothing left to do with it.
    }
}

void MidiRouter::onMidiInputGone(const QString& name)
{
    // The notes it held came as Note Offs before this, through the usual road.
    try {
        midiInDevice.Close();
    } catch (const std::exception&) {
        // A port that ended refuses nothing but the odd driver; it is reopened before the next use.
    }
    if (!m_prefs.bMIDI_In)
        return; // not listened to: nothing lost
    const QString key = QStringLiteral("midi-in:gone:") + name;
    if (!m_inGoneNotices.contains(key))
        m_inGoneNotices << key;
    m_notices.clear(kInConnectedNotice);
    m_notices.post(key, m_running
                             ? tr("MIDI-клавиатура «%1» отключена. Упражнение продолжается; она подключится снова, "
                                  "когда появится.").arg(name)
                             : tr("MIDI-клавиатура «%1» отключена; она подключится снова, когда появится.").arg(name));
}

void MidiRouter::onMidiInputAppeared(int id)
{
    if (!m_prefs.bMIDI_In || !reopenMidiInput(id))
        return;
    if (m_running || m_prefs.bAppControlByMIDI)
        StartMidiInput();
    m_notices.post(kInConnectedNotice, tr("MIDI-клавиатура «%1» подключена.").arg(openedPortName(true)));
    QTimer::singleShot(kConnectedNoticeMs, &m_notices, [notices = &m_notices] { notices->clear(kInConnectedNotice); });
}

void MidiRouter::OnShortMsg(std::uint32_t msg, std::uint32_t)
{
    // Callback thread: nothing of the window is touched here. Queued calls keep the arrival order.
    QMetaObject::invokeMethod(this, [this, msg] { HandleShortMsg(msg); }, Qt::QueuedConnection);
}

void MidiRouter::OnShortMsgError(std::uint32_t, std::uint32_t)
{
    reportMidiError(tr("An illegal MIDI short message was received."), tr("Error"));
}

void MidiRouter::OnLongMsg(const char*, std::uint32_t, std::uint32_t)
{
}

void MidiRouter::OnLongMsgError(const char*, std::uint32_t, std::uint32_t)
{
}

void MidiRouter::HandleShortMsg(std::uint32_t msg)
{
    if (m_closing || !m_prefs.bMIDI_In)
        return;
    const CShortMsg m(msg, 0);
    const unsigned char command = m.GetCommand();
    if (command == kNoteOn && m.GetData2() > 0)
        emit noteOn(m.GetData1());
    else if (command == kNoteOn || command == kNoteOff)
        emit noteOff(m.GetData1());
}

void MidiRouter::OpenMidiOutputPort(int id)
{
    if (m_watcher)
        m_watcher->setOpened(PortDirection::Output, {});
    midiOutDevice.Open(unsigned(id));
    if (!m_watcher)
        return;
    const auto& ports = m_watcher->ports(PortDirection::Output);
    if (id >= 0 && std::size_t(id) < ports.size())
        m_watcher->setOpened(PortDirection::Output, ports[std::size_t(id)].key);
}

void MidiRouter::OpenMidiOutputForExercise()
{
    m_midiOutFailed = false;
    m_outFallback = false;
    // An output lost in an earlier exercise: what was said of it is over.
    for (const QString& key : std::as_const(m_outGoneNotices))
        m_notices.clear(key);
    m_outGoneNotices.clear();
    if (!m_prefs.bMIDI_Out || !m_watcher)
        return;
    UpdateMidiChoice();
    const int id = m_watcher->choice(PortDirection::Output).id;
    if (id < 0)
        return;
    try {
        OpenMidiOutputPort(id);
        CShortMsg(kProgramChange, kChannel, m_prefs.nPatch, 0, 0).Send(midiOutDevice);
    } catch (const std::exception& e) {
        if (outputMissing(e))
            fallBackToBuiltInSynth(QString::fromStdString(m_watcher->ports(PortDirection::Output)[std::size_t(id)].name));
        else
            reportMidiOutError(e);
    }
}

void MidiRouter::sendToOutput(CShortMsg& msg)
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

void MidiRouter::SoundNoteOn(int note)
{
    if (!m_prefs.bMIDI_Out || note < 0 || note > 127)
        return;
    CShortMsg msg(kNoteOn, kChannel, static_cast<unsigned char>(note), kVelocity, 0);
    sendToOutput(msg);
}

void MidiRouter::SoundNoteOff(int note)
{
    if (!m_prefs.bMIDI_Out || note < 0 || note > 127)
        return;
    CShortMsg msg(kNoteOff, kChannel, static_cast<unsigned char>(note), 0, 0);
    sendToOutput(msg);
}

void MidiRouter::CloseMidiOutput()
{
    if (m_watcher)
        m_watcher->setOpened(PortDirection::Output, {});
    if (midiOutDevice.IsOpen())
        midiOutDevice.Close(); // releases notes still held
}

void MidiRouter::SetPatch(int program)
{
    m_prefs.nPatch = static_cast<std::uint8_t>(qBound(0, program, 127));
    try {
        CShortMsg(kProgramChange, kChannel, m_prefs.nPatch, 0, 0).Send(midiOutDevice);
    } catch (const std::exception& e) {
        if (outputMissing(e))
            fallBackToBuiltInSynth(openedPortName(false)); // sends the program to the synthesizer
        else
            reportMidiError(QString::fromLocal8Bit(e.what()), tr("MIDI error"));
    }
}

bool MidiRouter::fallBackToBuiltInSynth(const QString& lostName)
{
    CloseMidiOutput();
    bool playing = false;
    if (m_running && m_prefs.bMIDI_Out && m_watcher) {
        m_outFallback = true;
        const auto& ports = m_watcher->ports(PortDirection::Output);
        for (std::size_t id = 0; id < ports.size() && !playing; ++id) {
            if (ports[id].kind != mmsys::PortKind::BuiltIn)
                continue;
            try {
                OpenMidiOutputPort(int(id));
                CShortMsg(kProgramChange, kChannel, m_prefs.nPatch, 0, 0).Send(midiOutDevice);
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
    if (!m_running)
        text = tr("MIDI-синтезатор «%1» отключён.").arg(lostName);
    else if (playing)
        text = tr("MIDI-синтезатор «%1» отключён. До конца упражнения звучит встроенный синтезатор.").arg(lostName);
    else
        text = tr("MIDI-синтезатор «%1» отключён. Упражнение продолжается без звука.").arg(lostName);
    m_notices.post(key, text);
    return playing;
}

void MidiRouter::onMidiOutputGone(const QString& name)
{
    fallBackToBuiltInSynth(name);
}

void MidiRouter::reportMidiOutError(const std::exception& e)
{
    // A device that failed once is closed: the exercise goes on silently
    // instead of raising a box at every note.
    CloseMidiOutput();
    if (m_midiOutFailed)
        return;
    m_midiOutFailed = true;
    reportMidiError(QString::fromLocal8Bit(e.what()), tr("MIDI error"));
}

void MidiRouter::reportMidiError(const QString& text, const QString& caption)
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
            platform::MessageBox(boxParent(), text, caption, platform::MsgIcon::Error);
            m_midiErrorBoxOpen = false;
        },
        Qt::QueuedConnection);
}

} // namespace midi
