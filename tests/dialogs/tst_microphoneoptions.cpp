// SPDX-License-Identifier: GPL-3.0-or-later
// The options group of the microphone, on its own: its controls, its
// settings in the store, and the live meter that shows what it hears.
#include "dialogs/microphoneoptions.h"
#include "pitch/notedetector.h"
#include "support/bufferaudiosource.h"
#include "support/testenv.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>

#include <cmath>
#include <numbers>

using dialogs::LevelMeter;
using dialogs::MicrophoneOptions;
using pitch::MicrophoneSettings;
using platform::AudioInputDevice;
using testsupport::BufferAudioSource;

namespace {

const QList<AudioInputDevice> kTwoInputs{{"alsa_input.pci.analog-stereo", "Встроенный микрофон"},
                                         {"alsa_input.usb.mono", "USB-микрофон"}};

// A sung-like A4 with a little vibrato, a second long.
std::vector<float> steadyA4()
{
    const int rate = platform::AudioSource::kDefaultRate;
    std::vector<float> x(static_cast<std::size_t>(rate));
    double phase = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = double(i) / rate;
        phase += 2 * std::numbers::pi * 440.0 * std::pow(2.0, 0.1 / 12 * std::sin(2 * std::numbers::pi * 5 * t)) / rate;
        x[i] = float(0.3 * (std::sin(phase) + 0.4 * std::sin(2 * phase) + 0.2 * std::sin(3 * phase)));
    }
    return x;
}

struct Counted {
    int made = 0;
    BufferAudioSource* last = nullptr; // the source made last
};

MicrophoneOptions* makeOptions(QList<AudioInputDevice> devices, Counted* counted = nullptr,
                               std::vector<float> samples = steadyA4())
{
    return new MicrophoneOptions([devices] { return devices; },
                                 [counted, samples]() -> std::unique_ptr<platform::AudioSource> {
                                     auto source = std::make_unique<BufferAudioSource>(
                                         samples, BufferAudioSource::Pace::RealTimeLooping);
                                     if (counted) {
                                         ++counted->made;
                                         counted->last = source.get();
                                     }
                                     return source;
                                 });
}

QPushButton* button(QWidget* w, const QString& text)
{
    for (QPushButton* b : w->findChildren<QPushButton*>())
        if (b->text() == text)
            return b;
    return nullptr;
}

template <typename T>
T* child(QWidget* w, int index = 0)
{
    const QList<T*> all = w->findChildren<T*>();
    return index < all.size() ? all[index] : nullptr;
}

} // namespace

class TestMicrophoneOptions : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void titleAndChoices();
    void noInputSaysSoAndNeverListens();
    void settingsThroughTheControlsAndTheStore();
    void anInputNotPluggedInStaysChosen();
    void listensOnlyWhileShownAndOn_data();
    void listensOnlyWhileShownAndOn();
    void meterShowsTheLevelAndTheNoteHeard();
    void meterColours_data();
    void meterColours();
    void checkSaysWhatItHeard_data();
    void checkSaysWhatItHeard();
    void checkClosesTheInputWhenCancelledOrClosed_data();
    void checkClosesTheInputWhenCancelledOrClosed();

private:
    std::unique_ptr<testsupport::TempConfigHome> m_home;
};

void TestMicrophoneOptions::init()
{
    m_home = std::make_unique<testsupport::TempConfigHome>();
}

void TestMicrophoneOptions::cleanup()
{
    m_home.reset();
}

void TestMicrophoneOptions::titleAndChoices()
{
    int listed = 0;
    std::unique_ptr<MicrophoneOptions> w(new MicrophoneOptions(
        [&listed] {
            ++listed;
            return kTwoInputs;
        },
        [] { return std::make_unique<BufferAudioSource>(steadyA4()); }));
    // Nothing asks the sound server until the group is shown.
    QCOMPARE(listed, 0);
    w->show();
    QCOMPARE(listed, 1);
    QCOMPARE(w->title(), QString("Ввод нот с микрофона"));
    QComboBox* devices = child<QComboBox>(w.get(), 0);
    QComboBox* transposition = child<QComboBox>(w.get(), 1);
    QCOMPARE(devices->count(), 3);
    QCOMPARE(devices->itemText(0), QString("как в системе"));
    QCOMPARE(devices->itemText(2), QString("USB-микрофон"));
    QCOMPARE(transposition->count(), 3);
    QCOMPARE(transposition->itemText(0), QString("как записано"));
    QCOMPARE(transposition->itemText(1), QString("гитара/бас (на октаву ниже)"));
    QCOMPARE(transposition->itemText(2), QString("любая октава"));
    QSpinBox* reference = child<QSpinBox>(w.get(), 0);
    QCOMPARE(reference->minimum(), 415);
    QCOMPARE(reference->maximum(), 466);
    QCOMPARE(reference->value(), 440);
    // The finer settings wait under «Дополнительно».
    QSpinBox* hold = child<QSpinBox>(w.get(), 1);
    QVERIFY(!hold->isVisible());
    child<QToolButton>(w.get())->click();
    QVERIFY(hold->isVisible());
}

void TestMicrophoneOptions::noInputSaysSoAndNeverListens()
{
    Counted counted;
    std::unique_ptr<MicrophoneOptions> w(makeOptions({}, &counted));
    w->show();
    child<QCheckBox>(w.get())->setChecked(true);
    QVERIFY(!w->hasDevices());
    QVERIFY(!child<QComboBox>(w.get(), 0)->isVisible());
    bool said = false;
    for (QLabel* l : w->findChildren<QLabel*>())
        said = said || (l->isVisible() && l->text() == "Микрофон не найден");
    QVERIFY(said);
    QVERIFY(!w->isListening());
    QCOMPARE(counted.made, 0);
}

void TestMicrophoneOptions::settingsThroughTheControlsAndTheStore()
{
    std::unique_ptr<MicrophoneOptions> w(makeOptions(kTwoInputs));
    w->refreshDevices();
    QCOMPARE(w->settings(), MicrophoneSettings{});
    child<QCheckBox>(w.get())->setChecked(true);
    child<QComboBox>(w.get(), 0)->setCurrentIndex(2);
    child<QComboBox>(w.get(), 1)->setCurrentIndex(1);
    child<QSpinBox>(w.get(), 0)->setValue(442);
    child<QSpinBox>(w.get(), 1)->setValue(50);
    child<QSpinBox>(w.get(), 2)->setValue(20);
    // Text typed into a number field that makes no number leaves the value.
    QSpinBox* reference = child<QSpinBox>(w.get(), 0);
    reference->selectAll();
    QTest::keyClicks(reference, "abc");
    QCOMPARE(reference->value(), 442);
    QVERIFY(w->save());

    std::unique_ptr<MicrophoneOptions> again(makeOptions(kTwoInputs));
    QCOMPARE(again->settings().strDevice, QString("alsa_input.usb.mono")); // before the inputs are asked for
    again->refreshDevices();
    const MicrophoneSettings s = again->settings();
    QCOMPARE(s.bEnabled, true);
    QCOMPARE(s.strDevice, QString("alsa_input.usb.mono"));
    QCOMPARE(s.nTransposition, int(pitch::Transposition::OctaveDown));
    QCOMPARE(s.nReferenceA4, 442);
    QCOMPARE(s.nHoldMs, 50);
    QCOMPARE(s.nToleranceCents, 20);
    QCOMPARE(MicrophoneSettings::load(), s);
}

void TestMicrophoneOptions::anInputNotPluggedInStaysChosen()
{
    MicrophoneSettings stored;
    stored.strDevice = "alsa_input.usb-guitar-interface";
    QVERIFY(stored.save());
    std::unique_ptr<MicrophoneOptions> w(makeOptions(kTwoInputs));
    w->refreshDevices();
    QComboBox* devices = child<QComboBox>(w.get(), 0);
    QCOMPARE(devices->count(), 4);
    QCOMPARE(devices->currentText(), QString("alsa_input.usb-guitar-interface (не подключён)"));
    QCOMPARE(w->settings().strDevice, stored.strDevice);
    // With no input at all it is kept too.
    std::unique_ptr<MicrophoneOptions> none(makeOptions({}));
    none->refreshDevices();
    QCOMPARE(none->settings().strDevice, stored.strDevice);
}

void TestMicrophoneOptions::listensOnlyWhileShownAndOn_data()
{
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("on");
    QTest::newRow("shown, on") << true << true;
    QTest::newRow("shown, off") << true << false;
    QTest::newRow("hidden, on") << false << true;
}

void TestMicrophoneOptions::listensOnlyWhileShownAndOn()
{
    QFETCH(bool, shown);
    QFETCH(bool, on);
    if (!pitch::NoteDetector(44100).isValid())
        QSKIP("aubio cannot be loaded");
    Counted counted;
    std::unique_ptr<MicrophoneOptions> w(makeOptions(kTwoInputs, &counted));
    child<QCheckBox>(w.get())->setChecked(on);
    if (shown)
        w->show();
    QCOMPARE(w->isListening(), shown && on);
    QCOMPARE(counted.made, shown && on ? 1 : 0);
    w->hide();
    QVERIFY(!w->isListening());
    w->show();
    QCOMPARE(w->isListening(), on);
    child<QCheckBox>(w.get())->setChecked(false);
    QVERIFY(!w->isListening());
}

void TestMicrophoneOptions::meterShowsTheLevelAndTheNoteHeard()
{
    if (!pitch::NoteDetector(44100).isValid())
        QSKIP("aubio cannot be loaded");
    std::unique_ptr<MicrophoneOptions> w(makeOptions(kTwoInputs));
    child<QCheckBox>(w.get())->setChecked(true);
    w->show();
    LevelMeter* meter = w->findChild<LevelMeter*>();
    QTRY_VERIFY_WITH_TIMEOUT(meter->level() > -20.0, 5000);
    bool heard = false;
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            for (QLabel* l : w->findChildren<QLabel*>())
                heard = heard || l->text().startsWith("Ля 4");
            return heard;
        }(),
        5000);
    if (const QByteArray dir = qgetenv("TONVERO_SHOT_DIR"); !dir.isEmpty()) {
        // The picture shows what a check said, too.
        w->check()->setDurationMs(1000);
        button(w.get(), "Проверить")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!w->isChecking(), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(meter->level() > -20.0, 5000);
        child<QToolButton>(w.get())->click();
        w->adjustSize();
        QTest::qWait(200);
        QVERIFY(w->grab().save(QDir(QString::fromLocal8Bit(dir)).filePath("microphone-options.png")));
    }
    w->hide();
    QVERIFY(!w->isListening());
}

void TestMicrophoneOptions::meterColours_data()
{
    QTest::addColumn<double>("db");
    QTest::addColumn<double>("at"); // share of the width
    QTest::addColumn<QColor>("colour");
    QTest::newRow("quiet is empty") << -60.0 << 0.5 << QColor();
    QTest::newRow("moderate is green") << -20.0 << 0.5 << QColor(0x3c, 0xb3, 0x4a);
    QTest::newRow("loud is yellow near the top") << -5.0 << 0.88 << QColor(0xe8, 0xc3, 0x1e);
    QTest::newRow("too loud is red at the top") << 0.0 << 0.98 << QColor(0xd9, 0x3b, 0x2f);
    QTest::newRow("nonsense is empty") << std::nan("") << 0.5 << QColor();
}

void TestMicrophoneOptions::meterColours()
{
    QFETCH(double, db);
    QFETCH(double, at);
    QFETCH(QColor, colour);
    LevelMeter meter;
    meter.resize(200, 14);
    meter.setLevel(db);
    const QImage image = meter.grab().toImage();
    const QColor seen = image.pixelColor(int(at * image.width()), image.height() / 2);
    const QColor expected = colour.isValid() ? colour : meter.palette().color(QPalette::Base);
    QCOMPARE(seen.rgb(), expected.rgb());
}

void TestMicrophoneOptions::checkSaysWhatItHeard_data()
{
    QTest::addColumn<std::vector<float>>("samples");
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("said");
    QTest::newRow("a note, answering by microphone off") << steadyA4() << QString() << false
                                                         << QStringLiteral("Слышно ноты: Ля 4.");
    QTest::newRow("a note, the meter listening") << steadyA4() << QString() << true
                                                 << QStringLiteral("Слышно ноты: Ля 4.");
    QTest::newRow("silence") << std::vector<float>(4410, 0.f) << QString() << true << QStringLiteral("Тишина");
    QTest::newRow("an input not plugged in") << steadyA4() << QStringLiteral("missing") << false
                                             << QStringLiteral("Микрофон не найден: ");
}

void TestMicrophoneOptions::checkSaysWhatItHeard()
{
    QFETCH(std::vector<float>, samples);
    QFETCH(QString, device);
    QFETCH(bool, on);
    QFETCH(QString, said);
    if (!pitch::NoteDetector(44100).isValid())
        QSKIP("aubio cannot be loaded");
    Counted counted;
    std::unique_ptr<MicrophoneOptions> w(makeOptions(kTwoInputs, &counted, samples));
    MicrophoneSettings s;
    s.bEnabled = on;
    s.strDevice = device;
    w->setSettings(s);
    w->show();
    QCOMPARE(w->isListening(), on);
    w->check()->setDurationMs(800);
    QPushButton* test = button(w.get(), "Проверить");
    QVERIFY(test && test->isVisible() && test->isEnabled());
    test->click();
    QProgressBar* progress = w->findChild<QProgressBar*>();
    if (device.isEmpty()) {
        // Listening without holding the window: the button waits, a countdown and Cancel show.
        QVERIFY(w->isChecking());
        QVERIFY(!test->isEnabled());
        QVERIFY(progress->isVisible());
        QVERIFY2(progress->text().startsWith("Слушаю…"), qPrintable(progress->text()));
        QVERIFY(button(w.get(), "Отмена")->isVisible());
        QVERIFY(!w->isListening()); // the meter's own listening waits for the check
    }
    QTRY_VERIFY_WITH_TIMEOUT(!w->isChecking(), 10000);
    QVERIFY2(w->checkText().startsWith(said), qPrintable(w->checkText()));
    QVERIFY(test->isEnabled());
    QVERIFY(!progress->isVisible());
    QVERIFY(!button(w.get(), "Отмена")->isVisible());
    // The check's input is closed; the meter listens again as it did before.
    QTRY_COMPARE(w->isListening(), on && device.isEmpty());
    if (!on)
        QVERIFY(counted.last && !counted.last->isRunning());
}

void TestMicrophoneOptions::checkClosesTheInputWhenCancelledOrClosed_data()
{
    QTest::addColumn<bool>("byCancel");
    QTest::newRow("Cancel") << true;
    QTest::newRow("the dialog closed") << false;
}

void TestMicrophoneOptions::checkClosesTheInputWhenCancelledOrClosed()
{
    QFETCH(bool, byCancel);
    if (!pitch::NoteDetector(44100).isValid())
        QSKIP("aubio cannot be loaded");
    Counted counted;
    std::unique_ptr<MicrophoneOptions> w(makeOptions(kTwoInputs, &counted));
    w->show();
    button(w.get(), "Проверить")->click();
    QTRY_VERIFY(counted.last && counted.last->isRunning());
    if (byCancel)
        button(w.get(), "Отмена")->click();
    else
        w->hide();
    QVERIFY(!w->isChecking());
    QVERIFY(!counted.last->isRunning());
    QVERIFY(button(w.get(), "Проверить")->isEnabled());
    if (byCancel)
        QCOMPARE(w->checkText(), QString("Проверка отменена."));
}

QTEST_MAIN(TestMicrophoneOptions)
#include "tst_microphoneoptions.moc"
