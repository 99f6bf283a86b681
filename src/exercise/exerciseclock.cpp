// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/exerciseclock.h"

#include "exercise/statstext.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/window.h"

namespace tonvero {

QDateTime ExerciseClock::now()
{
    const QDateTime heldAt = platform::heldSince();
    QDateTime t = heldAt.isValid() ? heldAt : platform::Now();
    return t.addMSecs(-t.time().msec());
}

void ExerciseClock::start(bool exam, int minutes)
{
    dtStart = now();
    if (exam)
        dtExamEnd = dtStart.addSecs(qint64(minutes) * 60);
}

bool ExerciseClock::tick(bool exam, int minutes, int nNotes, int nErrors)
{
    const QDateTime t = now();
    qint64 span = exam ? statstext::secondsBetween(t, dtExamEnd) : statstext::secondsBetween(dtStart, t);
    strErrors = statstext::errorsText(nErrors, nNotes);
    // Without an exam start the end is the zero date, long past.
    const bool ended = exam && (!dtExamEnd.isValid() || t >= dtExamEnd);
    if (ended)
        span = qint64(minutes) * 60;
    strTime = statstext::clockText(span);
    return ended;
}

void ExerciseClock::held(qint64 ms)
{
    dtStart = dtStart.addMSecs(ms);
    if (dtExamEnd.isValid())
        dtExamEnd = dtExamEnd.addMSecs(ms);
}

} // namespace tonvero
