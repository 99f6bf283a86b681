// SPDX-License-Identifier: GPL-3.0-or-later
// The .reg text: what is read, in which encodings, what is refused and with
// which line named, and that what is written reads back the same.
#include "platform/registry/regformat.h"

#include <QRegularExpression>
#include <QTest>

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

const QByteArray header = "Windows Registry Editor Version 5.00\n\n";

enum class Order { LittleEndian, BigEndian };

// The UTF-16 bytes of a text, code unit by code unit, with an optional byte-order mark.
QByteArray utf16(const QString& text, Order order, bool mark = true)
{
    QByteArray out;
    if (mark)
        out += order == Order::LittleEndian ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
    for (QChar c : text) {
        const char lo = char(c.unicode() & 0xff);
        const char hi = char(c.unicode() >> 8);
        if (order == Order::LittleEndian)
            out.append(lo).append(hi);
        else
            out.append(hi).append(lo);
    }
    return out;
}

// One small settings file, its lines ended by the given ends in turn.
QString sampleText(const QStringList& lineEnds)
{
    const QStringList lines{"Windows Registry Editor Version 5.00",
                            "",
                            "[HKEY_CURRENT_USER\\Software\\Tonvero]",
                            "\"setup_dir\"=\"/opt/Тонверо\"",
                            "",
                            "[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]",
                            "\"nClef\"=dword:00000001",
                            ""};
    QString out;
    for (qsizetype i = 0; i < lines.size(); ++i)
        out += lines[i] + lineEnds[i % lineEnds.size()];
    return out;
}

} // namespace

class TestRegFormat : public QObject {
    Q_OBJECT
private slots:
    void roundTrip();
    void acceptsHandEdits_data();
    void acceptsHandEdits();
    void refusesGarbage_data();
    void refusesGarbage();
    void readsEncodings_data();
    void readsEncodings();
    void keepsWhatAnExportHolds();
    void namesTheFaultyLine_data();
    void namesTheFaultyLine();
};

void TestRegFormat::roundTrip()
{
    RegStore s;
    RegKey& app = s.create({"Software", "Tonvero"});
    RegStore::setValue(app, {"setup_dir", REG_SZ, sz("C:\\Program Files\\\"Tonvero\"\\")});
    RegStore::setValue(app, {"unicode", REG_SZ, sz("Скрипичный ключ ♪")});
    RegStore::setValue(app, {"empty", REG_SZ, sz("")});
    RegStore::setValue(app, {"", REG_SZ, sz("default value")});
    RegStore::setValue(app, {"two lines", REG_SZ, sz("a\nb")});
    RegStore::setValue(app, {"no terminator", REG_SZ, QByteArray("abc")});
    RegStore::setValue(app, {"not utf8", REG_SZ, QByteArray("\xff\xfe\0", 3)});
    RegStore::setValue(app, {"quote\"and\\slash", REG_DWORD, dword(0xdeadbeef)});
    RegStore::setValue(app, {"odd dword", REG_DWORD, QByteArray("\1\2", 2)});
    RegStore::setValue(app, {"qword", REG_QWORD, QByteArray("\1\2\3\4\5\6\7\x08", 8)});
    RegStore::setValue(app, {"binary", REG_BINARY, QByteArray("\0\xff", 2)});
    RegStore::setValue(app, {"nothing", REG_NONE, QByteArray()});
    s.create({"Software", "Tonvero", "Settings"});
    s.create({"Software", "Empty]Key", "[x]"});

    const QByteArray text = RegistryFile::serialize(s);
    RegStore back;
    QString error;
    QVERIFY2(RegistryFile::parse(text, back, &error), qPrintable(error + "\n" + QString::fromUtf8(text)));
    QVERIFY(back == s);
    QCOMPARE(RegistryFile::serialize(back), text);
    QVERIFY(text.contains("\"setup_dir\"=\"C:\\\\Program Files\\\\\\\"Tonvero\\\"\\\\\"\n"));
}

void TestRegFormat::acceptsHandEdits_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("clef"); // the stored bytes of Settings\nClef

    const QByteArray key = "[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]\n";
    QTest::newRow("as written") << header + key + "\"nClef\"=dword:00000001\n" << dword(1);
    QTest::newRow("comments and blank lines")
        << "; saved by hand\n\nWindows Registry Editor Version 5.00\n; clef\n\n" + key + "\n  ; two\n\"nClef\"=dword:2\n"
        << dword(2);
    QTest::newRow("CRLF and BOM") << QByteArray("\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
                                     "[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]\r\n\"nClef\"=dword:00000003\r\n")
                                  << dword(3);
    QTest::newRow("upper case") << header + "[hkey_current_user\\SOFTWARE\\Tonvero\\Settings]\n\"nClef\"=DWORD:0000000A\n"
                                << dword(10);
    QTest::newRow("spaces around =") << header + key + "  \"nClef\" = dword:ffffffff  \n" << dword(0xffffffff);
    QTest::newRow("hex over two lines") << header + key + "\"nClef\"=hex(4):01,00,\\\n  00,00\n"
                                        << dword(1);
    QTest::newRow("section twice, last value wins")
        << header + key + "\"nClef\"=dword:1\n[HKEY_CURRENT_USER\\Software]\n" + key + "\"nclef\"=dword:2\n" << dword(2);
    QTest::newRow("empty file") << QByteArray() << QByteArray();
    QTest::newRow("comment in another code page")
        << header + "; \xcd\xe0\xf1\xf2\xf0\xee\xe9\xea\xe8\n" + key + "\"nClef\"=dword:4\n" << dword(4);
    QTest::newRow("the registry editor's older format")
        << "REGEDIT4\r\n\r\n" + key + "\"nClef\"=dword:00000002\r\n" << dword(2);
    QTest::newRow("value of an unknown form skipped") << header + key + "\"x\"=qword:0000000000000001\n\"nClef\"=dword:5\n"
                                                      << dword(5);
}

void TestRegFormat::acceptsHandEdits()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, clef);
    RegStore s;
    QString error;
    QVERIFY2(RegistryFile::parse(text, s, &error), qPrintable(error));
    const RegKey* k = s.find({"Software", "Tonvero", "Settings"});
    if (clef.isEmpty()) {
        QVERIFY(!k);
        return;
    }
    QVERIFY(k);
    QCOMPARE(k->values.size(), 1);
    QCOMPARE(k->values[0].data, clef);
}

void TestRegFormat::refusesGarbage_data()
{
    QTest::addColumn<QByteArray>("text");
    const QByteArray key = "[HKEY_CURRENT_USER\\Software\\Tonvero]\n";
    QTest::newRow("no header") << key + "\"a\"=dword:1\n";
    QTest::newRow("other header") << "REGEDIT5\n" + key;
    QTest::newRow("binary junk") << QByteArray("\x7f" "ELF\x02\x01\x01\0\0\0", 10);
    QTest::newRow("value before a key") << header + "\"a\"=dword:1\n";
    QTest::newRow("other hive") << header + "[HKEY_LOCAL_MACHINE\\Software]\n";
    QTest::newRow("deletion entry") << header + "[-HKEY_CURRENT_USER\\Software\\Tonvero]\n";
    QTest::newRow("empty path part") << header + "[HKEY_CURRENT_USER\\Software\\\\Tonvero]\n";
    QTest::newRow("trailing backslash in key") << header + "[HKEY_CURRENT_USER\\Software\\]\n";
    QTest::newRow("unclosed key") << header + "[HKEY_CURRENT_USER\\Software\n";
    QTest::newRow("unterminated string") << header + key + "\"a\"=\"abc\n";
    QTest::newRow("unknown escape") << header + key + "\"a\"=\"a\\nb\"\n";
    QTest::newRow("text after string") << header + key + "\"a\"=\"abc\" x\n";
    QTest::newRow("nine digit dword") << header + key + "\"a\"=dword:123456789\n";
    QTest::newRow("empty dword") << header + key + "\"a\"=dword:\n";
    QTest::newRow("decimal looking dword") << header + key + "\"a\"=dword:12g4\n";
    QTest::newRow("negative dword") << header + key + "\"a\"=dword:-1\n";
    QTest::newRow("hex trailing comma") << header + key + "\"a\"=hex:01,\n";
    QTest::newRow("hex three digits") << header + key + "\"a\"=hex:123\n";
    QTest::newRow("hex unclosed type") << header + key + "\"a\"=hex(4:01\n";
    QTest::newRow("value deletion") << header + key + "\"a\"=-\n";
    QTest::newRow("no equals") << header + key + "\"a\" dword:1\n";
    QTest::newRow("stray line") << header + key + "nClef=3\n";
    QTest::newRow("not utf8") << header + key + "\"a\"=\"\xff\xfe\"\n";
    QTest::newRow("zero character") << header + key + QByteArray("\"a\"=\"x\0y\"\n", 11);
    QTest::newRow("control char in name") << header + key + "\"a\tb\"=dword:1\n";
}

void TestRegFormat::refusesGarbage()
{
    QFETCH(QByteArray, text);
    RegStore s;
    s.create({"Software", "Kept"});
    const RegStore before = s;
    QString error;
    QVERIFY(!RegistryFile::parse(text, s, &error));
    QVERIFY(!error.isEmpty());
    QVERIFY(s == before);
}


void TestRegFormat::readsEncodings_data()
{
    QTest::addColumn<QByteArray>("bytes");

    const QString lf = sampleText({"\n"});
    const QString crlf = sampleText({"\r\n"});
    const QString mixed = sampleText({"\r\n", "\n"});
    QTest::newRow("UTF-8") << lf.toUtf8();
    QTest::newRow("UTF-8, CRLF") << crlf.toUtf8();
    QTest::newRow("UTF-8 with mark, CRLF") << "\xEF\xBB\xBF" + crlf.toUtf8();
    QTest::newRow("UTF-8, mixed line ends") << mixed.toUtf8();
    QTest::newRow("UTF-16LE with mark, CRLF") << utf16(crlf, Order::LittleEndian);
    QTest::newRow("UTF-16BE with mark, CRLF") << utf16(crlf, Order::BigEndian);
    QTest::newRow("UTF-16LE with mark, LF") << utf16(lf, Order::LittleEndian);
    QTest::newRow("UTF-16LE, mixed line ends") << utf16(mixed, Order::LittleEndian);
    QTest::newRow("UTF-16LE without mark") << utf16(crlf, Order::LittleEndian, false);
    QTest::newRow("UTF-16BE without mark") << utf16(crlf, Order::BigEndian, false);
    QTest::newRow("UTF-16LE short of its last byte") << utf16(crlf, Order::LittleEndian).chopped(1);
    QTest::newRow("UTF-16BE short of its last byte") << utf16(crlf, Order::BigEndian).chopped(1);
}

void TestRegFormat::readsEncodings()
{
    QFETCH(QByteArray, bytes);
    RegStore s;
    RegParseError error;
    QVERIFY2(RegistryFile::parse(bytes, s, error), qPrintable(error.message()));
    const RegKey* app = s.find({"Software", "Tonvero"});
    const RegKey* settings = s.find({"Software", "Tonvero", "Settings"});
    QVERIFY(app && settings);
    QCOMPARE(app->values, (QList<RegValue>{{"setup_dir", REG_SZ, sz("/opt/Тонверо")}}));
    QCOMPARE(settings->values, (QList<RegValue>{{"nClef", REG_DWORD, dword(1)}}));
    // Whatever came in, what goes out is UTF-8 with LF.
    const QByteArray written = RegistryFile::serialize(s);
    QVERIFY(written.startsWith(header));
    QVERIFY(!written.contains('\r'));
    QVERIFY(written.contains("\"setup_dir\"=\"/opt/Тонверо\"\n"));
}

void TestRegFormat::keepsWhatAnExportHolds()
{
    // As the registry editor exports a key: values of every type, long ones
    // continued over lines, the default value, strings in hex as UTF-16.
    const QString text = "Windows Registry Editor Version 5.00\r\n"
                         "\r\n"
                         "; exported for the new computer\r\n"
                         "[HKEY_CURRENT_USER\\Software\\Tonvero]\r\n"
                         "@=\"Tonvero\"\r\n"
                         "\"setup_dir\"=hex(2):2f,00,6f,00,70,00,74,00,2f,00,22,04,00,00\r\n"
                         "\"Paths\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
                         "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
                         "  16,17,18\r\n"
                         "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
                         "\"Nothing\"=hex(0):\r\n"
                         "\"Odd string\"=hex(1):41,00,42\r\n"
                         "\"Elsewhere\"=qword:0000000000000001\r\n"
                         "\r\n"
                         "[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]\r\n"
                         "\"nClef\"=dword:00000002\r\n"
                         "\r\n";
    RegStore s;
    RegParseError error;
    QVERIFY2(RegistryFile::parse(utf16(text, Order::LittleEndian), s, error), qPrintable(error.message()));

    QByteArray blob;
    for (char b = 0; b <= 0x18; ++b)
        blob.append(b);
    const QList<RegValue> expected{
        {"", REG_SZ, sz("Tonvero")},
        {"setup_dir", REG_EXPAND_SZ, sz("/opt/Т")},
        {"Paths", REG_MULTI_SZ, QByteArray("a\0b\0\0", 5)},
        {"Blob", REG_BINARY, blob},
        {"Big", REG_QWORD, QByteArray("\1\0\0\0\0\0\0\0", 8)},
        {"Nothing", REG_NONE, QByteArray()},
        {"Odd string", REG_SZ, QByteArray("A\0B", 3)}, // no UTF-16: kept as it is
    };
    QCOMPARE(s.find({"Software", "Tonvero"})->values, expected);
    QCOMPARE(s.find({"Software", "Tonvero", "Settings"})->values,
             (QList<RegValue>{{"nClef", REG_DWORD, dword(2)}}));

    // Our own UTF-8 files keep string data in hex as the bytes they are.
    RegStore fromUtf8;
    QVERIFY(RegistryFile::parse(text.toUtf8(), fromUtf8));
    QCOMPARE(RegStore::value(*fromUtf8.find({"Software", "Tonvero"}), "setup_dir")->data,
             QByteArray("/\0o\0p\0t\0/\0\x22\x04\0\0", 14));

    RegStore back;
    QVERIFY(RegistryFile::parse(RegistryFile::serialize(s), back));
    QVERIFY(back == s);
}

void TestRegFormat::namesTheFaultyLine_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("line");

    const QByteArray key = "[HKEY_CURRENT_USER\\Software\\Tonvero]\n";
    const QString regedit = "Windows Registry Editor Version 5.00\r\n\r\n"
                            "[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]\r\n"
                            "\"nClef\"=dword:00000001\r\n";
    QTest::newRow("not UTF-8 on line 5")
        << header + key + "\"a\"=dword:1\n\"b\"=\"\xcd\xee\xf2\xfb\"\n" << int(RegParseError::BadBytes) << 5;
    QTest::newRow("UTF-8 of a surrogate") << header + key + "\"a\"=\"\xed\xa0\x80\"\n" << int(RegParseError::BadBytes) << 4;
    QTest::newRow("lone high surrogate")
        << utf16(regedit + "\"a\"=\"x" + QChar(0xD83D) + "\"\r\n", Order::LittleEndian) << int(RegParseError::BadCharacter)
        << 5;
    QTest::newRow("lone low surrogate")
        << utf16(regedit + "\r\n\"a\"=\"" + QChar(0xDE00) + "\"\r\n", Order::BigEndian) << int(RegParseError::BadCharacter)
        << 6;
    QTest::newRow("UTF-16 with an odd byte count") << utf16(regedit, Order::LittleEndian) + "x"
                                                   << int(RegParseError::CutCharacter) << 5;
    QTest::newRow("bad value in an export, CRLF")
        << utf16(regedit + "\"nPatch\"=dword:0000001g\r\n", Order::LittleEndian) << int(RegParseError::BadValue) << 5;
    QTest::newRow("bad value over two lines") << header + key + "\"a\"=hex:01,\\\n  0x\n"
                                              << int(RegParseError::BadValue) << 4;
    QTest::newRow("header after comments") << QByteArray("; mine\n\nWindows Registry Editor\n")
                                           << int(RegParseError::MissingHeader) << 3;
    QTest::newRow("unknown header") << "Windows Registry Editor Version 6.00\n\n" + key
                                    << int(RegParseError::MissingHeader) << 1;
    QTest::newRow("value outside a key") << header + "\"a\"=dword:1\n" << int(RegParseError::ValueOutsideKey) << 3;
    QTest::newRow("key of another hive") << header + "[HKEY_LOCAL_MACHINE\\Software]\n" << int(RegParseError::BadKey) << 3;
    QTest::newRow("stray line") << header + key + "\n\nnClef=3\n" << int(RegParseError::UnknownLine) << 6;
    QTest::newRow("zero character") << header + key + QByteArray("\"a\"=\"x\0y\"\n", 11)
                                    << int(RegParseError::ZeroCharacter) << 4;

    QTest::newRow("program") << QByteArray("\x7f" "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x3e\0", 20)
                             << int(RegParseError::NotText) << 0;
    QTest::newRow("picture") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << int(RegParseError::NotText) << 0;
    QByteArray everyByte;
    for (int b = 255; b >= 0; --b)
        everyByte.append(char(b));
    QTest::newRow("every byte value") << everyByte << int(RegParseError::NotText) << 0;
    QTest::newRow("UTF-16 that is no text") << QByteArray("\xFF\xFE\x01\x00\x02\xd8\x00\x00", 8)
                                            << int(RegParseError::NotText) << 0;
}

void TestRegFormat::namesTheFaultyLine()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, kind);
    QFETCH(int, line);
    RegStore s;
    RegParseError error;
    QVERIFY(!RegistryFile::parse(bytes, s, error));
    QCOMPARE(int(error.kind), kind);
    QCOMPARE(int(error.line), line);

    // Told to the user as it is: in Russian only, with the line where there is one.
    const QString message = error.message();
    QVERIFY(!message.isEmpty());
    QVERIFY2(!message.contains(QRegularExpression("[A-Za-z]")), qPrintable(message));
    if (line)
        QVERIFY2(message.startsWith(QStringLiteral("строка %1: ").arg(line)), qPrintable(message));
    else
        QVERIFY2(!message.contains(QRegularExpression("[0-9]")), qPrintable(message));
}

QTEST_GUILESS_MAIN(TestRegFormat)
#include "tst_regformat.moc"
