#include "window/BindingTable.h"

#include <QAbstractButton>
#include <QAction>
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
#include "window/Varmolen2.h"
#include "panel/ChannelMath.h"

namespace varmolen {

namespace {

using CF = ConfigField;

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
// A menu item kept in Varmolen.ini that shows the setting `feature` gives:
// checked for `value` (one of several items, or the `otherwise` one).
Kept iniItem(const char* key, std::int32_t (*feature)(const FeatureSettings&), std::int32_t value,
             bool otherwise = false)
{
    Kept k = ini(key);
    k.feature = feature;
    k.on = value;
    k.otherwise = otherwise;
    return k;
}
std::int32_t spectrumAverage(const FeatureSettings& f) { return f.spectrumAverage; }
std::int32_t peakHold(const FeatureSettings& f) { return f.peakHold ? 1 : 0; }

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
double startGain(const InstrumentSettings&, std::int32_t) { return TScopeForm::kStartupGainDial; }
double startPosition(const InstrumentSettings& s, std::int32_t channel)
{
    const InstrumentSettings startup;
    return DialFromOffset(kDisplayRows, channelSettings(startup, channel).offset(s.displayType == kTimeDisplayType));
}
double startThreshold(const InstrumentSettings&, std::int32_t) { return InstrumentSettings{}.triggerThreshold; }
double startTimeDial(const InstrumentSettings&, std::int32_t) { return TScopeForm::kStartupTimeDial; }

}  // namespace

std::vector<Binding> BindingTable(const PanelControls& c)
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
        {c.chan1.Chan1GainDial,            S::Clicked,         &F::Chan1GainDialClick,         T::Redraw},
        {c.chan1.Chan1GainDial,            S::ValueChanged,    &F::Chan1GainDialValueChange,   T::Redraw,
            {}, number("CHANnel#:GAIN", 1, startGain)},
        {c.chan1.Chan1GainTrackBar,        S::ValueChanged,    &F::Chan1GainTrackBarChange,    T::Redraw,
            recordRange(CF::chan1TimeRange)},
        {c.chan1.Chan1OffsetDial,          S::Clicked,         &F::Chan1OffsetDialClick,       T::Redraw},
        {c.chan1.Chan1OffsetDial,          S::ValueChanged,    &F::Chan1OffsetDialValueChange, T::Redraw,
            {}, number("CHANnel#:POSition", 1, startPosition)},
        {c.chan1.Chan1EnbSwitch,           S::Clicked,         &F::Chan1EnbSwitchClick,        T::Nothing,
            record(CF::chan1Enabled), onOff("CHANnel#:DISPlay", 1, T::Redraw)},
        {c.chan1.Mkr1Switch,               S::Clicked,         &F::Mkr1SwitchClick,            T::Redraw,
            record(CF::marker1Enabled), onOff("MARKer#[:STATe]", 1)},
        // Trace.
        {c.trace.AddChanSw,                S::Clicked,         &F::AddChanSwClick,             T::Nothing,
            record(CF::addChannels), onOff("TRACe:ADD", 0, T::Redraw)},
        {c.trace.TraceModeSw,              S::Clicked,         &F::TraceModeSwClick,           T::Nothing,
            record(CF::traceMode, kXyTraceMode, kYtTraceMode), onOff("TRACe:XY", 0, T::Redraw)},
        // The display: markers and the cursor readout follow the pointer, and
        // the keyboard once Tab has brought it there.
        {screen.SpectrumBox,               S::MousePressed,    &F::SpectrumBoxMouseDown,       T::Nothing},
        {screen.SpectrumBox,               S::MouseMoved,      &F::SpectrumBoxMouseMove,       T::RedrawAfterDrag},
        {screen.SpectrumBox,               S::MouseReleased,   &F::SpectrumBoxMouseUp,         T::Nothing},
        {screen.SpectrumBox,               S::MouseLeft,       &F::SpectrumBoxMouseLeave,      T::Nothing},
        {screen.SpectrumBox,               S::KeyPressed,      &F::SpectrumBoxKeyDown,         T::RedrawAfterMarkerKey},
        {screen.SpectrumBox,               S::KeyboardEntered, &F::SpectrumBoxEnter,           T::Nothing},
        // Channel 2.
        {c.chan2.Chan2GainDial,            S::Clicked,         &F::Chan2GainDialClick,         T::Redraw},
        {c.chan2.Chan2GainDial,            S::ValueChanged,    &F::Chan2GainDialValueChange,   T::Redraw,
            {}, number("CHANnel#:GAIN", 2, startGain)},
        {c.chan2.Chan2GainTrackBar,        S::ValueChanged,    &F::Chan2GainTrackBarChange,    T::Redraw,
            recordRange(CF::chan2TimeRange)},
        {c.chan2.Chan2OffsetDial,          S::Clicked,         &F::Chan2OffsetDialClick,       T::Redraw},
        {c.chan2.Chan2OffsetDial,          S::ValueChanged,    &F::Chan2OffsetDialValueChange, T::Redraw,
            {}, number("CHANnel#:POSition", 2, startPosition)},
        {c.chan2.Chan2EnbSwitch,           S::Clicked,         &F::Chan2EnbSwitchClick,        T::Nothing,
            record(CF::chan2Enabled), onOff("CHANnel#:DISPlay", 2, T::Redraw)},
        {c.chan2.Mkr2Switch,               S::Clicked,         &F::Mkr2SwitchClick,            T::Redraw,
            record(CF::marker2Enabled), onOff("MARKer#[:STATe]", 2)},
        // Trigger.
        {c.trigger.TriggerEnableSwitch,    S::Clicked,         &F::TriggerEnableSwitchClick,   T::Nothing,
            record(CF::triggerEnabled), onOff("TRIGger:STATe")},
        {c.trigger.TrigSlopeSw,            S::Clicked,         &F::TrigSlopeSwClick,           T::Nothing,
            record(CF::triggerSlope, kRisingSlope, kFallingSlope),
            words("TRIGger:SLOPe", {"POSitive", "NEGative"}, {"POS", "NEG"})},
        {c.trigger.ChannelSw,              S::Clicked,         &F::ChannelSwClick,             T::Nothing,
            record(CF::triggerChannel, 1, 2), channelWord("TRIGger:SOURce", {"CH1", "CH2"})},
        {c.trigger.ChopSw,                 S::Clicked,         &F::ChopSwClick,                T::Nothing,
            record(CF::chopMode), words("TRIGger:MODE", {"CHOP", "ALTernate"}, {"CHOP", "ALT"})},
        // Not kept: the detector starts at Sin.
        {c.trigger.SineSquareSw,           S::Clicked,         &F::SineSquareSwClick,          T::Nothing,
            {}, words("TRIGger:DETector", {"SINe", "SQV", "SQUare"}, {"SIN", "SQV"})},
        {c.trigger.ThresholdDial,          S::Clicked,         &F::ThresholdDialClick,         T::Nothing},
        // The record keeps twice the dial's value.
        {c.trigger.ThresholdDial,          S::ValueChanged,    &F::ThresholdDialValueChange,   T::Nothing,
            recordSteps(CF::triggerThreshold, 2), number("TRIGger:LEVel", 0, startThreshold)},
        // Display. Hold and Single come back from the record as they were
        // saved: Single's handler would also release Hold.
        {c.display.DisplayHoldSw,          S::Clicked,         &F::DisplayHoldSwClick,         T::Nothing,
            recordQuietly(CF::displayHold), onOff("HOLD")},
        {c.display.SingleDisplaySw,        S::Clicked,         &F::SingleDisplaySwClick,       T::Nothing,
            recordQuietly(CF::singleSweep)},
        {c.display.ExpandSw,               S::Clicked,         &F::ExpandSwClick,              T::Redraw},
        // Time Base.
        {c.timeBase.TimeBaseDial,          S::Clicked,         &F::TimeBaseDialClick,          T::Redraw,
            record(CF::timeBaseSetting)},
        {c.timeBase.TimeBaseDial,          S::ValueChanged,    &F::TimeBaseDialValueChange,    T::Redraw,
            {}, number("TIMebase[:DIAL]", 0, startTimeDial)},
        {c.timeBase.LowSampleRateRadioBtn, S::Clicked,         &F::LowSampleRateRadioBtnClick, T::Nothing,
            recordChoice(CF::sampleRate, 11025)},
        {c.timeBase.MidSampleRateRadioBtn, S::Clicked,         &F::MidSampleRateRadioBtnClick, T::Nothing,
            recordChoice(CF::sampleRate, 22050)},
        {c.timeBase.HiSampleRateRadioBtn,  S::Clicked,         &F::HiSampleRateRadioBtnClick,  T::Nothing,
            recordChoice(CF::sampleRate, 44100)},
        // The run loop's timers.
        {c.run.StartTimer,                 S::Timeout,         &F::StartTimerTimer,            T::Nothing},
        {c.run.TimeoutTimer,               S::Timeout,         &F::TimeoutTimerTimer,          T::Nothing},
        // File.
        {file.SaveForm1,                   S::Triggered,       &F::SaveForm1Click,             T::Nothing},
        {file.SaveBitmap1,                 S::Triggered,       &F::SaveBitmap1Click,           T::Nothing},
        {file.CopyForm1,                   S::Triggered,       &F::CopyForm1Click,             T::Nothing},
        {file.CopyBitmap1,                 S::Triggered,       &F::CopyBitmap1Click,           T::Nothing},
        {file.PrintForm1,                  S::Triggered,       &F::PrintForm1Click,            T::Nothing},
        {file.ExportData1,                 S::Triggered,       &F::ExportData1Click,           T::Nothing},
        {file.RecordWav1,                  S::Triggered,       &F::RecordWav1Click,            T::Nothing},
        {file.StopRecording1,              S::Triggered,       &F::StopRecording1Click,        T::Nothing},
        {file.Quit1,                       S::Triggered,       &F::Quit1Click,                 T::Nothing},
        // Options.
        {options.SelectCard,               S::Triggered,       &F::SelectCardClick,            T::Nothing},
        {options.Mic1,                     S::Triggered,       &F::Mic1Click,                  T::Nothing,
            recordChoice(CF::inputSelect, kMicrophoneInput), item("INPut", "MICrophone", "MIC")},
        {options.Line1,                    S::Triggered,       &F::Line1Click,                 T::Nothing,
            recordChoice(CF::inputSelect, kLineInput, true), item("INPut", "LINE", "LINE")},
        {options.RemoteControl1,           S::Triggered,       &F::RemoteControl1Click,        T::Nothing},
        {options.Generator1,               S::Triggered,       &F::Generator1Click,            T::Nothing},
        // Display: type, grid, background and trace colours, spectrum.
        {display.Time1,                    S::Triggered,       &F::Time1Click,                 T::Redraw,
            recordChoice(CF::displayType, kTimeDisplayType), item("DISPlay:TYPE", "TIME", "TIME")},
        {display.FFT1,                     S::Triggered,       &F::FFT1Click,                  T::Redraw,
            recordChoice(CF::displayType, kFrequencyDisplayType, true), item("DISPlay:TYPE", "FREQuency", "FREQ")},
        {display.Enable1,                  S::Triggered,       &F::Enable1Click,               T::Redraw,
            recordChoice(CF::gridEnabled, 1), onOffItem("DISPlay:GRID", "1")},
        {display.Disable1,                 S::Triggered,       &F::Disable1Click,              T::Redraw,
            recordChoice(CF::gridEnabled, 0, true), onOffItem("DISPlay:GRID", "0")},
        {display.White1,                   S::Triggered,       &F::White1Click,                T::ShowColours,
            recordChoice(CF::backgroundScheme, kWhiteBackground)},
        {display.Teal1,                    S::Triggered,       &F::Teal1Click,                 T::ShowColours,
            recordChoice(CF::backgroundScheme, kTealBackground)},
        {display.Black1,                   S::Triggered,       &F::Black1Click,                T::ShowColours,
            recordChoice(CF::backgroundScheme, kBlackBackground)},
        {display.Black2,                   S::Triggered,       &F::Black2Click,                T::ShowColours},
        {display.Red1,                     S::Triggered,       &F::Red1Click,                  T::ShowColours},
        {display.Blue1,                    S::Triggered,       &F::Blue1Click,                 T::ShowColours},
        {display.Lime1,                    S::Triggered,       &F::Lime1Click,                 T::ShowColours},
        {display.Lime2,                    S::Triggered,       &F::Lime2Click,                 T::ShowColours},
        {display.Yellow1,                  S::Triggered,       &F::Yellow1Click,               T::ShowColours},
        {display.White2,                   S::Triggered,       &F::White2Click,                T::ShowColours},
        {display.Black3,                   S::Triggered,       &F::Black3Click,                T::ShowColours},
        {display.Red2,                     S::Triggered,       &F::Red2Click,                  T::ShowColours},
        {display.Blue2,                    S::Triggered,       &F::Blue2Click,                 T::ShowColours},
        {display.Teal2,                    S::Triggered,       &F::Teal2Click,                 T::ShowColours},
        {display.Lime3,                    S::Triggered,       &F::Lime3Click,                 T::ShowColours},
        {display.Yellow2,                  S::Triggered,       &F::Yellow2Click,               T::ShowColours},
        {display.White3,                   S::Triggered,       &F::White3Click,                T::ShowColours},
        {display.AverageOff1,              S::Triggered,       &F::AverageOff1Click,           T::Redraw,
            iniItem("Spectrum/Average", spectrumAverage, 0, true)},
        {display.Average4,                 S::Triggered,       &F::Average4Click,              T::Redraw,
            iniItem("Spectrum/Average", spectrumAverage, 4)},
        {display.Average16,                S::Triggered,       &F::Average16Click,             T::Redraw,
            iniItem("Spectrum/Average", spectrumAverage, 16)},
        {display.Average64,                S::Triggered,       &F::Average64Click,             T::Redraw,
            iniItem("Spectrum/Average", spectrumAverage, 64)},
        {display.PeakHold1,                S::Triggered,       &F::PeakHold1Click,             T::Redraw,
            iniItem("Spectrum/PeakHold", peakHold, 1)},
        {display.SpectrumReset1,           S::Triggered,       &F::SpectrumReset1Click,        T::Redraw},
        {display.SizeNormal1,              S::Triggered,       &F::SizeNormal1Click,           T::Nothing, ini("Display/Size")},
        {display.SizeLarge1,               S::Triggered,       &F::SizeLarge1Click,            T::Nothing, ini("Display/Size")},
        {display.SizeFit1,                 S::Triggered,       &F::SizeFit1Click,              T::Nothing, ini("Display/Size")},
        {display.AxisLabels1,              S::Triggered,       &F::AxisLabels1Click,           T::Nothing, ini("Display/AxisLabels")},
        // Measure.
        {c.measureMenu.ShowMeasurements1,  S::Triggered,       &F::ShowMeasurements1Click,     T::Nothing, ini("Measure/Shown")},
        {c.measureMenu.Calibrate1,         S::Triggered,       &F::Calibrate1Click,            T::Nothing},
        {c.measureMenu.ResponseSweep1,     S::Triggered,       &F::ResponseSweep1Click,        T::Nothing},
        // Help.
        {c.helpMenu.HelpFile1,             S::Triggered,       &F::HelpFile1Click,             T::Nothing},
        {c.helpMenu.About1,                S::Triggered,       &F::About1Click,                T::Nothing},
        // clang-format on
    };
    // Options > Sample Rate, one row an item, after the Options menu's own.
    const auto afterOptions =
        std::find_if(rows.begin(), rows.end(), [&](const Binding& b) { return b.control == options.Line1; });
    std::vector<Binding> rates;
    for (QAction* item : options.SampleRates)
        rates.push_back({item, S::Triggered, &F::SampleRateItemClick, T::Nothing, ini("Acquisition/SampleRate")});
    rows.insert(afterOptions + 1, rates.begin(), rates.end());
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

// ------------------------------------------------------------ binding a row

namespace {

// A row whose handler or signal does not fit its control is a fault of the
// table itself; the window cannot work without its bindings.
[[noreturn]] void misbound(const Binding& row)
{
    qFatal("The binding table binds '%s' to a signal or handler it does not have",
           row.control != nullptr ? qPrintable(row.control->objectName()) : "(no control)");
}

template <typename Fn>
Fn handlerOf(const Binding& row)
{
    const Fn* fn = std::get_if<Fn>(&row.handler);
    if (fn == nullptr)
        misbound(row);
    return *fn;
}

void runThen(TScopeForm& form, Then then)
{
    switch (then) {
        case Then::ShowColours:
            form.ShowColoursInForce();
            form.RedrawHeldPicture();
            return;
        case Then::Redraw:
            form.RedrawHeldPicture();
            return;
        case Then::Nothing:
        case Then::RedrawAfterDrag:  // these two depend on the event; see bindDisplay
        case Then::RedrawAfterMarkerKey:
            return;
    }
}

// A row of a plain control: the handler gets the control as sender.
void bindPlain(TScopeForm& form, const Binding& row)
{
    const Handler handler = handlerOf<Handler>(row);
    QObject* control = row.control;
    const Then then = row.then;
    const auto run = [&form, handler, control, then] {
        (form.*handler)(control);
        runThen(form, then);
    };
    switch (row.signal) {
        case Signal::Clicked:
            if (auto* dial = qobject_cast<Dial*>(control)) {
                QObject::connect(dial, &Dial::clicked, &form, run);
                return;
            }
            if (auto* toggle = qobject_cast<SwitchBase*>(control)) {
                QObject::connect(toggle, &SwitchBase::clicked, &form, run);
                return;
            }
            if (auto* button = qobject_cast<QAbstractButton*>(control)) {
                QObject::connect(button, &QAbstractButton::clicked, &form, run);
                return;
            }
            break;
        case Signal::ValueChanged:
            if (auto* dial = qobject_cast<Dial*>(control)) {
                QObject::connect(dial, &Dial::valueChanged, &form, run);
                return;
            }
            if (auto* bar = qobject_cast<QSlider*>(control)) {
                QObject::connect(bar, &QSlider::valueChanged, &form, run);
                return;
            }
            break;
        case Signal::Triggered:
            if (auto* item = qobject_cast<QAction*>(control)) {
                QObject::connect(item, &QAction::triggered, &form, run);
                return;
            }
            break;
        case Signal::Timeout:
            if (auto* timer = qobject_cast<QTimer*>(control)) {
                QObject::connect(timer, &QTimer::timeout, &form, run);
                return;
            }
            break;
        case Signal::MouseLeft:
            if (auto* box = qobject_cast<TPaintBox*>(control)) {
                QObject::connect(box, &TPaintBox::mouseLeft, &form, run);
                return;
            }
            break;
        case Signal::KeyboardEntered:
            if (auto* box = qobject_cast<TPaintBox*>(control)) {
                QObject::connect(box, &TPaintBox::keyboardEntered, &form, run);
                return;
            }
            break;
        default:
            break;
    }
    misbound(row);
}

// A row of the display's pointer and key events, which carry where and what.
void bindDisplay(TScopeForm& form, const Binding& row)
{
    auto* box = qobject_cast<TPaintBox*>(row.control);
    if (box == nullptr)
        misbound(row);
    const Then then = row.then;
    switch (row.signal) {
        case Signal::MousePressed:
        case Signal::MouseReleased: {
            const ButtonHandler handler = handlerOf<ButtonHandler>(row);
            const auto signal =
                row.signal == Signal::MousePressed ? &TPaintBox::mousePressed : &TPaintBox::mouseReleased;
            QObject::connect(box, signal, &form,
                             [&form, box, handler](Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
                                 (form.*handler)(box, button, shift, x, y);
                             });
            return;
        }
        case Signal::MouseMoved: {
            const MoveHandler handler = handlerOf<MoveHandler>(row);
            QObject::connect(
                box, &TPaintBox::mouseMoved, &form,
                [&form, box, handler, then](Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y) {
                    (form.*handler)(box, buttons, shift, x, y);
                    if (then == Then::RedrawAfterDrag && buttons.testFlag(Qt::LeftButton))
                        form.RedrawHeldPicture();
                });
            return;
        }
        case Signal::KeyPressed: {
            const KeyHandler handler = handlerOf<KeyHandler>(row);
            QObject::connect(
                box, &TPaintBox::keyPressed, &form, [&form, box, handler, then](int key, Qt::KeyboardModifiers shift) {
                    (form.*handler)(box, key, shift);
                    if (then == Then::RedrawAfterMarkerKey && (key == Qt::Key_Left || key == Qt::Key_Right))
                        form.RedrawHeldPicture();
                });
            return;
        }
        default:
            misbound(row);
    }
}

}  // namespace

void runRow(TScopeForm& form, const Binding& row, QObject* sender, Then then)
{
    (form.*handlerOf<Handler>(row))(sender);
    runThen(form, then);
}

void BindControls(TScopeForm& form)
{
    for (const Binding& row : BindingTable(form.controls())) {
        if (std::holds_alternative<Handler>(row.handler))
            bindPlain(form, row);
        else
            bindDisplay(form, row);
    }
}

}  // namespace varmolen
