// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece/mxlreader.h"
#include "piece/piececheck.h"
#include "support/testenv.h"

#include <QBuffer>
#include <QTest>

#include <zip.h>

#include <cstring>
#include <utility>
#include <vector>

using namespace tonvero;
using namespace tonvero::piece;

namespace {

using Entries = std::vector<std::pair<QByteArray, QByteArray>>;

QString fixture(const QString& name)
{
    return testsupport::sourceDir() + QStringLiteral("/tests/piece/data/") + name;
}

// The bytes of a new archive that libzip writes into memory.
QByteArray archiveOf(zip_source_t* out)
{
    QByteArray bytes;
    zip_stat_t st;
    if (zip_source_stat(out, &st) == 0 && zip_source_open(out) == 0) {
        bytes.resize(qsizetype(st.size));
        const zip_int64_t n = zip_source_read(out, bytes.data(), st.size);
        bytes.resize(n < 0 ? 0 : qsizetype(n));
        zip_source_close(out);
    }
    zip_source_free(out);
    return bytes;
}

// An archive of the given entries, each source added as it is.
template<typename AddEntries>
QByteArray makeArchive(AddEntries addEntries)
{
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* out = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(out);
    zip_t* archive = zip_open_from_source(out, ZIP_TRUNCATE, &error);
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(out);
        return {};
    }
    addEntries(archive);
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        zip_source_free(out);
        return {};
    }
    return archiveOf(out);
}

QByteArray makeZip(const Entries& entries, zip_int32_t method = ZIP_CM_DEFLATE)
{
    return makeArchive([&](zip_t* archive) {
        for (const auto& [name, data] : entries) {
            zip_source_t* s = zip_source_buffer(archive, data.constData(), zip_uint64_t(data.size()), 0);
            const zip_int64_t i = zip_file_add(archive, name.constData(), s, ZIP_FL_ENC_UTF_8);
            if (i < 0)
                zip_source_free(s);
            else
                zip_set_file_compression(archive, zip_uint64_t(i), method, 0);
        }
    });
}

QByteArray containerNaming(const QByteArray& path)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<container><rootfiles><rootfile full-path=\"" + path
         + "\" media-type=\"application/vnd.recordare.musicxml+xml\"/></rootfiles></container>\n";
}

QByteArray score()
{
    return testsupport::readFile(fixture("two-parts.musicxml"));
}

// Sets a field of every local and central header of the archive: the flags
// (encryption) or the uncompressed size, as a damaged or hostile file might.
enum class Field { Encrypted, SmallSize };
QByteArray patched(QByteArray zip, Field field)
{
    auto put32 = [&](qsizetype at, quint32 v) {
        for (int i = 0; i < 4; ++i)
            zip[at + i] = char((v >> (8 * i)) & 0xff);
    };
    for (qsizetype at = 0; (at = zip.indexOf("PK\x03\x04", at)) >= 0; at += 4) {
        if (field == Field::Encrypted)
            zip[at + 6] = char(zip[at + 6] | 1);
        else
            put32(at + 22, 1000);
    }
    for (qsizetype at = 0; (at = zip.indexOf("PK\x01\x02", at)) >= 0; at += 4) {
        if (field == Field::Encrypted)
            zip[at + 8] = char(zip[at + 8] | 1);
        else
            put32(at + 24, 1000);
    }
    return zip;
}

// 200 MB of spaces after a score's first tag, made as libzip deflates it: the
// test never holds the whole of it.
struct Spaces {
    static constexpr zip_uint64_t Size = 200'000'000;
    zip_uint64_t offset = 0;
};

zip_int64_t spaces(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd)
{
    auto* s = static_cast<Spaces*>(state);
    static const char head[] = "<score-partwise>";
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        s->offset = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        const zip_uint64_t n = std::min(len, Spaces::Size - s->offset);
        auto* out = static_cast<char*>(data);
        std::memset(out, ' ', n);
        for (zip_uint64_t i = s->offset; i < sizeof head - 1 && i < s->offset + n; ++i)
            out[i - s->offset] = head[i];
        s->offset += n;
        return zip_int64_t(n);
    }
    case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->valid = ZIP_STAT_SIZE;
        st->size = Spaces::Size;
        return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(nullptr, data, len);
    default:
        return 0;
    }
}

QByteArray bomb()
{
    Spaces state;
    return makeArchive([&](zip_t* archive) {
        zip_source_t* s = zip_source_function(archive, spaces, &state);
        const zip_int64_t i = zip_file_add(archive, "score.musicxml", s, 0);
        if (i < 0)
            zip_source_free(s);
        else
            zip_set_file_compression(archive, zip_uint64_t(i), ZIP_CM_DEFLATE, 1);
    });
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

} // namespace

class TestMxlReader : public QObject {
    Q_OBJECT

private slots:
    void reads_data();
    void reads();
    void refuses_data();
    void refuses();
    void bomb_data();
    void bomb();
};

// The score an archive holds reads as the same file uncompressed.
void TestMxlReader::reads_data()
{
    QTest::addColumn<QByteArray>("zip");
    const QByteArray container = containerNaming("score.musicxml");
    QTest::newRow("container") << makeZip({{"META-INF/container.xml", container}, {"score.musicxml", score()}});
    QTest::newRow("container last") << makeZip({{"score.musicxml", score()}, {"META-INF/container.xml", container}});
    QTest::newRow("stored, not deflated")
        << makeZip({{"META-INF/container.xml", container}, {"score.musicxml", score()}}, ZIP_CM_STORE);
    QTest::newRow("score in a folder")
        << makeZip({{"META-INF/container.xml", containerNaming("music/a b.xml")}, {"music/a b.xml", score()}});
    // The first rootfile is the score; the rest are other renderings.
    QTest::newRow("first of two rootfiles")
        << makeZip({{"META-INF/container.xml",
                     "<container><rootfiles><rootfile full-path=\"score.musicxml\"/><rootfile full-path=\"s.pdf\"/>"
                     "</rootfiles></container>"},
                    {"s.pdf", "%PDF-1.4"},
                    {"score.musicxml", score()}});
    QTest::newRow("no container: first score outside META-INF")
        << makeZip({{"readme.txt", "hello"}, {"META-INF/other.xml", "<x/>"}, {"score.musicxml", score()}});
    QTest::newRow("no container: .xml") << makeZip({{"Score.XML", score()}});
}

void TestMxlReader::reads()
{
    QFETCH(QByteArray, zip);
    QVERIFY(!zip.isEmpty());
    const PieceResult result = readCompressedMusicXml(zip);
    QVERIFY2(result.ok(), qPrintable(result.error));
    QBuffer plain;
    plain.setData(score());
    plain.open(QIODevice::ReadOnly);
    const PieceResult expected = readMusicXml(plain);
    QVERIFY(expected.ok());
    QCOMPARE(noteLines(result.piece), noteLines(expected.piece));
    QCOMPARE(result.piece.parts.size(), expected.piece.parts.size());
    QCOMPARE(result.piece.parts[1].name, QString("Cello"));
}

// Each bad archive gives a one-line message naming what is wrong.
void TestMxlReader::refuses_data()
{
    QTest::addColumn<QByteArray>("zip");
    QTest::addColumn<QString>("message");
    const QByteArray good = makeZip({{"META-INF/container.xml", containerNaming("score.musicxml")},
                                     {"score.musicxml", score()}});
    QTest::newRow("empty") << QByteArray() << "не архив ZIP";
    QTest::newRow("plain XML") << score() << "не архив ZIP";
    QTest::newRow("truncated") << good.left(good.size() / 2) << "обрезан";
    QTest::newRow("last bytes cut") << good.chopped(3) << "обрезан";
    QByteArray badData = good;
    // The score's deflated bytes follow its name in its local header.
    const qsizetype data = badData.indexOf("score.musicxml");
    for (qsizetype i = data + 20; i < data + 120 && i < badData.size(); ++i)
        badData[i] = char(~badData[i]);
    QTest::newRow("damaged data") << badData << "повреждён";
    QTest::newRow("container names a missing file")
        << makeZip({{"META-INF/container.xml", containerNaming("gone.musicxml")}, {"score.musicxml", score()}})
        << "«gone.musicxml»";
    QTest::newRow("container not XML")
        << makeZip({{"META-INF/container.xml", "<container><rootfiles>"}, {"score.musicxml", score()}}) << "не XML";
    QTest::newRow("container without rootfile")
        << makeZip({{"META-INF/container.xml", "<container/>"}, {"score.musicxml", score()}}) << "не называет";
    QTest::newRow("rootfile without path")
        << makeZip({{"META-INF/container.xml", "<container><rootfile/></container>"}, {"score.musicxml", score()}})
        << "full-path";
    QTest::newRow("no score") << makeZip({{"readme.txt", "hello"}, {"META-INF/x.xml", "<x/>"}}) << "нет ни";
    QTest::newRow("empty archive") << QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0') << "нет ни";
    QTest::newRow("encrypted") << patched(good, Field::Encrypted) << "зашифрован";
    Entries many;
    for (int i = 0; i <= limits::MaxZipEntries; ++i)
        many.emplace_back("f" + QByteArray::number(i) + ".txt", "x");
    QTest::newRow("too many entries") << makeZip(many) << QString::number(limits::MaxZipEntries);
    QByteArray claimsMany = good;
    const qsizetype end = claimsMany.lastIndexOf("PK\x05\x06");
    for (int at : {8, 10}) { // 50000 entries, on this disk and in all
        claimsMany[end + at] = char(0x50);
        claimsMany[end + at + 1] = char(0xc3);
    }
    QTest::newRow("end record claims too many") << claimsMany << QString::number(limits::MaxZipEntries);
    // The end record is read before libzip builds its directory; a damaged
    // directory under an honest end record is still caught by libzip.
    QByteArray badDirectory = good;
    const qsizetype directory = badDirectory.lastIndexOf("PK\x01\x02");
    for (int i = 42; i < 46; ++i) // where the score's local header lies
        badDirectory[directory + i] = char(0x7f);
    QTest::newRow("damaged directory") << badDirectory << "повреждён";
    // The score's own faults are the reader's, named with the entry.
    QTest::newRow("broken score") << makeZip({{"score.musicxml", score().left(300)}}) << "«score.musicxml» в архиве";
}

void TestMxlReader::refuses()
{
    QFETCH(QByteArray, zip);
    QFETCH(QString, message);
    const PieceResult result = readCompressedMusicXml(zip);
    QVERIFY(!result.ok());
    QVERIFY2(result.error.contains(message), qPrintable(result.error));
    QVERIFY(!result.error.contains('\n'));
}

// A small archive that expands past the limit is refused once the limit is
// read, whether or not it declares its size honestly.
void TestMxlReader::bomb_data()
{
    QTest::addColumn<QByteArray>("zip");
    const QByteArray zip = ::bomb();
    QVERIFY(!zip.isEmpty());
    QVERIFY(zip.size() < 1024 * 1024);
    QTest::newRow("declared") << zip;
    QTest::newRow("declared small") << patched(zip, Field::SmallSize);
}

void TestMxlReader::bomb()
{
    QFETCH(QByteArray, zip);
    const PieceResult result = readCompressedMusicXml(zip);
    QVERIFY(!result.ok());
    QVERIFY2(result.error.contains(QStringLiteral("больше %1 МиБ").arg(limits::MaxFileBytes / (1024 * 1024))),
             qPrintable(result.error));
}

QTEST_GUILESS_MAIN(TestMxlReader)
#include "tst_mxlreader.moc"
