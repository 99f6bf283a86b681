// SPDX-License-Identifier: GPL-3.0-or-later
#include "pitch/pitchcheck.h"

#include "pitch/notedetector.h"
#include "pitch/wavfile.h"

#include <QCoreApplication>

#include <algorithm>

namespace pitch {

namespace {

constexpr int kMaxTranspose = 48;
// Samples fed at a time, about what a sound card delivers.
constexpr std::size_t kChunk = 512;

// The context lupdate gives these texts (the namespace).
QString tr(const char* text)
{
    return QCoreApplication::translate("pitch", text);
}

QString usage(const QString& program)
{
    return tr("Использование: %1 ФАЙЛ.wav [--transpose N]\n"
              "Находит ноты в записи и печатает по строке на ноту: начало ноты в миллисекундах\n"
              "и номер ноты MIDI (60 = до первой октавы).\n"
              "  --transpose N  прибавить N полутонов к каждой ноте (от -48 до 48),\n"
              "                 например 12 для гитары и баса, которые пишутся на октаву выше звучания\n"
              "  -h, --help     показать эту справку\n"
              "Поддерживаются файлы WAV: PCM 8, 16, 24, 32 бит и float 32, 64 бит, моно и стерео,\n"
              "частота от 8000 до 192000 Гц.\n")
        .arg(program);
}

} // namespace

bool detectNotes(const WavAudio& audio, std::vector<NoteEvent>& notes, QString* error)
{
    NoteDetector detector(audio.sampleRate);
    if (!detector.isValid()) {
        if (error)
            *error = tr("распознавание нот недоступно: %1").arg(QString::fromStdString(detector.errorString()));
        return false;
    }
    std::vector<NoteEvent> events;
    for (std::size_t i = 0; i < audio.mono.size(); i += kChunk)
        detector.process(audio.mono.data() + i, std::min(kChunk, audio.mono.size() - i), events);
    // Half a second of silence lets a note at the very end be heard out.
    const std::vector<float> tail(std::size_t(audio.sampleRate / 2), 0.f);
    detector.process(tail.data(), tail.size(), events);
    for (const NoteEvent& e : events)
        if (e.kind == NoteEvent::Kind::Started)
            notes.push_back(e);
    return true;
}

int runPitchCheck(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const QString program = args.isEmpty() ? QStringLiteral("pitchcheck") : args.first();
    QString file;
    int transpose = 0;
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("-h") || a == QLatin1String("--help")) {
            out << usage(program);
            return ExitOk;
        }
        if (a == QLatin1String("--transpose") || a.startsWith(QLatin1String("--transpose="))) {
            QString value;
            if (a.contains(QLatin1Char('=')))
                value = a.section(QLatin1Char('='), 1);
            else if (i + 1 < args.size())
                value = args[++i];
            bool ok = false;
            transpose = value.toInt(&ok);
            if (!ok || transpose < -kMaxTranspose || transpose > kMaxTranspose) {
                err << tr("%1: --transpose ждёт целое число полутонов от -48 до 48, а не «%2»\n").arg(program, value);
                return ExitUsage;
            }
            continue;
        }
        if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            err << tr("%1: неизвестный параметр %2\n").arg(program, a) << usage(program);
            return ExitUsage;
        }
        if (!file.isEmpty()) {
            err << tr("%1: можно проверить только один файл за раз\n").arg(program) << usage(program);
            return ExitUsage;
        }
        file = a;
    }
    if (file.isEmpty()) {
        err << usage(program);
        return ExitUsage;
    }

    WavAudio audio;
    QString error;
    if (!readWav(file, audio, &error)) {
        err << tr("%1: %2: %3\n").arg(program, file, error);
        return ExitBadFile;
    }
    std::vector<NoteEvent> notes;
    if (!detectNotes(audio, notes, &error)) {
        err << tr("%1: %2\n").arg(program, error);
        return ExitNoDetector;
    }
    for (const NoteEvent& e : notes) {
        const qint64 ms = qint64(e.onsetSample) * 1000 / audio.sampleRate;
        out << ms << '\t' << std::clamp(e.note + transpose, 0, 127) << '\n';
    }
    out.flush();
    return ExitOk;
}

} // namespace pitch
