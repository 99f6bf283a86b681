// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece/midifilereader.h"

#include <QCoreApplication>
#include <QHash>
#include <QRegularExpression>

#include <smf.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>

namespace tonvero::piece {

namespace {

// Quantised times are whole twelfths of a quarter: sixteenths are 3, eighth triplets 4.
constexpr qint64 Twelfths = 12;
constexpr qint64 SixteenthStep = 3;
constexpr qint64 TripletStep = 4;
// Every event costs libsmf a hundred bytes or so; a piece of MaxNotes notes with
// its pedals and controllers stays well below this.
constexpr int MaxEvents = 500000;
// libsmf looks each event's seconds up through its tempo map, one step per entry:
// surplus tempo changes (which change nothing here) are left out, and a file
// with more meter changes than any piece is refused.
constexpr int MaxTempoEvents = 512;
constexpr int MaxTimeSigEvents = 2000;
constexpr int MiddleC = 60;

quint32 be32(const uchar* p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

quint16 be16(const uchar* p)
{
    return quint16(p[0] << 8 | p[1]);
}

// A variable-length quantity of at most four bytes, as the format allows.
bool readVlq(const uchar* d, qsizetype end, qsizetype& pos, quint32& value)
{
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= end)
            return false;
        const uchar b = d[pos++];
        value = value << 7 | (b & 0x7F);
        if (!(b & 0x80))
            return true;
    }
    return false;
}

void writeVlq(QByteArray& out, quint32 value)
{
    uchar bytes[5];
    int n = 0;
    bytes[n++] = value & 0x7F;
    while (value >>= 7)
        bytes[n++] = 0x80 | (value & 0x7F);
    while (n)
        out.append(char(bytes[--n]));
}

void appendBe32(QByteArray& out, quint32 v)
{
    out.append(char(v >> 24)).append(char(v >> 16)).append(char(v >> 8)).append(char(v));
}

// The file as libsmf gets it: a six-byte header, only the track chunks, every
// event with its own status byte (libsmf takes a meta event's 0xFF as the running
// status, where writers keep the last channel status), no system exclusive, each
// track closed by one End of Track.
struct Prepared {
    QByteArray clean;
    int format = 0;
    int tracks = 0;
    int ppq = 0;
    QString error;
};

class Preparer {
    Q_DECLARE_TR_FUNCTIONS(tonvero::piece::MidiFileReader)

public:
    explicit Preparer(const QByteArray& data)
        : m_d(reinterpret_cast<const uchar*>(data.constData())), m_size(data.size())
    {
    }

    Prepared run()
    {
        Prepared p;
        if (m_size == 0) {
            p.error = tr("файл пуст");
            return p;
        }
        if (m_size < 8 || std::memcmp(m_d, "MThd", 4) != 0) {
            p.error = tr("это не файл MIDI: он не начинается с «MThd»");
            return p;
        }
        const quint32 headerLength = be32(m_d + 4);
        if (headerLength < 6 || headerLength > quint64(m_size - 8)) {
            p.error = tr("заголовок файла MIDI обрезан или испорчен");
            return p;
        }
        p.format = be16(m_d + 8);
        const int declaredTracks = be16(m_d + 10);
        const int division = be16(m_d + 12);
        if (p.format == 2) {
            p.error = tr("файлы MIDI формата 2 (независимые пьесы в одном файле) не читаются; "
                         "сохраните пьесу как формат 0 или 1");
            return p;
        }
        if (p.format > 2) {
            p.error = tr("неизвестный формат файла MIDI: %1").arg(p.format);
            return p;
        }
        if (declaredTracks == 0) {
            p.error = tr("в файле MIDI нет ни одной дорожки");
            return p;
        }
        if (division & 0x8000) {
            p.error = tr("время в файле MIDI отсчитывается кадрами SMPTE, а не долями четверти; "
                         "такие файлы не читаются");
            return p;
        }
        if (division == 0) {
            p.error = tr("в заголовке файла MIDI четверть разделена на 0 частей");
            return p;
        }
        p.ppq = division;
        // Past this libsmf's int times would overflow, and no piece is that long.
        m_maxTicks = std::min<qint64>(INT_MAX / 2, qint64(division) * limits::MaxBars * 16);

        QByteArray tracks;
        qsizetype pos = 8 + qsizetype(headerLength);
        int chunk = 0;
        while (pos + 8 <= m_size && p.tracks < declaredTracks) {
            ++chunk;
            const bool isTrack = std::memcmp(m_d + pos, "MTrk", 4) == 0;
            const quint32 length = be32(m_d + pos + 4);
            const qsizetype left = m_size - pos - 8;
            if (length > quint64(left)) {
                if (isTrack)
                    p.error = tr("дорожка %1 заявлена длиной %2 байт, а в файле после её начала только %3")
                                  .arg(p.tracks + 1)
                                  .arg(length)
                                  .arg(left);
                else
                    p.error = tr("файл MIDI обрезан: блок %1 длиннее файла").arg(chunk);
                return p;
            }
            if (isTrack) {
                ++p.tracks;
                QByteArray track;
                if (!scanTrack(pos + 8, pos + 8 + qsizetype(length), p.tracks, track, p.error))
                    return p;
                tracks.append("MTrk", 4);
                appendBe32(tracks, quint32(track.size()));
                tracks.append(track);
            }
            pos += 8 + qsizetype(length);
        }
        if (p.tracks == 0) {
            p.error = tr("в файле MIDI нет ни одной дорожки");
            return p;
        }
        p.clean.reserve(14 + tracks.size());
        p.clean.append("MThd", 4);
        appendBe32(p.clean, 6);
        p.clean.append('\0').append(char(p.tracks > 1 ? 1 : p.format));
        p.clean.append(char(p.tracks >> 8)).append(char(p.tracks & 0xFF));
        p.clean.append(char(division >> 8)).append(char(division & 0xFF));
        p.clean.append(tracks);
        return p;
    }

private:
    bool scanTrack(qsizetype pos, qsizetype end, int number, QByteArray& out, QString& error)
    {
        out.reserve(end - pos + 16);
        const auto broken = [&](const QString& why) {
            error = tr("дорожка %1 испорчена: %2").arg(number).arg(why);
            return false;
        };
        uchar running = 0;
        qint64 ticks = 0;
        quint32 pendingDelta = 0; // of events left out
        while (pos < end) {
            quint32 delta = 0;
            if (!readVlq(m_d, end, pos, delta))
                return broken(tr("время события обрезано"));
            ticks += delta;
            if (ticks > m_maxTicks) {
                error = tr("дорожка %1 слишком длинная").arg(number);
                return false;
            }
            const quint32 fullDelta = pendingDelta + delta;
            if (pos >= end)
                return broken(tr("событие обрезано"));
            const uchar b = m_d[pos];
            if (b == 0xFF) {
                if (pos + 2 > end)
                    return broken(tr("метасобытие обрезано"));
                const uchar type = m_d[pos + 1];
                qsizetype at = pos + 2;
                quint32 length = 0;
                if (!readVlq(m_d, end, at, length) || length > quint64(end - at))
                    return broken(tr("метасобытие длиннее дорожки"));
                pos = at + qsizetype(length);
                if (type == 0x2F)
                    break;
                if (type == 0x51 && ++m_tempoEvents > MaxTempoEvents) {
                    pendingDelta = fullDelta;
                    continue;
                }
                if (type == 0x58 && ++m_timeSigEvents > MaxTimeSigEvents) {
                    error = tr("в файле больше %1 смен размера").arg(MaxTimeSigEvents);
                    return false;
                }
                if (!countEvent(error))
                    return false;
                writeVlq(out, fullDelta);
                out.append(char(0xFF)).append(char(type));
                writeVlq(out, length);
                out.append(reinterpret_cast<const char*>(m_d + at), qsizetype(length));
                pendingDelta = 0;
                continue;
            }
            if (b == 0xF0 || b == 0xF7) {
                qsizetype at = pos + 1;
                quint32 length = 0;
                if (!readVlq(m_d, end, at, length) || length > quint64(end - at))
                    return broken(tr("системное сообщение длиннее дорожки"));
                pos = at + qsizetype(length);
                running = 0;
                pendingDelta = fullDelta;
                continue;
            }
            if (b > 0xF0)
                return broken(tr("неизвестный байт состояния 0x%1").arg(b, 2, 16, QLatin1Char('0')));
            uchar status = running;
            if (b & 0x80) {
                status = b;
                ++pos;
            } else if (!status) {
                return broken(tr("данные без байта состояния"));
            }
            running = status;
            const int kind = status & 0xF0;
            const int size = kind == 0xC0 || kind == 0xD0 ? 1 : 2;
            if (pos + size > end)
                return broken(tr("сообщение обрезано"));
            for (int i = 0; i < size; ++i)
                if (m_d[pos + i] & 0x80)
                    return broken(tr("байт данных больше 127"));
            if (kind == 0x90 && m_d[pos + 1] != 0 && ++m_notes > limits::MaxNotes) {
                error = tr("в файле больше %1 нот").arg(limits::MaxNotes);
                return false;
            }
            if (!countEvent(error))
                return false;
            writeVlq(out, fullDelta);
            out.append(char(status)).append(reinterpret_cast<const char*>(m_d + pos), size);
            pos += size;
            pendingDelta = 0;
        }
        writeVlq(out, pendingDelta);
        out.append(char(0xFF)).append(char(0x2F)).append('\0');
        return true;
    }

    bool countEvent(QString& error)
    {
        if (++m_events <= MaxEvents)
            return true;
        error = tr("в файле больше %1 событий").arg(MaxEvents);
        return false;
    }

    const uchar* m_d;
    qsizetype m_size;
    qint64 m_maxTicks = 0;
    int m_notes = 0;
    int m_events = 0;
    int m_tempoEvents = 0;
    int m_timeSigEvents = 0;
};

void silentLog(const gchar*, GLogLevelFlags, const gchar*, gpointer)
{
}

// libsmf says what it dislikes through GLib's log; the reader's message says it instead.
void silenceLibsmf()
{
    static std::once_flag once;
    std::call_once(once, [] {
        g_log_set_handler("libsmf", GLogLevelFlags(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION),
                          silentLog, nullptr);
    });
}

struct SmfDeleter {
    void operator()(smf_t* smf) const
    {
        // smf_delete takes each event off the front of its track's array, one
        // search and move per event: quadratic, seconds for a long piece. The
        // events go first here, freed as libsmf allocates them (malloc).
        for (int t = 1; t <= smf->number_of_tracks; ++t) {
            smf_track_t* track = smf_get_track_by_number(smf, t);
            if (!track || !track->events_array)
                continue;
            for (guint i = 0; i < track->events_array->len; ++i) {
                auto* event = static_cast<smf_event_t*>(g_ptr_array_index(track->events_array, i));
                std::free(event->midi_buffer);
                std::free(event);
            }
            g_ptr_array_set_size(track->events_array, 0);
            track->number_of_events = 0;
        }
        smf_delete(smf);
    }
};

// The data of a meta event as libsmf keeps it: FF, type, length, data.
QByteArray metaData(const smf_event_t* e)
{
    const auto* d = e->midi_buffer;
    qsizetype pos = 2;
    quint32 length = 0;
    if (e->midi_buffer_length < 3 || !readVlq(d, e->midi_buffer_length, pos, length)
        || length > quint64(e->midi_buffer_length - pos))
        return {};
    return QByteArray(reinterpret_cast<const char*>(d + pos), qsizetype(length));
}

QString textOf(const QByteArray& bytes)
{
    QString s = QString::fromUtf8(bytes);
    if (s.contains(QChar::ReplacementCharacter))
        s = QString::fromLatin1(bytes);
    return s.simplified().left(100);
}

enum class Hand { None, Right, Left };

bool isPianoWord(const QString& w)
{
    return w == QLatin1String("piano") || w == QLatin1String("pno") || w == QLatin1String("pf")
        || w == QLatin1String("klavier") || w == QLatin1String("фортепиано") || w == QLatin1String("пианино")
        || w == QLatin1String("фп");
}

QStringList wordsOf(const QString& name)
{
    static const QRegularExpression separators(QStringLiteral("[^\\p{L}\\p{N}]+"));
    return name.toLower().split(separators, Qt::SkipEmptyParts);
}

// "Right hand", "RH", "R.H.", "Piano R", "Правая рука", "rechte Hand"…
Hand handOf(const QString& name)
{
    const QStringList w = wordsOf(name);
    const bool piano = std::any_of(w.begin(), w.end(), isPianoWord);
    const bool handWord = w.contains(QLatin1String("h")) || w.contains(QLatin1String("hand"))
        || w.contains(QLatin1String("рука"));
    const auto says = [&](std::initializer_list<const char*> words, const char* letter) {
        for (const char* word : words)
            if (w.contains(QString::fromUtf8(word)))
                return true;
        return w.contains(QLatin1String(letter)) && (piano || handWord);
    };
    if (says({"right", "rh", "rechte", "rechts", "droite", "правая", "пр"}, "r"))
        return Hand::Right;
    if (says({"left", "lh", "linke", "links", "gauche", "левая", "лев"}, "l"))
        return Hand::Left;
    return Hand::None;
}

// Krumhansl and Kessler's key profiles, from C.
constexpr std::array<double, 12> MajorProfile = {6.35, 2.23, 3.48, 2.33, 4.38, 4.09,
                                                 2.52, 5.19, 2.39, 3.66, 2.29, 2.88};
constexpr std::array<double, 12> MinorProfile = {6.33, 2.68, 3.52, 5.38, 2.60, 3.53,
                                                 2.54, 4.75, 3.98, 2.69, 3.34, 3.17};

double correlation(const std::array<double, 12>& x, const std::array<double, 12>& profile, int tonic)
{
    double mx = 0, my = 0;
    for (int i = 0; i < 12; ++i) {
        mx += x[i];
        my += profile[i];
    }
    mx /= 12;
    my /= 12;
    double sxy = 0, sxx = 0, syy = 0;
    for (int i = 0; i < 12; ++i) {
        const double a = x[(i + tonic) % 12] - mx, b = profile[i] - my;
        sxy += a * b;
        sxx += a * a;
        syy += b * b;
    }
    return sxx > 0 && syy > 0 ? sxy / std::sqrt(sxx * syy) : 0;
}

int fifthsOfMajor(int tonicPc)
{
    // Six flats rather than six sharps, as piano music mostly has it.
    const int f = tonicPc * 7 % 12;
    return f > 5 ? f - 12 : f;
}

// The key whose profile best matches the piece's pitch classes, each weighted by its length.
music::Key estimateKey(const std::array<double, 12>& weights)
{
    music::Key best;
    double bestR = -2;
    for (int tonic = 0; tonic < 12; ++tonic) {
        const double major = correlation(weights, MajorProfile, tonic);
        if (major > bestR + 1e-9) {
            bestR = major;
            best = music::Key(fifthsOfMajor(tonic), music::Mode::Major);
        }
        const double minor = correlation(weights, MinorProfile, tonic);
        if (minor > bestR + 1e-9) {
            bestR = minor;
            best = music::Key(fifthsOfMajor((tonic + 3) % 12), music::Mode::Minor);
        }
    }
    return best;
}

struct RawNote {
    int track = 0;
    int channel = 0;
    int midi = 0;
    qint64 start = 0;
    qint64 end = -1;
};

struct QNote {
    int part = 0;
    int staff = 0;
    int midi = 0;
    qint64 onset = 0; // twelfths
    qint64 duration = 0;
};

struct PartSource {
    int track = 0;
    int channel = -1; // -1: every channel of the track
    int leftTrack = 0; // the left hand's track when a hand pair makes the part
    QString name;
};

Fraction twelfths(qint64 t)
{
    return Fraction(int(t), int(Twelfths));
}

class Reader {
    Q_DECLARE_TR_FUNCTIONS(tonvero::piece::MidiFileReader)

public:
    PieceResult read(const QByteArray& data)
    {
        PieceResult result;
        if (data.size() > limits::MaxFileBytes) {
            result.error = tr("файл больше %1 МиБ").arg(limits::MaxFileBytes / (1024 * 1024));
            return result;
        }
        Prepared p = Preparer(data).run();
        if (!p.error.isEmpty()) {
            result.error = p.error;
            return result;
        }
        m_ppq = p.ppq;
        silenceLibsmf();
        std::unique_ptr<smf_t, SmfDeleter> smf(smf_load_from_memory(p.clean.constData(), int(p.clean.size())));
        if (!smf) {
            result.error = tr("файл MIDI не читается");
            return result;
        }
        collect(smf.get(), p.tracks);
        smf.reset();
        if (!build(p.format == 0 && p.tracks == 1, result))
            return result;
        return result;
    }

private:
    // What a hand pair's part is called: its name without the hand, or the instrument.
    static QString pianoName(const QString& name)
    {
        static const QRegularExpression hand(
            QStringLiteral("\\b(right|left|rh|lh|r|l|h|hand|rechte|linke|правая|левая|рука)\\b\\.?"),
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::UseUnicodePropertiesOption);
        QString s = name;
        s.replace(hand, QString());
        s = s.simplified();
        while (!s.isEmpty() && !s.back().isLetterOrNumber())
            s.chop(1);
        return s.isEmpty() ? tr("Фортепиано") : s;
    }

    void collect(smf_t* smf, int trackCount)
    {
        m_names.assign(trackCount + 1, QString());
        m_programs.assign(size_t(trackCount + 1) * 16, -1);
        QHash<int, std::deque<int>> open;
        smf_event_t* e = nullptr;
        while ((e = smf_get_next_event(smf)) != nullptr) {
            const int track = e->track_number;
            const qint64 t = e->time_pulses;
            const uchar* b = e->midi_buffer;
            if (track < 1 || track > trackCount || e->midi_buffer_length < 1 || t < 0)
                continue;
            m_lastTick = std::max(m_lastTick, t);
            if (b[0] == 0xFF) {
                if (e->midi_buffer_length < 2)
                    continue;
                const QByteArray d = metaData(e);
                if (b[1] == 0x03 && m_names[track].isEmpty())
                    m_names[track] = textOf(d);
                else if (b[1] == 0x58 && d.size() >= 2 && d[0] >= 1 && d[0] <= 32 && d[1] >= 1 && d[1] <= 4)
                    m_timeSigs.push_back({tickToTwelfths(t), TimeSig{int(d[0]), 1 << d[1]}});
                else if (b[1] == 0x59 && d.size() >= 2 && d[0] >= -7 && d[0] <= 7 && (d[1] == 0 || d[1] == 1))
                    m_keys.push_back({tickToTwelfths(t), music::Key(int(qint8(d[0])), d[1] ? music::Mode::Minor : music::Mode::Major)});
                continue;
            }
            if (e->midi_buffer_length < 2 || b[0] < 0x80 || b[0] >= 0xF0)
                continue;
            const int kind = b[0] & 0xF0, channel = b[0] & 0x0F;
            if (kind == 0xC0) {
                int& program = m_programs[size_t(track) * 16 + channel];
                if (program < 0)
                    program = b[1];
                continue;
            }
            if ((kind != 0x80 && kind != 0x90) || e->midi_buffer_length < 3 || channel == 9)
                continue;
            const int key = (track * 16 + channel) * 128 + b[1];
            if (kind == 0x90 && b[2] > 0) {
                open[key].push_back(int(m_raw.size()));
                m_raw.push_back({track, channel, b[1], t, -1});
            } else {
                // Note Off, or Note On at velocity 0: ends the earliest sounding note of that key.
                auto it = open.find(key);
                if (it == open.end() || it->empty())
                    continue;
                m_raw[size_t(it->front())].end = t;
                it->pop_front();
            }
        }
        for (RawNote& n : m_raw)
            if (n.end < 0)
                n.end = m_lastTick;
    }

    qint64 tickToTwelfths(qint64 tick) const { return (tick * Twelfths + m_ppq / 2) / m_ppq; }

    std::vector<PartSource> partSources(bool byChannel) const
    {
        std::vector<PartSource> parts;
        if (byChannel) {
            std::array<bool, 16> used{};
            for (const RawNote& n : m_raw)
                used[size_t(n.channel)] = true;
            const int count = int(std::count(used.begin(), used.end(), true));
            for (int ch = 0; ch < 16; ++ch)
                if (used[size_t(ch)])
                    parts.push_back({1, ch, 0,
                                     count == 1 && !m_names[1].isEmpty() ? m_names[1] : tr("Канал %1").arg(ch + 1)});
        } else {
            std::vector<bool> used(m_names.size(), false);
            for (const RawNote& n : m_raw)
                used[size_t(n.track)] = true;
            int right = 0, left = 0;
            for (int t = 1; t < int(used.size()); ++t) {
                if (!used[size_t(t)])
                    continue;
                const Hand h = handOf(m_names[size_t(t)]);
                if (h == Hand::Right && !right)
                    right = t;
                else if (h == Hand::Left && !left)
                    left = t;
            }
            for (int t = 1; t < int(used.size()); ++t) {
                if (!used[size_t(t)] || (right && left && t == left))
                    continue;
                if (right && left && t == right)
                    parts.push_back({right, -1, left, pianoName(m_names[size_t(right)])});
                else
                    parts.push_back({t, -1, 0, m_names[size_t(t)]});
            }
        }
        return parts;
    }

    // Per part and beat, whether its onsets sit on the eighth-triplet grid
    // clearly better than on the sixteenth grid.
    std::vector<bool> tripletBeats(const std::vector<int>& rawOfPart, qint64 beats) const
    {
        std::vector<double> errS(size_t(beats + 1), 0), errT(size_t(beats + 1), 0), worstT(size_t(beats + 1), 0);
        std::vector<int> inner(size_t(beats + 1), 0), count(size_t(beats + 1), 0);
        for (int i : rawOfPart) {
            const qint64 tick = m_raw[size_t(i)].start;
            const qint64 beat = (tick + m_ppq / 24) / m_ppq;
            const double x = double(tick - beat * m_ppq) / m_ppq;
            const double s = std::abs(x * 4 - std::round(x * 4)) / 4;
            const double t = std::abs(x * 3 - std::round(x * 3)) / 3;
            const long third = std::lround(x * 3);
            errS[size_t(beat)] += s;
            errT[size_t(beat)] += t;
            worstT[size_t(beat)] = std::max(worstT[size_t(beat)], t);
            count[size_t(beat)] += 1;
            if ((third == 1 || third == 2) && t < s)
                inner[size_t(beat)] += 1;
        }
        std::vector<bool> triplet(size_t(beats + 1), false);
        for (size_t b = 0; b < triplet.size(); ++b)
            triplet[b] = count[b] >= 2 && inner[b] >= 1 && errT[b] < 0.5 * errS[b] && worstT[b] < 1.0 / 24;
        return triplet;
    }

    bool build(bool byChannel, PieceResult& result)
    {
        if (m_raw.empty()) {
            result.error = tr("в файле MIDI нет нот (ударные не в счёт)");
            return false;
        }
        const std::vector<PartSource> sources = partSources(byChannel);
        if (int(sources.size()) > limits::MaxParts) {
            result.error = tr("больше %1 партий").arg(limits::MaxParts);
            return false;
        }
        Piece& piece = result.piece;
        const qint64 beats = m_lastTick / m_ppq + 2;
        std::vector<QNote> notes;
        notes.reserve(m_raw.size());
        for (int part = 0; part < int(sources.size()); ++part) {
            const PartSource& src = sources[size_t(part)];
            std::vector<int> mine;
            bool pianoProgram = true;
            for (int i = 0; i < int(m_raw.size()); ++i) {
                const RawNote& n = m_raw[size_t(i)];
                const bool inPart = src.channel >= 0 ? n.channel == src.channel
                                                     : n.track == src.track || n.track == src.leftTrack;
                if (!inPart)
                    continue;
                mine.push_back(i);
                if (m_programs[size_t(n.track) * 16 + size_t(n.channel)] > 7) // not one of General MIDI's pianos
                    pianoProgram = false;
            }
            const int total = int(mine.size());
            const int below = int(std::count_if(mine.begin(), mine.end(),
                                                [&](int i) { return m_raw[size_t(i)].midi < MiddleC; }));
            const QStringList words = wordsOf(src.name);
            const bool namedPiano = std::any_of(words.begin(), words.end(), isPianoWord);
            const bool bothSides = below * 10 >= total && (total - below) * 10 >= total;
            const bool byPitch = !src.leftTrack && (pianoProgram || namedPiano) && bothSides;
            // Each hand keeps its own rhythm: triplets against sixteenths are common.
            const auto handOfNote = [&](const RawNote& n) {
                return src.leftTrack ? n.track == src.leftTrack : byPitch && n.midi < MiddleC;
            };
            std::array<std::vector<int>, 2> hands;
            for (int i : mine)
                hands[handOfNote(m_raw[size_t(i)])].push_back(i);
            const std::array<std::vector<bool>, 2> triplet = {tripletBeats(hands[0], beats),
                                                              tripletBeats(hands[1], beats)};
            struct Placed {
                qint64 onset;
                qint64 step;
                double rawEnd; // twelfths
                int hand;
            };
            std::vector<Placed> placed;
            placed.reserve(mine.size());
            std::array<std::vector<qint64>, 2> onsets;
            for (int i : mine) {
                const RawNote& n = m_raw[size_t(i)];
                const int hand = handOfNote(n);
                const qint64 beat = (n.start + m_ppq / 24) / m_ppq;
                const qint64 step = triplet[size_t(hand)][size_t(beat)] ? TripletStep : SixteenthStep;
                const double x = double(n.start - beat * m_ppq) / m_ppq;
                const qint64 onset = beat * Twelfths + std::llround(x * double(Twelfths / step)) * step;
                placed.push_back({onset, step, double(n.end) * Twelfths / m_ppq, hand});
                onsets[size_t(hand)].push_back(onset);
            }
            for (auto& o : onsets) {
                std::sort(o.begin(), o.end());
                o.erase(std::unique(o.begin(), o.end()), o.end());
            }
            std::vector<QNote> partNotes;
            for (size_t k = 0; k < mine.size(); ++k) {
                const RawNote& n = m_raw[size_t(mine[k])];
                const Placed& at = placed[k];
                const double played = at.rawEnd - double(at.onset);
                qint64 duration = std::llround(played / double(at.step)) * at.step;
                // Played detached, a note is still written up to the hand's next
                // onset; at four fifths of that or less, a rest follows it (a
                // dotted half before a quarter rest is three quarters).
                const auto& o = onsets[size_t(at.hand)];
                const auto next = std::upper_bound(o.begin(), o.end(), at.onset);
                if (next != o.end()) {
                    const qint64 gap = *next - at.onset;
                    if (played > 0.8 * double(gap) && played < double(gap))
                        duration = gap;
                }
                duration = std::clamp<qint64>(duration, at.step, qint64(limits::MaxNoteQuarters) * Twelfths);
                const int staff = src.leftTrack && n.track == src.leftTrack ? 1 : 0;
                partNotes.push_back({part, staff, n.midi, at.onset, duration});
            }
            // One note per pitch and onset; a note ends by the next onset of its pitch.
            std::sort(partNotes.begin(), partNotes.end(), [](const QNote& a, const QNote& b) {
                return std::tie(a.midi, a.onset, b.duration) < std::tie(b.midi, b.onset, a.duration);
            });
            std::vector<QNote> kept;
            for (const QNote& n : partNotes) {
                if (!kept.empty() && kept.back().midi == n.midi && kept.back().onset == n.onset)
                    continue;
                if (!kept.empty() && kept.back().midi == n.midi)
                    kept.back().duration = std::min(kept.back().duration, n.onset - kept.back().onset);
                kept.push_back(n);
            }
            Part p;
            p.id = QStringLiteral("P%1").arg(part + 1);
            p.name = src.name;
            if (src.leftTrack) {
                p.staves = 2;
            } else if (byPitch) {
                p.staves = 2;
                splitByPitch(kept);
            }
            if (p.staves == 2) {
                p.clefs.push_back({0, 0, Fraction(), ClefSign::G, 2, 0});
                p.clefs.push_back({1, 0, Fraction(), ClefSign::F, 4, 0});
            } else if (below * 2 > total) {
                p.clefs.push_back({0, 0, Fraction(), ClefSign::F, 4, 0});
            } else {
                p.clefs.push_back({0, 0, Fraction(), ClefSign::G, 2, 0});
            }
            piece.parts.push_back(std::move(p));
            notes.insert(notes.end(), kept.begin(), kept.end());
        }

        qint64 end = 0;
        for (const QNote& n : notes)
            end = std::max(end, n.onset + n.duration);
        if (!buildBars(end, piece.bars, result.error))
            return false;

        std::vector<music::Key> keys = barKeys(piece.bars, notes);
        for (Part& p : piece.parts)
            p.keys = keys;

        piece.notes.reserve(notes.size());
        for (const QNote& n : notes) {
            Note note;
            note.part = n.part;
            note.staff = n.staff;
            note.bar = int(std::upper_bound(m_barStarts.begin(), m_barStarts.end(), n.onset) - m_barStarts.begin()) - 1;
            note.onset = twelfths(n.onset);
            note.duration = twelfths(std::min(n.duration, m_pieceEnd - n.onset));
            note.midi = n.midi;
            note.pitch = music::Pitch::fromMidi(n.midi, keys[size_t(note.bar)]);
            note.voice = QStringLiteral("1");
            piece.notes.push_back(note);
        }
        std::stable_sort(piece.notes.begin(), piece.notes.end(), [](const Note& a, const Note& b) {
            return std::tie(a.onset, a.part, a.staff, a.midi) < std::tie(b.onset, b.part, b.staff, b.midi);
        });

        if (!m_names[1].isEmpty() && handOf(m_names[1]) == Hand::None)
            piece.title = m_names[1];
        return true;
    }

    // Middle C and above on the upper staff; a chord of one hand's reach that
    // crosses middle C stays together, on the staff most of its notes are on.
    static void splitByPitch(std::vector<QNote>& notes)
    {
        std::sort(notes.begin(), notes.end(),
                  [](const QNote& a, const QNote& b) { return std::tie(a.onset, a.midi) < std::tie(b.onset, b.midi); });
        for (size_t i = 0; i < notes.size();) {
            size_t j = i;
            while (j < notes.size() && notes[j].onset == notes[i].onset)
                ++j;
            const int low = notes[i].midi, high = notes[j - 1].midi;
            int above = 0;
            for (size_t k = i; k < j; ++k)
                above += notes[k].midi >= MiddleC;
            const int count = int(j - i);
            const bool together = low < MiddleC && high >= MiddleC && high - low <= 12;
            for (size_t k = i; k < j; ++k) {
                if (together)
                    notes[k].staff = above * 2 >= count ? 0 : 1;
                else
                    notes[k].staff = notes[k].midi >= MiddleC ? 0 : 1;
            }
            i = j;
        }
    }

    bool buildBars(qint64 end, std::vector<Bar>& bars, QString& error)
    {
        std::stable_sort(m_timeSigs.begin(), m_timeSigs.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        TimeSig current;
        size_t k = 0;
        qint64 start = 0;
        while (start < end || bars.empty()) {
            while (k < m_timeSigs.size() && m_timeSigs[k].first <= start)
                current = m_timeSigs[k++].second;
            qint64 length = qint64(current.numerator) * 4 * Twelfths / current.denominator;
            // A meter that changes within a bar cuts that bar short.
            if (k < m_timeSigs.size() && m_timeSigs[k].first < start + length)
                length = m_timeSigs[k].first - start;
            if (int(bars.size()) >= limits::MaxBars) {
                error = tr("больше %1 тактов").arg(limits::MaxBars);
                return false;
            }
            bars.push_back({twelfths(start), twelfths(length), current});
            m_barStarts.push_back(start);
            start += length;
        }
        m_pieceEnd = start;
        return true;
    }

    std::vector<music::Key> barKeys(const std::vector<Bar>& bars, const std::vector<QNote>& notes)
    {
        if (m_keys.empty()) {
            std::array<double, 12> weights{};
            for (const QNote& n : notes)
                weights[size_t(n.midi % 12)] += double(n.duration);
            return std::vector<music::Key>(bars.size(), estimateKey(weights));
        }
        std::stable_sort(m_keys.begin(), m_keys.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<music::Key> keys;
        keys.reserve(bars.size());
        size_t k = 0;
        music::Key current = m_keys.front().second;
        for (size_t i = 0; i < bars.size(); ++i) {
            // A key change within a bar takes effect at the next one.
            while (k < m_keys.size() && m_keys[k].first <= m_barStarts[i])
                current = m_keys[k++].second;
            keys.push_back(current);
        }
        return keys;
    }

    qint64 m_ppq = 1;
    qint64 m_lastTick = 0;
    std::vector<QString> m_names; // by track number, from 1
    std::vector<int> m_programs;  // track × channel, −1 when none was set
    std::vector<RawNote> m_raw;
    std::vector<std::pair<qint64, TimeSig>> m_timeSigs;
    std::vector<std::pair<qint64, music::Key>> m_keys;
    std::vector<qint64> m_barStarts;
    qint64 m_pieceEnd = 0;
};

} // namespace

PieceResult readMidiFile(const QByteArray& data)
{
    return Reader().read(data);
}

} // namespace tonvero::piece
