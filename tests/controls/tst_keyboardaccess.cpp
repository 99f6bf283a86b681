// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/accessibleinstrument.h"
#include "controls/guitarctrl.h"
#include "controls/pianoctrl.h"
#include "controls/stavectrl.h"

#include <QAccessible>
#include <QApplication>
#include <QPushButton>
#include <QtTest>
#include <memory>

namespace {

struct Recorder : CInstrumentCtrlListener {
    QStringList log;
    void OnNoteOn(int note, bool) override { log << QStringLiteral("on %1").arg(note); }
    void OnNoteOff(int note) override { log << QStringLiteral("off %1").arg(note); }
    void OnRangeChanged(const NoteRange* r) override
    {
        log << QStringLiteral("range %1-%2 %3-%4").arg(r[0].low).arg(r[0].high).arg(r[1].low).arg(r[1].high);
    }
    void OnCtrlMoved(int, const QPoint*) override {}
    void OnRedrawRequest() override {}
};

// The value changes a screen reader would hear, by control.
struct EventLog {
    QList<QPair<QObject*, QString>> values;
    QList<QPair<QObject*, QString>> names;
    int countFor(QObject* o) const
    {
        int n = 0;
        for (const auto& v : values)
            n += v.first == o;
        return n;
    }
};

int fixedRandomValue = 0;
int fixedRandom() { return fixedRandomValue; }

// The four controls in one window, as the main window holds them; a button
// before them, so Tab has somewhere to come from.
struct Instruments {
    QWidget window;
    QPushButton before{QStringLiteral("before"), &window};
    PianoLayoutTable pianoLayout = CPianoCtrl::DefaultLayout();
    FretboardLayoutTable guitarLayout = CGuitarCtrl::GuitarLayout();
    FretboardLayoutTable bassLayout = CGuitarCtrl::BassLayout();
    StaveLayoutTable staveLayout = CStaveCtrl::DefaultLayout();
    CStaveCtrl stave{CInstrumentCtrl::StaveId, "StaveCtrl", &window};
    CPianoCtrl piano{CInstrumentCtrl::PianoId, "PianoCtrl", &window};
    CGuitarCtrl guitar{CInstrumentCtrl::GuitarId, "GuitarCtrl", &window};
    CGuitarCtrl bass{CInstrumentCtrl::BassId, "GuitarCtrl", &window};
    Recorder listener;

    Instruments()
    {
        window.resize(800, 800);
        before.setGeometry(0, 0, 80, 24);
        stave.move(300, 30);
        piano.move(20, 360);
        guitar.move(20, 500);
        bass.move(20, 620);
        piano.initialize(pianoLayout.data());
        guitar.initialize(guitarLayout.data());
        bass.initialize(bassLayout.data());
        stave.initialize(staveLayout.data());
        for (CInstrumentCtrl* c : all())
            c->AddListener(&listener);
        window.show();
        QApplication::setActiveWindow(&window);
        if (!QTest::qWaitForWindowActive(&window))
            qWarning("window not active");
    }
    std::vector<CInstrumentCtrl*> all() { return {&stave, &piano, &guitar, &bass}; }
    CInstrumentCtrl* byId(int id)
    {
        for (CInstrumentCtrl* c : all())
            if (c->ControlId() == id)
                return c;
        return nullptr;
    }
};

QImage asRgb(const QImage& image)
{
    return image.convertToFormat(QImage::Format_RGB32);
}

// The smallest rectangle holding every pixel in which the two pictures differ.
QRect differences(const QImage& a, const QImage& b)
{
    QRect box;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        for (int x = 0; x < std::min(a.width(), b.width()); ++x)
            if (a.pixel(x, y) != b.pixel(x, y))
                box |= QRect(x, y, 1, 1);
    return box;
}

QAccessibleInterface* accessibleOf(QWidget* w)
{
    return QAccessible::queryAccessibleInterface(w);
}

void press(QWidget* w, const QList<int>& keys, Qt::KeyboardModifiers mods = {})
{
    for (int key : keys)
        QTest::keyClick(w, Qt::Key(key), mods);
}

} // namespace

class TestKeyboardAccess : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Instruments> m_ins;
    EventLog m_events;

    Instruments& ins() { return *m_ins; }

private slots:
    void init()
    {
        CStaveCtrl::nClef = CStaveCtrl::Treble;
        CStaveCtrl::Random = fixedRandom;
        fixedRandomValue = 0;
        CInstrumentCtrl::SetPlayMode(false);
        CInstrumentCtrl::SetShapeMarks(false);
        m_events = {};
        accessibility::setEventWatcher([this](QAccessibleEvent& e) {
            QAccessibleInterface* a = accessibleOf(qobject_cast<QWidget*>(e.object()));
            if (e.type() == QAccessible::ValueChanged)
                m_events.values.append({e.object(), a->text(QAccessible::Value)});
            else if (e.type() == QAccessible::NameChanged)
                m_events.names.append({e.object(), a->text(QAccessible::Name)});
        });
        m_ins = std::make_unique<Instruments>();
        m_events = {};
    }
    void cleanup()
    {
        accessibility::setEventWatcher({});
        m_ins.reset();
        CInstrumentCtrl::SetPlayMode(false);
    }

    void tabReachesEveryInstrument()
    {
        ins().before.setFocus();
        QList<QWidget*> reached;
        for (int i = 0; i < 4; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            reached << QApplication::focusWidget();
        }
        QCOMPARE(reached, (QList<QWidget*>{&ins().stave, &ins().piano, &ins().guitar, &ins().bass}));
    }

    void clickTakesTheFocusAndMovesIt()
    {
        CPianoCtrl& piano = ins().piano;
        piano.SetKeyboardMode(true);
        // A white key of E4, below the black keys.
        const KeyInfo& e4 = CInstrumentCtrl::KeyTable[64 - 21];
        QTest::mouseClick(&piano, Qt::LeftButton, {}, QPoint(e4.x + 5, 100));
        QVERIFY(piano.hasFocus());
        QCOMPARE(piano.focusNote(), 64);
    }

    void pianoMoves_data()
    {
        QTest::addColumn<bool>("keyboardMode");
        QTest::addColumn<int>("from");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("to");
        const int L = Qt::Key_Left, R = Qt::Key_Right, U = Qt::Key_Up, D = Qt::Key_Down;
        QTest::newRow("right: the next key, black or white") << true << 60 << QList<int>{R} << 61;
        QTest::newRow("left twice") << true << 60 << QList<int>{L, L} << 58;
        QTest::newRow("up: an octave higher") << true << 60 << QList<int>{U} << 72;
        QTest::newRow("down: an octave lower") << true << 61 << QList<int>{D} << 49;
        QTest::newRow("up with no octave above: stays") << true << 100 << QList<int>{U} << 100;
        QTest::newRow("down with no octave below: stays") << true << 25 << QList<int>{D} << 25;
        QTest::newRow("home: A0") << true << 60 << QList<int>{Qt::Key_Home} << 21;
        QTest::newRow("end: C8") << true << 60 << QList<int>{Qt::Key_End} << 108;
        QTest::newRow("right at C8: stays") << true << 108 << QList<int>{R} << 108;
        QTest::newRow("left at A0: stays") << true << 21 << QList<int>{L} << 21;
        QTest::newRow("ranges: right skips the black key") << false << 60 << QList<int>{R} << 62;
        QTest::newRow("ranges: left from F to E") << false << 65 << QList<int>{L} << 64;
        QTest::newRow("ranges: up an octave") << false << 60 << QList<int>{U} << 72;
        QTest::newRow("ranges: end") << false << 60 << QList<int>{Qt::Key_End} << 108;
        QTest::newRow("ranges: left at A0 stays") << false << 21 << QList<int>{L} << 21;
        // One range from C3 (48) to A4 (69).
        QTest::newRow("ranges: page up to the end above") << false << 60 << QList<int>{Qt::Key_PageUp} << 69;
        QTest::newRow("ranges: page down to the end below") << false << 60 << QList<int>{Qt::Key_PageDown} << 48;
        QTest::newRow("ranges: page up beyond the last end stays") << false << 72 << QList<int>{Qt::Key_PageUp} << 72;
        QTest::newRow("keys: page keys do nothing") << true << 60 << QList<int>{Qt::Key_PageUp} << 60;
    }
    void pianoMoves()
    {
        QFETCH(bool, keyboardMode);
        QFETCH(int, from);
        QFETCH(QList<int>, keys);
        QFETCH(int, to);
        CPianoCtrl& piano = ins().piano;
        piano.SetRangeCount(1);
        piano.SetRange(0, 48 - 21, 69 - 21);
        piano.SetKeyboardMode(keyboardMode);
        piano.setFocus();
        QVERIFY(piano.setFocusNote(from));
        ins().listener.log.clear();
        press(&piano, keys);
        QCOMPARE(piano.focusNote(), to);
        QVERIFY(ins().listener.log.isEmpty()); // moving plays nothing
    }

    void rangeModeRefusesBlackKeys()
    {
        CPianoCtrl& piano = ins().piano;
        piano.SetKeyboardMode(true);
        QVERIFY(piano.setFocusNote(61));
        // Back to the ranges: the focus steps onto the white key below.
        piano.SetRangeCount(1);
        QCOMPARE(piano.focusNote(), 60);
        QVERIFY(!piano.setFocusNote(63));
        QCOMPARE(piano.focusNote(), 60);
        QVERIFY(!piano.setFocusNote(20));
    }

    void rangeEndsMoveWithShift_data()
    {
        QTest::addColumn<int>("ranges");
        QTest::addColumn<QPoint>("range0"); // low, high as key indexes
        QTest::addColumn<QPoint>("range1");
        QTest::addColumn<QPoint>("bounds");
        QTest::addColumn<int>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("event"); // empty: nothing changes
        QTest::addColumn<int>("focusAfter");
        const QPoint all(0, 87);
        const QPoint r0(27, 48); // C3 .. A4
        const int L = Qt::Key_Left, R = Qt::Key_Right;
        QTest::newRow("low end right, over the black key") << 1 << r0 << all << all << 48 << R << "range 29-48 0-87" << 50;
        QTest::newRow("low end left") << 1 << r0 << all << all << 48 << L << "range 26-48 0-87" << 47;
        QTest::newRow("high end left") << 1 << r0 << all << all << 69 << L << "range 27-46 0-87" << 67;
        QTest::newRow("high end right") << 1 << r0 << all << all << 69 << R << "range 27-50 0-87" << 71;
        QTest::newRow("a key inside the range: nothing") << 1 << r0 << all << all << 60 << R << "" << 60;
        QTest::newRow("low end cannot reach the high end") << 1 << QPoint(27, 29) << all << all << 48 << R << "" << 48;
        QTest::newRow("bounds stop the low end") << 1 << r0 << all << QPoint(27, 87) << 48 << L << "" << 48;
        QTest::newRow("lower staff's low end") << 2 << r0 << QPoint(8, 20) << all << 29 << R << "range 27-48 10-20" << 31;
    }
    void rangeEndsMoveWithShift()
    {
        QFETCH(int, ranges);
        QFETCH(QPoint, range0);
        QFETCH(QPoint, range1);
        QFETCH(QPoint, bounds);
        QFETCH(int, focus);
        QFETCH(int, key);
        QFETCH(QString, event);
        QFETCH(int, focusAfter);
        CPianoCtrl& piano = ins().piano;
        piano.SetRangeCount(ranges);
        piano.SetRange(0, range0.x(), range0.y());
        piano.SetRange(1, range1.x(), range1.y());
        piano.SetBounds(bounds.x(), bounds.y());
        piano.RedrawRanges(false);
        piano.setFocus();
        QVERIFY(piano.setFocusNote(focus));
        ins().listener.log.clear();
        QTest::keyClick(&piano, Qt::Key(key), Qt::ShiftModifier);
        QCOMPARE(ins().listener.log, event.isEmpty() ? QStringList{} : QStringList{event});
        QCOMPARE(piano.focusNote(), focusAfter);
    }

    void fretboardMoves_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<int>("string");
        QTest::addColumn<int>("fret");
        QTest::addColumn<int>("note");
        const int L = Qt::Key_Left, R = Qt::Key_Right, U = Qt::Key_Up, D = Qt::Key_Down;
        const int guitar = CInstrumentCtrl::GuitarId, bass = CInstrumentCtrl::BassId;
        QTest::newRow("guitar: starts on the open top string") << guitar << QList<int>{} << 0 << 0 << 76;
        QTest::newRow("guitar: right three frets") << guitar << QList<int>{R, R, R} << 0 << 3 << 79;
        QTest::newRow("guitar: down a string") << guitar << QList<int>{D} << 1 << 0 << 71;
        QTest::newRow("guitar: down past the last string stays") << guitar << QList<int>{D, D, D, D, D, D, D} << 5 << 0 << 52;
        QTest::newRow("guitar: up at the top stays") << guitar << QList<int>{U} << 0 << 0 << 76;
        QTest::newRow("guitar: left of the open string stays") << guitar << QList<int>{L} << 0 << 0 << 76;
        QTest::newRow("guitar: end is fret 24") << guitar << QList<int>{Qt::Key_End} << 0 << 24 << 100;
        QTest::newRow("guitar: right past fret 24 stays") << guitar << QList<int>{Qt::Key_End, R} << 0 << 24 << 100;
        QTest::newRow("guitar: home is the open string") << guitar << QList<int>{D, Qt::Key_End, Qt::Key_Home} << 1 << 0 << 71;
        QTest::newRow("bass: lowest string, fifth fret") << bass << QList<int>{D, D, D, R, R, R, R, R} << 3 << 5 << 45;
        QTest::newRow("bass: four strings only") << bass << QList<int>{D, D, D, D, D} << 3 << 0 << 40;
    }
    void fretboardMoves()
    {
        QFETCH(int, id);
        QFETCH(QList<int>, keys);
        QFETCH(int, string);
        QFETCH(int, fret);
        QFETCH(int, note);
        auto* board = static_cast<CGuitarCtrl*>(ins().byId(id));
        board->setFocus();
        press(board, keys);
        QCOMPARE(board->focusString(), string);
        QCOMPARE(board->focusFret(), fret);
        QCOMPARE(board->focusNote(), note);
    }

    void fretboardFocusFindsTheString_data()
    {
        QTest::addColumn<int>("start"); // fret to stand on, on the top string
        QTest::addColumn<int>("note");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("string");
        QTest::addColumn<int>("fret");
        QTest::newRow("on the current string: stays on it") << 3 << 80 << true << 0 << 4;
        QTest::newRow("below the string: the first string that has it") << 0 << 64 << true << 3 << 2;
        QTest::newRow("below the lowest string") << 0 << 40 << false << 0 << 0;
        QTest::newRow("above fret 24 of the top string") << 0 << 101 << false << 0 << 0;
    }
    void fretboardFocusFindsTheString()
    {
        QFETCH(int, start);
        QFETCH(int, note);
        QFETCH(bool, found);
        QFETCH(int, string);
        QFETCH(int, fret);
        CGuitarCtrl& guitar = ins().guitar;
        guitar.setFocus();
        for (int i = 0; i < start; ++i)
            QTest::keyClick(&guitar, Qt::Key_Right);
        QCOMPARE(guitar.setFocusNote(note), found);
        QCOMPARE(guitar.focusString(), string);
        QCOMPARE(guitar.focusFret(), found ? fret : start);
    }

    void playKeys_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("playing"); // piano in keyboard mode, fretboards in play mode
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("log");
        const int piano = CInstrumentCtrl::PianoId, guitar = CInstrumentCtrl::GuitarId, bass = CInstrumentCtrl::BassId;
        const QStringList c4{"on 60", "off 60"};
        QTest::newRow("piano, space") << piano << true << int(Qt::Key_Space) << c4;
        QTest::newRow("piano, return") << piano << true << int(Qt::Key_Return) << c4;
        QTest::newRow("piano, keypad enter") << piano << true << int(Qt::Key_Enter) << c4;
        QTest::newRow("piano editing ranges: nothing") << piano << false << int(Qt::Key_Space) << QStringList{};
        QTest::newRow("guitar, space") << guitar << true << int(Qt::Key_Space) << QStringList{"on 76", "off 76"};
        QTest::newRow("guitar being laid out: nothing") << guitar << false << int(Qt::Key_Space) << QStringList{};
        QTest::newRow("bass, return") << bass << true << int(Qt::Key_Return) << QStringList{"on 55", "off 55"};
        QTest::newRow("stave: nothing to play") << int(CInstrumentCtrl::StaveId) << true << int(Qt::Key_Space) << QStringList{};
    }
    void playKeys()
    {
        QFETCH(int, id);
        QFETCH(bool, playing);
        QFETCH(int, key);
        QFETCH(QStringList, log);
        ins().piano.SetKeyboardMode(playing);
        CInstrumentCtrl::SetPlayMode(playing);
        CInstrumentCtrl* ctrl = ins().byId(id);
        ctrl->setFocus();
        ins().listener.log.clear();
        QTest::keyPress(ctrl, Qt::Key(key));
        QCOMPARE(ins().listener.log, log.mid(0, 1));
        QTest::keyRelease(ctrl, Qt::Key(key));
        QCOMPARE(ins().listener.log, log);
    }

    void heldKeyPlaysOnce()
    {
        CPianoCtrl& piano = ins().piano;
        piano.SetKeyboardMode(true);
        piano.setFocus();
        QTest::keyPress(&piano, Qt::Key_Space);
        // Auto-repeat comes as release and press pairs: neither is a new note.
        for (int i = 0; i < 3; ++i) {
            QKeyEvent up(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(&piano, &up);
            QKeyEvent down(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(&piano, &down);
        }
        // Enter while Space is down is no second note, and its release lets nothing go.
        QTest::keyClick(&piano, Qt::Key_Return);
        // Moving on while the key is down: the release still ends the note that sounds.
        QTest::keyClick(&piano, Qt::Key_Right);
        QCOMPARE(ins().listener.log, QStringList{"on 60"});
        QTest::keyRelease(&piano, Qt::Key_Space);
        QCOMPARE(ins().listener.log, (QStringList{"on 60", "off 60"}));
        QTest::keyClick(&piano, Qt::Key_Space);
        QCOMPARE(ins().listener.log, (QStringList{"on 60", "off 60", "on 61", "off 61"}));
    }

    void staveKeysSwitchTheClef_data()
    {
        QTest::addColumn<int>("clef");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("autoRepeat");
        QTest::addColumn<int>("clefAfter");
        QTest::newRow("space: treble to bass") << int(CStaveCtrl::Treble) << int(Qt::Key_Space) << 0 << false << int(CStaveCtrl::Bass);
        QTest::newRow("return: bass to alto") << int(CStaveCtrl::Bass) << int(Qt::Key_Return) << 0 << false << int(CStaveCtrl::Alto);
        QTest::newRow("keypad enter: grand staff to treble") << int(CStaveCtrl::TrebleBass) << int(Qt::Key_Enter) << 0 << false << int(CStaveCtrl::Treble);
        QTest::newRow("a held key switches once") << int(CStaveCtrl::Treble) << int(Qt::Key_Space) << 0 << true << int(CStaveCtrl::Treble);
        QTest::newRow("ctrl+space is no click") << int(CStaveCtrl::Treble) << int(Qt::Key_Space) << int(Qt::ControlModifier) << false << int(CStaveCtrl::Treble);
        QTest::newRow("an arrow is no click") << int(CStaveCtrl::Treble) << int(Qt::Key_Right) << 0 << false << int(CStaveCtrl::Treble);
    }
    void staveKeysSwitchTheClef()
    {
        QFETCH(int, clef);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(bool, autoRepeat);
        QFETCH(int, clefAfter);
        CStaveCtrl& stave = ins().stave;
        stave.SetClef(clef);
        stave.setFocus();
        QKeyEvent down(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers), QString(), autoRepeat);
        QApplication::sendEvent(&stave, &down);
        QCOMPARE(CStaveCtrl::nClef, clefAfter);
        QVERIFY(ins().listener.log.isEmpty());
    }

    void leavingTheControlLetsTheNoteGo()
    {
        CInstrumentCtrl::SetPlayMode(true);
        CGuitarCtrl& guitar = ins().guitar;
        guitar.setFocus();
        QTest::keyPress(&guitar, Qt::Key_Space);
        ins().bass.setFocus();
        QCOMPARE(ins().listener.log, (QStringList{"on 76", "off 76"}));
        // The key-up comes to the bass, which has nothing held.
        QTest::keyRelease(&ins().bass, Qt::Key_Space);
        QCOMPARE(ins().listener.log, (QStringList{"on 76", "off 76"}));
    }

    void focusIndicator_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("note");
        QTest::addColumn<QRect>("within"); // where the indicator may be drawn
        const PianoLayoutTable& L = CPianoCtrl::DefaultLayout();
        const double kw = double(L[23] - L[21] + 1) / L[1];
        // C4 is white key 23; C#4 a black key whose mark starts at its x.
        const int c4 = int(23 * kw + L[21]);
        const int c4End = int(24 * kw + L[21]);
        QTest::newRow("piano, white key") << int(CInstrumentCtrl::PianoId) << 60
                                          << QRect(QPoint(c4 - 6, 28), QPoint(c4End + 6, L[24]));
        QTest::newRow("piano, black key") << int(CInstrumentCtrl::PianoId) << 61
                                          << QRect(QPoint(c4 + 4 - 4, 28), QPoint(c4 + 4 + 14 + 4, L[25]));
        // Second string, third fret: between the fret lines at 105 and 145, in the string's band.
        QTest::newRow("guitar, string and fret") << int(CInstrumentCtrl::GuitarId) << 74
                                                 << QRect(QPoint(106, 14), QPoint(145, 27));
        QTest::newRow("stave, its frame") << int(CInstrumentCtrl::StaveId) << -1 << QRect(2, 2, 141, 306);
    }
    void focusIndicator()
    {
        QFETCH(int, id);
        QFETCH(int, note);
        QFETCH(QRect, within);
        ins().piano.SetKeyboardMode(true);
        CInstrumentCtrl* ctrl = ins().byId(id);
        if (note > 0) {
            ctrl->setFocus();
            if (id == CInstrumentCtrl::GuitarId)
                press(ctrl, {Qt::Key_Down, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right});
            else
                QVERIFY(ctrl->setFocusNote(note));
            QCOMPARE(ctrl->focusNote(), note);
        }
        ins().before.setFocus();
        const QImage composed = asRgb(ctrl->picture());
        QCOMPARE(asRgb(ctrl->grab().toImage()), composed);

        ctrl->setFocus();
        const QImage focused = asRgb(ctrl->grab().toImage());
        const QRect drawn = differences(focused, composed);
        QVERIFY2(!drawn.isEmpty(), "no focus indicator");
        QVERIFY2(within.contains(drawn), qPrintable(QStringLiteral("indicator at %1,%2 %3x%4")
                                                         .arg(drawn.x()).arg(drawn.y()).arg(drawn.width()).arg(drawn.height())));
        // Only the picture on screen: the composed one keeps no trace of it.
        QCOMPARE(asRgb(ctrl->picture()), composed);
        // Black dots on white, so it shows on any background: along its bottom edge both are seen.
        bool black = false, white = false;
        for (int x = drawn.left(); x <= drawn.right(); ++x) {
            black |= focused.pixel(x, drawn.bottom()) == qRgb(0, 0, 0);
            white |= focused.pixel(x, drawn.bottom()) == qRgb(255, 255, 255);
        }
        QVERIFY(black && white);
    }

    void accessibleIdentity_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("low");
        QTest::addColumn<int>("high");
        QTest::newRow("piano") << int(CInstrumentCtrl::PianoId) << int(QAccessible::Slider) << "Клавиатура пианино" << 21 << 108;
        QTest::newRow("guitar") << int(CInstrumentCtrl::GuitarId) << int(QAccessible::Slider) << "Гриф шестиструнной гитары" << 52 << 100;
        QTest::newRow("bass") << int(CInstrumentCtrl::BassId) << int(QAccessible::Slider) << "Гриф бас-гитары" << 40 << 79;
        QTest::newRow("stave") << int(CInstrumentCtrl::StaveId) << int(QAccessible::Graphic) << "Нотный стан" << 21 << 108;
    }
    void accessibleIdentity()
    {
        QFETCH(int, id);
        QFETCH(int, role);
        QFETCH(QString, name);
        QFETCH(int, low);
        QFETCH(int, high);
        CInstrumentCtrl* ctrl = ins().byId(id);
        QAccessibleInterface* a = accessibleOf(ctrl);
        QVERIFY(a);
        QCOMPARE(int(a->role()), role);
        // The name says the value after it, for readers that hear only a value's number.
        const QString said = a->text(QAccessible::Value);
        QVERIFY(!said.isEmpty());
        QCOMPARE(a->text(QAccessible::Name), name + QStringLiteral(", ") + said);
        QVERIFY(a->text(QAccessible::Description).size() > 40);
        QVERIFY(a->state().focusable);
        QAccessibleValueInterface* value = a->valueInterface();
        QVERIFY(value);
        QCOMPARE(value->minimumValue().toInt(), low);
        QCOMPARE(value->maximumValue().toInt(), high);
        QCOMPARE(value->currentValue().toInt(), ctrl->focusNote());
    }

    void valueNamesTheNoteUnderFocus_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<bool>("playing");
        QTest::addColumn<int>("note");
        QTest::addColumn<QList<QPoint>>("marks"); // (note, mark) in the order set
        QTest::addColumn<QString>("value");
        using M = QList<QPoint>;
        const int piano = CInstrumentCtrl::PianoId, guitar = CInstrumentCtrl::GuitarId;
        QTest::newRow("piano: a white key") << piano << true << 64 << M{} << "Ми 4";
        QTest::newRow("piano: a black key by its sharp") << piano << true << 61 << M{} << "До диез 4";
        QTest::newRow("piano: octave numbers from A0") << piano << true << 21 << M{} << "Ля 0";
        QTest::newRow("piano: the note to play") << piano << true << 64 << M{{64, Green}} << "Ми 4 — нужно сыграть";
        QTest::newRow("piano: played right") << piano << true << 64 << M{{64, Blue}} << "Ми 4 — сыграна верно";
        QTest::newRow("piano: played wrong") << piano << true << 64 << M{{64, Blue}, {67, Red}} << "Ми 4 — сыграна неверно";
        QTest::newRow("piano: a mark elsewhere") << piano << true << 64 << M{{67, Red}} << "Ми 4";
        QTest::newRow("ranges: the low end") << piano << false << 48 << M{} << "До 3 — начало диапазона";
        QTest::newRow("ranges: the high end") << piano << false << 69 << M{} << "Ля 4 — конец диапазона";
        QTest::newRow("ranges: inside") << piano << false << 60 << M{} << "До 4";
        QTest::newRow("guitar: open string") << guitar << true << 76 << M{} << "1-я струна, открытая: Ми 5";
        QTest::newRow("guitar: string and fret") << guitar << true << 74 << M{} << "2-я струна, 3-й лад: Ре 5";
        QTest::newRow("guitar: the note to play") << guitar << true << 76 << M{{76, Red}} << "1-я струна, открытая: Ми 5 — нужно сыграть";
        QTest::newRow("guitar: another note marked") << guitar << true << 76 << M{{77, Red}} << "1-я струна, открытая: Ми 5";
    }
    void valueNamesTheNoteUnderFocus()
    {
        QFETCH(int, id);
        QFETCH(bool, playing);
        QFETCH(int, note);
        QFETCH(QList<QPoint>, marks);
        QFETCH(QString, value);
        CPianoCtrl& piano = ins().piano;
        piano.SetRangeCount(1);
        piano.SetRange(0, 48 - 21, 69 - 21);
        piano.RedrawRanges(false);
        piano.SetKeyboardMode(playing);
        CInstrumentCtrl::SetPlayMode(playing);
        CInstrumentCtrl* ctrl = ins().byId(id);
        if (id == CInstrumentCtrl::GuitarId && note == 74)
            press(ctrl, {Qt::Key_Down, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right});
        else
            QVERIFY(ctrl->setFocusNote(note));
        for (const QPoint& m : marks) {
            if (id == CInstrumentCtrl::PianoId)
                piano.SetNoteState(m.x(), m.y());
            else
                ins().guitar.SetNoteState(m.x(), m.y());
        }
        QCOMPARE(accessibleOf(ctrl)->text(QAccessible::Value), value);
    }

    void rangeValuesWithTwoStavesAndBounds_data()
    {
        QTest::addColumn<int>("note");
        QTest::addColumn<QString>("value");
        // Upper staff C3..A4, lower staff F1..C3 (the shared C3 ends both); bounds from G1.
        QTest::newRow("an end of both ranges") << 48 << "До 3 — начало диапазона верхнего стана, конец диапазона нижнего стана";
        QTest::newRow("upper staff's high end") << 69 << "Ля 4 — конец диапазона верхнего стана";
        QTest::newRow("lower staff's low end on the bound") << 29 << "Фа 1 — начало диапазона нижнего стана";
        QTest::newRow("below the bounds") << 26 << "Ре 1 — вне звучания выбранных инструментов";
    }
    void rangeValuesWithTwoStavesAndBounds()
    {
        QFETCH(int, note);
        QFETCH(QString, value);
        CPianoCtrl& piano = ins().piano;
        piano.SetRangeCount(2);
        piano.SetRange(0, 48 - 21, 69 - 21);
        piano.SetRange(1, 29 - 21, 48 - 21);
        piano.SetBounds(29 - 21, 87);
        piano.RedrawRanges(false);
        QVERIFY(piano.setFocusNote(note));
        QCOMPARE(accessibleOf(&piano)->text(QAccessible::Value), value);
    }

    void staveValue_data()
    {
        QTest::addColumn<int>("clef");
        QTest::addColumn<QList<int>>("notes"); // four slots, then the staff
        QTest::addColumn<int>("random");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("note");
        QTest::newRow("treble, one note") << 0 << QList<int>{67, -1, -1, -1, 0} << 0 << "Скрипичный ключ: Соль 4" << 67;
        QTest::newRow("nothing written") << 0 << QList<int>{-1, -1, -1, -1, -1} << 0 << "Скрипичный ключ: нот нет" << -1;
        QTest::newRow("black key written as a flat") << 0 << QList<int>{61, -1, -1, -1, 0} << 0 << "Скрипичный ключ: Ре бемоль 4" << 61;
        QTest::newRow("black key written as a sharp") << 0 << QList<int>{61, -1, -1, -1, 0} << 30000 << "Скрипичный ключ: До диез 4" << 61;
        QTest::newRow("bass, two range ends") << 1 << QList<int>{43, 60, -1, -1, -1} << 0 << "Басовый ключ: Соль 2 и До 4" << 43;
        QTest::newRow("alto") << 2 << QList<int>{60, -1, -1, -1, 0} << 0 << "Альтовый ключ: До 4" << 60;
        QTest::newRow("grand staff, four range ends")
            << 3 << QList<int>{48, 69, 29, 48, -1} << 0
            << "Скрипичный и басовый ключи: верхний стан: До 3 и Ля 4; нижний стан: Фа 1 и До 3" << 48;
        QTest::newRow("grand staff, a note on the lower staff")
            << 3 << QList<int>{40, -1, -1, -1, 1} << 0 << "Скрипичный и басовый ключи: нижний стан: Ми 2" << 40;
        QTest::newRow("single staff leaves the lower slots unsaid")
            << 0 << QList<int>{48, 69, 29, 48, -1} << 0 << "Скрипичный ключ: До 3 и Ля 4" << 48;
    }
    void staveValue()
    {
        QFETCH(int, clef);
        QFETCH(QList<int>, notes);
        QFETCH(int, random);
        QFETCH(QString, value);
        QFETCH(int, note);
        fixedRandomValue = random;
        CStaveCtrl& stave = ins().stave;
        stave.SetClef(clef);
        stave.SetNotes(notes[0], notes[1], notes[2], notes[3], notes[4]);
        QAccessibleInterface* a = accessibleOf(&stave);
        QCOMPARE(a->text(QAccessible::Value), value);
        QCOMPARE(a->valueInterface()->currentValue().toInt(), note);
    }

    void valueChangesAreAnnounced()
    {
        CPianoCtrl& piano = ins().piano;
        piano.SetKeyboardMode(true);
        piano.setFocus();
        QVERIFY(piano.setFocusNote(22));
        m_events = {};

        QTest::keyClick(&piano, Qt::Key_Right);
        QCOMPARE(m_events.values, (QList<QPair<QObject*, QString>>{{&piano, "Си 0"}}));
        // A key that moves nothing says nothing again.
        QTest::keyClick(&piano, Qt::Key_Home);
        QTest::keyClick(&piano, Qt::Key_Left);
        QCOMPARE(m_events.countFor(&piano), 2);
        QCOMPARE(m_events.values.last().second, QStringLiteral("Ля 0"));

        // A mark coming to the key under focus is news; one elsewhere is not.
        piano.SetNoteState(60, Green);
        QCOMPARE(m_events.countFor(&piano), 2);
        piano.SetNoteState(21, Green);
        QCOMPARE(m_events.countFor(&piano), 3);
        QCOMPARE(m_events.values.last().second, QStringLiteral("Ля 0 — нужно сыграть"));

        // The stave: each new note written, once.
        CStaveCtrl& stave = ins().stave;
        stave.SetNotes(64, -1, -1, -1, 0);
        QCOMPARE(m_events.countFor(&stave), 1);
        QCOMPARE(m_events.values.last().second, QStringLiteral("Скрипичный ключ: Ми 4"));
        stave.SetNotes(64, -1, -1, -1, 0);
        QCOMPARE(m_events.countFor(&stave), 1);
        stave.SetClef(CStaveCtrl::Bass);
        QCOMPARE(m_events.countFor(&stave), 2);
        QCOMPARE(m_events.values.last().second, QStringLiteral("Басовый ключ: Ми 4"));

        // The fretboards: a string change.
        CGuitarCtrl& bass = ins().bass;
        bass.setFocus();
        QTest::keyClick(&bass, Qt::Key_Down);
        QCOMPARE(m_events.countFor(&bass), 1);
        QCOMPARE(m_events.values.last().second, QStringLiteral("2-я струна, открытая: Ре 3"));

        // Each value change renames the control too.
        QCOMPARE(m_events.names.size(), m_events.values.size());
        for (qsizetype i = 0; i < m_events.names.size(); ++i) {
            QCOMPARE(m_events.names[i].first, m_events.values[i].first);
            QVERIFY2(m_events.names[i].second.endsWith(QStringLiteral(", ") + m_events.values[i].second),
                     qPrintable(m_events.names[i].second));
        }
    }

    void screenReaderMovesTheFocus()
    {
        CPianoCtrl& piano = ins().piano;
        piano.SetKeyboardMode(true);
        QAccessibleValueInterface* value = accessibleOf(&piano)->valueInterface();
        value->setCurrentValue(70);
        QCOMPARE(piano.focusNote(), 70);
        value->setCurrentValue(200); // no such key
        QCOMPARE(piano.focusNote(), 70);
        QAccessibleValueInterface* guitar = accessibleOf(&ins().guitar)->valueInterface();
        guitar->setCurrentValue(64);
        QCOMPARE(ins().guitar.focusString(), 3);
        QCOMPARE(ins().guitar.focusFret(), 2);
    }

    void spokenNotes_data()
    {
        QTest::addColumn<int>("note");
        QTest::addColumn<bool>("flat");
        QTest::addColumn<QString>("spoken");
        QTest::newRow("middle C") << 60 << false << "До 4";
        QTest::newRow("B below it") << 59 << false << "Си 3";
        QTest::newRow("A sharp") << 70 << false << "Ля диез 4";
        QTest::newRow("B flat") << 70 << true << "Си бемоль 4";
        QTest::newRow("a white key has no flat") << 64 << true << "Ми 4";
        QTest::newRow("C8") << 108 << false << "До 8";
        QTest::newRow("no note") << -1 << false << "";
    }
    void spokenNotes()
    {
        QFETCH(int, note);
        QFETCH(bool, flat);
        QFETCH(QString, spoken);
        QCOMPARE(accessibility::spokenNote(note, flat ? accessibility::Spelling::Flat : accessibility::Spelling::Sharp),
                 spoken);
    }
};

QTEST_MAIN(TestKeyboardAccess)
#include "tst_keyboardaccess.moc"
