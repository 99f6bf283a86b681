// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/midi_synth.h"
#include "platform/mmsystem.h"

#include <QTemporaryFile>
#include <QTest>

#include <cmath>
#include <mutex>
#include <numbers>

using mmsys::synth::SynthEngine;

namespace {

constexpr int kRate = mmsys::synth::kSampleRate;

// Power of one frequency in a block (Goertzel).
double goertzel(const std::vector<float>& x, double freq)
{
    const double w = 2.0 * std::numbers::pi * freq / kRate;
    const double coeff = 2.0 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (float v : x) {
        const double s0 = v + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - coeff * s1 * s2;
}

std::vector<float> render(SynthEngine& engine, int frames)
{
    std::vector<float> left(static_cast<std::size_t>(frames)), right(static_cast<std::size_t>(frames));
    engine.render(left.data(), right.data(), frames);
    return left;
}

// FluidSynth's output is never exactly zero (denormal guard); this is far below hearing.
constexpr double kSilence = 1e-6;

double rms(const std::vector<float>& x)
{
    double sum = 0;
    for (float v : x)
        sum += double(v) * v;
    return std::sqrt(sum / double(x.size()));
}

} // namespace

class TestSynth : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void latencyIsAtMostTenMs();
    void noteA4SoundsAt440AndFades();
    void notesBeforeTheSoundFontAreDropped();
    void failedLoadLeavesNothingLoaded_data();
    void failedLoadLeavesNothingLoaded();
    void outputPortOpensWithoutAudioAndSaysSoOnce();

private:
    std::string m_soundFont;
};

void TestSynth::initTestCase()
{
    m_soundFont = mmsys::synth::findSoundFont();
}

void TestSynth::latencyIsAtMostTenMs()
{
    QVERIFY(mmsys::synth::configuredLatencyMs() <= 10.0);
    QVERIFY(mmsys::synth::configuredLatencyMs() > 1.0);
}

void TestSynth::noteA4SoundsAt440AndFades()
{
    if (m_soundFont.empty())
        QSKIP("no General MIDI soundfont installed");
    SynthEngine engine;
    QVERIFY(engine.load(m_soundFont));
    engine.shortMsg(0x000000C0); // Acoustic Grand Piano
    engine.shortMsg(0x007F4590); // Note On 69, velocity 127
    render(engine, kRate / 10);  // past the attack
    const auto held = render(engine, kRate / 4);
    const double at440 = goertzel(held, 440.0);
    QVERIFY2(at440 > 20 * goertzel(held, 415.3), "A4 stands out against G#4");
    QVERIFY2(at440 > 20 * goertzel(held, 466.2), "A4 stands out against A#4");
    const double heldLevel = rms(held);
    QVERIFY(heldLevel > 1e-3);

    engine.shortMsg(0x00004580); // Note Off 69
    render(engine, kRate);
    const auto after = render(engine, kRate / 4);
    QVERIFY2(rms(after) < heldLevel / 10, "the note fades after Note Off");
}

void TestSynth::notesBeforeTheSoundFontAreDropped()
{
    if (m_soundFont.empty())
        QSKIP("no General MIDI soundfont installed");
    SynthEngine engine;
    QVERIFY(!engine.isLoaded());
    engine.shortMsg(0x007F4590);
    QVERIFY(rms(render(engine, 4096)) < kSilence);
    engine.loadAsync({m_soundFont});
    QVERIFY(engine.waitLoaded(30000));
    // The note sent before loading does not start late.
    QVERIFY(rms(render(engine, 4096)) < kSilence);
}

void TestSynth::failedLoadLeavesNothingLoaded_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("missing file") << QByteArray();
    QTest::newRow("not a soundfont") << QByteArray("RIFF\x10\0\0\0junkjunkjunkjunk", 24);
}

void TestSynth::failedLoadLeavesNothingLoaded()
{
    QFETCH(QByteArray, content);
    QTemporaryFile file;
    QVERIFY(file.open());
    std::string path = "/nonexistent/tonvero.sf2";
    if (!content.isEmpty()) {
        file.write(content);
        file.flush();
        path = file.fileName().toStdString();
    }
    SynthEngine engine;
    QVERIFY(!engine.load(path));
    QVERIFY(!engine.isLoaded());
    engine.shortMsg(0x007F4590);
    QVERIFY(rms(render(engine, 1024)) < kSilence);
    if (!m_soundFont.empty())
        QVERIFY(engine.load(m_soundFont)); // a failed load leaves the engine usable
}

void TestSynth::outputPortOpensWithoutAudioAndSaysSoOnce()
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
    QCOMPARE(mmsys::midiOutGetNumDevs(), 1u);
    mmsys::MIDIOUTCAPSA caps;
    QCOMPARE(mmsys::midiOutGetDevCapsA(0, &caps, sizeof caps), mmsys::MMSYSERR_NOERROR);
    QCOMPARE(QString(caps.szPname), QString("Tonvero built-in synthesizer"));
    QCOMPARE(caps.wTechnology, mmsys::MOD_SWSYNTH);

    for (int round = 0; round < 2; ++round) {
        mmsys::HMIDIOUT out = nullptr;
        QCOMPARE(mmsys::midiOutOpen(&out, 0, nullptr, 0, mmsys::CALLBACK_NULL), mmsys::MMSYSERR_NOERROR);
        QCOMPARE(mmsys::midiOutShortMsg(out, 0x007F3C90), mmsys::MMSYSERR_NOERROR);
        const bool audio = mmsys::synth::sharedEngine().hasAudio();
        QCOMPARE(mmsys::midiOutClose(out), mmsys::MMSYSERR_NOERROR);
        std::lock_guard lock(mutex);
        QCOMPARE(notices.size(), std::size_t(audio ? 0 : 1));
    }
    mmsys::resetBackends();
    mmsys::resetNoticeHandler();
}

QTEST_GUILESS_MAIN(TestSynth)
#include "tst_synth.moc"
