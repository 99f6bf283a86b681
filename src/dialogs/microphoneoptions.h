// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The options group «Ввод нот с микрофона»: on/off, the input, a live level
// meter with the note heard, the tuning of A4, the transposition and, under
// «Дополнительно», how long and how steadily a note must sound; «Проверить»
// listens for a few seconds and says what it heard. It keeps its own settings
// (pitch::MicrophoneSettings) and listens only while it is shown with the
// microphone on, or while a check runs.

#include "pitch/microphonecheck.h"
#include "pitch/microphonesettings.h"
#include "platform/audio/audiocapture.h"

#include <QGroupBox>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace pitch {
class MicrophoneInput;
}

namespace dialogs {

// A horizontal bar for a level in dBFS: green, yellow near the top, red at the top.
class LevelMeter : public QWidget {
    Q_OBJECT
public:
    static constexpr double kFloorDb = -60.0;

    explicit LevelMeter(QWidget* parent = nullptr);
    void setLevel(double db);
    double level() const { return m_db; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    double m_db = kFloorDb;
};

class MicrophoneOptions : public QGroupBox {
    Q_OBJECT
public:
    using DeviceLister = std::function<QList<platform::AudioInputDevice>()>;
    using SourceMaker = std::function<std::unique_ptr<platform::AudioSource>()>;

    // The desktop's inputs and its microphone; settings from the store.
    explicit MicrophoneOptions(QWidget* parent = nullptr);
    // Other inputs (stand-ins in tests and for pictures).
    MicrophoneOptions(DeviceLister listDevices, SourceMaker makeSource, QWidget* parent = nullptr);
    ~MicrophoneOptions() override;

    // As the controls show them.
    pitch::MicrophoneSettings settings() const;
    void setSettings(const pitch::MicrophoneSettings& settings);
    // Reads the store into the controls, or writes the controls to it.
    void load();
    bool save() const;

    // Asks for the inputs (again, after a device was plugged in); done by
    // itself when the group is first shown.
    void refreshDevices();
    bool hasDevices() const;
    bool isListening() const;

    // The check behind «Проверить» (its length can be shortened, for tests).
    pitch::MicrophoneCheck* check() const { return m_check; }
    bool isChecking() const;
    // What the last check said, as shown.
    QString checkText() const;

    // The name of a note as the meter shows it ("Ля 4").
    static QString noteName(int note);

signals:
    void settingsChanged();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void build();
    void fillDevices(const QString& wanted);
    void updateListening();
    void onLevel(double db, int note, double cents);
    void startCheck();
    void showCheckProgress(int remainingMs);
    void showCheckResult(const pitch::MicrophoneCheck::Result& result);
    void showFailure(const platform::AudioError& error);

    DeviceLister m_listDevices;
    SourceMaker m_makeSource;
    QList<platform::AudioInputDevice> m_devices;
    QString m_missingDevice; // the stored input when it is not plugged in
    bool m_listed = false;   // the inputs have been asked for
    std::unique_ptr<pitch::MicrophoneInput> m_input;
    pitch::MicrophoneSettings m_listeningWith;

    QCheckBox* m_enabled = nullptr;
    QComboBox* m_device = nullptr;
    QLabel* m_noDevice = nullptr;
    LevelMeter* m_meter = nullptr;
    QLabel* m_heard = nullptr;
    QSpinBox* m_reference = nullptr;
    QComboBox* m_transposition = nullptr;
    QToolButton* m_more = nullptr;
    QWidget* m_advanced = nullptr;
    QSpinBox* m_hold = nullptr;
    QSpinBox* m_tolerance = nullptr;

    pitch::MicrophoneCheck* m_check = nullptr;
    QPushButton* m_checkButton = nullptr;
    QProgressBar* m_checkProgress = nullptr;
    QPushButton* m_checkCancel = nullptr;
    QLabel* m_checkResult = nullptr;
};

} // namespace dialogs
