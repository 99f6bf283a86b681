// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midiexceptions.h"
#include "midi/midiindevice.h"
#include "platform/mmsystem/midi_loopback.h"
#include "support/loopbackmidi.h"

#include <QTest>

#include <array>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <memory>
#include <thread>

using midi::CMIDIInDevice;
using testsupport::ReceivedMsg;
using testsupport::RecordingReceiver;
namespace lb = mmsys::loopback;

namespace {
const std::vector<unsigned char> kSysEx{0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};

// Stays inside OnShortMsg until released, so a test can act while a call is in progress.
class BlockingReceiver : public RecordingReceiver {
public:
    void OnShortMsg(std::uint32_t msg, std::uint32_t timeStamp) override
    {
        std::unique_lock lock(m_mutex);
        m_inside = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_released; });
        m_inside = false;
        lock.unlock();
        RecordingReceiver::OnShortMsg(msg, timeStamp);
    }
    bool waitInside()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(5), [this] { return m_inside; });
    }
    bool inside()
    {
        std::lock_guard lock(m_mutex);
        return m_inside;
    }
    void release()
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_inside = false;
    bool m_released = false;
};

struct SysExBuffers {
    std::array<std::array<char, 32>, 4> memory{};
    void lend(CMIDIInDevice& dev, int count)
    {
        for (int i = 0; i < count; ++i)
            dev.AddSysExBuffer(memory[std::size_t(i)].data(), 32);
    }
};
} // namespace

class TestMidiInDevice : public QObject {
    Q_OBJECT

private slots:
    void init() { m_loop = std::make_unique<lb::Scope>(1, 1); }
    void cleanup() { m_loop.reset(); }

    void openBadIdRaisesAndStaysClosed_data();
    void openBadIdRaisesAndStaysClosed();
    void stateOperationsOutOfOrderDoNothing();
    void closeTwiceIsHarmless();
    void shortMessagesReachReceiverInEveryOpenState_data();
    void shortMessagesReachReceiverInEveryOpenState();
    void longMessagesOnlyWhileReceiving_data();
    void longMessagesOnlyWhileReceiving();
    void noReceiverNothingAndBuffersKept();
    void twoCompletionsReleaseOnlyTheOldest();
    void closeWhileReceivingStopsFirst();
    void closeFreesBuffersLentWhileOpened();
    void refusedCallsRaiseWithSystemText_data();
    void refusedCallsRaiseWithSystemText();
    void failedCloseRaisesAndStaysOpen();
    void rawInputIsCheckedAndStamped_data();
    void rawInputIsCheckedAndStamped();
    void devIdAndCaps();
    void receiverSwapReturnsPrevious();
    void heldNotesReleasedOnceWhenPortEnds_data();
    void heldNotesReleasedOnceWhenPortEnds();
    void detachingTheReceiverWaitsForACallInProgress();
    void destroyedWhileThePortRefusesToClose_data();
    void destroyedWhileThePortRefusesToClose();

private:
    std::unique_ptr<lb::Scope> m_loop;
};

void TestMidiInDevice::openBadIdRaisesAndStaysClosed_data()
{
    QTest::addColumn<int>("inputs");
    QTest::newRow("one input, id 1") << 1;
    QTest::newRow("no input device at all") << 0;
}

void TestMidiInDevice::openBadIdRaisesAndStaysClosed()
{
    QFETCH(int, inputs);
    m_loop.reset();
    m_loop = std::make_unique<lb::Scope>(inputs, 1);
    QCOMPARE(int(mmsys::midiInGetNumDevs()), inputs);

    RecordingReceiver receiver;
    CMIDIInDevice dev(&receiver);
    try {
        dev.Open(unsigned(inputs));
        QFAIL("Open did not raise");
    } catch (const std::exception& e) {
        QVERIFY(dynamic_cast<const midi::CMIDIInException*>(&e));
        QCOMPARE(QString(e.what()), QString("The specified device identifier is out of range."));
    }
    QVERIFY(!dev.IsOpen());
    dev.StartReceiving();
    QVERIFY(!dev.IsReceiving());

    QVERIFY_THROWS_EXCEPTION(midi::CMIDIInException, CMIDIInDevice(unsigned(inputs), &receiver));
}

void TestMidiInDevice::stateOperationsOutOfOrderDoNothing()
{
    RecordingReceiver receiver;
    CMIDIInDevice dev(&receiver);
    dev.StartReceiving(); // closed
    dev.StopReceiving();
    QVERIFY(!dev.IsOpen());
    QCOMPARE(lb::inCalls(lb::Op::Start), 0);

    dev.Open(0);
    dev.StopReceiving(); // opened, not receiving
    QCOMPARE(lb::inCalls(lb::Op::Reset), 0);
    dev.StartReceiving();
    dev.StartReceiving(); // already receiving
    QCOMPARE(lb::inCalls(lb::Op::Start), 1);
    QVERIFY(dev.IsReceiving());
    dev.StopReceiving();
    QVERIFY(dev.IsOpen());
    QVERIFY(!dev.IsReceiving());
    QCOMPARE(lb::inCalls(lb::Op::Reset), 1);

    // A device can receive again after a stop.
    dev.StartReceiving();
    QVERIFY(dev.IsReceiving());
}

void TestMidiInDevice::closeTwiceIsHarmless()
{
    CMIDIInDevice dev;
    dev.Close();
    dev.Open(0);
    dev.Close();
    dev.Close();
    QVERIFY(!dev.IsOpen());
    QCOMPARE(lb::inCalls(lb::Op::Close), 1);
    // Reopening after a close works and the port is free again.
    dev.Open(0);
    dev.Open(0);
    QVERIFY(dev.IsOpen());
    QCOMPARE(lb::inCalls(lb::Op::Close), 2);
}

void TestMidiInDevice::shortMessagesReachReceiverInEveryOpenState_data()
{
    QTest::addColumn<bool>("receiving");
    QTest::addColumn<bool>("error");
    QTest::newRow("opened, data") << false << false;
    QTest::newRow("opened, error") << false << true;
    QTest::newRow("receiving, data") << true << false;
    QTest::newRow("receiving, error") << true << true;
}

void TestMidiInDevice::shortMessagesReachReceiverInEveryOpenState()
{
    QFETCH(bool, receiving);
    QFETCH(bool, error);
    RecordingReceiver receiver;
    CMIDIInDevice dev(0, &receiver);
    if (receiving)
        dev.StartReceiving();
    const mmsys::DWORD word = 0xAB403C90u; // top byte passed through as delivered
    if (error)
        lb::feedError(word, 42);
    else
        lb::feed(word, 42);
    lb::feed(0x00003C80u, 43);
    QVERIFY(receiver.waitForCount(2));
    const auto got = receiver.received();
    QCOMPARE(got.size(), std::size_t(2));
    QCOMPARE(got[0], (ReceivedMsg{error ? ReceivedMsg::ShortError : ReceivedMsg::Short, word, {}, 42}));
    QCOMPARE(got[1], (ReceivedMsg{ReceivedMsg::Short, 0x00003C80u, {}, 43}));
}

void TestMidiInDevice::longMessagesOnlyWhileReceiving_data()
{
    QTest::addColumn<bool>("receiving");
    QTest::addColumn<bool>("error");
    QTest::newRow("opened") << false << false;
    QTest::newRow("receiving, data") << true << false;
    QTest::newRow("receiving, error") << true << true;
}

void TestMidiInDevice::longMessagesOnlyWhileReceiving()
{
    QFETCH(bool, receiving);
    QFETCH(bool, error);
    RecordingReceiver receiver;
    CMIDIInDevice dev(0, &receiver);
    SysExBuffers buffers;
    buffers.lend(dev, 1);
    if (receiving)
        dev.StartReceiving();
    if (error)
        lb::feedLongError(kSysEx, 7);
    else
        lb::feedLong(kSysEx, 7);
    lb::feed(0x90, 8); // a marker that all before it was delivered
    QVERIFY(receiver.waitForCount(1));
    lb::flush();
    const auto got = receiver.received();
    if (!receiving) {
        QCOMPARE(got.size(), std::size_t(1));
        QCOMPARE(got[0].kind, ReceivedMsg::Short);
        return;
    }
    QCOMPARE(got.size(), std::size_t(2));
    QCOMPARE(got[0], (ReceivedMsg{error ? ReceivedMsg::LongError : ReceivedMsg::Long, 0, kSysEx, 7}));
    // The worker releases the buffer once the receiver has seen it.
    QTRY_COMPARE(lb::inCalls(lb::Op::Unprepare), 1);
}

void TestMidiInDevice::noReceiverNothingAndBuffersKept()
{
    RecordingReceiver receiver;
    CMIDIInDevice dev(0, nullptr);
    SysExBuffers buffers;
    buffers.lend(dev, 1);
    dev.StartReceiving();
    lb::feed(0x90, 1);
    lb::feedLong(kSysEx);
    lb::flush();
    QTest::qWait(50);
    QCOMPARE(lb::inCalls(lb::Op::Unprepare), 0);
    dev.StopReceiving();
    QCOMPARE(lb::inCalls(lb::Op::Unprepare), 1);
    QVERIFY(receiver.received().empty());
}

void TestMidiInDevice::twoCompletionsReleaseOnlyTheOldest()
{
    RecordingReceiver receiver;
    CMIDIInDevice dev(0, &receiver);
    SysExBuffers buffers;
    buffers.lend(dev, 3);
    dev.StartReceiving();

    // Keep the worker busy with the first release while two more buffers come back.
    lb::holdUnprepare(true);
    lb::feedLong(kSysEx);
    QVERIFY(lb::waitUnprepareBlocked(1));
    lb::feedLong(kSysEx);
    lb::feedLong(kSysEx);
    QVERIFY(receiver.waitForCount(3));
    lb::flush();
    lb::holdUnprepare(false);

    QTRY_COMPARE(lb::inCalls(lb::Op::Unprepare), 2);
    QTest::qWait(100);
    QCOMPARE(lb::inCalls(lb::Op::Unprepare), 2);
    dev.StopReceiving();
    QCOMPARE(lb::inCalls(lb::Op::Unprepare), 3);
}

void TestMidiInDevice::closeWhileReceivingStopsFirst()
{
    RecordingReceiver receiver;
    CMIDIInDevice dev(0, &receiver);
    SysExBuffers buffers;
    buffers.lend(dev, 2);
    dev.StartReceiving();
    dev.Close();
    QVERIFY(!dev.IsOpen());
    QCOMPARE(lb::inCalls(lb::Op::Reset), 1);
    QCOMPARE(lb::inCalls(lb::Op::Unprepare), 2);
    QCOMPARE(lb::inCalls(lb::Op::Close), 1);
    // The reset hands the buffers back while no longer receiving: the receiver sees nothing.
    QVERIFY(receiver.received().empty());
}

void TestMidiInDevice::closeFreesBuffersLentWhileOpened()
{
    CMIDIInDevice dev(0, nullptr);
    SysExBuffers buffers;
    buffers.lend(dev, 2);
    dev.Close();
    QVERIFY(!dev.IsOpen());
    QCOMPARE(lb::inCalls(lb::Op::Unprepare), 2);
}

void TestMidiInDevice::refusedCallsRaiseWithSystemText_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<uint>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("unprepares");

    QTest::newRow("preparation refused") << int(lb::Op::Prepare) << 7u << "Unable to allocate or lock memory." << 0;
    QTest::newRow("buffer refused") << int(lb::Op::AddBuffer) << 11u
                                    << "An invalid parameter was passed to a system function." << 1;
    QTest::newRow("start refused") << int(lb::Op::Start) << 67u << "The hardware is busy." << 0;
    QTest::newRow("unknown code") << int(lb::Op::Start) << 999u << "Undefined external error." << 0;
}

void TestMidiInDevice::refusedCallsRaiseWithSystemText()
{
    QFETCH(int, op);
    QFETCH(uint, code);
    QFETCH(QString, text);
    QFETCH(int, unprepares);

    CMIDIInDevice dev(0, nullptr);
    lb::failIn(lb::Op(op), code);
    char memory[16];
    try {
        if (lb::Op(op) == lb::Op::Start)
            dev.StartReceiving();
        else
            dev.AddSysExBuffer(memory, sizeof memory);
        QFAIL("nothing raised");
    } catch (const midi::CMIDIInException& e) {
        QCOMPARE(QString(e.what()), text);
        QCOMPARE(e.code(), code);
    }
    QCOMPARE(lb::inCalls(lb::Op::Unprepare), unprepares);
    QVERIFY(dev.IsOpen());
    QVERIFY(!dev.IsReceiving());
    lb::clearFailures();
    dev.StartReceiving();
    QVERIFY(dev.IsReceiving());
}

void TestMidiInDevice::failedCloseRaisesAndStaysOpen()
{
    CMIDIInDevice dev(0, nullptr);
    lb::failIn(lb::Op::Close, mmsys::MMSYSERR_INVALHANDLE);
    QVERIFY_THROWS_EXCEPTION(midi::CMIDIInException, dev.Close());
    QVERIFY(dev.IsOpen());
    lb::clearFailures();
    dev.Close();
    QVERIFY(!dev.IsOpen());
}

void TestMidiInDevice::rawInputIsCheckedAndStamped_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("error");
    QTest::addColumn<uint>("word");

    QTest::newRow("note on") << QByteArray("\x90\x3c\x40", 3) << false << 0x00403C90u;
    QTest::newRow("program change, two bytes") << QByteArray("\xc1\x05", 2) << false << 0x000005C1u;
    QTest::newRow("clock, one byte") << QByteArray("\xf8", 1) << false << 0x000000F8u;
    QTest::newRow("data byte out of range") << QByteArray("\x90\x3c\x80", 3) << true << 0x00803C90u;
    QTest::newRow("over-long") << QByteArray("\x90\x3c\x40\x10", 4) << true << 0x00403C90u;
    QTest::newRow("truncated") << QByteArray("\x90\x3c", 2) << true << 0x00003C90u;
    QTest::newRow("no status byte") << QByteArray("\x3c\x40", 2) << true << 0x0000403Cu;
}

void TestMidiInDevice::rawInputIsCheckedAndStamped()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, error);
    QFETCH(uint, word);

    RecordingReceiver receiver;
    CMIDIInDevice dev(0, &receiver);
    dev.StartReceiving();
    lb::feedRaw(std::vector<unsigned char>(bytes.begin(), bytes.end()));
    QVERIFY(receiver.waitForCount(1));
    const ReceivedMsg got = receiver.received().front();
    QCOMPARE(got.kind, error ? ReceivedMsg::ShortError : ReceivedMsg::Short);
    QCOMPARE(got.word, word);
    QVERIFY2(got.timeStamp < 2000, "time stamp counts from the start of input");
}

void TestMidiInDevice::devIdAndCaps()
{
    m_loop.reset();
    m_loop = std::make_unique<lb::Scope>(2, 0);
    CMIDIInDevice dev(1, nullptr);
    QCOMPARE(dev.GetDevId(), 1u);
    mmsys::MIDIINCAPSA caps;
    CMIDIInDevice::GetDevCaps(1, caps);
    QCOMPARE(QString(caps.szPname), QString("Loopback In 2"));
    QVERIFY_THROWS_EXCEPTION(midi::CMIDIInException, CMIDIInDevice::GetDevCaps(2, caps));
    dev.Close();
    QVERIFY_THROWS_EXCEPTION(midi::CMIDIInException, dev.GetDevId());
}

void TestMidiInDevice::receiverSwapReturnsPrevious()
{
    RecordingReceiver a, b;
    CMIDIInDevice dev(&a);
    QCOMPARE(dev.SetReceiver(&b), &a);
    QCOMPARE(dev.SetReceiver(nullptr), &b);
}

void TestMidiInDevice::heldNotesReleasedOnceWhenPortEnds_data()
{
    QTest::addColumn<QList<uint>>("played");
    QTest::addColumn<QList<uint>>("released");
    QTest::newRow("nothing held") << QList<uint>{} << QList<uint>{};
    QTest::newRow("one key held") << QList<uint>{0x643C90} << QList<uint>{0x3C80};
    QTest::newRow("key let go with Note Off") << QList<uint>{0x643C90, 0x403C80} << QList<uint>{};
    QTest::newRow("key let go with velocity 0") << QList<uint>{0x643C90, 0x003C90} << QList<uint>{};
    QTest::newRow("same key on two channels") << QList<uint>{0x643C95, 0x643C90} << QList<uint>{0x3C80, 0x3C85};
    QTest::newRow("other messages hold nothing") << QList<uint>{0x7F40B0, 0x05C0, 0x2000E0} << QList<uint>{};
}

void TestMidiInDevice::heldNotesReleasedOnceWhenPortEnds()
{
    QFETCH(QList<uint>, played);
    QFETCH(QList<uint>, released);
    RecordingReceiver receiver;
    CMIDIInDevice dev(&receiver);
    // Notes of a port opened before do not count.
    dev.Open(0);
    lb::feed(0x643090, 1);
    lb::flush();
    dev.Open(0);
    dev.StartReceiving();
    for (uint word : played)
        lb::feed(word, 2);
    lb::removeInput(0);
    lb::removeInput(0);
    lb::flush();

    const auto got = receiver.received();
    QCOMPARE(got.size(), std::size_t(1 + played.size() + released.size()));
    for (qsizetype i = 0; i < released.size(); ++i) {
        const ReceivedMsg& m = got[std::size_t(1 + played.size() + i)];
        QCOMPARE(m.kind, ReceivedMsg::Short);
        QCOMPARE(m.word, released[i]);
    }
    QVERIFY(dev.IsPortGone());
    // Stopping still works; starting again and reopening the stale id fail cleanly.
    dev.StopReceiving();
    QVERIFY_THROWS_EXCEPTION(midi::CMIDIInException, dev.StartReceiving());
    QVERIFY(dev.IsOpen() && !dev.IsReceiving());
    QVERIFY_THROWS_EXCEPTION(midi::CMIDIInException, dev.Open(0));
    QVERIFY(!dev.IsOpen());
    QCOMPARE(receiver.received().size(), got.size());
}

void TestMidiInDevice::detachingTheReceiverWaitsForACallInProgress()
{
    BlockingReceiver receiver;
    CMIDIInDevice dev(0, &receiver);
    lb::feed(0x403C90, 1);
    QVERIFY(receiver.waitInside());

    std::atomic<bool> detached{false};
    std::thread gui([&] {
        dev.SetReceiver(nullptr);
        detached = true;
    });
    // Whatever the other thread manages meanwhile, it cannot be done while the receiver is in use.
    QTest::qWait(50);
    const bool detachedWhileInside = detached;
    const bool stillInside = receiver.inside();
    receiver.release();
    gui.join();
    QVERIFY(!detachedWhileInside);
    QVERIFY(stillInside);
    QVERIFY(detached);

    lb::feed(0x403E90, 2);
    lb::flush();
    QCOMPARE(receiver.received().size(), std::size_t(1));
}

void TestMidiInDevice::destroyedWhileThePortRefusesToClose_data()
{
    QTest::addColumn<bool>("receiving");
    QTest::addColumn<bool>("noteHeld");
    QTest::newRow("opened") << false << false;
    QTest::newRow("receiving") << true << false;
    QTest::newRow("receiving, a note held") << true << true;
}

// Run under AddressSanitizer: any call into the destroyed device is a use after free.
void TestMidiInDevice::destroyedWhileThePortRefusesToClose()
{
    QFETCH(bool, receiving);
    QFETCH(bool, noteHeld);
    RecordingReceiver receiver;
    auto dev = std::make_unique<CMIDIInDevice>(0, &receiver);
    if (receiving)
        dev->StartReceiving();
    if (noteHeld)
        lb::feed(0x403C90, 1);
    lb::flush();
    const std::size_t before = receiver.received().size();
    lb::failIn(lb::Op::Close, mmsys::MMSYSERR_ERROR);
    dev.reset();

    lb::feed(0x403E90, 2);
    lb::feedError(0xF5, 3);
    lb::feedRaw({0x90, 0x40, 0x40});
    lb::feedLong(kSysEx, 4);
    lb::removeInput(0); // would release the held note
    lb::flush();
    QCOMPARE(receiver.received().size(), before);
}

QTEST_GUILESS_MAIN(TestMidiInDevice)
#include "tst_midiindevice.moc"
