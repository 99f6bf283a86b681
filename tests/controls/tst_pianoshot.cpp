// SPDX-License-Identifier: GPL-3.0-or-later
// Composes the piano on a 2× screen, checks it against the 2× pictures and,
// with TONVERO_SHOTS_DIR set, saves the pictures used in the documentation.
#include "controls/pianoctrl.h"
#include "platform/ui/bitmap.h"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QTest>

namespace {

const int* layout()
{
    return CPianoCtrl::DefaultLayout().data();
}

void saveShot(const QImage& picture, const QString& name)
{
    const QString dir = qEnvironmentVariable("TONVERO_SHOTS_DIR");
    if (dir.isEmpty())
        return;
    QDir().mkpath(dir);
    QVERIFY(picture.save(QDir(dir).filePath(name)));
}

} // namespace

class TestPianoShot : public QObject {
    Q_OBJECT
private slots:
    void keyboardWithMarks();
    void rangesWithBounds();
};

void TestPianoShot::keyboardWithMarks()
{
    CPianoCtrl piano;
    QVERIFY(piano.initialize(layout()));
    piano.SetKeyboardMode(true);
    struct Mark {
        int note;
        int mark;
    };
    // White keys, black keys of the first set (D#, F#) and of the second (C#, G#, A#).
    const Mark marks[] = {{21, Green}, {60, Red}, {63, Green}, {70, Blue}, {37, Red}, {90, Blue}, {104, Green}, {108, Blue}};
    for (const Mark& m : marks)
        piano.SetNoteState(m.note, m.mark);

    const QImage& picture = piano.picture();
    QCOMPARE(picture.devicePixelRatio(), 2.0);
    QCOMPARE(picture.size(), QSize(677, 119) * 2);
    QCOMPARE(piano.size(), QSize(677, 119));

    // The same marks laid by hand from the 2× pictures at 1× positions.
    QImage expected = platform::LoadBitmap(layout()[28], 2.0).convertToFormat(picture.format());
    QCOMPARE(expected.devicePixelRatio(), 2.0);
    QPainter p(&expected);
    for (const Mark& m : marks) {
        const KeyInfo& key = CInstrumentCtrl::KeyTable[m.note - 21];
        const QImage img = platform::LoadBitmap(layout()[29 + key.imageSet + m.mark - 2], 2.0);
        QCOMPARE(img.devicePixelRatio(), 2.0);
        p.drawImage(QPoint(key.x, key.y), img);
    }
    p.end();
    QCOMPARE(picture, expected);
    saveShot(picture, QStringLiteral("piano-keyboard.png"));
}

void TestPianoShot::rangesWithBounds()
{
    CPianoCtrl piano;
    QVERIFY(piano.initialize(layout()));
    piano.SetRangeCount(2);
    piano.SetBounds(31, 79);
    piano.SetRange(0, 51, 72);
    piano.SetRange(1, 31, 50);
    QCOMPARE(piano.GetRangeLow(1), 31);

    const QImage& picture = piano.picture();
    QCOMPARE(picture.size(), QSize(677, 119) * 2);
    // Lines are whole 1× pixels: the green line at row 45 fills device rows 88..93.
    const int x = 2 * (CInstrumentCtrl::KeyTable[51].x + 6);
    for (int y = 88; y <= 93; ++y)
        QCOMPARE(picture.pixel(x, y), qRgb(0, 220, 0));
    QVERIFY(picture.pixel(x, 87) != qRgb(0, 220, 0));
    QCOMPARE(picture.pixel(2 * (CInstrumentCtrl::KeyTable[0].x + 6), 2 * 104), qRgb(255, 217, 0));
    saveShot(picture, QStringLiteral("piano-ranges.png"));
}

int main(int argc, char** argv)
{
    // A 2× screen, so that the picture is composed from the 2× pictures.
    if (!qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        qputenv("QT_SCALE_FACTOR", "2");
    QApplication app(argc, argv);
    TestPianoShot test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_pianoshot.moc"
