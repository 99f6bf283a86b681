// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialogs/phraseoptions.h"

#include "music/key.h"
#include "music/phrasegenerator.h"
#include "settings/preferences.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

using tonvero::PhraseSettings;

PhraseOptions::PhraseOptions(tonvero::Preferences& prefs, QWidget* parent) : QWidget(parent), m_prefs(prefs)
{
    setObjectName(QStringLiteral("phraseOptions"));

    auto* kindGroup = new QGroupBox(tr("Упражнение"), this);
    m_single = new QRadioButton(tr("&Отдельные ноты"), kindGroup);
    m_single->setObjectName(QStringLiteral("singleNotes"));
    m_single->setToolTip(tr("Одна нота за другой на пустом стане"));
    m_phrase = new QRadioButton(tr("&Фраза"), kindGroup);
    m_phrase->setObjectName(QStringLiteral("phrase"));
    m_phrase->setToolTip(tr("Строка нот в тональности, с длительностями: играйте, читая вперёд"));
    m_piece = new QRadioButton(tr("П&ьеса"), kindGroup);
    m_piece->setObjectName(QStringLiteral("piece"));
    m_piece->setToolTip(tr("Открытая пьеса, строка за строкой (Файл → Открыть пьесу...)"));
    auto* kinds = new QButtonGroup(this);
    kinds->addButton(m_single);
    kinds->addButton(m_phrase);
    kinds->addButton(m_piece);
    m_linesButton = new QPushButton(tr("Фраза: &как писать..."), kindGroup);
    m_linesButton->setObjectName(QStringLiteral("phraseSettings"));
    m_linesButton->setToolTip(tr("Уровень, такты, размер, тональности, аккорды"));
    auto* kindLayout = new QGridLayout(kindGroup);
    kindLayout->addWidget(m_single, 0, 0);
    kindLayout->addWidget(m_phrase, 0, 1);
    kindLayout->addWidget(m_piece, 0, 2);
    kindLayout->addWidget(m_linesButton, 1, 0, 1, 3, Qt::AlignLeft);

    // The lines' own settings take a window of their own: the options keep their height.
    m_linesDialog = new QDialog(this);
    m_linesDialog->setObjectName(QStringLiteral("phraseDialog"));
    m_linesDialog->setWindowTitle(tr("Фраза"));
    m_lines = new QGroupBox(tr("Фраза"), m_linesDialog);
    m_level = new QComboBox(m_lines);
    m_level->setObjectName(QStringLiteral("phraseLevel"));
    for (int l = 0; l < 3; ++l)
        m_level->addItem(tonvero::music::levelName(tonvero::music::Level(l)));
    m_level->setToolTip(tr("Лёгкий: шаги и терции, четверти и половинные, до одного знака при ключе.\n"
                           "Средний: скачки до сексты, восьмые, ноты с точкой, до трёх знаков.\n"
                           "Трудный: скачки до октавы, паузы, случайные знаки, до семи знаков."));
    m_bars = new QSpinBox(m_lines);
    m_bars->setObjectName(QStringLiteral("phraseBars"));
    m_bars->setRange(1, 4);
    m_time = new QComboBox(m_lines);
    m_time->setObjectName(QStringLiteral("phraseTime"));
    for (const char* t : {"2/4", "3/4", "4/4", "6/8"})
        m_time->addItem(QString::fromLatin1(t));
    m_chords = new QComboBox(m_lines);
    m_chords->setObjectName(QStringLiteral("phraseChords"));
    m_chords->addItem(tr("нет, по одной ноте"));
    m_chords->addItem(tr("интервалы (2 ноты)"));
    m_chords->addItem(tr("до 3 нот"));
    m_chords->addItem(tr("до 4 нот"));
    m_chords->setToolTip(tr("С MIDI-клавиатуры аккорд берётся целиком, все ноты вместе; "
                            "на экране и с клавиатуры компьютера — по одной ноте, в любом порядке"));
    m_micChords = new QComboBox(m_lines);
    m_micChords->setObjectName(QStringLiteral("microphoneChords"));
    m_micChords->addItem(tr("арпеджио, в любом порядке"));
    m_micChords->addItem(tr("без аккордов"));
    m_micChords->setToolTip(tr("Микрофон слышит по одной ноте: аккорд играется нота за нотой, "
                               "или фразы пишутся без аккордов, пока включён микрофон"));

    auto* form = new QFormLayout;
    auto addRow = [&](const QString& text, QWidget* field) {
        auto* label = new QLabel(text, m_lines);
        label->setBuddy(field);
        form->addRow(label, field);
    };
    addRow(tr("&Уровень:"), m_level);
    addRow(tr("&Тактов в строке:"), m_bars);
    addRow(tr("&Размер:"), m_time);
    addRow(tr("&Аккорды:"), m_chords);
    addRow(tr("Аккорды с &микрофона:"), m_micChords);

    // The keys: one column per signature, majors and minors in two rows.
    auto* keysLabel = new QLabel(tr("Тональности (знаков при ключе):"), m_lines);
    auto* keys = new QGridLayout;
    keys->setHorizontalSpacing(2);
    keys->addWidget(new QLabel(tr("мажор"), m_lines), 1, 0);
    keys->addWidget(new QLabel(tr("минор"), m_lines), 2, 0);
    for (int fifths = -7; fifths <= 7; ++fifths) {
        const QString head = fifths == 0 ? QStringLiteral("0")
            : fifths < 0 ? QStringLiteral("%1♭").arg(-fifths)
                         : QStringLiteral("%1♯").arg(fifths);
        auto* headLabel = new QLabel(head, m_lines);
        headLabel->setAlignment(Qt::AlignCenter);
        keys->addWidget(headLabel, 0, fifths + 8);
        for (int minor = 0; minor < 2; ++minor) {
            const tonvero::music::Key key(fifths, minor ? tonvero::music::Mode::Minor : tonvero::music::Mode::Major);
            auto* box = new QCheckBox(m_lines);
            box->setObjectName(QStringLiteral("key%1%2").arg(fifths).arg(minor ? QStringLiteral("m") : QString()));
            box->setToolTip(key.displayName());
            box->setAccessibleName(key.displayName());
            keys->addWidget(box, minor + 1, fifths + 8, Qt::AlignCenter);
            m_keys[minor][fifths + 7] = box;
        }
    }
    m_keyPerLine = new QCheckBox(tr("Новая &тональность для каждой строки"), m_lines);
    m_keyPerLine->setObjectName(QStringLiteral("keyPerLine"));
    m_keyPerLine->setToolTip(tr("Иначе тональность выбирается из отмеченных один раз, в начале упражнения"));
    m_rests = new QCheckBox(tr("&Паузы"), m_lines);
    m_rests->setObjectName(QStringLiteral("phraseRests"));
    m_keepPlayed = new QCheckBox(tr("Сыгранные ноты остаются (серым)"), m_lines);
    m_keepPlayed->setObjectName(QStringLiteral("keepPlayed"));
    m_keepPlayed->setToolTip(tr("Если выключить, сыгранные ноты исчезают: приходится смотреть вперёд"));

    auto* linesLayout = new QVBoxLayout(m_lines);
    linesLayout->addLayout(form);
    linesLayout->addWidget(keysLabel);
    linesLayout->addLayout(keys);
    linesLayout->addWidget(m_keyPerLine);
    linesLayout->addWidget(m_rests);
    linesLayout->addWidget(m_keepPlayed);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, m_linesDialog);
    connect(buttons, &QDialogButtonBox::rejected, m_linesDialog, &QDialog::reject);
    auto* dialogLayout = new QVBoxLayout(m_linesDialog);
    dialogLayout->addWidget(m_lines);
    dialogLayout->addWidget(buttons);
    connect(m_linesButton, &QPushButton::clicked, this, [this] {
        m_linesDialog->show();
        m_linesDialog->raise();
        m_linesDialog->activateWindow();
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(kindGroup);

    refresh();

    connect(m_single, &QRadioButton::toggled, this, &PhraseOptions::store);
    connect(m_piece, &QRadioButton::toggled, this, &PhraseOptions::store);
    connect(m_level, &QComboBox::currentIndexChanged, this, &PhraseOptions::store);
    connect(m_bars, &QSpinBox::valueChanged, this, &PhraseOptions::store);
    connect(m_time, &QComboBox::currentIndexChanged, this, &PhraseOptions::store);
    connect(m_chords, &QComboBox::currentIndexChanged, this, &PhraseOptions::store);
    connect(m_micChords, &QComboBox::currentIndexChanged, this, &PhraseOptions::store);
    for (const auto& row : m_keys)
        for (QCheckBox* box : row)
            connect(box, &QCheckBox::toggled, this, &PhraseOptions::store);
    for (QCheckBox* box : {m_keyPerLine, m_rests, m_keepPlayed})
        connect(box, &QCheckBox::toggled, this, &PhraseOptions::store);
}

void PhraseOptions::refresh()
{
    m_refreshing = true;
    const PhraseSettings& s = m_prefs.phrase;
    (s.nExerciseKind == PhraseSettings::Piece    ? m_piece
     : s.nExerciseKind == PhraseSettings::Phrase ? m_phrase
                                                 : m_single)
        ->setChecked(true);
    m_level->setCurrentIndex(s.nPhraseLevel);
    m_bars->setValue(s.nPhraseBars);
    m_time->setCurrentIndex(s.nPhraseTime);
    m_chords->setCurrentIndex(s.nPhraseChordNotes - 1);
    m_micChords->setCurrentIndex(s.nMicChords);
    for (int minor = 0; minor < 2; ++minor)
        for (int fifths = -7; fifths <= 7; ++fifths)
            m_keys[minor][fifths + 7]->setChecked(std::uint32_t(s.nPhraseKeys)
                                                  & (1u << PhraseSettings::keyBit(fifths, minor)));
    m_keyPerLine->setChecked(s.bPhraseKeyPerLine != 0);
    m_rests->setChecked(s.bPhraseRests != 0);
    m_keepPlayed->setChecked(s.bPhraseKeepPlayed != 0);
    m_refreshing = false;
    enableParts();
}

void PhraseOptions::setPieceAvailable(bool available)
{
    m_pieceAvailable = available;
    enableParts();
}

void PhraseOptions::enableParts()
{
    m_linesButton->setEnabled(m_phrase->isChecked());
    m_piece->setEnabled(m_pieceAvailable || m_piece->isChecked());
    m_micChords->setEnabled(m_chords->currentIndex() > 0);
}

void PhraseOptions::store()
{
    if (m_refreshing)
        return;
    PhraseSettings& s = m_prefs.phrase;
    s.nExerciseKind = m_piece->isChecked()    ? PhraseSettings::Piece
                      : m_phrase->isChecked() ? PhraseSettings::Phrase
                                              : PhraseSettings::SingleNote;
    s.nPhraseLevel = m_level->currentIndex();
    s.nPhraseBars = m_bars->value();
    s.nPhraseTime = m_time->currentIndex();
    s.nPhraseChordNotes = m_chords->currentIndex() + 1;
    s.nMicChords = m_micChords->currentIndex();
    std::uint32_t keys = 0;
    for (int minor = 0; minor < 2; ++minor)
        for (int fifths = -7; fifths <= 7; ++fifths)
            if (m_keys[minor][fifths + 7]->isChecked())
                keys |= 1u << PhraseSettings::keyBit(fifths, minor);
    // At least one key: the last box unticked stays ticked.
    if (keys == 0) {
        if (auto* box = qobject_cast<QCheckBox*>(sender())) {
            const QSignalBlocker block(box);
            box->setChecked(true);
        }
        keys = std::uint32_t(s.nPhraseKeys);
    }
    s.nPhraseKeys = int(keys);
    s.bPhraseKeyPerLine = m_keyPerLine->isChecked() ? 1 : 0;
    s.bPhraseRests = m_rests->isChecked() ? 1 : 0;
    s.bPhraseKeepPlayed = m_keepPlayed->isChecked() ? 1 : 0;
    enableParts();
    m_prefs.notifyChanged();
}
