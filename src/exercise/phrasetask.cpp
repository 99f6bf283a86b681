// SPDX-License-Identifier: GPL-3.0-or-later
#include "exercise/phrasetask.h"

#include "settings/preferences.h"

#include <algorithm>

namespace tonvero {

LineOptions LineOptions::from(const Preferences& prefs, bool microphone)
{
    const PhraseSettings& s = prefs.phrase;
    LineOptions o;
    o.level = music::Level(std::clamp(s.nPhraseLevel, 0, 2));
    o.keys.clear();
    for (int minor = 0; minor < 2; ++minor)
        for (int fifths = -7; fifths <= 7; ++fifths)
            if (std::uint32_t(s.nPhraseKeys) & (1u << PhraseSettings::keyBit(fifths, minor)))
                o.keys.emplace_back(fifths, minor ? music::Mode::Minor : music::Mode::Major);
    if (o.keys.empty())
        o.keys.emplace_back();
    o.keyPerLine = s.bPhraseKeyPerLine != 0;
    o.time.meter = music::Meter(std::clamp(s.nPhraseTime, 0, 3));
    o.bars = std::clamp(s.nPhraseBars, 1, 4);
    o.grandStaff = prefs.nClef == 3;
    for (int st = 0; st < 2; ++st)
        o.ranges[st] = music::KeyRange{prefs.rangeLow(st), prefs.rangeHigh(st)};
    o.maxChordNotes = std::clamp(s.nPhraseChordNotes, 1, 4);
    // The microphone hears one note at a time: chords come as arpeggios, or not at all.
    if (microphone && s.nMicChords == PhraseSettings::MicNoChords)
        o.maxChordNotes = 1;
    o.rests = s.bPhraseRests != 0;
    return o;
}

void PhraseTask::start(const LineOptions& options, std::mt19937& random, const music::KeyWeights* weights)
{
    m_lines.clear();
    m_piecePlayed = false;
    m_options = options;
    m_key = music::drawKey(options.keys, options.level, random);
    m_phrase = {};
    nextLine(random, weights);
}

void PhraseTask::startLines(std::vector<piece::PieceLine> lines, bool repeat)
{
    m_lines = std::move(lines);
    m_repeat = repeat;
    m_line = 0;
    m_piecePlayed = m_lines.empty();
    if (m_lines.empty())
        clear();
    else
        showLine(m_lines.front().phrase);
}

const piece::PieceLine* PhraseTask::pieceLine() const
{
    return m_lines.empty() ? nullptr : &m_lines[std::size_t(m_line)];
}

int PhraseTask::pieceBar() const
{
    const piece::PieceLine* line = pieceLine();
    const int bar = currentBar();
    return line && bar >= 0 ? line->firstBar + bar : -1;
}

void PhraseTask::showLine(const music::Phrase& phrase)
{
    m_phrase = phrase;
    m_key = phrase.key;
    m_cursor = 0;
    m_played.clear();
    m_missed = false;
    m_windowOpen = false;
    skipRests();
}

void PhraseTask::nextLine(std::mt19937& random, const music::KeyWeights* weights)
{
    if (!m_lines.empty()) {
        if (m_line + 1 < int(m_lines.size()))
            ++m_line;
        else if (m_repeat)
            m_line = 0;
        else {
            m_piecePlayed = true;
            return;
        }
        showLine(m_lines[std::size_t(m_line)].phrase);
        return;
    }
    if (m_options.keyPerLine && !m_phrase.bars.empty())
        m_key = music::drawKey(m_options.keys, m_options.level, random);
    music::PhraseRequest request;
    request.level = m_options.level;
    request.key = m_key;
    request.time = m_options.time;
    request.bars = m_options.bars;
    request.grandStaff = m_options.grandStaff;
    request.ranges = m_options.ranges;
    request.maxChordNotes = m_options.maxChordNotes;
    request.rests = m_options.rests;
    request.weights = weights;
    m_phrase = music::generatePhrase(request, random);
    m_cursor = 0;
    m_played.clear();
    m_missed = false;
    m_windowOpen = false;
    skipRests();
}

void PhraseTask::clear()
{
    m_lines.clear();
    m_line = 0;
    m_piecePlayed = false;
    m_phrase = {};
    m_cursor = 0;
    m_played.clear();
    m_missed = false;
    m_windowOpen = false;
}

int PhraseTask::currentBar() const
{
    int index = m_cursor;
    for (int b = 0; b < int(m_phrase.bars.size()); ++b) {
        const int n = int(m_phrase.bars[b].events.size());
        if (index < n)
            return b;
        index -= n;
    }
    return -1;
}

std::vector<int> PhraseTask::expected() const
{
    std::vector<int> notes;
    if (const music::Event* e = current())
        for (const music::Note& n : e->notes)
            notes.push_back(n.pitch.midi());
    std::sort(notes.begin(), notes.end());
    notes.erase(std::unique(notes.begin(), notes.end()), notes.end());
    return notes;
}

std::vector<int> PhraseTask::missing() const
{
    std::vector<int> notes = expected();
    std::erase_if(notes, [this](int n) { return std::find(m_played.begin(), m_played.end(), n) != m_played.end(); });
    return notes;
}

const music::Note* PhraseTask::noteFor(int midi) const
{
    if (const music::Event* e = current())
        for (const music::Note& n : e->notes)
            if (n.pitch.midi() == midi)
                return &n;
    return nullptr;
}

int PhraseTask::staff() const
{
    const std::vector<int> left = missing();
    const std::vector<int> all = expected();
    const int midi = !left.empty() ? left.front() : !all.empty() ? all.front() : -1;
    const music::Note* n = noteFor(midi);
    return n ? n->staff : 0;
}

PhraseTask::Outcome PhraseTask::press(int note, bool together, qint64 ms)
{
    const std::vector<int> all = expected();
    if (all.empty())
        return Outcome::Ignored;
    if (std::find(all.begin(), all.end(), note) == all.end()) {
        const bool again = m_missed;
        m_missed = true;
        return again ? Outcome::WrongAgain : Outcome::Wrong;
    }
    // The last try fell apart before its window was closed: it is a miss,
    // and this note starts the next one.
    Outcome late = Outcome::Ignored;
    if (together && m_windowOpen && ms - m_windowStart > ChordWindowMs)
        late = windowEnded();
    if (std::find(m_played.begin(), m_played.end(), note) != m_played.end())
        return late;

    if (together && all.size() > 1) {
        if (!m_windowOpen) {
            m_windowOpen = true;
            m_windowStart = ms;
        }
    }
    m_played.push_back(note);
    if (m_played.size() >= all.size()) {
        m_windowOpen = false;
        return late == Outcome::Ignored ? Outcome::Complete : late;
    }
    return late == Outcome::Ignored ? Outcome::Partial : late;
}

PhraseTask::Outcome PhraseTask::windowEnded()
{
    if (!m_windowOpen)
        return Outcome::Ignored;
    m_windowOpen = false;
    if (m_played.size() >= expected().size())
        return Outcome::Ignored;
    m_played.clear();
    m_missed = true;
    return Outcome::NotTogether;
}

void PhraseTask::advance()
{
    ++m_cursor;
    m_played.clear();
    m_missed = false;
    m_windowOpen = false;
    skipRests();
}

void PhraseTask::skipRests()
{
    while (const music::Event* e = current()) {
        if (!e->isRest())
            break;
        ++m_cursor;
    }
}

} // namespace tonvero
