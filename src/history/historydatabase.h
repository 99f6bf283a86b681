// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The history file itself: opening it on a connection of the calling thread,
// its numbered schema migrations, and setting a damaged file aside. Shared by
// the writer and the queries; each thread opens its own connection.

#include <QSqlDatabase>
#include <QString>

class QSqlError;

namespace tonvero::history {

// The schema this program writes; PRAGMA user_version holds the file's.
int latestSchemaVersion();

// The statements of migration `version` (1 = the first schema), each run in one transaction.
QStringList migrationStatements(int version);

enum class OpenOutcome {
    Opened,
    Missing,      // no file, and not asked to create one
    Damaged,      // proven damaged by SQLite (not a database, malformed): set it aside
    NewerSchema,  // written by a newer Tonvero: left untouched
    Failed,       // anything else (cannot be opened, locked, disk full): nothing was changed
};

struct OpenResult {
    OpenOutcome outcome = OpenOutcome::Failed;
    QString error;
};

// Opens the file on `connection` (added for the calling thread), in WAL mode,
// and migrates it to the latest schema. With `check`, a quick integrity check
// runs first. On any outcome but Opened the connection is closed again (and
// stays registered: call closeConnection).
OpenResult openHistoryDatabase(const QString& path, const QString& connection, bool create, bool check);

// Closes and unregisters a connection of the calling thread.
void closeConnection(const QString& connection);

// Brings an open database up to the latest schema, each step in its own transaction.
bool migrate(QSqlDatabase& db, QString* error);

int schemaVersion(QSqlDatabase& db);

// True for errors that say the file is no usable database.
bool isDamage(const QSqlError& error);

// The name a damaged file would be moved to now: "<path>.bad", or the first
// numbered one free (with its -wal and -shm companions) when older ones are kept.
QString setAsidePath(const QString& path);

// Renames path, and its -wal and -shm companions, to setAsidePath(path) and
// its companions, keeping every older set-aside file. True when path is
// free; *movedTo (optional) is the name it now has.
bool setAside(const QString& path, QString* error, QString* movedTo = nullptr);

} // namespace tonvero::history
