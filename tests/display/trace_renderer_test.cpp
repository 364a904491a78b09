#include "display/TraceRenderer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "display/DisplayPass.h"
#include "display/DisplayTestState.h"

using namespace varmolen;
using varmolen::testing::Bench;

namespace {

constexpr std::uint32_t kLime = 0x00FF00;
constexpr std::uint32_t kBlue = 0xFF0000;
constexpr std::uint32_t kRed = 0x0000FF;

// Channel 1 alone, TIME, unit gain (4*1024*s >> 12 == s), no grid.
Bench MakeTimeBench()
{
    Bench b;
    b.s.gridEnabled = 0;
    b.s.chan1Enabled = 1;
    b.s.chan1Color = kLime;
    b.s.chan2Color = kBlue;
    b.s.chan1TimeGain = 1024;
    b.s.chan2TimeGain = 1024;
    b.s.chan1TimeOffset = 200;
    b.s.chan2TimeOffset = 200;
    return b;
}

}  // namespace

TEST(ScaleSample, MatchesThirtyTwoBitFormulaAndSaturates)
{
    EXPECT_EQ(scaleSample(25, 1000), (4 * 25 * 1000) >> 12);
    EXPECT_EQ(scaleSample(25, -1000), (4 * 25 * -1000) >> 12);  // arithmetic shift: -25
    EXPECT_EQ(scaleSample(25, -1000), -25);
    EXPECT_EQ(scaleSample(5000, 32767), (4 * 5000 * 32767) >> 12);
    EXPECT_EQ(scaleSample(5000, -32768), (4 * 5000 * -32768) >> 12);
    EXPECT_EQ(scaleSample(std::numeric_limits<std::int32_t>::max(), 32768), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(scaleSample(std::numeric_limits<std::int32_t>::min(), 32768), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(scaleSample(std::numeric_limits<std::int32_t>::min(), std::int64_t{1} << 40),
              std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(bandFactor(0), 1);
    EXPECT_EQ(bandFactor(1), 1);
    EXPECT_EQ(bandFactor(10), 3);
    EXPECT_EQ(bandFactor(100), 5);
    EXPECT_EQ(bandFactor(-4), 1);
}

TEST(TimeTrigger, SinRisingTriggersAtFirstSampleInsideTheBand)
{
    Bench b = MakeTimeBench();
    b.s.triggerEnabled = 1;
    b.s.triggerShape = 1;
    b.s.triggerSlope = 1;
    b.s.triggerThreshold = 0;
    for (int i = 0; i < 1024; ++i)
        b.s.chan1Samples[i] = 2 * i;  // 0, 2, 4, ...
    runDisplayPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.s.triggerIndex, 1);
    EXPECT_EQ(b.s.crossingSeen, 0);  // 0 < 0 is no crossing of the level
    EXPECT_EQ(b.s.chan1Trace[0], 2);
    EXPECT_EQ(b.s.chan1Trace[512], 2 * 513);
    // The trace starts with that sample at x = 0: row 200 - 2, then rising.
    EXPECT_EQ(b.r.pixel(0, 198), kLime);
    EXPECT_EQ(b.r.pixel(10, 200 - 22), kLime);
    EXPECT_NE(b.r.pixel(10, 200 - 20), kLime);
}

TEST(TimeTrigger, SinFallingUsesTheBandAboveTheLevel)
{
    Bench b = MakeTimeBench();
    b.s.triggerEnabled = 1;
    b.s.triggerShape = 1;
    b.s.triggerSlope = 0;
    b.s.triggerThreshold = 0;
    for (int i = 0; i < 1024; ++i)
        b.s.chan1Samples[i] = 40 - 3 * i;  // 40, 37, ... 4, 1, -2
    runDisplayPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.s.triggerIndex, 12);  // W = 4 is the first value in (0, 5)
    EXPECT_EQ(b.s.chan1Trace[0], 4);
    EXPECT_EQ(b.s.crossingSeen, 0);  // the search stopped at the trigger point
}

TEST(TimeTrigger, SqvStepTriggersAtTheEdgeBothSlopes)
{
    for (int slope : {1, 0}) {
        Bench b = MakeTimeBench();
        b.s.triggerEnabled = 1;
        b.s.triggerShape = 2;
        b.s.triggerSlope = slope;
        for (int i = 0; i < 1024; ++i) {
            const bool high = (i >= 100) == (slope == 1);
            b.s.chan1Samples[i] = high ? 20 : -20;
        }
        runDisplayPass(b.s, b.s, b.s, b.r);
        EXPECT_EQ(b.s.triggerIndex, 100) << slope;
        EXPECT_EQ(b.s.crossingSeen, 1) << slope;
        EXPECT_EQ(b.s.chan1Trace[0], slope == 1 ? 20 : -20);
        EXPECT_EQ(b.r.pixel(100, slope == 1 ? 180 : 220), kLime) << slope;
    }
}

TEST(TimeTrigger, RampCrossesWithoutTriggeringAndKeepsThePreviousTrace)
{
    Bench b = MakeTimeBench();
    b.s.triggerEnabled = 1;
    b.s.triggerShape = 2;
    b.s.triggerSlope = 1;
    for (int k = 0; k < 513; ++k)
        b.s.chan1Trace[k] = 7;  // the picture of the last pass
    for (int i = 0; i < 1024; ++i)
        b.s.chan1Samples[i] = 2 * i - 3;  // -3, -1, 1, 3 ...
    runDisplayPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.s.crossingSeen, 1);
    EXPECT_EQ(b.s.triggerIndex, 0);
    for (int k = 0; k < 513; ++k)
        ASSERT_EQ(b.s.chan1Trace[k], 7) << k;
    EXPECT_EQ(b.CountRow(193, kLime, 6, 511), 506);  // previous flat trace redrawn
}

TEST(TimeTrigger, NoCrossingRunsFreeFromSampleZero)
{
    Bench b = MakeTimeBench();
    b.s.triggerEnabled = 1;
    b.s.triggerShape = 1;
    b.s.triggerThreshold = 100;
    for (int i = 0; i < 1024; ++i)
        b.s.chan1Samples[i] = i % 50;  // never reaches 100
    runDisplayPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.s.crossingSeen, 0);
    EXPECT_EQ(b.s.triggerIndex, 0);
    for (int k = 0; k < 513; ++k)
        ASSERT_EQ(b.s.chan1Trace[k], k % 50);
    // The level tick: red, three pixels thick, columns 0..5 around row 100.
    EXPECT_EQ(b.r.pixel(2, 100), kRed);
    EXPECT_EQ(b.r.pixel(5, 101), kRed);
    EXPECT_NE(b.r.pixel(7, 100), kRed);
    EXPECT_EQ(b.r.penWidth(), 1);
}

TEST(TimeTrigger, SingleSweepHoldsTheDisplay)
{
    Bench b = MakeTimeBench();
    b.s.triggerEnabled = 1;
    b.s.singleSweep = 1;
    for (int i = 0; i < 1024; ++i)
        b.s.chan1Samples[i] = 2 * i;
    runDisplayPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.s.displayHold, 1);
    b.s.singleSweep = 0;
    runDisplayPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.s.displayHold, 0);
}

TEST(TimeChannels, GroundRangeDrawsTheBaselineEveryPass)
{
    for (int trigger : {0, 1}) {
        Bench b = MakeTimeBench();
        b.s.triggerEnabled = static_cast<flag>(trigger);
        b.s.chan1TimeRange = 0;
        b.s.chan1TimeGain = 0;
        for (int k = 0; k < 513; ++k)
            b.s.chan1Trace[k] = 55;
        for (int i = 0; i < 1024; ++i)
            b.s.chan1Samples[i] = (i * 7919) % 3000 - 1500;
        runDisplayPass(b.s, b.s, b.s, b.r);
        for (int k = 0; k < 513; ++k)
            ASSERT_EQ(b.s.chan1Trace[k], 0) << trigger;
        EXPECT_EQ(b.CountRow(200, kLime, 6, 511), 506) << trigger;
        EXPECT_EQ(b.CountAll(kLime), trigger ? 506 : 512);
    }
}

TEST(TimeChannels, AddShowsTheSumWithEachChannelsGain)
{
    Bench b = MakeTimeBench();
    b.s.chan2Enabled = 1;
    b.s.addChannels = 1;
    b.s.chan2TimeGain = 2048;
    b.s.chan2TimeOffset = 300;
    for (int i = 0; i < 1024; ++i) {
        b.s.chan1Samples[i] = 10;
        b.s.chan2Samples[i] = 5;
    }
    runDisplayPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.s.chan1Trace[0], 15);
    EXPECT_EQ(b.s.chan2Trace[0], 30);
    EXPECT_EQ(b.CountRow(185, kLime), 512);
    EXPECT_EQ(b.CountRow(270, kBlue), 512);
}

TEST(TimeChannels, ChopOtherChannelFollowsTheSourceTriggerPoint)
{
    Bench b = MakeTimeBench();
    b.s.chan2Enabled = 1;
    b.s.triggerEnabled = 1;
    b.s.chopMode = 1;
    for (int i = 0; i < 1024; ++i) {
        b.s.chan1Samples[i] = i < 60 ? -40 : 40;
        b.s.chan2Samples[i] = i;
    }
    b.s.triggerShape = 2;
    runDisplayPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.s.triggerIndex, 60);
    EXPECT_EQ(b.s.chan2Trace[0], 60);
    EXPECT_EQ(b.s.chan2Trace[512], 572);
}

TEST(TimeChannels, AltEachChannelSearchesItsOwnTrigger)
{
    Bench b = MakeTimeBench();
    b.s.chan2Enabled = 1;
    b.s.triggerEnabled = 1;
    b.s.chopMode = 0;
    b.s.triggerShape = 2;
    for (int i = 0; i < 1024; ++i) {
        b.s.chan1Samples[i] = i < 60 ? -40 : 40;
        b.s.chan2Samples[i] = i < 200 ? -30 : 30 + i;
    }
    runDisplayPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.s.chan1Trace[0], 40);
    EXPECT_EQ(b.s.triggerIndex, 200);
    EXPECT_EQ(b.s.chan2Trace[0], 230);
}

TEST(TimeChannels, DisabledSourceLeavesAStaleTriggerPoint)
{
    Bench b = MakeTimeBench();
    b.s.chan1Enabled = 0;
    b.s.chan2Enabled = 1;
    b.s.triggerChannel = 1;
    b.s.triggerEnabled = 1;
    b.s.chopMode = 1;
    b.s.triggerIndex = 40;  // left by an earlier pass
    b.s.crossingSeen = 1;
    for (int i = 0; i < 1024; ++i)
        b.s.chan2Samples[i] = i;
    runDisplayPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.s.triggerIndex, 40);
    EXPECT_EQ(b.s.chan2Trace[0], 40);
    EXPECT_EQ(b.s.chan2Trace[512], 552);
    // Out of range (from anywhere): clamped to the last search position.
    b.s.triggerIndex = 900000;
    runDisplayPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.s.chan2Trace[0], 511);
    EXPECT_EQ(b.s.chan2Trace[512], 1023);
}

TEST(TimeView, SpanResamplesAndExpansionUsesAtLeastNineColumns)
{
    Bench b = MakeTimeBench();
    for (int i = 0; i < 1024; ++i)
        b.s.chan1Samples[i] = i / 4;
    b.s.span = 256;
    b.s.blockSize = 256;
    b.s.interpFactor = 4;
    runDisplayPass(b.s, b.s, b.s, b.r);
    for (int k = 0; k < 256; ++k)
        ASSERT_EQ(b.s.resampledTrace[2 * k], k / 4) << k;
    EXPECT_EQ(b.r.pixel(400, 200 - 50), kLime);  // column 400 shows sample 200

    Bench e = MakeTimeBench();
    for (int i = 0; i < 1024; ++i)
        e.s.chan1Samples[i] = i;
    e.s.marker1Enabled = 1;
    e.s.marker2Enabled = 1;
    e.s.marker1Pos = 100;
    e.s.marker2Pos = 103;
    e.s.expanded = 1;
    e.s.chan1TimeOffset = 300;
    EXPECT_TRUE(runDisplayPass(e.s, e.s, e.s, e.r));
    EXPECT_EQ(e.s.expandWidth, 9);
    EXPECT_EQ(e.s.expandedTrace[0], 100);
    for (int k = 0; k < 256; ++k)
        ASSERT_NEAR(e.s.expandedTrace[k], 100 + k * 9 / 513, 1) << k;
    // Rows 300-100 down to 300-109 carry the trace, nothing above; the
    // marker lines are hidden in the expanded view.
    EXPECT_EQ(e.r.pixel(0, 200), kLime);
    EXPECT_EQ(e.CountAll(0xFF00FF), 0);
    for (int y = 0; y < 190; ++y)
        ASSERT_EQ(e.CountRow(y, kLime), 0) << y;
}

TEST(TimeXY, ScalesIntoWorkArraysAndLeavesTheSamplesAlone)
{
    Bench b = MakeTimeBench();
    b.s.traceMode = 2;
    b.s.chan2Enabled = 1;
    b.s.triggerEnabled = 1;
    b.s.chan1TimeGain = 2048;  // horizontal (channel 2) gain
    b.s.chan2TimeGain = 2048;  // vertical (channel 1) gain
    for (int i = 0; i < 4097; ++i) {
        b.s.chan1Samples[i] = 30;
        b.s.chan2Samples[i] = i / 2 - 128;
    }
    const auto before1 = b.s.chan1Samples;
    const auto before2 = b.s.chan2Samples;
    for (int pass = 0; pass < 3; ++pass) {
        b.r.fill(0xFFFFFF);
        runDisplayPass(b.s, b.s, b.s, b.r);
        // A horizontal line 2*30 above the XY centre row 171.
        EXPECT_GT(b.CountRow(111, kLime), 400) << pass;
        EXPECT_EQ(b.CountRow(51, kLime), 0) << pass;  // not scaled twice
        EXPECT_EQ(b.CountAll(kBlue), 0);              // channel 2 draws nothing in XY
        EXPECT_EQ(b.CountAll(kRed), 0);               // no trigger tick in XY
    }
    EXPECT_EQ(b.s.chan1Samples, before1);
    EXPECT_EQ(b.s.chan2Samples, before2);
    EXPECT_EQ(b.s.xyHorizontal[300], 2 * (150 - 128));
}
