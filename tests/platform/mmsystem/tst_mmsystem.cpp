// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mmsystem/midi_loopback.h"
#include "platform/mmsystem/mmsystem.h"

#include <QFile>
#include <QTemporaryFile>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <mutex>
#include <thread>

using namespace mmsys;
namespace lb = mmsys::loopback;

namespace {

struct Event {
    UINT msg;
    DWORD_PTR p1;
    DWORD_PTR p2;
    std::thread::id thread;
};

struct Recorder {
    std::mutex mutex;
    std::vector<Event> events;

    std::vector<Event> take()
    {
        std::lock_guard lock(mutex);
        return events;
    }
    std::vector<UINT> messages()
    {
        std::vector<UINT> out;
        for (const Event& e : take())
            out.push_back(e.msg);
        return out;
    }
};

void inProc(HMIDIIN, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2)
{
    auto* r = reinterpret_cast<Recorder*>(instance);
    std::lock_guard lock(r->mutex);
    r->events.push_back({msg, p1, p2, std::this_thread::get_id()});
}

void outProc(HMIDIOUT, UINT msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2)
{
    inProc(nullptr, msg, instance, p1, p2);
}

MIDIHDR header(char* data, DWORD length)
{
    MIDIHDR h;
    h.lpData = data;
    h.dwBufferLength = length;
    return h;
}

} // namespace

class TestMmsystem : public QObject {
    Q_OBJECT

private slots:
    void errorTexts_data();
    void errorTexts();
    void errorTextIsTruncated();
    void backendOrderChoosesIds_data();
    void backendOrderChoosesIds();
    void handlesAreCheckedAndPortsExclusive();
    void openHandleSurvivesRefresh();
    void callbacksComeFromAnotherThreadInOrder();
    void outputHeaderRules();
    void inputHeaderRulesAndResetReturnsBuffers();
    void sysExSpansLentBuffers();
    void alsaWithoutSequencerIsQuiet();
    void abandonedHandleNeverCallsBack_data();
    void abandonedHandleNeverCallsBack();
};

void TestMmsystem::errorTexts_data()
{
    QTest::addColumn<uint>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("bad device id") << 2u << "The specified device identifier is out of range.";
    QTest::newRow("allocated") << 4u << "The specified resource is already allocated.";
    QTest::newRow("invalid handle") << 5u << "The specified device handle is invalid.";
    QTest::newRow("no memory") << 7u << "Unable to allocate or lock memory.";
    QTest::newRow("unprepared") << 64u << "The buffer has not been prepared.";
    QTest::newRow("still playing") << 65u << "The buffers are still in the queue.";
    QTest::newRow("not ready") << 67u << "The hardware is busy.";
    QTest::newRow("unknown") << 4711u << "Undefined external error.";
}

void TestMmsystem::errorTexts()
{
    QFETCH(uint, code);
    QFETCH(QString, text);
    char in[128], out[128];
    midiInGetErrorTextA(code, in, sizeof in);
    midiOutGetErrorTextA(code, out, sizeof out);
    QCOMPARE(QString(in), text);
    QCOMPARE(QString(out), text);
}

void TestMmsystem::errorTextIsTruncated()
{
    char small[6] = "xxxxx";
    QCOMPARE(midiOutGetErrorTextA(MMSYSERR_BADDEVICEID, small, sizeof small), MMSYSERR_NOERROR);
    QCOMPARE(QString(small), QString("The s"));
    QCOMPARE(midiOutGetErrorTextA(MMSYSERR_BADDEVICEID, nullptr, 10), MMSYSERR_INVALPARAM);
}

void TestMmsystem::backendOrderChoosesIds_data()
{
    QTest::addColumn<int>("inputs");
    QTest::addColumn<int>("outputs");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("loopback only") << 2 << 3 << true;
    QTest::newRow("no input device") << 0 << 1 << true;
    QTest::newRow("no backend at all") << 1 << 1 << false;
}

void TestMmsystem::backendOrderChoosesIds()
{
    QFETCH(int, inputs);
    QFETCH(int, outputs);
    QFETCH(bool, enabled);
    lb::Scope loop(inputs, outputs);
    if (!enabled)
        setBackendsForTest({});
    QCOMPARE(int(midiInGetNumDevs()), enabled ? inputs : 0);
    QCOMPARE(int(midiOutGetNumDevs()), enabled ? outputs : 0);
    if (!enabled)
        return;
    for (int i = 0; i < outputs; ++i) {
        MIDIOUTCAPSA caps;
        QCOMPARE(midiOutGetDevCapsA(UINT(i), &caps, sizeof caps), MMSYSERR_NOERROR);
        QCOMPARE(QString(caps.szPname), QString("Loopback Out %1").arg(i + 1));
    }
    MIDIINCAPSA caps;
    QCOMPARE(midiInGetDevCapsA(UINT(inputs), &caps, sizeof caps), MMSYSERR_BADDEVICEID);
    QCOMPARE(midiInGetDevCapsA(0, &caps, 10), MMSYSERR_INVALPARAM);
}

void TestMmsystem::handlesAreCheckedAndPortsExclusive()
{
    lb::Scope loop(1, 1);
    HMIDIOUT out = nullptr, second = nullptr;
    QCOMPARE(midiOutOpen(&out, 0, nullptr, 0, 0x10000), MMSYSERR_INVALFLAG);
    QCOMPARE(midiOutOpen(&out, 0, nullptr, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    QCOMPARE(midiOutOpen(&second, 0, nullptr, 0, CALLBACK_NULL), MMSYSERR_ALLOCATED);
    QCOMPARE(midiOutShortMsg(out, 0x90), MMSYSERR_NOERROR);
    QCOMPARE(midiOutClose(out), MMSYSERR_NOERROR);
    QCOMPARE(midiOutShortMsg(out, 0x90), MMSYSERR_INVALHANDLE);
    QCOMPARE(midiOutClose(out), MMSYSERR_INVALHANDLE);
    QCOMPARE(midiOutShortMsg(nullptr, 0x90), MMSYSERR_INVALHANDLE);
    QCOMPARE(midiInStart(nullptr), MMSYSERR_INVALHANDLE);
    QCOMPARE(midiOutOpen(&second, 0, nullptr, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    QCOMPARE(midiOutClose(second), MMSYSERR_NOERROR);
}

void TestMmsystem::openHandleSurvivesRefresh()
{
    lb::Scope loop(1, 1);
    HMIDIOUT out = nullptr;
    QCOMPARE(midiOutOpen(&out, 0, nullptr, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    refreshDevices();
    QCOMPARE(midiOutShortMsg(out, 0x00003C80), MMSYSERR_NOERROR);
    UINT id = 99;
    QCOMPARE(midiOutGetID(out, &id), MMSYSERR_NOERROR);
    QCOMPARE(id, 0u);
    QCOMPARE(midiOutClose(out), MMSYSERR_NOERROR);
}

void TestMmsystem::callbacksComeFromAnotherThreadInOrder()
{
    lb::Scope loop(1, 1);
    Recorder rec;
    HMIDIIN in = nullptr;
    QCOMPARE(midiInOpen(&in, 0, inProc, DWORD_PTR(&rec), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    QCOMPARE(midiInStart(in), MMSYSERR_NOERROR);
    for (DWORD i = 0; i < 100; ++i)
        lb::feed(0x90 | (i << 8), i);
    lb::flush();
    QCOMPARE(midiInClose(in), MMSYSERR_NOERROR);
    const auto events = rec.take();
    QCOMPARE(events.size(), std::size_t(102));
    QCOMPARE(events.front().msg, MIM_OPEN);
    QCOMPARE(events.back().msg, MIM_CLOSE);
    for (DWORD i = 0; i < 100; ++i) {
        const Event& e = events[i + 1];
        QCOMPARE(e.msg, MIM_DATA);
        QCOMPARE(DWORD(e.p1), 0x90 | (i << 8));
        QCOMPARE(DWORD(e.p2), i);
        QVERIFY(e.thread != std::this_thread::get_id());
    }
}

void TestMmsystem::outputHeaderRules()
{
    lb::Scope loop(0, 1);
    lb::setManualCompletion(true);
    Recorder rec;
    HMIDIOUT out = nullptr;
    QCOMPARE(midiOutOpen(&out, 0, outProc, DWORD_PTR(&rec), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    char data[] = "\xF0\x01\xF7";
    MIDIHDR h = header(data, 3);
    QCOMPARE(midiOutLongMsg(out, &h, sizeof h), MIDIERR_UNPREPARED);
    QCOMPARE(midiOutPrepareHeader(out, &h, 12), MMSYSERR_INVALPARAM);
    QCOMPARE(midiOutPrepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    QVERIFY(h.dwFlags & MHDR_PREPARED);
    QCOMPARE(midiOutLongMsg(out, &h, sizeof h), MMSYSERR_NOERROR);
    QVERIFY(h.dwFlags & MHDR_INQUEUE);
    QCOMPARE(midiOutUnprepareHeader(out, &h, sizeof h), MIDIERR_STILLPLAYING);
    QCOMPARE(midiOutClose(out), MIDIERR_STILLPLAYING);

    lb::complete(1);
    lb::flush();
    QVERIFY(h.dwFlags & MHDR_DONE);
    QVERIFY(!(h.dwFlags & MHDR_INQUEUE));
    QCOMPARE(rec.messages(), (std::vector<UINT>{MOM_OPEN, MOM_DONE}));
    QCOMPARE(rec.take().back().p1, DWORD_PTR(&h));

    // A reset hands back what is still in play, at once.
    QCOMPARE(midiOutLongMsg(out, &h, sizeof h), MMSYSERR_NOERROR);
    QCOMPARE(midiOutReset(out), MMSYSERR_NOERROR);
    QVERIFY(h.dwFlags & MHDR_DONE);
    QCOMPARE(midiOutUnprepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
    QVERIFY(!(h.dwFlags & MHDR_PREPARED));
    QCOMPARE(midiOutClose(out), MMSYSERR_NOERROR);
    QCOMPARE(rec.messages(), (std::vector<UINT>{MOM_OPEN, MOM_DONE, MOM_DONE, MOM_CLOSE}));
}

void TestMmsystem::inputHeaderRulesAndResetReturnsBuffers()
{
    lb::Scope loop(1, 0);
    Recorder rec;
    HMIDIIN in = nullptr;
    QCOMPARE(midiInOpen(&in, 0, inProc, DWORD_PTR(&rec), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    char data[16];
    MIDIHDR h = header(data, sizeof data);
    QCOMPARE(midiInAddBuffer(in, &h, sizeof h), MIDIERR_UNPREPARED);
    QCOMPARE(midiInPrepareHeader(in, &h, sizeof h), MMSYSERR_NOERROR);
    QCOMPARE(midiInAddBuffer(in, &h, sizeof h), MMSYSERR_NOERROR);
    QCOMPARE(midiInAddBuffer(in, &h, sizeof h), MIDIERR_STILLPLAYING);
    QCOMPARE(midiInUnprepareHeader(in, &h, sizeof h), MIDIERR_STILLPLAYING);
    QCOMPARE(midiInClose(in), MIDIERR_STILLPLAYING);
    QCOMPARE(midiInReset(in), MMSYSERR_NOERROR);
    QVERIFY(h.dwFlags & MHDR_DONE);
    QCOMPARE(h.dwBytesRecorded, 0u);
    QCOMPARE(midiInUnprepareHeader(in, &h, sizeof h), MMSYSERR_NOERROR);
    QCOMPARE(midiInClose(in), MMSYSERR_NOERROR);
    QCOMPARE(rec.messages(), (std::vector<UINT>{MIM_OPEN, MIM_LONGDATA, MIM_CLOSE}));
}

void TestMmsystem::sysExSpansLentBuffers()
{
    lb::Scope loop(1, 0);
    Recorder rec;
    HMIDIIN in = nullptr;
    QCOMPARE(midiInOpen(&in, 0, inProc, DWORD_PTR(&rec), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
    char a[32], b[32];
    MIDIHDR ha = header(a, sizeof a), hb = header(b, sizeof b);
    for (MIDIHDR* h : {&ha, &hb}) {
        QCOMPARE(midiInPrepareHeader(in, h, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
        QCOMPARE(midiInAddBuffer(in, h, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    }
    QCOMPARE(midiInStart(in), MMSYSERR_NOERROR);
    std::vector<unsigned char> sysex(40, 0x11);
    sysex.front() = 0xF0;
    sysex.back() = 0xF7;
    lb::feedRaw(sysex);
    lb::feedRaw({0xF0, 0x01, 0x02}); // unterminated: nowhere left to put it
    lb::flush();
    const auto events = rec.take();
    QCOMPARE(events.size(), std::size_t(3));
    QCOMPARE(events[1].msg, MIM_LONGDATA);
    QCOMPARE(events[1].p1, DWORD_PTR(&ha));
    QCOMPARE(ha.dwBytesRecorded, 32u);
    QCOMPARE(events[2].p1, DWORD_PTR(&hb));
    QCOMPARE(hb.dwBytesRecorded, 8u);
    QCOMPARE(static_cast<unsigned char>(b[7]), 0xF7);
    QCOMPARE(midiInReset(in), MMSYSERR_NOERROR);
    QCOMPARE(midiInClose(in), MMSYSERR_NOERROR);
}

void TestMmsystem::alsaWithoutSequencerIsQuiet()
{
    if (QFile::exists("/dev/snd/seq"))
        QSKIP("this machine has an ALSA sequencer");
    QTemporaryFile capture;
    QVERIFY(capture.open());
    fflush(stderr);
    const int saved = dup(2);
    dup2(capture.handle(), 2);

    setBackendsForTest({Backend::Alsa});
    const UINT ins = midiInGetNumDevs();
    const UINT outs = midiOutGetNumDevs();
    refreshDevices();

    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    resetBackends();

    QCOMPARE(ins, 0u);
    QCOMPARE(outs, 0u);
    QCOMPARE(QFile(capture.fileName()).size(), 0);
}

void TestMmsystem::abandonedHandleNeverCallsBack_data()
{
    QTest::addColumn<bool>("input");
    QTest::addColumn<bool>("closeRefused");
    QTest::newRow("input, port refuses to close") << true << true;
    QTest::newRow("input, port closes") << true << false;
    QTest::newRow("output, port refuses to close") << false << true;
    QTest::newRow("output, port closes") << false << false;
}

// The owner of a handle goes while its port still holds it: whatever the port
// does afterwards reaches nobody.
void TestMmsystem::abandonedHandleNeverCallsBack()
{
    QFETCH(bool, input);
    QFETCH(bool, closeRefused);
    lb::Scope loop(1, 1);
    lb::setManualCompletion(true);
    auto rec = std::make_unique<Recorder>();
    char data[] = "\xF0\x01\xF7";
    MIDIHDR h = header(data, 3);
    HMIDIIN in = nullptr;
    HMIDIOUT out = nullptr;
    if (input) {
        QCOMPARE(midiInOpen(&in, 0, inProc, DWORD_PTR(rec.get()), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
        QCOMPARE(midiInStart(in), MMSYSERR_NOERROR);
        if (closeRefused)
            lb::failIn(lb::Op::Close, MMSYSERR_ERROR);
        QCOMPARE(midiInAbandon(in), MMSYSERR_NOERROR);
    } else {
        QCOMPARE(midiOutOpen(&out, 0, outProc, DWORD_PTR(rec.get()), CALLBACK_FUNCTION), MMSYSERR_NOERROR);
        QCOMPARE(midiOutPrepareHeader(out, &h, sizeof h), MMSYSERR_NOERROR);
        QCOMPARE(midiOutLongMsg(out, &h, sizeof h), MMSYSERR_NOERROR);
        if (closeRefused) {
            lb::failOut(lb::Op::Reset, MMSYSERR_ERROR); // the block stays in play
            lb::failOut(lb::Op::Close, MMSYSERR_ERROR);
        }
        QCOMPARE(midiOutAbandon(out), MMSYSERR_NOERROR);
    }
    QCOMPARE(rec->messages(), std::vector<UINT>{input ? MIM_OPEN : MOM_OPEN});
    rec.reset(); // what the callback would write to is gone

    lb::feed(0x403C90, 1);
    lb::feedError(0xF5, 2);
    lb::feedRaw({0x90, 0x3C, 0x40});
    lb::complete(1);
    lb::removeInput(0);
    lb::removeOutput(0);
    lb::flush();
    // The port is closed when it allows it; otherwise it stays allocated.
    lb::clearFailures();
    if (input)
        QCOMPARE(midiInClose(in), closeRefused ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE);
    else
        QCOMPARE(midiOutClose(out), closeRefused ? MMSYSERR_NOERROR : MMSYSERR_INVALHANDLE);
    QCOMPARE(input ? midiInAbandon(in) : midiOutAbandon(out), MMSYSERR_INVALHANDLE);
}

QTEST_GUILESS_MAIN(TestMmsystem)
#include "tst_mmsystem.moc"
