// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece/piecefile.h"

#include "piece/midifilereader.h"
#include "piece/mxlreader.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace tonvero::piece {

namespace {

// The context lupdate gives these texts (the namespace).
QString tr(const char* text)
{
    return QCoreApplication::translate("tonvero::piece", text);
}

} // namespace

PieceFormat detectFormat(const QByteArray& head, const QString& fileName)
{
    if (head.startsWith("PK\x03\x04"))
        return PieceFormat::CompressedMusicXml;
    if (head.startsWith("MThd"))
        return PieceFormat::Midi;
    if (head.trimmed().startsWith('<') || head.startsWith("\xEF\xBB\xBF"))
        return PieceFormat::MusicXml;
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("mxl"))
        return PieceFormat::CompressedMusicXml;
    if (suffix == QLatin1String("mid") || suffix == QLatin1String("midi") || suffix == QLatin1String("smf")
        || suffix == QLatin1String("kar"))
        return PieceFormat::Midi;
    if (suffix == QLatin1String("musicxml") || suffix == QLatin1String("xml"))
        return PieceFormat::MusicXml;
    return PieceFormat::Unknown;
}

QString pieceId(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex().left(16));
}

PieceFile readPieceData(const QByteArray& data, const QString& fileName)
{
    PieceFile file;
    file.path = fileName;
    switch (detectFormat(data.left(64), fileName)) {
    case PieceFormat::MusicXml: {
        PieceResult r = readMusicXmlData(data);
        file.piece = std::move(r.piece);
        file.error = r.error;
        break;
    }
    case PieceFormat::CompressedMusicXml: {
        PieceResult r = readCompressedMusicXml(data);
        file.piece = std::move(r.piece);
        file.error = r.error;
        break;
    }
    case PieceFormat::Midi: {
        PieceResult r = readMidiFile(data);
        file.piece = std::move(r.piece);
        file.error = r.error;
        break;
    }
    case PieceFormat::Unknown:
        file.error = tr("Этот файл не похож на пьесу: Tonvero читает MusicXML (.musicxml, .xml, .mxl) и MIDI (.mid).");
        break;
    }
    file.error = file.error.simplified(); // one line, whatever a reader quotes
    if (file.ok())
        file.id = pieceId(data);
    return file;
}

PieceFile readPieceFile(const QString& path)
{
    PieceFile file;
    file.path = path;
    QFile f(path);
    if (!f.exists()) {
        file.error = tr("Файл «%1» не найден.").arg(QFileInfo(path).fileName());
        return file;
    }
    if (!f.open(QIODevice::ReadOnly)) {
        file.error = tr("Файл «%1» не открывается: %2").arg(QFileInfo(path).fileName(), f.errorString());
        return file;
    }
    if (f.size() > limits::MaxFileBytes) {
        file.error = tr("Файл «%1» слишком велик для пьесы.").arg(QFileInfo(path).fileName());
        return file;
    }
    const QByteArray data = f.read(limits::MaxFileBytes + 1);
    if (data.size() > limits::MaxFileBytes) {
        file.error = tr("Файл «%1» слишком велик для пьесы.").arg(QFileInfo(path).fileName());
        return file;
    }
    file = readPieceData(data, path);
    file.path = path;
    return file;
}

QStringList pieceFileFilters()
{
    return {tr("Пьесы (*.musicxml *.xml *.mxl *.mid *.midi)"), tr("MusicXML (*.musicxml *.xml *.mxl)"),
            tr("MIDI (*.mid *.midi)"), tr("Все файлы (*)")};
}

} // namespace tonvero::piece
