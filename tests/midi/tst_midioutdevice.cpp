// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/midiports.h"
#include "midi/midiexceptions.h"
#include "midi/midioutdevice.h"
#include "midi/shortmsg.h"
#include "platform/mmsystem/midi_loopback.h"

#include <QTest>

#include <memory>

using testsupport::sentWords;

using midi::CMIDIOutDevice;
namespace lb = mmsys::loopback;

namespace {
const char kSysEx[] = "\xF0\x7E\x7F\x09\x01\xF7";
constexpr std::uint32_t kSysExLength = 6;

} // namespace

using Words = std::vector<mmsys::DWORD>;
Q_DECLARE_METATYPE(Words)

class TestMidiOutDevice : public QObject {
    Q_OBJECT

private slots:
    void init() { m_loop = std::make_unique<lb::Scope>(1, 2); }
    void cleanup() { m_loop.reset(); }

    void openBadIdRaisesAndStaysClosed_data();
    void openBadIdRaisesAndStaysClosed();
    void sendingWhileClosedDoesNothing();
    void closeTwiceAndDestroyOpened();
    void openOnOpenedClosesFirst();
    void failedShortSendRaisesAndStaysOpen();
    void failedCloseIsIgnored();
    void longMessageIsFreedWhenDone();
    void twoCompletionsFreeOnlyOne();
    void closeWithBlockInPlayResetsFirst();
    void refusedLongMessageRaises_data();
    void refusedLongMessageRaises();
    void closeReleasesHeldNotes_data();
    void closeReleasesHeldNotes();
    void devIdAndCaps();

private:
    std::unique_ptr<lb::Scope> m_loop;
};

void TestMidiOutDevice::openBadIdRaisesAndStaysClosed_data()
{
    QTest::addColumn<int>("outputs");
    QTest::newRow("two outputs, id 2") << 2;
    QTest::newRow("no output at all") << 0;
}

void TestMidiOutDevice::openBadIdRaisesAndStaysClosed()
{
    QFETCH(int, outputs);
    m_loop.reset();
    m_loop = std::make_unique<lb::Scope>(1, outputs);
    CMIDIOutDevice dev;
    try {
        dev.Open(unsigned(outputs));
        QFAIL("Open did not raise");
    } catch (const std::exception& e) {
        QCOMPARE(QString(e.what()), QString("The specified device identifier is out of range."));
    }
    QVERIFY(!dev.IsOpen());
    dev.SendShortMsg(0x90); // still closed: nothing
    QVERIFY_THROWS_EXCEPTION(midi::CMIDIOutException, CMIDIOutDevice(unsigned(outputs)));
}

void TestMidiOutDevice::sendingWhileClosedDoesNothing()
{
    CMIDIOutDevice dev;
    dev.SendShortMsg(0x007F3C90);
    dev.SendLongMsg(kSysEx, kSysExLength);
    dev.Open(0);
    dev.Close();
    dev.SendShortMsg(0x007F3C90);
    dev.SendLongMsg(kSysEx, kSysExLength);
    QVERIFY(lb::sent().empty());
    QCOMPARE(lb::outCalls(lb::Op::Prepare), 0);
}

void TestMidiOutDevice::closeTwiceAndDestroyOpened()
{
    {
        CMIDIOutDevice dev(0);
        QVERIFY(dev.IsOpen());
        dev.Close();
        dev.Close();
        QVERIFY(!dev.IsOpen());
        QCOMPARE(lb::outCalls(lb::Op::Close), 1);
        dev.Open(0);
    }
    QCOMPARE(lb::outCalls(lb::Op::Close), 2);
    // The port is free again.
    CMIDIOutDevice again(0);
    QVERIFY(again.IsOpen());
}

void TestMidiOutDevice::openOnOpenedClosesFirst()
{
    CMIDIOutDevice dev(0);
    dev.SendLongMsg(kSysEx, kSysExLength);
    dev.Open(1);
    QVERIFY(dev.IsOpen());
    QCOMPARE(lb::outCalls(lb::Op::Close, 0), 1);
    QCOMPARE(lb::outCalls(lb::Op::Unprepare, 0), 1);
    QCOMPARE(dev.GetDevId(), 1u);
    dev.SendShortMsg(0x00003C80);
    QVERIFY(lb::waitForCount(1, 5000, 1));
}

void TestMidiOutDevice::failedShortSendRaisesAndStaysOpen()
{
    CMIDIOutDevice dev(0);
    lb::failOut(lb::Op::ShortMsg, mmsys::MIDIERR_NOTREADY);
    try {
        midi::CShortMsg(0x90, 0, 60, 127, 0).Send(dev);
        QFAIL("nothing raised");
    } catch (const std::exception& e) {
        QCOMPARE(QString(e.what()), QString("The hardware is busy."));
    }
    QVERIFY(dev.IsOpen());
    lb::clearFailures();
    dev.SendShortMsg(0x00003C80);
    QCOMPARE(sentWords(), Words{0x00003C80u});
}

void TestMidiOutDevice::failedCloseIsIgnored()
{
    CMIDIOutDevice dev(0);
    lb::failOut(lb::Op::Close, mmsys::MMSYSERR_ERROR);
    dev.Close();
    QVERIFY(!dev.IsOpen());
    dev.SendShortMsg(0x90);
    QVERIFY(lb::sent().empty());
}

void TestMidiOutDevice::longMessageIsFreedWhenDone()
{
    CMIDIOutDevice dev(0);
    dev.SendLongMsg(kSysEx, kSysExLength);
    QVERIFY(lb::waitForCount(1));
    const auto sent = lb::sent();
    QVERIFY(sent[0].isLong);
    QCOMPARE(sent[0].bytes, std::vector<unsigned char>(kSysEx, kSysEx + kSysExLength));
    QTRY_COMPARE(lb::outCalls(lb::Op::Unprepare), 1);
}

void TestMidiOutDevice::twoCompletionsFreeOnlyOne()
{
    lb::setManualCompletion(true);
    CMIDIOutDevice dev(0);
    for (int i = 0; i < 3; ++i)
        dev.SendLongMsg(kSysEx, kSysExLength);
    QCOMPARE(lb::pendingLong(), std::size_t(3));

    lb::holdUnprepare(true);
    lb::complete(1);
    QVERIFY(lb::waitUnprepareBlocked(1));
    lb::complete(2); // both arrive while the worker is still busy
    lb::flush();
    QCOMPARE(lb::pendingLong(), std::size_t(0));
    lb::holdUnprepare(false);

    QTRY_COMPARE(lb::outCalls(lb::Op::Unprepare), 2);
    QTest::qWait(100);
    QCOMPARE(lb::outCalls(lb::Op::Unprepare), 2);
    dev.Close();
    QCOMPARE(lb::outCalls(lb::Op::Unprepare), 3);
}

void TestMidiOutDevice::closeWithBlockInPlayResetsFirst()
{
    lb::setManualCompletion(true);
    CMIDIOutDevice dev(0);
    dev.SendLongMsg(kSysEx, kSysExLength);
    QCOMPARE(lb::pendingLong(), std::size_t(1));
    dev.Close();
    QCOMPARE(lb::outCalls(lb::Op::Reset), 1);
    QCOMPARE(lb::outCalls(lb::Op::Unprepare), 1);
    QCOMPARE(lb::outCalls(lb::Op::Close), 1);
    QCOMPARE(lb::pendingLong(), std::size_t(0));
}

void TestMidiOutDevice::refusedLongMessageRaises_data()
{
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("unprepares");
    QTest::newRow("preparation refused") << int(lb::Op::Prepare) << 0;
    QTest::newRow("send refused") << int(lb::Op::LongMsg) << 1;
}

void TestMidiOutDevice::refusedLongMessageRaises()
{
    QFETCH(int, op);
    QFETCH(int, unprepares);
    CMIDIOutDevice dev(0);
    lb::failOut(lb::Op(op), mmsys::MMSYSERR_NOMEM);
    try {
        dev.SendLongMsg(kSysEx, kSysExLength);
        QFAIL("nothing raised");
    } catch (const midi::CMIDIOutException& e) {
        QCOMPARE(QString(e.what()), QString("Unable to allocate or lock memory."));
    }
    QCOMPARE(lb::outCalls(lb::Op::Unprepare), unprepares);
    QVERIFY(dev.IsOpen());
    dev.Close();
    QCOMPARE(lb::outCalls(lb::Op::Unprepare), unprepares); // nothing left queued
}

void TestMidiOutDevice::closeReleasesHeldNotes_data()
{
    QTest::addColumn<Words>("sent");
    QTest::addColumn<Words>("atClose");

    QTest::newRow("note left on") << Words{0x007F3C90} << Words{0x00003C80};
    QTest::newRow("note switched off") << Words{0x007F3C90, 0x00003C80} << Words{};
    QTest::newRow("velocity 0 switches off") << Words{0x007F3C90, 0x00003C90} << Words{};
    QTest::newRow("two channels, two notes")
        << Words{0x00644593, 0x007F3C90, 0x00644090} << Words{0x00003C80, 0x00004080, 0x00004583};
    QTest::newRow("all notes off clears the channel") << Words{0x007F3C91, 0x00007BB1} << Words{};
    QTest::newRow("program change is not a note") << Words{0x000005C0} << Words{};
}

void TestMidiOutDevice::closeReleasesHeldNotes()
{
    QFETCH(Words, sent);
    QFETCH(Words, atClose);
    CMIDIOutDevice dev(0);
    for (auto w : sent)
        dev.SendShortMsg(w);
    dev.Close();
    Words expected = sent;
    expected.insert(expected.end(), atClose.begin(), atClose.end());
    QCOMPARE(sentWords(), expected);

    // A fresh opening starts with nothing held.
    lb::clearSent();
    dev.Open(0);
    dev.Close();
    QVERIFY(lb::sent().empty());
}

void TestMidiOutDevice::devIdAndCaps()
{
    CMIDIOutDevice dev(1);
    QCOMPARE(dev.GetDevId(), 1u);
    mmsys::MIDIOUTCAPSA caps;
    CMIDIOutDevice::GetDevCaps(0, caps);
    QCOMPARE(QString(caps.szPname), QString("Loopback Out 1"));
    QVERIFY_THROWS_EXCEPTION(midi::CMIDIOutException, CMIDIOutDevice::GetDevCaps(2, caps));
    dev.Close();
    try {
        dev.GetDevId();
        QFAIL("nothing raised");
    } catch (const std::exception& e) {
        QCOMPARE(QString(e.what()), QString("The specified device handle is invalid."));
    }
}

QTEST_GUILESS_MAIN(TestMidiOutDevice)
#include "tst_midioutdevice.moc"
