// SPDX-License-Identifier: GPL-3.0-or-later
// Practising a 200-bar piano piece: cutting it into lines, and the memory it
// takes beside the phrase exercise.
#include "pianopiece.h"

#include "exercise/exercise.h"
#include "piece/piecefile.h"
#include "settings/preferences.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <memory>

using namespace tonvero;

namespace {

std::shared_ptr<const piece::Piece> readPiano(int bars)
{
    piece::PieceFile file = piece::readPieceData(benchpiece::pianoPiece(bars), QStringLiteral("piano.musicxml"));
    return file.ok() ? std::make_shared<const piece::Piece>(std::move(file.piece)) : nullptr;
}

void BM_PieceLines(benchmark::State& state)
{
    const auto piece = readPiano(int(state.range(0)));
    if (!piece) {
        state.SkipWithError("the piece was not read");
        return;
    }
    piece::PieceSelection both;
    for (auto _ : state) {
        const std::vector<piece::PieceLine> lines = piece::pieceLines(*piece, both, 2);
        benchmark::DoNotOptimize(lines.data());
    }
}
BENCHMARK(BM_PieceLines)->Arg(200)->Unit(benchmark::kMillisecond);

std::size_t heapInUse()
{
    malloc_trim(0);
    return mallinfo2().uordblks;
}

// The heap an exercise holds while running: a drawn phrase, then the piece
// opened from its file's bytes and practised with both hands.
void BM_PiecePracticeMemory(benchmark::State& state)
{
    double phraseMiB = 0;
    double pieceMiB = 0;
    for (auto _ : state) {
        const std::size_t before = heapInUse();
        Preferences prefs;
        prefs.phrase.nExerciseKind = PhraseSettings::Phrase;
        auto ex = std::make_unique<Exercise>(prefs);
        ex->StartStop(false);
        const std::size_t phrase = heapInUse();
        ex->StartStop(false);

        prefs.phrase.nExerciseKind = PhraseSettings::Piece;
        {
            const QByteArray bytes = benchpiece::pianoPiece(int(state.range(0)));
            piece::PieceFile file = piece::readPieceData(bytes, QStringLiteral("piano.musicxml"));
            ex->setPiece(std::make_shared<const piece::Piece>(std::move(file.piece)), file.id, file.path, {});
        }
        ex->StartStop(false);
        const std::size_t practising = heapInUse();
        ex->StartStop(false);
        ex.reset();
        phraseMiB = double(phrase - before) / (1024.0 * 1024.0);
        pieceMiB = double(practising - before) / (1024.0 * 1024.0);
    }
    state.counters["phrase_MiB"] = phraseMiB;
    state.counters["piece_MiB"] = pieceMiB;
    state.counters["above_phrase_MiB"] = pieceMiB - phraseMiB;
}
BENCHMARK(BM_PiecePracticeMemory)->Arg(200)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
