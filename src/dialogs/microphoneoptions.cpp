// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/microphoneoptions.h"

#include <QCoreApplication>

#include "pitch/microphoneinput.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace dialogs {

namespace {

// The main window's names, with their translations.
const char* const kNoteNames[12] = {
    QT_TRANSLATE_NOOP("NoteNames", "До"),     QT_TRANSLATE_NOOP("NoteNames", "До #"),
    QT_TRANSLATE_NOOP("NoteNames", "Ре"),     QT_TRANSLATE_NOOP("NoteNames", "Ре #"),
    QT_TRANSLATE_NOOP("NoteNames", "Ми"),     QT_TRANSLATE_NOOP("NoteNames", "Фа"),
    QT_TRANSLATE_NOOP("NoteNames", "Фа #"),   QT_TRANSLATE_NOOP("NoteNames", "Соль"),
    QT_TRANSLATE_NOOP("NoteNames", "Соль #"), QT_TRANSLATE_NOOP("NoteNames", "Ля"),
    QT_TRANSLATE_NOOP("NoteNames", "Ля #"),   QT_TRANSLATE_NOOP("NoteNames", "Си"),
};

} // namespace

LevelMeter::LevelMeter(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void LevelMeter::setLevel(double db)
{
    db = std::isfinite(db) ? std::clamp(db, kFloorDb, 0.0) : kFloorDb;
    if (std::abs(db - m_db) < 0.1)
        return;
    m_db = db;
    update();
}

QSize LevelMeter::sizeHint() const
{
    return {200, 14};
}

QSize LevelMeter::minimumSizeHint() const
{
    return {60, 10};
}

void LevelMeter::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    p.fillRect(r, palette().color(QPalette::Base));
    const double share = (m_db - kFloorDb) / -kFloorDb;
    const int width = int(std::lround(share * (r.width() - 2)));
    // Green up to -12 dB, yellow to -3 dB, red above: the colours a recording meter uses.
    const int yellowAt = int(std::lround((1.0 - 12.0 / -kFloorDb) * (r.width() - 2)));
    const int redAt = int(std::lround((1.0 - 3.0 / -kFloorDb) * (r.width() - 2)));
    const QRect inner = r.adjusted(1, 1, -1, -1);
    auto segment = [&](int from, int to, QColor c) {
        if (to > from)
            p.fillRect(QRect(inner.left() + from, inner.top(), to - from, inner.height()), c);
    };
    segment(0, std::min(width, yellowAt), QColor(0x3c, 0xb3, 0x4a));
    segment(yellowAt, std::min(width, redAt), QColor(0xe8, 0xc3, 0x1e));
    segment(redAt, width, QColor(0xd9, 0x3b, 0x2f));
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(r.adjusted(0, 0, -1, -1));
}

MicrophoneOptions::MicrophoneOptions(QWidget* parent)
    : MicrophoneOptions([] { return platform::audioInputDevices(); },
                        [] { return std::make_unique<platform::AudioCapture>(); }, parent)
{
}

MicrophoneOptions::MicrophoneOptions(DeviceLister listDevices, SourceMaker makeSource, QWidget* parent)
    : QGroupBox(tr("Ввод нот с микрофона"), parent),
      m_listDevices(std::move(listDevices)),
      m_makeSource(std::move(makeSource))
{
    build();
    load();
}

MicrophoneOptions::~MicrophoneOptions() = default;

void MicrophoneOptions::build()
{
    m_enabled = new QCheckBox(tr("Отвечать, играя ноту на своём инструменте"), this);

    m_device = new QComboBox(this);
    // A long device name must not widen the whole options window.
    m_device->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_device->setMinimumContentsLength(16);
    m_noDevice = new QLabel(tr("Микрофон не найден"), this);
    auto* deviceRow = new QHBoxLayout;
    deviceRow->setContentsMargins(0, 0, 0, 0);
    deviceRow->addWidget(m_device, 1);
    deviceRow->addWidget(m_noDevice, 1);

    m_meter = new LevelMeter(this);
    m_heard = new QLabel(this);
    m_heard->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("Соль # 8  +50 ц")));
    auto* meterRow = new QHBoxLayout;
    meterRow->setContentsMargins(0, 0, 0, 0);
    meterRow->addWidget(m_meter, 1);
    meterRow->addWidget(m_heard);

    // «Проверить»: a few seconds of listening, then what was heard.
    m_check = new pitch::MicrophoneCheck(m_makeSource, this);
    m_checkButton = new QPushButton(tr("Проверить"), this);
    m_checkButton->setToolTip(tr("Послушать микрофон несколько секунд и сказать, что слышно"));
    m_checkProgress = new QProgressBar(this);
    m_checkProgress->setRange(0, m_check->durationMs());
    m_checkProgress->setTextVisible(true);
    m_checkProgress->setAccessibleName(tr("Проверка микрофона"));
    m_checkCancel = new QPushButton(tr("Отмена"), this);
    m_checkProgress->hide();
    m_checkCancel->hide();
    auto* checkRow = new QHBoxLayout;
    checkRow->setContentsMargins(0, 0, 0, 0);
    checkRow->addWidget(m_checkButton);
    checkRow->addWidget(m_checkProgress, 1);
    checkRow->addWidget(m_checkCancel);
    checkRow->addStretch(0);
    m_checkResult = new QLabel(this);
    m_checkResult->setWordWrap(true);
    m_checkResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Wraps to the section's width instead of widening the options window.
    m_checkResult->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_checkResult->hide();

    m_reference = new QSpinBox(this);
    m_reference->setRange(pitch::MicrophoneSettings::kMinReferenceHz, pitch::MicrophoneSettings::kMaxReferenceHz);
    m_reference->setSuffix(tr(" Гц"));

    m_transposition = new QComboBox(this);
    m_transposition->addItem(tr("как записано"), int(pitch::Transposition::AsWritten));
    m_transposition->addItem(tr("гитара/бас (на октаву ниже)"), int(pitch::Transposition::OctaveDown));
    m_transposition->addItem(tr("любая октава"), int(pitch::Transposition::AnyOctave));

    m_more = new QToolButton(this);
    m_more->setText(tr("Дополнительно"));
    m_more->setCheckable(true);
    m_more->setArrowType(Qt::RightArrow);
    m_more->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_more->setAutoRaise(true);

    m_advanced = new QWidget(this);
    m_hold = new QSpinBox(m_advanced);
    m_hold->setRange(pitch::MicrophoneSettings::kMinHoldMs, pitch::MicrophoneSettings::kMaxHoldMs);
    m_hold->setSuffix(tr(" мс"));
    m_tolerance = new QSpinBox(m_advanced);
    m_tolerance->setRange(pitch::MicrophoneSettings::kMinToleranceCents,
                          pitch::MicrophoneSettings::kMaxToleranceCents);
    m_tolerance->setSuffix(tr(" центов"));
    auto* advancedForm = new QFormLayout(m_advanced);
    advancedForm->setContentsMargins(0, 0, 0, 0);
    advancedForm->addRow(tr("Нота должна звучать не меньше:"), m_hold);
    advancedForm->addRow(tr("Допустимое колебание высоты:"), m_tolerance);
    m_advanced->setVisible(false);

    auto* form = new QFormLayout;
    form->addRow(tr("Микрофон:"), deviceRow);
    form->addRow(tr("Уровень:"), meterRow);
    form->addRow(tr("Проверка:"), checkRow);
    form->addRow(m_checkResult);
    form->addRow(tr("Ля первой октавы:"), m_reference);
    form->addRow(tr("Запись нот:"), m_transposition);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_enabled);
    layout->addLayout(form);
    layout->addWidget(m_more, 0, Qt::AlignLeft);
    layout->addWidget(m_advanced);

    connect(m_checkButton, &QPushButton::clicked, this, &MicrophoneOptions::startCheck);
    connect(m_checkCancel, &QPushButton::clicked, m_check, &pitch::MicrophoneCheck::cancel);
    connect(m_check, &pitch::MicrophoneCheck::progress, this, &MicrophoneOptions::showCheckProgress);
    connect(m_check, &pitch::MicrophoneCheck::levelChanged, this, &MicrophoneOptions::onLevel);
    connect(m_check, &pitch::MicrophoneCheck::finished, this, &MicrophoneOptions::showCheckResult);
    connect(m_more, &QToolButton::toggled, this, [this](bool on) {
        m_more->setArrowType(on ? Qt::DownArrow : Qt::RightArrow);
        m_advanced->setVisible(on);
    });
    auto changed = [this] {
        updateListening();
        emit settingsChanged();
    };
    connect(m_enabled, &QCheckBox::toggled, this, changed);
    connect(m_device, &QComboBox::currentIndexChanged, this, changed);
    connect(m_reference, &QSpinBox::valueChanged, this, changed);
    connect(m_transposition, &QComboBox::currentIndexChanged, this, changed);
    connect(m_hold, &QSpinBox::valueChanged, this, changed);
    connect(m_tolerance, &QSpinBox::valueChanged, this, changed);
}

pitch::MicrophoneSettings MicrophoneOptions::settings() const
{
    pitch::MicrophoneSettings s;
    s.bEnabled = m_enabled->isChecked();
    s.strDevice = hasDevices() ? m_device->currentData().toString() : m_missingDevice;
    s.nReferenceA4 = m_reference->value();
    s.nTransposition = m_transposition->currentData().toInt();
    s.nHoldMs = m_hold->value();
    s.nToleranceCents = m_tolerance->value();
    return s;
}

void MicrophoneOptions::setSettings(const pitch::MicrophoneSettings& settings)
{
    const pitch::MicrophoneSettings s = settings.normalized();
    const QSignalBlocker blockEnabled(m_enabled), blockDevice(m_device), blockReference(m_reference),
        blockTransposition(m_transposition), blockHold(m_hold), blockTolerance(m_tolerance);
    m_enabled->setChecked(s.bEnabled);
    if (m_listed)
        fillDevices(s.strDevice);
    else
        m_missingDevice = s.strDevice;
    m_reference->setValue(s.nReferenceA4);
    m_transposition->setCurrentIndex(std::max(0, m_transposition->findData(s.nTransposition)));
    m_hold->setValue(s.nHoldMs);
    m_tolerance->setValue(s.nToleranceCents);
    updateListening();
}

void MicrophoneOptions::load()
{
    setSettings(pitch::MicrophoneSettings::load());
}

bool MicrophoneOptions::save() const
{
    return settings().save();
}

void MicrophoneOptions::refreshDevices()
{
    const QString wanted = settings().strDevice;
    m_listed = true;
    fillDevices(wanted);
}

void MicrophoneOptions::fillDevices(const QString& wanted)
{
    m_devices = m_listDevices ? m_listDevices() : QList<platform::AudioInputDevice>{};
    const QSignalBlocker block(m_device);
    m_device->clear();
    // The input the desktop chooses, which follows the user's choice there.
    m_device->addItem(tr("как в системе"), QString());
    for (const platform::AudioInputDevice& d : m_devices)
        m_device->addItem(d.name, d.id);
    // An input chosen before but not plugged in now stays chosen.
    if (!wanted.isEmpty() && m_device->findData(wanted) < 0 && !m_devices.isEmpty())
        m_device->addItem(tr("%1 (не подключён)").arg(wanted), wanted);
    m_device->setCurrentIndex(std::max(0, m_device->findData(wanted)));
    m_missingDevice = m_devices.isEmpty() ? wanted : QString();
    m_device->setVisible(!m_devices.isEmpty());
    m_noDevice->setVisible(m_devices.isEmpty());
    m_meter->setEnabled(!m_devices.isEmpty());
}

bool MicrophoneOptions::hasDevices() const
{
    return !m_devices.isEmpty();
}

bool MicrophoneOptions::isListening() const
{
    return m_input && m_input->isRunning();
}

QString MicrophoneOptions::noteName(int note)
{
    if (note < 0 || note > 127)
        return {};
    return tr("%1 %2").arg(QCoreApplication::translate("NoteNames", kNoteNames[note % 12])).arg(note / 12 - 1);
}

void MicrophoneOptions::showEvent(QShowEvent* event)
{
    QGroupBox::showEvent(event);
    // Asking the sound server is left until the group is first seen, so
    // building the options costs nothing at start-up.
    if (!m_listed)
        refreshDevices();
    updateListening();
}

void MicrophoneOptions::hideEvent(QHideEvent* event)
{
    QGroupBox::hideEvent(event);
    // A closed dialog listens to nothing.
    m_check->cancel();
    updateListening();
}

bool MicrophoneOptions::isChecking() const
{
    return m_check->isRunning();
}

QString MicrophoneOptions::checkText() const
{
    return m_checkResult->text();
}

void MicrophoneOptions::startCheck()
{
    if (m_check->isRunning())
        return;
    // One input at a time: the meter follows the check while it runs.
    if (m_input)
        m_input->stop();
    m_checkButton->setEnabled(false);
    m_checkResult->clear();
    m_checkResult->hide();
    m_checkProgress->setRange(0, m_check->durationMs());
    m_checkProgress->show();
    m_checkCancel->show();
    m_check->start(settings());
}

void MicrophoneOptions::showCheckProgress(int remainingMs)
{
    m_checkProgress->setValue(m_check->durationMs() - remainingMs);
    const int seconds = (remainingMs + 999) / 1000;
    m_checkProgress->setFormat(tr("Слушаю… %1 с").arg(seconds));
}

void MicrophoneOptions::showCheckResult(const pitch::MicrophoneCheck::Result& result)
{
    using Verdict = pitch::MicrophoneCheck::Result::Verdict;
    m_checkProgress->hide();
    m_checkCancel->hide();
    m_checkButton->setEnabled(true);
    onLevel(LevelMeter::kFloorDb, -1, 0.0);
    QString text;
    QString detail;
    switch (result.verdict) {
    case Verdict::Notes: {
        QStringList names;
        for (int note : result.notes)
            names << noteName(note);
        text = tr("Слышно ноты: %1. Микрофон работает.").arg(names.join(QStringLiteral(", ")));
        break;
    }
    case Verdict::SoundWithoutNote:
        text = tr("Звук слышен (громкость до %1 дБ), но ноты в нём не распознаны. Сыграйте одну ноту "
                  "громче и ровнее или поднесите инструмент ближе к микрофону.")
                   .arg(QLocale().toString(result.loudestDb, 'f', 0));
        break;
    case Verdict::Silence:
        text = tr("Тишина: микрофон ничего не услышал. Проверьте, что выбран нужный вход и он не выключен "
                  "в настройках звука, и сыграйте громче.");
        break;
    case Verdict::Failed:
        text = result.error.text();
        detail = result.error.detail;
        break;
    case Verdict::Cancelled: text = tr("Проверка отменена."); break;
    }
    m_checkResult->setText(text);
    m_checkResult->setToolTip(detail);
    m_checkResult->setVisible(!text.isEmpty());
    updateListening();
}

void MicrophoneOptions::updateListening()
{
    const pitch::MicrophoneSettings s = settings();
    const bool wanted = isVisible() && s.bEnabled && hasDevices() && m_makeSource && !m_check->isRunning();
    if (!wanted) {
        if (m_input)
            m_input->stop();
        onLevel(LevelMeter::kFloorDb, -1, 0.0);
        return;
    }
    if (isListening() && s == m_listeningWith)
        return;
    if (!m_input) {
        m_input = std::make_unique<pitch::MicrophoneInput>(m_makeSource());
        connect(m_input.get(), &pitch::MicrophoneInput::levelChanged, this, &MicrophoneOptions::onLevel);
        connect(m_input.get(), &pitch::MicrophoneInput::failed, this,
                [this](const platform::AudioError& error) { showFailure(error); });
    }
    m_input->setSettings(s);
    m_listeningWith = s;
    platform::AudioError error;
    if (!m_input->start(&error))
        showFailure(error);
}

void MicrophoneOptions::showFailure(const platform::AudioError& error)
{
    // The beside-the-meter label is too narrow for a remedy: it goes below, as a check's does.
    m_heard->clear();
    m_checkResult->setText(error.text());
    m_checkResult->setToolTip(error.detail);
    m_checkResult->show();
}

void MicrophoneOptions::onLevel(double db, int note, double cents)
{
    m_meter->setLevel(db);
    m_heard->setText(note < 0 ? QString()
                              : tr("%1  %2%3 ц").arg(noteName(note), cents >= 0 ? "+" : "−").arg(std::lround(std::abs(cents))));
}

} // namespace dialogs
