// The Trigger, Display and Time Base groups on the window: the toggles, the
// three freeze states of Hold and Single, and the sample-rate buttons with
// their stop, pause, re-label and restart.
#include <QAction>
#include <QElapsedTimer>
#include <QRadioButton>

#include <algorithm>
#include <cmath>

#include "PanelFormRig.h"
#include "display/DisplayPass.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"

namespace varmolen {
namespace {

class TriggerControlsTest : public test::PanelFormRig {
protected:
    // One display pass of channel 1 carrying a sine that crosses the level.
    void displayPass()
    {
        for (int i = 0; i < 1024; ++i)
            s().chan1Samples[i] = static_cast<std::int32_t>(8000.0 * std::sin(i * 0.1));
        RunDisplayPass(s(), form->displayBitmap());
    }
    std::ptrdiff_t indexOf(WaveCall call, std::size_t from = 0) const
    {
        const auto& calls = device.calls();
        const auto it = std::find(calls.begin() + static_cast<std::ptrdiff_t>(std::min(from, calls.size())),
                                  calls.end(), call);
        return it == calls.end() ? -1 : it - calls.begin();
    }
};

TEST_F(TriggerControlsTest, TogglesRecordTheirPositions)
{
    flip(form->TriggerEnableSwitch, true);
    EXPECT_EQ(s().triggerEnabled, 1);
    flip(form->TriggerEnableSwitch, false);
    EXPECT_EQ(s().triggerEnabled, 0);

    flip(form->TrigSlopeSw, false);
    EXPECT_EQ(s().triggerSlope, 0);
    flip(form->TrigSlopeSw, true);
    EXPECT_EQ(s().triggerSlope, 1);

    flip(form->ChannelSw, false);
    EXPECT_EQ(s().triggerChannel, 2);
    flip(form->ChannelSw, true);
    EXPECT_EQ(s().triggerChannel, 1);

    flip(form->ChopSw, false);
    EXPECT_EQ(s().chopMode, 0);
    flip(form->ChopSw, true);
    EXPECT_EQ(s().chopMode, 1);

    flip(form->SineSquareSw, false);
    EXPECT_EQ(s().triggerShape, 2);
    flip(form->SineSquareSw, true);
    EXPECT_EQ(s().triggerShape, 1);
}

TEST_F(TriggerControlsTest, SlopeChangeRefreshesTheThresholdPanel)
{
    // The dial moved by the program: the panel does not know yet.
    form->ThresholdDial->setValue(-12.7f);
    ASSERT_EQ(status(2), "Threshold = 0");
    flip(form->TrigSlopeSw, false);
    EXPECT_EQ(s().triggerThreshold, -25);
    EXPECT_EQ(status(2), "Threshold = -25");
}

TEST_F(TriggerControlsTest, FreezeStates)
{
    flip(form->Chan1EnbSwitch, true);

    // Hold freezes; letting go of Hold runs again.
    flip(form->DisplayHoldSw, true);
    EXPECT_EQ(s().displayHold, 1);
    flip(form->DisplayHoldSw, false);
    EXPECT_EQ(s().displayHold, 0);

    // Single armed with the trigger off: no trigger search, never frozen.
    ASSERT_EQ(s().triggerEnabled, 0);
    flip(form->SingleDisplaySw, true);
    EXPECT_EQ(s().singleSweep, 1);
    EXPECT_EQ(s().displayHold, 0);
    displayPass();
    displayPass();
    EXPECT_EQ(s().displayHold, 0);

    // Trigger on: the next search freezes the display.
    flip(form->TriggerEnableSwitch, true);
    displayPass();
    EXPECT_EQ(s().displayHold, 1);

    // Unchecking Single unfreezes even with Hold checked; Hold stays checked.
    flip(form->DisplayHoldSw, true);
    flip(form->SingleDisplaySw, false);
    EXPECT_EQ(s().singleSweep, 0);
    EXPECT_EQ(s().displayHold, 0);
    EXPECT_TRUE(form->DisplayHoldSw->isChecked());

    // Hold released while a single sweep is armed: the next search freezes again.
    flip(form->SingleDisplaySw, true);
    flip(form->DisplayHoldSw, false);
    EXPECT_EQ(s().displayHold, 0);
    displayPass();
    EXPECT_EQ(s().displayHold, 1);
}

TEST_F(TriggerControlsTest, BufferBytesPerInputAndRate)
{
    struct Case {
        QAction* input;
        QRadioButton* rate;
        std::uint32_t hz;
        std::uint16_t bytes;
    };
    const Case cases[] = {
        {form->Mic1, form->LowSampleRateRadioBtn, 11025, 2048},
        {form->Mic1, form->MidSampleRateRadioBtn, 22050, 2048},
        {form->Mic1, form->HiSampleRateRadioBtn, 44100, 4096},
        {form->Line1, form->LowSampleRateRadioBtn, 11025, 4096},
        {form->Line1, form->MidSampleRateRadioBtn, 22050, 4096},
        {form->Line1, form->HiSampleRateRadioBtn, 44100, 8192},
    };
    // As at start-up, so that no case waits for the device.
    s().loadingSettings = 1;
    for (const Case& c : cases) {
        c.input->trigger();
        c.rate->click();
        EXPECT_EQ(s().sampleRate, c.hz);
        EXPECT_EQ(s().bufferBytes, c.bytes) << c.hz << " Hz, " << s().channelCount << " channel(s)";
    }
}

TEST_F(TriggerControlsTest, RateButtonsCheckOnlyThemselves)
{
    s().loadingSettings = 1;
    form->MidSampleRateRadioBtn->click();
    EXPECT_FALSE(form->LowSampleRateRadioBtn->isChecked());
    EXPECT_TRUE(form->MidSampleRateRadioBtn->isChecked());
    EXPECT_FALSE(form->HiSampleRateRadioBtn->isChecked());
    form->HiSampleRateRadioBtn->click();
    EXPECT_FALSE(form->MidSampleRateRadioBtn->isChecked());
    EXPECT_TRUE(form->HiSampleRateRadioBtn->isChecked());
    form->LowSampleRateRadioBtn->click();
    EXPECT_TRUE(form->LowSampleRateRadioBtn->isChecked());
    EXPECT_FALSE(form->HiSampleRateRadioBtn->isChecked());
}

TEST_F(TriggerControlsTest, RateChangeRelabelsTheScales)
{
    s().loadingSettings = 1;
    form->FFT1->trigger();
    form->MidSampleRateRadioBtn->click();
    EXPECT_EQ(hi(), "11025 Hz");

    form->Time1->trigger();
    flip(form->Mkr1Switch, true);
    flip(form->Mkr2Switch, true);
    EXPECT_EQ(marker(), "Marker Difference = 11.51 ms");
    form->LowSampleRateRadioBtn->click();
    EXPECT_EQ(hi(), "46.43 ms");
    EXPECT_EQ(marker(), "Marker Difference = 23.03 ms");
    EXPECT_EQ(status(4), "1/Mkr = 43 Hz");
}

TEST_F(TriggerControlsTest, RateChangeStopsPausesAndRestartsAtTheNewRate)
{
    ASSERT_EQ(s().loadingSettings, 0);
    form->Mic1->trigger();  // records from the device, mono
    ASSERT_EQ(s().stopped, 0) << "the memory device opens";
    const int stops = form->stopRuns();
    const int starts = form->startRuns();
    device.clearCallLog();

    QElapsedTimer clock;
    clock.start();
    form->HiSampleRateRadioBtn->click();
    const qint64 elapsed = clock.elapsed();

    EXPECT_EQ(form->stopRuns(), stops + 1);
    EXPECT_EQ(form->startRuns(), starts + 1);
    EXPECT_GE(elapsed, 340) << "the device is given its pause";
    // The old run's device is closed before the new one opens at the new rate.
    const std::ptrdiff_t close = indexOf(WaveCall::Close);
    const std::ptrdiff_t open = indexOf(WaveCall::Open);
    ASSERT_GE(close, 0);
    ASSERT_GE(open, 0);
    EXPECT_LT(close, open);
    EXPECT_EQ(device.openedFormat().nSamplesPerSec, 44100u);
    EXPECT_EQ(device.openedFormat().nChannels, 1);
    EXPECT_EQ(s().bufferBytes, 4096);
    EXPECT_EQ(s().stopped, 0);
}

TEST_F(TriggerControlsTest, WhileSettingsLoadNothingStopsStartsOrWaits)
{
    s().loadingSettings = 1;
    const int stops = form->stopRuns();
    const int starts = form->startRuns();
    device.clearCallLog();

    QElapsedTimer clock;
    clock.start();
    form->MidSampleRateRadioBtn->click();
    form->HiSampleRateRadioBtn->click();
    form->LowSampleRateRadioBtn->click();
    const qint64 elapsed = clock.elapsed();

    EXPECT_EQ(form->stopRuns(), stops);
    EXPECT_EQ(form->startRuns(), starts);
    EXPECT_TRUE(device.calls().empty());
    EXPECT_LT(elapsed, 300) << "no 350 ms pause while the settings load";
    EXPECT_EQ(s().sampleRate, 11025u);
    EXPECT_EQ(s().stopped, 1);
}

}  // namespace
}  // namespace varmolen
