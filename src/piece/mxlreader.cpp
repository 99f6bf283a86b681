// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece/mxlreader.h"

#include <QCoreApplication>
#include <QXmlStreamReader>

#include <zip.h>

#include <algorithm>
#include <memory>

namespace tonvero::piece {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("tonvero::piece", text);
}

const char ContainerName[] = "META-INF/container.xml";

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
    void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;
using Entry = std::unique_ptr<zip_file_t, EntryCloser>;

// What libzip said, as the user can act on it.
QString zipMessage(int code, const QString& entry)
{
    switch (code) {
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD:
    case ZIP_ER_ENCRNOTSUPP:
        return tr("«%1» в архиве зашифрован; сохраните пьесу без пароля").arg(entry);
    case ZIP_ER_COMPNOTSUPP:
        return tr("«%1» в архиве сжат неизвестным способом; сохраните пьесу заново").arg(entry);
    case ZIP_ER_MEMORY:
        return tr("не хватает памяти, чтобы распаковать архив");
    default:
        return tr("архив повреждён или обрезан: «%1» не распаковывается").arg(entry);
    }
}

// The entry's bytes, at most maxBytes of them: a larger one is an error, found
// by reading, as the declared size may lie.
bool readEntry(zip_t* archive, zip_uint64_t index, qint64 maxBytes, QByteArray& out, QString& error)
{
    const QString name = QString::fromUtf8(zip_get_name(archive, index, ZIP_FL_ENC_GUESS));
    zip_stat_t st;
    zip_stat_init(&st);
    zip_uint64_t declared = 0;
    if (zip_stat_index(archive, index, 0, &st) == 0) {
        if ((st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE) {
            error = zipMessage(ZIP_ER_NOPASSWD, name);
            return false;
        }
        if ((st.valid & ZIP_STAT_SIZE) && st.size > zip_uint64_t(maxBytes)) {
            error = tr("«%1» в архиве больше %2 МиБ").arg(name).arg(maxBytes / (1024 * 1024));
            return false;
        }
        if (st.valid & ZIP_STAT_SIZE)
            declared = st.size;
    }
    Entry entry(zip_fopen_index(archive, index, 0));
    if (!entry) {
        error = zipMessage(zip_error_code_zip(zip_get_error(archive)), name);
        return false;
    }
    char buffer[64 * 1024];
    // The declared size is only a first guess; past it, room up to the limit at
    // once, so a lying archive costs one copy of what it has given so far.
    out.clear();
    out.reserve(qsizetype(declared) + 1);
    for (;;) {
        const zip_int64_t n = zip_fread(entry.get(), buffer, sizeof buffer);
        if (n < 0) {
            error = zipMessage(zip_error_code_zip(zip_file_get_error(entry.get())), name);
            return false;
        }
        if (n == 0)
            return true;
        if (out.size() + n > maxBytes) {
            error = tr("«%1» в архиве больше %2 МиБ").arg(name).arg(maxBytes / (1024 * 1024));
            return false;
        }
        if (out.size() + n > out.capacity())
            out.reserve(qsizetype(maxBytes) + qsizetype(sizeof buffer));
        out.append(buffer, qsizetype(n));
    }
}

// The first rootfile's full-path: the score, whatever other files the container lists.
bool rootFile(const QByteArray& container, QString& path, QString& error)
{
    QXmlStreamReader xml(container);
    int depth = 0;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement)
            --depth;
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (++depth > limits::MaxDepth)
            break;
        if (xml.name() == QLatin1String("rootfile")) {
            path = xml.attributes().value(QLatin1String("full-path")).toString();
            if (path.isEmpty()) {
                error = tr("в %1 у rootfile нет full-path").arg(QLatin1String(ContainerName));
                return false;
            }
            return true;
        }
    }
    if (xml.hasError() || depth > limits::MaxDepth)
        error = tr("%1 — не XML: %2")
                    .arg(QLatin1String(ContainerName),
                         depth > limits::MaxDepth ? tr("элементы вложены глубже %1 уровней").arg(limits::MaxDepth)
                                                  : xml.errorString());
    else
        error = tr("%1 не называет файл партитуры").arg(QLatin1String(ContainerName));
    return false;
}

// The entry count the end record declares, read before libzip builds its
// directory: an archive of half a million empty entries is refused unread.
// -1 where there is no such record or it defers to ZIP64.
int declaredEntries(const QByteArray& data)
{
    constexpr qsizetype RecordSize = 22, MaxComment = 0xffff;
    const qsizetype from = std::max<qsizetype>(0, data.size() - RecordSize - MaxComment);
    const qsizetype at = data.lastIndexOf("PK\x05\x06");
    if (at < from || at + RecordSize > data.size())
        return -1;
    const auto* p = reinterpret_cast<const uchar*>(data.constData() + at);
    const int count = p[10] | (p[11] << 8);
    return count == 0xffff ? -1 : count;
}

bool isScoreName(const QString& name)
{
    return !name.startsWith(QLatin1String("META-INF/"), Qt::CaseInsensitive)
        && (name.endsWith(QLatin1String(".musicxml"), Qt::CaseInsensitive)
            || name.endsWith(QLatin1String(".xml"), Qt::CaseInsensitive));
}

} // namespace

PieceResult readCompressedMusicXml(const QByteArray& data)
{
    PieceResult result;
    if (data.size() > limits::MaxFileBytes) {
        result.error = tr("файл больше %1 МиБ").arg(limits::MaxFileBytes / (1024 * 1024));
        return result;
    }
    // libzip takes no bytes at all for an archive with nothing in it.
    if (data.isEmpty()) {
        result.error = tr("это не архив ZIP, каким должен быть сжатый MusicXML (.mxl)");
        return result;
    }
    if (declaredEntries(data) > limits::MaxZipEntries) {
        result.error = tr("в архиве больше %1 файлов").arg(limits::MaxZipEntries);
        return result;
    }
    // Read in place: libzip gets a view of the caller's bytes and never writes.
    zip_error_t zerror;
    zip_error_init(&zerror);
    zip_source_t* source = zip_source_buffer_create(data.constData(),
                                                    zip_uint64_t(data.size()), 0, &zerror);
    if (!source) {
        zip_error_fini(&zerror);
        result.error = tr("не хватает памяти, чтобы открыть архив");
        return result;
    }
    Archive archive(zip_open_from_source(source, ZIP_RDONLY, &zerror));
    if (!archive) {
        const int code = zip_error_code_zip(&zerror);
        zip_source_free(source);
        zip_error_fini(&zerror);
        if (code == ZIP_ER_NOZIP && data.startsWith("PK\x03\x04"))
            result.error = tr("архив обрезан или повреждён: у него нет оглавления");
        else if (code == ZIP_ER_NOZIP)
            result.error = tr("это не архив ZIP, каким должен быть сжатый MusicXML (.mxl)");
        else if (code == ZIP_ER_MEMORY)
            result.error = tr("не хватает памяти, чтобы открыть архив");
        else
            result.error = tr("архив обрезан или повреждён: его оглавление не сходится с файлами");
        return result;
    }
    zip_error_fini(&zerror);

    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    if (count > limits::MaxZipEntries) {
        result.error = tr("в архиве больше %1 файлов").arg(limits::MaxZipEntries);
        return result;
    }

    zip_int64_t score = -1;
    QString scoreName;
    const zip_int64_t container = zip_name_locate(archive.get(), ContainerName, 0);
    if (container >= 0) {
        QByteArray bytes;
        if (!readEntry(archive.get(), zip_uint64_t(container), limits::MaxContainerBytes, bytes, result.error)
            || !rootFile(bytes, scoreName, result.error))
            return result;
        score = zip_name_locate(archive.get(), scoreName.toUtf8().constData(), 0);
        if (score < 0) {
            result.error = tr("%1 называет «%2», а такого файла в архиве нет")
                               .arg(QLatin1String(ContainerName), scoreName.left(200));
            return result;
        }
    } else {
        for (zip_int64_t i = 0; i < count && score < 0; ++i) {
            const char* name = zip_get_name(archive.get(), zip_uint64_t(i), ZIP_FL_ENC_GUESS);
            if (name && isScoreName(QString::fromUtf8(name))) {
                score = i;
                scoreName = QString::fromUtf8(name);
            }
        }
        if (score < 0) {
            result.error = tr("в архиве нет ни %1, ни файла .musicxml или .xml").arg(QLatin1String(ContainerName));
            return result;
        }
    }

    QByteArray xml;
    if (!readEntry(archive.get(), zip_uint64_t(score), limits::MaxFileBytes, xml, result.error))
        return result;
    archive.reset();
    result = readMusicXmlData(xml);
    if (!result.ok())
        result.error = tr("«%1» в архиве: %2").arg(scoreName.left(200), result.error);
    return result;
}

} // namespace tonvero::piece
