// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/preferences.h"

#include "platform/registry/registry.h"

namespace tonvero {

Preferences::Preferences(QObject* parent) : QObject(parent)
{
    // Not a message box: a save at exit must not wait for anyone.
    platform::setSaveNoticeHandler([this](const QString& text) {
        qWarning("%s", qPrintable(text));
        emit notice(text);
    });
}

Preferences::~Preferences()
{
    platform::setSaveNoticeHandler({});
}

bool Preferences::load(NewKeys newKeys)
{
    // White keys by pitch class, as the piano lays them out.
    const bool ok = loadSettings(values(), strInstallDir, {}, newKeys);
    m_stored = values();
    phrase.load();
    m_storedPhrase = phrase;
    piece.load();
    m_storedPiece = piece;
    return ok;
}

bool Preferences::save()
{
    // The file as it is now, with what this instance changed on top of it.
    TonveroSettings merged = m_stored;
    QString installDir;
    if (!loadSettings(merged, installDir, {}, NewKeys::Defer))
        merged = m_stored;
    for (const SettingField& f : settingFields) {
        if (f.member && this->*f.member != m_stored.*f.member)
            merged.*f.member = this->*f.member;
        if (f.byteMember && this->*f.byteMember != m_stored.*f.byteMember)
            merged.*f.byteMember = this->*f.byteMember;
    }
    for (const SettingTextField& f : settingTextFields)
        if (this->*f.member != m_stored.*f.member)
            merged.*f.member = this->*f.member;
    if (!saveSettings(merged))
        return false;
    // What is still as this instance has it counts as unchanged at the next save.
    m_stored = values();
    if (phrase != m_storedPhrase) {
        if (!phrase.save(&m_storedPhrase))
            return false;
        m_storedPhrase = phrase;
    }
    if (piece != m_storedPiece) {
        if (!piece.save(&m_storedPiece))
            return false;
        m_storedPiece = piece;
    }
    return true;
}

void Preferences::setRange(int s, int low, int high)
{
    (s == 0 ? nN12_min0 : nN12_min1) = low;
    (s == 0 ? nN12_max0 : nN12_max1) = high;
}

} // namespace tonvero
