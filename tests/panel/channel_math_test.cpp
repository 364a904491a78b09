// The channel columns' arithmetic without a window: gains from range and
// Gain dial, zero lines from the Position dial and back, the range positions and
// the copies per display type.
#include "panel/ChannelMath.h"
#include "state/InstrumentState.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include <gtest/gtest.h>

namespace varmolen {
namespace {

std::unique_ptr<InstrumentState> startupState()
{
    auto s = std::make_unique<InstrumentState>();
    return s;
}

TEST(ChannelMath, RangePositionsMapBothWays)
{
    const std::int32_t multipliers[] = {0, 1, 10, 100};
    for (int p = 0; p < 4; ++p) {
        ASSERT_EQ(rangeFromPosition(p), multipliers[p]);
        EXPECT_EQ(positionFromRange(multipliers[p]), p);
    }
    EXPECT_FALSE(rangeFromPosition(-1));
    EXPECT_FALSE(rangeFromPosition(4));
    EXPECT_FALSE(positionFromRange(2));
    EXPECT_FALSE(positionFromRange(-1));
    EXPECT_FALSE(positionFromRange(1000));
}

TEST(ChannelMath, GainIsRangeTimesDialHalvedAndTruncated)
{
    EXPECT_EQ(gainFromDial(0, 50.0f), 0);
    EXPECT_EQ(gainFromDial(1, 50.0f), 25);
    EXPECT_EQ(gainFromDial(10, 50.0f), 250);
    EXPECT_EQ(gainFromDial(100, 50.0f), 2500);
    EXPECT_EQ(gainFromDial(1, 37.6f), 18);
    EXPECT_EQ(gainFromDial(10, 37.6f), 187);
    EXPECT_EQ(gainFromDial(100, 100.0f), 5000);
    EXPECT_EQ(gainFromDial(0, 100.0f), 0);
    EXPECT_EQ(gainDialPosition(37.6f), 37);
    EXPECT_EQ(gainDialPosition(99.99f), 99);
    EXPECT_EQ(gainDialPosition(100.0f), 100);
}

TEST(ChannelMath, GainStaysInItsRangeWhateverTheFileHolds)
{
    // Multipliers no track bar gives, dial values no dial reports.
    EXPECT_EQ(gainFromDial(std::numeric_limits<std::int32_t>::max(), 100.0f), kMaxGain);
    EXPECT_EQ(gainFromDial(std::numeric_limits<std::int32_t>::min(), 100.0f), 0);
    EXPECT_EQ(gainFromDial(-10, 50.0f), 0);
    EXPECT_EQ(gainFromDial(100, 1e30f), kMaxGain);
    EXPECT_EQ(gainFromDial(100, std::nanf("")), 0);
    EXPECT_EQ(gainDialPosition(-3.0f), 0);
    EXPECT_EQ(gainDialPosition(250.0f), 100);
}

TEST(ChannelMath, ZeroLineFromPositionDialAndBack)
{
    EXPECT_EQ(offsetFromDial(343, 100.0f), 0);
    EXPECT_EQ(offsetFromDial(343, 0.0f), 343);
    EXPECT_EQ(offsetFromDial(343, 75.0f), 85);
    EXPECT_EQ(offsetFromDial(343, 50.0f), 171);
    EXPECT_EQ(offsetFromDial(343, 25.0f), 257);
    EXPECT_EQ(offsetFromDial(343, 74.0f), 89);
    EXPECT_EQ(offsetFromDial(343, 24.0f), 260);
    EXPECT_EQ(offsetFromDial(343, -5.0f), 343);
    EXPECT_EQ(offsetFromDial(343, 500.0f), 0);

    EXPECT_EQ(dialFromOffset(343, 85), 75);
    EXPECT_EQ(dialFromOffset(343, 86), 74);
    EXPECT_EQ(dialFromOffset(343, 258), 24);
    EXPECT_EQ(dialFromOffset(343, 0), 100);
    EXPECT_EQ(dialFromOffset(343, 343), 0);
    // Rows from a damaged file: no overflow, no division by zero.
    EXPECT_EQ(dialFromOffset(343, std::numeric_limits<std::int32_t>::min()), 100);
    EXPECT_EQ(dialFromOffset(343, std::numeric_limits<std::int32_t>::max()), 0);
    EXPECT_EQ(dialFromOffset(0, 10), 0);
}

TEST(ChannelMath, HandlersWriteOnlyTheCopyOfTheDisplayTypeInForce)
{
    auto s = startupState();
    s->displayType = kFrequencyDisplayType;
    const std::int32_t timeGain = s->chan1TimeGain;
    const std::int32_t timeGainDial = s->chan1TimeGainDial;
    const std::int32_t timeRange = s->chan1TimeRange;
    const std::int32_t timeOffset = s->chan1TimeOffset;

    applyGainDial(*s, 1, 80.0f);
    ASSERT_TRUE(applyRangePosition(*s, 1, 2, 80.0f));
    applyOffsetDial(*s, s->displayHeight, 1, 50.0f);
    EXPECT_EQ(s->chan1FreqRange, 10);
    EXPECT_EQ(s->chan1FreqGain, 400);
    EXPECT_EQ(s->chan1FreqGainDial, 80);
    EXPECT_EQ(s->chan1FreqOffset, 171);
    EXPECT_EQ(s->chan1TimeGain, timeGain);
    EXPECT_EQ(s->chan1TimeGainDial, timeGainDial);
    EXPECT_EQ(s->chan1TimeRange, timeRange);
    EXPECT_EQ(s->chan1TimeOffset, timeOffset);
    // Channel 2 untouched as well.
    EXPECT_EQ(s->chan2FreqGain, 50);
    EXPECT_EQ(s->chan2FreqRange, 1);

    s->displayType = kTimeDisplayType;
    applyGainDial(*s, 2, 37.6f);
    EXPECT_EQ(s->chan2TimeGain, 18);
    EXPECT_EQ(s->chan2TimeGainDial, 37);
    EXPECT_EQ(s->chan2FreqGain, 50);
    EXPECT_EQ(s->chan1FreqGain, 400);
}

TEST(ChannelMath, RangeChangeKeepsTheStoredDialPositionAndRefusesBadPositions)
{
    auto s = startupState();
    s->chan1TimeGainDial = 12;
    ASSERT_TRUE(applyRangePosition(*s, 1, 3, 50.0f));
    EXPECT_EQ(s->chan1TimeRange, 100);
    EXPECT_EQ(s->chan1TimeGain, 2500);
    EXPECT_EQ(s->chan1TimeGainDial, 12);

    EXPECT_FALSE(applyRangePosition(*s, 1, 4, 50.0f));
    EXPECT_FALSE(applyRangePosition(*s, 1, -1, 50.0f));
    EXPECT_EQ(s->chan1TimeRange, 100);
    EXPECT_EQ(s->chan1TimeGain, 2500);
}

TEST(ChannelMath, ControlsForARestoredDisplayType)
{
    auto s = startupState();
    s->chan1TimeRange = 10;
    s->chan1TimeGainDial = 37;
    s->chan1TimeOffset = 86;
    ChannelControlsSetting c = controlsForDisplayType(*s, s->displayHeight, 1);
    EXPECT_EQ(c.trackBarPosition, 2);
    EXPECT_EQ(c.gainDial, 37.0f);
    EXPECT_EQ(c.offsetDial, 74.0f);

    // A multiplier the bar cannot show, a dial position beyond the dial.
    s->chan2TimeRange = 7;
    s->chan2TimeGainDial = 400;
    c = controlsForDisplayType(*s, s->displayHeight, 2);
    EXPECT_FALSE(c.trackBarPosition);
    EXPECT_EQ(c.gainDial, 100.0f);
}

}  // namespace
}  // namespace varmolen
