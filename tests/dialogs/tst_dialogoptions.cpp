// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "midi/midirouter.h"
#include "app/tonverodlg.h"
#include "dialogs/dialogoptions.h"
#include "platform/ui/messagebox.h"
#include "platform/mmsystem/midi_loopback.h"
#include "platform/synth/midi_synth.h"
#include "support/midiwindow.h"
#include "support/testenv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <memory>
#include <string>

namespace lb = mmsys::loopback;
using D = DialogOptions;
using mmsys::PortKind;

namespace {
const lb::PortSpec kThrough{"Midi Through:Midi Through Port-0", PortKind::Through};
// Longer than a Windows device name (31 characters): shown whole.
const lb::PortSpec kKeyboard{"Arturia KeyStep 37:Arturia KeyStep 37 MIDI 1 24:0", PortKind::Hardware};
const lb::PortSpec kPiano{"Цифровое пианино:MIDI 1", PortKind::Hardware};
const lb::PortSpec kOut{"Loopback Out 1", PortKind::Hardware};

QStringList texts(const QComboBox* box)
{
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list << box->itemText(i);
    return list;
}
} // namespace

class TestDialogOptions : public QObject, testsupport::MidiWindowFixture<CTonveroDlg> {
    Q_OBJECT

private:

    // The main window over loopback ports; the dialog is opened by the caller,
    // after it has set the owner's members the dialog starts from.
    CTonveroDlg& owner(int inputs = 1, int outputs = 1)
    {
        auto numbered = [](const char* prefix, int count) {
            std::vector<lb::PortSpec> specs;
            for (int i = 1; i <= count; ++i)
                specs.push_back({prefix + std::to_string(i), PortKind::Hardware});
            return specs;
        };
        return owner(numbered("Loopback In ", inputs), numbered("Loopback Out ", outputs));
    }
    CTonveroDlg& owner(const std::vector<lb::PortSpec>& inputs, const std::vector<lb::PortSpec>& outputs)
    {
        ports(inputs, outputs);
        m_dlg = std::make_unique<CTonveroDlg>();
        m_dlg->preferences().bBeep = 0;
        m_dlg->show();
        if (!QTest::qWaitForWindowExposed(m_dlg.get()))
            qWarning("main window not exposed");
        return *m_dlg;
    }
    DialogOptions& dialog()
    {
        if (!m_dlg)
            owner();
        m_dlg->OpenOptions();
        DialogOptions* d = m_dlg->pOptions;
        if (QTest::qWaitForWindowExposed(d))
            d->activateWindow();
        if (!QTest::qWaitForWindowActive(d))
            qWarning("options dialog not active");
        return *d;
    }
    template <class T = QWidget> T* item(int id) const { return m_dlg->pOptions->itemAs<T>(id); }
    QLineEdit* edit(int id) const { return item<QLineEdit>(id); }

    // Types into an edit as a user does: focus, select all, keys.
    void typeInto(int id, const QString& text)
    {
        QLineEdit* e = edit(id);
        e->setFocus();
        e->selectAll();
        if (text.isEmpty())
            QTest::keyClick(e, Qt::Key_Delete);
        else
            QTest::keyClicks(e, text);
    }
    void moveFocusAway()
    {
        item<QCheckBox>(D::IdcBeep)->setFocus();
    }

    static std::vector<std::uint32_t> sentWords(int port)
    {
        lb::flush();
        std::vector<std::uint32_t> words;
        for (const lb::Message& m : lb::sent(port))
            words.push_back(m.word);
        return words;
    }

private slots:
    void init() { setUpFixture(); }
    void cleanup() { tearDownFixture(); }

    void createdOnceThenBroughtToFront()
    {
        DialogOptions& d = dialog();
        QCOMPARE(d.windowTitle(), QStringLiteral("Настройки"));
        QVERIFY(!d.isModal());
        d.hide();
        m_dlg->OpenOptions();
        QCOMPARE(m_dlg->pOptions, &d);
        QVERIFY(d.isVisible());
        QCOMPARE(m_dlg->findChildren<DialogOptions*>().size(), 1);
        QVERIFY(!item(D::IdcAssignKeys)->isVisible());
        QVERIFY(!item(D::IdcAssignKeys)->isEnabled());
    }

    void modeButtons_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("hint");
        QTest::addColumn<int>("exam");
        QTest::newRow("hint") << int(D::IdcHint) << 1 << 0;
        QTest::newRow("training") << int(D::IdcTraining) << 0 << 0;
        QTest::newRow("exam") << int(D::IdcExam) << 0 << 1;
    }
    void modeButtons()
    {
        QFETCH(int, id);
        QFETCH(int, hint);
        QFETCH(int, exam);
        owner().preferences().bExamMode = 1; // the dialog starts in exam: every row changes something
        dialog();
        QVERIFY(item(D::IdcMinutes)->isEnabled());
        item<QRadioButton>(id)->click();
        item<QRadioButton>(id)->click(); // clicking the checked one keeps it checked
        for (int r : {int(D::IdcHint), int(D::IdcTraining), int(D::IdcExam)})
            QCOMPARE(item<QRadioButton>(r)->isChecked(), r == id);
        QCOMPARE(m_dlg->preferences().bHintMode, hint);
        QCOMPARE(m_dlg->preferences().bExamMode, exam);
        for (int r : {int(D::IdcMinutes), int(D::IdcMinutesLabel), int(D::IdcMinutesArrows)})
            QCOMPARE(item(r)->isEnabled(), exam == 1);
    }

    void wrongNoteButtons()
    {
        owner().preferences().bOnWrongNoteWaitTime = 0;
        dialog();
        QVERIFY(item<QRadioButton>(D::IdcWaitRight)->isChecked());
        QVERIFY(!item<QRadioButton>(D::IdcWaitTime)->isChecked());
        item<QRadioButton>(D::IdcWaitTime)->click();
        QCOMPARE(m_dlg->preferences().bOnWrongNoteWaitTime, 1);
        QVERIFY(!item<QRadioButton>(D::IdcWaitRight)->isChecked());
    }

    // A wrong answer pending under one rule follows the rule chosen meanwhile.
    void wrongNoteRuleChangedWhileAnAnswerIsPending_data()
    {
        QTest::addColumn<bool>("toDelay");
        QTest::newRow("wait for the right note -> delay: the delay starts") << true;
        QTest::newRow("delay -> wait for the right note: the note stays") << false;
    }
    void wrongNoteRuleChangedWhileAnAnswerIsPending()
    {
        QFETCH(bool, toDelay);
        CTonveroDlg& o = owner();
        o.preferences().bMIDI_Out = 0;
        o.preferences().bOnWrongNoteWaitTime = toDelay ? 0 : 1;
        o.preferences().nTimerDelay = 2000;
        o.StartStop(false);
        const int expected = CInstrumentCtrl::NoteFromKeyIndex(o.exercise().nCurNote);
        const int wrong = expected == 60 ? 62 : 60;
        o.OnNoteOn(wrong, false);
        o.OnNoteOff(wrong);
        QVERIFY(o.exercise().bWrongPending);

        dialog();
        item<QRadioButton>(toDelay ? D::IdcWaitTime : D::IdcWaitRight)->click();
        item<QPushButton>(D::IdcOk)->click();
        QCOMPARE(o.exercise().timers.IsActive(1), toDelay);
        if (toDelay) {
            o.exercise().timers.Fire(1);
            QVERIFY(!o.exercise().bWrongPending);
            const int next = CInstrumentCtrl::NoteFromKeyIndex(o.exercise().nCurNote);
            const int notes = o.exercise().nNotes;
            o.OnNoteOn(next, false); // answers are taken again
            QCOMPARE(o.exercise().nNotes, notes + 1);
        } else {
            o.OnNoteOn(expected, false); // the right note ends the wait, and nothing else will
            QVERIFY(!o.exercise().bWrongPending);
            QVERIFY(!o.exercise().timers.IsActive(1));
        }
    }

    void arrows_data()
    {
        QTest::addColumn<int>("arrows");
        QTest::addColumn<int>("start"); // minutes, or seconds
        QTest::addColumn<bool>("up");
        QTest::addColumn<int>("shown");
        QTest::newRow("minutes up") << int(D::IdcMinutesArrows) << 2 << true << 3;
        QTest::newRow("minutes up at 60") << int(D::IdcMinutesArrows) << 60 << true << 60;
        QTest::newRow("minutes down at 0") << int(D::IdcMinutesArrows) << 0 << false << 0;
        QTest::newRow("seconds down") << int(D::IdcSecondsArrows) << 2 << false << 1;
        QTest::newRow("seconds down at 0") << int(D::IdcSecondsArrows) << 0 << false << 0;
        QTest::newRow("seconds up at 180") << int(D::IdcSecondsArrows) << 180 << true << 180;
    }
    void arrows()
    {
        QFETCH(int, arrows);
        QFETCH(int, start);
        QFETCH(bool, up);
        QFETCH(int, shown);
        const bool minutes = arrows == D::IdcMinutesArrows;
        CTonveroDlg& o = owner();
        o.preferences().bExamMode = 1;
        if (minutes)
            o.preferences().nMinutes = start;
        else
            o.preferences().nTimerDelay = start * 1000;
        dialog();
        auto* a = item<platform::UpDownArrows>(arrows);
        (up ? a->upButton() : a->downButton())->click();
        QCOMPARE(edit(minutes ? D::IdcMinutes : D::IdcSeconds)->text(), QString::number(shown));
        QCOMPARE(minutes ? o.preferences().nMinutes : o.preferences().nTimerDelay, minutes ? shown : shown * 1000);
        QVERIFY(m_boxes.isEmpty());
    }

    void minutesClampedWhileTyping()
    {
        owner().preferences().bExamMode = 1;
        dialog();
        typeInto(D::IdcMinutes, QStringLiteral("75"));
        QCOMPARE(edit(D::IdcMinutes)->text(), QStringLiteral("60"));
        QCOMPARE(m_dlg->preferences().nMinutes, 60);
        typeInto(D::IdcMinutes, QStringLiteral("7"));
        QCOMPARE(m_dlg->preferences().nMinutes, 7);
    }

    void secondsTakenWhenTheFocusLeaves()
    {
        dialog();
        typeInto(D::IdcSeconds, QStringLiteral("5"));
        QCOMPARE(m_dlg->preferences().nTimerDelay, 2000);
        moveFocusAway();
        QCOMPARE(m_dlg->preferences().nTimerDelay, 5000);
        typeInto(D::IdcSeconds, QStringLiteral("500"));
        moveFocusAway();
        QCOMPARE(edit(D::IdcSeconds)->text(), QStringLiteral("180"));
        QCOMPARE(m_dlg->preferences().nTimerDelay, 180000);
        QVERIFY(m_boxes.isEmpty());
    }

    void notAnInteger_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("typed");
        QTest::newRow("minutes, letters") << int(D::IdcMinutes) << QStringLiteral("x");
        QTest::newRow("minutes, empty") << int(D::IdcMinutes) << QString();
        QTest::newRow("seconds, letters") << int(D::IdcSeconds) << QStringLiteral("abc");
        QTest::newRow("seconds, empty") << int(D::IdcSeconds) << QString();
    }
    void notAnInteger()
    {
        QFETCH(int, id);
        QFETCH(QString, typed);
        CTonveroDlg& o = owner();
        o.preferences().bExamMode = 1;
        o.preferences().nMinutes = 4;
        o.preferences().nTimerDelay = 3000;
        dialog();
        typeInto(id, typed);
        if (id == D::IdcSeconds)
            moveFocusAway();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].text, QStringLiteral("Please enter an integer."));
        QCOMPARE(edit(id)->text(), id == D::IdcMinutes ? QStringLiteral("4") : QStringLiteral("3"));
        QCOMPARE(o.preferences().nMinutes, 4);
        QCOMPARE(o.preferences().nTimerDelay, 3000);
    }

    void instrumentSentAtOnce()
    {
        CTonveroDlg& o = owner();
        o.preferences().nPatch = 5;
        DialogOptions& d = dialog();
        QCOMPARE(d.instruments->currentIndex(), 5);
        d.instruments->setCurrentIndex(10); // idle: the output is closed
        QCOMPARE(int(o.preferences().nPatch), 10);
        QVERIFY(sentWords(0).empty());
        o.StartStop(false);
        lb::clearSent();
        d.instruments->setCurrentIndex(40);
        QCOMPARE(int(o.preferences().nPatch), 40);
        QCOMPARE(sentWords(0), std::vector<std::uint32_t>{0x28C0});
    }

    void instrumentTexts_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << 0 << QStringLiteral("  1 Acoustic Grand Piano");
        QTest::newRow("2") << 1 << QStringLiteral("  2 Bright Acoustic Piano");
        QTest::newRow("25") << 24 << QStringLiteral(" 25 Acoustic Guitar (nylon)");
        QTest::newRow("37, trailing blank") << 36 << QStringLiteral(" 37 Slap Bass 1 ");
        QTest::newRow("41, trailing blank") << 40 << QStringLiteral(" 41 Violin ");
        QTest::newRow("128") << 127 << QStringLiteral("128 Gunshot");
    }
    void instrumentTexts()
    {
        QFETCH(int, index);
        QFETCH(QString, text);
        DialogOptions& d = dialog();
        QCOMPARE(d.instruments->count(), 128);
        QCOMPARE(d.instruments->itemText(index), text);
    }

    void noteNameBoxClearsTheLabelAtOnce()
    {
        CTonveroDlg& o = owner();
        o.preferences().bShowNoteName = 1;
        o.strNoteName = QStringLiteral("Ля");
        o.ShowNoteName(false);
        QCOMPARE(o.noteNameLabel()->text(), QStringLiteral("Ля"));
        dialog();
        item<QCheckBox>(D::IdcShowNoteName)->click();
        QCOMPARE(o.preferences().bShowNoteName, 0);
        QCOMPARE(o.noteNameLabel()->text(), QString());
    }

    void statisticsAndProgramControlBoxes()
    {
        CTonveroDlg& o = owner();
        o.preferences().bAppControlByMIDI = 0;
        o.midi().StopMidiInputAfterExercise();
        QVERIFY(!o.midi().midiInDevice.IsReceiving());
        dialog();
        QVERIFY(item<QCheckBox>(D::IdcStatistics)->isChecked());
        item<QCheckBox>(D::IdcStatistics)->click();
        QCOMPARE(o.preferences().bShowStatistics, 0);
        QVERIFY(!o.client()->findChild<QWidget*>(QStringLiteral("1014"))->isVisible());
        QVERIFY(!item<QCheckBox>(D::IdcMidiControl)->isChecked());
        item<QCheckBox>(D::IdcMidiControl)->click();
        QCOMPARE(o.preferences().bAppControlByMIDI, 1);
        QVERIFY(o.midi().midiInDevice.IsReceiving());
    }

    void missingDevices_data()
    {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("outputs");
        QTest::newRow("no input") << 0 << 1;
        QTest::newRow("no output") << 1 << 0;
        QTest::newRow("neither") << 0 << 0;
    }
    void missingDevices()
    {
        QFETCH(int, inputs);
        QFETCH(int, outputs);
        owner(inputs, outputs);
        dialog();
        QCOMPARE(item(D::IdcMidiIn)->isEnabled(), inputs > 0);
        QCOMPARE(item(D::IdcMidiControlGroup)->isEnabled(), inputs > 0);
        QCOMPARE(item(D::IdcMidiControl)->isEnabled(), inputs > 0);
        QCOMPARE(item(D::IdcMidiOut)->isEnabled(), outputs > 0);
        // A device missing for the moment does not switch MIDI off for good:
        // the boxes keep showing the settings, and a save keeps them.
        QVERIFY(item<QCheckBox>(D::IdcMidiIn)->isChecked());
        QVERIFY(item<QCheckBox>(D::IdcMidiOut)->isChecked());
        item<QCheckBox>(D::IdcBeep)->click(); // a data exchange of every box
        item<QPushButton>(D::IdcOk)->click();
        QCOMPARE(m_dlg->preferences().bMIDI_In, 1);
        QCOMPARE(m_dlg->preferences().bMIDI_Out, 1);
        QCOMPARE(m_dlg->pOptions->inDevices->count(), inputs);
        QCOMPARE(m_dlg->pOptions->outDevices->count(), outputs);
        QVERIFY(m_boxes.isEmpty());
    }

    void outputsStartWithTheBuiltInSynth()
    {
        if (mmsys::synth::findSoundFont().empty())
            QSKIP("no General MIDI soundfont installed");
        m_loop = std::make_unique<lb::Scope>(1, 1);
        mmsys::setBackendsForTest({mmsys::Backend::Synth, mmsys::Backend::Loopback});
        m_dlg = std::make_unique<CTonveroDlg>();
        m_dlg->show();
        DialogOptions& d = dialog();
        QCOMPARE(d.outDevices->count(), 2);
        // Named in the interface's language, not by its port name.
        QCOMPARE(d.outDevices->itemText(0), QStringLiteral("Встроенный синтезатор Tonvero"));
        QCOMPARE(d.outDevices->itemText(1), QStringLiteral("Loopback Out 1"));
        QCOMPARE(d.inDevices->itemText(0), QStringLiteral("Loopback In 1"));
    }

    void outputDeviceChangesOnlyAtOk()
    {
        CTonveroDlg& o = owner(1, 2);
        o.preferences().nPatch = 7;
        DialogOptions& d = dialog();
        QCOMPARE(d.outDevices->currentIndex(), 0);
        d.outDevices->setCurrentIndex(1);
        QCOMPARE(o.preferences().nOutDevId, 0);
        QCOMPARE(lb::outCalls(lb::Op::Open, 1), 0);
        QTest::keyClick(&d, Qt::Key_Return);
        QVERIFY(!d.isVisible());
        QCOMPARE(o.preferences().nOutDevId, 1);
        QVERIFY(o.midi().midiOutDevice.IsOpen());
        QCOMPARE(int(o.midi().midiOutDevice.GetDevId()), 1);
        QCOMPARE(sentWords(1), std::vector<std::uint32_t>{0x07C0});
        QVERIFY(!d.bOutDevChanged);
        QFile saved(m_home->registryFile());
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll().contains("\"nOutDevId\"=dword:00000001"));

        // A later OK without a change leaves the device alone.
        dialog();
        d.accept();
        QCOMPARE(lb::outCalls(lb::Op::Open, 1), 1);
        QVERIFY(m_boxes.isEmpty());
    }

    void cancelKeepsTheOldDevice_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("Escape") << true;
        QTest::newRow("close box") << false;
    }
    void cancelKeepsTheOldDevice()
    {
        QFETCH(bool, escape);
        CTonveroDlg& o = owner(1, 2);
        DialogOptions& d = dialog();
        d.outDevices->setCurrentIndex(1);
        if (escape)
            QTest::keyClick(&d, Qt::Key_Escape);
        else
            d.close();
        QVERIFY(!d.isVisible());
        QCOMPARE(o.preferences().nOutDevId, 0);
        QCOMPARE(lb::outCalls(lb::Op::Open, 1), 0);
    }

    void inputDeviceFailureAtOkKeepsTheDialogOpen()
    {
        CTonveroDlg& o = owner(2, 1);
        DialogOptions& d = dialog();
        d.inDevices->setCurrentIndex(1);
        lb::failIn(lb::Op::Open, mmsys::MMSYSERR_ALLOCATED, 1);
        d.accept();
        QCOMPARE(m_boxes.size(), 1);
        QCOMPARE(m_boxes[0].caption, QStringLiteral("MIDI error"));
        QCOMPARE(m_boxes[0].icon, platform::MsgIcon::Error);
        QVERIFY(d.isVisible());
        QVERIFY(!o.midi().midiInDevice.IsOpen());

        lb::clearFailures();
        d.accept(); // tried again
        QVERIFY(!d.isVisible());
        QCOMPARE(int(o.midi().midiInDevice.GetDevId()), 1);
        QVERIFY(o.midi().midiInDevice.IsReceiving());
        QCOMPARE(m_boxes.size(), 1);
    }

    void okStoresEveryBox()
    {
        CTonveroDlg& o = owner();
        o.preferences().bUseBlackKeys = 1;
        o.preferences().bNoteInputFromCompKeyboard = 0;
        DialogOptions& d = dialog();
        item<QCheckBox>(D::IdcBlackKeys)->click();       // no handler of its own
        item<QCheckBox>(D::IdcCompKeyboard)->click();
        typeInto(D::IdcSeconds, QStringLiteral("9"));     // Enter leaves the focus in the edit
        QTest::keyClick(edit(D::IdcSeconds), Qt::Key_Return);
        QVERIFY(!d.isVisible());
        QCOMPARE(o.preferences().bUseBlackKeys, 0);
        QCOMPARE(o.preferences().bNoteInputFromCompKeyboard, 1);
        QCOMPARE(o.preferences().nTimerDelay, 9000);
    }

    // Capabilities bring their own groups; the fixed items stay where they are.
    void sectionsGoRightOfTheFixedItems()
    {
        DialogOptions& d = dialog();
        const QRect modes = item(D::IdcHint)->geometry();
        const QSize before = d.size();
        auto* section = new QGroupBox(QStringLiteral("Раздел"));
        auto* box = new QCheckBox(QStringLiteral("включить"), section);
        box->move(10, 20);
        section->setMinimumSize(220, 120);
        d.addSection(section);
        QCOMPARE(item(D::IdcHint)->geometry(), modes);
        QVERIFY(d.width() >= before.width());
        QVERIFY(d.height() >= before.height());
        QVERIFY(section->isVisible());
        const QRect onDialog(section->mapTo(&d, QPoint(0, 0)), section->size());
        QVERIFY(d.rect().contains(onDialog));
        QVERIFY(onDialog.left() >= item(D::IdcOutDevice)->mapTo(&d, QPoint(0, 0)).x() + item(D::IdcOutDevice)->width());
        // OK in the bottom-right corner of the whole dialog, clear of the section.
        QWidget* ok = item(D::IdcOk);
        const QRect okOnDialog(ok->mapTo(&d, QPoint(0, 0)), ok->size());
        QVERIFY(!okOnDialog.intersects(onDialog));
        QVERIFY(d.width() - okOnDialog.right() < 30);
        QVERIFY(d.height() - okOnDialog.bottom() < 30);

        bool saved = false;
        connect(&d, &DialogOptions::settingsSaved, this, [&] { saved = true; });
        item<QPushButton>(D::IdcOk)->click();
        QVERIFY(saved);
    }

    void deviceListsShowFullNamesAndTheChoice();
    void defaultPortStoredOnlyWhenPicked_data();
    void defaultPortStoredOnlyWhenPicked();
    void listsFollowPortsAsTheyComeAndGo();
    void midiBoxesFollowTheFirstAndLastDevice();

    void textsFitTheirItems()
    {
        DialogOptions& d = dialog();
        for (QWidget* w : d.client()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (!w->isVisible())
                continue;
            const QFontMetrics fm(w->font());
            const QString name = w->objectName();
            if (auto* b = qobject_cast<QCheckBox*>(w); b || qobject_cast<QRadioButton*>(w)) {
                auto* ab = static_cast<QAbstractButton*>(w);
                QVERIFY2(ab->sizeHint().width() <= ab->width(), qPrintable(name + ": " + ab->text()));
                QVERIFY2(fm.size(0, ab->text()).height() <= ab->height(), qPrintable(name + ": " + ab->text()));
            } else if (auto* l = qobject_cast<QLabel*>(w)) {
                QVERIFY2(l->sizeHint().width() <= l->width(), qPrintable(l->text()));
                QVERIFY2(l->sizeHint().height() <= l->height(), qPrintable(l->text()));
            } else if (auto* g = qobject_cast<QGroupBox*>(w)) {
                QVERIFY2(g->minimumSizeHint().width() <= g->width(), qPrintable(g->title()));
            }
        }
        // The wrapped items keep their words.
        QCOMPARE(item<QRadioButton>(D::IdcWaitRight)->text().replace(QLatin1Char('\n'), QLatin1Char(' ')),
                 QStringLiteral("Показывать новую ноту только после ввода правильной ноты"));
        QCOMPARE(item<QRadioButton>(D::IdcWaitTime)->text(),
                 QStringLiteral("Показывать ошибочную ноту\n потом показать новую"));
        QCOMPARE(item<QCheckBox>(D::IdcCompKeyboard)->text().replace(QLatin1Char('\n'), QLatin1Char(' ')),
                 QStringLiteral("Ввод нот с компьютерной клавиатуры"));

        const QString shots = qEnvironmentVariable("TONVERO_SHOTS_DIR");
        if (!shots.isEmpty()) {
            QDir().mkpath(shots);
            QVERIFY(d.grab().save(QDir(shots).filePath(QStringLiteral("options-dialog.png"))));
        }
    }
};

void TestDialogOptions::deviceListsShowFullNamesAndTheChoice()
{
    owner({kThrough, kKeyboard}, {kOut});
    DialogOptions& d = dialog();
    QCOMPARE(texts(d.inDevices), (QStringList{QString::fromStdString(kThrough.name), QString::fromStdString(kKeyboard.name)}));
    QCOMPARE(d.inDevices->currentIndex(), 1); // what is open: the keyboard, not Midi Through
    QCOMPARE(int(m_dlg->midi().midiInDevice.GetDevId()), 1);
    QCOMPARE(texts(d.outDevices), QStringList{QString::fromStdString(kOut.name)});
    QCOMPARE(d.outDevices->currentIndex(), 0);
    QCOMPARE(m_dlg->preferences().nInDevId, 0); // showing the device does not choose it
}

void TestDialogOptions::defaultPortStoredOnlyWhenPicked_data()
{
    QTest::addColumn<int>("pick"); // -1: untouched; otherwise the entry the user picks
    QTest::addColumn<QString>("storedName");
    QTest::addColumn<int>("storedId");
    QTest::newRow("OK untouched: nothing chosen") << -1 << QString() << 0;
    QTest::newRow("the keyboard shown picked") << 1 << QString::fromStdString(kKeyboard.name) << 1;
    QTest::newRow("another port picked") << 0 << QString::fromStdString(kThrough.name) << 0;
}

// A keyboard taken by default becomes the user's choice only when the user picks it.
void TestDialogOptions::defaultPortStoredOnlyWhenPicked()
{
    QFETCH(int, pick);
    QFETCH(QString, storedName);
    QFETCH(int, storedId);
    CTonveroDlg& o = owner({kThrough, kKeyboard}, {kOut});
    DialogOptions& d = dialog();
    if (pick >= 0) {
        d.inDevices->setCurrentIndex(pick);
        emit d.inDevices->activated(pick);
    }
    item<QPushButton>(D::IdcOk)->click();
    QVERIFY(!d.isVisible());
    QCOMPARE(o.preferences().strInDevName, storedName);
    QCOMPARE(o.preferences().nInDevId, storedId);
    QCOMPARE(int(o.midi().midiInDevice.GetDevId()), pick >= 0 ? pick : 1);
    QVERIFY(o.midi().midiInDevice.IsReceiving());
    QCOMPARE(lb::inCalls(lb::Op::Open, 1), pick == 1 ? 2 : 1); // opened again only when picked
    QCOMPARE(lb::inCalls(lb::Op::Open, 0), pick == 0 ? 1 : 0);
    QVERIFY(o.preferences().strOutDevName.isEmpty());
    QFile saved(m_home->registryFile());
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QVERIFY(saved.readAll().contains("\"strInDevName\"=\"" + storedName.toUtf8() + "\"\n"));
    QVERIFY(m_boxes.isEmpty());
}

// Ports started or ended while the dialog exists: the lists follow, a pick not yet confirmed stays.
void TestDialogOptions::listsFollowPortsAsTheyComeAndGo()
{
    CTonveroDlg& o = owner({kThrough, kKeyboard}, {kOut});
    DialogOptions& d = dialog();
    d.inDevices->setCurrentIndex(0); // picked, not confirmed
    lb::addInput(kPiano);
    settle();
    QCOMPARE(texts(d.inDevices), (QStringList{QString::fromStdString(kThrough.name), QString::fromStdString(kKeyboard.name),
                                              QString::fromStdString(kPiano.name)}));
    QCOMPARE(d.inDevices->currentIndex(), 0);

    lb::removeInput(1); // the keyboard in use
    settle();
    QCOMPARE(texts(d.inDevices), (QStringList{QString::fromStdString(kThrough.name), QString::fromStdString(kPiano.name)}));
    QCOMPARE(d.inDevices->currentIndex(), 0); // still the pick, though its index is another port's now

    lb::removeInput(0); // the pick itself goes: the list shows what the settings choose
    settle();
    QCOMPARE(texts(d.inDevices), QStringList{QString::fromStdString(kPiano.name)});
    QCOMPARE(d.inDevices->currentIndex(), 0);
    d.accept();
    QVERIFY(o.preferences().strInDevName.isEmpty());
    QVERIFY(m_boxes.isEmpty());
}

// No keyboard when the dialog was made: the setting waits, and a keyboard plugged in is used at once.
void TestDialogOptions::midiBoxesFollowTheFirstAndLastDevice()
{
    CTonveroDlg& o = owner(std::vector<lb::PortSpec>{}, {kOut});
    dialog();
    QVERIFY(!item(D::IdcMidiIn)->isEnabled());
    QCOMPARE(o.preferences().bMIDI_In, 1);

    const int port = lb::addInput(kKeyboard);
    settle();
    for (int id : {int(D::IdcMidiIn), int(D::IdcMidiControlGroup), int(D::IdcMidiControl)})
        QVERIFY(item(id)->isEnabled());
    QVERIFY(item<QCheckBox>(D::IdcMidiIn)->isChecked());
    QCOMPARE(o.preferences().bMIDI_In, 1);
    QVERIFY(o.midi().midiInDevice.IsReceiving()); // and the keyboard is listened to at once

    lb::removeInput(port);
    settle();
    QVERIFY(!item(D::IdcMidiIn)->isEnabled());
    QVERIFY(!item(D::IdcMidiControl)->isEnabled());
    item<QCheckBox>(D::IdcBeep)->click(); // a data exchange: the setting stays for the keyboard's return
    QCOMPARE(o.preferences().bMIDI_In, 1);
    lb::addInput(kKeyboard);
    settle();
    QVERIFY(o.midi().midiInDevice.IsReceiving());
    QVERIFY(item(D::IdcMidiIn)->isEnabled());
    QVERIFY(m_boxes.isEmpty());
}

QTEST_MAIN(TestDialogOptions)
#include "tst_dialogoptions.moc"
