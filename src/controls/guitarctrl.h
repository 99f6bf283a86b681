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

    // The layout stays the owner's: it fills the lowest and highest note later.
    bool initialize(int* layout);

    void SetNoteState(int note, int mark);
    int HitTest(const QPoint& point) const;
    void Redraw(bool frame);
    int CurrentNote() const { return m_currentNote; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void redrawMarks() override;

private:
    // What the left-button press started, so that its release finishes the same thing.
    enum class Press { Nothing, Play, Drag };

    int* m_layout = nullptr;
    QSize m_pictureSize;
    int m_currentNote = -1;
    int m_pressedNote = -1;
    Press m_press = Press::Nothing;
};
