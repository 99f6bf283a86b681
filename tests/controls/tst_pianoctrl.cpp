// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/pianoctrl.h"
#include "platform/ui/bitmap.h"
#include "platform/ui/messagebox.h"

#include <QPainter>
#include <QTest>
#include <memory>

namespace {

class Recorder : public CInstrumentCtrlListener {
public:
    QStringList log;
    void OnNoteOn(int note, bool fromMidi) override { log << QStringLiteral("on %1 %2").arg(note).arg(fromMidi); }
    void OnNoteOff(int note) override { log << QStringLiteral("off %1").arg(note); }
    void OnRangeChanged(const NoteRange* r) override { log << QStringLiteral("range %1-%2").arg(r[0].low).arg(r[0].high); }
    void OnCtrlMoved(int id, const QPoint* p) override { log << QStringLiteral("moved %1 %2,%3").arg(id).arg(p->x()).arg(p->y()); }
    void OnRedrawRequest() override { log << QStringLiteral("redraw"); }
    QStringList without(const QString& event) const
    {
        QStringList rest = log;
        rest.removeAll(event);
        return rest;
    }
};

const int* layout()
{
    return CPianoCtrl::DefaultLayout().data();
}

// Pixels of a key's mark that the composed picture does not show exactly as
// the keyboard with that mark drawn at the key's place.
int markMismatches(const QImage& picture, int key, int mark)
{
    const KeyInfo& info = CInstrumentCtrl::KeyTable[key];
    const QImage img = platform::LoadBitmap(layout()[29 + info.imageSet + mark - 2]);
    QImage expected = platform::LoadBitmap(layout()[28]).convertToFormat(picture.format());
    QPainter painter(&expected);
    painter.drawImage(QPoint(info.x, info.y), img);
    painter.end();
    int covered = 0, wrong = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            if (qAlpha(img.pixel(x, y)) == 0)
                continue;
            ++covered;
            const QPoint p(info.x + x, info.y + y);
            wrong += picture.pixel(p) != expected.pixel(p);
        }
    return covered ? wrong : -1;
}

bool isFramed(const QImage& picture)
{
    const QSize s = picture.size() / picture.devicePixelRatio();
    for (const QPoint p : {QPoint(0, 0), QPoint(s.width() / 2, 0), QPoint(s.width() - 1, s.height() - 1),
                           QPoint(0, s.height() / 2)})
        if (picture.pixel(p) != qRgb(0, 0, 0))
            return false;
    return true;
}

void moveWith(QWidget* w, QPoint pos, Qt::KeyboardModifiers mods = {})
{
    QTest::mouseEvent(QTest::MouseMove, w, Qt::NoButton, mods, pos);
}

} // namespace

class TestPianoCtrl : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void keyTable_data();
    void keyTable();
    void pitchClass_data();
    void pitchClass();
    void hitTest_data();
    void hitTest();
    void notesFromPresses();
    void marks_data();
    void marks();
    void modeSwitchAndPlainRepaint();
    void windowDrag_data();
    void windowDrag();
    void onlyExactButtonsDragOrEdit_data();
    void onlyExactButtonsDragOrEdit();
    void showingReportsPosition();
    void surfaceFailureIsReported();

private:
    std::unique_ptr<QWidget> m_parent;
    CPianoCtrl* m_piano = nullptr;
    Recorder m_rec;
};

void TestPianoCtrl::initTestCase()
{
    QVERIFY2(!platform::LoadBitmap(129).isNull(), "keyboard picture missing from the resources");
}

void TestPianoCtrl::init()
{
    m_parent = std::make_unique<QWidget>();
    m_parent->resize(900, 400);
    m_piano = new CPianoCtrl(CInstrumentCtrl::PianoId, "PianoCtrl", m_parent.get());
    QVERIFY(m_piano->initialize(layout()));
    m_piano->MoveTo(0, 10, 20, m_piano->GetHeight(), m_piano->GetWidth());
    m_parent->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_parent.get()));
    m_piano->AddListener(&m_rec);
    m_rec.log.clear();
}

void TestPianoCtrl::cleanup()
{
    QTestPrivate::qtestMouseButtons = Qt::NoButton; // a failed test may leave a button down
    m_parent.reset();
    m_piano = nullptr;
    m_rec.log.clear();
}

void TestPianoCtrl::keyTable_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("white");
    QTest::addColumn<int>("whiteIndex");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("imageSet");
    QTest::newRow("A0") << 0 << true << 0 << 26 << 84 << 0;
    QTest::newRow("A#0") << 1 << false << 0 << 33 << 63 << 6;
    QTest::newRow("C1") << 3 << true << 2 << 50 << 84 << 0;
    QTest::newRow("C#1") << 4 << false << 2 << 54 << 63 << 6;
    QTest::newRow("D#1") << 6 << false << 3 << 69 << 63 << 3;
    QTest::newRow("F#1") << 9 << false << 5 << 90 << 63 << 3;
    QTest::newRow("G#1") << 11 << false << 6 << 103 << 63 << 6;
    QTest::newRow("middle C") << 39 << true << 23 << 302 << 84 << 0;
    QTest::newRow("C8") << 87 << true << 51 << 638 << 84 << 0;
}

void TestPianoCtrl::keyTable()
{
    QFETCH(int, key);
    const KeyInfo& info = CInstrumentCtrl::KeyTable[key];
    QTEST(bool(info.isWhite), "white");
    QTEST(info.whiteIndex, "whiteIndex");
    QTEST(info.x, "x");
    QTEST(info.y, "y");
    QTEST(info.imageSet, "imageSet");
    QCOMPARE(info.mark, int(None));

    int whites = 0;
    for (int k = 0; k < CInstrumentCtrl::KeyCount; ++k) {
        const KeyInfo& i = CInstrumentCtrl::KeyTable[k];
        if (i.isWhite) {
            QCOMPARE(CInstrumentCtrl::WhiteKeyTable[i.whiteIndex], k);
            ++whites;
        }
    }
    QCOMPARE(whites, 52);
    QVERIFY(CInstrumentCtrl::ControlsReady);
}

void TestPianoCtrl::pitchClass_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("pitchClass");
    QTest::newRow("A0") << 0 << 9;
    QTest::newRow("B0") << 2 << 11;
    QTest::newRow("C1") << 3 << 0;
    QTest::newRow("middle C") << 39 << 0;
    QTest::newRow("C8") << 87 << 0;
}

void TestPianoCtrl::pitchClass()
{
    QFETCH(int, key);
    QTEST(m_piano->GetPitchClass(key), "pitchClass");
}

void TestPianoCtrl::hitTest_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<bool>("keyboardMode");
    QTest::addColumn<int>("result");
    QTest::newRow("no black key below A0") << QPoint(29, 60) << true << 21;
    QTest::newRow("C8 white part") << QPoint(643, 60) << true << 108;
    QTest::newRow("no black key above C8") << QPoint(645, 60) << true << 108;
    QTest::newRow("B0") << QPoint(50, 60) << true << 23;
    QTest::newRow("A#0") << QPoint(40, 60) << true << 22;
    QTest::newRow("A#0 spot in range mode") << QPoint(40, 60) << false << 23;
    QTest::newRow("below the black keys") << QPoint(40, 90) << true << 23;
    QTest::newRow("C#1 from C1") << QPoint(57, 60) << true << 25;
    QTest::newRow("D#4 from E4") << QPoint(327, 60) << true << 63;
    QTest::newRow("strip") << QPoint(100, 30) << true << -2;
    QTest::newRow("strip in range mode") << QPoint(100, 30) << false << -2;
    QTest::newRow("below the keys") << QPoint(100, 111) << true << -1;
    QTest::newRow("left of the keys") << QPoint(20, 60) << true << -1;
    QTest::newRow("right of the keys") << QPoint(651, 60) << false << -1;
}

void TestPianoCtrl::hitTest()
{
    QFETCH(QPoint, point);
    QFETCH(bool, keyboardMode);
    m_piano->SetKeyboardMode(keyboardMode);
    QTEST(m_piano->HitTest(point), "result");
}

void TestPianoCtrl::notesFromPresses()
{
    m_piano->SetKeyboardMode(true);
    m_rec.log.clear();
    QTest::mousePress(m_piano, Qt::LeftButton, {}, QPoint(50, 100));
    QCOMPARE(m_rec.without("redraw"), QStringList{"on 23 0"});
    QVERIFY(m_rec.log.contains("redraw"));
    // The control does not mark the key itself.
    QCOMPARE(CInstrumentCtrl::KeyTable[2].mark, int(None));

    QTest::mouseMove(m_piano, QPoint(300, 60)); // over other keys: plays nothing
    QTest::mouseRelease(m_piano, Qt::LeftButton, {}, QPoint(300, 60));
    QCOMPARE(m_rec.without("redraw"), (QStringList{"on 23 0", "off 23"}));

    m_rec.log.clear();
    QTest::mousePress(m_piano, Qt::LeftButton, {}, QPoint(100, 111));
    QTest::mouseRelease(m_piano, Qt::LeftButton, {}, QPoint(100, 111));
    QVERIFY(m_rec.without("redraw").isEmpty());
    QVERIFY(!m_rec.log.isEmpty());
    QCOMPARE(m_piano->GetPosition(), QPoint(10, 20));
}

void TestPianoCtrl::marks_data()
{
    QTest::addColumn<int>("note");
    QTest::addColumn<int>("mark");
    QTest::newRow("white A0 red") << 21 << int(Red);
    QTest::newRow("white middle C green") << 60 << int(Green);
    QTest::newRow("white C8 blue") << 108 << int(Blue);
    QTest::newRow("black D#4 (first set) red") << 63 << int(Red);
    QTest::newRow("black F#4 (first set) blue") << 66 << int(Blue);
    QTest::newRow("black A#0 (second set) green") << 22 << int(Green);
    QTest::newRow("black C#4 (second set) red") << 61 << int(Red);
    QTest::newRow("black G#7 (second set) blue") << 104 << int(Blue);
}

void TestPianoCtrl::marks()
{
    QFETCH(int, note);
    QFETCH(int, mark);
    const int key = note - 21;
    m_piano->SetKeyboardMode(true);
    QVERIFY(markMismatches(m_piano->picture(), key, mark) > 0);

    m_piano->SetNoteState(note, mark);
    QCOMPARE(CInstrumentCtrl::KeyTable[key].mark, mark);
    QCOMPARE(markMismatches(m_piano->picture(), key, mark), 0);
    // Its neighbours stay bare.
    for (int other = std::max(0, key - 1); other <= std::min(87, key + 1); ++other)
        if (other != key)
            QVERIFY(markMismatches(m_piano->picture(), other, mark) > 0);

    m_piano->SetNoteState(note, None);
    QVERIFY(markMismatches(m_piano->picture(), key, mark) > 0);
}

void TestPianoCtrl::modeSwitchAndPlainRepaint()
{
    m_piano->SetKeyboardMode(true);
    m_piano->SetNoteState(60, Red);
    m_piano->SetNoteState(61, Blue);
    m_piano->SetNoteState(200, Green); // not a key: only repaints
    m_piano->SetNoteState(62, 7);      // not a mark: only repaints
    QCOMPARE(CInstrumentCtrl::KeyTable[41].mark, int(None));

    m_rec.log.clear();
    const QImage before = m_piano->picture().copy();
    m_piano->SetNoteState(0, 0);
    QCOMPARE(m_rec.log, QStringList{"redraw"});
    QCOMPARE(m_piano->picture(), before);

    m_piano->SetKeyboardMode(true); // keeps the marks
    QCOMPARE(CInstrumentCtrl::KeyTable[39].mark, int(Red));
    QCOMPARE(markMismatches(m_piano->picture(), 40, Blue), 0);

    m_piano->SetKeyboardMode(false); // clears them
    for (const KeyInfo& k : CInstrumentCtrl::KeyTable)
        QCOMPARE(k.mark, int(None));

    // Range mode ignores a plain repaint request.
    m_rec.log.clear();
    m_piano->SetNoteState(60, 0);
    QVERIFY(m_rec.log.isEmpty());
}

void TestPianoCtrl::windowDrag_data()
{
    QTest::addColumn<bool>("keyboardMode");
    QTest::addColumn<int>("button");
    QTest::addColumn<QPoint>("press");
    QTest::newRow("left on the strip, keyboard mode") << true << int(Qt::LeftButton) << QPoint(100, 30);
    QTest::newRow("left on the strip, range mode") << false << int(Qt::LeftButton) << QPoint(100, 30);
    QTest::newRow("right on a key, keyboard mode") << true << int(Qt::RightButton) << QPoint(300, 90);
    QTest::newRow("right on a key, range mode") << false << int(Qt::RightButton) << QPoint(644, 100);
}

void TestPianoCtrl::windowDrag()
{
    QFETCH(bool, keyboardMode);
    QFETCH(int, button);
    QFETCH(QPoint, press);
    const auto b = Qt::MouseButton(button);
    m_piano->SetKeyboardMode(keyboardMode);
    const NoteRange range0 = m_piano->GetRanges()[0];
    m_rec.log.clear();

    QTest::mousePress(m_piano, b, {}, press);
    QVERIFY(isFramed(m_piano->picture()));
    QCOMPARE(m_piano->cursor().shape(), Qt::SizeAllCursor);

    moveWith(m_piano, press + QPoint(12, -5));
    QCOMPARE(m_piano->GetPosition(), QPoint(22, 15));
    QCOMPARE(m_piano->size(), QSize(677, 119));
    QVERIFY(m_rec.log.contains("moved 0 22,134"));
    QVERIFY(m_rec.without("redraw").filter("on ").isEmpty());

    QTest::mouseRelease(m_piano, b, {}, press);
    QVERIFY(!isFramed(m_piano->picture()));
    QCOMPARE(m_piano->cursor().shape(), Qt::ArrowCursor);
    QVERIFY(m_rec.log.filter("range").isEmpty());
    QCOMPARE(m_piano->GetRanges()[0].high, range0.high);
}

void TestPianoCtrl::onlyExactButtonsDragOrEdit_data()
{
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<bool>("rightToo");
    QTest::addColumn<int>("modifiers");
    const QPoint strip(100, 30), highEnd(644, 100);
    QTest::newRow("drag, both buttons") << strip << true << 0;
    QTest::newRow("drag, shift") << strip << false << int(Qt::ShiftModifier);
    QTest::newRow("drag, ctrl") << strip << false << int(Qt::ControlModifier);
    QTest::newRow("edit, both buttons") << highEnd << true << 0;
    QTest::newRow("edit, shift") << highEnd << false << int(Qt::ShiftModifier);
    QTest::newRow("edit, ctrl") << highEnd << false << int(Qt::ControlModifier);
}

void TestPianoCtrl::onlyExactButtonsDragOrEdit()
{
    QFETCH(QPoint, press);
    QFETCH(bool, rightToo);
    QFETCH(int, modifiers);
    const bool edit = press.y() > 39;
    QTest::mousePress(m_piano, Qt::LeftButton, {}, press);
    if (rightToo)
        QTest::mousePress(m_piano, Qt::RightButton, {}, press);
    m_rec.log.clear();

    const QPoint target(300, 100);
    moveWith(m_piano, target, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(m_piano->GetPosition(), QPoint(10, 20));
    QCOMPARE(m_piano->GetRangeHigh(0), 87);
    QVERIFY(m_rec.without("redraw").isEmpty());

    // The same move with exactly the left button does the job.
    if (rightToo)
        QTest::mouseRelease(m_piano, Qt::RightButton, {}, press);
    moveWith(m_piano, target);
    if (edit) {
        QCOMPARE(m_piano->GetPosition(), QPoint(10, 20));
        QCOMPARE(m_piano->GetRangeHigh(0), m_piano->HitTest(target) - 21);
    } else {
        QCOMPARE(m_piano->GetPosition(), QPoint(10, 20) + target - press);
    }
    QTest::mouseRelease(m_piano, Qt::LeftButton, {}, target);
}

void TestPianoCtrl::showingReportsPosition()
{
    m_piano->Show(false);
    m_rec.log.clear();
    m_piano->Show(true);
    QCOMPARE(m_rec.log, QStringList{"moved 0 10,139"});
}

void TestPianoCtrl::surfaceFailureIsReported()
{
    QList<platform::MessageBoxCall> calls;
    platform::setMessageBoxHook([&](const platform::MessageBoxCall& c) { calls << c; });
    PianoLayoutTable broken = CPianoCtrl::DefaultLayout();
    broken[28] = 9999; // no such picture: nothing to size the surface by
    {
        CPianoCtrl piano;
        QVERIFY(piano.initialize(broken.data()));
        QCOMPARE(calls.size(), 1);
        QCOMPARE(calls[0].text, QStringLiteral("CPianoCtrl::initialize():\n!dc.CreateCompatibleDC(NULL)"));
        QCOMPARE(calls[0].caption, QStringLiteral("Ошибка"));
        // The control goes on: it still reads presses and takes repaints, without more boxes.
        QCOMPARE(piano.HitTest(QPoint(50, 100)), 23);
        piano.SetKeyboardMode(true);
        piano.SetNoteState(60, Red);
        piano.SetRangeCount(2);
        QCOMPARE(calls.size(), 1);
    }
    platform::setMessageBoxHook({});
}

QTEST_MAIN(TestPianoCtrl)
#include "tst_pianoctrl.moc"
