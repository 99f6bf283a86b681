// SPDX-License-Identifier: GPL-3.0-or-later
// A piece cut into the lines the phrase exercise shows: the staves a hand
// reads, the bars chosen, the grid the stave draws, and where lines break.
#include "piece/piecelines.h"

#include "../support/phrasetext.h"

#include <QTest>

using namespace tonvero;
using piece::Fraction;

Q_DECLARE_METATYPE(piece::PieceSelection)

namespace {

QString valueText(const music::Duration& d)
{
    static const char* const Values[] = {"1", "2", "4", "8", "16"};
    return QString::fromLatin1(Values[int(d.value)]) + QString(d.dots, QLatin1Char('.'));
}

// The lines as text: "bar 0 treble 1# 3/4: 4:C4 4:[E4,G4_] | 2.:r", the
// notation of the phrase tests with the line's first bar, clef, key and meter before it.
QString text(const std::vector<piece::PieceLine>& lines)
{
    static const char* const Clefs[] = {"treble", "bass", "alto", "grand"};
    QStringList out;
    for (const piece::PieceLine& line : lines) {
        QStringList bars;
        for (const music::Bar& bar : line.phrase.bars) {
            QStringList events;
            for (const music::Event& e : bar.events) {
                QStringList notes;
                for (const music::Note& n : e.notes)
                    notes << n.pitch.asciiName() + (n.staff ? QStringLiteral("_") : QString());
                const QString body = e.isRest() ? QStringLiteral("r")
                    : notes.size() == 1         ? notes.front()
                                                : QLatin1Char('[') + notes.join(QLatin1Char(',')) + QLatin1Char(']');
                events << valueText(e.duration) + QLatin1Char(':') + body;
            }
            bars << events.join(QLatin1Char(' '));
        }
        const int f = line.phrase.key.fifths();
        out << QStringLiteral("bar %1 %2 %3%4 %5/%6: %7")
                   .arg(line.firstBar)
                   .arg(QLatin1String(Clefs[int(line.clef)]))
                   .arg(std::abs(f))
                   .arg(f < 0 ? QStringLiteral("b") : QStringLiteral("#"))
                   .arg(line.phrase.time.numerator())
                   .arg(line.phrase.time.denominator())
                   .arg(bars.join(QStringLiteral(" | ")));
    }
    return out.join(QLatin1Char('\n'));
}

// A piece written in a few words: "staves=2 time=3/4 bars=2 barlength=3 key=1@0
// key=-2@1 clef=1F@0" then notes "part/staff/bar onset+length pitch", times in quarters
// from the start of the bar ("1/3" allowed): "0/0/0 0+1 C4".
piece::Piece make(const QString& spec)
{
    piece::Piece p;
    piece::Part part;
    int bars = 1;
    piece::TimeSig time;
    std::vector<std::pair<int, music::Key>> keys;
    std::vector<piece::Note> notes;
    Fraction barLength; // as the meter says when none is given
    const QStringList lines = spec.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    auto fraction = [](const QString& t) {
        const QStringList nd = t.split(QLatin1Char('/'));
        return nd.size() == 2 ? Fraction(nd[0].toInt(), nd[1].toInt()) : Fraction(t.toInt());
    };
    for (const QString& raw : lines) {
        const QString l = raw.trimmed();
        if (l.startsWith(QLatin1String("staves=")))
            part.staves = l.mid(7).toInt();
        else if (l.startsWith(QLatin1String("time="))) {
            const QStringList nd = l.mid(5).split(QLatin1Char('/'));
            time = {nd[0].toInt(), nd[1].toInt()};
        } else if (l.startsWith(QLatin1String("bars=")))
            bars = l.mid(5).toInt();
        else if (l.startsWith(QLatin1String("barlength=")))
            barLength = Fraction(l.mid(10).toInt());
        else if (l.startsWith(QLatin1String("key="))) {
            const QStringList kb = l.mid(4).split(QLatin1Char('@'));
            keys.emplace_back(kb[1].toInt(), music::Key(kb[0].toInt(), music::Mode::Major));
        } else if (l.startsWith(QLatin1String("clef="))) {
            // clef=<staff><sign>@<bar>
            const QStringList cb = l.mid(5).split(QLatin1Char('@'));
            piece::ClefChange c;
            c.staff = cb[0].left(1).toInt();
            const QChar sign = cb[0].at(1);
            c.sign = sign == QLatin1Char('F') ? piece::ClefSign::F
                : sign == QLatin1Char('C')    ? piece::ClefSign::C
                                              : piece::ClefSign::G;
            c.bar = cb[1].toInt();
            c.onset = time.barLength() * c.bar;
            part.clefs.push_back(c);
        } else {
            const QStringList f = l.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            const QStringList where = f[0].split(QLatin1Char('/'));
            const QStringList times = f[1].split(QLatin1Char('+'));
            piece::Note n;
            n.part = where[0].toInt();
            n.staff = where[1].toInt();
            n.bar = where[2].toInt();
            n.onset = time.barLength() * n.bar + fraction(times[0]);
            n.duration = fraction(times[1]);
            n.pitch = phrasetext::pitch(f[2]);
            n.midi = n.pitch.midi();
            notes.push_back(n);
        }
    }
    for (int b = 0; b < bars; ++b) {
        const Fraction length = barLength == Fraction() ? time.barLength() : barLength;
        p.bars.push_back({length * b, length, time});
        music::Key k;
        for (const auto& [at, key] : keys)
            if (at <= b)
                k = key;
        part.keys.push_back(k);
    }
    p.parts.push_back(part);
    p.parts.push_back(piece::Part{QStringLiteral("P2"), QStringLiteral("Other"), 1, part.keys, {}});
    std::stable_sort(notes.begin(), notes.end(),
                     [](const piece::Note& a, const piece::Note& b) { return a.onset < b.onset; });
    p.notes = notes;
    return p;
}

piece::PieceSelection select(int hand, int first = 0, int last = -1, int part = 0)
{
    piece::PieceSelection s;
    s.hand = hand;
    s.firstBar = first;
    s.lastBar = last;
    s.part = part;
    return s;
}

} // namespace

class TestPieceLines : public QObject {
    Q_OBJECT
private slots:
    void lines_data();
    void lines();
};

void TestPieceLines::lines_data()
{
    using S = piece::PieceSelection;
    QTest::addColumn<QString>("piece");
    QTest::addColumn<piece::PieceSelection>("selection");
    QTest::addColumn<int>("barsPerLine");
    QTest::addColumn<QString>("expected");

    const QString twoHands = QStringLiteral(
        "staves=2; bars=1; clef=0G@0; clef=1F@0;"
        "0/0/0 0+1 E5; 0/0/0 1+1 D5; 0/0/0 2+2 C5;"
        "0/1/0 0+2 C3; 0/1/0 0+2 G3; 0/1/0 2+2 C3");
    QTest::newRow("right hand: the upper staff alone, treble")
        << twoHands << select(S::Right) << 2 << QStringLiteral("bar 0 treble 0# 4/4: 4:E5 4:D5 2:C5");
    QTest::newRow("left hand: the lower staff alone, bass, its chord kept")
        << twoHands << select(S::Left) << 2 << QStringLiteral("bar 0 bass 0# 4/4: 2:[C3,G3] 2:C3");
    QTest::newRow("both hands: the grand staff, notes starting together are one chord")
        << twoHands << select(S::Both) << 2
        << QStringLiteral("bar 0 grand 0# 4/4: 4:[C3_,G3_,E5] 4:D5 2:[C3_,C5]");
    QTest::newRow("a part of one staff ignores the hand")
        << QStringLiteral("bars=1; clef=0F@0; 0/0/0 0+4 F2") << select(S::Left) << 2
        << QStringLiteral("bar 0 bass 0# 4/4: 1:F2");
    QTest::newRow("another part is read alone")
        << QStringLiteral("bars=1; 0/0/0 0+4 C4; 1/0/0 0+2 A4; 1/0/0 2+2 B4") << select(S::Both, 0, -1, 1) << 2
        << QStringLiteral("bar 0 treble 0# 4/4: 2:A4 2:B4");
    QTest::newRow("rests before, between and after the notes")
        << QStringLiteral("bars=1; 0/0/0 1+1/2 G4; 0/0/0 5/2+1/2 A4") << select(S::Both) << 2
        << QStringLiteral("bar 0 treble 0# 4/4: 4:r 8:G4 4:r 8:A4 4:r");
    QTest::newRow("a note is never longer than the time to the next one")
        << QStringLiteral("bars=1; 0/0/0 0+4 C4; 0/0/0 1+3 E4") << select(S::Both) << 2
        << QStringLiteral("bar 0 treble 0# 4/4: 4:C4 2.:E4");
    QTest::newRow("triplets onto the sixteenth grid, every note kept")
        << QStringLiteral("bars=1; time=2/4; 0/0/0 0+1/3 C4; 0/0/0 1/3+1/3 D4; 0/0/0 2/3+1/3 E4; 0/0/0 1+1 F4")
        << select(S::Both) << 2 << QStringLiteral("bar 0 treble 0# 2/4: 16:C4 8:D4 16:E4 4:F4");
    QTest::newRow("bars chosen, cut into lines of two, numbered from the piece's start")
        << QStringLiteral("bars=5; time=2/4; 0/0/0 0+2 C4; 0/0/1 0+2 D4; 0/0/2 0+2 E4; 0/0/3 0+2 F4; 0/0/4 0+2 G4")
        << select(S::Both, 1, 3) << 2
        << QStringLiteral("bar 1 treble 0# 2/4: 2:D4 | 2:E4\nbar 3 treble 0# 2/4: 2:F4");
    QTest::newRow("a bar range past the end is clamped")
        << QStringLiteral("bars=2; 0/0/0 0+4 C4; 0/0/1 0+4 D4") << select(S::Both, 1, 40) << 4
        << QStringLiteral("bar 1 treble 0# 4/4: 1:D4");
    QTest::newRow("a new key begins a new line")
        << QStringLiteral("bars=3; key=-1@0; key=2@2; 0/0/0 0+4 F4; 0/0/1 0+4 Bb4; 0/0/2 0+4 F#4") << select(S::Both)
        << 4 << QStringLiteral("bar 0 treble 1b 4/4: 1:F4 | 1:Bb4\nbar 2 treble 2# 4/4: 1:F#4");
    QTest::newRow("a clef change begins a new line")
        << QStringLiteral("bars=2; clef=0G@0; clef=0F@1; 0/0/0 0+4 G4; 0/0/1 0+4 G2") << select(S::Both) << 4
        << QStringLiteral("bar 0 treble 0# 4/4: 1:G4\nbar 1 bass 0# 4/4: 1:G2");
    QTest::newRow("any meter: 5/4 with its whole-bar rest split into values")
        << QStringLiteral("bars=2; time=5/4; 0/0/0 0+5 C4") << select(S::Both) << 2
        << QStringLiteral("bar 0 treble 0# 5/4: 1:C4 4:r | 1:r 4:r");
    QTest::newRow("a line of rests only is left out")
        << QStringLiteral("bars=3; 0/0/0 0+4 C4; 0/0/2 0+4 E4") << select(S::Both) << 1
        << QStringLiteral("bar 0 treble 0# 4/4: 1:C4\nbar 2 treble 0# 4/4: 1:E4");
    QTest::newRow("notes off the piano are left out, unisons of two voices are one note")
        << QStringLiteral("bars=1; 0/0/0 0+4 C9; 0/0/0 0+2 C4; 0/0/0 0+2 C4") << select(S::Both) << 1
        << QStringLiteral("bar 0 treble 0# 4/4: 2:C4 2:r");
    // A bar as long as 48 whole notes would be a line of rests: it is cut at sixteen.
    QTest::newRow("an absurdly long bar is cut to sixteen whole notes")
        << QStringLiteral("bars=1; time=32/2; barlength=400; 0/0/0 0+1 C4; 0/0/0 300+1 D4") << select(S::Both) << 1
        << QStringLiteral("bar 0 treble 0# 32/2: 4:C4 ") + QStringList(10, QStringLiteral("1.:r")).join(QLatin1Char(' '))
               + QStringLiteral(" 2:r 8.:r 16:D4");
    QTest::newRow("nothing to play in the selection: no lines")
        << QStringLiteral("staves=2; bars=1; 0/0/0 0+4 C5") << select(S::Left) << 2 << QString();
}

void TestPieceLines::lines()
{
    QFETCH(QString, piece);
    QFETCH(piece::PieceSelection, selection);
    QFETCH(int, barsPerLine);
    QFETCH(QString, expected);
    const std::vector<piece::PieceLine> lines = piece::pieceLines(make(piece), selection, barsPerLine);
    QCOMPARE(text(lines), expected);
    // Every bar the stave gets is full, so that the layout spaces it as written.
    for (const piece::PieceLine& line : lines)
        QVERIFY(line.phrase.barsComplete());
}

QTEST_GUILESS_MAIN(TestPieceLines)
#include "tst_piecelines.moc"
