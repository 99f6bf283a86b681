// SPDX-License-Identifier: GPL-3.0-or-later
#include "notation/linelayout.h"
#include "support/phrasetext.h"

#include <QTest>

#include <algorithm>
#include <cmath>

using namespace tonvero::music;
using namespace tonvero::notation;
using phrasetext::phrase;

Q_DECLARE_METATYPE(tonvero::notation::Clef)
Q_DECLARE_METATYPE(tonvero::notation::StaffClef)
Q_DECLARE_METATYPE(tonvero::music::Meter)

namespace {

constexpr double Tolerance = 1e-9;

QString joined(const std::vector<int>& values)
{
    QStringList parts;
    for (int v : values)
        parts << QString::number(v);
    return parts.join(QLatin1Char(' '));
}

const Stem* stemOf(const LineLayout& l, int event, int staff = 0)
{
    for (const Stem& s : l.stems)
        if (s.event == event && s.staff == staff)
            return &s;
    return nullptr;
}

std::vector<const Notehead*> headsOf(const LineLayout& l, int event, int staff = 0)
{
    std::vector<const Notehead*> heads;
    for (const Notehead& h : l.noteheads)
        if (h.event == event && h.staff == staff)
            heads.push_back(&h);
    std::sort(heads.begin(), heads.end(), [](auto a, auto b) { return a->position < b->position; });
    return heads;
}

// From the notehead nearest the tip to the tip.
double stemLength(const LineLayout& l, const Stem& s)
{
    const auto heads = headsOf(l, s.event, s.staff);
    const int near = s.direction == StemDirection::Up ? heads.back()->position : heads.front()->position;
    return std::abs(l.y(s.staff, near) - s.yTip);
}

// "b" double flat, "-" flat, "n" natural, "+" sharp, "x" double sharp, "." nothing, per event.
QString accidentalsText(const LineLayout& l, int events)
{
    QString text;
    for (int e = 0; e < events; ++e) {
        QString here;
        for (const AccidentalMark& a : l.accidentals)
            if (a.event == e)
                here += QStringLiteral("b-n+x").at(static_cast<int>(a.sign) + 2);
        text += here.isEmpty() ? QStringLiteral(".") : here;
    }
    return text;
}

} // namespace

class TestLineLayout : public QObject {
    Q_OBJECT

private slots:
    void staffPositions_data();
    void staffPositions();
    void stems_data();
    void stems();
    void beamGroups_data();
    void beamGroups();
    void beamSlope_data();
    void beamSlope();
    void accidentals_data();
    void accidentals();
    void keySignature_data();
    void keySignature();
    void ledgerLines_data();
    void ledgerLines();
    void seconds_data();
    void seconds();
    void dots_data();
    void dots();
    void spacingByDuration();
    void stretchesToWidth();
    void grandStaffRestsAndBars();
    void badInputLaysOutSafely();
};

void TestLineLayout::staffPositions_data()
{
    QTest::addColumn<StaffClef>("clef");
    QTest::addColumn<QString>("note");
    QTest::addColumn<int>("position");
    QTest::newRow("treble bottom line E4") << StaffClef::Treble << "E4" << 0;
    QTest::newRow("treble middle C below") << StaffClef::Treble << "C4" << -2;
    QTest::newRow("treble F#5 top line") << StaffClef::Treble << "F#5" << 8;
    QTest::newRow("bass bottom line G2") << StaffClef::Bass << "G2" << 0;
    QTest::newRow("bass middle C above") << StaffClef::Bass << "C4" << 10;
    QTest::newRow("alto middle line C4") << StaffClef::Alto << "C4" << 4;
    QTest::newRow("Cb5 stands as C5") << StaffClef::Treble << "Cb5" << 5;
    QTest::newRow("B#3 stands as B3") << StaffClef::Treble << "B#3" << -3;
}

void TestLineLayout::staffPositions()
{
    QFETCH(StaffClef, clef);
    QFETCH(QString, note);
    QFETCH(int, position);
    QCOMPARE(staffPosition(phrasetext::pitch(note), clef), position);
}

void TestLineLayout::stems_data()
{
    QTest::addColumn<Clef>("clef");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("up");
    QTest::addColumn<double>("length");
    QTest::newRow("middle line: down") << Clef::Treble << "4:B4" << false << 3.5;
    QTest::newRow("below middle: up") << Clef::Treble << "4:A4" << true << 3.5;
    QTest::newRow("top line: down") << Clef::Treble << "2:F5" << false << 3.5;
    QTest::newRow("high ledger: to the middle line") << Clef::Treble << "4:C6" << false << 4.0;
    QTest::newRow("low ledger: to the middle line") << Clef::Treble << "4:A3" << true << 4.0;
    QTest::newRow("bass D3 on middle line") << Clef::Bass << "4:D3" << false << 3.5;
    QTest::newRow("bass C3 below") << Clef::Bass << "4:C3" << true << 3.5;
    QTest::newRow("alto C4 on middle line") << Clef::Alto << "4:C4" << false << 3.5;
    QTest::newRow("alto B3 below") << Clef::Alto << "4:B3" << true << 3.5;
    QTest::newRow("chord, lower note farther") << Clef::Treble << "4:[C4,E4,G4]" << true << 3.5;
    QTest::newRow("chord, upper note farther") << Clef::Treble << "4:[G4,F5]" << false << 3.5;
    QTest::newRow("chord, both as far: down") << Clef::Treble << "4:[E4,F5]" << false << 3.5;
    QTest::newRow("eighth flag") << Clef::Treble << "8:D5 8:r 4:r 2:r" << false << 3.5;
    QTest::newRow("sixteenth flag is longer") << Clef::Treble << "16:G4 8.:r 4:r 2:r" << true << 4.0;
}

void TestLineLayout::stems()
{
    QFETCH(Clef, clef);
    QFETCH(QString, line);
    QFETCH(bool, up);
    QFETCH(double, length);
    const LineLayout l = layoutLine(phrase(line), clef);
    const Stem* s = stemOf(l, 0);
    QVERIFY(s);
    QCOMPARE(s->direction == StemDirection::Up, up);
    QVERIFY2(std::abs(stemLength(l, *s) - length) < Tolerance, qPrintable(QString::number(stemLength(l, *s))));
    // An up stem stands on the right of the noteheads, a down stem on the left.
    const Notehead* head = headsOf(l, 0).front();
    QCOMPARE(s->x, up ? head->x + 1.18 : head->x);
    // The stem runs from the farthest notehead.
    const int far = up ? headsOf(l, 0).front()->position : headsOf(l, 0).back()->position;
    QVERIFY(std::abs(s->yBase - l.y(0, far)) < Tolerance);
    const bool flagged = line.startsWith(QLatin1String("8:")) || line.startsWith(QLatin1String("16:"));
    QCOMPARE(l.flags.size(), flagged ? size_t(1) : size_t(0));
}

void TestLineLayout::beamGroups_data()
{
    QTest::addColumn<Meter>("meter");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("beams");
    QTest::addColumn<int>("flags");
    QTest::newRow("2/4 by the beat") << Meter::TwoFour << "8:C5 8:D5 8:E5 8:F5" << "0 1,2 3" << 0;
    QTest::newRow("3/4 by the beat") << Meter::ThreeFour << "8:C5 8:D5 8:E5 8:F5 8:G5 8:A5" << "0 1,2 3,4 5" << 0;
    QTest::newRow("4/4 by the half bar")
        << Meter::FourFour << "8:C5 8:D5 8:E5 8:F5 8:G5 8:A5 8:G5 8:F5" << "0 1 2 3,4 5 6 7" << 0;
    QTest::newRow("6/8 by the dotted quarter") << Meter::SixEight << "8:C5 8:D5 8:E5 8:F5 8:G5 8:A5" << "0 1 2,3 4 5" << 0;
    QTest::newRow("4/4 never across the middle")
        << Meter::FourFour << "4:C5 8:D5 8:E5 8:F5 8:G5 4:A5" << "1 2,3 4" << 0;
    QTest::newRow("4/4 sixteenths by the beat")
        << Meter::FourFour << "16:C5 16:D5 16:E5 16:F5 8:G5 8:A5 2:B5" << "0 1 2 3,4 5" << 0;
    QTest::newRow("a rest breaks the beam") << Meter::ThreeFour << "8:C5 8:r 8:D5 8:E5 4:F5" << "2 3" << 1;
    QTest::newRow("a lone eighth is flagged") << Meter::SixEight << "4:C5 8:D5 8:E5 8:F5 8:G5" << "2 3 4" << 1;
    QTest::newRow("quarters take no beam") << Meter::TwoFour << "4:C5 4:D5" << "" << 0;
}

void TestLineLayout::beamGroups()
{
    QFETCH(Meter, meter);
    QFETCH(QString, line);
    QFETCH(QString, beams);
    QFETCH(int, flags);
    const LineLayout l = layoutLine(phrase(line, Key{}, meter), Clef::Treble);
    QStringList groups;
    for (const Beam& b : l.beams)
        groups << joined(b.events);
    QCOMPARE(groups.join(QLatin1Char(',')), beams);
    QCOMPARE(static_cast<int>(l.flags.size()), flags);
    // Every beamed stem ends on its beam.
    for (const Beam& b : l.beams)
        for (int e : b.events) {
            const Stem* s = stemOf(l, e);
            QVERIFY(s);
            QVERIFY(std::abs(s->yTip - b.yAt(s->x)) < Tolerance);
        }
}

void TestLineLayout::beamSlope_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("up");
    QTest::addColumn<double>("rise"); // of the beam, first stem to last, in spaces
    QTest::newRow("a second rises a quarter space") << "8:G4 8:A4 4:r 2:r" << true << 0.25;
    QTest::newRow("a third half a space") << "8:E4 8:G4 4:r 2:r" << true << 0.5;
    QTest::newRow("a falling fourth") << "8:D5 8:A4 4:r 2:r" << false << -0.75;
    QTest::newRow("a wide leap at most one space") << "8:E4 8:C6 4:r 2:r" << false << 1.0;
    QTest::newRow("same notes: flat") << "8:C5 8:C5 4:r 2:r" << false << 0.0;
    QTest::newRow("an inner note nearer the beam: flat") << "8:C5 8:A4 8:C5 8:D5 2:r" << false << 0.0;
    QTest::newRow("four notes, the farthest decides") << "8:D4 8:A4 8:B4 8:C5 2:r" << true << 1.0;
}

void TestLineLayout::beamSlope()
{
    QFETCH(QString, line);
    QFETCH(bool, up);
    QFETCH(double, rise);
    const LineLayout l = layoutLine(phrase(line), Clef::Treble);
    QCOMPARE(l.beams.size(), size_t(1));
    const Beam& b = l.beams.front();
    QCOMPARE(b.direction == StemDirection::Up, up);
    QVERIFY2(std::abs((b.y1 - b.y2) - rise) < Tolerance, qPrintable(QString::number(b.y1 - b.y2)));
    // The shortest stem has the normal length, none is shorter, all reach the middle line.
    double shortest = 1e9;
    for (int e : b.events) {
        const Stem* s = stemOf(l, e);
        QVERIFY(s);
        QCOMPARE(s->direction, b.direction);
        shortest = std::min(shortest, stemLength(l, *s));
        if (up)
            QVERIFY(s->yTip <= l.y(0, 4) + Tolerance);
        else
            QVERIFY(s->yTip >= l.y(0, 4) - Tolerance);
    }
    QVERIFY2(shortest >= 3.5 - Tolerance, qPrintable(QString::number(shortest)));
}

void TestLineLayout::accidentals_data()
{
    QTest::addColumn<int>("fifths");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("expected");
    QTest::newRow("C: a sharp, kept, cancelled") << 0 << "4:F#4 4:F#4 4:F4 4:C5" << "+.n.";
    QTest::newRow("G: F# is in the key") << 1 << "4:F#4 4:F4 4:F4 4:F#4" << ".n.+";
    QTest::newRow("F: B natural then flat again") << -1 << "4:Bb4 4:B4 4:Bb4 4:A4" << ".n-.";
    QTest::newRow("D: the bar line cancels, the key returns") << 2 << "2:C#5 2:C5 | 2:C5 2:C#5" << ".n" "n+";
    QTest::newRow("C: another octave is its own") << 0 << "4:F#4 4:F5 4:F#5 4:F4" << "+.+n";
    QTest::newRow("D: double sharp, then back to sharp") << 2 << "4:Fx4 4:F#4 4:G4 4:A4" << "x+..";
    QTest::newRow("E minor: raised seventh") << 1 << "4:D#5 4:E5 4:D5 4:B4" << "+.n.";
    QTest::newRow("Bb: E natural in a chord") << -2 << "2:[C4,E4,G4] 2:[Eb4,G4]" << "n-";
    QTest::newRow("seven flats: Cb is the key's") << -7 << "4:Cb5 4:C5 4:Fb4 4:F4" << ".n.n";
}

void TestLineLayout::accidentals()
{
    QFETCH(int, fifths);
    QFETCH(QString, line);
    QFETCH(QString, expected);
    const Phrase p = phrase(line, Key(fifths, Mode::Major));
    QCOMPARE(accidentalsText(layoutLine(p, Clef::Treble), p.eventCount()), expected);
}

void TestLineLayout::keySignature_data()
{
    QTest::addColumn<StaffClef>("clef");
    QTest::addColumn<int>("fifths");
    QTest::addColumn<QString>("positions");
    QTest::newRow("C major: none") << StaffClef::Treble << 0 << "";
    QTest::newRow("treble, 7 sharps") << StaffClef::Treble << 7 << "8 5 9 6 3 7 4";
    QTest::newRow("treble, 7 flats") << StaffClef::Treble << -7 << "4 7 3 6 2 5 1";
    QTest::newRow("treble, 2 sharps") << StaffClef::Treble << 2 << "8 5";
    QTest::newRow("treble, 3 flats") << StaffClef::Treble << -3 << "4 7 3";
    QTest::newRow("bass, 7 sharps") << StaffClef::Bass << 7 << "6 3 7 4 1 5 2";
    QTest::newRow("bass, 7 flats") << StaffClef::Bass << -7 << "2 5 1 4 0 3 -1";
    QTest::newRow("alto, 7 sharps") << StaffClef::Alto << 7 << "7 4 8 5 2 6 3";
    QTest::newRow("alto, 7 flats") << StaffClef::Alto << -7 << "3 6 2 5 1 4 0";
}

void TestLineLayout::keySignature()
{
    QFETCH(StaffClef, clef);
    QFETCH(int, fifths);
    QFETCH(QString, positions);
    for (Mode mode : {Mode::Major, Mode::Minor})
        QCOMPARE(joined(keySignaturePositions(Key(fifths, mode), clef)), positions);

    // On the grand staff each staff writes its own, left to right, before the time signature.
    const LineLayout g = layoutLine(phrase("1:C5", Key(fifths, Mode::Major)), Clef::Grand);
    for (int staff = 0; staff < 2; ++staff) {
        std::vector<int> found;
        double lastX = -1;
        for (const AccidentalMark& a : g.keySignature)
            if (a.staff == staff) {
                found.push_back(a.position);
                QVERIFY(a.x > lastX);
                QVERIFY(a.x < g.timeSignatures.front().x);
                QCOMPARE(a.sign, fifths > 0 ? Accidental::Sharp : Accidental::Flat);
                lastX = a.x;
            }
        QCOMPARE(joined(found), joined(keySignaturePositions(Key(fifths, Mode::Major),
                                                             staff == 0 ? StaffClef::Treble : StaffClef::Bass)));
    }
}

void TestLineLayout::ledgerLines_data()
{
    QTest::addColumn<Clef>("clef");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("positions");
    QTest::newRow("treble C4") << Clef::Treble << "1:C4" << "-2";
    QTest::newRow("treble B3") << Clef::Treble << "1:B3" << "-2";
    QTest::newRow("treble A3") << Clef::Treble << "1:A3" << "-2 -4";
    QTest::newRow("treble D4: none") << Clef::Treble << "1:D4" << "";
    QTest::newRow("treble G5: none") << Clef::Treble << "1:G5" << "";
    QTest::newRow("treble A5") << Clef::Treble << "1:A5" << "10";
    QTest::newRow("treble C6") << Clef::Treble << "1:C6" << "10 12";
    QTest::newRow("bass C4") << Clef::Bass << "1:C4" << "10";
    QTest::newRow("bass E4") << Clef::Bass << "1:E4" << "10 12";
    QTest::newRow("bass F2: none") << Clef::Bass << "1:F2" << "";
    QTest::newRow("alto C5") << Clef::Alto << "1:C5" << "10";
    QTest::newRow("alto A2") << Clef::Alto << "1:A2" << "-2 -4";
    QTest::newRow("chord across both sides") << Clef::Treble << "1:[A3,C6]" << "10 12 -2 -4";
}

void TestLineLayout::ledgerLines()
{
    QFETCH(Clef, clef);
    QFETCH(QString, line);
    QFETCH(QString, positions);
    const LineLayout l = layoutLine(phrase(line), clef);
    std::vector<int> found;
    for (const LedgerLine& ledger : l.ledgerLines) {
        found.push_back(ledger.position);
        // Wider than the notehead on both sides.
        for (const Notehead& h : l.noteheads) {
            QVERIFY(ledger.x1 < h.x);
            QVERIFY(ledger.x2 > h.x + 1.18);
        }
    }
    QCOMPARE(joined(found), positions);
    // Each belongs to its note's event, so a played note's ledger lines go with it.
    const LineLayout two = layoutLine(phrase(line + QStringLiteral(" ") + line), clef);
    for (const LedgerLine& ledger : two.ledgerLines) {
        QVERIFY(ledger.event == 0 || ledger.event == 1);
        QVERIFY(ledger.x1 < two.events[ledger.event].x && ledger.x2 > two.events[ledger.event].x);
    }
}

void TestLineLayout::seconds_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("up");
    QTest::addColumn<QString>("displaced"); // per note, low to high
    QTest::newRow("second, stem up: upper note right") << "4:[G4,A4]" << true << "01";
    QTest::newRow("second, stem down: lower note left") << "4:[C5,D5]" << false << "10";
    QTest::newRow("cluster of three, up") << "4:[G4,A4,B4]" << true << "010";
    QTest::newRow("cluster of four, up") << "4:[F4,G4,A4,B4]" << true << "0101";
    QTest::newRow("second above a third, up") << "4:[C4,E4,F4]" << true << "001";
    QTest::newRow("second under a third, down") << "4:[E5,F5,A5]" << false << "100";
    QTest::newRow("no second: none displaced") << "4:[C4,E4,G4]" << true << "000";
    QTest::newRow("whole notes side by side") << "1:[G4,A4]" << true << "01";
}

void TestLineLayout::seconds()
{
    QFETCH(QString, line);
    QFETCH(bool, up);
    QFETCH(QString, displaced);
    const LineLayout l = layoutLine(phrase(line), Clef::Treble);
    const auto heads = headsOf(l, 0);
    QString found;
    for (const Notehead* h : heads)
        found += h->displaced ? QLatin1Char('1') : QLatin1Char('0');
    QCOMPARE(found, displaced);
    const double column = l.events.front().x;
    const double width = heads.front()->value == NoteValue::Whole ? 1.7 : 1.18;
    for (const Notehead* h : heads)
        QCOMPARE(h->x, h->displaced ? column + (up ? width : -width) : column);
    if (const Stem* s = stemOf(l, 0)) {
        QCOMPARE(s->direction == StemDirection::Up, up);
        QCOMPARE(s->x, up ? column + width : column);
    }
}

void TestLineLayout::dots_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("positions");
    QTest::newRow("line note: space above") << "2.:E4 4:r" << "1";
    QTest::newRow("space note: its space") << "2.:F4 4:r" << "1";
    QTest::newRow("chord of thirds") << "2.:[E4,G4] 4:r" << "1 3";
    QTest::newRow("second: the lower goes down") << "2.:[E4,F4] 4:r" << "1 -1";
    QTest::newRow("double dot") << "2..:B4 8:r" << "5 5";
    QTest::newRow("dotted rest") << "2.:r 4:C5" << "5";
}

void TestLineLayout::dots()
{
    QFETCH(QString, line);
    QFETCH(QString, positions);
    const LineLayout l = layoutLine(phrase(line), Clef::Treble);
    std::vector<int> found;
    for (const Dot& d : l.dots) {
        found.push_back(d.position);
        for (const Notehead& h : l.noteheads)
            if (h.event == d.event)
                QVERIFY(d.x > h.x + 1.18); // right of every head of its chord
    }
    std::sort(found.begin(), found.end(), std::greater<>());
    std::vector<int> expected;
    for (const QString& p : positions.split(QLatin1Char(' ')))
        expected.push_back(p.toInt());
    std::sort(expected.begin(), expected.end(), std::greater<>());
    QCOMPARE(joined(found), joined(expected));
}

void TestLineLayout::spacingByDuration()
{
    const LineLayout l = layoutLine(phrase("2:C5 4.:C5 8:C5 | 4:C5 8:C5 8:C5 4:C#5 4:C#5"), Clef::Treble);
    const auto& e = l.events;
    QCOMPARE(e.size(), size_t(8));
    const double half = e[1].x - e[0].x;
    const double dottedQuarter = e[2].x - e[1].x;
    const double quarter = e[4].x - e[3].x;
    const double eighth = e[5].x - e[4].x;
    QVERIFY(half > dottedQuarter);
    QVERIFY(dottedQuarter > quarter);
    QVERIFY(quarter > eighth);
    // An accidental takes room before its note, not from the note before.
    QVERIFY(e[6].x - e[5].x > eighth + 1.0);
    QVERIFY(std::abs((e[7].x - e[6].x) - quarter) < Tolerance);
    // The accidental stands left of its note, clear of the note before; the sharp lasts the bar.
    QCOMPARE(l.accidentals.size(), size_t(1));
    QVERIFY(l.accidentals[0].x + 1.1 <= e[6].x);
    QVERIFY(l.accidentals[0].x > e[5].x + 1.18);
    // A bar line after each bar, the line as wide as the last one.
    QCOMPARE(l.barLines.size(), size_t(2));
    QVERIFY(l.barLines[0] > e[2].x && l.barLines[0] < e[3].x);
    QCOMPARE(l.width, l.barLines.back());
}

void TestLineLayout::stretchesToWidth()
{
    const Phrase p = phrase("4:C5 4:D5 4:E5 4:F5 | 2:G5 2:C5");
    const LineLayout natural = layoutLine(p, Clef::Treble);
    StaffGeometry wide;
    wide.width = natural.width * 2;
    const LineLayout stretched = layoutLine(p, Clef::Treble, wide);
    QVERIFY(std::abs(stretched.width - wide.width) < 1e-6);
    // The header keeps its size; the notes keep their order and proportions.
    QCOMPARE(stretched.timeSignatures.front().x, natural.timeSignatures.front().x);
    const double q = stretched.events[1].x - stretched.events[0].x;
    const double h = stretched.events[5].x - stretched.events[4].x;
    QVERIFY(h > q);
    // Narrower than natural: kept natural, nothing overlaps.
    wide.width = natural.width / 2;
    QCOMPARE(layoutLine(p, Clef::Treble, wide).width, natural.width);
}

void TestLineLayout::grandStaffRestsAndBars()
{
    // Bar 1 on the upper staff, bar 2 on the lower, a chord across both in bar 3.
    const Phrase p = phrase("2:C5 4:D5 4:r | 2:C3_ 2:G2_ | 1:[C3_,E4]", Key(-2, Mode::Major));
    const LineLayout l = layoutLine(p, Clef::Grand);
    QCOMPARE(l.staves.size(), size_t(2));
    QVERIFY(l.staves[1].top > l.staves[0].top + 4);
    QCOMPARE(l.clefs.size(), size_t(2));
    QCOMPARE(l.clefs[1].clef, StaffClef::Bass);
    QCOMPARE(l.keySignature.size(), size_t(4));
    int wholeBarRests = 0;
    for (const Rest& r : l.rests)
        if (r.event == -1) {
            ++wholeBarRests;
            QCOMPARE(r.position, 6);
            QCOMPARE(r.value, NoteValue::Whole);
        }
    QCOMPARE(wholeBarRests, 2); // the lower staff in bar 1, the upper in bar 2
    // The rest of bar 1 stands on the upper staff, centred on the middle line.
    const auto rest = std::find_if(l.rests.begin(), l.rests.end(), [](const Rest& r) { return r.event == 2; });
    QVERIFY(rest != l.rests.end());
    QCOMPARE(rest->staff, 0);
    QCOMPARE(rest->position, 4);
    // The chord of bar 3 writes a note on each staff at the same place.
    QCOMPARE(headsOf(l, 5, 0).size(), size_t(1));
    QCOMPARE(headsOf(l, 5, 1).size(), size_t(1));
    QCOMPARE(headsOf(l, 5, 0).front()->x, headsOf(l, 5, 1).front()->x);
    QCOMPARE(headsOf(l, 5, 1).front()->position, 3 * 7 - 18);
    // Bass notes are placed on the lower staff.
    QVERIFY(l.y(1, 0) > l.y(0, 0) + 4);
    QCOMPARE(l.events.size(), size_t(6));
    QCOMPARE(l.barLines.size(), size_t(3));
}

void TestLineLayout::badInputLaysOutSafely()
{
    // Nothing at all.
    const LineLayout empty = layoutLine(Phrase{}, Clef::Treble);
    QVERIFY(empty.noteheads.empty());
    QVERIFY(empty.width > 0);
    // A note many octaves up, an impossible accidental, an unknown clef and value.
    Phrase p = phrase("4:C5 4:C5 2:C5");
    p.bars[0].events[0].notes[0].pitch.octave = 60;
    p.bars[0].events[1].notes[0].pitch.alter = 9;
    p.bars[0].events[2].duration.value = static_cast<NoteValue>(42);
    p.bars[0].events[2].notes[0].staff = 7;
    p.bars[0].events[2].duration.dots = -3;
    const LineLayout l = layoutLine(p, static_cast<Clef>(12));
    QCOMPARE(l.staves.size(), size_t(1));
    QVERIFY(l.ledgerLines.size() <= 16);
    QCOMPARE(l.noteheads.size(), size_t(3));
    for (const AccidentalMark& a : l.accidentals)
        QVERIFY(a.sign >= Accidental::DoubleFlat && a.sign <= Accidental::DoubleSharp);
    QVERIFY(std::isfinite(l.width));
}

QTEST_GUILESS_MAIN(TestLineLayout)
#include "tst_linelayout.moc"
