// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/phrase.h"

#include <QString>
#include <QStringList>

// Lines of music written as text, so that a test row reads like the music:
// "8:C5 8:D5 4.:[C4 E4 G4] 4:r | 2:F#4" — value (1 2 4 8 16, dots after it),
// a colon, then a note, a chord in brackets or r for a rest; "_" after a note
// puts it on the lower staff; bars split by "|".
namespace phrasetext {

using namespace tonvero::music;

inline Pitch pitch(const QString& text)
{
    static const QString Letters = QStringLiteral("CDEFGAB");
    Pitch p;
    p.step = static_cast<Step>(Letters.indexOf(text.at(0)));
    int i = 1;
    for (; i < text.size() && !text.at(i).isDigit() && text.at(i) != QLatin1Char('-'); ++i)
        p.alter += text.at(i) == QLatin1Char('#') ? 1 : text.at(i) == QLatin1Char('x') ? 2 : -1;
    p.octave = text.mid(i).toInt();
    return p;
}

inline Duration duration(const QString& text)
{
    const int dots = static_cast<int>(text.count(QLatin1Char('.')));
    const int n = QString(text).remove(QLatin1Char('.')).toInt();
    const NoteValue v = n == 1 ? NoteValue::Whole : n == 2 ? NoteValue::Half : n == 4 ? NoteValue::Quarter
                      : n == 8 ? NoteValue::Eighth : NoteValue::Sixteenth;
    return Duration{v, dots};
}

inline Event event(const QString& text)
{
    Event e;
    const int colon = static_cast<int>(text.indexOf(QLatin1Char(':')));
    e.duration = duration(text.left(colon));
    QString body = text.mid(colon + 1);
    if (body == QLatin1String("r"))
        return e;
    if (body == QLatin1String("r_")) {
        e.restStaff = 1;
        return e;
    }
    body.remove(QLatin1Char('[')).remove(QLatin1Char(']'));
    for (QString n : body.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const bool lower = n.endsWith(QLatin1Char('_'));
        if (lower)
            n.chop(1);
        e.notes.push_back(Note{pitch(n), lower ? 1 : 0});
    }
    return e;
}

// Chords are written with commas inside brackets so that spaces split events: [C4,E4,G4].
inline Phrase phrase(const QString& text, Key key = Key{}, Meter meter = Meter::FourFour)
{
    Phrase p;
    p.key = key;
    p.time = TimeSignature{meter};
    for (const QString& bar : text.split(QLatin1Char('|'))) {
        Bar b;
        for (const QString& e : bar.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            b.events.push_back(event(e));
        p.bars.push_back(b);
    }
    return p;
}

} // namespace phrasetext
