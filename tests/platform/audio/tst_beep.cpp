// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/audio/beep.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTest>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>

#include <unistd.h>

class TestBeep : public QObject {
    Q_OBJECT
private slots:
    void samples_data();
    void samples();
    void nothingToPlay_data();
    void nothingToPlay();
    void silentWithoutDevice();
};

void TestBeep::samples_data()
{
    QTest::addColumn<int>("frequency");
    QTest::addColumn<int>("ms");
    QTest::addColumn<int>("rate");
    QTest::newRow("error beep") << 400 << 100 << 48000;
    QTest::newRow("a4 at 44.1 kHz") << 440 << 250 << 44100;
    QTest::newRow("shorter than two fades") << 1000 << 6 << 48000;
    QTest::newRow("low and long") << 50 << 1000 << 8000;
    QTest::newRow("near half the rate") << 3900 << 50 << 8000;
    QTest::newRow("ends mid-period") << 433 << 100 << 48000;
}

void TestBeep::samples()
{
    QFETCH(int, frequency);
    QFETCH(int, ms);
    QFETCH(int, rate);
    const std::vector<std::int16_t> s = platform::beepSamples(frequency, ms, rate);
    QCOMPARE(qsizetype(s.size()), qsizetype(qint64(rate) * ms / 1000));

    int crossings = 0;
    for (std::size_t i = 1; i < s.size(); ++i)
        if ((s[i - 1] < 0) != (s[i] < 0))
            ++crossings;
    const double expected = 2.0 * frequency * ms / 1000.0;
    QVERIFY2(std::abs(crossings - expected) <= 2 + expected * 0.01,
             qPrintable(QStringLiteral("%1 zero crossings, %2 expected").arg(crossings).arg(expected)));

    // No click: the tone fades in from silence and out to it, and never moves
    // much faster than the full-level sine itself does.
    int peak = 0;
    for (auto v : s)
        peak = std::max(peak, std::abs(int(v)));
    QVERIFY(peak > 1000);
    QVERIFY(std::abs(int(s.front())) <= peak / 100);
    QVERIFY(std::abs(int(s.back())) <= peak / 50);
    const std::size_t ms1 = std::size_t(rate / 1000);
    for (std::size_t i = 0; i < ms1; ++i) {
        QVERIFY2(std::abs(int(s[i])) <= peak / 2, qPrintable(QStringLiteral("loud start at %1").arg(i)));
        QVERIFY2(std::abs(int(s[s.size() - 1 - i])) <= peak / 2, qPrintable(QStringLiteral("loud end at %1").arg(i)));
    }
    const double maxStep = 1.5 * peak * 2.0 * std::sin(std::numbers::pi * frequency / rate) + 2;
    for (std::size_t i = 1; i < s.size(); ++i)
        QVERIFY2(std::abs(s[i] - s[i - 1]) <= maxStep, qPrintable(QStringLiteral("jump at sample %1").arg(i)));
}

void TestBeep::nothingToPlay_data()
{
    QTest::addColumn<int>("frequency");
    QTest::addColumn<int>("ms");
    QTest::newRow("no frequency") << 0 << 100;
    QTest::newRow("negative frequency") << -400 << 100;
    QTest::newRow("no length") << 400 << 0;
    QTest::newRow("negative length") << 400 << -5;
    QTest::newRow("half the rate") << 24000 << 100;
}

void TestBeep::nothingToPlay()
{
    QFETCH(int, frequency);
    QFETCH(int, ms);
    QVERIFY(platform::beepSamples(frequency, ms, 48000).empty());
    platform::Beep(frequency, ms); // returns without touching the device
}

void TestBeep::silentWithoutDevice()
{
    if (QFileInfo::exists("/dev/snd"))
        QSKIP("this machine has a sound device; the beep would be heard");

    QTemporaryFile capture;
    QVERIFY(capture.open());
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    QVERIFY(saved >= 0);
    ::dup2(capture.handle(), STDERR_FILENO);
    QElapsedTimer t;
    t.start();
    platform::Beep(400, 100);
    platform::Beep(400, 100);
    const qint64 elapsed = t.elapsed();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);

    capture.seek(0);
    const QByteArray said = capture.readAll();
    QVERIFY2(said.isEmpty(), said.constData());
    // A hang guard, not a measurement: without a device nothing is waited for.
    QVERIFY2(elapsed < 5000, qPrintable(QString::number(elapsed)));
}

QTEST_GUILESS_MAIN(TestBeep)
#include "tst_beep.moc"
