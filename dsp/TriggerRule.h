// The trigger detector of the time traces, one step of a trace at a time,
// and its search through the record of everything recorded. Values are
// trace units: a sample s at the channel's integer gain g reads
// (4*g*s) >> 12, formed in 64 bits and saturated at the 32-bit range.
#pragma once

#include <cstdint>
#include <optional>

#include "dsp/SampleRing.h"

namespace varmolen {

// A sample at gain g as a trace value ((g*s) >> 10, saturated).
std::int32_t scaleSample(std::int32_t gain, std::int64_t sample);
// The same value in sixteenths of a row ((g*s) >> 6, saturated alike), for a
// display drawn finer than its rows.
std::int32_t scaleSampleFine(std::int32_t gain, std::int64_t sample);

enum class TriggerShape { None, Sine, Square };

struct TriggerRule {
    // The edge detector asks the step to pass this far either side of the level.
    static constexpr std::int64_t kSquareMargin = 15;

    std::int64_t level = 0;
    bool rising = true;
    TriggerShape shape = TriggerShape::Sine;
    std::int64_t band = 0;  // the Sin detector's window above the level

    // The step from w0 to w1 crosses the level the slope's way.
    bool crosses(std::int64_t w0, std::int64_t w1) const
    {
        return rising ? w0 < level && level < w1 : w0 > level && level > w1;
    }
    // The step from w0 to w1 makes w1 a trigger point: it moves the slope's
    // way and lands inside the Sin detector's window, or (the edge
    // detector) passes the level by the margin both sides.
    bool fires(std::int64_t w0, std::int64_t w1) const
    {
        if (rising ? !(w1 > w0) : !(w1 < w0))
            return false;
        if (shape == TriggerShape::Sine)
            return level < w1 && w1 < level + band;
        if (shape == TriggerShape::Square)
            return rising ? w1 > level + kSquareMargin && w0 < level - kSquareMargin
                          : w0 > level + kSquareMargin && w1 < level - kSquareMargin;
        return false;
    }
};

// What a trigger search reads of the record: one channel (1 or 2) or the sum
// of both (0, as Add shows them), less a DC level, at the trace's gain.
struct TriggerSource {
    int channel = 1;
    std::int32_t gain = 0;
    std::int64_t dcLevel = 0;  // codes taken off every sample (of the sum: of each channel)
};

// The first trigger point in frames [from, to) of the record, a frame
// whose step from the frame before it fires the rule; a step into a break
// is no step. Every frame is searched, whatever the picture shows.
std::optional<std::int64_t> findTrigger(const SampleRing& ring, const TriggerSource& source, const TriggerRule& rule,
                                        std::int64_t from, std::int64_t to);

// Where the next triggered picture of `spanFrames` frames lies: the first
// trigger point at or after `searchFrom` whose whole span, `position` of it
// (0 to 1) before the trigger point, the ring holds. Trigger points whose
// span runs past the ring's newest frame are left for a later search, which
// goes on from `searchedTo`.
struct TriggeredSpan {
    std::int64_t trigger = 0;
    std::int64_t first = 0;  // the span's first frame
};
struct TriggerSearch {
    std::optional<TriggeredSpan> span;
    std::int64_t searchedTo = 0;
};
TriggerSearch nextTriggeredSpan(const SampleRing& ring, const TriggerSource& source, const TriggerRule& rule,
                                std::int64_t searchFrom, double spanFrames, double position);
// Where the search goes on after a picture triggered at `trigger`: the
// holdoff's frames later, and never at the same frame again.
std::int64_t searchAfterTrigger(std::int64_t trigger, double holdoffSeconds, std::uint32_t rate);

}  // namespace varmolen
