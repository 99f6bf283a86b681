// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "app/templates.h"
#include "app/tonverodlg.h"
#include "dialogs/aboutdlg.h"
#include "app/noticeline.h"
#include "platform/ui/messagebox.h"
#include "platform/mmsystem/mmsystem.h"
#include "platform/ui/shell.h"
#include "support/testenv.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTest>
#include <memory>

using namespace tonvero;

class TestMainWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::TempConfigHome> m_home;
    std::unique_ptr<CTonveroDlg> m_dlg;
    QStringList m_opened;
    bool m_shellResult = true;
    QList<platform::MessageBoxCall> m_boxes;

    CTonveroDlg& shown()
    {
        m_dlg = std::make_unique<CTonveroDlg>();
        m_dlg->show();
        if (!QTest::qWaitForWindowExposed(m_dlg.get()))
            qWarning("window not exposed");
        m_boxes.clear(); // only what the commands under test report
        m_opened.clear();
        return *m_dlg;
    }

    QList<int> checkedClefItems() const
    {
        QList<int> ids;
        for (int id = CmdClefTreble; id <= CmdClefTrebleBass; ++id)
            if (m_dlg->menuAction(id)->isChecked())
                ids << id;
        return ids;
    }

private slots:
    void init()
    {
        m_home = std::make_unique<testsupport::TempConfigHome>();
        m_opened.clear();
        m_boxes.clear();
        m_shellResult = true;
        platform::setShellOpenHook([this](const QString& what) {
            m_opened << what;
            return m_shellResult;
        });
        platform::setMessageBoxHook([this](const platform::MessageBoxCall& call) { m_boxes << call; });
    }
    void cleanup()
    {
        m_dlg.reset();
        m_home.reset();
        platform::setShellOpenHook({});
        platform::setMessageBoxHook({});
    }

    void windowFromTemplate()
    {
        CTonveroDlg& d = shown();
        QCOMPARE(d.windowTitle(), QStringLiteral("Tonvero"));
        QVERIFY(d.windowFlags() & Qt::WindowMaximizeButtonHint);
        QVERIFY(d.windowFlags() & Qt::WindowMinimizeButtonHint);
        QCOMPARE(d.client()->palette().color(QPalette::Window), QColor(Qt::white));
        // Menu 128: three popups with the command ids in order.
        auto* bar = d.findChild<QMenuBar*>();
        QVERIFY(bar);
        QStringList titles;
        for (QAction* a : bar->actions())
            titles << a->text();
        QCOMPARE(titles, (QStringList{QStringLiteral("&Файл"), QStringLiteral("&Конфигурация"), QStringLiteral("&Помощь")}));
        for (int id : {int(CmdExit), int(CmdOptions), int(CmdClefTreble), int(CmdClefAlto), int(CmdClefBass),
                       int(CmdClefTrebleBass), int(CmdHelp), int(CmdReadMe), int(CmdHomePage), int(CmdAbout)})
            QVERIFY2(d.menuAction(id), qPrintable(QString::number(id)));
        QCOMPARE(d.startButton()->text(), QStringLiteral("Начать"));
        // Statistics edits show the members.
        QCOMPARE(d.itemAs<QLineEdit>(IdcTime)->text(), QStringLiteral("00:00"));
        QCOMPARE(d.itemAs<QLineEdit>(IdcNotes)->text(), QStringLiteral("0"));
        QCOMPARE(d.itemAs<QLineEdit>(IdcErrors)->text(), QStringLiteral("0"));
        QCOMPARE(d.SharpName(1), QStringLiteral("До #"));
        QCOMPARE(d.FlatName(10), QStringLiteral("Си b"));
        QVERIFY(d.FlatName(0).isEmpty());
    }

    void initialisedIdle()
    {
        CTonveroDlg& d = shown();
        // The idle stave shows the four range limits.
        QCOMPARE(d.stave->NoteSlot(0), d.preferences().nN12_min0);
        QCOMPARE(d.stave->NoteSlot(1), d.preferences().nN12_max0);
        QCOMPARE(d.stave->NoteSlot(2), d.preferences().nN12_min1);
        QCOMPARE(d.stave->NoteSlot(3), d.preferences().nN12_max1);
        QCOMPARE(d.piano->GetRangeLow(0), d.preferences().nN12_min0);
        QCOMPARE(d.piano->GetRangeHigh(1), d.preferences().nN12_max1);
        // The clef item of nClef carries the check, and the piano edits as many ranges as the clef has staves.
        QCOMPARE(checkedClefItems(), QList<int>{CmdClefTreble + CStaveCtrl::nClef});
        QCOMPARE(d.piano->GetRangeCount(), CStaveCtrl::nClef == CStaveCtrl::TrebleBass ? 2 : 1);
        QVERIFY(!d.piano->IsKeyboardMode());
        QVERIFY(!CInstrumentCtrl::PlayMode);
        // The window listens to every control once.
        for (CInstrumentCtrl* c : {static_cast<CInstrumentCtrl*>(d.stave.get()), static_cast<CInstrumentCtrl*>(d.piano.get()),
                                   static_cast<CInstrumentCtrl*>(d.guitar.get()), static_cast<CInstrumentCtrl*>(d.bass.get())})
            QCOMPARE(c->ListenerCount(), 1);
        QCOMPARE(d.GuitarLayout[8], 31);
        QCOMPARE(d.GuitarLayout[9], 79);
        QCOMPARE(d.BassLayout[8], 19);
        QCOMPARE(d.BassLayout[9], 58);
        for (CInstrumentCtrl* c : {static_cast<CInstrumentCtrl*>(d.piano.get()), static_cast<CInstrumentCtrl*>(d.guitar.get()),
                                   static_cast<CInstrumentCtrl*>(d.bass.get())})
            QVERIFY(c->isVisible());
    }

    void rangeEditShownOnStave()
    {
        CTonveroDlg& d = shown();
        NoteRange ranges[2] = {{30, 50, 0, 0}, {10, 20, 0, 0}};
        d.OnRangeChanged(ranges);
        QCOMPARE(d.stave->NoteSlot(0), 30);
        QCOMPARE(d.stave->NoteSlot(1), 50);
        QCOMPARE(d.stave->NoteSlot(2), 10);
        QCOMPARE(d.stave->NoteSlot(3), 20);
    }

    void clefCommands_data()
    {
        QTest::addColumn<int>("command");
        QTest::newRow("treble") << int(CmdClefTreble);
        QTest::newRow("bass") << int(CmdClefBass);
        QTest::newRow("alto") << int(CmdClefAlto);
        QTest::newRow("treble and bass") << int(CmdClefTrebleBass);
    }
    void clefCommands()
    {
        QFETCH(int, command);
        CTonveroDlg& d = shown();
        d.menuAction(command)->trigger();
        QCOMPARE(CStaveCtrl::nClef, command - CmdClefTreble);
        QCOMPARE(checkedClefItems(), QList<int>{command});
        QCOMPARE(d.piano->GetRangeCount(), command == CmdClefTrebleBass ? 2 : 1);
    }

    void staveClicksKeepMenuInStep()
    {
        CTonveroDlg& d = shown();
        d.OnCommand(CmdClefTreble);
        const int expected[] = {CStaveCtrl::Bass, CStaveCtrl::Alto, CStaveCtrl::TrebleBass, CStaveCtrl::Treble};
        for (int clef : expected) {
            QTest::mouseClick(d.stave.get(), Qt::LeftButton, {}, QPoint(40, 40));
            QCOMPARE(CStaveCtrl::nClef, clef);
            QCOMPARE(checkedClefItems(), QList<int>{CmdClefTreble + clef});
        }
    }

    void noteName_data()
    {
        QTest::addColumn<int>("show");
        QTest::addColumn<bool>("force");
        QTest::addColumn<bool>("visible");
        QTest::newRow("off") << 0 << false << false;
        QTest::newRow("off, forced") << 0 << true << true;
        QTest::newRow("on") << 1 << false << true;
    }
    void noteName()
    {
        QFETCH(int, show);
        QFETCH(bool, force);
        QFETCH(bool, visible);
        CTonveroDlg& d = shown();
        d.preferences().bShowNoteName = show;
        d.SetNoteNameText(QStringLiteral("Соль #"));
        d.ShowNoteName(force);
        QCOMPARE(d.noteNameLabel()->text(), visible ? QStringLiteral("Соль #") : QString());
    }

    void readMeFromInstallDir()
    {
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("ReadMe.txt")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        CTonveroDlg& d = shown();
        d.preferences().strInstallDir = dir.path() + QLatin1Char('/');
        d.OnCommand(CmdReadMe);
        QCOMPARE(m_opened, QStringList{QFileInfo(f).absoluteFilePath()});
        QVERIFY(m_boxes.isEmpty());
    }

    void readMeBesideProgramData()
    {
        CTonveroDlg& d = shown();
        d.OnCommand(CmdReadMe);
        QCOMPARE(m_opened.size(), 1);
        QVERIFY(m_opened[0].endsWith(QStringLiteral("/ReadMe.txt")));
        QVERIFY(QFileInfo(m_opened[0]).isAbsolute());
        QVERIFY(QFileInfo::exists(m_opened[0]));
        QVERIFY(m_boxes.isEmpty());
    }

    void readMeMissingOrUnopenable_data()
    {
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing") << false << QStringLiteral("Файл не найден");
        QTest::newRow("shell refuses") << true << QStringLiteral("Не удалось открыть файл");
    }
    void readMeMissingOrUnopenable()
    {
        QFETCH(bool, fileExists);
        QFETCH(QString, says);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ReadMe.txt"));
        if (fileExists) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        m_shellResult = false;
        CTonveroDlg& d = shown();
        d.preferences().strInstallDir = dir.path() + QLatin1Char('/');
        d.OnCommand(CmdReadMe);
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].caption, QStringLiteral("Tonvero"));
        QVERIFY(m_boxes[0].text.contains(says));
        QVERIFY(m_boxes[0].text.contains(path));
        QCOMPARE(m_opened.size(), fileExists ? 1 : 0);
    }

    void homePage()
    {
        CTonveroDlg& d = shown();
        d.OnCommand(CmdHomePage);
        QCOMPARE(m_opened, QStringList{QString::fromLatin1(kHomePageUrl)});
    }

    // No audio here, as on many servers and CI: said in the window, and the exercise runs on.
    void noSoundDeviceIsSaidWithoutStoppingTheExercise()
    {
        mmsys::setBackendsForTest({mmsys::Backend::Synth});
        CTonveroDlg& d = shown();
        d.preferences().bMIDI_Out = 1;
        d.preferences().bBeep = 0;
        d.StartStop(false);
        QTRY_VERIFY_WITH_TIMEOUT(!d.notices()->currentText().isEmpty(), 5000);
        QVERIFY(d.notices()->isVisible());
        QVERIFY(m_boxes.isEmpty());
        QVERIFY(d.exercise().bRunning);
        // It stays clear of the start button and inside the window.
        QVERIFY(!d.notices()->geometry().intersects(d.startButton()->geometry()));
        QVERIFY(d.client()->rect().contains(d.notices()->geometry()));
        d.StartStop(false);
        QCoreApplication::processEvents();
        QCOMPARE(d.notices()->texts().size(), 0); // it ends with its exercise
        d.StartStop(false);
        QTRY_COMPARE_WITH_TIMEOUT(d.notices()->texts().size(), 1, 5000); // said again, once
        QCoreApplication::processEvents();
        QCOMPARE(d.notices()->texts().size(), 1);
        d.StartStop(false);
        mmsys::resetBackends();
    }

    void noticesStackAndClose()
    {
        CTonveroDlg& d = shown();
        NoticeLine& line = *d.notices();
        line.post(QStringLiteral("a"), QStringLiteral("первое"));
        line.post(QStringLiteral("b"), QStringLiteral("второе"));
        line.post(QStringLiteral("a"), QStringLiteral("первое, ещё раз"));
        QCOMPARE(line.texts(), QStringList({"первое, ещё раз", "второе"}));
        QCOMPARE(line.currentText(), QStringLiteral("первое, ещё раз"));
        auto* close = line.findChild<QToolButton*>();
        QVERIFY(close);
        close->click();
        QCOMPARE(line.currentText(), QStringLiteral("второе"));
        line.clear(QStringLiteral("b"));
        QVERIFY(!line.isVisible());
    }

    void startStopButton()
    {
        CTonveroDlg& d = shown();
        QTest::mouseClick(d.startButton(), Qt::LeftButton);
        QVERIFY(d.exercise().bRunning);
        QVERIFY(d.piano->IsKeyboardMode());
        QVERIFY(CInstrumentCtrl::PlayMode);
        QCOMPARE(d.startButton()->text(), QStringLiteral("Остановить"));
        QTest::mouseClick(d.startButton(), Qt::LeftButton);
        QVERIFY(!d.exercise().bRunning);
        QVERIFY(!d.piano->IsKeyboardMode());
        QVERIFY(!CInstrumentCtrl::PlayMode);
        QCOMPARE(d.startButton()->text(), QStringLiteral("Начать"));
        // Back in range mode, the stave shows the ranges again.
        QCOMPARE(d.stave->NoteSlot(0), d.piano->GetRangeLow(0));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
