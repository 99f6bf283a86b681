// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/keymap.h"

#include <QChar>
#include <Qt>

namespace keymap {

namespace {

struct KeyEntry {
    quint32 scanCode;  // evdev code + 8, as X11 and Wayland report it
    int latinKey;      // Qt key on a Latin layout
    char32_t cyrillic; // the letter on the same key of the Russian layout
    int pitchClass;
};

constexpr KeyEntry Keys[] = {
    {52, Qt::Key_Z, U'Я', 0},
    {39, Qt::Key_S, U'Ы', 1},
    {53, Qt::Key_X, U'Ч', 2},
    {40, Qt::Key_D, U'В', 3},
    {54, Qt::Key_C, U'С', 4},
    {55, Qt::Key_V, U'М', 5},
    {42, Qt::Key_G, U'П', 6},
    {56, Qt::Key_B, U'И', 7},
    {43, Qt::Key_H, U'Р', 8},
    {57, Qt::Key_N, U'Т', 9},
    {44, Qt::Key_J, U'О', 10},
    {58, Qt::Key_M, U'Ь', 11},
    {59, Qt::Key_Comma, U'Б', 0},
};

// Qt reports letters as upper case, but a platform may hand over the typed case.
int upperKey(int qtKey)
{
    if (qtKey <= 0 || qtKey > 0xFFFF)
        return qtKey;
    return static_cast<int>(QChar::toUpper(static_cast<char32_t>(qtKey)));
}

} // namespace

int pitchClassForKey(quint32 nativeScanCode, int qtKey)
{
    if (nativeScanCode != 0) {
        for (const KeyEntry& k : Keys)
            if (k.scanCode == nativeScanCode)
                return k.pitchClass;
        return -1;
    }
    const int key = upperKey(qtKey);
    for (const KeyEntry& k : Keys)
        if (k.latinKey == key || static_cast<int>(k.cyrillic) == key)
            return k.pitchClass;
    return -1;
}

bool isPauseKey(int qtKey)
{
    return qtKey == Qt::Key_Pause;
}

bool isEnterKey(int qtKey)
{
    return qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter;
}

bool isEscapeKey(int qtKey)
{
    return qtKey == Qt::Key_Escape;
}

} // namespace keymap
