// SPDX-License-Identifier: GPL-3.0-or-later
// Marks that differ by shape: what each mark means, which picture each control
// draws for it, and that switching them redraws every control at once while
// the colour marks stay as they were.
#include "controls/guitarctrl.h"
#include "controls/pianoctrl.h"
#include "controls/stavectrl.h"
#include "platform/ui/bitmap.h"

#include <QPainter>
#include <QtTest>

#include <memory>

namespace {

using Steps = QList<QPoint>; // (note, mark); note 0 leaves keyboard mode and comes back
using Meanings = QList<QPoint>; // (note, MarkMeaning)

constexpr int ToPlay = int(MarkMeaning::ToPlay);
constexpr int Right = int(MarkMeaning::PlayedRight);
constexpr int Wrong = int(MarkMeaning::PlayedWrong);
constexpr int Nothing = int(MarkMeaning::Nothing);

QImage rgb(const QImage& img)
{
    return img.convertToFormat(QImage::Format_RGB32);
}

// The keyboard with each marked key's picture laid by hand where KeyTable puts it.
QImage keyboardWith(const QList<QPair<int, int>>& keysAndPictures)
{
    const int* layout = CPianoCtrl::DefaultLayout().data();
    // Composed as the control composes it, on a premultiplied surface.
    QImage img = platform::LoadBitmap(layout[28]).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    for (const auto& [key, picture] : keysAndPictures) {
        const KeyInfo& info = CInstrumentCtrl::KeyTable[key];
        p.drawImage(QPoint(info.x, info.y), platform::LoadBitmap(picture));
    }
    p.end();
    return rgb(img);
}

int shapePicture(int key, int meaning)
{
    const bool white = CInstrumentCtrl::KeyTable[key].isWhite;
    return (white ? CInstrumentCtrl::ShapeMarkWhitePictures : CInstrumentCtrl::ShapeMarkBlackPictures) + meaning;
}

int colourPicture(int key, int mark)
{
    return CPianoCtrl::DefaultLayout()[29 + CInstrumentCtrl::KeyTable[key].imageSet + mark - 2];
}

// The fretboard with a picture centred on the pixel (x, y) of every position given.
QImage boardWith(int boardPicture, int markPicture, const QList<QPoint>& positions)
{
    QImage img = platform::LoadBitmap(boardPicture).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    const QImage mark = platform::LoadBitmap(markPicture);
    for (const QPoint& at : positions)
        p.drawImage(at - QPoint(mark.width() / 2, mark.height() / 2), mark);
    p.end();
    return rgb(img);
}

} // namespace

class TestShapeMarks : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void meaning_data();
    void meaning();
    void picturesExist_data();
    void picturesExist();
    void pianoDrawsOneShapePerMeaning_data();
    void pianoDrawsOneShapePerMeaning();
    void fretboardDrawsTheShapeOnEveryPosition_data();
    void fretboardDrawsTheShapeOnEveryPosition();
    void switchingRedrawsEveryControlAtOnce();
    void switchingTwiceChangesNothing();
    void staveIsTheSameEitherWay();

private:
    PianoLayoutTable m_pianoLayout = CPianoCtrl::DefaultLayout();
    std::unique_ptr<CPianoCtrl> m_piano;
    std::array<KeyInfo, CInstrumentCtrl::KeyCount> m_keys{};
};

void TestShapeMarks::initTestCase()
{
    m_piano = std::make_unique<CPianoCtrl>();
    QVERIFY(m_piano->initialize(m_pianoLayout.data()));
    m_keys = CInstrumentCtrl::KeyTable;
}

void TestShapeMarks::init()
{
    CInstrumentCtrl::SetShapeMarks(false);
    m_piano->SetKeyboardMode(false); // clears every mark
    m_piano->SetKeyboardMode(true);
}

void TestShapeMarks::cleanup()
{
    CInstrumentCtrl::SetShapeMarks(false);
}

void TestShapeMarks::meaning_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<Meanings>("expected");
    // The owner's steps: a hint marks Green; a right answer marks the played
    // key Blue; a wrong one marks it Blue, then the missed note Red.
    QTest::newRow("hint") << Steps{{60, Green}} << Meanings{{60, ToPlay}};
    QTest::newRow("right answer") << Steps{{60, Blue}} << Meanings{{60, Right}};
    QTest::newRow("wrong answer") << Steps{{62, Blue}, {60, Red}} << Meanings{{62, Wrong}, {60, ToPlay}};
    QTest::newRow("wrong key released") << Steps{{62, Blue}, {60, Red}, {62, None}}
                                        << Meanings{{62, Nothing}, {60, ToPlay}};
    QTest::newRow("right after a miss, wrong key still held")
        << Steps{{62, Blue}, {60, Red}, {60, Blue}} << Meanings{{62, Wrong}, {60, Right}};
    QTest::newRow("delay over, wrong key still held")
        << Steps{{62, Blue}, {60, Red}, {60, None}} << Meanings{{62, Wrong}, {60, Nothing}};
    QTest::newRow("the same key played again, right")
        << Steps{{62, Blue}, {60, Red}, {62, None}, {60, None}, {62, Blue}} << Meanings{{62, Right}};
    QTest::newRow("second wrong answer while waiting")
        << Steps{{62, Blue}, {60, Red}, {62, None}, {64, Blue}, {60, Red}} << Meanings{{64, Wrong}, {60, ToPlay}};
    QTest::newRow("black keys") << Steps{{61, Blue}, {70, Red}} << Meanings{{61, Wrong}, {70, ToPlay}};
    QTest::newRow("marks cleared by range mode")
        << Steps{{62, Blue}, {60, Red}, {0, 0}, {62, Blue}} << Meanings{{62, Right}, {60, Nothing}};
    QTest::newRow("not a piano note") << Steps{{20, Blue}, {109, Red}} << Meanings{{20, Nothing}, {109, Nothing}};
}

void TestShapeMarks::meaning()
{
    QFETCH(Steps, steps);
    QFETCH(Meanings, expected);
    for (const QPoint& s : steps) {
        if (s.x() == 0) {
            m_piano->SetKeyboardMode(false);
            m_piano->SetKeyboardMode(true);
        } else {
            m_piano->SetNoteState(s.x(), s.y());
        }
    }
    for (const QPoint& e : expected)
        QCOMPARE(int(CInstrumentCtrl::MeaningOf(e.x() - 21)), e.y());
}

void TestShapeMarks::picturesExist_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<QSize>("size");
    QTest::newRow("white keys") << int(CInstrumentCtrl::ShapeMarkWhitePictures) << QSize(14, 26);
    QTest::newRow("black keys") << int(CInstrumentCtrl::ShapeMarkBlackPictures) << QSize(14, 21);
    QTest::newRow("fretboards") << int(CInstrumentCtrl::ShapeMarkFretPictures) << QSize(15, 15);
}

void TestShapeMarks::picturesExist()
{
    QFETCH(int, first);
    QFETCH(QSize, size);
    for (int m = 0; m < 3; ++m) {
        QCOMPARE(platform::BitmapSize(first + m), size);
        const QImage hi = platform::LoadBitmap(first + m, 2.0);
        QCOMPARE(hi.size(), size * 2);
        QCOMPARE(hi.devicePixelRatio(), 2.0);
        QVERIFY(hi.hasAlphaChannel());
    }
}

void TestShapeMarks::pianoDrawsOneShapePerMeaning_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<Meanings>("expected");
    QTest::newRow("hint on a white key") << Steps{{60, Green}} << Meanings{{60, ToPlay}};
    QTest::newRow("hint on a black key") << Steps{{61, Green}} << Meanings{{61, ToPlay}};
    QTest::newRow("right on a white key") << Steps{{21, Blue}} << Meanings{{21, Right}};
    QTest::newRow("right on a black key") << Steps{{106, Blue}} << Meanings{{106, Right}};
    QTest::newRow("wrong black, missed white") << Steps{{63, Blue}, {60, Red}} << Meanings{{63, Wrong}, {60, ToPlay}};
    QTest::newRow("wrong white, missed black") << Steps{{108, Blue}, {90, Red}} << Meanings{{108, Wrong}, {90, ToPlay}};
}

// On: each marked key gets the shape picture of its meaning. Off: the colour picture of its mark, as before.
void TestShapeMarks::pianoDrawsOneShapePerMeaning()
{
    QFETCH(Steps, steps);
    QFETCH(Meanings, expected);
    for (const QPoint& s : steps)
        m_piano->SetNoteState(s.x(), s.y());
    QList<QPair<int, int>> colourMarks, shapeMarks;
    for (const QPoint& e : expected) {
        const int key = e.x() - 21;
        colourMarks << qMakePair(key, colourPicture(key, CInstrumentCtrl::KeyTable[key].mark));
        shapeMarks << qMakePair(key, shapePicture(key, e.y()));
    }
    QCOMPARE(rgb(m_piano->picture()), keyboardWith(colourMarks));
    CInstrumentCtrl::SetShapeMarks(true);
    QCOMPARE(rgb(m_piano->picture()), keyboardWith(shapeMarks));
    QVERIFY(keyboardWith(shapeMarks) != keyboardWith(colourMarks));
}

void TestShapeMarks::fretboardDrawsTheShapeOnEveryPosition_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("note");
    QTest::addColumn<int>("mark");
    QTest::addColumn<int>("meaning");
    QTest::addColumn<QList<QPoint>>("positions");
    // E4 on the guitar: strings 4, 5 and 6 at frets 2, 7 and 12.
    const QList<QPoint> guitarE4{{83, 49}, {262, 63}, {393, 77}};
    // E2, the bass's lowest string open, left of the nut.
    const QList<QPoint> bassE2{{5, 49}};
    QTest::newRow("guitar, played right") << int(CInstrumentCtrl::GuitarId) << 64 << int(Blue) << Right << guitarE4;
    QTest::newRow("guitar, missed note") << int(CInstrumentCtrl::GuitarId) << 64 << int(Red) << ToPlay << guitarE4;
    QTest::newRow("guitar, hint") << int(CInstrumentCtrl::GuitarId) << 64 << int(Green) << ToPlay << guitarE4;
    QTest::newRow("bass, open string") << int(CInstrumentCtrl::BassId) << 40 << int(Blue) << Right << bassE2;
}

void TestShapeMarks::fretboardDrawsTheShapeOnEveryPosition()
{
    QFETCH(int, id);
    QFETCH(int, note);
    QFETCH(int, mark);
    QFETCH(int, meaning);
    QFETCH(QList<QPoint>, positions);
    FretboardLayoutTable layout = id == CInstrumentCtrl::GuitarId ? CGuitarCtrl::GuitarLayout() : CGuitarCtrl::BassLayout();
    CGuitarCtrl board(id);
    CInstrumentCtrl::ControlsReady = true; // the piano has built the key table
    board.initialize(layout.data());
    CInstrumentCtrl::SetShapeMarks(true);
    board.SetNoteState(note, mark);
    QCOMPARE(int(CInstrumentCtrl::MeaningOf(note - 21)), meaning);
    QCOMPARE(rgb(board.picture()), boardWith(layout[14], CInstrumentCtrl::ShapeMarkFretPictures + meaning, positions));
}

void TestShapeMarks::switchingRedrawsEveryControlAtOnce()
{
    FretboardLayoutTable layout = CGuitarCtrl::GuitarLayout();
    CGuitarCtrl guitar(CInstrumentCtrl::GuitarId);
    CInstrumentCtrl::ControlsReady = true; // the piano has built the key table
    guitar.initialize(layout.data());
    m_piano->SetNoteState(62, Blue);
    m_piano->SetNoteState(60, Red);
    guitar.SetNoteState(60, Red);
    const QImage pianoColours = rgb(m_piano->picture());
    const QImage guitarColours = rgb(guitar.picture());
    {
        // A control destroyed before the switch is not drawn.
        CGuitarCtrl gone(CInstrumentCtrl::BassId);
    }
    CInstrumentCtrl::ControlsReady = true;

    CInstrumentCtrl::SetShapeMarks(true);
    QCOMPARE(rgb(m_piano->picture()), keyboardWith({{62 - 21, shapePicture(62 - 21, Wrong)},
                                                   {60 - 21, shapePicture(60 - 21, ToPlay)}}));
    QVERIFY(rgb(guitar.picture()) != guitarColours);

    CInstrumentCtrl::SetShapeMarks(false);
    QCOMPARE(rgb(m_piano->picture()), pianoColours);
    QCOMPARE(rgb(guitar.picture()), guitarColours);
}

void TestShapeMarks::switchingTwiceChangesNothing()
{
    m_piano->SetNoteState(60, Blue);
    CInstrumentCtrl::SetShapeMarks(true);
    const QImage once = rgb(m_piano->picture());
    CInstrumentCtrl::SetShapeMarks(true);
    QCOMPARE(rgb(m_piano->picture()), once);
    QVERIFY(CInstrumentCtrl::ShapeMarks);
}

// The stave writes in black only: it has no colour mark to change.
void TestShapeMarks::staveIsTheSameEitherWay()
{
    StaveLayoutTable layout = CStaveCtrl::DefaultLayout();
    CStaveCtrl stave;
    CInstrumentCtrl::ControlsReady = true;
    CStaveCtrl::nClef = CStaveCtrl::Treble;
    stave.initialize(layout.data());
    m_piano->SetNoteState(62, Blue);
    m_piano->SetNoteState(60, Red);
    stave.SetNotes(60, -1, -1, -1, 0);
    const QImage colours = rgb(stave.picture());
    CInstrumentCtrl::SetShapeMarks(true);
    stave.Draw(false);
    QCOMPARE(rgb(stave.picture()), colours);
}

QTEST_MAIN(TestShapeMarks)
#include "tst_shapemarks.moc"
