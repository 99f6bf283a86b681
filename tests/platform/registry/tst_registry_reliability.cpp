// SPDX-License-Identifier: GPL-3.0-or-later
// Saves that are killed midway, and two processes saving at once, never leave
// a file that cannot be read or a half-rebuilt key. The writers are this test
// executable run again with --save-loop.
#include "platform/registry/registry.h"
#include "support/testenv.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <csignal>
#include <cstdio>

using namespace platform;

namespace {

constexpr int valuesPerSave = 22;
constexpr DWORD stampBase = 1000000;

// One save of the writer: "Settings" deleted and rebuilt with 22 equal stamps,
// and the writer's own key with its count (and optional padding to make the
// file long enough that kills land inside the write).
bool saveOnce(int tag, DWORD count, const QByteArray& padding)
{
    HKEY app = nullptr, settings = nullptr, own = nullptr;
    if (RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                       nullptr, &app, nullptr))
        return false;
    const QString ownName = QStringLiteral("Writer%1").arg(tag);
    RegDeleteKey(app, "Settings");
    RegDeleteKey(app, ownName);
    bool ok = RegCreateKeyEx(app, "Settings", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &settings, nullptr) == 0
        && RegCreateKeyEx(app, ownName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &own, nullptr) == 0;
    const DWORD stamp = DWORD(tag) * stampBase + count;
    for (int i = 0; ok && i < valuesPerSave; ++i)
        ok = RegSetValueEx(settings, QStringLiteral("v%1").arg(i), 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&stamp), 4)
            == 0;
    ok = ok && RegSetValueEx(own, "count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), 4) == 0;
    if (ok && !padding.isEmpty())
        ok = RegSetValueEx(own, "padding", 0, REG_SZ, reinterpret_cast<const BYTE*>(padding.constData()),
                           DWORD(padding.size()))
            == 0;
    if (settings)
        RegCloseKey(settings);
    if (own)
        RegCloseKey(own);
    return RegCloseKey(app) == 0 && ok;
}

// --save-loop <tag> <count, -1 for ever> <padding bytes>
int saveLoop(int argc, char** argv)
{
    if (argc < 5)
        return 2;
    const int tag = atoi(argv[2]);
    const long count = atol(argv[3]);
    QByteArray padding(atoi(argv[4]), 'x');
    if (!padding.isEmpty())
        padding.back() = '\0';
    for (long i = 0; count < 0 || i < count; ++i) {
        if (!saveOnce(tag, DWORD(i), padding))
            return 1;
        if (i == 0) {
            std::fputs("ready\n", stdout);
            std::fflush(stdout);
        }
    }
    return 0;
}

struct Snapshot {
    bool parsed = false;
    bool hasSettings = false;
    DWORD stamp = 0;
    QString problem;
};

// Reads the file as a new start of the program would and checks it is whole.
Snapshot inspect(const QString& path, const QList<int>& tags)
{
    Snapshot snap;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        snap.parsed = true; // not written yet
        return snap;
    }
    RegStore store;
    QString error;
    if (!RegistryFile::parse(f.readAll(), store, &error)) {
        snap.problem = "unparseable: " + error;
        return snap;
    }
    snap.parsed = true;
    if (const RegKey* k = store.find({"Software", "Tonvero", "Settings"})) {
        snap.hasSettings = true;
        if (k->values.size() != valuesPerSave) {
            snap.problem = QStringLiteral("Settings holds %1 values").arg(k->values.size());
            return snap;
        }
        snap.stamp = *reinterpret_cast<const DWORD*>(k->values[0].data.constData());
        for (const RegValue& v : k->values)
            if (v.data.size() != 4 || *reinterpret_cast<const DWORD*>(v.data.constData()) != snap.stamp)
                snap.problem = "Settings mixes two saves";
    }
    for (int tag : tags) {
        const RegKey* own = store.find({"Software", "Tonvero", QStringLiteral("Writer%1").arg(tag)});
        if (own && !RegStore::value(*own, "count"))
            snap.problem = "a writer's key without its count";
    }
    return snap;
}

DWORD countOf(const QString& path, int tag)
{
    QFile f(path);
    RegStore store;
    if (!f.open(QIODevice::ReadOnly) || !RegistryFile::parse(f.readAll(), store))
        return DWORD(-1);
    const RegKey* own = store.find({"Software", "Tonvero", QStringLiteral("Writer%1").arg(tag)});
    const RegValue* v = own ? RegStore::value(*own, "count") : nullptr;
    return v && v->data.size() == 4 ? *reinterpret_cast<const DWORD*>(v->data.constData()) : DWORD(-1);
}

} // namespace

class TestRegistryReliability : public QObject {
    Q_OBJECT
private slots:
    void killedWhileSaving();
    void twoWritersAtOnce();
};

void TestRegistryReliability::killedWhileSaving()
{
    testsupport::TempConfigHome home;
    const QString file = home.registryFile();
    constexpr int kills = 200;
    int tmpLeftBehind = 0;
    QElapsedTimer clock;
    clock.start();
    for (int k = 0; k < kills; ++k) {
        QProcess writer;
        writer.start(QCoreApplication::applicationFilePath(), {"--save-loop", "1", "-1", "65536"});
        QVERIFY2(writer.waitForReadyRead(10000), "the writer did not start saving");
        QThread::usleep(QRandomGenerator::global()->bounded(4000));
        ::kill(pid_t(writer.processId()), SIGKILL);
        QVERIFY(writer.waitForFinished(10000));
        QCOMPARE(writer.exitStatus(), QProcess::CrashExit);

        const Snapshot snap = inspect(file, {1});
        QVERIFY2(snap.parsed && snap.problem.isEmpty(), qPrintable(QStringLiteral("after kill %1: %2").arg(k).arg(snap.problem)));
        QVERIFY(snap.hasSettings);
        if (QFile::exists(file + ".tmp"))
            ++tmpLeftBehind;
    }
    QVERIFY(!QFile::exists(file + ".bad"));
    qInfo("%d kills in %lld ms; %d of them left a temporary file behind", kills, clock.elapsed(), tmpLeftBehind);
}

void TestRegistryReliability::twoWritersAtOnce()
{
    testsupport::TempConfigHome home;
    const QString file = home.registryFile();
    constexpr int saves = 150;
    QProcess a, b;
    a.start(QCoreApplication::applicationFilePath(), {"--save-loop", "1", QString::number(saves), "0"});
    b.start(QCoreApplication::applicationFilePath(), {"--save-loop", "2", QString::number(saves), "0"});
    int reads = 0;
    while (a.state() != QProcess::NotRunning || b.state() != QProcess::NotRunning) {
        const Snapshot snap = inspect(file, {1, 2});
        QVERIFY2(snap.parsed && snap.problem.isEmpty(), qPrintable(snap.problem));
        ++reads;
        a.waitForFinished(1);
        b.waitForFinished(1);
    }
    QCOMPARE(a.exitStatus(), QProcess::NormalExit);
    QCOMPARE(a.exitCode(), 0);
    QCOMPARE(b.exitStatus(), QProcess::NormalExit);
    QCOMPARE(b.exitCode(), 0);

    // Neither writer lost the other's key; "Settings" is one writer's last save, whole.
    const Snapshot last = inspect(file, {1, 2});
    QVERIFY2(last.parsed && last.problem.isEmpty(), qPrintable(last.problem));
    QCOMPARE(countOf(file, 1), DWORD(saves - 1));
    QCOMPARE(countOf(file, 2), DWORD(saves - 1));
    QCOMPARE(last.stamp % stampBase, DWORD(saves - 1));
    QVERIFY(!QFile::exists(file + ".bad"));
    qInfo("%d reads while the writers ran", reads);
}

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--save-loop") == 0)
        return saveLoop(argc, argv);
    QCoreApplication app(argc, argv);
    TestRegistryReliability test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_registry_reliability.moc"
