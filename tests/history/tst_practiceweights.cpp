// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/notedraw.h"
#include "history/historystore.h"
#include "history/practicesettings.h"
#include "history/practiceweights.h"
#include "history/historyfixture.h"
#include "platform/registry/registry.h"
#include "support/testenv.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

using namespace tonvero;
using namespace tonvero::history;
using namespace historytest;

namespace {

constexpr int Key = 45;
constexpr int QuickMs = 900;
constexpr int SlowMs = 3000;

// Enough quick right answers on other notes to know the learner's pace.
void establishPace(PracticeWeights& w, int clef, int staff)
{
    for (int i = 0; i < PracticeWeights::PaceMinimum + 5; ++i)
        w.add({1, clef, staff, 60 + i % 10, true, QuickMs + (i % 5) * 20, ExerciseMode::Training});
}

} // namespace

class TestPracticeWeights : public QObject {
    Q_OBJECT
private slots:
    void boxRule_data();
    void boxRule();
    void chancesByClefSetting();
    void simulatedLearner();
    void settingsRoundTrip();
};

void TestPracticeWeights::boxRule_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("box");
    QTest::addColumn<int>("chances");
    QTest::newRow("never seen") << "" << int(PracticeWeights::NoBox) << 0;
    QTest::newRow("first met and read well") << "q" << int(PracticeWeights::NoBox) << 0;
    QTest::newRow("missed") << "w" << 0 << 3;
    QTest::newRow("missed, then right at once") << "wq" << 1 << 2;
    QTest::newRow("one step up per exercise") << "wqqqq" << 1 << 2;
    QTest::newRow("missed again after a step up") << "wq|w" << 0 << 3;
    QTest::newRow("read well in three more exercises") << "w|q|q|q" << 3 << 0;
    QTest::newRow("read well in two more exercises") << "w|q|q" << 2 << 1;
    QTest::newRow("slow") << "s" << 2 << 1;
    QTest::newRow("slow twice") << "ss" << 1 << 2;
    QTest::newRow("slow after a miss is a step up") << "ws" << 1 << 2;
    QTest::newRow("slow again and again stays at one") << "ssss|s|s" << 1 << 2;
    QTest::newRow("slow, then quick in the next exercises") << "ss|q|q" << 3 << 0;
    QTest::newRow("a hint tells the note") << "hhh" << int(PracticeWeights::NoBox) << 0;
}

void TestPracticeWeights::boxRule()
{
    // Steps: 'w' wrong, 'q' right and quick, 's' right and slow, 'h' wrong in hint mode;
    // '|' starts the next exercise.
    QFETCH(QString, steps);
    QFETCH(int, box);
    QFETCH(int, chances);
    // The lower staff of the grand staff reads as bass: the box lands there.
    for (const auto& [clef, staff, reading] : {std::tuple{0, 0, 0}, std::tuple{3, 1, 1}, std::tuple{2, 0, 2}}) {
        PracticeWeights w;
        establishPace(w, clef, staff);
        qint64 session = 100;
        for (QChar c : steps) {
            if (c == u'|') {
                ++session;
                continue;
            }
            const bool right = c == u'q' || c == u's';
            const ExerciseMode mode = c == u'h' ? ExerciseMode::Hint : ExerciseMode::Training;
            w.add({session, clef, staff, Key, right, c == u's' ? SlowMs : QuickMs, mode});
        }
        QCOMPARE(w.box(reading, Key), box);
        QCOMPARE(w.extraChances(reading, Key), chances);
        // Nothing leaks to other clefs or keys.
        QCOMPARE(w.extraChances((reading + 1) % 3, Key), 0);
        QCOMPARE(w.extraChances(reading, Key + 1), 0);
    }
}

void TestPracticeWeights::chancesByClefSetting()
{
    PracticeWeights w;
    w.add({1, 0, 0, 50, false, 900, ExerciseMode::Training}); // treble
    w.add({1, 3, 1, 20, false, 900, ExerciseMode::Training}); // grand staff, lower: bass
    w.add({1, 2, 0, 30, false, 900, ExerciseMode::Exam});     // alto
    w.add({1, 1, 1, 25, false, 900, ExerciseMode::Training}); // no such staff: ignored
    w.add({1, 0, 0, 88, false, 900, ExerciseMode::Training}); // no such key: ignored

    PracticeChances treble{};
    treble[0][50] = 3;
    QCOMPARE(w.chancesForClef(0), treble);
    PracticeChances bass{};
    bass[0][20] = 3;
    QCOMPARE(w.chancesForClef(1), bass);
    PracticeChances alto{};
    alto[0][30] = 3;
    QCOMPARE(w.chancesForClef(2), alto);
    // The grand staff: the treble's boxes on its upper staff, the bass's on its lower one.
    PracticeChances grand{};
    grand[0][50] = 3;
    grand[1][20] = 3;
    QCOMPARE(w.chancesForClef(3), grand);
    QCOMPARE(w.chancesForClef(7), PracticeChances{});
}

void TestPracticeWeights::simulatedLearner()
{
    // A learner who always misses two notes and reads a third slowly, through the real
    // store and the real draw. The error weights within one exercise are left out, so
    // what shifts the draw is only what the history remembers.
    constexpr int MissedA = 45, MissedB = 52, Slow = 57;
    constexpr int Answers = 150;
    const notedraw::StaffRange range{39, 62};
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.sqlite"));
    const qint64 base = QDateTime::currentMSecsSinceEpoch() - 3600 * 1000;
    notedraw::SeededRandom random(2024);
    const notedraw::RandomSource source = [&random] { return random(); };
    qint64 session = base;

    // One exercise: the draw seeded from the store, each answer handed back to it.
    auto play = [&](HistoryStore& store, bool learned, std::vector<int>& counts) {
        const PracticeChances chances = store.practiceChances(0);
        notedraw::DrawRequest request;
        request.ranges = {range, range};
        request.extraChances = &chances;
        store.exerciseStarted(exercise(++session));
        qint64 t = session;
        for (int i = 0; i < Answers; ++i) {
            const notedraw::DrawResult d = notedraw::drawNextNote(request, source);
            request.previousNote = d.keyIndex;
            ++counts[std::size_t(d.keyIndex)];
            const bool missed = !learned && (d.keyIndex == MissedA || d.keyIndex == MissedB);
            const int ms = !learned && d.keyIndex == Slow ? SlowMs + 40 * (i % 7) : QuickMs + 30 * (i % 7);
            t += ms;
            store.answered(answer(session, t, d.keyIndex, !missed, ms));
        }
        ExerciseRecord end = exercise(session);
        end.endMs = t;
        store.exerciseEnded(end);
        return chances;
    };
    auto chanceBound = [](int draws, int hits) {
        // A note's chance in a chained draw that never repeats: 1 / (size − 1).
        const double p = 1.0 / 23;
        return hits > draws * p + 5 * std::sqrt(draws * p * (1 - p));
    };

    std::vector<int> counts(notedraw::KeyCount, 0);
    {
        HistoryStore store(path);
        // No history yet: nothing extra.
        QCOMPARE(play(store, false, counts), PracticeChances{});
        std::fill(counts.begin(), counts.end(), 0);
        for (int e = 0; e < 19; ++e)
            play(store, false, counts);
    }

    const int draws = 19 * Answers;
    for (int key : {MissedA, MissedB, Slow})
        QVERIFY2(chanceBound(draws, counts[std::size_t(key)]),
                 qPrintable(QStringLiteral("key %1 drawn %2 times in %3").arg(key).arg(counts[std::size_t(key)]).arg(draws)));
    // The other notes share what is left.
    for (int key = range.low; key <= range.high; ++key)
        if (key != MissedA && key != MissedB && key != Slow)
            QVERIFY(counts[std::size_t(key)] < counts[std::size_t(Slow)]);

    // A new run reads the same memory back from the file.
    HistoryStore store(path);
    PracticeChances expected{};
    expected[0][MissedA] = 3;
    expected[0][MissedB] = 3;
    expected[0][Slow] = 2;
    QCOMPARE(store.practiceChances(0), expected);

    // Now the learner reads them well: one step per exercise until nothing is extra.
    const int fading[][3] = {{3, 3, 2}, {2, 2, 1}, {1, 1, 0}};
    for (const auto& step : fading) {
        const PracticeChances seeded = play(store, true, counts);
        QCOMPARE(seeded[0][MissedA], step[0]);
        QCOMPARE(seeded[0][MissedB], step[1]);
        QCOMPARE(seeded[0][Slow], step[2]);
    }
    const PracticeChances after = store.practiceChances(0);
    QCOMPARE(after, PracticeChances{});

    // Back to chance: the seeded draw is the plain draw, draw for draw.
    notedraw::DrawRequest plain;
    plain.ranges = {range, range};
    notedraw::DrawRequest seeded = plain;
    seeded.extraChances = &after;
    notedraw::SeededRandom r1(5), r2(5);
    for (int i = 0; i < 2000; ++i) {
        const auto a = notedraw::drawNextNote(plain, [&] { return r1(); });
        const auto b = notedraw::drawNextNote(seeded, [&] { return r2(); });
        QCOMPARE(a, b);
        plain.previousNote = seeded.previousNote = a.keyIndex;
    }
}

void TestPracticeWeights::settingsRoundTrip()
{
    testsupport::TempConfigHome home;
    PracticeSettings s;
    QVERIFY(s.load());
    QCOMPARE(s.bRememberPractice, 1); // on by default
    QVERIFY(!QFile::exists(home.registryFile())); // read at start-up: nothing written

    s.bRememberPractice = 0;
    QVERIFY(s.save());
    PracticeSettings loaded;
    QVERIFY(loaded.load());
    QCOMPARE(loaded.bRememberPractice, 0);
    QFile file(home.registryFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.contains("[HKEY_CURRENT_USER\\Software\\Tonvero\\History]"));
    QVERIFY(text.contains("\"bRememberPractice\"=dword:00000000"));

    // A value of the wrong type keeps the default; any non-zero number means on.
    using namespace platform;
    HKEY key = nullptr;
    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, QStringLiteral("Software\\Tonvero\\History"), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
             ERROR_SUCCESS);
    const QByteArray word("yes");
    QCOMPARE(RegSetValueEx(key, QStringLiteral("bRememberPractice"), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(word.constData()), DWORD(word.size() + 1)),
             ERROR_SUCCESS);
    QCOMPARE(RegCloseKey(key), ERROR_SUCCESS);
    PracticeSettings odd;
    QVERIFY(odd.load());
    QCOMPARE(odd.bRememberPractice, 1);

    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, QStringLiteral("Software\\Tonvero\\History"), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
             ERROR_SUCCESS);
    const BYTE seven[4] = {7, 0, 0, 0};
    QCOMPARE(RegSetValueEx(key, QStringLiteral("bRememberPractice"), 0, REG_DWORD, seven, 4), ERROR_SUCCESS);
    QCOMPARE(RegCloseKey(key), ERROR_SUCCESS);
    PracticeSettings on;
    on.bRememberPractice = 0;
    QVERIFY(on.load());
    QCOMPARE(on.bRememberPractice, 1);
}

QTEST_GUILESS_MAIN(TestPracticeWeights)
#include "tst_practiceweights.moc"
