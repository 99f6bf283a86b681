// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A plausible learner's history, for pictures and benchmarks: practice on
// most days, a few exercises a day in the four clef settings, answers from
// several instruments, notes with ledger lines and accidentals read slower
// and missed more often, and the whole getting better week by week.

#include "history/answerrecord.h"

#include <QDateTime>
#include <QString>
#include <QVector>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

namespace historysim {

struct Options {
    int days = 28;
    int answersPerExercise = 70;
    std::uint32_t seed = 1;
    qint64 endMs = 0; // 0: now
};

struct Totals {
    int exercises = 0;
    int answers = 0;
};

namespace detail {

inline bool black(int key)
{
    switch ((key + 9) % 12) {
    case 1: case 3: case 6: case 8: case 10:
        return true;
    default:
        return false;
    }
}

// How hard a note is to read on its staff: ledger lines and accidentals cost,
// and a few notes this learner simply confuses.
inline double hardness(int clef, int staff, int key)
{
    const int midi = key + 21;
    double h = 0;
    const bool lower = clef == 1 || (clef == 3 && staff == 1);
    const int low = lower ? 43 : clef == 2 ? 53 : 64;  // bottom line: G2, F3, E4
    const int high = lower ? 57 : clef == 2 ? 67 : 77; // top line: A3, G4, F5
    if (midi < low)
        h += (low - midi) / 4.0;
    if (midi > high)
        h += (midi - high) / 4.0;
    if (black(key))
        h += 0.8;
    if (midi == 65 || midi == 71 || midi == 50 || midi == 47)
        h += 1.5; // F4, B4, D3, B2
    return h;
}

} // namespace detail

// Hands the history to the listener, oldest first, as the engine would.
inline Totals simulate(tonvero::AnswerListener& listener, const Options& options)
{
    using namespace tonvero;
    std::mt19937 rng(options.seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    const qint64 endMs = options.endMs > 0 ? options.endMs : QDateTime::currentMSecsSinceEpoch();
    const QDate lastDay = QDateTime::fromMSecsSinceEpoch(endMs).date();
    Totals totals;

    for (int d = options.days - 1; d >= 0; --d) {
        if (unit(rng) < 0.15)
            continue; // a day off
        const QDate day = lastDay.addDays(-d);
        // Progress over the whole history: 0 at the start, 1 at the end.
        const double progress = options.days > 1 ? 1.0 - double(d) / (options.days - 1) : 1.0;
        const int exercises = 1 + int(unit(rng) * 3);
        qint64 t = QDateTime(day, QTime(17, 0)).toMSecsSinceEpoch() + qint64(unit(rng) * 3 * 3600 * 1000);
        for (int e = 0; e < exercises; ++e) {
            const double pick = unit(rng);
            const int clef = pick < 0.45 ? 3 : pick < 0.75 ? 0 : pick < 0.95 ? 1 : 2;
            const double m = unit(rng);
            const ExerciseMode mode = m < 0.7 ? ExerciseMode::Training : m < 0.95 ? ExerciseMode::Exam
                                                                                  : ExerciseMode::Hint;
            const double s = unit(rng);
            const AnswerSource source = s < 0.5 ? AnswerSource::Piano : s < 0.85 ? AnswerSource::Midi
                                         : s < 0.95 ? AnswerSource::ComputerKeyboard
                                                    : AnswerSource::Guitar;
            ExerciseRecord ex;
            ex.sessionId = t;
            ex.startMs = t;
            ex.mode = mode;
            ex.examMinutes = mode == ExerciseMode::Exam ? 2 + int(unit(rng) * 3) : 0;
            listener.exerciseStarted(ex);
            ++totals.exercises;

            const int count = std::max(10, int(options.answersPerExercise * (0.7 + 0.6 * unit(rng))));
            for (int i = 0; i < count; ++i) {
                const int staff = clef == 3 && unit(rng) < 0.5 ? 1 : 0;
                const bool lower = clef == 1 || staff == 1;
                const int lowKey = lower ? 15 : clef == 2 ? 27 : 37;
                const int highKey = lower ? 41 : clef == 2 ? 51 : 62;
                const int key = lowKey + int(unit(rng) * (highKey - lowKey + 1));
                const double hard = detail::hardness(clef, staff, key);
                const double errorChance = std::clamp(0.02 + (0.05 + 0.07 * hard) * (1.1 - progress), 0.0, 0.6);
                const bool right = unit(rng) >= errorChance;
                const double medianMs = (1150 + 380 * hard) * (1.45 - 0.5 * progress);
                int response = int(medianMs * std::exp(0.32 * normal(rng)) * (right ? 1.0 : 1.3));
                response = std::clamp(response, 250, 30000);
                t += response;

                AnswerRecord a;
                a.timeMs = t;
                a.sessionId = ex.sessionId;
                a.clef = clef;
                a.staff = staff;
                a.shownNote = key + 21;
                a.spelling = detail::black(key) ? (unit(rng) < 0.5 ? Spelling::Sharp : Spelling::Flat)
                                                : Spelling::Natural;
                a.source = source;
                a.right = mode == ExerciseMode::Hint ? unit(rng) > 0.03 : right;
                const int slips[] = {-2, -1, 1, 2, 12, -12};
                a.playedNote = a.right ? key + 21 : key + 21 + slips[int(unit(rng) * 6) % 6];
                if (!a.right && source == AnswerSource::ComputerKeyboard)
                    a.playedNote = -1;
                a.responseMs = response;
                a.mode = mode;
                listener.answered(a);
                ++totals.answers;
                if (!a.right)
                    ++ex.errors;
                ++ex.notes;
                t += 250 + int(unit(rng) * 200);
            }
            ex.endMs = t;
            ex.examCompleted = mode == ExerciseMode::Exam && unit(rng) < 0.8;
            listener.exerciseEnded(ex);
            t += qint64((2 + unit(rng) * 10) * 60 * 1000);
        }
    }
    return totals;
}

// A learner practising one piece of `bars` bars: a few run-throughs, the bars
// in `hard` missed and read slowly, and a pair of bars at the end never reached.
struct PieceOptions {
    QString id = QStringLiteral("3e5c0a9d71f2b846");
    QString title;
    int bars = 48;
    QVector<int> hard; // 0-based
    int runs = 6;
    std::uint32_t seed = 1;
    qint64 endMs = 0;
};

inline Totals simulatePiece(tonvero::AnswerListener& listener, const PieceOptions& options)
{
    using namespace tonvero;
    std::mt19937 rng(options.seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    const qint64 endMs = options.endMs > 0 ? options.endMs : QDateTime::currentMSecsSinceEpoch();
    Totals totals;
    for (int run = 0; run < options.runs; ++run) {
        qint64 t = endMs - qint64(options.runs - run) * 24 * 3600 * 1000;
        ExerciseRecord ex;
        ex.sessionId = t;
        ex.startMs = t;
        ex.kind = ExerciseKind::Piece;
        ex.pieceId = options.id;
        ex.pieceTitle = options.title;
        ex.pieceBars = options.bars;
        listener.exerciseStarted(ex);
        ++totals.exercises;
        const double progress = options.runs > 1 ? double(run) / (options.runs - 1) : 1.0;
        // The last bars are left for another day.
        for (int bar = 0; bar < options.bars - 2; ++bar) {
            const bool hard = options.hard.contains(bar);
            const int notes = 3 + int(unit(rng) * 4);
            for (int n = 0; n < notes; ++n) {
                const double errorChance = (hard ? 0.55 : 0.06) * (1.2 - 0.4 * progress);
                const bool right = unit(rng) >= errorChance;
                const double medianMs = (hard ? 2600 : 1100 + 25 * (bar % 7)) * (1.3 - 0.3 * progress);
                const int response = std::clamp(int(medianMs * std::exp(0.3 * normal(rng))), 250, 30000);
                t += response;
                AnswerRecord a;
                a.timeMs = t;
                a.sessionId = ex.sessionId;
                a.clef = 3;
                a.staff = n % 2;
                a.shownNote = (n % 2 ? 48 : 67) + int(unit(rng) * 7);
                a.playedNote = right ? a.shownNote : a.shownNote + 2;
                a.source = AnswerSource::Midi;
                a.right = right;
                a.responseMs = response;
                a.kind = ExerciseKind::Piece;
                a.keyFifths = 1;
                a.linePosition = n;
                a.bar = bar;
                a.pieceId = options.id;
                listener.answered(a);
                ++totals.answers;
                ++ex.notes;
                ex.errors += right ? 0 : 1;
            }
        }
        ex.endMs = t + 1000;
        listener.exerciseEnded(ex);
    }
    return totals;
}

} // namespace historysim
