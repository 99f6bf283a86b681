// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whole-file reads and replacements that neither a crash nor a second process
// ever sees half done: the new bytes go to "<file>.tmp" beside the file, are
// flushed to disk and renamed over it, and the folder is synced. Writers
// serialise on an advisory lock (flock) on "<file>.lock", a separate file, so
// the lock outlives the renames.
//
// These functions take the path of the file itself: resolve a symbolic link
// first (resolveFileLinks), or the rename would replace the link.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace platform {

// The file a path finally names, following symbolic links also when the last
// one dangles (then the path of the file it would name). A path that is no
// link comes back unchanged.
QString resolveFileLinks(const QString& path);

enum class FileRead { Ok, Missing, Failed };

// Reads the file whole, or its first limit + 1 bytes when it is longer.
FileRead readWholeFile(const QString& path, QByteArray& bytes, qint64 limit);

// Replaces the file's contents in one step; false when nothing was replaced.
bool replaceFileAtomically(const QString& path, const QByteArray& bytes);

// Renames a file within its folder and syncs the folder.
bool renameFileDurably(const QString& from, const QString& to);

// The name a damaged file is kept under beside it, never one in use, so every
// file set aside is kept: "<path>.bad", then "<path>.2.bad", "<path>.3.bad" …
// With companions (suffixes such as "-wal"), a name free for each of them too.
QString asidePath(const QString& path, const QStringList& companions = {});

// Holds the exclusive advisory lock of a file for its life.
class FileLock {
public:
    explicit FileLock(const QString& path);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool locked() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

} // namespace platform
