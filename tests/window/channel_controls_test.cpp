// The channel columns and the Trace group on the window: each control set as
// a user would, its handler run, the state read back.
#include <QSlider>

#include "PanelFormRig.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/RockerSwitch.h"

namespace varmolen {
namespace {

using ChannelControlsTest = test::PanelFormRig;

TEST_F(ChannelControlsTest, RangeTrackBarWithGainDialAtHalf)
{
    ASSERT_EQ(form->controls().chan1.Chan1GainDial->value(), 50.0f);
    const std::int32_t ranges[] = {0, 1, 10, 100};
    const std::int32_t gains[] = {0, 25, 250, 2500};
    for (int p = 0; p < 4; ++p) {
        // The track bar's change notification runs the handler.
        slide(form->controls().chan1.Chan1GainTrackBar, p);
        EXPECT_EQ(s().chan1TimeRange, ranges[p]);
        EXPECT_EQ(s().chan1TimeGain, gains[p]);
        slide(form->controls().chan2.Chan2GainTrackBar, p);
        EXPECT_EQ(s().chan2TimeRange, ranges[p]);
        EXPECT_EQ(s().chan2TimeGain, gains[p]);
    }
    // The stored dial positions are the dial handlers' business.
    EXPECT_EQ(s().chan1TimeGainDial, 0);
}

TEST_F(ChannelControlsTest, GainDialStoresGainAndWholeDialPosition)
{
    turn(form->controls().chan1.Chan1GainDial, 37.6f);
    EXPECT_EQ(s().chan1TimeGain, 18);
    EXPECT_EQ(s().chan1TimeGainDial, 37);

    slide(form->controls().chan2.Chan2GainTrackBar, 3);
    press(form->controls().chan2.Chan2GainDial, 100.0f);
    EXPECT_EQ(s().chan2TimeGain, 5000);
    EXPECT_EQ(s().chan2TimeGainDial, 100);

    // Gnd: no gain whatever the dial says.
    slide(form->controls().chan1.Chan1GainTrackBar, 0);
    press(form->controls().chan1.Chan1GainDial, 90.0f);
    EXPECT_EQ(s().chan1TimeGain, 0);
    EXPECT_EQ(s().chan1TimeGainDial, 90);
}

TEST_F(ChannelControlsTest, DisplayTypesKeepTheirOwnSettings)
{
    form->controls().displayMenu.FFT1->trigger();
    const std::int32_t timeGain = s().chan1TimeGain;
    const std::int32_t timeDial = s().chan1TimeGainDial;
    const std::int32_t timeRange = s().chan1TimeRange;
    const std::int32_t timeOffset = s().chan1TimeOffset;

    slide(form->controls().chan1.Chan1GainTrackBar, 2);
    turn(form->controls().chan1.Chan1GainDial, 80.0f);
    turn(form->controls().chan1.Chan1OffsetDial, 50.0f);
    EXPECT_EQ(s().chan1FreqRange, 10);
    EXPECT_EQ(s().chan1FreqGain, 400);
    EXPECT_EQ(s().chan1FreqGainDial, 80);
    EXPECT_EQ(s().chan1FreqOffset, 171);
    EXPECT_EQ(s().chan1TimeGain, timeGain);
    EXPECT_EQ(s().chan1TimeGainDial, timeDial);
    EXPECT_EQ(s().chan1TimeRange, timeRange);
    EXPECT_EQ(s().chan1TimeOffset, timeOffset);

    // And the reverse.
    form->controls().displayMenu.Time1->trigger();
    const std::int32_t freqGain2 = s().chan2FreqGain;
    const std::int32_t freqDial2 = s().chan2FreqGainDial;
    press(form->controls().chan2.Chan2OffsetDial, 10.0f);
    press(form->controls().chan2.Chan2GainDial, 20.0f);
    EXPECT_EQ(s().chan2TimeOffset, 308);
    EXPECT_EQ(s().chan2TimeGain, 10);
    EXPECT_EQ(s().chan1FreqOffset, 171);
    EXPECT_EQ(s().chan2FreqOffset, 343);
    EXPECT_EQ(s().chan2FreqGain, freqGain2);
    EXPECT_EQ(s().chan2FreqGainDial, freqDial2);
    EXPECT_EQ(s().chan1FreqGain, 400);
}

TEST_F(ChannelControlsTest, PositionDialEndsAndQuarters)
{
    const struct {
        float percent;
        std::int32_t row;
    } cases[] = {{100.0f, 0}, {0.0f, 343}, {75.0f, 85}, {50.0f, 171}, {25.0f, 257}};
    for (const auto& c : cases) {
        press(form->controls().chan1.Chan1OffsetDial, c.percent);
        EXPECT_EQ(s().chan1TimeOffset, c.row) << c.percent;
        turn(form->controls().chan2.Chan2OffsetDial, c.percent);
        EXPECT_EQ(s().chan2TimeOffset, c.row) << c.percent;
    }
}

TEST_F(ChannelControlsTest, RockersSetTheirFlags)
{
    press(form->controls().chan1.Chan1GainDial, 70.0f);
    const std::int32_t gain = s().chan1TimeGain;
    const std::int32_t offset = s().chan1TimeOffset;

    flip(form->controls().chan1.Chan1EnbSwitch, true);
    flip(form->controls().chan2.Chan2EnbSwitch, true);
    EXPECT_EQ(s().chan1Enabled, 1);
    EXPECT_EQ(s().chan2Enabled, 1);
    flip(form->controls().chan1.Chan1EnbSwitch, false);
    EXPECT_EQ(s().chan1Enabled, 0);
    EXPECT_EQ(s().chan2Enabled, 1);
    // Off keeps the channel's gain and zero line.
    EXPECT_EQ(s().chan1TimeGain, gain);
    EXPECT_EQ(s().chan1TimeOffset, offset);

    flip(form->controls().trace.AddChanSw, true);
    EXPECT_EQ(s().addChannels, 1);
    flip(form->controls().trace.AddChanSw, false);
    EXPECT_EQ(s().addChannels, 0);

    flip(form->controls().trace.TraceModeSw, true);
    EXPECT_EQ(s().traceMode, 2);
    flip(form->controls().trace.TraceModeSw, false);
    EXPECT_EQ(s().traceMode, 1);
}

}  // namespace
}  // namespace varmolen
