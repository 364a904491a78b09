// The window's side of the settings file: read once at the end of start-up
// and applied field by field, in file order, through the same front-panel
// handlers a user's action runs, so that controls, labels and derived values
// end up as if the user had set them; written once when the window goes.
//
// Controls are set silently (setChecked, setValue, a blocked track bar) and
// the named handler is then run by hand. While the file is applied
// loadingSettings is 1, so the input and sample-rate handlers neither stop
// nor start acquisition.
#include <QSignalBlocker>
#include <QSlider>

#include <string>

#include "window/Varmolen2.h"
#include "panel/ChannelMath.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"
#include "persist/ConfigFile.h"

namespace varmolen {

namespace {

// A stored switch is on exactly when its value is the one named.
template <typename Switch>
bool setSwitch(Switch* control, bool on)
{
    if (control != nullptr)
        control->setChecked(on);
    return on;
}

// A range track bar shows multipliers 0, 1, 10 and 100; any other stored
// value leaves it where it is.
void setRangeTrackBar(QSlider* trackBar, std::int32_t multiplier)
{
    if (const std::optional<int> position = PositionFromRange(multiplier)) {
        const QSignalBlocker quiet(trackBar);
        trackBar->setValue(*position);
    }
}

// Applies one field that storeConfigField has just put into the state.
void applyField(TScopeForm& form, QObject* sender, ConfigField field)
{
    InstrumentState& s = form.state();
    switch (field) {
        case ConfigField::chan1Enabled:
            setSwitch(form.controls().chan1.Chan1EnbSwitch, s.chan1Enabled == 1);
            form.Chan1EnbSwitchClick(sender);
            break;
        case ConfigField::chan2Enabled:
            setSwitch(form.controls().chan2.Chan2EnbSwitch, s.chan2Enabled == 1);
            form.Chan2EnbSwitchClick(sender);
            break;
        case ConfigField::chan1TimeRange:
            setRangeTrackBar(form.controls().chan1.Chan1GainTrackBar, s.chan1TimeRange);
            break;
        case ConfigField::chan2TimeRange:
            setRangeTrackBar(form.controls().chan2.Chan2GainTrackBar, s.chan2TimeRange);
            break;
        case ConfigField::chan1FreqRange:
        case ConfigField::chan2FreqRange:
        case ConfigField::chan1TimeGainDial:
        case ConfigField::chan2TimeGainDial:
        case ConfigField::chan1TimeOffset:
        case ConfigField::chan2TimeOffset:
        case ConfigField::chan1FreqGainDial:
        case ConfigField::chan2FreqGainDial:
        case ConfigField::chan1FreqOffset:
        case ConfigField::chan2FreqOffset:
            // Kept in the state; the display-type command carries them to the
            // controls.
            break;
        case ConfigField::triggerThreshold:
            // The file keeps twice the dial value; halved toward zero.
            form.controls().trigger.ThresholdDial->setValue(static_cast<float>(s.triggerThreshold / 2));
            form.ThresholdDialValueChange(sender);
            break;
        case ConfigField::triggerSlope:
            setSwitch(form.controls().trigger.TrigSlopeSw, s.triggerSlope == kRisingSlope);
            form.TrigSlopeSwClick(sender);
            break;
        // Switches without a handler: the state holds what the switch shows.
        case ConfigField::chopMode:
            s.chopMode = setSwitch(form.controls().trigger.ChopSw, s.chopMode == 1) ? 1 : 0;
            break;
        case ConfigField::addChannels:
            s.addChannels = setSwitch(form.controls().trace.AddChanSw, s.addChannels == 1) ? 1 : 0;
            break;
        case ConfigField::displayHold:
            s.displayHold = setSwitch(form.controls().display.DisplayHoldSw, s.displayHold == 1) ? 1 : 0;
            break;
        case ConfigField::singleSweep:
            s.singleSweep = setSwitch(form.controls().display.SingleDisplaySw, s.singleSweep == 1) ? 1 : 0;
            break;
        case ConfigField::triggerEnabled:
            setSwitch(form.controls().trigger.TriggerEnableSwitch, s.triggerEnabled == 1);
            form.TriggerEnableSwitchClick(sender);
            break;
        case ConfigField::traceMode:
            s.traceMode =
                setSwitch(form.controls().trace.TraceModeSw, s.traceMode == kXyTraceMode) ? kXyTraceMode : kYtTraceMode;
            break;
        case ConfigField::sampleRate:
            if (s.sampleRate == 11025)
                form.LowSampleRateRadioBtnClick(sender);
            else if (s.sampleRate == 22050)
                form.MidSampleRateRadioBtnClick(sender);
            else if (s.sampleRate == 44100)
                form.HiSampleRateRadioBtnClick(sender);
            break;
        case ConfigField::timeBaseSetting:
            form.controls().timeBase.TimeBaseDial->setValue(static_cast<float>(s.timeBaseSetting));
            form.TimeBaseDialClick(sender);
            break;
        case ConfigField::inputSelect:
            if (s.inputSelect == kMicrophoneInput)
                form.Mic1Click(sender);
            else
                form.Line1Click(sender);
            break;
        case ConfigField::displayType:
            if (s.displayType == kTimeDisplayType) {
                form.Time1Click(sender);
                form.Chan1GainDialClick(sender);
                form.Chan1GainTrackBarChange(sender);
                form.Chan1OffsetDialClick(sender);
            } else {
                form.FFT1Click(sender);
                form.Chan2GainDialClick(sender);
                form.Chan2GainTrackBarChange(sender);
                form.Chan2OffsetDialClick(sender);
            }
            break;
        case ConfigField::backgroundScheme:
            if (s.backgroundScheme == kWhiteBackground)
                form.White1Click(sender);
            else if (s.backgroundScheme == kBlackBackground)
                form.Black1Click(sender);
            else if (s.backgroundScheme == kTealBackground)
                form.Teal1Click(sender);
            break;
        case ConfigField::triggerChannel:
            setSwitch(form.controls().trigger.ChannelSw, s.triggerChannel == 1);
            form.ChannelSwClick(sender);
            break;
        case ConfigField::chan1Color:
        case ConfigField::chan2Color:
        case ConfigField::marker1Pos:
        case ConfigField::marker2Pos:
            break;
        case ConfigField::marker1Enabled:
            setSwitch(form.controls().chan1.Mkr1Switch, s.marker1Enabled == 1);
            form.Mkr1SwitchClick(sender);
            break;
        case ConfigField::marker2Enabled:
            setSwitch(form.controls().chan2.Mkr2Switch, s.marker2Enabled == 1);
            form.Mkr2SwitchClick(sender);
            break;
        case ConfigField::osVariant:
            if (s.osVariant == kDesktopVolumeControl)
                form.WindowsXPClick(sender);
            else
                form.Windows2KClick(sender);
            break;
        case ConfigField::gridEnabled:
            if (s.gridEnabled == 1)
                form.Enable1Click(sender);
            else
                form.Disable1Click(sender);
            break;
        case ConfigField::waveDeviceId:
            // Used when the device is next opened.
            break;
    }
}

}  // namespace

void TScopeForm::LoadConfiguration(QObject* sender, const char* path)
{
    InstrumentState& s = state();
    s.loadingSettings = 1;
    const std::string file = path != nullptr ? std::string(path) : std::string();
    if (file.empty()) {
        // No settings file at start-up: nothing is read and none is made.
        s.loadingSettings = 0;
        return;
    }

    const ConfigValues startup = captureConfiguration(s);
    const std::optional<ConfigFileContents> contents = readConfigFile(file);
    if (!contents) {
        // There but unreadable: a file of start-up values takes its place.
        saveConfiguration(file, s);
        s.loadingSettings = 0;
        return;
    }

    DecodedConfiguration decoded = decodeConfiguration(contents->view(), startup);
    sanitiseConfiguration(decoded.values);
    for (const ConfigFieldInfo& info : kConfigFields) {
        storeConfigField(decoded.values, info.field, s);
        applyField(*this, sender, info.field);
    }
    s.loadingSettings = 0;
}

void TScopeForm::applyStartupValues(QObject* sender)
{
    // The start-up values, applied as the settings file is: acquisition
    // stops once, every field goes through its handler, and it starts again
    // in the format that follows. The device in use stays.
    InstrumentState& s = state();
    ConfigValues startup = captureConfiguration(InstrumentSettings{});
    // The record starts without Gain dial positions; the dials start at half.
    startup.chan1TimeGainDial = startup.chan2TimeGainDial = kStartupGainDial;
    startup.chan1FreqGainDial = startup.chan2FreqGainDial = kStartupGainDial;
    StopBtnClick(sender);
    s.loadingSettings = 1;
    for (const ConfigFieldInfo& info : kConfigFields) {
        if (info.field == ConfigField::waveDeviceId)
            continue;
        storeConfigField(startup, info.field, s);
        if (info.field == ConfigField::timeBaseSetting) {
            // The record starts without a dial position; the dial starts at
            // its full span.
            controls_.timeBase.TimeBaseDial->setValue(static_cast<float>(kStartupTimeDial));
            TimeBaseDialClick(sender);
            continue;
        }
        applyField(*this, sender, info.field);
    }
    s.loadingSettings = 0;
    ShowStateInForce();
    RedrawHeldPicture();
    StartBtnClick(sender);
}

void TScopeForm::SaveConfiguration(const char* path)
{
    if (path == nullptr || path[0] == '\0')
        return;
    // Written through a temporary file renamed into place; a failure leaves
    // the previous file as it was and is not reported.
    saveConfiguration(std::string(path), state());
}

}  // namespace varmolen
