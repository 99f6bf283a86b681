// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "app/keyboardfilter.h"
#include "exercisehelpers.h"

#include "app/language.h"
#include "app/noticeline.h"
#include "controls/accessibleinstrument.h"
#include "dialogs/aboutdlg.h"
#include "dialogs/dialogoptions.h"
#include "dialogs/statisticsdlg.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QSet>
#include <map>

using namespace tonvero;
using namespace exercisehelpers;

namespace {

// What a screen reader says a widget is: its name, else the label it is tied to.
QString spokenName(QAccessibleInterface* a)
{
    const QString name = a->text(QAccessible::Name).trimmed();
    if (!name.isEmpty())
        return name;
    for (const auto& [label, relation] : a->relations(QAccessible::Label))
        if (label && !label->text(QAccessible::Name).trimmed().isEmpty())
            return label->text(QAccessible::Name).trimmed();
    return {};
}

bool reachableByTab(const QWidget* w)
{
    // A spin box's own edit hands the focus on to the box.
    return w->isVisible() && w->isEnabled() && (w->focusPolicy() & Qt::TabFocus) && !w->focusProxy();
}

// Walks the accessible tree from a window, as a screen reader does, and lists
// the widgets met that Tab reaches, with what would be said of them.
void walk(QAccessibleInterface* a, std::map<QWidget*, QString>& said, int depth = 0)
{
    if (!a || depth > 30)
        return;
    if (auto* w = qobject_cast<QWidget*>(a->object()); w && reachableByTab(w))
        said[w] = spokenName(a);
    for (int i = 0; i < a->childCount(); ++i)
        walk(a->child(i), said, depth + 1);
}

// Every widget of the window that Tab reaches is in the tree and has something said of it.
void checkEveryControlIsNamed(QWidget* window, int atLeast)
{
    std::map<QWidget*, QString> said;
    walk(QAccessible::queryAccessibleInterface(window), said);
    const QList<QWidget*> widgets = window->findChildren<QWidget*>();
    int focusable = 0;
    for (QWidget* w : widgets) {
        if (!reachableByTab(w) || w->window() != window)
            continue;
        ++focusable;
        const auto it = said.find(w);
        QVERIFY2(it != said.end(), qPrintable(QStringLiteral("%1 (%2) is not in the accessible tree")
                                                  .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName())));
        QVERIFY2(!it->second.isEmpty(), qPrintable(QStringLiteral("%1 (%2) has no accessible name")
                                                       .arg(QString::fromLatin1(w->metaObject()->className()), w->objectName())));
    }
    QVERIFY(focusable >= atLeast);
}

// Presses Tab from the focused widget until it comes back; the widgets in between, in order.
QList<QWidget*> tabCycle(QWidget* window)
{
    QList<QWidget*> cycle;
    QWidget* start = window->focusWidget();
    for (int i = 0; i < 100; ++i) {
        QTest::keyClick(window->focusWidget(), Qt::Key_Tab);
        QWidget* now = window->focusWidget();
        cycle << now;
        if (now == start)
            break;
    }
    return cycle;
}

bool activate(QWidget* w)
{
    w->activateWindow();
    QApplication::setActiveWindow(w);
    return QTest::qWaitForWindowActive(w);
}

enum class State { Idle, Running, Paused };

} // namespace

class TestAccessibility : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::TempConfigHome> m_home;
    std::unique_ptr<CTonveroDlg> m_dlg;
    QList<QPair<QObject*, QString>> m_values;

    CTonveroDlg& window()
    {
        m_dlg = openWindow();
        m_dlg->resize(1000, 820);
        if (!activate(m_dlg.get()))
            qWarning("main window not active");
        return *m_dlg;
    }

    QWidget* focus() const { return QApplication::focusWidget(); }

    void key(int k, Qt::KeyboardModifiers mods = {}) { QTest::keyClick(focus(), Qt::Key(k), mods); }

    void tabTo(QWidget* target)
    {
        for (int i = 0; i < 30 && focus() != target; ++i)
            key(Qt::Key_Tab);
    }

    // Arrows, as a player would press them, from the key under focus to the note.
    void pianoTo(CPianoCtrl& piano, int note)
    {
        // Bounded: keys that do not arrive must fail the test, not hang it.
        for (int i = 0; i < 10 && piano.focusNote() - note >= 12; ++i)
            key(Qt::Key_Down);
        for (int i = 0; i < 10 && note - piano.focusNote() >= 12; ++i)
            key(Qt::Key_Up);
        for (int i = 0; i < 12 && piano.focusNote() < note; ++i)
            key(Qt::Key_Right);
        for (int i = 0; i < 12 && piano.focusNote() > note; ++i)
            key(Qt::Key_Left);
    }

    // To a string that has the note, then along it.
    void fretboardTo(CGuitarCtrl& board, const FretboardLayoutTable& layout, int note)
    {
        const int k = CInstrumentCtrl::KeyIndexFromNote(note);
        int string = -1;
        for (int s = 0; s < layout[0] && string < 0; ++s)
            if (k >= layout[2 + s] && k - layout[2 + s] < layout[1])
                string = s;
        QVERIFY(string >= 0);
        for (int i = 0; i < 6 && board.focusString() < string; ++i)
            key(Qt::Key_Down);
        for (int i = 0; i < 6 && board.focusString() > string; ++i)
            key(Qt::Key_Up);
        key(Qt::Key_Home);
        for (int i = 0; i < 25 && board.focusNote() < note; ++i)
            key(Qt::Key_Right);
    }

private slots:
    void init()
    {
        m_home = std::make_unique<testsupport::TempConfigHome>();
        m_values.clear();
        accessibility::setEventWatcher([this](QAccessibleEvent& e) {
            if (e.type() == QAccessible::ValueChanged)
                m_values.append({e.object(), QAccessible::queryAccessibleInterface(e.object())->text(QAccessible::Value)});
        });
    }
    void cleanup()
    {
        accessibility::setEventWatcher({});
        m_dlg.reset();
        platform::setMessageBoxHook({});
        m_home.reset();
    }

    void pianoExerciseWithTheKeyboardAlone_data()
    {
        QTest::addColumn<bool>("keyboardInput");
        QTest::addColumn<bool>("hint");
        QTest::addColumn<int>("playKey");
        QTest::newRow("space") << false << false << int(Qt::Key_Space);
        QTest::newRow("enter") << false << false << int(Qt::Key_Return);
        QTest::newRow("space, letters as notes too") << true << false << int(Qt::Key_Space);
        QTest::newRow("enter, letters as notes too") << true << false << int(Qt::Key_Return);
        QTest::newRow("hint mode") << false << true << int(Qt::Key_Space);
    }
    void pianoExerciseWithTheKeyboardAlone()
    {
        QFETCH(bool, keyboardInput);
        QFETCH(bool, hint);
        QFETCH(int, playKey);
        CTonveroDlg& d = window();
        useInstruments(d, true, false, false);
        useCommonTrebleRange(d);
        d.preferences().bNoteInputFromCompKeyboard = keyboardInput;
        d.preferences().bHintMode = hint;

        // Tab to the piano before the start: the letters take the keys once it runs.
        d.startButton()->setFocus();
        tabTo(d.piano.get());
        QCOMPARE(focus(), d.piano.get());
        key(Qt::Key_F5);
        QVERIFY(d.exercise().bRunning);
        QCOMPARE(focus(), d.piano.get());

        const int expected = expectedNote(d);
        key(Qt::Key_End); // from the top, so that the way down is long
        pianoTo(*d.piano, expected);
        QCOMPARE(d.piano->focusNote(), expected);
        QAccessibleInterface* piano = QAccessible::queryAccessibleInterface(d.piano.get());
        const QString name = accessibility::spokenNote(expected);
        QCOMPARE(piano->text(QAccessible::Value), name);
        QCOMPARE(m_values.last(), qMakePair(static_cast<QObject*>(d.piano.get()), name));
        QCOMPARE(d.exercise().nNotes + d.exercise().nErrors, 0); // moving answers nothing

        m_values.clear();
        QTest::keyPress(focus(), Qt::Key(playKey));
        QCOMPARE(d.exercise().nNotes, 1);
        QCOMPARE(d.exercise().nErrors, 0);
        // The key under focus says what became of it.
        QCOMPARE(markOf(expected), hint ? int(Green) : int(Blue));
        QCOMPARE(piano->text(QAccessible::Value),
                 name + (hint ? QStringLiteral(" — нужно сыграть") : QStringLiteral(" — сыграна верно")));
        QVERIFY(m_values.contains(qMakePair(static_cast<QObject*>(d.piano.get()), piano->text(QAccessible::Value))));
        // In hint mode the next note waits for the release.
        if (hint)
            QTest::keyRelease(focus(), Qt::Key(playKey));
        // The next note is on the stave, and the stave said so.
        bool staveSpoke = false;
        for (const auto& [object, value] : m_values)
            staveSpoke |= object == d.stave.get();
        QVERIFY(staveSpoke);
        if (!hint)
            QTest::keyRelease(focus(), Qt::Key(playKey));
        QCOMPARE(markOf(expected), int(None));
        QCOMPARE(d.exercise().nNotes, 1);
        QVERIFY(d.exercise().bRunning);

        if (keyboardInput) {
            // The letters still answer, once each, with the piano focused.
            constexpr Qt::Key byPitchClass[12] = {Qt::Key_Z, Qt::Key_S, Qt::Key_X, Qt::Key_D, Qt::Key_C, Qt::Key_V,
                                                  Qt::Key_G, Qt::Key_B, Qt::Key_H, Qt::Key_N, Qt::Key_J, Qt::Key_M};
            QTest::keyClick(focus(), byPitchClass[expectedNote(d) % 12]);
            QCOMPARE(d.exercise().nNotes, 2);
            QCOMPARE(d.exercise().nErrors, 0);
            // Tab is still no way out while the letters play.
            key(Qt::Key_Tab);
            QCOMPARE(focus(), d.piano.get());
        }
        key(Qt::Key_F5);
        QVERIFY(!d.exercise().bRunning);
    }

    void fretboardExerciseWithTheKeyboardAlone_data()
    {
        QTest::addColumn<int>("id");
        QTest::newRow("guitar") << int(CInstrumentCtrl::GuitarId);
        QTest::newRow("bass") << int(CInstrumentCtrl::BassId);
    }
    void fretboardExerciseWithTheKeyboardAlone()
    {
        QFETCH(int, id);
        CTonveroDlg& d = window();
        const bool guitar = id == CInstrumentCtrl::GuitarId;
        useInstruments(d, false, guitar, !guitar);
        d.UpdateNoteBounds();
        useCommonTrebleRange(d, 31, 48);
        d.startButton()->setFocus();
        key(Qt::Key_F5);
        QVERIFY(d.exercise().bRunning);
        CGuitarCtrl& board = guitar ? *d.guitar : *d.bass;
        tabTo(&board);
        QCOMPARE(focus(), &board);

        const int expected = expectedNote(d);
        fretboardTo(board, guitar ? d.GuitarLayout : d.BassLayout, expected);
        QCOMPARE(board.focusNote(), expected);
        QTest::keyPress(focus(), Qt::Key_Space);
        QCOMPARE(d.exercise().nNotes, 1);
        QCOMPARE(d.exercise().nErrors, 0);
        QCOMPARE(markOf(expected), int(Blue));
        QTest::keyRelease(focus(), Qt::Key_Space);
        QCOMPARE(markOf(expected), int(None));

        // A wrong note, one fret away, counts as an error.
        key(board.focusFret() > 0 ? Qt::Key_Left : Qt::Key_Right);
        if (board.focusNote() == expectedNote(d)) {
            key(Qt::Key_Right);
            key(Qt::Key_Right);
        }
        QTest::keyClick(focus(), Qt::Key_Space);
        QCOMPARE(d.exercise().nErrors, 1);
    }

    void staveClefFromTheKeyboard_data()
    {
        QTest::addColumn<bool>("running");
        QTest::addColumn<bool>("keyboardInput");
        QTest::addColumn<int>("key");
        QTest::newRow("idle, space") << false << false << int(Qt::Key_Space);
        QTest::newRow("idle, enter") << false << false << int(Qt::Key_Return);
        QTest::newRow("running, letters as notes, space") << true << true << int(Qt::Key_Space);
        QTest::newRow("running, letters as notes, enter") << true << true << int(Qt::Key_Return);
    }
    void staveClefFromTheKeyboard()
    {
        QFETCH(bool, running);
        QFETCH(bool, keyboardInput);
        QFETCH(int, key);
        CTonveroDlg& d = window();
        d.preferences().bNoteInputFromCompKeyboard = keyboardInput;
        d.OnClef(CmdClefTreble);
        if (running)
            d.StartStop(false);
        d.stave->setFocus();
        QTest::keyClick(focus(), Qt::Key(key));
        QCOMPARE(CStaveCtrl::nClef, int(CStaveCtrl::Bass));
        // The menu follows, as after a click.
        QVERIFY(d.menuAction(CmdClefBass)->isChecked());
        QCOMPARE(d.exercise().bRunning, running);
        QCOMPARE(d.exercise().nNotes + d.exercise().nErrors, 0);
    }

    void shortcutsInEveryState_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("keyboardInput");
        QTest::addColumn<bool>("onPiano");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<int>("stateAfter");
        QTest::addColumn<QString>("opens");
        const std::pair<const char*, State> states[] = {
            {"idle", State::Idle}, {"running", State::Running}, {"paused", State::Paused}};
        for (const auto& [stateName, state] : states) {
            for (bool keyboardInput : {false, true}) {
                for (bool onPiano : {false, true}) {
                    const QByteArray where = QByteArray(stateName) + (keyboardInput ? ", letters as notes" : "")
                        + (onPiano ? ", piano focused" : ", button focused");
                    auto row = [&](const char* what, int k, int mods, State after, const char* opens) {
                        QTest::addRow("%s: %s", what, where.constData())
                            << int(state) << keyboardInput << onPiano << k << mods << int(after) << QString::fromLatin1(opens);
                    };
                    row("F5", Qt::Key_F5, 0, state == State::Idle ? State::Running : State::Idle, "");
                    row("F6", Qt::Key_F6, 0,
                        state == State::Idle ? State::Idle : state == State::Running ? State::Paused : State::Running, "");
                    row("Ctrl+comma", Qt::Key_Comma, Qt::ControlModifier, state, "options");
                    row("Ctrl+T", Qt::Key_T, Qt::ControlModifier, state, "statistics");
                    // The guide is drawn over an idle window: it stops a running exercise.
                    row("F1", Qt::Key_F1, 0, State::Idle, "help");
                    row("Ctrl+Q", Qt::Key_Q, Qt::ControlModifier, state, "closed");
                }
            }
        }
    }
    void shortcutsInEveryState()
    {
        QFETCH(int, state);
        QFETCH(bool, keyboardInput);
        QFETCH(bool, onPiano);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(int, stateAfter);
        QFETCH(QString, opens);
        CTonveroDlg& d = window();
        d.preferences().bNoteInputFromCompKeyboard = keyboardInput;
        if (State(state) != State::Idle)
            d.StartStop(false);
        if (State(state) == State::Paused)
            d.StartStop(true);
        (onPiano ? static_cast<QWidget*>(d.piano.get()) : d.startButton())->setFocus();

        // The statistics window is modal: close it as soon as it shows.
        QString modal;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&modal] {
            if (QWidget* m = QApplication::activeModalWidget()) {
                modal = QString::fromLatin1(m->metaObject()->className());
                m->close();
            }
        });
        closer.start(20);
        const int answers = d.exercise().nNotes + d.exercise().nErrors;
        QTest::keyClick(focus(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        closer.stop();

        if (opens == QLatin1String("closed")) {
            QVERIFY(!d.isVisible());
            return;
        }
        QVERIFY(d.isVisible());
        QCOMPARE(d.exercise().bRunning, State(stateAfter) != State::Idle);
        QCOMPARE(d.exercise().bRunning && d.exercise().bPaused, State(stateAfter) == State::Paused);
        QCOMPARE(d.exercise().nNotes + d.exercise().nErrors, answers); // no key was taken for a note
        QCOMPARE(d.pOptions && d.pOptions->isVisible(), opens == QLatin1String("options"));
        QCOMPARE(modal, opens == QLatin1String("statistics") ? QStringLiteral("StatisticsDialog") : QString());
        QCOMPARE(d.helpOverlay()->isVisible(), opens == QLatin1String("help"));
    }

    void shortcutsAreShown_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<QKeySequence>("keys");
        QTest::newRow("options") << int(CmdOptions) << QKeySequence(Qt::CTRL | Qt::Key_Comma);
        QTest::newRow("statistics") << int(CmdStatistics) << QKeySequence(Qt::CTRL | Qt::Key_T);
        QTest::newRow("help") << int(CmdHelp) << QKeySequence(Qt::Key_F1);
        QTest::newRow("exit") << int(CmdExit) << QKeySequence(Qt::CTRL | Qt::Key_Q);
    }
    void shortcutsAreShown()
    {
        QFETCH(int, command);
        QFETCH(QKeySequence, keys);
        CTonveroDlg& d = window();
        // A menu item shows the keys of its action.
        QAction* action = d.menuAction(command);
        QVERIFY(action);
        QCOMPARE(action->shortcut(), keys);
        // Start and pause have no menu item: the start button tells them.
        const QString tip = d.startButton()->toolTip();
        QVERIFY2(tip.contains(QStringLiteral("F5")) && tip.contains(QStringLiteral("F6")), qPrintable(tip));
    }

    void functionKeysAreNoNotes_data()
    {
        // Native scan codes as X and Wayland give them (evdev code + 8).
        QTest::addColumn<int>("key");
        QTest::addColumn<uint>("scanCode");
        QTest::newRow("F2") << int(Qt::Key_F2) << 68u;
        QTest::newRow("F9") << int(Qt::Key_F9) << 75u;
        QTest::newRow("F7") << int(Qt::Key_F7) << 73u;
        QTest::newRow("F12") << int(Qt::Key_F12) << 96u;
    }
    void functionKeysAreNoNotes()
    {
        QFETCH(int, key);
        QFETCH(uint, scanCode);
        CTonveroDlg& d = window();
        d.preferences().bNoteInputFromCompKeyboard = 1;
        d.StartStop(false);
        d.startButton()->setFocus();
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent e(type, key, Qt::NoModifier, scanCode, 0, 0);
            QApplication::sendEvent(focus(), &e);
        }
        QCOMPARE(d.exercise().nNotes + d.exercise().nErrors, 0);
        QVERIFY(d.exercise().bRunning);
        QVERIFY(!d.keyboardFilter->bKeyDown);
    }

    void tabOrderOfTheMainWindow_data()
    {
        QTest::addColumn<bool>("running");
        QTest::newRow("idle") << false;
        QTest::newRow("running, piano and guitar") << true;
    }
    void tabOrderOfTheMainWindow()
    {
        QFETCH(bool, running);
        CTonveroDlg& d = window();
        useInstruments(d, true, true, false);
        if (running)
            d.StartStop(false);
        d.startButton()->setFocus();
        const QList<QWidget*> cycle = tabCycle(&d);
        QList<QWidget*> expected{d.item(IdcTime), d.item(IdcNotes), d.item(IdcErrors), d.stave.get(), d.piano.get()};
        if (!running)
            expected << d.pianoBox;
        expected << d.guitar.get();
        if (!running)
            expected << d.guitarBox << d.bass.get() << d.bassBox;
        expected << d.startButton();
        // The notice line, when it says something, has a button of its own.
        QList<QWidget*> ours = cycle;
        ours.removeIf([&d](QWidget* w) { return d.notices()->isAncestorOf(w); });
        QCOMPARE(ours, expected);
        for (QWidget* w : d.findChildren<QWidget*>())
            if (reachableByTab(w))
                QVERIFY2(cycle.contains(w), qPrintable(w->objectName()));
    }

    void tabOrderOfTheOptions()
    {
        CTonveroDlg& d = window();
        d.OpenOptions();
        DialogOptions& o = *d.pOptions;
        QVERIFY(activate(&o));
        o.item(DialogOptions::IdcOk)->setFocus();
        const QList<QWidget*> cycle = tabCycle(&o);
        QCOMPARE(cycle.last(), o.item(DialogOptions::IdcOk));
        // Tab reaches everything that can take the focus.
        for (QWidget* w : o.findChildren<QWidget*>())
            if (reachableByTab(w))
                QVERIFY2(cycle.contains(w), qPrintable(QStringLiteral("%1 %2").arg(w->metaObject()->className(), w->objectName())));
        // The fixed items column by column, then the sections in their order.
        using D = DialogOptions;
        QList<QWidget*> fixed;
        for (int id : {D::IdcHint, D::IdcTraining, D::IdcExam, D::IdcMinutes, D::IdcShowNoteName, D::IdcBeep,
                       D::IdcStatistics, D::IdcBlackKeys, D::IdcCompKeyboard, D::IdcWaitTime, D::IdcWaitRight,
                       D::IdcSeconds, D::IdcMidiOut, D::IdcOutDevice, D::IdcInstrument, D::IdcMidiIn, D::IdcInDevice,
                       D::IdcMidiControl})
            if (reachableByTab(o.item(id)))
                fixed << o.item(id);
        QList<QWidget*> seenFixed;
        int lastSection = -1;
        for (QWidget* w : cycle) {
            if (fixed.contains(w)) {
                QCOMPARE(lastSection, -1); // no fixed item after a section
                seenFixed << w;
            }
            for (int s = 0; s < int(o.sections().size()); ++s) {
                if (o.sections()[size_t(s)]->isAncestorOf(w)) {
                    QVERIFY(s >= lastSection);
                    lastSection = s;
                }
            }
        }
        QCOMPARE(seenFixed, fixed);
        QCOMPARE(lastSection, int(o.sections().size()) - 1);
    }

    void upAndDownStepTheNumberFields_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("delayMs");
        QTest::newRow("minutes up") << int(DialogOptions::IdcMinutes) << int(Qt::Key_Up) << 3 << 2000;
        QTest::newRow("minutes down") << int(DialogOptions::IdcMinutes) << int(Qt::Key_Down) << 1 << 2000;
        QTest::newRow("seconds up") << int(DialogOptions::IdcSeconds) << int(Qt::Key_Up) << 2 << 3000;
        QTest::newRow("seconds down") << int(DialogOptions::IdcSeconds) << int(Qt::Key_Down) << 2 << 1000;
    }
    void upAndDownStepTheNumberFields()
    {
        QFETCH(int, field);
        QFETCH(int, key);
        QFETCH(int, minutes);
        QFETCH(int, delayMs);
        CTonveroDlg& d = window();
        d.preferences().bExamMode = 1; // the minutes field is on in exam mode only
        d.OpenOptions();
        DialogOptions& o = *d.pOptions;
        QVERIFY(activate(&o));
        o.item(field)->setFocus();
        QTest::keyClick(o.item(field), Qt::Key(key));
        QCOMPARE(d.preferences().nMinutes, minutes);
        QCOMPARE(d.preferences().nTimerDelay, delayMs);
    }

    void everyControlHasAName_data()
    {
        QTest::addColumn<QString>("window");
        QTest::newRow("main window, idle") << "main";
        QTest::newRow("main window, running") << "running";
        QTest::newRow("options") << "options";
        QTest::newRow("statistics") << "statistics";
        QTest::newRow("about") << "about";
    }
    void everyControlHasAName()
    {
        QFETCH(QString, window);
        CTonveroDlg& d = this->window();
        if (window == QLatin1String("main")) {
            checkEveryControlIsNamed(&d, 11);
        } else if (window == QLatin1String("running")) {
            useInstruments(d, true, true, true);
            d.StartStop(false);
            checkEveryControlIsNamed(&d, 8);
        } else if (window == QLatin1String("options")) {
            d.OpenOptions();
            QVERIFY(QTest::qWaitForWindowExposed(d.pOptions));
            checkEveryControlIsNamed(d.pOptions, 25);
        } else if (window == QLatin1String("statistics")) {
            StatisticsDialog stats(*d.history(), CStaveCtrl::nClef, 0, &d);
            stats.show();
            QVERIFY(QTest::qWaitForWindowExposed(&stats));
            checkEveryControlIsNamed(&stats, 8);
        } else {
            CAboutDlg about(&d);
            about.show();
            QVERIFY(QTest::qWaitForWindowExposed(&about));
            checkEveryControlIsNamed(&about, 3);
        }
    }

    void namesSayWhatTheTextsDoNot()
    {
        CTonveroDlg& d = window();
        auto said = [](QWidget* w) { return spokenName(QAccessible::queryAccessibleInterface(w)); };
        QCOMPARE(said(d.item(IdcTime)), QStringLiteral("Время"));
        QCOMPARE(said(d.item(IdcNotes)), QStringLiteral("Ноты"));
        QCOMPARE(said(d.item(IdcErrors)), QStringLiteral("Ошибки"));
        QCOMPARE(said(d.noteNameLabel()), QStringLiteral("Название ноты"));
        QVERIFY(said(d.stave.get()).startsWith(QStringLiteral("Нотный стан, ")));
        QVERIFY(!QAccessible::queryAccessibleInterface(d.startButton())->text(QAccessible::Description).isEmpty());
        d.OpenOptions();
        DialogOptions& o = *d.pOptions;
        auto* minutes = o.itemAs<platform::UpDownArrows>(DialogOptions::IdcMinutesArrows);
        QCOMPARE(said(minutes->upButton()), QStringLiteral("Прибавить минуту"));
        QCOMPARE(said(minutes->downButton()), QStringLiteral("Убавить минуту"));
        // Three boxes read «включить» on the screen; each says what it switches on.
        QStringList boxes;
        for (int id : {DialogOptions::IdcMidiOut, DialogOptions::IdcMidiIn, DialogOptions::IdcMidiControl})
            boxes << said(o.item(id));
        QCOMPARE(QSet<QString>(boxes.begin(), boxes.end()).size(), 3);
        // The lists are tied to a label, as the desktop's screen reader looks for it.
        for (int id : {DialogOptions::IdcOutDevice, DialogOptions::IdcInDevice, DialogOptions::IdcInstrument}) {
            const auto labels = QAccessible::queryAccessibleInterface(o.item(id))->relations(QAccessible::Label);
            QCOMPARE(labels.size(), 1);
            QVERIFY(!labels.first().first->text(QAccessible::Name).isEmpty());
        }
    }

    void spokenNotesFollowTheLanguage_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("Russian") << int(QLocale::Russian)
                                 << QStringList{"До диез 4", "Си бемоль 4", "Ми 4 — нужно сыграть",
                                                "2-я струна, 3-й лад: Ре 5", "Скрипичный ключ: Соль 4"};
        QTest::newRow("English") << int(QLocale::English)
                                 << QStringList{"C sharp 4", "B flat 4", "E 4 — to play", "string 2, fret 3: D 5",
                                                "Treble clef: G 4"};
    }
    void spokenNotesFollowTheLanguage()
    {
        QFETCH(int, language);
        QFETCH(QStringList, said);
        Translations translations;
        translations.install(QLocale::Language(language));
        CTonveroDlg& d = window();
        // The clef first: outside an exercise it puts the piano back to its ranges.
        d.stave->SetClef(CStaveCtrl::Treble);
        d.stave->SetNotes(67, -1, -1, -1, 0);
        d.piano->SetKeyboardMode(true);
        QVERIFY(d.piano->setFocusNote(64));
        d.piano->SetNoteState(64, Green);
        QVERIFY(d.guitar->setFocusNote(74));
        auto value = [](QWidget* w) { return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Value); };
        const QStringList heard{accessibility::spokenNote(61), accessibility::spokenNote(70, accessibility::Spelling::Flat),
                                value(d.piano.get()), value(d.guitar.get()), value(d.stave.get())};
        m_dlg.reset();
        translations.install(QLocale::Russian);
        translations.remove();
        QCOMPARE(heard, said);
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
