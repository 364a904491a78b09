// The trigger search through the record: the trigger point found at its
// frame in a long record, with the picture's pre-trigger part, the
// holdoff, a DC level, the gain, a break and frames not yet recorded.
#include "dsp/TriggerRule.h"

#include <gtest/gtest.h>

#include <vector>

namespace varmolen {
namespace {

constexpr std::uint32_t kRate = 8000;
constexpr std::int64_t kFrames = 40000;
constexpr std::int64_t kBreak = 30000;  // a new run starts here, high
constexpr std::int64_t kRamp = 35000;   // from here channel 1 rises 30 codes a frame

// Channel 1: -5000 with pulses of +5000 three frames long at 1000, 1010,
// 5000 and 20000, then high from the break to 30003, then the ramp.
// Channel 2: 0 throughout.
float channel1(std::int64_t k)
{
    constexpr std::int64_t kPulses[] = {1000, 1010, 5000, 20000, kBreak};
    for (const std::int64_t pulse : kPulses) {
        if (k >= pulse && k < pulse + 3)
            return 5000.0f;
    }
    return k >= kRamp ? static_cast<float>(-5000 + 30 * (k - kRamp)) : -5000.0f;
}

SampleRing record()
{
    SampleRing ring(kFrames);
    ring.restart(kRate);
    std::vector<float> a, zero;
    for (std::int64_t k = 0; k < kFrames; ++k) {
        if (k == kBreak) {
            ring.append(a.data(), zero.data(), a.size(), true);
            a.clear();
            zero.clear();
        }
        a.push_back(channel1(k));
        zero.push_back(0.0f);
    }
    ring.append(a.data(), zero.data(), a.size(), false);
    return ring;
}

TEST(TriggerSearch, FindsTheTriggerPointAtItsFrameWithPreTriggerAndHoldoff)
{
    const SampleRing ring = record();
    ASSERT_EQ(ring.oldest(), 0);
    ASSERT_EQ(ring.end(), kFrames);
    const TriggerRule edgeUp{0, true, TriggerShape::Square, 0};
    const TriggerRule edgeDown{0, false, TriggerShape::Square, 0};
    const TriggerRule sineUp{100, true, TriggerShape::Sine, 50};
    const TriggerSource unity{1, 1024, 0};
    const struct {
        const char* what;
        TriggerRule rule;
        TriggerSource source;
        std::int64_t searchFrom;
        double spanFrames, position;
        std::int64_t trigger, first;  // -1: none
        std::int64_t searchedTo;
    } cases[] = {
        {"the first rising edge", edgeUp, unity, 0, 100, 0.0, 1000, 1000, 1001},
        {"half the span before it", edgeUp, unity, 0, 100, 0.5, 1000, 950, 1001},
        {"a fractional span", edgeUp, unity, 0, 100.4, 0.5, 1000, 950, 1001},
        {"no holdoff: the next pulse", edgeUp, unity, searchAfterTrigger(1000, 0.0, kRate), 100, 0.0, 1010, 1010, 1011},
        {"5 ms of holdoff pass over it", edgeUp, unity, searchAfterTrigger(1000, 0.005, kRate), 100, 0.0, 5000, 5000,
         5001},
        {"pre-trigger beyond the record's start", edgeUp, unity, 0, 3000, 0.9, 5000, 2300, 5001},
        {"all of the span before the trigger", edgeUp, unity, 0, 1000, 1.0, 1000, 0, 1001},
        {"the span's end not yet recorded", edgeUp, unity, 5001, 30000, 0.0, -1, -1, 10001},
        {"a step into a break is no edge", edgeUp, unity, 20001, 100, 0.0, -1, -1, kFrames - 100 + 1},
        {"the edge down after the break", edgeDown, unity, 20004, 100, 0.0, kBreak + 3, kBreak + 3, kBreak + 4},
        {"a DC level moves the trace", edgeUp, {1, 1024, 6000}, 0, 100, 0.0, -1, -1, kFrames - 100 + 1},
        {"the level follows it",
         {-6000, true, TriggerShape::Square, 0},
         {1, 1024, 6000},
         0,
         100,
         0.0,
         1000,
         1000,
         1001},
        {"the Sin detector's window on the ramp", sineUp, unity, kBreak + 4, 100, 0.0, kRamp + 171, kRamp + 171,
         kRamp + 172},
        {"twice the gain halves the ramp's frames",
         sineUp,
         {1, 2048, 0},
         kBreak + 4,
         100,
         0.0,
         kRamp + 169,
         kRamp + 169,
         kRamp + 170},
        {"the sum of both channels", edgeUp, {0, 1024, 0}, 0, 100, 0.0, 1000, 1000, 1001},
        {"channel 2 never crosses", edgeUp, {2, 1024, 0}, 0, 100, 0.0, -1, -1, kFrames - 100 + 1},
        {"no detector", {0, true, TriggerShape::None, 0}, unity, 0, 100, 0.0, -1, -1, kFrames - 100 + 1},
    };
    for (const auto& c : cases) {
        const TriggerSearch found = nextTriggeredSpan(ring, c.source, c.rule, c.searchFrom, c.spanFrames, c.position);
        if (c.trigger < 0) {
            EXPECT_FALSE(found.span.has_value()) << c.what << ": " << found.span->trigger;
        } else {
            ASSERT_TRUE(found.span.has_value()) << c.what;
            EXPECT_EQ(found.span->trigger, c.trigger) << c.what;
            EXPECT_EQ(found.span->first, c.first) << c.what;
        }
        EXPECT_EQ(found.searchedTo, c.searchedTo) << c.what;
    }
}

// Once the ring has wrapped, the oldest frame held has no frame before it:
// an edge there is not seen, the next one is.
TEST(TriggerSearch, TheOldestFrameHeldIsNoStep)
{
    SampleRing ring(1024);
    ring.restart(kRate);
    std::vector<float> a(2048), zero(2048, 0.0f);
    for (std::size_t k = 0; k < a.size(); ++k)
        a[k] = k == 1024 || k == 1500 ? 5000.0f : -5000.0f;
    ring.append(a.data(), zero.data(), a.size(), true);
    ASSERT_EQ(ring.oldest(), 1024);
    const TriggerRule edgeUp{0, true, TriggerShape::Square, 0};
    EXPECT_EQ(findTrigger(ring, {1, 1024, 0}, edgeUp, 0, ring.end()), std::optional<std::int64_t>(1500));
}

}  // namespace
}  // namespace varmolen
