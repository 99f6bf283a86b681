// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/historyqueries.h"
#include "history/historystore.h"
#include "history/historyfixture.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>

using namespace tonvero;
using namespace tonvero::history;
using namespace historytest;

namespace {

constexpr double Tolerance = 1e-9;

void compareFigures(const NoteFigures& actual, int answers, int errors, int medianMs)
{
    QCOMPARE(actual.answers, answers);
    QCOMPARE(actual.errors, errors);
    QCOMPARE(actual.medianMs, medianMs);
}

void comparePoint(const SeriesPoint& p, qint64 start, int answers, int right, double rightPerMinute, int medianMs)
{
    QCOMPARE(p.startMs, start);
    QCOMPARE(p.answers, answers);
    QCOMPARE(p.right, right);
    QVERIFY(qAbs(p.accuracyPercent - 100.0 * right / answers) < Tolerance);
    QVERIFY2(qAbs(p.rightPerMinute - rightPerMinute) < 1e-6,
             qPrintable(QStringLiteral("%1 right per minute, expected %2").arg(p.rightPerMinute).arg(rightPerMinute)));
    QCOMPARE(p.medianMs, medianMs);
}

QString noteKey(const SpelledNote& n)
{
    return QStringLiteral("%1:%2").arg(n.readingClef).arg(letterName(n.keyIndex, n.spelling));
}

QStringList noteKeys(const QVector<SpelledNote>& notes)
{
    QStringList out;
    for (const SpelledNote& n : notes)
        out << noteKey(n);
    return out;
}

} // namespace

Q_DECLARE_METATYPE(QVector<tonvero::history::KeyFigures>)

class TestHistoryQueries : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void seriesByExerciseAndDay();
    void noteMaps();
    void filters_data();
    void filters();
    void topTenLists();
    void missingFileIsEmpty();
    void periodStart_data();
    void periodStart();
    void median_data();
    void median();
    void csvField_data();
    void csvField();
    void exportCsv();
    void exportTimesCarryTheirOffset_data();
    void exportTimesCarryTheirOffset();
    void keyFigures_data();
    void keyFigures();
    void kindFilter_data();
    void kindFilter();
    void exportLineColumns();
    void piecesPractised();
    void pieceBars_data();
    void pieceBars();
    void exportPieceColumn();

private:
    std::unique_ptr<FixedStore> m_store;
    std::unique_ptr<LineStore> m_lines;
    std::unique_ptr<PieceStore> m_pieces;
};

void TestHistoryQueries::initTestCase()
{
    m_store = std::make_unique<FixedStore>();
    m_lines = std::make_unique<LineStore>();
    m_pieces = std::make_unique<PieceStore>();
}

void TestHistoryQueries::seriesByExerciseAndDay()
{
    HistoryQueries q(m_store->path);
    const StatisticsData d = q.statistics({});
    QVERIFY2(d.error.isEmpty(), qPrintable(d.error));

    QCOMPARE(d.exercises.size(), 3);
    // 4 right in 6.6 s of answering; the median of 800, 1000, 1200, 1600.
    comparePoint(d.exercises[0], m_store->ex1, 5, 4, 4 * 60000.0 / 6600, 1100);
    QCOMPARE(d.exercises[0].mode, ExerciseMode::Training);
    QVERIFY(d.exercises[0].ended);
    // The 70 s answer counts as one minute of answering.
    comparePoint(d.exercises[1], m_store->ex2, 4, 3, 3 * 60000.0 / (3000 + 900 + 700 + 60000), 900);
    QCOMPARE(d.exercises[1].mode, ExerciseMode::Exam);
    QCOMPARE(d.exercises[1].examMinutes, 2);
    QVERIFY(d.exercises[1].examCompleted);
    comparePoint(d.exercises[2], m_store->ex3, 3, 1, 20.0, 500);
    QVERIFY(!d.exercises[2].ended);
    QCOMPARE(d.exercises[2].sessionId, m_store->ex3);

    QCOMPARE(d.days.size(), 2);
    const qint64 day1 = QDate::currentDate().addDays(-2).startOfDay().toMSecsSinceEpoch();
    const qint64 day2 = QDate::currentDate().addDays(-1).startOfDay().toMSecsSinceEpoch();
    comparePoint(d.days[0], day1, 9, 7, 7 * 60000.0 / (6600 + 64600), 1000);
    comparePoint(d.days[1], day2, 3, 1, 20.0, 500);

    compareFigures(d.total, 12, 4, 950);
    QCOMPARE(d.right, 8);
    QVERIFY(qAbs(d.rightPerMinute - 8 * 60000.0 / (6600 + 64600 + 3000)) < 1e-6);
}

void TestHistoryQueries::noteMaps()
{
    HistoryQueries q(m_store->path);
    const StatisticsData d = q.statistics({});

    const NoteMapData& treble = d.maps[0];
    compareFigures(treble.keys[39], 6, 2, 900); // C4 in both treble staves: 500, 800, 1000, 70000 right
    compareFigures(treble.keys[40], 2, 1, 1600); // C♯4 missed, D♭4 read
    compareFigures(treble.keys[41], 1, 0, 1200);
    compareFigures(treble.keys[42], 1, 1, -1);
    compareFigures(treble.keys[27], 0, 0, -1); // read in the bass clef only
    QCOMPARE(noteKeys(treble.staves[0]), (QStringList{"0:C4", "0:C#4", "0:Db4", "0:D4", "0:Eb4"}));
    QVERIFY(treble.staves[1].isEmpty());
    compareFigures(treble.staves[0][1].figures, 1, 1, -1);
    compareFigures(treble.staves[0][2].figures, 1, 0, 1600);
    // Most errors first; equal counts by share, then in key order.
    QCOMPARE(noteKeys(treble.mostMissed), (QStringList{"0:C4", "0:C#4", "0:Eb4"}));
    // Only C4 has three right answers.
    QCOMPARE(noteKeys(treble.slowest), (QStringList{"0:C4"}));

    const NoteMapData& bass = d.maps[1];
    compareFigures(bass.keys[27], 2, 0, 800);
    compareFigures(bass.keys[39], 0, 0, -1);
    QCOMPARE(noteKeys(bass.staves[0]), (QStringList{"1:C3"}));
    QVERIFY(bass.mostMissed.isEmpty());

    const NoteMapData& grand = d.maps[3];
    QCOMPARE(noteKeys(grand.staves[0]), noteKeys(treble.staves[0]));
    QCOMPARE(noteKeys(grand.staves[1]), (QStringList{"1:C3"}));
    compareFigures(grand.keys[27], 2, 0, 800);
    compareFigures(grand.keys[39], 6, 2, 900);

    const NoteMapData& alto = d.maps[2];
    QVERIFY(alto.staves[0].isEmpty());
    for (const NoteFigures& f : alto.keys)
        QCOMPARE(f.answers, 0);
}

void TestHistoryQueries::filters_data()
{
    QTest::addColumn<int>("which"); // 0 from the second day on, 1 the exam only, 2 before the first day
    QTest::addColumn<int>("answers");
    QTest::addColumn<int>("exercises");
    QTest::newRow("from a day ago") << 0 << 3 << 1;
    QTest::newRow("one exercise") << 1 << 4 << 1;
    QTest::newRow("an empty period") << 2 << 0 << 0;
}

void TestHistoryQueries::filters()
{
    QFETCH(int, which);
    QFETCH(int, answers);
    QFETCH(int, exercises);
    StatisticsFilter f;
    if (which == 0)
        f.fromMs = QDate::currentDate().addDays(-1).startOfDay().toMSecsSinceEpoch();
    else if (which == 1)
        f.sessionId = m_store->ex2;
    else
        f.toMs = m_store->ex1;
    HistoryQueries q(m_store->path);
    const StatisticsData d = q.statistics(f);
    QVERIFY(d.error.isEmpty());
    QCOMPARE(d.total.answers, answers);
    QCOMPARE(d.exercises.size(), exercises);
    if (which == 1) {
        compareFigures(d.maps[3].keys[39], 2, 1, 70000);
        QCOMPARE(noteKeys(d.maps[3].staves[1]), (QStringList{"1:C3"}));
    }
}

void TestHistoryQueries::topTenLists()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("h.sqlite"));
    {
        HistoryStore store(path);
        const qint64 s = noonDaysAgo(0) - 3600 * 1000;
        store.exerciseStarted(exercise(s));
        qint64 t = s;
        // Twelve notes: note i is missed i times and read right four times, taking 100 × (i + 1) ms.
        for (int i = 0; i < 12; ++i) {
            for (int e = 0; e < i; ++e)
                store.answered(answer(s, ++t, 30 + i, false, 500));
            for (int r = 0; r < 4; ++r)
                store.answered(answer(s, ++t, 30 + i, true, 100 * (i + 1)));
        }
        store.close();
    }
    HistoryQueries q(path);
    const StatisticsData d = q.statistics({});
    const NoteMapData& m = d.maps[0];
    QCOMPARE(m.mostMissed.size(), HistoryQueries::TopCount);
    QCOMPARE(m.slowest.size(), HistoryQueries::TopCount);
    for (int i = 0; i < HistoryQueries::TopCount; ++i) {
        QCOMPARE(m.mostMissed[i].keyIndex, 41 - i);
        QCOMPARE(m.mostMissed[i].figures.errors, 11 - i);
        QCOMPARE(m.slowest[i].keyIndex, 41 - i);
        QCOMPARE(m.slowest[i].figures.medianMs, 100 * (12 - i));
    }
}

void TestHistoryQueries::missingFileIsEmpty()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("none.sqlite"));
    HistoryQueries q(path);
    const StatisticsData d = q.statistics({});
    QVERIFY(d.error.isEmpty());
    QCOMPARE(d.total.answers, 0);
    QVERIFY(d.exercises.isEmpty());
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    QVERIFY(q.exportCsv({}, out, &error));
    QCOMPARE(out.data().count("\r\n"), 1); // the header alone
    // Reading never creates the file.
    QVERIFY(!QFile::exists(path));
}

void TestHistoryQueries::periodStart_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<QDate>("first");
    const QDateTime now(QDate(2024, 3, 31), QTime(18, 30));
    QTest::newRow("week") << int(Period::Week) << QDate(2024, 3, 25);
    QTest::newRow("month, from the last day of March") << int(Period::Month) << QDate(2024, 3, 1);
    QTest::newRow("year, over a leap day") << int(Period::Year) << QDate(2023, 4, 1);
}

void TestHistoryQueries::periodStart()
{
    QFETCH(int, period);
    QFETCH(QDate, first);
    const QDateTime now(QDate(2024, 3, 31), QTime(18, 30));
    QCOMPARE(periodStartMs(Period(period), now), first.startOfDay().toMSecsSinceEpoch());
    QCOMPARE(periodStartMs(Period::All, now), qint64(0));
}

void TestHistoryQueries::median_data()
{
    QTest::addColumn<QVector<int>>("values");
    QTest::addColumn<int>("expected");
    QTest::newRow("none") << QVector<int>{} << -1;
    QTest::newRow("one") << QVector<int>{7} << 7;
    QTest::newRow("odd, unsorted") << QVector<int>{9, 1, 5} << 5;
    QTest::newRow("even: the middle two") << QVector<int>{4, 1, 3, 2} << 2;
    QTest::newRow("even, large values") << QVector<int>{2000000000, 2000000001} << 2000000000;
}

void TestHistoryQueries::median()
{
    QFETCH(QVector<int>, values);
    QFETCH(int, expected);
    QCOMPARE(HistoryQueries::median(values), expected);
}

void TestHistoryQueries::csvField_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "C#4" << "C#4";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("comma") << "computer keyboard, left" << "\"computer keyboard, left\"";
    QTest::newRow("quote") << "say \"A\"" << "\"say \"\"A\"\"\"";
    QTest::newRow("line break") << "a\nb" << "\"a\nb\"";
    QTest::newRow("carriage return") << "a\rb" << "\"a\rb\"";
}

void TestHistoryQueries::csvField()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    QCOMPARE(HistoryQueries::csvField(value), expected);
}

void TestHistoryQueries::exportCsv()
{
    HistoryQueries q(m_store->path);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    QVERIFY2(q.exportCsv({}, out, &error), qPrintable(error));
    const QByteArray text = out.data();
    // Every line ends in CR LF.
    QVERIFY(text.endsWith("\r\n"));
    QCOMPARE(text.count("\r\n"), text.count('\n'));
    const QList<QByteArray> lines = QByteArray(text).replace("\r\n", "\n").chopped(1).split('\n');
    // The header, every answer (odd rows too), in time order.
    QCOMPARE(lines.size(), 1 + 12 + 4);
    QCOMPARE(lines[0], QByteArray("time,exercise_start,mode,clef,staff,shown_midi,shown_note,spelling,played_midi,"
                                  "played_note,source,correct,response_ms,kind,key_fifths,key_mode,line_position,"
                                  "bar,chord_notes,piece"));

    auto fields = [&](int line) { return QString::fromUtf8(lines[line]).split(u','); };
    // The C♯4 that was missed: played a D4.
    const QStringList missed = fields(2);
    QCOMPARE(missed.mid(2), (QStringList{"training", "treble", "single", "61", "C#4", "sharp", "62", "D4", "piano",
                                          "0", "2000", "single note", "", "", "", "", "1", ""}));
    const QDateTime time = QDateTime::fromString(missed[0], Qt::ISODateWithMs);
    QVERIFY(time.isValid());
    QCOMPARE(time.toMSecsSinceEpoch(), m_store->ex1 + 3000);
    QVERIFY(missed[0].endsWith(u'Z') || missed[0].at(missed[0].size() - 6) == u'+'
            || missed[0].at(missed[0].size() - 6) == u'-'); // the offset travels with the time
    QCOMPARE(QDateTime::fromString(missed[1], Qt::ISODateWithMs).toMSecsSinceEpoch(), m_store->ex1);
    // The exam's lower staff, from a MIDI keyboard.
    QCOMPARE(fields(7).mid(2, 7), (QStringList{"exam", "grand", "lower", "48", "C3", "natural", "48"}));
    // A computer key of the wrong pitch class: no played note.
    QCOMPARE(fields(12).mid(2), (QStringList{"training", "treble", "single", "63", "Eb4", "flat", "", "",
                                              "computer keyboard", "0", "1000", "single note", "", "", "", "", "1",
                                              ""}));
    // A row no stave shows is exported as it is.
    QCOMPARE(fields(13).mid(3, 3), (QStringList{"9", "single", "60"}));

    // One exercise only.
    QBuffer one;
    one.open(QIODevice::WriteOnly);
    StatisticsFilter f;
    f.sessionId = m_store->ex2;
    QVERIFY(q.exportCsv(f, one, &error));
    QCOMPARE(one.data().count("\r\n"), 1 + 4);
}

void TestHistoryQueries::exportTimesCarryTheirOffset_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("suffix"); // empty: whatever the zone says at that moment
    QTest::newRow("UTC") << QByteArray("UTC") << "Z";
    QTest::newRow("Moscow") << QByteArray("Europe/Moscow") << "+03:00";
    QTest::newRow("St John's, half hours behind") << QByteArray("America/St_Johns") << "";
    QTest::newRow("Kathmandu, quarter hours ahead") << QByteArray("Asia/Kathmandu") << "+05:45";
}

void TestHistoryQueries::exportTimesCarryTheirOffset()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, suffix);
    if (!QFile::exists(QStringLiteral("/usr/share/zoneinfo/") + QString::fromLatin1(zone)))
        QSKIP("no such time zone on this machine");
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    const QByteArray old = qgetenv("TZ");
    qputenv("TZ", zone);
    tzset();
    HistoryQueries q(m_store->path);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    const bool ok = q.exportCsv({}, out, &error);
    if (hadZone)
        qputenv("TZ", old);
    else
        qunsetenv("TZ");
    tzset();
    QVERIFY2(ok, qPrintable(error));
    const QList<QByteArray> lines = out.data().split('\n');
    const QString time = QString::fromUtf8(lines[1].split(',').at(0));
    // The written time names the same moment, in the zone's own offset.
    QCOMPARE(QDateTime::fromString(time, Qt::ISODateWithMs).toMSecsSinceEpoch(), m_store->ex1 + 1000);
    if (!suffix.isEmpty())
        QVERIFY2(time.endsWith(suffix), qPrintable(time));
    else
        QVERIFY2(time.endsWith(QLatin1String(":30")), qPrintable(time));
}

void TestHistoryQueries::keyFigures_data()
{
    QTest::addColumn<int>("kind"); // −1 every kind
    QTest::addColumn<QVector<KeyFigures>>("expected");
    // Seven flats to seven sharps, major before minor; the mean of the right answers,
    // a 70 s one counted as 60 s: (1000 + 1200 + 60000) / 3 rounds to 20733.
    const KeyFigures cFlat{-7, false, 1, 1, 1000}, eFlatMinor{-6, true, 1, 0, -1}, bFlat{-2, false, 3, 1, 3000},
        g{1, false, 4, 3, 20733}, eMinor{1, true, 2, 2, 2000}, cSharp{7, false, 2, 2, 600};
    QTest::newRow("every kind") << -1 << QVector<KeyFigures>{cFlat, eFlatMinor, bFlat, g, eMinor, cSharp};
    QTest::newRow("phrases") << int(ExerciseKind::Phrase) << QVector<KeyFigures>{eFlatMinor, bFlat, g, eMinor};
    QTest::newRow("pieces") << int(ExerciseKind::Piece) << QVector<KeyFigures>{cFlat, cSharp};
    QTest::newRow("single notes: no key") << int(ExerciseKind::SingleNote) << QVector<KeyFigures>{};
}

void TestHistoryQueries::keyFigures()
{
    QFETCH(int, kind);
    QFETCH(QVector<KeyFigures>, expected);
    StatisticsFilter f;
    if (kind >= 0)
        f.kind = ExerciseKind(kind);
    HistoryQueries q(m_lines->path);
    const StatisticsData d = q.statistics(f);
    QVERIFY2(d.error.isEmpty(), qPrintable(d.error));
    QCOMPARE(d.keys, expected);
    // The other filters apply as well: the piece was played today.
    f.fromMs = QDate::currentDate().startOfDay().toMSecsSinceEpoch();
    QCOMPARE(q.statistics(f).keys.size(), kind < 0 || kind == int(ExerciseKind::Piece) ? 2 : 0);
    f.fromMs = 0;
    f.sessionId = m_lines->phrases;
    QCOMPARE(q.statistics(f).keys.size(), kind < 0 || kind == int(ExerciseKind::Phrase) ? 4 : 0);
    // Only lines of music have keys; a store of single notes has none.
    HistoryQueries notes(m_store->path);
    QVERIFY(notes.statistics({}).keys.isEmpty());
}

void TestHistoryQueries::kindFilter_data()
{
    QTest::addColumn<int>("kind"); // −1 every kind
    QTest::addColumn<int>("answers");
    QTest::addColumn<int>("exerciseKind"); // of the one exercise shown; −1 several
    QTest::addColumn<int>("trebleG4"); // answers to G4 (key 46) on the treble note map
    QTest::addColumn<int>("exported"); // rows of the export without its header
    // The row of an unknown kind is exported unfiltered only.
    QTest::newRow("every kind") << -1 << 17 << -1 << 1 << 18;
    QTest::newRow("single notes") << int(ExerciseKind::SingleNote) << 3 << int(ExerciseKind::SingleNote) << 0 << 3;
    QTest::newRow("phrases, the key beyond seven sharps too") << int(ExerciseKind::Phrase) << 11
                                                              << int(ExerciseKind::Phrase) << 1 << 11;
    QTest::newRow("pieces") << int(ExerciseKind::Piece) << 3 << int(ExerciseKind::Piece) << 0 << 3;
}

void TestHistoryQueries::kindFilter()
{
    QFETCH(int, kind);
    QFETCH(int, answers);
    QFETCH(int, exerciseKind);
    QFETCH(int, trebleG4);
    QFETCH(int, exported);
    StatisticsFilter f;
    if (kind >= 0)
        f.kind = ExerciseKind(kind);
    HistoryQueries q(m_lines->path);
    const StatisticsData d = q.statistics(f);
    QVERIFY2(d.error.isEmpty(), qPrintable(d.error));
    QCOMPARE(d.total.answers, answers);
    QCOMPARE(d.maps[0].keys[46].answers, trebleG4);
    int dayAnswers = 0;
    for (const SeriesPoint& p : d.days)
        dayAnswers += p.answers;
    QCOMPARE(dayAnswers, answers);
    if (exerciseKind >= 0) {
        QCOMPARE(d.exercises.size(), 1);
        QCOMPARE(d.exercises[0].kind, ExerciseKind(exerciseKind));
    } else {
        QCOMPARE(d.exercises.size(), 3);
    }
    // The kinds on offer do not depend on the filter.
    QCOMPARE(d.kinds, (QVector<ExerciseKind>{ExerciseKind::SingleNote, ExerciseKind::Phrase, ExerciseKind::Piece}));
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    QVERIFY2(q.exportCsv(f, out, &error), qPrintable(error));
    QCOMPARE(out.data().count("\r\n"), 1 + exported);
}

void TestHistoryQueries::exportLineColumns()
{
    HistoryQueries q(m_lines->path);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    QVERIFY2(q.exportCsv({}, out, &error), qPrintable(error));
    const QList<QByteArray> lines = QByteArray(out.data()).replace("\r\n", "\n").chopped(1).split('\n');
    QCOMPARE(lines.size(), 1 + 18);
    // The columns of before keep their places; the new ones follow.
    const QStringList header = QString::fromUtf8(lines[0]).split(u',');
    QCOMPARE(header.indexOf(QStringLiteral("response_ms")), 12);
    QCOMPARE(header.mid(13, 6), (QStringList{"kind", "key_fifths", "key_mode", "line_position", "bar", "chord_notes"}));
    auto tail = [&](int line) { return QString::fromUtf8(lines[line]).split(u',').mid(13, 6); };
    QCOMPARE(tail(1), (QStringList{"single note", "", "", "", "", "1"}));
    QCOMPARE(tail(5), (QStringList{"phrase", "1", "major", "1", "0", "1"}));
    QCOMPARE(tail(8), (QStringList{"phrase", "1", "minor", "0", "0", "2"}));
    QCOMPARE(tail(11), (QStringList{"phrase", "-2", "major", "4", "1", "1"}));
    QCOMPARE(tail(13), (QStringList{"phrase", "-6", "minor", "0", "0", "1"}));
    // Rows the figures leave out are written as they are.
    QCOMPARE(tail(14), (QStringList{"phrase", "9", "major", "3", "0", "1"}));
    QCOMPARE(tail(15), (QStringList{"5", "0", "major", "3", "0", "1"}));
    QCOMPARE(tail(17), (QStringList{"piece", "7", "major", "1", "0", "1"}));
    QCOMPARE(tail(18), (QStringList{"piece", "-7", "major", "0", "0", "1"}));
}

void TestHistoryQueries::piecesPractised()
{
    HistoryQueries q(m_pieces->path);
    const StatisticsData all = q.statistics({});
    QVERIFY2(all.error.isEmpty(), qPrintable(all.error));
    QVERIFY(all.hasPieces);
    // The latest practised first; bars as long as the piece is known to be, or as far as it was answered.
    QCOMPARE(all.pieces,
             (QVector<PieceFigures>{{m_pieces->titledId, m_pieces->title, 6, 8, 4, m_pieces->second + 1000},
                                    {m_pieces->untitledId, QString(), 10, 2, 1, m_pieces->untitled + 2000}}));

    // Over the period: today only the titled piece was practised.
    StatisticsFilter today;
    today.fromMs = QDate::currentDate().startOfDay().toMSecsSinceEpoch();
    const StatisticsData now = q.statistics(today);
    QCOMPARE(now.pieces.size(), 1);
    QCOMPARE(now.pieces[0].answers, 1);
    QCOMPARE(now.pieces[0].right, 0);
    QVERIFY(now.hasPieces);

    // Single notes: no piece in the period, but the file has pieces.
    StatisticsFilter notes;
    notes.kind = ExerciseKind::SingleNote;
    const StatisticsData none = q.statistics(notes);
    QVERIFY(none.pieces.isEmpty());
    QVERIFY(none.hasPieces);

    // A history without pieces, a file written before pieces.
    HistoryQueries lines(m_lines->path);
    const StatisticsData noPieces = lines.statistics({});
    QVERIFY(!noPieces.hasPieces);
    QVERIFY(noPieces.pieces.isEmpty());
}

void TestHistoryQueries::pieceBars_data()
{
    // Each bar as answers/right/mean ms, "-" for a bar without answers.
    QTest::addColumn<QString>("piece");
    QTest::addColumn<QString>("filter"); // all, today, first, phrases
    QTest::addColumn<QString>("bars");
    QTest::addColumn<QString>("title");
    QTest::newRow("every answer: bars never reached and bars all missed")
        << "titled" << "all" << "3/2/600 3/2/30500 - 2/0/- - -" << m_pieces->title;
    QTest::newRow("today: the known length, one miss") << "titled" << "today" << "1/0/- - - - - -" << m_pieces->title;
    QTest::newRow("one exercise") << "titled" << "first" << "2/2/600 3/2/30500 - 2/0/- - -" << m_pieces->title;
    QTest::newRow("another kind: no answers, the bars still there")
        << "titled" << "phrases" << "- - - - - -" << m_pieces->title;
    QTest::newRow("unknown length: as far as answered") << "untitled" << "all" << "1/1/1500 - - - - - - - - 1/0/-"
                                                        << QString();
    QTest::newRow("unknown length, no answers: no bars") << "untitled" << "today" << "" << QString();
    QTest::newRow("a piece never practised") << "unknown" << "all" << "" << QString();
}

void TestHistoryQueries::pieceBars()
{
    QFETCH(QString, piece);
    QFETCH(QString, filter);
    QFETCH(QString, bars);
    QFETCH(QString, title);
    const QString id = piece == QLatin1String("titled") ? m_pieces->titledId
        : piece == QLatin1String("untitled")             ? m_pieces->untitledId
                                                         : QStringLiteral("ffffffffffffffff");
    StatisticsFilter f;
    if (filter == QLatin1String("today"))
        f.fromMs = QDate::currentDate().startOfDay().toMSecsSinceEpoch();
    else if (filter == QLatin1String("first"))
        f.sessionId = m_pieces->first;
    else if (filter == QLatin1String("phrases"))
        f.kind = ExerciseKind::Phrase;
    HistoryQueries q(m_pieces->path);
    const PieceBarsData data = q.pieceBars(f, id);
    QVERIFY2(data.error.isEmpty(), qPrintable(data.error));
    QCOMPARE(data.id, id);
    QCOMPARE(data.title, title);
    QStringList actual;
    for (const BarFigures& b : data.bars)
        actual << (b.answers == 0 ? QStringLiteral("-")
                                  : QStringLiteral("%1/%2/%3")
                                        .arg(b.answers)
                                        .arg(b.right)
                                        .arg(b.meanMs >= 0 ? QString::number(b.meanMs) : QStringLiteral("-")));
    QCOMPARE(actual.join(u' '), bars);
}

void TestHistoryQueries::exportPieceColumn()
{
    HistoryQueries q(m_pieces->path);
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString error;
    QVERIFY2(q.exportCsv({}, out, &error), qPrintable(error));
    const QList<QByteArray> lines = QByteArray(out.data()).replace("\r\n", "\n").chopped(1).split('\n');
    QCOMPARE(lines.size(), 1 + 13);
    QVERIFY(lines[0].endsWith(",chord_notes,piece"));
    // The title, quoted for its comma and quotes; the id for a piece without one; nothing outside pieces.
    const QByteArray quoted = "\"Во поле берёза стояла, вариант \"\"для двоих\"\"\"";
    QVERIFY2(lines[1].endsWith(",0,1," + quoted), lines[1].constData());
    QVERIFY2(lines[8].endsWith(",1," + quoted), lines[8].constData()); // a bar no piece has, exported as it is
    QVERIFY2(lines[10].endsWith(",1," + m_pieces->untitledId.toLatin1()), lines[10].constData());
    QVERIFY2(lines[12].endsWith(",1,"), lines[12].constData());
    QVERIFY2(lines[13].endsWith(",1," + quoted), lines[13].constData());
}

QTEST_GUILESS_MAIN(TestHistoryQueries)
#include "tst_historyqueries.moc"
