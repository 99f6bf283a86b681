// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <array>
#include <mutex>
#include <vector>

class QKeyEvent;
class QPainter;

// Colour mark of a key, shared by every control through KeyTable.
enum NoteMark { None = 1, Red = 2, Green = 3, Blue = 4 };

// What a mark tells the player. With shape marks on, each meaning has a shape
// of its own besides its colour: a dot, a ring, a cross.
enum class MarkMeaning { Nothing = -1, ToPlay = 0, PlayedRight = 1, PlayedWrong = 2 };

// One exercise note range of the piano: key indexes and the picture rows of its brackets.
struct NoteRange {
    int low;
    int high;
    int yTop;
    int yBottom;
};

// One key of the 88-key piano, indexed by key index (note number − 21).
struct KeyInfo {
    unsigned char isWhite;
    int whiteIndex;
    int x;
    int y;
    int mark;
    int imageSet;
};

// What the controls report to their owner.
class CInstrumentCtrlListener {
public:
    virtual ~CInstrumentCtrlListener() = default;
    virtual void OnNoteOn(int note, bool fromMidi) = 0;
    virtual void OnNoteOff(int note) = 0;
    virtual void OnRangeChanged(const NoteRange* ranges) = 0;
    virtual void OnCtrlMoved(int controlId, const QPoint* point) = 0;
    virtual void OnRedrawRequest() = 0;
    // A press as the control that raised it reports it; by default the plain OnNoteOn.
    virtual void OnNoteOnFromControl(int controlId, int note) { (void)controlId; OnNoteOn(note, false); }
};

// Base of the piano, the fretboards and the stave: control id, listeners,
// the class-wide key table and the drag-to-move scheme. Each control composes
// its picture off-screen; paintEvent only copies it.
class CInstrumentCtrl : public QWidget {
    Q_OBJECT
public:
    enum ControlId { PianoId = 0, GuitarId = 1, BassId = 2, StaveId = 3 };
    static constexpr int KeyCount = 88;
    static constexpr int WhiteKeyCount = 52;

    CInstrumentCtrl(int controlId, const char* className, QWidget* parent = nullptr);
    ~CInstrumentCtrl() override;

    static bool RegisterWindowClass(int controlId);
    static const char* ClassName(int controlId);

    int ControlId() const { return m_controlId; }

    void Show(bool show) { setVisible(show); }
    QPoint GetPosition() const { return pos(); }
    int GetWidth() const { return width(); }
    int GetHeight() const { return height(); }
    // Height comes before width, as everywhere in the controls.
    void MoveTo(int controlId, int x, int y, int height, int width);
    void Resize(int controlId, int height, int width);

    void AddListener(CInstrumentCtrlListener* listener);
    void RemoveListener(CInstrumentCtrlListener* listener);
    int ListenerCount() const;

    void NotifyNoteOn(int note);
    void NotifyNoteOff(int note);
    void NotifyRangeChanged(const NoteRange* ranges);
    void NotifyCtrlMoved(int controlId, const QPoint& point);
    void NotifyRedrawRequest();

    static bool GetKeyIndex(int note, int& keyIndex);
    static int KeyIndexFromNote(int note) { return note - 21; }
    static int NoteFromKeyIndex(int keyIndex) { return keyIndex + 21; }

    static void SetPlayMode(bool play) { PlayMode = play; }

    // Marks that differ by shape as well as colour, for players who cannot
    // tell the colours apart. Every control redraws at once.
    static void SetShapeMarks(bool on);
    static bool ShapeMarks;
    // Pictures of the shape marks, by MarkMeaning: piano white and black keys, fretboards.
    static constexpr int ShapeMarkWhitePictures = 160;
    static constexpr int ShapeMarkBlackPictures = 163;
    static constexpr int ShapeMarkFretPictures = 166;

    // Stores a mark in KeyTable, as every control's SetNoteState does.
    static void StoreMark(int keyIndex, int mark);
    // Red and Green both show the note to play (after a miss, or as a hint).
    // Blue is the note played: wrong when a note to play was marked Red while
    // it was held, since the owner marks the missed note Red on every wrong answer.
    static MarkMeaning MeaningOf(int keyIndex);

    static std::array<KeyInfo, KeyCount> KeyTable;
    static std::array<int, WhiteKeyCount> WhiteKeyTable;
    static bool ControlsReady;
    static bool PlayMode;

    // The composed picture (for tests and screenshots).
    const QImage& picture() const { return m_surface; }

    // The keyboard: a note under focus moves with the arrow keys, and Space
    // or Enter plays it wherever a mouse press would play.
    // The note under focus (note number), −1 when there is none.
    int focusNote() const { return m_focusNote; }
    // Moves the focus to note; false when the control has no place for it.
    virtual bool setFocusNote(int note);
    // Lowest and highest note the focus can reach.
    virtual int focusLow() const { return 21; }
    virtual int focusHigh() const { return 108; }
    // A key this control acts on while it has the focus, so that the
    // computer-keyboard note input lets it through.
    virtual bool handlesKey(const QKeyEvent& event) const;
    // What a screen reader says the control shows now: the note under focus
    // and its mark, or the notes on the stave.
    virtual QString accessibleValue() const { return {}; }

protected:
    // Makes the off-screen surface the size of the picture at the screen's
    // pixel ratio; on failure shows errorText under "Ошибка" and returns false.
    bool prepareSurface(const QSize& size, const QString& errorText);
    QImage& surface() { return m_surface; }
    qreal pixelRatio() const;

    // Copies the surface to the window.
    void presentSurface();
    void paintEvent(QPaintEvent* event) override;

    // The one-pixel black frame of a control being dragged.
    static void drawFrame(QPainter& painter, const QSize& clientSize);

    // Drag-to-move: press remembers the press point and the window's corner;
    // each step moves the window by the cursor's offset from the press point.
    void beginDrag(const QPoint& press);
    void dragStep(const QPoint& point, int height, int width);
    void endDrag();
    bool dragging() const { return m_captured; }

    // Exactly this button held, no other button and neither Shift nor Ctrl.
    static bool exactlyButton(const class QMouseEvent* event, Qt::MouseButton button);

    // The marks are to be drawn the other way (SetShapeMarks).
    virtual void redrawMarks() {}

    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // The arrows, Home, End, Page Up and Page Down move the note under focus.
    virtual bool movesFocus() const { return false; }
    virtual void moveFocus(const QKeyEvent&) {}
    // A press now would play, as a mouse press would.
    virtual bool canPlay() const { return false; }
    // Space or Enter went down or up on the note under focus.
    virtual void playPressed(int note) { NotifyNoteOn(note); }
    virtual void playReleased(int note) { NotifyNoteOff(note); }
    // A control whose click is no note (the stave): Space or Enter clicks it.
    virtual bool clicks() const { return false; }
    virtual void click() {}
    // The focus indicator, drawn over the composed picture while the control has the focus.
    virtual void paintFocus(QPainter&) {}
    // A dotted outline that shows on white keys, black keys and wood alike.
    static void drawFocusOutline(QPainter& painter, const QRect& rect);
    // Stores the note under focus, repaints the indicator, tells screen readers.
    void storeFocusNote(int note);
    // Tells screen readers when accessibleValue() has changed since they last heard it.
    void valueMayHaveChanged();
    // The note Space or Enter holds down, −1 when none.
    int keyHeldNote() const { return m_heldNote; }

private:
    int m_controlId;
    mutable std::recursive_mutex m_listenerLock;
    std::vector<CInstrumentCtrlListener*> m_listeners;
    QImage m_surface;
    bool m_captured = false;
    QPoint m_dragPress;
    QPoint m_dragStart;
    int m_focusNote = -1;
    int m_heldKey = 0;
    int m_heldNote = -1;
    QString m_lastValue;

    static std::array<const char*, 4> s_classNames;
    // Controls alive now, to redraw when the kind of marks changes.
    static std::vector<CInstrumentCtrl*> s_controls;
    // Keys marked Blue while a missed note was marked Red.
    static std::array<bool, KeyCount> s_playedWrong;
};
