// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// The computer keyboard as a one-octave piano: the bottom letter row holds the
// white keys (Z X C V B N M, comma for the next C), the row above the black
// keys (S D G H J). Keys are read by physical position, so any layout works.
namespace keymap {

// Pitch class 0..11 (C = 0) of a key, or −1 for a key outside the map.
// A non-zero nativeScanCode (xcb, Wayland: evdev code + 8) decides alone;
// with 0 (offscreen, QTest) the Qt key decides, Latin or Russian letters.
int pitchClassForKey(quint32 nativeScanCode, int qtKey);

bool isPauseKey(int qtKey);
bool isEnterKey(int qtKey);   // Return or keypad Enter
bool isEscapeKey(int qtKey);

} // namespace keymap
