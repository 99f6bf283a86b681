// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/answerfeed.h"

#include "platform/ui/window.h"

#include <algorithm>

namespace tonvero {

qint64 AnswerFeed::nowMs()
{
    return platform::Now().toMSecsSinceEpoch();
}

void AnswerFeed::addListener(AnswerListener* listener)
{
    if (listener && std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void AnswerFeed::removeListener(AnswerListener* listener)
{
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

void AnswerFeed::exerciseStarted(ExerciseMode mode, int examMinutes, ExerciseKind kind, const QString& pieceId,
                                 const QString& pieceTitle, int pieceBars)
{
    const qint64 now = nowMs();
    // Two exercises within one millisecond (tests) still get their own session.
    m_exercise = ExerciseRecord{};
    m_exercise.sessionId = std::max<std::int64_t>(now, m_lastSessionId + 1);
    m_lastSessionId = m_exercise.sessionId;
    m_exercise.startMs = now;
    m_exercise.mode = mode;
    m_exercise.kind = kind;
    m_exercise.pieceId = pieceId;
    m_exercise.pieceTitle = pieceTitle;
    m_exercise.pieceBars = pieceBars;
    m_exercise.examMinutes = mode == ExerciseMode::Exam ? examMinutes : 0;
    m_running = true;
    m_paused = false;
    m_heldMs = 0;
    noteShown();
    for (AnswerListener* l : m_listeners)
        l->exerciseStarted(m_exercise);
}

void AnswerFeed::noteShown()
{
    m_shownAtMs = nowMs();
    m_heldAtShownMs = heldMs();
}

qint64 AnswerFeed::heldMs() const
{
    return m_heldMs + (m_paused ? std::max<qint64>(0, nowMs() - m_pauseStartMs) : 0);
}

void AnswerFeed::answered(AnswerRecord record)
{
    if (!m_running)
        return;
    const qint64 now = nowMs();
    record.timeMs = now;
    record.sessionId = m_exercise.sessionId;
    record.mode = m_exercise.mode;
    record.kind = m_exercise.kind;
    const qint64 response = now - m_shownAtMs - (heldMs() - m_heldAtShownMs);
    record.responseMs = int(std::clamp<qint64>(response, 0, 24 * 3600 * 1000));
    for (AnswerListener* l : m_listeners)
        l->answered(record);
}

void AnswerFeed::paused()
{
    if (!m_running || m_paused)
        return;
    m_paused = true;
    m_pauseStartMs = nowMs();
    for (AnswerListener* l : m_listeners)
        l->exercisePaused(m_exercise);
}

void AnswerFeed::resumed()
{
    if (!m_running || !m_paused)
        return;
    m_heldMs += std::max<qint64>(0, nowMs() - m_pauseStartMs);
    m_paused = false;
}

void AnswerFeed::userHeld(qint64 ms)
{
    if (m_running && !m_paused && ms > 0)
        m_heldMs += ms;
}

void AnswerFeed::exerciseEnded(int notes, int errors, bool examCompleted)
{
    if (!m_running)
        return;
    resumed();
    m_running = false;
    m_exercise.endMs = nowMs();
    m_exercise.notes = notes;
    m_exercise.errors = errors;
    m_exercise.examCompleted = examCompleted;
    for (AnswerListener* l : m_listeners)
        l->exerciseEnded(m_exercise);
}

} // namespace tonvero
