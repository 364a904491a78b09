#include "dsp/Measurements.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace varmolen {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Below this peak-to-peak (about -60 dBFS) nothing is periodic enough to time.
constexpr double kMinPeakToPeak = 64.0;
// Half-width of the hysteresis band, as a share of the peak-to-peak.
constexpr double kBandShare = 0.05;
// The latched level follows the mean when it moves by more than this share
// of the peak-to-peak, or the peak-to-peak by more than these factors.
constexpr double kLevelMoveShare = 0.02;
constexpr double kSpanGrowth = 1.4;
constexpr double kSpanShrink = 0.7;
// Periods agree when they differ by at most this share, or by 1.1 samples:
// an edge that falls between two samples is only known to one sample.
constexpr double kPeriodAgreement = 0.005;
constexpr double kPeriodAgreementSamples = 1.1;
// At least four agreeing periods before a frequency is read.
constexpr int kMinCrossings = 5;
// Least timing uncertainty of one interpolated crossing, in samples.
constexpr double kCrossingSigmaFloor = 0.02;

// Four-term Blackman-Harris window: w[n] = a0 - a1 cos + a2 cos 2 - a3 cos 3.
constexpr double kWindow[4] = {0.35875, 0.48829, 0.14128, 0.01168};
// The window's main lobe spans 4 bins either side of a tone.
constexpr int kLobe = 4;
// Bins 0..3 hold the window's image of DC; a tone is read from bin 5 on, up
// to where its lobe still ends below the Nyquist bin.
constexpr int kFirstToneBin = 5;
constexpr int kLastToneBin = kToneBins - 1 - kLobe;  // 507
constexpr int kFirstNoiseBin = kLobe;                // 4
constexpr int kLastNoiseBin = kToneBins - 1;         // 511
// A tone's lobe must hold this many times the power of the noise in as many
// bins; white noise stays far below it in every block.
constexpr double kToneOverNoise = 30.0;
constexpr int kFlankBins = 8;  // bins either side beyond the lobe
// The lobe's central bins must follow one windowed tone's shape within this
// share of their power.
constexpr int kShapeBins = 2;
constexpr double kShapeMisfit = 0.01;
// Harmonics 2..9 lie apart from the tone's lobe only from this bin on.
constexpr int kFirstDistortionBin = 2 * kLobe + 1;  // 9
constexpr int kLastHarmonic = 9;
// Least uncertainty of the interpolated tone frequency, in bins.
constexpr double kToneSigmaFloor = 1e-4;

std::int32_t codeAt(const std::uint8_t* p)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

}  // namespace

int ExtractChannel(const RecordedBlock& block, int channel, std::int32_t* out, int capacity)
{
    if (block.data == nullptr || capacity <= 0 || (block.channelCount != 1 && block.channelCount != 2))
        return 0;
    if (block.channelCount == 1 && channel != 1)
        return 0;
    const int frameBytes = 2 * block.channelCount;
    const int frames = static_cast<int>(std::min<std::uint32_t>(block.bytes / static_cast<std::uint32_t>(frameBytes),
                                                                static_cast<std::uint32_t>(capacity)));
    // Stereo frames are (channel 2, channel 1), as the display's split reads them.
    const int offset = block.channelCount == 2 && channel == 1 ? 2 : 0;
    const std::uint8_t* p = block.data + offset;
    for (int i = 0; i < frames; ++i, p += frameBytes)
        out[i] = codeAt(p);
    return frames;
}

// ------------------------------------------------------------------ TimeMeter

void TimeMeter::reset()
{
    position_ = 0;
    runningSum_ = 0;
    runningSquares_ = 0;
    latched_ = false;
    side_ = Side::Unknown;
    candidate_ = false;
    hasPrevious_ = false;
    crossingHead_ = 0;
    crossingCount_ = 0;
    statsHead_ = 0;
    statsCount_ = 0;
    periodsFound_ = false;
    formed_ = true;
    frequency_ = {};
    levels_ = {};
}

void TimeMeter::measure(const std::int32_t* x, int frames, double rate, bool followsPrevious)
{
    if (x == nullptr || frames <= 0 || !(rate > 0.0))
        return;
    if (!followsPrevious || rate != rate_) {
        reset();
        rate_ = rate;
    }

    // 1. The buffer's extremes and overload.
    BlockStats block{position_, frames, x[0], x[0], 0, 0};
    for (int i = 0; i < frames; ++i) {
        block.minimum = std::min(block.minimum, x[i]);
        block.maximum = std::max(block.maximum, x[i]);
    }
    if (block.minimum <= -32768 || block.maximum >= 32767)
        overloadLeft_ = static_cast<std::int64_t>(rate);  // lit for a second of signal
    else
        overloadLeft_ = std::max<std::int64_t>(0, overloadLeft_ - frames);

    // 2. The level and band the crossings are found at.
    latchLevel(block);

    // 3. Crossings and the buffer's sums, then crossings older than the span are let go.
    const std::int64_t sumBefore = runningSum_;
    const std::int64_t squaresBefore = runningSquares_;
    scan(x, frames);
    block.sum = runningSum_ - sumBefore;
    block.sumSquares = runningSquares_ - squaresBefore;
    stats_[static_cast<std::size_t>(statsHead_)] = block;
    statsHead_ = (statsHead_ + 1) % kStatsRing;
    statsCount_ = std::min(statsCount_ + 1, kStatsRing);
    const double oldest = static_cast<double>(position_) - kCrossingSpanSeconds * rate_;
    while (crossingCount_ > 0 && crossings_[static_cast<std::size_t>(crossingHead_)].time < oldest) {
        crossingHead_ = (crossingHead_ + 1) % kMaxCrossings;
        --crossingCount_;
    }
    // The sums only matter as differences between crossings. Long before the
    // squares could overflow (a day of full-scale signal), count them again
    // from the oldest crossing kept.
    if (runningSquares_ > (std::int64_t{1} << 60)) {
        const Crossing base = crossingCount_ > 0 ? crossings_[static_cast<std::size_t>(crossingHead_)]
                                                 : Crossing{0.0, 0, runningSum_, runningSquares_};
        for (int k = 0; k < crossingCount_; ++k) {
            Crossing& c = crossings_[static_cast<std::size_t>((crossingHead_ + k) % kMaxCrossings)];
            c.sum -= base.sum;
            c.sumSquares -= base.sumSquares;
        }
        runningSum_ -= base.sum;
        runningSquares_ -= base.sumSquares;
        pending_.sum -= base.sum;
        pending_.sumSquares -= base.sumSquares;
    }

    // 4. The mean over the periods between the first and the last crossing
    // kept: the level the next buffers' crossings are looked for at.
    if (crossingCount_ >= kMinCrossings) {
        const Crossing& first = crossings_[static_cast<std::size_t>(crossingHead_)];
        const Crossing& last =
            crossings_[static_cast<std::size_t>((crossingHead_ + crossingCount_ - 1) % kMaxCrossings)];
        periodMean_ = static_cast<double>(last.sum - first.sum) / static_cast<double>(last.index - first.index);
        periodsFound_ = true;
    } else if (crossingCount_ == 0) {
        periodsFound_ = false;
    }
    // The frequency and the levels are formed from all this when read.
    formed_ = false;
}

void TimeMeter::form()
{
    if (formed_)
        return;
    formed_ = true;
    fitPeriods();
    if (statsCount_ > 0)
        formLevels(stats_[static_cast<std::size_t>((statsHead_ - 1 + kStatsRing) % kStatsRing)]);
    else
        levels_ = {};
}

void TimeMeter::latchLevel(const BlockStats& newest)
{
    // Extremes of the recent history: the newest buffer (not yet in the
    // ring) and those before it, back to kLevelSpanSeconds of signal.
    const double span = kLevelSpanSeconds * rate_;
    double covered = newest.frames;
    std::int32_t lo = newest.minimum;
    std::int32_t hi = newest.maximum;
    for (int k = 0; k < statsCount_ && covered < span; ++k) {
        const BlockStats& b = stats_[static_cast<std::size_t>((statsHead_ - 1 - k + kStatsRing) % kStatsRing)];
        lo = std::min(lo, b.minimum);
        hi = std::max(hi, b.maximum);
        covered += b.frames;
    }
    const double pp = static_cast<double>(hi) - lo;
    const auto clearCrossings = [this] {
        side_ = Side::Unknown;
        candidate_ = false;
        crossingHead_ = 0;
        crossingCount_ = 0;
    };
    if (pp < kMinPeakToPeak) {
        latched_ = false;
        periodsFound_ = false;
        clearCrossings();
        return;
    }
    // The mean over whole periods once periods are found; before that the
    // middle of the extremes, which holds still while the history covers a
    // period, where a partial period's mean would wander from buffer to buffer.
    const double margin = 0.1 * pp;
    if (periodsFound_ && !(periodMean_ > lo + margin && periodMean_ < hi - margin))
        periodsFound_ = false;
    const double target = periodsFound_ ? periodMean_ : 0.5 * (static_cast<double>(lo) + hi);
    const bool moved = !latched_ || std::abs(target - level_) > kLevelMoveShare * pp ||
                       pp > kSpanGrowth * latchedSpan_ || pp < kSpanShrink * latchedSpan_;
    if (!moved)
        return;
    // A level that moves would move every crossing with it: start again.
    latched_ = true;
    level_ = target;
    latchedSpan_ = pp;
    band_ = std::max(0.5, std::min({kBandShare * pp, 0.5 * (hi - target), 0.5 * (target - lo)}));
    clearCrossings();
}

void TimeMeter::scan(const std::int32_t* x, int frames)
{
    if (!latched_) {
        // Nothing to look for: only the sums move on.
        for (int i = 0; i < frames; ++i) {
            runningSum_ += x[i];
            runningSquares_ += static_cast<std::int64_t>(x[i]) * x[i];
        }
        position_ += frames;
        previous_ = x[frames - 1];
        hasPrevious_ = true;
        return;
    }
    // The samples are whole codes: v < low exactly when v < ceil(low), and so on.
    const auto under = static_cast<std::int32_t>(std::ceil(level_ - band_));  // v < under: below the band
    const auto over = static_cast<std::int32_t>(std::floor(level_ + band_));  // v > over: above the band
    const auto reach = static_cast<std::int32_t>(std::ceil(level_));          // v >= reach: at the level or above
    std::int64_t sum = runningSum_;
    std::int64_t squares = runningSquares_;
    const std::int64_t start = position_;  // absolute index of x[0]
    Side side = side_;
    bool candidate = candidate_;
    const auto take = [&](std::int32_t v) {
        sum += v;
        squares += static_cast<std::int64_t>(v) * v;
    };
    int i = 0;
    if (!hasPrevious_) {
        take(x[0]);  // nothing before it to pair with
        i = 1;
    }
    // One tight loop per side of the band, left where the side changes: the
    // side holds for many samples, and the sample before x[i] is x[i - 1]
    // (previous_ for x[0]).
    while (i < frames) {
        switch (side) {
        case Side::Unknown:
            for (; i < frames; ++i) {
                const std::int32_t v = x[i];
                take(v);
                if (v < under || v > over) {
                    side = v < under ? Side::Low : Side::High;
                    ++i;
                    break;
                }
            }
            break;
        case Side::High:
            for (; i < frames; ++i) {
                const std::int32_t v = x[i];
                take(v);
                if (v < under) {
                    side = Side::Low;
                    ++i;
                    break;
                }
            }
            break;
        case Side::Low:
            for (; i < frames; ++i) {
                const std::int32_t v = x[i];
                const std::int32_t before = i > 0 ? x[i - 1] : previous_;
                if (before < reach && v >= reach) {
                    // The last upward crossing of the level before the band's
                    // top is reached, between the two samples on a straight line.
                    pending_.time = static_cast<double>(start + i - 1) + (level_ - before) / (v - before);
                    pending_.index = start + i;
                    pending_.sum = sum;
                    pending_.sumSquares = squares;
                    candidate = true;
                }
                take(v);
                if (v < under) {
                    candidate = false;  // back below the band: that was noise
                } else if (v > over) {
                    if (candidate)
                        addCrossing(pending_);
                    candidate = false;
                    side = Side::High;
                    ++i;
                    break;
                }
            }
            break;
        }
    }
    runningSum_ = sum;
    runningSquares_ = squares;
    position_ = start + frames;
    previous_ = x[frames - 1];
    hasPrevious_ = true;
    side_ = side;
    candidate_ = candidate;
}

void TimeMeter::addCrossing(const Crossing& c)
{
    if (crossingCount_ == kMaxCrossings) {
        crossingHead_ = (crossingHead_ + 1) % kMaxCrossings;
        --crossingCount_;
    }
    crossings_[static_cast<std::size_t>((crossingHead_ + crossingCount_) % kMaxCrossings)] = c;
    ++crossingCount_;
}

void TimeMeter::fitPeriods()
{
    frequency_ = {};
    const auto at = [this](int k) -> const Crossing& {
        return crossings_[static_cast<std::size_t>((crossingHead_ + k) % kMaxCrossings)];
    };
    if (crossingCount_ < 2)
        return;

    // Periods that disagree with the newest one end the signal as it is now:
    // the crossings before them are let go (the frequency changed, or there
    // never was a period).
    const int newest = crossingCount_ - 1;
    const double last = at(newest).time - at(newest - 1).time;
    const double tolerance = std::max(kPeriodAgreement * last, kPeriodAgreementSamples);
    int start = newest - 1;
    while (start > 0 && std::abs(at(start).time - at(start - 1).time - last) <= tolerance)
        --start;
    if (start > 0) {
        crossingHead_ = (crossingHead_ + start) % kMaxCrossings;
        crossingCount_ -= start;
    }

    // Periods that agree by chance: noise's crossings fall anywhere within a
    // spread about as wide as their mean interval, so k intervals agree by
    // chance about (2 x tolerance / period)^k of the time. Ask for enough
    // agreeing periods to make that below one in a million.
    const int n = crossingCount_;
    const double t0 = at(0).time;
    const double mean = (at(n - 1).time - t0) / (n - 1);
    const double chance = std::min(0.95, 2.0 * std::max(kPeriodAgreement * mean, kPeriodAgreementSamples) / mean);
    const int needed = 2 + static_cast<int>(std::ceil(std::log(1e-6) / std::log(chance)));
    if (n < std::max(needed, kMinCrossings))
        return;

    // Least-squares line through the crossing times: its slope is the period
    // averaged over every whole period, its scatter the timing uncertainty.
    const double kMid = 0.5 * (n - 1);
    double tMid = 0.0;
    for (int k = 0; k < n; ++k)
        tMid += at(k).time - t0;
    tMid /= n;
    double skt = 0.0;
    for (int k = 0; k < n; ++k)
        skt += (k - kMid) * (at(k).time - t0 - tMid);
    const double skk = static_cast<double>(n) * (static_cast<double>(n) * n - 1.0) / 12.0;
    const double period = skt / skk;
    double residuals = 0.0;
    for (int k = 0; k < n; ++k) {
        const double e = at(k).time - t0 - tMid - period * (k - kMid);
        residuals += e * e;
    }
    if (!(period >= 2.0))
        return;
    const double sigmaT = std::max(std::sqrt(residuals / (n - 2)), kCrossingSigmaFloor);
    const double sigmaPeriod = sigmaT / std::sqrt(skk);
    frequency_.valid = true;
    frequency_.hz = rate_ / period;
    frequency_.sigmaHz = frequency_.hz * sigmaPeriod / period;

    levelSpanEnd_ = wholePeriodsEnd();
}

int TimeMeter::wholePeriodsEnd() const
{
    // The samples from the first crossing's to another's span whole periods
    // only as nearly as the two crossings sit alike between their samples; a
    // sine near the Nyquist frequency would leave a few codes in the mean.
    // Of the later half of the crossings, take the one that sits most alike.
    const auto at = [this](int k) -> const Crossing& {
        return crossings_[static_cast<std::size_t>((crossingHead_ + k) % kMaxCrossings)];
    };
    const int n = crossingCount_;
    const Crossing& first = at(0);
    int best = n - 1;
    double bestMismatch = 2.0;
    for (int k = n - 1; k >= std::max(1, n / 2); --k) {
        const Crossing& c = at(k);
        const double mismatch =
            std::abs((c.time - first.time) - static_cast<double>(c.index - first.index));
        if (mismatch < bestMismatch - 1e-9) {
            bestMismatch = mismatch;
            best = k;
        }
    }
    return best;
}

void TimeMeter::formLevels(const BlockStats& block)
{
    levels_ = {};
    levels_.valid = true;
    if (!frequency_.valid) {
        const double mean = static_cast<double>(block.sum) / block.frames;
        levels_.maximum = block.maximum;
        levels_.minimum = block.minimum;
        levels_.dcMean = mean;
        levels_.acRms = std::sqrt(std::max(0.0, static_cast<double>(block.sumSquares) / block.frames - mean * mean));
    } else {
        // Over the whole periods between the first and the last crossing kept.
        const Crossing& first = crossings_[static_cast<std::size_t>(crossingHead_)];
        const Crossing& last = crossings_[static_cast<std::size_t>((crossingHead_ + levelSpanEnd_) % kMaxCrossings)];
        const auto count = static_cast<double>(last.index - first.index);
        const double mean = static_cast<double>(last.sum - first.sum) / count;
        levels_.dcMean = mean;
        levels_.acRms =
            std::sqrt(std::max(0.0, static_cast<double>(last.sumSquares - first.sumSquares) / count - mean * mean));
        std::int32_t lo = block.maximum;
        std::int32_t hi = block.minimum;
        for (int k = 0; k < statsCount_; ++k) {
            const BlockStats& b = stats_[static_cast<std::size_t>((statsHead_ - 1 - k + kStatsRing) % kStatsRing)];
            if (b.start + b.frames <= first.index)
                break;
            if (b.start < last.index) {
                lo = std::min(lo, b.minimum);
                hi = std::max(hi, b.maximum);
            }
        }
        if (lo > hi) {
            lo = block.minimum;
            hi = block.maximum;
        }
        levels_.maximum = hi;
        levels_.minimum = lo;
    }
    levels_.peakToPeak = levels_.maximum - levels_.minimum;
}

// ------------------------------------------------------------------ ToneMeter

ToneMeter::ToneMeter()
{
    for (int n = 0; n < kToneBlock; ++n) {
        const double a = 2.0 * kPi * n / kToneBlock;
        window_[static_cast<std::size_t>(n)] =
            kWindow[0] - kWindow[1] * std::cos(a) + kWindow[2] * std::cos(2.0 * a) - kWindow[3] * std::cos(3.0 * a);
    }
    for (int k = 0; k < kToneBins; ++k) {
        twiddleRe_[static_cast<std::size_t>(k)] = std::cos(2.0 * kPi * k / kToneBins);
        twiddleIm_[static_cast<std::size_t>(k)] = -std::sin(2.0 * kPi * k / kToneBins);
        int r = 0;
        for (int bit = 0; bit < 9; ++bit)
            r |= ((k >> bit) & 1) << (8 - bit);
        bitReverse_[static_cast<std::size_t>(k)] = static_cast<std::uint16_t>(r);
    }
    for (int k = 0; k <= kToneBins; ++k) {
        splitRe_[static_cast<std::size_t>(k)] = std::cos(2.0 * kPi * k / kToneBlock);
        splitIm_[static_cast<std::size_t>(k)] = -std::sin(2.0 * kPi * k / kToneBlock);
    }
    // w[n] = sum over m = -3..3 of b_m e^(2 pi i m n / N); the transform of a
    // windowed unit tone at x bins from a bin is then
    // |sin(pi x)| * |sum_m b_m e^(-i pi m / N) / sin(pi (x + m) / N)|.
    for (int m = -3; m <= 3; ++m) {
        const int am = m < 0 ? -m : m;
        const double b = (am == 0 ? 1.0 : 0.5) * kWindow[am] * (am % 2 == 1 ? -1.0 : 1.0);
        const double phase = kPi * m / kToneBlock;
        const auto i = static_cast<std::size_t>(m + 3);
        kernelRe_[i] = b * std::cos(phase);
        kernelIm_[i] = -b * std::sin(phase);
        shiftCos_[i] = std::cos(phase);
        shiftSin_[i] = std::sin(phase);
    }
}

double ToneMeter::kernelMagnitude(double x) const
{
    const double s = std::sin(kPi * x);
    if (std::abs(s) < 1e-12) {
        // On a bin: only the term whose denominator vanishes is left.
        const long j = std::lround(x);
        if (j < -3 || j > 3)
            return 0.0;
        const auto i = static_cast<std::size_t>(3 - j);
        return kToneBlock * std::sqrt(kernelRe_[i] * kernelRe_[i] + kernelIm_[i] * kernelIm_[i]);
    }
    const double sx = std::sin(kPi * x / kToneBlock);
    const double cx = std::cos(kPi * x / kToneBlock);
    double re = 0.0;
    double im = 0.0;
    for (std::size_t i = 0; i < 7; ++i) {
        const double d = sx * shiftCos_[i] + cx * shiftSin_[i];  // sin(pi (x + m) / N)
        re += kernelRe_[i] / d;
        im += kernelIm_[i] / d;
    }
    return std::abs(s) * std::sqrt(re * re + im * im);
}

double ToneMeter::solveOffset(double ratio, double guess) const
{
    // |X[k0 + 1]| / |X[k0 - 1]| = |H(d - 1)| / |H(d + 1)| rises with the
    // offset d of the tone from bin k0; on (-1, 1) both lie inside the main
    // lobe. Secant steps on the logarithm of the ratio from a close guess,
    // kept inside (-1, 1) by regula falsi (Illinois) where they would leave.
    const double target = std::log(ratio);
    const auto g = [this, target](double d) {
        return std::log(kernelMagnitude(d - 1.0)) - std::log(kernelMagnitude(d + 1.0)) - target;
    };
    double a = -0.999;
    double b = 0.999;
    double ga = g(a);
    double gb = g(b);
    if (!(ga < 0.0))
        return a;
    if (!(gb > 0.0))
        return b;
    double x0 = std::clamp(guess, a + 1e-3, b - 1e-3);
    double g0 = g(x0);
    double x1 = x0 + (g0 < 0.0 ? 1e-3 : -1e-3);
    double g1 = g(x1);
    int side = 0;
    for (int i = 0; i < 60; ++i) {
        // Narrow the bracket with what is known, then step.
        for (const auto& [x, gx] : {std::pair{x0, g0}, std::pair{x1, g1}}) {
            if (gx < 0.0 && x > a) {
                a = x;
                ga = gx;
            } else if (gx > 0.0 && x < b) {
                b = x;
                gb = gx;
            }
        }
        if (std::abs(g1) < 1e-13 || b - a < 1e-12)
            return x1;
        double next = g1 != g0 ? x1 - g1 * (x1 - x0) / (g1 - g0) : a;
        if (!(next > a && next < b)) {
            next = (a * gb - b * ga) / (gb - ga);
            if (side != 0)
                (side < 0 ? gb : ga) *= 0.5;
            side = g1 < 0.0 ? -1 : 1;
        }
        x0 = x1;
        g0 = g1;
        x1 = next;
        g1 = g(x1);
    }
    return x1;
}

void ToneMeter::transform(const std::int32_t* x)
{
    // Without its mean, so that bins 1..3 show only the signal's slow drift.
    // Pack the windowed block as 512 complex values (even, odd samples),
    // transform in place, then split into the 1024-point real transform.
    std::int64_t sum = 0;
    for (int n = 0; n < kToneBlock; ++n)
        sum += x[n];
    const double mean = static_cast<double>(sum) / kToneBlock;
    for (int m = 0; m < kToneBins; ++m) {
        const auto r = static_cast<std::size_t>(bitReverse_[static_cast<std::size_t>(m)]);
        fftRe_[r] = (x[2 * m] - mean) * window_[static_cast<std::size_t>(2 * m)];
        fftIm_[r] = (x[2 * m + 1] - mean) * window_[static_cast<std::size_t>(2 * m + 1)];
    }
    // The first two stages turn by 1 and -i only.
    for (int start = 0; start < kToneBins; start += 4) {
        const auto p = static_cast<std::size_t>(start);
        const double ar = fftRe_[p] + fftRe_[p + 1], ai = fftIm_[p] + fftIm_[p + 1];
        const double br = fftRe_[p] - fftRe_[p + 1], bi = fftIm_[p] - fftIm_[p + 1];
        const double cr = fftRe_[p + 2] + fftRe_[p + 3], ci = fftIm_[p + 2] + fftIm_[p + 3];
        const double dr = fftRe_[p + 2] - fftRe_[p + 3], di = fftIm_[p + 2] - fftIm_[p + 3];
        fftRe_[p] = ar + cr;
        fftIm_[p] = ai + ci;
        fftRe_[p + 2] = ar - cr;
        fftIm_[p + 2] = ai - ci;
        // d turned by -i: (dr, di) -> (di, -dr)
        fftRe_[p + 1] = br + di;
        fftIm_[p + 1] = bi - dr;
        fftRe_[p + 3] = br - di;
        fftIm_[p + 3] = bi + dr;
    }
    for (int half = 4; half < kToneBins; half *= 2) {
        const int step = kToneBins / (2 * half);
        for (int start = 0; start < kToneBins; start += 2 * half) {
            for (int j = 0; j < half; ++j) {
                const auto t = static_cast<std::size_t>(j * step);
                const auto p = static_cast<std::size_t>(start + j);
                const auto q = p + static_cast<std::size_t>(half);
                const double wr = twiddleRe_[t];
                const double wi = twiddleIm_[t];
                const double qr = fftRe_[q] * wr - fftIm_[q] * wi;
                const double qi = fftRe_[q] * wi + fftIm_[q] * wr;
                fftRe_[q] = fftRe_[p] - qr;
                fftIm_[q] = fftIm_[p] - qi;
                fftRe_[p] += qr;
                fftIm_[p] += qi;
            }
        }
    }
    for (int k = 0; k <= kToneBins; ++k) {
        const auto a = static_cast<std::size_t>(k % kToneBins);
        const auto b = static_cast<std::size_t>((kToneBins - k) % kToneBins);
        // Even samples' transform E = (Z[k] + conj Z[N/2 - k]) / 2, odd
        // samples' O = (Z[k] - conj Z[N/2 - k]) / 2i; X[k] = E + e^(-2 pi i k / N) O.
        const double er = 0.5 * (fftRe_[a] + fftRe_[b]);
        const double ei = 0.5 * (fftIm_[a] - fftIm_[b]);
        const double or_ = 0.5 * (fftIm_[a] + fftIm_[b]);
        const double oi = -0.5 * (fftRe_[a] - fftRe_[b]);
        const double wr = splitRe_[static_cast<std::size_t>(k)];
        const double wi = splitIm_[static_cast<std::size_t>(k)];
        const double xr = er + or_ * wr - oi * wi;
        const double xi = ei + or_ * wi + oi * wr;
        power_[static_cast<std::size_t>(k)] = xr * xr + xi * xi;
    }
    // The strongest bin and the power above the window's image of DC.
    strongest_ = 1;
    total_ = 0.0;
    for (int k = 1; k < kToneBins; ++k) {
        const double p = power_[static_cast<std::size_t>(k)];
        if (p > power_[static_cast<std::size_t>(strongest_)])
            strongest_ = k;
        if (k >= kFirstNoiseBin)
            total_ += p;
    }
}

ToneReading ToneMeter::measure(const std::int32_t* x, int frames, double rate)
{
    ToneReading r;
    if (x == nullptr || frames < kToneBlock || !(rate > 0.0))
        return r;
    transform(x);
    const auto p = [this](int k) { return power_[static_cast<std::size_t>(k)]; };

    // The strongest bin of the whole spectrum; where it lies too near DC or
    // Nyquist to be read, the strongest tone cannot be read either.
    const int k0 = strongest_;
    if (k0 < kFirstToneBin || k0 > kLastToneBin)
        return r;
    const double total = total_;
    double lobe = 0.0;
    for (int k = k0 - kLobe; k <= k0 + kLobe; ++k)
        lobe += p(k);
    if (!(lobe > 0.0) || !(p(k0 - 1) > 0.0) || !(p(k0 + 1) > 0.0))
        return r;
    constexpr int kNoiseBins = kLastNoiseBin - kFirstNoiseBin + 1 - (2 * kLobe + 1);
    const double noisePerBin = std::max(0.0, total - lobe) / kNoiseBins;
    // A tone stands out of the noise, both of the whole spectrum and of the
    // bins beside its lobe (coloured noise piles up where it is strongest).
    double flank = 0.0;
    int flankBins = 0;
    for (int d = kLobe + 1; d <= kLobe + kFlankBins; ++d) {
        for (int k : {k0 - d, k0 + d}) {
            if (k >= kFirstNoiseBin && k <= kLastNoiseBin) {
                flank += p(k);
                ++flankBins;
            }
        }
    }
    const double around = std::max(noisePerBin, flank / flankBins);
    if (lobe < kToneOverNoise * (2 * kLobe + 1) * around)
        return r;

    // First guess: the vertex of the parabola through the log powers.
    const double lm = std::log(p(k0 - 1));
    const double l0 = std::log(p(k0));
    const double lp = std::log(p(k0 + 1));
    const double curvature = lm - 2.0 * l0 + lp;
    const double guess = curvature < 0.0 ? 0.5 * (lm - lp) / curvature : 0.0;
    const double offset = solveOffset(std::sqrt(p(k0 + 1) / p(k0 - 1)), guess);
    if (std::abs(offset) > 0.6)
        return r;  // not the shape of one tone
    // Each bin of the lobe must hold what one tone at that offset would put
    // there: a bump of noise, or the skirt of a strong low-frequency drift,
    // has another shape.
    const double half = std::sqrt(p(k0)) / kernelMagnitude(offset);
    double misfit = 0.0;
    double held = 0.0;
    for (int j = -kShapeBins; j <= kShapeBins; ++j) {
        const double measured = std::sqrt(p(k0 + j));
        const double model = half * kernelMagnitude(offset - j);
        misfit += (measured - model) * (measured - model);
        held += measured * measured;
    }
    if (misfit > kShapeMisfit * held)
        return r;

    const double binHz = rate / kToneBlock;
    r.valid = true;
    r.hz = (k0 + offset) * binHz;
    r.sigmaHz = std::max(kToneSigmaFloor, std::sqrt(noisePerBin / p(k0))) * binHz;
    // A real tone of peak A puts A/2 of the unit tone's transform on its bins.
    r.amplitude = 2.0 * std::sqrt(p(k0)) / kernelMagnitude(offset);

    if (k0 < kFirstDistortionBin)
        return r;
    r.thdNValid = true;
    r.thdN = std::sqrt(std::max(0.0, total - lobe) / lobe);
    const double fundamental = k0 + offset;
    double harmonics = 0.0;
    int counted = 0;
    for (int h = 2; h <= kLastHarmonic; ++h) {
        const long centre = std::lround(h * fundamental);
        if (centre + kLobe > kLastNoiseBin)
            break;  // at or beyond the Nyquist frequency
        for (long k = centre - kLobe; k <= centre + kLobe; ++k)
            harmonics += p(static_cast<int>(k));
        ++counted;
    }
    if (counted > 0) {
        r.thdValid = true;
        r.thd = std::sqrt(harmonics / lobe);
    }
    return r;
}

// --------------------------------------------------------------- Measurements

void Measurements::MeasureBlock(const RecordedBlock& block, bool chan1Enabled, bool chan2Enabled, MeasureParts parts)
{
    const double rate = block.sampleRate;
    for (int channel = 1; channel <= 2; ++channel) {
        const auto i = static_cast<std::size_t>(channel - 1);
        ChannelReadings& r = readings_[i];
        const bool enabled = channel == 1 ? chan1Enabled : chan2Enabled;
        // The tone alone needs only the frames it transforms.
        const int capacity = parts.time ? kMaxMeasureFrames : kToneBlock;
        const int frames = enabled ? ExtractChannel(block, channel, work_.data(), capacity) : 0;
        if (frames == 0 || !(rate > 0.0)) {
            time_[i].reset();
            timeFollows_[i] = false;
            r = {};
            toneFrames_[i] = 0;
            toneFresh_[i] = false;
            continue;
        }
        r.recorded = true;
        if (parts.time)
            time_[i].measure(work_.data(), frames, rate, block.followsPrevious && timeFollows_[i]);
        else if (timeFollows_[i])
            time_[i].reset();  // its readings no longer describe the signal
        timeFollows_[i] = parts.time;
        r.overload = time_[i].overload();
        if (parts.tone) {
            toneFrames_[i] = std::min(frames, kToneBlock);
            std::copy_n(work_.data(), toneFrames_[i], toneInput_[i].data());
            toneRate_[i] = rate;
            toneFresh_[i] = true;
        }
    }
}

const ChannelReadings& Measurements::readings(int channel)
{
    const std::size_t i = channel == 2 ? 1 : 0;
    ChannelReadings& r = readings_[i];
    if (r.recorded) {
        r.frequency = time_[i].frequency();
        r.levels = time_[i].levels();
    }
    return r;
}

const ToneReading& Measurements::Tone(int channel)
{
    const std::size_t i = channel == 2 ? 1 : 0;
    if (toneFresh_[i]) {
        toneFresh_[i] = false;
        readings_[i].tone = tone_.measure(toneInput_[i].data(), toneFrames_[i], toneRate_[i]);
    }
    return readings_[i].tone;
}

void Measurements::reset()
{
    for (TimeMeter& t : time_)
        t.reset();
    readings_ = {};
    toneFrames_ = {};
    toneFresh_ = {};
    timeFollows_ = {};
}

}  // namespace varmolen
