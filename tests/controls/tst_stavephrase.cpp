// SPDX-License-Identifier: GPL-3.0-or-later
// The stave with a line of music: the staff space it chooses for its size, the
// line fitting its width, the cursor, played notes and hint names, checked on
// the layout and on a few pixels whose colour is known.
#include "controls/stavectrl.h"
#include "support/phraselines.h"

#include <QtTest>

Q_DECLARE_METATYPE(tonvero::music::Phrase)

namespace {

using namespace phraselines;

struct Stave {
    StaveLayoutTable layout = CStaveCtrl::DefaultLayout();
    CStaveCtrl ctrl;

    Stave(int clef, const QSize& size)
    {
        CStaveCtrl::nClef = clef;
        ctrl.initialize(layout.data());
        ctrl.resize(size);
    }
    // A layout position in the picture's pixels.
    QPoint at(double x, double y) const
    {
        const QPointF p = ctrl.phraseOrigin() + QPointF(x, y) * ctrl.phraseSpace();
        return QPoint(qRound(p.x()), qRound(p.y()));
    }
    QRgb pixel(const QPoint& p) const { return ctrl.picture().pixel(p) | 0xff000000; }
    // The centre of the first notehead of an event.
    QPoint head(int event) const
    {
        const auto& l = ctrl.phraseLayout();
        for (const auto& h : l.noteheads)
            if (h.event == event)
                return at(h.x + 0.59, l.y(h.staff, h.position));
        return {};
    }
};

bool dark(QRgb c)
{
    return qGray(c) < 60;
}

const QRgb White = qRgb(255, 255, 255);

} // namespace

class TestStavePhrase : public QObject {
    Q_OBJECT
private slots:
    void init();
    void spaceFitsTheSize_data();
    void spaceFitsTheSize();
    void resizingLaysOutAgain();
    void clefChangeLaysOutAgain();
    void cursorBandStandsOverTheEvent_data();
    void cursorBandStandsOverTheEvent();
    void playedEventsGreyOrHidden();
    void triangleWithShapeMarks();
    void namesUnderTheLowestStaff();
    void accessibleValueSaysTheLine();
    void clearingGivesTheSingleNoteBack();
    void oddLinesDrawSafely();
};

void TestStavePhrase::init()
{
    CInstrumentCtrl::SetShapeMarks(false);
}

void TestStavePhrase::spaceFitsTheSize_data()
{
    QTest::addColumn<tonvero::music::Phrase>("phrase");
    QTest::addColumn<int>("clef");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("space");

    // Height decides: 4 staff spaces and 4 free above and below make 12; 130 / 12 gives 10.
    QTest::newRow("treble, by its height") << gMajorTreble() << int(CStaveCtrl::Treble) << QSize(700, 130) << 10;
    // A tall control stops at the largest space.
    QTest::newRow("treble, tall") << gMajorTreble() << int(CStaveCtrl::Treble) << QSize(1400, 600) << 14;
    // Narrow: the line's own width decides, below what the height allows.
    QTest::newRow("treble, narrow") << gMajorTreble() << int(CStaveCtrl::Treble) << QSize(420, 200) << -1;
    // Far too small: the smallest readable space, and the line is cut.
    QTest::newRow("grand, tiny") << bFlatMajorGrandChords() << int(CStaveCtrl::TrebleBass) << QSize(120, 60)
                                 << phrasepicture::MinSpace;
    // 4 + 6 + 4 spaces of staves and 4 free above and below: 22; 240 / 22 gives 10.
    QTest::newRow("grand, by its height") << bFlatMajorGrandChords() << int(CStaveCtrl::TrebleBass) << QSize(900, 240)
                                          << 10;
}

void TestStavePhrase::spaceFitsTheSize()
{
    QFETCH(tonvero::music::Phrase, phrase);
    QFETCH(int, clef);
    QFETCH(QSize, size);
    QFETCH(int, space);

    Stave s(clef, size);
    s.ctrl.ShowPhrase(phrase);
    const auto& l = s.ctrl.phraseLayout();
    const double chosen = s.ctrl.phraseSpace();
    QCOMPARE(s.ctrl.picture().deviceIndependentSize(), QSizeF(size));
    if (space > 0) {
        QCOMPARE(chosen, double(space));
    } else {
        QVERIFY2(chosen >= phrasepicture::MinSpace && chosen < size.height() / 12.0, qPrintable(QString::number(chosen)));
        // One pixel more and the natural width would not fit.
        const auto natural = tonvero::notation::layoutLine(phrase, tonvero::notation::Clef(clef));
        QVERIFY((chosen + 1) * (natural.width + 1.5) > size.width());
    }
    const double right = s.ctrl.phraseOrigin().x() + l.width * chosen;
    if (space != phrasepicture::MinSpace) {
        // The line fills the width, less a space at the right, and stays inside it.
        QVERIFY2(right <= size.width() && right >= size.width() - 2 * chosen,
                 qPrintable(QStringLiteral("%1 of %2").arg(right).arg(size.width())));
        // Centred: as much room above the top line as below the lowest.
        const double top = s.ctrl.phraseOrigin().y();
        const double bottom = size.height() - (top + l.height * chosen);
        QVERIFY2(std::abs(top - bottom) <= 1, qPrintable(QStringLiteral("%1 / %2").arg(top).arg(bottom)));
        // Staff lines on whole pixels, drawn where the layout puts them.
        const int x = s.at(l.width - 0.5, 0).x();
        for (int line = 0; line < 5; ++line)
            QVERIFY(dark(s.pixel(s.at(l.width - 0.5, l.staves.back().top + line) - QPoint(x - x, 0))));
    } else {
        QVERIFY(right > size.width());
    }
}

void TestStavePhrase::resizingLaysOutAgain()
{
    Stave s(CStaveCtrl::Treble, QSize(700, 130));
    s.ctrl.ShowPhrase(gMajorTreble());
    s.ctrl.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s.ctrl));
    QCOMPARE(s.ctrl.phraseSpace(), 10.0);
    const double before = s.ctrl.phraseLayout().width;
    s.ctrl.resize(900, 130);
    QCOMPARE(s.ctrl.picture().deviceIndependentSize(), QSizeF(900, 130));
    QCOMPARE(s.ctrl.phraseSpace(), 10.0);
    QVERIFY(s.ctrl.phraseLayout().width > before + 15);
    s.ctrl.resize(900, 170);
    QCOMPARE(s.ctrl.phraseSpace(), 14.0);
}

void TestStavePhrase::clefChangeLaysOutAgain()
{
    Stave s(CStaveCtrl::Treble, QSize(700, 240));
    s.ctrl.ShowPhrase(bFlatMajorGrandChords());
    QCOMPARE(s.ctrl.phraseLayout().staves.size(), size_t(1));
    s.ctrl.SetClef(CStaveCtrl::TrebleBass);
    QCOMPARE(s.ctrl.phraseLayout().staves.size(), size_t(2));
    s.ctrl.SetClef(CStaveCtrl::Alto);
    QCOMPARE(s.ctrl.phraseLayout().staves.front().clef, tonvero::notation::StaffClef::Alto);
}

void TestStavePhrase::cursorBandStandsOverTheEvent_data()
{
    QTest::addColumn<int>("cursor");
    QTest::newRow("first") << 0;
    QTest::newRow("a beamed eighth") << 4;
    QTest::newRow("a rest") << 7;
    QTest::newRow("the last") << 10;
}

void TestStavePhrase::cursorBandStandsOverTheEvent()
{
    QFETCH(int, cursor);
    Stave s(CStaveCtrl::Treble, QSize(700, 130));
    s.ctrl.ShowPhrase(gMajorTreble());
    s.ctrl.SetPhraseCursor(cursor);
    QCOMPARE(s.ctrl.phraseCursor(), cursor);
    const QRectF band = s.ctrl.phraseCursorBand();
    const auto& event = s.ctrl.phraseLayout().events.at(cursor);
    const QPoint x = s.at(event.x + 0.59, 0);
    QVERIFY2(band.left() < x.x() && band.right() > x.x(), qPrintable(QString::number(x.x())));
    QVERIFY(band.width() < 4 * s.ctrl.phraseSpace());
    // Between the staff lines above the staff, in the band's colour; beside it, white.
    const QPoint above = s.at(event.x + 0.59, -2.25);
    QCOMPARE(s.pixel(QPoint(qRound(band.center().x()), above.y())), phrasepicture::bandColour().rgb());
    QCOMPARE(s.pixel(QPoint(qRound(band.left()) - 2, above.y())), White);
    QCOMPARE(s.pixel(QPoint(qRound(band.right()) + 2, above.y())), White);
    // Past the last event, no band.
    s.ctrl.SetPhraseCursor(100);
    QCOMPARE(s.ctrl.phraseCursor(), 11);
    QVERIFY(s.ctrl.phraseCursorBand().isEmpty());
}

void TestStavePhrase::playedEventsGreyOrHidden()
{
    Stave s(CStaveCtrl::Treble, QSize(700, 130));
    s.ctrl.ShowPhrase(gMajorTreble());
    s.ctrl.SetPhraseCursor(3);
    QVERIFY(dark(s.pixel(s.head(4))));
    QVERIFY(dark(s.pixel(s.head(3))));
    for (int e : {0, 1})
        QCOMPARE(s.pixel(s.head(e)), phrasepicture::playedColour().rgb());

    s.ctrl.SetPlayedNotesVisible(false);
    const auto& l = s.ctrl.phraseLayout();
    // G4 of event 0 stands on the second line: beside it, on the line, ink stays.
    const QPoint g4 = s.head(0);
    QCOMPARE(s.pixel(g4 + QPoint(0, -qRound(s.ctrl.phraseSpace() / 4))), White);
    QVERIFY(dark(s.pixel(g4)));
    QCOMPARE(s.pixel(s.head(1)), White);
    QVERIFY(dark(s.pixel(s.head(3))));
    // Clef, key signature and time signature stay.
    const auto& sharp = l.keySignature.front();
    QVERIFY(dark(s.pixel(s.at(sharp.x + 0.7, l.y(0, sharp.position) + 0.7))));
    int clefInk = 0;
    for (int y = -2; y < 6; ++y)
        for (double x = 0.5; x < 3; x += 0.25)
            clefInk += dark(s.pixel(s.at(x, y + 0.5)));
    QVERIFY2(clefInk > 8, qPrintable(QString::number(clefInk)));

    // Every event played: all gone but the staff.
    s.ctrl.SetPhraseCursor(l.events.size());
    for (int e = 0; e < int(l.events.size()); ++e)
        if (s.head(e) != QPoint())
            QVERIFY(s.pixel(s.head(e) + QPoint(0, 2)) == White || s.pixel(s.head(e) - QPoint(0, 2)) == White);
}

void TestStavePhrase::triangleWithShapeMarks()
{
    Stave s(CStaveCtrl::Treble, QSize(700, 130));
    s.ctrl.ShowPhrase(gMajorTreble());
    s.ctrl.SetPhraseCursor(2);
    const QRectF band = s.ctrl.phraseCursorBand();
    const QPoint mark(qRound(band.center().x()), qRound(band.top() + 0.6 * s.ctrl.phraseSpace()));
    QCOMPARE(s.pixel(mark), phrasepicture::bandColour().rgb());
    CInstrumentCtrl::SetShapeMarks(true);
    QCOMPARE(s.pixel(mark), phrasepicture::cursorColour().rgb());
    CInstrumentCtrl::SetShapeMarks(false);
    QCOMPARE(s.pixel(mark), phrasepicture::bandColour().rgb());
}

void TestStavePhrase::namesUnderTheLowestStaff()
{
    Stave s(CStaveCtrl::TrebleBass, QSize(700, 300));
    s.ctrl.ShowPhrase(bFlatMajorGrandChords());
    const auto& l = s.ctrl.phraseLayout();
    // Ink in the rows under the lower staff's room, near the first event's x.
    auto inkBelow = [&] {
        const auto& l = s.ctrl.phraseLayout();
        const int x0 = s.at(l.events[0].x - 1, 0).x(), x1 = s.at(l.events[0].x + 2, 0).x();
        const int y0 = s.at(0, l.height + 4).y();
        int ink = 0;
        for (int y = y0; y < s.ctrl.height(); ++y)
            for (int x = x0; x < x1; ++x)
                ink += dark(s.pixel(QPoint(x, y)));
        return ink;
    };
    QCOMPARE(inkBelow(), 0);
    const double before = s.ctrl.phraseSpace();
    s.ctrl.SetPhraseNames(true);
    // Room for four rows of names (the first chord): a smaller space.
    QVERIFY(s.ctrl.phraseSpace() < before);
    QVERIFY2(inkBelow() > 20, qPrintable(QString::number(inkBelow())));
    Q_UNUSED(l);
}

void TestStavePhrase::accessibleValueSaysTheLine()
{
    Stave s(CStaveCtrl::Treble, QSize(700, 130));
    s.ctrl.ShowPhrase(gMajorTreble());
    s.ctrl.SetPhraseCursor(5);
    QCOMPARE(s.ctrl.accessibleValue(), QStringLiteral("соль мажор, размер 3/4, нота 6 из 11: До диез 5"));
    s.ctrl.SetPhraseCursor(7);
    QVERIFY(s.ctrl.accessibleValue().endsWith(QStringLiteral("нота 8 из 11: пауза")));
    s.ctrl.SetClef(CStaveCtrl::TrebleBass);
    s.ctrl.ShowPhrase(bFlatMajorGrandChords());
    QVERIFY2(s.ctrl.accessibleValue().endsWith(QStringLiteral(
                 "нота 1 из 10: аккорд Си бемоль 2 и Си бемоль 4 и Ре 5 и Фа 5")),
             qPrintable(s.ctrl.accessibleValue()));
    s.ctrl.SetPhraseCursor(10);
    QVERIFY(s.ctrl.accessibleValue().endsWith(QStringLiteral("строка сыграна")));
}

void TestStavePhrase::clearingGivesTheSingleNoteBack()
{
    StaveLayoutTable layout = CStaveCtrl::DefaultLayout();
    CStaveCtrl::nClef = CStaveCtrl::Treble;
    CStaveCtrl plain;
    plain.initialize(layout.data());
    const QImage single = plain.picture();
    const QSize singleSize = plain.size();

    Stave s(CStaveCtrl::Treble, QSize(700, 130));
    s.ctrl.ShowPhrase(gMajorTreble());
    QVERIFY(s.ctrl.showsPhrase());
    s.ctrl.ClearPhrase();
    QVERIFY(!s.ctrl.showsPhrase());
    s.ctrl.resize(singleSize);
    s.ctrl.Draw(false);
    QCOMPARE(s.ctrl.picture(), single);
}

// An empty line, a note far off the staff, a control of no size: drawn or
// skipped, never a crash, and the cursor stays within the line.
void TestStavePhrase::oddLinesDrawSafely()
{
    Stave s(CStaveCtrl::TrebleBass, QSize(700, 240));
    s.ctrl.ShowPhrase(tonvero::music::Phrase{});
    QVERIFY(s.ctrl.showsPhrase());
    QVERIFY(s.ctrl.phraseCursorBand().isEmpty());
    s.ctrl.SetPhraseCursor(3);
    QCOMPARE(s.ctrl.phraseCursor(), 0);
    QVERIFY(!s.ctrl.accessibleValue().isEmpty());

    Phrase wild;
    wild.bars = {Bar{{ev(V::Whole, {n(S::C, 0, 9), n(S::C, 0, 0, 1)})}}};
    s.ctrl.ShowPhrase(wild);
    QCOMPARE(s.ctrl.phraseSpace(), double(phrasepicture::MinSpace));
    QCOMPARE(s.ctrl.picture().deviceIndependentSize(), QSizeF(700, 240));

    s.ctrl.resize(0, 0);
    s.ctrl.SetPhraseCursor(1);
    QCOMPARE(s.ctrl.phraseCursor(), 1);
}

QTEST_MAIN(TestStavePhrase)
#include "tst_stavephrase.moc"
