// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/midioutdevice.h"
#include "midi/shortmsg.h"
#include "platform/mmsystem/midi_loopback.h"

#include <QTest>

#include <array>

using midi::CShortMsg;

class TestShortMsg : public QObject {
    Q_OBJECT

private slots:
    void packCommandChannel_data();
    void packCommandChannel();
    void packStatus_data();
    void packStatus();
    void receivedWordKeptWhole();
    void timeStampOnlyIsEmpty();
    void setMsgKeepsDataOnly();
    void sendPassesWordAndDataOnly();
};

static std::array<unsigned char, 4> bytesOf(const CShortMsg& m)
{
    const unsigned char* p = m.GetBytes();
    return {p[0], p[1], p[2], p[3]};
}

void TestShortMsg::packCommandChannel_data()
{
    QTest::addColumn<int>("command");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("data1");
    QTest::addColumn<int>("data2");
    QTest::addColumn<uint>("word");
    QTest::addColumn<int>("getCommand");
    QTest::addColumn<int>("getChannel");
    QTest::addColumn<uint>("dataOnly");

    QTest::newRow("note on, channel 5") << 0x90 << 0x05 << 60 << 127 << 0x007F3C95u << 0x90 << 5 << 0x7F3Cu;
    QTest::newRow("command low bits merge") << 0x91 << 0x02 << 60 << 100 << 0x00643C93u << 0x90 << 3 << 0x643Cu;
    QTest::newRow("channel above 15 merges up") << 0x80 << 0x12 << 1 << 2 << 0x00020192u << 0x90 << 2 << 0x0201u;
    QTest::newRow("program change 5") << 0xC0 << 0 << 5 << 0 << 0x000005C0u << 0xC0 << 0 << 0x0005u;
    QTest::newRow("note off 60") << 0x80 << 0 << 60 << 0 << 0x00003C80u << 0x80 << 0 << 0x003Cu;
    QTest::newRow("data above 127 unchanged") << 0xB0 << 1 << 200 << 255 << 0x00FFC8B1u << 0xB0 << 1 << 0xFFC8u;
}

void TestShortMsg::packCommandChannel()
{
    QFETCH(int, command);
    QFETCH(int, channel);
    QFETCH(int, data1);
    QFETCH(int, data2);
    QFETCH(uint, word);
    QFETCH(int, getCommand);
    QFETCH(int, getChannel);
    QFETCH(uint, dataOnly);

    const auto c = static_cast<unsigned char>(command), ch = static_cast<unsigned char>(channel);
    const auto d1 = static_cast<unsigned char>(data1), d2 = static_cast<unsigned char>(data2);
    QCOMPARE(CShortMsg::Pack(c, ch, d1, d2), word);

    CShortMsg m(c, ch, d1, d2, 0);
    QCOMPARE(m.GetMsg(), word);
    QCOMPARE(m.GetDataOnly(), dataOnly);
    QCOMPARE(int(m.GetCommand()), getCommand);
    QCOMPARE(int(m.GetChannel()), getChannel);
    QCOMPARE(int(m.GetStatus()), int(word & 0xFF));
    QCOMPARE(int(m.GetData1()), data1);
    QCOMPARE(int(m.GetData2()), data2);
    QCOMPARE(m.GetLength(), 3u);
    const auto b = bytesOf(m);
    QCOMPARE(int(b[0]), int(word & 0xFF));
    QCOMPARE(int(b[1]), data1);
    QCOMPARE(int(b[2]), data2);
    QCOMPARE(int(b[3]), 0);

    unsigned char uc, uch, u1, u2;
    CShortMsg::Unpack(word, uc, uch, u1, u2);
    QCOMPARE(int(uc), getCommand);
    QCOMPARE(int(uch), getChannel);
    QCOMPARE(int(u1), data1);
    QCOMPARE(int(u2), data2);
}

void TestShortMsg::packStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("data1");
    QTest::addColumn<int>("data2");
    QTest::addColumn<uint>("word");

    QTest::newRow("note on") << 0x90 << 64 << 90 << 0x005A4090u;
    QTest::newRow("system reset, no data") << 0xFF << 0 << 0 << 0x000000FFu;
    QTest::newRow("pitch bend centre") << 0xE3 << 0 << 64 << 0x004000E3u;
}

void TestShortMsg::packStatus()
{
    QFETCH(int, status);
    QFETCH(int, data1);
    QFETCH(int, data2);
    QFETCH(uint, word);

    const auto s = static_cast<unsigned char>(status);
    const auto d1 = static_cast<unsigned char>(data1), d2 = static_cast<unsigned char>(data2);
    QCOMPARE(CShortMsg::Pack(s, d1, d2), word);
    CShortMsg m(s, d1, d2, 0);
    QCOMPARE(m.GetMsg(), word);
    QCOMPARE(m.GetDataOnly(), CShortMsg::PackData(d1, d2));

    unsigned char us, u1, u2;
    CShortMsg::Unpack(word | 0xAB000000u, us, u1, u2);
    QCOMPARE(int(us), status);
    QCOMPARE(int(u1), data1);
    QCOMPARE(int(u2), data2);
}

void TestShortMsg::receivedWordKeptWhole()
{
    const CShortMsg m(0x12403C90u, 1234);
    QCOMPARE(m.GetMsg(), 0x12403C90u);
    QCOMPARE(m.GetDataOnly(), 0x403Cu);
    QCOMPARE(m.GetTimeStamp(), 1234u);
    QCOMPARE(int(m.GetCommand()), 0x90);
    QCOMPARE(int(m.GetData1()), 0x3C);
    QCOMPARE(int(m.GetData2()), 0x40);
    QCOMPARE(int(bytesOf(m)[3]), 0x12);
}

void TestShortMsg::timeStampOnlyIsEmpty()
{
    const CShortMsg m(77u);
    QCOMPARE(m.GetMsg(), 0u);
    QCOMPARE(m.GetDataOnly(), 0u);
    QCOMPARE(m.GetTimeStamp(), 77u);
    QCOMPARE(int(m.GetCommand()), 0);
    QCOMPARE(int(m.GetChannel()), 0);
    QCOMPARE(int(m.GetData1()), 0);
    QCOMPARE(int(m.GetData2()), 0);
    QCOMPARE(m.GetLength(), 3u);
}

void TestShortMsg::setMsgKeepsDataOnly()
{
    CShortMsg m(0xFFFFFFFFu, 5);
    m.SetMsg(0x80, 0, 60, 0);
    QCOMPARE(m.GetMsg(), 0x00003C80u);
    QCOMPARE(m.GetDataOnly(), 0x3Cu);
    QCOMPARE(m.GetTimeStamp(), 5u);
    m.SetMsg(0xB2, 7, 9);
    QCOMPARE(m.GetMsg(), 0x000907B2u);
    QCOMPARE(m.GetDataOnly(), 0x0907u);
}

void TestShortMsg::sendPassesWordAndDataOnly()
{
    mmsys::loopback::Scope loop(0, 1);
    midi::CMIDIOutDevice out;
    CShortMsg m(0x90, 0, 60, 127, 0);
    m.Send(out); // closed: nothing, no exception
    QVERIFY(mmsys::loopback::sent().empty());

    out.Open(0);
    m.Send(out);
    m.SendNoStatus(out);
    QVERIFY(mmsys::loopback::waitForCount(2));
    const auto sent = mmsys::loopback::sent();
    QCOMPARE(sent[0].word, 0x007F3C90u);
    QCOMPARE(sent[1].word, 0x00007F3Cu);
}

QTEST_GUILESS_MAIN(TestShortMsg)
#include "tst_shortmsg.moc"
