// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mmsystem/midi_backend.h"
#include "platform/mmsystem/midi_loopback.h"
#include "platform/mmsystem/mididevices.h"
#include "platform/mmsystem/mmsystem.h"

#include <QTest>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

using namespace mmsys;
namespace lb = mmsys::loopback;

Q_DECLARE_METATYPE(mmsys::PortKind)

namespace {

const lb::PortSpec kThrough{"Midi Through:Midi Through Port-0", PortKind::Through};
const lb::PortSpec kKeyboard{"USB Keyboard:USB Keyboard MIDI 1", PortKind::Hardware};
const lb::PortSpec kPiano{"Digital Piano:Digital Piano MIDI 1", PortKind::Hardware};
const lb::PortSpec kSynth{"FLUID Synth:Synth input port", PortKind::Software};

struct Event {
    UINT msg;
    DWORD_PTR p1;
};

struct Recorder {
    std::mutex mutex;
    std::vector<Event> events;

    std::vector<UINT> messages()
    {
        std::lock_guard lock(mutex);
        std::vector<UINT> out;
        for (const Event& e : events)
            out.push_back(e.msg);
        return out;
    }
};

void inProc(HMIDIIN, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR)
{
    auto* r = reinterpret_cast<Recorder*>(instance);
    std::lock_guard lock(r->mutex);
    r->events.push_back({msg, p1});
}

void outProc(HMIDIOUT, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2)
{
    inProc(nullptr, msg, instance, p1, p2);
}

// Records announcements with the thread they came on.
struct Announcements {
    std::mutex mutex;
    std::vector<PortChange> changes;
    std::vector<std::thread::id> threads;
    int token = 0;

    Announcements()
    {
        token = addPortChangeHandler([this](const PortChange& c) {
            std::lock_guard lock(mutex);
            changes.push_back(c);
            threads.push_back(std::this_thread::get_id());
        });
    }
    ~Announcements() { removePortChangeHandler(token); }

    std::vector<PortChange> take()
    {
        std::lock_guard lock(mutex);
        return changes;
    }
};

QStringList names(const std::vector<PortInfo>& ports)
{
    QStringList out;
    for (const PortInfo& p : ports)
        out << QString::fromStdString(p.name);
    return out;
}

QString capsName(UINT id)
{
    MIDIINCAPSA caps{};
    if (midiInGetDevCapsA(id, &caps, sizeof caps) != MMSYSERR_NOERROR)
        return {};
    return QString(caps.szPname);
}

} // namespace

class TestMidiDevices : public QObject {
    Q_OBJECT

private slots:
    void alsaPortKinds_data();
    void alsaPortKinds();
    void portsCarryIdentityInIdOrder();
    void announcementsComeInOrderFromTheBackendThread();
    void idsChangeOnlyAtRefreshAndOpenHandlesFollow();
    void endedInputSaysSoOnceThenDeliversNothing();
    void callsOnEndedInput_data();
    void callsOnEndedInput();
    void endedOutputHandsBackBlocksAndRefusesToSend();
    void portVanishingBetweenListingAndOpening_data();
    void portVanishingBetweenListingAndOpening();
    void removedHandlerIsNotCalledAgain();
};

void TestMidiDevices::alsaPortKinds_data()
{
    QTest::addColumn<int>("client");
    QTest::addColumn<bool>("kernel");
    QTest::addColumn<bool>("ourProcess");
    QTest::addColumn<QString>("clientName");
    QTest::addColumn<bool>("hardware");
    QTest::addColumn<bool>("software");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<PortKind>("kind");

    // The kernel's through client marks its port software, both ways.
    QTest::newRow("Midi Through") << 14 << true << false << "Midi Through" << false << true << true << true << PortKind::Through;
    QTest::newRow("USB keyboard") << 24 << true << false << "USB Keyboard" << true << false << true << true << PortKind::Hardware;
    QTest::newRow("keyboard with input only") << 28 << true << false << "Keystation" << true << false << true << false << PortKind::Hardware;
    QTest::newRow("virtual raw MIDI (snd-virmidi)") << 20 << true << false << "Virtual Raw MIDI 1-0" << false << true << true << true << PortKind::Through;
    QTest::newRow("driver port without type bits") << 32 << true << false << "MPU-401" << false << false << true << true << PortKind::Hardware;
    QTest::newRow("virtual keyboard program") << 128 << false << false << "VMPK Output" << false << false << true << false << PortKind::Software;
    QTest::newRow("software synthesizer") << 129 << false << false << "FLUID Synth (4711)" << false << true << false << true << PortKind::Software;
    QTest::newRow("user-space driver of a device") << 130 << false << false << "BLE MIDI" << true << false << true << true << PortKind::Hardware;
    QTest::newRow("our own RtMidi client") << 131 << false << true << "Tonvero" << false << false << false << true << PortKind::Own;
    QTest::newRow("another running Tonvero") << 132 << false << false << "Tonvero" << false << false << false << true << PortKind::Own;
}

void TestMidiDevices::alsaPortKinds()
{
    QFETCH(int, client);
    QFETCH(bool, kernel);
    QFETCH(bool, ourProcess);
    QFETCH(QString, clientName);
    QFETCH(bool, hardware);
    QFETCH(bool, software);
    QFETCH(bool, readable);
    QFETCH(bool, writable);
    QFETCH(PortKind, kind);
    backend::AlsaPortFacts facts;
    facts.client = client;
    facts.kernelClient = kernel;
    facts.ourProcess = ourProcess;
    facts.clientName = clientName.toStdString();
    facts.hardware = hardware;
    facts.software = software;
    facts.readable = readable;
    facts.writable = writable;
    QCOMPARE(backend::alsaPortKind(facts), kind);
}

void TestMidiDevices::portsCarryIdentityInIdOrder()
{
    lb::Scope loop({kThrough, kKeyboard}, {kSynth});
    const auto ins = midiInPorts();
    QCOMPARE(names(ins), QStringList({"Midi Through:Midi Through Port-0", "USB Keyboard:USB Keyboard MIDI 1"}));
    QCOMPARE(ins[0].kind, PortKind::Through);
    QCOMPARE(ins[1].kind, PortKind::Hardware);
    QVERIFY(ins[0].key != ins[1].key);
    QCOMPARE(ins[1], lb::portInfo(PortDirection::Input, 1));
    QCOMPARE(midiOutPorts(), std::vector<PortInfo>{lb::portInfo(PortDirection::Output, 0)});
    // The services' own name is cut to the capability record; the port's is whole.
    QCOMPARE(capsName(1), QString("USB Keyboard:USB Keyboard MIDI "));
}

void TestMidiDevices::announcementsComeInOrderFromTheBackendThread()
{
    lb::Scope loop({kThrough}, {});
    Announcements heard;
    const int keyboard = lb::addInput(kKeyboard);
    const int synth = lb::addOutput(kSynth);
    lb::removeInput(keyboard);
    lb::removeInput(keyboard); // already gone: nothing more
    lb::flush();

    const auto changes = heard.take();
    QCOMPARE(changes.size(), std::size_t(3));
    QCOMPARE(changes[0].what, PortChange::Appeared);
    QCOMPARE(changes[0].direction, PortDirection::Input);
    QCOMPARE(changes[0].port, lb::portInfo(PortDirection::Input, keyboard));
    QCOMPARE(changes[1].what, PortChange::Appeared);
    QCOMPARE(changes[1].direction, PortDirection::Output);
    QCOMPARE(changes[1].port, lb::portInfo(PortDirection::Output, synth));
    QCOMPARE(changes[2].what, PortChange::Gone);
    QCOMPARE(changes[2].port, lb::portInfo(PortDirection::Input, keyboard));
    for (const auto& id : heard.threads)
        QVERIFY(id != std::this_thread::get_id());
}

void TestMidiDevices::idsChangeOnlyAtRefreshAndOpenHandlesFollow()
{
    lb::Scope loop({kThrough, kKeyboard}, {});
    Recorder rec;
    HMIDIIN in = nullptr;
    QCOMPARE(midiInOpen(&in, 1, inProc, DWORD_PTR(&rec), CALLBACK_FUNCTION), MMSYSERR_NOERROR);

    // A port that appears is listed from the next refresh on.
    lb::addInput(kPiano);
    lb::flush();
    QCOMPARE(midiInGetNumDevs(), 2u);
    refreshDevices();
    QCOMPARE(midiInGetNumDevs(), 3u);
    QCOMPARE(capsName(2), QString("Digital Piano:Digital Piano MID"));

    // One that ends stays listed until then, and cannot be opened.
    lb::removeInput(0);
    lb::flush();
    QCOMPARE(midiInGetNumDevs(), 3u);
    QCOMPARE(capsName(0), QString("Midi Through:Midi Through Port-"));
    HMIDIIN through = nullptr;
    QCOMPARE(midiInOpen(&through, 0, inProc, DWORD_PTR(&rec), CALLBACK_FUNCTION), MIDIERR_NODEVICE);
    QVERIFY(!through);

    refreshDevices();
    QCOMPARE(names(midiInPorts()), QStringList({kKeyboard.name.c_str(), kPiano.name.c_str()}));
    // The open keyboard moved from id 1 to id 0 and goes on delivering.
    UINT id = 99;
    QCOMPARE(midiInGetID(in, &id), MMSYSERR_NOERROR);
    QCOMPARE(id, 0u);
    lb::feed(0x403C90, 7, 1);
    lb::flush();
    QCOMPARE(rec.messages(), (std::vector<UINT>{MIM_OPEN, MIM_DATA}));
    QCOMPARE(midiInClose(in), MMSYSERR_NOERROR);
}

void TestMidiDevices::endedInputSaysSoOnceThenDeliversNothing()
{
    lb::Scope loop({kThrough, kKeyboard}, {});
    Recorder rec;
    HMIDIIN in = nullptr;
    QCOMPARE(midiInOpen(&in, 1, inProc, DWORD_PTR(&rec), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    QCOMPARE(midiInStart(in), MMSYSERR_NOERROR);
    lb::feed(0x403C90, 1, 1);
    lb::removeInput(1);
    lb::feed(0x403E90, 2, 1); // after the port ended
    lb::removeInput(1);
    lb::flush();
    QCOMPARE(rec.messages(), (std::vector<UINT>{MIM_OPEN, MIM_DATA, MIM_GONE}));
    QCOMPARE(midiInClose(in), MMSYSERR_NOERROR);
    QCOMPARE(rec.messages().back(), MIM_CLOSE);
    QCOMPARE(midiInClose(in), MMSYSERR_INVALHANDLE);
}

void TestMidiDevices::callsOnEndedInput_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<uint>("result");
    QTest::newRow("start") << "start" << uint(MIDIERR_NODEVICE);
    QTest::newRow("stop") << "stop" << uint(MIDIERR_NODEVICE);
    QTest::newRow("prepare") << "prepare" << uint(MIDIERR_NODEVICE);
    QTest::newRow("get id") << "id" << uint(MIDIERR_NODEVICE);
    // What frees the caller's resources keeps working.
    QTest::newRow("reset hands back a lent buffer") << "reset" << uint(MMSYSERR_NOERROR);
}

void TestMidiDevices::callsOnEndedInput()
{
    QFETCH(QString, call);
    QFETCH(uint, result);
    lb::Scope loop({kKeyboard}, {});
    Recorder rec;
    HMIDIIN in = nullptr;
    QCOMPARE(midiInOpen(&in, 0, inProc, DWORD_PTR(&rec), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    char lent[16];
    MIDIHDR h{};
    h.lpData = lent;
    h.dwBufferLength = sizeof lent;
    QCOMPARE(midiInPrepareHeader(in, &h, sizeof h), MMSYSERR_NOERROR);
    QCOMPARE(midiInAddBuffer(in, &h, sizeof h), MMSYSERR_NOERROR);
    lb::removeInput(0);
    lb::flush();

    char other[16];
    MIDIHDR h2{};
    h2.lpData = other;
    h2.dwBufferLength = sizeof other;
    UINT id = 0;
    MMRESULT rc = MMSYSERR_ERROR;
    if (call == "start")
        rc = midiInStart(in);
    else if (call == "stop")
        rc = midiInStop(in);
    else if (call == "prepare")
        rc = midiInPrepareHeader(in, &h2, sizeof h2);
    else if (call == "id")
        rc = midiInGetID(in, &id);
    else if (call == "reset")
        rc = midiInReset(in);
    QCOMPARE(uint(rc), result);

    // Closing always works once the lent buffer is back and unprepared.
    QCOMPARE(midiInReset(in), MMSYSERR_NOERROR);
    QVERIFY(h.dwFlags & MHDR_DONE);
    QCOMPARE(midiInUnprepareHeader(in, &h, sizeof h), MMSYSERR_NOERROR);
    QCOMPARE(midiInClose(in), MMSYSERR_NOERROR);
    QCOMPARE(rec.messages(), (std::vector<UINT>{MIM_OPEN, MIM_GONE, MIM_LONGDATA, MIM_CLOSE}));
}

void TestMidiDevices::endedOutputHandsBackBlocksAndRefusesToSend()
{
    lb::Scope loop({}, {kSynth});
    lb::setManualCompletion(true);
    Recorder rec;
    HMIDIOUT out = nullptr;
    QCOMPARE(midiOutOpen(&out, 0, outProc, DWORD_PTR(&rec), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    char data[] = "\xF0\x7E\x7F\x09\x01\xF7";
    MIDIHDR h{};
    h.lpData = data;
    h.dwBufferLength = 6;
    QCOMPARE(midiOutPrepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    QCOMPARE(midiOutLongMsg(out, &h, sizeof h), MMSYSERR_NOERROR);
    QCOMPARE(midiOutShortMsg(out, 0x7F3C90), MMSYSERR_NOERROR);

    lb::removeOutput(0);
    lb::flush();
    // The block in play will never complete: it came back, so it can be freed.
    QVERIFY(h.dwFlags & MHDR_DONE);
    QCOMPARE(rec.messages(), (std::vector<UINT>{MOM_OPEN, MOM_DONE}));
    QCOMPARE(midiOutShortMsg(out, 0x003C80), MIDIERR_NODEVICE);
    QCOMPARE(midiOutLongMsg(out, &h, sizeof h), MIDIERR_NODEVICE);
    UINT id = 0;
    QCOMPARE(midiOutGetID(out, &id), MIDIERR_NODEVICE);
    QCOMPARE(midiOutReset(out), MMSYSERR_NOERROR);
    QCOMPARE(midiOutUnprepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    QCOMPARE(midiOutClose(out), MMSYSERR_NOERROR);
    QCOMPARE(rec.messages(), (std::vector<UINT>{MOM_OPEN, MOM_DONE, MOM_CLOSE}));
}

void TestMidiDevices::portVanishingBetweenListingAndOpening_data()
{
    QTest::addColumn<bool>("input");
    QTest::addColumn<bool>("whileOpening");
    QTest::newRow("input pulled out while it is opened") << true << true;
    QTest::newRow("input pulled out after listing") << true << false;
    QTest::newRow("output pulled out while it is opened") << false << true;
    QTest::newRow("output pulled out after listing") << false << false;
}

void TestMidiDevices::portVanishingBetweenListingAndOpening()
{
    QFETCH(bool, input);
    QFETCH(bool, whileOpening);
    const PortDirection direction = input ? PortDirection::Input : PortDirection::Output;
    lb::Scope loop({kThrough, kKeyboard}, {kThrough, kSynth});
    Announcements heard;
    QCOMPARE(midiPorts(direction).size(), std::size_t(2));
    if (whileOpening)
        lb::vanishOnOpen(direction, 1);
    else if (input)
        lb::removeInput(1);
    else
        lb::removeOutput(1);

    Recorder rec;
    for (int attempt = 0; attempt < 2; ++attempt) {
        MMRESULT rc;
        if (input) {
            HMIDIIN in = nullptr;
            rc = midiInOpen(&in, 1, inProc, DWORD_PTR(&rec), CALLBACK_FUNCTION);
            QVERIFY(!in);
        } else {
            HMIDIOUT out = nullptr;
            rc = midiOutOpen(&out, 1, outProc, DWORD_PTR(&rec), CALLBACK_FUNCTION);
            QVERIFY(!out);
        }
        QCOMPARE(rc, MIDIERR_NODEVICE);
    }
    lb::flush();
    QVERIFY(rec.messages().empty());
    const auto changes = heard.take();
    QCOMPARE(changes.size(), std::size_t(1));
    QCOMPARE(changes[0].what, PortChange::Gone);
    QCOMPARE(changes[0].direction, direction);
    QCOMPARE(changes[0].port.name, input ? kKeyboard.name : kSynth.name);
    refreshDevices();
    QCOMPARE(midiPorts(direction).size(), std::size_t(1));
    // The port that is left opens as before.
    if (input) {
        HMIDIIN in = nullptr;
        QCOMPARE(midiInOpen(&in, 0, inProc, DWORD_PTR(&rec), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
        QCOMPARE(midiInClose(in), MMSYSERR_NOERROR);
    } else {
        HMIDIOUT out = nullptr;
        QCOMPARE(midiOutOpen(&out, 0, outProc, DWORD_PTR(&rec), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
        QCOMPARE(midiOutClose(out), MMSYSERR_NOERROR);
    }
}

void TestMidiDevices::removedHandlerIsNotCalledAgain()
{
    lb::Scope loop({}, {});
    std::atomic<int> calls{0};
    const int token = addPortChangeHandler([&](const PortChange&) { ++calls; });
    lb::addInput(kKeyboard);
    lb::flush();
    QCOMPARE(calls.load(), 1);
    removePortChangeHandler(token);
    lb::addInput(kPiano);
    lb::removeInput(0);
    lb::flush();
    QCOMPARE(calls.load(), 1);
}

QTEST_GUILESS_MAIN(TestMidiDevices)
#include "tst_mididevices.moc"
