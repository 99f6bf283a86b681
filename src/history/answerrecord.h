// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the exercise engine tells whoever listens: one record per answer and
// one per exercise. Plain values only, so a listener may copy them to another
// thread; nothing here refers back to the window.

#include <QString>

#include <cstdint>

namespace tonvero {

// Where a note came from. Stored by number: append new sources, never renumber.
enum class AnswerSource : std::uint8_t {
    Piano = 0,
    Guitar = 1,
    Bass = 2,
    ComputerKeyboard = 3,
    Midi = 4,
    Microphone = 5,
};

// Stored by number, as AnswerSource.
enum class ExerciseMode : std::uint8_t { Hint = 0, Training = 1, Exam = 2 };

// Which exercise an answer belongs to. Stored by number, as AnswerSource.
enum class ExerciseKind : std::uint8_t { SingleNote = 0, Phrase = 1, Piece = 2 };

// How the stave wrote the note: a white key is natural, a black key a sharp or a flat.
enum class Spelling : std::uint8_t { Natural = 0, Sharp = 1, Flat = 2 };

struct AnswerRecord {
    std::int64_t timeMs = 0;      // wall clock, ms since the Unix epoch, when answered
    std::int64_t sessionId = 0;   // ExerciseRecord::sessionId of the running exercise
    int clef = 3;                 // 0 treble, 1 bass, 2 alto, 3 treble with bass
    int staff = 0;                // 0 single or upper staff, 1 lower staff
    int shownNote = -1;           // MIDI note number on the stave
    Spelling spelling = Spelling::Natural;
    int playedNote = -1;          // MIDI note number; −1: a computer key of the wrong pitch class
    AnswerSource source = AnswerSource::Piano;
    bool right = false;           // hint mode: whether the played note was the shown one
    int responseMs = 0;           // from the note appearing to the answer, pauses and message boxes excluded
    ExerciseMode mode = ExerciseMode::Training;
    ExerciseKind kind = ExerciseKind::SingleNote;
    // Lines of music: the key signature (−7 seven flats .. +7 seven sharps)
    // and mode, the event's place in the line (0-based, as the cursor counts)
    // and its bar (0-based), and how many notes sound together there.
    // A single note: key 0 major, position and bar −1, one note.
    int keyFifths = 0;
    bool keyMinor = false;
    int linePosition = -1;
    int bar = -1;
    int chordNotes = 1;
    // A piece: its id (the same file gives the same id); bar then counts from the piece's start.
    QString pieceId;
};

struct ExerciseRecord {
    std::int64_t sessionId = 0;   // unique per exercise: its start, ms since the epoch
    std::int64_t startMs = 0;
    std::int64_t endMs = 0;       // 0 while it runs
    ExerciseMode mode = ExerciseMode::Training;
    ExerciseKind kind = ExerciseKind::SingleNote;
    int examMinutes = 0;          // exam length; 0 outside exams
    int notes = 0;
    int errors = 0;
    bool examCompleted = false;   // the exam ran out its time (not stopped by hand)
    // A piece practised: its id, its title (or file name) and how many bars it has.
    QString pieceId;
    QString pieceTitle;
    int pieceBars = 0;
};

// Called on the GUI thread, inside the answer step: return quickly and never
// block (hand the record to a worker).
class AnswerListener {
public:
    virtual ~AnswerListener() = default;
    virtual void exerciseStarted(const ExerciseRecord& exercise) = 0;
    virtual void answered(const AnswerRecord& answer) = 0;
    // A good moment to write out what is pending (pause, stop, exit).
    virtual void exercisePaused(const ExerciseRecord& exercise) = 0;
    virtual void exerciseEnded(const ExerciseRecord& exercise) = 0;
};

} // namespace tonvero
