// SPDX-License-Identifier: GPL-3.0-or-later
// The few seconds of listening behind «Проверить»: what it says it heard
// (notes, sound without a note, silence, a failure), that it counts down on
// the event loop, and that the input is closed when it ends or is cancelled.
#include "pitch/microphonecheck.h"
#include "pitch/notedetector.h"
#include "support/bufferaudiosource.h"

#include <QSignalSpy>
#include <QTest>

#include <cmath>
#include <numbers>
#include <random>

using pitch::MicrophoneCheck;
using testsupport::BufferAudioSource;
using Verdict = pitch::MicrophoneCheck::Result::Verdict;
using Cause = platform::AudioError::Cause;

Q_DECLARE_METATYPE(BufferAudioSource::Pace)

namespace {

constexpr int kRate = platform::AudioSource::kDefaultRate;

// Plucked-like tones with harmonics, each 0.4 s with 0.2 s of silence after.
std::vector<float> tones(const std::vector<int>& notes)
{
    std::vector<float> x;
    for (int n : notes) {
        const double hz = pitch::NoteDetector::noteToHz(n, 440.0);
        for (int i = 0; i < kRate * 4 / 10; ++i) {
            const double t = double(i) / kRate;
            double v = 0;
            for (int h = 1; h <= 4; ++h)
                v += std::sin(2 * std::numbers::pi * hz * h * t) / h;
            x.push_back(float(0.25 * v * std::exp(-4.0 * t)));
        }
        x.resize(x.size() + kRate / 5, 0.f);
    }
    return x;
}

// Hiss at about -25 dBFS: loud, with no pitch in it.
std::vector<float> noise()
{
    std::mt19937 random(7);
    std::normal_distribution<float> gauss(0.f, 0.056f);
    std::vector<float> x(kRate / 2);
    for (float& v : x)
        v = gauss(random);
    return x;
}

// Makes the sources, and keeps the last one made to look at.
struct Sources {
    std::vector<float> samples;
    BufferAudioSource::Pace pace = BufferAudioSource::Pace::RealTimeLooping;
    bool failAtEnd = false;
    BufferAudioSource* last = nullptr;

    MicrophoneCheck::SourceMaker maker()
    {
        return [this] {
            auto source = std::make_unique<BufferAudioSource>(samples, pace, failAtEnd);
            last = source.get();
            return source;
        };
    }
};

MicrophoneCheck::Result resultOf(const QSignalSpy& spy)
{
    return spy.isEmpty() ? MicrophoneCheck::Result{} : spy.last().first().value<MicrophoneCheck::Result>();
}

} // namespace

class TestMicrophoneCheck : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (!pitch::NoteDetector(kRate).isValid())
            QSKIP("aubio cannot be loaded");
    }

    void saysWhatItHeard_data()
    {
        QTest::addColumn<std::vector<float>>("samples");
        QTest::addColumn<BufferAudioSource::Pace>("pace");
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("failAtEnd");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QList<int>>("notes");
        QTest::addColumn<int>("cause");
        using P = BufferAudioSource::Pace;
        QTest::newRow("a sung A4") << tones({69, 69, 69}) << P::RealTimeLooping << QString() << false
                                   << int(Verdict::Notes) << QList<int>{69} << int(Cause::None);
        QTest::newRow("three notes, each named once") << tones({40, 45, 40, 52}) << P::AsFastAsPossible << QString()
                                                      << false << int(Verdict::Notes) << QList<int>{40, 45, 52}
                                                      << int(Cause::None);
        QTest::newRow("hiss without a note") << noise() << P::RealTimeLooping << QString() << false
                                             << int(Verdict::SoundWithoutNote) << QList<int>{} << int(Cause::None);
        QTest::newRow("silence") << std::vector<float>(kRate / 10, 0.f) << P::RealTimeLooping << QString() << false
                                 << int(Verdict::Silence) << QList<int>{} << int(Cause::None);
        QTest::newRow("no such input") << tones({69}) << P::RealTimeLooping << QStringLiteral("missing") << false
                                       << int(Verdict::Failed) << QList<int>{} << int(Cause::NoInput);
        QTest::newRow("input unplugged while listening") << std::vector<float>(kRate / 10, 0.f) << P::AsFastAsPossible
                                                         << QString() << true << int(Verdict::Failed) << QList<int>{}
                                                         << int(Cause::NoInput);
    }
    void saysWhatItHeard()
    {
        QFETCH(std::vector<float>, samples);
        QFETCH(BufferAudioSource::Pace, pace);
        QFETCH(QString, device);
        QFETCH(bool, failAtEnd);
        QFETCH(int, verdict);
        QFETCH(QList<int>, notes);
        QFETCH(int, cause);
        Sources sources{samples, pace, failAtEnd};
        MicrophoneCheck check(sources.maker());
        check.setDurationMs(500);
        QSignalSpy finished(&check, &MicrophoneCheck::finished);
        pitch::MicrophoneSettings s; // off: a check listens all the same
        s.strDevice = device;
        check.start(s);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        const MicrophoneCheck::Result r = resultOf(finished);
        QCOMPARE(int(r.verdict), verdict);
        QCOMPARE(r.notes, notes);
        QCOMPARE(int(r.error.cause), cause);
        if (r.verdict == Verdict::SoundWithoutNote)
            QVERIFY2(r.loudestDb > -40.0, qPrintable(QString::number(r.loudestDb)));
        if (r.verdict == Verdict::Silence)
            QVERIFY2(r.loudestDb < -55.0, qPrintable(QString::number(r.loudestDb)));
        QVERIFY(!check.isRunning());
        QVERIFY(sources.last && !sources.last->isRunning());
        // Said once: nothing of the closed input arrives later.
        QTest::qWait(200);
        QCOMPARE(finished.size(), 1);
    }

    void countsDownOnTheEventLoop()
    {
        Sources sources{tones({69})};
        MicrophoneCheck check(sources.maker());
        check.setDurationMs(600);
        QSignalSpy progress(&check, &MicrophoneCheck::progress);
        QSignalSpy finished(&check, &MicrophoneCheck::finished);
        check.start({});
        // Back from start at once, listening, the first count said.
        QVERIFY(check.isRunning());
        QCOMPARE(progress.size(), 1);
        QCOMPARE(progress.first().first().toInt(), 600);
        check.start({}); // a second press while listening changes nothing
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        QVERIFY(progress.size() >= 3);
        for (qsizetype i = 1; i < progress.size(); ++i)
            QVERIFY(progress[i].first().toInt() <= progress[i - 1].first().toInt());
        QVERIFY(progress.last().first().toInt() > 0);
    }

    void cancelClosesTheInput()
    {
        Sources sources{tones({69})};
        MicrophoneCheck check(sources.maker());
        QSignalSpy finished(&check, &MicrophoneCheck::finished);
        check.start({});
        QTRY_VERIFY(sources.last && sources.last->isRunning());
        check.cancel();
        QCOMPARE(finished.size(), 1);
        QCOMPARE(resultOf(finished).verdict, Verdict::Cancelled);
        QVERIFY(!sources.last->isRunning());
        check.cancel(); // nothing left to cancel
        QCOMPARE(finished.size(), 1);
        // And it can listen again.
        check.setDurationMs(300);
        check.start({});
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 10000);
        QCOMPARE(resultOf(finished).verdict, Verdict::Notes);
    }

    // The input's thread is joined and nothing it queued reaches the check gone.
    void destroyedWhileListeningEndsCleanly()
    {
        Sources sources{tones({69})};
        auto check = std::make_unique<MicrophoneCheck>(sources.maker());
        check->start({});
        QTRY_VERIFY(sources.last && sources.last->isRunning());
        check.reset();
        QTest::qWait(100);
    }
};

QTEST_GUILESS_MAIN(TestMicrophoneCheck)
#include "tst_microphonecheck.moc"
