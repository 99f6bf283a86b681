// SPDX-License-Identifier: GPL-3.0-or-later
// The WAV reader of pitchcheck: every sample format it promises, and broken
// or unsupported files refused with a message instead of a crash.
#include "pitch/pitchcheck.h"
#include "pitch/notedetector.h"
#include "pitch/wavfile.h"

#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <numbers>

using pitch::WavAudio;

namespace {

struct Spec {
    int tag = 1; // 1 PCM, 3 float
    int channels = 1;
    int rate = 44100;
    int bits = 16;
    bool extensible = false;
};

void put16(QByteArray& b, int v)
{
    b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
}

void put32(QByteArray& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.append(char((v >> (8 * i)) & 0xFF));
}

QByteArray encodeSample(double v, const Spec& s)
{
    QByteArray b;
    if (s.tag == 3 && s.bits == 32) {
        const float f = float(v);
        b.append(reinterpret_cast<const char*>(&f), 4);
    } else if (s.tag == 3) {
        b.append(reinterpret_cast<const char*>(&v), 8);
    } else if (s.bits == 8) {
        b.append(char(std::lround(v * 127.0) + 128));
    } else if (s.bits == 16) {
        put16(b, int(std::lround(v * 32767.0)));
    } else if (s.bits == 24) {
        const auto x = std::int32_t(std::lround(v * 8388607.0));
        b.append(char(x & 0xFF)).append(char((x >> 8) & 0xFF)).append(char((x >> 16) & 0xFF));
    } else {
        put32(b, std::uint32_t(std::int32_t(std::llround(v * 2147483647.0))));
    }
    return b;
}

QByteArray fmtChunk(const Spec& s)
{
    QByteArray f;
    put16(f, s.extensible ? 0xFFFE : s.tag);
    put16(f, s.channels);
    put32(f, std::uint32_t(s.rate));
    put32(f, std::uint32_t(s.rate * s.channels * s.bits / 8));
    put16(f, s.channels * s.bits / 8);
    put16(f, s.bits);
    if (s.extensible) {
        put16(f, 22);
        put16(f, s.bits);
        put32(f, s.channels == 2 ? 3u : 4u);
        put16(f, s.tag); // subformat GUID: tag, then the fixed tail
        f.append("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
    }
    return f;
}

QByteArray chunk(const char* id, const QByteArray& body)
{
    QByteArray c(id, 4);
    put32(c, std::uint32_t(body.size()));
    c += body;
    if (body.size() & 1)
        c.append('\0');
    return c;
}

QByteArray riff(const QByteArray& chunks)
{
    QByteArray b("RIFF");
    put32(b, std::uint32_t(4 + chunks.size()));
    b += "WAVE";
    return b + chunks;
}

// Frames of the values; with several channels, channel c holds half the value
// times 2 (c + 1) / (channels + 1), so the mono mix is half the value.
QByteArray dataFor(const Spec& s, const std::vector<double>& values)
{
    QByteArray d;
    for (double v : values)
        for (int c = 0; c < s.channels; ++c)
            d += encodeSample(s.channels == 1 ? v : 0.5 * v * 2.0 * (c + 1) / (s.channels + 1), s);
    return d;
}

QByteArray wav(const Spec& s, const std::vector<double>& values, const QByteArray& extraBeforeData = {})
{
    return riff(chunk("fmt ", fmtChunk(s)) + extraBeforeData + chunk("data", dataFor(s, values)));
}

const std::vector<double> kValues = {0.0, 0.5, -0.5, 0.25, -1.0, 0.75};

} // namespace

class TestWavFile : public QObject {
    Q_OBJECT

private slots:
    void readsEachFormat_data();
    void readsEachFormat();
    void refusesBrokenFiles_data();
    void refusesBrokenFiles();
    void truncatedDataKeepsWholeFrames();
    void everyCutOfAFileIsHandled();
    void pitchcheckPrintsNotes();
    void pitchcheckArguments_data();
    void pitchcheckArguments();
};

void TestWavFile::readsEachFormat_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");
    QTest::addColumn<bool>("extensible");
    QTest::addColumn<double>("precision");
    QTest::newRow("pcm 8 mono") << 1 << 8 << 1 << 8000 << false << 1.0 / 64;
    QTest::newRow("pcm 16 mono") << 1 << 16 << 1 << 44100 << false << 1e-4;
    QTest::newRow("pcm 16 stereo") << 1 << 16 << 2 << 48000 << false << 1e-4;
    QTest::newRow("pcm 24 stereo") << 1 << 24 << 2 << 96000 << false << 1e-6;
    QTest::newRow("pcm 32 mono") << 1 << 32 << 1 << 22050 << false << 1e-6;
    QTest::newRow("float 32 stereo") << 3 << 32 << 2 << 44100 << false << 1e-6;
    QTest::newRow("float 64 mono") << 3 << 64 << 1 << 192000 << false << 1e-6;
    QTest::newRow("extensible pcm 16 stereo") << 1 << 16 << 2 << 44100 << true << 1e-4;
    QTest::newRow("extensible float 32 mono") << 3 << 32 << 1 << 48000 << true << 1e-6;
    QTest::newRow("pcm 16 six channels") << 1 << 16 << 6 << 48000 << false << 1e-4;
}

void TestWavFile::readsEachFormat()
{
    QFETCH(int, tag);
    QFETCH(int, bits);
    QFETCH(int, channels);
    QFETCH(int, rate);
    QFETCH(bool, extensible);
    QFETCH(double, precision);
    const Spec s{tag, channels, rate, bits, extensible};
    // A LIST chunk of odd size before the data: padding must be skipped.
    const QByteArray bytes = wav(s, kValues, chunk("LIST", QByteArray("INFOabc", 7)));
    WavAudio audio;
    QString error;
    QVERIFY2(pitch::parseWav(bytes, audio, &error), qPrintable(error));
    QCOMPARE(audio.sampleRate, rate);
    QCOMPARE(audio.channels, channels);
    QCOMPARE(audio.bitsPerSample, bits);
    QCOMPARE(audio.isFloat, tag == 3);
    QCOMPARE(audio.mono.size(), kValues.size());
    for (std::size_t i = 0; i < kValues.size(); ++i) {
        const double expected = channels == 1 ? kValues[i] : 0.5 * kValues[i];
        QVERIFY2(std::abs(audio.mono[i] - expected) <= precision + 1e-9,
                 qPrintable(QString("frame %1: %2 instead of %3").arg(i).arg(audio.mono[i]).arg(expected)));
    }
}

void TestWavFile::refusesBrokenFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    const Spec s;
    const QByteArray good = wav(s, kValues);
    auto withFmt = [&](const Spec& f) { return riff(chunk("fmt ", fmtChunk(f)) + chunk("data", QByteArray(16, '\0'))); };
    auto patched = [&](int offset, int value) {
        QByteArray b = good;
        b[offset] = char(value & 0xFF);
        b[offset + 1] = char((value >> 8) & 0xFF);
        return b;
    };

    QTest::newRow("empty") << QByteArray() << "RIFF";
    QTest::newRow("short header") << QByteArray("RIFF\x10\x00", 6) << "RIFF";
    QTest::newRow("not riff") << QByteArray("OggS").append(good.mid(4)) << "RIFF";
    QTest::newRow("not wave") << QByteArray(good).replace(8, 4, "AVI ") << "WAVE";
    QTest::newRow("no fmt") << riff(chunk("data", QByteArray(8, '\0'))) << "fmt";
    QTest::newRow("fmt cut short") << riff(chunk("fmt ", QByteArray(10, '\1')) + chunk("data", QByteArray(8, '\0')))
                                   << "fmt";
    QTest::newRow("no data") << riff(chunk("fmt ", fmtChunk(s))) << "data";
    QTest::newRow("adpcm") << withFmt(Spec{2, 1, 44100, 4, false}) << "PCM";
    QTest::newRow("pcm 12 bits") << withFmt(Spec{1, 1, 44100, 12, false}) << "12";
    QTest::newRow("float 16 bits") << withFmt(Spec{3, 1, 44100, 16, false}) << "16";
    QTest::newRow("zero channels") << patched(22, 0) << "0";
    QTest::newRow("zero rate") << withFmt(Spec{1, 1, 0, 16, false}) << "0";
    QTest::newRow("rate too high") << withFmt(Spec{1, 1, 384000, 16, false}) << "384000";
    QTest::newRow("frame size wrong") << patched(32, 3) << "3";
    QByteArray shortExtensible = riff(chunk("fmt ", fmtChunk(Spec{1, 2, 44100, 16, true}).left(24))
                                      + chunk("data", QByteArray(8, '\0')));
    QTest::newRow("extensible cut short") << shortExtensible << "EXTENSIBLE";
    QByteArray unknownGuid = withFmt(Spec{1, 1, 44100, 16, true});
    unknownGuid[20 + 24] = char(0x55); // subformat MP3
    QTest::newRow("extensible mp3") << unknownGuid << "85";
}

void TestWavFile::refusesBrokenFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    WavAudio audio;
    audio.sampleRate = 1234;
    QString error;
    QVERIFY(!pitch::parseWav(bytes, audio, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    QCOMPARE(audio.sampleRate, 1234); // left as it was
}

void TestWavFile::truncatedDataKeepsWholeFrames()
{
    // A recording cut off mid-frame, with the sizes of a file still being written.
    const Spec s{1, 2, 44100, 16, false};
    QByteArray bytes = wav(s, kValues);
    bytes.chop(3);
    for (int i = 4; i < 8; ++i)
        bytes[i] = char(0xFF);
    bytes[40] = bytes[41] = bytes[42] = bytes[43] = char(0xFF);
    WavAudio audio;
    QString error;
    QVERIFY2(pitch::parseWav(bytes, audio, &error), qPrintable(error));
    QCOMPARE(audio.mono.size(), kValues.size() - 1);
}

void TestWavFile::everyCutOfAFileIsHandled()
{
    const QByteArray bytes = wav(Spec{1, 2, 48000, 24, true}, kValues, chunk("LIST", QByteArray(5, 'x')));
    for (int n = 0; n <= bytes.size(); ++n) {
        WavAudio audio;
        QString error;
        const bool ok = pitch::parseWav(QByteArrayView(bytes.constData(), n), audio, &error);
        QVERIFY(ok || !error.isEmpty());
        QVERIFY(audio.mono.size() <= kValues.size());
    }
}

void TestWavFile::pitchcheckPrintsNotes()
{
    if (!pitch::NoteDetector(44100).isValid())
        QSKIP("aubio cannot be loaded");
    // Two plucked-like tones: A3 and E4 with harmonics, decaying, 20 ms silence between.
    const int rate = 48000;
    std::vector<double> x(std::size_t(rate) * 2, 0.0);
    auto tone = [&](double start, double hz) {
        for (std::size_t i = std::size_t(start * rate); i < std::size_t((start + 0.6) * rate); ++i) {
            const double t = double(i) / rate - start;
            double v = 0;
            for (int h = 1; h <= 5; ++h)
                v += std::sin(2 * std::numbers::pi * hz * h * t) / h;
            x[i] = 0.3 * v * std::exp(-3.0 * t);
        }
    };
    tone(0.2, 220.0);
    tone(1.0, 329.63);
    QTemporaryDir dir;
    const QString path = dir.filePath("two notes.wav");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(wav(Spec{3, 1, rate, 32, false}, x));
    f.close();

    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    QCOMPARE(pitch::runPitchCheck({"pitchcheck", path, "--transpose", "12"}, out, err), int(pitch::ExitOk));
    out.flush();
    const QStringList lines = outText.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    const QStringList first = lines[0].split('\t'), second = lines[1].split('\t');
    QCOMPARE(first.value(1), QString("69")); // A3 (57) written an octave up
    QCOMPARE(second.value(1), QString("76"));
    QVERIFY2(std::abs(first.value(0).toInt() - 200) <= 25, qPrintable(lines[0]));
    QVERIFY2(std::abs(second.value(0).toInt() - 1000) <= 25, qPrintable(lines[1]));
    QVERIFY(errText.isEmpty());
}

void TestWavFile::pitchcheckArguments_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("inOut");
    QTest::addColumn<QString>("inErr");
    QTest::newRow("help") << QStringList{"-h"} << 0 << "--transpose" << "";
    QTest::newRow("no file") << QStringList{} << 2 << "" << "ФАЙЛ.wav";
    QTest::newRow("missing file") << QStringList{"/nonexistent/x.wav"} << 1 << "" << "x.wav";
    QTest::newRow("bad transpose") << QStringList{"a.wav", "--transpose", "up"} << 2 << "" << "«up»";
    QTest::newRow("transpose too far") << QStringList{"a.wav", "--transpose=60"} << 2 << "" << "«60»";
    QTest::newRow("transpose without value") << QStringList{"a.wav", "--transpose"} << 2 << "" << "--transpose";
    QTest::newRow("unknown option") << QStringList{"--fast", "a.wav"} << 2 << "" << "--fast";
    QTest::newRow("two files") << QStringList{"a.wav", "b.wav"} << 2 << "" << "один файл";
}

void TestWavFile::pitchcheckArguments()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, inOut);
    QFETCH(QString, inErr);
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    args.prepend("pitchcheck");
    QCOMPARE(pitch::runPitchCheck(args, out, err), exitCode);
    out.flush();
    err.flush();
    QVERIFY2(outText.contains(inOut), qPrintable(outText));
    QVERIFY2(errText.contains(inErr), qPrintable(errText));
    QCOMPARE(errText.isEmpty(), exitCode == 0);
}

QTEST_GUILESS_MAIN(TestWavFile)
#include "tst_wavfile.moc"
