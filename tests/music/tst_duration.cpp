// SPDX-License-Identifier: GPL-3.0-or-later
#include "music/duration.h"
#include "music/timesignature.h"
#include "support/phrasetext.h"

#include <QTest>

using namespace tonvero::music;

Q_DECLARE_METATYPE(tonvero::music::Meter)
Q_DECLARE_METATYPE(tonvero::music::Fraction)

class TestDuration : public QObject {
    Q_OBJECT

private slots:
    void lengths_data();
    void lengths();
    void fractions();
    void meters_data();
    void anyMeter_data();
    void anyMeter();
    void meters();
    void barsOfAPhrase();
};

void TestDuration::lengths_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<Fraction>("length");
    QTest::addColumn<int>("flags");
    QTest::newRow("whole") << "1" << Fraction(1) << 0;
    QTest::newRow("dotted half") << "2." << Fraction(3, 4) << 0;
    QTest::newRow("quarter") << "4" << Fraction(1, 4) << 0;
    QTest::newRow("dotted quarter") << "4." << Fraction(3, 8) << 0;
    QTest::newRow("double-dotted quarter") << "4.." << Fraction(7, 16) << 0;
    QTest::newRow("eighth") << "8" << Fraction(1, 8) << 1;
    QTest::newRow("dotted eighth") << "8." << Fraction(3, 16) << 1;
    QTest::newRow("sixteenth") << "16" << Fraction(1, 16) << 2;
}

void TestDuration::lengths()
{
    QFETCH(QString, value);
    QFETCH(Fraction, length);
    QFETCH(int, flags);
    const Duration d = phrasetext::duration(value);
    QCOMPARE(d.length(), length);
    QCOMPARE(d.flagCount(), flags);
    QCOMPARE(Duration::fromLength(length), std::optional<Duration>(d));
}

void TestDuration::fractions()
{
    QCOMPARE(Fraction(2, 8), Fraction(1, 4));
    QCOMPARE(Fraction(1, -4), Fraction(-1, 4));
    QCOMPARE(Fraction(1, 4) + Fraction(1, 8), Fraction(3, 8));
    QCOMPARE(Fraction(3, 4) - Fraction(3, 4), Fraction(0));
    QVERIFY(Fraction(3, 8) < Fraction(1, 2));
    QVERIFY(Fraction(1, 2) >= Fraction(2, 4));
    QCOMPARE(Fraction(1, 0), Fraction(0)); // a broken length reads as none
    // A length no single note writes.
    QCOMPARE(Duration::fromLength(Fraction(5, 8)), std::optional<Duration>());
    // A value cast from a bad number reads as the shortest.
    QCOMPARE((Duration{static_cast<NoteValue>(40), 0}.length()), Fraction(1, 16));
}

void TestDuration::meters_data()
{
    QTest::addColumn<Meter>("meter");
    QTest::addColumn<QString>("written");
    QTest::addColumn<int>("beats");
    QTest::addColumn<Fraction>("beat");
    QTest::addColumn<QString>("groups");
    QTest::newRow("2/4") << Meter::TwoFour << "2/4" << 2 << Fraction(1, 4) << "1/4 1/4";
    QTest::newRow("3/4") << Meter::ThreeFour << "3/4" << 3 << Fraction(1, 4) << "1/4 1/4 1/4";
    QTest::newRow("4/4") << Meter::FourFour << "4/4" << 4 << Fraction(1, 4) << "1/2 1/2";
    QTest::newRow("6/8") << Meter::SixEight << "6/8" << 2 << Fraction(3, 8) << "3/8 3/8";
    QTest::newRow("unknown reads as 4/4") << static_cast<Meter>(9) << "4/4" << 4 << Fraction(1, 4) << "1/2 1/2";
}

void TestDuration::anyMeter_data()
{
    QTest::addColumn<int>("numerator");
    QTest::addColumn<int>("denominator");
    QTest::addColumn<QString>("written");
    QTest::addColumn<int>("beats");
    QTest::addColumn<Fraction>("beat");
    QTest::addColumn<QString>("groups");
    QTest::newRow("6/8 is the named meter") << 6 << 8 << "6/8" << 2 << Fraction(3, 8) << "3/8 3/8";
    QTest::newRow("3/8") << 3 << 8 << "3/8" << 3 << Fraction(1, 8) << "1/8 1/8 1/8";
    QTest::newRow("9/8 compound") << 9 << 8 << "9/8" << 3 << Fraction(3, 8) << "3/8 3/8 3/8";
    QTest::newRow("12/8 compound") << 12 << 8 << "12/8" << 4 << Fraction(3, 8) << "3/8 3/8 3/8 3/8";
    QTest::newRow("5/4") << 5 << 4 << "5/4" << 5 << Fraction(1, 4) << "1/4 1/4 1/4 1/4 1/4";
    QTest::newRow("2/2") << 2 << 2 << "2/2" << 2 << Fraction(1, 2) << "1/2 1/2";
    QTest::newRow("3/16 beamed by the eighth") << 3 << 16 << "3/16" << 3 << Fraction(1, 16) << "1/8 1/16";
    QTest::newRow("no beats reads as 4/4") << 0 << 4 << "4/4" << 4 << Fraction(1, 4) << "1/2 1/2";
    QTest::newRow("a denominator no note has reads as 4/4") << 7 << 3 << "4/4" << 4 << Fraction(1, 4) << "1/2 1/2";
}

void TestDuration::anyMeter()
{
    QFETCH(int, numerator);
    QFETCH(int, denominator);
    QFETCH(QString, written);
    QFETCH(int, beats);
    QFETCH(Fraction, beat);
    QFETCH(QString, groups);
    const TimeSignature t = TimeSignature::of(numerator, denominator);
    QCOMPARE(QStringLiteral("%1/%2").arg(t.numerator()).arg(t.denominator()), written);
    QCOMPARE(t.beatsPerBar(), beats);
    QCOMPARE(t.beatLength(), beat);
    QCOMPARE(beat * beats, t.barLength());
    QStringList found;
    Fraction total;
    for (const Fraction& g : t.beamGroups()) {
        found << QStringLiteral("%1/%2").arg(g.num).arg(g.den);
        total += g;
    }
    QCOMPARE(found.join(QLatin1Char(' ')), groups);
    QCOMPARE(total, t.barLength());
}

void TestDuration::meters()
{
    QFETCH(Meter, meter);
    QFETCH(QString, written);
    QFETCH(int, beats);
    QFETCH(Fraction, beat);
    QFETCH(QString, groups);
    const TimeSignature t{meter};
    QCOMPARE(QStringLiteral("%1/%2").arg(t.numerator()).arg(t.denominator()), written);
    QCOMPARE(t.beatsPerBar(), beats);
    QCOMPARE(t.beatLength(), beat);
    QCOMPARE(beat * beats, t.barLength());
    QStringList found;
    Fraction total;
    for (const Fraction& g : t.beamGroups()) {
        found << QStringLiteral("%1/%2").arg(g.num).arg(g.den);
        total += g;
    }
    QCOMPARE(found.join(QLatin1Char(' ')), groups);
    QCOMPARE(total, t.barLength()); // the groups cover the bar
}

void TestDuration::barsOfAPhrase()
{
    Phrase p = phrasetext::phrase("4:C4 4:D4 2:E4 | 2.:G4 8:r 8:A4", Key{}, Meter::FourFour);
    QCOMPARE(p.eventCount(), 6);
    QCOMPARE(p.eventAt(0), &p.bars[0].events[0]);
    QCOMPARE(p.eventAt(3), &p.bars[1].events[0]);
    QCOMPARE(p.eventAt(5), &p.bars[1].events[2]);
    QCOMPARE(p.eventAt(6), nullptr);
    QCOMPARE(p.eventAt(-1), nullptr);
    QVERIFY(p.barsComplete());
    QCOMPARE(p.bars[1].length(), Fraction(1));
    p.bars[1].events.pop_back();
    QVERIFY(!p.barsComplete());
    QVERIFY(p.bars[1].events.back().isRest());
    QVERIFY(!p.bars[0].events.front().isChord());
}

QTEST_GUILESS_MAIN(TestDuration)
#include "tst_duration.moc"
