// SPDX-License-Identifier: GPL-3.0-or-later
// Laying out and drawing a line of music into the stave's picture, as each
// new line and each answer in a line costs it.
#include "controls/stavectrl.h"

#include <QApplication>
#include <benchmark/benchmark.h>

using namespace tonvero::music;

namespace {

using S = Step;

Note n(Step step, int alter, int octave, int staff = 0)
{
    return Note{Pitch{step, alter, octave}, staff};
}

Event ev(std::vector<Note> notes)
{
    Event e;
    e.duration = Duration{NoteValue::Eighth, 0};
    e.notes = std::move(notes);
    return e;
}

// Four bars of 4/4 on the grand staff, three-note chords in eighths with
// accidentals on both staves: the heaviest line the stave draws often.
Phrase heavyGrandLine()
{
    Phrase p;
    p.key = Key(-3, Mode::Major);
    p.time = TimeSignature{Meter::FourFour};
    const Event chords[4] = {
        ev({n(S::E, -1, 4), n(S::G, 0, 4), n(S::B, -1, 4), n(S::E, -1, 3, 1), n(S::G, 0, 3, 1)}),
        ev({n(S::F, 1, 4), n(S::A, 0, 4), n(S::C, 0, 5), n(S::D, 0, 3, 1), n(S::A, 0, 3, 1)}),
        ev({n(S::G, 0, 4), n(S::B, 0, 4), n(S::D, 0, 5), n(S::G, 0, 2, 1), n(S::B, 0, 2, 1)}),
        ev({n(S::A, -1, 4), n(S::C, 0, 5), n(S::E, -1, 5), n(S::A, -1, 2, 1), n(S::C, 0, 3, 1)}),
    };
    for (int b = 0; b < 4; ++b) {
        Bar bar;
        for (int i = 0; i < 8; ++i)
            bar.events.push_back(chords[(i + b) % 4]);
        p.bars.push_back(bar);
    }
    return p;
}

// The control's picture at the ratio of its screen (QT_SCALE_FACTOR=2 for 2×),
// laid out afresh each time: a new line, or a new clef.
void BM_StaveLayoutAndDraw(benchmark::State& state)
{
    const Phrase phrase = heavyGrandLine();
    const StaveLayoutTable layout = CStaveCtrl::DefaultLayout();
    CStaveCtrl::nClef = CStaveCtrl::TrebleBass;
    CStaveCtrl stave;
    stave.initialize(layout.data());
    stave.resize(stave.phraseSizeHint(4));
    int i = 0;
    for (auto _ : state) {
        stave.ShowPhrase(phrase);
        stave.SetPhraseCursor(++i % 32);
        benchmark::DoNotOptimize(stave.picture().constBits());
    }
    state.counters["ratio"] = stave.picture().devicePixelRatio();
}
BENCHMARK(BM_StaveLayoutAndDraw)->Unit(benchmark::kMicrosecond);

// An answer within the line: the cursor moves, the same layout is drawn again.
void BM_StaveCursorStep(benchmark::State& state)
{
    const StaveLayoutTable layout = CStaveCtrl::DefaultLayout();
    CStaveCtrl::nClef = CStaveCtrl::TrebleBass;
    CStaveCtrl stave;
    stave.initialize(layout.data());
    stave.resize(stave.phraseSizeHint(4));
    stave.ShowPhrase(heavyGrandLine());
    int i = 0;
    for (auto _ : state) {
        stave.SetPhraseCursor(++i % 32);
        benchmark::DoNotOptimize(stave.picture().constBits());
    }
    state.counters["ratio"] = stave.picture().devicePixelRatio();
}
BENCHMARK(BM_StaveCursorStep)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    // tonvero_bench_stave --ratio=2 draws as on a 2× screen.
    for (int i = 1; i < argc; ++i)
        if (QByteArray(argv[i]) == "--ratio=2")
            qputenv("QT_SCALE_FACTOR", "2");
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
