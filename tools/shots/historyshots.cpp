// SPDX-License-Identifier: GPL-3.0-or-later
// Fills a temporary history with four weeks of a generated learner and saves
// the statistics window's charts and note map.
#include "dialogs/statisticsdlg.h"
#include "history/historystore.h"
#include "simulatedhistory.h"
#include "smallscreen.h"
#include "app/language.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QEventLoop>
#include <QTimer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <cstdio>

namespace {

bool save(QWidget& window, const QDir& dir, const char* name)
{
    QApplication::processEvents();
    const QString path = dir.filePath(QString::fromLatin1(name));
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "tonvero_historyshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

bool waitForData(StatisticsDialog& dialog)
{
    if (!dialog.isLoading())
        return true;
    QEventLoop loop;
    QObject::connect(&dialog, &StatisticsDialog::dataShown, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    return !dialog.isLoading();
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tonvero_historyshots <outdir>\n");
        return 2;
    }
    QTemporaryDir screen;
    shots::useSmallScreen(screen);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tonvero"));
    // Numbers and dates as a Russian desktop writes them, whatever the machine's locale.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "tonvero_historyshots: cannot create %s\n", argv[1]);
        return 1;
    }

    QTemporaryDir data;
    tonvero::history::HistoryStore store(data.filePath(QStringLiteral("history.sqlite")));
    historysim::Options options;
    options.days = 28;
    options.seed = 7;
    // Evening of a fixed day: the pictures do not change with the day they are made.
    options.endMs = QDateTime(QDate(2025, 3, 30), QTime(21, 0)).toMSecsSinceEpoch();
    const historysim::Totals totals = historysim::simulate(store, options);
    store.flush();
    std::printf("%d exercises, %d answers\n", totals.exercises, totals.answers);

    StatisticsDialog dialog(store, 3);
    dialog.setPeriod(tonvero::history::Period::All);
    dialog.resize(1040, 860);
    dialog.show();
    bool ok = waitForData(dialog);
    dialog.setByDay(true);
    ok = save(dialog, dir, "statistics-charts.png") && ok;
    dialog.showNoteMap();
    ok = save(dialog, dir, "statistics-notemap.png") && ok;
    dialog.hide();

    // As the window opens by itself on the laptop's screen, in each language.
    for (const auto& [language, tag] : {std::pair{QLocale::Russian, "ru"}, std::pair{QLocale::English, "en"}}) {
        tonvero::Translations translations;
        translations.install(language);
        StatisticsDialog shown(store, 3);
        shown.setPeriod(tonvero::history::Period::All);
        shown.show();
        ok = waitForData(shown) && ok;
        shown.setByDay(true);
        ok = save(shown, dir, qPrintable(QStringLiteral("statistics-1366x768-%1-charts.png").arg(QLatin1String(tag))))
            && ok;
        shown.showNoteMap();
        ok = save(shown, dir, qPrintable(QStringLiteral("statistics-1366x768-%1-notemap.png").arg(QLatin1String(tag))))
            && ok;
    }
    // A piece with a few bars that go wrong, in its own history.
    {
        QTemporaryDir pieceData;
        tonvero::history::HistoryStore pieceStore(pieceData.filePath(QStringLiteral("history.sqlite")));
        historysim::PieceOptions piece;
        piece.title = QStringLiteral("Во поле берёза стояла");
        piece.bars = 48;
        piece.hard = {6, 13, 14, 29, 37, 38, 39};
        piece.seed = 11;
        piece.endMs = options.endMs;
        const historysim::Totals pieceTotals = historysim::simulatePiece(pieceStore, piece);
        pieceStore.flush();
        std::printf("piece: %d exercises, %d answers\n", pieceTotals.exercises, pieceTotals.answers);
        StatisticsDialog shown(pieceStore, 3);
        shown.setPeriod(tonvero::history::Period::All);
        shown.resize(1040, 620);
        shown.show();
        ok = waitForData(shown) && ok;
        shown.showPieces();
        ok = save(shown, dir, "statistics-piece-strip.png") && ok;
    }
    return ok ? 0 : 1;
}
