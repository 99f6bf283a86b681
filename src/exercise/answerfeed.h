// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "history/answerrecord.h"

#include <QDateTime>
#include <vector>

namespace tonvero {

// The engine's one door to whoever keeps or studies the answers: it turns the
// answer steps into AnswerRecord and ExerciseRecord values and keeps the
// response clock, which runs from the note appearing to the answer and stops
// during a pause and while a message box holds the user.
class AnswerFeed {
public:
    void addListener(AnswerListener* listener);
    void removeListener(AnswerListener* listener);
    bool hasListeners() const { return !m_listeners.empty(); }

    void exerciseStarted(ExerciseMode mode, int examMinutes, ExerciseKind kind = ExerciseKind::SingleNote,
                         const QString& pieceId = {}, const QString& pieceTitle = {}, int pieceBars = 0);
    // A new note is on the stave: its response clock starts.
    void noteShown();
    // Fills in the time, the session, the mode and the response time, and hands the record on.
    void answered(AnswerRecord record);
    void paused();
    void resumed();
    // A message box kept the user this long (not counted while paused: the pause covers it).
    void userHeld(qint64 ms);
    void exerciseEnded(int notes, int errors, bool examCompleted);

    bool running() const { return m_running; }
    const ExerciseRecord& exercise() const { return m_exercise; }
    // Milliseconds the clock has left out so far: pauses and message boxes.
    qint64 heldMs() const;

private:
    static qint64 nowMs();

    std::vector<AnswerListener*> m_listeners;
    ExerciseRecord m_exercise;
    std::int64_t m_lastSessionId = 0;
    bool m_running = false;
    bool m_paused = false;
    qint64 m_pauseStartMs = 0;
    qint64 m_heldMs = 0;
    qint64 m_shownAtMs = 0;
    qint64 m_heldAtShownMs = 0;
};

} // namespace tonvero
