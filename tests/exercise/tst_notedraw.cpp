// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/notedraw.h"

#include <QTest>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace notedraw;

namespace {

// 0.5e-6 in each tail of a normal approximation: a correct draw fails a
// 5-sigma bound with probability below 1e-6; the seeds make it reproducible.
constexpr double Sigmas = 5.0;

DrawRequest singleClef(int low, int high, bool blackKeys = true)
{
    DrawRequest r;
    r.ranges = {StaffRange{low, high}, StaffRange{0, 87}};
    r.useBlackKeys = blackKeys;
    return r;
}

// Draws in a chain, each draw's note becoming the next one's previous note.
std::vector<DrawResult> drawChain(DrawRequest request, int count, std::uint32_t seed)
{
    SeededRandom random(seed);
    RandomSource source = [&random] { return random(); };
    std::vector<DrawResult> out;
    out.reserve(count);
    for (int i = 0; i < count; ++i) {
        const DrawResult d = drawNextNote(request, source);
        out.push_back(d);
        request.previousNote = d.keyIndex;
    }
    return out;
}

bool sameWeights(const ErrorWeightTable& a, const ErrorWeightTable& b)
{
    return std::equal(&a[0][0], &a[0][0] + 2 * KeyCount, &b[0][0]);
}

bool allZero(const ErrorWeightTable& t)
{
    const ErrorWeightTable zero{};
    return sameWeights(t, zero);
}

double chiSquare(const std::vector<int>& counts)
{
    double total = 0;
    for (int c : counts)
        total += c;
    const double expected = total / counts.size();
    double chi = 0;
    for (int c : counts)
        chi += (c - expected) * (c - expected) / expected;
    return chi;
}

} // namespace

class TestNoteDraw : public QObject {
    Q_OBJECT
private slots:
    void drawInvariants_data();
    void drawInvariants();
    void grandStaveStaffShare_data();
    void grandStaveStaffShare();
    void uniformWithoutWeights_data();
    void uniformWithoutWeights();
    void missedNoteComesBackMoreOften();
    void weightsOutsideTheDrawAreIgnored();
    void extraChancesShareTheDraw_data();
    void extraChancesShareTheDraw();
    void zeroExtraChancesKeepTheDraw();
    void degenerateRangesEnd_data();
    void degenerateRangesEnd();
    void stuckGeneratorFallsBackToScan_data();
    void stuckGeneratorFallsBackToScan();
    void normaliseRange_data();
    void normaliseRange();
    void normalisedRangesAlwaysOfferAnotherNote();
    void weightBookkeeping();
    void cRandomIsFifteenBits();
};

void TestNoteDraw::drawInvariants_data()
{
    QTest::addColumn<int>("low0");
    QTest::addColumn<int>("high0");
    QTest::addColumn<int>("low1");
    QTest::addColumn<int>("high1");
    QTest::addColumn<bool>("grand");
    QTest::addColumn<bool>("blackKeys");
    QTest::addColumn<bool>("weights");
    QTest::addColumn<bool>("extras");
    QTest::newRow("treble") << 30 << 60 << 0 << 87 << false << true << false << false;
    QTest::newRow("white keys, black ends") << 37 << 57 << 0 << 87 << false << false << false << false;
    QTest::newRow("white keys, weighted black keys") << 37 << 57 << 0 << 87 << false << false << true << false;
    QTest::newRow("two keys") << 40 << 41 << 0 << 87 << false << true << false << false;
    QTest::newRow("two white keys around a black one") << 3 << 5 << 0 << 87 << false << false << true << false;
    QTest::newRow("whole keyboard, weighted") << 0 << 87 << 0 << 87 << false << true << true << false;
    QTest::newRow("grand stave") << 39 << 79 << 0 << 40 << true << true << false << false;
    QTest::newRow("grand stave, white keys, weighted") << 39 << 79 << 0 << 40 << true << false << true << false;
    QTest::newRow("grand stave, overlapping ranges") << 30 << 50 << 30 << 50 << true << true << true << false;
    QTest::newRow("treble, extra chances") << 30 << 60 << 0 << 87 << false << true << false << true;
    QTest::newRow("two keys, weighted, extra chances") << 40 << 41 << 0 << 87 << false << true << true << true;
    QTest::newRow("white keys, extra chances on black keys") << 37 << 57 << 0 << 87 << false << false << true << true;
    QTest::newRow("grand stave, weighted, extra chances") << 39 << 79 << 0 << 40 << true << true << true << true;
}

void TestNoteDraw::drawInvariants()
{
    QFETCH(int, low0);
    QFETCH(int, high0);
    QFETCH(int, low1);
    QFETCH(int, high1);
    QFETCH(bool, grand);
    QFETCH(bool, blackKeys);
    QFETCH(bool, weights);
    QFETCH(bool, extras);

    ErrorWeightTable table{};
    if (weights) {
        SeededRandom w(7);
        for (auto& staff : table)
            for (int& e : staff)
                e = w() % 3 == 0 ? 1 + w() % 80 : 0;
    }
    // Garbage as well as real values: negative and huge entries must not widen the draw.
    ExtraChanceTable extra{};
    if (extras) {
        SeededRandom w(8);
        for (auto& staff : extra)
            for (int& e : staff)
                e = int(w() % 5) - 1 + (w() % 50 == 0 ? 1000000 : 0);
    }
    DrawRequest request;
    request.ranges = {StaffRange{low0, high0}, StaffRange{low1, high1}};
    request.grandStave = grand;
    request.useBlackKeys = blackKeys;
    request.weights = weights ? &table : nullptr;
    request.extraChances = extras ? &extra : nullptr;

    int previous = -1;
    for (const DrawResult& d : drawChain(request, 20000, 11)) {
        QVERIFY2(d.keyIndex != previous, "the same note twice in a row");
        QVERIFY(d.staff == 0 || (grand && d.staff == 1));
        QVERIFY2(request.ranges[d.staff].contains(d.keyIndex), "note outside its staff's range");
        QVERIFY2(blackKeys || isWhiteByPitchClass(d.keyIndex), "black key with black keys off");
        previous = d.keyIndex;
    }
}

void TestNoteDraw::grandStaveStaffShare_data()
{
    QTest::addColumn<int>("size0");
    QTest::addColumn<int>("size1");
    QTest::newRow("41 and 41") << 41 << 41;
    QTest::newRow("41 and 2: a small lower range keeps its share") << 41 << 2;
    QTest::newRow("10 and 30") << 10 << 30;
}

void TestNoteDraw::grandStaveStaffShare()
{
    QFETCH(int, size0);
    QFETCH(int, size1);
    DrawRequest request;
    request.ranges = {StaffRange{40, 40 + size0 - 1}, StaffRange{0, size1 - 1}};
    request.grandStave = true;

    constexpr int N = 20000;
    int lower = 0;
    for (const DrawResult& d : drawChain(request, N, 3))
        lower += d.staff;
    const double p = double(size1) / (size0 + size1);
    const double bound = Sigmas * std::sqrt(p * (1 - p) / N);
    const double share = double(lower) / N;
    QVERIFY2(std::abs(share - p) < bound,
             qPrintable(QStringLiteral("lower staff %1, expected %2 ± %3").arg(share).arg(p).arg(bound)));

    request.grandStave = false;
    for (const DrawResult& d : drawChain(request, 2000, 3))
        QCOMPARE(d.staff, 0);
}

void TestNoteDraw::uniformWithoutWeights_data()
{
    QTest::addColumn<bool>("blackKeys");
    QTest::addColumn<double>("critical"); // chi-square quantile for 1e-6 at the row's degrees of freedom
    QTest::newRow("24 keys") << true << 70.55;
    QTest::newRow("14 white keys") << false << 52.75;
}

void TestNoteDraw::uniformWithoutWeights()
{
    QFETCH(bool, blackKeys);
    QFETCH(double, critical);
    const StaffRange range{39, 62};
    std::vector<int> counts(range.size(), 0);
    for (const DrawResult& d : drawChain(singleClef(range.low, range.high, blackKeys), 48000, 5))
        ++counts[d.keyIndex - range.low];
    std::vector<int> drawn;
    for (int k = range.low; k <= range.high; ++k) {
        if (blackKeys || isWhiteByPitchClass(k))
            drawn.push_back(counts[k - range.low]);
        else
            QCOMPARE(counts[k - range.low], 0);
    }
    const double chi = chiSquare(drawn);
    QVERIFY2(chi < critical, qPrintable(QStringLiteral("chi-square %1").arg(chi)));
}

void TestNoteDraw::missedNoteComesBackMoreOften()
{
    constexpr int N = 20000;
    constexpr int missed = 45;
    DrawRequest request = singleClef(39, 62);
    ErrorWeightTable table{};
    auto countMissed = [&] {
        int n = 0;
        for (const DrawResult& d : drawChain(request, N, 9))
            n += d.keyIndex == missed ? 1 : 0;
        return n;
    };

    const int plain = countMissed();
    table[0][missed] = 48;
    request.weights = &table;
    const int weighted = countMissed();
    // Uniform: 1/24 of the draws; with four extra slots about 5/32.
    QVERIFY2(weighted > 2 * plain, qPrintable(QStringLiteral("%1 vs %2").arg(weighted).arg(plain)));

    // Once the weight has run out the draw is uniform again, draw for draw.
    table[0][missed] = 1;
    decreaseErrorWeights(table);
    QCOMPARE(countMissed(), plain);
}

void TestNoteDraw::weightsOutsideTheDrawAreIgnored()
{
    // Weights above the range, or on the other staff, must not shift a single draw.
    const DrawRequest plain = singleClef(39, 62);
    ErrorWeightTable table{};
    table[0][80] = 50;
    table[0][10] = 50;
    table[1][45] = 50;
    DrawRequest weighted = plain;
    weighted.weights = &table;
    const auto a = drawChain(plain, 5000, 13);
    const auto b = drawChain(weighted, 5000, 13);
    QVERIFY(a == b);
}

void TestNoteDraw::extraChancesShareTheDraw_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("chances");
    QTest::addColumn<bool>("weighted"); // an error weight on the same note adds its own slots
    QTest::newRow("one chance") << 45 << 1 << false;
    QTest::newRow("three chances") << 50 << 3 << false;
    QTest::newRow("lowest key, three chances, weighted") << 39 << 3 << true;
    QTest::newRow("above the cap") << 62 << 40 << false;
}

void TestNoteDraw::extraChancesShareTheDraw()
{
    QFETCH(int, key);
    QFETCH(int, chances);
    QFETCH(bool, weighted);
    const StaffRange range{39, 62};
    DrawRequest request = singleClef(range.low, range.high);
    ExtraChanceTable extra{};
    extra[0][key] = chances;
    extra[0][44] = 2; // a second note shares the widened draw
    extra[1][key] = 50; // the other staff's table plays no part
    extra[0][70] = 50;  // nor do notes above the range
    request.extraChances = &extra;
    ErrorWeightTable table{};
    if (weighted) {
        table[0][key] = 10;
        request.weights = &table;
    }

    constexpr int N = 40000;
    int hits = 0;
    for (const DrawResult& d : drawChain(request, N, 21))
        hits += d.keyIndex == key ? 1 : 0;

    // Slots: one per note of the range plus the extra ones; a chained draw never
    // repeats, so the note's share is its slots over the slots of the notes
    // other than the one just drawn, averaged: close to slots / total for wide ranges.
    const int own = 1 + std::min(chances, MaxExtraChances) + (weighted ? WeightSlots : 0);
    const int total = range.size() + std::min(chances, MaxExtraChances) + 2 + (weighted ? WeightSlots : 0);
    const double p = double(own) / total;
    // Excluding the previous note shifts the share by at most p² / (1 − p); allow it.
    const double shift = p * p / (1 - p);
    const double share = double(hits) / N;
    const double bound = Sigmas * std::sqrt(p * (1 - p) / N) + shift;
    QVERIFY2(std::abs(share - p) < bound,
             qPrintable(QStringLiteral("share %1, expected %2 ± %3").arg(share).arg(p).arg(bound)));
}

void TestNoteDraw::zeroExtraChancesKeepTheDraw()
{
    // An empty table (and one whose chances all lie outside the draw) changes no draw at all.
    for (bool weighted : {false, true}) {
        DrawRequest plain = singleClef(39, 62);
        plain.grandStave = true;
        plain.ranges[1] = StaffRange{10, 30};
        ErrorWeightTable table{};
        table[0][45] = 20;
        table[1][12] = 20;
        if (weighted)
            plain.weights = &table;
        ExtraChanceTable zero{};
        ExtraChanceTable outside{};
        outside[0][70] = 5;
        outside[1][60] = 5;
        outside[0][20] = -3;
        DrawRequest withZero = plain;
        withZero.extraChances = &zero;
        DrawRequest withOutside = plain;
        withOutside.extraChances = &outside;
        const auto a = drawChain(plain, 5000, 17);
        QVERIFY(a == drawChain(withZero, 5000, 17));
        QVERIFY(a == drawChain(withOutside, 5000, 17));
    }
}

void TestNoteDraw::degenerateRangesEnd_data()
{
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<bool>("blackKeys");
    QTest::addColumn<int>("previous");
    QTest::addColumn<int>("expected");
    QTest::newRow("one key, first draw") << 40 << 40 << true << -1 << 40;
    QTest::newRow("one key, already shown") << 40 << 40 << true << 40 << 40;
    QTest::newRow("one black key, white only, first draw") << 37 << 37 << false << -1 << 37;
    QTest::newRow("one black key, white only") << 37 << 37 << false << 36 << 36;
    QTest::newRow("two black keys and their white one, shown") << 4 << 6 << false << 5 << 5;
}

void TestNoteDraw::degenerateRangesEnd()
{
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(bool, blackKeys);
    QFETCH(int, previous);
    QFETCH(int, expected);
    DrawRequest request = singleClef(low, high, blackKeys);
    request.previousNote = previous;
    SeededRandom random(1);
    int calls = 0;
    const DrawResult d = drawNextNote(request, [&] { ++calls; return random(); });
    QCOMPARE(d.keyIndex, expected);
    QVERIFY(calls <= MaxRejectedDraws + 1);
}

void TestNoteDraw::stuckGeneratorFallsBackToScan_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("blackKeys");
    QTest::addColumn<int>("previous");
    QTest::addColumn<int>("expected");
    // Range 39..50 (C4..B4); 0 always lands on 39, 32767 always above the range.
    QTest::newRow("lands on the shown note") << 0 << true << 39 << 40;
    QTest::newRow("lands on the shown note, next key black") << 0 << false << 39 << 41;
    QTest::newRow("never in range, first draw") << 32767 << true << -1 << 39;
    QTest::newRow("never in range, nearest the shown note") << 32767 << false << 44 << 43;
}

void TestNoteDraw::stuckGeneratorFallsBackToScan()
{
    QFETCH(int, value);
    QFETCH(bool, blackKeys);
    QFETCH(int, previous);
    QFETCH(int, expected);
    DrawRequest request = singleClef(39, 50, blackKeys);
    request.previousNote = previous;
    int calls = 0;
    const DrawResult d = drawNextNote(request, [&] { ++calls; return value; });
    QCOMPARE(d.keyIndex, expected);
    QCOMPARE(calls, MaxRejectedDraws);
}

void TestNoteDraw::normaliseRange_data()
{
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<bool>("blackKeys");
    QTest::addColumn<int>("expectedLow");
    QTest::addColumn<int>("expectedHigh");
    QTest::newRow("one key grows upwards") << 40 << 40 << true << 40 << 41;
    QTest::newRow("one black key, white only") << 4 << 4 << false << 3 << 5;
    QTest::newRow("one white key between black ones") << 4 << 6 << false << 4 << 7;
    QTest::newRow("bottom key, white only") << 0 << 0 << false << 0 << 2;
    QTest::newRow("top key") << 87 << 87 << true << 86 << 87;
    QTest::newRow("top key, white only") << 87 << 87 << false << 86 << 87;
    QTest::newRow("wide enough stays") << 39 << 60 << false << 39 << 60;
    QTest::newRow("two white keys stay") << 3 << 5 << false << 3 << 5;
    QTest::newRow("reversed ends") << 60 << 39 << true << 39 << 60;
    QTest::newRow("beyond the keyboard") << -5 << 200 << true << 0 << 87;
}

void TestNoteDraw::normaliseRange()
{
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(bool, blackKeys);
    QFETCH(int, expectedLow);
    QFETCH(int, expectedHigh);
    QCOMPARE(normaliseRangeForDraw(low, high, blackKeys), (StaffRange{expectedLow, expectedHigh}));
}

void TestNoteDraw::normalisedRangesAlwaysOfferAnotherNote()
{
    // Every one-key range, normalised, lets the draw move away from any note it holds
    // without falling back to the scan.
    for (bool blackKeys : {true, false}) {
        for (int k = 0; k < KeyCount; ++k) {
            const StaffRange r = normaliseRangeForDraw(k, k, blackKeys);
            QVERIFY(r.contains(k));
            QVERIFY(acceptableNoteCount(r, blackKeys) >= 2);
            DrawRequest request = singleClef(r.low, r.high, blackKeys);
            for (int previous = r.low; previous <= r.high; ++previous) {
                request.previousNote = previous;
                SeededRandom random(previous);
                int calls = 0;
                const DrawResult d = drawNextNote(request, [&] { ++calls; return random(); });
                QVERIFY(d.keyIndex != previous);
                QVERIFY(calls < 200);
            }
        }
    }
}

void TestNoteDraw::weightBookkeeping()
{
    ErrorWeightTable t{};
    t[0][10] = 3;
    t[1][70] = 1; // above key 51 as well: nothing stale may survive
    decreaseErrorWeights(t);
    QCOMPARE(t[0][10], 2);
    QCOMPARE(t[1][70], 0);
    QCOMPARE(t[0][11], 0); // zero stays zero

    t[1][80] = 5;
    clearErrorWeights(t);
    QVERIFY(allZero(t));

    // A wrong answer: clears only when the note count is a multiple of the range size.
    t[0][20] = 4;
    setErrorWeightOnWrongAnswer(t, 0, 60, 24, 25);
    QCOMPARE(t[0][60], 48);
    QCOMPARE(t[0][20], 4);
    setErrorWeightOnWrongAnswer(t, 1, 75, 24, 48);
    QCOMPARE(t[1][75], 48);
    QCOMPARE(t[0][60], 0);
    QCOMPARE(t[0][20], 0);
    setErrorWeightOnWrongAnswer(t, 1, 75, 24, 0); // no note yet counts as a multiple too
    QCOMPARE(t[1][75], 48);

    // Out-of-range arguments change nothing and do not crash.
    ErrorWeightTable before;
    std::copy(&t[0][0], &t[0][0] + 2 * KeyCount, &before[0][0]);
    setErrorWeightOnWrongAnswer(t, 2, 10, 24, 1);
    setErrorWeightOnWrongAnswer(t, 0, -1, 24, 1);
    setErrorWeightOnWrongAnswer(t, 0, 88, 24, 1);
    setErrorWeightOnWrongAnswer(t, 0, 10, 0, 1);
    QVERIFY(sameWeights(t, before));

    // The weight lasts exactly 2 × range size decreases.
    for (int i = 0; i < 47; ++i)
        decreaseErrorWeights(t);
    QCOMPARE(t[1][75], 1);
    decreaseErrorWeights(t);
    QCOMPARE(t[1][75], 0);
}

void TestNoteDraw::cRandomIsFifteenBits()
{
    std::srand(1);
    int highest = 0;
    for (int i = 0; i < 100000; ++i) {
        const int r = cRandom();
        QVERIFY(r >= 0 && r <= RandomMax);
        highest = std::max(highest, r);
    }
    QVERIFY(highest > RandomMax - 100);
}

QTEST_GUILESS_MAIN(TestNoteDraw)
#include "tst_notedraw.moc"
