// The record of everything acquisition heard: the newest frames of both
// channels, as many as the ring holds, each at an absolute index counted
// from the first frame recorded at the rate in force (a new rate starts the
// record afresh). A break marks a frame that does not follow the one before
// it (a gap in the device's stream, a restart): a span across a break is
// not one continuous signal. Samples are kept as floats in units of 16-bit
// codes, so a 16-bit value is kept exactly and a finer one keeps its
// fraction. Appending allocates nothing; only the constructor does.
//
// Beside the samples the ring keeps, for every run of kRunFrames frames, the
// least and greatest value of each channel, brought up to date from the new
// frames only: the least and greatest value of any span then costs a look
// at its whole runs and at the frames of its two ends, however long it is.
//
// A frame costs 8.375 bytes (two floats, its share of the runs' extremes
// and one break bit): a minute at 192000 Hz is 11.52 million frames, about
// 96.5 MB; the default 10 s at 44100 Hz about 3.7 MB.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "dsp/RecordedBlock.h"

namespace varmolen {

// floor(x) as a frame index, without a call into the maths library.
inline std::int64_t floorFrame(double x)
{
    const auto t = static_cast<std::int64_t>(x);
    return x < static_cast<double>(t) ? t - 1 : t;
}

class SampleRing {
public:
    static constexpr std::int64_t kRunFrames = 64;

    struct Extremes {
        float min = 0.0f;
        float max = 0.0f;
    };

    // What a frame costs: two floats, its share of the runs' extremes, a bit.
    static constexpr double kBytesPerFrame =
        2 * sizeof(float) + 2 * sizeof(Extremes) / static_cast<double>(kRunFrames) + 1.0 / 8;
    static_assert(kBytesPerFrame == 8.375);

    // Holds at least `frames` frames (rounded up to whole runs; at least one run).
    explicit SampleRing(std::size_t frames);

    // The capacity a ring for `seconds` at `rate` gets: whole runs, at least
    // one, and no more than `budgetBytes` hold.
    static std::size_t framesFor(double seconds, std::uint32_t rate, std::uint64_t budgetBytes);

    // Empties the record for frames recorded at `rate`; the next frame appended is index 0.
    void restart(std::uint32_t rate);
    // Appends every frame of the buffer (16-bit PCM, one or two channels; a
    // mono buffer's channel 2 reads 0). Its first frame is a break unless
    // the buffer says it follows the previous one, or it is the record's first.
    void append(const RecordedBlock& block);
    // Appends `frames` frames given channel by channel (`chan2` may be null: 0).
    void append(const float* chan1, const float* chan2, std::size_t frames, bool followsPrevious);

    std::size_t capacity() const { return capacity_; }
    std::uint32_t rate() const { return rate_; }
    // Index one past the newest frame, and of the oldest frame still held.
    std::int64_t end() const { return end_; }
    std::int64_t oldest() const { return end_ > static_cast<std::int64_t>(capacity_) ? end_ - capacity_ : 0; }
    bool holds(std::int64_t from, std::int64_t to) const { return from >= oldest() && from <= to && to <= end_; }

    // Channel 1 or 2's sample at index i (oldest() <= i < end()).
    float at(int channel, std::int64_t i) const { return samples(channel)[slot(i)]; }
    // Copies frames [from, from + count) of channel 1 or 2 into out; false,
    // copying nothing, unless the ring holds them all.
    bool copy(int channel, std::int64_t from, std::size_t count, float* out) const;
    // Frame i (held) does not follow the one before it.
    bool breaksAt(std::int64_t i) const { return ((breaks_[runSlot(i)] >> (slot(i) % kRunFrames)) & 1u) != 0; }
    // The first frame in [from, to) that does not follow the one before it.
    std::optional<std::int64_t> firstBreak(std::int64_t from, std::int64_t to) const;
    // The least and greatest sample of channel 1 or 2 in [from, to), a
    // non-empty span the ring holds (otherwise both 0).
    Extremes extremes(int channel, std::int64_t from, std::int64_t to) const;
    // The extremes of `count` pixel columns of channel 1 or 2 from frame
    // `from` on, `framesPerColumn` (1 or more) frames each: column k holds
    // the frames from `from + floor(k * framesPerColumn)` up to the next
    // column's first, so every frame of the span lies in exactly one column
    // and a single-sample spike anywhere shows. A column with no frame the
    // ring holds reads NaN. The cost is a look at each column's whole runs
    // and the frames of its two ends, however long the span.
    void columnExtremes(int channel, std::int64_t from, double framesPerColumn, int count, Extremes* out) const;
    // The same for both channels at once, for about the cost of one.
    void columnExtremes(std::int64_t from, double framesPerColumn, int count, Extremes* chan1, Extremes* chan2) const;
    // The same on a grid of columns anchored at frame 0: column j holds the
    // frames from floor(j * framesPerColumn) up to the next column's first,
    // and the outputs get columns `column` to `column + count - 1`. A column
    // is the same whichever columns are asked for with it.
    void anchoredColumnExtremes(std::int64_t column, double framesPerColumn, int count, Extremes* chan1,
                                Extremes* chan2) const;
    // The anchored column that holds `frame`.
    static std::int64_t columnOf(std::int64_t frame, double framesPerColumn);
    // Tells records apart: another at every restart, and for every ring made.
    std::uint64_t number() const { return number_; }

private:
    std::size_t slot(std::int64_t i) const
    {
        return static_cast<std::size_t>(i % static_cast<std::int64_t>(capacity_));
    }
    std::size_t runSlot(std::int64_t i) const { return slot(i) / kRunFrames; }
    // Frame i's slot, from the slot of a frame `known` at most a ring before
    // it without a division (a division otherwise).
    std::size_t slotAfter(std::int64_t known, std::size_t knownSlot, std::int64_t i) const;
    // extremes() of both channels of a span the ring holds, its first frame in `fromSlot`.
    std::array<Extremes, 2> heldExtremes(std::int64_t from, std::int64_t to, std::size_t fromSlot) const;
    // Columns `column` on of a grid whose column j starts at frame
    // origin + floor(j * framesPerColumn), of the channels asked for (non-null).
    void gridExtremes(std::int64_t origin, std::int64_t column, double framesPerColumn, int count, Extremes* chan1,
                      Extremes* chan2) const;
    const std::vector<float>& samples(int channel) const { return channel == 2 ? chan2_ : chan1_; }
    void put(float v1, float v2, bool breaks);
    // A buffer without frames that does not follow: its break falls on the next frame.
    void carryBreak(std::size_t frames, bool followsPrevious);

    std::size_t capacity_;
    std::uint32_t rate_ = 0;
    std::int64_t end_ = 0;
    std::size_t endSlot_ = 0;    // end_'s slot
    bool breakPending_ = false;  // a buffer without frames did not follow
    std::vector<float> chan1_;
    std::vector<float> chan2_;
    std::vector<std::uint64_t> breaks_;  // a bit a frame: one word a run
    std::vector<Extremes> runs1_;        // each run's extremes, channel 1
    std::vector<Extremes> runs2_;
    std::uint64_t number_ = 0;
};

}  // namespace varmolen
