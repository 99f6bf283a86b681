// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/phrasesettings.h"

#include "settings/regkey.h"
#include "settings/settingsstore.h"

#include <array>

using namespace platform;

namespace tonvero {

namespace {

using Field = IntField<PhraseSettings>;

// Keys beyond the thirty there are are dropped; a set left empty keeps the default.
const std::array<Field, 10> fields{{
    {"nExerciseKind", &PhraseSettings::nExerciseKind, 0, 2},
    {"nPhraseLevel", &PhraseSettings::nPhraseLevel, 0, 2},
    {"nPhraseBars", &PhraseSettings::nPhraseBars, 1, 4},
    {"nPhraseTime", &PhraseSettings::nPhraseTime, 0, 3},
    {"nPhraseKeys", &PhraseSettings::nPhraseKeys, 1, int(PhraseSettings::AllKeys), int(PhraseSettings::AllKeys)},
    {"bPhraseKeyPerLine", &PhraseSettings::bPhraseKeyPerLine, 0, 1},
    {"nPhraseChordNotes", &PhraseSettings::nPhraseChordNotes, 1, 4},
    {"bPhraseRests", &PhraseSettings::bPhraseRests, 0, 1},
    {"bPhraseKeepPlayed", &PhraseSettings::bPhraseKeepPlayed, 0, 1},
    {"nMicChords", &PhraseSettings::nMicChords, 0, 1},
}};

QString phraseKeyPath()
{
    return QStringLiteral("%1\\%2\\%3")
        .arg(QLatin1String(softwareKeyName), QLatin1String(appKeyName), QLatin1String(phraseKeyName));
}

} // namespace

bool PhraseSettings::load()
{
    RegKey key;
    const LONG opened = key.open(phraseKeyPath());
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    readFields(key, *this, fields);
    return true;
}

bool PhraseSettings::save(const PhraseSettings* base) const
{
    RegKey key;
    if (key.create(phraseKeyPath()) != ERROR_SUCCESS)
        return false;
    bool ok = writeFields(key, *this, base, fields);
    ok = RegFlushKey(key.get()) == ERROR_SUCCESS && ok;
    return ok;
}

} // namespace tonvero
