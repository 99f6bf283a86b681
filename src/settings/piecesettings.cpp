// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/piecesettings.h"

#include "settings/regkey.h"
#include "settings/settingsstore.h"

#include <array>

using namespace platform;

namespace tonvero {

namespace {

using Field = IntField<PieceSettings>;

const std::array<Field, 5> fields{{
    {"nPiecePart", &PieceSettings::nPiecePart, 0, PieceSettings::MaxParts - 1},
    {"nPieceHand", &PieceSettings::nPieceHand, 0, 2},
    {"nPieceFirstBar", &PieceSettings::nPieceFirstBar, 0, PieceSettings::MaxBars - 1},
    {"nPieceLastBar", &PieceSettings::nPieceLastBar, -1, PieceSettings::MaxBars - 1},
    {"bPieceRepeat", &PieceSettings::bPieceRepeat, 0, 1},
}};

QString pieceKeyPath()
{
    return QStringLiteral("%1\\%2\\%3")
        .arg(QLatin1String(softwareKeyName), QLatin1String(appKeyName), QLatin1String(pieceKeyName));
}

QString recentName(int i)
{
    return QStringLiteral("sRecent%1").arg(i);
}

} // namespace

void PieceSettings::addRecent(const QString& path)
{
    if (path.isEmpty())
        return;
    recent.removeAll(path);
    recent.prepend(path);
    while (recent.size() > MaxRecent)
        recent.removeLast();
}

void PieceSettings::removeRecent(const QString& path)
{
    recent.removeAll(path);
}

bool PieceSettings::load()
{
    RegKey key;
    const LONG opened = key.open(pieceKeyPath());
    if (opened == ERROR_FILE_NOT_FOUND)
        return true;
    if (opened != ERROR_SUCCESS)
        return false;
    readFields(key, *this, fields);
    QString text;
    if (key.readText(QStringLiteral("sPiecePath"), text))
        sPiecePath = text;
    QStringList list;
    bool listStored = false;
    for (int i = 0; i < MaxRecent; ++i) {
        if (!key.readText(recentName(i), text))
            continue;
        listStored = true;
        if (!text.isEmpty() && !list.contains(text))
            list << text;
    }
    if (listStored)
        recent = list;
    return true;
}

bool PieceSettings::save(const PieceSettings* base) const
{
    RegKey key;
    if (key.create(pieceKeyPath()) != ERROR_SUCCESS)
        return false;
    bool ok = writeFields(key, *this, base, fields);
    if (!base || sPiecePath != base->sPiecePath)
        ok = key.writeText(QStringLiteral("sPiecePath"), sPiecePath) && ok;
    // The list is written whole: entries of two instances' lists would not make one.
    if (!base || recent != base->recent)
        for (int i = 0; i < MaxRecent; ++i)
            ok = key.writeText(recentName(i), recent.value(i)) && ok;
    ok = RegFlushKey(key.get()) == ERROR_SUCCESS && ok;
    return ok;
}

} // namespace tonvero
