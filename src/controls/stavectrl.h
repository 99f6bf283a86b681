// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/instrumentctrl.h"
#include "controls/phrasepicture.h"
#include "music/phrase.h"
#include "notation/linelayout.h"

#include <QString>
#include <array>

// What the stave needs of the window that owns it.
class CStaveOwner {
public:
    virtual ~CStaveOwner() = default;
    // Name of the note the stave last drew (the owner's strNoteName).
    virtual void SetNoteNameText(const QString& name) = 0;
    virtual QString SharpName(int pitchClass) const = 0;
    virtual QString FlatName(int pitchClass) const = 0;
    // The owner's piano tells the pitch class of a key index.
    virtual int PitchClass(int keyIndex) const = 0;
    virtual void ShowNoteName(bool force) = 0;
    virtual void CheckClefMenu(int commandId) = 0;
    virtual void UpdateRangeCount() = 0;
};

using StaveLayoutTable = std::array<int, 31>;

// The stave: one staff or the grand staff with the current clef and up to two notes per staff.
class CStaveCtrl : public CInstrumentCtrl {
    Q_OBJECT
public:
    enum Clef { Treble = 0, Bass = 1, Alto = 2, TrebleBass = 3 };
    static constexpr int ClefMenuBase = 32710;

    // The clef, one value for the whole program (stored as the setting nClef).
    static int nClef;

    // Random source for the sharp/flat spelling of black keys (0..32767); std::rand
    // reduced to that range by default.
    static int (*Random)();

    explicit CStaveCtrl(int controlId = StaveId, const char* className = "StaveCtrl", QWidget* parent = nullptr);
    ~CStaveCtrl() override;

    static const StaveLayoutTable& DefaultLayout();

    void SetOwner(CStaveOwner* owner) { m_owner = owner; }
    bool initialize(const int* layout);
    void SetNotes(int note0, int note1, int note2, int note3, int staff);
    // One note alone on its staff, written with the accidental its owner chose
    // (a black key's sharp or flat; ignored on a white key).
    enum Accidental { NoAccidental = 0, SharpSign = 1, FlatSign = 2 };
    void ShowNote(int note, int staff, Accidental accidental);
    void SetClef(int clef);
    void Draw(bool frame);
    // Key index held by slot 0..3 (negative: no note).
    int NoteSlot(int slot) const { return m_noteSlots[slot]; }
    // How the last drawing wrote the note of slot 0..3.
    Accidental SlotAccidental(int slot) const { return m_slotAccidentals[slot]; }

    // The phrase exercise: a line of music in place of the single note, laid
    // out for the current clef and the control's size. The cursor stands at
    // event 0; events before the cursor are played (greyed, or hidden).
    void ShowPhrase(const tonvero::music::Phrase& phrase);
    // Back to the single note: the line goes.
    void ClearPhrase();
    bool showsPhrase() const { return m_phraseShown; }
    // The event to play next; past the last event: every event played.
    void SetPhraseCursor(int event);
    int phraseCursor() const { return m_phraseCursor; }
    // Played events stay visible in grey, or vanish.
    void SetPlayedNotesVisible(bool visible);
    // Hint mode: the names of the notes below each event.
    void SetPhraseNames(bool shown);
    // The layout drawn (in staff spaces) and the size of a staff space in pixels.
    const tonvero::notation::LineLayout& phraseLayout() const { return m_fit.layout; }
    double phraseSpace() const { return m_fit.space; }
    // Size that shows a line of the given bars at a comfortable staff space.
    QSize phraseSizeHint(int bars) const;
    // Where the layout's origin (the upper staff's top line, left end) is
    // drawn, and the cursor's band, in the control's pixels.
    QPointF phraseOrigin() const { return m_fit.origin; }
    QRectF phraseCursorBand() const;

    // The clef and the notes written, as a screen reader says them; the note
    // "under focus" is the first note written.
    QString accessibleValue() const override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintFocus(QPainter& painter) override;
    void resizeEvent(QResizeEvent* event) override;
    void redrawMarks() override;
    bool clicks() const override { return true; }
    // The next clef, as a left click gives.
    void click() override;

private:
    void setNoteSlots(int note0, int note1, int note2, int note3, int staff);
    // The clef to draw: a value outside 0..3 stands for the grand staff.
    static int effectiveClef();
    // The picture's size: the table's in single-note mode, the control's with a line.
    QSize pictureSize() const;
    // Lays the line out again for the clef and size, when either changed.
    void fitPhrase();
    void drawPhrase(bool frame);
    QString phraseValue() const;

    CStaveOwner* m_owner = nullptr;
    const int* m_layout = nullptr;
    int m_width = 0;
    int m_height = 0;
    std::array<int, 4> m_noteSlots{-1, -1, -1, -1};
    std::array<Accidental, 4> m_slotAccidentals{};
    // Accidentals chosen by the owner; NoAccidental: drawn at random.
    std::array<Accidental, 4> m_chosenAccidentals{};

    bool m_phraseShown = false;
    tonvero::music::Phrase m_phrase;
    phrasepicture::Fit m_fit;
    phrasepicture::Sprites m_sprites;
    int m_fittedClef = -1;
    QSize m_fittedSize;
    bool m_fittedNames = false;
    int m_phraseCursor = 0;
    bool m_playedVisible = true;
    bool m_phraseNames = false;
};
