// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/interfaceoptions.h"

#include "dialogs/dialogoptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

InterfaceOptions::InterfaceOptions(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("interfaceOptions"));
    m_settings.load();
    m_settings.apply();

    m_group = new QGroupBox(tr("Вид"), this);
    m_shapeMarks = new QCheckBox(tr("Метки, различимые без цвета (для дальтоников)"), m_group);
    m_shapeMarks->setObjectName(QStringLiteral("shapeMarks"));
    m_shapeMarks->setToolTip(tr("Нота, которую нужно сыграть, — точка; сыгранная верно — кольцо; сыгранная неверно — крестик"));
    m_shapeMarks->setChecked(m_settings.bShapeMarks != 0);

    m_startedWith = m_settings.nLanguage;
    m_language = new QComboBox(m_group);
    m_language->setObjectName(QStringLiteral("language"));
    // Each language is named in itself, so that anyone finds theirs.
    m_language->addItem(tr("Как в системе"));
    m_language->addItem(QStringLiteral("Русский"));
    m_language->addItem(QStringLiteral("English"));
    m_language->setCurrentIndex(m_settings.nLanguage);
    m_language->setAccessibleName(tr("Язык"));
    m_language->setAccessibleDescription(tr("Язык меню, окон и названий нот; меняется при следующем запуске"));
    auto* languageLabel = new QLabel(tr("&Язык:"), m_group);
    languageLabel->setBuddy(m_language);
    m_restartNote = new QLabel(tr("Язык сменится при следующем запуске программы."), m_group);
    m_restartNote->setWordWrap(true);
    m_restartNote->setVisible(false);

    auto* groupLayout = new QVBoxLayout(m_group);
    groupLayout->addWidget(m_shapeMarks);
    auto* languageRow = new QFormLayout;
    languageRow->addRow(languageLabel, m_language);
    groupLayout->addLayout(languageRow);
    groupLayout->addWidget(m_restartNote);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_group);

    connect(m_shapeMarks, &QCheckBox::toggled, this, &InterfaceOptions::onShapeMarksToggled);
    connect(m_language, &QComboBox::currentIndexChanged, this, &InterfaceOptions::onLanguageChosen);
}

void InterfaceOptions::onLanguageChosen(int index)
{
    if (index < 0)
        return;
    m_settings.nLanguage = index;
    save();
    m_restartNote->setVisible(index != m_startedWith);
}

InterfaceOptions* InterfaceOptions::addTo(DialogOptions* dialog)
{
    auto* section = new InterfaceOptions(dialog);
    dialog->addSection(section);
    connect(dialog, &DialogOptions::settingsSaved, section, &InterfaceOptions::save);
    return section;
}

bool InterfaceOptions::save()
{
    return m_settings.save();
}

void InterfaceOptions::onShapeMarksToggled(bool on)
{
    m_settings.bShapeMarks = on ? 1 : 0;
    m_settings.apply();
    save();
    emit shapeMarksChanged(on);
}
