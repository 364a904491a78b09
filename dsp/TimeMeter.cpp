#include "dsp/TimeMeter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace varmolen {

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
        const double mismatch = std::abs((c.time - first.time) - static_cast<double>(c.index - first.index));
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

}  // namespace varmolen
