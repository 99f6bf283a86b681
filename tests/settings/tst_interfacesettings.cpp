// SPDX-License-Identifier: GPL-3.0-or-later
// The interface settings under Software\Tonvero\Interface: defaults, values
// written by hand, and a save that leaves everything else in the file alone.
#include "settings/interfacesettings.h"
#include "settings/settingsstore.h"
#include "controls/instrumentctrl.h"
#include "platform/ui/messagebox.h"
#include "support/testenv.h"

#include <QTest>

#include <memory>

using namespace tonvero;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const QByteArray header = "Windows Registry Editor Version 5.00\n\n";
const QByteArray interfaceSection = "[HKEY_CURRENT_USER\\Software\\Tonvero\\Interface]\n";

} // namespace

class TestInterfaceSettings : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void loads_data();
    void loads();
    void saveKeepsOtherValuesAndKeys();
    void savedValueReadsBack_data();
    void savedValueReadsBack();
    void exerciseSettingsSaveKeepsInterface();
    void applySwitchesTheControls();
    void damagedFileGivesDefaults();
    void languageValues_data();
    void languageValues();
    void firstStartReadsWithoutWriting();

private:
    std::unique_ptr<testsupport::TempConfigHome> m_home;
    QList<platform::MessageBoxCall> m_boxes;
};

void TestInterfaceSettings::init()
{
    m_home = std::make_unique<testsupport::TempConfigHome>();
    m_boxes.clear();
    platform::setMessageBoxHook([this](const platform::MessageBoxCall& c) { m_boxes << c; });
    CInstrumentCtrl::SetShapeMarks(false);
}

void TestInterfaceSettings::cleanup()
{
    platform::setMessageBoxHook({});
    CInstrumentCtrl::SetShapeMarks(false);
    m_home.reset();
}

void TestInterfaceSettings::loads_data()
{
    QTest::addColumn<QByteArray>("file"); // empty: no file at all
    QTest::addColumn<int>("shapeMarks");
    QTest::newRow("no file") << QByteArray() << 0;
    QTest::newRow("no interface key") << header + "[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]\n\"nClef\"=dword:00000001\n" << 0;
    QTest::newRow("on") << header + interfaceSection + "\"bShapeMarks\"=dword:00000001\n" << 1;
    QTest::newRow("off") << header + interfaceSection + "\"bShapeMarks\"=dword:00000000\n" << 0;
    QTest::newRow("any other number is on") << header + interfaceSection + "\"bShapeMarks\"=dword:ffffffff\n" << 1;
    QTest::newRow("text is ignored") << header + interfaceSection + "\"bShapeMarks\"=\"1\"\n" << 0;
    QTest::newRow("eight bytes are ignored") << header + interfaceSection + "\"bShapeMarks\"=hex(b):01,00,00,00,00,00,00,00\n" << 0;
    QTest::newRow("name in other case") << header + interfaceSection + "\"BSHAPEMARKS\"=dword:00000001\n" << 1;
}

void TestInterfaceSettings::loads()
{
    QFETCH(QByteArray, file);
    QFETCH(int, shapeMarks);
    if (!file.isEmpty())
        QVERIFY(writeFile(m_home->registryFile(), file));
    InterfaceSettings s;
    QVERIFY(s.load());
    QCOMPARE(s.bShapeMarks, shapeMarks);
    QVERIFY(m_boxes.isEmpty());
}

void TestInterfaceSettings::saveKeepsOtherValuesAndKeys()
{
    QVERIFY(writeFile(m_home->registryFile(),
                      header + "[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]\n\"nClef\"=dword:00000001\n\n"
                          + interfaceSection + "\"nLanguage\"=dword:00000002\n\"bShapeMarks\"=dword:00000000\n"));
    InterfaceSettings s;
    QVERIFY(s.load());
    s.bShapeMarks = 1;
    QVERIFY(s.save());
    const QByteArray saved = readFile(m_home->registryFile());
    QVERIFY2(saved.contains("\"nClef\"=dword:00000001"), saved.constData());
    QVERIFY2(saved.contains("\"nLanguage\"=dword:00000002"), saved.constData());
    QVERIFY2(saved.contains("\"bShapeMarks\"=dword:00000001"), saved.constData());
}

void TestInterfaceSettings::savedValueReadsBack_data()
{
    QTest::addColumn<int>("shapeMarks");
    QTest::newRow("on") << 1;
    QTest::newRow("off") << 0;
}

void TestInterfaceSettings::savedValueReadsBack()
{
    QFETCH(int, shapeMarks);
    InterfaceSettings s;
    s.bShapeMarks = shapeMarks;
    QVERIFY(s.save());
    QVERIFY(readFile(m_home->registryFile()).contains(interfaceSection));
    InterfaceSettings back;
    back.bShapeMarks = 1 - shapeMarks;
    QVERIFY(back.load());
    QCOMPARE(back, s);
}

// The exercise settings rebuild their own key only.
void TestInterfaceSettings::exerciseSettingsSaveKeepsInterface()
{
    InterfaceSettings s;
    s.bShapeMarks = 1;
    QVERIFY(s.save());
    TonveroSettings exercise;
    QString installDir;
    QVERIFY(loadSettings(exercise, installDir, {}));
    QVERIFY(saveSettings(exercise));
    InterfaceSettings back;
    QVERIFY(back.load());
    QCOMPARE(back.bShapeMarks, 1);
}

void TestInterfaceSettings::applySwitchesTheControls()
{
    QVERIFY(writeFile(m_home->registryFile(), header + interfaceSection + "\"bShapeMarks\"=dword:00000001\n"));
    QVERIFY(InterfaceSettings::loadAndApply());
    QVERIFY(CInstrumentCtrl::ShapeMarks);
    InterfaceSettings off;
    off.apply();
    QVERIFY(!CInstrumentCtrl::ShapeMarks);
}

void TestInterfaceSettings::languageValues_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("language");
    QTest::newRow("system") << QByteArray("00000000") << 0;
    QTest::newRow("Russian") << QByteArray("00000001") << 1;
    QTest::newRow("English") << QByteArray("00000002") << 2;
    QTest::newRow("out of range keeps the default") << QByteArray("00000007") << 0;
}

void TestInterfaceSettings::languageValues()
{
    QFETCH(QByteArray, value);
    QFETCH(int, language);
    QVERIFY(writeFile(m_home->registryFile(), header + interfaceSection + "\"nLanguage\"=dword:" + value + "\n"));
    InterfaceSettings s;
    QVERIFY(s.load());
    QCOMPARE(s.nLanguage, language);
}

// Start-up reads these before the window exists: a first start must not write (or fsync) the file for it.
void TestInterfaceSettings::firstStartReadsWithoutWriting()
{
    InterfaceSettings s;
    QVERIFY(s.load());
    QCOMPARE(s, InterfaceSettings{});
    QVERIFY(!QFile::exists(m_home->registryFile()));
}

// A file that cannot be read: the defaults, one notice, and nothing lost on the next save.
void TestInterfaceSettings::damagedFileGivesDefaults()
{
    QVERIFY(writeFile(m_home->registryFile(), "this is not a settings file\n[[["));
    InterfaceSettings s;
    s.bShapeMarks = 1;
    QVERIFY(s.load());
    QCOMPARE(s.bShapeMarks, 1); // what was there before stays
    InterfaceSettings fresh;
    QVERIFY(fresh.load());
    QCOMPARE(fresh.bShapeMarks, 0);
    QVERIFY(QFile::exists(m_home->registryFile() + QStringLiteral(".bad")));
}

QTEST_GUILESS_MAIN(TestInterfaceSettings)
#include "tst_interfacesettings.moc"
