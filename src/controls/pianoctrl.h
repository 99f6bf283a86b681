// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/instrumentctrl.h"

#include <array>

class QPainter;

// The picture geometry of the keyboard: resource ids and pixel positions.
using PianoLayoutTable = std::array<int, 38>;

// The 88-key keyboard. Keyboard mode: presses play notes and keys show marks.
// Range mode: the exercise note ranges are edited with brackets over the keys.
class CPianoCtrl : public CInstrumentCtrl {
    Q_OBJECT
public:
    explicit CPianoCtrl(int controlId = PianoId, const char* className = "PianoCtrl", QWidget* parent = nullptr);
    ~CPianoCtrl() override;

    // The layout the main window fills its table with.
    static const PianoLayoutTable& DefaultLayout();
    // The keyboard's picture in a layout.
    static int KeyboardPictureOf(const int* layout);

    // Builds KeyTable, sets ControlsReady, starts in range mode with one range.
    bool initialize(const int* layout);

    void SetKeyboardMode(bool on);
    bool IsKeyboardMode() const { return m_keyboardMode; }
    void SetNoteState(int note, int mark);
    int GetPitchClass(int keyIndex) const;
    // Note number at a point of the picture, −1 outside the keys, −2 on the strip above them.
    int HitTest(const QPoint& point) const;
    void RedrawKeys(bool frame);

    // Note ranges (key indexes).
    void SetRangeCount(int n);
    int GetRangeCount() const;
    void SetRange(int i, int low, int high);
    void SetBounds(int low, int high);
    int GetBoundsLow() const;
    int GetBoundsHigh() const;
    int GetRangeLow(int i) const;
    int GetRangeHigh(int i) const;
    int GetRangeSize(int i) const { return GetRangeHigh(i) - GetRangeLow(i) + 1; }
    const NoteRange* GetRanges() const;
    void RedrawRanges(bool frame);

    // Points just above the low and high bracket of the last range drawn, in parent coordinates.
    QPoint LowEndAnchor() const { return m_lowAnchor; }
    QPoint HighEndAnchor() const { return m_highAnchor; }

    // Keyboard: in keyboard mode every key takes the focus; in range mode only
    // white keys, as only they can be hit there.
    bool setFocusNote(int note) override;
    int focusLow() const override { return NoteFromKeyIndex(0); }
    int focusHigh() const override { return NoteFromKeyIndex(KeyCount - 1); }
    QString accessibleValue() const override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void redrawMarks() override;

    bool movesFocus() const override { return ControlsReady; }
    void moveFocus(const QKeyEvent& event) override;
    bool canPlay() const override { return ControlsReady && m_keyboardMode; }
    void playPressed(int note) override;
    void playReleased(int note) override;
    void paintFocus(QPainter& painter) override;

private:
    void BuildKeyTable();
    void loadPictures();
    bool beginPicture(QPainter& painter);
    void endPicture(QPainter& painter, bool frame);
    void repaintPicture(bool frame);
    void captureOnce();
    void releaseCaptured();
    void startWindowDrag(const QPoint& press);
    // Moves the end of a range that lies on the key under focus by one white key.
    void moveRangeEnd(int direction);
    // The key under focus as the mode allows: a black key becomes the white one below in range mode.
    void fitFocusToMode();

    struct Impl;
    Impl* d;
    QPoint m_lowAnchor;
    QPoint m_highAnchor;
    bool m_keyboardMode = false;
};
