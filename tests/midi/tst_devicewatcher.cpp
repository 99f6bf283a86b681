// SPDX-License-Identifier: GPL-3.0-or-later
#include "midi/devicewatcher.h"
#include "midi/midiexceptions.h"
#include "midi/midiindevice.h"
#include "midi/midioutdevice.h"
#include "platform/ui/messagebox.h"
#include "platform/mmsystem/midi_loopback.h"
#include "support/loopbackmidi.h"
#include "support/midiports.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using midi::ChoiceBy;
using midi::CMIDIInDevice;
using midi::DeviceWatcher;
using mmsys::PortDirection;
using mmsys::PortKind;
using testsupport::ReceivedMsg;
using testsupport::RecordingReceiver;
namespace lb = mmsys::loopback;

using namespace testsupport::ports;

namespace {

constexpr std::uint32_t noteOn(int note, int channel = 0)
{
    return std::uint32_t(0x90 | channel) | std::uint32_t(note) << 8 | 100u << 16;
}
constexpr std::uint32_t noteOff(int note, int channel = 0)
{
    return std::uint32_t(0x80 | channel) | std::uint32_t(note) << 8;
}

std::vector<std::uint32_t> words(const RecordingReceiver& r)
{
    std::vector<std::uint32_t> out;
    for (const ReceivedMsg& m : r.received())
        out.push_back(m.word);
    return out;
}

// Lets the loopback deliver what it holds and the queued re-reading run.
void settle()
{
    lb::flush();
    QCoreApplication::processEvents();
}

std::string nameOf(const DeviceWatcher& w, PortDirection d, int id)
{
    return w.ports(d).at(std::size_t(id)).name;
}

} // namespace

class TestDeviceWatcher : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void throughAndKeyboardListed_keyboardTaken();
    void renumberedBetweenRuns_storedNameWins();
    void keyboardAnnounced_takenOnlyWhileNoneChosenOrOpen_data();
    void keyboardAnnounced_takenOnlyWhileNoneChosenOrOpen();
    void portEndsWhileNotesHeld_releasedOnceOneNoticeNoBox();
    void chosenInputComesBack_reopened();
    void outputEnds_fallsBackToBuiltIn();
    void portVanishesBetweenListingAndOpening();
    void watcherGoneBeforeQueuedReading();

private:
    std::unique_ptr<lb::Scope> m_loop;
    QList<platform::MessageBoxCall> m_boxes;
};

void TestDeviceWatcher::init()
{
    m_boxes.clear();
    platform::setMessageBoxHook([this](const platform::MessageBoxCall& call) { m_boxes << call; });
}

void TestDeviceWatcher::cleanup()
{
    m_loop.reset();
    platform::setMessageBoxHook({});
}

void TestDeviceWatcher::throughAndKeyboardListed_keyboardTaken()
{
    m_loop = std::make_unique<lb::Scope>(std::vector{kThrough, kKeyboard}, std::vector{kBuiltIn, kThrough});
    DeviceWatcher watcher;
    QCOMPARE(watcher.choice(PortDirection::Input), (midi::PortChoice{1, ChoiceBy::Default}));
    QCOMPARE(watcher.choice(PortDirection::Output), (midi::PortChoice{0, ChoiceBy::Default}));

    RecordingReceiver receiver;
    CMIDIInDevice dev(&receiver);
    dev.Open(unsigned(watcher.choice(PortDirection::Input).id));
    dev.StartReceiving();
    lb::feed(noteOn(60), 0, 1);
    lb::feed(noteOn(61), 0, 0); // Midi Through is not listened to
    lb::flush();
    QCOMPARE(words(receiver), std::vector<std::uint32_t>{noteOn(60)});
}

void TestDeviceWatcher::renumberedBetweenRuns_storedNameWins()
{
    std::string storedName;
    int storedId = -1;
    {
        lb::Scope first({kThrough, kKeyboard}, {});
        DeviceWatcher watcher;
        storedId = watcher.choice(PortDirection::Input).id;
        storedName = nameOf(watcher, PortDirection::Input, storedId);
    }
    QCOMPARE(storedId, 1);

    // Next run: another keyboard came first, the ids moved.
    m_loop = std::make_unique<lb::Scope>(std::vector{kPiano, kVmpk, kThrough, kKeyboard}, std::vector<lb::PortSpec>{});
    DeviceWatcher watcher;
    watcher.setChosen(PortDirection::Input, storedName, storedId);
    QCOMPARE(watcher.choice(PortDirection::Input), (midi::PortChoice{3, ChoiceBy::Name}));

    RecordingReceiver receiver;
    CMIDIInDevice dev(3, &receiver);
    lb::feed(noteOn(64), 0, 3);
    lb::flush();
    QCOMPARE(words(receiver), std::vector<std::uint32_t>{noteOn(64)});
}

void TestDeviceWatcher::keyboardAnnounced_takenOnlyWhileNoneChosenOrOpen_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<bool>("somethingOpen");
    QTest::addColumn<lb::PortSpec>("arriving");
    QTest::addColumn<int>("taken");
    QTest::newRow("nothing chosen, nothing open: taken") << "" << false << kKeyboard << 1;
    QTest::newRow("another keyboard chosen: left alone") << kPiano.name.c_str() << false << kKeyboard << -1;
    QTest::newRow("an input already open: left alone") << "" << true << kKeyboard << -1;
    QTest::newRow("a program's port: not a keyboard") << "" << false << kVmpk << -1;
}

void TestDeviceWatcher::keyboardAnnounced_takenOnlyWhileNoneChosenOrOpen()
{
    QFETCH(QString, chosen);
    QFETCH(bool, somethingOpen);
    QFETCH(lb::PortSpec, arriving);
    QFETCH(int, taken);
    m_loop = std::make_unique<lb::Scope>(std::vector{kThrough}, std::vector<lb::PortSpec>{});
    DeviceWatcher watcher;
    watcher.setChosen(PortDirection::Input, chosen.toStdString(), 0);
    if (somethingOpen)
        watcher.setOpened(PortDirection::Input, watcher.ports(PortDirection::Input)[0].key);
    QSignalSpy changed(&watcher, &DeviceWatcher::portsChanged);
    QSignalSpy keyboard(&watcher, &DeviceWatcher::keyboardAppeared);
    QSignalSpy chosenBack(&watcher, &DeviceWatcher::chosenInputAppeared);

    lb::addInput(arriving);
    settle();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(watcher.ports(PortDirection::Input).size(), std::size_t(2));
    QCOMPARE(nameOf(watcher, PortDirection::Input, 1), arriving.name);
    QCOMPARE(keyboard.count(), taken < 0 ? 0 : 1);
    if (taken >= 0)
        QCOMPARE(keyboard.at(0).at(0).toInt(), taken);
    QCOMPARE(chosenBack.count(), 0);
}

void TestDeviceWatcher::portEndsWhileNotesHeld_releasedOnceOneNoticeNoBox()
{
    m_loop = std::make_unique<lb::Scope>(std::vector{kThrough, kKeyboard, kPiano}, std::vector<lb::PortSpec>{});
    DeviceWatcher watcher;
    watcher.setChosen(PortDirection::Input, kKeyboard.name, 1);
    RecordingReceiver keys, other;
    CMIDIInDevice dev(&keys), second(&other);
    dev.Open(unsigned(watcher.choice(PortDirection::Input).id));
    dev.StartReceiving();
    watcher.setOpened(PortDirection::Input, watcher.ports(PortDirection::Input)[1].key);
    second.Open(2);
    second.StartReceiving();
    QSignalSpy gone(&watcher, &DeviceWatcher::inputGone);
    QSignalSpy changed(&watcher, &DeviceWatcher::portsChanged);

    // Two notes held (one on channel 2), one let go, when the cable is pulled.
    lb::feed(noteOn(60), 10, 1);
    lb::feed(noteOn(64, 2), 11, 1);
    lb::feed(noteOn(67), 12, 1);
    lb::feed(noteOff(67), 13, 1);
    lb::removeInput(1);
    lb::feed(noteOn(72), 14, 1); // nothing comes from a port that ended
    lb::removeInput(1);
    settle();

    QCOMPARE(words(keys), (std::vector<std::uint32_t>{noteOn(60), noteOn(64, 2), noteOn(67), noteOff(67),
                                                      noteOff(60), noteOff(64, 2)}));
    QCOMPARE(keys.received().back().timeStamp, 13u);
    QCOMPARE(gone.count(), 1);
    QCOMPARE(gone.at(0).at(0).toString(), QString::fromStdString(kKeyboard.name));
    QCOMPARE(changed.count(), 1);
    QVERIFY(watcher.opened(PortDirection::Input).empty());
    QVERIFY(dev.IsPortGone());
    QVERIFY(!second.IsPortGone());

    // The exercise goes on with the other keyboard; closing the dead one raises nothing.
    lb::feed(noteOn(48), 15, 2);
    lb::flush();
    QCOMPARE(words(other), std::vector<std::uint32_t>{noteOn(48)});
    dev.Close();
    QVERIFY(!dev.IsOpen());
    QCOMPARE(keys.received().size(), std::size_t(6));
    QCOMPARE(gone.count(), 1);
    QVERIFY(m_boxes.isEmpty());
}

void TestDeviceWatcher::chosenInputComesBack_reopened()
{
    m_loop = std::make_unique<lb::Scope>(std::vector{kThrough, kKeyboard}, std::vector<lb::PortSpec>{});
    DeviceWatcher watcher;
    watcher.setChosen(PortDirection::Input, kKeyboard.name, 1);
    RecordingReceiver receiver;
    CMIDIInDevice dev(&receiver);
    dev.Open(1);
    watcher.setOpened(PortDirection::Input, watcher.ports(PortDirection::Input)[1].key);
    QSignalSpy gone(&watcher, &DeviceWatcher::inputGone);
    QSignalSpy back(&watcher, &DeviceWatcher::chosenInputAppeared);
    QSignalSpy keyboard(&watcher, &DeviceWatcher::keyboardAppeared);

    lb::removeInput(1);
    settle();
    QCOMPARE(gone.count(), 1);
    dev.Close();

    // Another keyboard first: not the chosen one.
    lb::addInput(kPiano);
    settle();
    QCOMPARE(back.count(), 0);
    const int again = lb::addInput(kKeyboard);
    settle();
    QCOMPARE(back.count(), 1);
    const int id = back.at(0).at(0).toInt();
    QCOMPARE(nameOf(watcher, PortDirection::Input, id), kKeyboard.name);
    QCOMPARE(keyboard.count(), 0);

    dev.Open(unsigned(id));
    watcher.setOpened(PortDirection::Input, watcher.ports(PortDirection::Input)[std::size_t(id)].key);
    lb::feed(noteOn(62), 0, again);
    lb::flush();
    QCOMPARE(words(receiver), std::vector<std::uint32_t>{noteOn(62)});
}

void TestDeviceWatcher::outputEnds_fallsBackToBuiltIn()
{
    m_loop = std::make_unique<lb::Scope>(std::vector<lb::PortSpec>{}, std::vector{kBuiltIn, kThrough, kSynth});
    DeviceWatcher watcher;
    watcher.setChosen(PortDirection::Output, kSynth.name, 2);
    QCOMPARE(watcher.choice(PortDirection::Output), (midi::PortChoice{2, ChoiceBy::Name}));
    midi::CMIDIOutDevice out(2);
    watcher.setOpened(PortDirection::Output, watcher.ports(PortDirection::Output)[2].key);
    out.SendShortMsg(noteOn(60));
    QSignalSpy gone(&watcher, &DeviceWatcher::outputGone);

    lb::removeOutput(2);
    settle();
    QCOMPARE(gone.count(), 1);
    QCOMPARE(gone.at(0).at(0).toString(), QString::fromStdString(kSynth.name));
    try {
        out.SendShortMsg(noteOff(60));
        QFAIL("sending to a port that ended did not raise");
    } catch (const midi::CMIDIOutException& e) {
        QCOMPARE(e.code(), mmsys::MIDIERR_NODEVICE);
    }
    out.Close();
    QVERIFY(!out.IsOpen());

    const midi::PortChoice fallback = watcher.choice(PortDirection::Output);
    QCOMPARE(fallback, (midi::PortChoice{0, ChoiceBy::Default}));
    out.Open(unsigned(fallback.id));
    lb::clearSent(0);
    out.SendShortMsg(noteOn(64));
    QCOMPARE(lb::sent(0).size(), std::size_t(1));
}

void TestDeviceWatcher::portVanishesBetweenListingAndOpening()
{
    m_loop = std::make_unique<lb::Scope>(std::vector{kThrough, kKeyboard}, std::vector<lb::PortSpec>{});
    DeviceWatcher watcher;
    const midi::PortChoice choice = watcher.choice(PortDirection::Input);
    QCOMPARE(choice.id, 1);
    QSignalSpy changed(&watcher, &DeviceWatcher::portsChanged);
    QSignalSpy gone(&watcher, &DeviceWatcher::inputGone);

    lb::vanishOnOpen(PortDirection::Input, 1);
    RecordingReceiver receiver;
    CMIDIInDevice dev(&receiver);
    try {
        dev.Open(unsigned(choice.id));
        QFAIL("opening a port that vanished did not raise");
    } catch (const midi::CMIDIInException& e) {
        QCOMPARE(e.code(), mmsys::MIDIERR_NODEVICE);
    }
    QVERIFY(!dev.IsOpen());
    settle();
    QCOMPARE(changed.count(), 1);
    QCOMPARE(gone.count(), 0); // it never was open
    QCOMPARE(watcher.ports(PortDirection::Input).size(), std::size_t(1));
    QCOMPARE(watcher.choice(PortDirection::Input).id, -1);
    QVERIFY(m_boxes.isEmpty());
}

void TestDeviceWatcher::watcherGoneBeforeQueuedReading()
{
    m_loop = std::make_unique<lb::Scope>(std::vector{kThrough}, std::vector<lb::PortSpec>{});
    auto watcher = std::make_unique<DeviceWatcher>();
    lb::addInput(kKeyboard);
    lb::flush(); // the re-reading is queued now
    watcher.reset();
    lb::addInput(kPiano);
    settle();
    QCOMPARE(mmsys::midiInGetNumDevs(), 1u); // nobody re-read the lists
}

QTEST_GUILESS_MAIN(TestDeviceWatcher)
#include "tst_devicewatcher.moc"
