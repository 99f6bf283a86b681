// SPDX-License-Identifier: GPL-3.0-or-later
#include "music/notenames.h"

#include "music/pitch.h"

#include <QCoreApplication>

namespace tonvero::music {

namespace {

struct NameTable {
    const char* context;
    const char* sharp[12];
    const char* flat[12];
};

constexpr NameTable kWritten{
    "NoteNames",
    {QT_TRANSLATE_NOOP("NoteNames", "До"), QT_TRANSLATE_NOOP("NoteNames", "До #"),
     QT_TRANSLATE_NOOP("NoteNames", "Ре"), QT_TRANSLATE_NOOP("NoteNames", "Ре #"),
     QT_TRANSLATE_NOOP("NoteNames", "Ми"), QT_TRANSLATE_NOOP("NoteNames", "Фа"),
     QT_TRANSLATE_NOOP("NoteNames", "Фа #"), QT_TRANSLATE_NOOP("NoteNames", "Соль"),
     QT_TRANSLATE_NOOP("NoteNames", "Соль #"), QT_TRANSLATE_NOOP("NoteNames", "Ля"),
     QT_TRANSLATE_NOOP("NoteNames", "Ля #"), QT_TRANSLATE_NOOP("NoteNames", "Си")},
    {nullptr, QT_TRANSLATE_NOOP("NoteNames", "Ре b"), nullptr, QT_TRANSLATE_NOOP("NoteNames", "Ми b"), nullptr,
     nullptr, QT_TRANSLATE_NOOP("NoteNames", "Соль b"), nullptr, QT_TRANSLATE_NOOP("NoteNames", "Ля b"), nullptr,
     QT_TRANSLATE_NOOP("NoteNames", "Си b"), nullptr},
};

// Words, not signs, so that speech says them right.
constexpr NameTable kSpoken{
    "SpokenNotes",
    {QT_TRANSLATE_NOOP("SpokenNotes", "До"), QT_TRANSLATE_NOOP("SpokenNotes", "До диез"),
     QT_TRANSLATE_NOOP("SpokenNotes", "Ре"), QT_TRANSLATE_NOOP("SpokenNotes", "Ре диез"),
     QT_TRANSLATE_NOOP("SpokenNotes", "Ми"), QT_TRANSLATE_NOOP("SpokenNotes", "Фа"),
     QT_TRANSLATE_NOOP("SpokenNotes", "Фа диез"), QT_TRANSLATE_NOOP("SpokenNotes", "Соль"),
     QT_TRANSLATE_NOOP("SpokenNotes", "Соль диез"), QT_TRANSLATE_NOOP("SpokenNotes", "Ля"),
     QT_TRANSLATE_NOOP("SpokenNotes", "Ля диез"), QT_TRANSLATE_NOOP("SpokenNotes", "Си")},
    {nullptr, QT_TRANSLATE_NOOP("SpokenNotes", "Ре бемоль"), nullptr, QT_TRANSLATE_NOOP("SpokenNotes", "Ми бемоль"),
     nullptr, nullptr, QT_TRANSLATE_NOOP("SpokenNotes", "Соль бемоль"), nullptr,
     QT_TRANSLATE_NOOP("SpokenNotes", "Ля бемоль"), nullptr, QT_TRANSLATE_NOOP("SpokenNotes", "Си бемоль"), nullptr},
};

QString translated(const NameTable& table, const char* name)
{
    return name ? QCoreApplication::translate(table.context, name) : QString();
}

bool valid(int pitchClass)
{
    return pitchClass >= 0 && pitchClass < 12;
}

} // namespace

QString sharpName(int pitchClass)
{
    return valid(pitchClass) ? translated(kWritten, kWritten.sharp[pitchClass]) : QString();
}

QString flatName(int pitchClass)
{
    return valid(pitchClass) ? translated(kWritten, kWritten.flat[pitchClass]) : QString();
}

QString spokenName(int pitchClass, bool flat)
{
    if (!valid(pitchClass))
        return {};
    const char* name = flat && kSpoken.flat[pitchClass] ? kSpoken.flat[pitchClass] : kSpoken.sharp[pitchClass];
    return translated(kSpoken, name);
}

QString writtenName(const Pitch& pitch)
{
    const QString letter = sharpName(Pitch::naturalSemitone(pitch.step));
    switch (pitch.alter) {
    case 2: return QCoreApplication::translate("NoteNames", "%1 ##").arg(letter);
    case 1: return QCoreApplication::translate("NoteNames", "%1 #").arg(letter);
    case -1: return QCoreApplication::translate("NoteNames", "%1 b").arg(letter);
    case -2: return QCoreApplication::translate("NoteNames", "%1 bb").arg(letter);
    default: return letter;
    }
}

QString spokenWrittenName(const Pitch& pitch)
{
    const QString letter = spokenName(Pitch::naturalSemitone(pitch.step), false);
    QString name;
    switch (pitch.alter) {
    case 2: name = QCoreApplication::translate("SpokenNotes", "%1 дубль-диез").arg(letter); break;
    case 1: name = QCoreApplication::translate("SpokenNotes", "%1 диез").arg(letter); break;
    case -1: name = QCoreApplication::translate("SpokenNotes", "%1 бемоль").arg(letter); break;
    case -2: name = QCoreApplication::translate("SpokenNotes", "%1 дубль-бемоль").arg(letter); break;
    default: name = letter; break;
    }
    return QStringLiteral("%1 %2").arg(name).arg(pitch.octave);
}

} // namespace tonvero::music
