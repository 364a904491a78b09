// The Trigger, Display and Time Base groups on the window: the toggles, the
// three freeze states of Hold and Single, and the sample-rate buttons with
// their stop, pause, re-label and restart.
#include <QAction>
#include <QComboBox>
#include <QStandardItemModel>
#include <QCoreApplication>
#include <QFile>
#include <QMenu>
#include <QLabel>
#include <QRadioButton>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "panel/widgets/PaintBox.h"
#include "PanelFormRig.h"
#include "display/DisplayPass.h"
#include "window/MeasureControls.h"
#include "panel/MeasureStrip.h"
#include "window/DisplayCsv.h"
#include "persist/ConfigFile.h"
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
        runDisplayPass(s(), s(), s(), form->displayBitmap());
    }
    std::ptrdiff_t indexOf(WaveCall call, std::size_t from = 0) const
    {
        const auto& calls = device.calls();
        const auto it =
            std::find(calls.begin() + static_cast<std::ptrdiff_t>(std::min(from, calls.size())), calls.end(), call);
        return it == calls.end() ? -1 : it - calls.begin();
    }
};

TEST_F(TriggerControlsTest, TogglesRecordTheirPositions)
{
    flip(form->controls().trigger.TriggerEnableSwitch, true);
    EXPECT_EQ(s().triggerEnabled, 1);
    flip(form->controls().trigger.TriggerEnableSwitch, false);
    EXPECT_EQ(s().triggerEnabled, 0);

    flip(form->controls().trigger.TrigSlopeSw, false);
    EXPECT_EQ(s().triggerSlope, 0);
    flip(form->controls().trigger.TrigSlopeSw, true);
    EXPECT_EQ(s().triggerSlope, 1);

    flip(form->controls().trigger.ChannelSw, false);
    EXPECT_EQ(s().triggerChannel, 2);
    flip(form->controls().trigger.ChannelSw, true);
    EXPECT_EQ(s().triggerChannel, 1);

    flip(form->controls().trigger.ChopSw, false);
    EXPECT_EQ(s().chopMode, 0);
    flip(form->controls().trigger.ChopSw, true);
    EXPECT_EQ(s().chopMode, 1);

    flip(form->controls().trigger.SineSquareSw, false);
    EXPECT_EQ(s().triggerShape, 2);
    flip(form->controls().trigger.SineSquareSw, true);
    EXPECT_EQ(s().triggerShape, 1);
}

TEST_F(TriggerControlsTest, SlopeChangeRefreshesTheThresholdPanel)
{
    // The dial moved by the program: the panel does not know yet.
    form->controls().trigger.ThresholdDial->setValue(-12.7f);
    ASSERT_EQ(status(2), "Threshold = 0");
    flip(form->controls().trigger.TrigSlopeSw, false);
    EXPECT_EQ(s().triggerThreshold, -25);
    EXPECT_EQ(status(2), "Threshold = -25");
}

TEST_F(TriggerControlsTest, FreezeStates)
{
    flip(form->controls().chan1.Chan1EnbSwitch, true);

    // Hold freezes; letting go of Hold runs again.
    flip(form->controls().display.DisplayHoldSw, true);
    EXPECT_EQ(s().displayHold, 1);
    flip(form->controls().display.DisplayHoldSw, false);
    EXPECT_EQ(s().displayHold, 0);

    // Single armed with the trigger off: no trigger search, never frozen.
    ASSERT_EQ(s().triggerEnabled, 0);
    flip(form->controls().display.SingleDisplaySw, true);
    EXPECT_EQ(s().singleSweep, 1);
    EXPECT_EQ(s().displayHold, 0);
    displayPass();
    displayPass();
    EXPECT_EQ(s().displayHold, 0);

    // Trigger on: the next search freezes the display.
    flip(form->controls().trigger.TriggerEnableSwitch, true);
    displayPass();
    EXPECT_EQ(s().displayHold, 1);

    // Unchecking Single unfreezes even with Hold checked; Hold stays checked.
    flip(form->controls().display.DisplayHoldSw, true);
    flip(form->controls().display.SingleDisplaySw, false);
    EXPECT_EQ(s().singleSweep, 0);
    EXPECT_EQ(s().displayHold, 0);
    EXPECT_TRUE(form->controls().display.DisplayHoldSw->isChecked());

    // Hold released while a single sweep is armed: the next search freezes again.
    flip(form->controls().display.SingleDisplaySw, true);
    flip(form->controls().display.DisplayHoldSw, false);
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
        {form->controls().optionsMenu.Mic1, form->controls().timeBase.LowSampleRateRadioBtn, 11025, 2048},
        {form->controls().optionsMenu.Mic1, form->controls().timeBase.MidSampleRateRadioBtn, 22050, 2048},
        {form->controls().optionsMenu.Mic1, form->controls().timeBase.HiSampleRateRadioBtn, 44100, 4096},
        {form->controls().optionsMenu.Line1, form->controls().timeBase.LowSampleRateRadioBtn, 11025, 4096},
        {form->controls().optionsMenu.Line1, form->controls().timeBase.MidSampleRateRadioBtn, 22050, 4096},
        {form->controls().optionsMenu.Line1, form->controls().timeBase.HiSampleRateRadioBtn, 44100, 8192},
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
    form->controls().timeBase.MidSampleRateRadioBtn->click();
    EXPECT_FALSE(form->controls().timeBase.LowSampleRateRadioBtn->isChecked());
    EXPECT_TRUE(form->controls().timeBase.MidSampleRateRadioBtn->isChecked());
    EXPECT_FALSE(form->controls().timeBase.HiSampleRateRadioBtn->isChecked());
    form->controls().timeBase.HiSampleRateRadioBtn->click();
    EXPECT_FALSE(form->controls().timeBase.MidSampleRateRadioBtn->isChecked());
    EXPECT_TRUE(form->controls().timeBase.HiSampleRateRadioBtn->isChecked());
    form->controls().timeBase.LowSampleRateRadioBtn->click();
    EXPECT_TRUE(form->controls().timeBase.LowSampleRateRadioBtn->isChecked());
    EXPECT_FALSE(form->controls().timeBase.HiSampleRateRadioBtn->isChecked());
}

TEST_F(TriggerControlsTest, RateChangeRelabelsTheScales)
{
    s().loadingSettings = 1;
    form->controls().displayMenu.FFT1->trigger();
    form->controls().timeBase.MidSampleRateRadioBtn->click();
    EXPECT_EQ(hi(), "11025 Hz");

    form->controls().displayMenu.Time1->trigger();
    flip(form->controls().chan1.Mkr1Switch, true);
    flip(form->controls().chan2.Mkr2Switch, true);
    EXPECT_EQ(marker(), "Marker Difference = 11.51 ms");
    form->controls().timeBase.LowSampleRateRadioBtn->click();
    EXPECT_EQ(hi(), "46.43 ms");
    EXPECT_EQ(marker(), "Marker Difference = 23.03 ms");
    EXPECT_EQ(status(4), "1/Mkr = 43 Hz");
}

TEST_F(TriggerControlsTest, RateChangeStopsPausesAndRestartsAtTheNewRate)
{
    ASSERT_EQ(s().loadingSettings, 0);
    form->controls().optionsMenu.Mic1->trigger();  // records from the device, mono
    ASSERT_EQ(s().stopped, 0) << "the memory device opens";
    const int stops = form->stopRuns();
    const int starts = form->startRuns();
    device.clearCallLog();
    const std::size_t pauses = form->host().pauses().size();

    form->controls().timeBase.HiSampleRateRadioBtn->click();

    EXPECT_EQ(form->stopRuns(), stops + 1);
    EXPECT_EQ(form->startRuns(), starts + 1);
    const std::vector<int> asked(form->host().pauses().begin() + static_cast<std::ptrdiff_t>(pauses),
                                 form->host().pauses().end());
    EXPECT_EQ(asked, std::vector<int>{350}) << "the device is given its pause, once";
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

// A held picture keeps describing itself when the rate changes: the axis
// labels, the marker difference, the cursor, the strip and the exported data
// stay at the rate the picture was recorded at, and a control that draws the
// picture again draws what it showed (an averaged spectrum too, laid out by
// its own rate). The new rate shows once Hold lets new blocks be drawn.
TEST_F(TriggerControlsTest, AHeldPictureKeepsItsRateUntilANewBlockIsDrawn)
{
    // A tone of 32 frames a period (bin 32) in noise: each block differs,
    // so an average differs from any one block.
    device.setFrameSource([](std::uint64_t n) -> std::array<std::int16_t, 2> {
        std::uint64_t z = (n + 1) * 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 29)) * 0xBF58476D1CE4E5B9ull;
        const double noise = static_cast<double>((z ^ (z >> 32)) % 2001) - 1000.0;
        return {0, static_cast<std::int16_t>(12000.0 * std::sin(2 * M_PI * static_cast<double>(n) / 32.0) + noise)};
    });
    const auto record = [&](int blocks) {
        for (int i = 0; i < 2 * blocks; ++i) {
            device.advanceFrames(512);
            QCoreApplication::processEvents();
        }
        form->measure().refreshTexts();
    };
    struct Description {
        QString lo, hi, marker, reciprocal, cursor, frequency;
        std::string csv;
        std::vector<std::uint32_t> picture;
        bool operator==(const Description&) const = default;
    };
    const auto describe = [&] {
        form->markers().SpectrumBoxMouseMove(form->controls().screen.SpectrumBox, Qt::NoButton, Qt::NoModifier, 300,
                                             50);
        std::string whyNot;
        // The strip's frequency: of the signal (TIME) or of its strongest tone.
        QLabel* frequency = form->measure().strip()->reading(1, s().displayType == 1 ? "PeakFrequency" : "Frequency");
        return Description{
            lo(),
            hi(),
            marker(),
            status(4),
            status(1),
            frequency != nullptr ? frequency->text() : QString(),
            composeDisplayCsv(s(), whyNot),
            {form->displayBitmap().data(), form->displayBitmap().data() + Raster::kWidth * Raster::kHeight}};
    };
    form->controls().optionsMenu.Line1->trigger();
    ASSERT_EQ(s().stopped, 0);
    flip(form->controls().chan1.Chan1EnbSwitch, true);
    flip(form->controls().chan1.Mkr1Switch, true);
    flip(form->controls().chan2.Mkr2Switch, true);
    form->controls().measureMenu.ShowMeasurements1->trigger();
    form->controls().displayMenu.Average16->trigger();
    for (QAction* display : {form->controls().displayMenu.Time1, form->controls().displayMenu.FFT1}) {
        SCOPED_TRACE(display->text().toStdString());
        display->trigger();
        // Range 1; the sine swings about 117 rows, the spectrum's tone
        // stands about 80 rows high.
        slide(form->controls().chan1.Chan1GainTrackBar, 1);
        turn(form->controls().chan1.Chan1GainDial, display == form->controls().displayMenu.FFT1 ? 16.0f : 20.0f);
        form->controls().timeBase.HiSampleRateRadioBtn->click();
        record(20);
        flip(form->controls().display.DisplayHoldSw, true);
        const Description held = describe();
        ASSERT_FALSE(held.csv.empty());
        ASSERT_TRUE(held.frequency.startsWith("1378") || held.frequency.startsWith("1.378"))
            << held.frequency.toStdString() << ", not 44100 Hz / 32";

        form->controls().timeBase.MidSampleRateRadioBtn->click();
        EXPECT_EQ(s().sampleRate, 22050u);
        EXPECT_EQ(device.openedFormat().nSamplesPerSec, 22050u) << "the device records at the new rate";
        record(3);
        EXPECT_TRUE(describe() == held) << "the rate change altered what describes the held picture";
        // A control that draws the held picture again (the gain as it is).
        turn(form->controls().chan1.Chan1GainDial, form->controls().chan1.Chan1GainDial->value());
        const Description redrawn = describe();
        EXPECT_TRUE(redrawn.picture == held.picture) << "the held picture, drawn again, changed";
        EXPECT_TRUE(redrawn.csv == held.csv) << "the export changed";
        EXPECT_EQ(redrawn.hi, held.hi);

        // Hold let go: the scales go over to the new rate, and so does the
        // picture with the next block.
        flip(form->controls().display.DisplayHoldSw, false);
        EXPECT_EQ(hi(), display == form->controls().displayMenu.FFT1 ? "11025 Hz" : "23.21 ms");
        const int passes = form->displayPasses();
        record(2);
        EXPECT_GT(form->displayPasses(), passes);
        EXPECT_FALSE(describe().picture == held.picture);
        std::string whyNot;
        EXPECT_NE(composeDisplayCsv(s(), whyNot), held.csv);
    }
}

TEST_F(TriggerControlsTest, WhileSettingsLoadNothingStopsStartsOrWaits)
{
    s().loadingSettings = 1;
    const int stops = form->stopRuns();
    const int starts = form->startRuns();
    device.clearCallLog();
    const std::size_t pauses = form->host().pauses().size();

    form->controls().timeBase.MidSampleRateRadioBtn->click();
    form->controls().timeBase.HiSampleRateRadioBtn->click();
    form->controls().timeBase.LowSampleRateRadioBtn->click();

    EXPECT_EQ(form->stopRuns(), stops);
    EXPECT_EQ(form->startRuns(), starts);
    EXPECT_TRUE(device.calls().empty());
    EXPECT_EQ(form->host().pauses().size(), pauses) << "no pause while the settings load";
    EXPECT_EQ(s().sampleRate, 11025u);
    EXPECT_EQ(s().stopped, 1);
}

}  // namespace
}  // namespace varmolen

namespace varmolen {
namespace {

QAction* rateItem(const TScopeForm& form, std::uint32_t rate)
{
    for (QAction* item : form.controls().optionsMenu.SampleRates)
        if (item->data().toUInt() == rate)
            return item;
    return nullptr;
}

// Options > Sample Rate: the device's answer enables and marks the items; a
// rate no button has stops, pauses and restarts as a button does, unchecks
// all three buttons and goes to Varmolen.ini, while the record keeps the
// button rate; a button's rate from the menu is that button's.
TEST_F(TriggerControlsTest, SampleRateMenuFollowsTheDeviceAndLeavesTheButtonsTheirRates)
{
    const std::uint32_t notTaken = rateBits([](std::uint32_t r) { return r > 96000; });
    device.rates = {~notTaken & DeviceRates::unknown().taken,
                    rateBits([](std::uint32_t r) { return r == 48000 || r == 96000; })};
    emit form->controls().optionsMenu.SampleRate1->aboutToShow();
    const struct {
        std::uint32_t rate;
        bool enabled;
        const char* caption;
    } shown[] = {{8000, true, "8000 Hz"},
                 {48000, true, "48000 Hz  (native)"},
                 {96000, true, "96000 Hz  (native)"},
                 {176400, false, "176400 Hz"},
                 {192000, false, "192000 Hz"}};
    for (const auto& row : shown) {
        QAction* item = rateItem(*form, row.rate);
        ASSERT_NE(item, nullptr) << row.rate;
        EXPECT_EQ(item->isEnabled(), row.enabled) << row.rate;
        EXPECT_EQ(item->text(), QString::fromUtf8(row.caption));
    }

    const TimeBaseWidgets& buttons = form->controls().timeBase;
    form->controls().optionsMenu.Mic1->trigger();
    ASSERT_EQ(s().stopped, 0) << "the memory device opens";
    const int starts = form->startRuns();
    const std::size_t pauses = form->host().pauses().size();
    rateItem(*form, 96000)->trigger();
    EXPECT_EQ(form->startRuns(), starts + 1);
    EXPECT_EQ(form->host().pauses().size(), pauses + 1);
    EXPECT_EQ(device.openedFormat().nSamplesPerSec, 96000u);
    EXPECT_EQ(device.openedFormat().nAvgBytesPerSec, 192000u);
    EXPECT_EQ(s().bufferBytes, 8192);
    EXPECT_EQ(hi(), "5.33 ms");
    for (QRadioButton* b : {buttons.LowSampleRateRadioBtn, buttons.MidSampleRateRadioBtn, buttons.HiSampleRateRadioBtn})
        EXPECT_FALSE(b->isChecked()) << b->objectName().toStdString();
    EXPECT_TRUE(rateItem(*form, 96000)->isChecked());
    EXPECT_EQ(s().features.sampleRate, 96000u);
    EXPECT_EQ(captureConfiguration(s()).sampleRate, 11025u) << "the record keeps the last button rate";

    rateItem(*form, 22050)->trigger();
    EXPECT_TRUE(buttons.MidSampleRateRadioBtn->isChecked());
    EXPECT_EQ(s().features.sampleRate, 0u);
    EXPECT_EQ(captureConfiguration(s()).sampleRate, 22050u);
    buttons.HiSampleRateRadioBtn->click();
    EXPECT_TRUE(rateItem(*form, 44100)->isChecked());
    EXPECT_FALSE(rateItem(*form, 22050)->isChecked());
    EXPECT_EQ(device.openedFormat().nSamplesPerSec, 44100u);
}

// At start a rate of Varmolen.ini replaces the record's button rate, unless
// the device chosen cannot record at it or a button has it (the record then
// decides, as it always did).
TEST_F(TriggerControlsTest, StartsAtTheRateOfTheIniWhenTheDeviceTakesIt)
{
    const struct {
        const char* ini;
        bool taken;
        std::uint32_t rate;
    } cases[] = {
        {"[Acquisition]\nSampleRate=48000\n", true, 48000},
        {"[Acquisition]\nSampleRate=48000\n", false, 11025},
        {"[Acquisition]\nSampleRate=44100\n", true, 11025},
        {"", true, 11025},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.ini << (c.taken ? "taken" : "not taken"));
        form.reset();
        QFile ini(installDir.filePath(QStringLiteral("Varmolen.ini")));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ini.write(c.ini);
        ini.close();
        device.rates = DeviceRates::unknown();
        if (!c.taken)
            device.rates.taken &= ~rateBits([](std::uint32_t r) { return r == 48000; });
        form = std::make_unique<test::SpyScopeForm>(device);
        form->host().setRecordOnly(true);
        EXPECT_EQ(s().sampleRate, c.rate);
        EXPECT_EQ(s().features.sampleRate, c.rate == 48000 ? 48000u : 0u);
        EXPECT_TRUE(rateItem(*form, c.rate)->isChecked());
        EXPECT_EQ(form->controls().timeBase.LowSampleRateRadioBtn->isChecked(), c.rate == 11025);
    }
}

// Display > Time/Div: the steps the rate offers, a step chosen shows
// pictures of the record; the Time dial and a rate button go back to the
// picture of one block, and a rate that cannot carry the step takes the
// nearest it can.
TEST_F(TriggerControlsTest, TimeDivMenuChoosesTheTimeBaseAndTheDialAndButtonsGoBackToTheBlock)
{
    const DisplayMenu& menu = form->controls().displayMenu;
    const auto step = [&](double perDiv) -> QAction* {
        for (QAction* item : menu.TimeDivs)
            if (std::abs(item->data().toDouble() - perDiv) < perDiv * 1e-9)
                return item;
        return nullptr;
    };
    form->controls().timeBase.HiSampleRateRadioBtn->click();
    emit menu.TimeDiv1->aboutToShow();
    EXPECT_TRUE(menu.TimeDial1->isChecked());
    EXPECT_FALSE(step(20e-6)->isEnabled()) << "9 frames a span at 44100 Hz";
    EXPECT_TRUE(step(50e-6)->isEnabled());
    EXPECT_TRUE(step(10.0)->isEnabled());
    EXPECT_FALSE(step(20.0)->isEnabled()) << "200 s is beyond a 10 s record";
    EXPECT_EQ(step(2e-3)->text(), QStringLiteral("2 ms/div"));

    step(2e-3)->trigger();
    EXPECT_DOUBLE_EQ(s().features.timePerDiv, 2e-3);
    EXPECT_FALSE(menu.TimeDial1->isChecked());
    turn(form->controls().timeBase.TimeBaseDial, 50.0f);
    EXPECT_EQ(s().features.timePerDiv, 0.0) << "the Time dial shows one block again";
    EXPECT_TRUE(menu.TimeDial1->isChecked());

    step(50e-6)->trigger();
    form->controls().timeBase.MidSampleRateRadioBtn->click();
    EXPECT_EQ(s().features.timePerDiv, 0.0) << "a rate button shows one block again";

    step(50e-6)->trigger();
    rateItem(*form, 8000)->trigger();
    EXPECT_DOUBLE_EQ(s().features.timePerDiv, 200e-6) << "the shortest step 8000 Hz offers";
    EXPECT_TRUE(step(200e-6)->isChecked());
    menu.TimeDial1->trigger();
    EXPECT_EQ(s().features.timePerDiv, 0.0);

    // The panel's Time/Div list shows and chooses the same: its greyed
    // items are the menu's, and a step chosen there is the menu's step.
    QComboBox* box = form->controls().timeBase.TimeDivBox;
    const auto* list = qobject_cast<const QStandardItemModel*>(box->model());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(box->currentIndex(), 0);
    for (int i = 1; i < box->count(); ++i)
        EXPECT_EQ(list->item(i)->isEnabled(), menu.TimeDivs[static_cast<std::size_t>(i - 1)]->isEnabled()) << i;
    const int fiveMs = box->findText(QStringLiteral("5 ms/div"));
    box->setCurrentIndex(fiveMs);
    emit box->activated(fiveMs);
    EXPECT_DOUBLE_EQ(s().features.timePerDiv, 5e-3);
    EXPECT_TRUE(step(5e-3)->isChecked());
    turn(form->controls().timeBase.TimeBaseDial, 40.0f);
    EXPECT_EQ(box->currentIndex(), 0) << "the Time dial's picture of one block";

    // Trigger position and holdoff: an item sets its value; a value of
    // Varmolen.ini or a script that is no item leaves them all unchecked.
    menu.TriggerPositions[2]->trigger();
    menu.Holdoffs[3]->trigger();
    EXPECT_DOUBLE_EQ(s().features.triggerPosition, 0.25);
    EXPECT_DOUBLE_EQ(s().features.holdoffSeconds, 0.1);
    EXPECT_EQ(menu.Holdoffs[3]->text(), QStringLiteral("100 ms"));
    menu.TriggerPositions[2]->trigger();
    EXPECT_TRUE(menu.TriggerPositions[2]->isChecked()) << "choosing the checked item again keeps it";
    s().features.triggerPosition = 0.33;
    emit menu.TimeDiv1->aboutToShow();
    for (QAction* item : menu.TriggerPositions)
        EXPECT_FALSE(item->isChecked()) << item->text().toStdString();
    EXPECT_TRUE(menu.Holdoffs[3]->isChecked());
}

}  // namespace
}  // namespace varmolen
