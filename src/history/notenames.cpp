// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/notenames.h"

#include <QCoreApplication>

namespace tonvero::history {

namespace {

// Letter (0 C .. 6 B) of each pitch class written with a sharp; the white keys are exact.
constexpr int SharpLetter[12] = {0, 0, 1, 1, 2, 3, 3, 4, 4, 5, 5, 6};
constexpr bool Black[12] = {false, true, false, true, false, false, true, false, true, false, true, false};
// The bottom line of each reading clef as octave × 7 + letter: E4, G2, F3.
constexpr int BottomLine[3] = {4 * 7 + 2, 2 * 7 + 4, 3 * 7 + 3};

int pitchClass(int keyIndex)
{
    return ((keyIndex + 9) % 12 + 12) % 12;
}

// Octave × 7 + letter of the written note.
int diatonicIndex(int keyIndex, Spelling spelling)
{
    const int midi = keyIndex + FirstMidiNote;
    const int pc = pitchClass(keyIndex);
    int index = (midi / 12 - 1) * 7 + SharpLetter[pc];
    if (Black[pc] && normalisedSpelling(keyIndex, spelling) == Spelling::Flat)
        ++index;
    return index;
}

} // namespace

int readingClef(int clef, int staff)
{
    if (staff < 0 || staff > 1)
        return -1;
    if (clef == 3)
        return staff;
    if (clef >= 0 && clef <= 2 && staff == 0)
        return clef;
    return -1;
}

bool isBlackKey(int keyIndex)
{
    return Black[pitchClass(keyIndex)];
}

Spelling normalisedSpelling(int keyIndex, Spelling spelling)
{
    if (!isBlackKey(keyIndex))
        return Spelling::Natural;
    return spelling == Spelling::Flat ? Spelling::Flat : Spelling::Sharp;
}

int writtenOctave(int keyIndex, Spelling spelling)
{
    const int index = diatonicIndex(keyIndex, spelling);
    return index >= 0 ? index / 7 : (index - 6) / 7;
}

int writtenLetter(int keyIndex, Spelling spelling)
{
    return (diatonicIndex(keyIndex, spelling) % 7 + 7) % 7;
}

int stavePosition(int readingClef, int keyIndex, Spelling spelling)
{
    const int clef = readingClef >= 0 && readingClef <= 2 ? readingClef : 0;
    return diatonicIndex(keyIndex, spelling) - BottomLine[clef];
}

QString letterName(int keyIndex, Spelling spelling)
{
    static const char letters[] = "CDEFGAB";
    const Spelling s = normalisedSpelling(keyIndex, spelling);
    QString name(QLatin1Char(letters[writtenLetter(keyIndex, s)]));
    if (s == Spelling::Sharp)
        name += QLatin1Char('#');
    else if (s == Spelling::Flat)
        name += QLatin1Char('b');
    return name + QString::number(writtenOctave(keyIndex, s));
}

QString displayName(int keyIndex, Spelling spelling)
{
    static const char* const names[7] = {
        QT_TRANSLATE_NOOP("NoteNames", "До"),  QT_TRANSLATE_NOOP("NoteNames", "Ре"),
        QT_TRANSLATE_NOOP("NoteNames", "Ми"),  QT_TRANSLATE_NOOP("NoteNames", "Фа"),
        QT_TRANSLATE_NOOP("NoteNames", "Соль"), QT_TRANSLATE_NOOP("NoteNames", "Ля"),
        QT_TRANSLATE_NOOP("NoteNames", "Си"),
    };
    const Spelling s = normalisedSpelling(keyIndex, spelling);
    QString name = QCoreApplication::translate("NoteNames", names[writtenLetter(keyIndex, s)]);
    if (s == Spelling::Sharp)
        name += QChar(0x266F);
    else if (s == Spelling::Flat)
        name += QChar(0x266D);
    return name + QString::number(writtenOctave(keyIndex, s));
}

QString readingClefName(int readingClef)
{
    switch (readingClef) {
    case 0:
        return QCoreApplication::translate("NoteNames", "скрипичный");
    case 1:
        return QCoreApplication::translate("NoteNames", "басовый");
    case 2:
        return QCoreApplication::translate("NoteNames", "альтовый");
    default:
        return QString();
    }
}

} // namespace tonvero::history
