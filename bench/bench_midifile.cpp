// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece/piecefile.h"

#include <QByteArray>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <utility>
#include <vector>

using namespace tonvero::piece;

namespace {

constexpr int Ppq = 480;

void vlq(QByteArray& out, quint32 v)
{
    QByteArray b(1, char(v & 0x7F));
    while (v >>= 7)
        b.prepend(char(0x80 | (v & 0x7F)));
    out += b;
}

void be(QByteArray& out, quint32 v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out += char((v >> (8 * i)) & 0xFF);
}

using Events = std::vector<std::pair<quint32, QByteArray>>;

// Played rather than drawn: every onset and length a little off the grid.
quint32 jitter(quint32 seed)
{
    return (seed * 2654435761u >> 16) % 17;
}

void note(Events& e, quint32 at, int key, quint32 length, int channel)
{
    const quint32 start = at + jitter(at + quint32(key));
    e.push_back({start, QByteArray(1, char(0x90 | channel)) + char(key) + char(64 + key % 32)});
    e.push_back({start + length - 30 + jitter(quint32(key) * 7 + at), QByteArray(1, char(0x90 | channel)) + char(key) + char(0)});
}

QByteArray chunk(Events e, const QByteArray& name)
{
    std::stable_sort(e.begin(), e.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    QByteArray body("\x00\xFF\x03", 3);
    vlq(body, quint32(name.size()));
    body += name;
    quint32 last = 0;
    char status = 0;
    for (const auto& [at, bytes] : e) {
        vlq(body, at - last);
        last = at;
        const bool channel = uchar(bytes[0]) < 0xF0;
        body += channel && bytes[0] == status ? bytes.mid(1) : bytes; // running status
        if (channel)
            status = bytes[0];
    }
    body += QByteArray("\x00\xFF\x2F\x00", 4);
    QByteArray out("MTrk");
    be(out, quint32(body.size()), 4);
    return out + body;
}

// A piano piece as a sequencer saves it: 200 bars of 4/4, the right hand's
// sixteenths and chords and the left hand's triplets and held notes on two
// tracks, with the pedal, tempo changes and no key signature.
QByteArray pianoPiece(int bars)
{
    Events tempo, right, left;
    const int scale[] = {0, 2, 3, 5, 7, 8, 10};
    for (int b = 0; b < bars; ++b) {
        const quint32 bar = quint32(b) * 4 * Ppq;
        if (b % 16 == 0) {
            QByteArray t("\xFF\x51\x03", 3);
            be(t, 500000 + quint32(b) * 1000, 3);
            tempo.push_back({bar, t});
        }
        for (int i = 0; i < 8; ++i)
            note(right, bar + quint32(i) * Ppq / 4, 70 + scale[(b + i) % 7], Ppq / 4, 0);
        for (int i = 0; i < 2; ++i)
            for (int k : {70, 73, 77})
                note(right, bar + quint32(2 + i) * Ppq, k, Ppq, 0);
        for (int i = 0; i < 6; ++i)
            note(left, bar + quint32(i) * Ppq / 3, 46 + scale[(b + 2 * i) % 7], Ppq / 3, 1);
        note(left, bar + 2 * Ppq, b % 2 ? 41 : 46, 2 * Ppq, 1);
        left.push_back({bar, QByteArray("\xB1\x40\x7F", 3)});
        left.push_back({bar + 4 * Ppq - 10, QByteArray("\xB1\x40\x00", 3)});
    }
    QByteArray file("MThd");
    be(file, 6, 4);
    be(file, 1, 2);
    be(file, 3, 2);
    be(file, Ppq, 2);
    return file + chunk(tempo, "Nocturne") + chunk(right, "Piano RH") + chunk(left, "Piano LH");
}

void BM_OpenPianoMidiFile(benchmark::State& state)
{
    const QByteArray file = pianoPiece(int(state.range(0)));
    for (auto _ : state) {
        const PieceFile piece = readPieceData(file, QStringLiteral("nocturne.mid"));
        if (!piece.ok() || piece.piece.bars.size() != size_t(state.range(0)))
            state.SkipWithError("the piece was not read");
        benchmark::DoNotOptimize(piece.piece.notes.data());
    }
    state.counters["bytes"] = double(file.size());
}
// 200 bars as the budget asks; 2000 (42,000 notes) to show it grows in proportion.
BENCHMARK(BM_OpenPianoMidiFile)->Arg(200)->Arg(2000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
