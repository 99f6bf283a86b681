// SPDX-License-Identifier: GPL-3.0-or-later
#include "music/phrasegenerator.h"

#include <QTest>

#include <algorithm>
#include <cstdlib>

using namespace tonvero::music;

Q_DECLARE_METATYPE(tonvero::music::Level)
Q_DECLARE_METATYPE(tonvero::music::Meter)
Q_DECLARE_METATYPE(tonvero::music::KeyRange)

namespace {

struct Melodic {
    Pitch pitch;
    int staff;
};

// The notes in order, a chord by its first note; rests left out.
std::vector<Melodic> melody(const Phrase& p)
{
    std::vector<Melodic> notes;
    for (const Bar& b : p.bars)
        for (const Event& e : b.events)
            if (!e.isRest())
                notes.push_back({e.notes.front().pitch, e.notes.front().staff});
    return notes;
}

bool isTonicChord(const Key& key, const Pitch& p)
{
    const int degree = key.degreeOf(p.step);
    return p.alter == key.alterFor(p.step) && (degree == 0 || degree == 2 || degree == 4);
}

PhraseRequest request(Level level, Meter meter = Meter::FourFour, int fifths = 0)
{
    PhraseRequest r;
    r.level = level;
    r.time = TimeSignature{meter};
    r.key = Key(fifths, Mode::Major);
    r.bars = 4;
    r.ranges = {KeyRange{27, 63}, KeyRange{3, 39}};
    return r;
}

// Keys within the level, a new one for each seed.
Key keyFor(Level level, std::uint32_t seed)
{
    const int max = levelProfile(level).maxFifths;
    return Key(static_cast<int>(seed % (2 * max + 1)) - max, seed % 2 ? Mode::Minor : Mode::Major);
}

} // namespace

class TestPhraseGenerator : public QObject {
    Q_OBJECT

private slots:
    void reproducible_data();
    void reproducible();
    void rhythmOfEachLevel_data();
    void rhythmOfEachLevel();
    void rangesRespected_data();
    void rangesRespected();
    void intervalsOfEachLevel_data();
    void intervalsOfEachLevel();
    void degreesOfTheKey_data();
    void degreesOfTheKey();
    void chords_data();
    void chords();
    void missedNotesComeMoreOften();
    void keysForTheLevel_data();
    void keysForTheLevel();
};

void TestPhraseGenerator::reproducible_data()
{
    QTest::addColumn<Level>("level");
    QTest::addColumn<Meter>("meter");
    QTest::addColumn<bool>("grand");
    QTest::addColumn<int>("chordNotes");
    QTest::newRow("easy 3/4") << Level::Easy << Meter::ThreeFour << false << 1;
    QTest::newRow("medium 6/8 grand") << Level::Medium << Meter::SixEight << true << 1;
    QTest::newRow("hard 4/4 chords") << Level::Hard << Meter::FourFour << false << 4;
    QTest::newRow("hard 2/4 grand chords") << Level::Hard << Meter::TwoFour << true << 3;
}

void TestPhraseGenerator::reproducible()
{
    QFETCH(Level, level);
    QFETCH(Meter, meter);
    QFETCH(bool, grand);
    QFETCH(int, chordNotes);
    PhraseRequest r = request(level, meter, -3);
    r.grandStaff = grand;
    r.maxChordNotes = chordNotes;
    int differing = 0;
    for (std::uint32_t seed = 1; seed <= 20; ++seed) {
        const Phrase a = generatePhrase(r, seed);
        std::mt19937 engine(seed);
        QCOMPARE(generatePhrase(r, engine), a);
        QCOMPARE(a.key, r.key);
        QCOMPARE(a.time, r.time);
        differing += a == generatePhrase(r, seed + 1000) ? 0 : 1;
    }
    QVERIFY(differing >= 18);
}

void TestPhraseGenerator::rhythmOfEachLevel_data()
{
    QTest::addColumn<Level>("level");
    QTest::addColumn<Meter>("meter");
    QTest::addColumn<bool>("rests");
    QTest::addColumn<QString>("values"); // the values written, by length
    QTest::newRow("easy 2/4") << Level::Easy << Meter::TwoFour << true << "2 4";
    QTest::newRow("easy 3/4") << Level::Easy << Meter::ThreeFour << true << "2 4";
    QTest::newRow("easy 4/4") << Level::Easy << Meter::FourFour << true << "2 4";
    QTest::newRow("medium 2/4") << Level::Medium << Meter::TwoFour << true << "2 4. 4 8";
    QTest::newRow("medium 3/4") << Level::Medium << Meter::ThreeFour << true << "2. 2 4. 4 8";
    QTest::newRow("medium 4/4") << Level::Medium << Meter::FourFour << true << "2. 2 4. 4 8";
    QTest::newRow("hard 2/4") << Level::Hard << Meter::TwoFour << true << "2 4. 4 8 r";
    QTest::newRow("hard 3/4") << Level::Hard << Meter::ThreeFour << true << "2. 2 4. 4 8 r";
    QTest::newRow("hard 4/4") << Level::Hard << Meter::FourFour << true << "1 2. 2 4. 4 8 r";
    QTest::newRow("hard 4/4 without rests") << Level::Hard << Meter::FourFour << false << "1 2. 2 4. 4 8";
    QTest::newRow("easy 6/8") << Level::Easy << Meter::SixEight << true << "2. 4. 4 8";
    QTest::newRow("medium 6/8") << Level::Medium << Meter::SixEight << true << "2. 4. 4 8";
    QTest::newRow("hard 6/8") << Level::Hard << Meter::SixEight << true << "2. 4. 4 8 r";
}

void TestPhraseGenerator::rhythmOfEachLevel()
{
    QFETCH(Level, level);
    QFETCH(Meter, meter);
    QFETCH(bool, rests);
    QFETCH(QString, values);
    PhraseRequest r = request(level, meter);
    r.rests = rests;
    QMap<Fraction, QString> seen; // longest first in the text
    bool anyRest = false;
    for (std::uint32_t seed = 1; seed <= 150; ++seed) {
        r.bars = 1 + seed % 4;
        const Phrase p = generatePhrase(r, seed);
        QCOMPARE(static_cast<int>(p.bars.size()), r.bars);
        QVERIFY(p.barsComplete());
        QVERIFY(!p.bars.front().events.front().isRest());
        const Event& last = p.bars.back().events.back();
        QVERIFY(!last.isRest());
        QVERIFY(last.duration.length() >= p.time.beatLength());
        for (const Bar& b : p.bars) {
            QVERIFY(std::count_if(b.events.begin(), b.events.end(), [](const Event& e) { return e.isRest(); }) <= 1);
            for (const Event& e : b.events) {
                anyRest = anyRest || e.isRest();
                const int n = 1 << static_cast<int>(e.duration.value);
                seen.insert(Fraction(0) - e.duration.length(),
                            QString::number(n) + QString(e.duration.dots, QLatin1Char('.')));
            }
        }
    }
    QStringList found = seen.values();
    if (anyRest)
        found << QStringLiteral("r");
    QCOMPARE(found.join(QLatin1Char(' ')), values);
}

void TestPhraseGenerator::rangesRespected_data()
{
    QTest::addColumn<bool>("grand");
    QTest::addColumn<KeyRange>("upper");
    QTest::addColumn<KeyRange>("lower");
    QTest::newRow("treble octave") << false << KeyRange{39, 51} << KeyRange{};
    QTest::newRow("a fourth") << false << KeyRange{43, 48} << KeyRange{};
    QTest::newRow("one black key") << false << KeyRange{40, 40} << KeyRange{};
    QTest::newRow("two keys, neither in the key") << false << KeyRange{40, 41} << KeyRange{};
    QTest::newRow("ends swapped") << false << KeyRange{60, 39} << KeyRange{};
    QTest::newRow("beyond the keyboard") << false << KeyRange{-10, 200} << KeyRange{};
    QTest::newRow("lowest keys") << false << KeyRange{0, 4} << KeyRange{};
    QTest::newRow("grand staff") << true << KeyRange{39, 60} << KeyRange{15, 39};
    QTest::newRow("grand staff, narrow") << true << KeyRange{51, 53} << KeyRange{20, 22};
}

void TestPhraseGenerator::rangesRespected()
{
    QFETCH(bool, grand);
    QFETCH(KeyRange, upper);
    QFETCH(KeyRange, lower);
    for (Level level : {Level::Easy, Level::Medium, Level::Hard}) {
        PhraseRequest r = request(level, Meter::ThreeFour, 5);
        r.grandStaff = grand;
        r.ranges = {upper, lower};
        r.maxChordNotes = 3;
        std::array<bool, 2> staffUsed{};
        for (std::uint32_t seed = 1; seed <= 60; ++seed) {
            const Phrase p = generatePhrase(r, seed);
            QVERIFY(p.barsComplete());
            for (const Bar& b : p.bars)
                for (const Event& e : b.events)
                    for (const Note& n : e.notes) {
                        QVERIFY(n.staff == 0 || (grand && n.staff == 1));
                        const KeyRange& range = r.ranges[n.staff];
                        const int low = std::clamp(std::min(range.low, range.high), 0, 87);
                        const int high = std::clamp(std::max(range.low, range.high), 0, 87);
                        QVERIFY2(n.pitch.keyIndex() >= low && n.pitch.keyIndex() <= high,
                                 qPrintable(n.pitch.asciiName()));
                        QVERIFY(n.pitch.isValid());
                        staffUsed[n.staff] = true;
                    }
        }
        QVERIFY(staffUsed[0]);
        QCOMPARE(staffUsed[1], grand);
    }
}

void TestPhraseGenerator::intervalsOfEachLevel_data()
{
    QTest::addColumn<Level>("level");
    QTest::addColumn<std::uint32_t>("firstSeed");
    QTest::addColumn<int>("maxSteps");
    QTest::addColumn<double>("minStepShare");
    QTest::addColumn<double>("minLargeShare"); // a fourth or more
    // The shares were set on the first seeds; the second set is held out.
    for (std::uint32_t first : {1u, 50001u}) {
        const char* set = first == 1 ? "" : ", held out";
        QTest::newRow(qPrintable(QStringLiteral("easy%1").arg(set))) << Level::Easy << first << 2 << 0.6 << 0.0;
        QTest::newRow(qPrintable(QStringLiteral("medium%1").arg(set))) << Level::Medium << first << 5 << 0.5 << 0.12;
        QTest::newRow(qPrintable(QStringLiteral("hard%1").arg(set))) << Level::Hard << first << 7 << 0.4 << 0.18;
    }
}

void TestPhraseGenerator::intervalsOfEachLevel()
{
    QFETCH(Level, level);
    QFETCH(std::uint32_t, firstSeed);
    QFETCH(int, maxSteps);
    QFETCH(double, minStepShare);
    QFETCH(double, minLargeShare);
    int intervals = 0, steps = 0, large = 0, octaves = 0;
    for (std::uint32_t seed = firstSeed; seed < firstSeed + 300; ++seed) {
        PhraseRequest r = request(level, static_cast<Meter>(seed % 4));
        r.key = keyFor(level, seed);
        const std::vector<Melodic> notes = melody(generatePhrase(r, seed));
        for (size_t i = 1; i < notes.size(); ++i) {
            const int leap = notes[i].pitch.diatonicIndex() - notes[i - 1].pitch.diatonicIndex();
            QVERIFY2(std::abs(leap) <= maxSteps, qPrintable(QString::number(leap)));
            ++intervals;
            steps += std::abs(leap) == 1 ? 1 : 0;
            large += std::abs(leap) >= 3 ? 1 : 0;
            octaves += std::abs(leap) == 7 ? 1 : 0;
            // A leap of a fourth or more is answered by a step the other way.
            if (std::abs(leap) >= 3) {
                QVERIFY(i + 1 < notes.size());
                const int after = notes[i + 1].pitch.diatonicIndex() - notes[i].pitch.diatonicIndex();
                QCOMPARE(after, leap > 0 ? -1 : 1);
            }
        }
    }
    const double stepShare = double(steps) / intervals;
    const double largeShare = double(large) / intervals;
    qInfo("%d intervals: steps %.2f, a fourth or more %.2f, octaves %.3f", intervals, stepShare, largeShare,
          double(octaves) / intervals);
    QVERIFY(stepShare >= minStepShare);
    QVERIFY(largeShare >= minLargeShare);
    QVERIFY(level == Level::Easy ? largeShare == 0 : largeShare < stepShare);
    QCOMPARE(octaves > 0, level == Level::Hard);
}

void TestPhraseGenerator::degreesOfTheKey_data()
{
    QTest::addColumn<Level>("level");
    QTest::addColumn<std::uint32_t>("firstSeed");
    for (std::uint32_t first : {1u, 70001u}) {
        const char* set = first == 1 ? "" : ", held out";
        QTest::newRow(qPrintable(QStringLiteral("easy%1").arg(set))) << Level::Easy << first;
        QTest::newRow(qPrintable(QStringLiteral("medium%1").arg(set))) << Level::Medium << first;
        QTest::newRow(qPrintable(QStringLiteral("hard%1").arg(set))) << Level::Hard << first;
    }
}

void TestPhraseGenerator::degreesOfTheKey()
{
    QFETCH(Level, level);
    QFETCH(std::uint32_t, firstSeed);
    int notes = 0, chromatic = 0;
    for (std::uint32_t seed = firstSeed; seed < firstSeed + 300; ++seed) {
        PhraseRequest r = request(level, static_cast<Meter>(seed % 4));
        r.key = keyFor(level, seed);
        const std::vector<Melodic> m = melody(generatePhrase(r, seed));
        QVERIFY(isTonicChord(r.key, m.front().pitch));
        QVERIFY(isTonicChord(r.key, m.back().pitch));
        for (size_t i = 0; i < m.size(); ++i) {
            ++notes;
            const int off = m[i].pitch.alter - r.key.alterFor(m[i].pitch.step);
            if (off == 0)
                continue;
            ++chromatic;
            // Off the scale by a semitone, then on by step the way it leans.
            QCOMPARE(std::abs(off), 1);
            QVERIFY(i + 1 < m.size());
            QCOMPARE(m[i + 1].pitch.diatonicIndex() - m[i].pitch.diatonicIndex(), off);
        }
    }
    const double share = double(chromatic) / notes;
    qInfo("%d notes, %.3f off the scale", notes, share);
    if (level == Level::Hard)
        QVERIFY(share > 0.01 && share < 0.12);
    else
        QCOMPARE(chromatic, 0);
}

void TestPhraseGenerator::chords_data()
{
    QTest::addColumn<int>("maxNotes");
    QTest::newRow("single notes") << 1;
    QTest::newRow("intervals") << 2;
    QTest::newRow("up to three") << 3;
    QTest::newRow("up to four") << 4;
}

void TestPhraseGenerator::chords()
{
    QFETCH(int, maxNotes);
    int largest = 0, events = 0, chords = 0;
    for (std::uint32_t seed = 1; seed <= 100; ++seed) {
        PhraseRequest r = request(static_cast<Level>(seed % 3), Meter::FourFour, -2);
        r.grandStaff = seed % 2;
        r.maxChordNotes = maxNotes;
        for (const Bar& b : generatePhrase(r, seed).bars)
            for (const Event& e : b.events) {
                if (e.isRest())
                    continue;
                ++events;
                chords += e.isChord() ? 1 : 0;
                largest = std::max(largest, static_cast<int>(e.notes.size()));
                QVERIFY(static_cast<int>(e.notes.size()) <= maxNotes);
                for (size_t k = 1; k < e.notes.size(); ++k) {
                    QCOMPARE(e.notes[k].staff, e.notes[0].staff);
                    QVERIFY(e.notes[k].pitch.midi() > e.notes[k - 1].pitch.midi());
                }
                // One hand: within an octave.
                QVERIFY(e.notes.back().pitch.diatonicIndex() - e.notes.front().pitch.diatonicIndex() <= 7);
            }
    }
    QCOMPARE(largest, maxNotes);
    if (maxNotes > 1)
        QVERIFY(chords > events / 4 && chords < events * 3 / 4);
}

void TestPhraseGenerator::missedNotesComeMoreOften()
{
    // G4 (key index 46) missed often on the treble staff.
    KeyWeights weights{};
    weights[0][46] = 8;
    auto countG4 = [](const KeyWeights* w) {
        int count = 0;
        for (std::uint32_t seed = 1; seed <= 200; ++seed) {
            PhraseRequest r = request(Level::Medium);
            r.weights = w;
            for (const Melodic& m : melody(generatePhrase(r, seed)))
                count += m.pitch.keyIndex() == 46 ? 1 : 0;
        }
        return count;
    };
    const int plain = countG4(nullptr);
    const int weighted = countG4(&weights);
    qInfo("G4 %d times plain, %d times weighted", plain, weighted);
    QVERIFY(weighted > plain * 3 / 2);
    // Weights on the other staff or out of reason change nothing they should not.
    KeyWeights lower{};
    lower[1][46] = 8;
    QCOMPARE(countG4(&lower), plain);
    KeyWeights wild{};
    wild[0].fill(-5);
    QCOMPARE(countG4(&wild), plain);
}

void TestPhraseGenerator::keysForTheLevel_data()
{
    QTest::addColumn<Level>("level");
    QTest::addColumn<QList<int>>("set");
    QTest::addColumn<QList<int>>("allowed");
    QTest::newRow("easy keeps to one accidental") << Level::Easy << QList<int>{0, 1, -1, 2, -4} << QList<int>{0, 1, -1};
    QTest::newRow("medium to three") << Level::Medium << QList<int>{3, -3, 4, 7} << QList<int>{3, -3};
    QTest::newRow("hard takes all") << Level::Hard << QList<int>{7, -7, 0} << QList<int>{7, -7, 0};
    QTest::newRow("none allowed: the fewest") << Level::Easy << QList<int>{5, -3, 6} << QList<int>{-3};
    QTest::newRow("an empty set: C major") << Level::Medium << QList<int>{} << QList<int>{0};
}

void TestPhraseGenerator::keysForTheLevel()
{
    QFETCH(Level, level);
    QFETCH(QList<int>, set);
    QFETCH(QList<int>, allowed);
    std::vector<Key> keys;
    for (int f : set)
        keys.emplace_back(f, Mode::Major);
    std::mt19937 engine(7);
    QSet<int> drawn;
    for (int i = 0; i < 100; ++i)
        drawn.insert(drawKey(keys, level, engine).fifths());
    QCOMPARE(drawn, QSet<int>(allowed.begin(), allowed.end()));
    QVERIFY(!levelName(level).isEmpty());
}

QTEST_GUILESS_MAIN(TestPhraseGenerator)
#include "tst_phrasegenerator.moc"
