// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/statstext.h"

#include <QCoreApplication>
#include <QDateTime>

#include <clocale>
#include <cstdio>
#include <locale.h>

namespace statstext {

namespace {

// The C library's own formatting: Qt's rounds exact binary ties away from zero,
// printf to even ("12.5" with no decimals reads 12). Always with a decimal
// point: Qt sets the process locale from the desktop, which may want a comma.
QString cFormat(const char* format, int count, double percent)
{
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", locale_t(0));
    const locale_t previous = cLocale ? uselocale(cLocale) : locale_t(0);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, count, percent);
    if (cLocale)
        uselocale(previous);
    return QString::fromLatin1(buffer);
}

} // namespace

QString errorsText(int nErrors, int nNotes)
{
    if (nErrors == 0)
        return QStringLiteral("0");
    if (nNotes == 0)
        return QString::asprintf("%i (100%%)", nErrors);

    // Single precision on purpose: 1 in 1000 must read 0.10%, since 0.1f is not below 0.1.
    const float ratio = static_cast<float>(nErrors) * 100.0f / static_cast<float>(nNotes);
    const double shown = ratio;
    if (nErrors >= nNotes || shown >= 10.0)
        return cFormat("%i (%.0f%%)", nErrors, shown);
    if (shown >= 1.0)
        return cFormat("%i (%.1f%%)", nErrors, shown);
    if (shown >= 0.1)
        return cFormat("%i (%.2f%%)", nErrors, shown);
    return cFormat("%i (%.3f%%)", nErrors, shown);
}

QString clockText(qint64 spanSeconds)
{
    if (spanSeconds < 0)
        spanSeconds = 0;
    const qint64 totalHours = spanSeconds / 3600;
    const int minutes = static_cast<int>(spanSeconds / 60 % 60);
    const int seconds = static_cast<int>(spanSeconds % 60);
    if (totalHours == 0)
        return QString::asprintf("%02d:%02d", minutes, seconds);
    return QString::asprintf("%02d:%02d:%02d", static_cast<int>(totalHours % 24), minutes, seconds);
}

qint64 roundSpanToSeconds(qint64 spanMs)
{
    return spanMs >= 0 ? (spanMs + 500) / 1000 : -((-spanMs + 500) / 1000);
}

qint64 secondsBetween(const QDateTime& from, const QDateTime& to)
{
    return roundSpanToSeconds(from.msecsTo(to));
}

QString examSummaryText(const QString& timeText, int nNotes, const QString& errorsText)
{
    return QCoreApplication::translate("Statistics", "Время\t%1\nНоты\t%2\nОшибки\t%3").arg(timeText, QString::number(nNotes), errorsText);
}

} // namespace statstext
