// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/midiports.h"
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "midi/midirouter.h"
#include "app/tonverodlg.h"
#include "controls/instrumentctrl.h"
#include "platform/ui/messagebox.h"
#include "platform/mmsystem/midi_loopback.h"
#include "support/midiwindow.h"
#include "support/recordingdlg.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <memory>
#include <vector>

using testsupport::sentWords;

namespace lb = mmsys::loopback;

namespace {

constexpr std::uint32_t noteOn(int note, int velocity = 100, int channel = 0)
{
    return std::uint32_t(0x90 | channel) | std::uint32_t(note) << 8 | std::uint32_t(velocity) << 16;
}
constexpr std::uint32_t noteOff(int note, int channel = 0)
{
    return std::uint32_t(0x80 | channel) | std::uint32_t(note) << 8 | 0x40u << 16;
}
constexpr std::uint32_t programChange(int program)
{
    return 0xC0u | std::uint32_t(program) << 8;
}

using testsupport::RecordingDlg;

} // namespace

class TestMidiRouting : public QObject, testsupport::MidiWindowFixture<RecordingDlg> {
    Q_OBJECT

private:
    RecordingDlg& open(int inputs = 1, int outputs = 1)
    {
        ports(inputs, outputs);
        quietWindow();
        m_boxes.clear();
        return *m_dlg;
    }

    // Feeds the words on input port 0 and lets the GUI thread handle what they queued.
    void deliver(std::initializer_list<std::uint32_t> words)
    {
        for (std::uint32_t w : words)
            lb::feed(w, 0);
        settle();
    }
    void settle()
    {
        lb::flush();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }


    int expected() const { return CInstrumentCtrl::NoteFromKeyIndex(m_dlg->exercise().nCurNote); }
    // A note of the piano that is not the expected one.
    int wrongNote() const { return expected() == 60 ? 62 : 60; }

private slots:
    void init() { setUpFixture(); }
    void cleanup() { tearDownFixture(); }

    void startUpOpensInputAndListensForControlKeys()
    {
        RecordingDlg& d = open();
        QVERIFY(d.midi().midiInDevice.IsOpen());
        QVERIFY(d.midi().midiInDevice.IsReceiving()); // bAppControlByMIDI is on by default
        QVERIFY(!d.midi().midiOutDevice.IsOpen());
        QVERIFY(m_boxes.isEmpty());
    }

    void startUpOpenFailureIsShownAndStartUpGoesOn()
    {
        m_loop = std::make_unique<lb::Scope>(1, 1);
        lb::failIn(lb::Op::Open, mmsys::MMSYSERR_ALLOCATED);
        m_dlg = std::make_unique<RecordingDlg>();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].caption, QStringLiteral("MIDI init Error"));
        QCOMPARE(m_boxes[0].icon, platform::MsgIcon::Error);
        char text[256] = {};
        mmsys::midiInGetErrorTextA(mmsys::MMSYSERR_ALLOCATED, text, sizeof text);
        QCOMPARE(m_boxes[0].text, QString::fromLocal8Bit(text));
        QVERIFY(!m_dlg->midi().midiInDevice.IsOpen());
        QCOMPARE(m_dlg->startButton()->text(), QStringLiteral("Начать"));
    }

    void decoding_data()
    {
        QTest::addColumn<uint>("word");
        QTest::addColumn<int>("onNote");
        QTest::addColumn<int>("offNote");
        QTest::newRow("note on, channel 1") << uint(noteOn(60)) << 60 << -1;
        QTest::newRow("note on, channel 10") << uint(noteOn(64, 1, 9)) << 64 << -1;
        QTest::newRow("note on, velocity 0 releases") << uint(noteOn(60, 0)) << -1 << 60;
        QTest::newRow("note off, channel 4") << uint(noteOff(67, 3)) << -1 << 67;
        QTest::newRow("control change") << uint(0xB0 | 7 << 8 | 100 << 16) << -1 << -1;
        QTest::newRow("program change") << uint(programChange(5)) << -1 << -1;
        QTest::newRow("pitch bend") << uint(0xE0 | 0 << 8 | 64 << 16) << -1 << -1;
        QTest::newRow("key pressure") << uint(0xA0 | 60 << 8 | 30 << 16) << -1 << -1;
    }
    void decoding()
    {
        QFETCH(uint, word);
        QFETCH(int, onNote);
        QFETCH(int, offNote);
        RecordingDlg& d = open();
        deliver({word});
        std::vector<RecordingDlg::Call> want;
        if (onNote >= 0)
            want.push_back({true, onNote, true, true});
        if (offNote >= 0)
            want.push_back({false, offNote, false, true});
        QCOMPARE(d.calls, want);
    }

    void notesIgnoredWithMidiInputOff()
    {
        RecordingDlg& d = open();
        d.preferences().bMIDI_In = 0;
        d.StartStop(false);
        QVERIFY(d.midi().midiInDevice.IsReceiving());
        deliver({noteOn(expected()), noteOff(expected())});
        QVERIFY(d.calls.empty());
        QCOMPARE(d.exercise().nNotes, 0);
    }

    void notesHandledInArrivalOrder()
    {
        RecordingDlg& d = open();
        std::vector<RecordingDlg::Call> want;
        for (int i = 0; i < 300; ++i) {
            const int note = 30 + i % 60;
            lb::feed(i % 2 ? noteOff(note) : noteOn(note), 0);
            want.push_back({i % 2 == 0, note, i % 2 == 0, true});
        }
        settle();
        QCOMPARE(d.calls, want);
    }

    void illegalMessageShowsErrorBox()
    {
        open();
        lb::feedError(0x1234F5);
        settle();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, QStringLiteral("An illegal MIDI short message was received."));
        QCOMPARE(m_boxes[0].caption, QStringLiteral("Error"));
        QCOMPARE(m_boxes[0].icon, platform::MsgIcon::Error);
        QVERIFY(!m_boxOffGuiThread);
    }

    void streamOfIllegalMessagesShowsOneBoxAtATime()
    {
        open();
        int depth = 0, deepest = 0;
        // Each box runs its own event loop while the user reads it, as a real one does.
        platform::setMessageBoxHook([&](const platform::MessageBoxCall& call) {
            m_boxes << call;
            deepest = std::max(deepest, ++depth);
            for (int i = 0; i < 5; ++i) {
                QCoreApplication::sendPostedEvents();
                QCoreApplication::processEvents();
            }
            --depth;
        });
        for (int i = 0; i < 20; ++i)
            lb::feedError(0x1234F5);
        settle();
        QCOMPARE(deepest, 1);
        QVERIFY(!m_boxes.isEmpty());
        QCOMPARE(m_boxes.size() + m_dlg->midi().midiErrorsNotShown(), 20);
        QVERIFY(m_boxes.size() < 20);
    }

    void controlKeysStartPauseAndStop()
    {
        RecordingDlg& d = open();
        deliver({noteOn(21), noteOff(21)});
        QVERIFY(d.exercise().bRunning);
        QVERIFY(!d.exercise().bPaused);
        deliver({noteOn(22), noteOff(22)});
        QVERIFY(d.exercise().bPaused);
        deliver({noteOn(22), noteOff(22)});
        QVERIFY(!d.exercise().bPaused);
        QVERIFY(d.exercise().bRunning);
        deliver({noteOn(21), noteOff(21)});
        QVERIFY(!d.exercise().bRunning);
        QCOMPARE(d.exercise().nNotes, 0);
        QCOMPARE(d.exercise().nErrors, 0);
        QVERIFY(!d.exercise().bWrongPending);
    }

    void controlKeysJudgedWithoutProgramControl()
    {
        RecordingDlg& d = open();
        d.preferences().bAppControlByMIDI = 0;
        d.preferences().bOnWrongNoteWaitTime = 0; // every wrong attempt counts
        deliver({noteOn(21), noteOff(21)});
        QVERIFY(!d.exercise().bRunning); // idle: A0 does not start
        d.StartStop(false);
        QVERIFY(expected() != 21 && expected() != 22);
        deliver({noteOn(21), noteOff(21), noteOn(22), noteOff(22)});
        QVERIFY(d.exercise().bRunning);
        QVERIFY(!d.exercise().bPaused);
        QCOMPARE(d.exercise().nErrors, 2);
    }

    void receivingAfterStop_data()
    {
        QTest::addColumn<int>("midiIn");
        QTest::addColumn<int>("programControl");
        QTest::addColumn<bool>("receiving");
        QTest::newRow("both on") << 1 << 1 << true;
        QTest::newRow("program control off") << 1 << 0 << false;
        QTest::newRow("MIDI input off") << 0 << 1 << false;
    }
    void receivingAfterStop()
    {
        QFETCH(int, midiIn);
        QFETCH(int, programControl);
        QFETCH(bool, receiving);
        RecordingDlg& d = open();
        d.preferences().bMIDI_In = midiIn;
        d.preferences().bAppControlByMIDI = programControl;
        d.StartStop(false);
        QVERIFY(d.midi().midiInDevice.IsReceiving());
        d.StartStop(false);
        QCOMPARE(d.midi().midiInDevice.IsReceiving(), receiving);
        QVERIFY(d.midi().midiInDevice.IsOpen());
    }

    void rightAnswerFromMidiIsJudgedAndSounded()
    {
        RecordingDlg& d = open();
        d.preferences().nPatch = 40;
        d.StartStop(false);
        QVERIFY(d.midi().midiOutDevice.IsOpen());
        const int note = expected();
        deliver({noteOn(note, 33, 5)});
        QCOMPARE(d.exercise().nNotes, 1);
        QCOMPARE(d.exercise().nErrors, 0);
        deliver({noteOff(note, 5)});
        const std::vector<std::uint32_t> want{programChange(40), noteOn(note, 127), std::uint32_t(0x80 | note << 8)};
        QCOMPARE(sentWords(), want);
    }

    void wrongAnswerSoundsNothingButReleases()
    {
        RecordingDlg& d = open();
        d.StartStop(false);
        const int wrong = wrongNote();
        deliver({noteOn(wrong), noteOff(wrong)});
        QCOMPARE(d.exercise().nErrors, 1);
        const std::vector<std::uint32_t> want{programChange(d.preferences().nPatch), std::uint32_t(0x80 | wrong << 8)};
        QCOMPARE(sentWords(), want);
    }

    void hintSoundsTheExpectedNote()
    {
        RecordingDlg& d = open();
        d.preferences().bHintMode = 1;
        d.StartStop(false);
        const int hinted = expected();
        const int pressed = wrongNote();
        deliver({noteOn(pressed), noteOff(pressed)});
        const std::vector<std::uint32_t> want{programChange(d.preferences().nPatch), noteOn(hinted, 127),
                                              std::uint32_t(0x80 | pressed << 8)};
        QCOMPARE(sentWords(), want);
    }

    void nothingSentWithOutputOff()
    {
        RecordingDlg& d = open();
        d.preferences().bMIDI_Out = 0;
        d.StartStop(false);
        deliver({noteOn(expected()), noteOff(expected())});
        QCOMPARE(lb::outCalls(lb::Op::Open), 0);
        QVERIFY(sentWords().empty());
        d.midi().SetPatch(3);
        QVERIFY(sentWords().empty());
    }

    void setPatchSendsOnlyWhileOpen()
    {
        RecordingDlg& d = open();
        d.midi().SetPatch(12);
        QCOMPARE(int(d.preferences().nPatch), 12);
        QVERIFY(sentWords().empty());
        d.StartStop(false);
        d.midi().SetPatch(73);
        const std::vector<std::uint32_t> want{programChange(12), programChange(73)};
        QCOMPARE(sentWords(), want);
    }

    void heldNoteReleasedWhenTheExerciseStops()
    {
        RecordingDlg& d = open();
        d.StartStop(false);
        const int note = expected();
        deliver({noteOn(note)});
        d.StartStop(false); // still held
        QVERIFY(!d.midi().midiOutDevice.IsOpen());
        const std::vector<std::uint32_t> words = sentWords();
        QVERIFY(!words.empty());
        QCOMPARE(words.back() & 0xFFFF, std::uint32_t(0x80 | note << 8));
    }

    void outputFailure_data()
    {
        QTest::addColumn<int>("op");
        QTest::newRow("open") << int(lb::Op::Open);
        QTest::newRow("send") << int(lb::Op::ShortMsg);
    }
    void outputFailure()
    {
        QFETCH(int, op);
        RecordingDlg& d = open();
        lb::failOut(lb::Op(op), mmsys::MMSYSERR_NOTENABLED);
        d.StartStop(false);
        for (int i = 0; i < 3; ++i) {
            const int note = expected();
            deliver({noteOn(note), noteOff(note)});
        }
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].caption, QStringLiteral("MIDI error"));
        char text[256] = {};
        mmsys::midiOutGetErrorTextA(mmsys::MMSYSERR_NOTENABLED, text, sizeof text);
        QCOMPARE(m_boxes[0].text, QString::fromLocal8Bit(text));
        QVERIFY(d.exercise().bRunning);
        QCOMPARE(d.exercise().nNotes, 3); // the exercise went on without sound
        QVERIFY(!d.midi().midiOutDevice.IsOpen());

        // The next exercise tries again and reports again.
        d.StartStop(false);
        lb::clearFailures();
        d.StartStop(false);
        QVERIFY(d.midi().midiOutDevice.IsOpen());
        QCOMPARE(m_boxes.size(), 1);
    }

    void storedOutputIdOpened_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("port");
        QTest::newRow("second port") << 1 << 1;
        QTest::newRow("gone: first port") << 5 << 0;
        QTest::newRow("negative: first port") << -1 << 0;
    }
    void storedOutputIdOpened()
    {
        QFETCH(int, stored);
        QFETCH(int, port);
        RecordingDlg& d = open(2, 2);
        d.preferences().nOutDevId = stored;
        d.StartStop(false);
        QCOMPARE(int(d.midi().midiOutDevice.GetDevId()), port);
        QCOMPARE(lb::outCalls(lb::Op::Open, port), 1);
        QCOMPARE(d.preferences().nOutDevId, stored); // the setting is kept for when the device comes back

        d.StartStop(false);
        d.preferences().nInDevId = stored;
        d.midi().CloseMidiInput();
        d.midi().OpenMidiInput();
        QCOMPARE(int(d.midi().midiInDevice.GetDevId()), port);
    }

    void startUpOpensTheStoredInput_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("port");
        QTest::newRow("second port") << 1 << 1;
        QTest::newRow("gone: first port") << 4 << 0;
    }
    void startUpOpensTheStoredInput()
    {
        QFETCH(int, stored);
        QFETCH(int, port);
        open(2, 1).preferences().nInDevId = stored;
        m_dlg.reset(); // saves the settings
        m_dlg = std::make_unique<RecordingDlg>();
        QCOMPARE(m_dlg->preferences().nInDevId, stored);
        QCOMPARE(int(m_dlg->midi().midiInDevice.GetDevId()), port);
        // Port 0 was opened by the first window only, unless the second one fell back to it:
        // the input is opened once, after the settings were read.
        QCOMPARE(lb::inCalls(lb::Op::Open, 0), port == 0 ? 2 : 1);
        QCOMPARE(lb::inCalls(lb::Op::Open, 1), port == 1 ? 1 : 0);
        QVERIFY(m_dlg->midi().midiInDevice.IsReceiving());
    }

    void noDevicesNoMidi()
    {
        RecordingDlg& d = open(0, 0);
        QVERIFY(!d.midi().midiInDevice.IsOpen());
        d.StartStop(false);
        QVERIFY(d.exercise().bRunning);
        QVERIFY(!d.midi().midiOutDevice.IsOpen());
        d.StartStop(false);
        QVERIFY(m_boxes.isEmpty());
    }
};

QTEST_MAIN(TestMidiRouting)
#include "tst_midirouting.moc"
