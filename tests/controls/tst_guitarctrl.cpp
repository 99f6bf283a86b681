// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/guitarctrl.h"
#include "controls/pianoctrl.h"
#include "platform/ui/bitmap.h"

#include <QMouseEvent>
#include <QProcess>
#include <QtTest>
#include <memory>

namespace {

struct Listener : CInstrumentCtrlListener {
    QList<int> noteOns;
    QList<int> noteOffs;
    QList<QPair<int, QPoint>> moves;
    int redraws = 0;
    void OnNoteOn(int note, bool fromMidi) override { noteOns << (fromMidi ? -1000 : note); }
    void OnNoteOff(int note) override { noteOffs << note; }
    void OnRangeChanged(const NoteRange*) override {}
    void OnCtrlMoved(int id, const QPoint* p) override { moves << qMakePair(id, *p); }
    void OnRedrawRequest() override { ++redraws; }
};

struct Board {
    QWidget parent;
    FretboardLayoutTable layout;
    CGuitarCtrl ctrl;
    Listener listener;

    explicit Board(int id)
        : layout(id == CInstrumentCtrl::GuitarId ? CGuitarCtrl::GuitarLayout() : CGuitarCtrl::BassLayout()),
          ctrl(id, "GuitarCtrl", &parent)
    {
        parent.resize(900, 400);
        ctrl.setGeometry(20, 40, 100, 30); // the template's placeholder size
        CInstrumentCtrl::ControlsReady = true; // the piano has built the key table
        ctrl.initialize(layout.data());
        ctrl.AddListener(&listener);
    }
    int pictureId() const { return layout[14]; }
};

QImage bare(int pictureId)
{
    return platform::LoadBitmap(pictureId).convertToFormat(QImage::Format_RGB32);
}

QImage shown(const CGuitarCtrl& c)
{
    return c.picture().convertToFormat(QImage::Format_RGB32);
}

QColor markColour(int mark)
{
    return mark == Red ? QColor(200, 0, 0) : mark == Green ? QColor(0, 200, 0) : QColor(0, 0, 200);
}

// A ring of the colour around (x, y) with a white middle.
bool circleAt(const QImage& img, int x, int y, const QColor& c)
{
    const QRgb want = c.rgb();
    return img.pixel(x + 3, y) == want && img.pixel(x - 4, y) == want && img.pixel(x, y - 4) == want
        && img.pixel(x, y + 3) == want && img.pixel(x, y) == qRgb(255, 255, 255);
}

int colourCountInBand(const QImage& img, int y0, int y1, const QColor& c)
{
    int n = 0;
    for (int y = std::max(0, y0); y <= std::min(img.height() - 1, y1); ++y)
        for (int x = 0; x < img.width(); ++x)
            n += img.pixel(x, y) == c.rgb();
    return n;
}

void sendMove(QWidget* w, const QPoint& pos, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods = {})
{
    QMouseEvent ev(QEvent::MouseMove, QPointF(pos), QPointF(w->mapToGlobal(pos)), Qt::NoButton, buttons, mods);
    QCoreApplication::sendEvent(w, &ev);
}

using Points = QList<QPoint>;

} // namespace

class TestGuitarCtrl : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void initializeTakesPictureSize_data();
    void initializeTakesPictureSize();
    void hitTest_data();
    void hitTest();
    void circles_data();
    void circles();
    void setNoteStateWithoutMarkChangesNothing();
    void noteZeroClearsTheBoard();
    void playModeReportsThePressedNote();
    void pressesIgnoredUntilControlsReady();
    void drag_data();
    void drag();
    void readsTheOwnersTable();
    void hiDpiComposition();

private:
    // The piano builds the key table that the other controls read.
    PianoLayoutTable m_pianoLayout = CPianoCtrl::DefaultLayout();
    std::unique_ptr<CPianoCtrl> m_piano;
    std::array<KeyInfo, CInstrumentCtrl::KeyCount> m_keys{};
};

void TestGuitarCtrl::initTestCase()
{
    QCOMPARE(platform::BitmapSize(136), QSize(624, 85));
    QCOMPARE(platform::BitmapSize(148), QSize(624, 58));
    m_piano = std::make_unique<CPianoCtrl>();
    QVERIFY(m_piano->initialize(m_pianoLayout.data()));
    m_keys = CInstrumentCtrl::KeyTable;
    QCOMPARE(m_keys[60 - 21].whiteIndex, 23); // middle C
}

void TestGuitarCtrl::init()
{
    CInstrumentCtrl::KeyTable = m_keys; // marks left by an earlier case are gone
    CInstrumentCtrl::SetPlayMode(false);
}

void TestGuitarCtrl::initializeTakesPictureSize_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QSize>("size");
    QTest::newRow("guitar") << 1 << QSize(624, 85);
    QTest::newRow("bass") << 2 << QSize(624, 58);
}

void TestGuitarCtrl::initializeTakesPictureSize()
{
    QFETCH(int, id);
    QFETCH(QSize, size);
    Board b(id);
    QCOMPARE(b.ctrl.size(), size);
    QCOMPARE(b.ctrl.pos(), QPoint(20, 40));
    QCOMPARE(b.ctrl.CurrentNote(), 82);
    QCOMPARE(shown(b.ctrl), bare(b.pictureId()));
    // The starting note is set without a mark: nothing is drawn on the board.
    QCOMPARE(CInstrumentCtrl::KeyTable[82 - 21].mark, int(None));
}

void TestGuitarCtrl::hitTest_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<int>("note");
    QTest::newRow("top string open") << 1 << QPoint(5, 3) << 76;
    QTest::newRow("top string on the nut") << 1 << QPoint(10, 3) << 76;
    QTest::newRow("top string fret 1") << 1 << QPoint(36, 3) << 77;
    QTest::newRow("on fret line 1: fret 1") << 1 << QPoint(60, 3) << 77;
    QTest::newRow("just right of fret line 1: fret 2") << 1 << QPoint(61, 3) << 78;
    QTest::newRow("string 5 fret 5") << 1 << QPoint(200, 80) << 57;
    QTest::newRow("on fret line 24: fret 24") << 1 << QPoint(620, 84) << 76;
    QTest::newRow("right of fret line 24: one more") << 1 << QPoint(624, 84) << 77;
    QTest::newRow("guitar: below the picture") << 1 << QPoint(200, 85) << -1;
    QTest::newRow("guitar: right of the hit area") << 1 << QPoint(625, 40) << -1;
    QTest::newRow("guitar: left of the hit area") << 1 << QPoint(-1, 40) << -1;
    QTest::newRow("guitar: above the hit area") << 1 << QPoint(100, -1) << -1;
    QTest::newRow("bass string 3 fret 5") << 2 << QPoint(200, 57) << 45;
    QTest::newRow("bass top string open") << 2 << QPoint(1, 1) << 55;
    QTest::newRow("bass: below the picture") << 2 << QPoint(200, 58) << -1;
}

// Through the real press in play mode, as well as the operation itself.
void TestGuitarCtrl::hitTest()
{
    QFETCH(int, id);
    QFETCH(QPoint, point);
    QFETCH(int, note);
    Board b(id);
    QCOMPARE(b.ctrl.HitTest(point), note);
    CInstrumentCtrl::SetPlayMode(true);
    QTest::mousePress(&b.ctrl, Qt::LeftButton, {}, point);
    QCOMPARE(b.listener.noteOns, note < 0 ? QList<int>{} : QList<int>{note});
    QCOMPARE(b.ctrl.CurrentNote(), note);
    QTest::mouseRelease(&b.ctrl, Qt::LeftButton, {}, point);
    QCOMPARE(b.listener.noteOffs, note < 0 ? QList<int>{} : QList<int>{note});
}

void TestGuitarCtrl::circles_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("note");
    QTest::addColumn<int>("mark");
    QTest::addColumn<Points>("circles"); // (x, y) per string, (0, 0) when none
    QTest::newRow("guitar E5 on every string") << 1 << 76 << int(Blue)
        << Points{{5, 7}, {198, 21}, {318, 35}, {437, 49}, {538, 63}, {615, 77}};
    QTest::newRow("guitar E4 on the three low strings") << 1 << 64 << int(Green)
        << Points{{0, 0}, {0, 0}, {0, 0}, {83, 49}, {262, 63}, {393, 77}};
    QTest::newRow("guitar E3 open, lowest string only") << 1 << 52 << int(Red)
        << Points{{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {5, 77}};
    QTest::newRow("guitar: fret 24 of the top string only") << 1 << 100 << int(Red)
        << Points{{615, 7}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}};
    QTest::newRow("guitar: above fret 24 everywhere") << 1 << 101 << int(Red)
        << Points{{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}};
    QTest::newRow("bass G3 on every string") << 2 << 55 << int(Red)
        << Points{{5, 7}, {198, 21}, {344, 35}, {458, 49}};
    QTest::newRow("bass below E2: nothing") << 2 << 39 << int(Red)
        << Points{{0, 0}, {0, 0}, {0, 0}, {0, 0}};
    QTest::newRow("bass E2 open") << 2 << 40 << int(Blue)
        << Points{{0, 0}, {0, 0}, {0, 0}, {5, 49}};
}

void TestGuitarCtrl::circles()
{
    QFETCH(int, id);
    QFETCH(int, note);
    QFETCH(int, mark);
    QFETCH(Points, circles);
    Board b(id);
    b.ctrl.SetNoteState(note, mark);
    QCOMPARE(b.ctrl.CurrentNote(), note);
    QCOMPARE(CInstrumentCtrl::KeyTable[note - 21].mark, mark);
    const QImage img = shown(b.ctrl);
    const QColor colour = markColour(mark);
    bool any = false;
    for (int s = 0; s < circles.size(); ++s) {
        const int y = 7 + 14 * s;
        if (circles[s] == QPoint(0, 0)) {
            QVERIFY2(colourCountInBand(img, y - 7, y + 7, colour) == 0, qPrintable(QString::number(s)));
        } else {
            any = true;
            QVERIFY2(circleAt(img, circles[s].x(), circles[s].y(), colour), qPrintable(QString::number(s)));
        }
    }
    if (!any)
        QCOMPARE(img, bare(b.pictureId()));

    // The mark lives in the shared key table: clearing it there clears the circles.
    CInstrumentCtrl::KeyTable[note - 21].mark = None;
    b.ctrl.Redraw(false);
    QCOMPARE(shown(b.ctrl), bare(b.pictureId()));
}

void TestGuitarCtrl::setNoteStateWithoutMarkChangesNothing()
{
    Board b(1);
    b.ctrl.SetNoteState(76, Blue);
    const QImage before = shown(b.ctrl);
    const int redraws = b.listener.redraws;
    b.ctrl.SetNoteState(60, 0);
    QCOMPARE(b.ctrl.CurrentNote(), 76);
    QCOMPARE(CInstrumentCtrl::KeyTable[60 - 21].mark, int(None));
    QCOMPARE(shown(b.ctrl), before);
    QCOMPARE(b.listener.redraws, redraws);
    // A mark outside 1..4 is not stored, but the note is shown with the mark it has.
    CInstrumentCtrl::KeyTable[64 - 21].mark = Green;
    b.ctrl.SetNoteState(64, 9);
    QCOMPARE(b.ctrl.CurrentNote(), 64);
    QCOMPARE(CInstrumentCtrl::KeyTable[64 - 21].mark, int(Green));
    QVERIFY(circleAt(shown(b.ctrl), 83, 49, markColour(Green)));
}

void TestGuitarCtrl::noteZeroClearsTheBoard()
{
    Board b(1);
    b.ctrl.SetNoteState(76, Red);
    QVERIFY(shown(b.ctrl) != bare(136));
    b.ctrl.SetNoteState(0, Red);
    QCOMPARE(b.ctrl.CurrentNote(), 0);
    QCOMPARE(shown(b.ctrl), bare(136));
}

void TestGuitarCtrl::playModeReportsThePressedNote()
{
    Board b(1);
    CInstrumentCtrl::SetPlayMode(true);
    QTest::mousePress(&b.ctrl, Qt::LeftButton, {}, QPoint(200, 80));
    QCOMPARE(b.listener.noteOns, QList<int>{57});
    // Sliding along the strings plays nothing more and does not move the control.
    sendMove(&b.ctrl, QPoint(5, 3), Qt::LeftButton);
    sendMove(&b.ctrl, QPoint(400, 40), Qt::LeftButton);
    QCOMPARE(b.listener.noteOns, QList<int>{57});
    QCOMPARE(b.ctrl.pos(), QPoint(20, 40));
    // The owner shows a hint meanwhile; the release still reports the pressed note.
    b.ctrl.SetNoteState(64, Green);
    const int redraws = b.listener.redraws;
    QTest::mouseRelease(&b.ctrl, Qt::LeftButton, {}, QPoint(400, 40));
    QCOMPARE(b.listener.noteOffs, QList<int>{57});
    QCOMPARE(b.listener.redraws, redraws + 1);
    QVERIFY(circleAt(shown(b.ctrl), 83, 49, markColour(Green)));
}

void TestGuitarCtrl::pressesIgnoredUntilControlsReady()
{
    Board b(1);
    CInstrumentCtrl::ControlsReady = false;
    CInstrumentCtrl::SetPlayMode(true);
    QTest::mousePress(&b.ctrl, Qt::LeftButton, {}, QPoint(200, 80));
    QTest::mouseRelease(&b.ctrl, Qt::LeftButton, {}, QPoint(200, 80));
    CInstrumentCtrl::SetPlayMode(false);
    QTest::mousePress(&b.ctrl, Qt::LeftButton, {}, QPoint(200, 80));
    sendMove(&b.ctrl, QPoint(250, 60), Qt::LeftButton);
    QTest::mouseRelease(&b.ctrl, Qt::LeftButton, {}, QPoint(250, 60));
    CInstrumentCtrl::ControlsReady = true;
    QVERIFY(b.listener.noteOns.isEmpty());
    QVERIFY(b.listener.noteOffs.isEmpty());
    QCOMPARE(b.ctrl.CurrentNote(), 82);
    QCOMPARE(b.ctrl.pos(), QPoint(20, 40));
}

void TestGuitarCtrl::drag_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<bool>("play");
    QTest::addColumn<int>("button");
    QTest::addColumn<int>("held");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("moves");
    const int L = Qt::LeftButton, R = Qt::RightButton, none = Qt::NoModifier;
    QTest::newRow("layout mode, left") << 1 << false << L << L << none << true;
    QTest::newRow("layout mode, left, bass") << 2 << false << L << L << none << true;
    QTest::newRow("layout mode, right") << 1 << false << R << R << none << true;
    QTest::newRow("play mode, right") << 1 << true << R << R << none << true;
    QTest::newRow("play mode, left plays") << 1 << true << L << L << none << false;
    QTest::newRow("left with Shift") << 1 << false << L << L << int(Qt::ShiftModifier) << false;
    QTest::newRow("right with Ctrl") << 1 << false << R << R << int(Qt::ControlModifier) << false;
    QTest::newRow("both buttons") << 1 << false << L << (L | R) << none << false;
}

void TestGuitarCtrl::drag()
{
    QFETCH(int, id);
    QFETCH(bool, play);
    QFETCH(int, button);
    QFETCH(int, held);
    QFETCH(int, modifiers);
    QFETCH(bool, moves);
    Board b(id);
    const int height = b.ctrl.height();
    CInstrumentCtrl::SetPlayMode(play);
    QTest::mousePress(&b.ctrl, Qt::MouseButton(button), {}, QPoint(100, 20));
    const bool framed = !(play && button == Qt::LeftButton);
    QCOMPARE(shown(b.ctrl).pixel(0, 30) == qRgb(0, 0, 0), framed);
    QCOMPARE(shown(b.ctrl).pixel(623, 30) == qRgb(0, 0, 0), framed);
    sendMove(&b.ctrl, QPoint(130, 30), Qt::MouseButtons(held), Qt::KeyboardModifiers(modifiers));
    if (moves) {
        QCOMPARE(b.ctrl.pos(), QPoint(50, 50));
        QCOMPARE(b.ctrl.size(), QSize(624, height));
        QCOMPARE(b.listener.moves, (QList<QPair<int, QPoint>>{qMakePair(id, QPoint(50, 50 + height))}));
    } else {
        QCOMPARE(b.ctrl.pos(), QPoint(20, 40));
        QVERIFY(b.listener.moves.isEmpty());
    }
    QTest::mouseRelease(&b.ctrl, Qt::MouseButton(button), {}, QPoint(100, 20));
    QCOMPARE(shown(b.ctrl), bare(b.pictureId()));
    QCOMPARE(b.listener.noteOns.isEmpty(), !(play && button == Qt::LeftButton));
}

void TestGuitarCtrl::readsTheOwnersTable()
{
    Board b(1);
    b.layout[2] = 40; // the control reads the owner's table, not a copy
    QCOMPARE(b.ctrl.HitTest(QPoint(5, 3)), 61);
}

// The picture is composed at the screen's pixel ratio: run once more at 2×.
void TestGuitarCtrl::hiDpiComposition()
{
    if (qEnvironmentVariableIsEmpty("TONVERO_HIDPI_CHILD")) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_SCALE_FACTOR", "2");
        env.insert("TONVERO_HIDPI_CHILD", "1");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(), {"hiDpiComposition"});
        QVERIFY(child.waitForFinished(60000));
        const QByteArray out = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0, out.constData());
        return;
    }
    Board b(1);
    QCOMPARE(b.ctrl.devicePixelRatioF(), 2.0);
    QCOMPARE(b.ctrl.size(), QSize(624, 85));
    QCOMPARE(b.ctrl.picture().size(), QSize(1248, 170));
    QCOMPARE(shown(b.ctrl), platform::LoadBitmap(136, 2.0).convertToFormat(QImage::Format_RGB32));
    b.ctrl.SetNoteState(64, Blue);
    const QImage img = shown(b.ctrl);
    // The ring is 4 px wide in 1× units: 8 device pixels, centred 4 px from the string and fret point.
    const QRgb blue = qRgb(0, 0, 200);
    for (const QPoint& c : {QPoint(83, 49), QPoint(262, 63), QPoint(393, 77)}) {
        for (int dx : {-11, -5, 4, 10})
            QCOMPARE(img.pixel(2 * c.x() + dx, 2 * c.y()), blue);
        QCOMPARE(img.pixel(2 * c.x(), 2 * c.y()), qRgb(255, 255, 255));
    }
    // The drag frame is one 1× pixel: two device columns.
    QTest::mousePress(&b.ctrl, Qt::RightButton, {}, QPoint(100, 20));
    QCOMPARE(b.ctrl.picture().pixel(0, 60) | 0xff000000, qRgb(0, 0, 0));
    QCOMPARE(b.ctrl.picture().pixel(1, 60) | 0xff000000, qRgb(0, 0, 0));
    QTest::mouseRelease(&b.ctrl, Qt::RightButton, {}, QPoint(100, 20));
}

QTEST_MAIN(TestGuitarCtrl)
#include "tst_guitarctrl.moc"
