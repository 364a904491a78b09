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
    ASSERT_EQ(form->Chan1GainDial->value(), 50.0f);
    const std::int32_t ranges[] = {0, 1, 10, 100};
    const std::int32_t gains[] = {0, 25, 250, 2500};
    for (int p = 0; p < 4; ++p) {
        // The track bar's change notification runs the handler.
        form->Chan1GainTrackBar->setValue(p);
        form->Chan1GainTrackBarChange(form->Chan1GainTrackBar);
        EXPECT_EQ(s().chan1TimeRange, ranges[p]);
        EXPECT_EQ(s().chan1TimeGain, gains[p]);
        form->Chan2GainTrackBar->setValue(p);
        form->Chan2GainTrackBarChange(form->Chan2GainTrackBar);
        EXPECT_EQ(s().chan2TimeRange, ranges[p]);
        EXPECT_EQ(s().chan2TimeGain, gains[p]);
    }
    // The stored dial positions are the dial handlers' business.
    EXPECT_EQ(s().chan1TimeGainDial, 0);
}

TEST_F(ChannelControlsTest, GainDialStoresGainAndWholeDialPosition)
{
    form->Chan1GainDial->setValue(37.6f);
    form->Chan1GainDialValueChange(form->Chan1GainDial);
    EXPECT_EQ(s().chan1TimeGain, 18);
    EXPECT_EQ(s().chan1TimeGainDial, 37);

    form->Chan2GainTrackBar->setValue(3);
    form->Chan2GainTrackBarChange(form->Chan2GainTrackBar);
    form->Chan2GainDial->setValue(100.0f);
    form->Chan2GainDialClick(form->Chan2GainDial);
    EXPECT_EQ(s().chan2TimeGain, 5000);
    EXPECT_EQ(s().chan2TimeGainDial, 100);

    // Gnd: no gain whatever the dial says.
    form->Chan1GainTrackBar->setValue(0);
    form->Chan1GainTrackBarChange(form->Chan1GainTrackBar);
    form->Chan1GainDial->setValue(90.0f);
    form->Chan1GainDialClick(form->Chan1GainDial);
    EXPECT_EQ(s().chan1TimeGain, 0);
    EXPECT_EQ(s().chan1TimeGainDial, 90);
}

TEST_F(ChannelControlsTest, DisplayTypesKeepTheirOwnSettings)
{
    form->FFT1Click(form->FFT1);
    const std::int32_t timeGain = s().chan1TimeGain;
    const std::int32_t timeDial = s().chan1TimeGainDial;
    const std::int32_t timeRange = s().chan1TimeRange;
    const std::int32_t timeOffset = s().chan1TimeOffset;

    form->Chan1GainTrackBar->setValue(2);
    form->Chan1GainTrackBarChange(form->Chan1GainTrackBar);
    form->Chan1GainDial->setValue(80.0f);
    form->Chan1GainDialValueChange(form->Chan1GainDial);
    form->Chan1OffsetDial->setValue(50.0f);
    form->Chan1OffsetDialValueChange(form->Chan1OffsetDial);
    EXPECT_EQ(s().chan1FreqRange, 10);
    EXPECT_EQ(s().chan1FreqGain, 400);
    EXPECT_EQ(s().chan1FreqGainDial, 80);
    EXPECT_EQ(s().chan1FreqOffset, 171);
    EXPECT_EQ(s().chan1TimeGain, timeGain);
    EXPECT_EQ(s().chan1TimeGainDial, timeDial);
    EXPECT_EQ(s().chan1TimeRange, timeRange);
    EXPECT_EQ(s().chan1TimeOffset, timeOffset);

    // And the reverse.
    form->Time1Click(form->Time1);
    const std::int32_t freqGain2 = s().chan2FreqGain;
    const std::int32_t freqDial2 = s().chan2FreqGainDial;
    form->Chan2OffsetDial->setValue(10.0f);
    form->Chan2OffsetDialClick(form->Chan2OffsetDial);
    form->Chan2GainDial->setValue(20.0f);
    form->Chan2GainDialClick(form->Chan2GainDial);
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
        form->Chan1OffsetDial->setValue(c.percent);
        form->Chan1OffsetDialClick(form->Chan1OffsetDial);
        EXPECT_EQ(s().chan1TimeOffset, c.row) << c.percent;
        form->Chan2OffsetDial->setValue(c.percent);
        form->Chan2OffsetDialValueChange(form->Chan2OffsetDial);
        EXPECT_EQ(s().chan2TimeOffset, c.row) << c.percent;
    }
}

TEST_F(ChannelControlsTest, RockersSetTheirFlags)
{
    form->Chan1GainDial->setValue(70.0f);
    form->Chan1GainDialClick(form->Chan1GainDial);
    const std::int32_t gain = s().chan1TimeGain;
    const std::int32_t offset = s().chan1TimeOffset;

    form->Chan1EnbSwitch->setChecked(true);
    form->Chan1EnbSwitchClick(form->Chan1EnbSwitch);
    form->Chan2EnbSwitch->setChecked(true);
    form->Chan2EnbSwitchClick(form->Chan2EnbSwitch);
    EXPECT_EQ(s().chan1Enabled, 1);
    EXPECT_EQ(s().chan2Enabled, 1);
    form->Chan1EnbSwitch->setChecked(false);
    form->Chan1EnbSwitchClick(form->Chan1EnbSwitch);
    EXPECT_EQ(s().chan1Enabled, 0);
    EXPECT_EQ(s().chan2Enabled, 1);
    // Off keeps the channel's gain and zero line.
    EXPECT_EQ(s().chan1TimeGain, gain);
    EXPECT_EQ(s().chan1TimeOffset, offset);

    form->AddChanSw->setChecked(true);
    form->AddChanSwClick(form->AddChanSw);
    EXPECT_EQ(s().addChannels, 1);
    form->AddChanSw->setChecked(false);
    form->AddChanSwClick(form->AddChanSw);
    EXPECT_EQ(s().addChannels, 0);

    form->TraceModeSw->setChecked(true);
    form->TraceModeSwClick(form->TraceModeSw);
    EXPECT_EQ(s().traceMode, 2);
    form->TraceModeSw->setChecked(false);
    form->TraceModeSwClick(form->TraceModeSw);
    EXPECT_EQ(s().traceMode, 1);
}

}  // namespace
}  // namespace varmolen
