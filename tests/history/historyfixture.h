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

} // namespace historytest
