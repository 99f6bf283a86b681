// SPDX-License-Identifier: GPL-3.0-or-later
#include "pitch/notedetector.h"

#include "platform/audio/aubiolib.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <numbers>
#include <optional>

namespace pitch {

namespace {

constexpr int kMinRate = 8000;
constexpr int kMaxRate = 192000;
constexpr double kFloorDb = -120.0;

// Analysis timing in seconds; sizes are the nearest powers of two at the rate.
constexpr double kHopSec = 0.003;
constexpr double kShortWindowSec = 0.0116;
constexpr int kTiers = 4; // window = short × 1, 2, 4, 8
constexpr int kOnsetHops = 2; // hops per call of the onset detector
// The share of a window compared with its lagged copy; the rest is the lag range.
constexpr double kIntegrationShare = 0.5;
// The level is measured over about one period of the lowest bass string.
constexpr double kLevelWindowSec = 0.0232;

// The full-rate windows hear up to a little above the highest note's
// fundamental, and no less than this: a high note's own harmonics add little
// to its period, the noise up there takes much from it.
constexpr double kLowPassShare = 1.08;
constexpr double kLowPassMinHz = 4500.0;
// YIN confidence (1 − the dip of the difference function) a pitch needs.
constexpr float kMinConfidence = 0.78f;
// How far (a share of the period) a period may be from a whole multiple of
// another and still count as one.
constexpr double kCommonPeriodShare = 0.03;
// A pitch this sure earns its full hop of hold; a less sure one less, so a
// doubtful pitch must hold longer.
constexpr float kSureConfidence = 0.9f;
// The octave is told by the harmonic series, not by the first dip alone.
// Power at the odd harmonics of half the pitch, against that at the pitch's
// own harmonics, above which the octave below is the note: a fundamental
// 15 dB under its second harmonic is still the note's. Noise at 10 dB SNR
// stays near -25 dB there.
constexpr double kMinOddShare = 0.02;
constexpr double kMinBelowPartial = 0.001;
// Power at the pitch's own odd harmonics, against that at its even ones,
// under which the period found spans two of the note's, when half of it is
// a dip too.
constexpr double kMaxOwnOddShare = 0.005;
constexpr float kHalfPeriodDip = 0.5f;
// How far (in bins) a harmonic's peak may sit from where it is expected.
constexpr double kHarmonicTolerance = 0.35;
// An attack: the level jumps within a few hops, or aubio hears an onset while
// the level rises over a longer stretch. Swells and the beating of an
// ensemble rise more slowly.
constexpr double kFastRiseDb = 10.0;
constexpr double kFastRiseSec = 0.0174;
constexpr double kOnsetRiseDb = 8.0;
constexpr double kSlowRiseSec = 0.06;
constexpr double kSlowRiseDb = 16.0; // a slow attack (bowed, blown), by itself
constexpr double kSoftRiseDb = 5.0;
// A note played again (tongued, bowed, struck under its own ring): aubio
// hears an onset, the level rises this fast out of a dip this far under the
// note's peak, well after the note was taken.
constexpr double kRepeatRiseDb = 5.0;
constexpr double kRepeatDipDb = 9.0;
constexpr double kRepeatAfterSec = 0.15;
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
// A pitch lost for this long breaks its run; a shorter gap (a window that
// could not decide) does not.
constexpr double kRunGapSec = 0.01;
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
// A return to the note before with the level this far under the peak of the
// note since is that note ringing on.
constexpr double kRingOnDropDb = 6.0;
// How far from a note (in semitones) a pitch is ambiguous, and how much
// longer such a pitch must hold.
constexpr double kAmbiguousShare = 0.4;
constexpr double kAmbiguousHoldFactor = 3.0;
// Mains hum (50 or 60 Hz and steady) is never a note; notes a little sharp
// or flat of it still are.
constexpr double kMainsHz[] = {50.0, 60.0};
constexpr double kMainsCents = 12.0;
// Once a hum was heard, nothing near it is a note for a while unless it has
// an attack of its own: a note beginning or dying over the hum pulls the
// hum's pitch off the mains frequency, as far as the next semitone.
constexpr double kNearMainsCents = 100.0;
constexpr double kHumMemorySec = 5.0;
constexpr double kHumHoldSec = 0.1;
constexpr double kHumAttackSec = 0.15;
// Run points kept; more than any hold needs.
constexpr std::size_t kMaxRun = 256;

int powerOfTwoNear(double x)
{
    int p = 1;
    while (p * 2 <= x * 1.41)
        p *= 2;
    return p;
}

// The mains frequency a pitch is within the cents of, or 0.
double mainsNear(double hz, double cents = kMainsCents)
{
    for (double mains : kMainsHz)
        if (std::abs(1200.0 * std::log2(hz / mains)) <= cents)
            return mains;
    return 0.0;
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
    // Each compares its newest samples (the integration) with those a lag
    // earlier, so right after an attack the short lags can already be read.
    struct Tier {
        aubio::Fft* fft = nullptr;
        int size = 0;        // samples at the tier's rate
        int integration = 0; // newest samples compared
        int maxLag = 0;      // integration + maxLag == size
        int factor = 1;      // input rate ÷ tier rate
        std::vector<float> newest, kernel, specNewest, specKernel, product, corr;
        std::vector<double> energy; // prefix sums of the squares, newest first
        std::vector<float> cmnd;    // YIN's cumulative mean normalised difference
        std::vector<float> power;   // Hann-windowed power spectrum of the newest samples
        std::vector<float> raw;
    };
    std::array<Tier, kTiers> tiers{};
    std::array<History, 3> history; // input rate, half, quarter
    Decimator toHalf, toQuarter;
    aubio::Onset* onset = nullptr;

    std::vector<float> hopBuffer;
    std::size_t hopFill = 0;
    std::vector<float> onsetBuffer; // hops gathered for the onset detector
    std::size_t onsetFill = 0;
    std::int64_t consumed = 0; // samples processed in whole hops
    double dcState = 0.0, dcPrevIn = 0.0;
    // A low-pass before the full-rate windows: above the highest harmonics
    // worth hearing there is only noise, which blurs a high note's period.
    bool lowPass = false;
    double lpB0 = 0, lpB1 = 0, lpB2 = 0, lpA1 = 0, lpA2 = 0;
    double lpZ1 = 0.0, lpZ2 = 0.0;

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
    double currentHz = 0.0; // its pitch when recognised
    bool besideRinging = false; // the last pitch was heard with the ringing note cancelled
    int previousNote = -1;      // the note recognised before the last one
    std::int64_t lastPitchSeen = 0;
    int lastNote = -1;
    double lastPeak = kFloorDb;
    std::int64_t lastReport = -1;
    // Whether an attack (or quiet) came since the last note was recognised:
    // then any note may start, the same one included.
    bool armed = true;
    // Whether a softer attack came: then another note may start at once.
    bool armedOther = true;
    std::int64_t humFrom = -1; // where the pitch came to the mains, if it is there now
    std::int64_t humSeen = -1; // the last hop of a hum
    double humMains = 0.0;     // and its frequency

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
    void difference(Tier& t, std::size_t level);
    void spectrum(Tier& t, std::size_t length);
    static double peakPower(const Tier& t, double bin, double tolerance);
    static double refinedLag(const Tier& t, std::int64_t lag);
    std::size_t cancelRinging(Tier& t, double period) const;
    void differenceOfNewest(Tier& t);
    static std::int64_t firstDip(const Tier& t, std::int64_t from, std::int64_t to, float threshold);
    static std::int64_t deepestNear(const Tier& t, double lag, std::int64_t limit);
    struct Series {
        double octaveBelow = 0.0;
        double ownOdd = 1.0;
    };
    Series series(Tier& t, std::size_t length, double period);
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
        t.integration = int(t.size * kIntegrationShare);
        t.maxLag = t.size - t.integration;
        t.fft = lib->newFft(unsigned(t.size));
        if (!t.fft) {
            error = "aubio cannot make an FFT";
            destroy();
            return;
        }
        for (auto* v : {&t.newest, &t.kernel, &t.specNewest, &t.specKernel, &t.product, &t.corr})
            v->assign(std::size_t(t.size), 0.f);
        t.energy.assign(std::size_t(t.size) + 1, 0.0);
        t.cmnd.assign(std::size_t(t.maxLag) + 1, 1.f);
        t.power.assign(std::size_t(t.size / 2 + 1), 0.f);
    }
    for (History& h : history)
        h.reset(std::size_t(4 * shortWindow));
    onset = lib->newOnset("specflux", unsigned(2 * shortWindow), unsigned(kOnsetHops * hop), unsigned(rate));
    if (!onset) {
        error = "aubio cannot make an onset detector";
        destroy();
        return;
    }
    lib->setOnsetSilence(onset, float(settings.silenceDb));
    lib->setOnsetMinIoiMs(onset, 50.f);
    // Butterworth, second order, by the bilinear transform.
    const double cutoff = std::max(kLowPassMinHz, kLowPassShare * noteToHz(settings.highestNote, settings.referenceA4Hz));
    lowPass = cutoff < 0.4 * rate;
    if (lowPass) {
        const double w = 2.0 * std::numbers::pi * cutoff / rate;
        const double alpha = std::sin(w) / std::numbers::sqrt2;
        const double a0 = 1.0 + alpha;
        lpB0 = (1.0 - std::cos(w)) / 2.0 / a0;
        lpB1 = 2.0 * lpB0;
        lpB2 = lpB0;
        lpA1 = -2.0 * std::cos(w) / a0;
        lpA2 = (1.0 - alpha) / a0;
    }
    hopBuffer.assign(std::size_t(hop), 0.f);
    onsetBuffer.assign(std::size_t(kOnsetHops * hop), 0.f);
    levelRing.assign(std::size_t(powerOfTwoNear(kLevelWindowSec * rate)), 0.f);
    clearState();
}

void NoteDetector::Private::destroy()
{
    if (!lib)
        return;
    for (Tier& t : tiers) {
        lib->deleteFft(t.fft);
        t.fft = nullptr;
    }
    lib->deleteOnset(onset);
    onset = nullptr;
}

void NoteDetector::Private::clearState()
{
    hopFill = 0;
    onsetFill = 0;
    consumed = 0;
    for (History& h : history)
        h.reset(std::size_t(2 * tiers[1].size));
    toHalf.reset();
    toQuarter.reset();
    dcState = dcPrevIn = 0.0;
    lpZ1 = lpZ2 = 0.0;
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
    currentHz = 0.0;
    lastPitchSeen = 0;
    lastNote = previousNote = -1;
    lastReport = -1;
    armed = true;
    armedOther = true;
    heard = -1;
    heardCents = 0.0;
    humFrom = humSeen = -1;
}

void NoteDetector::Private::difference(Tier& t, std::size_t level)
{
    const auto n = std::size_t(t.size);
    history[level].copyLast(t.corr.data(), n);
    std::reverse_copy(t.corr.begin(), t.corr.end(), t.newest.begin());
    differenceOfNewest(t);
}

void NoteDetector::Private::differenceOfNewest(Tier& t)
{
    const auto n = std::size_t(t.size);
    const auto L = std::size_t(t.integration);
    std::copy_n(t.newest.begin(), L, t.kernel.begin());
    std::fill(t.kernel.begin() + std::ptrdiff_t(L), t.kernel.end(), 0.f);
    lib->fftForward(t.fft, t.newest.data(), t.specNewest.data(), unsigned(n));
    lib->fftForward(t.fft, t.kernel.data(), t.specKernel.data(), unsigned(n));
    // The kernel's spectrum conjugated times the signal's: their correlation.
    const float* a = t.specKernel.data();
    const float* b = t.specNewest.data();
    float* p = t.product.data();
    p[0] = a[0] * b[0];
    p[n / 2] = a[n / 2] * b[n / 2];
    for (std::size_t k = 1; k < n / 2; ++k) {
        const float ar = a[k], ai = a[n - k], br = b[k], bi = b[n - k];
        p[k] = ar * br + ai * bi;
        p[n - k] = ar * bi - ai * br;
    }
    lib->fftInverse(t.fft, t.product.data(), t.corr.data(), unsigned(n));
    t.energy[0] = 0.0;
    for (std::size_t j = 0; j < n; ++j)
        t.energy[j + 1] = t.energy[j] + double(t.newest[j]) * t.newest[j];
    const double e0 = t.energy[L];
    double sum = 0.0;
    t.cmnd[0] = 1.f;
    for (std::size_t tau = 1; tau <= std::size_t(t.maxLag); ++tau) {
        const double d = std::max(0.0, e0 + (t.energy[tau + L] - t.energy[tau]) - 2.0 * t.corr[tau]);
        sum += d;
        t.cmnd[tau] = sum > 0.0 ? float(d * double(tau) / sum) : 1.f;
    }
}

void NoteDetector::Private::spectrum(Tier& t, std::size_t length)
{
    const auto n = std::size_t(t.size);
    length = std::min(length, n);
    for (std::size_t j = 0; j < n; ++j) {
        const double w = j < length ? 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (double(j) + 0.5) / double(length)) : 0.0;
        t.kernel[j] = float(w * t.newest[j]);
    }
    lib->fftForward(t.fft, t.kernel.data(), t.specKernel.data(), unsigned(n));
    const float* s = t.specKernel.data();
    t.power[0] = s[0] * s[0];
    t.power[n / 2] = s[n / 2] * s[n / 2];
    for (std::size_t k = 1; k < n / 2; ++k)
        t.power[k] = s[k] * s[k] + s[n - k] * s[n - k];
}

double NoteDetector::Private::refinedLag(const Tier& t, std::int64_t lag)
{
    double period = double(lag);
    if (lag > 1 && lag < t.maxLag) {
        const double l = t.cmnd[std::size_t(lag - 1)], m = t.cmnd[std::size_t(lag)], r = t.cmnd[std::size_t(lag + 1)];
        const double den = l - 2 * m + r;
        if (den > 0)
            period += std::clamp(0.5 * (l - r) / den, -0.5, 0.5);
    }
    return period;
}

double NoteDetector::Private::peakPower(const Tier& t, double bin, double tolerance)
{
    const auto last = std::int64_t(t.power.size()) - 2;
    auto k = std::int64_t(std::lround(bin));
    if (k < 1 || k > last)
        return 0.0;
    // Climb to the local peak next to the expected bin.
    while (k > 1 && t.power[std::size_t(k - 1)] > t.power[std::size_t(k)] && double(k - 1) >= bin - 1.0)
        --k;
    while (k < last && t.power[std::size_t(k + 1)] > t.power[std::size_t(k)] && double(k + 1) <= bin + 1.0)
        ++k;
    const double l = t.power[std::size_t(k - 1)], m = t.power[std::size_t(k)], r = t.power[std::size_t(k + 1)];
    if (!(m >= l && m >= r) || m <= 0.0)
        return 0.0;
    const double la = std::log(l + 1e-30), ma = std::log(m), ra = std::log(r + 1e-30);
    const double den = la - 2 * ma + ra;
    const double offset = den < 0 ? std::clamp(0.5 * (la - ra) / den, -0.5, 0.5) : 0.0;
    return std::abs(double(k) + offset - bin) <= tolerance ? m : 0.0;
}

// The harmonic series around a period: the power at the odd harmonics of
// half the pitch (a fundamental an octave below, if there is one) and at the
// pitch's own odd harmonics (none when the note is an octave above), each
// against the power at the pitch's harmonics.
NoteDetector::Private::Series NoteDetector::Private::series(Tier& t, std::size_t length, double period)
{
    spectrum(t, length);
    const double fBins = double(t.size) / period;
    const double tol = kHarmonicTolerance * std::max(1.0, double(t.size) / double(length));
    double odd = 0.0, even = 0.0;
    for (int k = 1; k <= 8; ++k)
        (k % 2 ? odd : even) += peakPower(t, k * fBins, tol);
    const double all = odd + even;
    // A single partial between the harmonics (an organ's quint) is not a
    // series; two or more are.
    std::array<double, 4> below{};
    for (int k = 1; k <= 4; ++k)
        below[std::size_t(k - 1)] = peakPower(t, (k - 0.5) * fBins, tol);
    const auto heard = std::count_if(below.begin(), below.end(), [all](double p) { return p >= kMinBelowPartial * all; });
    Series s;
    s.octaveBelow = all > 0.0 && heard >= 2 ? (below[0] + below[1] + below[2] + below[3]) / all : 0.0;
    s.ownOdd = even > 0.0 ? odd / even : 1.0;
    return s;
}

// Takes the note ringing out of the tier's newest samples: the difference
// of the signal and itself one ringing period earlier cancels all its
// harmonics and keeps any other pitch. Returns the samples still usable.
std::size_t NoteDetector::Private::cancelRinging(Tier& t, double period) const
{
    const auto n = std::size_t(t.size);
    const auto whole = std::size_t(period);
    const double frac = period - double(whole);
    if (whole + 1 >= n)
        return 0;
    const std::size_t usable = n - whole - 1;
    // Newest first: the earlier sample lies further on, not yet changed.
    for (std::size_t j = 0; j < usable; ++j)
        t.newest[j] -= float((1.0 - frac) * t.newest[j + whole] + frac * t.newest[j + whole + 1]);
    std::fill(t.newest.begin() + std::ptrdiff_t(usable), t.newest.end(), 0.f);
    return usable;
}

// YIN's first dip under the threshold, followed to the bottom of its valley; -1 for none.
std::int64_t NoteDetector::Private::firstDip(const Tier& t, std::int64_t from, std::int64_t to, float threshold)
{
    std::int64_t tau = from;
    while (tau <= to && t.cmnd[std::size_t(tau)] >= threshold)
        ++tau;
    if (tau > to)
        return -1;
    std::int64_t bottom = tau;
    while (tau <= to && t.cmnd[std::size_t(tau)] < threshold) {
        if (t.cmnd[std::size_t(tau)] < t.cmnd[std::size_t(bottom)])
            bottom = tau;
        ++tau;
    }
    return bottom;
}

// The lowest point of the difference function within 3 % of a lag; -1 when
// that reaches past the lags the window holds.
std::int64_t NoteDetector::Private::deepestNear(const Tier& t, double lag, std::int64_t limit)
{
    const auto low = std::max<std::int64_t>(1, std::int64_t(std::floor(lag * 0.97)));
    const auto high = std::int64_t(std::ceil(lag * 1.03));
    if (high > limit || high >= std::int64_t(t.cmnd.size()))
        return -1;
    std::int64_t at = low;
    for (std::int64_t k = low; k <= high; ++k)
        if (t.cmnd[std::size_t(k)] < t.cmnd[std::size_t(at)])
            at = k;
    return at;
}

double NoteDetector::Private::estimate(float* confidence)
{
    const double lowHz = noteToHz(settings.lowestNote - 0.5, settings.referenceA4Hz);
    const double highHz = noteToHz(settings.highestNote + 0.5, settings.referenceA4Hz);
    const float threshold = 1.f - kMinConfidence;
    // The shortest window that holds the octave below the pitch in its lag
    // range (so the harmonic of a fundamental it cannot see is not taken for
    // the note) and hears a pitch; the longest takes what it hears.
    double best = 0.0;
    float bestConf = 0.f;
    besideRinging = false;
    for (std::size_t i = 0; i < kTiers; ++i) {
        Tier& t = tiers[i];
        // Lags that reach back past the last attack would compare the note
        // with what came before it.
        std::int64_t limit = t.maxLag;
        if (lastAttack >= 0)
            limit = std::min<std::int64_t>(limit, (consumed - lastAttack) / t.factor - t.integration);
        const double tierRate = double(rate) / t.factor;
        const int minLag = std::max(t.factor == 1 ? 4 : 8, int(tierRate / highHz));
        if (limit < 2 * minLag)
            continue;
        const std::size_t level = t.factor == 1 ? 0 : t.factor == 2 ? 1 : 2;
        difference(t, level);
        std::int64_t bottom = firstDip(t, minLag, limit, threshold);
        if (bottom < 0)
            continue;
        // A deeper dip at twice the period, with the odd harmonics of half the
        // pitch in the spectrum: the first dip was a strong second harmonic
        // over a weak fundamental (twice over for an organ's mixture).
        const auto spectrumLength = std::size_t(t.integration + limit);
        const std::int64_t found = bottom;
        std::optional<Series> foundSeries; // the spectrum is the costly part: once per period
        auto seriesOf = [&](std::int64_t lag) {
            if (lag != found)
                return series(t, spectrumLength, refinedLag(t, lag));
            if (!foundSeries)
                foundSeries = series(t, spectrumLength, refinedLag(t, lag));
            return *foundSeries;
        };
        for (int octaves = 0; octaves < 2; ++octaves) {
            const std::int64_t at = deepestNear(t, 2.0 * double(bottom), limit);
            if (at < 0 || t.cmnd[std::size_t(at)] >= t.cmnd[std::size_t(bottom)]
                || seriesOf(bottom).octaveBelow < kMinOddShare)
                break;
            bottom = at;
        }
        // The other way: no odd harmonics at the period found, and a dip at
        // half of it; the note is the octave above.
        if (bottom == found) {
            const std::int64_t half = deepestNear(t, 0.5 * double(bottom), limit);
            if (half >= minLag && t.cmnd[std::size_t(half)] < kHalfPeriodDip
                && seriesOf(bottom).ownOdd < kMaxOwnOddShare)
                bottom = half;
        }
        double period = refinedLag(t, bottom);
        float conf = 1.f - t.cmnd[std::size_t(bottom)];
        double f = tierRate / period;
        // A period that is a whole number of periods of the note ringing, far
        // below it: the ringing note and a new one together repeat only
        // there. With the ringing note cancelled the new one shows.
        if (current >= 0 && currentHz > 0.0 && f < currentHz / 1.9) {
            const double m = currentHz / f;
            if (std::abs(m - std::round(m)) <= kCommonPeriodShare * std::round(m)) {
                const auto usable = std::int64_t(cancelRinging(t, tierRate / currentHz));
                differenceOfNewest(t);
                const std::int64_t to = std::min(limit, usable - t.integration);
                const std::int64_t other = to > 2 * minLag ? firstDip(t, minLag, to, threshold) : -1;
                if (other < 0)
                    continue;
                period = refinedLag(t, other);
                conf = 1.f - t.cmnd[std::size_t(other)];
                f = tierRate / period;
                if (2.1 * period > double(to))
                    continue;
                besideRinging = true;
            }
        }
        if (!(f >= lowHz && f <= highHz))
            continue;
        const bool seesOctaveBelow = 2.1 * period <= double(limit);
        if (seesOctaveBelow || (i == kTiers - 1 && 1.1 * period <= double(limit))) {
            best = f;
            bestConf = conf;
            break;
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
    previousNote = lastNote;
    endCurrent(at, events);
    NoteEvent e;
    e.kind = NoteEvent::Kind::Started;
    // The attack that began this run when there was one; else the run's start
    // less the time the shortest window needed to fill.
    std::int64_t onsetAt = runStart - tiers[0].size;
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
    currentHz = noteToHz(frac, settings.referenceA4Hz);
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
    const auto fastHops = std::size_t(std::max<std::int64_t>(1, std::llround(double(samples(kFastRiseSec)) / hop)));
    for (std::size_t k = 0; k < recentLevels.size() && k < slowHops; ++k) {
        const double l = recentLevels[recentLevels.size() - 1 - k];
        minSlow = std::min(minSlow, l);
        if (k < fastHops)
            minFast = std::min(minFast, l);
    }
    recentLevels.push_back(level);
    while (recentLevels.size() > slowHops + 1)
        recentLevels.pop_front();
    const double riseFast = level - std::max(minFast, floorDb);
    const double riseSlow = level - std::max(minSlow, floorDb);

    // aubio's onset detector hears a few hops at a time: its spectrum is the
    // costliest part of listening, and where an attack began is told by the
    // level anyway.
    std::copy_n(x, hop, onsetBuffer.begin() + std::ptrdiff_t(onsetFill));
    onsetFill += std::size_t(hop);
    bool onsetHit = false;
    if (onsetFill == onsetBuffer.size()) {
        onsetHit = lib->onsetDo(onset, onsetBuffer.data(), unsigned(onsetBuffer.size()));
        onsetFill = 0;
    }
    // An attack is the first hop of a rise, not every hop while it lasts.
    // A clear attack may start the same note again; a softer one (a new note
    // over one still ringing) starts only another note, but both mark where
    // the windows begin to hear the new sound.
    const double notePeak = current >= 0 ? currentPeak : lastPeak;
    const bool again = onsetHit && riseFast >= kRepeatRiseDb && minSlow <= notePeak - kRepeatDipDb && lastReport >= 0
        && hopStart - lastReport >= samples(kRepeatAfterSec);
    const bool clear = riseFast >= kFastRiseDb || (onsetHit && riseSlow >= kOnsetRiseDb) || riseSlow >= kSlowRiseDb || again;
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
        if (now - quietSince >= samples(0.0116))
            endCurrent(now, events);
    } else {
        quietSince = -1;
    }

    float conf = 0.f;
    double hz = audible ? estimate(&conf) : 0.0;
    // A hum holds its pitch; a note sung or bowed through it does not.
    if (const double mains = hz > 0.0 ? mainsNear(hz) : 0.0; mains > 0.0) {
        if (humFrom < 0)
            humFrom = hopStart;
        if (now - humFrom >= samples(kHumHoldSec)) {
            humSeen = now;
            humMains = mains;
        }
    } else {
        humFrom = -1;
    }

    // Follow the run of hops at one pitch; its reference is its recent mean,
    // so vibrato and slow drift stay within it.
    const double tol = settings.toleranceCents / 100.0;
    const std::int64_t holdSamples = samples(settings.holdMs / 1000.0);
    if (hz > 0.0) {
        const double frac = hzToNote(hz, settings.referenceA4Hz);
        const double weight = std::clamp((double(conf) - kMinConfidence) / double(kSureConfidence - kMinConfidence), 0.25, 1.0);
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
    } else if (!run.empty() && ++runMisses * hop > samples(kRunGapSec)) {
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

    const double heardHz = noteToHz(frac, settings.referenceA4Hz);
    // Near a hum heard, only a note with an attack of its own.
    const bool nearHum = humSeen >= 0 && now - humSeen <= samples(kHumMemorySec)
        && mainsNear(heardHz, kNearMainsCents) == humMains;
    if (!stable || note < settings.lowestNote || note > settings.highestNote || mainsNear(heardHz) > 0.0
        || (nearHum && !(armed && lastAttack >= runStart - samples(kHumAttackSec))))
        return;
    if (armed || ringing < 0) {
        report(note, frac, now, events);
        return;
    }
    if (note == ringing)
        return;
    // The note before, heard beside the ringing one or coming back as the
    // sound dies down, rang on under it: it is not played again.
    const double peak = current >= 0 ? currentPeak : lastPeak;
    if (note == previousNote && (besideRinging || level < peak - kRingOnDropDb))
        return;
    if (armedOther && runStart >= lastAttack && !octaveRelated(note, ringing)) {
        report(note, frac, now, events);
        return;
    }
    // Another note without an attack: a legato change, or the ringing note
    // slipping an octave as it decays.
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
        if (d->lowPass) {
            // Transposed direct form II.
            const double out = d->lpB0 * y + d->lpZ1;
            d->lpZ1 = d->lpB1 * y - d->lpA1 * out + d->lpZ2;
            d->lpZ2 = d->lpB2 * y - d->lpA2 * out;
            d->history[0].push(float(out));
        } else {
            d->history[0].push(v32);
        }
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
