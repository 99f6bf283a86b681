// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes: the MIDI file reader either refuses them with a reason or gives a
// piece whose notes lie within its bars, on the grid, with real MIDI numbers.
#include "piece/midifilereader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace tonvero::piece;
    const PieceResult result = readMidiFile(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!result.ok()) {
        if (result.error.isEmpty() || !result.piece.notes.empty())
            std::abort();
        return 0;
    }
    const Piece& p = result.piece;
    if (p.parts.empty() || int(p.parts.size()) > limits::MaxParts || p.bars.empty()
        || int(p.bars.size()) > limits::MaxBars || int(p.notes.size()) > limits::MaxNotes)
        std::abort();
    for (const Part& part : p.parts)
        if (part.keys.size() != p.bars.size() || part.clefs.empty())
            std::abort();
    const Fraction end = p.bars.back().start + p.bars.back().length;
    for (const Note& n : p.notes) {
        if (n.part < 0 || n.part >= int(p.parts.size()) || n.staff < 0 || n.staff >= p.parts[size_t(n.part)].staves)
            std::abort();
        if (n.bar < 0 || n.bar >= int(p.bars.size()) || n.onset < p.bars[size_t(n.bar)].start)
            std::abort();
        // Sixteenths and eighth triplets: twelfths of a quarter.
        if (n.duration.num <= 0 || n.onset.num < 0 || 12 % n.onset.den != 0 || 12 % n.duration.den != 0)
            std::abort();
        if (n.onset + n.duration > end || n.midi < 0 || n.midi > 127 || n.pitch.midi() != n.midi)
            std::abort();
    }
    return 0;
}
