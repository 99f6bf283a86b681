// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QTemporaryDir>

namespace testsupport {

// Points XDG_CONFIG_HOME, XDG_DATA_HOME and XDG_RUNTIME_DIR at fresh temporary
// folders for the life of the object, so a test never reads or writes the
// user's real settings or answer history.
class TempConfigHome {
public:
    TempConfigHome();
    ~TempConfigHome();
    QString path() const { return m_dir.path(); }
    QString registryFile() const;
    QString dataHome() const { return m_dir.path() + QStringLiteral("/data"); }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldConfig;
    QByteArray m_oldData;
    QByteArray m_oldRuntime;
    bool m_hadConfig = false;
    bool m_hadData = false;
    bool m_hadRuntime = false;
};

// The source tree, for tests that read committed files (pictures, texts).
QString sourceDir();

// A whole file, or nothing when it cannot be read.
QByteArray readFile(const QString& path);
// Writes the file whole, creating its folder; false when that fails.
bool writeFile(const QString& path, const QByteArray& bytes);

} // namespace testsupport
