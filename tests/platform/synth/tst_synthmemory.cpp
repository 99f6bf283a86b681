// SPDX-License-Identifier: GPL-3.0-or-later
// Memory of the built-in synthesizer, read from this process. A program of
// its own, so nothing else has raised the peak before it is read.
#include "platform/synth/midi_synth.h"

#include <QFile>
#include <QTest>

#include <filesystem>

using mmsys::synth::SampleLoading;
using mmsys::synth::SynthEngine;

namespace {

const char* const kLargeSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

// A size line of /proc/self/status ("VmRSS:", "VmHWM:") in bytes; -1 when unreadable.
qint64 statusBytes(const QByteArray& key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

// Plays a piano note as the trainer does; returns the growth of the peak.
qint64 peakGrowthPlayingOnePiano(SampleLoading loading)
{
    const qint64 before = statusBytes("VmRSS:");
    SynthEngine engine(loading);
    if (!engine.load(kLargeSoundFont))
        return -1;
    engine.shortMsg(0x000000C0); // program change: piano
    engine.waitIdle(60000);
    engine.shortMsg(0x007F4590); // note on A4
    std::vector<float> left(4096), right(4096);
    for (int block = 0; block < 10; ++block)
        engine.render(left.data(), right.data(), int(left.size()));
    return statusBytes("VmHWM:") - before;
}

} // namespace

class TestSynthMemory : public QObject {
    Q_OBJECT

private slots:
    void onePianoStaysFarBelowTheSoundFont();
};

void TestSynthMemory::onePianoStaysFarBelowTheSoundFont()
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(kLargeSoundFont, ec);
    if (ec)
        QSKIP("the large soundfont FluidR3_GM (package fluid-soundfont-gm) is not installed");
    if (statusBytes("VmHWM:") < 0)
        QSKIP("this system shows no process memory in /proc");
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    QSKIP("a sanitizer's shadow memory hides what the synthesizer holds");
#endif

    const qint64 onDemand = peakGrowthPlayingOnePiano(SampleLoading::OnDemand);
    QVERIFY(onDemand >= 0);
    qInfo("one piano preset: peak grew by %.1f MiB; the soundfont is %.1f MiB", double(onDemand) / (1 << 20),
          double(size) / (1 << 20));
    QVERIFY2(onDemand < qint64(size / 4), "only the piano's samples are held");

    // The measure sees a whole soundfont, so the bound above means something.
    const qint64 whole = peakGrowthPlayingOnePiano(SampleLoading::Whole);
    qInfo("whole soundfont: peak grew by %.1f MiB", double(whole) / (1 << 20));
    QVERIFY(whole > qint64(size / 2));
}

QTEST_GUILESS_MAIN(TestSynthMemory)
#include "tst_synthmemory.moc"
