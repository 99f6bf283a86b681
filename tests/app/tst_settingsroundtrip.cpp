// SPDX-License-Identifier: GPL-3.0-or-later
// A user's session: change settings, quit, start again — everything is back.
#include "settings/preferences.h"
#include "app/templates.h"
#include "app/tonverodlg.h"
#include "platform/ui/messagebox.h"
#include "support/testenv.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <memory>

class TestSettingsRoundTrip : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        platform::setMessageBoxHook([this](const platform::MessageBoxCall& c) { m_boxes << c; });
    }
    void cleanup() { platform::setMessageBoxHook({}); }

    void quitAndRestartKeepsEverything();
    void brokenFileFallsBackToDefaultsOnce();

private:
    QList<platform::MessageBoxCall> m_boxes;
};

void TestSettingsRoundTrip::quitAndRestartKeepsEverything()
{
    testsupport::TempConfigHome home;
    {
        auto dlg = std::make_unique<CTonveroDlg>();
        QCOMPARE(CStaveCtrl::nClef, int(CStaveCtrl::TrebleBass)); // first start: defaults
        QVERIFY(!QFile::exists(home.registryFile())); // and nothing written before there is something to keep
        dlg->OnCommand(tonvero::CmdClefBass);
        dlg->SetRange(0, 19, 38);
        dlg->guitarBox->click();
        dlg->preferences().bShowNoteName = 1;
        dlg->preferences().bBeep = 0;
        dlg->preferences().nMinutes = 7;
        dlg->preferences().nTimerDelay = 5000;
        dlg->preferences().nPatch = 24;
        dlg->preferences().bNoteInputFromCompKeyboard = 1;
        dlg->preferences().bOnWrongNoteWaitTime = 0;
    } // quitting saves

    QFile file(home.registryFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    // A person can read and edit it.
    QVERIFY(text.contains("[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]"));
    QVERIFY(text.contains("\"nClef\"=dword:00000001"));
    QVERIFY(text.contains("\"nMinutes\"=dword:00000007"));
    QVERIFY(text.contains("\"nN12_min0\"=dword:00000013"));

    auto dlg = std::make_unique<CTonveroDlg>();
    QCOMPARE(CStaveCtrl::nClef, int(CStaveCtrl::Bass));
    QVERIFY(dlg->menuAction(tonvero::CmdClefBass)->isChecked());
    QCOMPARE(dlg->piano->GetRangeCount(), 1);
    QCOMPARE(dlg->piano->GetRangeLow(0), 19);
    QCOMPARE(dlg->piano->GetRangeHigh(0), 38);
    QCOMPARE(dlg->stave->NoteSlot(0), 19);
    QCOMPARE(dlg->stave->NoteSlot(1), 38);
    QCOMPARE(dlg->preferences().bGuitar6, 1);
    QVERIFY(dlg->guitarBox->isChecked());
    QCOMPARE(dlg->preferences().bShowNoteName, 1);
    QCOMPARE(dlg->preferences().bBeep, 0);
    QCOMPARE(dlg->preferences().nMinutes, 7);
    QCOMPARE(dlg->preferences().nTimerDelay, 5000);
    QCOMPARE(int(dlg->preferences().nPatch), 24);
    QCOMPARE(dlg->preferences().bNoteInputFromCompKeyboard, 1);
    QCOMPARE(dlg->preferences().bOnWrongNoteWaitTime, 0);
    QVERIFY(m_boxes.isEmpty());
}

void TestSettingsRoundTrip::brokenFileFallsBackToDefaultsOnce()
{
    testsupport::TempConfigHome home;
    QDir().mkpath(QFileInfo(home.registryFile()).path());
    QFile file(home.registryFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Tonvero\\Settings]\n\"nClef\"=dword:zz\n");
    file.close();
    m_boxes.clear();
    {
        auto dlg = std::make_unique<CTonveroDlg>();
        QCOMPARE(CStaveCtrl::nClef, int(CStaveCtrl::TrebleBass));
        QCOMPARE(dlg->piano->GetRangeLow(0), 27);
    }
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY(QFile::exists(home.registryFile() + ".bad")); // the user's file is kept aside, not lost
}

QTEST_MAIN(TestSettingsRoundTrip)
#include "tst_settingsroundtrip.moc"
