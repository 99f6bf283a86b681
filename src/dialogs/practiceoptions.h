// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGroupBox>

class QCheckBox;
class QPushButton;

namespace tonvero::history {
struct PracticeSettings;
}

// The options' group on remembered practice: whether the draw is seeded from
// the answer history, and the way to the statistics window.
class PracticeOptions : public QGroupBox {
    Q_OBJECT
public:
    // The settings belong to the caller and must outlive the group.
    explicit PracticeOptions(tonvero::history::PracticeSettings& settings, QWidget* parent = nullptr);

    QCheckBox* rememberBox() const { return m_remember; }
    QPushButton* statisticsButton() const { return m_statistics; }

    // OK in the options: the settings reach the file.
    void save();

signals:
    void statisticsRequested();

private:
    tonvero::history::PracticeSettings& m_settings;
    QCheckBox* m_remember;
    QPushButton* m_statistics;
};
