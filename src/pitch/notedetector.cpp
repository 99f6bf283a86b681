// SPDX-License-Identifier: GPL-3.0-or-later
#include "pitch/notedetector.h"

#include "pitch/aubiolib.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <numbers>


namespace pitch {

namespace {

constexpr int kMinRate = 8000;
constexpr int kMaxRate = 192000;
constexpr double kFloorDb = -120.0;

// Analysis timing in seconds; sizes are the nearest powers of two at the rate.
constexpr double kHopSec = 0.0058;
constexpr double kShortWindowSec = 0.0116;
constexpr int kTiers = 4; // window = short × 1, 2, 4, 8
// A window is not asked until this share of it has passed since an attack:
// short windows early, for speed; long ones, which decide the low notes,
// only once the attack has passed through them entirely.
constexpr std::array<double, 4> kFreshShare = {0.6, 0.6, 0.75, 1.0};
// The level is measured over about one period of the lowest bass string.
constexpr double kLevelWindowSec = 0.0232;

// YIN confidence (1 − the dip of the difference function) a pitch needs.
constexpr float kMinConfidence = 0.8f;
// A pitch this sure earns its full hop of hold; a less sure one less, so a
// doubtful pitch must hold longer.
constexpr float kSureConfidence = 0.9f;
// An attack: the level jumps within a few hops, or aubio hears an onset while
// the level rises over a longer stretch. Swells and the beating of an
// ensemble rise more slowly.
constexpr double kFastRiseDb = 10.0;
constexpr int kFastRiseHops = 3;
constexpr double kOnsetRiseDb = 8.0;
constexpr double kSlowRiseSec = 0.06;
constexpr double kSlowRiseDb = 16.0; // a slow attack (bowed, blown), by itself
constexpr double kSoftRiseDb = 5.0;
constexpr double kSoftOnsetRiseDb = 3.0;
// The rise over the quietest recent level where an attack is taken to begin.
constexpr double kOnsetStepDb = 3.0;
// Attacks closer than this are one attack.
constexpr double kAttackGapSec = 0.08;
// No second attack of the same note this soon after it was recognised.
constexpr double kRefractorySec = 0.06;
// Quiet this long re-arms the same note.
constexpr double kQuietHysteresisDb = 6.0;
constexpr double kQuietRearmSec = 0.04;
// A note ends after this long without its pitch.
constexpr double kLostPitchSec = 0.15;
// A pitch this far past the middle between two notes is needed to leave the
// note that rings (in semitones), so a note sung between two does not flap.
constexpr double kHysteresis = 0.2;
// A change to another note without an attack needs a strong signal and a
// longer hold, and is not taken when it could be an octave slip of the
// ringing note.
constexpr double kLegatoLevelDropDb = 20.0;
constexpr double kLegatoHoldFactor = 4.0;
// How far from a note (in semitones) a pitch is ambiguous, and how much
// longer such a pitch must hold.
constexpr double kAmbiguousShare = 0.4;
constexpr double kAmbiguousHoldFactor = 3.0;
// Run points kept; more than any hold needs.
constexpr std::size_t kMaxRun = 96;

int powerOfTwoNear(double x)
{
    int p = 1;
    while (p * 2 <= x * 1.41)
        p *= 2;
    return p;
}

bool octaveRelated(int a, int b)
{
    const int d = std::abs(a - b);
    return d == 12 || d == 19 || d == 24 || d == 28 || d == 31 || d == 36;
}

// Keeps the last samples of a stream.
class History {
public:
    void reset(std::size_t size)
    {
        m_data.assign(size, 0.f);
        m_pos = 0;
    }
    void push(float v)
    {
        m_data[m_pos] = v;
        m_pos = (m_pos + 1) % m_data.size();
    }
    // The last n samples (n ≤ size), oldest first.
    void copyLast(float* out, std::size_t n) const
    {
        std::size_t from = (m_pos + m_data.size() - n) % m_data.size();
        for (std::size_t i = 0; i < n; ++i) {
            out[i] = m_data[from];
            from = from + 1 == m_data.size() ? 0 : from + 1;
        }
    }

private:
    std::vector<float> m_data;
    std::size_t m_pos = 0;
};

// Halves the sample rate: a windowed-sinc low-pass, then every second sample.
class Decimator {
public:
    static constexpr int kTaps = 31;

    Decimator()
    {
        constexpr int mid = kTaps / 2;
        double sum = 0;
        for (int i = 0; i < kTaps; ++i) {
            const double n = i - mid;
            const double sinc = n == 0 ? 1.0 : std::sin(std::numbers::pi * 0.45 * n) / (std::numbers::pi * 0.45 * n);
            const double blackman = 0.42 - 0.5 * std::cos(2 * std::numbers::pi * i / (kTaps - 1))
                + 0.08 * std::cos(4 * std::numbers::pi * i / (kTaps - 1));
            m_taps[std::size_t(i)] = sinc * blackman;
            sum += m_taps[std::size_t(i)];
        }
        for (double& t : m_taps)
            t /= sum;
    }
    void reset()
    {
        m_line.fill(0.0);
        m_pos = 0;
        m_odd = false;
    }
    // True when an output sample is ready in *out.
    bool push(float v, float* out)
    {
        m_line[m_pos] = v;
        m_pos = (m_pos + 1) % kTaps;
        m_odd = !m_odd;
        if (m_odd)
            return false;
        double acc = 0;
        std::size_t k = m_pos;
        for (int i = 0; i < kTaps; ++i) {
            acc += m_taps[std::size_t(i)] * m_line[k];
            k = k + 1 == kTaps ? 0 : k + 1;
        }
        *out = float(acc);
        return true;
    }

private:
    std::array<double, kTaps> m_taps{};
    std::array<double, kTaps> m_line{};
    std::size_t m_pos = 0;
    bool m_odd = false;
};

} // namespace

DetectorSettings DetectorSettings::normalized() const
{
    DetectorSettings s = *this;
    if (!std::isfinite(s.referenceA4Hz))
        s.referenceA4Hz = 440.0;
    s.referenceA4Hz = std::clamp(s.referenceA4Hz, 380.0, 500.0);
    s.holdMs = std::clamp(s.holdMs, 10, 500);
    s.toleranceCents = std::clamp(s.toleranceCents, 5, 100);
    if (!std::isfinite(s.silenceDb))
        s.silenceDb = -55.0;
    s.silenceDb = std::clamp(s.silenceDb, -100.0, -10.0);
    s.lowestNote = std::clamp(s.lowestNote, 12, 120);
    s.highestNote = std::clamp(s.highestNote, s.lowestNote, 120);
    return s;
}

struct NoteDetector::Private {
    struct Point {
        std::int64_t at;
        double note; // fractional
        double weight; // how much of a hop's hold it earns, by the confidence
    };

    const aubio::Library* lib = nullptr;
    std::string error;
    int rate = 0;
    DetectorSettings settings;

    int hop = 0;
    // The windows, shortest first: two at the input rate, then one each at a
    // half and a quarter of it, so the long ones cost no more than the short.
    struct Tier {
        aubio::Yin* yin = nullptr;
        int size = 0;   // samples at the tier's rate
        int factor = 1; // input rate ÷ tier rate
        int span = 0;   // the window's length in input samples
    };
    std::array<Tier, kTiers> tiers{};
    std::array<History, 3> history; // input rate, half, quarter
    Decimator toHalf, toQuarter;
    std::vector<float> scratch;
    aubio::Onset* onset = nullptr;

    std::vector<float> hopBuffer;
    std::size_t hopFill = 0;
    std::int64_t consumed = 0; // samples processed in whole hops
    double dcState = 0.0, dcPrevIn = 0.0;

    // Level as a running sum of squares over the level window.
    std::vector<float> levelRing;
    std::size_t levelPos = 0;
    double levelSum = 0.0;
    std::deque<double> recentLevels; // one per hop before this one, newest last
    double level = kFloorDb;
    std::int64_t lastAttack = -1; // where the last attack began
    std::int64_t attackSeen = -1; // the hop it was recognised in
    std::int64_t clearSeen = -1;  // the same, for the last clear attack
    std::int64_t quietSince = -1;

    // The run of hops whose pitch stays within the tolerance.
    std::deque<Point> run;
    std::int64_t runStart = 0;
    double runWeight = 0.0; // hops of hold earned
    int runMisses = 0;

    // The note ringing now (-1 when none) and the last one recognised.
    int current = -1;
    std::int64_t currentOnset = 0;
    double currentPeak = kFloorDb;
    std::int64_t lastPitchSeen = 0;
    int lastNote = -1;
    double lastPeak = kFloorDb;
    std::int64_t lastReport = -1;
    // Whether an attack (or quiet) came since the last note was recognised:
    // then any note may start, the same one included.
    bool armed = true;
    // Whether a softer attack came: then another note may start at once.
    bool armedOther = true;

    int heard = -1;
    double heardCents = 0.0;

    std::int64_t samples(double sec) const { return std::int64_t(std::llround(sec * rate)); }

    void clearRun()
    {
        run.clear();
        runWeight = 0.0;
    }
    void create();
    void destroy();
    void clearState();
    void runHop(std::vector<NoteEvent>& events);
    double estimate(float* confidence);
    void endCurrent(std::int64_t at, std::vector<NoteEvent>& events);
    void report(int note, double frac, std::int64_t at, std::vector<NoteEvent>& events);
};

void NoteDetector::Private::create()
{
    if (rate < kMinRate || rate > kMaxRate) {
        error = "unsupported sample rate " + std::to_string(rate) + " Hz";
        return;
    }
    lib = aubio::Library::get(&error);
    if (!lib)
        return;
    hop = powerOfTwoNear(kHopSec * rate);
    const int shortWindow = powerOfTwoNear(kShortWindowSec * rate);
    for (std::size_t i = 0; i < kTiers; ++i) {
        Tier& t = tiers[i];
        t.size = i == 0 ? shortWindow : 2 * shortWindow;
        t.factor = i < 2 ? 1 : 1 << (i - 1);
        t.span = t.size * t.factor;
        t.yin = lib->newYin(unsigned(t.size));
        if (!t.yin) {
            error = "aubio cannot make a pitch detector";
            destroy();
            return;
        }
        // Every period we accept is then YIN's first dip, never its fallback
        // to the deepest one, which is often a multiple of the period.
        lib->setYinTolerance(t.yin, 1.f - kMinConfidence);
    }
    for (History& h : history)
        h.reset(std::size_t(2 * shortWindow));
    scratch.assign(std::size_t(2 * shortWindow), 0.f);
    onset = lib->newOnset("specflux", unsigned(2 * shortWindow), unsigned(hop), unsigned(rate));
    if (!onset) {
        error = "aubio cannot make an onset detector";
        destroy();
        return;
    }
    lib->setOnsetSilence(onset, float(settings.silenceDb));
    lib->setOnsetMinIoiMs(onset, 50.f);
    hopBuffer.assign(std::size_t(hop), 0.f);
    levelRing.assign(std::size_t(powerOfTwoNear(kLevelWindowSec * rate)), 0.f);
    clearState();
}

void NoteDetector::Private::destroy()
{
    if (!lib)
        return;
    for (Tier& t : tiers) {
        lib->deleteYin(t.yin);
        t.yin = nullptr;
    }
    lib->deleteOnset(onset);
    onset = nullptr;
}

void NoteDetector::Private::clearState()
{
    hopFill = 0;
    consumed = 0;
    for (History& h : history)
        h.reset(scratch.size());
    toHalf.reset();
    toQuarter.reset();
    dcState = dcPrevIn = 0.0;
    std::fill(levelRing.begin(), levelRing.end(), 0.f);
    levelPos = 0;
    levelSum = 0.0;
    recentLevels.clear();
    level = kFloorDb;
    lastAttack = -1;
    attackSeen = -1;
    clearSeen = -1;
    quietSince = -1;
    clearRun();
    runStart = 0;
    runMisses = 0;
    current = -1;
    currentOnset = 0;
    currentPeak = lastPeak = kFloorDb;
    lastPitchSeen = 0;
    lastNote = -1;
    lastReport = -1;
    armed = true;
    armedOther = true;
    heard = -1;
    heardCents = 0.0;
}

double NoteDetector::Private::estimate(float* confidence)
{
    const double lowHz = noteToHz(settings.lowestNote - 0.5, settings.referenceA4Hz);
    const double highHz = noteToHz(settings.highestNote + 0.5, settings.referenceA4Hz);
    // Of the windows that hold the octave below the pitch in their lag range
    // (so the harmonic of a fundamental they cannot see is not taken for the
    // note), the one most sure of its pitch; the longest takes what it hears.
    // Longer windows are asked only while no shorter one is sure.
    double best = 0.0;
    float bestConf = 0.f;
    for (std::size_t i = 0; i < kTiers && bestConf < kSureConfidence; ++i) {
        const Tier& t = tiers[i];
        const double share = kFreshShare[i];
        if (lastAttack >= 0 && consumed - lastAttack < std::int64_t(share * t.span))
            continue;
        const std::size_t level = t.factor == 1 ? 0 : t.factor == 2 ? 1 : 2;
        history[level].copyLast(scratch.data(), std::size_t(t.size));
        const float period = lib->yinPeriod(t.yin, scratch.data(), unsigned(t.size));
        const float conf = lib->yinConfidence(t.yin);
        const double tierRate = double(rate) / t.factor;
        const double f = period > 0.f ? tierRate / period : 0.0;
        if (conf < kMinConfidence || !(f >= lowHz && f <= highHz) || f > tierRate / (t.factor == 1 ? 4 : 8))
            continue;
        const double minHz = 2.0 * tierRate / t.size;
        if ((f >= 2.1 * minHz || (i == kTiers - 1 && f >= 1.1 * minHz)) && conf > bestConf) {
            best = f;
            bestConf = conf;
        }
    }
    *confidence = bestConf;
    return best;
}

void NoteDetector::Private::endCurrent(std::int64_t at, std::vector<NoteEvent>& events)
{
    if (current < 0)
        return;
    NoteEvent e;
    e.kind = NoteEvent::Kind::Ended;
    e.onsetSample = currentOnset;
    e.reportSample = at;
    e.note = current;
    e.levelDb = level;
    events.push_back(e);
    lastPeak = currentPeak;
    current = -1;
}

void NoteDetector::Private::report(int note, double frac, std::int64_t at, std::vector<NoteEvent>& events)
{
    endCurrent(at, events);
    NoteEvent e;
    e.kind = NoteEvent::Kind::Started;
    // The attack that began this run when there was one; else the run's start
    // less the time the shortest window needed to fill.
    std::int64_t onsetAt = runStart - tiers[0].span;
    if (lastAttack >= 0 && lastAttack >= runStart - samples(0.15) && lastAttack <= at)
        onsetAt = lastAttack;
    e.onsetSample = std::max<std::int64_t>(0, onsetAt);
    e.reportSample = at;
    e.note = note;
    e.cents = (frac - note) * 100.0;
    e.levelDb = level;
    events.push_back(e);
    current = lastNote = note;
    currentOnset = e.onsetSample;
    currentPeak = level;
    lastPitchSeen = at;
    lastReport = at;
    armed = false;
    armedOther = false;
}

void NoteDetector::Private::runHop(std::vector<NoteEvent>& events)
{
    const float* x = hopBuffer.data();
    const std::int64_t hopStart = consumed;
    consumed += hop;
    const std::int64_t now = consumed;

    for (int i = 0; i < hop; ++i) {
        const float v = x[i];
        const float old = levelRing[levelPos];
        levelSum += double(v) * v - double(old) * old;
        levelRing[levelPos] = v;
        levelPos = (levelPos + 1) % levelRing.size();
    }
    levelSum = std::max(levelSum, 0.0);
    const double meanSquare = levelSum / double(levelRing.size());
    level = meanSquare > 1e-12 ? 10.0 * std::log10(meanSquare) : kFloorDb;
    // Once quiet, a sound must rise clearly above the threshold to count, so
    // a tail that hovers at the threshold does not start a note again.
    const bool audible = level >= settings.silenceDb + (quietSince >= 0 ? kQuietHysteresisDb : 0.0);

    // Rises against the quietest level of the last few hops and of a longer stretch.
    const double floorDb = settings.silenceDb - 12.0;
    double minFast = level, minSlow = level;
    const auto slowHops = std::size_t(std::max<std::int64_t>(1, samples(kSlowRiseSec) / hop));
    for (std::size_t k = 0; k < recentLevels.size() && k < slowHops; ++k) {
        const double l = recentLevels[recentLevels.size() - 1 - k];
        minSlow = std::min(minSlow, l);
        if (k < std::size_t(kFastRiseHops))
            minFast = std::min(minFast, l);
    }
    recentLevels.push_back(level);
    while (recentLevels.size() > slowHops + 1)
        recentLevels.pop_front();
    const double riseFast = level - std::max(minFast, floorDb);
    const double riseSlow = level - std::max(minSlow, floorDb);

    const bool onsetHit = lib->onsetDo(onset, x, unsigned(hop));
    // An attack is the first hop of a rise, not every hop while it lasts.
    // A clear attack may start the same note again; a softer one (a new note
    // over one still ringing) starts only another note, but both mark where
    // the windows begin to hear the new sound.
    const bool clear = riseFast >= kFastRiseDb || (onsetHit && riseSlow >= kOnsetRiseDb) || riseSlow >= kSlowRiseDb;
    const bool soft = riseFast >= kSoftRiseDb || (onsetHit && riseSlow >= kSoftOnsetRiseDb);
    const bool clearAttack = audible && clear && (clearSeen < 0 || hopStart - clearSeen >= samples(kAttackGapSec));
    const bool attack = clearAttack
        || (audible && soft && (attackSeen < 0 || hopStart - attackSeen >= samples(kAttackGapSec)));
    if (attack) {
        attackSeen = hopStart;
        if (clearAttack)
            clearSeen = hopStart;
        // The attack began where the level first rose from its low point.
        std::size_t quietest = 0;
        for (std::size_t k = 1; k < recentLevels.size(); ++k)
            if (recentLevels[recentLevels.size() - 1 - k] < recentLevels[recentLevels.size() - 1 - quietest])
                quietest = k;
        const double low = recentLevels[recentLevels.size() - 1 - quietest];
        std::size_t began = 0;
        for (std::size_t k = quietest; k-- > 0;)
            if (recentLevels[recentLevels.size() - 1 - k] >= low + kOnsetStepDb) {
                began = k;
                break;
            }
        lastAttack = std::max<std::int64_t>(0, now - std::int64_t(began + 1) * hop);
        if (lastReport < 0 || now - lastReport >= samples(kRefractorySec)) {
            armedOther = true;
            if (clearAttack) {
                armed = true;
                // A repeated note keeps its pitch: its run starts again here.
                clearRun();
            }
        }
    }

    if (!audible) {
        if (quietSince < 0)
            quietSince = hopStart;
        if (now - quietSince >= samples(kQuietRearmSec))
            armed = true;
        if (now - quietSince >= 2 * hop)
            endCurrent(now, events);
    } else {
        quietSince = -1;
    }

    float conf = 0.f;
    const double hz = audible ? estimate(&conf) : 0.0;


    // Follow the run of hops at one pitch; its reference is its recent mean,
    // so vibrato and slow drift stay within it.
    const double tol = settings.toleranceCents / 100.0;
    const std::int64_t holdSamples = samples(settings.holdMs / 1000.0);
    if (hz > 0.0) {
        const double frac = hzToNote(hz, settings.referenceA4Hz);
        const double weight = std::clamp(double(conf - kMinConfidence) / double(kSureConfidence - kMinConfidence), 0.25, 1.0);
        double ref = 0.0;
        std::size_t n = 0;
        for (auto it = run.rbegin(); it != run.rend() && it->at >= now - holdSamples - hop; ++it, ++n)
            ref += it->note;
        if (n > 0 && std::abs(frac - ref / double(n)) <= tol) {
            run.push_back({now, frac, weight});
            runWeight += weight;
            if (run.size() > kMaxRun) {
                runWeight -= run.front().weight;
                run.pop_front();
            }
        } else {
            run.assign(1, {now, frac, weight});
            runWeight = weight;
            runStart = now;
        }
        runMisses = 0;
    } else if (!run.empty() && ++runMisses > 1) {
        clearRun();
    }

    // Stable: held long enough, and not gliding (a scoop into a note, a slide).
    double frac = 0.0;
    bool stable = false;
    if (run.size() >= 3 && runWeight * hop >= holdSamples) {
        double first = 0.0, second = 0.0;
        int nFirst = 0, nSecond = 0;
        const std::int64_t from = now - holdSamples;
        const std::int64_t middle = now - holdSamples / 2;
        for (auto it = run.rbegin(); it != run.rend() && it->at >= from; ++it) {
            if (it->at > middle) {
                second += it->note;
                ++nSecond;
            } else {
                first += it->note;
                ++nFirst;
            }
        }
        if (nFirst > 0 && nSecond > 0) {
            first /= nFirst;
            second /= nSecond;
            stable = std::abs(second - first) <= tol / 2;
            frac = (first * nFirst + second * nSecond) / (nFirst + nSecond);
        }
        // A pitch near the middle between two notes may still be gliding
        // into one of them: it must hold longer before it counts.
        if (std::abs(frac - std::round(frac)) > kAmbiguousShare
            && runWeight * hop < kAmbiguousHoldFactor * double(holdSamples))
            stable = false;
    }
    int note = stable ? int(std::lround(frac)) : -1;
    const int ringing = current >= 0 ? current : lastNote;
    if (stable && ringing >= 0 && std::abs(frac - ringing) < 0.5 + kHysteresis)
        note = ringing;
    heard = note;
    heardCents = stable ? (frac - note) * 100.0 : 0.0;

    if (current >= 0) {
        currentPeak = std::max(currentPeak, level);
        if (note == current)
            lastPitchSeen = now;
        else if (now - lastPitchSeen >= samples(kLostPitchSec))
            endCurrent(now, events);
    }

    if (!stable || note < settings.lowestNote || note > settings.highestNote)
        return;
    if (armed || ringing < 0) {
        report(note, frac, now, events);
        return;
    }
    if (note == ringing)
        return;
    if (armedOther && runStart >= lastAttack && !octaveRelated(note, ringing)) {
        report(note, frac, now, events);
        return;
    }
    // Another note without an attack: a legato change, or the ringing note
    // slipping an octave as it decays.
    const double peak = current >= 0 ? currentPeak : lastPeak;
    if (level < peak - kLegatoLevelDropDb)
        return;
    if (octaveRelated(note, ringing) || runWeight * hop < kLegatoHoldFactor * double(holdSamples))
        return;
    report(note, frac, now, events);
}

NoteDetector::NoteDetector(int sampleRate, const DetectorSettings& settings) : d(std::make_unique<Private>())
{
    d->rate = sampleRate;
    d->settings = settings.normalized();
    d->create();
}

NoteDetector::~NoteDetector()
{
    d->destroy();
}

bool NoteDetector::isValid() const
{
    return d->onset != nullptr;
}

std::string NoteDetector::errorString() const
{
    return d->error;
}

int NoteDetector::sampleRate() const
{
    return d->rate;
}

int NoteDetector::hopSize() const
{
    return d->hop;
}

const DetectorSettings& NoteDetector::settings() const
{
    return d->settings;
}

void NoteDetector::process(const float* samples, std::size_t count, std::vector<NoteEvent>& events)
{
    if (!isValid() || !samples)
        return;
    for (std::size_t i = 0; i < count; ++i) {
        // A DC blocker: some microphones sit off zero, which would read as level.
        double v = samples[i];
        if (!std::isfinite(v))
            v = 0.0;
        const double y = v - d->dcPrevIn + 0.9995 * d->dcState;
        d->dcPrevIn = v;
        d->dcState = y;
        const float v32 = float(y);
        d->hopBuffer[d->hopFill++] = v32;
        d->history[0].push(v32);
        float half, quarter;
        if (d->toHalf.push(v32, &half)) {
            d->history[1].push(half);
            if (d->toQuarter.push(half, &quarter))
                d->history[2].push(quarter);
        }
        if (d->hopFill == d->hopBuffer.size()) {
            d->runHop(events);
            d->hopFill = 0;
        }
    }
}

void NoteDetector::reset()
{
    if (!isValid())
        return;
    // aubio keeps its windows inside; fresh objects forget them.
    d->destroy();
    d->create();
}

std::int64_t NoteDetector::position() const
{
    return d->consumed + std::int64_t(d->hopFill);
}

double NoteDetector::levelDb() const
{
    return d->level;
}

int NoteDetector::heardNote() const
{
    return d->heard;
}

double NoteDetector::heardCents() const
{
    return d->heardCents;
}

double NoteDetector::noteToHz(double note, double a4Hz)
{
    return a4Hz * std::pow(2.0, (note - 69.0) / 12.0);
}

double NoteDetector::hzToNote(double hz, double a4Hz)
{
    return 69.0 + 12.0 * std::log2(hz / a4Hz);
}

} // namespace pitch
