// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// As the kernel's own limit on links followed in one lookup.
constexpr int maxLinkHops = 40;

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

bool syncDir(const QString& dir)
{
    const int fd = ::open(encoded(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

} // namespace

QString resolveFileLinks(const QString& path)
{
    QString current = path;
    for (int hop = 0; hop < maxLinkHops; ++hop) {
        char target[PATH_MAX];
        const ssize_t n = ::readlink(encoded(current).constData(), target, sizeof target);
        if (n < 0 || size_t(n) >= sizeof target)
            return current; // no link (or a missing file): this is the file
        const QString next = QFile::decodeName(QByteArray(target, qsizetype(n)));
        // Relative to the link's folder as spelled: cleaning ".." away could name another folder.
        current = QDir::isAbsolutePath(next) ? next : QFileInfo(current).path() + u'/' + next;
    }
    return current; // a loop of links: opening it fails with a clear error later
}

FileRead readWholeFile(const QString& path, QByteArray& bytes, qint64 limit)
{
    bytes.clear();
    const int fd = ::open(encoded(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? FileRead::Missing : FileRead::Failed;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return FileRead::Failed;
        }
        if (n == 0)
            break;
        bytes.append(buf, n);
        if (bytes.size() > limit)
            break;
    }
    ::close(fd);
    return FileRead::Ok;
}

bool replaceFileAtomically(const QString& path, const QByteArray& bytes)
{
    const QString tmp = path + QStringLiteral(".tmp");
    const int fd = ::open(encoded(tmp).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // The file keeps the permissions it had (a shared dotfile may be group-readable).
    struct stat old {};
    if (::stat(encoded(path).constData(), &old) == 0)
        ::fchmod(fd, old.st_mode & 07777);
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok)
        ok = ::rename(encoded(tmp).constData(), encoded(path).constData()) == 0;
    if (!ok) {
        ::unlink(encoded(tmp).constData());
        return false;
    }
    syncDir(QFileInfo(path).absolutePath());
    return true;
}

bool renameFileDurably(const QString& from, const QString& to)
{
    if (::rename(encoded(from).constData(), encoded(to).constData()) != 0)
        return false;
    syncDir(QFileInfo(to).absolutePath());
    return true;
}

QString asidePath(const QString& path, const QStringList& companions)
{
    const auto taken = [&](const QString& name) {
        if (QFileInfo::exists(name) || QFileInfo(name).isSymLink())
            return true;
        for (const QString& c : companions)
            if (QFileInfo::exists(name + c))
                return true;
        return false;
    };
    QString target = path + QStringLiteral(".bad");
    for (int n = 2; taken(target); ++n)
        target = path + QStringLiteral(".%1.bad").arg(n);
    return target;
}

FileLock::FileLock(const QString& path)
{
    m_fd = ::open(encoded(path + QStringLiteral(".lock")).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0)
        return;
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            ::close(m_fd);
            m_fd = -1;
            return;
        }
    }
}

FileLock::~FileLock()
{
    if (m_fd >= 0)
        ::close(m_fd); // releases the lock
}

} // namespace platform
