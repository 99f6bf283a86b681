// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The pitchcheck command: runs the note detector over a WAV file and prints
// one line per note, its onset in milliseconds and its MIDI note number.

#include <QStringList>
#include <QTextStream>

#include <vector>

namespace pitch {

struct NoteEvent;
struct WavAudio;

enum PitchCheckExit {
    ExitOk = 0,
    ExitBadFile = 1,  // missing, unreadable or broken file
    ExitUsage = 2,    // wrong arguments
    ExitNoDetector = 3, // aubio cannot be loaded
};

// args as main receives them, the program name first.
int runPitchCheck(const QStringList& args, QTextStream& out, QTextStream& err);

// The notes the detector finds in a recording, as Started events.
// False (with *error) when the detector cannot run.
bool detectNotes(const WavAudio& audio, std::vector<NoteEvent>& notes, QString* error = nullptr);

} // namespace pitch
