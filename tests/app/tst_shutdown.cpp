// SPDX-License-Identifier: GPL-3.0-or-later
// The program itself, as a child process, ended by the signals a desktop sends.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// Bits of the signals the process catches, from /proc.
quint64 caughtSignals(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("SigCgt:"))
            return line.mid(7).trimmed().toULongLong(nullptr, 16);
    return 0;
}

constexpr quint64 bit(int signalNumber)
{
    return quint64(1) << (signalNumber - 1);
}

} // namespace

class TestShutdown : public QObject {
    Q_OBJECT

private slots:
    void signalSavesSettingsAsClosingDoes_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void signalSavesSettingsAsClosingDoes()
    {
        QFETCH(int, signalNumber);
        // A value the program does not write: a save rebuilds the key without it.
        const QByteArray saved = endBySignal("Windows Registry Editor Version 5.00\n\n"
                                             "[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]\n"
                                             "\"nClef\"=dword:00000001\n"
                                             "\"leftOverByHand\"=dword:00000007\n",
                                             signalNumber);
        QVERIFY2(!saved.contains("leftOverByHand"), saved.constData());
        QVERIFY2(saved.contains("\"nClef\"=dword:00000001"), saved.constData());
    }

    // The box that says the settings file was damaged is up while the window is
    // built: a signal then still ends the program as closing it does.
    void signalWhileTheDamagedSettingsBoxIsUp()
    {
        const QByteArray saved = endBySignal("not a settings file at all\n", SIGTERM);
        QVERIFY2(saved.startsWith("Windows Registry Editor Version 5.00"), saved.constData());
        QVERIFY2(saved.contains("[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]"), saved.constData());
        QVERIFY(QFile::exists(m_configDir + QStringLiteral("/registry.reg.bad")));
    }

private:
    QTemporaryDir m_home;
    QString m_configDir;

    // Starts the program over this settings file, sends the signal once it
    // listens, and returns the file as the program left it.
    QByteArray endBySignal(const QByteArray& registryText, int signalNumber)
    {
        m_configDir = m_home.filePath(QStringLiteral("config/Tonvero"));
        QDir(m_home.path()).removeRecursively();
        [&] {
            QVERIFY(QDir().mkpath(m_configDir));
            QVERIFY(QDir().mkpath(m_home.filePath(QStringLiteral("runtime"))));
        }();
        QFile::setPermissions(m_home.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString registry = m_configDir + QStringLiteral("/registry.reg");
        {
            QFile f(registry);
            if (!f.open(QIODevice::WriteOnly))
                return {};
            f.write(registryText);
        }

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_home.filePath(QStringLiteral("runtime")));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(TONVERO_PROGRAM), {});
        if (!program.waitForStarted(10000))
            return {};

        // Up and listening once it catches all three.
        const quint64 wanted = bit(SIGTERM) | bit(SIGINT) | bit(SIGHUP);
        QElapsedTimer waited;
        waited.start();
        while ((caughtSignals(program.processId()) & wanted) != wanted && waited.elapsed() < 60000)
            QTest::qWait(20);
        ::kill(pid_t(program.processId()), signalNumber);
        [&] {
            QVERIFY(program.waitForFinished(60000));
            QCOMPARE(program.exitStatus(), QProcess::NormalExit);
            QCOMPARE(program.exitCode(), 0);
        }();
        QFile f(registry);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

QTEST_GUILESS_MAIN(TestShutdown)
#include "tst_shutdown.moc"
