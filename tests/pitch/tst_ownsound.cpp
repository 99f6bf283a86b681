// SPDX-License-Identifier: GPL-3.0-or-later
// What the trainer sounds itself is told from what the learner plays: the
// note, its octaves and harmonics, the beep, while they sound and in their tail.
#include "pitch/ownsound.h"

#include <QTest>

using pitch::OwnSound;

namespace {

// "on 64 0; off 64 100; tone 400 100 0; all 50": what our output did, at ms.
OwnSound play(const QString& script)
{
    OwnSound own;
    for (const QString& step : script.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList w = step.simplified().split(QLatin1Char(' '));
        if (w[0] == QLatin1String("on"))
            own.noteOn(w[1].toInt(), w[2].toLongLong());
        else if (w[0] == QLatin1String("off"))
            own.noteOff(w[1].toInt(), w[2].toLongLong());
        else if (w[0] == QLatin1String("tone"))
            own.tone(w[1].toDouble(), w[2].toInt(), w[3].toLongLong());
        else if (w[0] == QLatin1String("all"))
            own.allNotesOff(w[1].toLongLong());
    }
    return own;
}

} // namespace

class TestOwnSound : public QObject {
    Q_OBJECT

private slots:
    void heardNote_data()
    {
        QTest::addColumn<QString>("output");
        QTest::addColumn<int>("heard");
        QTest::addColumn<int>("atMs");
        QTest::addColumn<double>("a4");
        QTest::addColumn<bool>("own");

        const QString e4 = QStringLiteral("on 64 0");
        QTest::newRow("the note itself") << e4 << 64 << 1000 << 440.0 << true;
        QTest::newRow("its octave (2nd harmonic)") << e4 << 76 << 1000 << 440.0 << true;
        QTest::newRow("its twelfth (3rd harmonic)") << e4 << 83 << 1000 << 440.0 << true;
        QTest::newRow("two octaves up") << e4 << 88 << 1000 << 440.0 << true;
        QTest::newRow("its 5th harmonic") << e4 << 92 << 1000 << 440.0 << true;
        QTest::newRow("an octave below") << e4 << 52 << 1000 << 440.0 << true;
        QTest::newRow("a semitone up is the learner's") << e4 << 65 << 1000 << 440.0 << false;
        QTest::newRow("a fourth up is the learner's") << e4 << 69 << 1000 << 440.0 << false;
        QTest::newRow("two octaves below is the learner's") << e4 << 40 << 1000 << 440.0 << false;
        QTest::newRow("at another tuning") << e4 << 64 << 1000 << 442.0 << true;
        QTest::newRow("nothing sounds") << QString() << 64 << 0 << 440.0 << false;

        const QString released = QStringLiteral("on 64 0; off 64 100");
        QTest::newRow("in its tail") << released << 64 << 650 << 440.0 << true;
        QTest::newRow("octave in its tail") << released << 76 << 650 << 440.0 << true;
        QTest::newRow("after its tail") << released << 64 << 700 << 440.0 << false;
        QTest::newRow("sounded twice, silenced once")
            << QStringLiteral("on 64 0; on 64 10; off 64 100") << 64 << 5000 << 440.0 << true;
        QTest::newRow("sounded again after its tail")
            << QStringLiteral("on 64 0; off 64 100; on 64 2000") << 64 << 5000 << 440.0 << true;
        QTest::newRow("output closed")
            << QStringLiteral("on 64 0; on 67 0; all 100") << 67 << 800 << 440.0 << false;
        QTest::newRow("output closed, in the tail")
            << QStringLiteral("on 64 0; on 67 0; all 100") << 67 << 600 << 440.0 << true;

        // The error beep: 400 Hz is G4 and 35 cents.
        const QString beep = QStringLiteral("tone 400 100 1000");
        QTest::newRow("beep heard as G4") << beep << 67 << 1050 << 440.0 << true;
        QTest::newRow("beep's octave") << beep << 79 << 1100 << 440.0 << true;
        QTest::newRow("G sharp 4 during the beep is the learner's") << beep << 68 << 1050 << 440.0 << false;
        QTest::newRow("C4 during the beep is the learner's") << beep << 60 << 1050 << 440.0 << false;
        QTest::newRow("beep in its tail") << beep << 67 << 1650 << 440.0 << true;
        QTest::newRow("G4 long after the beep") << beep << 67 << 1700 << 440.0 << false;
        QTest::newRow("G4 before the beep") << beep << 67 << 900 << 440.0 << false;
        // Tuned down to 415 Hz, the beep lies a semitone higher: G sharp 4 and 35 cents.
        QTest::newRow("beep at A4 = 415 Hz") << beep << 68 << 1050 << 415.0 << true;
        QTest::newRow("G4 at A4 = 415 Hz") << beep << 67 << 1050 << 415.0 << false;
    }
    void heardNote()
    {
        QFETCH(QString, output);
        QFETCH(int, heard);
        QFETCH(int, atMs);
        QFETCH(double, a4);
        QFETCH(bool, own);
        const OwnSound sound = play(output);
        QCOMPARE(sound.isOwn(heard, atMs, a4), own);
    }

    void nothingToSoundIsIgnored()
    {
        OwnSound own;
        own.tone(0.0, 100, 0);
        own.tone(400.0, 0, 0);
        own.tone(-5.0, 100, 0);
        own.noteOff(64, 0); // never sounded
        for (int note = 0; note < 128; ++note)
            QVERIFY(!own.isOwn(note, 10));
    }
};

QTEST_GUILESS_MAIN(TestOwnSound)
#include "tst_ownsound.moc"
