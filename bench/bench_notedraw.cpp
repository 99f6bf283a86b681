// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/notedraw.h"

#include <benchmark/benchmark.h>

using namespace notedraw;

namespace {

// One draw as the engine makes it after each answer: grand stave, white keys
// only, a weight table with a few missed notes.
void BM_DrawGrandStaveWeighted(benchmark::State& state)
{
    ErrorWeightTable weights{};
    weights[0][45] = 40;
    weights[0][50] = 12;
    weights[1][20] = 7;
    DrawRequest request;
    request.ranges = {StaffRange{39, 79}, StaffRange{0, 40}};
    request.grandStave = true;
    request.useBlackKeys = false;
    request.weights = &weights;
    SeededRandom random(1);
    const RandomSource source = [&random] { return random(); };
    for (auto _ : state) {
        const DrawResult d = drawNextNote(request, source);
        request.previousNote = d.keyIndex;
        benchmark::DoNotOptimize(d);
    }
}
BENCHMARK(BM_DrawGrandStaveWeighted);

// The worst case: a range with no other note, so the draw runs to its bound and scans.
void BM_DrawExhaustedRange(benchmark::State& state)
{
    DrawRequest request;
    request.ranges = {StaffRange{40, 40}, StaffRange{0, 0}};
    request.previousNote = 40;
    SeededRandom random(1);
    const RandomSource source = [&random] { return random(); };
    for (auto _ : state)
        benchmark::DoNotOptimize(drawNextNote(request, source));
}
BENCHMARK(BM_DrawExhaustedRange);

void BM_NormaliseRange(benchmark::State& state)
{
    int k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(normaliseRangeForDraw(k, k, false));
        k = (k + 1) % KeyCount;
    }
}
BENCHMARK(BM_NormaliseRange);

} // namespace

BENCHMARK_MAIN();
