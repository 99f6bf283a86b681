// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Recognises played notes in a mono signal: a note counts once its pitch has
// stayed within a tolerance for a hold time. One sustained note is one note,
// however long it rings; a new attack of the same note is a new note. Pitch
// comes from YIN's difference function, computed with aubio's FFT, at four
// window lengths (short windows answer quickly, the long one hears the
// lowest bass notes); attacks from aubio's onset detector together with the
// rise of the signal's level.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace pitch {

struct DetectorSettings {
    double referenceA4Hz = 440.0; // tuning of A4
    int holdMs = 20;              // how long a pitch must hold before it counts
    int toleranceCents = 35;      // how far it may wander while it holds
    double silenceDb = -55.0;     // signal level (dBFS RMS) below which nothing is heard
    int lowestNote = 21;          // A0
    int highestNote = 108;        // C8

    // Values out of their ranges are brought into them.
    DetectorSettings normalized() const;
};

struct NoteEvent {
    enum class Kind { Started, Ended };
    Kind kind = Kind::Started;
    std::int64_t onsetSample = 0;  // where the note began (its attack, as well as can be told)
    std::int64_t reportSample = 0; // the input position at which it was recognised or ended
    int note = -1;                 // sounding MIDI note at the reference tuning
    double cents = 0.0;            // the pitch's distance from that note
    double levelDb = -120.0;       // signal level when recognised
};

class NoteDetector {
public:
    // Any sample rate from 8000 to 192000 Hz.
    explicit NoteDetector(int sampleRate, const DetectorSettings& settings = {});
    ~NoteDetector();
    NoteDetector(const NoteDetector&) = delete;
    NoteDetector& operator=(const NoteDetector&) = delete;

    // False when aubio cannot be loaded or the rate is unusable; errorString says why.
    bool isValid() const;
    std::string errorString() const;

    int sampleRate() const;
    int hopSize() const;
    const DetectorSettings& settings() const;

    // Feeds samples in; events found are appended in order.
    void process(const float* samples, std::size_t count, std::vector<NoteEvent>& events);
    // Forgets everything heard; positions start again at zero.
    void reset();

    std::int64_t position() const;
    // What is heard now, for a live display: the level of the last hop (dBFS),
    // the note whose pitch holds now (-1 for none) and its cents.
    double levelDb() const;
    int heardNote() const;
    double heardCents() const;

    // Frequency of a (fractional) MIDI note at a tuning, and back.
    static double noteToHz(double note, double a4Hz);
    static double hzToNote(double hz, double a4Hz);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace pitch
