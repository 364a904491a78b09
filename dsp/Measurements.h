// Automatic measurements of the recorded signal, per channel:
//
// - TIME readings (dsp/TimeMeter.h): frequency from interpolated rising
//   crossings of the signal's mean level, the levels over the whole periods
//   found, an overload mark.
// - Tone readings (dsp/ToneMeter.h): the strongest tone of the last
//   samples, gathered across consecutive buffers into a record of up to 8192,
//   its frequency, level, THD and THD+N.
// - Intermodulation (dsp/Intermodulation.h): of a two-tone pair, read from
//   the same record and transform as the tone readings, with them.
//
// Everything works on the buffer as recorded (16-bit codes, DC included) and
// in fixed arrays allocated with the meter; measuring a buffer allocates
// nothing. A reading that cannot be formed is marked not valid, never guessed.
#pragma once

#include <array>
#include <cstdint>

#include "dsp/Intermodulation.h"
#include "dsp/RecordedBlock.h"
#include "dsp/TimeMeter.h"
#include "dsp/ToneMeter.h"

namespace varmolen {

constexpr double kFullScaleCode = 32767.0;  // the code of a full-scale positive peak
// Longest channel a recording buffer holds: 20000 bytes of mono samples.
constexpr int kMaxMeasureFrames = 10000;

// Readings of one channel.
struct ChannelReadings {
    bool recorded = false;  // the channel had samples in the last buffer measured
    FrequencyReading frequency;
    LevelReadings levels;
    bool overload = false;
    ToneReading tone;
    ImdReading imd;  // formed with the tone readings
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
    // consecutive buffers), whose tone readings tone() forms when they are
    // asked for, so only the record that is read needs its transform. A
    // buffer measured without its TIME readings breaks their thread, and one
    // measured without its tone readings the tone record: the next one
    // measured for them starts afresh. So does a buffer that does not follow
    // the one before (a gap) or comes at another rate. A channel not
    // enabled, or not recorded by the buffer, starts afresh and reads nothing.
    void measureBlock(const RecordedBlock& block, bool chan1Enabled, bool chan2Enabled, MeasureParts parts);
    // The tone readings of channel 1 or 2's record, formed when they are
    // asked for from the record as it stands: the first time after the
    // record started, then once a second of signal has been added since the
    // last (a transform of 8192 samples is the strip's largest cost, and
    // each reading joins the average of the channel's readings of a steady
    // tone anyway). Otherwise the last reading formed. The channel's
    // intermodulation reading (readings().imd) is formed with it.
    const ToneReading& tone(int channel);
    // The pair the generator plays (None: no pair, or not playing): the
    // intermodulation readings formed from now on read by its method; with
    // None, by the method of a pair found on the input.
    void setPlayedPair(ImdMethod method) { playedPair_ = method; }
    // Signal added between two tone readings, at least.
    static constexpr double kToneReadingSeconds = 1.0;
    // The TIME readings, formed when first asked for after a buffer, and the
    // tone readings as tone() last formed them.
    const ChannelReadings& readings(int channel);
    // Forgets everything measured: the TIME readings, the tone records and
    // their averages start again from the next buffer.
    void reset();
    // Forgets the tone readings' average only: the next reading starts it
    // again from the record as it stands.
    void restartTone();

private:
    // The last frames of consecutive buffers of one channel, oldest first.
    struct ToneRecord {
        std::array<float, 2 * kToneMaxRecord> codes{};  // in units of codes, finer values with their fraction
        int count = 0;                                  // frames held, the newest at codes[count - 1]
        double rate = 0.0;                              // of every frame held
        bool follows = false;                           // the last buffer measured was added here
        bool fresh = false;                             // frames added since the last reading
        bool fine = false;                              // frames finer than 16 bits were added since the record started
        bool read = false;                              // a reading was formed since the record started
        std::int64_t sinceReading = 0;                  // frames added since the last reading
        ToneAverage average;

        void restart();
        void add(const float* x, int frames, double frameRate);
    };

    std::array<TimeMeter, 2> time_;
    ToneMeter tone_;
    std::array<ChannelReadings, 2> readings_;
    std::array<float, kMaxMeasureFrames> work_{};
    // The codes the TIME readings count: whole codes at every precision, as
    // the display draws them.
    std::array<std::int32_t, kMaxMeasureFrames> codes_{};
    std::array<ToneRecord, 2> toneRecords_{};
    std::array<bool, 2> timeFollows_{};  // the last buffer was measured for its TIME readings
    ImdMethod playedPair_ = ImdMethod::None;
};

}  // namespace varmolen
