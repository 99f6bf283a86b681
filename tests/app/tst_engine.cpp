// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "exercise/notedraw.h"
#include "exercisehelpers.h"

#include <QPushButton>
#include <QSet>

using namespace tonvero;
using namespace exercisehelpers;

class TestEngine : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::TempConfigHome> m_home;
    std::unique_ptr<CTonveroDlg> m_dlg;

    // All three instruments in the exercise, one treble range they all have.
    CTonveroDlg& readyWindow()
    {
        m_dlg = openWindow();
        useInstruments(*m_dlg, true, true, true);
        useCommonTrebleRange(*m_dlg);
        return *m_dlg;
    }

    CInstrumentCtrl* instrument(int id) const
    {
        switch (id) {
        case CInstrumentCtrl::GuitarId: return m_dlg->guitar.get();
        case CInstrumentCtrl::BassId: return m_dlg->bass.get();
        default: return m_dlg->piano.get();
        }
    }

    QPoint pointOn(int id, int note) const
    {
        if (id == CInstrumentCtrl::PianoId)
            return pointForNote(*m_dlg->piano, note);
        return pointForNote(*static_cast<CGuitarCtrl*>(instrument(id)), note);
    }

    int wrongNoteOn(int id, int expected) const
    {
        if (id == CInstrumentCtrl::PianoId)
            return wrongNoteNear(*m_dlg->piano, expected);
        return wrongNoteNear(*static_cast<CGuitarCtrl*>(instrument(id)), expected);
    }

    void press(int id, int note)
    {
        const QPoint at = pointOn(id, note);
        QVERIFY2(!at.isNull(), qPrintable(QStringLiteral("note %1 not on instrument %2").arg(note).arg(id)));
        QTest::mousePress(instrument(id), Qt::LeftButton, {}, at);
    }

    void release(int id, int note)
    {
        QTest::mouseRelease(instrument(id), Qt::LeftButton, {}, pointOn(id, note));
    }

    void verifyFretboardsShow(int note, int mark)
    {
        QCOMPARE(m_dlg->guitar->CurrentNote(), note);
        QCOMPARE(m_dlg->bass->CurrentNote(), note);
        QCOMPARE(markOf(note), mark);
    }

    static void addInstrumentRows(bool withWaitColumn)
    {
        QTest::addColumn<int>("instrumentId");
        if (withWaitColumn)
            QTest::addColumn<bool>("waitAfterWrong");
        const std::pair<const char*, int> instruments[] = {{"piano", CInstrumentCtrl::PianoId},
                                                           {"guitar", CInstrumentCtrl::GuitarId},
                                                           {"bass", CInstrumentCtrl::BassId}};
        for (const auto& [name, id] : instruments) {
            if (!withWaitColumn) {
                QTest::newRow(name) << id;
                continue;
            }
            QTest::addRow("%s, next note after the delay", name) << id << true;
            QTest::addRow("%s, note stays until right", name) << id << false;
        }
    }

private slots:
    void init()
    {
        m_home = std::make_unique<testsupport::TempConfigHome>();
    }
    void cleanup()
    {
        m_dlg.reset();
        m_home.reset();
    }

    void drawStaysInRangeAndNeverRepeats_data()
    {
        QTest::addColumn<int>("clef");
        QTest::addColumn<bool>("blackKeys");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::newRow("treble, all keys") << int(CStaveCtrl::Treble) << true << 27 << 67;
        QTest::newRow("treble, white keys") << int(CStaveCtrl::Treble) << false << 27 << 67;
        QTest::newRow("bass, two keys") << int(CStaveCtrl::Bass) << true << 20 << 21;
        QTest::newRow("one key, widened for the draw") << int(CStaveCtrl::Treble) << true << 40 << 40;
        QTest::newRow("one black key, white keys only") << int(CStaveCtrl::Alto) << false << 37 << 37;
    }
    void drawStaysInRangeAndNeverRepeats()
    {
        QFETCH(int, clef);
        QFETCH(bool, blackKeys);
        QFETCH(int, low);
        QFETCH(int, high);
        CTonveroDlg& d = readyWindow();
        d.OnClef(CStaveCtrl::ClefMenuBase + clef);
        d.SetRange(0, low, high);
        d.preferences().bUseBlackKeys = blackKeys;
        const notedraw::StaffRange allowed = notedraw::normaliseRangeForDraw(
            low, high, blackKeys, [](int k) { return CInstrumentCtrl::KeyTable[k].isWhite != 0; });
        QSet<int> seen;
        for (int i = 0; i < 300; ++i) {
            const int previous = d.exercise().nCurNote;
            d.exercise().nCurNote = d.exercise().ChooseNextNote();
            QCOMPARE(d.exercise().nCurStaff, 0);
            QVERIFY(d.exercise().nCurNote != previous);
            QVERIFY(allowed.contains(d.exercise().nCurNote));
            if (!blackKeys)
                QVERIFY(CInstrumentCtrl::KeyTable[d.exercise().nCurNote].isWhite);
            seen.insert(d.exercise().nCurNote);
        }
        QVERIFY(seen.size() >= 2);
    }

    void grandStaveDrawsBothStaffs()
    {
        CTonveroDlg& d = readyWindow();
        d.OnClef(CmdClefTrebleBass);
        d.SetRange(0, 40, 80);
        d.SetRange(1, 0, 40);
        int lower = 0;
        const int draws = 2000;
        for (int i = 0; i < draws; ++i) {
            d.exercise().nCurNote = d.exercise().ChooseNextNote();
            const int s = d.exercise().nCurStaff;
            QVERIFY(d.exercise().nCurNote >= d.piano->GetRangeLow(s) && d.exercise().nCurNote <= d.piano->GetRangeHigh(s));
            lower += s;
        }
        QVERIFY2(lower > draws * 4 / 10 && lower < draws * 6 / 10, qPrintable(QString::number(lower)));
    }

    void startShowsOneNoteAndKeyboard()
    {
        CTonveroDlg& d = readyWindow();
        d.exercise().anErrorWeight[0][60] = 5;
        d.exercise().anErrorWeight[1][80] = 5;
        d.StartStop(false);
        QVERIFY(d.exercise().bRunning);
        QVERIFY(!d.exercise().bPaused);
        QCOMPARE(d.startButton()->text(), QStringLiteral("Остановить"));
        QVERIFY(d.piano->IsKeyboardMode());
        QVERIFY(CInstrumentCtrl::PlayMode);
        QCOMPARE(d.stave->NoteSlot(0), d.exercise().nCurNote);
        QVERIFY(d.stave->NoteSlot(1) < 0 && d.stave->NoteSlot(2) < 0 && d.stave->NoteSlot(3) < 0);
        QCOMPARE(d.exercise().anErrorWeight[0][60], 0);
        QCOMPARE(d.exercise().anErrorWeight[1][80], 0);
        QVERIFY(d.exercise().timers.IsActive(2));
        QCOMPARE(d.exercise().timers.Period(2), 100);
    }

    void rightAnswer_data() { addInstrumentRows(true); }
    void rightAnswer()
    {
        QFETCH(int, instrumentId);
        QFETCH(bool, waitAfterWrong);
        CTonveroDlg& d = readyWindow();
        d.preferences().bOnWrongNoteWaitTime = waitAfterWrong;
        d.StartStop(false);
        const int expected = expectedNote(d);
        d.exercise().anErrorWeight[0][d.exercise().nCurNote] = 3;

        press(instrumentId, expected);
        QCOMPARE(d.exercise().nNotes, 1);
        QCOMPARE(d.exercise().nErrors, 0);
        QVERIFY(!d.exercise().bWrongPending);
        verifyFretboardsShow(expected, Blue);
        QCOMPARE(d.exercise().anErrorWeight[0][CInstrumentCtrl::KeyIndexFromNote(expected)], 2);
        // The next note is on the stave already.
        QVERIFY(d.exercise().nCurNote != CInstrumentCtrl::KeyIndexFromNote(expected));
        QCOMPARE(d.stave->NoteSlot(0), d.exercise().nCurNote);
        QVERIFY(noteNameShown(d).isEmpty());

        release(instrumentId, expected);
        QCOMPARE(markOf(expected), int(None));
        QCOMPARE(d.exercise().nNotes, 1);
    }

    void wrongAnswer_data() { addInstrumentRows(true); }
    void wrongAnswer()
    {
        QFETCH(int, instrumentId);
        QFETCH(bool, waitAfterWrong);
        CTonveroDlg& d = readyWindow();
        d.preferences().bOnWrongNoteWaitTime = waitAfterWrong;
        d.preferences().nTimerDelay = 1500;
        d.StartStop(false);
        const int expected = expectedNote(d);
        const int played = wrongNoteOn(instrumentId, expected);
        QVERIFY(played > 0);

        press(instrumentId, played);
        QCOMPARE(d.exercise().nErrors, 1);
        QCOMPARE(d.exercise().nNotes, waitAfterWrong ? 1 : 0);
        QVERIFY(d.exercise().bWrongPending);
        QCOMPARE(markOf(played), int(Blue));
        verifyFretboardsShow(expected, Red);
        QVERIFY(!noteNameShown(d).isEmpty());
        QCOMPARE(noteNameShown(d), d.strNoteName);
        QCOMPARE(d.stave->NoteSlot(0), CInstrumentCtrl::KeyIndexFromNote(expected));
        QCOMPARE(d.exercise().timers.IsActive(1), waitAfterWrong);
        if (waitAfterWrong)
            QCOMPARE(d.exercise().timers.Period(1), 1500);

        release(instrumentId, played);
        QCOMPARE(markOf(played), int(None));
        verifyFretboardsShow(expected, Red);

        // The right note now: ignored while waiting, accepted otherwise.
        press(instrumentId, expected);
        QCOMPARE(d.exercise().nErrors, 1);
        QCOMPARE(d.exercise().nNotes, 1);
        if (!waitAfterWrong) {
            QVERIFY(!d.exercise().bWrongPending);
            QVERIFY(d.exercise().nCurNote != CInstrumentCtrl::KeyIndexFromNote(expected));
            release(instrumentId, expected);
            return;
        }
        QVERIFY(d.exercise().bWrongPending);
        QCOMPARE(d.stave->NoteSlot(0), CInstrumentCtrl::KeyIndexFromNote(expected));
        QCOMPARE(markOf(expected), int(Red));
        release(instrumentId, expected);

        d.exercise().timers.Fire(1);
        QVERIFY(!d.exercise().timers.IsActive(1));
        QVERIFY(!d.exercise().bWrongPending);
        QCOMPARE(countMarks(Red) + countMarks(Blue) + countMarks(Green), 0);
        QVERIFY(noteNameShown(d).isEmpty());
        QVERIFY(d.exercise().nCurNote != CInstrumentCtrl::KeyIndexFromNote(expected));
        QCOMPARE(d.stave->NoteSlot(0), d.exercise().nCurNote);
        QCOMPARE(d.exercise().nNotes, 1);
        QCOMPARE(d.exercise().nErrors, 1);
    }

    void wrongAnswerKeepsNameWhenNamesShown()
    {
        CTonveroDlg& d = readyWindow();
        d.preferences().bShowNoteName = 1;
        d.StartStop(false);
        const int expected = expectedNote(d);
        d.OnNoteOn(wrongNoteNear(*d.piano, expected), false);
        d.exercise().timers.Fire(1);
        // The new note's own name is shown.
        QCOMPARE(noteNameShown(d), d.strNoteName);
        QVERIFY(!noteNameShown(d).isEmpty());
    }

    void wrongAnswerWeighsTheMissedNote()
    {
        CTonveroDlg& d = readyWindow();
        d.StartStop(false);
        const int missed = d.exercise().nCurNote;
        d.OnNoteOn(-1, false);
        QCOMPARE(d.exercise().anErrorWeight[0][missed], 2 * d.piano->GetRangeSize(0));
        QCOMPARE(countMarks(Blue), 0); // nothing played on the piano
        QCOMPARE(countMarks(Red), 1);
    }

    void hintMode_data() { addInstrumentRows(false); }
    void hintMode()
    {
        QFETCH(int, instrumentId);
        CTonveroDlg& d = readyWindow();
        d.preferences().bHintMode = 1;
        d.StartStop(false);
        for (int round = 1; round <= 3; ++round) {
            const int expected = expectedNote(d);
            // Any note counts: the right one in the middle round, others before and after.
            const int played = round == 2 ? expected : wrongNoteOn(instrumentId, expected);
            press(instrumentId, played);
            QCOMPARE(d.exercise().nNotes, round);
            QCOMPARE(d.exercise().nErrors, 0);
            QVERIFY(!d.exercise().bWrongPending);
            verifyFretboardsShow(expected, Green);
            QCOMPARE(d.stave->NoteSlot(0), CInstrumentCtrl::KeyIndexFromNote(expected));

            release(instrumentId, played);
            QCOMPARE(markOf(expected), int(None));
            QVERIFY(d.exercise().nCurNote != CInstrumentCtrl::KeyIndexFromNote(expected));
            QCOMPARE(d.stave->NoteSlot(0), d.exercise().nCurNote);
        }
        QCOMPARE(d.exercise().nErrors, 0);
    }

    void pauseHidesNoteAndResumeDrawsNew()
    {
        CTonveroDlg& d = readyWindow();
        d.StartStop(false);
        const int before = d.exercise().nCurNote;
        d.exercise().anErrorWeight[0][30] = 2;
        d.exercise().anErrorWeight[1][70] = 1;

        d.StartStop(true);
        QVERIFY(d.exercise().bPaused);
        QVERIFY(d.exercise().bRunning);
        for (int slot = 0; slot < 4; ++slot)
            QVERIFY(d.stave->NoteSlot(slot) < 0);
        QVERIFY(!d.exercise().timers.IsActive(2));
        QVERIFY(d.guitar->CurrentNote() == 0 && d.bass->CurrentNote() == 0);

        d.StartStop(true);
        QVERIFY(!d.exercise().bPaused);
        QVERIFY(d.exercise().nCurNote != before);
        QCOMPARE(d.stave->NoteSlot(0), d.exercise().nCurNote);
        QVERIFY(d.exercise().timers.IsActive(2));
        // A resume lowers every weight, above key 51 too.
        QCOMPARE(d.exercise().anErrorWeight[0][30], 1);
        QCOMPARE(d.exercise().anErrorWeight[1][70], 0);
    }

    void resumeWithWrongAnswerPendingGoesOn_data()
    {
        QTest::addColumn<bool>("waitAfterWrong");
        QTest::newRow("delay starts again") << true;
        QTest::newRow("note shown again until right") << false;
    }
    void resumeWithWrongAnswerPendingGoesOn()
    {
        QFETCH(bool, waitAfterWrong);
        CTonveroDlg& d = readyWindow();
        d.preferences().bOnWrongNoteWaitTime = waitAfterWrong;
        d.StartStop(false);
        const int expected = expectedNote(d);
        d.OnNoteOn(wrongNoteNear(*d.piano, expected), false);
        d.OnNoteOff(wrongNoteNear(*d.piano, expected));

        d.StartStop(true);
        QVERIFY(!d.exercise().timers.IsActive(1));
        d.StartStop(true);

        // The missed note is back, marked as it was, its name shown.
        QCOMPARE(d.stave->NoteSlot(0), CInstrumentCtrl::KeyIndexFromNote(expected));
        verifyFretboardsShow(expected, Red);
        QCOMPARE(noteNameShown(d), d.strNoteName);
        QCOMPARE(d.exercise().timers.IsActive(1), waitAfterWrong);
        if (waitAfterWrong)
            d.exercise().timers.Fire(1);
        else
            d.OnNoteOn(expected, false);
        QVERIFY(!d.exercise().bWrongPending);
        QVERIFY(d.exercise().nCurNote != CInstrumentCtrl::KeyIndexFromNote(expected));
        QCOMPARE(d.stave->NoteSlot(0), d.exercise().nCurNote);
        QCOMPARE(d.exercise().nNotes, 1);
        QCOMPARE(d.exercise().nErrors, 1);
    }

    void stopKeepsStatisticsAndShowsRanges()
    {
        CTonveroDlg& d = readyWindow();
        d.preferences().bOnWrongNoteWaitTime = 1;
        d.StartStop(false);
        d.OnNoteOn(expectedNote(d), false);
        d.OnNoteOff(CInstrumentCtrl::NoteFromKeyIndex(d.exercise().nCurNote) - 100); // a stray release does nothing harmful
        d.OnNoteOn(-1, false);
        d.exercise().timers.Fire(2);
        const QString time = d.exercise().clock.strTime;
        const QString errors = d.itemAs<QLineEdit>(IdcErrors)->text();
        QCOMPARE(errors, QStringLiteral("1 (50%)"));

        d.StartStop(false);
        QVERIFY(!d.exercise().bRunning);
        QVERIFY(!d.exercise().bWrongPending);
        QVERIFY(!d.exercise().timers.IsActive(1));
        QVERIFY(!d.exercise().timers.IsActive(2));
        QCOMPARE(d.exercise().nNotes, 2);
        QCOMPARE(d.exercise().nErrors, 1);
        QCOMPARE(d.itemAs<QLineEdit>(IdcTime)->text(), time);
        QCOMPARE(d.itemAs<QLineEdit>(IdcErrors)->text(), errors);
        QCOMPARE(d.startButton()->text(), QStringLiteral("Начать"));
        QVERIFY(noteNameShown(d).isEmpty());
        QVERIFY(!d.piano->IsKeyboardMode());
        QVERIFY(!CInstrumentCtrl::PlayMode);
        QCOMPARE(countMarks(Red) + countMarks(Blue), 0);
        QCOMPARE(d.stave->NoteSlot(0), d.piano->GetRangeLow(0));
        QCOMPARE(d.stave->NoteSlot(1), d.piano->GetRangeHigh(0));

        // Notes while idle are not judged.
        d.OnNoteOn(60, false);
        QCOMPARE(d.exercise().nNotes, 2);
    }
};

QTEST_MAIN(TestEngine)
#include "tst_engine.moc"
