// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the statistics window shows, read from the history file in one pass,
// and the export of the answers as CSV. Uses a connection of its own on the
// thread that first calls it; destroy it on that thread.
//
// Figures: accuracy is right answers over all answers; the median response
// is that of the right answers; right notes per minute divide the right
// answers by the time spent answering (the sum of the response times, each
// counted at most MaxCountedResponseMs), so pauses and breaks between
// exercises do not count. Rows with values no stave shows are left out.
// Per key, the mean response is that of the right answers, each counted at
// most MaxCountedResponseMs.

#include "history/answerrecord.h"
#include "history/notenames.h"

#include <QDateTime>
#include <QString>
#include <QVector>

#include <array>
#include <cstdint>
#include <optional>

class QIODevice;

namespace tonvero::history {

enum class Period { Week, Month, Year, All };

// First moment of the period that ends with `now`: local midnight 6 days,
// a month less a day, or a year less a day before; 0 for All.
qint64 periodStartMs(Period period, const QDateTime& now);

struct StatisticsFilter {
    qint64 fromMs = 0;    // answers given at or after; 0: from the first
    qint64 toMs = 0;      // answers given before; 0: up to now
    qint64 sessionId = 0; // not 0: that exercise only
    std::optional<ExerciseKind> kind; // none: every kind
};

struct NoteFigures {
    int answers = 0;
    int errors = 0;
    int medianMs = -1; // of the right answers; −1 without any
    double errorPercent() const { return answers > 0 ? 100.0 * errors / answers : 0.0; }
    bool operator==(const NoteFigures&) const = default;
};

struct SeriesPoint {
    qint64 startMs = 0;   // the exercise's start, or the day's local midnight
    qint64 sessionId = 0; // exercises only
    int answers = 0;
    int right = 0;
    double accuracyPercent = 0.0;
    double rightPerMinute = 0.0;
    int medianMs = -1;
    // Exercises only, from the exercise's own record.
    ExerciseMode mode = ExerciseMode::Training;
    ExerciseKind kind = ExerciseKind::SingleNote;
    int examMinutes = 0;
    bool examCompleted = false;
    bool ended = false; // false for an exercise whose end never came (a crash)
};

// The answers given in lines of music in one key.
struct KeyFigures {
    int fifths = 0; // −7 seven flats .. +7 seven sharps
    bool minor = false;
    int answers = 0;
    int right = 0;
    int meanMs = -1; // of the right answers; −1 without any
    double accuracyPercent() const { return answers > 0 ? 100.0 * right / answers : 0.0; }
    bool operator==(const KeyFigures&) const = default;
};

// A piece practised over the filter's span: the answers given in it.
struct PieceFigures {
    QString id;
    QString title; // as last practised; empty when no exercise of it named one
    int bars = 0;  // as long as the piece is known to be, or as far as it was answered
    int answers = 0;
    int right = 0;
    qint64 lastMs = 0; // the latest answer
    bool operator==(const PieceFigures&) const = default;
};

// One bar of a piece: its answers, the right ones, and their mean time.
struct BarFigures {
    int answers = 0;
    int right = 0;
    int meanMs = -1; // of the right answers, each counted at most MaxCountedResponseMs; −1 without any
    double accuracyPercent() const { return answers > 0 ? 100.0 * right / answers : 0.0; }
    bool operator==(const BarFigures&) const = default;
};

// The bars of one piece, from its first (index 0); bars without answers are empty.
struct PieceBarsData {
    QString id;
    QString title;
    QVector<BarFigures> bars;
    QString error; // why nothing could be read; empty when all went well
};

struct SpelledNote {
    int readingClef = 0;
    int keyIndex = 0;
    Spelling spelling = Spelling::Natural;
    NoteFigures figures;
};

// The note map and the lists of one clef setting (0 treble, 1 bass, 2 alto, 3 grand staff).
struct NoteMapData {
    std::array<NoteFigures, KeyCount> keys{};     // every spelling and staff of the key together
    std::array<QVector<SpelledNote>, 2> staves{}; // by staff, ordered by key index then spelling
    QVector<SpelledNote> mostMissed;              // by errors, then error share
    QVector<SpelledNote> slowest;                 // by median, with at least MinRightForSlowest right answers
};

struct StatisticsData {
    QVector<SeriesPoint> exercises;
    QVector<SeriesPoint> days;
    NoteFigures total;
    int right = 0;
    double rightPerMinute = 0.0;
    std::array<NoteMapData, 4> maps{};
    // Answers in lines of music (every kind but the single note), by key
    // signature from seven flats to seven sharps, major before minor.
    QVector<KeyFigures> keys;
    // The kinds of exercise the file has answers of, whatever the filter, in their order.
    QVector<ExerciseKind> kinds;
    // The pieces answered, the latest practised first.
    QVector<PieceFigures> pieces;
    // Whether the file has answers of any piece, whatever the filter.
    bool hasPieces = false;
    QString error; // why nothing could be read; empty when all went well
};

class HistoryQueries {
public:
    static constexpr int TopCount = 10;
    static constexpr int MinRightForSlowest = 3;
    static constexpr int MaxCountedResponseMs = 60000;
    // Bars past this are not a piece's: such rows are left out.
    static constexpr int MaxPieceBars = 20000;

    explicit HistoryQueries(const QString& path);
    ~HistoryQueries();
    HistoryQueries(const HistoryQueries&) = delete;
    HistoryQueries& operator=(const HistoryQueries&) = delete;

    // Everything the window shows. A missing file gives empty figures.
    StatisticsData statistics(const StatisticsFilter& filter);

    // The bars of one piece under the filter. A missing file or piece gives no bars.
    PieceBarsData pieceBars(const StatisticsFilter& filter, const QString& pieceId);

    // One row per answer, oldest first, with a header row (RFC 4180, UTF-8).
    bool exportCsv(const StatisticsFilter& filter, QIODevice& out, QString* error);

    // A CSV field, quoted when it holds a comma, a quote or a line break.
    static QString csvField(const QString& value);
    // Median of the values (the mean of the middle two, rounded down, for an even count); −1 when empty.
    static int median(QVector<int> values);

private:
    enum class Access { Ready, Missing, Failed };
    Access open(QString* error);
    bool readKinds(QVector<ExerciseKind>& kinds, QString* error);
    bool readPieces(const StatisticsFilter& filter, StatisticsData& data);

    QString m_path;
    QString m_connection;
    bool m_open = false;
};

} // namespace tonvero::history
