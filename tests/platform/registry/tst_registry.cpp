// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/registry/registry.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <QTranslator>

#include <unistd.h>

using namespace platform;

namespace {

QByteArray dword(DWORD v)
{
    return QByteArray(reinterpret_cast<const char*>(&v), 4);
}

QByteArray sz(const char* utf8)
{
    QByteArray b(utf8);
    b.append('\0');
    return b;
}

RegStore parsed(const QString& path)
{
    RegStore s;
    QString error;
    if (!RegistryFile::parse(testsupport::readFile(path), s, &error))
        qWarning() << "unparseable:" << error;
    return s;
}

const QByteArray header = "Windows Registry Editor Version 5.00\n\n";

// Closes a handle at scope exit, so a failed check does not leave the session open.
struct Key {
    HKEY h = nullptr;
    ~Key()
    {
        if (h)
            RegCloseKey(h);
    }
    LONG close()
    {
        const LONG r = RegCloseKey(h);
        h = nullptr;
        return r;
    }
};

QString linkText(const QString& link)
{
    char buf[4096];
    const ssize_t n = ::readlink(QFile::encodeName(link).constData(), buf, sizeof buf);
    return n < 0 ? QString() : QFile::decodeName(QByteArray(buf, n));
}

} // namespace

class TestRegistry : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void firstStartCreatesKeys();
    void deferredKeysWaitForAWrite();
    void deferredKeysGiveWayToAnotherWriter();
    void queryValue_data();
    void queryValue();
    void deletedKeyFailsItsHandles();
    void badHandlesAndAccess();
    void namesIgnoreCase();
    void changesReachFileAtLastClose();
    void changesMergeWithFileWrittenMeanwhile();
    void valuesKeepOrderOfSetting();
    void damagedFileIsSetAside();
    void unsavableSettingsAreToldOnce_data();
    void unsavableSettingsAreToldOnce();
    void damagedWhileRunningKeepsWhatWasKnown_data();
    void damagedWhileRunningKeepsWhatWasKnown();
    void savesThroughSymlink_data();
    void savesThroughSymlink();
    void damagedLinkedFileIsSetAsideBesideIt();
    void heldNoticeIsWordedWhenTold();

private:
    std::unique_ptr<testsupport::TempConfigHome> m_home;
    QStringList m_notices;
};

void TestRegistry::init()
{
    m_home = std::make_unique<testsupport::TempConfigHome>();
    m_notices.clear();
    setNoticeHandler([this](const QString& text) { m_notices << text; });
}

void TestRegistry::cleanup()
{
    setNoticeHandler({});
    m_home.reset();
}

void TestRegistry::firstStartCreatesKeys()
{
    QCOMPARE(registryFilePath(), m_home->registryFile());
    Key software, app, settings;
    QCOMPARE(RegOpenKeyEx(HKEY_CURRENT_USER, "Software", 0, KEY_ALL_ACCESS, &software.h), ERROR_SUCCESS);
    QCOMPARE(RegOpenKeyEx(software.h, "Tonvero", 0, KEY_ALL_ACCESS, &app.h), ERROR_FILE_NOT_FOUND);
    QVERIFY(!app.h);
    DWORD disposition = 0;
    QCOMPARE(RegCreateKeyEx(software.h, "Tonvero", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &app.h, &disposition),
             ERROR_SUCCESS);
    QCOMPARE(disposition, REG_CREATED_NEW_KEY);
    QCOMPARE(RegCreateKeyEx(app.h, "Settings", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                            &settings.h, &disposition),
             ERROR_SUCCESS);
    QCOMPARE(disposition, REG_CREATED_NEW_KEY);
    QCOMPARE(settings.close(), ERROR_SUCCESS);
    QCOMPARE(app.close(), ERROR_SUCCESS);
    QCOMPARE(software.close(), ERROR_SUCCESS);

    QCOMPARE(testsupport::readFile(m_home->registryFile()),
             header + "[HKEY_CURRENT_USER\\Software\\Tonvero]\n\n[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]\n\n");

    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero\\Settings", 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &settings.h, &disposition),
             ERROR_SUCCESS);
    QCOMPARE(disposition, REG_OPENED_EXISTING_KEY);
}

// Made at start-up: nothing is written for them, yet every later session sees
// them, and the first change written takes them along.
void TestRegistry::deferredKeysWaitForAWrite()
{
    Key app;
    DWORD disposition = 0;
    QCOMPARE(RegCreateKeyDeferred(HKEY_CURRENT_USER, "Software\\Tonvero\\Settings", KEY_ALL_ACCESS, &app.h,
                                  &disposition),
             ERROR_SUCCESS);
    QCOMPARE(disposition, REG_CREATED_NEW_KEY);
    QCOMPARE(app.close(), ERROR_SUCCESS);
    QVERIFY(!QFile::exists(m_home->registryFile()));
    QCOMPARE(RegFlushKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
    QVERIFY(!QFile::exists(m_home->registryFile()));

    // A later session finds them; opening them again makes nothing new.
    Key settings;
    QCOMPARE(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero\\Settings", 0, KEY_ALL_ACCESS, &settings.h),
             ERROR_SUCCESS);
    QCOMPARE(settings.close(), ERROR_SUCCESS);
    QCOMPARE(RegCreateKeyDeferred(HKEY_CURRENT_USER, "Software\\Tonvero", KEY_ALL_ACCESS, &app.h, &disposition),
             ERROR_SUCCESS);
    QCOMPARE(disposition, REG_OPENED_EXISTING_KEY);
    QCOMPARE(app.close(), ERROR_SUCCESS);
    QVERIFY(!QFile::exists(m_home->registryFile()));

    // The first value written elsewhere brings them to the file.
    Key other;
    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero\\Interface", 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &other.h, nullptr),
             ERROR_SUCCESS);
    QCOMPARE(RegSetValueEx(other.h, "v", 0, REG_DWORD, reinterpret_cast<const BYTE*>(dword(1).constData()), 4),
             ERROR_SUCCESS);
    QCOMPARE(other.close(), ERROR_SUCCESS);
    const RegStore st = parsed(m_home->registryFile());
    QVERIFY(st.find({"Software", "Tonvero", "Settings"}));
    QVERIFY(RegStore::value(*st.find({"Software", "Tonvero", "Interface"}), "v"));

    // Written once: deleting them now is not undone by a later session.
    QCOMPARE(RegDeleteKey(HKEY_CURRENT_USER, "Software\\Tonvero\\Settings"), ERROR_SUCCESS);
    QCOMPARE(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero\\Settings", 0, KEY_ALL_ACCESS, &settings.h),
             ERROR_FILE_NOT_FOUND);
    QVERIFY(!parsed(m_home->registryFile()).find({"Software", "Tonvero", "Settings"}));
}

// Another instance wrote the file in between: its keys count, not ours.
void TestRegistry::deferredKeysGiveWayToAnotherWriter()
{
    Key app;
    QCOMPARE(RegCreateKeyDeferred(HKEY_CURRENT_USER, "Software\\Tonvero", KEY_ALL_ACCESS, &app.h, nullptr),
             ERROR_SUCCESS);
    QCOMPARE(app.close(), ERROR_SUCCESS);
    const QByteArray other = header + "[HKEY_CURRENT_USER\\Software\\Other]\n\n";
    QVERIFY(testsupport::writeFile(m_home->registryFile(), other));

    QCOMPARE(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, KEY_ALL_ACCESS, &app.h), ERROR_FILE_NOT_FOUND);
    Key k;
    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Other", 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &k.h, nullptr),
             ERROR_SUCCESS);
    QCOMPARE(RegSetValueEx(k.h, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(dword(2).constData()), 4),
             ERROR_SUCCESS);
    QCOMPARE(k.close(), ERROR_SUCCESS);
    QVERIFY(!parsed(m_home->registryFile()).find({"Software", "Tonvero"}));
}

void TestRegistry::queryValue_data()
{
    QTest::addColumn<DWORD>("type");
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<DWORD>("room");
    QTest::addColumn<bool>("withBuffer");
    QTest::addColumn<LONG>("result");

    QTest::newRow("dword into 4 bytes") << REG_DWORD << dword(7) << 4u << true << ERROR_SUCCESS;
    QTest::newRow("string into 4 bytes") << REG_SZ << sz("/usr/share/") << 4u << true << ERROR_MORE_DATA;
    QTest::newRow("qword into 4 bytes") << REG_QWORD << QByteArray(8, '\1') << 4u << true << ERROR_MORE_DATA;
    QTest::newRow("size of a string") << REG_SZ << sz("/usr/share/") << 0u << false << ERROR_SUCCESS;
    QTest::newRow("string into its size") << REG_SZ << sz("/usr/share/") << 12u << true << ERROR_SUCCESS;
    QTest::newRow("short binary into 4 bytes") << REG_BINARY << QByteArray("\1\2", 2) << 4u << true << ERROR_SUCCESS;
    QTest::newRow("empty value") << REG_BINARY << QByteArray() << 4u << true << ERROR_SUCCESS;
}

void TestRegistry::queryValue()
{
    QFETCH(DWORD, type);
    QFETCH(QByteArray, stored);
    QFETCH(DWORD, room);
    QFETCH(bool, withBuffer);
    QFETCH(LONG, result);

    Key k;
    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &k.h, nullptr),
             ERROR_SUCCESS);
    QCOMPARE(RegSetValueEx(k.h, "v", 0, type, reinterpret_cast<const BYTE*>(stored.constData()),
                           DWORD(stored.size())),
             ERROR_SUCCESS);
    QCOMPARE(k.close(), ERROR_SUCCESS);

    QCOMPARE(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, KEY_READ, &k.h), ERROR_SUCCESS);
    QByteArray buf(qMax<int>(int(room), 1), '\xee');
    DWORD gotType = 0xffff;
    DWORD size = room;
    QCOMPARE(RegQueryValueEx(k.h, "v", nullptr, &gotType, withBuffer ? reinterpret_cast<BYTE*>(buf.data()) : nullptr,
                             &size),
             result);
    QCOMPARE(gotType, type);
    QCOMPARE(size, DWORD(stored.size()));
    if (withBuffer && result == ERROR_SUCCESS)
        QCOMPARE(buf.left(stored.size()), stored);

    DWORD missingSize = 4;
    QCOMPARE(RegQueryValueEx(k.h, "missing", nullptr, nullptr, reinterpret_cast<BYTE*>(buf.data()), &missingSize),
             ERROR_FILE_NOT_FOUND);
}

void TestRegistry::deletedKeyFailsItsHandles()
{
    Key app, settings, sub;
    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &app.h,
                            nullptr),
             ERROR_SUCCESS);
    QCOMPARE(RegCreateKeyEx(app.h, "Settings\\Deeper", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub.h, nullptr),
             ERROR_SUCCESS);
    QCOMPARE(RegOpenKeyEx(app.h, "Settings", 0, KEY_ALL_ACCESS, &settings.h), ERROR_SUCCESS);
    const DWORD one = 1;
    QCOMPARE(RegSetValueEx(settings.h, "nClef", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_SUCCESS);

    QCOMPARE(RegDeleteKey(app.h, "Settings"), ERROR_SUCCESS);
    DWORD size = 4;
    DWORD v = 0;
    QCOMPARE(RegQueryValueEx(settings.h, "nClef", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size),
             ERROR_KEY_DELETED);
    QCOMPARE(RegSetValueEx(sub.h, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_KEY_DELETED);
    Key again;
    QCOMPARE(RegCreateKeyEx(settings.h, "Child", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &again.h, nullptr),
             ERROR_KEY_DELETED);
    QCOMPARE(RegDeleteKey(app.h, "Settings"), ERROR_FILE_NOT_FOUND);

    // A key made anew under the same name is another key: old handles stay dead.
    Key recreated;
    QCOMPARE(RegCreateKeyEx(app.h, "Settings", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &recreated.h, nullptr),
             ERROR_SUCCESS);
    QCOMPARE(RegSetValueEx(settings.h, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_KEY_DELETED);
    QCOMPARE(settings.close(), ERROR_SUCCESS);
    QCOMPARE(sub.close(), ERROR_SUCCESS);
    QCOMPARE(recreated.close(), ERROR_SUCCESS);
    QCOMPARE(app.close(), ERROR_SUCCESS);

    const RegStore s = parsed(m_home->registryFile());
    QVERIFY(s.find({"Software", "Tonvero", "Settings"}));
    QVERIFY(s.find({"Software", "Tonvero", "Settings"})->values.isEmpty());
    QVERIFY(!s.find({"Software", "Tonvero", "Settings", "Deeper"}));
}

void TestRegistry::badHandlesAndAccess()
{
    const DWORD one = 1;
    QCOMPARE(RegSetValueEx(nullptr, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_INVALID_HANDLE);
    Key k;
    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, nullptr, 0, KEY_READ, nullptr, &k.h, nullptr),
             ERROR_SUCCESS);
    QCOMPARE(RegSetValueEx(k.h, "x", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4), ERROR_ACCESS_DENIED);
    const HKEY closed = k.h;
    QCOMPARE(k.close(), ERROR_SUCCESS);
    QCOMPARE(RegCloseKey(closed), ERROR_INVALID_HANDLE);
    DWORD size = 0;
    QCOMPARE(RegQueryValueEx(closed, "x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);

    QCOMPARE(RegDeleteKey(HKEY_CURRENT_USER, "Software"), ERROR_ACCESS_DENIED);
    QCOMPARE(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\\\Tonvero", 0, KEY_READ, &k.h), ERROR_INVALID_PARAMETER);
    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &k.h, nullptr),
             ERROR_INVALID_PARAMETER);
    QCOMPARE(RegSetValueEx(HKEY_CURRENT_USER, "line\nbreak", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
             ERROR_INVALID_PARAMETER);
}

void TestRegistry::namesIgnoreCase()
{
    Key k;
    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero\\Settings", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &k.h, nullptr),
             ERROR_SUCCESS);
    const DWORD v = 3;
    QCOMPARE(RegSetValueEx(k.h, "nClef", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4), ERROR_SUCCESS);
    QCOMPARE(k.close(), ERROR_SUCCESS);

    QCOMPARE(RegOpenKeyEx(HKEY_CURRENT_USER, "SOFTWARE\\tonvero\\settings", 0, KEY_READ, &k.h), ERROR_SUCCESS);
    DWORD got = 0, size = 4;
    QCOMPARE(RegQueryValueEx(k.h, "NCLEF", nullptr, nullptr, reinterpret_cast<BYTE*>(&got), &size), ERROR_SUCCESS);
    QCOMPARE(got, v);
}

void TestRegistry::changesReachFileAtLastClose()
{
    Key app, settings;
    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &app.h,
                            nullptr),
             ERROR_SUCCESS);
    QCOMPARE(RegCreateKeyEx(app.h, "Settings", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &settings.h, nullptr),
             ERROR_SUCCESS);
    const DWORD v = 2;
    QCOMPARE(RegSetValueEx(settings.h, "nClef", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4), ERROR_SUCCESS);
    QCOMPARE(settings.close(), ERROR_SUCCESS);
    QVERIFY(!QFile::exists(m_home->registryFile()));
    QCOMPARE(app.close(), ERROR_SUCCESS);
    QVERIFY(testsupport::readFile(m_home->registryFile()).contains("\"nClef\"=dword:00000002\n"));
    QVERIFY(!QFile::exists(m_home->registryFile() + ".tmp"));
}

void TestRegistry::unsavableSettingsAreToldOnce_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a folder in the file's place") << "folder" << "папка";
    QTest::newRow("its folder cannot be made") << "blocked" << "не удаётся создать";
    QTest::newRow("read-only folder") << "read-only" << "нельзя создавать файлы";
}

void TestRegistry::unsavableSettingsAreToldOnce()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    const QString file = m_home->registryFile();
    const QString folder = QFileInfo(file).absolutePath();
    if (kind == "folder") {
        QVERIFY(QDir().mkpath(file + "/inside"));
    } else if (kind == "blocked") {
        QDir(folder).removeRecursively();
        QVERIFY(testsupport::writeFile(folder, "a file where the folder goes"));
    } else {
        if (::geteuid() == 0)
            QSKIP("root writes in any folder");
        QVERIFY(QDir().mkpath(folder));
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    // Two saves, as at a change in the options and at exit: one notice, with the reason.
    for (DWORD v : {1u, 2u}) {
        Key app;
        RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &app.h, nullptr);
        if (app.h)
            RegSetValueEx(app.h, "nClef", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
    }
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(m_notices.size(), 1);
    QVERIFY2(m_notices[0].contains(reason) && m_notices[0].contains("не сохраняются"), qPrintable(m_notices[0]));
}

void TestRegistry::changesMergeWithFileWrittenMeanwhile()
{
    Key app;
    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &app.h,
                            nullptr),
             ERROR_SUCCESS);
    // Another instance saves its own key while our handle is open.
    QVERIFY(testsupport::writeFile(m_home->registryFile(), header + "[HKEY_CURRENT_USER\\Software\\Other]\n\"a\"=dword:00000001\n"));
    const DWORD v = 5;
    QCOMPARE(RegSetValueEx(app.h, "mine", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4), ERROR_SUCCESS);
    QCOMPARE(app.close(), ERROR_SUCCESS);

    const RegStore s = parsed(m_home->registryFile());
    QVERIFY(s.find({"Software", "Other"}));
    QVERIFY(s.find({"Software", "Tonvero"}));
    const RegValue* mine = RegStore::value(*s.find({"Software", "Tonvero"}), "mine");
    QVERIFY(mine);
    QCOMPARE(mine->data, dword(5));
}

void TestRegistry::valuesKeepOrderOfSetting()
{
    Key k;
    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k.h,
                            nullptr),
             ERROR_SUCCESS);
    for (const char* name : {"zeta", "alpha", "mid", "ALPHA"}) {
        const DWORD v = DWORD(qstrlen(name));
        QCOMPARE(RegSetValueEx(k.h, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4), ERROR_SUCCESS);
    }
    QCOMPARE(k.close(), ERROR_SUCCESS);
    QCOMPARE(testsupport::readFile(m_home->registryFile()),
             header + "[HKEY_CURRENT_USER\\Software\\Tonvero]\n\"zeta\"=dword:00000004\n"
                      "\"alpha\"=dword:00000005\n\"mid\"=dword:00000003\n\n");
}

void TestRegistry::damagedFileIsSetAside()
{
    const QString file = m_home->registryFile();
    const QByteArray garbage = header + "[HKEY_CURRENT_USER\\Software\\Tonvero]\n\"setup_dir\"=\"unterminated\n";
    QVERIFY(testsupport::writeFile(file, garbage));
    QVERIFY(testsupport::writeFile(file + ".bad", "an older damaged file"));
    QVERIFY(testsupport::writeFile(QFileInfo(file).absolutePath() + "/unrelated.txt", "kept"));

    Key k;
    QCOMPARE(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, KEY_READ, &k.h), ERROR_FILE_NOT_FOUND);
    QCOMPARE(m_notices.size(), 1);
    QVERIFY(m_notices[0].contains("registry.reg.2.bad"));
    QVERIFY(!QFile::exists(file));
    QCOMPARE(testsupport::readFile(file + ".2.bad"), garbage);
    QCOMPARE(testsupport::readFile(file + ".bad"), QByteArray("an older damaged file"));

    // Defaults from here on, saved normally, and no second notice.
    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &k.h,
                            nullptr),
             ERROR_SUCCESS);
    QCOMPARE(k.close(), ERROR_SUCCESS);
    QVERIFY(parsed(file).find({"Software", "Tonvero"}));
    QCOMPARE(m_notices.size(), 1);
    QCOMPARE(testsupport::readFile(QFileInfo(file).absolutePath() + "/unrelated.txt"), QByteArray("kept"));
}

void TestRegistry::damagedWhileRunningKeepsWhatWasKnown_data()
{
    QTest::addColumn<bool>("handleOpen");
    QTest::newRow("between two uses") << false;
    QTest::newRow("while a handle is open") << true;
}

void TestRegistry::damagedWhileRunningKeepsWhatWasKnown()
{
    QFETCH(bool, handleOpen);
    const QString file = m_home->registryFile();
    QVERIFY(testsupport::writeFile(file, header + "[HKEY_CURRENT_USER\\Software\\Tonvero]\n\"setup_dir\"=\"/opt/t/\"\n\n"));
    Key k;
    QCOMPARE(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, KEY_ALL_ACCESS, &k.h), ERROR_SUCCESS);
    if (!handleOpen)
        QCOMPARE(k.close(), ERROR_SUCCESS);

    const QByteArray garbage = "[HKEY_CURRENT_USER\\Software\\Tonvero]\n\"setup_dir\"=\"/opt/t/\n";
    QVERIFY(testsupport::writeFile(file, garbage)); // an edit by hand gone wrong

    // A damaged file is no deleted key: the key this process knew is still there.
    if (!handleOpen)
        QCOMPARE(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, KEY_ALL_ACCESS, &k.h), ERROR_SUCCESS);
    const DWORD seven = 7;
    QCOMPARE(RegSetValueEx(k.h, "n", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&seven), 4), ERROR_SUCCESS);
    QCOMPARE(k.close(), ERROR_SUCCESS);

    QCOMPARE(testsupport::readFile(file + ".bad"), garbage);
    QCOMPARE(m_notices.size(), 1);
    QVERIFY2(m_notices[0].contains(QStringLiteral("последние известные ей настройки")), qPrintable(m_notices[0]));
    const RegStore s = parsed(file);
    const RegKey* app = s.find({"Software", "Tonvero"});
    QVERIFY(app);
    QCOMPARE(app->values, (QList<RegValue>{{"setup_dir", REG_SZ, sz("/opt/t/")}, {"n", REG_DWORD, dword(7)}}));

    QCOMPARE(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, KEY_READ, &k.h), ERROR_SUCCESS);
    QCOMPARE(m_notices.size(), 1);
}

void TestRegistry::savesThroughSymlink_data()
{
    // Paths below the temporary home; the link is the settings file itself.
    QTest::addColumn<QStringList>("links"); // what each link in the chain says, the first is registry.reg
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("targetExists");

    QTest::newRow("to a file elsewhere") << QStringList{"@/dotfiles/tonvero.reg"} << "dotfiles/tonvero.reg" << true;
    QTest::newRow("relative") << QStringList{"../../dotfiles/tonvero.reg"} << "dotfiles/tonvero.reg" << true;
    QTest::newRow("through a second link") << QStringList{"@/dotfiles/current", "tonvero.reg"}
                                           << "dotfiles/tonvero.reg" << true;
    QTest::newRow("dangling") << QStringList{"@/dotfiles/tonvero.reg"} << "dotfiles/tonvero.reg" << false;
    QTest::newRow("dangling into a missing folder") << QStringList{"../../dotfiles/new/tonvero.reg"}
                                                    << "dotfiles/new/tonvero.reg" << false;
}

void TestRegistry::savesThroughSymlink()
{
    QFETCH(QStringList, links);
    QFETCH(QString, target);
    QFETCH(bool, targetExists);
    const QString file = m_home->registryFile();
    const QString home = m_home->path();
    const QString real = home + "/" + target;
    QDir().mkpath(QFileInfo(file).absolutePath());
    QDir().mkpath(home + "/dotfiles");
    if (targetExists) {
        QVERIFY(testsupport::writeFile(real, header + "[HKEY_CURRENT_USER\\Software\\Tonvero]\n\"mine\"=dword:00000001\n\n"));
        QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    }
    // Each link is made where the one before points.
    QString at = file;
    for (const QString& text : links) {
        const QString spelled = QString(text).replace("@", home);
        QCOMPARE(::symlink(QFile::encodeName(spelled).constData(), QFile::encodeName(at).constData()), 0);
        at = QDir::isAbsolutePath(spelled) ? spelled : QFileInfo(at).path() + "/" + spelled;
    }

    Key app;
    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &app.h,
                            nullptr),
             ERROR_SUCCESS);
    DWORD v = 0, size = 4;
    QCOMPARE(RegQueryValueEx(app.h, "mine", nullptr, nullptr, reinterpret_cast<BYTE*>(&v), &size),
             targetExists ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    const DWORD two = 2;
    QCOMPARE(RegSetValueEx(app.h, "saved", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&two), 4), ERROR_SUCCESS);
    QCOMPARE(app.close(), ERROR_SUCCESS);

    // The links are as they were; the file they name holds the save.
    QCOMPARE(linkText(file), QString(links[0]).replace("@", home));
    QVERIFY(QFileInfo(real).isFile() && !QFileInfo(real).isSymLink());
    // A dotfile keeps the permissions it was given.
    if (targetExists)
        QVERIFY(QFileInfo(real).permissions().testFlag(QFile::ReadOther));
    const RegStore s = parsed(real);
    QVERIFY(s.find({"Software", "Tonvero"}));
    QVERIFY(RegStore::value(*s.find({"Software", "Tonvero"}), "saved"));
    QCOMPARE(RegStore::value(*s.find({"Software", "Tonvero"}), "mine") != nullptr, targetExists);
    // Temporary file and lock beside the file itself, so the rename stays in one folder.
    QCOMPARE(QDir(QFileInfo(file).absolutePath()).entryList(QDir::Files | QDir::System | QDir::Hidden),
             QStringList{"registry.reg"});
    QVERIFY(QFile::exists(real + ".lock"));
    QVERIFY(!QFile::exists(real + ".tmp"));
}

void TestRegistry::damagedLinkedFileIsSetAsideBesideIt()
{
    const QString file = m_home->registryFile();
    const QString real = m_home->path() + "/dotfiles/tonvero.reg";
    QDir().mkpath(QFileInfo(file).absolutePath());
    QVERIFY(testsupport::writeFile(real, "not a settings file"));
    QCOMPARE(::symlink(QFile::encodeName(real).constData(), QFile::encodeName(file).constData()), 0);

    Key app;
    QCOMPARE(RegCreateKeyEx(HKEY_CURRENT_USER, "Software\\Tonvero", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &app.h,
                            nullptr),
             ERROR_SUCCESS);
    QCOMPARE(app.close(), ERROR_SUCCESS);

    QCOMPARE(m_notices.size(), 1);
    QCOMPARE(testsupport::readFile(real + ".bad"), QByteArray("not a settings file"));
    QCOMPARE(linkText(file), real);
    QVERIFY(parsed(real).find({"Software", "Tonvero"}));
}

// A notice of a file damaged before anyone listens (the language is read from
// the file first) is worded in the language installed by the time it is told.
void TestRegistry::heldNoticeIsWordedWhenTold()
{
    setNoticeHandler({});
    QVERIFY(testsupport::writeFile(m_home->registryFile(), "not a settings file\n"));
    HKEY key = nullptr;
    if (RegOpenKeyEx(HKEY_CURRENT_USER, QStringLiteral("Software"), 0, KEY_READ, &key) == ERROR_SUCCESS)
        RegCloseKey(key);
    QTranslator english;
    QVERIFY(english.load(QStringLiteral(":/i18n/tonvero_en.qm")));
    QCoreApplication::installTranslator(&english);
    setNoticeHandler([this](const QString& text) { m_notices << text; });
    QCoreApplication::removeTranslator(&english);
    QCOMPARE(m_notices.size(), 1);
    QVERIFY2(!m_notices[0].contains(QRegularExpression(QStringLiteral("[А-Яа-яЁё]"))), qPrintable(m_notices[0]));
    QVERIFY(m_notices[0].contains(QStringLiteral("registry.reg.bad")));
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
