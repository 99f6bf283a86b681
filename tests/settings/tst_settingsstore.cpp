// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settingsstore.h"
#include "settings/preferences.h"
#include "platform/ui/messagebox.h"
#include "platform/registry/registry.h"
#include "support/testenv.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

using namespace tonvero;
using platform::RegistryFile;
using platform::RegStore;

namespace {

// The piano's rule: a key is black when its pitch class is C#, D#, F#, G# or A#.
bool isWhiteKey(int k)
{
    switch ((k + 9) % 12) {
    case 1: case 3: case 6: case 8: case 10:
        return false;
    default:
        return true;
    }
}

const QByteArray header = "Windows Registry Editor Version 5.00\n\n";
const QByteArray appSection = "[HKEY_CURRENT_USER\\Software\\Tonvero]\n";
const QByteArray settingsSection = "[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]\n";

QByteArray dwordLine(const char* name, qint64 v)
{
    return QByteArray("\"") + name + "\"=dword:" + QByteArray::number(quint32(v), 16).rightJustified(8, '0') + "\n";
}

RegStore parsedFile(const QString& path)
{
    RegStore s;
    if (!RegistryFile::parse(testsupport::readFile(path), s))
        qWarning("settings file does not parse");
    return s;
}

using Values = QList<QPair<QByteArray, qint64>>;

// A text value as the file holds it: quoted, with \ and " escaped.
QByteArray textLine(const char* name, const QString& text)
{
    QString quoted = text;
    quoted.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    return QByteArray("\"") + name + "\"=\"" + quoted.toUtf8() + "\"\n";
}

// A line as the Windows registry editor writes it: UTF-16LE, ended by CR LF.
QByteArray regeditLine(const QString& text)
{
    QByteArray out;
    for (QChar c : text)
        out.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
    return out + QByteArray("\r\0\n\0", 4);
}

} // namespace


class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void firstStartKeepsDefaults();
    void startUpWritesNothingBeforeTheSave();
    void loadsEveryNamedValue();
    void loadNormalises_data();
    void loadNormalises();
    void valuesOfWrongSizeKeepDefaults();
    void setupDir_data();
    void setupDir();
    void saveWritesTableInOrderAndLoadsBack();
    void saveRemovesHandAddedValues();
    void deletedAppKeyWritesNothing();
    void deletedAppKeyWritesNothingAfterDeferredStart();
    void damagedFileIsReportedOnce();
    void unsavableSettingsAreANoticeNotABox_data();
    void unsavableSettingsAreANoticeNotABox();
    void loadsFileExportedByRegedit();
    void saveAfterFileDamagedWhileRunning();
    void damagedFileNoticeIsRussian_data();
    void damagedFileNoticeIsRussian();
    void portNamesRoundTrip_data();
    void portNamesRoundTrip();
    void portNamesAsStored_data();
    void portNamesAsStored();

private:
    QString file() const { return m_home->registryFile(); }
    std::unique_ptr<testsupport::TempConfigHome> m_home;
    QList<platform::MessageBoxCall> m_boxes;
};

void TestSettingsStore::init()
{
    m_home = std::make_unique<testsupport::TempConfigHome>();
    m_boxes.clear();
    platform::setMessageBoxHook([this](const platform::MessageBoxCall& c) { m_boxes << c; });
}

void TestSettingsStore::cleanup()
{
    platform::setMessageBoxHook({});
    m_home.reset();
}

void TestSettingsStore::firstStartKeepsDefaults()
{
    TonveroSettings s;
    QString dir;
    QVERIFY(loadSettings(s, dir, isWhiteKey));
    QCOMPARE(s, TonveroSettings{});
    QCOMPARE(s.nClef, 3);
    QCOMPARE(s.nN12_min0, 27);
    QCOMPARE(s.nN12_max0, 67);
    QCOMPARE(s.nN12_min1, 8);
    QCOMPARE(s.nN12_max1, 48);
    QVERIFY(dir.isEmpty());
    QCOMPARE(testsupport::readFile(file()), header + appSection + "\n" + settingsSection + "\n");
    QVERIFY(m_boxes.isEmpty());
}

// Start-up keeps the keys it makes in memory: the first save writes them with the values.
void TestSettingsStore::startUpWritesNothingBeforeTheSave()
{
    TonveroSettings s;
    QString dir;
    QVERIFY(loadSettings(s, dir, isWhiteKey, NewKeys::Defer));
    QCOMPARE(s, TonveroSettings{});
    QVERIFY(!QFile::exists(file()));

    s.nClef = 1;
    QVERIFY(saveSettings(s));
    const RegStore st = parsedFile(file());
    QVERIFY(st.find({"Software", "Tonvero"}));
    const platform::RegKey* k = st.find({"Software", "Tonvero", "Settings"});
    QVERIFY(k);
    QCOMPARE(k->values.size(), qsizetype(settingFields.size() + settingTextFields.size()));
    TonveroSettings back;
    QVERIFY(loadSettings(back, dir, isWhiteKey, NewKeys::Defer));
    QCOMPARE(back.nClef, 1);
}

void TestSettingsStore::loadsEveryNamedValue()
{
    QByteArray text = header + settingsSection;
    text += dwordLine("nInDevId", 2) + dwordLine("nOutDevId", 3) + dwordLine("bMIDI_In", 0)
        + dwordLine("bMIDI_Out", 0) + dwordLine("bAppControlByMIDI", 0) + dwordLine("bShowNoteName", 1)
        + dwordLine("bShowStatistics", 0) + dwordLine("bUseBlackKeys", 0) + dwordLine("bNoteInputFromCompKeyboard", 1)
        + dwordLine("bOnWrongNoteWaitTime", 0) + dwordLine("bBeep", 0) + dwordLine("bPianoKeys", 0)
        + dwordLine("bGuitar6", 1) + dwordLine("bGuitar4", 1) + dwordLine("nPatch", 19) + dwordLine("nMinutes", 15)
        + dwordLine("nTimerDelay", 5000) + dwordLine("nClef", 2) + dwordLine("nN12_min0", 3)
        + dwordLine("nN12_max0", 15) + dwordLine("nN12_min1", 39) + dwordLine("nN12_max1", 51)
        + textLine("strInDevName", "USB Keyboard:USB Keyboard MIDI 1") + textLine("strOutDevName", "FLUID Synth:port");
    QVERIFY(testsupport::writeFile(file(), text));

    TonveroSettings s;
    QString dir;
    QVERIFY(loadSettings(s, dir, isWhiteKey));
    const TonveroSettings expected{2,  3, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 1, 19, 15, 5000, 2, 3, 15, 39, 51,
                                   "USB Keyboard:USB Keyboard MIDI 1", "FLUID Synth:port"};
    QCOMPARE(s, expected);
}

void TestSettingsStore::loadNormalises_data()
{
    QTest::addColumn<Values>("stored");
    QTest::addColumn<Values>("loaded");

    QTest::newRow("range 0 below the keyboard") << Values{{"nN12_min0", -5}, {"nN12_max0", 3}}
                                                << Values{{"nN12_min0", 0}, {"nN12_max0", 3}};
    QTest::newRow("range 0 above the keyboard") << Values{{"nN12_min0", 90}, {"nN12_max0", 10}}
                                                << Values{{"nN12_min0", 86}, {"nN12_max0", 87}};
    QTest::newRow("range 1 ends on black keys") << Values{{"nN12_min1", 1}, {"nN12_max1", 49}}
                                                << Values{{"nN12_min1", 0}, {"nN12_max1", 50}};
    QTest::newRow("range with equal ends") << Values{{"nN12_min1", 39}, {"nN12_max1", 39}}
                                           << Values{{"nN12_min1", 39}, {"nN12_max1", 41}};
    QTest::newRow("patch keeps the low byte") << Values{{"nPatch", 300}} << Values{{"nPatch", 44}};
    QTest::newRow("patch byte above 127") << Values{{"nPatch", 200}} << Values{{"nPatch", 0}};
    QTest::newRow("clef beyond 3") << Values{{"nClef", 7}} << Values{{"nClef", 3}};
    QTest::newRow("negative clef") << Values{{"nClef", -1}} << Values{{"nClef", 3}};
    QTest::newRow("alto clef kept") << Values{{"nClef", 2}} << Values{{"nClef", 2}};
    QTest::newRow("exam too long") << Values{{"nMinutes", 100}} << Values{{"nMinutes", 60}};
    QTest::newRow("negative minutes") << Values{{"nMinutes", -3}} << Values{{"nMinutes", 0}};
    QTest::newRow("delay too long") << Values{{"nTimerDelay", 999999}} << Values{{"nTimerDelay", 180000}};
    QTest::newRow("negative delay") << Values{{"nTimerDelay", -1}} << Values{{"nTimerDelay", 0}};
    QTest::newRow("flags other than 1") << Values{{"bBeep", 5}, {"bMIDI_In", -1}, {"bGuitar6", 0}}
                                        << Values{{"bBeep", 1}, {"bMIDI_In", 1}, {"bGuitar6", 0}};
    QTest::newRow("negative device ids") << Values{{"nInDevId", -2}, {"nOutDevId", 4}}
                                         << Values{{"nInDevId", 0}, {"nOutDevId", 4}};
}

void TestSettingsStore::loadNormalises()
{
    QFETCH(Values, stored);
    QFETCH(Values, loaded);
    QByteArray text = header + settingsSection;
    for (const auto& [name, v] : stored)
        text += dwordLine(name.constData(), v);
    QVERIFY(testsupport::writeFile(file(), text));

    TonveroSettings s;
    QString dir;
    QVERIFY(loadSettings(s, dir, isWhiteKey));
    TonveroSettings expected;
    for (const auto& [name, v] : loaded) {
        for (const SettingField& f : settingFields) {
            if (name != f.name)
                continue;
            if (f.member)
                expected.*f.member = int(v);
            else
                expected.*f.byteMember = std::uint8_t(v);
        }
    }
    QCOMPARE(s, expected);
}

void TestSettingsStore::valuesOfWrongSizeKeepDefaults()
{
    QVERIFY(testsupport::writeFile(file(), header + settingsSection + "\"nClef\"=\"1\"\n\"nMinutes\"=hex(b):05,00,00,00,00,00,00,00\n"
                          "\"nTimerDelay\"=hex(4):10,27\n\"bBeep\"=hex:00,00,00,00\n" + dwordLine("nPatch", 5)));
    TonveroSettings s;
    QString dir;
    QVERIFY(loadSettings(s, dir, isWhiteKey));
    TonveroSettings expected;
    expected.nPatch = 5;
    QCOMPARE(s, expected);
}

void TestSettingsStore::setupDir_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("installDir");

    QTest::newRow("folder") << QByteArray("\"setup_dir\"=\"/opt/tonvero\"\n") << "/opt/tonvero/";
    QTest::newRow("folder with slash") << QByteArray("\"setup_dir\"=\"/opt/tonvero/\"\n") << "/opt/tonvero/";
    QTest::newRow("windows folder with backslash") << QByteArray("\"setup_dir\"=\"/opt/tonvero\\\\\"\n")
                                                   << "/opt/tonvero/";
    QTest::newRow("non-ascii folder") << QByteArray("\"setup_dir\"=\"/home/анна/ноты\"\n") << "/home/анна/ноты/";
    QTest::newRow("missing") << QByteArray() << "previous/";
    QTest::newRow("empty") << QByteArray("\"setup_dir\"=\"\"\n") << "previous/";
    QTest::newRow("a number") << QByteArray("\"setup_dir\"=dword:00000001\n") << "previous/";
    QTest::newRow("expandable string") << QByteArray("\"setup_dir\"=hex(2):2f,78,00\n") << "/x/";
}

void TestSettingsStore::setupDir()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, installDir);
    QVERIFY(testsupport::writeFile(file(), header + appSection + line));
    TonveroSettings s;
    QString dir = "previous/";
    QVERIFY(loadSettings(s, dir, isWhiteKey));
    QCOMPARE(dir, installDir);
    QCOMPARE(s, TonveroSettings{});
    // Never written by the program.
    QVERIFY(saveSettings(s));
    if (!line.isEmpty())
        QVERIFY(testsupport::readFile(file()).contains(line));
}

void TestSettingsStore::saveWritesTableInOrderAndLoadsBack()
{
    TonveroSettings dummy;
    QString dir;
    QVERIFY(loadSettings(dummy, dir, isWhiteKey));

    const TonveroSettings saved{1,  2, 0, 1, 0, 1, 0, 1, 1, 0, 0, 1, 1, 0, 127, 60, 180000, 0, 3, 15, 39, 51,
                                "Клавиатура \"Студия\" C:\\MIDI 1", "Синтезатор"};
    QVERIFY(saveSettings(saved));

    QByteArray expected = header + appSection + "\n" + settingsSection;
    for (const SettingField& f : settingFields)
        expected += dwordLine(f.name, f.member ? saved.*f.member : saved.*f.byteMember);
    expected += "\"strInDevName\"=\"Клавиатура \\\"Студия\\\" C:\\\\MIDI 1\"\n"
                "\"strOutDevName\"=\"Синтезатор\"\n";
    QCOMPARE(testsupport::readFile(file()), expected + "\n");

    TonveroSettings back;
    QVERIFY(loadSettings(back, dir, isWhiteKey));
    QCOMPARE(back, saved);
}

void TestSettingsStore::saveRemovesHandAddedValues()
{
    QVERIFY(testsupport::writeFile(file(), header + appSection + "\"setup_dir\"=\"/opt/t/\"\n\n" + settingsSection
                          + "\"extra\"=dword:00000001\n\"note\"=\"hand made\"\n" + dwordLine("nClef", 1)
                          + "[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings\\Sub]\n"));
    TonveroSettings s;
    QString dir;
    QVERIFY(loadSettings(s, dir, isWhiteKey));
    QCOMPARE(s.nClef, 1);
    QVERIFY(saveSettings(s));

    const RegStore st = parsedFile(file());
    const platform::RegKey* k = st.find({"Software", "Tonvero", "Settings"});
    QVERIFY(k);
    QCOMPARE(k->values.size(), qsizetype(settingFields.size() + settingTextFields.size()));
    QVERIFY(!RegStore::value(*k, "extra"));
    QVERIFY(!RegStore::value(*k, "note"));
    QVERIFY(!st.find({"Software", "Tonvero", "Settings", "Sub"}));
    QVERIFY(RegStore::value(*st.find({"Software", "Tonvero"}), "setup_dir"));
}

void TestSettingsStore::deletedAppKeyWritesNothing()
{
    TonveroSettings s;
    QString dir;
    QVERIFY(loadSettings(s, dir, isWhiteKey));
    // Removed while the program runs (by hand or another instance).
    const QByteArray other = header + "[HKEY_CURRENT_USER\\Software\\Other]\n\"x\"=dword:00000001\n\n";
    QVERIFY(testsupport::writeFile(file(), other));

    s.nClef = 1;
    QVERIFY(!saveSettings(s));
    QCOMPARE(testsupport::readFile(file()), other);

    TonveroSettings next;
    QVERIFY(loadSettings(next, dir, isWhiteKey));
    QCOMPARE(next, TonveroSettings{});
    const RegStore st = parsedFile(file());
    QVERIFY(st.find({"Software", "Other"}));
    QVERIFY(st.find({"Software", "Tonvero"}));
    QVERIFY(st.find({"Software", "Tonvero", "Settings"}));
    QVERIFY(st.find({"Software", "Tonvero", "Settings"})->values.isEmpty());
}

// The same when start-up only made the keys in memory: the file another writer left counts.
void TestSettingsStore::deletedAppKeyWritesNothingAfterDeferredStart()
{
    TonveroSettings s;
    QString dir;
    QVERIFY(loadSettings(s, dir, isWhiteKey, NewKeys::Defer));
    const QByteArray other = header + "[HKEY_CURRENT_USER\\Software\\Other]\n\"x\"=dword:00000001\n\n";
    QVERIFY(testsupport::writeFile(file(), other));

    s.nClef = 1;
    QVERIFY(!saveSettings(s));
    QCOMPARE(testsupport::readFile(file()), other);
}

void TestSettingsStore::damagedFileIsReportedOnce()
{
    const QByteArray garbage = "this is not a settings file\n";
    QVERIFY(testsupport::writeFile(file(), garbage));
    TonveroSettings s;
    s.nClef = 0; // what the caller had stays: nothing was read
    QString dir;
    QVERIFY(loadSettings(s, dir, isWhiteKey));
    TonveroSettings expected;
    expected.nClef = 0;
    QCOMPARE(s, expected);
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes[0].caption, QStringLiteral("Tonvero"));
    QCOMPARE(m_boxes[0].icon, platform::MsgIcon::Exclamation);
    QCOMPARE(testsupport::readFile(file() + ".bad"), garbage);

    QVERIFY(saveSettings(s));
    QVERIFY(loadSettings(s, dir, isWhiteKey));
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(s, expected);
}

void TestSettingsStore::unsavableSettingsAreANoticeNotABox_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a folder in the file's place") << "folder" << "папка";
    QTest::newRow("its folder cannot be made") << "blocked" << "не удаётся создать";
}

void TestSettingsStore::unsavableSettingsAreANoticeNotABox()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    const QString folder = QFileInfo(file()).absolutePath();
    if (kind == "folder") {
        QVERIFY(QDir().mkpath(file() + "/inside"));
    } else {
        QDir(folder).removeRecursively();
        QVERIFY(testsupport::writeFile(folder, "a file where the folder goes"));
    }
    Preferences prefs;
    QSignalSpy notices(&prefs, &Preferences::notice);
    prefs.load();
    prefs.nClef = 1;
    QVERIFY(!prefs.save()); // a change in the options
    prefs.nClef = 2;
    QVERIFY(!prefs.save()); // at exit
    // Told once, with the reason, on the notice line: no box that would hold up the exit.
    QCOMPARE(notices.count(), 1);
    const QString text = notices.at(0).at(0).toString();
    QVERIFY2(text.contains(reason) && text.contains("не сохраняются"), qPrintable(text));
    QVERIFY(m_boxes.isEmpty());
}

void TestSettingsStore::loadsFileExportedByRegedit()
{
    // Byte-order mark, then the header line spelled out in UTF-16LE.
    QByteArray bytes("\xFF\xFE"
                     "W\0i\0n\0d\0o\0w\0s\0 \0R\0e\0g\0i\0s\0t\0r\0y\0 \0"
                     "E\0d\0i\0t\0o\0r\0 \0V\0e\0r\0s\0i\0o\0n\0 \0"
                     "5\0.\0" "0\0" "0\0\r\0\n\0",
                     2 + 2 * 38);
    bytes += regeditLine("");
    bytes += regeditLine("[HKEY_CURRENT_USER\\Software\\Tonvero]");
    bytes += regeditLine("\"setup_dir\"=\"/opt/Тонверо\"");
    bytes += regeditLine("");
    bytes += regeditLine("[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]");
    bytes += regeditLine("\"nClef\"=dword:00000001");
    bytes += regeditLine("\"nPatch\"=dword:00000013");
    bytes += regeditLine("\"bGuitar6\"=dword:00000001");
    bytes += regeditLine("\"nTimerDelay\"=dword:00000bb8");
    bytes += regeditLine("\"nN12_min0\"=dword:00000003");
    bytes += regeditLine("\"nN12_max0\"=dword:0000000f");
    bytes += regeditLine("\"Window\"=hex:2c,00,00,00,00,00,00,00,01,00,00,00,ff,ff,ff,ff,ff,ff,ff,ff,\\");
    bytes += regeditLine("  ff,ff,ff,ff");
    bytes += regeditLine("\"Recent\"=hex(7):61,00,00,00,00,00");
    bytes += regeditLine("");
    QVERIFY(testsupport::writeFile(file(), bytes));

    TonveroSettings s;
    QString dir;
    QVERIFY(loadSettings(s, dir, isWhiteKey));
    TonveroSettings expected;
    expected.nClef = 1;
    expected.nPatch = 19;
    expected.bGuitar6 = 1;
    expected.nTimerDelay = 3000;
    expected.nN12_min0 = 3;
    expected.nN12_max0 = 15;
    QCOMPARE(s, expected);
    QCOMPARE(dir, QStringLiteral("/opt/Тонверо/"));
    QVERIFY(m_boxes.isEmpty());
    QVERIFY(!QFile::exists(file() + ".bad"));

    // Saved back as UTF-8, and still the same settings.
    QVERIFY(saveSettings(s));
    const QByteArray saved = testsupport::readFile(file());
    QVERIFY(saved.startsWith(header + appSection + "\"setup_dir\"=\"/opt/Тонверо\"\n"));
    TonveroSettings back;
    QVERIFY(loadSettings(back, dir, isWhiteKey));
    QCOMPARE(back, expected);
}

void TestSettingsStore::saveAfterFileDamagedWhileRunning()
{
    QVERIFY(testsupport::writeFile(file(), header + appSection + "\"setup_dir\"=\"/opt/t/\"\n\n" + settingsSection + dwordLine("nClef", 2)));
    TonveroSettings s;
    QString dir;
    QVERIFY(loadSettings(s, dir, isWhiteKey));
    QCOMPARE(s.nClef, 2);

    const QByteArray garbage = header + settingsSection + "\"nClef\"=dword:0000000z\n";
    QVERIFY(testsupport::writeFile(file(), garbage)); // an edit by hand gone wrong while the program runs

    s.nClef = 1;
    s.nMinutes = 7;
    QVERIFY(saveSettings(s));
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY2(m_boxes[0].text.contains(QStringLiteral("строка 4")), qPrintable(m_boxes[0].text));
    QCOMPARE(testsupport::readFile(file() + ".bad"), garbage);
    const RegStore st = parsedFile(file());
    QVERIFY(st.find({"Software", "Tonvero", "Settings"}));
    QCOMPARE(st.find({"Software", "Tonvero", "Settings"})->values.size(),
             qsizetype(settingFields.size() + settingTextFields.size()));
    QVERIFY(RegStore::value(*st.find({"Software", "Tonvero"}), "setup_dir"));

    // Later saves go on as usual, without another notice.
    s.nMinutes = 8;
    QVERIFY(saveSettings(s));
    TonveroSettings back;
    QVERIFY(loadSettings(back, dir, isWhiteKey));
    QCOMPARE(back, s);
    QCOMPARE(dir, QStringLiteral("/opt/t/"));
    QCOMPARE(m_boxes.size(), 1);
}

void TestSettingsStore::damagedFileNoticeIsRussian_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason");

    QByteArray export16("\xFF\xFE", 2);
    for (const char* line : {"Windows Registry Editor Version 5.00", "", "[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]",
                             "\"nClef\"=dword:00000001", "", "; the next line is broken", "\"nPatch\"=dword:"})
        export16 += regeditLine(QString::fromUtf8(line));
    QTest::newRow("export broken on line 7") << export16 << QStringLiteral("(строка 7: неверная запись параметра)");
    QTest::newRow("no text") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16)
                             << QStringLiteral("(это не текстовый файл)");
}

void TestSettingsStore::damagedFileNoticeIsRussian()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    QVERIFY(testsupport::writeFile(file(), bytes));
    TonveroSettings s;
    QString dir;
    QVERIFY(loadSettings(s, dir, isWhiteKey));
    QCOMPARE(s, TonveroSettings{});
    QCOMPARE(m_boxes.size(), 1);
    QString text = m_boxes[0].text;
    QVERIFY2(text.contains(reason), qPrintable(text));
    QVERIFY2(text.contains(QDir::toNativeSeparators(file() + ".bad")), qPrintable(text));
    // Apart from the two file names, not a word in another language.
    text.remove(QDir::toNativeSeparators(file() + ".bad")).remove(QDir::toNativeSeparators(file()));
    QVERIFY2(!text.contains(QRegularExpression("[A-Za-z]")), qPrintable(text));
}

void TestSettingsStore::portNamesRoundTrip_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("none chosen") << QString();
    QTest::newRow("ALSA client and port") << QStringLiteral("USB Keyboard:USB Keyboard MIDI 1 20:0");
    QTest::newRow("non-ASCII") << QStringLiteral("Цифровое пианино:MIDI 1 — «Ямаха» ♯");
    QTest::newRow("quotes and backslashes") << QStringLiteral("a \"quoted\" \\name\\ \\\"");
    QTest::newRow("brackets and equals, like .reg syntax") << QStringLiteral("[HKEY_CURRENT_USER\\x]\"=dword:1");
    QTest::newRow("tab inside") << QStringLiteral("Port\twith tab");
    QTest::newRow("longest kept") << QString(maxPortNameLength, u'ж');
}

// Names reach the file and come back intact, the numbers beside them unchanged.
void TestSettingsStore::portNamesRoundTrip()
{
    QFETCH(QString, name);
    TonveroSettings dummy;
    QString dir;
    QVERIFY(loadSettings(dummy, dir, isWhiteKey));
    TonveroSettings saved;
    saved.nInDevId = 3;
    saved.nOutDevId = 1;
    saved.strInDevName = name;
    // Another name of the same length for the output, so the two cannot be swapped unseen.
    saved.strOutDevName = name;
    std::reverse(saved.strOutDevName.begin(), saved.strOutDevName.end());
    QVERIFY(saveSettings(saved));

    TonveroSettings back;
    QVERIFY(loadSettings(back, dir, isWhiteKey));
    QCOMPARE(back.strInDevName, name);
    QCOMPARE(back.strOutDevName, saved.strOutDevName);
    QCOMPARE(back, saved);
    const RegStore st = parsedFile(file());
    const platform::RegValue* v = RegStore::value(*st.find({"Software", "Tonvero", "Settings"}), "strInDevName");
    QVERIFY(v);
    QCOMPARE(v->type, platform::REG_SZ);
    QVERIFY(m_boxes.isEmpty());
}

void TestSettingsStore::portNamesAsStored_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("loaded");
    QTest::newRow("missing: none chosen") << QByteArray() << QString();
    QTest::newRow("a number: none chosen") << QByteArray("\"strInDevName\"=dword:00000001\n") << QString();
    QTest::newRow("binary: none chosen") << QByteArray("\"strInDevName\"=hex:41,42\n") << QString();
    QTest::newRow("expandable text") << QByteArray("\"strInDevName\"=hex(2):4b,00\n") << QStringLiteral("K");
    QTest::newRow("too long: cut") << "\"strInDevName\"=\"" + QByteArray(maxPortNameLength + 40, 'k') + "\"\n"
                                   << QString(maxPortNameLength, u'k');
}

// Names put in the file by hand or by an older version.
void TestSettingsStore::portNamesAsStored()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, loaded);
    QVERIFY(testsupport::writeFile(file(), header + settingsSection + dwordLine("nInDevId", 2) + line));
    TonveroSettings s;
    QString dir;
    QVERIFY(loadSettings(s, dir, isWhiteKey));
    QCOMPARE(s.strInDevName, loaded);
    QCOMPARE(s.nInDevId, 2);
    QVERIFY(s.strOutDevName.isEmpty());
    QVERIFY(m_boxes.isEmpty());
}

QTEST_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
