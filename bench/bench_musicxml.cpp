// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece/musicxmlreader.h"
#include "piece/piecefile.h"

#include <QBuffer>
#include <QByteArray>

#include <benchmark/benchmark.h>
#include <zip.h>

using namespace tonvero::piece;

namespace {

QByteArray note(const char* step, int octave, int duration, const char* type, int staff, bool chord = false,
                const char* extra = "")
{
    return QByteArray("<note>") + (chord ? "<chord/>" : "") + "<pitch><step>" + step + "</step><octave>"
         + QByteArray::number(octave) + "</octave></pitch><duration>" + QByteArray::number(duration)
         + "</duration><voice>" + QByteArray::number(staff == 1 ? 1 : 5) + "</voice><type>" + type + "</type>" + extra
         + "<staff>" + QByteArray::number(staff) + "</staff></note>";
}

// A piano piece as notation editors write it: 200 bars of 4/4 on two staves,
// sixteenths and chords in the right hand, triplets and tied notes in the left,
// directions and beams the reader skips.
QByteArray pianoPiece(int bars)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<score-partwise version=\"4.0\"><part-list>"
                     "<score-part id=\"P1\"><part-name>Piano</part-name></score-part></part-list><part id=\"P1\">\n";
    const char* steps[] = {"C", "D", "E", "F", "G", "A", "B"};
    for (int b = 0; b < bars; ++b) {
        xml += "<measure number=\"" + QByteArray::number(b + 1) + "\">";
        if (b == 0)
            xml += "<attributes><divisions>12</divisions><key><fifths>-2</fifths></key><time><beats>4</beats>"
                   "<beat-type>4</beat-type></time><staves>2</staves><clef number=\"1\"><sign>G</sign><line>2</line>"
                   "</clef><clef number=\"2\"><sign>F</sign><line>4</line></clef></attributes>";
        xml += "<direction placement=\"above\"><direction-type><dynamics><mf/></dynamics></direction-type></direction>";
        for (int i = 0; i < 8; ++i)
            xml += note(steps[(b + i) % 7], 5, 3, "16th", 1, false, "<beam number=\"1\">continue</beam>");
        for (int i = 0; i < 2; ++i) {
            xml += note("C", 5, 12, "quarter", 1);
            xml += note("E", 5, 12, "quarter", 1, true);
            xml += note("G", 5, 12, "quarter", 1, true);
        }
        xml += "<backup><duration>48</duration></backup>";
        const QByteArray triplet = "<time-modification><actual-notes>3</actual-notes><normal-notes>2</normal-notes>"
                                   "</time-modification>";
        for (int i = 0; i < 6; ++i)
            xml += note(steps[(b + 2 * i) % 7], 3, 4, "eighth", 2, false, triplet);
        xml += note("C", 3, 24, "half", 2, false, "<tie type=\"start\"/>");
        xml += "</measure>\n";
    }
    return xml + "</part></score-partwise>\n";
}

void BM_ReadPianoPiece(benchmark::State& state)
{
    const QByteArray xml = pianoPiece(int(state.range(0)));
    for (auto _ : state) {
        QBuffer buffer;
        buffer.setData(xml);
        buffer.open(QIODevice::ReadOnly);
        const PieceResult result = readMusicXml(buffer);
        if (!result.ok() || result.piece.notes.empty())
            state.SkipWithError("the piece was not read");
        benchmark::DoNotOptimize(result.piece.notes.data());
    }
    state.counters["bytes"] = double(xml.size());
}
BENCHMARK(BM_ReadPianoPiece)->Arg(200)->Unit(benchmark::kMillisecond);

// The same piece written measure by measure (score-timewise), regrouped before it is read.
QByteArray timewise(QByteArray xml)
{
    xml.replace("score-partwise", "score-timewise");
    xml.replace("<part id=\"P1\">\n", "");
    xml.replace("</part></score-timewise>", "</score-timewise>");
    xml.replace("</measure>", "</part></measure>");
    for (qsizetype at = 0; (at = xml.indexOf("<measure ", at)) >= 0;) {
        at = xml.indexOf('>', at) + 1;
        xml.insert(at, "<part id=\"P1\">");
    }
    return xml;
}

void BM_ReadTimewisePianoPiece(benchmark::State& state)
{
    const QByteArray xml = timewise(pianoPiece(int(state.range(0))));
    for (auto _ : state) {
        const PieceFile file = readPieceData(xml, QStringLiteral("piano.musicxml"));
        if (!file.ok() || file.piece.notes.empty())
            state.SkipWithError("the piece was not read");
        benchmark::DoNotOptimize(file.piece.notes.data());
    }
    state.counters["bytes"] = double(xml.size());
}
BENCHMARK(BM_ReadTimewisePianoPiece)->Arg(200)->Unit(benchmark::kMillisecond);

// The same piece as a notation editor exports it compressed: a container naming
// the deflated score.
QByteArray compressed(const QByteArray& xml)
{
    static const char container[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><container><rootfiles>"
                                    "<rootfile full-path=\"score.musicxml\"/></rootfiles></container>";
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* out = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_source_keep(out);
    zip_t* archive = zip_open_from_source(out, ZIP_TRUNCATE, &error);
    zip_error_fini(&error);
    QByteArray bytes;
    if (archive) {
        zip_file_add(archive, "META-INF/container.xml", zip_source_buffer(archive, container, sizeof container - 1, 0), 0);
        zip_file_add(archive, "score.musicxml", zip_source_buffer(archive, xml.constData(), zip_uint64_t(xml.size()), 0), 0);
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

void BM_OpenCompressedPianoPiece(benchmark::State& state)
{
    const QByteArray mxl = compressed(pianoPiece(int(state.range(0))));
    for (auto _ : state) {
        const PieceFile file = readPieceData(mxl, QStringLiteral("piano.mxl"));
        if (!file.ok() || file.piece.notes.empty())
            state.SkipWithError("the piece was not read");
        benchmark::DoNotOptimize(file.piece.notes.data());
    }
    state.counters["bytes"] = double(mxl.size());
}
BENCHMARK(BM_OpenCompressedPianoPiece)->Arg(200)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
