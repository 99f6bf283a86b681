// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/phrasesettings.h"
#include "settings/piecesettings.h"
#include "settings/settingsstore.h"

#include <QObject>
#include <QString>
#include <functional>

namespace tonvero {

// The one owner of the stored settings. Its members are the values under
// Software\Tonvero\Settings, named as they are stored; whoever edits them
// calls notifyChanged() so that the models and views follow.
class Preferences : public QObject, public TonveroSettings {
    Q_OBJECT
public:
    explicit Preferences(QObject* parent = nullptr);
    ~Preferences() override;

    // The installation folder ("setup_dir"), read with the settings.
    QString strInstallDir;
    // The exercise mode, chosen for this run only: hint, exam, or neither (training).
    int bHintMode = 0;
    int bExamMode = 0;
    // The kind of exercise and how its lines are written (a key of its own).
    PhraseSettings phrase;
    bool phraseExercise() const { return phrase.nExerciseKind == PhraseSettings::Phrase; }
    bool pieceExercise() const { return phrase.nExerciseKind == PhraseSettings::Piece; }
    // The pieces opened lately and the selection of the current one (a key of its own).
    PieceSettings piece;

    TonveroSettings& values() { return *this; }
    const TonveroSettings& values() const { return *this; }

    // Reads the stored values over the current ones (see loadSettings). At
    // start-up, keys a first start lacks are kept until the first save.
    bool load(NewKeys newKeys = NewKeys::Defer);
    // Writes every value; true when they reached the file. Another instance's
    // changes saved meanwhile are kept where this one left a value as it was loaded.
    bool save();

    // Announces an edit made through the members.
    void notifyChanged() { emit changed(); }

    // Range s (0 upper or single staff, 1 lower) as key indexes.
    int rangeLow(int s) const { return s == 0 ? nN12_min0 : nN12_min1; }
    int rangeHigh(int s) const { return s == 0 ? nN12_max0 : nN12_max1; }
    void setRange(int s, int low, int high);

private:
    // The values as last loaded or saved: what this instance changed since differs from them.
    TonveroSettings m_stored;
    PhraseSettings m_storedPhrase;
    PieceSettings m_storedPiece;

signals:
    void changed();
    // Once per settings file: changes cannot be saved, and why. From the
    // thread that saved; also written to stderr, for a save at exit.
    void notice(const QString& text);
};

} // namespace tonvero
