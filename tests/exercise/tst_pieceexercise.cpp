// SPDX-License-Identifier: GPL-3.0-or-later
// A piece practised through the exercise model: its lines in order, the bars
// the answers are kept under, the clef each line brings, the end or the repeat.
#include "exercise/exercise.h"
#include "platform/ui/messagebox.h"
#include "settings/preferences.h"
#include "support/answerrecorder.h"

#include <QSignalSpy>
#include <QTest>
#include <memory>
#include <vector>

using namespace tonvero;
using piece::Fraction;

namespace {

using Recorder = AnswerRecorder;

music::Pitch pitchOf(int midi)
{
    return music::Pitch::fromMidi(midi, music::Key{});
}

// Four bars of 2/4 on a grand staff: the right hand plays two quarters a bar
// (C5 D5, E5 F5, G5 A5, B5 C6), the left a half note (C3, D3, E3, F3).
std::shared_ptr<const piece::Piece> fourBars()
{
    auto p = std::make_shared<piece::Piece>();
    piece::Part part;
    part.name = QStringLiteral("Piano");
    part.staves = 2;
    part.clefs = {{0, 0, Fraction(0), piece::ClefSign::G, 2, 0}, {1, 0, Fraction(0), piece::ClefSign::F, 4, 0}};
    const piece::TimeSig time{2, 4};
    const int right[] = {72, 74, 76, 77, 79, 81, 83, 84};
    const int left[] = {48, 50, 52, 53};
    for (int b = 0; b < 4; ++b) {
        p->bars.push_back({Fraction(2 * b), Fraction(2), time});
        part.keys.push_back(music::Key{});
        p->notes.push_back({0, 1, b, Fraction(2 * b), Fraction(2), pitchOf(left[b]), left[b], QStringLiteral("2")});
        for (int i = 0; i < 2; ++i) {
            const int m = right[2 * b + i];
            p->notes.push_back({0, 0, b, Fraction(2 * b + i), Fraction(1), pitchOf(m), m, QStringLiteral("1")});
        }
    }
    std::stable_sort(p->notes.begin(), p->notes.end(),
                     [](const piece::Note& a, const piece::Note& b) { return a.onset < b.onset; });
    p->parts.push_back(part);
    return p;
}

} // namespace

class TestPieceExercise : public QObject {
    Q_OBJECT

    std::unique_ptr<Preferences> m_prefs;
    std::unique_ptr<Exercise> m_ex;
    Recorder m_recorder;
    qint64 m_ms = 1000;

    Exercise& ex() { return *m_ex; }
    std::vector<int> notes() { return ex().phraseTask().expected(); }
    void playRight(AnswerSource source = AnswerSource::Piano)
    {
        const std::vector<int> keys = notes();
        for (int k : keys) {
            ex().AnswerNotePressed(k, source);
            m_ms += 10;
        }
        for (int k : keys)
            ex().AnswerNoteReleased(k);
    }
    void startWith(int hand, int first, int last, bool repeat)
    {
        piece::PieceSelection s;
        s.hand = hand;
        s.firstBar = first;
        s.lastBar = last;
        s.repeat = repeat;
        ex().setPiece(fourBars(), QStringLiteral("0123456789abcdef"), QStringLiteral("Scales"), s);
        ex().StartStop(false);
    }

private slots:
    void initTestCase()
    {
        platform::setMessageBoxHook([](const platform::MessageBoxCall&) {});
    }

    void init()
    {
        m_prefs = std::make_unique<Preferences>();
        m_prefs->nClef = 0;
        m_prefs->phrase.nExerciseKind = PhraseSettings::Piece;
        m_prefs->phrase.nPhraseBars = 2;
        m_prefs->bOnWrongNoteWaitTime = 0;
        m_ex = std::make_unique<Exercise>(*m_prefs);
        m_ex->setClock([this] { return m_ms; });
        m_recorder = Recorder{};
        m_ex->answers().addListener(&m_recorder);
    }

    void cleanup()
    {
        m_ex.reset();
        m_prefs.reset();
    }

    void playedThroughOnce_data()
    {
        QTest::addColumn<int>("hand");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("last");
        QTest::addColumn<std::vector<int>>("bars");    // of each answer
        QTest::addColumn<std::vector<int>>("clefs");   // of each line shown
        QTest::addColumn<std::vector<int>>("chords");  // notes of each answer's event
        QTest::addColumn<int>("events");
        using P = piece::PieceSelection;
        QTest::newRow("right hand, all bars") << int(P::Right) << 0 << -1 << std::vector<int>{0, 0, 1, 1, 2, 2, 3, 3}
                                              << std::vector<int>{0, 0} << std::vector<int>(8, 1) << 8;
        QTest::newRow("left hand, bars 2 to 3") << int(P::Left) << 1 << 2 << std::vector<int>{1, 2}
                                                << std::vector<int>{1} << std::vector<int>(2, 1) << 2;
        // Both hands: the first note of each bar is a chord with the left hand's note.
        QTest::newRow("both hands, the last bar") << int(P::Both) << 3 << 3 << std::vector<int>{3, 3, 3}
                                                  << std::vector<int>{3} << std::vector<int>{2, 2, 1} << 2;
    }
    void playedThroughOnce()
    {
        QFETCH(int, hand);
        QFETCH(int, first);
        QFETCH(int, last);
        QFETCH(std::vector<int>, bars);
        QFETCH(std::vector<int>, clefs);
        QFETCH(std::vector<int>, chords);
        QFETCH(int, events);
        std::vector<int> shownClefs;
        int linesShown = 0;
        connect(m_ex.get(), &Exercise::phraseClef, this, [&](int c) { shownClefs.push_back(c); });
        // The clef comes before its line.
        connect(m_ex.get(), &Exercise::phraseShown, this,
                [&] { QCOMPARE(int(shownClefs.size()), ++linesShown); });
        QSignalSpy finished(m_ex.get(), &Exercise::pieceFinished);
        QSignalSpy stopped(m_ex.get(), &Exercise::stopped);
        startWith(hand, first, last, false);
        QVERIFY(ex().pieceRunning());
        for (int i = 0; i < 20 && ex().bRunning; ++i)
            playRight();
        QVERIFY(!ex().bRunning);
        QCOMPARE(finished.count(), 1);
        QCOMPARE(stopped.count(), 1);
        QCOMPARE(shownClefs, clefs);

        QCOMPARE(m_recorder.started.size(), std::size_t(1));
        const ExerciseRecord& e = m_recorder.started.front();
        QCOMPARE(e.kind, ExerciseKind::Piece);
        QCOMPARE(e.pieceId, QStringLiteral("0123456789abcdef"));
        QCOMPARE(e.pieceTitle, QStringLiteral("Scales"));
        QCOMPARE(e.pieceBars, 4);
        // One record per note played, with its event's bar and size.
        std::vector<int> answerBars;
        std::vector<int> sizes;
        for (const AnswerRecord& a : m_recorder.answers) {
            QVERIFY(a.right);
            QCOMPARE(a.kind, ExerciseKind::Piece);
            QCOMPARE(a.pieceId, QStringLiteral("0123456789abcdef"));
            answerBars.push_back(a.bar);
            sizes.push_back(a.chordNotes);
        }
        QCOMPARE(answerBars, bars);
        QCOMPARE(sizes, chords);
        QCOMPARE(ex().nNotes, events);
        QCOMPARE(ex().nErrors, 0);
    }

    void repeatGoesBackToTheFirstBar()
    {
        QSignalSpy finished(m_ex.get(), &Exercise::pieceFinished);
        startWith(piece::PieceSelection::Right, 2, 3, true);
        for (int i = 0; i < 4; ++i)
            playRight();
        QVERIFY(ex().pieceRunning());
        QCOMPARE(finished.count(), 0);
        QCOMPARE(ex().phraseTask().pieceBar(), 2);
        QCOMPARE(notes(), std::vector<int>{79});
        ex().StartStop(false);
    }

    void aMissIsCountedInItsBar()
    {
        startWith(piece::PieceSelection::Right, 1, 1, false);
        ex().AnswerNotePressed(60, AnswerSource::Midi);
        ex().AnswerNoteReleased(60);
        QCOMPARE(ex().nErrors, 1);
        QCOMPARE(m_recorder.answers.back().right, false);
        QCOMPARE(m_recorder.answers.back().bar, 1);
        QCOMPARE(m_recorder.answers.back().shownNote, 76);
        playRight(AnswerSource::Midi);
        QCOMPARE(notes(), std::vector<int>{77});
        ex().StartStop(false);
    }

    void pauseBringsTheLineBackInItsClef()
    {
        startWith(piece::PieceSelection::Left, 0, -1, false);
        playRight();
        QSignalSpy clefs(m_ex.get(), &Exercise::phraseClef);
        QSignalSpy shown(m_ex.get(), &Exercise::phraseShown);
        ex().StartStop(true);
        ex().StartStop(true);
        QCOMPARE(clefs.count(), 1);
        QCOMPARE(clefs.front().front().toInt(), int(notation::Clef::Bass));
        QCOMPARE(shown.count(), 1);
        QCOMPARE(notes(), std::vector<int>{50});
        ex().StartStop(false);
    }

    void withoutAPieceOrItsNotesTheSingleNotesRun_data()
    {
        QTest::addColumn<bool>("withPiece");
        QTest::newRow("no piece open") << false;
        QTest::newRow("a selection with nothing to play") << true;
    }
    void withoutAPieceOrItsNotesTheSingleNotesRun()
    {
        QFETCH(bool, withPiece);
        if (withPiece) {
            auto empty = std::make_shared<piece::Piece>(*fourBars());
            std::erase_if(empty->notes, [](const piece::Note& n) { return n.staff == 1; });
            piece::PieceSelection s;
            s.hand = piece::PieceSelection::Left;
            ex().setPiece(empty, QStringLiteral("id"), QStringLiteral("t"), s);
        }
        QSignalSpy note(m_ex.get(), &Exercise::noteShown);
        ex().StartStop(false);
        QVERIFY(ex().bRunning);
        QVERIFY(!ex().phraseRunning());
        QCOMPARE(note.count(), 1);
        QCOMPARE(m_recorder.started.front().kind, ExerciseKind::SingleNote);
        ex().StartStop(false);
    }

    void thePhraseKindIgnoresThePiece()
    {
        m_prefs->phrase.nExerciseKind = PhraseSettings::Phrase;
        startWith(piece::PieceSelection::Right, 0, -1, false);
        QVERIFY(ex().phraseRunning());
        QVERIFY(!ex().pieceRunning());
        QVERIFY(!ex().phraseTask().fromPiece());
        ex().StartStop(false);
    }
};

QTEST_GUILESS_MAIN(TestPieceExercise)
#include "tst_pieceexercise.moc"
