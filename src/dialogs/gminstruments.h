// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

namespace tonvero {

// The 128 entries of the instrument list, in General MIDI program order: the
// program number plus one right-aligned in three characters, a blank, the name.
const QStringList& GeneralMidiInstrumentTexts();

} // namespace tonvero
