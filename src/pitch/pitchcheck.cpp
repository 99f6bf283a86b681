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
// Frames decoded at a time.
constexpr std::size_t kBlockFrames = 8 * kChunk;

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
              "частота от 8000 до 192000 Гц, длина до %2 мин.\n")
        .arg(program)
        .arg(kMaxWavSeconds / 60);
}

} // namespace

namespace {

// The detector over a recording fed a block at a time, keeping the notes' starts.
class NoteCollector {
public:
    explicit NoteCollector(int sampleRate) : m_detector(sampleRate), m_rate(sampleRate) {}

    bool isValid(QString* error) const
    {
        if (!m_detector.isValid() && error)
            *error = QCoreApplication::translate("pitch", "распознавание нот недоступно: %1")
                         .arg(QString::fromStdString(m_detector.errorString()));
        return m_detector.isValid();
    }

    void feed(const float* samples, std::size_t count)
    {
        for (std::size_t i = 0; i < count; i += kChunk)
            m_detector.process(samples + i, std::min(kChunk, count - i), m_events);
        keepStarts();
    }

    void finish(std::vector<NoteEvent>& notes)
    {
        // Half a second of silence lets a note at the very end be heard out.
        const std::vector<float> tail(std::size_t(m_rate / 2), 0.f);
        feed(tail.data(), tail.size());
        notes.insert(notes.end(), m_notes.begin(), m_notes.end());
    }

private:
    void keepStarts()
    {
        for (const NoteEvent& e : m_events)
            if (e.kind == NoteEvent::Kind::Started)
                m_notes.push_back(e);
        m_events.clear();
    }

    NoteDetector m_detector;
    int m_rate;
    std::vector<NoteEvent> m_events;
    std::vector<NoteEvent> m_notes;
};

} // namespace

bool detectNotes(const WavAudio& audio, std::vector<NoteEvent>& notes, QString* error)
{
    NoteCollector collector(audio.sampleRate);
    if (!collector.isValid(error))
        return false;
    collector.feed(audio.mono.data(), audio.mono.size());
    collector.finish(notes);
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

    // Decoded a block at a time: memory does not grow with the recording.
    WavReader reader;
    QString error;
    if (!reader.open(file, &error)) {
        err << tr("%1: %2: %3\n").arg(program, file, error);
        return ExitBadFile;
    }
    const int rate = reader.format().sampleRate;
    NoteCollector collector(rate);
    if (!collector.isValid(&error)) {
        err << tr("%1: %2\n").arg(program, error);
        return ExitNoDetector;
    }
    std::vector<float> block;
    for (;;) {
        if (!reader.read(block, kBlockFrames, &error)) {
            err << tr("%1: %2: %3\n").arg(program, file, error);
            return ExitBadFile;
        }
        if (block.empty())
            break;
        collector.feed(block.data(), block.size());
    }
    std::vector<NoteEvent> notes;
    collector.finish(notes);
    for (const NoteEvent& e : notes) {
        const qint64 ms = qint64(e.onsetSample) * 1000 / rate;
        out << ms << '\t' << std::clamp(e.note + transpose, 0, 127) << '\n';
    }
    out.flush();
    return ExitOk;
}

} // namespace pitch
