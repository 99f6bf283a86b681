// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/stavectrl.h"
#include "controls/pianoctrl.h"
#include "platform/ui/bitmap.h"

#include <QMouseEvent>
#include <QProcess>
#include <QtTest>
#include <memory>

namespace {

const QStringList sharpNames{"До", "До #", "Ре", "Ре #", "Ми", "Фа", "Фа #", "Соль", "Соль #", "Ля", "Ля #", "Си"};
const QStringList flatNames{"", "Ре b", "", "Ми b", "", "", "Соль b", "", "Ля b", "", "Си b", ""};

const CPianoCtrl* thePiano = nullptr;

// Stands in for the main window: records what the stave asks of it, in order.
struct Owner : CStaveOwner {
    QStringList log;
    QList<int> menuIds;
    QString noteName;
    int rangeUpdates = 0;

    void SetNoteNameText(const QString& name) override
    {
        noteName = name;
        log << "name:" + name;
    }
    QString SharpName(int pc) const override { return sharpNames.value(pc); }
    QString FlatName(int pc) const override { return flatNames.value(pc); }
    int PitchClass(int keyIndex) const override { return thePiano->GetPitchClass(keyIndex); }
    void ShowNoteName(bool force) override { log << QStringLiteral("show:%1").arg(force); }
    void CheckClefMenu(int id) override
    {
        menuIds << id;
        log << QStringLiteral("menu:%1").arg(id);
    }
    void UpdateRangeCount() override
    {
        ++rangeUpdates;
        log << "ranges";
    }
};

struct Listener : CInstrumentCtrlListener {
    int redraws = 0;
    QList<QPoint> moves;
    void OnNoteOn(int, bool) override {}
    void OnNoteOff(int) override {}
    void OnRangeChanged(const NoteRange*) override {}
    void OnCtrlMoved(int, const QPoint* p) override { moves << *p; }
    void OnRedrawRequest() override { ++redraws; }
};

// Counts the mouse presses that reach a widget.
struct PressCounter : QObject {
    int presses = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        presses += e->type() == QEvent::MouseButtonPress;
        return false;
    }
};

int fixedRandomValue = 0;
int fixedRandom() { return fixedRandomValue; }
int randomCalls = 0;
int countingRandom()
{
    ++randomCalls;
    return 0;
}

struct Stave {
    QWidget parent;
    StaveLayoutTable layout = CStaveCtrl::DefaultLayout();
    Owner owner;
    Listener listener;
    CStaveCtrl ctrl{CInstrumentCtrl::StaveId, "StaveCtrl", &parent};

    explicit Stave(int clef)
    {
        parent.resize(600, 600);
        CStaveCtrl::nClef = clef;
        ctrl.setGeometry(40, 30, 50, 50); // the template's placeholder size
        ctrl.SetOwner(&owner);
        ctrl.initialize(layout.data());
        ctrl.AddListener(&listener);
        owner.log.clear();
    }
};

bool isBlack(const QImage& img, int x, int y)
{
    const QRgb c = img.pixel(x, y);
    return qRed(c) == 0 && qGreen(c) == 0 && qBlue(c) == 0;
}

bool isWhite(const QImage& img, int x, int y)
{
    const QRgb c = img.pixel(x, y);
    return qRed(c) == 255 && qGreen(c) == 255 && qBlue(c) == 255;
}

QList<int> staffRows(int clef)
{
    QList<int> rows;
    const QList<int> seconds = clef == CStaveCtrl::TrebleBass ? QList<int>{88, 221} : QList<int>{148};
    for (int lineY : seconds)
        for (int j = -1; j <= 3; ++j)
            rows << lineY + 9 * j;
    return rows;
}

// Top row at which the note picture sits in column noteX (best match over the whole column).
int findNoteTop(const QImage& img, int noteX)
{
    const QImage note = platform::LoadBitmap(140).convertToFormat(QImage::Format_RGB32);
    int best = -1, bestScore = -1;
    for (int y = 0; y + note.height() <= img.height(); ++y) {
        int score = 0;
        for (int j = 0; j < note.height(); ++j)
            for (int i = 0; i < note.width(); ++i)
                score += (img.pixel(noteX + i, y + j) | 0xff000000) == note.pixel(i, j);
        if (score > bestScore) {
            bestScore = score;
            best = y;
        }
    }
    return best;
}

// Rows of ledger lines beside a note at noteX: black left of the note and right of it, off the staff.
QList<int> ledgerRows(const QImage& img, int noteX, int clef)
{
    const QList<int> staff = staffRows(clef);
    QList<int> rows;
    for (int y = 0; y < img.height(); ++y)
        if (!staff.contains(y) && isBlack(img, noteX - 2, y) && isBlack(img, noteX + 15, y))
            rows << y;
    std::sort(rows.begin(), rows.end(), std::greater<int>());
    return rows;
}

// True when the picture id shows at (x, y), apart from the given rows that lines cross.
bool showsPicture(const QImage& img, int id, int x, int y, const QList<int>& skipRows = {})
{
    const QImage pic = platform::LoadBitmap(id).convertToFormat(QImage::Format_RGB32);
    if (pic.isNull())
        return false;
    for (int j = 0; j < pic.height(); ++j) {
        if (skipRows.contains(y + j))
            continue;
        for (int i = 0; i < pic.width(); ++i)
            if ((img.pixel(x + i, y + j) | 0xff000000) != pic.pixel(i, j))
                return false;
    }
    return true;
}

void sendMove(QWidget* w, const QPoint& pos, Qt::MouseButtons buttons, Qt::KeyboardModifiers mods)
{
    QMouseEvent ev(QEvent::MouseMove, QPointF(pos), QPointF(w->mapToGlobal(pos)), Qt::NoButton, buttons, mods);
    QCoreApplication::sendEvent(w, &ev);
}

} // namespace

class TestStaveCtrl : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void initializeSizesAndDrawsEmptyStaff_data();
    void initializeSizesAndDrawsEmptyStaff();
    void notePlacement_data();
    void notePlacement();
    void blackKeySpelling_data();
    void blackKeySpelling();
    void whiteKeyNeedsNoRandom();
    void grandStaffNotesFormPairs();
    void slotsSurviveClefChanges();
    void everyDrawRequestsRedrawFirst();
    void leftClicksCycleClefs();
    void clefOutOfRangeIsGrandStaff();
    void rightDrag_data();
    void rightDrag();
    void hiDpiComposition();

private:
    // The piano builds the key table that the other controls read.
    PianoLayoutTable m_pianoLayout = CPianoCtrl::DefaultLayout();
    std::unique_ptr<CPianoCtrl> m_piano;
    std::array<KeyInfo, CInstrumentCtrl::KeyCount> m_keys{};
};

void TestStaveCtrl::initTestCase()
{
    QVERIFY(!platform::LoadBitmap(137).isNull());
    m_piano = std::make_unique<CPianoCtrl>();
    QVERIFY(m_piano->initialize(m_pianoLayout.data()));
    m_keys = CInstrumentCtrl::KeyTable;
    QCOMPARE(m_keys[60 - 21].whiteIndex, 23); // middle C
    thePiano = m_piano.get();
}

void TestStaveCtrl::init()
{
    CInstrumentCtrl::KeyTable = m_keys; // marks left by an earlier case are gone
    CStaveCtrl::Random = fixedRandom;
    fixedRandomValue = 0;
}

void TestStaveCtrl::initializeSizesAndDrawsEmptyStaff_data()
{
    QTest::addColumn<int>("clef");
    QTest::addColumn<int>("picture");
    QTest::addColumn<QPoint>("at");
    QTest::newRow("treble") << 0 << 137 << QPoint(30, 120);
    QTest::newRow("bass") << 1 << 138 << QPoint(30, 120);
    QTest::newRow("alto") << 2 << 139 << QPoint(30, 120);
    QTest::newRow("grand staff") << 3 << 152 << QPoint(10, 60);
}

void TestStaveCtrl::initializeSizesAndDrawsEmptyStaff()
{
    QFETCH(int, clef);
    QFETCH(int, picture);
    QFETCH(QPoint, at);
    Stave s(clef);
    QCOMPARE(s.ctrl.size(), QSize(145, 310));
    QCOMPARE(s.ctrl.pos(), QPoint(40, 30));
    QCOMPARE(s.ctrl.picture().size(), QSize(145, 310));
    const QImage& img = s.ctrl.picture();
    QVERIFY(showsPicture(img, picture, at.x(), at.y(), staffRows(clef)));
    // The drawn staff lines continue the picture's lines to the right and stop at the line length.
    const int x0 = at.x() + platform::BitmapSize(picture).width() - 15;
    const int len = clef == 3 ? 118 : 59;
    for (int y : staffRows(clef)) {
        QVERIFY2(isBlack(img, x0 + 2, y), qPrintable(QString::number(y)));
        if (x0 + len < img.width()) {
            QVERIFY(isBlack(img, x0 + len - 1, y));
            QVERIFY(isWhite(img, x0 + len, y));
        }
    }
    for (int slot = 0; slot < 4; ++slot)
        QVERIFY(s.ctrl.NoteSlot(slot) < 0);
}

void TestStaveCtrl::notePlacement_data()
{
    QTest::addColumn<int>("clef");
    QTest::addColumn<int>("note");
    QTest::addColumn<int>("staff");
    QTest::addColumn<int>("noteX");
    QTest::addColumn<int>("headRow");
    QTest::addColumn<QList<int>>("ledgers");
    QTest::newRow("treble C4: one below") << 0 << 60 << 0 << 86 << 184 << QList<int>{184};
    QTest::newRow("treble D4: none") << 0 << 62 << 0 << 86 << 180 << QList<int>{};
    QTest::newRow("treble B3: one below") << 0 << 59 << 0 << 86 << 189 << QList<int>{184};
    QTest::newRow("treble A3: two below") << 0 << 57 << 0 << 86 << 193 << QList<int>{193, 184};
    QTest::newRow("treble E4 bottom line") << 0 << 64 << 0 << 86 << 175 << QList<int>{};
    QTest::newRow("treble B4 middle line") << 0 << 71 << 0 << 86 << 157 << QList<int>{};
    QTest::newRow("treble F5 top line") << 0 << 77 << 0 << 86 << 139 << QList<int>{};
    QTest::newRow("treble G5: none") << 0 << 79 << 0 << 86 << 135 << QList<int>{};
    QTest::newRow("treble A5: one above") << 0 << 81 << 0 << 86 << 130 << QList<int>{130};
    QTest::newRow("treble B5: one above") << 0 << 83 << 0 << 86 << 126 << QList<int>{130};
    QTest::newRow("treble C6: two above") << 0 << 84 << 0 << 86 << 121 << QList<int>{130, 121};
    QTest::newRow("bass C4: one above") << 1 << 60 << 0 << 86 << 130 << QList<int>{130};
    QTest::newRow("bass A3 top line") << 1 << 57 << 0 << 86 << 139 << QList<int>{};
    QTest::newRow("bass G2 bottom line") << 1 << 43 << 0 << 86 << 175 << QList<int>{};
    QTest::newRow("bass E2: one below") << 1 << 40 << 0 << 86 << 184 << QList<int>{184};
    QTest::newRow("alto C4 middle line") << 2 << 60 << 0 << 86 << 157 << QList<int>{};
    QTest::newRow("alto B4: one above") << 2 << 71 << 0 << 86 << 130 << QList<int>{130};
    QTest::newRow("alto D3: one below") << 2 << 50 << 0 << 86 << 184 << QList<int>{184};
    QTest::newRow("grand upper C4: one below") << 3 << 60 << 0 << 101 << 124 << QList<int>{124};
    QTest::newRow("grand upper G4 line") << 3 << 67 << 0 << 101 << 106 << QList<int>{};
    QTest::newRow("grand lower C4: one above") << 3 << 60 << 1 << 124 << 203 << QList<int>{203};
    QTest::newRow("grand lower C3") << 3 << 48 << 1 << 124 << 235 << QList<int>{};
    QTest::newRow("grand lower E2: one below") << 3 << 40 << 1 << 124 << 257 << QList<int>{257};
}

void TestStaveCtrl::notePlacement()
{
    QFETCH(int, clef);
    QFETCH(int, note);
    QFETCH(int, staff);
    QFETCH(int, noteX);
    QFETCH(int, headRow);
    QFETCH(QList<int>, ledgers);
    Stave s(clef);
    s.ctrl.SetNotes(note, -1, -1, -1, staff);
    const QImage& img = s.ctrl.picture();
    QCOMPARE(findNoteTop(img, noteX) + 32, headRow);
    QCOMPARE(ledgerRows(img, noteX, clef), ledgers);
    QCOMPARE(s.owner.noteName, sharpNames[note % 12]);
    QCOMPARE(s.owner.log.last(), QStringLiteral("show:0"));
}

void TestStaveCtrl::blackKeySpelling_data()
{
    QTest::addColumn<int>("note");
    QTest::addColumn<int>("random");
    QTest::addColumn<int>("headRow");
    QTest::addColumn<int>("sign");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<int>>("ledgers");
    QTest::newRow("C#4 as Db, r = 0") << 61 << 0 << 180 << 157 << "Ре b" << QList<int>{};
    QTest::newRow("C#4 as Db, r = 16383") << 61 << 16383 << 180 << 157 << "Ре b" << QList<int>{};
    QTest::newRow("C#4 sharp, r = 16384") << 61 << 16384 << 184 << 156 << "До #" << QList<int>{184};
    QTest::newRow("C#4 sharp, r = 32767") << 61 << 32767 << 184 << 156 << "До #" << QList<int>{184};
    QTest::newRow("F#4 as Gb") << 66 << 100 << 166 << 157 << "Соль b" << QList<int>{};
    QTest::newRow("A#4 sharp") << 70 << 20000 << 162 << 156 << "Ля #" << QList<int>{};
}

void TestStaveCtrl::blackKeySpelling()
{
    QFETCH(int, note);
    QFETCH(int, random);
    QFETCH(int, headRow);
    QFETCH(int, sign);
    QFETCH(QString, name);
    QFETCH(QList<int>, ledgers);
    fixedRandomValue = random;
    Stave s(CStaveCtrl::Treble);
    s.ctrl.SetNotes(note, -1, -1, -1, 0);
    const QImage& img = s.ctrl.picture();
    const int top = findNoteTop(img, 86);
    QCOMPARE(top + 32, headRow);
    QCOMPARE(ledgerRows(img, 86, 0), ledgers);
    QVERIFY(showsPicture(img, sign, 86 - 15, top + 16, staffRows(0)));
    QVERIFY(!showsPicture(img, sign == 156 ? 157 : 156, 86 - 15, top + 16, staffRows(0)));
    QCOMPARE(s.owner.log, (QStringList{"name:" + name, "show:0"}));
}

void TestStaveCtrl::whiteKeyNeedsNoRandom()
{
    CStaveCtrl::Random = countingRandom;
    randomCalls = 0;
    Stave s(CStaveCtrl::Treble);
    s.ctrl.SetNotes(60, 62, -1, -1, 0);
    QCOMPARE(randomCalls, 0);
    QCOMPARE(s.owner.log, (QStringList{"name:До", "name:Ре", "show:0"}));
    s.ctrl.SetNotes(61, -1, -1, -1, 0);
    QCOMPARE(randomCalls, 1);
    // A new draw spells the note anew.
    s.ctrl.SetClef(CStaveCtrl::Treble);
    QCOMPARE(randomCalls, 2);
}

void TestStaveCtrl::grandStaffNotesFormPairs()
{
    Stave s(CStaveCtrl::TrebleBass);
    const QImage empty = s.ctrl.picture().copy();
    s.ctrl.SetNotes(60, -1, 48, -1, -1);
    QCOMPARE(findNoteTop(s.ctrl.picture(), 101) + 32, 124);
    QCOMPARE(findNoteTop(s.ctrl.picture(), 124) + 32, 235);
    QCOMPARE(s.owner.noteName, QStringLiteral("До")); // the last one drawn

    // A note for the lower staff clears the upper one.
    s.ctrl.SetNotes(48, -1, -1, -1, 1);
    QCOMPARE(s.ctrl.NoteSlot(0), -1);
    QCOMPARE(s.ctrl.NoteSlot(2), 27);
    QCOMPARE(s.ctrl.picture().copy(0, 0, 145, 150), empty.copy(0, 0, 145, 150));
    QCOMPARE(findNoteTop(s.ctrl.picture(), 124) + 32, 235);
}

void TestStaveCtrl::slotsSurviveClefChanges()
{
    Stave s(CStaveCtrl::Treble);
    const QImage empty = s.ctrl.picture().copy();
    s.ctrl.SetNotes(72, 74, 48, 50, -1);
    QCOMPARE(s.ctrl.NoteSlot(2), 27);
    QCOMPARE(s.ctrl.NoteSlot(3), 29);
    // The single staff draws only the first two; nothing right of its lines.
    QCOMPARE(s.ctrl.picture().copy(113, 0, 32, 310), empty.copy(113, 0, 32, 310));

    s.ctrl.SetClef(CStaveCtrl::TrebleBass);
    QCOMPARE(findNoteTop(s.ctrl.picture(), 124) + 32, 230); // D3, drawn over C3
    QCOMPARE(findNoteTop(s.ctrl.picture(), 101) + 32, 88); // D5, drawn over C5

    s.ctrl.SetClef(CStaveCtrl::Treble);
    QCOMPARE(s.ctrl.picture().copy(113, 0, 32, 310), empty.copy(113, 0, 32, 310));
    QCOMPARE(s.ctrl.NoteSlot(2), 27);

    // A note beyond the piano has no place on the staff.
    s.ctrl.SetNotes(109, -1, -1, -1, 0);
    QCOMPARE(s.ctrl.picture(), empty);
}

void TestStaveCtrl::everyDrawRequestsRedrawFirst()
{
    Stave s(CStaveCtrl::Treble);
    s.ctrl.SetNotes(60, -1, -1, -1, 0);
    QCOMPARE(s.listener.redraws, 1);
    s.ctrl.SetClef(CStaveCtrl::Bass);
    QCOMPARE(s.listener.redraws, 2);
    s.ctrl.Draw(false);
    QCOMPARE(s.listener.redraws, 3);
}

void TestStaveCtrl::leftClicksCycleClefs()
{
    Stave s(CStaveCtrl::Treble);
    PressCounter owner;
    s.parent.installEventFilter(&owner);
    const QList<int> pictures{138, 139, 152, 137};
    for (int i = 0; i < 4; ++i) {
        QTest::mouseClick(&s.ctrl, Qt::LeftButton, {}, QPoint(70, 150));
        const int clef = (i + 1) % 4;
        QCOMPARE(CStaveCtrl::nClef, clef);
        const QPoint at = clef == 3 ? QPoint(10, 60) : QPoint(30, 120);
        QVERIFY(showsPicture(s.ctrl.picture(), pictures[i], at.x(), at.y(), staffRows(clef)));
    }
    QCOMPARE(s.owner.menuIds, (QList<int>{32711, 32712, 32713, 32710}));
    QCOMPARE(s.owner.rangeUpdates, 4);
    // The menu is checked after the clef is drawn, then the ranges follow.
    QCOMPARE(s.owner.log.mid(0, 3), (QStringList{"show:0", "menu:32711", "ranges"}));
    QCOMPARE(s.ctrl.pos(), QPoint(40, 30));
    QCOMPARE(owner.presses, 0); // the click is the stave's alone
}

void TestStaveCtrl::clefOutOfRangeIsGrandStaff()
{
    Stave s(7);
    QVERIFY(showsPicture(s.ctrl.picture(), 152, 10, 60, staffRows(3)));
    s.ctrl.SetNotes(60, -1, -1, -1, 0);
    QCOMPARE(findNoteTop(s.ctrl.picture(), 101) + 32, 124);
    QTest::mouseClick(&s.ctrl, Qt::LeftButton, {}, QPoint(70, 150));
    QCOMPARE(CStaveCtrl::nClef, 0);
    s.ctrl.SetClef(-2);
    QCOMPARE(CStaveCtrl::nClef, 3);
    QCOMPARE(s.owner.menuIds.last(), 32713);
    CStaveCtrl::nClef = -100;
    s.ctrl.Draw(false);
    QVERIFY(showsPicture(s.ctrl.picture(), 152, 10, 60, staffRows(3)));
}

void TestStaveCtrl::rightDrag_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("moves");
    QTest::newRow("right alone") << int(Qt::RightButton) << int(Qt::NoModifier) << true;
    QTest::newRow("right with Shift") << int(Qt::RightButton) << int(Qt::ShiftModifier) << false;
    QTest::newRow("right with Ctrl") << int(Qt::RightButton) << int(Qt::ControlModifier) << false;
    QTest::newRow("right and left") << int(Qt::RightButton | Qt::LeftButton) << int(Qt::NoModifier) << false;
}

void TestStaveCtrl::rightDrag()
{
    QFETCH(int, buttons);
    QFETCH(int, modifiers);
    QFETCH(bool, moves);
    Stave s(CStaveCtrl::Treble);
    s.ctrl.SetNotes(60, -1, -1, -1, 0);
    const QImage plain = s.ctrl.picture().copy();
    QTest::mousePress(&s.ctrl, Qt::RightButton, {}, QPoint(20, 20));
    QVERIFY(isBlack(s.ctrl.picture(), 0, 100));
    QVERIFY(isBlack(s.ctrl.picture(), 144, 100));
    QVERIFY(isBlack(s.ctrl.picture(), 70, 309));
    const int redraws = s.listener.redraws;
    sendMove(&s.ctrl, QPoint(40, 35), Qt::MouseButtons(buttons), Qt::KeyboardModifiers(modifiers));
    if (moves) {
        QCOMPARE(s.ctrl.pos(), QPoint(60, 45));
        QCOMPARE(s.ctrl.size(), QSize(145, 310));
        QCOMPARE(s.listener.moves, (QList<QPoint>{QPoint(60, 355)}));
        QCOMPARE(s.listener.redraws, redraws + 1);
    } else {
        QCOMPARE(s.ctrl.pos(), QPoint(40, 30));
        QVERIFY(s.listener.moves.isEmpty());
    }
    QTest::mouseRelease(&s.ctrl, Qt::RightButton, {}, QPoint(20, 20));
    QCOMPARE(s.ctrl.picture(), plain);
    QCOMPARE(CStaveCtrl::nClef, 0);
}

// The picture is composed at the screen's pixel ratio: run once more at 2×.
void TestStaveCtrl::hiDpiComposition()
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
    Stave s(CStaveCtrl::Treble);
    QCOMPARE(s.ctrl.devicePixelRatioF(), 2.0);
    s.ctrl.SetNotes(60, -1, -1, -1, 0);
    const QImage& img = s.ctrl.picture();
    QCOMPARE(img.devicePixelRatio(), 2.0);
    QCOMPARE(img.size(), QSize(290, 620));
    QCOMPARE(s.ctrl.size(), QSize(145, 310));
    // A one-pixel line covers two device rows.
    for (int y : staffRows(0)) {
        QVERIFY(isWhite(img, 2 * 100, 2 * y - 1));
        QVERIFY(isBlack(img, 2 * 100, 2 * y));
        QVERIFY(isBlack(img, 2 * 100 + 1, 2 * y + 1));
        QVERIFY(isWhite(img, 2 * 100, 2 * y + 2));
    }
    QVERIFY(isBlack(img, 2 * 84, 2 * 184) && isBlack(img, 2 * 84, 2 * 184 + 1)); // C4's ledger line
    // The @2x clef picture lands at the 1× position, at full resolution.
    const QImage clef = platform::LoadBitmap(137, 2.0).convertToFormat(QImage::Format_RGB32);
    QCOMPARE(clef.size(), QSize(76, 144));
    int same = 0;
    for (int j = 0; j < clef.height(); ++j)
        for (int i = 0; i < clef.width(); ++i)
            same += (img.pixel(60 + i, 240 + j) | 0xff000000) == clef.pixel(i, j);
    QVERIFY2(same >= clef.width() * clef.height() - 10 * clef.width(), qPrintable(QString::number(same)));
}

QTEST_MAIN(TestStaveCtrl)
#include "tst_stavectrl.moc"
