// SPDX-License-Identifier: GPL-3.0-or-later
// The built-in synthesizer where FluidSynth cannot be used: this test runs
// with a stand-in library of FluidSynth's name that lacks its functions.
// The program goes on silent, says so once, and ends cleanly.
#include "platform/synth/fluidsynthlib.h"
#include "platform/synth/midi_synth.h"
#include "platform/mmsystem/mmsystem.h"

#include <QTest>

#include <algorithm>
#include <mutex>

using mmsys::synth::SampleLoading;
using mmsys::synth::SynthEngine;

class TestSynthWithoutFluidSynth : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void libraryTellsWhy();
    void engineStaysSilent_data();
    void engineStaysSilent();
    void outputPortSaysSoAtEachOpening();

private:
    std::string m_soundFont;
};

void TestSynthWithoutFluidSynth::initTestCase()
{
    m_soundFont = mmsys::synth::findSoundFont();
}

void TestSynthWithoutFluidSynth::libraryTellsWhy()
{
    std::string error;
    QVERIFY(!mmsys::synth::FluidSynthLib::get(&error));
    QVERIFY2(error.find("lacks") != std::string::npos, error.c_str()); // the stand-in was found, and refused
    QVERIFY(!mmsys::synth::FluidSynthLib::get()); // asked again: the same answer, no second attempt to crash on
}

void TestSynthWithoutFluidSynth::engineStaysSilent_data()
{
    QTest::addColumn<bool>("whole");
    QTest::newRow("presets on demand") << false;
    QTest::newRow("whole soundfont") << true;
}

void TestSynthWithoutFluidSynth::engineStaysSilent()
{
    QFETCH(bool, whole);
    SynthEngine engine(whole ? SampleLoading::Whole : SampleLoading::OnDemand);
    if (!m_soundFont.empty())
        engine.load(m_soundFont); // whatever it answers, nothing may sound or break
    engine.shortMsg(0x000000C0);           // program change
    engine.shortMsg(0x007F3C90);           // note on
    const unsigned char reset[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    engine.sysEx(reset, sizeof reset);
    QVERIFY(engine.waitIdle(30000));
    QVERIFY(!engine.startAudio());
    QVERIFY(!engine.hasAudio());
    std::vector<float> left(512, 1.0f), right(512, 1.0f);
    engine.render(left.data(), right.data(), int(left.size()));
    QVERIFY(std::all_of(left.begin(), left.end(), [](float v) { return v == 0.0f; }));
    QVERIFY(std::all_of(right.begin(), right.end(), [](float v) { return v == 0.0f; }));
    engine.allNotesOff();
    engine.stopAudio();
}

// Also the shared engine, which lives until the process exits.
void TestSynthWithoutFluidSynth::outputPortSaysSoAtEachOpening()
{
    if (m_soundFont.empty())
        QSKIP("no General MIDI soundfont installed");
    std::mutex mutex;
    std::vector<std::string> notices;
    mmsys::setNoticeHandler([&](const std::string& text) {
        std::lock_guard lock(mutex);
        notices.push_back(text);
    });
    mmsys::setBackendsForTest({mmsys::Backend::Synth});
    for (int round = 0; round < 2; ++round) {
        mmsys::HMIDIOUT out = nullptr;
        QCOMPARE(mmsys::midiOutOpen(&out, 0, nullptr, 0, mmsys::CALLBACK_NULL), mmsys::MMSYSERR_NOERROR);
        QCOMPARE(mmsys::midiOutShortMsg(out, 0x007F3C90), mmsys::MMSYSERR_NOERROR);
        QVERIFY(mmsys::synth::sharedEngine().waitIdle(30000));
        QCOMPARE(mmsys::midiOutReset(out), mmsys::MMSYSERR_NOERROR);
        QCOMPARE(mmsys::midiOutClose(out), mmsys::MMSYSERR_NOERROR);
        std::lock_guard lock(mutex);
        QCOMPARE(notices.size(), std::size_t(round + 1));
    }
    mmsys::resetBackends();
    mmsys::resetNoticeHandler();
}

QTEST_GUILESS_MAIN(TestSynthWithoutFluidSynth)
#include "tst_synthwithoutfluidsynth.moc"
