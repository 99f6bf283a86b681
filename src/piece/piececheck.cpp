// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece/piececheck.h"

#include "piece/piecefile.h"

#include <QCoreApplication>

namespace tonvero::piece {

namespace {

QString tr(const char* text)
{
    return QCoreApplication::translate("tonvero::piece", text);
}

QString usage(const QString& program)
{
    return tr("Использование: %1 ФАЙЛ.musicxml [--part N]\n"
              "Читает пьесу MusicXML так же, как тренажёр, и печатает по строке на ноту,\n"
              "через табуляцию: партия, нотоносец, такт (с 1), начало от начала пьесы в четвертях,\n"
              "номер ноты MIDI (60 = до первой октавы), длительность в четвертях.\n"
              "Длительности и начала округляются до трёх знаков после точки (0.333).\n"
              "  --part N    только партия N (с 1)\n"
              "  -h, --help  показать эту справку\n")
        .arg(program);
}

} // namespace

QString quarterText(music::Fraction quarters)
{
    const qint64 num = quarters.num, den = quarters.den;
    const bool negative = num < 0;
    const qint64 thousandths = ((negative ? -num : num) * 2000 / den + 1) / 2;
    QString s = QString::number(thousandths / 1000);
    qint64 rest = thousandths % 1000;
    if (rest) {
        QString decimals = QStringLiteral("%1").arg(rest, 3, 10, QLatin1Char('0'));
        while (decimals.endsWith(QLatin1Char('0')))
            decimals.chop(1);
        s += QLatin1Char('.') + decimals;
    }
    return negative && thousandths ? QLatin1Char('-') + s : s;
}

int runPieceCheck(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const QString program = args.isEmpty() ? QStringLiteral("piececheck") : args.first();
    QString file;
    int part = 0; // 1-based; 0 for all
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            out << usage(program);
            return PieceCheckOk;
        }
        if (a == QLatin1String("--part") || a.startsWith(QLatin1String("--part="))) {
            QString value;
            if (a.contains(QLatin1Char('=')))
                value = a.section(QLatin1Char('='), 1);
            else if (i + 1 < args.size())
                value = args[++i];
            bool ok = false;
            part = value.toInt(&ok);
            if (!ok || part < 1 || part > limits::MaxParts) {
                err << tr("%1: --part ждёт номер партии от 1 до %2, а не «%3»\n").arg(program).arg(limits::MaxParts).arg(value);
                return PieceCheckUsage;
            }
            continue;
        }
        if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            err << tr("%1: неизвестный параметр %2\n").arg(program, a) << usage(program);
            return PieceCheckUsage;
        }
        if (!file.isEmpty()) {
            err << tr("%1: можно проверить только один файл за раз\n").arg(program) << usage(program);
            return PieceCheckUsage;
        }
        file = a;
    }
    if (file.isEmpty()) {
        err << usage(program);
        return PieceCheckUsage;
    }

    const PieceFile result = readPieceFile(file);
    if (!result.ok()) {
        err << tr("%1: %2: %3\n").arg(program, file, result.error);
        return PieceCheckBadFile;
    }
    if (part > int(result.piece.parts.size())) {
        err << tr("%1: в пьесе партий: %2, партии %3 нет\n").arg(program).arg(result.piece.parts.size()).arg(part);
        return PieceCheckUsage;
    }
    for (const Note& note : result.piece.notes) {
        if (part && note.part != part - 1)
            continue;
        out << note.part + 1 << '\t' << note.staff + 1 << '\t' << note.bar + 1 << '\t' << quarterText(note.onset)
            << '\t' << note.midi << '\t' << quarterText(note.duration) << '\n';
    }
    out.flush();
    return PieceCheckOk;
}

} // namespace tonvero::piece
