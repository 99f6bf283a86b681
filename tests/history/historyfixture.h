// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Small helpers for tests of the answer history: records built in one line,
// and a look into the file through a connection of the test's own.

#include "history/answerrecord.h"
#include "history/historystore.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>
#include <QVector>

#include <atomic>

namespace historytest {

using tonvero::AnswerRecord;
using tonvero::AnswerSource;
using tonvero::ExerciseKind;
using tonvero::ExerciseMode;
using tonvero::ExerciseRecord;
using tonvero::Spelling;

inline ExerciseRecord exercise(qint64 sessionId, ExerciseMode mode = ExerciseMode::Training, int examMinutes = 0)
{
    ExerciseRecord e;
    e.sessionId = sessionId;
    e.startMs = sessionId;
    e.mode = mode;
    e.examMinutes = examMinutes;
    return e;
}

// An answer to key index `key` (MIDI note key + 21) on the given clef and staff.
inline AnswerRecord answer(qint64 sessionId, qint64 timeMs, int key, bool right, int responseMs, int clef = 0,
                           int staff = 0, Spelling spelling = Spelling::Natural,
                           AnswerSource source = AnswerSource::Piano, ExerciseMode mode = ExerciseMode::Training)
{
    AnswerRecord a;
    a.timeMs = timeMs;
    a.sessionId = sessionId;
    a.clef = clef;
    a.staff = staff;
    a.shownNote = key + 21;
    a.spelling = spelling;
    a.playedNote = right ? key + 21 : key + 22;
    a.source = source;
    a.right = right;
    a.responseMs = responseMs;
    a.mode = mode;
    return a;
}

// An answer in a line of music: `key` and `right` as in answer(), treble clef.
inline AnswerRecord lineAnswer(qint64 sessionId, qint64 timeMs, int key, bool right, int responseMs, ExerciseKind kind,
                               int fifths, bool minor, int position, int bar, int chordNotes = 1)
{
    AnswerRecord a = answer(sessionId, timeMs, key, right, responseMs);
    a.kind = kind;
    a.keyFifths = fifths;
    a.keyMinor = minor;
    a.linePosition = position;
    a.bar = bar;
    a.chordNotes = chordNotes;
    return a;
}

// Noon of the day `daysAgo` before today, local time: the same day in any time zone rule.
inline qint64 noonDaysAgo(int daysAgo, int minutes = 0)
{
    const QDate day = QDate::currentDate().addDays(-daysAgo);
    return QDateTime(day, QTime(12, 0)).addSecs(qint64(minutes) * 60).toMSecsSinceEpoch();
}

// A connection of the test's own, closed and removed with the object.
class Peek {
public:
    explicit Peek(const QString& path)
        : m_name(QStringLiteral("peek-%1").arg(++counter()))
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(path);
        m_ok = db.open();
    }
    ~Peek()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    bool ok() const { return m_ok; }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }

    // The first column of every row of a query; an empty list when it fails.
    QVariantList column(const QString& sql) const
    {
        QVariantList out;
        QSqlQuery q(db());
        if (!q.exec(sql))
            return out;
        while (q.next())
            out.push_back(q.value(0));
        return out;
    }
    QVariant scalar(const QString& sql) const
    {
        const QVariantList c = column(sql);
        return c.isEmpty() ? QVariant() : c.front();
    }
    // Every row as a list of values.
    QVector<QVariantList> rows(const QString& sql) const
    {
        QVector<QVariantList> out;
        QSqlQuery q(db());
        if (!q.exec(sql))
            return out;
        while (q.next()) {
            QVariantList row;
            for (int i = 0; i < q.record().count(); ++i)
                row.push_back(q.value(i));
            out.push_back(row);
        }
        return out;
    }

private:
    static std::atomic<int>& counter()
    {
        static std::atomic<int> c{0};
        return c;
    }
    QString m_name;
    bool m_ok = false;
};

// Three exercises on two days, with figures worked out by hand in the tests that read
// them: a treble exercise two days ago, a grand-staff exam half an hour later, and a
// treble exercise yesterday that never ended; and four rows no stave can show.
struct FixedStore {
    QTemporaryDir dir;
    QString path;
    qint64 ex1 = 0, ex2 = 0, ex3 = 0;

    FixedStore()
    {
        path = dir.filePath(QStringLiteral("history.sqlite"));
        ex1 = noonDaysAgo(2);
        ex2 = noonDaysAgo(2, 30);
        ex3 = noonDaysAgo(1);
        tonvero::history::HistoryStore store(path);

        // Treble clef, training.
        store.exerciseStarted(exercise(ex1));
        store.answered(answer(ex1, ex1 + 1000, 39, true, 1000));
        store.answered(answer(ex1, ex1 + 3000, 40, false, 2000, 0, 0, Spelling::Sharp));
        store.answered(answer(ex1, ex1 + 4200, 41, true, 1200));
        store.answered(answer(ex1, ex1 + 5000, 39, true, 800));
        store.answered(answer(ex1, ex1 + 6600, 40, true, 1600, 0, 0, Spelling::Flat));
        ExerciseRecord end1 = exercise(ex1);
        end1.endMs = ex1 + 7000;
        store.exerciseEnded(end1);

        // Grand staff, a two-minute exam run to its end; one answer took far too long.
        const auto exam = ExerciseMode::Exam;
        store.exerciseStarted(exercise(ex2, exam, 2));
        store.answered(answer(ex2, ex2 + 3000, 39, false, 3000, 3, 0, Spelling::Natural, AnswerSource::Midi, exam));
        store.answered(answer(ex2, ex2 + 3900, 27, true, 900, 3, 1, Spelling::Natural, AnswerSource::Midi, exam));
        store.answered(answer(ex2, ex2 + 4600, 27, true, 700, 3, 1, Spelling::Natural, AnswerSource::Midi, exam));
        store.answered(answer(ex2, ex2 + 74600, 39, true, 70000, 3, 0, Spelling::Natural, AnswerSource::Midi, exam));
        ExerciseRecord end2 = exercise(ex2, exam, 2);
        end2.endMs = ex2 + 120000;
        end2.examCompleted = true;
        store.exerciseEnded(end2);

        // Treble clef again, the next day; it never ended.
        store.exerciseStarted(exercise(ex3));
        store.answered(answer(ex3, ex3 + 500, 39, true, 500));
        store.answered(answer(ex3, ex3 + 2000, 39, false, 1500));
        AnswerRecord keys = answer(ex3, ex3 + 3000, 42, false, 1000, 0, 0, Spelling::Flat,
                                   AnswerSource::ComputerKeyboard);
        keys.playedNote = -1;
        store.answered(keys);
        store.close();

        // Rows no stave can show: kept in the file and the export, left out of the figures.
        Peek peek(path);
        for (const char* row : {"(%1, %2, 9, 0, 60, 0, 60, 0, 1, 100, 1)", "(%1, %2, 0, 0, 5, 0, 5, 0, 0, 100, 1)",
                                "(%1, %2, 0, 1, 60, 0, 60, 0, 0, 100, 1)", "(%1, %2, 0, 0, 60, 7, 60, 0, 0, 100, 1)"})
            peek.column(QStringLiteral("INSERT INTO answers (time_ms, session_id, clef, staff, shown_note, spelling,"
                                       " played_note, source, correct, response_ms, mode) VALUES ")
                        + QString::fromLatin1(row).arg(ex3 + 4000).arg(ex3));
    }
};

// Every kind of exercise, with figures worked out by hand in the tests that read them:
// single notes two days ago, phrases in four keys yesterday (a chord among them), a
// piece in the two keys at the ends of the circle today; and two rows the figures
// per key leave out.
struct LineStore {
    QTemporaryDir dir;
    QString path;
    qint64 single = 0, phrases = 0, piece = 0;

    LineStore()
    {
        path = dir.filePath(QStringLiteral("history.sqlite"));
        single = noonDaysAgo(2);
        phrases = noonDaysAgo(1);
        piece = noonDaysAgo(0) - 3600 * 1000;
        tonvero::history::HistoryStore store(path);

        store.exerciseStarted(exercise(single));
        store.answered(answer(single, single + 1000, 39, true, 1000));
        store.answered(answer(single, single + 3000, 40, false, 2000));
        store.answered(answer(single, single + 4000, 39, true, 800));

        const auto phrase = ExerciseKind::Phrase;
        ExerciseRecord p = exercise(phrases);
        p.kind = phrase;
        store.exerciseStarted(p);
        qint64 t = phrases;
        // G major: 3 of 4 right, the 70 s one counted as 60 s.
        store.answered(lineAnswer(phrases, t += 1000, 43, true, 1000, phrase, 1, false, 0, 0));
        store.answered(lineAnswer(phrases, t += 1000, 45, true, 1200, phrase, 1, false, 1, 0));
        store.answered(lineAnswer(phrases, t += 1000, 47, false, 900, phrase, 1, false, 2, 0));
        store.answered(lineAnswer(phrases, t += 1000, 46, true, 70000, phrase, 1, false, 2, 0));
        // E minor: a chord of two notes, both right.
        store.answered(lineAnswer(phrases, t += 1000, 43, true, 1500, phrase, 1, true, 0, 0, 2));
        store.answered(lineAnswer(phrases, t += 1000, 47, true, 2500, phrase, 1, true, 0, 0, 2));
        // B♭ major: 1 of 3.
        store.answered(lineAnswer(phrases, t += 1000, 37, false, 1000, phrase, -2, false, 4, 1));
        store.answered(lineAnswer(phrases, t += 1000, 37, false, 1000, phrase, -2, false, 4, 1));
        store.answered(lineAnswer(phrases, t += 1000, 37, true, 3000, phrase, -2, false, 4, 1));
        // E♭ minor: missed.
        store.answered(lineAnswer(phrases, t += 1000, 42, false, 1000, phrase, -6, true, 0, 0));

        const auto pieceKind = ExerciseKind::Piece;
        ExerciseRecord q = exercise(piece);
        q.kind = pieceKind;
        store.exerciseStarted(q);
        store.answered(lineAnswer(piece, piece + 1000, 40, true, 500, pieceKind, 7, false, 0, 0));
        store.answered(lineAnswer(piece, piece + 2000, 41, true, 700, pieceKind, 7, false, 1, 0));
        store.answered(lineAnswer(piece, piece + 3000, 38, true, 1000, pieceKind, -7, false, 0, 0));
        store.close();

        // A key beyond seven sharps: a note like any other, in no key's figures;
        // a kind this program does not know: in the export only.
        Peek peek(path);
        for (const char* row : {"(%1, %2, 0, 0, 60, 0, 60, 0, 1, 100, 1, 1, 9, 0, 3, 0, 1)",
                                "(%1, %2, 0, 0, 60, 0, 60, 0, 1, 100, 1, 5, 0, 0, 3, 0, 1)"})
            peek.column(QStringLiteral("INSERT INTO answers (time_ms, session_id, clef, staff, shown_note, spelling,"
                                       " played_note, source, correct, response_ms, mode, kind, key_fifths, key_minor,"
                                       " line_position, bar, chord_notes) VALUES ")
                        + QString::fromLatin1(row).arg(phrases + 20000).arg(phrases));
    }
};

// Two pieces, with figures worked out by hand in the tests that read them. A titled
// piece of six bars, practised two days ago and again today: bar 1 right twice,
// bar 2 right twice of three (one answer of 70 s, counted as 60 s), bar 3 never
// reached, bar 4 missed twice, bars 5 and 6 never reached; today one miss in bar 1.
// An untitled piece of unknown length yesterday, answered in bars 1 and 10. A
// phrase in the same days (bar 3 of its line, no piece), and two rows of the first
// piece whose bar no piece has.
struct PieceStore {
    QTemporaryDir dir;
    QString path;
    qint64 first = 0, second = 0, untitled = 0, phrase = 0;
    const QString titledId = QStringLiteral("5f1d0c2a9b7e4d3c");
    const QString untitledId = QStringLiteral("0a0b0c0d0e0f1011");
    const QString title = QStringLiteral("Во поле берёза стояла, вариант \"для двоих\"");

    PieceStore()
    {
        path = dir.filePath(QStringLiteral("history.sqlite"));
        first = noonDaysAgo(2);
        untitled = noonDaysAgo(1);
        phrase = noonDaysAgo(1, 30);
        second = noonDaysAgo(0) - 3600 * 1000;
        tonvero::history::HistoryStore store(path);
        const auto piece = ExerciseKind::Piece;
        auto inPiece = [&](const QString& id, qint64 session, qint64 time, bool right, int ms, int bar) {
            AnswerRecord a = lineAnswer(session, time, 39, right, ms, piece, 0, false, 0, bar);
            a.pieceId = id;
            return a;
        };
        auto started = [&](const QString& id, qint64 session, const QString& name, int bars) {
            ExerciseRecord e = exercise(session);
            e.kind = piece;
            e.pieceId = id;
            e.pieceTitle = name;
            e.pieceBars = bars;
            return e;
        };

        store.exerciseStarted(started(titledId, first, title, 6));
        qint64 t = first;
        store.answered(inPiece(titledId, first, t += 1000, true, 500, 0));
        store.answered(inPiece(titledId, first, t += 1000, true, 700, 0));
        store.answered(inPiece(titledId, first, t += 1000, true, 1000, 1));
        store.answered(inPiece(titledId, first, t += 1000, false, 800, 1));
        store.answered(inPiece(titledId, first, t += 1000, true, 70000, 1));
        store.answered(inPiece(titledId, first, t += 1000, false, 900, 3));
        store.answered(inPiece(titledId, first, t += 1000, false, 1100, 3));

        store.exerciseStarted(started(untitledId, untitled, QString(), 0));
        store.answered(inPiece(untitledId, untitled, untitled + 1000, true, 1500, 0));
        store.answered(inPiece(untitledId, untitled, untitled + 2000, false, 1500, 9));

        ExerciseRecord p = exercise(phrase);
        p.kind = ExerciseKind::Phrase;
        store.exerciseStarted(p);
        store.answered(lineAnswer(phrase, phrase + 1000, 39, false, 900, ExerciseKind::Phrase, 0, false, 2, 2));

        // The same piece again: a record without its title and length keeps them.
        store.exerciseStarted(started(titledId, second, QString(), 0));
        store.answered(inPiece(titledId, second, second + 1000, false, 900, 0));
        store.close();

        Peek peek(path);
        for (const char* bar : {"-1", "50000"})
            peek.column(QStringLiteral("INSERT INTO answers (time_ms, session_id, clef, staff, shown_note, spelling,"
                                       " played_note, source, correct, response_ms, mode, kind, bar, piece_id)"
                                       " VALUES (%1, %2, 0, 0, 60, 0, 60, 0, 1, 100, 1, 2, %3, '%4')")
                            .arg(first + 20000)
                            .arg(first)
                            .arg(QLatin1String(bar), titledId));
    }
};

} // namespace historytest
