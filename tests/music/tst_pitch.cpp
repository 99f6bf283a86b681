// SPDX-License-Identifier: GPL-3.0-or-later
#include "music/key.h"
#include "support/phrasetext.h"

#include <QTest>

using namespace tonvero::music;
using phrasetext::pitch;

Q_DECLARE_METATYPE(tonvero::music::Mode)

class TestPitch : public QObject {
    Q_OBJECT

private slots:
    void midiNumbers_data();
    void midiNumbers();
    void spellingInKey_data();
    void spellingInKey();
    void keys_data();
    void keys();
    void signatureOrder();
    void keyNames_data();
    void keyNames();
};

void TestPitch::midiNumbers_data()
{
    QTest::addColumn<QString>("note");
    QTest::addColumn<int>("midi");
    QTest::addColumn<QString>("ascii");
    QTest::newRow("A0, the lowest key") << "A0" << 21 << "A0";
    QTest::newRow("middle C") << "C4" << 60 << "C4";
    QTest::newRow("C8, the highest key") << "C8" << 108 << "C8";
    QTest::newRow("B#3 sounds as C4") << "B#3" << 60 << "B#3";
    QTest::newRow("Cb5 sounds as B4") << "Cb5" << 71 << "Cb5";
    QTest::newRow("double sharp") << "Fx4" << 67 << "Fx4";
    QTest::newRow("double flat") << "Bbb3" << 57 << "Bbb3";
    QTest::newRow("below C0") << "B-1" << 11 << "B-1";
}

void TestPitch::midiNumbers()
{
    QFETCH(QString, note);
    QFETCH(int, midi);
    QFETCH(QString, ascii);
    const Pitch p = pitch(note);
    QCOMPARE(p.midi(), midi);
    QCOMPARE(p.keyIndex(), midi - 21);
    QCOMPARE(p.asciiName(), ascii);
    QCOMPARE(Pitch::fromDiatonic(p.diatonicIndex(), p.alter), p);
}

void TestPitch::spellingInKey_data()
{
    QTest::addColumn<int>("fifths");
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<int>("midi");
    QTest::addColumn<QString>("spelled");
    QTest::newRow("C: white key") << 0 << Mode::Major << 64 << "E4";
    QTest::newRow("C: black key as a sharp") << 0 << Mode::Major << 61 << "C#4";
    QTest::newRow("G: F sharp") << 1 << Mode::Major << 66 << "F#4";
    QTest::newRow("F: B flat") << -1 << Mode::Major << 70 << "Bb4";
    QTest::newRow("F: out of key as a flat") << -1 << Mode::Major << 66 << "Gb4";
    QTest::newRow("A minor: raised seventh") << 0 << Mode::Minor << 68 << "G#4";
    QTest::newRow("D minor: raised seventh") << -1 << Mode::Minor << 61 << "C#4";
    QTest::newRow("D minor: raised sixth") << -1 << Mode::Minor << 71 << "B4";
    QTest::newRow("C minor: B natural") << -3 << Mode::Minor << 71 << "B4";
    QTest::newRow("C# major: B sharp, the octave below") << 7 << Mode::Major << 72 << "B#4";
    QTest::newRow("C# major: G natural, not F double sharp") << 7 << Mode::Major << 67 << "G4";
    QTest::newRow("Cb major: C flat, the octave above") << -7 << Mode::Major << 71 << "Cb5";
    QTest::newRow("Cb major: F flat") << -7 << Mode::Major << 64 << "Fb4";
    QTest::newRow("lowest key") << 0 << Mode::Major << 21 << "A0";
}

void TestPitch::spellingInKey()
{
    QFETCH(int, fifths);
    QFETCH(Mode, mode);
    QFETCH(int, midi);
    QFETCH(QString, spelled);
    const Pitch p = Pitch::fromMidi(midi, Key(fifths, mode));
    QCOMPARE(p.asciiName(), spelled);
    QCOMPARE(p.midi(), midi);
}

void TestPitch::keys_data()
{
    QTest::addColumn<int>("fifths");
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("scale");
    QTest::newRow("C major") << 0 << Mode::Major << "C4 D4 E4 F4 G4 A4 B4";
    QTest::newRow("G major") << 1 << Mode::Major << "G4 A4 B4 C5 D5 E5 F#5";
    QTest::newRow("Bb major") << -2 << Mode::Major << "Bb4 C5 D5 Eb5 F5 G5 A5";
    QTest::newRow("E minor") << 1 << Mode::Minor << "E4 F#4 G4 A4 B4 C5 D5";
    QTest::newRow("C# major") << 7 << Mode::Major << "C#4 D#4 E#4 F#4 G#4 A#4 B#4";
    QTest::newRow("Ab minor") << -7 << Mode::Minor << "Ab4 Bb4 Cb5 Db5 Eb5 Fb5 Gb5";
    QTest::newRow("fifths beyond seven are clamped") << 12 << Mode::Major << "C#4 D#4 E#4 F#4 G#4 A#4 B#4";
}

void TestPitch::keys()
{
    QFETCH(int, fifths);
    QFETCH(Mode, mode);
    QFETCH(QString, scale);
    const Key key(fifths, mode);
    QStringList names;
    for (const Pitch& p : key.scale()) {
        names << p.asciiName();
        QVERIFY(key.inScale(p.midi()));
        QVERIFY(key.inScale(p.midi() + 12));
        QCOMPARE(key.alterFor(p.step), p.alter);
    }
    QCOMPARE(names.join(QLatin1Char(' ')), scale);
    QCOMPARE(key.degreeOf(key.tonic().step), 0);
    QCOMPARE(key.degreeOf(key.scale()[4].step), 4);
    // Seven notes of the twelve.
    int inScale = 0;
    for (int m = 60; m < 72; ++m)
        inScale += key.inScale(m) ? 1 : 0;
    QCOMPARE(inScale, 7);
}

void TestPitch::signatureOrder()
{
    auto letters = [](const Key& k) {
        QString s;
        for (Step step : k.signatureSteps())
            s += QLatin1Char("CDEFGAB"[static_cast<int>(step)]);
        return s;
    };
    QCOMPARE(letters(Key(7, Mode::Major)), QStringLiteral("FCGDAEB"));
    QCOMPARE(letters(Key(-7, Mode::Major)), QStringLiteral("BEADGCF"));
    QCOMPARE(letters(Key(3, Mode::Minor)), QStringLiteral("FCG"));
    QCOMPARE(letters(Key(-1, Mode::Major)), QStringLiteral("B"));
    QCOMPARE(letters(Key(0, Mode::Minor)), QString());
}

void TestPitch::keyNames_data()
{
    QTest::addColumn<int>("fifths");
    QTest::addColumn<Mode>("mode");
    QTest::addColumn<QString>("name");
    QTest::newRow("G major") << 1 << Mode::Major << QStringLiteral("соль мажор");
    QTest::newRow("Bb major") << -2 << Mode::Major << QStringLiteral("си-бемоль мажор");
    QTest::newRow("E minor") << 1 << Mode::Minor << QStringLiteral("ми минор");
    QTest::newRow("F# minor") << 3 << Mode::Minor << QStringLiteral("фа-диез минор");
    QTest::newRow("Cb major") << -7 << Mode::Major << QStringLiteral("до-бемоль мажор");
}

void TestPitch::keyNames()
{
    QFETCH(int, fifths);
    QFETCH(Mode, mode);
    QFETCH(QString, name);
    // Without a translator the source language shows.
    QCOMPARE(Key(fifths, mode).displayName(), name);
}

QTEST_GUILESS_MAIN(TestPitch)
#include "tst_pitch.moc"
