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

} // namespace historytest
