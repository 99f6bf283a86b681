// SPDX-License-Identifier: GPL-3.0-or-later
// tonvero_heldout: the note detector on the held-out set (instruments of a
// soundfont its fixtures never use, in the conditions players meet), beside
// stock aubio's note tracker (aubionotes' defaults) on the same takes.
//
//   tonvero_heldout render DIR [--soundfont FILE] [--notes N]
//   tonvero_heldout score DIR [--instrument NAME] [--condition NAME]
//
// render writes each take once as DIR/<program>-<condition>.wav (32-bit float)
// with its notes beside it in .notes (start s, length s, MIDI note); score
// reads them back and prints, per condition and per instrument, the share of
// notes reported right, of extra reports and of octave errors, for both, and
// the delay from a note's start to its report (median and p95) per register.
#include "pitch/wavfile.h"
#include "support/heldoutset.h"

#include <aubio/aubio.h>

#include <QFile>
#include <QString>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace ho = testsupport::heldout;
using testsupport::NoteToRender;

namespace {

constexpr int kRate = testsupport::SynthRenderer::sampleRate();

std::string takePath(const std::string& dir, const ho::Instrument& in, std::size_t condition, const char* ext)
{
    return dir + "/" + std::to_string(in.program) + "-" + std::to_string(condition) + ext;
}

bool writeFloatWav(const std::string& path, const std::vector<float>& x)
{
    std::ofstream f(path, std::ios::binary);
    auto u32 = [&f](std::uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&f](std::uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    const auto bytes = std::uint32_t(x.size() * 4);
    f.write("RIFF", 4);
    u32(36 + bytes);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(3); // IEEE float
    u16(1);
    u32(kRate);
    u32(kRate * 4);
    u16(4);
    u16(32);
    f.write("data", 4);
    u32(bytes);
    f.write(reinterpret_cast<const char*>(x.data()), std::streamsize(bytes));
    return bool(f);
}

int render(const std::string& dir, std::string font, int count)
{
    if (font.empty())
        font = ho::soundFont();
    if (font.empty()) {
        std::fprintf(stderr, "no held-out soundfont: install csound-soundfont\n");
        return 1;
    }
    std::filesystem::create_directories(dir);
    testsupport::SynthRenderer synth(font);
    if (!synth.isLoaded()) {
        std::fprintf(stderr, "cannot load %s\n", font.c_str());
        return 1;
    }
    for (const ho::Instrument& in : ho::instruments()) {
        for (std::size_t c = 0; c < ho::conditions().size(); ++c) {
            const ho::Take take = ho::render(synth, in, ho::conditions()[c], count);
            std::ofstream notes(takePath(dir, in, c, ".notes"));
            for (const NoteToRender& n : take.notes)
                notes << n.startSec << ' ' << n.durationSec << ' ' << n.note << '\n';
            if (!writeFloatWav(takePath(dir, in, c, ".wav"), take.samples)) {
                std::fprintf(stderr, "cannot write into %s\n", dir.c_str());
                return 1;
            }
        }
        std::fprintf(stderr, "%s\n", in.name);
    }
    return 0;
}

// aubionotes with its defaults: buffer 512, hop 256, "default" onset, yinfft pitch.
std::vector<ho::Heard> aubioNotes(const std::vector<float>& x)
{
    constexpr uint_t kBuf = 512, kHop = 256;
    aubio_notes_t* notes = new_aubio_notes("default", kBuf, kHop, kRate);
    fvec_t* in = new_fvec(kHop);
    fvec_t* out = new_fvec(3);
    std::vector<ho::Heard> heard;
    for (std::size_t i = 0; i + kHop <= x.size(); i += kHop) {
        std::memcpy(in->data, x.data() + i, kHop * sizeof(float));
        aubio_notes_do(notes, in, out);
        if (out->data[0] != 0)
            heard.push_back({std::int64_t(i + kHop), int(std::lround(out->data[0]))});
    }
    del_fvec(out);
    del_fvec(in);
    del_aubio_notes(notes);
    return heard;
}

struct Both {
    ho::Score ours, aubio;
    void add(const Both& o)
    {
        ours.add(o.ours);
        aubio.add(o.aubio);
    }
};

QString pct(int part, int whole)
{
    return whole ? QString::number(100.0 * part / whole, 'f', 1) : QStringLiteral("-");
}

void printRow(QTextStream& out, const QString& label, const Both& b)
{
    out << QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 |\n")
               .arg(label)
               .arg(b.ours.notes)
               .arg(pct(b.ours.right, b.ours.notes), pct(b.ours.extra, b.ours.notes),
                    pct(b.ours.octave, b.ours.notes), pct(b.aubio.right, b.aubio.notes),
                    pct(b.aubio.extra, b.aubio.notes), pct(b.aubio.octave, b.aubio.notes));
}

int score(const std::string& dir, const std::string& onlyInstrument, const std::string& onlyCondition)
{
    std::map<std::size_t, Both> byCondition;
    std::map<std::string, Both> byInstrument;
    std::map<int, std::vector<double>> delays; // per register, clean takes
    Both all;
    for (const ho::Instrument& in : ho::instruments()) {
        if (!onlyInstrument.empty() && onlyInstrument != in.name)
            continue;
        for (std::size_t c = 0; c < ho::conditions().size(); ++c) {
            if (!onlyCondition.empty() && onlyCondition != ho::conditionName(ho::conditions()[c]))
                continue;
            std::vector<NoteToRender> truth;
            std::ifstream notes(takePath(dir, in, c, ".notes"));
            for (NoteToRender n; notes >> n.startSec >> n.durationSec >> n.note;)
                truth.push_back(n);
            pitch::WavAudio audio;
            QString error;
            if (truth.empty() || !pitch::readWav(QString::fromStdString(takePath(dir, in, c, ".wav")), audio, &error)) {
                std::fprintf(stderr, "%s: run render first (%s)\n", takePath(dir, in, c, ".wav").c_str(),
                             qPrintable(error));
                return 1;
            }
            Both b;
            b.ours = ho::score(truth, ho::detectorNotes(audio.mono, kRate), kRate);
            b.aubio = ho::score(truth, aubioNotes(audio.mono), kRate);
            byCondition[c].add(b);
            byInstrument[in.name].add(b);
            all.add(b);
            if (ho::conditions()[c] == ho::Condition::Clean) {
                // Delays per register: the right notes of this take in order.
                const std::vector<ho::Heard> heard = ho::detectorNotes(audio.mono, kRate);
                for (const NoteToRender& n : truth) {
                    for (const ho::Heard& h : heard) {
                        const double t = double(h.reportSample) / kRate;
                        if (h.note == n.note && t >= n.startSec - 0.01 && t < n.startSec + n.durationSec + 0.3) {
                            delays[n.note < 48 ? 0 : n.note < 72 ? 1 : 2].push_back(1000.0 * (t - n.startSec));
                            break;
                        }
                    }
                }
            }
        }
    }
    QTextStream out(stdout);
    out << "| condition | notes | right % | extra % | octave % | aubio right % | aubio extra % | aubio octave % |\n"
           "|---|---|---|---|---|---|---|---|\n";
    for (const auto& [c, b] : byCondition)
        printRow(out, QString::fromLatin1(ho::conditionName(ho::conditions()[c])), b);
    printRow(out, QStringLiteral("**all**"), all);
    out << "\n| instrument | notes | right % | extra % | octave % | aubio right % | aubio extra % | aubio octave % |\n"
           "|---|---|---|---|---|---|---|---|\n";
    for (const ho::Instrument& in : ho::instruments())
        if (byInstrument.count(in.name))
            printRow(out, QString::fromLatin1(in.name), byInstrument[in.name]);
    out << "\n| register (clean) | notes | median delay ms | p95 delay ms |\n|---|---|---|---|\n";
    const char* registers[] = {"below C3", "C3 to B4", "C5 and up"};
    for (const auto& [r, d] : delays)
        out << QStringLiteral("| %1 | %2 | %3 | %4 |\n")
                   .arg(QString::fromLatin1(registers[r]))
                   .arg(d.size())
                   .arg(ho::percentile(d, 0.5), 0, 'f', 0)
                   .arg(ho::percentile(d, 0.95), 0, 'f', 0);
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: tonvero_heldout render DIR [--soundfont FILE] [--notes N]\n"
                         "       tonvero_heldout score DIR [--instrument NAME] [--condition NAME]\n");
    return 2;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 3)
        return usage();
    const std::string mode = argv[1], dir = argv[2];
    std::string font, instrument, condition;
    int count = 10;
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--soundfont")
            font = value;
        else if (key == "--notes")
            count = std::max(2, std::atoi(value.c_str()));
        else if (key == "--instrument")
            instrument = value;
        else if (key == "--condition")
            condition = value;
        else
            return usage();
    }
    if (mode == "render")
        return render(dir, font, count);
    if (mode == "score")
        return score(dir, instrument, condition);
    return usage();
}
