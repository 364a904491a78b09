#include "window/BindingTable.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>

#include <algorithm>

#include "panel/PanelControls.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/PaintBox.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/SwitchBase.h"
#include "panel/widgets/ToggleSwitch.h"
#include "window/ChannelControls.h"
#include "window/DataCommands.h"
#include "window/MeasureControls.h"
#include "window/OutputCommands.h"
#include "window/RemoteControl.h"
#include "window/MarkerControls.h"
#include "window/Menus.h"
#include "window/TriggerControls.h"
#include "window/Varmolen2.h"
#include "panel/ChannelMath.h"

namespace varmolen {

namespace {

using CF = ConfigField;

// The group of the window that owns a handler.
template <class Group>
Group& groupOf(TScopeForm& form);
template <>
TScopeForm& groupOf(TScopeForm& form)
{
    return form;
}
template <>
ChannelControls& groupOf(TScopeForm& form)
{
    return form.channels();
}
template <>
TriggerControls& groupOf(TScopeForm& form)
{
    return form.trigger();
}
template <>
MarkerControls& groupOf(TScopeForm& form)
{
    return form.markers();
}
template <>
MenuCommands& groupOf(TScopeForm& form)
{
    return form.menus();
}
template <>
OutputCommands& groupOf(TScopeForm& form)
{
    return form.output();
}
template <>
DataCommands& groupOf(TScopeForm& form)
{
    return form.data();
}
template <>
MeasureControls& groupOf(TScopeForm& form)
{
    return form.measure();
}
template <>
GeneratorPanel& groupOf(TScopeForm& form)
{
    return form.generatorPanel();
}
template <>
RemoteControl& groupOf(TScopeForm& form)
{
    return form.remoteControl();
}

// A group's handler as a row holds it.
template <class Group, class... Event>
std::function<void(TScopeForm&, QObject*, Event...)> on(void (Group::*handler)(QObject*, Event...))
{
    return [handler](TScopeForm& form, QObject* sender, Event... event) {
        (groupOf<Group>(form).*handler)(sender, event...);
    };
}

// The columns of a row beyond its binding, by what they say.

// A switch or dial that shows a field of the settings record.
Kept record(ConfigField field, std::int32_t on = 1, std::int32_t off = 0)
{
    Kept k;
    k.field = field;
    k.on = on;
    k.off = off;
    return k;
}
// A switch the record gives back into the state alone.
Kept recordQuietly(ConfigField field)
{
    Kept k = record(field);
    k.throughHandler = false;
    return k;
}
// A dial the record keeps in units of `perStep` steps.
Kept recordSteps(ConfigField field, std::int32_t perStep)
{
    Kept k = record(field);
    k.perStep = perStep;
    return k;
}
// An item or button chosen when the field holds `value`; `otherwise` also
// for any value no other item of the field stands for.
Kept recordChoice(ConfigField field, std::int32_t value, bool otherwise = false)
{
    Kept k = record(field, value);
    k.otherwise = otherwise;
    return k;
}
// A range track bar: the record's multiplier puts it in place; its handler
// runs with the display type's dials.
Kept recordRange(ConfigField field) { return recordQuietly(field); }
Kept ini(const char* key)
{
    Kept k;
    k.iniKey = key;
    return k;
}
// A menu item or switch kept in Varmolen.ini that shows the setting
// `feature` gives: checked for `value` (one of several items, or the
// `otherwise` one).
Kept iniValue(const char* key, std::int32_t (*feature)(const FeatureSettings&), std::int32_t value,
              bool otherwise = false)
{
    Kept k = ini(key);
    k.feature = feature;
    k.on = value;
    k.otherwise = otherwise;
    return k;
}
std::int32_t spectrumAverage(const FeatureSettings& f) { return f.spectrumAverage; }
std::int32_t recordFormat(const FeatureSettings& f) { return static_cast<std::int32_t>(f.recordFormat); }
std::int32_t peakHold(const FeatureSettings& f) { return f.peakHold ? 1 : 0; }
// The Time/Div item of the time a division: its step, -1 for the Time dial's.
std::int32_t timeDivStep(const FeatureSettings& f) { return timeBaseStepIndex(f.timePerDiv); }
std::int32_t timeBaseMode(const FeatureSettings& f) { return f.timeBaseMode; }
std::int32_t precision(const FeatureSettings& f) { return f.precision; }
std::int32_t triggerSweep(const FeatureSettings& f) { return f.triggerSweep; }
// The Trigger Position and Holdoff items of the settings' values, -1 for none.
std::int32_t triggerPositionItem(const FeatureSettings& f) { return presetIndex(kTriggerPositions, f.triggerPosition); }
std::int32_t holdoffItem(const FeatureSettings& f) { return presetIndex(kHoldoffs, f.holdoffSeconds); }
// The analyser's items: what each setting reads as the item's number.
std::int32_t spectrogramOn(const FeatureSettings& f) { return f.analyser.spectrogram ? 1 : 0; }
std::int32_t analyserLength(const FeatureSettings& f) { return f.analyser.length; }
std::int32_t analyserWindow(const FeatureSettings& f) { return static_cast<std::int32_t>(f.analyser.window); }
std::int32_t analyserLog(const FeatureSettings& f) { return f.analyser.logFrequency ? 1 : 0; }
std::int32_t analyserUnit(const FeatureSettings& f) { return f.analyser.unit; }
std::int32_t analyserTopItem(const FeatureSettings& f) { return presetIndex(kLevelTops, f.analyser.topDb); }
std::int32_t analyserRangeItem(const FeatureSettings& f) { return presetIndex(kLevelRanges, f.analyser.rangeDb); }
std::int32_t analyserBands(const FeatureSettings& f) { return f.analyser.bands; }
std::int32_t analyserWeighting(const FeatureSettings& f) { return static_cast<std::int32_t>(f.analyser.weighting); }

Remote remote(const char* header, Words words)
{
    Remote r;
    r.header = header;
    r.words = words;
    return r;
}
Remote onOff(const char* header, std::int32_t number = 0, std::optional<Then> then = std::nullopt)
{
    Remote r = remote(header, Words::OnOff);
    r.number = number;
    r.then = then;
    return r;
}
Remote words(const char* header, std::array<const char*, 3> choices, std::array<const char*, 2> replies)
{
    Remote r = remote(header, Words::Choice);
    r.choices = choices;
    r.replies = replies;
    return r;
}
Remote channelWord(const char* header, std::array<const char*, 2> replies)
{
    Remote r = remote(header, Words::Channel);
    r.replies = replies;
    return r;
}
// One item of a command that chooses among items: its word and its answer.
Remote item(const char* header, const char* word, const char* reply) { return words(header, {word}, {reply}); }
// One item of a command that turns a setting on or off by items.
Remote onOffItem(const char* header, const char* reply)
{
    Remote r = remote(header, Words::OnOff);
    r.replies = {reply};
    return r;
}
Remote number(const char* header, std::int32_t n, double (*startup)(const InstrumentSettings&, std::int32_t))
{
    Remote r = remote(header, Words::Number);
    r.number = n;
    r.startup = startup;
    return r;
}

// The dials' start-up values: the Gain dials half way, the zero lines where
// the display type in force starts them, the threshold and the Time dial
// at theirs.
double startGain(const InstrumentSettings&, std::int32_t) { return kStartupGainDial; }
double startPosition(const InstrumentSettings& s, std::int32_t channel)
{
    const InstrumentSettings startup;
    return dialFromOffset(kDisplayRows, channelSettings(startup, channel).offset(s.displayType == kTimeDisplayType));
}
double startThreshold(const InstrumentSettings&, std::int32_t) { return InstrumentSettings{}.triggerThreshold; }
double startTimeDial(const InstrumentSettings&, std::int32_t) { return kStartupTimeDial; }

}  // namespace

std::vector<Binding> bindingTable(const PanelControls& c)
{
    using F = TScopeForm;
    using S = Signal;
    using T = Then;
    const ScreenWidgets& screen = c.screen;
    const FileMenu& file = c.fileMenu;
    const OptionsMenu& options = c.optionsMenu;
    const DisplayMenu& display = c.displayMenu;
    std::vector<Binding> rows{
        // One binding a row, in columns; where the setting is kept and the
        // remote command that works it follow where there are any.
        // clang-format off
        // control                          signal              handler                         then
        // Channel 1.
        {c.chan1.Chan1GainDial,            S::Clicked,         on(&ChannelControls::Chan1GainDialClick),         T::Redraw},
        {c.chan1.Chan1GainDial,            S::ValueChanged,    on(&ChannelControls::Chan1GainDialValueChange),   T::Redraw,
            {}, number("CHANnel#:GAIN", 1, startGain)},
        {c.chan1.Chan1GainTrackBar,        S::ValueChanged,    on(&ChannelControls::Chan1GainTrackBarChange),    T::Redraw,
            recordRange(CF::chan1TimeRange)},
        {c.chan1.Chan1OffsetDial,          S::Clicked,         on(&ChannelControls::Chan1OffsetDialClick),       T::Redraw},
        {c.chan1.Chan1OffsetDial,          S::ValueChanged,    on(&ChannelControls::Chan1OffsetDialValueChange), T::Redraw,
            {}, number("CHANnel#:POSition", 1, startPosition)},
        {c.chan1.Chan1EnbSwitch,           S::Clicked,         on(&ChannelControls::Chan1EnbSwitchClick),        T::Nothing,
            record(CF::chan1Enabled), onOff("CHANnel#:DISPlay", 1, T::Redraw)},
        {c.chan1.Mkr1Switch,               S::Clicked,         on(&MarkerControls::Mkr1SwitchClick),            T::Redraw,
            record(CF::marker1Enabled), onOff("MARKer#[:STATe]", 1)},
        // Trace.
        {c.trace.AddChanSw,                S::Clicked,         on(&ChannelControls::AddChanSwClick),             T::Nothing,
            record(CF::addChannels), onOff("TRACe:ADD", 0, T::Redraw)},
        {c.trace.TraceModeSw,              S::Clicked,         on(&ChannelControls::TraceModeSwClick),           T::Nothing,
            record(CF::traceMode, kXyTraceMode, kYtTraceMode), onOff("TRACe:XY", 0, T::Redraw)},
        // The display: markers and the cursor readout follow the pointer, and
        // the keyboard once Tab has brought it there.
        {screen.SpectrumBox,               S::MousePressed,    on(&MarkerControls::SpectrumBoxMouseDown),       T::Nothing},
        {screen.SpectrumBox,               S::MouseMoved,      on(&MarkerControls::SpectrumBoxMouseMove),       T::RedrawAfterDrag},
        {screen.SpectrumBox,               S::MouseReleased,   on(&MarkerControls::SpectrumBoxMouseUp),         T::Nothing},
        {screen.SpectrumBox,               S::MouseLeft,       on(&MarkerControls::SpectrumBoxMouseLeave),      T::Nothing},
        {screen.SpectrumBox,               S::KeyPressed,      on(&MarkerControls::SpectrumBoxKeyDown),         T::RedrawAfterMarkerKey},
        {screen.SpectrumBox,               S::KeyboardEntered, on(&MarkerControls::SpectrumBoxEnter),           T::Nothing},
        // Channel 2.
        {c.chan2.Chan2GainDial,            S::Clicked,         on(&ChannelControls::Chan2GainDialClick),         T::Redraw},
        {c.chan2.Chan2GainDial,            S::ValueChanged,    on(&ChannelControls::Chan2GainDialValueChange),   T::Redraw,
            {}, number("CHANnel#:GAIN", 2, startGain)},
        {c.chan2.Chan2GainTrackBar,        S::ValueChanged,    on(&ChannelControls::Chan2GainTrackBarChange),    T::Redraw,
            recordRange(CF::chan2TimeRange)},
        {c.chan2.Chan2OffsetDial,          S::Clicked,         on(&ChannelControls::Chan2OffsetDialClick),       T::Redraw},
        {c.chan2.Chan2OffsetDial,          S::ValueChanged,    on(&ChannelControls::Chan2OffsetDialValueChange), T::Redraw,
            {}, number("CHANnel#:POSition", 2, startPosition)},
        {c.chan2.Chan2EnbSwitch,           S::Clicked,         on(&ChannelControls::Chan2EnbSwitchClick),        T::Nothing,
            record(CF::chan2Enabled), onOff("CHANnel#:DISPlay", 2, T::Redraw)},
        {c.chan2.Mkr2Switch,               S::Clicked,         on(&MarkerControls::Mkr2SwitchClick),            T::Redraw,
            record(CF::marker2Enabled), onOff("MARKer#[:STATe]", 2)},
        // Trigger.
        {c.trigger.TriggerEnableSwitch,    S::Clicked,         on(&TriggerControls::TriggerEnableSwitchClick),   T::Nothing,
            record(CF::triggerEnabled), onOff("TRIGger:STATe")},
        {c.trigger.TrigSlopeSw,            S::Clicked,         on(&TriggerControls::TrigSlopeSwClick),           T::Nothing,
            record(CF::triggerSlope, kRisingSlope, kFallingSlope),
            words("TRIGger:SLOPe", {"POSitive", "NEGative"}, {"POS", "NEG"})},
        {c.trigger.ChannelSw,              S::Clicked,         on(&TriggerControls::ChannelSwClick),             T::Nothing,
            record(CF::triggerChannel, 1, 2), channelWord("TRIGger:SOURce", {"CH1", "CH2"})},
        {c.trigger.ChopSw,                 S::Clicked,         on(&TriggerControls::ChopSwClick),                T::Nothing,
            record(CF::chopMode), words("TRIGger:MODE", {"CHOP", "ALTernate"}, {"CHOP", "ALT"})},
        // Not kept: the detector starts at Sin.
        {c.trigger.SineSquareSw,           S::Clicked,         on(&TriggerControls::SineSquareSwClick),          T::Nothing,
            {}, words("TRIGger:DETector", {"SINe", "SQV", "SQUare"}, {"SIN", "SQV"})},
        {c.trigger.ThresholdDial,          S::Clicked,         on(&MarkerControls::ThresholdDialClick),         T::Nothing},
        // The record keeps twice the dial's value.
        {c.trigger.ThresholdDial,          S::ValueChanged,    on(&MarkerControls::ThresholdDialValueChange),   T::Nothing,
            recordSteps(CF::triggerThreshold, 2), number("TRIGger:LEVel", 0, startThreshold)},
        // Display. Hold and Single come back from the record as they were
        // saved: Single's handler would also release Hold.
        {c.display.DisplayHoldSw,          S::Clicked,         on(&TriggerControls::DisplayHoldSwClick),         T::Nothing,
            recordQuietly(CF::displayHold), onOff("HOLD")},
        {c.display.SingleDisplaySw,        S::Clicked,         on(&TriggerControls::SingleDisplaySwClick),       T::Nothing,
            recordQuietly(CF::singleSweep)},
        {c.display.ExpandSw,               S::Clicked,         on(&MarkerControls::ExpandSwClick),              T::Redraw},
        // Time Base.
        {c.timeBase.TimeBaseDial,          S::Clicked,         on(&MarkerControls::TimeBaseDialClick),          T::Redraw,
            record(CF::timeBaseSetting)},
        {c.timeBase.TimeBaseDial,          S::ValueChanged,    on(&MarkerControls::TimeBaseDialValueChange),    T::Redraw,
            {}, number("TIMebase[:DIAL]", 0, startTimeDial)},
        {c.timeBase.LowSampleRateRadioBtn, S::Clicked,         on(&TriggerControls::LowSampleRateRadioBtnClick), T::Nothing,
            recordChoice(CF::sampleRate, 11025)},
        {c.timeBase.MidSampleRateRadioBtn, S::Clicked,         on(&TriggerControls::MidSampleRateRadioBtnClick), T::Nothing,
            recordChoice(CF::sampleRate, 22050)},
        {c.timeBase.HiSampleRateRadioBtn,  S::Clicked,         on(&TriggerControls::HiSampleRateRadioBtnClick),  T::Nothing,
            recordChoice(CF::sampleRate, 44100)},
        // The run loop's timers.
        {c.run.StartTimer,                 S::Timeout,         on(&F::StartTimerTimer),            T::Nothing},
        {c.run.TimeoutTimer,               S::Timeout,         on(&F::TimeoutTimerTimer),          T::Nothing},
        // File.
        {file.SaveForm1,                   S::Triggered,       on(&OutputCommands::SaveForm1Click),             T::Nothing},
        {file.SaveBitmap1,                 S::Triggered,       on(&OutputCommands::SaveBitmap1Click),           T::Nothing},
        {file.CopyForm1,                   S::Triggered,       on(&OutputCommands::CopyForm1Click),             T::Nothing},
        {file.CopyBitmap1,                 S::Triggered,       on(&OutputCommands::CopyBitmap1Click),           T::Nothing},
        {file.PrintForm1,                  S::Triggered,       on(&OutputCommands::PrintForm1Click),            T::Nothing},
        {file.ExportData1,                 S::Triggered,       on(&DataCommands::ExportData1Click),           T::Nothing},
        {file.ExportSpanWav1,              S::Triggered,       on(&DataCommands::ExportSpanWav1Click),        T::Nothing},
        {file.RecordWav1,                  S::Triggered,       on(&DataCommands::RecordWav1Click),            T::Nothing},
        {file.StopRecording1,              S::Triggered,       on(&DataCommands::StopRecording1Click),        T::Nothing},
        {file.Quit1,                       S::Triggered,       on(&MenuCommands::Quit1Click),                 T::Nothing},
        // Options.
        {options.SelectCard,               S::Triggered,       on(&MenuCommands::SelectCardClick),            T::Nothing},
        {options.Mic1,                     S::Triggered,       on(&MenuCommands::Mic1Click),                  T::Nothing,
            recordChoice(CF::inputSelect, kMicrophoneInput), item("INPut", "MICrophone", "MIC")},
        {options.Line1,                    S::Triggered,       on(&MenuCommands::Line1Click),                 T::Nothing,
            recordChoice(CF::inputSelect, kLineInput, true), item("INPut", "LINE", "LINE")},
        {options.RemoteControl1,           S::Triggered,       on(&RemoteControl::RemoteControl1Click),        T::Nothing},
        {options.Generator1,               S::Triggered,       on(&GeneratorPanel::Generator1Click),            T::Nothing},
        // Display: type, grid, background and trace colours, spectrum.
        {display.Time1,                    S::Triggered,       on(&MenuCommands::Time1Click),                 T::Redraw,
            recordChoice(CF::displayType, kTimeDisplayType), item("DISPlay:TYPE", "TIME", "TIME")},
        {display.FFT1,                     S::Triggered,       on(&MenuCommands::FFT1Click),                  T::Redraw,
            recordChoice(CF::displayType, kFrequencyDisplayType, true), item("DISPlay:TYPE", "FREQuency", "FREQ")},
        {display.Enable1,                  S::Triggered,       on(&MenuCommands::Enable1Click),               T::Redraw,
            recordChoice(CF::gridEnabled, 1), onOffItem("DISPlay:GRID", "1")},
        {display.Disable1,                 S::Triggered,       on(&MenuCommands::Disable1Click),              T::Redraw,
            recordChoice(CF::gridEnabled, 0, true), onOffItem("DISPlay:GRID", "0")},
        {display.White1,                   S::Triggered,       on(&MenuCommands::White1Click),                T::ShowColours,
            recordChoice(CF::backgroundScheme, kWhiteBackground)},
        {display.Teal1,                    S::Triggered,       on(&MenuCommands::Teal1Click),                 T::ShowColours,
            recordChoice(CF::backgroundScheme, kTealBackground)},
        {display.Black1,                   S::Triggered,       on(&MenuCommands::Black1Click),                T::ShowColours,
            recordChoice(CF::backgroundScheme, kBlackBackground)},
        {display.Black2,                   S::Triggered,       on(&MenuCommands::Black2Click),                T::ShowColours},
        {display.Red1,                     S::Triggered,       on(&MenuCommands::Red1Click),                  T::ShowColours},
        {display.Blue1,                    S::Triggered,       on(&MenuCommands::Blue1Click),                 T::ShowColours},
        {display.Lime1,                    S::Triggered,       on(&MenuCommands::Lime1Click),                 T::ShowColours},
        {display.Lime2,                    S::Triggered,       on(&MenuCommands::Lime2Click),                 T::ShowColours},
        {display.Yellow1,                  S::Triggered,       on(&MenuCommands::Yellow1Click),               T::ShowColours},
        {display.White2,                   S::Triggered,       on(&MenuCommands::White2Click),                T::ShowColours},
        {display.Black3,                   S::Triggered,       on(&MenuCommands::Black3Click),                T::ShowColours},
        {display.Red2,                     S::Triggered,       on(&MenuCommands::Red2Click),                  T::ShowColours},
        {display.Blue2,                    S::Triggered,       on(&MenuCommands::Blue2Click),                 T::ShowColours},
        {display.Teal2,                    S::Triggered,       on(&MenuCommands::Teal2Click),                 T::ShowColours},
        {display.Lime3,                    S::Triggered,       on(&MenuCommands::Lime3Click),                 T::ShowColours},
        {display.Yellow2,                  S::Triggered,       on(&MenuCommands::Yellow2Click),               T::ShowColours},
        {display.White3,                   S::Triggered,       on(&MenuCommands::White3Click),                T::ShowColours},
        {display.AverageOff1,              S::Triggered,       on(&MenuCommands::AverageOff1Click),           T::Redraw,
            iniValue("Spectrum/Average", spectrumAverage, 0, true)},
        {display.Average4,                 S::Triggered,       on(&MenuCommands::Average4Click),              T::Redraw,
            iniValue("Spectrum/Average", spectrumAverage, 4)},
        {display.Average16,                S::Triggered,       on(&MenuCommands::Average16Click),             T::Redraw,
            iniValue("Spectrum/Average", spectrumAverage, 16)},
        {display.Average64,                S::Triggered,       on(&MenuCommands::Average64Click),             T::Redraw,
            iniValue("Spectrum/Average", spectrumAverage, 64)},
        {display.PeakHold1,                S::Triggered,       on(&MenuCommands::PeakHold1Click),             T::Redraw,
            iniValue("Spectrum/PeakHold", peakHold, 1)},
        {display.SpectrumReset1,           S::Triggered,       on(&MenuCommands::SpectrumReset1Click),        T::Redraw},
        {display.SizeNormal1,              S::Triggered,       on(&MenuCommands::SizeNormal1Click),           T::Nothing, ini("Display/Size")},
        {display.SizeLarge1,               S::Triggered,       on(&MenuCommands::SizeLarge1Click),            T::Nothing, ini("Display/Size")},
        {display.SizeFit1,                 S::Triggered,       on(&MenuCommands::SizeFit1Click),              T::Nothing, ini("Display/Size")},
        {display.AxisLabels1,              S::Triggered,       on(&MenuCommands::AxisLabels1Click),           T::Nothing, ini("Display/AxisLabels")},
        // Measure.
        {c.measureMenu.ShowMeasurements1,  S::Triggered,       on(&MeasureControls::ShowMeasurements1Click),     T::Nothing, ini("Measure/Shown")},
        {c.measureMenu.Calibrate1,         S::Triggered,       on(&MeasureControls::Calibrate1Click),            T::Nothing},
        {c.measureMenu.ResponseSweep1,     S::Triggered,       on(&GeneratorPanel::ResponseSweep1Click),        T::Nothing},
        // Help.
        {c.helpMenu.HelpFile1,             S::Triggered,       on(&OutputCommands::HelpFile1Click),             T::Nothing},
        {c.helpMenu.About1,                S::Triggered,       on(&OutputCommands::About1Click),                T::Nothing},
        // clang-format on
    };
    // Options > Sample Rate, one row an item, after the Options menu's own.
    const auto afterOptions =
        std::find_if(rows.begin(), rows.end(), [&](const Binding& b) { return b.control == options.Line1; });
    std::vector<Binding> rates;
    for (QAction* item : options.SampleRates)
        rates.push_back(
            {item, S::Triggered, on(&TriggerControls::SampleRateItemClick), T::Nothing, ini("Acquisition/SampleRate")});
    for (std::size_t i = 0; i < options.Precisions.size(); ++i)
        rates.push_back({options.Precisions[i], S::Triggered, on(&MenuCommands::PrecisionItemClick), T::Nothing,
                         iniValue("Acquisition/Precision", precision, static_cast<std::int32_t>(i))});
    rows.insert(afterOptions + 1, rates.begin(), rates.end());
    // Display > Time/Div, one row an item, after the Display menu's own.
    const auto afterDisplay =
        std::find_if(rows.begin(), rows.end(), [&](const Binding& b) { return b.control == display.AxisLabels1; });
    std::vector<Binding> timeBase{
        {display.TimeDial1, S::Triggered, on(&TriggerControls::TimeDivItemClick), T::Redraw,
         iniValue("TimeBase/PerDiv", timeDivStep, -1, true)},
        {display.RollAuto1, S::Triggered, on(&TriggerControls::TimeBaseModeItemClick), T::Redraw,
         iniValue("TimeBase/Mode", timeBaseMode, kAutoTimeBase, true)},
        {display.RollMain1, S::Triggered, on(&TriggerControls::TimeBaseModeItemClick), T::Redraw,
         iniValue("TimeBase/Mode", timeBaseMode, kMainTimeBase)},
        {display.Roll1, S::Triggered, on(&TriggerControls::TimeBaseModeItemClick), T::Redraw,
         iniValue("TimeBase/Mode", timeBaseMode, kRollTimeBase)},
        {display.SweepAuto1, S::Triggered, on(&TriggerControls::SweepAuto1Click), T::Nothing,
         iniValue("Trigger/Sweep", triggerSweep, kAutoSweep, true)},
        {display.SweepNormal1, S::Triggered, on(&TriggerControls::SweepNormal1Click), T::Nothing,
         iniValue("Trigger/Sweep", triggerSweep, kNormalSweep)},
    };
    timeBase.push_back({c.timeBase.TimeDivBox, S::ValueChanged, on(&TriggerControls::TimeDivBoxChange), T::Redraw});
    for (int i = 0; i < kTriggerPositionCount; ++i)
        timeBase.push_back({display.TriggerPositions[static_cast<std::size_t>(i)], S::Triggered,
                            on(&TriggerControls::TriggerPositionItemClick), T::Nothing,
                            iniValue("TimeBase/Position", triggerPositionItem, i)});
    for (int i = 0; i < kHoldoffCount; ++i)
        timeBase.push_back({display.Holdoffs[static_cast<std::size_t>(i)], S::Triggered,
                            on(&TriggerControls::HoldoffItemClick), T::Nothing,
                            iniValue("Trigger/Holdoff", holdoffItem, i)});
    for (int i = 0; i < kTimeBaseStepCount; ++i)
        timeBase.push_back({display.TimeDivs[static_cast<std::size_t>(i)], S::Triggered,
                            on(&TriggerControls::TimeDivItemClick), T::Redraw,
                            iniValue("TimeBase/PerDiv", timeDivStep, i)});
    rows.insert(afterDisplay + 1, timeBase.begin(), timeBase.end());
    // Display > Type > Spectrogram, after Frequency; the analyser's items
    // after Display > Spectrum's own.
    const auto afterFrequency =
        std::find_if(rows.begin(), rows.end(), [&](const Binding& b) { return b.control == display.FFT1; });
    rows.insert(afterFrequency + 1, {display.Spectrogram1, S::Triggered, on(&MenuCommands::Spectrogram1Click),
                                     T::Redraw, iniValue("Display/Spectrogram", spectrogramOn, 1),
                                     item("DISPlay:TYPE", "SPECtrogram", "SPECTROGRAM")});
    using M = MenuCommands;
    std::vector<Binding> analyser;
    const auto items = [&](std::span<QAction* const> actions, void (M::*handler)(QObject*), const char* key,
                           std::int32_t (*feature)(const FeatureSettings&), auto value) {
        for (std::size_t i = 0; i < actions.size(); ++i)
            analyser.push_back({actions[i], S::Triggered, on(handler), T::Redraw,
                                iniValue(key, feature, static_cast<std::int32_t>(value(i)))});
    };
    const auto index = [](std::size_t i) { return i; };
    items(display.SpectrumLengths, &M::SpectrumLengthItemClick, "Spectrum/Length", analyserLength,
          [](std::size_t i) { return kAnalysisLengths[i]; });
    items(display.SpectrumWindows, &M::SpectrumWindowItemClick, "Spectrum/Window", analyserWindow, index);
    items(std::array<QAction* const, 2>{display.FrequencyLinear1, display.FrequencyLog1}, &M::FrequencyScaleItemClick,
          "Spectrum/Scale", analyserLog, index);
    analyser.push_back({display.FullRange1, S::Triggered, on(&M::FullRange1Click), T::Redraw});
    items(display.LevelUnits, &M::LevelUnitItemClick, "Spectrum/Unit", analyserUnit, index);
    items(display.LevelTops, &M::LevelTopItemClick, "Spectrum/Top", analyserTopItem, index);
    items(display.LevelRanges, &M::LevelRangeItemClick, "Spectrum/Range", analyserRangeItem, index);
    items(display.OctaveBands, &M::OctaveBandsItemClick, "Spectrum/Bands", analyserBands,
          [](std::size_t i) { return kOctaveFractions[i]; });
    items(display.Weightings, &M::WeightingItemClick, "Spectrum/Weighting", analyserWeighting, index);
    const auto afterSpectrum =
        std::find_if(rows.begin(), rows.end(), [&](const Binding& b) { return b.control == display.SpectrumReset1; });
    rows.insert(afterSpectrum + 1, analyser.begin(), analyser.end());
    // File > Recording Format, after Stop Recording.
    const auto afterStop =
        std::find_if(rows.begin(), rows.end(), [&](const Binding& b) { return b.control == file.StopRecording1; });
    std::vector<Binding> formats;
    for (std::size_t i = 0; i < file.RecordFormats.size(); ++i)
        formats.push_back({file.RecordFormats[i], S::Triggered, on(&DataCommands::RecordFormatItemClick), T::Nothing,
                           iniValue("Recording/Format", recordFormat, static_cast<std::int32_t>(i), i == 0)});
    rows.insert(afterStop + 1, formats.begin(), formats.end());
    return rows;
}

const Binding& rowOf(std::span<const Binding> rows, const QObject* control)
{
    for (const Binding& row : rows)
        if (row.control == control)
            return row;
    qFatal("The binding table has no row for '%s'", control != nullptr ? qPrintable(control->objectName()) : "(none)");
}

const Binding* chosenItem(std::span<const Binding* const> items, std::int32_t value)
{
    const Binding* chosen = nullptr;
    for (const Binding* row : items) {
        if (row->kept.on == value)
            return row;
        if (chosen == nullptr && row->kept.otherwise)
            chosen = row;
    }
    return chosen;
}

std::vector<const Binding*> rowsKeeping(std::span<const Binding> rows, ConfigField field)
{
    std::vector<const Binding*> keeping;
    for (const Binding& row : rows)
        if (row.kept.field == field)
            keeping.push_back(&row);
    return keeping;
}

}  // namespace varmolen
