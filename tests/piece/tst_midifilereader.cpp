// SPDX-License-Identifier: GPL-3.0-or-later
#include "piece/midifilereader.h"
#include "piece/piececheck.h"
#include "piece/piecefile.h"
#include "support/testenv.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <vector>

using namespace tonvero;
using namespace tonvero::piece;

namespace {

constexpr quint32 Q = 480; // ticks per quarter unless a case says otherwise

void appendVlq(QByteArray& out, quint32 v)
{
    QByteArray bytes(1, char(v & 0x7F));
    while (v >>= 7)
        bytes.prepend(char(0x80 | (v & 0x7F)));
    out += bytes;
}

void appendBe(QByteArray& out, quint32 v, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i)
        out += char((v >> (8 * i)) & 0xFF);
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out += char(v);
    return out;
}

// A track written from events at absolute ticks, as a sequencer would save it.
struct Track {
    std::vector<std::pair<quint32, QByteArray>> events;
    bool runningStatus = false; // kept across meta events, as many writers do
    bool velocityZeroOff = false;

    Track& raw(quint32 at, const QByteArray& bytes)
    {
        events.push_back({at, bytes});
        return *this;
    }
    Track& on(quint32 at, int key, int channel = 0)
    {
        return raw(at, bytes({0x90 | channel, key, 80}));
    }
    Track& off(quint32 at, int key, int channel = 0)
    {
        return raw(at, velocityZeroOff ? bytes({0x90 | channel, key, 0}) : bytes({0x80 | channel, key, 64}));
    }
    Track& note(quint32 at, int key, quint32 length, int channel = 0)
    {
        return on(at, key, channel).off(at + length, key, channel);
    }
    Track& meta(quint32 at, int type, const QByteArray& data)
    {
        QByteArray b = bytes({0xFF, type});
        appendVlq(b, quint32(data.size()));
        return raw(at, b + data);
    }
    Track& name(const QString& text) { return meta(0, 0x03, text.toUtf8()); }
    Track& tempo(quint32 at, quint32 microseconds)
    {
        QByteArray d;
        appendBe(d, microseconds, 3);
        return meta(at, 0x51, d);
    }
    Track& time(quint32 at, int numerator, int denominatorPower)
    {
        return meta(at, 0x58, bytes({numerator, denominatorPower, 24, 8}));
    }
    Track& key(quint32 at, int fifths, bool minor) { return meta(at, 0x59, bytes({fifths, int(minor)})); }
    Track& program(quint32 at, int number, int channel = 0)
    {
        return raw(at, bytes({0xC0 | channel, number}));
    }

    QByteArray chunk() const
    {
        auto sorted = events;
        // At one tick, notes end before new ones begin.
        const auto isOff = [](const QByteArray& b) {
            const int kind = uchar(b[0]) & 0xF0;
            return kind == 0x80 || (kind == 0x90 && b[2] == 0);
        };
        std::stable_sort(sorted.begin(), sorted.end(), [&](const auto& a, const auto& b) {
            return a.first != b.first ? a.first < b.first : isOff(a.second) && !isOff(b.second);
        });
        QByteArray body;
        quint32 last = 0;
        char status = 0;
        for (const auto& [at, bytes] : sorted) {
            appendVlq(body, at - last);
            last = at;
            if (runningStatus && bytes[0] == status && uchar(status) < 0xF0) {
                body += bytes.mid(1);
            } else {
                body += bytes;
                if (uchar(bytes[0]) < 0xF0)
                    status = bytes[0];
            }
        }
        body += QByteArray("\x00\xFF\x2F\x00", 4);
        QByteArray out("MTrk");
        appendBe(out, quint32(body.size()), 4);
        return out + body;
    }
};

QByteArray header(int format, int tracks, int division = int(Q))
{
    QByteArray out("MThd");
    appendBe(out, 6, 4);
    appendBe(out, quint32(format), 2);
    appendBe(out, quint32(tracks), 2);
    appendBe(out, quint32(division), 2);
    return out;
}

QByteArray smf(int format, const std::vector<Track>& tracks, int division = int(Q))
{
    QByteArray out = header(format, int(tracks.size()), division);
    for (const Track& t : tracks)
        out += t.chunk();
    return out;
}

QByteArray melody(Track t = {}, quint32 q = Q)
{
    t.note(0, 60, q).note(q, 62, q).note(2 * q, 64, 2 * q);
    return smf(0, {t}, int(q));
}

// "part staff bar onset midi duration" for each note, as piececheck prints them.
QString notesOf(const Piece& piece)
{
    QStringList lines;
    for (const Note& n : piece.notes)
        lines << QStringLiteral("%1 %2 %3 %4 %5 %6")
                     .arg(n.part + 1)
                     .arg(n.staff + 1)
                     .arg(n.bar + 1)
                     .arg(quarterText(n.onset), QString::number(n.midi), quarterText(n.duration));
    return lines.join(QStringLiteral("; "));
}

QString keyText(const music::Key& k)
{
    return QString::number(k.fifths()) + (k.mode() == music::Mode::Major ? u'M' : u'm');
}

QString clefText(const ClefChange& c)
{
    return (c.sign == ClefSign::G ? QStringLiteral("G") : c.sign == ClefSign::F ? QStringLiteral("F") : QStringLiteral("?"))
        + QString::number(c.line);
}

Track scale(const std::vector<int>& keys, const std::vector<int>& quarters)
{
    Track t;
    quint32 at = 0;
    for (size_t i = 0; i < keys.size(); ++i) {
        const quint32 length = Q * quint32(quarters.empty() ? 1 : quarters[i]);
        t.note(at, keys[i], length);
        at += length;
    }
    return t;
}

} // namespace

class TestMidiFileReader : public QObject {
    Q_OBJECT

private slots:
    void notes_data();
    void notes();
    void bars_data();
    void bars();
    void keys_data();
    void keys();
    void staves_data();
    void staves();
    void errors_data();
    void errors();
    void musicXmlRoundTrip_data();
    void musicXmlRoundTrip();
    void throughPieceFile();
    void piececheckOnMidi();
};

void TestMidiFileReader::notes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expected");
    const QString tune = "1 1 1 0 60 1; 1 1 1 1 62 1; 1 1 1 2 64 2";
    QTest::newRow("type 0") << melody() << tune;
    {
        Track t;
        t.runningStatus = true;
        QTest::newRow("running status") << melody(t) << tune;
        t.velocityZeroOff = true;
        QTest::newRow("running status, Note On velocity 0 as Note Off") << melody(t) << tune;
        t.runningStatus = false;
        QTest::newRow("Note On velocity 0 as Note Off") << melody(t) << tune;
    }
    {
        Track t;
        t.runningStatus = true;
        t.on(0, 60).meta(0, 0x01, "text").on(0, 64).off(Q, 60).off(Q, 64);
        QTest::newRow("running status across a meta event") << smf(0, {t}) << "1 1 1 0 60 1; 1 1 1 0 64 1";
    }
    {
        Track t;
        t.tempo(0, 500000).tempo(Q, 300000).tempo(2 * Q + 17, 1500000);
        QTest::newRow("tempo changes change no quarter") << melody(t) << tune;
    }
    QTest::newRow("96 ticks a quarter") << melody({}, 96) << tune;
    {
        Track conductor, tune1, bass;
        conductor.name("Song").time(0, 3, 2).tempo(0, 600000);
        tune1.name("Melody").note(0, 67, 3 * Q).note(3 * Q, 69, Q);
        bass.name("Bass").program(0, 32).note(0, 43, 3 * Q);
        QTest::newRow("type 1: a part per track with notes")
            << smf(1, {conductor, tune1, bass}) << "1 1 1 0 67 3; 2 1 1 0 43 3; 1 1 2 3 69 1";
    }
    {
        Track t;
        t.note(0, 72, 2 * Q, 0).note(0, 48, 2 * Q, 1);
        QTest::newRow("type 0: a part per channel") << smf(0, {t}) << "1 1 1 0 72 2; 2 1 1 0 48 2";
    }
    {
        Track t;
        t.note(0, 60, Q).note(0, 36, Q, 9).note(Q, 38, Q, 9);
        QTest::newRow("percussion left out") << smf(0, {t}) << "1 1 1 0 60 1";
    }
    {
        Track t;
        t.on(0, 60).note(Q, 62, Q);
        QTest::newRow("a note never ended lasts to the end") << smf(0, {t}) << "1 1 1 0 60 2; 1 1 1 1 62 1";
    }
    {
        Track t;
        t.note(0, 60, 470).note(470, 62, 500).note(975, 64, 480);
        QTest::newRow("early and late onsets") << smf(0, {t}) << "1 1 1 0 60 1; 1 1 1 1 62 1; 1 1 1 2 64 1";
    }
    {
        Track t;
        t.note(0, 60, 120).note(120, 62, 120).note(240, 64, 240).note(480, 65, 360).note(840, 67, 120);
        QTest::newRow("sixteenths, dotted eighth and sixteenth")
            << smf(0, {t}) << "1 1 1 0 60 0.25; 1 1 1 0.25 62 0.25; 1 1 1 0.5 64 0.5; 1 1 1 1 65 0.75; 1 1 1 1.75 67 0.25";
    }
    {
        Track t;
        t.note(0, 60, 160).note(160, 62, 160).note(320, 64, 160).note(480, 65, 480);
        QTest::newRow("eighth triplets")
            << smf(0, {t}) << "1 1 1 0 60 0.333; 1 1 1 0.333 62 0.333; 1 1 1 0.667 64 0.333; 1 1 1 1 65 1";
    }
    {
        Track t;
        t.note(5, 60, 150).note(170, 62, 140).note(310, 64, 170).note(480, 65, 120).note(600, 67, 110);
        QTest::newRow("loosely played triplets, then sixteenths")
            << smf(0, {t})
            << "1 1 1 0 60 0.333; 1 1 1 0.333 62 0.333; 1 1 1 0.667 64 0.333; 1 1 1 1 65 0.25; 1 1 1 1.25 67 0.25";
    }
    {
        Track t;
        t.name("Piano").note(0, 72, 120).note(120, 74, 120).note(240, 76, 120).note(360, 77, 120);
        t.note(0, 48, 160).note(160, 50, 160).note(320, 52, 160);
        QTest::newRow("triplets in one hand, sixteenths in the other")
            << smf(0, {t})
            << "1 1 1 0 72 0.25; 1 2 1 0 48 0.333; 1 1 1 0.25 74 0.25; 1 2 1 0.333 50 0.333; "
               "1 1 1 0.5 76 0.25; 1 2 1 0.667 52 0.333; 1 1 1 0.75 77 0.25";
    }
    {
        Track t;
        t.note(0, 60, 400).note(Q, 62, 200).note(2 * Q, 64, 3 * Q).note(6 * Q, 65, 40).note(7 * Q, 67, Q);
        QTest::newRow("detached notes last to the next onset, not before a rest")
            << smf(0, {t}) << "1 1 1 0 60 1; 1 1 1 1 62 0.5; 1 1 1 2 64 3; 1 1 2 6 65 0.25; 1 1 2 7 67 1";
    }
    {
        Track t;
        t.note(0, 60, 10).note(Q, 62, 30);
        QTest::newRow("short notes last a sixteenth") << smf(0, {t}) << "1 1 1 0 60 0.25; 1 1 1 1 62 0.25";
    }
    {
        Track t;
        t.on(0, 60).on(Q, 60).off(600, 60).off(2 * Q, 60);
        QTest::newRow("a note ends by the next onset of its pitch") << smf(0, {t}) << "1 1 1 0 60 1; 1 1 1 1 60 1";
    }
    {
        Track t;
        t.note(0, 67, 2 * Q).note(3, 60, 2 * Q).note(0, 64, 2 * Q - 20);
        QTest::newRow("a chord") << smf(0, {t}) << "1 1 1 0 60 2; 1 1 1 0 64 2; 1 1 1 0 67 2";
    }
}

void TestMidiFileReader::notes()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, expected);
    const PieceResult r = readMidiFile(file);
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(notesOf(r.piece), expected);
}

void TestMidiFileReader::bars_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("bars");
    QTest::addColumn<QString>("noteBars");
    {
        Track t;
        t.note(0, 60, 4 * Q).note(4 * Q, 62, Q);
        QTest::newRow("none is 4/4") << smf(0, {t}) << "0+4 4/4; 4+4 4/4" << "1 2";
    }
    {
        Track t;
        t.time(0, 3, 2).note(0, 60, 3 * Q).note(6 * Q, 62, 3 * Q);
        QTest::newRow("3/4") << smf(0, {t}) << "0+3 3/4; 3+3 3/4; 6+3 3/4" << "1 3";
    }
    {
        Track conductor, t;
        conductor.time(0, 4, 2).time(4 * Q, 3, 2).time(7 * Q, 6, 3);
        t.note(0, 60, Q).note(4 * Q, 62, Q).note(7 * Q, 64, 3 * Q);
        QTest::newRow("changes at bar lines")
            << smf(1, {conductor, t}) << "0+4 4/4; 4+3 3/4; 7+3 6/8" << "1 2 3";
    }
    {
        Track t;
        t.time(0, 4, 2).time(2 * Q, 3, 2).note(0, 60, 5 * Q);
        QTest::newRow("a change within a bar cuts it short") << smf(0, {t}) << "0+2 4/4; 2+3 3/4" << "1";
    }
    {
        Track t;
        t.time(0, 5, 3).note(0, 60, Q).note(3 * Q, 62, 2 * Q);
        QTest::newRow("5/8") << smf(0, {t}) << "0+2.5 5/8; 2.5+2.5 5/8" << "1 2";
    }
    {
        Track t;
        t.time(0, 0, 2).time(0, 3, 9).note(0, 60, Q);
        QTest::newRow("unreadable meters are 4/4") << smf(0, {t}) << "0+4 4/4" << "1";
    }
}

void TestMidiFileReader::bars()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, bars);
    QFETCH(QString, noteBars);
    const PieceResult r = readMidiFile(file);
    QVERIFY2(r.ok(), qPrintable(r.error));
    QStringList got;
    for (const Bar& b : r.piece.bars)
        got << QStringLiteral("%1+%2 %3/%4")
                   .arg(quarterText(b.start), quarterText(b.length))
                   .arg(b.time.numerator)
                   .arg(b.time.denominator);
    QCOMPARE(got.join(QStringLiteral("; ")), bars);
    QStringList at;
    for (const Note& n : r.piece.notes)
        at << QString::number(n.bar + 1);
    QCOMPARE(at.join(u' '), noteBars);
    for (const Part& p : r.piece.parts)
        QCOMPARE(p.keys.size(), r.piece.bars.size());
}

void TestMidiFileReader::keys_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("keys"); // per bar
    QTest::addColumn<QString>("names");
    {
        Track t = scale({65, 70}, {});
        t.key(0, -1, false);
        QTest::newRow("F major") << smf(0, {t}) << "-1M" << "F4 Bb4";
    }
    {
        Track t = scale({66, 61}, {});
        t.key(0, 2, false);
        QTest::newRow("D major") << smf(0, {t}) << "2M" << "F#4 C#4";
    }
    {
        Track t = scale({63, 66}, {});
        t.key(0, -6, true);
        QTest::newRow("E flat minor, six flats") << smf(0, {t}) << "-6m" << "Eb4 Gb4";
    }
    {
        Track t = scale({69, 68}, {});
        t.key(0, 0, true);
        QTest::newRow("A minor, its raised seventh") << smf(0, {t}) << "0m" << "A4 G#4";
    }
    {
        Track t;
        t.key(0, 0, false).key(4 * Q, -3, false).key(6 * Q, 4, false).note(0, 63, Q).note(4 * Q, 63, Q).note(8 * Q, 68, Q);
        QTest::newRow("changes, one within a bar") << smf(0, {t}) << "0M -3M 4M" << "D#4 Eb4 G#4";
    }
    QTest::newRow("estimated: C major scale")
        << smf(0, {scale({60, 62, 64, 65, 67, 69, 71, 72}, {})}) << "0M 0M" << "C4 D4 E4 F4 G4 A4 B4 C5";
    QTest::newRow("estimated: G major")
        << smf(0, {scale({67, 71, 74, 72, 71, 69, 66, 67}, {2, 1, 1, 1, 1, 1, 1, 4})}) << "1M 1M 1M"
        << "G4 B4 D5 C5 B4 A4 F#4 G4";
    QTest::newRow("estimated: D minor melody")
        << smf(0, {scale({62, 65, 69, 70, 69, 67, 65, 64, 61, 62}, {2, 1, 2, 1, 1, 1, 1, 1, 1, 4})})
        << "-1m -1m -1m -1m" << "D4 F4 A4 Bb4 A4 G4 F4 E4 C#4 D4";
}

void TestMidiFileReader::keys()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, keys);
    QFETCH(QString, names);
    const PieceResult r = readMidiFile(file);
    QVERIFY2(r.ok(), qPrintable(r.error));
    QStringList k, n;
    for (const music::Key& key : r.piece.parts.at(0).keys)
        k << keyText(key);
    for (const Note& note : r.piece.notes) {
        n << note.pitch.asciiName();
        QCOMPARE(note.pitch.midi(), note.midi);
    }
    QCOMPARE(k.join(u' '), keys);
    QCOMPARE(n.join(u' '), names);
}

void TestMidiFileReader::staves_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("parts"); // name|staves|clefs
    QTest::addColumn<QString>("notes"); // staff:midi in order
    {
        Track t;
        t.name("Etude").note(0, 72, Q).note(0, 48, Q).note(Q, 76, Q).note(Q, 43, Q);
        QTest::newRow("piano split at middle C") << smf(0, {t}) << "Etude" << "Etude|2|G2 F4" << "1:72 2:48 1:76 2:43";
    }
    {
        Track t;
        t.name("Pno").note(0, 55, Q).note(0, 60, Q).note(0, 64, Q).note(Q, 40, Q).note(Q, 72, Q);
        QTest::newRow("a chord across middle C stays together")
            << smf(0, {t}) << "Pno" << "Pno|2|G2 F4" << "1:55 1:60 1:64 1:72 2:40";
    }
    {
        Track t;
        t.name("Pno").note(0, 43, Q).note(0, 64, Q).note(0, 67, Q).note(Q, 57, Q).note(Q, 59, Q).note(Q, 62, Q);
        QTest::newRow("a wide chord is split, a close one goes where most of its notes are")
            << smf(0, {t}) << "Pno" << "Pno|2|G2 F4" << "1:64 1:67 2:43 2:57 2:59 2:62";
    }
    {
        Track right, left;
        right.name("Piano RH").note(0, 55, Q).note(Q, 67, Q);
        left.name("Piano LH").note(0, 48, Q).note(Q, 62, Q);
        QTest::newRow("hands by track name") << smf(1, {right, left}) << "" << "Piano|2|G2 F4" << "1:55 2:48 1:67 2:62";
    }
    {
        Track conductor, right, left;
        conductor.name("Waltz").time(0, 3, 2);
        right.name("Right hand").note(0, 72, Q);
        left.name("L.H.").note(0, 65, Q);
        QTest::newRow("right hand, L.H.") << smf(1, {conductor, right, left}) << "Waltz"
                                          << "Фортепиано|2|G2 F4" << "1:72 2:65";
    }
    {
        Track t;
        t.name("Flute").program(0, 73).note(0, 55, Q).note(Q, 72, Q).note(2 * Q, 76, Q);
        QTest::newRow("not a piano: one staff") << smf(0, {t}) << "Flute" << "Flute|1|G2" << "1:55 1:72 1:76";
    }
    {
        Track t;
        t.name("Cello").program(0, 42).note(0, 40, Q).note(Q, 45, Q).note(2 * Q, 62, Q);
        QTest::newRow("mostly below middle C: bass clef") << smf(0, {t}) << "Cello" << "Cello|1|F4" << "1:40 1:45 1:62";
    }
    {
        Track melodyTrack, bassTrack;
        melodyTrack.name("Lead").program(0, 80).note(0, 72, Q);
        bassTrack.name("Bass").program(0, 33).note(0, 36, Q);
        QTest::newRow("two instruments") << smf(1, {melodyTrack, bassTrack}) << "Lead" << "Lead|1|G2; Bass|1|F4"
                                         << "1:72 1:36";
    }
}

void TestMidiFileReader::staves()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, title);
    QFETCH(QString, parts);
    QFETCH(QString, notes);
    const PieceResult r = readMidiFile(file);
    QVERIFY2(r.ok(), qPrintable(r.error));
    QCOMPARE(r.piece.title, title);
    QStringList p, n;
    for (const Part& part : r.piece.parts) {
        QStringList clefs;
        for (const ClefChange& c : part.clefs)
            clefs << clefText(c);
        p << QStringLiteral("%1|%2|%3").arg(part.name).arg(part.staves).arg(clefs.join(u' '));
    }
    for (const Note& note : r.piece.notes)
        n << QStringLiteral("%1:%2").arg(note.staff + 1).arg(note.midi);
    QCOMPARE(p.join(QStringLiteral("; ")), parts);
    QCOMPARE(n.join(u' '), notes);
}

void TestMidiFileReader::errors_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("message");
    Track one;
    one.note(0, 60, Q);
    QTest::newRow("empty") << QByteArray() << "файл пуст";
    QTest::newRow("not MIDI") << QByteArray("RIFF\x10\0\0\0WAVEfmt ", 16) << "это не файл MIDI";
    QTest::newRow("truncated header") << QByteArray("MThd\0\0\0\x06\0\x01\0", 11) << "заголовок файла MIDI обрезан";
    {
        QByteArray f = header(1, 2) + one.chunk() + QByteArray("MTrk\0\0\x03\xE8\0\x90\x3C\x40", 12);
        QTest::newRow("track length past the file") << f << "дорожка 2 заявлена длиной 1000 байт, а в файле после её начала только 4";
    }
    QTest::newRow("format 2") << header(2, 1) + one.chunk() << "формата 2";
    QTest::newRow("zero tracks") << header(1, 0) << "в файле MIDI нет ни одной дорожки";
    QTest::newRow("no track chunk") << header(1, 1) + QByteArray("XFIL\0\0\0\0", 8) << "в файле MIDI нет ни одной дорожки";
    QTest::newRow("SMPTE time") << header(0, 1, 0xE728) + one.chunk() << "SMPTE";
    {
        Track big;
        for (quint32 i = 0; i < 100000; ++i)
            big.note(i * 10, 40 + int(i % 40), 5);
        QTest::newRow("100,000 notes") << smf(0, {big}) << "в файле больше 50000 нот";
    }
    {
        Track t;
        t.raw(0, QByteArray("\x3C\x40", 2));
        QTest::newRow("data before any status") << smf(0, {t}) << "дорожка 1 испорчена: данные без байта состояния";
    }
    {
        Track t;
        t.raw(0, QByteArray("\x90\x3C\xC0", 3));
        QTest::newRow("data byte above 127") << smf(0, {t}) << "дорожка 1 испорчена: байт данных больше 127";
    }
    QTest::newRow("delta time over four bytes")
        << header(0, 1) + QByteArray("MTrk\0\0\0\x08\x80\x80\x80\x80\x00\x90\x3C\x40", 16)
        << "дорожка 1 испорчена: время события обрезано";
    QTest::newRow("meta event longer than its track")
        << header(0, 1) + QByteArray("MTrk\0\0\0\x05\x00\xFF\x01\x7F\x41", 13)
        << "дорожка 1 испорчена: метасобытие длиннее дорожки";
    {
        Track t;
        t.note(0, 36, Q, 9);
        QTest::newRow("percussion only") << smf(0, {t}) << "в файле MIDI нет нот";
    }
}

void TestMidiFileReader::errors()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    const PieceResult r = readMidiFile(file);
    QVERIFY(!r.ok());
    QVERIFY2(r.error.contains(message), qPrintable(r.error));
    QVERIFY(r.piece.notes.empty());
}

// The MusicXML fixtures, written out as a sequencer would (on the grid, a
// track per part), read back with the same notes.
void TestMidiFileReader::musicXmlRoundTrip_data()
{
    QTest::addColumn<QString>("path");
    for (const char* folder : {"/tests/piece/data", "/tests/piece/heldout"}) {
        const QDir dir(testsupport::sourceDir() + QLatin1String(folder));
        for (const QString& name : dir.entryList({QStringLiteral("*.musicxml")}))
            QTest::newRow(qPrintable(name)) << dir.filePath(name);
    }
}

void TestMidiFileReader::musicXmlRoundTrip()
{
    QFETCH(QString, path);
    const PieceResult xml = readMusicXmlFile(path);
    if (!xml.ok())
        QSKIP("a broken file");
    std::vector<Track> tracks(1 + xml.piece.parts.size());
    TimeSig last{0, 0};
    const auto ticks = [](Fraction f) { return quint32(qint64(f.num) * Q / f.den); };
    for (const Bar& b : xml.piece.bars) {
        if (b.time == last)
            continue;
        int power = 0;
        while ((1 << power) < b.time.denominator)
            ++power;
        tracks[0].time(ticks(b.start), b.time.numerator, power);
        last = b.time;
    }
    for (const Note& n : xml.piece.notes)
        tracks[size_t(n.part) + 1].note(ticks(n.onset), n.midi, ticks(n.duration));
    const PieceResult midi = readMidiFile(smf(1, tracks));
    QVERIFY2(midi.ok(), qPrintable(midi.error));
    const auto lines = [](const Piece& p) {
        QStringList l;
        for (const Note& n : p.notes)
            l << QStringLiteral("%1 %2 %3 %4").arg(n.part).arg(quarterText(n.onset)).arg(n.midi).arg(quarterText(n.duration));
        l.sort();
        return l;
    };
    QCOMPARE(lines(midi.piece), lines(xml.piece));
}

void TestMidiFileReader::throughPieceFile()
{
    const QByteArray file = melody();
    const PieceFile f = readPieceData(file, QStringLiteral("tune.bin"));
    QVERIFY2(f.ok(), qPrintable(f.error));
    QCOMPARE(f.id, pieceId(file));
    QCOMPARE(notesOf(f.piece), QStringLiteral("1 1 1 0 60 1; 1 1 1 1 62 1; 1 1 1 2 64 2"));
    // Extra bytes after the tracks and a header longer than six bytes are read past.
    QByteArray padded = file;
    padded.insert(14, QByteArray("\0\0", 2));
    padded[7] = 8;
    padded += "junk";
    QCOMPARE(notesOf(readPieceData(padded, QStringLiteral("tune.mid")).piece), notesOf(f.piece));
    QVERIFY(!readPieceData(QByteArray("MThd"), QStringLiteral("tune.mid")).ok());
}

void TestMidiFileReader::piececheckOnMidi()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Track right, left;
    right.name("Piano R").time(0, 3, 2).note(0, 72, 160).note(160, 74, 160).note(320, 76, 160).note(Q, 77, 2 * Q);
    left.name("Piano L").note(0, 48, 3 * Q).note(3 * Q, 43, 3 * Q);
    QFile file(dir.filePath(QStringLiteral("hands.mid")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(smf(1, {right, left}));
    file.close();
    QProcess p;
    p.start(TONVERO_PIECECHECK, {file.fileName()});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.readAllStandardError(), QByteArray());
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()),
             QString("1\t1\t1\t0\t72\t0.333\n1\t2\t1\t0\t48\t3\n1\t1\t1\t0.333\t74\t0.333\n"
                     "1\t1\t1\t0.667\t76\t0.333\n1\t1\t1\t1\t77\t2\n1\t2\t2\t3\t43\t3\n"));

    QFile broken(dir.filePath(QStringLiteral("broken.mid")));
    QVERIFY(broken.open(QIODevice::WriteOnly));
    broken.write(header(1, 1) + QByteArray("MTrk\0\0\x10\0", 8));
    broken.close();
    p.start(TONVERO_PIECECHECK, {broken.fileName()});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 1);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    // In the desktop's language: the numbers say which message it is.
    QVERIFY2(err.startsWith(QStringLiteral(TONVERO_PIECECHECK)) && err.contains(QStringLiteral(" 1 "))
                 && err.contains(QRegularExpression(QStringLiteral(" 4096 .* 0\\b"))),
             qPrintable(err));
    QCOMPARE(err.count(u'\n'), 1);
}

QTEST_GUILESS_MAIN(TestMidiFileReader)
#include "tst_midifilereader.moc"
