// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/interfaceoptions.h"

#include "dialogs/dialogoptions.h"

#include <QCheckBox>
#include <QGroupBox>
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

    auto* groupLayout = new QVBoxLayout(m_group);
    groupLayout->addWidget(m_shapeMarks);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_group);

    connect(m_shapeMarks, &QCheckBox::toggled, this, &InterfaceOptions::onShapeMarksToggled);
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
