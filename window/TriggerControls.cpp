// The Trigger, Display and Time Base groups: the five trigger toggles, the
// Hold and Single rockers and the three sample-rate buttons, and the Sample
// Rate menu that offers every rate of the table. The switches only record
// their position for the next display pass; a sample rate changes the
// recording format, so it stops acquisition, lets the device settle,
// re-labels the scales at the new rate and starts again. A
// held picture keeps the rate it was recorded at until a new block is drawn:
// the scales describe it, and the new rate shows with the next block.
#include "window/TriggerControls.h"

#include <QAction>
#include <QMenu>
#include <QRadioButton>

#include "window/Varmolen2.h"
#include "display/ReadoutScales.h"
#include "acquisition/RecordingFormat.h"
#include "panel/ChannelMath.h"
#include "panel/FrontPanel.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"

namespace varmolen {

namespace {

// Time the device is given to come to rest between stopping and restarting
// at a new rate.
constexpr int kRateChangePauseMs = 350;

// The button that records at `rate`, or nullptr for a rate of the menu alone.
QRadioButton* buttonOfRate(const TimeBaseWidgets& timeBase, std::uint32_t rate)
{
    switch (rate) {
        case 11025:
            return timeBase.LowSampleRateRadioBtn;
        case 22050:
            return timeBase.MidSampleRateRadioBtn;
        case 44100:
            return timeBase.HiSampleRateRadioBtn;
        default:
            return nullptr;
    }
}

// What the device chosen now answers about the rates (every rate, none
// native, when no device is chosen).
DeviceRates chosenDeviceRates(TScopeForm& form)
{
    const std::int32_t device = form.state().waveDeviceId;
    return device >= 0 ? form.waveInput().deviceRates(static_cast<UINT>(device)) : DeviceRates::unknown();
}

// `own` is the button of the rate, or nullptr when the Sample Rate menu sets
// a rate no button records at: then all three show unchecked.
void changeSampleRate(TScopeForm& form, QObject* sender, QRadioButton* own, std::uint32_t rate)
{
    InstrumentState& s = form.state();
    s.bufferBytes = blockBufferBytes(s, rate);

    // Own button checked first: the checked button of an exclusive set
    // cannot be unchecked on its own.
    if (own != nullptr)
        own->setChecked(true);
    const TimeBaseWidgets& timeBase = form.controls().timeBase;
    for (QRadioButton* other :
         {timeBase.LowSampleRateRadioBtn, timeBase.MidSampleRateRadioBtn, timeBase.HiSampleRateRadioBtn}) {
        if (other == own)
            continue;
        const bool exclusive = other->autoExclusive();
        other->setAutoExclusive(false);
        other->setChecked(false);
        other->setAutoExclusive(exclusive);
    }
    // Varmolen.cfg keeps the buttons' rate; Varmolen.ini a rate of the menu.
    if (own != nullptr)
        s.buttonSampleRate = rate;
    s.features.sampleRate = own != nullptr ? 0 : rate;
    for (QAction* item : form.controls().optionsMenu.SampleRates)
        if (item->data().toUInt() == rate)
            item->setChecked(true);

    // While the settings file is applied no acquisition runs: only the
    // format and the labels change.
    const bool live = s.loadingSettings == 0;
    if (live) {
        form.StopBtnClick(sender);
        form.host().pauseMs(kRateChangePauseMs);
    }
    s.sampleRate = rate;
    // Bins of the spectra averaged and held so far stood for other
    // frequencies: the next block starts them afresh. A held picture keeps
    // what it shows.
    resetSpectrumHistory(s.spectrumHistory);
    form.markers().UpdateMarkerReadout();
    form.markers().UpdateTimeBase();
    if (live) {
        form.StartBtnClick(sender);
        form.generatorPanel().generatorFollowsRate();
    }
}

// After Hold or Single changed whether the display is held: the scales
// describe the rate in force again, or the held picture's, where those differ.
void relabelForTheHold(TScopeForm& form, std::uint32_t rateBefore)
{
    if (readoutRate(form.state(), form.state()) == rateBefore)
        return;
    form.markers().UpdateMarkerReadout();
    form.markers().UpdateTimeBase();
}

}  // namespace

void TriggerControls::TriggerEnableSwitchClick(QObject* /*sender*/)
{
    state().triggerEnabled = controls_.trigger.TriggerEnableSwitch->isChecked() ? 1 : 0;
}

void TriggerControls::TrigSlopeSwClick(QObject* sender)
{
    state().triggerSlope = controls_.trigger.TrigSlopeSw->isChecked() ? kRisingSlope : kFallingSlope;
    // Re-reads the threshold dial, so the "Threshold = " panel is current.
    form_.markers().ThresholdDialClick(sender);
}

void TriggerControls::ChannelSwClick(QObject* /*sender*/)
{
    state().triggerChannel = controls_.trigger.ChannelSw->isChecked() ? 1 : 2;
}

void TriggerControls::ChopSwClick(QObject* /*sender*/)
{
    state().chopMode = controls_.trigger.ChopSw->isChecked() ? 1 : 0;
}

void TriggerControls::SineSquareSwClick(QObject* /*sender*/)
{
    state().triggerShape = controls_.trigger.SineSquareSw->isChecked() ? kSineTrigger : kSquareTrigger;
}

void TriggerControls::DisplayHoldSwClick(QObject* /*sender*/)
{
    const std::uint32_t rateBefore = readoutRate(state(), state());
    state().displayHold = controls_.display.DisplayHoldSw->isChecked() ? 1 : 0;
    relabelForTheHold(form_, rateBefore);
}

void TriggerControls::SingleDisplaySwClick(QObject* /*sender*/)
{
    InstrumentState& s = state();
    const std::uint32_t rateBefore = readoutRate(s, s);
    if (controls_.display.SingleDisplaySw->isChecked()) {
        // Armed: the next trigger search freezes the display.
        s.singleSweep = 1;
    } else {
        // Back to running, whatever froze the picture; the Hold rocker
        // keeps showing what it shows.
        s.singleSweep = 0;
        s.displayHold = 0;
    }
    relabelForTheHold(form_, rateBefore);
}

void TriggerControls::LowSampleRateRadioBtnClick(QObject* sender)
{
    changeSampleRate(form_, sender, controls_.timeBase.LowSampleRateRadioBtn, 11025);
}

void TriggerControls::MidSampleRateRadioBtnClick(QObject* sender)
{
    changeSampleRate(form_, sender, controls_.timeBase.MidSampleRateRadioBtn, 22050);
}

void TriggerControls::HiSampleRateRadioBtnClick(QObject* sender)
{
    changeSampleRate(form_, sender, controls_.timeBase.HiSampleRateRadioBtn, 44100);
}

void TriggerControls::SampleRateItemClick(QObject* sender)
{
    const auto* item = qobject_cast<const QAction*>(sender);
    const std::uint32_t rate = item != nullptr ? item->data().toUInt() : 0;
    if (!isSampleRate(rate))
        return;
    // A button's rate is what its button does; any other leaves them unchecked.
    changeSampleRate(form_, sender, buttonOfRate(controls_.timeBase, rate), rate);
}

void TriggerControls::showDeviceRates()
{
    const DeviceRates rates = chosenDeviceRates(form_);
    for (QAction* item : controls_.optionsMenu.SampleRates) {
        const std::uint32_t rate = item->data().toUInt();
        item->setEnabled(rates.takes(rate));
        item->setText(sampleRateCaption(rate, rates.isNative(rate)));
    }
}

void TriggerControls::applyMenuSampleRate(QObject* sender)
{
    InstrumentState& s = state();
    const std::uint32_t rate = s.features.sampleRate;
    s.features.sampleRate = 0;
    if (!isSampleRate(rate) || buttonOfRate(controls_.timeBase, rate) != nullptr)
        return;  // the record's button rate stays in force
    showDeviceRates();
    if (!chosenDeviceRates(form_).takes(rate))
        return;  // the device chosen now cannot record at it
    // Before acquisition first starts: only the format and the labels change.
    const flag loading = s.loadingSettings;
    s.loadingSettings = 1;
    changeSampleRate(form_, sender, nullptr, rate);
    s.loadingSettings = loading;
}

}  // namespace varmolen
