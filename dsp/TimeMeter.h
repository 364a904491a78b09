// The TIME readings of one channel: frequency from interpolated rising
// crossings of the signal's mean level (with hysteresis), followed across
// consecutive recorded buffers so that slow signals are read too; maximum,
// minimum, peak-to-peak, DC mean and AC RMS over the whole periods found
// (over the buffer when no period is found); an overload mark. It works in
// fixed arrays of its own; measuring a buffer allocates nothing.
#pragma once

#include <array>
#include <cstdint>

namespace varmolen {

struct FrequencyReading {
    bool valid = false;
    double hz = 0.0;
    double sigmaHz = 0.0;  // standard uncertainty, for the digits worth showing
};

struct LevelReadings {  // codes
    bool valid = false;
    double maximum = 0.0;
    double minimum = 0.0;
    double peakToPeak = 0.0;
    double dcMean = 0.0;
    double acRms = 0.0;
};

// The TIME readings of one channel, followed from buffer to buffer.
class TimeMeter {
public:
    TimeMeter() { reset(); }
    // Forgets every crossing and level; the overload mark keeps its time.
    void reset();
    // Measures `frames` codes recorded at `rate` Hz. A buffer that does not
    // follow the previous one, or comes at another rate, starts afresh.
    void measure(const std::int32_t* x, int frames, double rate, bool followsPrevious);

    // The frequency over the whole periods found so far, and the levels
    // over them (over the last buffer when none is found), formed when first
    // asked for after a buffer.
    const FrequencyReading& frequency()
    {
        form();
        return frequency_;
    }
    const LevelReadings& levels()
    {
        form();
        return levels_;
    }
    bool overload() const { return overloadLeft_ > 0; }

    // A crossing is kept this long, and at most so many; the frequency is
    // averaged over the whole periods between the crossings kept. At 5 Hz
    // that is at least 4 periods.
    static constexpr double kCrossingSpanSeconds = 1.0;
    static constexpr int kMaxCrossings = 256;

private:
    struct Crossing {
        double time;         // samples since the reset
        std::int64_t index;  // first sample after the crossing
        std::int64_t sum;    // sums of the samples before `index`
        std::int64_t sumSquares;
    };
    struct BlockStats {
        std::int64_t start;
        std::int32_t frames;
        std::int32_t minimum;
        std::int32_t maximum;
        std::int64_t sum;
        std::int64_t sumSquares;
    };
    enum class Side { Unknown, Low, High };

    void latchLevel(const BlockStats& block);
    void scan(const std::int32_t* x, int frames);
    void addCrossing(const Crossing& c);
    void form();
    void fitPeriods();
    int wholePeriodsEnd() const;
    void formLevels(const BlockStats& block);

    // Below this peak-to-peak (about -60 dBFS) nothing is periodic enough to time.
    static constexpr double kMinPeakToPeak = 64.0;
    // Half-width of the hysteresis band, as a share of the peak-to-peak.
    static constexpr double kBandShare = 0.05;
    // The latched level follows the mean when it moves by more than this share
    // of the peak-to-peak, or the peak-to-peak by more than these factors.
    static constexpr double kLevelMoveShare = 0.02;
    static constexpr double kSpanGrowth = 1.4;
    static constexpr double kSpanShrink = 0.7;
    // Periods agree when they differ by at most this share, or by 1.1 samples:
    // an edge that falls between two samples is only known to one sample.
    static constexpr double kPeriodAgreement = 0.005;
    static constexpr double kPeriodAgreementSamples = 1.1;
    // At least four agreeing periods before a frequency is read.
    static constexpr int kMinCrossings = 5;
    // Least timing uncertainty of one interpolated crossing, in samples.
    static constexpr double kCrossingSigmaFloor = 0.02;
    static constexpr int kStatsRing = 64;
    static constexpr double kLevelSpanSeconds = 0.3;  // history the level and band come from

    double rate_ = 0.0;
    std::int64_t position_ = 0;  // absolute index of the next sample
    std::int64_t runningSum_ = 0;
    std::int64_t runningSquares_ = 0;

    // Detector: the latched level and half-width of the hysteresis band.
    bool latched_ = false;
    double level_ = 0.0;
    double band_ = 0.0;
    double latchedSpan_ = 0.0;  // peak-to-peak the band was set from
    Side side_ = Side::Unknown;
    bool candidate_ = false;  // an upward crossing of the level waits for the band's top
    Crossing pending_{};
    std::int32_t previous_ = 0;  // the sample before the next one
    bool hasPrevious_ = false;

    std::array<Crossing, kMaxCrossings> crossings_{};
    int crossingHead_ = 0;  // oldest
    int crossingCount_ = 0;

    std::array<BlockStats, kStatsRing> stats_{};
    int statsHead_ = 0;  // next slot to write
    int statsCount_ = 0;

    // Whole periods found at the last buffer: their mean level.
    bool periodsFound_ = false;
    double periodMean_ = 0.0;
    int levelSpanEnd_ = 0;  // crossing that ends the whole periods the levels are read over
    bool formed_ = true;    // frequency_ and levels_ are those of the buffers measured

    std::int64_t overloadLeft_ = 0;  // samples the overload mark stays lit

    FrequencyReading frequency_;
    LevelReadings levels_;
};

}  // namespace varmolen
