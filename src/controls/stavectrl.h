// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "controls/instrumentctrl.h"

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

    // The clef and the notes written, as a screen reader says them; the note
    // "under focus" is the first note written.
    QString accessibleValue() const override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintFocus(QPainter& painter) override;
    bool clicks() const override { return true; }
    // The next clef, as a left click gives.
    void click() override;

private:
    void setNoteSlots(int note0, int note1, int note2, int note3, int staff);
    // The clef to draw: a value outside 0..3 stands for the grand staff.
    static int effectiveClef();

    CStaveOwner* m_owner = nullptr;
    const int* m_layout = nullptr;
    int m_width = 0;
    int m_height = 0;
    std::array<int, 4> m_noteSlots{-1, -1, -1, -1};
    std::array<Accidental, 4> m_slotAccidentals{};
    // Accidentals chosen by the owner; NoAccidental: drawn at random.
    std::array<Accidental, 4> m_chosenAccidentals{};
};
