// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece/musicxmlreader.h"

#include "piece/timewise.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QXmlStreamReader>

#include <algorithm>
#include <climits>
#include <cmath>
#include <numeric>

namespace tonvero::piece {

namespace {

// The context lupdate gives these texts (the namespace).
QString tr(const char* text)
{
    return QCoreApplication::translate("tonvero::piece", text);
}

// An exact time in quarter notes, wider than music::Fraction while a file is
// read: every step is checked, so absurd lengths end in a message, not in overflow.
struct Time {
    qint64 num = 0;
    qint64 den = 1;
};

bool reduced(qint64 num, qint64 den, Time& out)
{
    if (den <= 0)
        return false;
    const qint64 g = std::gcd(num, den);
    out = {num / (g ? g : 1), den / (g ? g : 1)};
    return true;
}

bool add(Time a, Time b, Time& out)
{
    const qint64 g = std::gcd(a.den, b.den);
    qint64 den = 0, x = 0, y = 0, num = 0;
    if (__builtin_mul_overflow(a.den / g, b.den, &den) || __builtin_mul_overflow(a.num, den / a.den, &x)
        || __builtin_mul_overflow(b.num, den / b.den, &y) || __builtin_add_overflow(x, y, &num))
        return false;
    return reduced(num, den, out);
}

// Sign of a − b; past 64 bits the nearest long doubles decide, which is only ever a bar's end.
int compare(Time a, Time b)
{
    qint64 x = 0, y = 0;
    if (__builtin_mul_overflow(a.num, b.den, &x) || __builtin_mul_overflow(b.num, a.den, &y)) {
        const long double d = static_cast<long double>(a.num) / a.den - static_cast<long double>(b.num) / b.den;
        return d < 0 ? -1 : d > 0 ? 1 : 0;
    }
    return x < y ? -1 : x > y ? 1 : 0;
}

bool toFraction(Time t, Fraction& out)
{
    if (t.num > INT_MAX || t.num < -INT_MAX || t.den > INT_MAX)
        return false;
    out = Fraction(static_cast<int>(t.num), static_cast<int>(t.den));
    return true;
}

// A note as read, placed in its bar; onsets become absolute once every part is read.
struct RawNote {
    int bar = 0;
    Time offset;
    Time duration;
    music::Pitch pitch;
    int midi = 0;
    int staff = 0;
    QString voice;
};

struct RawClef {
    int bar = 0;
    Time offset;
    ClefChange clef;
};

struct OpenTie {
    int midi = 0;
    int staff = 0;
    QString voice;
    std::size_t note = 0;
};

struct PartState {
    Part part;
    int divisions = 0;
    music::Key key;
    TimeSig time;
    std::vector<TimeSig> times; // in effect per bar
    std::vector<Time> barLengths;
    std::vector<RawNote> notes;
    std::vector<RawClef> clefs;
    std::vector<OpenTie> ties;
};

class Reader {
public:
    explicit Reader(const QByteArray& bytes) : m_xml(bytes) {}

    // The context lupdate gives texts in the class.
    static QString tr(const char* text) { return QCoreApplication::translate("tonvero::piece::Reader", text); }

    PieceResult read();
    // The document is score-timewise: read() gave nothing, regroup it first.
    bool timewise() const { return m_timewise; }

private:
    bool failed() const { return !m_error.isEmpty() || m_xml.hasError(); }
    void fail(const QString& message)
    {
        if (m_error.isEmpty())
            m_error = tr("строка %1: %2").arg(m_xml.lineNumber()).arg(message);
    }

    QXmlStreamReader::TokenType next();
    bool nextChild();
    void skip();
    QString text();
    int integer(int min, int max, const QString& what);
    Time quarters(PartState& ps, int maxQuarters);

    void readPartList();
    void readPart();
    void readMeasure(PartState& ps);
    void readAttributes(PartState& ps, int bar, Time cursor);
    void readClef(PartState& ps, int bar, Time cursor);
    void readNote(PartState& ps, int bar, Time& cursor, Time& lastOnset, Time& barEnd);
    void readPitch(music::Pitch& pitch);
    void finish(PieceResult& result);

    QXmlStreamReader m_xml;
    QString m_error;
    int m_depth = 0;
    int m_noteCount = 0;
    bool m_timewise = false;
    QString m_title;
    QHash<QString, QString> m_partNames;
    std::vector<PartState> m_parts;
};

QXmlStreamReader::TokenType Reader::next()
{
    const auto token = m_xml.readNext();
    if (token == QXmlStreamReader::StartElement && ++m_depth > limits::MaxDepth)
        fail(tr("элементы вложены глубже %1 уровней").arg(limits::MaxDepth));
    else if (token == QXmlStreamReader::EndElement)
        --m_depth;
    return token;
}

// The next child element of the current one; false at its end or on an error.
bool Reader::nextChild()
{
    while (!failed() && !m_xml.atEnd()) {
        const auto token = next();
        if (failed())
            return false;
        if (token == QXmlStreamReader::StartElement)
            return true;
        if (token == QXmlStreamReader::EndElement)
            return false;
    }
    return false;
}

void Reader::skip()
{
    const int depth = m_depth;
    while (!failed() && !m_xml.atEnd() && m_depth >= depth)
        next();
}

QString Reader::text()
{
    QString s;
    const int depth = m_depth;
    while (!failed() && !m_xml.atEnd()) {
        const auto token = next();
        if (token == QXmlStreamReader::Characters && m_depth == depth)
            s += m_xml.text();
        else if (token == QXmlStreamReader::EndElement && m_depth < depth)
            break;
    }
    return s.trimmed();
}

int Reader::integer(int min, int max, const QString& what)
{
    const QString s = text();
    bool ok = false;
    const int value = s.toInt(&ok);
    if (!ok || value < min || value > max) {
        fail(tr("%1 «%2» вне пределов %3…%4").arg(what, s.left(40)).arg(min).arg(max));
        return min;
    }
    return value;
}

// The <duration> being read, in quarter notes.
Time Reader::quarters(PartState& ps, int maxQuarters)
{
    if (ps.divisions <= 0) {
        fail(tr("длительность до того, как задано <divisions>"));
        return {};
    }
    const qint64 max = qint64(maxQuarters) * ps.divisions;
    const int ticks = integer(0, int(std::min<qint64>(max, INT_MAX)), QStringLiteral("<duration>"));
    Time t;
    reduced(ticks, ps.divisions, t);
    return t;
}

PieceResult Reader::read()
{
    PieceResult result;
    while (!m_xml.atEnd() && next() != QXmlStreamReader::StartElement) {
    }
    if (m_xml.hasError() || !m_xml.isStartElement()) {
        result.error = m_xml.hasError() ? tr("это не файл MusicXML: %1").arg(m_xml.errorString())
                                        : tr("это не файл MusicXML: в нём нет ни одного элемента");
        return result;
    }
    const auto root = m_xml.name();
    if (root == QLatin1String("score-timewise")) {
        m_timewise = true;
        return result;
    }
    if (root != QLatin1String("score-partwise")) {
        result.error = tr("это не партитура MusicXML: корневой элемент <%1>").arg(root.toString().left(40));
        return result;
    }
    while (nextChild()) {
        const auto name = m_xml.name();
        if (name == QLatin1String("part-list"))
            readPartList();
        else if (name == QLatin1String("part"))
            readPart();
        else if (name == QLatin1String("movement-title"))
            m_title = text();
        else if (name == QLatin1String("work")) {
            while (nextChild()) {
                if (m_xml.name() == QLatin1String("work-title") && m_title.isEmpty())
                    m_title = text();
                else
                    skip();
            }
        } else
            skip();
    }
    if (m_error.isEmpty() && m_xml.hasError())
        m_error = tr("испорченный XML, строка %1, столбец %2: %3")
                      .arg(m_xml.lineNumber())
                      .arg(m_xml.columnNumber())
                      .arg(m_xml.errorString());
    if (m_error.isEmpty() && m_parts.empty())
        m_error = tr("в партитуре нет ни одной партии");
    if (!m_error.isEmpty()) {
        result.error = m_error;
        return result;
    }
    finish(result);
    return result;
}

void Reader::readPartList()
{
    while (nextChild()) {
        if (m_xml.name() != QLatin1String("score-part")) {
            skip();
            continue;
        }
        if (m_partNames.size() >= limits::MaxParts) {
            fail(tr("больше %1 партий").arg(limits::MaxParts));
            return;
        }
        const QString id = m_xml.attributes().value(QLatin1String("id")).toString();
        QString name;
        while (nextChild()) {
            if (m_xml.name() == QLatin1String("part-name"))
                name = text();
            else
                skip();
        }
        m_partNames.insert(id, name);
    }
}

void Reader::readPart()
{
    if (int(m_parts.size()) >= limits::MaxParts) {
        fail(tr("больше %1 партий").arg(limits::MaxParts));
        return;
    }
    PartState ps;
    ps.part.id = m_xml.attributes().value(QLatin1String("id")).toString();
    ps.part.name = m_partNames.value(ps.part.id);
    while (nextChild()) {
        if (m_xml.name() == QLatin1String("measure"))
            readMeasure(ps);
        else
            skip();
    }
    m_parts.push_back(std::move(ps));
}

void Reader::readMeasure(PartState& ps)
{
    // Bars are counted: number= is a label and may be text or repeat itself.
    const int bar = int(ps.barLengths.size());
    if (bar >= limits::MaxBars) {
        fail(tr("больше %1 тактов").arg(limits::MaxBars));
        return;
    }
    ps.part.keys.push_back(ps.key);
    ps.times.push_back(ps.time);
    Time cursor, lastOnset, barEnd;
    while (nextChild()) {
        const auto name = m_xml.name();
        if (name == QLatin1String("attributes")) {
            readAttributes(ps, bar, cursor);
        } else if (name == QLatin1String("note")) {
            readNote(ps, bar, cursor, lastOnset, barEnd);
        } else if (name == QLatin1String("backup") || name == QLatin1String("forward")) {
            const bool back = name == QLatin1String("backup");
            Time length;
            while (nextChild()) {
                if (m_xml.name() == QLatin1String("duration"))
                    length = quarters(ps, limits::MaxNoteQuarters);
                else
                    skip();
            }
            if (back)
                length.num = -length.num;
            if (!add(cursor, length, cursor))
                fail(tr("слишком длинный такт"));
            // A backup past the start of the bar stops there.
            if (cursor.num < 0)
                cursor = {};
            if (compare(cursor, barEnd) > 0)
                barEnd = cursor;
        } else {
            skip();
        }
    }
    ps.barLengths.push_back(barEnd);
}

void Reader::readAttributes(PartState& ps, int bar, Time cursor)
{
    while (nextChild()) {
        const auto name = m_xml.name();
        if (name == QLatin1String("divisions")) {
            ps.divisions = integer(1, limits::MaxDivisions, QStringLiteral("<divisions>"));
        } else if (name == QLatin1String("staves")) {
            ps.part.staves = std::max(ps.part.staves, integer(1, limits::MaxStaves, QStringLiteral("<staves>")));
        } else if (name == QLatin1String("key")) {
            // Keys without fifths (non-traditional ones) leave the key as it was.
            int fifths = INT_MIN;
            music::Mode mode = music::Mode::Major;
            while (nextChild()) {
                if (m_xml.name() == QLatin1String("fifths"))
                    fifths = integer(-music::Key::MaxFifths, music::Key::MaxFifths, QStringLiteral("<fifths>"));
                else if (m_xml.name() == QLatin1String("mode"))
                    mode = text() == QLatin1String("minor") ? music::Mode::Minor : music::Mode::Major;
                else
                    skip();
            }
            if (fifths != INT_MIN) {
                ps.key = music::Key(fifths, mode);
                ps.part.keys[bar] = ps.key;
            }
        } else if (name == QLatin1String("time")) {
            // Beats may be a sum ("3+2"); a time without beats (senza misura) changes nothing.
            QString beats, beatType;
            while (nextChild()) {
                if (m_xml.name() == QLatin1String("beats") && beats.isEmpty())
                    beats = text();
                else if (m_xml.name() == QLatin1String("beat-type") && beatType.isEmpty())
                    beatType = text();
                else
                    skip();
            }
            if (beats.isEmpty())
                continue;
            int numerator = 0;
            bool ok = true;
            for (const QString& part : beats.split(QLatin1Char('+'))) {
                bool partOk = false;
                numerator += part.trimmed().toInt(&partOk);
                ok = ok && partOk && numerator > 0 && numerator <= 999;
            }
            bool typeOk = false;
            const int denominator = beatType.toInt(&typeOk);
            if (!ok || !typeOk || denominator < 1 || denominator > 128) {
                fail(tr("размер «%1/%2» не читается").arg(beats.left(20), beatType.left(20)));
                continue;
            }
            ps.time = {numerator, denominator};
            ps.times[bar] = ps.time;
        } else if (name == QLatin1String("clef")) {
            readClef(ps, bar, cursor);
        } else {
            skip();
        }
    }
}

void Reader::readClef(PartState& ps, int bar, Time cursor)
{
    bool numberOk = true;
    const auto number = m_xml.attributes().value(QLatin1String("number"));
    const int staff = number.isEmpty() ? 1 : number.toInt(&numberOk);
    if (!numberOk || staff < 1 || staff > limits::MaxStaves) {
        fail(tr("ключ на несуществующем нотоносце «%1»").arg(number.toString().left(20)));
        return;
    }
    RawClef raw{bar, cursor, {}};
    raw.clef.staff = staff - 1;
    raw.clef.bar = bar;
    int line = 0;
    while (nextChild()) {
        const auto name = m_xml.name();
        if (name == QLatin1String("sign")) {
            const QString sign = text();
            raw.clef.sign = sign == QLatin1String("G")            ? ClefSign::G
                            : sign == QLatin1String("F")          ? ClefSign::F
                            : sign == QLatin1String("C")          ? ClefSign::C
                            : sign == QLatin1String("percussion") ? ClefSign::Percussion
                            : sign == QLatin1String("TAB")        ? ClefSign::Tab
                                                                  : ClefSign::None;
        } else if (name == QLatin1String("line")) {
            line = integer(1, 5, QStringLiteral("<line>"));
        } else if (name == QLatin1String("clef-octave-change")) {
            raw.clef.octaveChange = integer(-2, 2, QStringLiteral("<clef-octave-change>"));
        } else {
            skip();
        }
    }
    // Without a line, each sign stands where it usually does.
    raw.clef.line = line ? line : raw.clef.sign == ClefSign::G ? 2 : raw.clef.sign == ClefSign::F ? 4 : 3;
    ps.part.staves = std::max(ps.part.staves, staff);
    ps.clefs.push_back(raw);
}

void Reader::readPitch(music::Pitch& pitch)
{
    while (nextChild()) {
        const auto name = m_xml.name();
        if (name == QLatin1String("step")) {
            const QString s = text();
            static const QString letters = QStringLiteral("CDEFGAB");
            const int i = s.size() == 1 ? int(letters.indexOf(s)) : -1;
            if (i < 0)
                fail(tr("нота «%1» не читается").arg(s.left(20)));
            else
                pitch.step = static_cast<music::Step>(i);
        } else if (name == QLatin1String("alter")) {
            // Microtones read as the nearer semitone.
            const QString s = text();
            bool ok = false;
            const double alter = s.toDouble(&ok);
            if (!ok || !(alter >= -2.5 && alter <= 2.5))
                fail(tr("<alter> «%1» вне пределов -2…2").arg(s.left(20)));
            else
                pitch.alter = std::clamp(int(std::lround(alter)), -2, 2);
        } else if (name == QLatin1String("octave")) {
            pitch.octave = integer(0, 9, QStringLiteral("<octave>"));
        } else {
            skip();
        }
    }
}

void Reader::readNote(PartState& ps, int bar, Time& cursor, Time& lastOnset, Time& barEnd)
{
    bool grace = false, chord = false, pitched = false, silent = false, hasDuration = false;
    bool tieStart = false, tieStop = false;
    music::Pitch pitch;
    Time duration;
    int staff = 1;
    QString voice = QStringLiteral("1");
    const auto readTie = [&] {
        const auto type = m_xml.attributes().value(QLatin1String("type"));
        tieStart = tieStart || type == QLatin1String("start");
        tieStop = tieStop || type == QLatin1String("stop");
        skip();
    };
    while (nextChild()) {
        const auto name = m_xml.name();
        if (name == QLatin1String("grace")) {
            grace = true;
            skip();
        } else if (name == QLatin1String("chord")) {
            chord = true;
            skip();
        } else if (name == QLatin1String("pitch")) {
            pitched = true;
            readPitch(pitch);
        } else if (name == QLatin1String("duration")) {
            hasDuration = true;
            duration = quarters(ps, limits::MaxNoteQuarters);
        } else if (name == QLatin1String("staff")) {
            staff = integer(1, limits::MaxStaves, QStringLiteral("<staff>"));
        } else if (name == QLatin1String("voice")) {
            voice = text().left(20);
        } else if (name == QLatin1String("tie")) {
            readTie();
        } else if (name == QLatin1String("notations")) {
            // Some programs write only the drawn tie.
            while (nextChild()) {
                if (m_xml.name() == QLatin1String("tied"))
                    readTie();
                else
                    skip();
            }
        } else {
            // Rests, unpitched and cue notes take time but are not sounding notes.
            if (name == QLatin1String("rest") || name == QLatin1String("unpitched") || name == QLatin1String("cue"))
                silent = true;
            skip();
        }
    }
    if (failed() || grace)
        return;
    if (!hasDuration) {
        fail(tr("нота без длительности"));
        return;
    }
    Time onset = cursor;
    if (chord) {
        onset = lastOnset;
    } else {
        lastOnset = cursor;
        if (!add(cursor, duration, cursor)) {
            fail(tr("слишком длинный такт"));
            return;
        }
    }
    Time end;
    if (add(onset, duration, end) && compare(end, barEnd) > 0)
        barEnd = end;
    // A note of no length cannot be played in time: left out, as grace notes are.
    if (!pitched || silent || duration.num <= 0)
        return;
    const int midi = pitch.midi();
    if (midi < 0 || midi > 127) {
        fail(tr("нота %1 вне пределов MIDI").arg(pitch.asciiName()));
        return;
    }
    ps.part.staves = std::max(ps.part.staves, staff);
    if (tieStop) {
        const auto open = std::find_if(ps.ties.begin(), ps.ties.end(), [&](const OpenTie& t) {
            return t.midi == midi && t.staff == staff && t.voice == voice;
        });
        if (open != ps.ties.end()) {
            RawNote& first = ps.notes[open->note];
            if (!add(first.duration, duration, first.duration)) {
                fail(tr("слишком длинная лига"));
                return;
            }
            if (!tieStart)
                ps.ties.erase(open);
            return;
        }
    }
    if (++m_noteCount > limits::MaxNotes) {
        fail(tr("больше %1 нот").arg(limits::MaxNotes));
        return;
    }
    ps.notes.push_back({bar, onset, duration, pitch, midi, staff - 1, voice});
    if (tieStart) {
        std::erase_if(ps.ties, [&](const OpenTie& t) { return t.midi == midi && t.staff == staff && t.voice == voice; });
        ps.ties.push_back({midi, staff, voice, ps.notes.size() - 1});
    }
}

void Reader::finish(PieceResult& result)
{
    Piece& piece = result.piece;
    piece.title = m_title;
    std::size_t barCount = 0;
    for (const PartState& ps : m_parts)
        barCount = std::max(barCount, ps.barLengths.size());

    // A bar is as long as its longest part, or as its time signature when it is empty.
    std::vector<Time> starts(barCount + 1);
    for (std::size_t b = 0; b < barCount; ++b) {
        Bar bar;
        bool timeSet = false;
        Time length;
        for (const PartState& ps : m_parts) {
            if (b >= ps.barLengths.size())
                continue;
            if (!timeSet) {
                bar.time = ps.times[b];
                timeSet = true;
            }
            if (compare(ps.barLengths[b], length) > 0)
                length = ps.barLengths[b];
        }
        if (length.num == 0)
            reduced(qint64(bar.time.numerator) * 4, bar.time.denominator, length);
        if (!add(starts[b], length, starts[b + 1]) || !toFraction(starts[b], bar.start)
            || !toFraction(length, bar.length)) {
            result.error = tr("пьеса слишком длинная");
            return;
        }
        piece.bars.push_back(bar);
    }

    const auto absolute = [&](int bar, Time offset, Fraction& out) {
        Time t;
        return add(starts[bar], offset, t) && toFraction(t, out);
    };
    for (std::size_t p = 0; p < m_parts.size(); ++p) {
        PartState& ps = m_parts[p];
        ps.part.keys.resize(barCount, ps.part.keys.empty() ? music::Key() : ps.part.keys.back());
        for (const RawClef& raw : ps.clefs) {
            ClefChange clef = raw.clef;
            if (!absolute(raw.bar, raw.offset, clef.onset)) {
                result.error = tr("пьеса слишком длинная");
                return;
            }
            ps.part.clefs.push_back(clef);
        }
        for (const RawNote& raw : ps.notes) {
            Note note{int(p), raw.staff, raw.bar, {}, {}, raw.pitch, raw.midi, raw.voice};
            if (!absolute(raw.bar, raw.offset, note.onset) || !toFraction(raw.duration, note.duration)) {
                result.error = tr("пьеса слишком длинная");
                return;
            }
            piece.notes.push_back(std::move(note));
        }
        piece.parts.push_back(std::move(ps.part));
    }
    std::stable_sort(piece.notes.begin(), piece.notes.end(), [](const Note& a, const Note& b) {
        const qint64 x = qint64(a.onset.num) * b.onset.den, y = qint64(b.onset.num) * a.onset.den;
        if (x != y)
            return x < y;
        if (a.part != b.part)
            return a.part < b.part;
        if (a.staff != b.staff)
            return a.staff < b.staff;
        return a.midi < b.midi;
    });
}

} // namespace

PieceResult readMusicXml(QIODevice& device)
{
    // Read whole but bounded: the parser then never waits on the device, and a
    // file of any size costs at most the limit.
    QByteArray bytes;
    char buffer[64 * 1024];
    for (;;) {
        const qint64 n = device.read(buffer, sizeof buffer);
        if (n < 0) {
            PieceResult result;
            result.error = tr("файл не читается: %1").arg(device.errorString());
            return result;
        }
        if (n == 0 && (device.atEnd() || !device.isSequential() || !device.waitForReadyRead(30000)))
            break;
        bytes.append(buffer, n);
        if (bytes.size() > limits::MaxFileBytes) {
            PieceResult result;
            result.error = tr("файл больше %1 МиБ").arg(limits::MaxFileBytes / (1024 * 1024));
            return result;
        }
    }
    return readMusicXmlData(bytes);
}

PieceResult readMusicXmlData(const QByteArray& bytes)
{
    if (bytes.size() > limits::MaxFileBytes) {
        PieceResult result;
        result.error = tr("файл больше %1 МиБ").arg(limits::MaxFileBytes / (1024 * 1024));
        return result;
    }
    Reader reader(bytes);
    PieceResult result = reader.read();
    if (reader.timewise()) {
        QByteArray partwise;
        if (timewiseToPartwise(bytes, partwise, result.error))
            result = Reader(partwise).read();
    }
    // The parser's own messages may quote the file, line breaks and all.
    result.error = result.error.simplified();
    return result;
}

PieceResult readMusicXmlFile(const QString& path)
{
    PieceResult result;
    const QFileInfo info(path);
    if (!info.exists()) {
        result.error = tr("файла нет");
        return result;
    }
    if (info.isDir()) {
        result.error = tr("это папка, а не файл");
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = tr("файл не открывается: %1").arg(file.errorString());
        return result;
    }
    return readMusicXml(file);
}

} // namespace tonvero::piece
