// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "piece/piece.h"
#include "piece/piecelines.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QListWidget;
class QRadioButton;
class QSpinBox;

namespace dialogs {

// What of an open piece is practised: the part, the hand, the bars and
// whether they repeat. Shows the selection it is given, limited to what the
// piece has; OK makes it the dialog's selection().
class PieceOptions : public QDialog {
    Q_OBJECT
public:
    PieceOptions(const tonvero::piece::Piece& piece, const QString& title, const tonvero::piece::PieceSelection& selection,
                 QWidget* parent = nullptr);

    tonvero::piece::PieceSelection selection() const;

    // The name shown for a part: its own, or its number when it has none.
    static QString partName(const tonvero::piece::Part& part, int index);

    QLabel* titleLabel() const { return m_title; }
    QListWidget* partList() const { return m_parts; }
    QRadioButton* handButton(int hand) const;
    QSpinBox* firstBarBox() const { return m_first; }
    QSpinBox* lastBarBox() const { return m_last; }
    QCheckBox* repeatBox() const { return m_repeat; }

private:
    void partChosen();

    const tonvero::piece::Piece& m_piece;
    QLabel* m_title = nullptr;
    QListWidget* m_parts = nullptr;
    QButtonGroup* m_hands = nullptr;
    QSpinBox* m_first = nullptr;
    QSpinBox* m_last = nullptr;
    QCheckBox* m_repeat = nullptr;
};

} // namespace dialogs
