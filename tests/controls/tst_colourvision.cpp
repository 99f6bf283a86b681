// SPDX-License-Identifier: GPL-3.0-or-later
// The marks as players with protanopia and deuteranopia see them: each mark is
// composed onto its key or string, the picture is passed through the
// Machado-Oliveira-Fernandes (2009) simulation at severity 1.0 in linear RGB,
// and every pair of marks must still differ by shape (overlap of the inked
// pixels) and by colour (CIEDE2000 between the inks). The colour marks fail
// this where red meets green; the shape marks pass it everywhere.
#include "controls/guitarctrl.h"
#include "controls/pianoctrl.h"
#include "platform/ui/bitmap.h"
#include "support/colourvision.h"

#include <QPainter>
#include <QtTest>

#include <cmath>
#include <memory>

namespace {

using namespace colourvision;

// How far apart two marks must be, for every kind of vision. Overlap is the
// share of the inked pixels the two marks have in common (intersection over
// union); a dot, a ring and a cross share at most about 0.6 of theirs.
constexpr double kMaxOverlap = 0.7;
// CIEDE2000 between the mean ink colours; about 10 is a plain difference for
// small areas side by side, 15 one that holds for marks met one at a time.
constexpr double kMinColourDifference = 15;
// Between a mark and the key or wood under it, pixel by pixel.
constexpr double kMinContrast = 20;

// A mark's pixels: those that differ clearly from the ground and carry colour
// (a white halo or a shadow is not ink).
struct Ink {
    QList<bool> mask;
    int count = 0;
    Rgb mean{}; // linear
};

bool differs(const Lab& marked, const Lab& bare)
{
    return deltaE76(marked, bare) > 15;
}

Ink inkOf(const QImage& marked, const QImage& bare)
{
    Ink ink;
    ink.mask.resize(qsizetype(marked.width()) * marked.height());
    for (int y = 0; y < marked.height(); ++y)
        for (int x = 0; x < marked.width(); ++x) {
            const Rgb m = linearOf(marked.pixel(x, y));
            const Lab lm = labOf(m);
            const bool inked = differs(lm, labOf(linearOf(bare.pixel(x, y)))) && chroma(lm) >= 25;
            ink.mask[qsizetype(y) * marked.width() + x] = inked;
            if (!inked)
                continue;
            ++ink.count;
            for (int i = 0; i < 3; ++i)
                ink.mean[i] += m[i];
        }
    for (int i = 0; i < 3 && ink.count; ++i)
        ink.mean[i] /= ink.count;
    return ink;
}

// How much a mark changes the picture where it lies (ink and halo), as the
// eye of that vision sees it: the mean CIEDE2000 over the changed pixels.
double visibility(const QImage& marked, const QImage& bare, Vision v)
{
    double sum = 0;
    int n = 0;
    for (int y = 0; y < marked.height(); ++y)
        for (int x = 0; x < marked.width(); ++x) {
            const Rgb m = linearOf(marked.pixel(x, y)), b = linearOf(bare.pixel(x, y));
            if (!differs(labOf(m), labOf(b)))
                continue;
            sum += deltaE2000(labOf(simulate(m, v)), labOf(simulate(b, v)));
            ++n;
        }
    return n ? sum / n : 0;
}

double overlap(const Ink& p, const Ink& q)
{
    int both = 0, either = 0;
    for (qsizetype i = 0; i < p.mask.size(); ++i) {
        both += p.mask[i] && q.mask[i];
        either += p.mask[i] || q.mask[i];
    }
    return either ? double(both) / either : 1.0;
}

double colourDifference(const Ink& p, const Ink& q, Vision v)
{
    return deltaE2000(labOf(simulate(p.mean, v)), labOf(simulate(q.mean, v)));
}

// Where the marks are looked at, and which kind.
enum Place { WhiteKey, BlackKeyFirstSet, BlackKeySecondSet, GuitarString, BassString };
const char* const kPlaceNames[] = {"white key", "black key (D#)", "black key (C#)", "guitar", "bass"};
enum Kind { ColourMarks, ShapeMarks };

// The note each place shows, and one of the fretboards' positions of it (x, y).
int noteOf(Place place)
{
    switch (place) {
    case WhiteKey: return 60;
    case BlackKeyFirstSet: return 63;
    case BlackKeySecondSet: return 61;
    case GuitarString: return 64; // string 4, fret 2
    case BassString: return 43;   // string 4, fret 3
    }
    return 60;
}

QPoint fretPosition(Place place)
{
    return place == GuitarString ? QPoint(83, 49) : QPoint(126, 49);
}

struct Composed {
    QImage marks[3]; // by meaning (shape marks) or Red, Green, Blue (colour marks)
    QImage bare;
};

const char* const kColourNames[] = {"red", "green", "blue"};
const char* const kMeaningNames[] = {"to play", "played right", "played wrong"};

} // namespace

class TestColourVision : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void deltaE2000MatchesReference_data();
    void deltaE2000MatchesReference();
    void simulationKeepsGreys();
    void shapeMarksStayApart_data();
    void shapeMarksStayApart();
    void colourMarksRelyOnColourAlone_data();
    void colourMarksRelyOnColourAlone();

private:
    // Composed by the real controls on a 1× screen.
    Composed composeByControls(Place place, Kind kind);
    // The shape marks composed by hand from the 2× pictures, as the controls
    // compose them on a 2× screen.
    Composed composeAt2x(Place place);
    QRect cropOf(Place place) const;

    PianoLayoutTable m_pianoLayout = CPianoCtrl::DefaultLayout();
    std::unique_ptr<CPianoCtrl> m_piano;
};

void TestColourVision::initTestCase()
{
    m_piano = std::make_unique<CPianoCtrl>();
    QVERIFY(m_piano->initialize(m_pianoLayout.data()));
    m_piano->SetKeyboardMode(true);
}

void TestColourVision::cleanup()
{
    CInstrumentCtrl::SetShapeMarks(false);
}

void TestColourVision::deltaE2000MatchesReference_data()
{
    QTest::addColumn<double>("l1");
    QTest::addColumn<double>("a1");
    QTest::addColumn<double>("b1");
    QTest::addColumn<double>("l2");
    QTest::addColumn<double>("a2");
    QTest::addColumn<double>("b2");
    QTest::addColumn<double>("expected");
    // Sharma, Wu and Dalal (2005), the CIEDE2000 test data.
    QTest::newRow("pair 1") << 50.0 << 2.6772 << -79.7751 << 50.0 << 0.0 << -82.7485 << 2.0425;
    QTest::newRow("pair 7") << 50.0 << 0.0 << 0.0 << 50.0 << -1.0 << 2.0 << 2.3669;
    QTest::newRow("hue across 0") << 50.0 << 2.49 << -0.001 << 50.0 << -2.49 << 0.0011 << 7.2195;
    QTest::newRow("large") << 50.0 << 2.5 << 0.0 << 73.0 << 25.0 << -18.0 << 27.1492;
    QTest::newRow("greenish") << 60.2574 << -34.0099 << 36.2677 << 60.4626 << -34.1751 << 39.4387 << 1.2644;
}

void TestColourVision::deltaE2000MatchesReference()
{
    QFETCH(double, l1);
    QFETCH(double, a1);
    QFETCH(double, b1);
    QFETCH(double, l2);
    QFETCH(double, a2);
    QFETCH(double, b2);
    QFETCH(double, expected);
    QVERIFY2(std::abs(deltaE2000({l1, a1, b1}, {l2, a2, b2}) - expected) < 1e-4,
             qPrintable(QString::number(deltaE2000({l1, a1, b1}, {l2, a2, b2}), 'f', 4)));
    QVERIFY(std::abs(deltaE2000({l2, a2, b2}, {l1, a1, b1}) - expected) < 1e-4);
}

// Neither simulation moves white, black or grey: the matrices' rows sum to one.
void TestColourVision::simulationKeepsGreys()
{
    for (int grey : {0, 60, 128, 200, 255})
        for (Vision v : {Protanopia, Deuteranopia}) {
            const Rgb c = linearOf(qRgb(grey, grey, grey));
            QVERIFY2(deltaE76(labOf(simulate(c, v)), labOf(c)) < 0.05, qPrintable(QString::number(grey)));
        }
    // Red and green, which a deuteranope confuses, come out nearly alike.
    const Rgb red = linearOf(qRgb(214, 24, 24)), green = linearOf(qRgb(24, 168, 48));
    QVERIFY(deltaE2000(labOf(red), labOf(green)) > 50);
    QVERIFY(deltaE2000(labOf(simulate(red, Deuteranopia)), labOf(simulate(green, Deuteranopia))) < 10);
}

QRect TestColourVision::cropOf(Place place) const
{
    if (place == GuitarString || place == BassString) {
        const QPoint at = fretPosition(place);
        return QRect(at.x() - 8, at.y() - 8, 17, 17);
    }
    const KeyInfo& key = CInstrumentCtrl::KeyTable[noteOf(place) - 21];
    return QRect(key.x, key.y, 14, key.isWhite ? 26 : 21);
}

Composed TestColourVision::composeByControls(Place place, Kind kind)
{
    Composed out;
    const int note = noteOf(place);
    const QRect crop = cropOf(place);
    CInstrumentCtrl::SetShapeMarks(kind == ShapeMarks);
    // Colour marks: Red, Green, Blue. Shape marks: to play (Green), played right
    // (Blue), played wrong (Blue, then a missed note marked Red elsewhere).
    const int marks[3] = {kind == ShapeMarks ? int(Green) : int(Red), kind == ShapeMarks ? int(Blue) : int(Green), Blue};
    const int missed = note + 12;
    auto clear = [&] {
        m_piano->SetKeyboardMode(false);
        m_piano->SetKeyboardMode(true);
    };

    if (place == GuitarString || place == BassString) {
        const int id = place == GuitarString ? CInstrumentCtrl::GuitarId : CInstrumentCtrl::BassId;
        FretboardLayoutTable layout = id == CInstrumentCtrl::GuitarId ? CGuitarCtrl::GuitarLayout() : CGuitarCtrl::BassLayout();
        CGuitarCtrl board(id);
        CInstrumentCtrl::ControlsReady = true; // the piano has built the key table
        board.initialize(layout.data());
        clear();
        board.SetNoteState(0, Red);
        out.bare = board.picture().copy(crop).convertToFormat(QImage::Format_RGB32);
        for (int i = 0; i < 3; ++i) {
            clear();
            board.SetNoteState(note, marks[i]);
            if (kind == ShapeMarks && i == 2) {
                m_piano->SetNoteState(missed, Red);
                board.Redraw(false);
            }
            out.marks[i] = board.picture().copy(crop).convertToFormat(QImage::Format_RGB32);
        }
        return out;
    }

    clear();
    out.bare = m_piano->picture().copy(crop).convertToFormat(QImage::Format_RGB32);
    for (int i = 0; i < 3; ++i) {
        clear();
        m_piano->SetNoteState(note, marks[i]);
        if (kind == ShapeMarks && i == 2)
            m_piano->SetNoteState(missed, Red);
        out.marks[i] = m_piano->picture().copy(crop).convertToFormat(QImage::Format_RGB32);
    }
    return out;
}

Composed TestColourVision::composeAt2x(Place place)
{
    Composed out;
    const QRect crop = cropOf(place);
    const QRect crop2(crop.topLeft() * 2, crop.size() * 2);
    const bool fret = place == GuitarString || place == BassString;
    const int groundId = place == GuitarString ? 136 : place == BassString ? 148 : m_pianoLayout[28];
    QImage ground = platform::LoadBitmap(groundId, 2.0).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ground.setDevicePixelRatio(1);
    out.bare = ground.copy(crop2).convertToFormat(QImage::Format_RGB32);
    const KeyInfo& key = CInstrumentCtrl::KeyTable[noteOf(place) - 21];
    const int first = fret ? CInstrumentCtrl::ShapeMarkFretPictures
                           : key.isWhite ? CInstrumentCtrl::ShapeMarkWhitePictures : CInstrumentCtrl::ShapeMarkBlackPictures;
    for (int i = 0; i < 3; ++i) {
        QImage mark = platform::LoadBitmap(first + i, 2.0);
        mark.setDevicePixelRatio(1);
        // The fretboard centres its 1x picture on the string's pixel: 7 to the left and above.
        const QPoint at = fret ? (fretPosition(place) - QPoint(7, 7)) * 2 : QPoint(key.x, key.y) * 2;
        QImage marked = ground;
        QPainter p(&marked);
        p.drawImage(at, mark);
        p.end();
        out.marks[i] = marked.copy(crop2).convertToFormat(QImage::Format_RGB32);
    }
    return out;
}

void TestColourVision::shapeMarksStayApart_data()
{
    QTest::addColumn<int>("place");
    QTest::addColumn<int>("scale");
    for (int place = WhiteKey; place <= BassString; ++place)
        for (int scale : {1, 2})
            QTest::newRow(QStringLiteral("%1 %2x").arg(QLatin1String(kPlaceNames[place])).arg(scale).toLatin1().constData())
                << place << scale;
}

// Every pair of shape marks differs by shape and by colour, and every mark
// stands out from its ground, for normal vision and both deficiencies.
void TestColourVision::shapeMarksStayApart()
{
    QFETCH(int, place);
    QFETCH(int, scale);
    const Composed c = scale == 1 ? composeByControls(Place(place), ShapeMarks) : composeAt2x(Place(place));
    Ink ink[3];
    for (int i = 0; i < 3; ++i) {
        ink[i] = inkOf(c.marks[i], c.bare);
        QVERIFY2(ink[i].count >= 10 * scale * scale, kMeaningNames[i]);
    }
    for (int v = Normal; v <= Deuteranopia; ++v) {
        for (int i = 0; i < 3; ++i) {
            const double k = visibility(c.marks[i], c.bare, Vision(v));
            qInfo("shape marks, %s %dx, %s, %s on its ground: dE2000 %.1f", kPlaceNames[place], scale, visionName(Vision(v)),
                  kMeaningNames[i], k);
            QVERIFY2(k >= kMinContrast, qPrintable(QStringLiteral("%1, %2: dE %3 against its ground")
                                                       .arg(QLatin1String(visionName(Vision(v))), QLatin1String(kMeaningNames[i]))
                                                       .arg(k, 0, 'f', 1)));
        }
        for (int i = 0; i < 3; ++i)
            for (int j = i + 1; j < 3; ++j) {
                const double shape = overlap(ink[i], ink[j]);
                const double colour = colourDifference(ink[i], ink[j], Vision(v));
                const QString pair = QStringLiteral("%1 / %2").arg(QLatin1String(kMeaningNames[i]), QLatin1String(kMeaningNames[j]));
                qInfo("shape marks, %s %dx, %s, %s: overlap %.2f, dE2000 %.1f", kPlaceNames[place], scale,
                      visionName(Vision(v)), qPrintable(pair), shape, colour);
                QVERIFY2(shape <= kMaxOverlap, qPrintable(pair + QStringLiteral(": overlap %1").arg(shape)));
                QVERIFY2(colour >= kMinColourDifference, qPrintable(pair + QStringLiteral(": dE %1").arg(colour)));
            }
    }
}

void TestColourVision::colourMarksRelyOnColourAlone_data()
{
    QTest::addColumn<int>("place");
    for (int place = WhiteKey; place <= BassString; ++place)
        QTest::newRow(kPlaceNames[place]) << place;
}

// The colour marks have one shape: only colour tells them apart, and for a
// deuteranope the red and green piano marks are nearly the same colour.
void TestColourVision::colourMarksRelyOnColourAlone()
{
    QFETCH(int, place);
    const Composed c = composeByControls(Place(place), ColourMarks);
    Ink ink[3];
    for (int i = 0; i < 3; ++i)
        ink[i] = inkOf(c.marks[i], c.bare);
    for (int v = Normal; v <= Deuteranopia; ++v)
        for (int i = 0; i < 3; ++i)
            for (int j = i + 1; j < 3; ++j) {
                const double shape = overlap(ink[i], ink[j]);
                const double colour = colourDifference(ink[i], ink[j], Vision(v));
                qInfo("colour marks, %s, %s, %s / %s: overlap %.2f, dE2000 %.1f", kPlaceNames[place], visionName(Vision(v)),
                      kColourNames[i], kColourNames[j], shape, colour);
                QVERIFY2(shape > kMaxOverlap, "the colour marks share one shape");
                if (v == Normal)
                    QVERIFY(colour >= kMinColourDifference);
            }
    const bool piano = place != GuitarString && place != BassString;
    if (piano) {
        const double redGreen = colourDifference(ink[0], ink[1], Deuteranopia);
        QVERIFY2(redGreen < kMinColourDifference,
                 qPrintable(QStringLiteral("red and green for a deuteranope: dE %1").arg(redGreen)));
    }
}

QTEST_MAIN(TestColourVision)
#include "tst_colourvision.moc"
