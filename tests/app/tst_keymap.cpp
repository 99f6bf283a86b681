// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/keymap.h"

#include <QTest>

class TestKeyMap : public QObject {
    Q_OBJECT
private slots:
    void mappedKeys_data();
    void mappedKeys();
    void unmappedKeys_data();
    void unmappedKeys();
    void scanCodeWinsOverLayout();
    void controlKeys();
};

void TestKeyMap::mappedKeys_data()
{
    QTest::addColumn<quint32>("scanCode");
    QTest::addColumn<int>("latin");
    QTest::addColumn<int>("cyrillic");
    QTest::addColumn<int>("pitchClass");
    QTest::newRow("Z C") << 52u << int(Qt::Key_Z) << int(U'Я') << 0;
    QTest::newRow("S C#") << 39u << int(Qt::Key_S) << int(U'Ы') << 1;
    QTest::newRow("X D") << 53u << int(Qt::Key_X) << int(U'Ч') << 2;
    QTest::newRow("D D#") << 40u << int(Qt::Key_D) << int(U'В') << 3;
    QTest::newRow("C E") << 54u << int(Qt::Key_C) << int(U'С') << 4;
    QTest::newRow("V F") << 55u << int(Qt::Key_V) << int(U'М') << 5;
    QTest::newRow("G F#") << 42u << int(Qt::Key_G) << int(U'П') << 6;
    QTest::newRow("B G") << 56u << int(Qt::Key_B) << int(U'И') << 7;
    QTest::newRow("H G#") << 43u << int(Qt::Key_H) << int(U'Р') << 8;
    QTest::newRow("N A") << 57u << int(Qt::Key_N) << int(U'Т') << 9;
    QTest::newRow("J A#") << 44u << int(Qt::Key_J) << int(U'О') << 10;
    QTest::newRow("M B") << 58u << int(Qt::Key_M) << int(U'Ь') << 11;
    QTest::newRow("comma C") << 59u << int(Qt::Key_Comma) << int(U'Б') << 0;
}

void TestKeyMap::mappedKeys()
{
    QFETCH(quint32, scanCode);
    QFETCH(int, latin);
    QFETCH(int, cyrillic);
    QFETCH(int, pitchClass);
    QCOMPARE(keymap::pitchClassForKey(scanCode, latin), pitchClass);
    QCOMPARE(keymap::pitchClassForKey(scanCode, cyrillic), pitchClass);
    QCOMPARE(keymap::pitchClassForKey(scanCode, 0), pitchClass);
    QCOMPARE(keymap::pitchClassForKey(0, latin), pitchClass);
    QCOMPARE(keymap::pitchClassForKey(0, cyrillic), pitchClass);
    QCOMPARE(keymap::pitchClassForKey(0, int(QChar::toLower(char32_t(cyrillic)))), pitchClass);
}

void TestKeyMap::unmappedKeys_data()
{
    QTest::addColumn<quint32>("scanCode");
    QTest::addColumn<int>("key");
    QTest::newRow("digit 1") << 10u << int(Qt::Key_1);
    QTest::newRow("arrow left") << 113u << int(Qt::Key_Left);
    QTest::newRow("tab") << 23u << int(Qt::Key_Tab);
    QTest::newRow("A, left of the black row") << 38u << int(Qt::Key_A);
    QTest::newRow("K, past the black row") << 45u << int(Qt::Key_K);
    QTest::newRow("period") << 60u << int(Qt::Key_Period);
    QTest::newRow("digit, no scan code") << 0u << int(Qt::Key_1);
    QTest::newRow("arrow, no scan code") << 0u << int(Qt::Key_Left);
    QTest::newRow("tab, no scan code") << 0u << int(Qt::Key_Tab);
    QTest::newRow("Cyrillic Ф, no scan code") << 0u << int(U'Ф');
    QTest::newRow("nothing") << 0u << 0;
}

void TestKeyMap::unmappedKeys()
{
    QFETCH(quint32, scanCode);
    QFETCH(int, key);
    QCOMPARE(keymap::pitchClassForKey(scanCode, key), -1);
}

void TestKeyMap::scanCodeWinsOverLayout()
{
    // A layout that puts M where V is (Cyrillic М) still plays F, and Latin M
    // typed on a key outside the map plays nothing.
    QCOMPARE(keymap::pitchClassForKey(55, Qt::Key_M), 5);
    QCOMPARE(keymap::pitchClassForKey(38, Qt::Key_M), -1);
}

void TestKeyMap::controlKeys()
{
    QVERIFY(keymap::isPauseKey(Qt::Key_Pause));
    QVERIFY(!keymap::isPauseKey(Qt::Key_Space));
    QVERIFY(keymap::isEnterKey(Qt::Key_Return));
    QVERIFY(keymap::isEnterKey(Qt::Key_Enter));
    QVERIFY(!keymap::isEnterKey(Qt::Key_Escape));
    QVERIFY(keymap::isEscapeKey(Qt::Key_Escape));
    QVERIFY(!keymap::isEscapeKey(Qt::Key_Pause));
    QCOMPARE(keymap::pitchClassForKey(0, Qt::Key_Pause), -1);
}

QTEST_GUILESS_MAIN(TestKeyMap)
#include "tst_keymap.moc"
