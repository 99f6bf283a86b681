// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/statisticsdlg.h"
#include "history/historyfixture.h"
#include "history/historystore.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QChart>
#include <QGroupBox>
#include <QLabel>
#include <QLineSeries>
#include <QSet>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <memory>

using namespace tonvero;
using namespace tonvero::history;
using namespace historytest;

namespace {

bool waitShown(StatisticsDialog& dialog)
{
    QSignalSpy shown(&dialog, &StatisticsDialog::dataShown);
    return !dialog.isLoading() || shown.wait(20000);
}

void comparePoints(const QList<QPointF>& actual, const QList<QPointF>& expected)
{
    QCOMPARE(actual.size(), expected.size());
    for (int i = 0; i < actual.size(); ++i) {
        QVERIFY2(qAbs(actual[i].x() - expected[i].x()) < 1e-6 && qAbs(actual[i].y() - expected[i].y()) < 1e-6,
                 qPrintable(QStringLiteral("point %1: (%2, %3), expected (%4, %5)")
                                .arg(i)
                                .arg(actual[i].x())
                                .arg(actual[i].y())
                                .arg(expected[i].x())
                                .arg(expected[i].y())));
    }
}

QStringList row(const QTableWidget* t, int r)
{
    QStringList out;
    for (int c = 0; c < t->columnCount(); ++c)
        out << (t->item(r, c) ? t->item(r, c)->text() : QString());
    return out;
}

// Presses a button of the next question box, as the user would.
void answerNextQuestion(QMessageBox::StandardButton answer)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            poll->stop();
            box->button(answer)->click();
        }
    });
    poll->start(10);
}

} // namespace

class TestStatisticsDialog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void chartsShowTheFigures_data();
    void chartsShowTheFigures();
    void periodChoice_data();
    void periodChoice();
    void noteMapAndLists();
    void oneExercise();
    void exportFile();
    void damagedStore();
    void keyboardAccess();
    void pointTip_data();
    void pointTip();
    void emptyHistory();
    void daySpan_data();
    void daySpan();
    void fixedColourScale_data();
    void fixedColourScale();
    void reviewList_data();
    void reviewList();
    void deleteFromHistory_data();
    void deleteFromHistory();
    void deleteFromNewerFile();
    void kindChoice_data();
    void kindChoice();
    void keysTable();
    void kindsOnOffer();
    void oneExerciseOfPhrases();
    void piecesTab();
    void onePieceExercise();

private:
    std::unique_ptr<FixedStore> m_fixed;
    std::unique_ptr<HistoryStore> m_store;
    std::unique_ptr<LineStore> m_lines;
    std::unique_ptr<HistoryStore> m_lineStore;
    std::unique_ptr<PieceStore> m_pieces;
    std::unique_ptr<HistoryStore> m_pieceStore;
    qint64 m_old = 0;
};

void TestStatisticsDialog::initTestCase()
{
    m_fixed = std::make_unique<FixedStore>();
    m_store = std::make_unique<HistoryStore>(m_fixed->path);
    // One more exercise, twenty days back: in the month, out of the week.
    m_old = noonDaysAgo(20);
    m_store->exerciseStarted(exercise(m_old));
    m_store->answered(answer(m_old, m_old + 2000, 39, true, 2000));
    m_store->answered(answer(m_old, m_old + 4000, 39, true, 2000));
    QVERIFY(m_store->flush());
    m_lines = std::make_unique<LineStore>();
    m_lineStore = std::make_unique<HistoryStore>(m_lines->path);
    m_pieces = std::make_unique<PieceStore>();
    m_pieceStore = std::make_unique<HistoryStore>(m_pieces->path);
}

void TestStatisticsDialog::chartsShowTheFigures_data()
{
    QTest::addColumn<bool>("byDay");
    QTest::newRow("by exercise") << false;
    QTest::newRow("by day") << true;
}

void TestStatisticsDialog::chartsShowTheFigures()
{
    QFETCH(bool, byDay);
    StatisticsDialog dialog(*m_store, 0);
    dialog.setByDay(byDay);
    QVERIFY(waitShown(dialog));
    QCOMPARE(dialog.tabs()->count(), 2);

    // The figures worked out for the fixed store, and the old exercise: 2 of 2 in 4 s.
    QList<QPointF> accuracy, rate, median;
    if (byDay) {
        const qint64 d0 = QDate::currentDate().addDays(-20).startOfDay().toMSecsSinceEpoch();
        const qint64 d1 = QDate::currentDate().addDays(-2).startOfDay().toMSecsSinceEpoch();
        const qint64 d2 = QDate::currentDate().addDays(-1).startOfDay().toMSecsSinceEpoch();
        accuracy = {{qreal(d0), 100}, {qreal(d1), 700.0 / 9}, {qreal(d2), 100.0 / 3}};
        rate = {{qreal(d0), 30}, {qreal(d1), 7 * 60000.0 / 71200}, {qreal(d2), 20}};
        median = {{qreal(d0), 2.0}, {qreal(d1), 1.0}, {qreal(d2), 0.5}};
    } else {
        accuracy = {{1, 100}, {2, 80}, {3, 75}, {4, 100.0 / 3}};
        rate = {{1, 30}, {2, 4 * 60000.0 / 6600}, {3, 3 * 60000.0 / 64600}, {4, 20}};
        median = {{1, 2.0}, {2, 1.1}, {3, 0.9}, {4, 0.5}};
    }
    comparePoints(dialog.accuracySeries()->points(), accuracy);
    comparePoints(dialog.rateSeries()->points(), rate);
    comparePoints(dialog.medianSeries()->points(), median);
    // A point at 100 % is drawn whole: its marker fits inside the plot.
    dialog.resize(900, 700);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QChart* chart = dialog.accuracyChart();
    const QPointF top = chart->mapToPosition(accuracy.front(), dialog.accuracySeries());
    QVERIFY2(top.y() - chart->plotArea().top() >= dialog.accuracySeries()->markerSize() / 2,
             qPrintable(QStringLiteral("marker centre %1 px below the plot's top").arg(top.y() - chart->plotArea().top())));
    // Switching the grouping needs no new reading.
    dialog.setByDay(!byDay);
    QVERIFY(!dialog.isLoading());
    QCOMPARE(dialog.accuracySeries()->count(), byDay ? 4 : 3);
}

void TestStatisticsDialog::periodChoice_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<int>("exercises");
    QTest::addColumn<int>("answers");
    QTest::newRow("week") << int(Period::Week) << 3 << 12;
    QTest::newRow("month") << int(Period::Month) << 4 << 14;
    QTest::newRow("all") << int(Period::All) << 4 << 14;
}

void TestStatisticsDialog::periodChoice()
{
    QFETCH(int, period);
    QFETCH(int, exercises);
    QFETCH(int, answers);
    StatisticsDialog dialog(*m_store, 3);
    QVERIFY(waitShown(dialog));
    QSignalSpy shown(&dialog, &StatisticsDialog::dataShown);
    dialog.setPeriod(Period(period));
    if (dialog.isLoading())
        QVERIFY(shown.wait(20000));
    QCOMPARE(dialog.data().exercises.size(), exercises);
    QCOMPARE(dialog.data().total.answers, answers);
    QVERIFY(dialog.summaryText().contains(QStringLiteral("Ответов: %1").arg(QLocale().toString(answers))));
}

void TestStatisticsDialog::noteMapAndLists()
{
    StatisticsDialog dialog(*m_store, 0);
    dialog.setPeriod(Period::Week);
    QVERIFY(waitShown(dialog));
    if (dialog.isLoading())
        QVERIFY(waitShown(dialog));
    dialog.showNoteMap();

    // Treble: C4 missed 2 of 6, C♯4 1 of 1 (100 %): the scale runs to 100 %.
    NoteMapView* map = dialog.noteMap();
    QCOMPARE(map->scaleHigh(), 100.0);
    QCOMPARE(map->keyColour(39), NoteMapView::viridis(2.0 / 6));
    QCOMPARE(map->keyColour(40), NoteMapView::viridis(0.5)); // C♯4 missed, D♭4 read
    QCOMPARE(map->keyColour(42), NoteMapView::viridis(1.0));
    QCOMPARE(map->keyColour(44), NoteMapView::noDataWhite());
    QCOMPARE(map->keyColour(45), NoteMapView::noDataBlack());
    const QString tip = map->toolTipAt(map->keyRect(39).center().toPoint());
    QVERIFY2(tip.contains(QStringLiteral("До4")) && tip.contains(QStringLiteral("Ответов: 6, ошибок: 2")), qPrintable(tip));

    QTableWidget* missed = dialog.mostMissedTable();
    QCOMPARE(missed->rowCount(), 3);
    QCOMPARE(row(missed, 0), (QStringList{"До4", "скрипичный", "2", "6", "33 %"}));
    QCOMPARE(row(missed, 1).first(), QStringLiteral("До♯4"));
    QCOMPARE(dialog.slowestTable()->rowCount(), 1);
    QCOMPARE(row(dialog.slowestTable(), 0),
             (QStringList{"До4", "скрипичный", QLocale().toString(0.9, 'f', 2), "4"}));

    // Median response times: C4 0.9 s, D♭4 1.6 s, D4 1.2 s: the scale runs from 0.9 to 1.6 s.
    dialog.setMetric(NoteMapView::Metric::ResponseTime);
    QCOMPARE(map->scaleLow(), 900.0);
    QCOMPARE(map->scaleHigh(), 1600.0);
    QCOMPARE(map->keyColour(39), NoteMapView::viridis(0.0));
    QCOMPARE(map->keyColour(41), NoteMapView::viridis(300.0 / 700));
    QCOMPARE(map->keyColour(42), NoteMapView::noDataBlack()); // never read right

    // The bass clef: the exam's lower staff.
    dialog.setClef(1);
    QCOMPARE(map->keyColour(27), NoteMapView::viridis(0.0));
    QCOMPARE(map->keyColour(39), NoteMapView::noDataWhite());
    QCOMPARE(dialog.mostMissedTable()->rowCount(), 0);
}

void TestStatisticsDialog::oneExercise()
{
    StatisticsDialog dialog(*m_store, 3, m_fixed->ex2);
    QVERIFY(waitShown(dialog));
    QCOMPARE(dialog.tabs()->count(), 1); // the note map alone
    QCOMPARE(dialog.data().total.answers, 4);
    QCOMPARE(dialog.data().exercises.size(), 1);
    QVERIFY(dialog.summaryText().contains(QStringLiteral("экзамен")));
    QVERIFY(dialog.summaryText().contains(QStringLiteral("2 мин до конца")));
    QCOMPARE(dialog.noteMap()->keyColour(27), NoteMapView::viridis(0.0));
    QCOMPARE(dialog.noteMap()->keyColour(41), NoteMapView::noDataWhite());
}

void TestStatisticsDialog::exportFile()
{
    QTemporaryDir dir;
    StatisticsDialog dialog(*m_store, 3);
    dialog.setPeriod(Period::All);
    QVERIFY(waitShown(dialog));
    QSignalSpy finished(&dialog, &StatisticsDialog::exportFinished);
    const QString file = dir.filePath(QStringLiteral("answers.csv"));
    dialog.exportTo(file);
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.at(0).at(0).toBool(), true);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll().count("\r\n"), 1 + 14 + 4);

    // A folder that does not exist: a message, no file, no crash.
    dialog.exportTo(dir.filePath(QStringLiteral("missing/answers.csv")));
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.at(1).at(0).toBool(), false);
    QVERIFY(dialog.statusText().contains(QStringLiteral("Не удалось сохранить")));
}

void TestStatisticsDialog::damagedStore()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("garbage ").repeated(100));
    }
    HistoryStore store(path);
    QSignalSpy notices(&store, &HistoryStore::notice);
    StatisticsDialog dialog(store, 3);
    QVERIFY(waitShown(dialog));
    QVERIFY2(dialog.data().error.isEmpty(), qPrintable(dialog.data().error));
    QCOMPARE(dialog.summaryText(), QStringLiteral("За выбранный период ответов нет."));
    QTRY_COMPARE(notices.count(), 1);
    QVERIFY(QFile::exists(path + QStringLiteral(".bad")));
}

void TestStatisticsDialog::keyboardAccess()
{
    StatisticsDialog dialog(*m_store, 3);
    QVERIFY(waitShown(dialog));
    // Every mnemonic is used once, and every label that has one leads to its field.
    QMap<QChar, QString> used;
    auto note = [&](const QString& text) {
        const qsizetype amp = text.indexOf(u'&');
        if (amp < 0 || amp + 1 >= text.size())
            return;
        const QChar key = text.at(amp + 1).toLower();
        QVERIFY2(!used.contains(key), qPrintable(QStringLiteral("'%1' in %2 and %3").arg(key, used.value(key), text)));
        used.insert(key, text);
    };
    for (QAbstractButton* b : dialog.findChildren<QAbstractButton*>())
        note(b->text());
    for (QLabel* l : dialog.findChildren<QLabel*>()) {
        note(l->text());
        if (l->text().contains(u'&'))
            QVERIFY2(l->buddy(), qPrintable(l->text()));
    }
    for (int i = 0; i < dialog.tabs()->count(); ++i)
        note(dialog.tabs()->tabText(i));
    QVERIFY(used.size() >= 9);
    QVERIFY(!dialog.noteMap()->accessibleName().isEmpty());
    QVERIFY(!dialog.mostMissedTable()->accessibleName().isEmpty());
    QVERIFY(!dialog.slowestTable()->accessibleName().isEmpty());
}

void TestStatisticsDialog::pointTip_data()
{
    QTest::addColumn<bool>("byDay");
    QTest::addColumn<QString>("names");
    QTest::newRow("exercise") << false << QStringLiteral("Упражнение 1, ");
    QTest::newRow("day") << true << QLocale().toString(QDate::currentDate().addDays(-20), QLocale::ShortFormat);
}

void TestStatisticsDialog::pointTip()
{
    QFETCH(bool, byDay);
    QFETCH(QString, names);
    StatisticsDialog dialog(*m_store, 3);
    dialog.setByDay(byDay);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(waitShown(dialog));
    // The first point: the old exercise, two right answers of two.
    const QPointF first = dialog.accuracySeries()->at(0);
    emit dialog.accuracySeries()->hovered(first, true);
    QTRY_VERIFY(QToolTip::isVisible());
    const QString tip = QToolTip::text();
    QVERIFY2(tip.startsWith(names), qPrintable(tip));
    QVERIFY2(tip.contains(QStringLiteral("Точность: %1 % (2 из 2)").arg(QLocale().toString(100.0, 'f', 1))),
             qPrintable(tip));
    QVERIFY2(tip.contains(QStringLiteral("Медиана верного ответа: %1 с").arg(QLocale().toString(2.0, 'f', 2))),
             qPrintable(tip));
    emit dialog.accuracySeries()->hovered(first, false);
    QTRY_VERIFY(!QToolTip::isVisible());
}

void TestStatisticsDialog::emptyHistory()
{
    QTemporaryDir dir;
    HistoryStore store(dir.filePath(QStringLiteral("history.sqlite")));
    StatisticsDialog dialog(store, 3);
    QVERIFY(waitShown(dialog));
    // Words in the charts' place, not empty axes.
    QVERIFY(dialog.noChartsNote());
    QVERIFY(!dialog.noChartsNote()->text().isEmpty());
    // Exporting nothing says so and writes no file.
    QSignalSpy finished(&dialog, &StatisticsDialog::exportFinished);
    const QString file = dir.filePath(QStringLiteral("out.csv"));
    dialog.exportTo(file);
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(finished.at(0).at(0).toBool(), false);
    QVERIFY(finished.at(0).at(1).toString().contains(QStringLiteral("Нечего экспортировать")));
    QVERIFY(!QFile::exists(file));

    // With answers the charts come back.
    StatisticsDialog full(*m_store, 3);
    QVERIFY(waitShown(full));
    QVERIFY(!full.noChartsNote());
}

void TestStatisticsDialog::daySpan_data()
{
    QTest::addColumn<QList<int>>("daysAgo");
    QTest::newRow("one day") << QList<int>{0};
    QTest::newRow("two days apart") << QList<int>{3, 0};
    QTest::newRow("a fortnight") << QList<int>{14, 7, 0};
}

void TestStatisticsDialog::daySpan()
{
    QFETCH(QList<int>, daysAgo);
    QTemporaryDir dir;
    HistoryStore store(dir.filePath(QStringLiteral("history.sqlite")));
    for (int ago : daysAgo) {
        const qint64 start = noonDaysAgo(ago);
        store.exerciseStarted(exercise(start));
        store.answered(answer(start, start + 1000, 39, true, 1000));
    }
    QVERIFY(store.flush());
    StatisticsDialog dialog(store, 3);
    dialog.setByDay(true);
    QVERIFY(waitShown(dialog));
    const auto [from, to] = dialog.dayAxisRange();
    const qint64 day = 24 * 3600 * 1000;
    // At least a week shows, and every point lies inside with room at both ends.
    QVERIFY2(from.msecsTo(to) >= 7 * day, qPrintable(from.toString() + QStringLiteral(" .. ") + to.toString()));
    for (const QPointF& p : dialog.accuracySeries()->points()) {
        QVERIFY(p.x() > from.toMSecsSinceEpoch() + day / 4);
        QVERIFY(p.x() < to.toMSecsSinceEpoch() - day / 4);
    }
    QCOMPARE(dialog.accuracySeries()->count(), daysAgo.size());
}

void TestStatisticsDialog::fixedColourScale_data()
{
    QTest::addColumn<int>("metric");
    QTest::addColumn<double>("fixedHigh");
    QTest::newRow("errors") << int(NoteMapView::Metric::Errors) << 50.0;
    QTest::newRow("response time") << int(NoteMapView::Metric::ResponseTime) << 5000.0;
}

void TestStatisticsDialog::fixedColourScale()
{
    QFETCH(int, metric);
    QFETCH(double, fixedHigh);
    StatisticsDialog dialog(*m_store, 3);
    QVERIFY(waitShown(dialog));
    dialog.setMetric(NoteMapView::Metric(metric));
    NoteMapView* map = dialog.noteMap();
    const double ownHigh = map->scaleHigh();
    dialog.fixedScaleBox()->setChecked(true);
    QCOMPARE(map->scaleLow(), 0.0);
    QCOMPARE(map->scaleHigh(), fixedHigh);
    // Back to the scale of the hardest note.
    dialog.fixedScaleBox()->setChecked(false);
    QCOMPARE(map->scaleHigh(), ownHigh);
}

void TestStatisticsDialog::reviewList_data()
{
    QTest::addColumn<int>("clef");
    QTest::addColumn<QStringList>("firstRow");
    QTest::addColumn<int>("rows");
    // Key 39 missed every time, key 41 right and quick: only the missed note, in box 0.
    QTest::newRow("treble") << 0 << QStringList{displayName(39, Spelling::Natural), readingClefName(0), QStringLiteral("0")}
                            << 1;
    QTest::newRow("bass: nothing missed there") << 1 << QStringList{} << 0;
}

void TestStatisticsDialog::reviewList()
{
    QFETCH(int, clef);
    QFETCH(QStringList, firstRow);
    QFETCH(int, rows);
    QTemporaryDir dir;
    HistoryStore store(dir.filePath(QStringLiteral("history.sqlite")));
    const qint64 id = noonDaysAgo(1);
    store.exerciseStarted(exercise(id));
    for (int i = 0; i < 3; ++i) {
        store.answered(answer(id, id + 2000 * i + 1000, 39, false, 1500));
        store.answered(answer(id, id + 2000 * i + 2000, 41, true, 700));
    }
    QVERIFY(store.flush());
    StatisticsDialog dialog(store, clef);
    QVERIFY(waitShown(dialog));
    QCOMPARE(dialog.reviewTable()->rowCount(), rows);
    if (rows > 0)
        QCOMPARE(row(dialog.reviewTable(), 0), firstRow);
}

void TestStatisticsDialog::deleteFromHistory_data()
{
    QTest::addColumn<bool>("all");
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<int>("exercisesLeft");
    QTest::newRow("one exercise") << false << true << 1;
    QTest::newRow("one exercise, not confirmed") << false << false << 2;
    QTest::newRow("all") << true << true << 0;
    QTest::newRow("all, not confirmed") << true << false << 2;
}

void TestStatisticsDialog::deleteFromHistory()
{
    QFETCH(bool, all);
    QFETCH(bool, confirmed);
    QFETCH(int, exercisesLeft);
    QTemporaryDir dir;
    HistoryStore store(dir.filePath(QStringLiteral("history.sqlite")));
    const qint64 spoiled = noonDaysAgo(1), kept = noonDaysAgo(1, 30);
    for (const qint64 id : {spoiled, kept}) {
        store.exerciseStarted(exercise(id));
        for (int i = 0; i < 4; ++i)
            store.answered(answer(id, id + 1000 * (i + 1), 39, id == kept, 1000));
    }
    QVERIFY(store.flush());
    auto practice = [&store] {
        long sum = 0;
        for (const auto& staff : store.practiceChances(0))
            for (int chance : staff)
                sum += chance;
        return sum;
    };
    const long practiceBefore = practice();
    QVERIFY(practiceBefore > 0); // the missed note of the spoiled exercise

    StatisticsDialog dialog(store, 3);
    QVERIFY(waitShown(dialog));
    QCOMPARE(dialog.data().exercises.size(), 2);
    QSignalSpy changed(&dialog, &StatisticsDialog::historyChanged);
    QSignalSpy shown(&dialog, &StatisticsDialog::dataShown);
    answerNextQuestion(confirmed ? QMessageBox::Yes : QMessageBox::No);
    if (all)
        dialog.deleteAll();
    else
        dialog.deleteExercise(spoiled);
    if (confirmed) {
        QTRY_COMPARE(changed.count(), 1);
        QVERIFY2(changed.at(0).at(0).toBool(), qPrintable(changed.at(0).at(1).toString()));
        QTRY_VERIFY(shown.count() >= 1 && !dialog.isLoading());
    } else {
        QTest::qWait(50);
        QCOMPARE(changed.count(), 0);
    }
    QCOMPARE(int(dialog.data().exercises.size()), exercisesLeft);
    if (exercisesLeft == 1)
        QCOMPARE(dialog.data().exercises.front().sessionId, kept);
    // The practice memory forgets with the file.
    if (confirmed)
        QCOMPARE(practice(), 0L);
    else
        QCOMPARE(practice(), practiceBefore);

    // The file agrees, also for a reader that comes later, and new answers are still kept.
    HistoryQueries later(store.path());
    QCOMPARE(int(later.statistics(StatisticsFilter{}).exercises.size()), exercisesLeft);
    const qint64 next = noonDaysAgo(0);
    store.exerciseStarted(exercise(next));
    store.answered(answer(next, next + 1000, 40, true, 900));
    QVERIFY(store.flush());
    QCOMPARE(int(later.statistics(StatisticsFilter{}).exercises.size()), exercisesLeft + 1);
}

void TestStatisticsDialog::deleteFromNewerFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    {
        HistoryStore writer(path);
        const qint64 id = noonDaysAgo(1);
        writer.exerciseStarted(exercise(id));
        writer.answered(answer(id, id + 1000, 39, true, 1000));
        QVERIFY(writer.flush());
    }
    {
        Peek peek(path);
        QSqlQuery newer(peek.db());
        QVERIFY(newer.exec(QStringLiteral("PRAGMA user_version = 99")));
    }
    HistoryStore store(path);
    StatisticsDialog dialog(store, 3);
    QVERIFY(waitShown(dialog));
    QSignalSpy changed(&dialog, &StatisticsDialog::historyChanged);
    answerNextQuestion(QMessageBox::Yes);
    dialog.deleteAll();
    QTRY_COMPARE(changed.count(), 1);
    // Said in words, and the newer program's file is left as it was.
    QCOMPARE(changed.at(0).at(0).toBool(), false);
    QVERIFY(changed.at(0).at(1).toString().contains(QStringLiteral("более новой версией")));
    Peek peek(path);
    QCOMPARE(peek.scalar(QStringLiteral("SELECT COUNT(*) FROM answers")).toInt(), 1);
    QCOMPARE(peek.scalar(QStringLiteral("SELECT COUNT(*) FROM exercises")).toInt(), 1);
}

void TestStatisticsDialog::kindChoice_data()
{
    QTest::addColumn<int>("kind"); // −1 every kind
    QTest::addColumn<int>("answers");
    QTest::addColumn<int>("exercises");
    QTest::addColumn<bool>("g4Shown"); // G4 (key 46) on the treble note map
    QTest::addColumn<int>("keyRows");
    QTest::addColumn<int>("exported"); // rows of the export without its header
    QTest::newRow("every kind") << -1 << 17 << 3 << true << 6 << 18;
    QTest::newRow("single notes") << int(ExerciseKind::SingleNote) << 3 << 1 << false << 0 << 3;
    QTest::newRow("phrases") << int(ExerciseKind::Phrase) << 11 << 1 << true << 4 << 11;
    QTest::newRow("pieces") << int(ExerciseKind::Piece) << 3 << 1 << false << 2 << 3;
}

void TestStatisticsDialog::kindChoice()
{
    QFETCH(int, kind);
    QFETCH(int, answers);
    QFETCH(int, exercises);
    QFETCH(bool, g4Shown);
    QFETCH(int, keyRows);
    QFETCH(int, exported);
    StatisticsDialog dialog(*m_lineStore, 0);
    dialog.setPeriod(Period::All);
    dialog.setByDay(false);
    QVERIFY(waitShown(dialog));
    // Every kind by default.
    QCOMPARE(dialog.kindBox()->currentIndex(), 0);
    QCOMPARE(dialog.data().total.answers, 17);
    if (kind >= 0) {
        QSignalSpy shown(&dialog, &StatisticsDialog::dataShown);
        // As the user picks it.
        dialog.kindBox()->setCurrentIndex(dialog.kindBox()->findData(kind));
        QVERIFY(shown.wait(20000));
    }
    // The summary, every chart, the note map and the keys follow the choice.
    QCOMPARE(dialog.data().total.answers, answers);
    QVERIFY(dialog.summaryText().contains(QStringLiteral("Ответов: %1").arg(QLocale().toString(answers))));
    QCOMPARE(dialog.accuracySeries()->count(), exercises);
    QCOMPARE(dialog.medianSeries()->count(), exercises);
    QCOMPARE(dialog.noteMap()->keyColour(46) != NoteMapView::noDataWhite(), g4Shown);
    QCOMPARE(dialog.keysTable()->rowCount(), keyRows);
    QCOMPARE(dialog.noKeysNote() != nullptr, keyRows == 0);
    QVERIFY(dialog.tabs()->count() == 3);

    QTemporaryDir dir;
    QSignalSpy finished(&dialog, &StatisticsDialog::exportFinished);
    const QString file = dir.filePath(QStringLiteral("answers.csv"));
    dialog.exportTo(file);
    QVERIFY(finished.wait(20000));
    QVERIFY(finished.at(0).at(0).toBool());
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll().count("\r\n"), 1 + exported);
}

void TestStatisticsDialog::keysTable()
{
    StatisticsDialog dialog(*m_lineStore, 0);
    dialog.setPeriod(Period::All);
    QVERIFY(waitShown(dialog));
    dialog.showKeys();
    QCOMPARE(dialog.tabs()->currentIndex(), 2);
    const QTableWidget* keys = dialog.keysTable();
    QCOMPARE(keys->rowCount(), 6);
    const QLocale l;
    // From seven flats to seven sharps; a relative minor after its major.
    QCOMPARE(row(keys, 0), (QStringList{QStringLiteral("До-бемоль мажор (7♭)"), "1", "1 (100 %)", l.toString(1.0, 'f', 2)}));
    QCOMPARE(row(keys, 1), (QStringList{QStringLiteral("Ми-бемоль минор (6♭)"), "1", "0 (0 %)", QStringLiteral("—")}));
    QCOMPARE(row(keys, 2), (QStringList{QStringLiteral("Си-бемоль мажор (2♭)"), "3", "1 (33 %)", l.toString(3.0, 'f', 2)}));
    QCOMPARE(row(keys, 3), (QStringList{QStringLiteral("Соль мажор (1♯)"), "4", "3 (75 %)", l.toString(20.7, 'f', 1)}));
    QCOMPARE(row(keys, 4), (QStringList{QStringLiteral("Ми минор (1♯)"), "2", "2 (100 %)", l.toString(2.0, 'f', 2)}));
    QCOMPARE(row(keys, 5), (QStringList{QStringLiteral("До-диез мажор (7♯)"), "2", "2 (100 %)", l.toString(0.6, 'f', 2)}));
    QVERIFY(!keys->accessibleName().isEmpty());
}

void TestStatisticsDialog::kindsOnOffer()
{
    auto items = [](const QComboBox* box) {
        QStringList out;
        for (int i = 0; i < box->count(); ++i)
            out << box->itemText(i);
        return out;
    };
    {
        StatisticsDialog lines(*m_lineStore, 0);
        QVERIFY(waitShown(lines));
        QCOMPARE(items(lines.kindBox()), (QStringList{"Все упражнения", "Отдельные ноты", "Фразы", "Пьесы"}));
    }
    // Only what the history has; no keys without lines of music.
    StatisticsDialog notes(*m_store, 0);
    QVERIFY(waitShown(notes));
    QCOMPARE(items(notes.kindBox()), (QStringList{"Все упражнения", "Отдельные ноты"}));
    QCOMPARE(notes.tabs()->count(), 2);
    // A kind chosen before it has answers stays chosen, and shows nothing.
    QSignalSpy shown(&notes, &StatisticsDialog::dataShown);
    notes.setKind(ExerciseKind::Phrase);
    QVERIFY(shown.wait(20000));
    QCOMPARE(items(notes.kindBox()), (QStringList{"Все упражнения", "Отдельные ноты", "Фразы"}));
    QCOMPARE(notes.kindBox()->currentText(), QStringLiteral("Фразы"));
    QCOMPARE(notes.data().total.answers, 0);
    QCOMPARE(notes.summaryText(), QStringLiteral("За выбранный период ответов нет."));
    notes.setKind(std::nullopt);
    QVERIFY(shown.wait(20000));
    QCOMPARE(notes.data().total.answers, 14);
    QCOMPARE(items(notes.kindBox()), (QStringList{"Все упражнения", "Отдельные ноты"}));
}

void TestStatisticsDialog::oneExerciseOfPhrases()
{
    StatisticsDialog dialog(*m_lineStore, 0, m_lines->phrases);
    QVERIFY(waitShown(dialog));
    QVERIFY(dialog.kindBox()->isHidden());
    QCOMPARE(dialog.data().total.answers, 11);
    QVERIFY2(dialog.summaryText().contains(QStringLiteral("фразы")), qPrintable(dialog.summaryText()));
    // The note map, and the keys of its lines.
    QCOMPARE(dialog.tabs()->count(), 2);
    QCOMPARE(dialog.keysTable()->rowCount(), 4);
}

void TestStatisticsDialog::piecesTab()
{
    StatisticsDialog dialog(*m_pieceStore, 0);
    dialog.setPeriod(Period::All);
    QVERIFY(waitShown(dialog));
    // After the keys, with a mnemonic of its own and its label's.
    QCOMPARE(dialog.tabs()->count(), 4);
    QCOMPARE(dialog.tabs()->tabText(3), QStringLiteral("Пье&сы"));
    QSet<QChar> used;
    auto mnemonic = [](const QString& text) {
        const qsizetype amp = text.indexOf(u'&');
        return amp >= 0 && amp + 1 < text.size() ? text.at(amp + 1).toLower() : QChar();
    };
    QStringList texts;
    for (QAbstractButton* b : dialog.findChildren<QAbstractButton*>())
        texts << b->text();
    for (QLabel* l : dialog.findChildren<QLabel*>())
        texts << l->text();
    for (int i = 0; i < dialog.tabs()->count(); ++i)
        texts << dialog.tabs()->tabText(i);
    for (const QString& t : texts) {
        const QChar key = mnemonic(t);
        if (key.isNull())
            continue;
        QVERIFY2(!used.contains(key), qPrintable(t));
        used.insert(key);
    }
    dialog.showPieces();
    QCOMPARE(dialog.tabs()->currentIndex(), 3);

    // The latest practised first, named by title, with answers and the day; the untitled by its id.
    const QComboBox* pieces = dialog.piecesBox();
    QCOMPARE(pieces->count(), 2);
    QCOMPARE(pieces->itemData(0).toString(), m_pieces->titledId);
    // A long title cut short; whole in the tooltip, with the answers.
    QCOMPARE(pieces->itemText(0), m_pieces->title.left(39) + QStringLiteral("…"));
    QVERIFY2(pieces->itemData(0, Qt::ToolTipRole).toString().startsWith(m_pieces->title + QStringLiteral(" · ответов: 8 · ")),
             qPrintable(pieces->itemData(0, Qt::ToolTipRole).toString()));
    QVERIFY2(pieces->itemText(1).contains(m_pieces->untitledId.left(8)), qPrintable(pieces->itemText(1)));
    QCOMPARE(pieces->currentIndex(), 0);

    const PieceStripView* strip = dialog.pieceStrip();
    QCOMPARE(strip->barCount(), 6);
    QCOMPARE(strip->cellColour(0), NoteMapView::viridis(2.0 / 3));
    QCOMPARE(strip->cellColour(2), PieceStripView::emptyColour());
    QCOMPARE(strip->cellColour(3), NoteMapView::viridis(0));
    QVERIFY(strip->isMarked(3));
    QCOMPARE(strip->toolTipAt(strip->cellRect(2).center().toPoint()), QStringLiteral("Такт 3\nОтветов нет"));
    QVERIFY(!strip->accessibleName().isEmpty());
    QVERIFY(!dialog.noPiecesNote());

    // The other piece: its bars as far as answered.
    QSignalSpy pieceShown(&dialog, &StatisticsDialog::pieceShown);
    dialog.setPiece(m_pieces->untitledId);
    QVERIFY(pieceShown.wait(20000));
    QCOMPARE(strip->barCount(), 10);
    QCOMPARE(dialog.pieceBars().id, m_pieces->untitledId);

    // The keyboard walks the bars, and the line under the strip says where it is.
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.pieceStrip()->setFocus();
    QTest::keyClick(dialog.pieceStrip(), Qt::Key_End);
    QCOMPARE(dialog.barNote(), QStringLiteral("Такт 10 · Ответов: 1, верно: 0 (0 %) · Верных ответов нет"));

    // The same piece stays chosen when the period changes; a period without pieces says so.
    QSignalSpy shown(&dialog, &StatisticsDialog::dataShown);
    dialog.setPeriod(Period::Week);
    QVERIFY(shown.wait(20000));
    QCOMPARE(dialog.piecesBox()->currentData().toString(), m_pieces->untitledId);
    dialog.setKind(ExerciseKind::SingleNote);
    QVERIFY(shown.wait(20000));
    QVERIFY(dialog.noPiecesNote());
    QCOMPARE(dialog.piecesBox()->count(), 0);
    QCOMPARE(dialog.tabs()->count(), 4); // the history has pieces: the tab stays
}

void TestStatisticsDialog::onePieceExercise()
{
    StatisticsDialog dialog(*m_pieceStore, 0, m_pieces->first);
    QVERIFY(waitShown(dialog));
    QCOMPARE(dialog.piecesBox()->count(), 1);
    QCOMPARE(dialog.pieceStrip()->barCount(), 6);
    QCOMPARE(dialog.pieceBars().bars[0], (BarFigures{2, 2, 600}));
    // An exercise of phrases has no pieces' tab.
    StatisticsDialog phrase(*m_pieceStore, 0, m_pieces->phrase);
    QVERIFY(waitShown(phrase));
    QCOMPARE(phrase.tabs()->indexOf(phrase.pieceStrip()->parentWidget()), -1);
    QCOMPARE(phrase.tabs()->count(), 2);
}

QTEST_MAIN(TestStatisticsDialog)
#include "tst_statisticsdlg.moc"
