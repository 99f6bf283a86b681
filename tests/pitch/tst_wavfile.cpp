// SPDX-License-Identifier: GPL-3.0-or-later
// The WAV reader of pitchcheck: every sample format it promises, and broken
// or unsupported files refused with a message instead of a crash.
#include "pitch/pitchcheck.h"
#include "pitch/notedetector.h"
#include "pitch/wavfile.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <cstring>
#include <numbers>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A stream that never ends: `head`, then `filler` over and over, as a pipe
// fed by a recorder that is never stopped. It cannot seek and has no size.
class EndlessStream : public QIODevice {
public:
    EndlessStream(QByteArray head, char filler) : m_head(std::move(head)), m_filler(filler)
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }
    qint64 served() const { return m_served; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        for (qint64 i = 0; i < maxSize; ++i, ++m_served)
            data[i] = m_served < m_head.size() ? m_head[m_served] : m_filler;
        return maxSize;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_head;
    char m_filler;
    qint64 m_served = 0;
};

// The header of a recording streamed from its start: sizes as large as they go.
QByteArray streamedHeader(const Spec& s)
{
    QByteArray b("RIFF");
    put32(b, 0xFFFFFFFFu);
    b += "WAVE";
    b += chunk("fmt ", fmtChunk(s));
    b += "data";
    put32(b, 0xFFFFFFFFu);
    return b;
}

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
    void samplesStayFinite_data();
    void samplesStayFinite();
    void endlessStreamsEnd_data();
    void endlessStreamsEnd();
    void readsInBlocks();
    void pitchcheckEndsOnAnyInput_data();
    void pitchcheckEndsOnAnyInput();
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
    // The same tag with another GUID's tail, or with bits above the tag set: not PCM.
    QByteArray foreignTail = withFmt(Spec{1, 1, 44100, 16, true});
    foreignTail[20 + 24 + 8] = char(0x81);
    QTest::newRow("extensible foreign guid") << foreignTail << "EXTENSIBLE";
    QByteArray highTag = withFmt(Spec{1, 1, 44100, 16, true});
    highTag[20 + 24 + 2] = char(0x01);
    QTest::newRow("extensible tag past 16 bits") << highTag << "65537";
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

void TestWavFile::samplesStayFinite_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("channels");
    QTest::addColumn<double>("value");
    // Finite in the file, but past what a float holds, or past it once channels are added up.
    QTest::newRow("double past float") << 3 << 64 << 1 << 1e300;
    QTest::newRow("double past float, negative") << 3 << 64 << 2 << -1e300;
    QTest::newRow("double just past float") << 3 << 64 << 1 << 3.5e38;
    QTest::newRow("float channels summed") << 3 << 32 << 2 << 3.0e38;
    QTest::newRow("double channels summed") << 3 << 64 << 4 << 3.0e38;
}

void TestWavFile::samplesStayFinite()
{
    QFETCH(int, tag);
    QFETCH(int, bits);
    QFETCH(int, channels);
    QFETCH(double, value);
    const Spec s{tag, channels, 44100, bits, false};
    QByteArray data;
    for (int frame = 0; frame < 4; ++frame)
        for (int c = 0; c < channels; ++c)
            data += encodeSample(value, s);
    WavAudio audio;
    QString error;
    QVERIFY2(pitch::parseWav(riff(chunk("fmt ", fmtChunk(s)) + chunk("data", data)), audio, &error),
             qPrintable(error));
    QCOMPARE(audio.mono.size(), std::size_t(4));
    for (float v : audio.mono) {
        QVERIFY2(std::isfinite(v), qPrintable(QString::number(v)));
        QVERIFY((v > 0) == (value > 0)); // clipped, not turned to silence
    }
}

void TestWavFile::endlessStreamsEnd_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<char>("filler");
    QTest::addColumn<QString>("message");
    const Spec s{1, 1, 8000, 8, false};
    QTest::newRow("zeros") << QByteArray() << '\0' << "RIFF";
    QTest::newRow("noise") << QByteArray() << 'x' << "RIFF";
    QTest::newRow("sound without end") << streamedHeader(s) << char(0x80) << "мин";
    // A chunk before the sound that claims 4 GiB and never ends: a stream cannot seek past it.
    QByteArray endlessChunk = riff(chunk("fmt ", fmtChunk(s)));
    endlessChunk += "LIST";
    put32(endlessChunk, 0xFFFFFFFFu);
    QTest::newRow("endless chunk before the sound") << endlessChunk << 'x' << "данных";
    QByteArray endlessChunks = riff(chunk("fmt ", fmtChunk(s)));
    QTest::newRow("chunk headers without end") << endlessChunks << 'x' << "данных";
}

void TestWavFile::endlessStreamsEnd()
{
    QFETCH(QByteArray, head);
    QFETCH(char, filler);
    QFETCH(QString, message);
    EndlessStream stream(head, filler);
    pitch::WavReader reader;
    reader.setMaxSeconds(2.0);
    QString error;
    bool ok = reader.open(&stream, &error);
    std::vector<float> block;
    while (ok) {
        ok = reader.read(block, 4096, &error);
        if (ok && block.empty())
            QFAIL("an endless stream came to an end");
    }
    QVERIFY2(error.contains(message), qPrintable(error));
    // Two seconds of 8 kHz 8-bit sound, or the bound on what may come before it.
    QVERIFY2(stream.served() <= 17 * 1024 * 1024 + 64 * 1024, qPrintable(QString::number(stream.served())));
}

void TestWavFile::readsInBlocks()
{
    // Blocks come in the order of the file, whatever size is asked for, and add up to the whole.
    std::vector<double> values;
    for (int i = 0; i < 10000; ++i)
        values.push_back(std::sin(i * 0.01) * 0.9);
    const Spec s{1, 2, 44100, 24, false};
    const QByteArray bytes = wav(s, values);
    WavAudio whole;
    QVERIFY(pitch::parseWav(bytes, whole));
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    pitch::WavReader reader;
    QVERIFY(reader.open(&buffer));
    QCOMPARE(reader.format().sampleRate, 44100);
    std::vector<float> all, block;
    for (std::size_t n = 1;; n = n * 3 + 1) {
        QVERIFY(reader.read(block, n));
        QVERIFY(block.size() <= n);
        if (block.empty())
            break;
        all.insert(all.end(), block.begin(), block.end());
    }
    QCOMPARE(all, whole.mono);
    QCOMPARE(all.size(), values.size());
}

void TestWavFile::pitchcheckEndsOnAnyInput_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("message");
    QTest::newRow("/dev/zero") << "/dev/zero" << "RIFF";
    QTest::newRow("fifo fed zeros") << "fifo:cat /dev/zero" << "RIFF";
    QTest::newRow("fifo fed noise") << "fifo:yes" << "RIFF";
    QTest::newRow("fifo closed at once") << "fifo:true" << "RIFF";
    // 1.2 GB that take no disk: a header, then a hole.
    QTest::newRow("file of two hours") << "sparse" << "60"; // minutes, in either language
}

void TestWavFile::pitchcheckEndsOnAnyInput()
{
#ifndef TONVERO_PITCHCHECK
    QSKIP("pitchcheck is not built");
#else
    QFETCH(QString, input);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QString path = input;
    QProcess writer;
    if (input.startsWith("fifo:")) {
        path = dir.filePath("stream");
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        // The writer ends when pitchcheck closes its end (SIGPIPE).
        writer.start("sh", {"-c", input.mid(5) + " > \"$0\"", path});
    } else if (input == "sparse") {
        path = dir.filePath("long.wav");
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(streamedHeader(Spec{1, 2, 48000, 16, false}));
        QVERIFY(f.resize(qint64(1200) << 20));
        f.close();
    }
    QProcess check;
#ifndef __SANITIZE_ADDRESS__
    // A few megabytes of heap beyond what Qt takes to start: reading on without end fails fast.
    check.setChildProcessModifier([] {
        const rlimit limit{64u << 20, 64u << 20};
        ::setrlimit(RLIMIT_DATA, &limit);
    });
#endif
    QElapsedTimer clock;
    clock.start();
    check.start(TONVERO_PITCHCHECK, {path});
    const bool ended = check.waitForFinished(5000);
    const qint64 ms = clock.elapsed();
    if (!ended)
        check.kill();
    writer.kill();
    writer.waitForFinished();
    QVERIFY2(ended, "pitchcheck still reading after 5 s");
    const QString err = QString::fromUtf8(check.readAllStandardError());
    QCOMPARE(check.exitStatus(), QProcess::NormalExit);
    QCOMPARE(check.exitCode(), int(pitch::ExitBadFile));
    QVERIFY2(err.contains(message), qPrintable(err));
    QVERIFY2(ms < 1000, qPrintable(QString("%1 ms").arg(ms)));
#endif
}

QTEST_GUILESS_MAIN(TestWavFile)
#include "tst_wavfile.moc"
