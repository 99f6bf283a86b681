// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes: the MusicXML reader either refuses them with a reason or gives a
// piece whose notes lie within its bars, with real lengths and MIDI numbers.
#include "piece/musicxmlreader.h"

#include <QBuffer>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const tonvero::piece::PieceResult result = tonvero::piece::readMusicXml(buffer);
    if (!result.ok())
        return 0;
    const tonvero::piece::Piece& p = result.piece;
    if (p.parts.empty() || int(p.parts.size()) > tonvero::piece::limits::MaxParts)
        std::abort();
    if (int(p.notes.size()) > tonvero::piece::limits::MaxNotes)
        std::abort();
    for (const tonvero::piece::Note& n : p.notes) {
        if (n.part < 0 || n.part >= int(p.parts.size()) || n.staff < 0 || n.staff >= p.parts[n.part].staves)
            std::abort();
        if (n.bar < 0 || n.bar >= int(p.bars.size()))
            std::abort();
        if (n.duration.num <= 0 || n.onset.num < 0 || n.midi < 0 || n.midi > 127)
            std::abort();
    }
    return 0;
}
