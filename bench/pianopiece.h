// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A piano piece as notation editors write it, for the benchmarks that read
// and practise one: bars of 4/4 on two staves, sixteenths and chords in the
// right hand, triplets and tied notes in the left, directions and beams a
// reader skips.

#include <QByteArray>

namespace benchpiece {

inline QByteArray note(const char* step, int octave, int duration, const char* type, int staff, bool chord = false,
                       const char* extra = "")
{
    return QByteArray("<note>") + (chord ? "<chord/>" : "") + "<pitch><step>" + step + "</step><octave>"
         + QByteArray::number(octave) + "</octave></pitch><duration>" + QByteArray::number(duration)
         + "</duration><voice>" + QByteArray::number(staff == 1 ? 1 : 5) + "</voice><type>" + type + "</type>" + extra
         + "<staff>" + QByteArray::number(staff) + "</staff></note>";
}

inline QByteArray pianoPiece(int bars)
{
    QByteArray xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<score-partwise version=\"4.0\"><part-list>"
                     "<score-part id=\"P1\"><part-name>Piano</part-name></score-part></part-list><part id=\"P1\">\n";
    const char* steps[] = {"C", "D", "E", "F", "G", "A", "B"};
    for (int b = 0; b < bars; ++b) {
        xml += "<measure number=\"" + QByteArray::number(b + 1) + "\">";
        if (b == 0)
            xml += "<attributes><divisions>12</divisions><key><fifths>-2</fifths></key><time><beats>4</beats>"
                   "<beat-type>4</beat-type></time><staves>2</staves><clef number=\"1\"><sign>G</sign><line>2</line>"
                   "</clef><clef number=\"2\"><sign>F</sign><line>4</line></clef></attributes>";
        xml += "<direction placement=\"above\"><direction-type><dynamics><mf/></dynamics></direction-type></direction>";
        for (int i = 0; i < 8; ++i)
            xml += note(steps[(b + i) % 7], 5, 3, "16th", 1, false, "<beam number=\"1\">continue</beam>");
        for (int i = 0; i < 2; ++i) {
            xml += note("C", 5, 12, "quarter", 1);
            xml += note("E", 5, 12, "quarter", 1, true);
            xml += note("G", 5, 12, "quarter", 1, true);
        }
        xml += "<backup><duration>48</duration></backup>";
        const QByteArray triplet = "<time-modification><actual-notes>3</actual-notes><normal-notes>2</normal-notes>"
                                   "</time-modification>";
        for (int i = 0; i < 6; ++i)
            xml += note(steps[(b + 2 * i) % 7], 3, 4, "eighth", 2, false, triplet);
        xml += note("C", 3, 24, "half", 2, false, "<tie type=\"start\"/>");
        xml += "</measure>\n";
    }
    return xml + "</part></score-partwise>\n";
}

} // namespace benchpiece
