// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/practiceoptions.h"

#include "history/practicesettings.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

PracticeOptions::PracticeOptions(tonvero::history::PracticeSettings& settings, QWidget* parent)
    : QGroupBox(tr("Прогресс"), parent), m_settings(settings)
{
    setObjectName(QStringLiteral("practiceOptions"));
    m_remember = new QCheckBox(tr("Помнить прошлые занятия"), this);
    m_remember->setToolTip(tr("Ноты, которые вы путали или читали медленно в прошлых упражнениях, "
                              "выпадают чаще, пока вы не начнёте отвечать их верно и быстро."));
    m_remember->setAccessibleDescription(m_remember->toolTip());
    m_remember->setChecked(m_settings.bRememberPractice != 0);
    m_statistics = new QPushButton(tr("&Статистика..."), this);
    m_statistics->setAutoDefault(false);
    m_statistics->setAccessibleDescription(tr("Открывает окно статистики ответов"));

    auto* column = new QVBoxLayout(this);
    column->addWidget(m_remember);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(m_statistics);
    column->addLayout(row);

    // Takes effect at the next exercise's start, like the other options, at once.
    connect(m_remember, &QCheckBox::toggled, this, [this](bool on) { m_settings.bRememberPractice = on ? 1 : 0; });
    connect(m_statistics, &QPushButton::clicked, this, &PracticeOptions::statisticsRequested);
}

void PracticeOptions::save()
{
    m_settings.save();
}
