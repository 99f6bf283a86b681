// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/interfacesettings.h"

#include <QWidget>

class DialogOptions;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;

// The options of the interface's look, a section of the options dialog. A
// change shows at once and is stored at once, as the dialog's own items are
// applied at once; OK in the dialog stores it again.
class InterfaceOptions : public QWidget {
    Q_OBJECT
public:
    // Reads the stored settings and shows them; the instruments are drawn as the box says.
    explicit InterfaceOptions(QWidget* parent = nullptr);

    // A new section in the options dialog, saved when the dialog's OK saves.
    static InterfaceOptions* addTo(DialogOptions* dialog);

    QGroupBox* group() const { return m_group; }
    QCheckBox* shapeMarksBox() const { return m_shapeMarks; }
    // «Язык»: the system's, Русский, English; takes effect at the next start.
    QComboBox* languageBox() const { return m_language; }
    const tonvero::InterfaceSettings& settings() const { return m_settings; }

public slots:
    // True when the settings reached the settings file.
    bool save();

signals:
    void shapeMarksChanged(bool on);

private:
    void onShapeMarksToggled(bool on);
    void onLanguageChosen(int index);

    tonvero::InterfaceSettings m_settings;
    QGroupBox* m_group = nullptr;
    QCheckBox* m_shapeMarks = nullptr;
    QComboBox* m_language = nullptr;
    QLabel* m_restartNote = nullptr;
    int m_startedWith = 0;
};
