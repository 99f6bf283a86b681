// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAccessibleWidget>
#include <QString>
#include <functional>

class CInstrumentCtrl;

namespace accessibility {

// How a black key is written: as a sharp or as a flat.
enum class Spelling { Sharp, Flat };

// A note as a screen reader says it, with its octave: «Ми 4», «До диез 4», «Ре бемоль 4».
QString spokenNote(int note, Spelling spelling = Spelling::Sharp);

// Screen readers see every instrument control through InstrumentAccessible.
void installFactory();

// Every accessibility event of the controls goes through here. Qt hands
// them on only while a screen reader listens; tests watch them here.
using EventWatcher = std::function<void(QAccessibleEvent&)>;
void setEventWatcher(EventWatcher watcher);
// Someone hears the events: worth composing the texts.
bool listening();
void notify(QAccessibleEvent& event);

} // namespace accessibility

// An instrument control as a screen reader sees it: the piano and the
// fretboards as sliders over notes, the stave as a picture; the value of each
// is the note under focus (the stave: the clef and the notes written), and
// the name says it after the control's own name.
class InstrumentAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit InstrumentAccessible(CInstrumentCtrl* ctrl);

    QString text(QAccessible::Text t) const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant& value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

private:
    CInstrumentCtrl* ctrl() const;
};
