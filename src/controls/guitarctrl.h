// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/instrumentctrl.h"

#include <array>

// Strings, frets and the picture of one fretboard.
using FretboardLayoutTable = std::array<int, 45>;

// A guitar or bass fretboard: shows the current note on every string and fret
// where it can be played; in play mode a press plays the note under it.
class CGuitarCtrl : public CInstrumentCtrl {
    Q_OBJECT
public:
    explicit CGuitarCtrl(int controlId, const char* className = "GuitarCtrl", QWidget* parent = nullptr);
    ~CGuitarCtrl() override;

    static const FretboardLayoutTable& GuitarLayout();
    static const FretboardLayoutTable& BassLayout();
    // The fretboard's picture in a layout.
    static int BoardPicture(const int* layout);

    // The layout stays the owner's: it fills the lowest and highest note later.
    bool initialize(int* layout);

    void SetNoteState(int note, int mark);
    int HitTest(const QPoint& point) const;
    void Redraw(bool frame);
    int CurrentNote() const { return m_currentNote; }

    // Keyboard: the focus stands on a string (0 = top of the picture) and a fret (0 = open).
    int focusString() const { return m_focusString; }
    int focusFret() const { return m_focusFret; }
    // Keeps the string when the note is on it, else takes the first string that has it.
    bool setFocusNote(int note) override;
    int focusLow() const override;
    int focusHigh() const override;
    QString accessibleValue() const override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void redrawMarks() override;

    bool movesFocus() const override { return m_layout != nullptr; }
    void moveFocus(const QKeyEvent& event) override;
    bool canPlay() const override { return ControlsReady && PlayMode && m_layout; }
    void playPressed(int note) override;
    void playReleased(int note) override;
    void paintFocus(QPainter& painter) override;

private:
    // String and fret under a point of the picture; false outside the hit area.
    bool hitPosition(const QPoint& point, int& string, int& fret) const;
    void setFocusPosition(int string, int fret);

    // What the left-button press started, so that its release finishes the same thing.
    enum class Press { Nothing, Play, Drag };

    int* m_layout = nullptr;
    QSize m_pictureSize;
    int m_currentNote = -1;
    int m_pressedNote = -1;
    Press m_press = Press::Nothing;
    int m_focusString = 0;
    int m_focusFret = 0;
};
