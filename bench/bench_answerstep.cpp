// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "app/templates.h"
#include "app/tonverodlg.h"
#include "platform/ui/messagebox.h"

#include <QApplication>
#include <QCheckBox>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <vector>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

CTonveroDlg* window = nullptr;

// One right answer, from the listener call to the stave and the piano repainted
// on screen: judge, mark, draw the next note, compose both pictures, paint.
// The release is not timed; it only clears the mark for the next round.
void BM_RightAnswerToRepaint(benchmark::State& state)
{
    CTonveroDlg& d = *window;
    if (!d.exercise().bRunning)
        d.StartStop(false);
    for (auto _ : state) {
        const int note = CInstrumentCtrl::NoteFromKeyIndex(d.exercise().nCurNote);
        d.OnNoteOn(note, false);
        d.stave->repaint();
        d.piano->repaint();
        state.PauseTiming();
        d.OnNoteOff(note);
        state.ResumeTiming();
    }
    state.counters["notes"] = d.exercise().nNotes;
}
BENCHMARK(BM_RightAnswerToRepaint)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);

// The same on the grand stave with white keys only and all three instruments in play.
void BM_RightAnswerGrandStaveAllInstruments(benchmark::State& state)
{
    CTonveroDlg& d = *window;
    if (d.exercise().bRunning)
        d.StartStop(false);
    d.guitarBox->setChecked(true);
    d.bassBox->setChecked(true);
    d.preferences().bUseBlackKeys = 0;
    d.OnClef(tonvero::CmdClefTrebleBass);
    d.StartStop(false);
    for (auto _ : state) {
        const int note = CInstrumentCtrl::NoteFromKeyIndex(d.exercise().nCurNote);
        d.OnNoteOn(note, false);
        d.stave->repaint();
        d.piano->repaint();
        d.guitar->repaint();
        d.bass->repaint();
        state.PauseTiming();
        d.OnNoteOff(note);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RightAnswerGrandStaveAllInstruments)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

// A phrase on the grand staff with chords of up to three notes: each round plays
// the next event's notes (a chord note by note), up to the stave and piano
// repainted; a new line laid out and drawn falls into some rounds, as in use.
void BM_PhraseAnswerToRepaint(benchmark::State& state)
{
    CTonveroDlg& d = *window;
    if (d.exercise().bRunning)
        d.StartStop(false);
    d.preferences().phrase.nExerciseKind = tonvero::PhraseSettings::Phrase;
    d.preferences().phrase.nPhraseChordNotes = 3;
    d.preferences().phrase.nPhraseLevel = 1;
    d.preferences().phrase.nPhraseBars = 4;
    d.preferences().bOnWrongNoteWaitTime = 0;
    d.OnClef(tonvero::CmdClefTrebleBass);
    d.StartStop(false);
    std::vector<double> rounds;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const std::vector<int> notes = d.exercise().phraseTask().expected();
        for (int n : notes)
            d.OnNoteOn(n, false);
        d.stave->repaint();
        d.piano->repaint();
        rounds.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
        state.PauseTiming();
        for (int n : notes)
            d.OnNoteOff(n);
        state.ResumeTiming();
    }
    // The slow rounds are the ones with a new line: the tail is what a player feels.
    std::sort(rounds.begin(), rounds.end());
    if (!rounds.empty())
        state.counters["p99_us"] = rounds[std::min(rounds.size() - 1, rounds.size() * 99 / 100)];
    d.StartStop(false);
    d.preferences().phrase = tonvero::PhraseSettings{};
}
BENCHMARK(BM_PhraseAnswerToRepaint)->Unit(benchmark::kMicrosecond)->MinTime(2.0)->Repetitions(3)->ReportAggregatesOnly(true);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The window loads and saves its settings: keep them away from the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(config.path()));
    // The answer history is written as in the program, into a scratch data home.
    qputenv("XDG_DATA_HOME", QFile::encodeName(config.path() + QStringLiteral("/data")));
    QApplication app(argc, argv);
    platform::setMessageBoxHook([](const platform::MessageBoxCall&) {});

    auto dlg = std::make_unique<CTonveroDlg>();
    dlg->preferences().bBeep = 0;
    dlg->preferences().bMIDI_Out = 0;
    dlg->resize(1000, 820);
    dlg->show();
    QApplication::processEvents();
    window = dlg.get();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    window = nullptr;
    return 0;
}
