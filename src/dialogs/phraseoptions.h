// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <array>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QDialog;
class QPushButton;
class QGroupBox;
class QLabel;
class QRadioButton;
class QSpinBox;

namespace tonvero {
class Preferences;
}

// The kind of exercise and how its lines of music are written, a section of
// the options dialog. Edits go to the preferences at once, as the dialog's
// own items do; the dialog's OK stores them.
class PhraseOptions : public QWidget {
    Q_OBJECT
public:
    explicit PhraseOptions(tonvero::Preferences& prefs, QWidget* parent = nullptr);

    // Shows the preferences again (the kind may have changed from the menu).
    void refresh();

    QRadioButton* singleNoteButton() const { return m_single; }
    QRadioButton* phraseButton() const { return m_phrase; }
    QRadioButton* pieceButton() const { return m_piece; }
    // Pieces can be chosen once one is open; a stored choice of pieces is kept either way.
    void setPieceAvailable(bool available);
    // The lines' settings, in a window of their own.
    QPushButton* linesButton() const { return m_linesButton; }
    QDialog* linesDialog() const { return m_linesDialog; }
    QComboBox* levelBox() const { return m_level; }
    QSpinBox* barsBox() const { return m_bars; }
    QComboBox* timeBox() const { return m_time; }
    QCheckBox* keyBox(int fifths, bool minor) const { return m_keys[minor ? 1 : 0][fifths + 7]; }
    QCheckBox* keyPerLineBox() const { return m_keyPerLine; }
    QComboBox* chordsBox() const { return m_chords; }
    QCheckBox* restsBox() const { return m_rests; }
    QCheckBox* keepPlayedBox() const { return m_keepPlayed; }
    QComboBox* microphoneChordsBox() const { return m_micChords; }

private:
    void store();
    void enableParts();

    tonvero::Preferences& m_prefs;
    bool m_refreshing = false;
    QRadioButton* m_single = nullptr;
    QRadioButton* m_phrase = nullptr;
    QRadioButton* m_piece = nullptr;
    bool m_pieceAvailable = false;
    QPushButton* m_linesButton = nullptr;
    QDialog* m_linesDialog = nullptr;
    QGroupBox* m_lines = nullptr;
    QComboBox* m_level = nullptr;
    QSpinBox* m_bars = nullptr;
    QComboBox* m_time = nullptr;
    std::array<std::array<QCheckBox*, 15>, 2> m_keys{};
    QCheckBox* m_keyPerLine = nullptr;
    QComboBox* m_chords = nullptr;
    QCheckBox* m_rests = nullptr;
    QCheckBox* m_keepPlayed = nullptr;
    QComboBox* m_micChords = nullptr;
};
