// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/exercise.h"
#include "settings/preferences.h"
#include "app/microphoneanswers.h"
#include "app/noticeline.h"
#include "platform/audio/audioerror.h"
#include "exercisehelpers.h"
#include "support/bufferaudiosource.h"
#include "support/synthrender.h"
#include "platform/audio/beep.h"

#include <QSignalSpy>

using namespace tonvero;
using namespace exercisehelpers;
using testsupport::BufferAudioSource;

namespace {

constexpr int kPiano = 0;
constexpr int kNylonGuitar = 24;
constexpr int A3 = 57;
constexpr int C4 = 60;
constexpr int E4 = 64;
constexpr int G4 = 67;
constexpr int kBeepHz = 400;
constexpr int kBeepMs = 100;

pitch::MicrophoneSettings listening()
{
    pitch::MicrophoneSettings s;
    s.bEnabled = true;
    return s;
}

// A source that plays these samples once, as fast as it can.
MicrophoneAnswers::SourceMaker playing(std::vector<float> samples)
{
    return [samples] { return std::make_unique<BufferAudioSource>(samples); };
}

} // namespace

// The microphone as an exercise input: notes heard become presses of the
// written note; the trainer's own sound is never an answer.
class TestMicrophoneAnswers : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testsupport::SynthRenderer> m_synth;
    std::unique_ptr<testsupport::TempConfigHome> m_home;

    std::vector<float> piano(int note)
    {
        return m_synth->render(kPiano, {{note, 0.2, 0.8}}, 1.5);
    }

private slots:
    void initTestCase()
    {
        const std::string font = testsupport::testSoundFont();
        if (font.empty())
            QSKIP("no General MIDI soundfont installed to play the notes");
        m_synth = std::make_unique<testsupport::SynthRenderer>(font);
        QVERIFY(m_synth->isLoaded());
    }
    void init() { m_home = std::make_unique<testsupport::TempConfigHome>(); }
    void cleanup() { m_home.reset(); }

    void noteHeardIsPressedThenReleased()
    {
        MicrophoneAnswers mic(playing(piano(C4)));
        mic.setSettings(listening());
        QSignalSpy pressed(&mic, &MicrophoneAnswers::pressed);
        QSignalSpy released(&mic, &MicrophoneAnswers::released);
        mic.exerciseRunning(true);
        QVERIFY(pressed.wait(5000));
        QCOMPARE(pressed.size(), 1);
        QCOMPARE(pressed.at(0).at(0).toInt(), C4);
        // The piano rings on: released at the latest after the longest press.
        QTRY_COMPARE_WITH_TIMEOUT(released.size(), 1, 3000);
        QCOMPARE(released.at(0).at(0).toInt(), C4);
        mic.exerciseRunning(false);
        QVERIFY(!mic.isListening());
    }

    void transpositionGivesTheWrittenNote()
    {
        MicrophoneAnswers mic(playing(piano(C4)));
        pitch::MicrophoneSettings s = listening();
        s.nTransposition = int(pitch::Transposition::OctaveDown);
        mic.setSettings(s);
        QSignalSpy pressed(&mic, &MicrophoneAnswers::pressed);
        mic.exerciseRunning(true);
        QVERIFY(pressed.wait(5000));
        QCOMPARE(pressed.at(0).at(0).toInt(), C4 + 12);
    }

    // A microphone in front of the speakers hears what the trainer sounds.
    void ownSoundIsNoAnswer_data()
    {
        QTest::addColumn<bool>("released");
        QTest::newRow("while it sounds") << false;
        QTest::newRow("its tail after release") << true;
    }
    void ownSoundIsNoAnswer()
    {
        QFETCH(bool, released);
        MicrophoneAnswers mic(playing(piano(E4)));
        mic.setSettings(listening());
        mic.outputNoteOn(E4);
        if (released)
            mic.outputNoteOff(E4);
        QSignalSpy pressed(&mic, &MicrophoneAnswers::pressed);
        mic.exerciseRunning(true);
        QVERIFY(!pressed.wait(released ? 500 : 1500));
    }

    // The trainer's output reaches its input through the speakers, mixed with
    // what the learner plays or alone: only the learner's notes are answers.
    void outputFedBack_data()
    {
        QTest::addColumn<int>("ownNote");     // the synthesizer's note, -1 none
        QTest::addColumn<double>("beepAtSec"); // the beep, -1 none
        QTest::addColumn<bool>("told");       // whether the microphone knows what sounds
        QTest::addColumn<int>("learnerNote"); // -1 none
        QTest::addColumn<double>("learnerAtSec");
        QTest::addColumn<QList<int>>("answers");

        QTest::newRow("beep alone") << -1 << 0.2 << true << -1 << 0.0 << QList<int>{};
        QTest::newRow("beep after a wrong note") << -1 << 0.35 << true << A3 << 0.1 << QList<int>{A3};
        QTest::newRow("beep after a wrong note on the beep's octave")
            << -1 << 0.35 << true << G4 - 12 << 0.1 << QList<int>{G4 - 12};
        QTest::newRow("learner's note after the beep") << -1 << 0.2 << true << C4 << 0.45 << QList<int>{C4};
        QTest::newRow("trainer's note and the beep") << E4 << 0.6 << true << -1 << 0.0 << QList<int>{};
        QTest::newRow("learner's note over the trainer's") << E4 << -1.0 << true << C4 << 0.7 << QList<int>{C4};
        // Untold, the same sound is answers: the rows above test something.
        QTest::newRow("beep, untold") << -1 << 0.2 << false << -1 << 0.0 << QList<int>{G4};
        QTest::newRow("trainer's note, untold") << E4 << -1.0 << false << -1 << 0.0 << QList<int>{E4};
    }
    void outputFedBack()
    {
        QFETCH(int, ownNote);
        QFETCH(double, beepAtSec);
        QFETCH(bool, told);
        QFETCH(int, learnerNote);
        QFETCH(double, learnerAtSec);
        QFETCH(QList<int>, answers);

        constexpr double kSeconds = 1.6;
        constexpr int rate = testsupport::SynthRenderer::sampleRate();
        std::vector<float> input(std::size_t(kSeconds * rate), 0.0f);
        auto mix = [&input](const std::vector<float>& x, double gain) {
            for (std::size_t i = 0; i < input.size() && i < x.size(); ++i)
                input[i] += float(gain * x[i]);
        };
        if (ownNote >= 0)
            mix(m_synth->render(kPiano, {{ownNote, 0.1, 0.8}}, kSeconds), 0.6);
        if (learnerNote >= 0)
            mix(m_synth->render(kNylonGuitar, {{learnerNote, learnerAtSec, 0.8}}, kSeconds), 1.0);
        if (beepAtSec >= 0) {
            // Through speakers and room, the beep arrives weaker than it was played.
            const std::vector<std::int16_t> beep = platform::beepSamples(kBeepHz, kBeepMs, rate);
            std::vector<float> at(std::size_t(beepAtSec * rate), 0.0f);
            for (std::int16_t v : beep)
                at.push_back(float(v) / 32768.0f);
            mix(at, 0.5);
        }

        // The source gives up at its end, after everything it held was heard.
        MicrophoneAnswers mic([input] {
            return std::make_unique<BufferAudioSource>(input, BufferAudioSource::Pace::AsFastAsPossible, true);
        });
        mic.setSettings(listening());
        if (told && ownNote >= 0)
            mic.outputNoteOn(ownNote);
        // The beep follows the wrong answer it marks, as in the window; alone, it is told at once.
        const bool beepAnswers = learnerNote >= 0 && learnerAtSec < beepAtSec;
        if (told && beepAtSec >= 0 && !beepAnswers)
            mic.outputTone(kBeepHz, kBeepMs);
        if (told && beepAtSec >= 0 && beepAnswers)
            connect(&mic, &MicrophoneAnswers::pressed, &mic, [&mic] { mic.outputTone(kBeepHz, kBeepMs); },
                    Qt::SingleShotConnection);
        QSignalSpy pressed(&mic, &MicrophoneAnswers::pressed);
        QSignalSpy ended(&mic, &MicrophoneAnswers::notice);
        mic.exerciseRunning(true);
        QVERIFY(ended.wait(10000));
        QList<int> heard;
        for (const QList<QVariant>& p : pressed)
            heard.append(p.at(0).toInt());
        QCOMPARE(heard, answers);
    }

    void offOrIdleOpensNothing()
    {
        int opened = 0;
        MicrophoneAnswers mic([&] {
            ++opened;
            return std::make_unique<BufferAudioSource>(std::vector<float>(100));
        });
        mic.setSettings(pitch::MicrophoneSettings{}); // off
        mic.exerciseRunning(true);
        QCOMPARE(opened, 0);
        mic.exerciseRunning(false);
        mic.setSettings(listening());
        QCOMPARE(opened, 0); // idle: nothing to listen for
        mic.exerciseRunning(true);
        QCOMPARE(opened, 1);
        QVERIFY(mic.isListening());
    }

    void inputThatCannotOpenIsSaidOnce()
    {
        MicrophoneAnswers mic(playing({}));
        pitch::MicrophoneSettings s = listening();
        s.strDevice = QStringLiteral("missing");
        mic.setSettings(s);
        QSignalSpy notice(&mic, &MicrophoneAnswers::notice);
        mic.exerciseRunning(true);
        QCOMPARE(notice.size(), 1);
        QVERIFY(!mic.isListening());
    }

    // Every resume tries the input again; the user hears of a cause once an exercise, in plain words.
    void failureIsSaidOncePerCauseAndExercise()
    {
        std::unique_ptr<CTonveroDlg> d = openWindow();
        pitch::MicrophoneSettings s = listening();
        s.strDevice = QStringLiteral("missing");
        d->microphone()->setSourceMaker(playing({}));
        d->microphone()->setSettings(s);
        QSignalSpy notice(d->microphone(), &MicrophoneAnswers::notice);
        d->StartStop(false);
        QCOMPARE(notice.size(), 1);
        const QString text = notice.first().first().toString();
        QVERIFY2(text.startsWith(platform::AudioError{platform::AudioError::Cause::NoInput, {}}.text()), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("No such entity")), qPrintable(text));
        QTRY_VERIFY(d->notices()->texts().contains(text));
        d->StartStop(true); // pause
        d->StartStop(true); // resume: tried again, not said again
        QCOMPARE(notice.size(), 1);
        // It ends with its exercise, and the next exercise says it again.
        d->StartStop(false);
        QVERIFY(!d->notices()->texts().contains(text));
        d->StartStop(false);
        QCOMPARE(notice.size(), 2);
        d->StartStop(false);
    }

    // In the main window the microphone answers like any instrument.
    void answersTheExercise()
    {
        std::unique_ptr<CTonveroDlg> d = openWindow();
        d->preferences().bMIDI_Out = 0;
        d->microphone()->setSourceMaker(playing(piano(E4)));
        d->microphone()->setSettings(listening());
        useCommonTrebleRange(*d);
        struct Sources : AnswerListener {
            std::vector<AnswerSource> seen;
            void exerciseStarted(const ExerciseRecord&) override {}
            void answered(const AnswerRecord& a) override { seen.push_back(a.source); }
            void exercisePaused(const ExerciseRecord&) override {}
            void exerciseEnded(const ExerciseRecord&) override {}
        } sources;
        d->exercise().answers().addListener(&sources);
        // E4 on the stave before the microphone hears it (0.2 s into its sound).
        d->StartStop(false);
        d->exercise().nCurNote = CInstrumentCtrl::KeyIndexFromNote(E4);
        d->exercise().ShowCurrentNote();
        QTRY_COMPARE_WITH_TIMEOUT(d->exercise().nNotes, 1, 5000);
        QCOMPARE(d->exercise().nErrors, 0);
        QCOMPARE(sources.seen, std::vector<AnswerSource>{AnswerSource::Microphone});
        QTRY_COMPARE_WITH_TIMEOUT(markOf(E4), int(None), 3000);
        d->StartStop(false);
        QVERIFY(!d->microphone()->isListening());
        d->exercise().answers().removeListener(&sources);
    }
};

QTEST_MAIN(TestMicrophoneAnswers)
#include "tst_microphoneanswers.moc"
