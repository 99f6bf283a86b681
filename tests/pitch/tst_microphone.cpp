// SPDX-License-Identifier: GPL-3.0-or-later
// The microphone input: the written note for each way of transposing, the
// settings in the per-user store, notes handed to the GUI thread in order,
// and a machine without any audio input.
#include "pitch/microphoneinput.h"
#include "pitch/microphonesettings.h"
#include "pitch/notedetector.h"
#include "pitch/transposition.h"
#include "platform/audio/audiocapture.h"
#include "platform/registry/registry.h"
#include "support/bufferaudiosource.h"
#include "support/testenv.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>
#include <QThread>

#include <cmath>
#include <numbers>

#include <unistd.h>

using pitch::MicrophoneInput;
using pitch::MicrophoneSettings;
using pitch::Transposition;

Q_DECLARE_METATYPE(Transposition)

namespace {

using testsupport::BufferAudioSource;

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
    x.resize(x.size() + kRate / 2, 0.f);
    return x;
}

// Runs f with the process's stderr going to a file; returns what was written.
template <typename F>
QByteArray stderrOf(F f)
{
    QTemporaryFile file;
    if (!file.open())
        return "cannot capture stderr";
    std::fflush(stderr);
    const int saved = dup(2);
    dup2(file.handle(), 2);
    f();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    file.seek(0);
    return file.readAll();
}

} // namespace

class TestMicrophone : public QObject {
    Q_OBJECT

private slots:
    void writtenNote_data();
    void writtenNote();
    void transpositionFromStoredNumber();
    void settingsRoundTrip();
    void settingsDefaultsWhenMissingOrDamaged_data();
    void settingsDefaultsWhenMissingOrDamaged();
    void notesArriveOnTheGuiThreadInOrder_data();
    void notesArriveOnTheGuiThreadInOrder();
    void stopDropsWhatIsStillQueued();
    void inputThatWillNotOpen();
    void inputThatBreaksOff();
    void noSoundServerMeansNoInputsAndNoNoise();
};

void TestMicrophone::writtenNote_data()
{
    QTest::addColumn<int>("sounding");
    QTest::addColumn<Transposition>("mode");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("written");
    QTest::newRow("as written") << 64 << Transposition::AsWritten << 60 << 64;
    QTest::newRow("guitar low E answers E3") << 40 << Transposition::OctaveDown << 52 << 52;
    QTest::newRow("bass low E answers E2") << 28 << Transposition::OctaveDown << 40 << 40;
    QTest::newRow("octave down at the top stays in range") << 120 << Transposition::OctaveDown << -1 << 120;
    QTest::newRow("any octave, right pitch class, far below") << 40 << Transposition::AnyOctave << 76 << 76;
    QTest::newRow("any octave, right pitch class, above") << 84 << Transposition::AnyOctave << 48 << 48;
    QTest::newRow("any octave, wrong note moves near, above") << 41 << Transposition::AnyOctave << 64 << 65;
    QTest::newRow("any octave, wrong note moves near, below") << 74 << Transposition::AnyOctave << 64 << 62;
    QTest::newRow("any octave, tritone goes up") << 70 << Transposition::AnyOctave << 64 << 70;
    QTest::newRow("any octave, nothing expected") << 50 << Transposition::AnyOctave << -1 << 50;
    QTest::newRow("any octave, near the bottom") << 35 << Transposition::AnyOctave << 0 << 11;
    QTest::newRow("any octave, near the top") << 61 << Transposition::AnyOctave << 127 << 121;
}

void TestMicrophone::writtenNote()
{
    QFETCH(int, sounding);
    QFETCH(Transposition, mode);
    QFETCH(int, expected);
    QFETCH(int, written);
    QCOMPARE(pitch::answerFor(sounding, mode, expected), written);
}

void TestMicrophone::transpositionFromStoredNumber()
{
    QCOMPARE(pitch::transpositionFromInt(0), Transposition::AsWritten);
    QCOMPARE(pitch::transpositionFromInt(1), Transposition::OctaveDown);
    QCOMPARE(pitch::transpositionFromInt(2), Transposition::AnyOctave);
    QCOMPARE(pitch::transpositionFromInt(3), Transposition::AsWritten);
    QCOMPARE(pitch::transpositionFromInt(-1), Transposition::AsWritten);
}

void TestMicrophone::settingsRoundTrip()
{
    testsupport::TempConfigHome home;
    QCOMPARE(MicrophoneSettings::load(), MicrophoneSettings{});
    MicrophoneSettings s;
    s.bEnabled = true;
    s.strDevice = "alsa_input.usb-Микрофон.analog-stereo";
    s.nReferenceA4 = 442;
    s.nTransposition = int(Transposition::OctaveDown);
    s.nHoldMs = 40;
    s.nToleranceCents = 25;
    QVERIFY(s.save());
    QCOMPARE(MicrophoneSettings::load(), s);
    QFile file(home.registryFile());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY2(text.contains("[HKEY_CURRENT_USER\\Software\\Tonvero\\Microphone]"), qPrintable(text));
    QVERIFY(text.contains("\"nReferenceA4\"=dword:000001ba"));
    QVERIFY(text.contains("\"bEnabled\"=dword:00000001"));
}

void TestMicrophone::settingsDefaultsWhenMissingOrDamaged_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<unsigned>("type");
    QTest::newRow("reference below range") << "nReferenceA4" << QByteArray("\x10\x01\x00\x00", 4) << 4u;
    QTest::newRow("reference as text") << "nReferenceA4" << QByteArray("442\0", 4) << 1u;
    QTest::newRow("transposition unknown") << "nTransposition" << QByteArray("\x07\x00\x00\x00", 4) << 4u;
    QTest::newRow("hold negative") << "nHoldMs" << QByteArray("\xff\xff\xff\xff", 4) << 4u;
    QTest::newRow("tolerance too wide") << "nToleranceCents" << QByteArray("\xc8\x00\x00\x00", 4) << 4u;
    QTest::newRow("device as number") << "strDevice" << QByteArray("\x01\x00\x00\x00", 4) << 4u;
}

void TestMicrophone::settingsDefaultsWhenMissingOrDamaged()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, data);
    QFETCH(unsigned, type);
    testsupport::TempConfigHome home;
    MicrophoneSettings s;
    s.bEnabled = true;
    QVERIFY(s.save());
    platform::HKEY key = nullptr;
    QCOMPARE(platform::RegOpenKeyEx(platform::HKEY_CURRENT_USER, "Software\\Tonvero\\Microphone", 0,
                                    platform::KEY_ALL_ACCESS, &key),
             platform::ERROR_SUCCESS);
    QCOMPARE(platform::RegSetValueEx(key, value, 0, type, reinterpret_cast<const platform::BYTE*>(data.constData()),
                                     platform::DWORD(data.size())),
             platform::ERROR_SUCCESS);
    QCOMPARE(platform::RegCloseKey(key), platform::ERROR_SUCCESS);
    const MicrophoneSettings loaded = MicrophoneSettings::load();
    QCOMPARE(loaded, s); // the damaged value has its default, the rest is kept
}

void TestMicrophone::notesArriveOnTheGuiThreadInOrder_data()
{
    QTest::addColumn<Transposition>("mode");
    QTest::addColumn<QList<int>>("written");
    // Sounding A3, E2, C5, E2; the stave expects E4 for "any octave".
    QTest::newRow("as written") << Transposition::AsWritten << QList<int>{57, 40, 72, 40};
    QTest::newRow("guitar and bass") << Transposition::OctaveDown << QList<int>{69, 52, 84, 52};
    QTest::newRow("any octave") << Transposition::AnyOctave << QList<int>{69, 64, 60, 64};
}

void TestMicrophone::notesArriveOnTheGuiThreadInOrder()
{
    QFETCH(Transposition, mode);
    QFETCH(QList<int>, written);
    if (!pitch::NoteDetector(kRate).isValid())
        QSKIP("aubio cannot be loaded");
    MicrophoneInput input(std::make_unique<BufferAudioSource>(tones({57, 40, 72, 40})));
    MicrophoneSettings s;
    s.nTransposition = int(mode);
    input.setSettings(s);
    input.setExpectedNote([] { return 64; });
    QList<int> pressed, released;
    QList<bool> onGuiThread;
    connect(&input, &MicrophoneInput::notePressed, this, [&](int w, int) {
        pressed << w;
        onGuiThread << (QThread::currentThread() == thread());
    });
    connect(&input, &MicrophoneInput::noteReleased, this, [&](int w) { released << w; });
    QSignalSpy levels(&input, &MicrophoneInput::levelChanged);
    QVERIFY(input.start());
    QTRY_COMPARE_WITH_TIMEOUT(pressed.size(), 4, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(released.size(), 4, 10000);
    QCOMPARE(pressed, written);
    QCOMPARE(released, written); // each release names its own note
    QVERIFY(!onGuiThread.contains(false));
    // About twenty meter readings a second of sound (3.1 s here).
    QTRY_VERIFY(levels.size() >= 55);
    QVERIFY(levels.size() <= 70);
    input.stop();
    QVERIFY(!input.isRunning());
}

void TestMicrophone::stopDropsWhatIsStillQueued()
{
    if (!pitch::NoteDetector(kRate).isValid())
        QSKIP("aubio cannot be loaded");
    MicrophoneInput input(std::make_unique<BufferAudioSource>(tones({60, 62, 64})));
    QSignalSpy pressed(&input, &MicrophoneInput::notePressed);
    QSignalSpy released(&input, &MicrophoneInput::noteReleased);
    QVERIFY(input.start());
    // The whole buffer is heard before the event loop runs: its notes are queued.
    QThread::msleep(1500);
    input.stop();
    QCoreApplication::processEvents();
    QCOMPARE(pressed.size(), 0);
    QCOMPARE(released.size(), 0);
    // A later run delivers again.
    QVERIFY(input.start());
    QTRY_COMPARE_WITH_TIMEOUT(pressed.size(), 3, 10000);
    input.stop();
}

void TestMicrophone::inputThatWillNotOpen()
{
    if (!pitch::NoteDetector(kRate).isValid())
        QSKIP("aubio cannot be loaded");
    MicrophoneInput input(std::make_unique<BufferAudioSource>(tones({60})));
    MicrophoneSettings s;
    s.strDevice = "missing";
    input.setSettings(s);
    platform::AudioError error;
    QVERIFY(!input.start(&error));
    QCOMPARE(error.cause, platform::AudioError::Cause::NoInput);
    QCOMPARE(error.detail, QString("No such entity"));
    QVERIFY(!input.isRunning());
    input.stop(); // harmless
}

void TestMicrophone::inputThatBreaksOff()
{
    if (!pitch::NoteDetector(kRate).isValid())
        QSKIP("aubio cannot be loaded");
    MicrophoneInput input(std::make_unique<BufferAudioSource>(tones({60}), BufferAudioSource::Pace::AsFastAsPossible, true));
    QSignalSpy failed(&input, &MicrophoneInput::failed);
    QSignalSpy released(&input, &MicrophoneInput::noteReleased);
    QVERIFY(input.start());
    QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 10000);
    QCOMPARE(failed.first().first().value<platform::AudioError>().cause, platform::AudioError::Cause::NoInput);
    QVERIFY(!input.isRunning());
}

void TestMicrophone::noSoundServerMeansNoInputsAndNoNoise()
{
    // A private runtime directory has no sound server in it.
    testsupport::TempConfigHome home;
    const QByteArray oldServer = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", QFile::encodeName(home.path() + "/runtime/pulse/native"));
    QList<platform::AudioInputDevice> devices{{"x", "x"}};
    bool started = true;
    platform::AudioError error;
    const QByteArray printed = stderrOf([&] {
        devices = platform::audioInputDevices(500);
        platform::AudioCapture capture;
        started = capture.start({}, [](const float*, std::size_t) {}, {}, kRate, &error);
        capture.stop();
    });
    if (oldServer.isNull())
        qunsetenv("PULSE_SERVER");
    else
        qputenv("PULSE_SERVER", oldServer);
    QVERIFY(devices.isEmpty());
    QVERIFY(!started);
    // No server to connect to is said as such, not as the server's "Connection refused".
    QVERIFY(error.cause == platform::AudioError::Cause::NoSoundServer
            || error.cause == platform::AudioError::Cause::NoSoundLibrary);
    QVERIFY(!error.text().contains(error.detail));
    QVERIFY2(printed.isEmpty(), printed.constData());
}

QTEST_GUILESS_MAIN(TestMicrophone)
#include "tst_microphone.moc"
