// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace testsupport {

TempConfigHome::TempConfigHome()
{
    m_hadConfig = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    m_oldConfig = qgetenv("XDG_CONFIG_HOME");
    m_hadData = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    m_oldData = qgetenv("XDG_DATA_HOME");
    m_hadRuntime = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    m_oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    QDir(m_dir.path()).mkpath("config");
    QDir(m_dir.path()).mkpath("runtime");
    QDir(m_dir.path()).mkpath("data");
    QFile::setPermissions(m_dir.path() + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path() + "/config"));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.path() + "/runtime"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_dir.path() + "/data"));
}

TempConfigHome::~TempConfigHome()
{
    if (m_hadConfig) qputenv("XDG_CONFIG_HOME", m_oldConfig); else qunsetenv("XDG_CONFIG_HOME");
    if (m_hadData) qputenv("XDG_DATA_HOME", m_oldData); else qunsetenv("XDG_DATA_HOME");
    if (m_hadRuntime) qputenv("XDG_RUNTIME_DIR", m_oldRuntime); else qunsetenv("XDG_RUNTIME_DIR");
}

QString TempConfigHome::registryFile() const
{
    return m_dir.path() + "/config/Tonvero/registry.reg";
}

QString sourceDir()
{
    const QByteArray env = qgetenv("TONVERO_SOURCE_DIR");
    return env.isEmpty() ? QString(TONVERO_SOURCE_RES "/..") : QString::fromLocal8Bit(env);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace testsupport
