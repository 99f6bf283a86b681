// SPDX-License-Identifier: GPL-3.0-or-later
// MIDI keyboards and synthesizers as musicians use them: the right keyboard
// by default, remembered by name, plugged in and out while the trainer runs.
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "midi/midirouter.h"
#include "app/noticeline.h"
#include "settings/settingsstore.h"
#include "app/tonverodlg.h"
#include "controls/instrumentctrl.h"
#include "midi/devicewatcher.h"
#include "platform/ui/messagebox.h"
#include "platform/synth/midi_synth.h"
#include "support/midiports.h"
#include "support/midiwindow.h"
#include "support/recordingdlg.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QTest>

#include <cmath>
#include <memory>
#include <vector>

using testsupport::sentWords;

namespace lb = mmsys::loopback;
using mmsys::PortDirection;
using mmsys::PortKind;

using namespace testsupport::ports;
using testsupport::RecordingDlg;

namespace {

// A recording port in the place of the built-in synthesizer.
const lb::PortSpec kBuiltInStandIn{"Built-in stand-in", PortKind::BuiltIn};

constexpr std::uint32_t noteOn(int note, int velocity = 100)
{
    return 0x90u | std::uint32_t(note) << 8 | std::uint32_t(velocity) << 16;
}
constexpr std::uint32_t noteOff(int note)
{
    return 0x80u | std::uint32_t(note) << 8;
}
constexpr std::uint32_t programChange(int program)
{
    return 0xC0u | std::uint32_t(program) << 8;
}


} // namespace

class TestMidiHotplug : public QObject, testsupport::MidiWindowFixture<RecordingDlg> {
    Q_OBJECT

private:
    RecordingDlg& window() { return quietWindow(); }
    void play(std::initializer_list<std::uint32_t> words, int port)
    {
        for (std::uint32_t w : words)
            lb::feed(w, 0, port);
        settle();
    }
    int expected() const { return CInstrumentCtrl::NoteFromKeyIndex(m_dlg->exercise().nCurNote); }
    int openedInput() const { return m_dlg->midi().midiInDevice.IsOpen() ? int(m_dlg->midi().midiInDevice.GetDevId()) : -1; }
    std::string openedName(PortDirection d) const
    {
        const std::string& key = m_dlg->midi().deviceWatcher()->opened(d);
        for (const mmsys::PortInfo& p : m_dlg->midi().deviceWatcher()->ports(d))
            if (p.key == key)
                return p.name;
        return {};
    }
    // The notices that speak of this port.
    QStringList noticesOf(const lb::PortSpec& port) const
    {
        QStringList found;
        for (const QString& t : m_dlg->notices()->texts())
            if (t.contains(QString::fromStdString(port.name)))
                found << t;
        return found;
    }
    static tonvero::TonveroSettings savedSettings()
    {
        tonvero::TonveroSettings s;
        QString dir;
        tonvero::loadSettings(s, dir, {});
        return s;
    }

private slots:
    void init() { setUpFixture(); }
    void cleanup() { tearDownFixture(); }

    // The first port of a Linux system is Midi Through: it is passed over for the keyboard.
    void startUpTakesTheKeyboardNotMidiThrough()
    {
        ports({kThrough, kVmpk, kKeyboard}, {kThrough, kSynth, kBuiltInStandIn});
        RecordingDlg& d = window();
        QCOMPARE(openedInput(), 2);
        QVERIFY(d.midi().midiInDevice.IsReceiving());
        play({noteOn(21), noteOff(21)}, 2); // A0 on the keyboard starts
        QVERIFY(d.exercise().bRunning);
        const int note = expected();
        play({noteOn(note), noteOff(note)}, 0); // nothing comes through Midi Through
        play({noteOn(note + 1), noteOff(note + 1)}, 1);
        QCOMPARE(d.exercise().nNotes, 0);
        play({noteOn(note), noteOff(note)}, 2);
        QCOMPARE(d.exercise().nNotes, 1);
        // Nothing chosen: the built-in synthesizer, not the first port.
        QCOMPARE(openedName(PortDirection::Output), kBuiltInStandIn.name);
        QVERIFY(m_boxes.isEmpty());

        // Taken by default is not chosen: saved as nothing chosen, so another keyboard may take its place.
        m_dlg.reset();
        const tonvero::TonveroSettings s = savedSettings();
        QVERIFY(s.strInDevName.isEmpty());
        QCOMPARE(s.nInDevId, 0);
        QVERIFY(s.strOutDevName.isEmpty());
        QCOMPARE(s.nOutDevId, 0);
    }

    void storedPortBetweenRuns_data()
    {
        QTest::addColumn<std::vector<lb::PortSpec>>("before");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<std::vector<lb::PortSpec>>("after");
        QTest::addColumn<int>("opened");
        QTest::newRow("stored name at a new id")
            << std::vector{kThrough, kKeyboard} << 1 << std::vector{kPiano, kVmpk, kThrough, kKeyboard} << 3;
        QTest::newRow("stored name at the same id")
            << std::vector{kThrough, kKeyboard} << 1 << std::vector{kThrough, kKeyboard, kPiano} << 1;
        QTest::newRow("a program's port chosen, keyboards added before it")
            << std::vector{kVmpk} << 0 << std::vector{kKeyboard, kPiano, kVmpk} << 2;
        QTest::newRow("chosen keyboard missing: the port at its id")
            << std::vector{kThrough, kKeyboard} << 1 << std::vector{kThrough, kPiano} << 1;
        QTest::newRow("chosen keyboard missing, Midi Through at its id: the default")
            << std::vector{kPiano, kKeyboard} << 1 << std::vector{kVmpk, kThrough, kPiano} << 2;
    }
    // The user picks a port in one run; the next run finds the ports renumbered.
    void storedPortBetweenRuns()
    {
        QFETCH(std::vector<lb::PortSpec>, before);
        QFETCH(int, chosen);
        QFETCH(std::vector<lb::PortSpec>, after);
        QFETCH(int, opened);
        ports(before, {kBuiltInStandIn, kSynth});
        RecordingDlg& first = window();
        first.preferences().strInDevName = QString::fromStdString(before[std::size_t(chosen)].name);
        first.preferences().nInDevId = chosen;
        first.preferences().strOutDevName = QString::fromStdString(kSynth.name);
        first.preferences().nOutDevId = 1;
        m_dlg.reset(); // quitting saves

        ports(after, {kThrough, kSynth, kBuiltInStandIn});
        RecordingDlg& d = window();
        QCOMPARE(openedInput(), opened);
        QVERIFY(d.midi().midiInDevice.IsReceiving());
        d.StartStop(false);
        QCOMPARE(openedName(PortDirection::Output), kSynth.name);
        QCOMPARE(sentWords(1), std::vector<std::uint32_t>{programChange(d.preferences().nPatch)});
        // What the user chose stays chosen, whatever was opened instead.
        QCOMPARE(d.preferences().strInDevName, QString::fromStdString(before[std::size_t(chosen)].name));
        QCOMPARE(d.preferences().nInDevId, chosen);
        QVERIFY(m_boxes.isEmpty());
    }

    // The cable is pulled while a key is down in an exercise.
    void portEndsWhileANoteIsHeld()
    {
        ports({kThrough, kKeyboard}, {kBuiltInStandIn});
        RecordingDlg& d = window();
        d.StartStop(false);
        const int note = expected();
        const int key = CInstrumentCtrl::KeyIndexFromNote(note);
        play({noteOn(note)}, 1);
        QCOMPARE(d.exercise().nNotes, 1);
        QCOMPARE(CInstrumentCtrl::KeyTable[std::size_t(key)].mark, int(Blue));
        d.calls.clear();

        lb::removeInput(1);
        lb::feed(noteOn(note + 2), 0, 1); // nothing comes from a port that ended
        lb::removeInput(1);
        settle();
        QCOMPARE(d.calls, (std::vector<RecordingDlg::Call>{{false, note, false, true}}));
        QCOMPARE(CInstrumentCtrl::KeyTable[std::size_t(key)].mark, int(None));
        QCOMPARE(sentWords(0).back(), noteOff(note));
        QCOMPARE(noticesOf(kKeyboard).size(), 1);
        QVERIFY(noticesOf(kKeyboard)[0].contains(QStringLiteral("Упражнение продолжается")));
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(d.exercise().bRunning);
        QVERIFY(!d.midi().midiInDevice.IsOpen());

        // The other inputs still answer.
        const int next = expected();
        d.OnNoteOn(next, false);
        d.OnNoteOff(next);
        QCOMPARE(d.exercise().nNotes, 2);
        // A later exercise start looks for the keyboard, quietly.
        d.StartStop(false);
        d.StartStop(false);
        QVERIFY(d.exercise().bRunning);
        QCOMPARE(noticesOf(kKeyboard).size(), 1);
        QVERIFY(m_boxes.isEmpty());
    }

    void keyboardPluggedInLater_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<int>("midiControl");
        QTest::addColumn<int>("midiIn");
        QTest::addColumn<bool>("opened");
        QTest::addColumn<bool>("receiving");
        QTest::newRow("idle, MIDI keys control the program") << false << 1 << 1 << true << true;
        QTest::newRow("idle, no MIDI control: opened, not listened to yet") << false << 0 << 1 << true << false;
        QTest::newRow("in an exercise") << true << 0 << 1 << true << true;
        QTest::newRow("MIDI input off: left alone") << true << 1 << 0 << false << false;
    }
    void keyboardPluggedInLater()
    {
        QFETCH(bool, running);
        QFETCH(int, midiControl);
        QFETCH(int, midiIn);
        QFETCH(bool, opened);
        QFETCH(bool, receiving);
        ports({kThrough}, {kBuiltInStandIn});
        RecordingDlg& d = window();
        QVERIFY(!d.midi().midiInDevice.IsOpen());
        d.preferences().bAppControlByMIDI = midiControl;
        d.preferences().bMIDI_In = midiIn;
        if (running)
            d.StartStop(false);

        const int port = lb::addInput(kKeyboard);
        settle();
        QCOMPARE(d.midi().midiInDevice.IsOpen(), opened);
        QCOMPARE(d.midi().midiInDevice.IsReceiving(), receiving);
        if (opened) {
            QCOMPARE(openedName(PortDirection::Input), kKeyboard.name);
            QCOMPARE(noticesOf(kKeyboard).size(), 1); // "connected"
        }
        if (running && receiving) {
            const int note = expected();
            play({noteOn(note), noteOff(note)}, port);
            QCOMPARE(d.exercise().nNotes, 1);
        }
        // Taken, not chosen.
        QVERIFY(d.preferences().strInDevName.isEmpty());
        QVERIFY(m_boxes.isEmpty());
    }

    // Unplugged during an exercise and plugged in again: it answers again without a restart.
    void chosenKeyboardComesBack()
    {
        ports({kThrough, kPiano, kKeyboard}, {kBuiltInStandIn});
        RecordingDlg& first = window();
        first.preferences().strInDevName = QString::fromStdString(kKeyboard.name);
        first.preferences().nInDevId = 2;
        m_dlg.reset();
        RecordingDlg& d = window();
        QCOMPARE(openedInput(), 2);
        d.preferences().bAppControlByMIDI = 0;
        d.StartStop(false);

        lb::removeInput(2);
        settle();
        QCOMPARE(noticesOf(kKeyboard).size(), 1);
        // Another keyboard is not the chosen one.
        lb::addInput(kVmpk);
        settle();
        QVERIFY(!d.midi().midiInDevice.IsOpen());

        const int again = lb::addInput(kKeyboard);
        settle();
        QVERIFY(d.midi().midiInDevice.IsReceiving());
        QCOMPARE(openedName(PortDirection::Input), kKeyboard.name);
        const QStringList said = noticesOf(kKeyboard);
        QCOMPARE(said.size(), 1); // "unplugged" gave way to "connected"
        QVERIFY(!said[0].contains(QStringLiteral("отключена")));
        QVERIFY(said[0].contains(QStringLiteral("подключена")));
        const int note = expected();
        play({noteOn(note), noteOff(note)}, again);
        QCOMPARE(d.exercise().nNotes, 1);
        QVERIFY(m_boxes.isEmpty());
    }

    // Nothing chosen: the keyboard taken by default comes back, or another takes its place.
    void defaultKeyboardReplaced_data()
    {
        QTest::addColumn<lb::PortSpec>("arriving");
        QTest::newRow("the same keyboard back") << kKeyboard;
        QTest::newRow("another keyboard") << kPiano;
    }
    void defaultKeyboardReplaced()
    {
        QFETCH(lb::PortSpec, arriving);
        ports({kThrough, kKeyboard}, {kBuiltInStandIn});
        RecordingDlg& d = window();
        QCOMPARE(openedInput(), 1);
        lb::removeInput(1);
        settle();
        QVERIFY(!d.midi().midiInDevice.IsOpen());
        QVERIFY(d.preferences().strInDevName.isEmpty()); // unplugging did not make it the choice

        const int port = lb::addInput(arriving);
        settle();
        QCOMPARE(openedName(PortDirection::Input), arriving.name);
        // Said to be unplugged no more: one keyboard or the other answers now.
        QVERIFY(!d.notices()->texts().join(u' ').contains(QStringLiteral("отключена")));
        play({noteOn(21), noteOff(21)}, port);
        QVERIFY(d.exercise().bRunning);
    }

    void outputEndsDuringAnExercise_data()
    {
        QTest::addColumn<bool>("realSynth");
        QTest::newRow("recording stand-in for the synthesizer") << false;
        QTest::newRow("the built-in synthesizer") << true;
    }
    // An external synthesizer pulled out mid-exercise: the built-in one plays on.
    void outputEndsDuringAnExercise()
    {
        QFETCH(bool, realSynth);
        if (realSynth && mmsys::synth::findSoundFont().empty())
            QSKIP("no General MIDI soundfont installed");
        ports({kKeyboard}, realSynth ? std::vector{kSynth} : std::vector{kBuiltInStandIn, kSynth});
        if (realSynth)
            mmsys::setBackendsForTest({mmsys::Backend::Synth, mmsys::Backend::Loopback});
        const int synthPort = realSynth ? 0 : 1;
        RecordingDlg& d = window();
        d.preferences().strOutDevName = QString::fromStdString(kSynth.name);
        d.preferences().nOutDevId = 1;
        d.preferences().nPatch = 40;
        d.StartStop(false);
        QCOMPARE(openedName(PortDirection::Output), kSynth.name);
        int note = expected();
        play({noteOn(note)}, 0);
        QCOMPARE(sentWords(synthPort), (std::vector<std::uint32_t>{programChange(40), noteOn(note, 127)}));

        lb::removeOutput(synthPort);
        settle();
        QVERIFY(d.midi().midiOutDevice.IsOpen());
        QCOMPARE(openedName(PortDirection::Output), realSynth ? std::string(mmsys::synth::kDeviceName)
                                                              : kBuiltInStandIn.name);
        QCOMPARE(noticesOf(kSynth).size(), 1);
        QVERIFY(noticesOf(kSynth)[0].contains(QStringLiteral("встроенный синтезатор")));

        if (realSynth) // what went before the soundfont was in would be dropped
            QVERIFY(mmsys::synth::sharedEngine().waitLoaded(30000));
        play({noteOff(note)}, 0);
        const int released = note;
        note = expected();
        play({noteOn(note)}, 0);
        if (!realSynth) {
            QCOMPARE(sentWords(0), (std::vector<std::uint32_t>{programChange(40), noteOff(released), noteOn(note, 127)}));
        } else if (!mmsys::synth::sharedEngine().hasAudio()) {
            // No audio device here: the synthesizer is heard by rendering it.
            std::vector<float> left(4410), right(4410);
            mmsys::synth::sharedEngine().render(left.data(), right.data(), int(left.size()));
            double sum = 0;
            for (float v : left)
                sum += double(v) * v;
            QVERIFY(std::sqrt(sum / double(left.size())) > 1e-3);
        }
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(d.exercise().bRunning);
        QCOMPARE(d.exercise().nNotes, 2);
        QCOMPARE(noticesOf(kSynth).size(), 1);
        QCOMPARE(d.preferences().strOutDevName, QString::fromStdString(kSynth.name)); // still the choice
    }

    // Sent to a port that ended before the watcher heard of it.
    void outputEndsBetweenTwoNotes()
    {
        ports({kKeyboard}, {kBuiltInStandIn, kSynth});
        RecordingDlg& d = window();
        d.preferences().strOutDevName = QString::fromStdString(kSynth.name);
        d.preferences().nOutDevId = 1;
        d.StartStop(false);
        lb::removeOutput(1);
        lb::flush(); // the port ended; its announcement waits in the GUI thread's queue
        const int note = expected();
        d.OnNoteOn(note, false);
        QCOMPARE(sentWords(0), (std::vector<std::uint32_t>{programChange(d.preferences().nPatch), noteOn(note, 127)}));
        settle();
        QCOMPARE(noticesOf(kSynth).size(), 1);
        QVERIFY(m_boxes.isEmpty());
        QCOMPARE(openedName(PortDirection::Output), kBuiltInStandIn.name);
    }

    void portVanishesBetweenListingAndOpening_data()
    {
        QTest::addColumn<bool>("atStartUp");
        QTest::newRow("at start-up") << true;
        QTest::newRow("at an exercise start") << false;
    }
    void portVanishesBetweenListingAndOpening()
    {
        QFETCH(bool, atStartUp);
        ports({kThrough, kKeyboard}, {kBuiltInStandIn, kSynth});
        if (atStartUp) {
            lb::vanishOnOpen(PortDirection::Input, 1);
        } else {
            RecordingDlg& first = window();
            first.preferences().strOutDevName = QString::fromStdString(kSynth.name);
            first.preferences().nOutDevId = 1;
            m_dlg.reset();
        }
        RecordingDlg& d = window();
        if (!atStartUp) {
            // The keyboard is unplugged while idle, back while input is off, and gone again as the exercise opens it.
            lb::removeInput(1);
            settle();
            d.preferences().bMIDI_In = 0;
            const int back = lb::addInput(kKeyboard);
            settle();
            QVERIFY(!d.midi().midiInDevice.IsOpen());
            d.preferences().bMIDI_In = 1;
            lb::vanishOnOpen(PortDirection::Input, back);
            lb::vanishOnOpen(PortDirection::Output, 1);
        }
        QVERIFY(!d.midi().midiInDevice.IsOpen());
        d.StartStop(false);
        settle();
        QVERIFY(d.exercise().bRunning);
        QVERIFY(!d.midi().midiInDevice.IsOpen());
        QVERIFY(m_boxes.isEmpty());
        if (!atStartUp) {
            // The chosen synthesizer vanished as it was opened: the built-in one plays.
            QCOMPARE(openedName(PortDirection::Output), kBuiltInStandIn.name);
            QCOMPARE(noticesOf(kSynth).size(), 1);
        }
        for (const QString& t : d.notices()->texts())
            QVERIFY2(!t.contains(QStringLiteral("не удалось")), qPrintable(t));
        // The exercise goes on with the other inputs.
        const int note = expected();
        d.OnNoteOn(note, false);
        QCOMPARE(d.exercise().nNotes, 1);
    }

    // The window goes while its input port refuses to close; the port then
    // delivers, ends, releases held notes: nothing reaches the window (run under ASan).
    void windowDestroyedWhileItsInputRefusesToClose()
    {
        ports({kKeyboard}, {kBuiltInStandIn});
        RecordingDlg& d = window();
        d.StartStop(false);
        play({noteOn(expected())}, 0); // held
        lb::failIn(lb::Op::Close, mmsys::MMSYSERR_ERROR);
        m_dlg.reset();

        lb::feed(noteOn(60), 0);
        lb::feedError(0xF5, 0);
        lb::removeInput(0);
        settle();
        QVERIFY(m_boxes.isEmpty());
    }
};

QTEST_MAIN(TestMidiHotplug)
#include "tst_midihotplug.moc"
