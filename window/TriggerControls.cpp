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

#include "audio/WaveInput.h"
#include "panel/PanelControls.h"
#include "state/DeviceRecords.h"
#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"
#include "window/MarkerControls.h"
#include "window/QtHost.h"
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

}  // namespace

DeviceRates TriggerControls::chosenDeviceRates() const
{
    const std::int32_t device = settings_.waveDeviceId;
    return device >= 0 ? waveInput_.deviceRates(static_cast<UINT>(device)) : DeviceRates::unknown();
}

void TriggerControls::changeSampleRate(QObject* sender, QRadioButton* own, std::uint32_t rate)
{
    InstrumentSettings& s = settings_;
    device_.bufferBytes = blockBufferBytes(device_, rate);

    // Own button checked first: the checked button of an exclusive set
    // cannot be unchecked on its own.
    if (own != nullptr)
        own->setChecked(true);
    const TimeBaseWidgets& timeBase = controls_.timeBase;
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
    for (QAction* item : controls_.optionsMenu.SampleRates)
        if (item->data().toUInt() == rate)
            item->setChecked(true);

    // While the settings file is applied no acquisition runs: only the
    // format and the labels change.
    const bool live = s.loadingSettings == 0;
    if (live) {
        restart_.stop(sender);
        host_.pauseMs(kRateChangePauseMs);
    }
    s.sampleRate = rate;
    // Bins of the spectra averaged and held so far stood for other
    // frequencies: the next block starts them afresh. A held picture keeps
    // what it shows.
    resetSpectrumHistory(view_.spectrumHistory);
    fitTimeBaseToRate();
    markers_.UpdateMarkerReadout();
    markers_.UpdateTimeBase();
    if (live) {
        restart_.start(sender);
        restart_.rateFollowed();
    }
}

void TriggerControls::relabelForTheHold(std::uint32_t rateBefore)
{
    if (readoutRate(settings_, view_) == rateBefore)
        return;
    markers_.UpdateMarkerReadout();
    markers_.UpdateTimeBase();
}

void TriggerControls::TriggerEnableSwitchClick(QObject* /*sender*/)
{
    settings_.triggerEnabled = controls_.trigger.TriggerEnableSwitch->isChecked() ? 1 : 0;
}

void TriggerControls::TrigSlopeSwClick(QObject* sender)
{
    settings_.triggerSlope = controls_.trigger.TrigSlopeSw->isChecked() ? kRisingSlope : kFallingSlope;
    // Re-reads the threshold dial, so the "Threshold = " panel is current.
    markers_.ThresholdDialClick(sender);
}

void TriggerControls::ChannelSwClick(QObject* /*sender*/)
{
    settings_.triggerChannel = controls_.trigger.ChannelSw->isChecked() ? 1 : 2;
}

void TriggerControls::ChopSwClick(QObject* /*sender*/)
{
    settings_.chopMode = controls_.trigger.ChopSw->isChecked() ? 1 : 0;
}

void TriggerControls::SineSquareSwClick(QObject* /*sender*/)
{
    settings_.triggerShape = controls_.trigger.SineSquareSw->isChecked() ? kSineTrigger : kSquareTrigger;
}

void TriggerControls::DisplayHoldSwClick(QObject* /*sender*/)
{
    const std::uint32_t rateBefore = readoutRate(settings_, view_);
    settings_.displayHold = controls_.display.DisplayHoldSw->isChecked() ? 1 : 0;
    relabelForTheHold(rateBefore);
}

void TriggerControls::SingleDisplaySwClick(QObject* /*sender*/)
{
    InstrumentSettings& s = settings_;
    const std::uint32_t rateBefore = readoutRate(s, view_);
    if (controls_.display.SingleDisplaySw->isChecked()) {
        // Armed: the next trigger search freezes the display.
        s.singleSweep = 1;
    } else {
        // Back to running, whatever froze the picture; the Hold rocker
        // keeps showing what it shows.
        s.singleSweep = 0;
        s.displayHold = 0;
    }
    relabelForTheHold(rateBefore);
}

void TriggerControls::LowSampleRateRadioBtnClick(QObject* sender)
{
    showBlockPicture();
    changeSampleRate(sender, controls_.timeBase.LowSampleRateRadioBtn, 11025);
}

void TriggerControls::MidSampleRateRadioBtnClick(QObject* sender)
{
    showBlockPicture();
    changeSampleRate(sender, controls_.timeBase.MidSampleRateRadioBtn, 22050);
}

void TriggerControls::HiSampleRateRadioBtnClick(QObject* sender)
{
    showBlockPicture();
    changeSampleRate(sender, controls_.timeBase.HiSampleRateRadioBtn, 44100);
}

void TriggerControls::SampleRateItemClick(QObject* sender)
{
    const auto* item = qobject_cast<const QAction*>(sender);
    const std::uint32_t rate = item != nullptr ? item->data().toUInt() : 0;
    if (!isSampleRate(rate))
        return;
    // A button's rate is what its button does; any other leaves them unchecked.
    changeSampleRate(sender, buttonOfRate(controls_.timeBase, rate), rate);
}

void TriggerControls::showDeviceRates()
{
    const DeviceRates rates = chosenDeviceRates();
    for (QAction* item : controls_.optionsMenu.SampleRates) {
        const std::uint32_t rate = item->data().toUInt();
        item->setEnabled(rates.takes(rate));
        item->setText(sampleRateCaption(rate, rates.isNative(rate)));
    }
    for (std::size_t i = 0; i < controls_.optionsMenu.Precisions.size(); ++i)
        controls_.optionsMenu.Precisions[i]->setEnabled(recordsPrecision(rates, static_cast<std::int32_t>(i)));
}

void TriggerControls::applyMenuSampleRate(QObject* sender)
{
    InstrumentSettings& s = settings_;
    const std::uint32_t rate = s.features.sampleRate;
    s.features.sampleRate = 0;
    if (!isSampleRate(rate) || buttonOfRate(controls_.timeBase, rate) != nullptr)
        return;  // the record's button rate stays in force
    showDeviceRates();
    if (!chosenDeviceRates().takes(rate))
        return;  // the device chosen now cannot record at it
    // Before acquisition first starts: only the format and the labels change.
    const flag loading = s.loadingSettings;
    s.loadingSettings = 1;
    changeSampleRate(sender, nullptr, rate);
    s.loadingSettings = loading;
}

}  // namespace varmolen
