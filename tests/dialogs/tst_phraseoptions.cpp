// SPDX-License-Identifier: GPL-3.0-or-later
// The kind radios of the options: a stored choice of pieces survives any
// other edit, and pieces can be chosen only while one is open.
#include "dialogs/phraseoptions.h"
#include "settings/preferences.h"
#include "support/testenv.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QTest>
#include <memory>

using tonvero::PhraseSettings;
using tonvero::Preferences;

class TestPhraseOptions : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempConfigHome> m_home;

private slots:
    void init() { m_home = std::make_unique<testsupport::TempConfigHome>(); }
    void cleanup() { m_home.reset(); }

    void kindSurvivesOtherEdits_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("pieceOpen");
        QTest::addColumn<bool>("pieceEnabled");
        QTest::newRow("single notes, no piece") << int(PhraseSettings::SingleNote) << false << false;
        QTest::newRow("phrases, a piece open") << int(PhraseSettings::Phrase) << true << true;
        QTest::newRow("pieces, the piece open") << int(PhraseSettings::Piece) << true << true;
        // Stored, but the piece is not read yet: the choice is kept and shown.
        QTest::newRow("pieces, no piece open") << int(PhraseSettings::Piece) << false << true;
    }
    void kindSurvivesOtherEdits()
    {
        QFETCH(int, kind);
        QFETCH(bool, pieceOpen);
        QFETCH(bool, pieceEnabled);
        Preferences prefs;
        prefs.phrase.nExerciseKind = kind;
        PhraseOptions options(prefs);
        options.setPieceAvailable(pieceOpen);
        QCOMPARE(options.singleNoteButton()->isChecked(), kind == PhraseSettings::SingleNote);
        QCOMPARE(options.phraseButton()->isChecked(), kind == PhraseSettings::Phrase);
        QCOMPARE(options.pieceButton()->isChecked(), kind == PhraseSettings::Piece);
        QCOMPARE(options.pieceButton()->isEnabled(), pieceEnabled);
        options.restsBox()->toggle();
        QCOMPARE(prefs.phrase.nExerciseKind, kind);
    }

    void choosingAndLeavingPieces()
    {
        Preferences prefs;
        PhraseOptions options(prefs);
        options.setPieceAvailable(true);
        options.pieceButton()->click();
        QCOMPARE(prefs.phrase.nExerciseKind, int(PhraseSettings::Piece));
        options.setPieceAvailable(false);
        QVERIFY(options.pieceButton()->isEnabled()); // still the choice
        options.phraseButton()->click();
        QCOMPARE(prefs.phrase.nExerciseKind, int(PhraseSettings::Phrase));
        QVERIFY(!options.pieceButton()->isEnabled());
        // The menu chose pieces meanwhile.
        prefs.phrase.nExerciseKind = PhraseSettings::Piece;
        options.refresh();
        QVERIFY(options.pieceButton()->isChecked() && options.pieceButton()->isEnabled());
    }
};

QTEST_MAIN(TestPhraseOptions)
#include "tst_phraseoptions.moc"
