// SPDX-License-Identifier: GPL-3.0-or-later
#include "music/phrasegenerator.h"
#include "notation/linelayout.h"

#include <benchmark/benchmark.h>

using namespace tonvero::music;
using namespace tonvero::notation;

namespace {

// The heaviest line the exercise shows: four bars of 4/4 on the grand staff,
// chords of up to four notes, seven flats, the hard level's eighths and rests.
PhraseRequest heaviestLine()
{
    PhraseRequest r;
    r.level = Level::Hard;
    r.key = Key(-7, Mode::Major);
    r.time = TimeSignature{Meter::FourFour};
    r.bars = 4;
    r.grandStaff = true;
    r.ranges = {KeyRange{39, 72}, KeyRange{8, 39}};
    r.maxChordNotes = 4;
    return r;
}

void BM_LayoutGrandStaffChords(benchmark::State& state)
{
    const Phrase phrase = generatePhrase(heaviestLine(), 11);
    StaffGeometry geometry;
    geometry.width = 120;
    for (auto _ : state)
        benchmark::DoNotOptimize(layoutLine(phrase, Clef::Grand, geometry));
}
BENCHMARK(BM_LayoutGrandStaffChords)->Unit(benchmark::kMicrosecond);

// What the next line costs when one ends: generating it and laying it out.
void BM_GenerateAndLayout(benchmark::State& state)
{
    const PhraseRequest request = heaviestLine();
    std::mt19937 engine(3);
    StaffGeometry geometry;
    geometry.width = 120;
    for (auto _ : state)
        benchmark::DoNotOptimize(layoutLine(generatePhrase(request, engine), Clef::Grand, geometry));
}
BENCHMARK(BM_GenerateAndLayout)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
