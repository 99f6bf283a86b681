// SPDX-License-Identifier: GPL-3.0-or-later
// The phrase exercise in the window: chosen from the menu, the stave takes the
// line and the room it needs, a pause leaves an empty staff, a stop gives the
// single note its stave back; the kind cannot change under a running exercise.
#include "controls/stavectrl.h"
#include "exercise/exercise.h"
#include "exercisehelpers.h"
#include "settings/preferences.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>

using namespace tonvero;
using namespace exercisehelpers;

class TestPhraseWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempConfigHome> m_home;

    static QAction* action(CTonveroDlg& d, const char* text)
    {
        for (QAction* a : d.findChildren<QAction*>())
            if (a->text() == QString::fromUtf8(text))
                return a;
        return nullptr;
    }

private slots:
    void init() { m_home = std::make_unique<testsupport::TempConfigHome>(); }
    void cleanup() { m_home.reset(); }

    void menuChoosesTheKindAndTheStaveFollows_data()
    {
        QTest::addColumn<int>("clef");
        QTest::addColumn<int>("bars");
        QTest::newRow("treble, two bars") << int(CmdClefTreble) << 2;
        QTest::newRow("grand staff, four bars") << int(CmdClefTrebleBass) << 4;
    }
    void menuChoosesTheKindAndTheStaveFollows()
    {
        QFETCH(int, clef);
        QFETCH(int, bars);
        auto d = openWindow();
        d->OnCommand(clef);
        d->preferences().phrase.nPhraseBars = bars;
        const QSize single = d->stave->size();
        QAction* phrase = action(*d, "Фраза");
        QAction* notes = action(*d, "Отдельные ноты");
        QVERIFY(phrase && notes);
        QVERIFY(notes->isChecked());
        phrase->trigger();
        QVERIFY(d->preferences().phraseExercise());
        QVERIFY(phrase->isChecked());

        d->StartStop(false);
        QVERIFY(d->exercise().phraseRunning());
        QVERIFY(d->stave->showsPhrase());
        QCOMPARE(d->stave->height(), d->stave->phraseSizeHint(bars).height());
        QVERIFY(d->stave->width() > single.width());
        QVERIFY(!d->stave->phraseLayout().events.empty());
        QVERIFY(d->stave->geometry().left() >= 0);
        QVERIFY(d->stave->geometry().right() < d->client()->width());
        QVERIFY(d->stave->phraseLayout().width * d->stave->phraseSpace() <= d->stave->width());
        // The kind stays as it started until the exercise ends.
        QVERIFY(!notes->isEnabled());

        // A right answer moves the cursor on the stave.
        const int before = d->stave->phraseCursor();
        const std::vector<int> chord = d->exercise().phraseTask().expected();
        for (int n : chord)
            d->OnNoteOn(n, false);
        for (int n : chord)
            d->OnNoteOff(n);
        QCOMPARE(d->stave->phraseCursor(), d->exercise().phraseTask().cursor());
        QVERIFY(d->stave->phraseCursor() != before || d->exercise().phraseTask().cursor() == 0);

        d->StartStop(true);
        QVERIFY(d->stave->showsPhrase());
        QVERIFY(d->stave->phraseLayout().noteheads.empty());
        QVERIFY(!d->stave->phraseLayout().keySignature.empty() || d->exercise().phraseTask().key().fifths() == 0);
        d->StartStop(true);
        QVERIFY(!d->stave->phraseLayout().noteheads.empty());

        d->StartStop(false);
        QVERIFY(!d->stave->showsPhrase());
        QCOMPARE(d->stave->size(), single);
        QVERIFY(notes->isEnabled());
        notes->trigger();
        QVERIFY(!d->preferences().phraseExercise());
    }

    void aWrongNoteNamesTheMissedNotesUnderTheLine()
    {
        auto d = openWindow();
        d->preferences().phrase.nExerciseKind = PhraseSettings::Phrase;
        d->preferences().bShowNoteName = 0;
        d->preferences().bOnWrongNoteWaitTime = 0;
        d->StartStop(false);
        const std::vector<int> chord = d->exercise().phraseTask().expected();
        d->OnNoteOn(chord.front() + 1 == chord.back() ? chord.back() + 1 : chord.front() + 1, false);
        QLabel* name = d->noteNameLabel();
        QVERIFY(!name->text().isEmpty());
        QVERIFY(name->isVisible());
        const QRect onStave = d->stave->geometry();
        QVERIFY(name->geometry().width() > 0);
        QVERIFY(onStave.contains(name->geometry().center()));
        d->StartStop(false);
    }
};

QTEST_MAIN(TestPhraseWindow)
#include "tst_phrasewindow.moc"
