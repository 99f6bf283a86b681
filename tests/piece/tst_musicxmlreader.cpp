// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece/musicxmlreader.h"
#include "piece/piececheck.h"
#include "support/testenv.h"

#include <QBuffer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace tonvero;
using namespace tonvero::piece;

namespace {

QString fixture(const QString& name)
{
    return testsupport::sourceDir() + QStringLiteral("/tests/piece/data/") + name;
}

// The notes as piececheck prints them, without the part: "staff bar onset midi duration".
QStringList noteLines(const Piece& piece)
{
    QStringList lines;
    for (const Note& n : piece.notes)
        lines << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(n.staff + 1)
                     .arg(n.bar + 1)
                     .arg(quarterText(n.onset), QString::number(n.midi), quarterText(n.duration));
    return lines;
}

PieceResult readBytes(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return readMusicXml(buffer);
}

QByteArray scoreWith(const QByteArray& measure)
{
    return "<?xml version=\"1.0\"?><score-partwise><part-list><score-part id=\"P1\"><part-name>A</part-name>"
           "</score-part></part-list><part id=\"P1\"><measure number=\"1\">"
           + measure + "</measure></part></score-partwise>";
}

const QByteArray kQuarterC = "<attributes><divisions>1</divisions></attributes>"
                             "<note><pitch><step>C</step><octave>4</octave></pitch><duration>1</duration></note>";

} // namespace

class TestMusicXmlReader : public QObject {
    Q_OBJECT

private slots:
    void notes_data();
    void notes();
    void keysTimesAndBars();
    void clefs();
    void partsAndStaves();
    void errors_data();
    void errors();
    void limits_data();
    void limits();
    void quarterText_data();
    void quarterText();
    void piececheckOutput();
    void piececheckFormats_data();
    void piececheckFormats();
    void piececheckExit_data();
    void piececheckExit();
    void heldOut_data();
    void heldOut();
};

// One file per feature; each row lists every note: staff, bar, onset, MIDI, duration.
void TestMusicXmlReader::notes_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("divisions change") << "divisions-change.musicxml"
        << QStringList{"1 1 0 60 1", "1 1 1 62 1", "1 1 2 64 2",
                       "1 2 4 65 1", "1 2 5 67 0.5", "1 2 5.5 69 0.5", "1 2 6 71 2"};
    QTest::newRow("chord, ordered by pitch") << "chords.musicxml"
        << QStringList{"1 1 0 60 2", "1 1 0 64 2", "1 1 0 67 2", "1 1 2 65 2", "1 1 2 69 2"};
    QTest::newRow("backup and forward, two voices") << "voices.musicxml"
        << QStringList{"1 1 0 72 2", "1 1 1 64 1", "1 1 2 65 2", "1 1 2 74 2"};
    QTest::newRow("two staves") << "two-staves.musicxml"
        << QStringList{"1 1 0 72 4", "2 1 0 48 2", "2 1 2 43 2"};
    QTest::newRow("ties across a bar line, in a chord") << "tie-across-bar.musicxml"
        << QStringList{"1 1 0 60 2", "1 1 2 64 3", "1 1 2 67 4", "1 2 6 67 2"};
    QTest::newRow("dots") << "dots.musicxml"
        << QStringList{"1 1 0 60 1.5", "1 1 1.5 62 0.5", "1 1 2 64 2", "1 2 4 65 3.5", "1 2 7.5 67 0.5"};
    QTest::newRow("triplets") << "triplets.musicxml"
        << QStringList{"1 1 0 60 0.333", "1 1 0.333 62 0.333", "1 1 0.667 64 0.333", "1 1 1 65 1", "1 1 2 67 2"};
    QTest::newRow("rests are not notes") << "rests.musicxml" << QStringList{"1 1 1 60 1", "1 3 8 62 4"};
    QTest::newRow("notes of no length left out") << "zero-length.musicxml"
        << QStringList{"1 1 0 60 2", "1 1 2 69 2"};
    QTest::newRow("grace notes skipped") << "grace.musicxml"
        << QStringList{"1 1 0 60 1", "1 1 1 64 1", "1 1 2 67 2"};
    QTest::newRow("alter, B sharp and C flat, quarter tone rounded") << "alter.musicxml"
        << QStringList{"1 1 0 66 1", "1 1 1 58 1", "1 1 2 60 1", "1 1 3 59 1",
                       "1 2 4 69 1", "1 2 5 60 1", "1 2 6 70 1", "1 2 7 64 1"};
}

void TestMusicXmlReader::notes()
{
    QFETCH(QString, file);
    QFETCH(QStringList, expected);
    const PieceResult result = readMusicXmlFile(fixture(file));
    QVERIFY2(result.ok(), qPrintable(result.error));
    QCOMPARE(noteLines(result.piece), expected);
}

void TestMusicXmlReader::keysTimesAndBars()
{
    const PieceResult result = readMusicXmlFile(fixture("key-time-changes.musicxml"));
    QVERIFY2(result.ok(), qPrintable(result.error));
    const Piece& piece = result.piece;
    QCOMPARE(piece.title, QString("Key and time changes"));
    QCOMPARE(piece.bars.size(), std::size_t(4));
    const std::vector<TimeSig> times{{3, 4}, {6, 8}, {6, 8}, {5, 4}};
    const std::vector<Fraction> starts{0, 3, 6, 9};
    for (std::size_t b = 0; b < 4; ++b) {
        QCOMPARE(piece.bars[b].time, times[b]);
        QCOMPARE(piece.bars[b].start, starts[b]);
    }
    const std::vector<music::Key> keys{{2, music::Mode::Major}, {-3, music::Mode::Minor},
                                       {-3, music::Mode::Minor}, {-3, music::Mode::Minor}};
    QCOMPARE(piece.parts[0].keys, keys);
    QCOMPARE(piece.notes[2].pitch, (music::Pitch{music::Step::E, -1, 4}));
    QCOMPARE(piece.notes[2].midi, 63);

    // A whole-bar rest fills its bar.
    const PieceResult rests = readMusicXmlFile(fixture("rests.musicxml"));
    QVERIFY(rests.ok());
    QCOMPARE(rests.piece.bars[1].length, Fraction(4));

    // An empty bar is as long as its time signature; a short one (a pickup) as its notes.
    const PieceResult empty = readBytes(
        "<score-partwise><part id=\"P1\"><measure><attributes><divisions>2</divisions><time><beats>3</beats>"
        "<beat-type>4</beat-type></time></attributes><note><pitch><step>C</step><octave>4</octave></pitch>"
        "<duration>2</duration></note></measure><measure/><measure>"
        "<note><pitch><step>D</step><octave>4</octave></pitch><duration>2</duration></note></measure></part></score-partwise>");
    QVERIFY2(empty.ok(), qPrintable(empty.error));
    QCOMPARE(empty.piece.bars.size(), std::size_t(3));
    QCOMPARE(empty.piece.bars[0].length, Fraction(1));
    QCOMPARE(empty.piece.bars[1].length, Fraction(3));
    QCOMPARE(empty.piece.notes[1].onset, Fraction(4));
    QCOMPARE(empty.piece.notes[1].bar, 2);
}

void TestMusicXmlReader::clefs()
{
    const PieceResult result = readMusicXmlFile(fixture("clef-change.musicxml"));
    QVERIFY2(result.ok(), qPrintable(result.error));
    const std::vector<ClefChange> expected{
        {0, 0, Fraction(0), ClefSign::F, 4, 0},
        {0, 0, Fraction(1), ClefSign::C, 4, 0},
        {0, 1, Fraction(4), ClefSign::G, 2, 0},
    };
    QCOMPARE(result.piece.parts[0].clefs, expected);

    const PieceResult staves = readMusicXmlFile(fixture("two-staves.musicxml"));
    QVERIFY(staves.ok());
    QCOMPARE(staves.piece.parts[0].clefs.size(), std::size_t(2));
    QCOMPARE(staves.piece.parts[0].clefs[1].staff, 1);
    QCOMPARE(staves.piece.parts[0].clefs[1].sign, ClefSign::F);
}

void TestMusicXmlReader::partsAndStaves()
{
    const PieceResult result = readMusicXmlFile(fixture("two-parts.musicxml"));
    QVERIFY2(result.ok(), qPrintable(result.error));
    const Piece& piece = result.piece;
    QCOMPARE(piece.parts.size(), std::size_t(2));
    QCOMPARE(piece.parts[0].name, QString("Violin"));
    QCOMPARE(piece.parts[1].name, QString("Cello"));
    QStringList order;
    for (const Note& n : piece.notes)
        order << QStringLiteral("%1:%2").arg(n.part).arg(n.midi);
    QCOMPARE(order, (QStringList{"0:76", "1:48", "0:74", "0:72", "1:43"}));

    const PieceResult piano = readMusicXmlFile(fixture("two-staves.musicxml"));
    QVERIFY(piano.ok());
    QCOMPARE(piano.piece.parts[0].staves, 2);
}

// Each bad file gives a message naming what is wrong, never a crash.
void TestMusicXmlReader::errors_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << QByteArray() << "не файл MusicXML";
    QTest::newRow("plain text") << QByteArray("title: a song\nC D E\n") << "не файл MusicXML";
    QTest::newRow("other XML") << QByteArray("<?xml version=\"1.0\"?><html><body/></html>") << "корневой элемент <html>";
    QTest::newRow("timewise without parts") << QByteArray("<score-timewise/>") << "нет ни одной партии";
    QTest::newRow("truncated") << scoreWith(kQuarterC).left(200) << "испорченный XML";
    QTest::newRow("parser quotes a line break") << QByteArray("<?xml version=\"1.0\"?>\n<!DOCTYPE score-partwise "
                                                             "PUBLIC \"-//Rec>\n.0//EN\">\n<score-partwise/>")
                                                << "не файл MusicXML";
    QTest::newRow("mismatched tags") << scoreWith(kQuarterC + "</part>") << "испорченный XML";
    QTest::newRow("no parts") << QByteArray("<score-partwise><part-list/></score-partwise>") << "нет ни одной партии";
    QTest::newRow("no divisions") << scoreWith("<note><pitch><step>C</step><octave>4</octave></pitch><duration>1</duration></note>")
                                  << "<divisions>";
    QTest::newRow("zero divisions") << scoreWith("<attributes><divisions>0</divisions></attributes>") << "<divisions>";
    QTest::newRow("huge duration") << scoreWith("<attributes><divisions>1</divisions></attributes><note><pitch><step>C</step>"
                                                "<octave>4</octave></pitch><duration>99999999999</duration></note>")
                                   << "<duration>";
    QTest::newRow("huge backup") << scoreWith(kQuarterC + "<backup><duration>100000</duration></backup>") << "<duration>";
    QTest::newRow("octave out of range") << scoreWith("<attributes><divisions>1</divisions></attributes><note><pitch><step>C</step>"
                                                      "<octave>12</octave></pitch><duration>1</duration></note>")
                                         << "<octave>";
    QTest::newRow("above MIDI") << scoreWith("<attributes><divisions>1</divisions></attributes><note><pitch><step>B</step>"
                                             "<alter>2</alter><octave>9</octave></pitch><duration>1</duration></note>")
                                << "MIDI";
    QTest::newRow("alter out of range") << scoreWith("<attributes><divisions>1</divisions></attributes><note><pitch><step>C</step>"
                                                     "<alter>7</alter><octave>4</octave></pitch><duration>1</duration></note>")
                                        << "<alter>";
    QTest::newRow("unknown step") << scoreWith("<attributes><divisions>1</divisions></attributes><note><pitch><step>H</step>"
                                               "<octave>4</octave></pitch><duration>1</duration></note>")
                                  << "«H»";
    QTest::newRow("note without duration") << scoreWith("<attributes><divisions>1</divisions></attributes><note><pitch>"
                                                        "<step>C</step><octave>4</octave></pitch></note>")
                                           << "без длительности";
    QTest::newRow("time signature") << scoreWith("<attributes><time><beats>x</beats><beat-type>4</beat-type></time></attributes>")
                                    << "x/4";
    QTest::newRow("fifths") << scoreWith("<attributes><key><fifths>9</fifths></key></attributes>") << "<fifths>";
    QTest::newRow("staff") << scoreWith("<attributes><divisions>1</divisions></attributes><note><pitch><step>C</step>"
                                        "<octave>4</octave></pitch><duration>1</duration><staff>40</staff></note>")
                           << "<staff>";
    // The line of the fault is named.
    QTest::newRow("line number") << QByteArray("<score-partwise>\n<part id=\"P1\">\n<measure>\n"
                                               "<attributes><divisions>-3</divisions></attributes>")
                                 << "строка 4";
}

void TestMusicXmlReader::errors()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const PieceResult result = readBytes(bytes);
    QVERIFY(!result.ok());
    QVERIFY2(result.error.contains(message), qPrintable(result.error));
    QVERIFY(!result.error.contains('\n'));
}

// What a hostile or enormous file claims is refused before it costs much.
void TestMusicXmlReader::limits_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    QByteArray parts = "<score-partwise><part-list>";
    for (int i = 0; i <= limits::MaxParts; ++i)
        parts += "<score-part id=\"P" + QByteArray::number(i) + "\"/>";
    QTest::newRow("too many parts") << parts + "</part-list></score-partwise>" << "партий";

    QTest::newRow("nested deep") << scoreWith(QByteArray("<a>").repeated(100000)) << "глубже";

    QByteArray notes = "<attributes><divisions>1</divisions></attributes>";
    const QByteArray note = "<note><pitch><step>C</step><octave>4</octave></pitch><duration>1</duration></note>";
    notes += note.repeated(limits::MaxNotes + 1);
    QTest::newRow("too many notes") << scoreWith(notes) << "нот";

    QByteArray bars = "<score-partwise><part id=\"P1\">";
    bars += QByteArray("<measure/>").repeated(limits::MaxBars + 1);
    QTest::newRow("too many bars") << bars + "</part></score-partwise>" << "тактов";

    QTest::newRow("too large") << scoreWith("<!--" + QByteArray(limits::MaxFileBytes, ' ') + "-->") << "МиБ";
}

void TestMusicXmlReader::limits()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const PieceResult result = readBytes(bytes);
    QVERIFY(!result.ok());
    QVERIFY2(result.error.contains(message), qPrintable(result.error));
}

void TestMusicXmlReader::quarterText_data()
{
    QTest::addColumn<Fraction>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << Fraction(0) << "0";
    QTest::newRow("integer") << Fraction(12) << "12";
    QTest::newRow("half") << Fraction(5, 2) << "2.5";
    QTest::newRow("third") << Fraction(1, 3) << "0.333";
    QTest::newRow("two thirds rounds up") << Fraction(2, 3) << "0.667";
    QTest::newRow("sixteenth") << Fraction(1, 4) << "0.25";
    QTest::newRow("half a thousandth rounds up") << Fraction(1, 2000) << "0.001";
    QTest::newRow("rounds to an integer") << Fraction(19999, 10000) << "2";
    QTest::newRow("large") << Fraction(2000000000, 3) << "666666666.667";
}

void TestMusicXmlReader::quarterText()
{
    QFETCH(Fraction, value);
    QFETCH(QString, text);
    QCOMPARE(piece::quarterText(value), text);
}

void TestMusicXmlReader::piececheckOutput()
{
    QProcess p;
    p.start(TONVERO_PIECECHECK, {fixture("two-parts.musicxml")});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()),
             QString("1\t1\t1\t0\t76\t2\n2\t1\t1\t0\t48\t4\n1\t1\t1\t2\t74\t2\n"
                     "1\t1\t2\t4\t72\t4\n2\t1\t2\t4\t43\t4\n"));
    QCOMPARE(p.readAllStandardError(), QByteArray());

    p.start(TONVERO_PIECECHECK, {"--part", "2", fixture("triplets.musicxml").replace("triplets", "two-parts")});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), QString("2\t1\t1\t0\t48\t4\n2\t1\t2\t4\t43\t4\n"));

    p.start(TONVERO_PIECECHECK, {fixture("triplets.musicxml")});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()),
             QString("1\t1\t1\t0\t60\t0.333\n1\t1\t1\t0.333\t62\t0.333\n1\t1\t1\t0.667\t64\t0.333\n"
                     "1\t1\t1\t1\t65\t1\n1\t1\t1\t2\t67\t2\n"));
}

// Every format goes through the same door: the same piece prints the same lines.
void TestMusicXmlReader::piececheckFormats_data()
{
    QTest::addColumn<QString>("file");
    QTest::newRow("compressed (.mxl)") << fixture("two-parts.mxl");
    QTest::newRow("score-timewise") << fixture("two-parts-timewise.musicxml");
}

void TestMusicXmlReader::piececheckFormats()
{
    QFETCH(QString, file);
    QProcess p;
    p.start(TONVERO_PIECECHECK, {fixture("two-parts.musicxml")});
    QVERIFY(p.waitForFinished(30000));
    const QByteArray expected = p.readAllStandardOutput();
    QVERIFY(!expected.isEmpty());
    p.start(TONVERO_PIECECHECK, {file});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(p.readAllStandardOutput(), expected);
    QCOMPARE(p.readAllStandardError(), QByteArray());
}

void TestMusicXmlReader::piececheckExit_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::newRow("help") << QStringList{"--help"} << 0;
    QTest::newRow("missing file") << QStringList{fixture("no-such-piece.musicxml")} << 1;
    QTest::newRow("broken file") << QStringList{fixture("broken.musicxml")} << 1;
    QTest::newRow("a folder") << QStringList{fixture("")} << 1;
    QTest::newRow("text named .mxl") << QStringList{fixture("not-a-zip.mxl")} << 1;
    QTest::newRow("no arguments") << QStringList{} << 2;
    QTest::newRow("unknown option") << QStringList{"--loud", fixture("chords.musicxml")} << 2;
    QTest::newRow("two files") << QStringList{fixture("chords.musicxml"), fixture("dots.musicxml")} << 2;
    QTest::newRow("part zero") << QStringList{"--part=0", fixture("chords.musicxml")} << 2;
    QTest::newRow("part not a number") << QStringList{"--part", "one", fixture("chords.musicxml")} << 2;
    QTest::newRow("part the piece lacks") << QStringList{"--part", "3", fixture("two-parts.musicxml")} << 2;
}

void TestMusicXmlReader::piececheckExit()
{
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QProcess p;
    p.start(TONVERO_PIECECHECK, args);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), status);
    // Errors and usage go to stderr, help to stdout.
    QCOMPARE(p.readAllStandardError().isEmpty(), status == 0);
    if (status == 0)
        QVERIFY(!p.readAllStandardOutput().isEmpty());
}

// Files written apart from the ones above, each with the output worked out by
// hand before the reader first saw it.
void TestMusicXmlReader::heldOut_data()
{
    QTest::addColumn<QString>("file");
    const QDir dir(testsupport::sourceDir() + QStringLiteral("/tests/piece/heldout"));
    const QStringList files = dir.entryList({"*.musicxml"}, QDir::Files, QDir::Name);
    QVERIFY(!files.isEmpty());
    for (const QString& f : files)
        QTest::newRow(qPrintable(f)) << dir.filePath(f);
}

void TestMusicXmlReader::heldOut()
{
    QFETCH(QString, file);
    QProcess p;
    p.start(TONVERO_PIECECHECK, {file});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QString expected = file;
    expected.replace(QStringLiteral(".musicxml"), QStringLiteral(".expected"));
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(testsupport::readFile(expected)));
}

QTEST_GUILESS_MAIN(TestMusicXmlReader)
#include "tst_musicxmlreader.moc"
