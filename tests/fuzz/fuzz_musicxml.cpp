// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes, through the one door every piece file takes (MusicXML, score-timewise,
// .mxl archives): refused with a reason, or a piece whose notes lie within its
// bars, with real lengths and MIDI numbers; cut into lines, every part and
// hand gives bars no longer than sixteen whole notes.
#include "piece/piecefile.h"
#include "piece/piecelines.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // No suffix: the bytes alone choose the reader.
    const tonvero::piece::PieceFile result = tonvero::piece::readPieceData(bytes, QStringLiteral("piece"));
    if (!result.ok()) {
        if (result.error.contains(QLatin1Char('\n')))
            std::abort();
        return 0;
    }
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
    for (int part = 0; part < int(p.parts.size()) && part < 4; ++part)
        for (int hand : {tonvero::piece::PieceSelection::Both, tonvero::piece::PieceSelection::Left}) {
            tonvero::piece::PieceSelection selection;
            selection.part = part;
            selection.hand = hand;
            for (const tonvero::piece::PieceLine& line : tonvero::piece::pieceLines(p, selection, 2))
                for (const tonvero::music::Bar& bar : line.phrase.bars)
                    if (bar.events.empty() || bar.length() > tonvero::music::Fraction(16))
                        std::abort();
        }
    return 0;
}
