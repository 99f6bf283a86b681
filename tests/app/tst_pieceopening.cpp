// SPDX-License-Identifier: GPL-3.0-or-later
// Opening pieces in the window: the file dialog, the recent list, a drop, the
// command line and the start-up; a file that cannot be read changes nothing.
#include "app/pieceopener.h"
#include "controls/stavectrl.h"
#include "dialogs/pieceoptions.h"
#include "exercise/exercise.h"
#include "exercisehelpers.h"
#include "app/noticeline.h"
#include "settings/piecesettings.h"
#include "settings/preferences.h"

#include <QAction>
#include <QCheckBox>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QUrl>

using namespace tonvero;
using namespace exercisehelpers;

namespace {

QString bundled(const char* file)
{
    return testsupport::sourceDir() + QStringLiteral("/res/pieces/") + QLatin1String(file);
}

PieceSettings stored()
{
    PieceSettings s;
    s.load();
    return s;
}

} // namespace

class TestPieceOpening : public QObject {
    Q_OBJECT

    std::unique_ptr<testsupport::TempConfigHome> m_home;
    QStringList m_boxes;
    int m_dialogs = 0;

    // The window with message boxes and the piece dialog answered by the test.
    std::unique_ptr<CTonveroDlg> window(bool acceptDialog = true)
    {
        auto d = openWindow();
        platform::setMessageBoxHook([this](const platform::MessageBoxCall& call) { m_boxes << call.text; });
        d->pieces()->setSelectionDialog([this, acceptDialog](dialogs::PieceOptions& dialog) {
            ++m_dialogs;
            dialog.repeatBox()->setChecked(true);
            return acceptDialog;
        });
        return d;
    }

private slots:
    void init()
    {
        m_home = std::make_unique<testsupport::TempConfigHome>();
        m_boxes.clear();
        m_dialogs = 0;
    }
    void cleanup()
    {
        platform::setMessageBoxHook({});
        m_home.reset();
    }

    void commandLineArgument_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("piece");
        QTest::newRow("none") << QStringList{"tonvero"} << QString();
        QTest::newRow("a file") << QStringList{"tonvero", "song.musicxml"} << QStringLiteral("song.musicxml");
        QTest::newRow("after options") << QStringList{"tonvero", "-style", "--reverse", "/a/b.mid"} << QStringLiteral("/a/b.mid");
        QTest::newRow("a name like an option after --") << QStringList{"tonvero", "--", "-x.xml"} << QStringLiteral("-x.xml");
        QTest::newRow("a file URL") << QStringList{"tonvero", "file:///home/u/%D0%B0.mxl"} << QStringLiteral("/home/u/а.mxl");
        QTest::newRow("only options") << QStringList{"tonvero", "--help"} << QString();
    }
    void commandLineArgument()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, piece);
        QCOMPARE(pieceFileArgument(arguments), piece);
    }

    void tellsPieceFiles_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("piece");
        QTest::newRow("MusicXML") << "a.musicxml" << QByteArray("<?xml version=\"1.0\"?><score-partwise/>") << true;
        QTest::newRow("MIDI by its header, any name") << "a.bin" << QByteArray("MThd\0\0\0\x06", 8) << true;
        QTest::newRow("ZIP by its header") << "a.mxl" << QByteArray("PK\x03\x04rest") << true;
        QTest::newRow("a text") << "notes.txt" << QByteArray("do re mi") << false;
        QTest::newRow("a picture") << "a.png" << QByteArray("\x89PNG\r\n") << false;
    }
    void tellsPieceFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, piece);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        QVERIFY(testsupport::writeFile(path, bytes));
        QCOMPARE(isPieceFile(path), piece);
        QVERIFY(!isPieceFile(dir.filePath(QStringLiteral("missing.musicxml"))));
        QVERIFY(!isPieceFile(dir.path()));
    }

    void openFromTheMenu()
    {
        auto d = window();
        QAction* kindPiece = d->menuAction(CmdKindPiece);
        QVERIFY(kindPiece && !kindPiece->isEnabled());
        QVERIFY(!d->menuAction(CmdPieceOptions)->isEnabled());
        QString startDir;
        d->pieces()->setFileChooser([&startDir](const QString& dir) {
            startDir = dir;
            return bundled("twinkle.musicxml");
        });
        QCOMPARE(d->menuAction(CmdOpenPiece)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
        d->menuAction(CmdOpenPiece)->trigger();

        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(QLatin1Char('\n'))));
        QCOMPARE(m_dialogs, 1);
        QVERIFY(!startDir.isEmpty());
        QVERIFY(d->exercise().hasPiece());
        QVERIFY(!d->exercise().pieceId().isEmpty());
        QCOMPARE(d->exercise().pieceSelection().repeat, true);
        QVERIFY(d->preferences().pieceExercise());
        QVERIFY(kindPiece->isEnabled() && kindPiece->isChecked());
        QCOMPARE(kindPiece->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_3));
        QVERIFY(d->menuAction(CmdPieceOptions)->isEnabled());
        // Stored at once: a crash later does not lose it.
        const PieceSettings s = stored();
        QCOMPARE(s.sPiecePath, bundled("twinkle.musicxml"));
        QCOMPARE(s.recent, QStringList{bundled("twinkle.musicxml")});
        QCOMPARE(s.bPieceRepeat, 1);
        PhraseSettings kind;
        kind.load();
        QCOMPARE(kind.nExerciseKind, int(PhraseSettings::Piece));

        // Single notes and back to the piece from the menu.
        d->OnCommand(CmdKindSingleNote);
        QVERIFY(!d->preferences().pieceExercise());
        d->OnCommand(CmdKindPiece);
        QVERIFY(d->preferences().pieceExercise());

        // The piece dialog again changes the selection of the same piece.
        const QString id = d->exercise().pieceId();
        d->pieces()->setSelectionDialog([](dialogs::PieceOptions& dialog) {
            dialog.firstBarBox()->setValue(3);
            return true;
        });
        d->menuAction(CmdPieceOptions)->trigger();
        QCOMPARE(d->exercise().pieceId(), id);
        QCOMPARE(d->exercise().pieceSelection().firstBar, 2);
        QCOMPARE(stored().nPieceFirstBar, 2);
    }

    void cancelledDialogChangesNothing()
    {
        auto d = window(false);
        QVERIFY(!d->OpenPiece(bundled("ode-to-joy.musicxml")));
        QCOMPARE(m_dialogs, 1);
        QVERIFY(!d->exercise().hasPiece());
        QVERIFY(!d->preferences().pieceExercise());
        QVERIFY(stored().recent.isEmpty());
    }

    void brokenFileKeepsThePreviousPiece_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("name");
        QTest::newRow("cut short") << QByteArray("<?xml version=\"1.0\"?><score-partwise><part id=\"P1\"><measure>")
                                   << "cut.musicxml";
        QTest::newRow("no notes") << QByteArray("<?xml version=\"1.0\"?><score-partwise version=\"4.0\"><part-list>"
                                                "<score-part id=\"P1\"/></part-list><part id=\"P1\"><measure>"
                                                "<attributes><divisions>1</divisions></attributes></measure>"
                                                "</part></score-partwise>")
                                  << "empty.musicxml";
        QTest::newRow("missing") << QByteArray() << "";
    }
    void brokenFileKeepsThePreviousPiece()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, name);
        auto d = window();
        QVERIFY(d->OpenPiece(bundled("frere-jacques.musicxml")));
        const QString id = d->exercise().pieceId();
        const PieceSettings before = stored();
        const PieceSettings inMemory = d->preferences().piece;

        QTemporaryDir dir;
        const QString path = dir.filePath(name.isEmpty() ? QStringLiteral("gone.musicxml") : name);
        if (!name.isEmpty())
            QVERIFY(testsupport::writeFile(path, bytes));
        QVERIFY(!d->OpenPiece(path));
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY2(m_boxes.first().contains(QFileInfo(path).fileName()), qPrintable(m_boxes.first()));
        QCOMPARE(m_dialogs, 1);
        QCOMPARE(d->exercise().pieceId(), id);
        QVERIFY(d->preferences().pieceExercise());
        QCOMPARE(d->preferences().piece, inMemory);
        QCOMPARE(stored(), before);
    }

    void recentListDropsAMissingFile()
    {
        QTemporaryDir dir;
        const QString gone = dir.filePath(QStringLiteral("gone.musicxml"));
        {
            PieceSettings s;
            s.recent = {gone, bundled("greensleeves.musicxml")};
            QVERIFY(s.save());
        }
        auto d = window();
        QMenu* recent = d->pieces()->recentMenu();
        QVERIFY(recent);
        emit recent->aboutToShow();
        QCOMPARE(recent->actions().size(), 2);
        QVERIFY(recent->actions().at(0)->text().contains(QStringLiteral("gone.musicxml")));
        recent->actions().at(0)->trigger();
        QCOMPARE(m_boxes.size(), 1);
        QVERIFY(m_boxes.first().contains(QDir::toNativeSeparators(gone)));
        QVERIFY(!d->exercise().hasPiece());
        QCOMPARE(d->preferences().piece.recent, QStringList{bundled("greensleeves.musicxml")});
        QCOMPARE(stored().recent, QStringList{bundled("greensleeves.musicxml")});
        emit recent->aboutToShow();
        QCOMPARE(recent->actions().size(), 1);

        // The one still there opens.
        recent->actions().at(0)->trigger();
        QVERIFY(d->exercise().hasPiece());
        QCOMPARE(m_boxes.size(), 1);
    }

    void bundledMenuOpensATune()
    {
        auto d = window();
        QMenu* tunes = d->pieces()->bundledMenu();
        QVERIFY(tunes);
        emit tunes->aboutToShow();
        QCOMPARE(tunes->actions().size(), int(bundledPieces().size()));
        tunes->actions().at(0)->trigger();
        QVERIFY2(m_boxes.isEmpty(), qPrintable(m_boxes.join(QLatin1Char('\n'))));
        QVERIFY(d->exercise().hasPiece());
    }

    void drop_data()
    {
        QTest::addColumn<QString>("file"); // empty: a remote address
        QTest::addColumn<bool>("accepted");
        QTest::newRow("a piece") << bundled("au-clair-de-la-lune.musicxml") << true;
        QTest::newRow("a text file") << testsupport::sourceDir() + QStringLiteral("/res/ReadMe.txt") << false;
        QTest::newRow("a remote address") << QString() << false;
    }
    void drop()
    {
        QFETCH(QString, file);
        QFETCH(bool, accepted);
        auto d = window();
        QMimeData data;
        data.setUrls({file.isEmpty() ? QUrl(QStringLiteral("https://example.org/a.musicxml")) : QUrl::fromLocalFile(file)});
        const QPoint at = d->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(d.get(), &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(d.get(), &dropped);
        if (accepted)
            QTRY_VERIFY(d->exercise().hasPiece());
        QTest::qWait(20);
        QCOMPARE(d->exercise().hasPiece(), accepted);
        QVERIFY(m_boxes.isEmpty());
    }

    void nothingOpensWhileRunning()
    {
        auto d = window();
        useInstruments(*d, true, false, false);
        d->StartStop(false);
        QVERIFY(d->exercise().bRunning);
        QVERIFY(!d->menuAction(CmdOpenPiece)->isEnabled());
        QVERIFY(!d->pieces()->recentMenu()->isEnabled());
        QVERIFY(!d->OpenPiece(bundled("twinkle.musicxml")));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(bundled("twinkle.musicxml"))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(d.get(), &enter);
        QVERIFY(!enter.isAccepted());
        d->StartStop(false);
        QVERIFY(d->menuAction(CmdOpenPiece)->isEnabled());
        QCOMPARE(m_dialogs, 0);
    }

    void startUpReadsTheStoredPiece_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("read");
        QTest::newRow("still there") << bundled("vo-pole-beryoza.musicxml") << true;
        QTest::newRow("gone") << QStringLiteral("/nonexistent/gone.musicxml") << false;
        QTest::newRow("never stored") << QString() << false;
    }
    void startUpReadsTheStoredPiece()
    {
        QFETCH(QString, path);
        QFETCH(bool, read);
        {
            Preferences p;
            p.load();
            p.phrase.nExerciseKind = PhraseSettings::Piece;
            p.piece.sPiecePath = path;
            p.piece.nPieceFirstBar = 1;
            QVERIFY(p.save());
        }
        auto d = window();
        QCOMPARE(m_dialogs, 0); // asked nothing at start
        QCOMPARE(d->exercise().hasPiece(), read);
        QCOMPARE(d->preferences().pieceExercise(), read);
        QCOMPARE(d->menuAction(read ? CmdKindPiece : CmdKindSingleNote)->isChecked(), true);
        if (read) {
            QCOMPARE(d->exercise().pieceSelection().firstBar, 1);
        } else {
            QVERIFY(m_boxes.isEmpty()); // said on the line, not in a box
            QVERIFY2(d->notices()->currentText().contains(QStringLiteral("отдельные ноты")),
                     qPrintable(d->notices()->currentText()));
            // The path is kept for when the file is back.
            QCOMPARE(d->preferences().piece.sPiecePath, path);
        }
    }

    void pieceClefIsTheStavesOnly()
    {
        auto d = window();
        useInstruments(*d, true, false, false);
        d->OnCommand(CmdClefTreble);
        d->StartStop(false);
        emit d->exercise().phraseClef(int(CStaveCtrl::Bass));
        QCOMPARE(CStaveCtrl::nClef, int(CStaveCtrl::Bass));
        QCOMPARE(d->preferences().nClef, int(CStaveCtrl::Treble));
        QVERIFY(d->menuAction(CmdClefTreble)->isChecked());
        d->StartStop(false);
        QCOMPARE(CStaveCtrl::nClef, int(CStaveCtrl::Treble));
    }

    // The whole way: a two-hand tune opened, its first bar played on the grand
    // staff, the stop said, the user's treble clef and the stave's size back.
    void aPieceIsPlayedThroughInTheWindow()
    {
        auto d = window();
        useInstruments(*d, true, false, false);
        d->OnCommand(CmdClefTreble);
        const QSize single = d->stave->size();
        QVERIFY(d->OpenPiece(bundled("au-clair-de-la-lune.musicxml")));
        Exercise& e = d->exercise();
        piece::PieceSelection firstBar;
        firstBar.lastBar = 0;
        e.setPiece(std::make_shared<const piece::Piece>(*e.currentPiece()), e.pieceId(), QStringLiteral("Au clair"),
                   firstBar);
        d->StartStop(false);
        QVERIFY(e.pieceRunning());
        QCOMPARE(CStaveCtrl::nClef, int(CStaveCtrl::TrebleBass));
        QVERIFY(d->stave->showsPhrase());
        QVERIFY(d->stave->width() > single.width());
        int events = 0;
        while (e.bRunning && events < 40) {
            const std::vector<int> notes = e.phraseTask().expected();
            QVERIFY(!notes.empty());
            for (int n : notes)
                e.AnswerNotePressed(n, AnswerSource::Piano);
            for (int n : notes)
                e.AnswerNoteReleased(n);
            ++events;
        }
        QVERIFY(!e.bRunning);
        QCOMPARE(e.nErrors, 0);
        QVERIFY2(d->notices()->currentText().contains(QStringLiteral("Пьеса сыграна")),
                 qPrintable(d->notices()->currentText()));
        QCOMPARE(CStaveCtrl::nClef, int(CStaveCtrl::Treble));
        QCOMPARE(d->preferences().nClef, int(CStaveCtrl::Treble));
        QCOMPARE(d->stave->size(), single);
    }

    void finishedPieceIsSaid()
    {
        auto d = window();
        emit d->exercise().pieceFinished();
        QVERIFY2(d->notices()->currentText().contains(QStringLiteral("Пьеса сыграна")),
                 qPrintable(d->notices()->currentText()));
    }
};

QTEST_MAIN(TestPieceOpening)
#include "tst_pieceopening.moc"
