// Random settings, marker positions, offsets, gains and samples, including
// values no front panel produces (a damaged settings file): every pass stays
// inside its arrays (checked by the sanitizer build) and keeps its invariants.
#include "display/DisplayPass.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <utility>
#include <random>

#include "display/DisplayTestState.h"

using namespace varmolen;
using varmolen::testing::Bench;

namespace {

struct Dice {
    std::mt19937 gen{20240611u};
    int any() { return static_cast<int>(gen()); }
    int in(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(gen); }
    bool coin() { return (gen() & 1u) != 0; }
    // Mostly plausible values, sometimes anything at all.
    int wild(int lo, int hi) { return in(0, 3) == 0 ? any() : in(lo, hi); }
};

void Scramble(InstrumentState& s, Dice& d)
{
    s.displayType = d.in(1, 2);
    s.traceMode = d.in(0, 3) == 0 ? 2 : 1;
    s.chan1Enabled = d.coin();
    s.chan2Enabled = d.coin();
    s.chan1TimeGain = d.wild(0, 6000);
    s.chan2TimeGain = d.wild(0, 6000);
    s.chan1FreqGain = d.wild(0, 6000);
    s.chan2FreqGain = d.wild(0, 6000);
    s.chan1TimeRange = d.wild(0, 100);
    s.chan2TimeRange = d.wild(0, 100);
    s.chan1TimeOffset = d.wild(-400, 800);
    s.chan2TimeOffset = d.wild(-400, 800);
    s.chan1FreqOffset = d.wild(-400, 800);
    s.chan2FreqOffset = d.wild(-400, 800);
    s.addChannels = d.coin();
    s.triggerEnabled = d.coin();
    s.triggerChannel = d.in(1, 2);
    s.triggerSlope = d.in(0, 1);
    s.triggerShape = d.in(1, 2);
    s.triggerThreshold = d.wild(-200, 200);
    s.triggerBand = d.wild(0, 10);
    s.chopMode = d.coin();
    s.singleSweep = d.coin();
    s.triggerIndex = d.wild(0, 511);
    const int spans[] = {9, 100, 256, 300, 511, 512, 0, -5, 100000};
    s.span = spans[d.in(0, 8)];
    s.blockSize = d.wild(16, 512);
    s.interpFactor = d.wild(2, 64);
    s.expanded = d.coin();
    s.marker1Enabled = d.coin();
    s.marker2Enabled = d.coin();
    s.marker1Pos = d.wild(0, 512);
    s.marker2Pos = d.wild(0, 512);
    s.backgroundScheme = d.in(0, 4);
    s.gridEnabled = d.coin();
    const std::uint32_t rates[] = {11025, 22050, 44100};
    s.sampleRate = rates[d.in(0, 2)];
    s.xyCenterX = d.wild(0, 512);
    s.xyCenterY = d.wild(0, 342);
    s.displayWidth = d.wild(0, 600);
    s.displayHeight = d.wild(0, 400);
    s.clearHeight = d.wild(0, 400);
    for (int i = 0; i < 1024; ++i) {
        s.chan1Samples[i] = d.in(-32768, 32767);
        s.chan2Samples[i] = d.coin() ? d.in(-32768, 32767) : (d.coin() ? 32767 : -32768);
    }
}

}  // namespace

TEST(DisplaySafety, RandomSettingsNeverLeaveTheArrays)
{
    Bench b;
    Dice d;
    for (int round = 0; round < 400; ++round) {
        Scramble(b.s, d);
        const auto samples1 = b.s.chan1Samples;
        const auto samples2 = b.s.chan2Samples;
        const std::int32_t indexBefore = b.s.triggerIndex;
        const bool hint = runDisplayPass(b.s, b.s, b.s, b.r);
        ASSERT_EQ(hint, b.s.marker1Enabled == 1 || b.s.marker2Enabled == 1) << round;
        ASSERT_EQ(b.s.chan1Samples, samples1) << round;  // passes never rescale the blocks
        ASSERT_EQ(b.s.chan2Samples, samples2) << round;
        // The trigger channel's time rendering leaves a sample index 1..511
        // or 0 for none, whatever it held before; otherwise only a trigger
        // found (in Alt) may change it, again to a sample index.
        const bool sourceDrawn = b.s.displayType == 2 && b.s.traceMode == 1 &&
                                 (b.s.triggerChannel == 1 ? b.s.chan1Enabled : b.s.chan2Enabled) == 1;
        const bool sampleIndex = b.s.triggerIndex >= 0 && b.s.triggerIndex <= 511;
        if (sourceDrawn)
            ASSERT_TRUE(sampleIndex) << round << ": " << b.s.triggerIndex;
        else
            ASSERT_TRUE(sampleIndex || b.s.triggerIndex == indexBefore) << round << ": " << b.s.triggerIndex;
        if (b.s.expanded == 1 && b.s.marker1Enabled == 1 && (b.s.chan1Enabled || b.s.chan2Enabled) &&
            !(b.s.displayType == 2 && b.s.traceMode != 1)) {
            ASSERT_GE(b.s.expandWidth, 9) << round;
            ASSERT_LE(b.s.expandWidth, 512) << round;
        }
        if (b.s.displayType == 1 && (b.s.chan1Enabled || b.s.chan2Enabled)) {
            const int y0 = b.s.chan1Enabled && (b.s.triggerChannel != 1 || !b.s.chan2Enabled) ? b.s.chan1FreqOffset
                                                                                              : b.s.chan2FreqOffset;
            for (int k = 0; k <= 512; ++k)
                ASSERT_LE(b.s.chan1Trace[k], y0) << round;  // never above the top row
        }
    }
}

TEST(DisplaySafety, ExtremeGainsAndPositions)
{
    Bench b;
    const int extremes[] = {std::numeric_limits<int>::min(), -1, 0, 1, 5000, std::numeric_limits<int>::max()};
    // At the display's own size and at a larger one, whose pixels scale
    // every far coordinate further.
    for (const auto& [width, height] : {std::pair{513, 343}, std::pair{1371, 917}}) {
        b.r.resize(width, height);
        for (int g : extremes) {
            for (int pos : extremes) {
                for (int type : {1, 2}) {
                    b.s.displayType = type;
                    b.s.traceMode = pos == 0 ? 2 : 1;
                    b.s.chan1Enabled = 1;
                    b.s.chan2Enabled = 1;
                    b.s.addChannels = 1;
                    b.s.chan1TimeGain = g;
                    b.s.chan2TimeGain = g;
                    b.s.chan1FreqGain = g;
                    b.s.chan2FreqGain = g;
                    b.s.chan1TimeOffset = pos;
                    b.s.chan2FreqOffset = pos;
                    b.s.triggerEnabled = 1;
                    b.s.triggerThreshold = pos;
                    b.s.triggerBand = g;
                    b.s.marker1Enabled = 1;
                    b.s.marker1Pos = pos;
                    b.s.marker2Pos = -pos - 1;
                    b.s.expanded = 1;
                    b.s.span = pos;
                    b.s.blockSize = g;
                    b.s.interpFactor = g;
                    for (int i = 0; i < 1024; ++i) {
                        b.s.chan1Samples[i] = (i & 1) ? 32767 : -32768;
                        b.s.chan2Samples[i] = (i & 2) ? 32767 : -32768;
                    }
                    EXPECT_TRUE(runDisplayPass(b.s, b.s, b.s, b.r));
                    ASSERT_GE(b.s.expandWidth, 9);
                    ASSERT_LE(b.s.expandWidth, 512);
                }
            }
        }
    }
}
