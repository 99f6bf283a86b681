// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>

class QDateTime;

// The texts of the exercise statistics: errors with their share of the notes,
// the clock, and the end-of-exam summary.
namespace statstext {

// "0" without errors; otherwise the count and its percentage of nNotes, with
// more decimals the smaller the share ("1 (25%)", "1 (5.0%)", "1 (0.10%)").
QString errorsText(int nErrors, int nNotes);

// "MM:SS" under one hour, else "HH:MM:SS" with the hours within a day;
// a negative span (an exam end already passed) reads "00:00".
QString clockText(qint64 spanSeconds);

// Milliseconds to the nearest whole second, halves away from zero.
qint64 roundSpanToSeconds(qint64 spanMs);

// Whole seconds from one time to another (negative when "to" is earlier).
qint64 secondsBetween(const QDateTime& from, const QDateTime& to);

// The box shown at an exam's end when the statistics are hidden.
QString examSummaryText(const QString& timeText, int nNotes, const QString& errorsText);

} // namespace statstext
