// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "app/templates.h"
#include "app/tonverodlg.h"
#include "platform/ui/messagebox.h"

#include <QApplication>
#include <QCheckBox>
#include <QTemporaryDir>
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
