// SPDX-License-Identifier: GPL-3.0-or-later
// The detector against notes of real instrument samples, clean, in noise and
// in a room; and against silence and noise alone.
#include "pitch/notedetector.h"
#include "support/synthrender.h"

#include <QTest>

#include <algorithm>
#include <array>
#include <bit>
#include <limits>
#include <cmath>
#include <map>
#include <memory>
#include <numbers>
#include <random>

using pitch::NoteDetector;
using pitch::NoteEvent;
using testsupport::NoteToRender;
using testsupport::SynthRenderer;

namespace {

constexpr int kRate = SynthRenderer::sampleRate();

// What the detector must achieve over all instruments and conditions, with
// either of the usual General MIDI soundfonts (TONVERO_TEST_SOUNDFONT picks one).
constexpr double kMinRightShare = 0.98;
constexpr double kMaxExtraShare = 0.05;
constexpr double kMaxMedianDelayMs = 60.0;
// For each instrument over all conditions, and in each condition.
constexpr double kMinRightShareInstrument = 0.85;
constexpr double kMinRightShareEach = 0.75;

struct Instrument {
    const char* name;
    int program; // General MIDI, 0-based
    int low, high; // sounding range
};

// Each instrument over its usual range.
const Instrument kInstruments[] = {
    {"piano", 0, 21, 108},
    {"nylon guitar", 24, 40, 83},
    {"steel guitar", 25, 40, 86},
    {"acoustic bass", 32, 28, 60},
    {"electric bass", 33, 28, 67},
    {"flute", 73, 60, 96},
    {"choir", 52, 43, 81},
};

enum class Condition { Clean, Noise, Room, NoiseAndRoom };

// The notes played: the whole range in small steps, both ends included, with
// lengths, gaps and loudness that vary the way a player's do.
std::vector<NoteToRender> scale(const Instrument& in)
{
    std::vector<NoteToRender> notes;
    std::vector<int> pitches;
    for (int n = in.low; n < in.high; n += 3)
        pitches.push_back(n);
    pitches.push_back(in.high);
    double t = 0.3;
    int i = 0;
    for (int n : pitches) {
        const double length = 0.45 + 0.1 * (i % 4);
        const double gap = 0.2 + 0.05 * (i % 3);
        notes.push_back({n, t, length, 80 + (i * 13) % 40});
        t += length + gap;
        ++i;
    }
    return notes;
}

double totalLength(const std::vector<NoteToRender>& notes)
{
    return notes.back().startSec + notes.back().durationSec + 1.0;
}

double power(const std::vector<float>& x, std::size_t from = 0, std::size_t to = SIZE_MAX)
{
    to = std::min(to, x.size());
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(x[i]) * x[i];
    return to > from ? sum / double(to - from) : 0.0;
}

// White noise snrDb below the mean power of the notes while they sound.
void addNoise(std::vector<float>& x, const std::vector<NoteToRender>& notes, double snrDb, unsigned seed)
{
    double sum = 0;
    std::size_t count = 0;
    for (const NoteToRender& n : notes) {
        const auto from = std::size_t(n.startSec * kRate);
        const auto to = std::size_t((n.startSec + n.durationSec) * kRate);
        sum += power(x, from, to) * double(to - from);
        count += to - from;
    }
    const double noiseRms = std::sqrt(sum / double(count)) * std::pow(10.0, -snrDb / 20.0);
    std::mt19937 gen(seed);
    std::normal_distribution<double> dist(0.0, noiseRms);
    for (float& v : x)
        v += float(dist(gen));
}

// A small room: four parallel feedback combs and two allpasses (Schroeder),
// mixed under the direct sound; about 0.6 s to fall by 60 dB.
void addRoom(std::vector<float>& x)
{
    struct Comb {
        std::vector<float> line;
        std::size_t pos = 0;
        float gain;
    };
    struct Allpass {
        std::vector<float> line;
        std::size_t pos = 0;
    };
    const double rt60 = 0.6;
    std::vector<Comb> combs;
    for (int delay : {1557, 1617, 1491, 1422}) {
        const float g = float(std::pow(10.0, -3.0 * delay / (rt60 * kRate)));
        combs.push_back({std::vector<float>(std::size_t(delay), 0.f), 0, g});
    }
    std::vector<Allpass> allpasses;
    for (int delay : {225, 556})
        allpasses.push_back({std::vector<float>(std::size_t(delay), 0.f), 0});
    for (float& v : x) {
        float wet = 0.f;
        for (Comb& c : combs) {
            const float out = c.line[c.pos];
            c.line[c.pos] = v + c.gain * out;
            c.pos = (c.pos + 1) % c.line.size();
            wet += out;
        }
        wet *= 0.25f;
        for (Allpass& a : allpasses) {
            const float delayed = a.line[a.pos];
            const float out = delayed - 0.5f * wet;
            a.line[a.pos] = wet + 0.5f * out;
            a.pos = (a.pos + 1) % a.line.size();
            wet = out;
        }
        v = 0.8f * v + 0.5f * wet;
    }
}

std::vector<NoteEvent> detect(const std::vector<float>& x, int rate = kRate, int chunk = 441)
{
    NoteDetector detector(rate);
    std::vector<NoteEvent> events;
    for (std::size_t i = 0; i < x.size(); i += std::size_t(chunk))
        detector.process(x.data() + i, std::min<std::size_t>(std::size_t(chunk), x.size() - i), events);
    return events;
}

std::vector<NoteEvent> started(const std::vector<NoteEvent>& events)
{
    std::vector<NoteEvent> out;
    for (const NoteEvent& e : events)
        if (e.kind == NoteEvent::Kind::Started)
            out.push_back(e);
    return out;
}

struct Score {
    int notes = 0;
    int right = 0;
    int extra = 0; // reports beyond the first of a note, or with no note
    std::vector<double> delaysMs;      // from the Note On
    std::vector<double> soundDelaysMs; // from the moment the note is heard
    void add(const Score& o)
    {
        notes += o.notes;
        right += o.right;
        extra += o.extra;
        delaysMs.insert(delaysMs.end(), o.delaysMs.begin(), o.delaysMs.end());
        soundDelaysMs.insert(soundDelaysMs.end(), o.soundDelaysMs.begin(), o.soundDelaysMs.end());
    }
};

// Where each note begins to sound in a clean rendering: the first millisecond
// after its Note On whose peak reaches a tenth (-20 dB) of the note's peak.
// Samples differ in how long their attack takes; this is where a listener
// would say the note starts.
std::vector<std::int64_t> soundStarts(const std::vector<float>& x, const std::vector<NoteToRender>& notes, int rate)
{
    std::vector<std::int64_t> starts;
    const auto block = std::size_t(rate / 1000);
    for (const NoteToRender& n : notes) {
        const auto from = std::size_t(std::llround(n.startSec * rate));
        const auto to = std::min(x.size(), std::size_t(std::llround((n.startSec + n.durationSec) * rate)));
        float peak = 0.f;
        for (std::size_t i = from; i < to; ++i)
            peak = std::max(peak, std::abs(x[i]));
        std::size_t at = from;
        while (at < to && *std::max_element(x.begin() + std::ptrdiff_t(at),
                                           x.begin() + std::ptrdiff_t(std::min(to, at + block)))
                   < 0.1f * peak)
            at += block;
        starts.push_back(std::int64_t(at));
    }
    return starts;
}

// Each note owns the reports from its start to the next note's start; the
// first of them must name it, any other is extra.
Score score(const std::vector<NoteToRender>& notes, const std::vector<std::int64_t>& heardFrom,
            const std::vector<NoteEvent>& reports, int rate, bool verbose, const char* what)
{
    Score s;
    s.notes = int(notes.size());
    std::vector<int> owned(reports.size(), 0);
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const auto start = std::int64_t(std::llround(notes[i].startSec * rate));
        const auto end = i + 1 < notes.size() ? std::int64_t(std::llround(notes[i + 1].startSec * rate)) : INT64_MAX;
        bool first = true;
        for (std::size_t r = 0; r < reports.size(); ++r) {
            if (reports[r].reportSample < start || reports[r].reportSample >= end)
                continue;
            owned[r] = 1;
            if (first && reports[r].note == notes[i].note) {
                ++s.right;
                s.delaysMs.push_back(1000.0 * double(reports[r].reportSample - start) / rate);
                s.soundDelaysMs.push_back(1000.0 * double(reports[r].reportSample - heardFrom[i]) / rate);
                if (verbose)
                    qInfo("%s: note %d at %.3f s: right after %.1f ms (onset +%.1f ms)", what, notes[i].note, notes[i].startSec,
                          s.delaysMs.back(), 1000.0 * double(reports[r].onsetSample - start) / rate);
            } else {
                ++s.extra;
                if (verbose)
                    qInfo("%s: note %d at %.3f s: %s report %d at %.3f s", what, notes[i].note, notes[i].startSec,
                          first ? "wrong" : "extra", reports[r].note, double(reports[r].reportSample) / rate);
            }
            first = false;
        }
        if (first && verbose)
            qInfo("%s: note %d at %.3f s missed", what, notes[i].note, notes[i].startSec);
    }
    for (std::size_t r = 0; r < reports.size(); ++r)
        if (!owned[r])
            ++s.extra;
    return s;
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[std::size_t(std::clamp(p * double(v.size() - 1) + 0.5, 0.0, double(v.size() - 1)))];
}

// Linear interpolation to another rate; enough for a signal rendered well
// below the new Nyquist frequency.
std::vector<float> resample(const std::vector<float>& x, int from, int to)
{
    std::vector<float> y(std::size_t(double(x.size()) * to / from));
    for (std::size_t i = 0; i < y.size(); ++i) {
        const double pos = double(i) * from / to;
        const auto k = std::size_t(pos);
        const double frac = pos - double(k);
        const float a = x[std::min(k, x.size() - 1)], b = x[std::min(k + 1, x.size() - 1)];
        y[i] = float(a + (b - a) * frac);
    }
    return y;
}

std::vector<float> whiteNoise(double seconds, double rms, unsigned seed)
{
    std::mt19937 gen(seed);
    std::normal_distribution<double> dist(0.0, rms);
    std::vector<float> x(std::size_t(seconds * kRate));
    for (float& v : x)
        v = float(dist(gen));
    return x;
}

// Pink noise (Voss-McCartney, 16 rows): most of its energy is low, where
// the longest windows listen.
std::vector<float> pinkNoise(double seconds, double rms, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::array<double, 16> rows{};
    double sum = 0;
    std::vector<float> x(std::size_t(seconds * kRate));
    for (std::size_t i = 0; i < x.size(); ++i) {
        const int row = std::countr_zero(unsigned(i + 1)) % 16;
        sum -= rows[std::size_t(row)];
        rows[std::size_t(row)] = dist(gen);
        sum += rows[std::size_t(row)];
        x[i] = float(sum);
    }
    const double scale = rms / std::sqrt(power(x));
    for (float& v : x)
        v = float(v * scale);
    return x;
}

} // namespace

class TestNoteDetector : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void instrumentsAcrossTheirRange_data();
    void instrumentsAcrossTheirRange();
    void overall();
    void nothingInSilenceOrNoise_data();
    void nothingInSilenceOrNoise();
    void sustainedNoteIsOneAnswer_data();
    void sustainedNoteIsOneAnswer();
    void newAttackOfTheSameNoteIsANewAnswer_data();
    void newAttackOfTheSameNoteIsANewAnswer();
    void newNoteOverOneStillRinging_data();
    void newNoteOverOneStillRinging();
    void otherSampleRatesAndTunings_data();
    void otherSampleRatesAndTunings();
    void humUnderNotes_data();
    void humUnderNotes();
    void octaveFromTheHarmonicSeries_data();
    void octaveFromTheHarmonicSeries();
    void badInputDoesNoHarm();

private:
    const std::vector<float>& rendered(const Instrument& in, const std::vector<NoteToRender>& notes);

    std::unique_ptr<SynthRenderer> m_synth;
    std::map<int, std::vector<float>> m_rendered; // by program
    std::map<int, Score> m_byInstrument;
    Score m_total;
};

void TestNoteDetector::initTestCase()
{
    if (!NoteDetector(kRate).isValid())
        QSKIP("aubio cannot be loaded (libaubio5)");
    const std::string font = testsupport::testSoundFont();
    if (font.empty())
        QSKIP("No General MIDI soundfont is installed (timgm6mb-soundfont or fluid-soundfont-gm)");
    m_synth = std::make_unique<SynthRenderer>(font);
    QVERIFY2(m_synth->isLoaded(), font.c_str());
    qInfo("soundfont %s", m_synth->soundFont().c_str());
}

const std::vector<float>& TestNoteDetector::rendered(const Instrument& in, const std::vector<NoteToRender>& notes)
{
    auto found = m_rendered.find(in.program);
    if (found == m_rendered.end())
        found = m_rendered.emplace(in.program, m_synth->render(in.program, notes, totalLength(notes))).first;
    return found->second;
}

void TestNoteDetector::instrumentsAcrossTheirRange_data()
{
    QTest::addColumn<int>("instrument");
    QTest::addColumn<int>("condition");
    const char* conditions[] = {"clean", "noise 20 dB", "room", "noise and room"};
    for (int i = 0; i < int(std::size(kInstruments)); ++i)
        for (int c = 0; c < 4; ++c)
            QTest::addRow("%s, %s", kInstruments[i].name, conditions[c]) << i << c;
}

void TestNoteDetector::instrumentsAcrossTheirRange()
{
    QFETCH(int, instrument);
    QFETCH(int, condition);
    const Instrument& in = kInstruments[instrument];
    const std::vector<NoteToRender> notes = scale(in);
    const std::vector<float>& clean = rendered(in, notes);
    const std::vector<std::int64_t> heardFrom = soundStarts(clean, notes, kRate);
    std::vector<float> x = clean;
    const auto cond = Condition(condition);
    if (cond == Condition::Room || cond == Condition::NoiseAndRoom)
        addRoom(x);
    if (cond == Condition::Noise || cond == Condition::NoiseAndRoom)
        addNoise(x, notes, 20.0, 1234u + unsigned(instrument));

    const bool verbose = qEnvironmentVariableIsSet("TONVERO_PITCH_VERBOSE");
    const Score s = score(notes, heardFrom, started(detect(x)), kRate, verbose, QTest::currentDataTag());
    qInfo("%s: %d/%d right, %d extra, delay median %.1f ms (%.1f ms after it sounds)", QTest::currentDataTag(), s.right,
          s.notes, s.extra, percentile(s.delaysMs, 0.5), percentile(s.soundDelaysMs, 0.5));
    m_byInstrument[instrument].add(s);
    m_total.add(s);
    QVERIFY2(s.right >= kMinRightShareEach * s.notes, QTest::currentDataTag());
}

void TestNoteDetector::overall()
{
    if (m_total.notes == 0)
        QSKIP("no fixtures were rendered");
    for (const auto& [i, s] : m_byInstrument)
        qInfo("%s: %.1f %% right, %d extra in %d notes, delay median %.1f ms, p95 %.1f ms", kInstruments[i].name,
              100.0 * s.right / s.notes, s.extra, s.notes, percentile(s.soundDelaysMs, 0.5),
              percentile(s.soundDelaysMs, 0.95));
    const double rightShare = double(m_total.right) / m_total.notes;
    const double extraShare = double(m_total.extra) / m_total.notes;
    qInfo("overall: %d/%d right (%.1f %%), %d extra (%.1f %%); delay after the note sounds: median %.1f ms, p95 %.1f "
          "ms; after its Note On: median %.1f ms, p95 %.1f ms",
          m_total.right, m_total.notes, 100.0 * rightShare, m_total.extra, 100.0 * extraShare,
          percentile(m_total.soundDelaysMs, 0.5), percentile(m_total.soundDelaysMs, 0.95),
          percentile(m_total.delaysMs, 0.5), percentile(m_total.delaysMs, 0.95));
    for (const auto& [i, s] : m_byInstrument)
        QVERIFY2(s.right >= kMinRightShareInstrument * s.notes, kInstruments[i].name);
    QVERIFY(rightShare >= kMinRightShare);
    QVERIFY(extraShare <= kMaxExtraShare);
    QVERIFY(percentile(m_total.soundDelaysMs, 0.5) <= kMaxMedianDelayMs);
}

void TestNoteDetector::nothingInSilenceOrNoise_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<double>("rms");
    QTest::newRow("digital silence") << 0 << 0.0;
    QTest::newRow("white noise, quiet") << 1 << 0.003;
    QTest::newRow("white noise, loud") << 1 << 0.1;
    QTest::newRow("pink noise, quiet") << 2 << 0.003;
    QTest::newRow("pink noise, loud") << 2 << 0.1;
    QTest::newRow("mains hum 50 Hz, quiet") << 3 << 0.003;
    QTest::newRow("mains hum 50 Hz, loud") << 3 << 0.05;
    QTest::newRow("mains hum 60 Hz, loud") << 4 << 0.05;
}

void TestNoteDetector::nothingInSilenceOrNoise()
{
    QFETCH(int, kind);
    QFETCH(double, rms);
    std::vector<float> x = kind == 0 ? std::vector<float>(std::size_t(10 * kRate), 0.f)
        : kind == 1                  ? whiteNoise(10.0, rms, 7u)
        : kind == 2                  ? pinkNoise(10.0, rms, 11u)
                                     : whiteNoise(10.0, rms * 0.01, 13u);
    if (kind >= 3) {
        // A mains hum with its second and third harmonics, as a poorly earthed input picks up.
        const double f = kind == 3 ? 50.0 : 60.0;
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double w = 2 * std::numbers::pi * f * double(i) / kRate;
            x[i] += float(rms * std::numbers::sqrt2 * (0.8 * std::sin(w) + 0.45 * std::sin(2 * w) + 0.3 * std::sin(3 * w)));
        }
    }
    QCOMPARE(started(detect(x)).size(), std::size_t(0));
}

void TestNoteDetector::sustainedNoteIsOneAnswer_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<int>("note");
    QTest::newRow("flute, three seconds") << 73 << 72;
    QTest::newRow("choir, three seconds") << 52 << 60;
    QTest::newRow("steel guitar ringing out") << 25 << 45;
    QTest::newRow("piano low note ringing out") << 0 << 33;
    QTest::newRow("electric bass ringing out") << 33 << 33;
}

void TestNoteDetector::sustainedNoteIsOneAnswer()
{
    QFETCH(int, program);
    QFETCH(int, note);
    const std::vector<NoteToRender> notes{{note, 0.2, 3.0, 100}};
    std::vector<float> x = m_synth->render(program, notes, 4.5);
    addRoom(x);
    const std::vector<NoteEvent> reports = started(detect(x));
    QCOMPARE(reports.size(), std::size_t(1));
    QCOMPARE(reports[0].note, note);
}

void TestNoteDetector::newAttackOfTheSameNoteIsANewAnswer_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<int>("note");
    QTest::addColumn<double>("gap");
    QTest::newRow("piano") << 0 << 64 << 0.2;
    QTest::newRow("nylon guitar") << 24 << 52 << 0.25;
    QTest::newRow("electric bass") << 33 << 40 << 0.25;
    QTest::newRow("flute") << 73 << 72 << 0.3;
}

void TestNoteDetector::newAttackOfTheSameNoteIsANewAnswer()
{
    QFETCH(int, program);
    QFETCH(int, note);
    QFETCH(double, gap);
    std::vector<NoteToRender> notes;
    for (int i = 0; i < 4; ++i)
        notes.push_back({note, 0.2 + i * (0.5 + gap), 0.5, 90 + 5 * i});
    const std::vector<float> x = m_synth->render(program, notes, totalLength(notes));
    const std::vector<NoteEvent> reports = started(detect(x));
    QCOMPARE(reports.size(), notes.size());
    for (const NoteEvent& e : reports)
        QCOMPARE(e.note, note);
}

void TestNoteDetector::newNoteOverOneStillRinging_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    // Mixed, the two repeat only at a common period far below either.
    QTest::newRow("steel guitar, minor third up") << 25 << 49 << 52;
    QTest::newRow("steel guitar, fourth up") << 25 << 45 << 50;
    QTest::newRow("nylon guitar, major third up") << 24 << 52 << 56;
    QTest::newRow("piano, fifth up") << 0 << 60 << 67;
    QTest::newRow("piano, minor third down") << 0 << 64 << 61;
}

void TestNoteDetector::newNoteOverOneStillRinging()
{
    QFETCH(int, program);
    QFETCH(int, first);
    QFETCH(int, second);
    // The first note is let ring on under the second.
    const std::vector<NoteToRender> notes{{first, 0.2, 2.0, 100}, {second, 1.0, 1.0, 90}};
    const std::vector<float> x = m_synth->render(program, notes, 3.0);
    const std::vector<NoteEvent> reports = started(detect(x));
    QCOMPARE(reports.size(), std::size_t(2));
    QCOMPARE(reports[0].note, first);
    QCOMPARE(reports[1].note, second);
    // Heard while it sounds, not once the first has died away.
    QVERIFY2(reports[1].reportSample < std::llround(1.3 * kRate), qPrintable(QString::number(reports[1].reportSample)));
}

void TestNoteDetector::otherSampleRatesAndTunings_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<double>("a4");
    QTest::newRow("48 kHz") << 48000 << 440.0;
    QTest::newRow("22.05 kHz") << 22050 << 440.0;
    QTest::newRow("96 kHz") << 96000 << 440.0;
    QTest::newRow("8 kHz") << 8000 << 440.0;
    QTest::newRow("baroque pitch, A4 = 415 Hz") << 44100 << 415.0;
}

void TestNoteDetector::otherSampleRatesAndTunings()
{
    QFETCH(int, rate);
    QFETCH(double, a4);
    // A tune on the nylon guitar; with A4 at 415 Hz everything sounds a semitone lower.
    const std::vector<int> tune{52, 55, 59, 64, 62, 60, 57, 53};
    std::vector<NoteToRender> notes;
    for (std::size_t i = 0; i < tune.size(); ++i)
        notes.push_back({tune[i], 0.2 + 0.6 * double(i), 0.45, 100});
    std::vector<float> x = m_synth->render(24, notes, totalLength(notes));
    if (a4 != 440.0) {
        x = resample(x, kRate, int(std::lround(kRate * 440.0 / a4))); // played back slower: lower
        std::for_each(notes.begin(), notes.end(), [&](NoteToRender& n) { n.startSec *= 440.0 / a4; });
    }
    x = resample(x, kRate, rate);
    pitch::DetectorSettings settings;
    settings.referenceA4Hz = a4;
    NoteDetector detector(rate, settings);
    QVERIFY(detector.isValid());
    std::vector<NoteEvent> events;
    detector.process(x.data(), x.size(), events);
    const std::vector<NoteEvent> reports = started(events);
    QCOMPARE(reports.size(), tune.size());
    for (std::size_t i = 0; i < tune.size(); ++i) {
        QCOMPARE(reports[i].note, tune[i]);
        QVERIFY(std::abs(reports[i].cents) < 35.0);
        // The onset is found within 30 ms of the Note On.
        const double onsetMs = 1000.0 * double(reports[i].onsetSample) / rate;
        QVERIFY2(std::abs(onsetMs - 1000.0 * notes[i].startSec) < 30.0, qPrintable(QString::number(onsetMs)));
    }
}

// A mains hum under the playing: notes dying over it, or starting, pull
// its pitch off the mains; it must not become a note of its own then, and
// notes near it still count where no hum was heard.
void TestNoteDetector::humUnderNotes_data()
{
    QTest::addColumn<int>("program");
    QTest::addColumn<QList<int>>("notes");
    QTest::addColumn<double>("humHz"); // 0: none
    QTest::newRow("bass notes dying over a 50 Hz hum") << 33 << QList<int>{40, 45, 43, 38, 40} << 50.0;
    QTest::newRow("trombone over a 50 Hz hum") << 57 << QList<int>{46, 50, 53, 48} << 50.0;
    QTest::newRow("B1 over a 50 Hz hum") << 33 << QList<int>{35, 40, 35} << 50.0;
    QTest::newRow("G#1 plucked over a 50 Hz hum") << 33 << QList<int>{40, 32, 36, 32} << 50.0;
    QTest::newRow("G1 and G#1 with no hum") << 33 << QList<int>{31, 36, 32} << 0.0;
}

void TestNoteDetector::humUnderNotes()
{
    QFETCH(int, program);
    QFETCH(QList<int>, notes);
    QFETCH(double, humHz);
    std::vector<NoteToRender> toPlay;
    for (int i = 0; i < notes.size(); ++i)
        toPlay.push_back({notes[i], 0.4 + i * 0.75, 0.5, 100});
    std::vector<float> x = m_synth->render(program, toPlay, totalLength(toPlay) + 0.5);
    if (humHz > 0.0) {
        // 20 dB under the notes, with its second and third harmonics.
        const double level = 0.1 * std::sqrt(power(x, std::size_t(0.4 * kRate), std::size_t(0.9 * kRate)));
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double w = 2 * std::numbers::pi * humHz * double(i) / kRate;
            x[i] += float(level * std::numbers::sqrt2 * (0.8 * std::sin(w) + 0.45 * std::sin(2 * w + 0.3) + 0.3 * std::sin(3 * w + 1.1)));
        }
    }
    QList<int> heard;
    for (const NoteEvent& e : started(detect(x)))
        heard.append(e.note);
    QCOMPARE(heard, notes);
}

// Tones built partial by partial ("ratio:dB" pairs over the note's
// frequency), where the octave is easy to get wrong from one window.
void TestNoteDetector::octaveFromTheHarmonicSeries_data()
{
    QTest::addColumn<int>("note");
    QTest::addColumn<QString>("partials");
    QTest::addColumn<double>("snrDb"); // 0: clean
    QTest::addColumn<int>("heard");
    QTest::newRow("fundamental 15 dB under the second harmonic (oboe)") << 76 << "1:-15 2:0 3:-22 4:-18 5:-30" << 0.0 << 76;
    QTest::newRow("the same at 10 dB SNR") << 76 << "1:-15 2:0 3:-22 4:-18 5:-30" << 10.0 << 76;
    QTest::newRow("fundamental 7 dB under (high violin)") << 85 << "1:-7 2:0 3:-6 4:-18 5:-21" << 0.0 << 85;
    QTest::newRow("weak fundamental of a low string (cello F2)") << 41 << "1:-20 2:0 3:-3 4:-6 5:-10 6:-14" << 0.0 << 41;
    QTest::newRow("the same at 20 dB SNR") << 41 << "1:-20 2:0 3:-3 4:-6 5:-10 6:-14" << 20.0 << 41;
    QTest::newRow("missing fundamental") << 55 << "2:0 3:-2 4:-5 5:-8" << 0.0 << 55;
    QTest::newRow("strong fundamental, faint partials (high sax)") << 81 << "1:0 2:-26 3:-19 4:-30" << 0.0 << 81;
    QTest::newRow("strong second harmonic over the fundamental (bass)") << 33 << "1:-3 2:0 3:-8 4:-12" << 0.0 << 33;
    QTest::newRow("even partials only: the octave above") << 60 << "2:0 4:-6 6:-12" << 0.0 << 72;
    QTest::newRow("one quint between the partials (organ mixture)") << 72 << "1:0 1.5:-10 2:-6 3:-25" << 0.0 << 72;
}

void TestNoteDetector::octaveFromTheHarmonicSeries()
{
    QFETCH(int, note);
    QFETCH(QString, partials);
    QFETCH(double, snrDb);
    QFETCH(int, heard);
    const double f0 = NoteDetector::noteToHz(note, 440.0);
    std::vector<std::pair<double, double>> series; // ratio, amplitude
    for (const QString& p : partials.split(u' '))
        series.emplace_back(p.section(u':', 0, 0).toDouble(), std::pow(10.0, p.section(u':', 1, 1).toDouble() / 20.0));
    // Silence, a 10 ms attack, 0.6 s of tone, a 30 ms release.
    std::vector<float> x(std::size_t(1.2 * kRate), 0.f);
    const auto from = std::size_t(0.2 * kRate), length = std::size_t(0.64 * kRate);
    for (std::size_t i = 0; i < length; ++i) {
        const double t = double(i) / kRate;
        const double env = std::min({1.0, t / 0.01, (0.64 - t) / 0.03});
        double v = 0.0;
        for (std::size_t k = 0; k < series.size(); ++k)
            v += series[k].second * std::sin(2 * std::numbers::pi * series[k].first * f0 * t + 0.7 * double(k));
        x[from + i] = float(0.1 * env * v);
    }
    if (snrDb > 0.0) {
        const double noise = std::sqrt(power(x, from, from + length)) * std::pow(10.0, -snrDb / 20.0);
        const std::vector<float> n = whiteNoise(1.2, noise, 5u);
        for (std::size_t i = 0; i < x.size(); ++i)
            x[i] += n[i];
    }
    const std::vector<NoteEvent> notes = started(detect(x));
    QVERIFY2(!notes.empty(), "nothing heard");
    QCOMPARE(notes.front().note, heard);
    QCOMPARE(notes.size(), std::size_t(1));
}

void TestNoteDetector::badInputDoesNoHarm()
{
    NoteDetector tooSlow(4000);
    QVERIFY(!tooSlow.isValid());
    QVERIFY(!tooSlow.errorString().empty());
    std::vector<NoteEvent> events;
    const float one = 0.5f;
    tooSlow.process(&one, 1, events);
    QVERIFY(events.empty());

    // Values no sound card gives: not-a-number, infinities, full-scale square waves.
    NoteDetector detector(kRate);
    std::vector<float> x(std::size_t(kRate), 0.f);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = i % 3 == 0 ? std::numeric_limits<float>::quiet_NaN()
            : i % 3 == 1  ? std::numeric_limits<float>::infinity()
                          : -std::numeric_limits<float>::infinity();
    detector.process(x.data(), x.size(), events);
    detector.process(nullptr, 100, events);
    QVERIFY(events.empty());
    QVERIFY(std::isfinite(detector.levelDb()));

    // reset forgets everything, positions included.
    const std::vector<NoteToRender> notes{{69, 0.1, 0.5, 100}};
    const std::vector<float> a4 = m_synth->render(0, notes, 1.0);
    detector.reset();
    QCOMPARE(detector.position(), std::int64_t(0));
    events.clear();
    detector.process(a4.data(), a4.size(), events);
    QCOMPARE(started(events).size(), std::size_t(1));
    QCOMPARE(started(events)[0].note, 69);
}

QTEST_GUILESS_MAIN(TestNoteDetector)
#include "tst_notedetector.moc"
