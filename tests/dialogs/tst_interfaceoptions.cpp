// SPDX-License-Identifier: GPL-3.0-or-later
// The interface section of the options: its texts, the shape-marks box that
// redraws the instruments at once and is stored at once, and its place in the
// options dialog, whose OK stores it again.
#include "settings/preferences.h"
#include "app/tonverodlg.h"
#include "controls/pianoctrl.h"
#include "dialogs/dialogoptions.h"
#include "dialogs/interfaceoptions.h"
#include "platform/ui/messagebox.h"
#include "platform/mmsystem/midi_loopback.h"
#include "support/testenv.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace lb = mmsys::loopback;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const QByteArray header = "Windows Registry Editor Version 5.00\n\n";
const QByteArray interfaceSection = "[HKEY_CURRENT_USER\\Software\\Tonvero\\Interface]\n";

} // namespace

class TestInterfaceOptions : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void texts();
    void showsTheStoredValue_data();
    void showsTheStoredValue();
    void toggling_data();
    void toggling();
    void inTheOptionsDialog();

private:
    std::unique_ptr<testsupport::TempConfigHome> m_home;
};

void TestInterfaceOptions::init()
{
    m_home = std::make_unique<testsupport::TempConfigHome>();
    platform::setMessageBoxHook([](const platform::MessageBoxCall&) {});
    CInstrumentCtrl::SetShapeMarks(false);
}

void TestInterfaceOptions::cleanup()
{
    CInstrumentCtrl::SetShapeMarks(false);
    platform::setMessageBoxHook({});
    m_home.reset();
}

void TestInterfaceOptions::texts()
{
    InterfaceOptions section;
    QCOMPARE(section.group()->title(), QStringLiteral("Вид"));
    QCOMPARE(section.shapeMarksBox()->text(), QStringLiteral("Метки, различимые без цвета (для дальтоников)"));
    QVERIFY(section.shapeMarksBox()->focusPolicy() & Qt::TabFocus);
    QVERIFY(!section.shapeMarksBox()->isChecked());
}

void TestInterfaceOptions::showsTheStoredValue_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("checked");
    QTest::newRow("stored on") << QByteArray("dword:00000001") << true;
    QTest::newRow("stored off") << QByteArray("dword:00000000") << false;
    QTest::newRow("stored as text") << QByteArray("\"1\"") << false;
}

// The box and the instruments agree from the start.
void TestInterfaceOptions::showsTheStoredValue()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, checked);
    QVERIFY(writeFile(m_home->registryFile(), header + interfaceSection + "\"bShapeMarks\"=" + value + "\n"));
    InterfaceOptions section;
    QCOMPARE(section.shapeMarksBox()->isChecked(), checked);
    QCOMPARE(CInstrumentCtrl::ShapeMarks, checked);
}

void TestInterfaceOptions::toggling_data()
{
    QTest::addColumn<bool>("byKeyboard");
    QTest::newRow("mouse") << false;
    QTest::newRow("space bar") << true;
}

void TestInterfaceOptions::toggling()
{
    QFETCH(bool, byKeyboard);
    PianoLayoutTable layout = CPianoCtrl::DefaultLayout();
    CPianoCtrl piano;
    QVERIFY(piano.initialize(layout.data()));
    piano.SetKeyboardMode(true);
    piano.SetNoteState(60, Green);
    const QImage colours = piano.picture().copy();

    InterfaceOptions section;
    section.show();
    QVERIFY(QTest::qWaitForWindowExposed(&section));
    QSignalSpy changed(&section, &InterfaceOptions::shapeMarksChanged);
    QCheckBox* box = section.shapeMarksBox();
    auto toggle = [&] {
        if (byKeyboard) {
            box->setFocus();
            QTest::keyClick(box, Qt::Key_Space);
        } else {
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
        }
    };

    toggle();
    QVERIFY(box->isChecked());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed.at(0).at(0).toBool(), true);
    QVERIFY(CInstrumentCtrl::ShapeMarks);
    QVERIFY(piano.picture() != colours);
    QVERIFY2(readFile(m_home->registryFile()).contains("\"bShapeMarks\"=dword:00000001"),
             readFile(m_home->registryFile()).constData());

    toggle();
    QVERIFY(!box->isChecked());
    QCOMPARE(changed.count(), 2);
    QVERIFY(!CInstrumentCtrl::ShapeMarks);
    QCOMPARE(piano.picture(), colours);
    QVERIFY(readFile(m_home->registryFile()).contains("\"bShapeMarks\"=dword:00000000"));
}

void TestInterfaceOptions::inTheOptionsDialog()
{
    lb::Scope loop(1, 1);
    CTonveroDlg owner;
    owner.preferences().bBeep = 0;
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    owner.OpenOptions();
    DialogOptions* dialog = owner.pOptions;
    QVERIFY(dialog);
    InterfaceOptions* section = InterfaceOptions::addTo(dialog);
    QVERIFY(section->isVisible());
    QCheckBox* box = section->shapeMarksBox();
    QVERIFY(box->sizeHint().width() <= box->width());
    QVERIFY(section->group()->minimumSizeHint().width() <= section->group()->width());
    const QRect onDialog(section->mapTo(dialog, QPoint(0, 0)), section->size());
    QVERIFY(dialog->rect().contains(onDialog));

    box->click();
    QVERIFY(CInstrumentCtrl::ShapeMarks);
    // The file lost the value meanwhile (another instance, a hand edit): OK stores it again.
    QVERIFY(writeFile(m_home->registryFile(), header));
    QPushButton* ok = dialog->itemAs<QPushButton>(DialogOptions::IdcOk);
    QVERIFY(ok);
    ok->click();
    QVERIFY2(readFile(m_home->registryFile()).contains("\"bShapeMarks\"=dword:00000001"),
             readFile(m_home->registryFile()).constData());
}

QTEST_MAIN(TestInterfaceOptions)
#include "tst_interfaceoptions.moc"
