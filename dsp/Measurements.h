// Automatic measurements of the recorded signal, per channel:
//
// - TIME readings: frequency from interpolated rising crossings of the
//   signal's mean level (with hysteresis), followed across consecutive
//   recorded buffers so that slow signals are read too; maximum, minimum,
//   peak-to-peak, DC mean and AC RMS over the whole periods found (over the
//   buffer when no period is found); an overload mark.
// - Tone readings (dsp/ToneMeter.h): the strongest tone of the last
//   samples, gathered across consecutive buffers into a record of up to 8192,
//   its frequency, level, THD and THD+N.
//
// Everything works on the buffer as recorded (16-bit codes, DC included) and
// in fixed arrays allocated with the meter; measuring a buffer allocates
// nothing. A reading that cannot be formed is marked not valid, never guessed.
#pragma once

#include <array>
#include <cstdint>

#include "audio/RecordedBlock.h"
#include "dsp/ToneMeter.h"

namespace varmolen {

constexpr double kFullScaleCode = 32767.0;   // the code of a full-scale positive peak
// Longest channel a recording buffer holds: 20000 bytes of mono samples.
constexpr int kMaxMeasureFrames = 10000;

// Copies one channel of the buffer into out[0..] as sign-extended codes and
// returns how many frames it holds (at most `capacity`); 0 when the buffer
// does not record that channel (channel 2 of a mono recording).
int ExtractChannel(const RecordedBlock& block, int channel, std::int32_t* out, int capacity);

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
        double time;               // samples since the reset
        std::int64_t index;        // first sample after the crossing
        std::int64_t sum;          // sums of the samples before `index`
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
    bool candidate_ = false;    // an upward crossing of the level waits for the band's top
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

// Readings of one channel.
struct ChannelReadings {
    bool recorded = false;  // the channel had samples in the last buffer measured
    FrequencyReading frequency;
    LevelReadings levels;
    bool overload = false;
    ToneReading tone;
};

// What a buffer is measured for: only what is read is worth the work.
struct MeasureParts {
    bool time = true;   // the TIME readings, followed from buffer to buffer
    bool tone = false;  // add the buffer to the record the tone readings are read from
};

// Both channels.
class Measurements {
public:
    // Measures the buffer for each enabled channel (1 and 2): with
    // `parts.time` its TIME readings; with `parts.tone` it adds each
    // channel's frames to the channel's tone record (the last 8192 frames of
    // consecutive buffers), whose tone readings Tone() forms when they are
    // asked for, so only the record that is read needs its transform. A
    // buffer measured without its TIME readings breaks their thread, and one
    // measured without its tone readings the tone record: the next one
    // measured for them starts afresh. So does a buffer that does not follow
    // the one before (a gap) or comes at another rate. A channel not
    // enabled, or not recorded by the buffer, starts afresh and reads nothing.
    void MeasureBlock(const RecordedBlock& block, bool chan1Enabled, bool chan2Enabled, MeasureParts parts);
    // The tone readings of channel 1 or 2's record, formed when they are
    // asked for from the record as it stands: the first time after the
    // record started, then once a second of signal has been added since the
    // last (a transform of 8192 samples is the strip's largest cost, and
    // each reading joins the average of the channel's readings of a steady
    // tone anyway). Otherwise the last reading formed.
    const ToneReading& Tone(int channel);
    // Signal added between two tone readings, at least.
    static constexpr double kToneReadingSeconds = 1.0;
    // The TIME readings, formed when first asked for after a buffer, and the
    // tone readings as Tone() last formed them.
    const ChannelReadings& readings(int channel);
    // Forgets everything measured: the TIME readings, the tone records and
    // their averages start again from the next buffer.
    void reset();

private:
    // The last frames of consecutive buffers of one channel, oldest first.
    struct ToneRecord {
        std::array<std::int32_t, 2 * kToneMaxRecord> codes{};
        int count = 0;      // frames held, the newest at codes[count - 1]
        double rate = 0.0;  // of every frame held
        bool follows = false;  // the last buffer measured was added here
        bool fresh = false;    // frames added since the last reading
        bool read = false;     // a reading was formed since the record started
        std::int64_t sinceReading = 0;  // frames added since the last reading
        ToneAverage average;

        void restart();
        void add(const std::int32_t* x, int frames, double frameRate);
    };

    std::array<TimeMeter, 2> time_;
    ToneMeter tone_;
    std::array<ChannelReadings, 2> readings_;
    std::array<std::int32_t, kMaxMeasureFrames> work_{};
    std::array<ToneRecord, 2> toneRecords_{};
    std::array<bool, 2> timeFollows_{};     // the last buffer was measured for its TIME readings
};

}  // namespace varmolen
