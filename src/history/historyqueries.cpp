// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/historyqueries.h"

#include "history/historydatabase.h"

#include "music/key.h"

#include <QHash>
#include <QIODevice>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <limits>

namespace tonvero::history {

namespace {

constexpr int Spellings = 3;
constexpr int ReadingClefs = 3;

// Rows no stave can show are left out of every figure.
const QString ValidRow = QStringLiteral(
    "clef BETWEEN 0 AND 3 AND staff BETWEEN 0 AND 1 AND (clef = 3 OR staff = 0)"
    " AND shown_note BETWEEN 21 AND 108 AND spelling BETWEEN 0 AND 2 AND mode BETWEEN 0 AND 2"
    // Unary + keeps this term off the index by kind: the period's index by time must serve.
    " AND +kind BETWEEN 0 AND 2");

// A group of answers: counts and the response times, kept for the medians.
struct Group {
    int answers = 0;
    int right = 0;
    qint64 countedMs = 0;
    QVector<int> rightMs;

    void add(bool isRight, int responseMs)
    {
        ++answers;
        countedMs += std::min(responseMs, HistoryQueries::MaxCountedResponseMs);
        if (isRight) {
            ++right;
            rightMs.push_back(responseMs);
        }
    }
    void merge(const Group& other)
    {
        answers += other.answers;
        right += other.right;
        countedMs += other.countedMs;
        rightMs += other.rightMs;
    }
    NoteFigures figures() const { return {answers, answers - right, HistoryQueries::median(rightMs)}; }
    SeriesPoint point(qint64 startMs) const
    {
        SeriesPoint p;
        p.startMs = startMs;
        p.answers = answers;
        p.right = right;
        p.accuracyPercent = answers > 0 ? 100.0 * right / answers : 0.0;
        p.rightPerMinute = countedMs > 0 ? right * 60000.0 / double(countedMs) : 0.0;
        p.medianMs = HistoryQueries::median(rightMs);
        return p;
    }
};

// Answers in one key: the right ones' time counted as the rate counts it.
struct KeyGroup {
    int answers = 0;
    int right = 0;
    qint64 rightMs = 0;

    void add(bool isRight, int responseMs)
    {
        ++answers;
        if (isRight) {
            ++right;
            rightMs += std::min(responseMs, HistoryQueries::MaxCountedResponseMs);
        }
    }
};

int noteSlot(int reading, int key, int spelling)
{
    return (reading * KeyCount + key) * Spellings + spelling;
}

// The filter's conditions, after `base`.
QString filterClause(const StatisticsFilter& f, const QString& base = ValidRow)
{
    QString where = base;
    if (f.fromMs > 0)
        where += QStringLiteral(" AND time_ms >= :from");
    if (f.toMs > 0)
        where += QStringLiteral(" AND time_ms < :to");
    if (f.sessionId != 0)
        where += QStringLiteral(" AND session_id = :session");
    if (f.kind)
        where += QStringLiteral(" AND kind = :kind");
    return where;
}

void bindFilter(QSqlQuery& q, const StatisticsFilter& f)
{
    if (f.fromMs > 0)
        q.bindValue(QStringLiteral(":from"), f.fromMs);
    if (f.toMs > 0)
        q.bindValue(QStringLiteral(":to"), f.toMs);
    if (f.sessionId != 0)
        q.bindValue(QStringLiteral(":session"), f.sessionId);
    if (f.kind)
        q.bindValue(QStringLiteral(":kind"), int(*f.kind));
}

QString sqlError(const QSqlError& e)
{
    return e.databaseText().isEmpty() ? e.text() : e.databaseText();
}

// Local midnight to local midnight, remembered while the rows stay in the same day.
class DayCache {
public:
    qint64 dayStart(qint64 ms)
    {
        if (ms < m_start || ms >= m_end) {
            const QDate date = QDateTime::fromMSecsSinceEpoch(ms).date();
            m_start = date.startOfDay().toMSecsSinceEpoch();
            m_end = date.addDays(1).startOfDay().toMSecsSinceEpoch();
        }
        return m_start;
    }

private:
    qint64 m_start = 1;
    qint64 m_end = 0;
};

void fillMap(NoteMapData& map, int clefSetting, const std::vector<Group>& notes)
{
    QVector<int> readings;
    if (clefSetting == 3)
        readings = {0, 1};
    else
        readings = {clefSetting};

    for (int key = 0; key < KeyCount; ++key) {
        Group merged;
        for (int r : readings)
            for (int s = 0; s < Spellings; ++s)
                merged.merge(notes[std::size_t(noteSlot(r, key, s))]);
        map.keys[std::size_t(key)] = merged.figures();
    }

    QVector<SpelledNote> all;
    for (int staff = 0; staff < readings.size(); ++staff) {
        const int r = readings[staff];
        for (int key = 0; key < KeyCount; ++key) {
            for (int s = 0; s < Spellings; ++s) {
                const Group& g = notes[std::size_t(noteSlot(r, key, s))];
                if (g.answers == 0)
                    continue;
                const SpelledNote n{r, key, Spelling(s), g.figures()};
                map.staves[std::size_t(staff)].push_back(n);
                all.push_back(n);
            }
        }
    }

    for (const SpelledNote& n : all)
        if (n.figures.errors > 0)
            map.mostMissed.push_back(n);
    std::stable_sort(map.mostMissed.begin(), map.mostMissed.end(), [](const SpelledNote& a, const SpelledNote& b) {
        if (a.figures.errors != b.figures.errors)
            return a.figures.errors > b.figures.errors;
        return a.figures.errorPercent() > b.figures.errorPercent();
    });
    if (map.mostMissed.size() > HistoryQueries::TopCount)
        map.mostMissed.resize(HistoryQueries::TopCount);

    for (const SpelledNote& n : all)
        if (n.figures.answers - n.figures.errors >= HistoryQueries::MinRightForSlowest)
            map.slowest.push_back(n);
    std::stable_sort(map.slowest.begin(), map.slowest.end(), [](const SpelledNote& a, const SpelledNote& b) {
        return a.figures.medianMs > b.figures.medianMs;
    });
    if (map.slowest.size() > HistoryQueries::TopCount)
        map.slowest.resize(HistoryQueries::TopCount);
}

// ISO 8601 local time with its offset, such as 2025-03-12T18:05:02.113+03:00. The
// offset is asked of the time zone once per quarter hour of answers (no zone changes
// its offset between quarter hours): QDateTime per row would cost more than the rest
// of the export.
class IsoTime {
public:
    QString format(qint64 ms)
    {
        const qint64 quarter = 15 * 60 * 1000;
        const qint64 slot = ms >= 0 ? ms / quarter : (ms - quarter + 1) / quarter;
        if (slot != m_slot) {
            m_slot = slot;
            m_offsetS = QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc();
            const int a = std::abs(m_offsetS) / 60;
            m_suffix = m_offsetS == 0 ? QStringLiteral("Z")
                                      : QString::asprintf("%c%02d:%02d", m_offsetS < 0 ? '-' : '+', a / 60, a % 60);
        }
        const qint64 local = ms + qint64(m_offsetS) * 1000;
        const qint64 day = local >= 0 ? local / 86400000 : (local - 86399999) / 86400000;
        const qint64 inDay = local - day * 86400000;
        // Civil date from days since 1970-01-01 (Howard Hinnant's algorithm).
        const qint64 z = day + 719468;
        const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
        const qint64 doe = z - era * 146097;
        const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const qint64 mp = (5 * doy + 2) / 153;
        const qint64 d = doy - (153 * mp + 2) / 5 + 1;
        const qint64 m = mp < 10 ? mp + 3 : mp - 9;
        const qint64 y = yoe + era * 400 + (m <= 2 ? 1 : 0);
        return QString::asprintf("%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%03lld", y, m, d, inDay / 3600000,
                                 inDay / 60000 % 60, inDay / 1000 % 60, inDay % 1000)
            + m_suffix;
    }

private:
    qint64 m_slot = std::numeric_limits<qint64>::min();
    int m_offsetS = 0;
    QString m_suffix;
};

QString modeName(int mode)
{
    switch (mode) {
    case 0: return QStringLiteral("hint");
    case 1: return QStringLiteral("training");
    case 2: return QStringLiteral("exam");
    default: return QString::number(mode);
    }
}

QString clefName(int clef)
{
    switch (clef) {
    case 0: return QStringLiteral("treble");
    case 1: return QStringLiteral("bass");
    case 2: return QStringLiteral("alto");
    case 3: return QStringLiteral("grand");
    default: return QString::number(clef);
    }
}

QString staffName(int clef, int staff)
{
    if (clef == 3)
        return staff == 0 ? QStringLiteral("upper") : staff == 1 ? QStringLiteral("lower") : QString::number(staff);
    return staff == 0 ? QStringLiteral("single") : QString::number(staff);
}

QString spellingName(int spelling)
{
    switch (spelling) {
    case 0: return QStringLiteral("natural");
    case 1: return QStringLiteral("sharp");
    case 2: return QStringLiteral("flat");
    default: return QString::number(spelling);
    }
}

QString sourceName(int source)
{
    switch (source) {
    case 0: return QStringLiteral("piano");
    case 1: return QStringLiteral("guitar");
    case 2: return QStringLiteral("bass");
    case 3: return QStringLiteral("computer keyboard");
    case 4: return QStringLiteral("midi");
    case 5: return QStringLiteral("microphone");
    default: return QString::number(source);
    }
}

QString kindName(int kind)
{
    switch (kind) {
    case 0: return QStringLiteral("single note");
    case 1: return QStringLiteral("phrase");
    case 2: return QStringLiteral("piece");
    default: return QString::number(kind);
    }
}

QString noteName(int midi, int spelling)
{
    if (midi < FirstMidiNote || midi >= FirstMidiNote + KeyCount)
        return QString();
    return letterName(midi - FirstMidiNote, spelling >= 0 && spelling <= 2 ? Spelling(spelling) : Spelling::Natural);
}

} // namespace

qint64 periodStartMs(Period period, const QDateTime& now)
{
    const QDate today = now.date();
    switch (period) {
    case Period::Week:
        return today.addDays(-6).startOfDay().toMSecsSinceEpoch();
    case Period::Month:
        return today.addMonths(-1).addDays(1).startOfDay().toMSecsSinceEpoch();
    case Period::Year:
        return today.addYears(-1).addDays(1).startOfDay().toMSecsSinceEpoch();
    case Period::All:
        break;
    }
    return 0;
}

int HistoryQueries::median(QVector<int> values)
{
    if (values.isEmpty())
        return -1;
    const auto n = values.size();
    auto upper = values.begin() + n / 2;
    std::nth_element(values.begin(), upper, values.end());
    if (n % 2)
        return *upper;
    const int high = *upper;
    const int low = *std::max_element(values.begin(), upper);
    return int((qint64(low) + high) / 2);
}

QString HistoryQueries::csvField(const QString& value)
{
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) && !value.contains(QLatin1Char('\n'))
        && !value.contains(QLatin1Char('\r')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

HistoryQueries::HistoryQueries(const QString& path) : m_path(path)
{
    static std::atomic<int> counter{0};
    m_connection = QStringLiteral("tonvero-history-read-%1").arg(++counter);
}

HistoryQueries::~HistoryQueries()
{
    closeConnection(m_connection);
}

HistoryQueries::Access HistoryQueries::open(QString* error)
{
    if (m_open)
        return Access::Ready;
    const OpenResult r = openHistoryDatabase(m_path, m_connection, false, false);
    switch (r.outcome) {
    case OpenOutcome::Opened:
        m_open = true;
        return Access::Ready;
    case OpenOutcome::Missing:
        return Access::Missing;
    default:
        closeConnection(m_connection);
        *error = r.error.isEmpty() ? QStringLiteral("cannot open %1").arg(m_path) : r.error;
        return Access::Failed;
    }
}

StatisticsData HistoryQueries::statistics(const StatisticsFilter& filter)
{
    StatisticsData data;
    const Access access = open(&data.error);
    if (access != Access::Ready)
        return data;

    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery q(db);
    q.setForwardOnly(true);
    // Small values packed into one number: the row interface costs more than the arithmetic.
    // (In SQL, | and << bind equally: every shift has its parentheses.)
    q.prepare(QStringLiteral("SELECT time_ms, session_id, clef | (staff << 2) | ((correct != 0) << 3) | (mode << 4)"
                             " | (spelling << 6) | (shown_note << 8) | (min(max(response_ms, 0), 2147483647) << 16)"
                             " | (kind << 48) | (CASE WHEN key_fifths BETWEEN -7 AND 7 THEN key_fifths + 7 ELSE 15 END << 50)"
                             " | ((key_minor != 0) << 54) FROM answers WHERE %1 ORDER BY time_ms, id")
                  .arg(filterClause(filter)));
    bindFilter(q, filter);
    if (!q.exec()) {
        data.error = sqlError(q.lastError());
        return data;
    }

    std::vector<Group> notes(std::size_t(ReadingClefs * KeyCount * Spellings));
    QVector<Group> sessions;
    QVector<qint64> sessionIds;
    QVector<qint64> sessionFirst;
    QVector<int> sessionMode;
    QVector<int> sessionKind;
    QHash<qint64, int> sessionIndex;
    QVector<Group> days;
    QVector<qint64> dayStarts;
    Group total;
    DayCache dayCache;
    // Lines of music by key signature: (fifths + 7) * 2 + minor.
    std::array<KeyGroup, (2 * music::Key::MaxFifths + 1) * 2> keys{};

    while (q.next()) {
        const qint64 time = q.value(0).toLongLong();
        const qint64 session = q.value(1).toLongLong();
        const qint64 packed = q.value(2).toLongLong();
        const int clef = int(packed & 3);
        const int staff = int(packed >> 2 & 1);
        const bool right = (packed >> 3 & 1) != 0;
        const int spelling = int(packed >> 6 & 3);
        const int key = int(packed >> 8 & 255) - FirstMidiNote;
        const int response = int(packed >> 16);
        const int reading = readingClef(clef, staff);
        if (reading < 0 || key < 0 || key >= KeyCount || spelling >= Spellings)
            continue; // the query keeps these out; a slot outside the table must never be touched

        auto it = sessionIndex.constFind(session);
        int si;
        if (it == sessionIndex.constEnd()) {
            si = int(sessions.size());
            sessionIndex.insert(session, si);
            sessions.push_back({});
            sessionIds.push_back(session);
            sessionFirst.push_back(time);
            sessionMode.push_back(int(packed >> 4 & 3));
            sessionKind.push_back(int(packed >> 48 & 3));
        } else {
            si = *it;
        }
        sessions[si].add(right, response);

        const qint64 day = dayCache.dayStart(time);
        if (dayStarts.isEmpty() || dayStarts.back() != day) {
            dayStarts.push_back(day);
            days.push_back({});
        }
        days.back().add(right, response);
        total.add(right, response);
        notes[std::size_t(noteSlot(reading, key, spelling))].add(right, response);
        const int keyCode = int(packed >> 50 & 15);
        if ((packed >> 48 & 3) != 0 && keyCode < 15)
            keys[std::size_t(keyCode * 2 + (packed >> 54 & 1))].add(right, response);
    }
    q.finish();

    // What the exercises' own rows say; an exercise without one (or without an end) still counts.
    QHash<qint64, SeriesPoint> meta;
    if (!sessionIds.isEmpty()) {
        QSqlQuery e(db);
        e.setForwardOnly(true);
        e.prepare(QStringLiteral("SELECT session_id, start_ms, end_ms, mode, exam_minutes, exam_completed, kind"
                                 " FROM exercises WHERE session_id BETWEEN ? AND ?"));
        const auto [lo, hi] = std::minmax_element(sessionIds.begin(), sessionIds.end());
        e.addBindValue(*lo);
        e.addBindValue(*hi);
        if (e.exec()) {
            while (e.next()) {
                SeriesPoint p;
                p.startMs = e.value(1).toLongLong();
                p.ended = !e.value(2).isNull() && e.value(2).toLongLong() > 0;
                const int mode = e.value(3).toInt();
                p.mode = mode >= 0 && mode <= 2 ? ExerciseMode(mode) : ExerciseMode::Training;
                p.examMinutes = e.value(4).toInt();
                p.examCompleted = e.value(5).toInt() != 0;
                const int kind = e.value(6).toInt();
                p.kind = kind >= 0 && kind <= 2 ? ExerciseKind(kind) : ExerciseKind::SingleNote;
                meta.insert(e.value(0).toLongLong(), p);
            }
        }
    }

    data.exercises.reserve(sessions.size());
    for (int i = 0; i < sessions.size(); ++i) {
        const auto m = meta.constFind(sessionIds[i]);
        SeriesPoint p = sessions[i].point(m != meta.constEnd() && m->startMs > 0 ? m->startMs : sessionFirst[i]);
        p.sessionId = sessionIds[i];
        p.mode = ExerciseMode(sessionMode[i]);
        p.kind = ExerciseKind(sessionKind[i]);
        if (m != meta.constEnd()) {
            p.mode = m->mode;
            p.kind = m->kind;
            p.examMinutes = m->examMinutes;
            p.examCompleted = m->examCompleted;
            p.ended = m->ended;
        }
        data.exercises.push_back(p);
    }
    std::stable_sort(data.exercises.begin(), data.exercises.end(),
                     [](const SeriesPoint& a, const SeriesPoint& b) { return a.startMs < b.startMs; });
    for (int i = 0; i < days.size(); ++i)
        data.days.push_back(days[i].point(dayStarts[i]));

    const SeriesPoint overall = total.point(0);
    data.total = total.figures();
    data.right = overall.right;
    data.rightPerMinute = overall.rightPerMinute;
    for (int c = 0; c < 4; ++c)
        fillMap(data.maps[std::size_t(c)], c, notes);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const KeyGroup& g = keys[i];
        if (g.answers == 0)
            continue;
        KeyFigures k;
        k.fifths = int(i / 2) - music::Key::MaxFifths;
        k.minor = i % 2 != 0;
        k.answers = g.answers;
        k.right = g.right;
        k.meanMs = g.right > 0 ? int((g.rightMs + g.right / 2) / g.right) : -1;
        data.keys.push_back(k);
    }
    readKinds(data.kinds, &data.error);
    readPieces(filter, data);
    return data;
}

bool HistoryQueries::readPieces(const StatisticsFilter& filter, StatisticsData& data)
{
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    QSqlQuery any(db);
    any.setForwardOnly(true);
    if (!any.exec(QStringLiteral("SELECT EXISTS (SELECT 1 FROM answers WHERE piece_id IS NOT NULL AND piece_id <> '')"))
        || !any.next()) {
        data.error = sqlError(any.lastError());
        return false;
    }
    data.hasPieces = any.value(0).toInt() != 0;
    any.finish();
    if (!data.hasPieces)
        return true;

    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT piece_id, count(*), sum(correct != 0), max(time_ms), max(bar),"
                             " (SELECT title FROM pieces WHERE pieces.id = answers.piece_id),"
                             " (SELECT bars FROM pieces WHERE pieces.id = answers.piece_id)"
                             " FROM answers WHERE %1 AND piece_id IS NOT NULL AND piece_id <> ''"
                             " AND bar BETWEEN 0 AND %2 GROUP BY piece_id ORDER BY max(time_ms) DESC, piece_id")
                  .arg(filterClause(filter))
                  .arg(MaxPieceBars - 1));
    bindFilter(q, filter);
    if (!q.exec()) {
        data.error = sqlError(q.lastError());
        return false;
    }
    while (q.next()) {
        PieceFigures p;
        p.id = q.value(0).toString();
        p.answers = q.value(1).toInt();
        p.right = q.value(2).toInt();
        p.lastMs = q.value(3).toLongLong();
        p.title = q.value(5).toString();
        const int answered = std::clamp(q.value(4).toInt() + 1, 0, MaxPieceBars);
        p.bars = std::clamp(std::max(q.value(6).toInt(), answered), 0, MaxPieceBars);
        data.pieces.push_back(p);
    }
    return true;
}

PieceBarsData HistoryQueries::pieceBars(const StatisticsFilter& filter, const QString& pieceId)
{
    PieceBarsData data;
    data.id = pieceId;
    if (open(&data.error) != Access::Ready || pieceId.isEmpty())
        return data;
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    int known = 0;
    {
        QSqlQuery p(db);
        p.prepare(QStringLiteral("SELECT title, bars FROM pieces WHERE id = ?"));
        p.addBindValue(pieceId);
        if (!p.exec()) {
            data.error = sqlError(p.lastError());
            return data;
        }
        if (p.next()) {
            data.title = p.value(0).toString();
            known = std::clamp(p.value(1).toInt(), 0, MaxPieceBars);
        }
    }
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT bar, count(*), sum(correct != 0),"
                             " sum(CASE WHEN correct != 0 THEN min(max(response_ms, 0), %2) ELSE 0 END)"
                             " FROM answers WHERE %1 AND piece_id = :piece AND bar BETWEEN 0 AND %3"
                             " GROUP BY bar ORDER BY bar")
                  .arg(filterClause(filter))
                  .arg(MaxCountedResponseMs)
                  .arg(MaxPieceBars - 1));
    bindFilter(q, filter);
    q.bindValue(QStringLiteral(":piece"), pieceId);
    if (!q.exec()) {
        data.error = sqlError(q.lastError());
        return data;
    }
    data.bars.resize(known);
    while (q.next()) {
        const int bar = q.value(0).toInt();
        if (bar >= data.bars.size())
            data.bars.resize(bar + 1);
        BarFigures& b = data.bars[bar];
        b.answers = q.value(1).toInt();
        b.right = q.value(2).toInt();
        const qint64 rightMs = q.value(3).toLongLong();
        b.meanMs = b.right > 0 ? int((rightMs + b.right / 2) / b.right) : -1;
    }
    return data;
}

bool HistoryQueries::readKinds(QVector<ExerciseKind>& kinds, QString* error)
{
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    // One look into the index per kind, however long the history.
    if (!q.exec(QStringLiteral("SELECT EXISTS (SELECT 1 FROM answers WHERE kind = 0),"
                               " EXISTS (SELECT 1 FROM answers WHERE kind = 1),"
                               " EXISTS (SELECT 1 FROM answers WHERE kind = 2)"))
        || !q.next()) {
        *error = sqlError(q.lastError());
        return false;
    }
    for (int kind = 0; kind < 3; ++kind)
        if (q.value(kind).toInt() != 0)
            kinds.push_back(ExerciseKind(kind));
    return true;
}

bool HistoryQueries::exportCsv(const StatisticsFilter& filter, QIODevice& out, QString* error)
{
    QString openError;
    const Access access = open(&openError);
    auto writeLine = [&out](const QStringList& fields) {
        QString line;
        for (qsizetype i = 0; i < fields.size(); ++i) {
            if (i > 0)
                line += QLatin1Char(',');
            line += csvField(fields[i]);
        }
        line += QLatin1String("\r\n");
        return out.write(line.toUtf8()) >= 0;
    };

    const QStringList header{
        QStringLiteral("time"),        QStringLiteral("exercise_start"), QStringLiteral("mode"),
        QStringLiteral("clef"),        QStringLiteral("staff"),          QStringLiteral("shown_midi"),
        QStringLiteral("shown_note"),  QStringLiteral("spelling"),       QStringLiteral("played_midi"),
        QStringLiteral("played_note"), QStringLiteral("source"),         QStringLiteral("correct"),
        QStringLiteral("response_ms"), QStringLiteral("kind"),           QStringLiteral("key_fifths"),
        QStringLiteral("key_mode"),    QStringLiteral("line_position"),  QStringLiteral("bar"),
        QStringLiteral("chord_notes"), QStringLiteral("piece"),
    };
    if (access == Access::Failed) {
        if (error)
            *error = openError;
        return false;
    }
    if (!writeLine(header)) {
        if (error)
            *error = out.errorString();
        return false;
    }
    if (access == Access::Missing)
        return true;

    // Every row, garbage too: an export hides nothing. Only the filter applies.
    const QString where = filterClause(filter, QStringLiteral("1"));
    QSqlQuery q(QSqlDatabase::database(m_connection, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT time_ms, session_id, mode, clef, staff, shown_note, spelling, played_note,"
                             " source, correct, response_ms, kind, key_fifths, key_minor, line_position, bar,"
                             " chord_notes, piece_id, (SELECT title FROM pieces WHERE pieces.id = answers.piece_id)"
                             " FROM answers WHERE %1 ORDER BY time_ms, id")
                  .arg(where));
    bindFilter(q, filter);
    if (!q.exec()) {
        if (error)
            *error = sqlError(q.lastError());
        return false;
    }
    IsoTime answerTime;
    IsoTime startTime;
    while (q.next()) {
        const int spelling = q.value(6).toInt();
        const int played = q.value(7).toInt();
        const int kind = q.value(11).toInt();
        // A single note stands in no key; −1 is "no place in a line".
        const bool inLine = kind != 0;
        const int position = q.value(14).toInt();
        const int bar = q.value(15).toInt();
        const QStringList row{
            answerTime.format(q.value(0).toLongLong()),
            startTime.format(q.value(1).toLongLong()),
            modeName(q.value(2).toInt()),
            clefName(q.value(3).toInt()),
            staffName(q.value(3).toInt(), q.value(4).toInt()),
            q.value(5).toString(),
            noteName(q.value(5).toInt(), spelling),
            spellingName(spelling),
            played >= 0 ? QString::number(played) : QString(),
            // The computer keyboard's wrong answer has no pitch; a played note is named with sharps.
            noteName(played, 1),
            sourceName(q.value(8).toInt()),
            q.value(9).toInt() ? QStringLiteral("1") : QStringLiteral("0"),
            q.value(10).toString(),
            kindName(kind),
            inLine ? q.value(12).toString() : QString(),
            inLine ? (q.value(13).toInt() ? QStringLiteral("minor") : QStringLiteral("major")) : QString(),
            position >= 0 ? QString::number(position) : QString(),
            bar >= 0 ? QString::number(bar) : QString(),
            q.value(16).toString(),
            // The piece by its title; by its id when no title was kept.
            q.value(18).toString().isEmpty() ? q.value(17).toString() : q.value(18).toString(),
        };
        if (!writeLine(row)) {
            if (error)
                *error = out.errorString();
            return false;
        }
    }
    return true;
}

} // namespace tonvero::history
