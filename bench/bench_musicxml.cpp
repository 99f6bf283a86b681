// SPDX-License-Identifier: GPL-3.0-or-later
#include "pianopiece.h"

#include "piece/musicxmlreader.h"
#include "piece/piecefile.h"

#include <QBuffer>
#include <QByteArray>

#include <benchmark/benchmark.h>
#include <zip.h>

using namespace tonvero::piece;

namespace {

using benchpiece::pianoPiece;

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
