// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "music/phrasegenerator.h"
#include "piece/piecelines.h"

#include <QtGlobal>
#include <random>
#include <vector>

namespace tonvero {

class Preferences;

// How the lines of a phrase exercise are written.
struct LineOptions {
    music::Level level = music::Level::Easy;
    std::vector<music::Key> keys{music::Key{}};
    bool keyPerLine = false;
    music::TimeSignature time;
    int bars = 2;
    bool grandStaff = false;
    std::array<music::KeyRange, 2> ranges{};
    int maxChordNotes = 1;
    bool rests = true;

    // From the settings; with the microphone as an input, chords may be left out.
    static LineOptions from(const Preferences& prefs, bool microphone);
};

// The line being played and the place in it: which event is next, which of
// its notes were played, whether it was missed. It decides nothing about
// counts, marks or timers; the exercise does.
class PhraseTask {
public:
    // A MIDI chord counts when all its Note Ons come within this time.
    static constexpr qint64 ChordWindowMs = 150;

    enum class Outcome {
        Ignored,     // a note of the event already played, or no event
        Partial,     // a note of a chord; more to come
        Complete,    // the event's last note: it is answered
        Wrong,       // a note not in the event, the event's first miss
        WrongAgain,  // another miss on an event already missed
        NotTogether, // a MIDI chord whose notes came too far apart; counts as a miss
    };

    // Draws the key (unless kept) and the first line.
    void start(const LineOptions& options, std::mt19937& random, const music::KeyWeights* weights);
    // The lines of a piece instead of drawn ones; with repeat, the first follows the last.
    void startLines(std::vector<piece::PieceLine> lines, bool repeat);
    // The next line, in a new key when the options say so; a piece's next one.
    void nextLine(std::mt19937& random, const music::KeyWeights* weights);
    void clear();

    bool fromPiece() const { return !m_lines.empty(); }
    // The piece's line shown; null outside a piece.
    const piece::PieceLine* pieceLine() const;
    // The piece's bar (0-based from its start) of the current event; −1 outside a piece.
    int pieceBar() const;
    // The last line was played through and the piece does not repeat.
    bool piecePlayed() const { return m_piecePlayed; }

    const music::Phrase& phrase() const { return m_phrase; }
    const music::Key& key() const { return m_key; }
    int cursor() const { return m_cursor; }
    const music::Event* current() const { return m_phrase.eventAt(m_cursor); }
    int currentBar() const;
    bool lineDone() const { return current() == nullptr; }
    bool missed() const { return m_missed; }

    // The current event's notes as MIDI numbers, low to high; those not played yet.
    std::vector<int> expected() const;
    std::vector<int> missing() const;
    // The staff of the current event's lowest missing note (its first note when all are played).
    int staff() const;
    const music::Note* noteFor(int midi) const;

    // A note pressed; together: it comes from a device that sounds chords at
    // once (a MIDI keyboard), at ms on a monotonic clock.
    Outcome press(int note, bool together, qint64 ms);
    // The window of a MIDI chord ran out: NotTogether when it is incomplete
    // (the notes played are forgotten), else Ignored.
    Outcome windowEnded();
    bool windowOpen() const { return m_windowOpen; }
    qint64 windowStart() const { return m_windowStart; }
    // To the next event that has notes; past the last one lineDone() holds.
    void advance();
    // The notes played so far are forgotten (a wrong chord is played again).
    void forgetPlayed() { m_played.clear(); m_windowOpen = false; }

private:
    void skipRests();
    void showLine(const music::Phrase& phrase);

    LineOptions m_options;
    music::Key m_key;
    music::Phrase m_phrase;
    int m_cursor = 0;
    std::vector<int> m_played;
    bool m_missed = false;
    bool m_windowOpen = false;
    qint64 m_windowStart = 0;

    std::vector<piece::PieceLine> m_lines;
    int m_line = 0;
    bool m_repeat = false;
    bool m_piecePlayed = false;
};

} // namespace tonvero
