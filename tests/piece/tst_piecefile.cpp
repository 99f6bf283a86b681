// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece/piecefile.h"
#include "piece/piececheck.h"
#include "support/testenv.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <zip.h>

using namespace tonvero;
using namespace tonvero::piece;

Q_DECLARE_METATYPE(tonvero::piece::PieceFormat)

namespace {

QString fixture(const QString& name)
{
    return testsupport::sourceDir() + QStringLiteral("/tests/piece/data/") + name;
}

QStringList noteLines(const Piece& piece)
{
    QStringList lines;
    for (const Note& n : piece.notes)
        lines << QStringLiteral("%1 %2 %3 %4 %5 %6")
                     .arg(n.part + 1)
                     .arg(n.staff + 1)
                     .arg(n.bar + 1)
                     .arg(quarterText(n.onset), QString::number(n.midi), quarterText(n.duration));
    return lines;
}

// A one-entry archive with no container, written by libzip into memory.
QByteArray zipped(const QByteArray& name, const QByteArray& data)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* out = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(out);
    zip_t* archive = zip_open_from_source(out, ZIP_TRUNCATE, &error);
    zip_error_fini(&error);
    QByteArray bytes;
    if (archive) {
        zip_source_t* s = zip_source_buffer(archive, data.constData(), zip_uint64_t(data.size()), 0);
        if (zip_file_add(archive, name.constData(), s, 0) < 0)
            zip_source_free(s);
        zip_stat_t st;
        if (zip_close(archive) == 0 && zip_source_stat(out, &st) == 0 && zip_source_open(out) == 0) {
            bytes.resize(qsizetype(st.size));
            bytes.resize(qsizetype(std::max<zip_int64_t>(0, zip_source_read(out, bytes.data(), st.size))));
            zip_source_close(out);
        }
    }
    zip_source_free(out);
    return bytes;
}

} // namespace

class TestPieceFile : public QObject {
    Q_OBJECT

private slots:
    void detectFormat_data();
    void detectFormat();
    void sameNotes_data();
    void sameNotes();
    void heldOutCompressed_data();
    void heldOutCompressed();
    void errors_data();
    void errors();
    void id();
};

// The bytes decide; the name only when they say nothing.
void TestPieceFile::detectFormat_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<QString>("name");
    QTest::addColumn<PieceFormat>("format");
    QTest::newRow("ZIP") << QByteArray("PK\x03\x04\x14\x00", 6) << "a.mxl" << PieceFormat::CompressedMusicXml;
    QTest::newRow("ZIP named .musicxml") << QByteArray("PK\x03\x04", 4) << "a.musicxml" << PieceFormat::CompressedMusicXml;
    QTest::newRow("MIDI named .xml") << QByteArray("MThd\0\0\0\x06", 8) << "a.xml" << PieceFormat::Midi;
    QTest::newRow("XML declaration") << QByteArray("<?xml version=\"1.0\"?>") << "" << PieceFormat::MusicXml;
    QTest::newRow("XML named .mid") << QByteArray("<score-partwise>") << "a.mid" << PieceFormat::MusicXml;
    QTest::newRow("blank lines first") << QByteArray("\n \r\n\t<score-partwise>") << "" << PieceFormat::MusicXml;
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF<?xml") << "" << PieceFormat::MusicXml;
    QTest::newRow("empty, no name") << QByteArray() << "" << PieceFormat::Unknown;
    QTest::newRow("empty .mxl") << QByteArray() << "song.mxl" << PieceFormat::CompressedMusicXml;
    QTest::newRow("text named .MXL") << QByteArray("hello") << "/x/SONG.MXL" << PieceFormat::CompressedMusicXml;
    QTest::newRow("text named .midi") << QByteArray("hello") << "a.midi" << PieceFormat::Midi;
    QTest::newRow("text named .musicxml") << QByteArray("hello") << "a.musicxml" << PieceFormat::MusicXml;
    QTest::newRow("text named .txt") << QByteArray("hello") << "a.txt" << PieceFormat::Unknown;
    QTest::newRow("no suffix") << QByteArray("hello") << "mxl" << PieceFormat::Unknown;
}

void TestPieceFile::detectFormat()
{
    QFETCH(QByteArray, head);
    QFETCH(QString, name);
    QFETCH(PieceFormat, format);
    QCOMPARE(piece::detectFormat(head, name), format);
}

// Every way of writing the same piece reads as the same notes, bars and parts.
void TestPieceFile::sameNotes_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("twin");
    QTest::newRow("timewise two parts") << fixture("two-parts-timewise.musicxml") << fixture("two-parts.musicxml");
    QTest::newRow("timewise tie across bar")
        << fixture("tie-across-bar-timewise.musicxml") << fixture("tie-across-bar.musicxml");
}

void TestPieceFile::sameNotes()
{
    QFETCH(QString, file);
    QFETCH(QString, twin);
    const PieceFile a = readPieceFile(file);
    const PieceFile b = readPieceFile(twin);
    QVERIFY2(a.ok(), qPrintable(a.error));
    QVERIFY2(b.ok(), qPrintable(b.error));
    QVERIFY(!b.piece.notes.empty());
    QCOMPARE(noteLines(a.piece), noteLines(b.piece));
    QCOMPARE(a.piece.bars.size(), b.piece.bars.size());
    QCOMPARE(a.piece.parts.size(), b.piece.parts.size());
    for (std::size_t i = 0; i < a.piece.parts.size(); ++i) {
        QCOMPARE(a.piece.parts[i].name, b.piece.parts[i].name);
        QCOMPARE(a.piece.parts[i].staves, b.piece.parts[i].staves);
    }
    QCOMPARE(a.piece.title, b.piece.title);

    // The same again as .mxl, through the one door, from disk.
    QTemporaryDir dir;
    const QString mxl = dir.filePath(QStringLiteral("piece.mxl"));
    QVERIFY(testsupport::writeFile(mxl, zipped("score.musicxml", testsupport::readFile(file))));
    const PieceFile c = readPieceFile(mxl);
    QVERIFY2(c.ok(), qPrintable(c.error));
    QCOMPARE(noteLines(c.piece), noteLines(b.piece));
    QCOMPARE(c.path, mxl);
}

// The files kept apart from the ones above, each packed as .mxl: the same notes
// as the file itself, whose notes the reader's own test checks by hand.
void TestPieceFile::heldOutCompressed_data()
{
    QTest::addColumn<QString>("file");
    const QDir dir(testsupport::sourceDir() + QStringLiteral("/tests/piece/heldout"));
    const QStringList files = dir.entryList({"*.musicxml"}, QDir::Files, QDir::Name);
    QVERIFY(!files.isEmpty());
    for (const QString& f : files)
        QTest::newRow(qPrintable(f)) << dir.filePath(f);
}

void TestPieceFile::heldOutCompressed()
{
    QFETCH(QString, file);
    const QByteArray bytes = testsupport::readFile(file);
    const PieceFile plain = readPieceData(bytes, file);
    QVERIFY2(plain.ok(), qPrintable(plain.error));
    const PieceFile packed = readPieceData(zipped("music/score.xml", bytes), QString());
    QVERIFY2(packed.ok(), qPrintable(packed.error));
    QCOMPARE(noteLines(packed.piece), noteLines(plain.piece));
    QCOMPARE(packed.piece.bars.size(), plain.piece.bars.size());
}

void TestPieceFile::errors_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown") << QByteArray("hello") << "a.txt" << "не похож на пьесу";
    QTest::newRow("empty") << QByteArray() << "" << "не похож на пьесу";
    QTest::newRow(".mxl that is not a ZIP") << QByteArray("hello") << "a.mxl" << "не архив ZIP";
    QTest::newRow("timewise, broken") << QByteArray("<score-timewise><measure><part id=\"P1\">") << "a.xml"
                                      << "испорченный XML";
    QTest::newRow("timewise, too deep") << "<score-timewise><measure><part id=\"P1\">" + QByteArray("<a>").repeated(300)
                                        << "a.xml" << "200";
    QByteArray manyParts = "<score-timewise><measure>";
    for (int i = 0; i <= limits::MaxParts; ++i)
        manyParts += "<part id=\"P" + QByteArray::number(i) + "\"/>";
    QTest::newRow("timewise, too many parts") << manyParts + "</measure></score-timewise>" << "a.xml"
                                              << QString::number(limits::MaxParts);
    // Each part repeats the measure's attributes: a few kilobytes must not grow past the limit.
    QByteArray wide = "<score-timewise><measure number=\"" + QByteArray(600 * 1024, '1') + "\">";
    for (int i = 0; i < limits::MaxParts; ++i)
        wide += "<part id=\"P" + QByteArray::number(i) + "\"/>";
    QTest::newRow("timewise, grows past the limit") << wide + "</measure></score-timewise>" << "a.xml" << "МиБ";
}

void TestPieceFile::errors()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(QString, message);
    const PieceFile file = readPieceData(bytes, name);
    QVERIFY(!file.ok());
    QVERIFY2(file.error.contains(message), qPrintable(file.error));
    QVERIFY(!file.error.contains('\n'));
    QVERIFY(file.id.isEmpty());
}

// The id follows the bytes, not the name or the place.
void TestPieceFile::id()
{
    const QByteArray bytes = testsupport::readFile(fixture("two-parts.musicxml"));
    const PieceFile a = readPieceData(bytes, QStringLiteral("a.musicxml"));
    const PieceFile b = readPieceData(bytes, QStringLiteral("/elsewhere/b.xml"));
    QVERIFY(a.ok());
    QCOMPARE(a.id, b.id);
    QCOMPARE(a.id.size(), 16);
    QVERIFY(a.id != readPieceData(zipped("s.musicxml", bytes), QString()).id);
}

QTEST_GUILESS_MAIN(TestPieceFile)
#include "tst_piecefile.moc"
