// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/pieceoptions.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

namespace dialogs {

namespace piece = tonvero::piece;
using piece::PieceSelection;

PieceOptions::PieceOptions(const piece::Piece& piece, const QString& title, const PieceSelection& selection,
                           QWidget* parent)
    : QDialog(parent), m_piece(piece)
{
    setObjectName(QStringLiteral("pieceOptions"));
    setWindowTitle(tr("Пьеса"));

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("pieceTitle"));
    m_title->setTextFormat(Qt::PlainText);
    m_title->setText(title);
    m_title->setWordWrap(true);
    QFont bold = m_title->font();
    bold.setBold(true);
    m_title->setFont(bold);

    auto* partLabel = new QLabel(tr("&Партия:"), this);
    m_parts = new QListWidget(this);
    m_parts->setObjectName(QStringLiteral("pieceParts"));
    partLabel->setBuddy(m_parts);
    for (int i = 0; i < int(piece.parts.size()); ++i)
        m_parts->addItem(partName(piece.parts[std::size_t(i)], i));
    // A few rows are enough to choose from; a score of many parts scrolls.
    const int rows = std::clamp(int(piece.parts.size()), 2, 5);
    m_parts->setMaximumHeight(m_parts->sizeHintForRow(0) * rows + 2 * m_parts->frameWidth() + 4);

    auto* handGroup = new QGroupBox(tr("Рука"), this);
    m_hands = new QButtonGroup(this);
    auto* handLayout = new QHBoxLayout(handGroup);
    const std::pair<int, QString> hands[] = {
        {PieceSelection::Both, tr("&Обе")},
        {PieceSelection::Right, tr("&Правая (верхний стан)")},
        {PieceSelection::Left, tr("&Левая (нижний стан)")},
    };
    for (const auto& [id, text] : hands) {
        auto* b = new QRadioButton(text, handGroup);
        m_hands->addButton(b, id);
        handLayout->addWidget(b);
    }
    handLayout->addStretch();

    const int bars = std::max(1, int(piece.bars.size()));
    m_first = new QSpinBox(this);
    m_first->setObjectName(QStringLiteral("pieceFirstBar"));
    m_first->setRange(1, bars);
    m_last = new QSpinBox(this);
    m_last->setObjectName(QStringLiteral("pieceLastBar"));
    m_last->setRange(1, bars);
    auto* barsRow = new QHBoxLayout;
    auto* fromLabel = new QLabel(tr("&с"), this);
    fromLabel->setBuddy(m_first);
    auto* toLabel = new QLabel(tr("п&о"), this);
    toLabel->setBuddy(m_last);
    barsRow->addWidget(fromLabel);
    barsRow->addWidget(m_first);
    barsRow->addWidget(toLabel);
    barsRow->addWidget(m_last);
    barsRow->addWidget(new QLabel(tr("(всего %1)").arg(int(piece.bars.size())), this));
    barsRow->addStretch();
    // The range never turns round: the other end follows.
    connect(m_first, &QSpinBox::valueChanged, this, [this](int v) {
        if (m_last->value() < v)
            m_last->setValue(v);
    });
    connect(m_last, &QSpinBox::valueChanged, this, [this](int v) {
        if (m_first->value() > v)
            m_first->setValue(v);
    });

    m_repeat = new QCheckBox(tr("Повтор&ять"), this);
    m_repeat->setObjectName(QStringLiteral("pieceRepeat"));
    m_repeat->setToolTip(tr("После последнего такта начинать снова с первого"));

    auto* form = new QFormLayout;
    form->addRow(partLabel, m_parts);
    form->addRow(tr("Такты:"), barsRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_title);
    layout->addLayout(form);
    layout->addWidget(handGroup);
    layout->addWidget(m_repeat);
    layout->addStretch();
    layout->addWidget(buttons);

    connect(m_parts, &QListWidget::currentRowChanged, this, &PieceOptions::partChosen);
    // A part the piece does not have was chosen in another piece: start from the first.
    const int part = selection.part >= 0 && selection.part < int(piece.parts.size()) ? selection.part : 0;
    m_parts->setCurrentRow(part);
    if (QAbstractButton* b = m_hands->button(selection.hand))
        b->setChecked(true);
    else
        m_hands->button(PieceSelection::Both)->setChecked(true);
    m_first->setValue(std::clamp(selection.firstBar + 1, 1, bars));
    m_last->setValue(selection.lastBar < 0 ? bars : std::clamp(selection.lastBar + 1, m_first->value(), bars));
    m_repeat->setChecked(selection.repeat);
    partChosen();
}

QString PieceOptions::partName(const piece::Part& part, int index)
{
    const QString name = part.name.simplified();
    return name.isEmpty() ? tr("Часть %1").arg(index + 1) : name;
}

QRadioButton* PieceOptions::handButton(int hand) const
{
    return qobject_cast<QRadioButton*>(m_hands->button(hand));
}

void PieceOptions::partChosen()
{
    const int row = m_parts->currentRow();
    const bool twoStaves = row >= 0 && row < int(m_piece.parts.size()) && m_piece.parts[std::size_t(row)].staves >= 2;
    for (QAbstractButton* b : m_hands->buttons())
        b->setEnabled(twoStaves);
}

PieceSelection PieceOptions::selection() const
{
    PieceSelection s;
    s.part = std::max(0, m_parts->currentRow());
    s.hand = m_hands->checkedId() < 0 ? PieceSelection::Both : m_hands->checkedId();
    s.firstBar = m_first->value() - 1;
    // The whole piece stays "to the end", so that it means the same if the file grows.
    s.lastBar = m_last->value() == m_last->maximum() ? -1 : m_last->value() - 1;
    s.repeat = m_repeat->isChecked();
    return s;
}

} // namespace dialogs
