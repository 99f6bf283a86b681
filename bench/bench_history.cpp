// SPDX-License-Identifier: GPL-3.0-or-later
// The answer history with a year of practice in it (about 100 000 answers):
// the engine's side of an answer with the writer running, the statistics
// window from construction to its first picture with the figures, the
// queries behind it, the export, and the practice memory at exercise start.
#include "dialogs/statisticsdlg.h"
#include "history/historyqueries.h"
#include "history/historystore.h"
#include "../tools/shots/simulatedhistory.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QBuffer>
#include <QEventLoop>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <vector>

using namespace tonvero;
using namespace tonvero::history;

namespace {

// Filled once for every benchmark of the run.
struct Year {
    QTemporaryDir dir;
    QString path;
    historysim::Totals totals;

    Year()
    {
        path = dir.filePath(QStringLiteral("history.sqlite"));
        HistoryStore store(path);
        historysim::Options options;
        options.days = 365;
        options.answersPerExercise = 160;
        options.seed = 2025;
        totals = historysim::simulate(store, options);
        store.flush(120000);
        std::fprintf(stderr, "history: %d exercises, %d answers\n", totals.exercises, totals.answers);
    }
};

Year& year()
{
    static Year y;
    return y;
}

// The same year with every other exercise turned into lines of music in the
// fifteen major and fifteen minor keys.
struct YearOfLines {
    QTemporaryDir dir;
    QString path;

    YearOfLines()
    {
        path = dir.filePath(QStringLiteral("history.sqlite"));
        QFile::copy(year().path, path);
        const QString name = QStringLiteral("bench-lines");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            db.open();
            QSqlQuery(db).exec(QStringLiteral("UPDATE answers SET kind = 1, key_fifths = (session_id / 1000) % 15 - 7,"
                                              " key_minor = (session_id / 1000 / 15) % 2, line_position = id % 16,"
                                              " bar = id % 16 / 4 WHERE session_id / 1000 % 2 = 0"));
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
};

YearOfLines& yearOfLines()
{
    static YearOfLines y;
    return y;
}

// The same year with every fourth exercise a run through one of five pieces of 200 bars.
struct YearOfPieces {
    QTemporaryDir dir;
    QString path;

    YearOfPieces()
    {
        path = dir.filePath(QStringLiteral("history.sqlite"));
        QFile::copy(year().path, path);
        const QString name = QStringLiteral("bench-pieces");
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
            db.setDatabaseName(path);
            db.open();
            QSqlQuery(db).exec(QStringLiteral("UPDATE answers SET kind = 2, piece_id = 'piece' || (session_id / 1000 % 5),"
                                              " bar = id % 200, line_position = id % 8"
                                              " WHERE session_id / 1000 % 4 = 1"));
            for (int i = 0; i < 5; ++i)
                QSqlQuery(db).exec(QStringLiteral("INSERT INTO pieces VALUES ('piece%1', 'Piece %1', 200, 0)").arg(i));
            db.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
};

YearOfPieces& yearOfPieces()
{
    static YearOfPieces y;
    return y;
}

bool waitShown(StatisticsDialog& dialog)
{
    if (!dialog.isLoading())
        return true;
    QEventLoop loop;
    QObject::connect(&dialog, &StatisticsDialog::dataShown, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    loop.exec();
    return !dialog.isLoading();
}

void openWindow(benchmark::State& state, Period period)
{
    HistoryStore store(year().path);
    store.flush(); // opened and checked once, as after the first exercise of a run
    for (auto _ : state) {
        StatisticsDialog dialog(store, 3);
        dialog.setPeriod(period);
        dialog.show();
        if (!waitShown(dialog)) {
            state.SkipWithError("the figures never came");
            break;
        }
        // The first picture with the figures in it.
        benchmark::DoNotOptimize(dialog.grab());
        state.PauseTiming();
        dialog.close();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["answers"] = year().totals.answers;
}

void BM_OpenStatisticsWindow_Month(benchmark::State& state)
{
    openWindow(state, Period::Month);
}
BENCHMARK(BM_OpenStatisticsWindow_Month)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_OpenStatisticsWindow_AllTime(benchmark::State& state)
{
    openWindow(state, Period::All);
}
BENCHMARK(BM_OpenStatisticsWindow_AllTime)->Unit(benchmark::kMillisecond)->Iterations(10);

void queries(benchmark::State& state, Period period)
{
    HistoryQueries q(year().path);
    StatisticsFilter f;
    f.fromMs = periodStartMs(period, QDateTime::currentDateTime());
    int answers = 0;
    for (auto _ : state) {
        const StatisticsData d = q.statistics(f);
        answers = d.total.answers;
        benchmark::DoNotOptimize(d.maps[3].keys[39].answers);
    }
    state.counters["answers"] = answers;
}

void BM_Statistics_Week(benchmark::State& state)
{
    queries(state, Period::Week);
}
BENCHMARK(BM_Statistics_Week)->Unit(benchmark::kMillisecond);

void BM_Statistics_Month(benchmark::State& state)
{
    queries(state, Period::Month);
}
BENCHMARK(BM_Statistics_Month)->Unit(benchmark::kMillisecond);

void BM_Statistics_Year(benchmark::State& state)
{
    queries(state, Period::Year);
}
BENCHMARK(BM_Statistics_Year)->Unit(benchmark::kMillisecond);

void BM_Statistics_OneExercise(benchmark::State& state)
{
    HistoryQueries q(year().path);
    StatisticsFilter f;
    f.sessionId = q.statistics({}).exercises.back().sessionId;
    for (auto _ : state)
        benchmark::DoNotOptimize(q.statistics(f).total.answers);
}
BENCHMARK(BM_Statistics_OneExercise)->Unit(benchmark::kMillisecond);

// A year with half of it in lines of music, every kind or one.
void linesOfYear(benchmark::State& state, std::optional<ExerciseKind> kind)
{
    HistoryQueries q(yearOfLines().path);
    StatisticsFilter f;
    f.fromMs = periodStartMs(Period::Year, QDateTime::currentDateTime());
    f.kind = kind;
    StatisticsData d;
    for (auto _ : state)
        d = q.statistics(f);
    state.counters["answers"] = d.total.answers;
    state.counters["keys"] = double(d.keys.size());
}

void BM_Statistics_Year_Lines(benchmark::State& state)
{
    linesOfYear(state, std::nullopt);
}
BENCHMARK(BM_Statistics_Year_Lines)->Unit(benchmark::kMillisecond);

void BM_Statistics_Year_Phrases(benchmark::State& state)
{
    linesOfYear(state, ExerciseKind::Phrase);
}
BENCHMARK(BM_Statistics_Year_Phrases)->Unit(benchmark::kMillisecond);

// The year's figures with the pieces' list, and one piece's bars over the year.
void BM_Statistics_Year_Pieces(benchmark::State& state)
{
    HistoryQueries q(yearOfPieces().path);
    StatisticsFilter f;
    f.fromMs = periodStartMs(Period::Year, QDateTime::currentDateTime());
    StatisticsData d;
    for (auto _ : state)
        d = q.statistics(f);
    state.counters["answers"] = d.total.answers;
    state.counters["pieces"] = double(d.pieces.size());
}
BENCHMARK(BM_Statistics_Year_Pieces)->Unit(benchmark::kMillisecond);

void BM_PieceBars_Year(benchmark::State& state)
{
    HistoryQueries q(yearOfPieces().path);
    StatisticsFilter f;
    f.fromMs = periodStartMs(Period::Year, QDateTime::currentDateTime());
    PieceBarsData d;
    for (auto _ : state)
        d = q.pieceBars(f, QStringLiteral("piece2"));
    int answers = 0;
    for (const BarFigures& b : d.bars)
        answers += b.answers;
    state.counters["answers"] = answers;
    state.counters["bars"] = double(d.bars.size());
}
BENCHMARK(BM_PieceBars_Year)->Unit(benchmark::kMillisecond);

void BM_ExportCsv_AllTime(benchmark::State& state)
{
    HistoryQueries q(year().path);
    for (auto _ : state) {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        QString error;
        q.exportCsv({}, out, &error);
        state.counters["bytes"] = double(out.size());
    }
}
BENCHMARK(BM_ExportCsv_AllTime)->Unit(benchmark::kMillisecond)->Iterations(3);

// The engine's side of an answer: the call returns once the record is queued.
// Each call is timed on its own for the percentiles, with the writer
// committing batches to the file meanwhile.
void BM_Answered(benchmark::State& state)
{
    QTemporaryDir dir;
    HistoryStore store(dir.filePath(QStringLiteral("history.sqlite")));
    ExerciseRecord ex;
    ex.sessionId = ex.startMs = QDateTime::currentMSecsSinceEpoch();
    store.exerciseStarted(ex);
    store.flush();
    const auto pause = std::chrono::microseconds(state.range(0));
    std::vector<double> us;
    AnswerRecord a;
    a.sessionId = ex.sessionId;
    a.clef = 3;
    int i = 0;
    for (auto _ : state) {
        a.timeMs = ex.startMs + i;
        a.shownNote = 40 + i % 40;
        a.playedNote = a.shownNote;
        a.right = i % 9 != 0;
        a.responseMs = 900 + i % 700;
        const auto t0 = std::chrono::steady_clock::now();
        store.answered(a);
        const auto t1 = std::chrono::steady_clock::now();
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        ++i;
        if (pause.count() > 0) {
            state.PauseTiming();
            const auto until = std::chrono::steady_clock::now() + pause;
            while (std::chrono::steady_clock::now() < until) {
            }
            state.ResumeTiming();
        }
    }
    std::sort(us.begin(), us.end());
    auto at = [&](double q) { return us.empty() ? 0.0 : us[std::min(us.size() - 1, std::size_t(q * us.size()))]; };
    state.counters["p50_us"] = at(0.50);
    state.counters["p99_us"] = at(0.99);
    state.counters["max_us"] = us.empty() ? 0.0 : us.back();
    store.close();
}
// Back to back (the writer busy all the time), and one answer every 2 ms.
BENCHMARK(BM_Answered)->Arg(0)->Iterations(200000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Answered)->Arg(2000)->Iterations(3000)->Unit(benchmark::kMicrosecond);

// An exercise start: the extra chances from the practice memory. The first
// call of a run opens the file and reads the last 90 days back.
void BM_PracticeChances_FirstOfRun(benchmark::State& state)
{
    for (auto _ : state) {
        HistoryStore store(year().path);
        benchmark::DoNotOptimize(store.practiceChances(3)[0][39]);
        state.PauseTiming();
        store.close();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PracticeChances_FirstOfRun)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PracticeChances_Later(benchmark::State& state)
{
    HistoryStore store(year().path);
    store.practiceChances(3);
    for (auto _ : state)
        benchmark::DoNotOptimize(store.practiceChances(3)[0][39]);
}
BENCHMARK(BM_PracticeChances_Later)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    year();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
