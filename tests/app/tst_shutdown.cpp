// SPDX-License-Identifier: GPL-3.0-or-later
// The program itself, as a child process, ended by the signals a desktop sends.
#include <QDir>
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
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString configDir = home.filePath(QStringLiteral("config/Tonvero"));
        QVERIFY(QDir().mkpath(configDir));
        QVERIFY(QDir().mkpath(home.filePath(QStringLiteral("runtime"))));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // A value the program does not write: a save rebuilds the key without it.
        const QString registry = configDir + QStringLiteral("/registry.reg");
        {
            QFile f(registry);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("Windows Registry Editor Version 5.00\n\n"
                    "[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]\n"
                    "\"nClef\"=dword:00000001\n"
                    "\"leftOverByHand\"=dword:00000007\n");
        }

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral("config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedChannels);
        program.start(QStringLiteral(TONVERO_PROGRAM), {});
        QVERIFY(program.waitForStarted(10000));

        // Up and listening once it catches all three.
        const quint64 wanted = bit(SIGTERM) | bit(SIGINT) | bit(SIGHUP);
        QTRY_VERIFY_WITH_TIMEOUT((caughtSignals(program.processId()) & wanted) == wanted, 60000);
        ::kill(pid_t(program.processId()), signalNumber);
        QVERIFY(program.waitForFinished(60000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);

        QFile f(registry);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray saved = f.readAll();
        QVERIFY2(!saved.contains("leftOverByHand"), saved.constData());
        QVERIFY2(saved.contains("\"nClef\"=dword:00000001"), saved.constData());
    }
};

QTEST_GUILESS_MAIN(TestShutdown)
#include "tst_shutdown.moc"
