// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "app/keyboardfilter.h"
#include "exercisehelpers.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

using namespace tonvero;
using namespace exercisehelpers;

namespace {

// Records the keys that reach a widget, i.e. that the note input let through.
class KeyRecorder : public QObject {
public:
    QList<QPair<QEvent::Type, int>> keys;
    bool saw(QEvent::Type type, int key) const { return keys.contains({type, key}); }

protected:
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease)
            keys.append({e->type(), static_cast<QKeyEvent*>(e)->key()});
        return false;
    }
};

constexpr int E4 = 64;

} // namespace

class TestKeyboardInput : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::TempConfigHome> m_home;
    std::unique_ptr<CTonveroDlg> m_dlg;
    KeyRecorder m_recorder;

    QWidget* target() const { return m_dlg->startButton(); }

    // An exercise with the computer keyboard on and E4 on the stave.
    CTonveroDlg& runningOnE4(bool keyboardInput = true)
    {
        m_dlg = openWindow();
        m_dlg->preferences().bNoteInputFromCompKeyboard = keyboardInput;
        m_dlg->StartStop(false);
        m_dlg->exercise().nCurNote = CInstrumentCtrl::KeyIndexFromNote(E4);
        m_dlg->exercise().ShowCurrentNote();
        target()->setFocus();
        target()->installEventFilter(&m_recorder);
        return *m_dlg;
    }

    void sendKey(QEvent::Type type, int key, quint32 scanCode = 0, bool autoRepeat = false, const QString& text = {})
    {
        QKeyEvent e(type, key, Qt::NoModifier, scanCode, 0, 0, text, autoRepeat);
        QApplication::sendEvent(target(), &e);
    }

private slots:
    void init()
    {
        m_home = std::make_unique<testsupport::TempConfigHome>();
        m_recorder.keys.clear();
    }
    void cleanup()
    {
        m_dlg.reset();
        m_home.reset();
    }

    void answersByPitchClass_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<uint>("scanCode");
        QTest::addColumn<bool>("right");
        QTest::newRow("C is E: right") << int(Qt::Key_C) << 0u << true;
        QTest::newRow("Cyrillic С on the same key: right") << int(U'С') << 0u << true;
        QTest::newRow("scan code of C under another layout: right") << int(Qt::Key_Q) << 54u << true;
        QTest::newRow("V is F: wrong") << int(Qt::Key_V) << 0u << false;
        QTest::newRow("comma is C: wrong") << int(Qt::Key_Comma) << 0u << false;
        QTest::newRow("D is D sharp: wrong") << int(Qt::Key_D) << 0u << false;
    }
    void answersByPitchClass()
    {
        QFETCH(int, key);
        QFETCH(uint, scanCode);
        QFETCH(bool, right);
        CTonveroDlg& d = runningOnE4();

        sendKey(QEvent::KeyPress, key, scanCode);
        QVERIFY(m_recorder.keys.isEmpty());
        QCOMPARE(d.exercise().nErrors, right ? 0 : 1);
        QCOMPARE(d.exercise().nNotes, 1); // a wrong answer counts as a note while waiting
        if (right) {
            QCOMPARE(markOf(E4), int(Blue));
            QVERIFY(d.exercise().nCurNote != CInstrumentCtrl::KeyIndexFromNote(E4));
        } else {
            // The wrong key arrived as note −1: nothing played is marked.
            QCOMPARE(markOf(E4), int(Red));
            QCOMPARE(countMarks(Blue), 0);
        }

        sendKey(QEvent::KeyRelease, key, scanCode);
        QVERIFY(m_recorder.keys.isEmpty());
        QCOMPARE(markOf(E4), right ? int(None) : int(Red));
    }

    void heldKeyAnswersOnce()
    {
        CTonveroDlg& d = runningOnE4();
        QTest::keyPress(target(), Qt::Key_C);
        QCOMPARE(d.exercise().nNotes, 1);
        const int next = d.exercise().nCurNote;

        // A second key while C is held is no answer.
        QTest::keyPress(target(), Qt::Key_D);
        QCOMPARE(d.exercise().nNotes, 1);
        QCOMPARE(d.exercise().nErrors, 0);
        QCOMPARE(d.exercise().nCurNote, next);
        // Auto-repeat comes as release and press pairs: no answer, no release.
        for (int i = 0; i < 3; ++i) {
            sendKey(QEvent::KeyRelease, Qt::Key_C, 0, true);
            sendKey(QEvent::KeyPress, Qt::Key_C, 0, true);
        }
        QCOMPARE(d.exercise().nNotes, 1);
        QCOMPARE(markOf(E4), int(Blue));

        QTest::keyRelease(target(), Qt::Key_C);
        QCOMPARE(markOf(E4), int(None));
        QTest::keyRelease(target(), Qt::Key_D);
        QCOMPARE(d.exercise().nNotes, 1);
        QCOMPARE(d.exercise().nErrors, 0);
    }

    void heldKeyIsReleasedWhenASecondKeyWentUpFirst_data()
    {
        QTest::addColumn<bool>("right");
        QTest::newRow("right answer held") << true;
        QTest::newRow("wrong answer held") << false;
    }
    void heldKeyIsReleasedWhenASecondKeyWentUpFirst()
    {
        QFETCH(bool, right);
        CTonveroDlg& d = runningOnE4();
        d.preferences().bOnWrongNoteWaitTime = 0; // the pending note would hide the release otherwise
        // C answers E4; V (F) is wrong.
        const Qt::Key held = right ? Qt::Key_C : Qt::Key_V;
        QTest::keyPress(target(), held);
        QTest::keyPress(target(), Qt::Key_D);
        QTest::keyRelease(target(), Qt::Key_D);
        QVERIFY(d.keyboardFilter->bKeyDown); // D let go first: C still holds its note
        QCOMPARE(markOf(E4), right ? int(Blue) : int(Red));

        QTest::keyRelease(target(), held);
        QVERIFY(!d.keyboardFilter->bKeyDown);
        QCOMPARE(markOf(E4), right ? int(None) : int(Red));
        QCOMPARE(countMarks(Blue), 0);
        // The keyboard answers again.
        const int answers = d.exercise().nNotes + d.exercise().nErrors;
        QTest::keyPress(target(), Qt::Key_Z);
        QCOMPARE(d.exercise().nNotes + d.exercise().nErrors, answers + 1);
    }

    void pausedLettersReachTheDialog()
    {
        CTonveroDlg& d = runningOnE4();
        QTest::keyPress(target(), Qt::Key_Pause);
        QTest::keyRelease(target(), Qt::Key_Pause);
        QVERIFY(d.exercise().bPaused);
        QTest::keyClick(target(), Qt::Key_C);
        QVERIFY(m_recorder.saw(QEvent::KeyPress, Qt::Key_C));
        QVERIFY(m_recorder.saw(QEvent::KeyRelease, Qt::Key_C));
        QCOMPARE(d.exercise().nNotes, 0);

        QTest::keyClick(target(), Qt::Key_Pause);
        QVERIFY(!d.exercise().bPaused);
        QVERIFY(!m_recorder.saw(QEvent::KeyPress, Qt::Key_Pause));
        QVERIFY(!m_recorder.saw(QEvent::KeyRelease, Qt::Key_Pause));
    }

    void keyHeldIntoPauseIsReleased()
    {
        CTonveroDlg& d = runningOnE4();
        QTest::keyPress(target(), Qt::Key_C);
        QTest::keyClick(target(), Qt::Key_Pause);
        QTest::keyRelease(target(), Qt::Key_C);
        QCOMPARE(markOf(E4), int(None));
        QVERIFY(!d.keyboardFilter->bKeyDown);
        QTest::keyClick(target(), Qt::Key_Pause);
        QTest::keyPress(target(), Qt::Key_Z);
        QCOMPARE(d.exercise().nNotes, 2); // the next key answers again
    }

    void leavingTheWindowReleasesTheHeldKey()
    {
        CTonveroDlg& d = runningOnE4();
        QTest::keyPress(target(), Qt::Key_C);
        QEvent deactivate(QEvent::WindowDeactivate);
        QApplication::sendEvent(&d, &deactivate);
        // The key-up goes to another window; the note must not stay held.
        QCOMPARE(markOf(E4), int(None));
        QTest::keyPress(target(), Qt::Key_Z);
        QCOMPARE(d.exercise().nNotes, 2);
    }

    void keysOutsideTheMap_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("keyboardInput");
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("reaches");
        const std::pair<const char*, int> keys[] = {{"digit", Qt::Key_1}, {"arrow", Qt::Key_Left},
                                                    {"Tab", Qt::Key_Tab}, {"letter A", Qt::Key_A}};
        for (const auto& [name, key] : keys) {
            QTest::addRow("%s, note input active: swallowed", name) << key << true << true << false;
            QTest::addRow("%s, note input off: passed", name) << key << false << true << true;
            QTest::addRow("%s, idle: passed", name) << key << true << false << true;
        }
    }
    void keysOutsideTheMap()
    {
        QFETCH(int, key);
        QFETCH(bool, keyboardInput);
        QFETCH(bool, running);
        QFETCH(bool, reaches);
        CTonveroDlg& d = runningOnE4(keyboardInput);
        if (!running)
            d.StartStop(false);
        QTest::keyClick(target(), Qt::Key(key));
        QCOMPARE(m_recorder.saw(QEvent::KeyPress, key), reaches);
        QCOMPARE(m_recorder.saw(QEvent::KeyRelease, key), reaches);
        QCOMPARE(d.exercise().nNotes, 0);
        QCOMPARE(d.exercise().nErrors, 0);
    }

    void mappedKeysWithoutNoteInputAreNoAnswer()
    {
        CTonveroDlg& d = runningOnE4(false);
        QTest::keyClick(target(), Qt::Key_C);
        QCOMPARE(d.exercise().nNotes, 0);
        QVERIFY(m_recorder.saw(QEvent::KeyPress, Qt::Key_C));
        QTest::keyClick(target(), Qt::Key_Pause);
        QVERIFY(!d.exercise().bPaused);
    }

    void enterGoesToTheDialog()
    {
        // Enter is the dialog's: it presses the focused button (here «Остановить») and answers nothing.
        CTonveroDlg& d = runningOnE4();
        QTest::keyPress(target(), Qt::Key_Return);
        QVERIFY(m_recorder.saw(QEvent::KeyPress, Qt::Key_Return));
        QVERIFY(!d.exercise().bRunning);
        QCOMPARE(d.exercise().nNotes, 0);
        QCOMPARE(d.exercise().nErrors, 0);
        // The exercise has stopped, so the release is ordinary dialog input again.
        QTest::keyRelease(target(), Qt::Key_Return);
        QVERIFY(m_recorder.saw(QEvent::KeyRelease, Qt::Key_Return));
    }

    void escapeClosesTheWindow()
    {
        CTonveroDlg& d = runningOnE4();
        QTest::keyPress(target(), Qt::Key_Escape);
        QVERIFY(m_recorder.saw(QEvent::KeyPress, Qt::Key_Escape));
        QVERIFY(!d.isVisible());
        QTest::keyRelease(target(), Qt::Key_Escape);
        QVERIFY(!m_recorder.saw(QEvent::KeyRelease, Qt::Key_Escape));
    }

    void otherWindowsGetTheirKeys()
    {
        CTonveroDlg& d = runningOnE4();
        QLineEdit other;
        other.show();
        QTest::keyClicks(&other, QStringLiteral("cv"));
        QCOMPARE(other.text(), QStringLiteral("cv"));
        QCOMPARE(d.exercise().nNotes, 0);
        QCOMPARE(d.exercise().nErrors, 0);
    }
};

QTEST_MAIN(TestKeyboardInput)
#include "tst_keyboardinput.moc"
