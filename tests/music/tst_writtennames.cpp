// SPDX-License-Identifier: GPL-3.0-or-later
// The names of written notes, as the stave's hints and a screen reader say
// them: the letter keeps its name whatever the accidental.
#include "music/notenames.h"
#include "music/key.h"
#include "music/pitch.h"

#include <QTest>

using namespace tonvero::music;

Q_DECLARE_METATYPE(tonvero::music::Pitch)

class TestWrittenNames : public QObject {
    Q_OBJECT
private slots:
    void names_data();
    void names();
    void sameAsTheSingleNoteNames();
};

void TestWrittenNames::names_data()
{
    QTest::addColumn<Pitch>("pitch");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("spoken");
    QTest::newRow("natural") << Pitch{Step::G, 0, 4} << "Соль" << "Соль 4";
    QTest::newRow("sharp") << Pitch{Step::F, 1, 5} << "Фа #" << "Фа диез 5";
    QTest::newRow("flat") << Pitch{Step::B, -1, 3} << "Си b" << "Си бемоль 3";
    QTest::newRow("E sharp: no black key") << Pitch{Step::E, 1, 4} << "Ми #" << "Ми диез 4";
    QTest::newRow("C flat keeps its octave") << Pitch{Step::C, -1, 5} << "До b" << "До бемоль 5";
    QTest::newRow("double sharp") << Pitch{Step::F, 2, 4} << "Фа ##" << "Фа дубль-диез 4";
    QTest::newRow("double flat") << Pitch{Step::E, -2, 3} << "Ми bb" << "Ми дубль-бемоль 3";
    QTest::newRow("broken accidental: the letter") << Pitch{Step::A, 5, 4} << "Ля" << "Ля 4";
}

void TestWrittenNames::names()
{
    QFETCH(Pitch, pitch);
    QFETCH(QString, written);
    QFETCH(QString, spoken);
    QCOMPARE(writtenName(pitch), written);
    QCOMPARE(spokenWrittenName(pitch), spoken);
}

// A single sharp or flat on a black key reads as the single note's name did.
void TestWrittenNames::sameAsTheSingleNoteNames()
{
    for (int pc = 0; pc < 12; ++pc) {
        const bool black = pc == 1 || pc == 3 || pc == 6 || pc == 8 || pc == 10;
        if (!black) {
            QCOMPARE(writtenName(Pitch::fromMidi(60 + pc, Key(0, Mode::Major))), sharpName(pc));
            continue;
        }
        QCOMPARE(writtenName(Pitch::fromMidi(60 + pc, Key(7, Mode::Major))), sharpName(pc));
        QCOMPARE(writtenName(Pitch::fromMidi(60 + pc, Key(-7, Mode::Major))), flatName(pc));
    }
}

QTEST_GUILESS_MAIN(TestWrittenNames)
#include "tst_writtennames.moc"
