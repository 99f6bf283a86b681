// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/synth/midi_synth.h"
#include "platform/synth/sf2file.h"
#include "platform/mmsystem/mmsystem.h"

#include <QTemporaryFile>
#include <QTest>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <map>
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

double rmsDifference(const std::vector<float>& a, const std::vector<float>& b)
{
    std::vector<float> d(std::min(a.size(), b.size()));
    for (std::size_t i = 0; i < d.size(); ++i)
        d[i] = a[i] - b[i];
    return rms(d);
}

double maxDifference(const std::vector<float>& a, const std::vector<float>& b)
{
    double most = a.size() == b.size() ? 0.0 : 1.0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        most = std::max(most, double(std::abs(a[i] - b[i])));
    return most;
}

// A short message word.
constexpr std::uint32_t msg(int status, int d1, int d2 = 0)
{
    return std::uint32_t(status) | std::uint32_t(d1) << 8 | std::uint32_t(d2) << 16;
}

constexpr std::uint32_t programChange(int channel, int program)
{
    return msg(0xC0 | channel, program);
}

constexpr std::uint32_t noteOn(int channel, int key)
{
    return msg(0x90 | channel, key, 127);
}

constexpr std::uint32_t noteOff(int channel, int key)
{
    return msg(0x80 | channel, key);
}

// Stands for a call of allNotesOff in a list of messages.
constexpr std::uint32_t kAllNotesOff = 0;

void send(SynthEngine& engine, const QList<quint32>& words)
{
    for (quint32 word : words) {
        if (word == kAllNotesOff)
            engine.allNotesOff();
        else
            engine.shortMsg(word);
    }
}

// A soundfont of the system by file name; empty when it is not installed.
std::string installed(const QString& file)
{
    const std::string path = "/usr/share/sounds/sf2/" + file.toStdString();
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec) ? path : std::string();
}

constexpr int kWait = 60000; // ms; only a hung worker comes near it

// Holds the synthesizer's worker inside a preset load, where a slow disk would.
class LoadStall {
public:
    std::function<void()> hook()
    {
        return [this] {
            std::unique_lock lock(m_mutex);
            m_entered = true;
            m_changed.notify_all();
            m_changed.wait(lock, [this] { return m_released; });
        };
    }
    bool waitEntered()
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(kWait), [this] { return m_entered; });
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
    bool m_entered = false;
    bool m_released = false;
};

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
    void outputPortOpensWithoutAudioAndSaysSoAtEachOpening();
    void presetsSoundAsFromTheWholeSoundFont_data();
    void presetsSoundAsFromTheWholeSoundFont();
    void everyPresetSoundsAsFromTheWholeSoundFont_data();
    void everyPresetSoundsAsFromTheWholeSoundFont();
    void programChangeThenNoteOnSounds_data();
    void programChangeThenNoteOnSounds();
    void callersAreNotHeldByAPresetLoad_data();
    void callersAreNotHeldByAPresetLoad();
    void noteDuringTheSoundFontLoadPlaysOnceIn();
    void resetsReturnToTheFirstProgram_data();
    void resetsReturnToTheFirstProgram();
    void missingVariationFallsBackToBankZero();
    void cleanupTestCase();

private:
    // Renders a few notes the same way on two engines.
    struct Pair {
        std::unique_ptr<SynthEngine> whole = std::make_unique<SynthEngine>(mmsys::synth::SampleLoading::Whole);
        std::unique_ptr<SynthEngine> onDemand = std::make_unique<SynthEngine>();
    };

    std::string m_soundFont;
    std::map<std::string, Pair> m_pairs;
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

void TestSynth::outputPortOpensWithoutAudioAndSaysSoAtEachOpening()
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
        // The audio output starts on the synthesizer's worker.
        QVERIFY(mmsys::synth::sharedEngine().waitIdle(30000));
        const bool audio = mmsys::synth::sharedEngine().hasAudio();
        QCOMPARE(mmsys::midiOutClose(out), mmsys::MMSYSERR_NOERROR);
        std::lock_guard lock(mutex);
        // Each opening is an exercise of its own: each is told, once.
        QCOMPARE(notices.size(), std::size_t(audio ? 0 : round + 1));
    }
    mmsys::resetBackends();
    mmsys::resetNoticeHandler();
}

void TestSynth::presetsSoundAsFromTheWholeSoundFont_data()
{
    QTest::addColumn<QString>("font");
    QTest::addColumn<int>("channel");
    QTest::addColumn<int>("program");
    QTest::addColumn<int>("key");
    for (const QString& font : {QStringLiteral("TimGM6mb.sf2"), QStringLiteral("FluidR3_GM.sf2")}) {
        const QByteArray f = font.toLatin1();
        QTest::addRow("%s piano", f.constData()) << font << 0 << 0 << 60;
        QTest::addRow("%s piano, lowest key", f.constData()) << font << 0 << 0 << 21;
        QTest::addRow("%s violin", f.constData()) << font << 0 << 40 << 69;
        QTest::addRow("%s flute", f.constData()) << font << 0 << 73 << 84;
        QTest::addRow("%s nylon guitar", f.constData()) << font << 0 << 24 << 52;
        QTest::addRow("%s woodblock, played out to its end", f.constData()) << font << 0 << 115 << 76;
        QTest::addRow("%s drum kit, snare", f.constData()) << font << 9 << 0 << 38;
        QTest::addRow("%s drum kit, missing kit falls back", f.constData()) << font << 9 << 99 << 42;
        QTest::addRow("%s same program on another channel", f.constData()) << font << 3 << 40 << 57;
    }
}

void TestSynth::presetsSoundAsFromTheWholeSoundFont()
{
    QFETCH(QString, font);
    QFETCH(int, channel);
    QFETCH(int, program);
    QFETCH(int, key);
    const std::string path = installed(font);
    if (path.empty())
        QSKIP(qPrintable(font + " is not installed"));
    auto [it, added] = m_pairs.try_emplace(path);
    Pair& pair = it->second;
    if (added) {
        QVERIFY(pair.whole->load(path));
        QVERIFY(pair.onDemand->load(path));
    }
    // The same messages and the same frames on both; any difference is the cut-out preset's.
    std::vector<float> out[2];
    int i = 0;
    for (SynthEngine* engine : {pair.whole.get(), pair.onDemand.get()}) {
        engine->shortMsg(programChange(channel, program));
        QVERIFY(engine->waitIdle(kWait));
        engine->shortMsg(noteOn(channel, key));
        out[i] = render(*engine, kRate);
        engine->shortMsg(noteOff(channel, key));
        const auto release = render(*engine, kRate);
        out[i].insert(out[i].end(), release.begin(), release.end());
        ++i;
    }
    QVERIFY2(rms(out[0]) > 1e-3, "the note sounds");
    QVERIFY2(maxDifference(out[0], out[1]) <= 1e-6,
             qPrintable(QStringLiteral("differs by %1").arg(maxDifference(out[0], out[1]))));
}

void TestSynth::everyPresetSoundsAsFromTheWholeSoundFont_data()
{
    QTest::addColumn<QString>("font");
    QTest::newRow("TimGM6mb") << QStringLiteral("TimGM6mb.sf2");
    QTest::newRow("FluidR3_GM") << QStringLiteral("FluidR3_GM.sf2");
}

// Presets play from the file's mapping with voices of their own making; every
// melodic program and drum kit of the installed sets, low, middle and high,
// soft and loud, both channels, must sound as FluidSynth's own loader has it.
void TestSynth::everyPresetSoundsAsFromTheWholeSoundFont()
{
    QFETCH(QString, font);
    const std::string path = installed(font);
    if (path.empty())
        QSKIP(qPrintable(font + " is not installed"));
    const auto file = mmsys::synth::Sf2File::open(path);
    QVERIFY(file);
    SynthEngine whole(mmsys::synth::SampleLoading::Whole);
    SynthEngine mapped;
    QVERIFY(whole.load(path));
    QVERIFY(mapped.load(path));
    auto stereo = [](SynthEngine& engine, int frames) {
        std::vector<float> left(static_cast<std::size_t>(frames)), right(static_cast<std::size_t>(frames));
        engine.render(left.data(), right.data(), frames);
        left.insert(left.end(), right.begin(), right.end());
        return left;
    };
    int presets = 0, sounding = 0;
    for (int bank : {0, 128}) {
        for (int program = 0; program < 128; ++program) {
            if (!file->hasPreset(bank, program))
                continue;
            ++presets;
            const int channel = bank == 128 ? 9 : 0;
            std::vector<float> out[2];
            int i = 0;
            for (SynthEngine* engine : {&whole, &mapped}) {
                engine->shortMsg(programChange(channel, program));
                QVERIFY(engine->waitIdle(kWait));
                for (int key : {36, 60, 84}) {
                    for (int velocity : {40, 127}) {
                        engine->shortMsg(msg(0x90 | channel, key, velocity));
                        auto held = stereo(*engine, kRate / 8);
                        engine->shortMsg(noteOff(channel, key));
                        const auto released = stereo(*engine, kRate / 16);
                        out[i].insert(out[i].end(), held.begin(), held.end());
                        out[i].insert(out[i].end(), released.begin(), released.end());
                    }
                }
                ++i;
            }
            if (rms(out[0]) > 1e-4)
                ++sounding;
            QVERIFY2(maxDifference(out[0], out[1]) <= 1e-6,
                     qPrintable(QStringLiteral("preset %1:%2 differs by %3")
                                    .arg(bank)
                                    .arg(program)
                                    .arg(maxDifference(out[0], out[1]))));
        }
    }
    QVERIFY(presets >= 129);
    QVERIFY2(sounding > presets * 9 / 10, qPrintable(QStringLiteral("%1 of %2 presets sound").arg(sounding).arg(presets)));
}

void TestSynth::programChangeThenNoteOnSounds_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<int>("key");
    QTest::addColumn<double>("frequency");
    QTest::newRow("acoustic grand piano, A4") << 0 << 69 << 440.0;
    QTest::newRow("church organ, A4") << 19 << 69 << 440.0;
    QTest::newRow("nylon guitar, A3") << 24 << 57 << 220.0;
    QTest::newRow("acoustic bass, A2") << 32 << 45 << 110.0;
    QTest::newRow("violin, A4") << 40 << 69 << 440.0;
    QTest::newRow("flute, A5") << 73 << 81 << 880.0;
}

void TestSynth::programChangeThenNoteOnSounds()
{
    QFETCH(int, program);
    QFETCH(int, key);
    QFETCH(double, frequency);
    const std::string path = installed(QStringLiteral("FluidR3_GM.sf2"));
    if (path.empty())
        QSKIP("the large soundfont FluidR3_GM (package fluid-soundfont-gm) is not installed");
    SynthEngine engine;
    QVERIFY(engine.load(path));
    engine.shortMsg(programChange(0, program));
    QVERIFY(engine.waitIdle(kWait));
    engine.shortMsg(noteOn(0, key));
    render(engine, kRate / 5); // past the attack
    const auto held = render(engine, kRate / 2);
    QVERIFY2(rms(held) > 1e-3, "the note sounds");
    const double semitone = std::pow(2.0, 1.0 / 12.0);
    const double at = goertzel(held, frequency);
    QVERIFY2(at > 10 * goertzel(held, frequency / semitone), "the pitch stands out against a semitone below");
    QVERIFY2(at > 10 * goertzel(held, frequency * semitone), "the pitch stands out against a semitone above");
}

void TestSynth::callersAreNotHeldByAPresetLoad_data()
{
    QTest::addColumn<QList<quint32>>("during");   // sent while the violin loads
    QTest::addColumn<QList<quint32>>("expected"); // sent once it is in, for the same sound
    QTest::newRow("held note plays once in") << QList<quint32>{noteOn(0, 69)} << QList<quint32>{noteOn(0, 69)};
    QTest::newRow("note released before it could sound")
        << QList<quint32>{noteOn(0, 69), noteOff(0, 69)} << QList<quint32>{};
    QTest::newRow("note released by velocity 0")
        << QList<quint32>{noteOn(0, 69), msg(0x90, 69, 0)} << QList<quint32>{};
    QTest::newRow("all notes off drops the waiting notes")
        << QList<quint32>{noteOn(0, 69), noteOn(0, 72), kAllNotesOff} << QList<quint32>{};
    QTest::newRow("all-notes-off controller drops that channel's waiting notes")
        << QList<quint32>{noteOn(0, 69), noteOn(1, 60), msg(0xB0, 123)} << QList<quint32>{noteOn(1, 60)};
    QTest::newRow("released note and held note")
        << QList<quint32>{noteOn(0, 69), noteOn(0, 72), noteOff(0, 69)} << QList<quint32>{noteOn(0, 72)};
    QTest::newRow("another channel waits in order")
        << QList<quint32>{noteOn(1, 60)} << QList<quint32>{noteOn(1, 60)};
    QTest::newRow("a second instrument change wins")
        << QList<quint32>{programChange(0, 73), noteOn(0, 81)} << QList<quint32>{programChange(0, 73), noteOn(0, 81)};
}

void TestSynth::callersAreNotHeldByAPresetLoad()
{
    QFETCH(QList<quint32>, during);
    QFETCH(QList<quint32>, expected);
    if (m_soundFont.empty())
        QSKIP("no General MIDI soundfont installed");

    SynthEngine reference;
    QVERIFY(reference.load(m_soundFont));
    reference.shortMsg(programChange(0, 40));
    QVERIFY(reference.waitIdle(kWait));
    send(reference, expected);
    const auto wanted = render(reference, kRate / 2);

    SynthEngine engine;
    QVERIFY(engine.load(m_soundFont));
    LoadStall stall;
    engine.setSampleReadHook(stall.hook());
    engine.shortMsg(programChange(0, 40)); // the instrument changes during an exercise
    QVERIFY2(stall.waitEntered(), "the worker reads the violin's samples");
    // The caller's calls return while the worker sits inside the synthesizer's load.
    auto calls = std::async(std::launch::async, [&] {
        send(engine, during);
        return engine.isLoaded() && !engine.soundFont().empty() && !engine.waitIdle(0);
    });
    const bool returned = calls.wait_for(std::chrono::milliseconds(kWait)) == std::future_status::ready;
    stall.release();
    QVERIFY2(returned, "the caller is not held by the load");
    QVERIFY2(calls.get(), "the engine stays loaded and reports the load as pending");
    QVERIFY(engine.waitIdle(kWait));
    const auto got = render(engine, kRate / 2);
    QVERIFY2(maxDifference(got, wanted) <= 1e-6,
             qPrintable(QStringLiteral("differs by %1 from sending it after the load").arg(maxDifference(got, wanted))));
    if (expected.isEmpty())
        QVERIFY(rms(got) < kSilence);
    else
        QVERIFY(rms(got) > 1e-3);
}

void TestSynth::noteDuringTheSoundFontLoadPlaysOnceIn()
{
    if (m_soundFont.empty())
        QSKIP("no General MIDI soundfont installed");
    SynthEngine engine;
    engine.loadAsync({m_soundFont});
    engine.shortMsg(noteOn(0, 69)); // before or after the soundfont is in: it waits for its preset
    QVERIFY(engine.waitLoaded(kWait));
    QVERIFY(rms(render(engine, kRate / 2)) > 1e-3);
}

void TestSynth::resetsReturnToTheFirstProgram_data()
{
    QTest::addColumn<QByteArray>("reset");
    QTest::newRow("system reset") << QByteArray("\xFF", 1);
    QTest::newRow("GM system on") << QByteArray("\xF0\x7E\x7F\x09\x01\xF7", 6);
    QTest::newRow("GS reset") << QByteArray("\xF0\x41\x10\x42\x12\x40\x00\x7F\x00\x41\xF7", 11);
    QTest::newRow("XG system on") << QByteArray("\xF0\x43\x10\x4C\x00\x00\x7E\x00\xF7", 9);
}

void TestSynth::resetsReturnToTheFirstProgram()
{
    QFETCH(QByteArray, reset);
    if (m_soundFont.empty())
        QSKIP("no General MIDI soundfont installed");
    SynthEngine piano;
    QVERIFY(piano.load(m_soundFont));
    piano.shortMsg(noteOn(0, 69));
    const auto wanted = render(piano, kRate / 2);

    SynthEngine engine;
    QVERIFY(engine.load(m_soundFont));
    engine.shortMsg(msg(0xB0, 0, 8)); // bank 8
    engine.shortMsg(programChange(0, 40));
    engine.shortMsg(noteOn(0, 69));
    render(engine, 4096); // whole blocks of 64 frames keep the notes in step with the piano's
    const auto* bytes = reinterpret_cast<const unsigned char*>(reset.constData());
    if (reset.size() == 1)
        engine.shortMsg(bytes[0]);
    else
        engine.sysEx(bytes, std::size_t(reset.size()));
    render(engine, 64 * 4096); // the violin dies away; the reverb empties
    engine.shortMsg(noteOn(0, 69));
    // Chorus and reverb have run on in between: close to the piano, far from the violin.
    QVERIFY(rmsDifference(render(engine, kRate / 2), wanted) < 0.1 * rms(wanted));
}

void TestSynth::missingVariationFallsBackToBankZero()
{
    if (m_soundFont.empty())
        QSKIP("no General MIDI soundfont installed");
    std::vector<float> out[2];
    for (int bank : {0, 100}) {
        SynthEngine engine;
        QVERIFY(engine.load(m_soundFont));
        engine.shortMsg(msg(0xB0, 0, bank));
        engine.shortMsg(programChange(0, 40));
        engine.shortMsg(noteOn(0, 69));
        out[bank ? 1 : 0] = render(engine, kRate / 2);
    }
    QVERIFY(rms(out[1]) > 1e-3);
    QVERIFY(maxDifference(out[0], out[1]) <= 1e-6);
}

void TestSynth::cleanupTestCase()
{
    m_pairs.clear();
}

QTEST_GUILESS_MAIN(TestSynth)
#include "tst_synth.moc"
