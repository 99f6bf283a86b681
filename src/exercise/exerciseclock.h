// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>

namespace tonvero {

// The exercise clock: elapsed time, or in an exam the time left; the time a
// message box held the user is left out. Whole seconds, as shown.
class ExerciseClock {
public:
    QDateTime dtStart;
    QDateTime dtExamEnd;
    QString strTime = QStringLiteral("00:00");
    QString strErrors = QStringLiteral("0");

    // Now, in whole seconds, standing still while a message box holds the user.
    static QDateTime now();

    // Counts from now; an exam ends after the given minutes.
    void start(bool exam, int minutes);
    // Refreshes the texts; true when an exam's time is up (the time then reads the full length).
    bool tick(bool exam, int minutes, int nNotes, int nErrors);
    // A message box kept the user this long.
    void held(qint64 ms);
};

} // namespace tonvero
