// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/statstext.h"
#include "app/templates.h"
#include "app/tonverodlg.h"
#include "platform/messagebox.h"
#include "platform/window.h"

using namespace tonvero;

namespace {

constexpr int WrongAnswerTimer = 1;
constexpr int ClockTimer = 2;
constexpr int ClockPeriodMs = 100;

// The clock counts whole seconds, and stands still while a message box holds the user.
QDateTime nowWholeSeconds()
{
    const QDateTime held = platform::heldSince();
    QDateTime now = held.isValid() ? held : platform::Now();
    return now.addMSecs(-now.time().msec());
}

} // namespace

void CTonveroDlg::OnTimer(int id)
{
    if (id == WrongAnswerTimer)
        OnWrongAnswerDelayEnd();
    else if (id == ClockTimer)
        OnClockTick();
}

void CTonveroDlg::ResetClock()
{
    strTime = QStringLiteral("00:00");
    nNotes = 0;
    nErrors = 0;
    UpdateData(false);
    dtStart = nowWholeSeconds();
    if (bExamMode)
        dtExamEnd = dtStart.addSecs(qint64(nMinutes) * 60);
    timers.SetTimer(ClockTimer, ClockPeriodMs);
}

void CTonveroDlg::OnClockTick()
{
    const QDateTime now = nowWholeSeconds();
    qint64 span = bExamMode ? statstext::secondsBetween(now, dtExamEnd) : statstext::secondsBetween(dtStart, now);
    strErrors = statstext::errorsText(nErrors, nNotes);

    // Without an exam start the end is the zero date, long past.
    if (bExamMode && (!dtExamEnd.isValid() || now >= dtExamEnd)) {
        span = qint64(nMinutes) * 60;
        timers.KillTimer(WrongAnswerTimer);
        if (bRunning) {
            m_examRanOut = true;
            StartStop(false);
        }
        if (!bShowStatistics) {
            strTime = statstext::clockText(span);
            // The exam's own note map is one click away from its summary.
            const qint64 session = m_answers.exercise().sessionId;
            if (platform::MessageBoxWithButton(this, statstext::examSummaryText(strTime, nNotes, strErrors),
                                               QStringLiteral("Tonvero"), platform::MsgIcon::Exclamation,
                                               tr("Карта нот экзамена...")))
                OpenStatistics(session);
        }
    }

    strTime = statstext::clockText(span);
    UpdateData(false);
}

void CTonveroDlg::OnUserHeld(qint64 ms)
{
    // A pause already stops the answer clock; the exercise clock runs through pauses by design.
    if (!bRunning)
        return;
    dtStart = dtStart.addMSecs(ms);
    if (dtExamEnd.isValid())
        dtExamEnd = dtExamEnd.addMSecs(ms);
    m_answers.userHeld(ms);
}

void CTonveroDlg::ShowStatistics(bool show)
{
    if (bFirstShow)
        return;
    for (int id = IdcTime; id <= IdcErrorsCaption; ++id)
        if (QWidget* w = item(id))
            w->setVisible(show);
}
