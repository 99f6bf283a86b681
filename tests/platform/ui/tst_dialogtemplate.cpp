// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ui/dialogtemplate.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/shell.h"
#include "platform/ui/window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace platform;

class TestDialogTemplate : public QObject {
    Q_OBJECT
private slots:
    void dialogUnits_data();
    void dialogUnits();
    void itemsAreCreatedAtTheirPlaces();
    void customItemNeedsRegisteredClass();
    void exchangeBothDirections();
    void integerFieldRejectsText_data();
    void integerFieldRejectsText();
    void messageBoxHookRecords();
    void shellHookRecords();
    void timersById();
};

void TestDialogTemplate::dialogUnits_data()
{
    QTest::addColumn<int>("baseX");
    QTest::addColumn<int>("baseY");
    QTest::addColumn<QRect>("du");
    QTest::addColumn<QRect>("px");
    // The classic 8-point dialog font: 6 × 13 base units.
    QTest::newRow("stave item") << 6 << 13 << QRect(237, -7, 57, 128) << QRect(356, -11, 85, 208);
    QTest::newRow("start button") << 6 << 13 << QRect(240, 399, 50, 14) << QRect(360, 648, 75, 23);
    QTest::newRow("larger font") << 8 << 16 << QRect(7, 162, 19, 17) << QRect(14, 324, 38, 34);
}

void TestDialogTemplate::dialogUnits()
{
    QFETCH(int, baseX);
    QFETCH(int, baseY);
    QFETCH(QRect, du);
    QFETCH(QRect, px);
    DialogUnits u;
    u.baseX = baseX;
    u.baseY = baseY;
    QCOMPARE(u.rect(du), px);
}

static DialogTemplate smallTemplate()
{
    return DialogTemplate{
        7, "Проба", QSize(200, 100), "MS Shell Dlg", 8,
        {
            {1, ItemKind::DefPushButton, "OK", QRect(140, 80, 50, 14)},
            {10, ItemKind::CheckBox, "Флажок", QRect(7, 7, 80, 10)},
            {11, ItemKind::Edit, "", QRect(7, 20, 40, 12), RightAlign},
            {12, ItemKind::Edit, "", QRect(7, 34, 40, 12), ReadOnly},
            {13, ItemKind::DropDownList, "", QRect(7, 50, 100, 60)},
            {14, ItemKind::PushButton, "Скрыта", QRect(100, 7, 50, 14), Hidden | Disabled},
            {15, ItemKind::Static, "Текст", QRect(100, 30, 50, 8)},
        }};
}

void TestDialogTemplate::itemsAreCreatedAtTheirPlaces()
{
    TemplateDialog dlg;
    QVERIFY(dlg.createFromTemplate(smallTemplate()));
    const DialogUnits& u = dlg.units();
    QVERIFY(u.baseX > 0 && u.baseY > 0);
    QCOMPARE(dlg.windowTitle(), QString("Проба"));
    auto* ok = dlg.itemAs<QPushButton>(1);
    QVERIFY(ok && ok->isDefault());
    QCOMPARE(ok->geometry(), u.rect(QRect(140, 80, 50, 14)));
    QVERIFY(dlg.itemAs<QCheckBox>(10));
    QCOMPARE(dlg.itemAs<QLineEdit>(11)->alignment() & Qt::AlignRight, Qt::AlignRight);
    QVERIFY(dlg.itemAs<QLineEdit>(12)->isReadOnly());
    QVERIFY(dlg.itemAs<QComboBox>(13));
    QVERIFY(dlg.item(14)->isHidden());
    QVERIFY(!dlg.item(14)->isEnabled());
    QCOMPARE(dlg.itemAs<QLabel>(15)->text(), QString("Текст"));
    QVERIFY(!dlg.item(999));
    QVERIFY(!dlg.itemAs<QLabel>(10)); // wrong kind
}

void TestDialogTemplate::customItemNeedsRegisteredClass()
{
    DialogTemplate tmpl{8, "x", QSize(100, 100), "MS Shell Dlg", 8,
                        {{20, ItemKind::Custom, "", QRect(5, 5, 20, 20), StyleNone, "UnitTestCtrl"}}};
    {
        TemplateDialog dlg;
        auto* w = new QWidget;
        QVERIFY(!dlg.createFromTemplate(tmpl, {{20, w}}));
        delete w;
    }
    QVERIFY(RegisterWindowClass("UnitTestCtrl"));
    QVERIFY(RegisterWindowClass("UnitTestCtrl")); // twice is fine
    TemplateDialog dlg;
    auto* w = new QWidget;
    QVERIFY(dlg.createFromTemplate(tmpl, {{20, w}}));
    QCOMPARE(dlg.item(20), w);
    QCOMPARE(w->parentWidget(), dlg.client());
}

void TestDialogTemplate::exchangeBothDirections()
{
    TemplateDialog dlg;
    QVERIFY(dlg.createFromTemplate(smallTemplate()));
    int flag = 1;
    int number = 42;
    QString text = "00:00";
    int index = 1;
    dlg.itemAs<QComboBox>(13)->addItems({"a", "b", "c"});
    DataExchange dx(&dlg);
    dx.check(dlg.itemAs<QCheckBox>(10), &flag);
    dx.integer(dlg.itemAs<QLineEdit>(11), &number);
    dx.text(dlg.item(12), &text);
    dx.comboIndex(dlg.itemAs<QComboBox>(13), &index);

    QVERIFY(dx.run(false));
    QVERIFY(dlg.itemAs<QCheckBox>(10)->isChecked());
    QCOMPARE(dlg.itemAs<QLineEdit>(11)->text(), QString("42"));
    QCOMPARE(dlg.itemAs<QLineEdit>(12)->text(), QString("00:00"));
    QCOMPARE(dlg.itemAs<QComboBox>(13)->currentIndex(), 1);

    dlg.itemAs<QCheckBox>(10)->setChecked(false);
    dlg.itemAs<QLineEdit>(11)->setText(" -7 ");
    dlg.itemAs<QComboBox>(13)->setCurrentIndex(2);
    QVERIFY(dx.run(true));
    QCOMPARE(flag, 0);
    QCOMPARE(number, -7);
    QCOMPARE(index, 2);
}

void TestDialogTemplate::integerFieldRejectsText_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("letters") << "abc";
    QTest::newRow("empty") << "";
    QTest::newRow("fraction") << "1.5";
    QTest::newRow("too large") << "99999999999";
}

void TestDialogTemplate::integerFieldRejectsText()
{
    QFETCH(QString, typed);
    QList<MessageBoxCall> calls;
    setMessageBoxHook([&](const MessageBoxCall& c) { calls.append(c); });
    TemplateDialog dlg;
    QVERIFY(dlg.createFromTemplate(smallTemplate()));
    int number = 5;
    int flag = 0;
    DataExchange dx(&dlg);
    dx.integer(dlg.itemAs<QLineEdit>(11), &number);
    dx.check(dlg.itemAs<QCheckBox>(10), &flag);
    dlg.itemAs<QLineEdit>(11)->setText(typed);
    dlg.itemAs<QCheckBox>(10)->setChecked(true);
    QVERIFY(!dx.run(true));
    setMessageBoxHook({});
    QCOMPARE(number, 5);
    QCOMPARE(flag, 0); // the exchange stops at the bad field
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].text, QString("Please enter an integer."));
}

void TestDialogTemplate::messageBoxHookRecords()
{
    QList<MessageBoxCall> calls;
    setMessageBoxHook([&](const MessageBoxCall& c) { calls.append(c); });
    MessageBox(nullptr, "текст", "Ошибка", MsgIcon::Error);
    setMessageBoxHook({});
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls[0].caption, QString("Ошибка"));
    QCOMPARE(calls[0].icon, MsgIcon::Error);
}

void TestDialogTemplate::shellHookRecords()
{
    QStringList opened;
    setShellOpenHook([&](const QString& s) { opened << s; return true; });
    QVERIFY(ShellOpen("/tmp/ReadMe.txt"));
    setShellOpenHook({});
    QCOMPARE(opened, QStringList{"/tmp/ReadMe.txt"});
}

void TestDialogTemplate::timersById()
{
    TimerSet timers;
    QList<int> fired;
    timers.onTimer = [&](int id) { fired << id; };
    timers.SetTimer(1, 10);
    timers.SetTimer(2, 100000);
    QVERIFY(timers.IsActive(1));
    QCOMPARE(timers.Period(2), 100000);
    QTRY_VERIFY(fired.contains(1));
    timers.KillTimer(1);
    QVERIFY(!timers.IsActive(1));
    QVERIFY(timers.IsActive(2));
    timers.Fire(2);
    QCOMPARE(fired.last(), 2);
    QCOMPARE(timers.Period(7), -1);
}

QTEST_MAIN(TestDialogTemplate)
#include "tst_dialogtemplate.moc"
