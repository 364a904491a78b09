#include "dsp/TriggerRule.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "dsp/TimeBase.h"

namespace varmolen {

namespace {

std::int32_t saturate(std::int64_t v)
{
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
}

// (g*s) >> shift, saturated at the 32-bit range.
std::int32_t scaleShifted(std::int32_t gain, std::int64_t sample, int shift)
{
    // One product beyond 64 bits lies far outside the 32-bit range and
    // saturates like the rest.
    std::int64_t product = 0;
    if (__builtin_mul_overflow(static_cast<std::int64_t>(gain), sample, &product))
        return (gain < 0) != (sample < 0) ? std::numeric_limits<std::int32_t>::min()
                                          : std::numeric_limits<std::int32_t>::max();
    return saturate(product >> shift);
}

}  // namespace

// (4*g*s) >> 12 equals (g*s) >> 10 for an arithmetic shift, so only the
// product g*s has to be formed; sixteen times finer, (g*s) >> 6.
std::int32_t scaleSample(std::int32_t gain, std::int64_t sample) { return scaleShifted(gain, sample, 10); }

std::int32_t scaleSampleFine(std::int32_t gain, std::int64_t sample) { return scaleShifted(gain, sample, 6); }

std::optional<std::int64_t> findTrigger(const SampleRing& ring, const TriggerSource& source, const TriggerRule& rule,
                                        std::int64_t from, std::int64_t to)
{
    from = std::max(from, ring.oldest() + 1);
    to = std::min(to, ring.end());
    if (from >= to || rule.shape == TriggerShape::None)
        return std::nullopt;
    const auto value = [&](std::int64_t i) {
        const float v = source.channel == 0 ? ring.at(1, i) + ring.at(2, i) : ring.at(source.channel, i);
        return static_cast<std::int64_t>(scaleSample(source.gain, static_cast<std::int64_t>(v) - source.dcLevel));
    };
    std::int64_t w0 = value(from - 1);
    for (std::int64_t i = from; i < to; ++i) {
        const std::int64_t w1 = value(i);
        if (!ring.breaksAt(i) && rule.fires(w0, w1))
            return i;
        w0 = w1;
    }
    return std::nullopt;
}

TriggerSearch nextTriggeredSpan(const SampleRing& ring, const TriggerSource& source, const TriggerRule& rule,
                                std::int64_t searchFrom, double spanFrames, double position)
{
    const std::int64_t frames = timeBaseSpanCount(spanFrames);
    const auto before = std::clamp<std::int64_t>(std::llround(std::clamp(position, 0.0, 1.0) * spanFrames), 0, frames);
    // A trigger point t shows when the ring holds [t - before, t - before + frames).
    const std::int64_t from = std::max(searchFrom, ring.oldest() + before);
    const std::int64_t to = ring.end() - (frames - before) + 1;
    TriggerSearch search{std::nullopt, std::max(searchFrom, to)};
    if (const std::optional<std::int64_t> t = findTrigger(ring, source, rule, from, to)) {
        search.span = TriggeredSpan{*t, *t - before};
        search.searchedTo = *t + 1;
    }
    return search;
}

std::int64_t searchAfterTrigger(std::int64_t trigger, double holdoffSeconds, std::uint32_t rate)
{
    const double frames = std::max(0.0, holdoffSeconds) * rate;
    return trigger + std::max<std::int64_t>(1, std::llround(frames));
}

}  // namespace varmolen
