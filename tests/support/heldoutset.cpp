// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/heldoutset.h"

#include "pitch/notedetector.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <numbers>
#include <random>

namespace testsupport::heldout {

namespace {

constexpr int kRate = SynthRenderer::sampleRate();

double power(const std::vector<float>& x, std::size_t from, std::size_t to)
{
    to = std::min(to, x.size());
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += double(x[i]) * x[i];
    return to > from ? sum / double(to - from) : 0.0;
}

// The RMS of the notes while they sound.
double notesRms(const std::vector<float>& x, const std::vector<NoteToRender>& notes)
{
    double sum = 0;
    std::size_t count = 0;
    for (const NoteToRender& n : notes) {
        const auto from = std::size_t(n.startSec * kRate);
        const auto to = std::size_t((n.startSec + n.durationSec) * kRate);
        sum += power(x, from, to) * double(to - from);
        count += to - from;
    }
    return count ? std::sqrt(sum / double(count)) : 0.0;
}

void addNoise(std::vector<float>& x, const std::vector<NoteToRender>& notes, double snrDb, bool pink, unsigned seed)
{
    std::mt19937 gen(seed);
    std::normal_distribution<double> dist(0.0, 1.0);
    std::vector<double> noise(x.size());
    // Pink by Paul Kellet's filter of white noise.
    double b0 = 0, b1 = 0, b2 = 0, b3 = 0, b4 = 0, b5 = 0, b6 = 0;
    for (double& v : noise) {
        const double w = dist(gen);
        if (!pink) {
            v = w;
            continue;
        }
        b0 = 0.99886 * b0 + w * 0.0555179;
        b1 = 0.99332 * b1 + w * 0.0750759;
        b2 = 0.96900 * b2 + w * 0.1538520;
        b3 = 0.86650 * b3 + w * 0.3104856;
        b4 = 0.55000 * b4 + w * 0.5329522;
        b5 = -0.7616 * b5 - w * 0.0168980;
        v = b0 + b1 + b2 + b3 + b4 + b5 + b6 + w * 0.5362;
        b6 = w * 0.115926;
    }
    double sum = 0;
    for (double v : noise)
        sum += v * v;
    const double rms = std::sqrt(sum / double(std::max<std::size_t>(noise.size(), 1)));
    const double gain = notesRms(x, notes) * std::pow(10.0, -snrDb / 20.0) / std::max(rms, 1e-12);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] += float(gain * noise[i]);
}

// Mains hum: 50 Hz with its second and third harmonics, 20 dB under the notes.
void addHum(std::vector<float>& x, const std::vector<NoteToRender>& notes)
{
    const double level = notesRms(x, notes) * 0.1 * std::numbers::sqrt2;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / kRate;
        const double w = 2 * std::numbers::pi * 50.0 * t;
        x[i] += float(level * (0.8 * std::sin(w) + 0.45 * std::sin(2 * w + 0.3) + 0.3 * std::sin(3 * w + 1.1)));
    }
}

// A livelier room than the fixtures': six combs and two allpasses, about 0.9 s to fall by 60 dB.
void addRoom(std::vector<float>& x)
{
    struct Line {
        std::vector<float> buf;
        std::size_t pos = 0;
        float gain = 0;
    };
    const double rt60 = 0.9;
    std::vector<Line> combs;
    for (int delay : {1687, 1601, 2053, 1867, 1753, 1949}) {
        const float g = float(std::pow(10.0, -3.0 * delay / (rt60 * kRate)));
        combs.push_back({std::vector<float>(std::size_t(delay), 0.f), 0, g});
    }
    std::vector<Line> allpasses;
    for (int delay : {347, 113})
        allpasses.push_back({std::vector<float>(std::size_t(delay), 0.f), 0, 0.7f});
    for (float& v : x) {
        float wet = 0.f;
        for (Line& c : combs) {
            const float out = c.buf[c.pos];
            c.buf[c.pos] = v + c.gain * out;
            c.pos = (c.pos + 1) % c.buf.size();
            wet += out;
        }
        wet /= float(combs.size());
        for (Line& a : allpasses) {
            const float delayed = a.buf[a.pos];
            const float in = wet + a.gain * delayed;
            a.buf[a.pos] = in;
            a.pos = (a.pos + 1) % a.buf.size();
            wet = delayed - a.gain * in;
        }
        v = 0.7f * v + 0.6f * wet;
    }
}

// Reads the take at a varying speed: cents(t) above its pitch. Times of the
// notes move with it.
void bend(Take& take, const std::function<double(double)>& cents)
{
    std::vector<float> out;
    out.reserve(take.samples.size());
    double pos = 0;
    while (pos + 1 < double(take.samples.size())) {
        const auto i = std::size_t(pos);
        const double f = pos - double(i);
        out.push_back(float((1 - f) * take.samples[i] + f * take.samples[i + 1]));
        pos += std::pow(2.0, cents(double(out.size()) / kRate) / 1200.0);
    }
    const double ratio = double(out.size()) / double(take.samples.size());
    for (NoteToRender& n : take.notes) {
        n.startSec *= ratio;
        n.durationSec *= ratio;
    }
    take.samples = std::move(out);
}

std::vector<NoteToRender> acrossRange(const Instrument& in, int count)
{
    std::vector<NoteToRender> notes;
    double t = 0.3;
    for (int i = 0; i < count; ++i) {
        const int note = in.low + int(std::lround(double(i) * (in.high - in.low) / std::max(count - 1, 1)));
        const double length = 0.5 + 0.1 * (i % 3);
        notes.push_back({note, t, length, 75 + (i * 17) % 45});
        t += length + 0.25;
    }
    return notes;
}

// Steps and leaps in the middle of the range, some notes repeated.
std::vector<NoteToRender> passage(const Instrument& in, int count, double every, double length, unsigned seed)
{
    std::mt19937 gen(seed);
    const int lo = in.low + (in.high - in.low) / 4;
    const int hi = in.high - (in.high - in.low) / 4;
    std::uniform_int_distribution<int> step(-4, 4);
    std::vector<NoteToRender> notes;
    int note = (lo + hi) / 2;
    double t = 0.3;
    for (int i = 0; i < count; ++i) {
        notes.push_back({note, t, length, 80 + (i * 11) % 35});
        t += every;
        note = std::clamp(note + step(gen), lo, hi);
    }
    return notes;
}

double lengthOf(const std::vector<NoteToRender>& notes)
{
    return notes.back().startSec + notes.back().durationSec + 0.8;
}

} // namespace

const std::vector<Instrument>& instruments()
{
    static const std::vector<Instrument> list = {
        {"violin", 40, 55, 100},   {"cello", 42, 36, 76},       {"voice oohs", 53, 48, 79},
        {"clarinet", 71, 50, 91},  {"oboe", 68, 58, 91},        {"alto sax", 65, 49, 81},
        {"trumpet", 56, 54, 84},   {"trombone", 57, 40, 72},    {"church organ", 19, 36, 96},
        {"piano", 0, 21, 108},     {"clean guitar", 27, 40, 86}, {"fretless bass", 35, 28, 60},
    };
    return list;
}

const std::vector<Condition>& conditions()
{
    static const std::vector<Condition> list = {
        Condition::Clean, Condition::White20,     Condition::White10, Condition::Pink20,    Condition::Pink10,
        Condition::Room,  Condition::Hum,         Condition::Soft,    Condition::FourASecond, Condition::Legato,
        Condition::SharpBy20, Condition::FlatBy20, Condition::Vibrato,
    };
    return list;
}

const char* conditionName(Condition c)
{
    switch (c) {
    case Condition::Clean: return "clean";
    case Condition::White20: return "white 20 dB";
    case Condition::White10: return "white 10 dB";
    case Condition::Pink20: return "pink 20 dB";
    case Condition::Pink10: return "pink 10 dB";
    case Condition::Room: return "room";
    case Condition::Hum: return "hum 50 Hz";
    case Condition::Soft: return "soft";
    case Condition::FourASecond: return "4 a second";
    case Condition::Legato: return "legato";
    case Condition::SharpBy20: return "+20 cents";
    case Condition::FlatBy20: return "-20 cents";
    case Condition::Vibrato: return "vibrato";
    }
    return "?";
}

std::string soundFont()
{
    // Csound's General MIDI bank (csound-soundfont); MuseScore's, where its
    // uncompressed edition is installed (the compressed .sf3 ones are not read).
    std::error_code ec;
    for (const char* path : {"/usr/share/sounds/sf2/sf_GMbank.sf2", "/usr/share/sounds/sf2/MuseScore_General.sf2"})
        if (std::filesystem::is_regular_file(path, ec))
            return path;
    return {};
}

Take render(SynthRenderer& synth, const Instrument& in, Condition c, int count)
{
    Take take;
    const unsigned seed = unsigned(in.program * 31 + int(c));
    switch (c) {
    case Condition::FourASecond:
        // Eighths at 120 bpm, a little detached.
        take.notes = passage(in, 2 * count, 0.25, 0.2, seed);
        break;
    case Condition::Legato:
        take.notes = passage(in, count, 0.4, 0.4, seed);
        break;
    default:
        take.notes = acrossRange(in, count);
        break;
    }
    if (c == Condition::Soft)
        for (NoteToRender& n : take.notes)
            n.velocity = 30 + n.velocity % 15;
    take.samples = synth.render(in.program, take.notes, lengthOf(take.notes));
    switch (c) {
    case Condition::White20: addNoise(take.samples, take.notes, 20, false, seed); break;
    case Condition::White10: addNoise(take.samples, take.notes, 10, false, seed); break;
    case Condition::Pink20: addNoise(take.samples, take.notes, 20, true, seed); break;
    case Condition::Pink10: addNoise(take.samples, take.notes, 10, true, seed); break;
    case Condition::Room: addRoom(take.samples); break;
    case Condition::Hum: addHum(take.samples, take.notes); break;
    case Condition::SharpBy20: bend(take, [](double) { return 20.0; }); break;
    case Condition::FlatBy20: bend(take, [](double) { return -20.0; }); break;
    case Condition::Vibrato:
        // 5.5 Hz, 30 cents either way.
        bend(take, [](double t) { return 30.0 * std::sin(2 * std::numbers::pi * 5.5 * t); });
        break;
    default: break;
    }
    return take;
}

void Score::add(const Score& o)
{
    notes += o.notes;
    right += o.right;
    extra += o.extra;
    octave += o.octave;
    delaysMs.insert(delaysMs.end(), o.delaysMs.begin(), o.delaysMs.end());
}

Score score(const std::vector<NoteToRender>& truth, const std::vector<Heard>& heard, int rate)
{
    Score s;
    s.notes = int(truth.size());
    std::vector<bool> used(heard.size(), false);
    for (std::size_t i = 0; i < truth.size(); ++i) {
        const NoteToRender& n = truth[i];
        // A note's answer comes after its start and before the next note's,
        // or at most 0.3 s after it ends.
        const double from = n.startSec - 0.01;
        double to = n.startSec + n.durationSec + 0.3;
        if (i + 1 < truth.size())
            to = std::min(to, truth[i + 1].startSec);
        bool right = false, octave = false;
        for (std::size_t k = 0; k < heard.size(); ++k) {
            const double t = double(heard[k].reportSample) / rate;
            if (used[k] || t < from || t >= to)
                continue;
            if (!right && heard[k].note == n.note) {
                right = true;
                used[k] = true;
                s.delaysMs.push_back(1000.0 * (t - n.startSec));
            } else if (const int d = std::abs(heard[k].note - n.note); d == 12 || d == 24) {
                octave = true;
            }
        }
        s.right += right ? 1 : 0;
        s.octave += (!right && octave) ? 1 : 0;
    }
    for (bool u : used)
        s.extra += u ? 0 : 1;
    return s;
}

std::vector<Heard> detectorNotes(const std::vector<float>& samples, int rate)
{
    pitch::NoteDetector detector(rate);
    std::vector<pitch::NoteEvent> events;
    constexpr std::size_t kBlock = 441;
    for (std::size_t i = 0; i < samples.size(); i += kBlock)
        detector.process(samples.data() + i, std::min(kBlock, samples.size() - i), events);
    std::vector<Heard> heard;
    for (const pitch::NoteEvent& e : events)
        if (e.kind == pitch::NoteEvent::Kind::Started)
            heard.push_back({e.reportSample, e.note});
    return heard;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const auto i = std::size_t(std::clamp(p, 0.0, 1.0) * double(values.size() - 1) + 0.5);
    return values[std::min(i, values.size() - 1)];
}

} // namespace testsupport::heldout
