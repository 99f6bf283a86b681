// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The answer history on disk: one SQLite file, written by a thread of its
// own. The engine hands each answer and exercise over (AnswerListener); the
// GUI thread only copies the record into a queue. The writer commits what
// has come every BatchDelayMs while answers come, and at once on a pause, a
// stop and at exit, so a killed process loses at most the last fraction of a
// second. Nothing is opened before the first use.

#include "history/answerrecord.h"
#include "history/practiceweights.h"

#include <QObject>
#include <QString>

#include <memory>

namespace tonvero::history {

class HistoryStore : public QObject, public AnswerListener {
    Q_OBJECT
public:
    // Longest wait between an answer and its commit while an exercise runs.
    static constexpr int BatchDelayMs = 250;

    // $XDG_DATA_HOME/Tonvero/history.sqlite (usually ~/.local/share/Tonvero).
    static QString defaultPath();

    explicit HistoryStore(const QString& path = defaultPath(), QObject* parent = nullptr);
    // Writes out what is pending and stops the writer.
    ~HistoryStore() override;

    QString path() const;

    // AnswerListener: GUI thread, never blocks on the file.
    void exerciseStarted(const ExerciseRecord& exercise) override;
    void answered(const AnswerRecord& answer) override;
    void exercisePaused(const ExerciseRecord& exercise) override;
    void exerciseEnded(const ExerciseRecord& exercise) override;

    // Starts the writer, opens the file and loads the practice memory in the
    // background, so the first exercise does not wait for them.
    void preload();

    // Waits until everything handed over so far is in the file. False when
    // some of it could not be written (the writer keeps it and tries again)
    // or the wait ran out.
    bool flush(int timeoutMs = 10000);

    // Writes out what is pending and stops the writer (at exit). What cannot
    // be written even then, after one more try, is kept in a file beside the
    // history ("<file>.unsaved"), which the next start adds to it. A later
    // record starts the writer again.
    void close();

    // The extra draw chances for an exercise under a clef setting (0..3),
    // from every answer handed over so far. All zero without history. The
    // first call waits for the file to be opened and read (a few ms).
    PracticeChances practiceChances(int clef);

    // False once the file could not be opened nor replaced: the answers of
    // this run are then kept in memory only.
    bool isWritable() const;

    // Deletes one exercise with its answers, or the whole history, for good;
    // the practice memory forgets them too. False with a reason when the file
    // could not be changed (nothing is deleted then).
    bool forgetExercise(qint64 sessionId, QString* error = nullptr);
    bool forgetAll(QString* error = nullptr);

signals:
    // Something the user should hear of, in a sentence of their language
    // (a damaged file set aside and where it went, a file that cannot be
    // opened or written, answers kept beside the history at quit or read back
    // from there). Each failure is raised once per store; each file set
    // aside, and each keeping or reading back, once each time. Emitted on the writer's thread: connect with a
    // queued or auto connection to show it.
    void notice(const QString& text);

private:
    bool forget(qint64 sessionId, QString* error);
    struct Writer;
    std::unique_ptr<Writer> d;
};

} // namespace tonvero::history
