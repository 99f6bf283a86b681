// SPDX-License-Identifier: GPL-3.0-or-later
// The detector against notes of real instrument samples, clean, in noise and
// in a room; and against silence and noise alone.
#include "pitch/notedetector.h"
#include "support/synthrender.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <random>

using pitch::NoteDetector;
using pitch::NoteEvent;
using testsupport::NoteToRender;
using testsupport::SynthRenderer;

namespace {

constexpr int kRate = SynthRenderer::sampleRate();

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
    std::vector<double> delaysMs;
};

// Each note owns the reports from its start to the next note's start; the
// first of them must name it, any other is extra.
Score score(const std::vector<NoteToRender>& notes, const std::vector<NoteEvent>& reports, int rate, bool verbose,
            const char* what)
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

} // namespace

class TestNoteDetector : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void instrumentsAcrossTheirRange_data();
    void instrumentsAcrossTheirRange();
    void overall();

private:
    std::unique_ptr<SynthRenderer> m_synth;
    std::map<int, std::vector<float>> m_rendered; // by program
    Score m_total;
};

void TestNoteDetector::initTestCase()
{
    const std::string font = testsupport::testSoundFont();
    if (font.empty())
        QSKIP("No General MIDI soundfont is installed (timgm6mb-soundfont or fluid-soundfont-gm)");
    m_synth = std::make_unique<SynthRenderer>(font);
    QVERIFY2(m_synth->isLoaded(), font.c_str());
    qInfo("soundfont %s", m_synth->soundFont().c_str());
    QVERIFY(NoteDetector(kRate).isValid());
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
    auto found = m_rendered.find(in.program);
    if (found == m_rendered.end())
        found = m_rendered.emplace(in.program, m_synth->render(in.program, notes, totalLength(notes))).first;
    std::vector<float> x = found->second;
    const auto cond = Condition(condition);
    if (cond == Condition::Room || cond == Condition::NoiseAndRoom)
        addRoom(x);
    if (cond == Condition::Noise || cond == Condition::NoiseAndRoom)
        addNoise(x, notes, 20.0, 1234u + unsigned(instrument));

    const bool verbose = qEnvironmentVariableIsSet("TONVERO_PITCH_VERBOSE");
    const Score s = score(notes, started(detect(x)), kRate, verbose, QTest::currentDataTag());
    qInfo("%s: %d/%d right, %d extra, median %.1f ms, p95 %.1f ms", QTest::currentDataTag(), s.right, s.notes,
          s.extra, percentile(s.delaysMs, 0.5), percentile(s.delaysMs, 0.95));
    m_total.notes += s.notes;
    m_total.right += s.right;
    m_total.extra += s.extra;
    m_total.delaysMs.insert(m_total.delaysMs.end(), s.delaysMs.begin(), s.delaysMs.end());
}

void TestNoteDetector::overall()
{
    qInfo("overall: %d/%d right (%.1f %%), %d extra, median %.1f ms, p95 %.1f ms", m_total.right, m_total.notes,
          100.0 * m_total.right / std::max(1, m_total.notes), m_total.extra, percentile(m_total.delaysMs, 0.5),
          percentile(m_total.delaysMs, 0.95));
}

QTEST_GUILESS_MAIN(TestNoteDetector)
#include "tst_notedetector.moc"
