// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/historydatabase.h"

#include "platform/registry/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace tonvero::history {

namespace {

// Never edit a migration that has shipped: append a new one.
const QStringList& migrationList(int version)
{
    static const QStringList none;
    static const QStringList v1{
        QStringLiteral("CREATE TABLE exercises ("
                       " session_id INTEGER PRIMARY KEY,"
                       " start_ms INTEGER NOT NULL,"
                       " end_ms INTEGER,"
                       " mode INTEGER NOT NULL,"
                       " exam_minutes INTEGER NOT NULL DEFAULT 0,"
                       " notes INTEGER NOT NULL DEFAULT 0,"
                       " errors INTEGER NOT NULL DEFAULT 0,"
                       " exam_completed INTEGER NOT NULL DEFAULT 0)"),
        QStringLiteral("CREATE TABLE answers ("
                       " id INTEGER PRIMARY KEY,"
                       " time_ms INTEGER NOT NULL,"
                       " session_id INTEGER NOT NULL,"
                       " clef INTEGER NOT NULL,"
                       " staff INTEGER NOT NULL,"
                       " shown_note INTEGER NOT NULL,"
                       " spelling INTEGER NOT NULL,"
                       " played_note INTEGER NOT NULL,"
                       " source INTEGER NOT NULL,"
                       " correct INTEGER NOT NULL,"
                       " response_ms INTEGER NOT NULL,"
                       " mode INTEGER NOT NULL)"),
        // Periods and the practice memory read by time, one exercise's map by session.
        QStringLiteral("CREATE INDEX answers_by_time ON answers(time_ms)"),
        QStringLiteral("CREATE INDEX answers_by_session ON answers(session_id)"),
    };
    // Lines of music: every answer before them was a single note, and the
    // defaults say so (no key, no place in a line, one note sounding).
    static const QStringList v2{
        QStringLiteral("ALTER TABLE answers ADD COLUMN kind INTEGER NOT NULL DEFAULT 0"),
        QStringLiteral("ALTER TABLE answers ADD COLUMN key_fifths INTEGER NOT NULL DEFAULT 0"),
        QStringLiteral("ALTER TABLE answers ADD COLUMN key_minor INTEGER NOT NULL DEFAULT 0"),
        QStringLiteral("ALTER TABLE answers ADD COLUMN line_position INTEGER NOT NULL DEFAULT -1"),
        QStringLiteral("ALTER TABLE answers ADD COLUMN bar INTEGER NOT NULL DEFAULT -1"),
        QStringLiteral("ALTER TABLE answers ADD COLUMN chord_notes INTEGER NOT NULL DEFAULT 1"),
        QStringLiteral("ALTER TABLE exercises ADD COLUMN kind INTEGER NOT NULL DEFAULT 0"),
        // Which kinds the history has, and one kind over a period, without reading every answer.
        QStringLiteral("CREATE INDEX answers_by_kind ON answers(kind, time_ms)"),
    };
    // Pieces: an answer names its piece (none before, and none outside a piece),
    // and each piece practised keeps its title and length for the statistics.
    static const QStringList v3{
        QStringLiteral("ALTER TABLE answers ADD COLUMN piece_id TEXT"),
        QStringLiteral("CREATE TABLE pieces ("
                       " id TEXT PRIMARY KEY,"
                       " title TEXT NOT NULL DEFAULT '',"
                       " bars INTEGER NOT NULL DEFAULT 0,"
                       " last_ms INTEGER NOT NULL DEFAULT 0)"),
        // One piece's bars over a period, without reading the other answers.
        QStringLiteral("CREATE INDEX answers_by_piece ON answers(piece_id, time_ms) WHERE piece_id IS NOT NULL"),
    };
    switch (version) {
    case 1: return v1;
    case 2: return v2;
    case 3: return v3;
    default: return none;
    }
}

constexpr int LatestVersion = 3;

// SQLite's primary result codes.
constexpr int SqliteCorrupt = 11;
constexpr int SqliteNotADb = 26;

int primaryCode(const QSqlError& error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? code & 0xff : 0;
}

QString describe(const QSqlError& error)
{
    const QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.trimmed();
}

bool exec(QSqlDatabase& db, const QString& sql, QSqlError* error)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    if (error)
        *error = q.lastError();
    return false;
}

} // namespace

int latestSchemaVersion()
{
    return LatestVersion;
}

QStringList migrationStatements(int version)
{
    return migrationList(version);
}

bool isDamage(const QSqlError& error)
{
    const int code = primaryCode(error);
    return code == SqliteCorrupt || code == SqliteNotADb;
}

int schemaVersion(QSqlDatabase& db)
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        return -1;
    return q.value(0).toInt();
}

bool migrate(QSqlDatabase& db, QString* error)
{
    const int from = schemaVersion(db);
    for (int v = from + 1; v <= LatestVersion; ++v) {
        QSqlError failure;
        bool ok = db.transaction();
        if (!ok)
            failure = db.lastError();
        for (const QString& sql : migrationList(v)) {
            if (!ok)
                break;
            ok = exec(db, sql, &failure);
        }
        // PRAGMA takes no bound value; the number is ours.
        if (ok)
            ok = exec(db, QStringLiteral("PRAGMA user_version = %1").arg(v), &failure);
        if (ok && !db.commit()) {
            ok = false;
            failure = db.lastError();
        }
        if (!ok) {
            db.rollback();
            if (error)
                *error = describe(failure);
            return false;
        }
    }
    return true;
}

OpenResult openHistoryDatabase(const QString& path, const QString& connection, bool create, bool check)
{
    OpenResult result;
    const QFileInfo info(path);
    if (!create && !info.exists()) {
        result.outcome = OpenOutcome::Missing;
        return result;
    }

    QSqlDatabase db = QSqlDatabase::contains(connection) ? QSqlDatabase::database(connection, false)
                                                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    if (!db.isValid()) {
        result.error = QStringLiteral("the SQLite driver of Qt is not installed (libqt6sql6-sqlite)");
        return result;
    }
    db.setDatabaseName(path);
    // A second Tonvero may be writing: wait for its transaction rather than fail.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));

    // Only what SQLite proves damaged is set aside; a file it cannot open (a
    // folder in its place or its journal's, no permission) is left alone.
    auto fail = [&](const QSqlError& error) {
        result.outcome = isDamage(error) ? OpenOutcome::Damaged : OpenOutcome::Failed;
        result.error = describe(error);
        db.close();
        return result;
    };

    if (!db.open())
        return fail(db.lastError());

    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
        return fail(q.lastError());
    const int version = q.value(0).toInt();
    q.finish();
    if (version > LatestVersion) {
        result.outcome = OpenOutcome::NewerSchema;
        result.error = QStringLiteral("schema version %1").arg(version);
        db.close();
        return result;
    }

    QSqlError error;
    // WAL: readers never wait for the writer; NORMAL: a commit survives the
    // process being killed (only a power cut may lose the last transactions).
    if (!exec(db, QStringLiteral("PRAGMA journal_mode = WAL"), &error)
        || !exec(db, QStringLiteral("PRAGMA synchronous = NORMAL"), &error))
        return fail(error);

    if (check) {
        QSqlQuery c(db);
        if (!c.exec(QStringLiteral("PRAGMA quick_check(1)")) || !c.next())
            return fail(c.lastError());
        const QString verdict = c.value(0).toString();
        c.finish();
        if (verdict != QLatin1String("ok")) {
            result.outcome = OpenOutcome::Damaged;
            result.error = verdict;
            db.close();
            return result;
        }
    }

    QString migrationError;
    if (!migrate(db, &migrationError)) {
        // A file whose pages cannot be read is damage; a full disk is not.
        QSqlQuery probe(db);
        const bool readable = probe.exec(QStringLiteral("SELECT count(*) FROM sqlite_master"));
        const QSqlError probeError = probe.lastError();
        probe.finish();
        result.outcome = !readable && isDamage(probeError) ? OpenOutcome::Damaged : OpenOutcome::Failed;
        result.error = migrationError;
        db.close();
        return result;
    }
    result.outcome = OpenOutcome::Opened;
    return result;
}

void closeConnection(const QString& connection)
{
    if (!QSqlDatabase::contains(connection))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(connection, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection);
}

namespace {

const QStringList& companions()
{
    static const QStringList list{QStringLiteral("-wal"), QStringLiteral("-shm")};
    return list;
}

} // namespace

QString setAsidePath(const QString& path)
{
    return platform::asidePath(path, companions());
}

bool setAside(const QString& path, QString* error, QString* movedTo)
{
    const QString target = setAsidePath(path);
    for (const QString& suffix : QStringList{QString()} + companions()) {
        const QString from = path + suffix;
        const QString to = target + suffix;
        if (!QFileInfo::exists(from))
            continue;
        // QDir renames a directory standing in the file's place too.
        if (QDir().rename(from, to))
            continue;
        // A companion that cannot be moved goes: it belongs to the damaged file.
        if (!suffix.isEmpty() && QFile::remove(from))
            continue;
        if (error)
            *error = QStringLiteral("cannot rename %1 to %2").arg(from, to);
        if (suffix.isEmpty())
            return false;
    }
    if (movedTo)
        *movedTo = target;
    return !QFileInfo::exists(path);
}

} // namespace tonvero::history
