#include "window/RemoteCommands.h"

#include <QAction>
#include <QSignalBlocker>
#include <QSlider>

#include <array>
#include <cmath>
#include <cstdlib>

#include "window/Varmolen2.h"
#include "acquisition/AcquisitionLoop.h"
#include "audio/SampleRates.h"
#include "display/ReadoutScales.h"
#include "panel/ChannelMath.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/PaintBox.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"
#include "remote/ScpiSession.h"

namespace varmolen {

namespace {

using scpi::Call;
using scpi::NumberRange;
using Handler = void (TScopeForm::*)(QObject*);

const char* onOff(bool on) { return on ? "1" : "0"; }

// What a user's action on a control runs: the control set silently, its
// handler, and a held picture drawn again where the control changes how a
// block is drawn.
struct Panel {
    TScopeForm& form;
    QObject* sender;

    template <typename Switch>
    void flip(Switch* control, bool on, Handler handler, bool redraw) const
    {
        control->setChecked(on);
        (form.*handler)(sender);
        if (redraw)
            form.RedrawHeldPicture();
    }
    void turn(Dial* dial, double value, Handler handler, bool redraw) const
    {
        dial->setValue(static_cast<float>(value));
        (form.*handler)(sender);
        if (redraw)
            form.RedrawHeldPicture();
    }
};

// The channel column's widgets and handlers by channel.
struct ChannelColumn {
    RockerSwitch* enable;
    Dial* gain;
    QSlider* range;
    Dial* position;
    RockerSwitch* marker;
    Handler enableClick;
    Handler gainChange;
    Handler rangeChange;
    Handler positionChange;
    Handler markerClick;
};

ChannelColumn column(TScopeForm& form, std::int32_t channel)
{
    const ChannelWidgets w = channelWidgets(form.controls(), channel);
    if (channel == 1)
        return {w.enable,
                w.gain,
                w.range,
                w.position,
                w.marker,
                &TScopeForm::Chan1EnbSwitchClick,
                &TScopeForm::Chan1GainDialValueChange,
                &TScopeForm::Chan1GainTrackBarChange,
                &TScopeForm::Chan1OffsetDialValueChange,
                &TScopeForm::Mkr1SwitchClick};
    return {w.enable,
            w.gain,
            w.range,
            w.position,
            w.marker,
            &TScopeForm::Chan2EnbSwitchClick,
            &TScopeForm::Chan2GainDialValueChange,
            &TScopeForm::Chan2GainTrackBarChange,
            &TScopeForm::Chan2OffsetDialValueChange,
            &TScopeForm::Mkr2SwitchClick};
}

// A marker's column as seconds (TIME display) or hertz (FREQUENCY display).
double columnValue(const InstrumentState& s, std::int32_t columns)
{
    if (s.displayType == kTimeDisplayType)
        return ReadoutTime(s, s, columns) * 1e-5;
    return ReadoutFrequency(s, s, columns);
}

// Carries marker 1 or 2 to a column with the display's keys, as a user does:
// the marker selected, then Left or Right (ten columns with Shift).
void moveMarker(TScopeForm& form, QObject* sender, std::int32_t marker, std::int32_t target)
{
    if (form.keyboardMarker() != marker)
        form.SpectrumBoxKeyDown(sender, Qt::Key_M, Qt::NoModifier);
    const InstrumentState& s = form.state();
    // Each key moves at least one column, or stops: a marker held back by
    // the other one stays where it is.
    for (int guard = 0; guard < 2 * kFullWidth; ++guard) {
        const std::int32_t at = marker == 1 ? s.marker1Pos : s.marker2Pos;
        const std::int32_t left = target - at;
        if (left == 0)
            break;
        const int key = left < 0 ? Qt::Key_Left : Qt::Key_Right;
        form.SpectrumBoxKeyDown(sender, key, std::abs(left) >= 10 ? Qt::ShiftModifier : Qt::NoModifier);
        if ((marker == 1 ? s.marker1Pos : s.marker2Pos) == at)
            break;
    }
    form.RedrawHeldPicture();
}

// A dial's range, with its value at start-up (what *RST gives) as the default.
NumberRange dialRange(const Dial* dial, double startup)
{
    return {.minimum = dial->minimum(), .maximum = dial->maximum(), .byDefault = startup, .unit = scpi::Unit::None};
}

// The numeric settings: each answers its query with its value, or with its
// minimum, maximum or default (CHAN1:GAIN? MAX), and takes those words, and
// units where it has one, as values.
void addNumberSettings(scpi::CommandTable& table, TScopeForm& form, QObject* sender)
{
    const Panel panel{form, sender};
    InstrumentState& s = form.state();
    const PanelControls& c = form.controls();
    const InstrumentSettings startup;
    const auto channelRange = [&form](Dial* ChannelColumn::*dial, auto startValue) {
        return [&form, dial, startValue](Call& call) -> std::optional<NumberRange> {
            const auto channel = call.suffixUpTo(2);
            if (!channel)
                return std::nullopt;
            return dialRange(column(form, *channel).*dial, startValue(*channel));
        };
    };
    const auto dialValue = [&form](Dial* ChannelColumn::*dial) {
        return [&form, dial](Call& call) -> std::optional<double> {
            if (const auto channel = call.suffixUpTo(2))
                return (column(form, *channel).*dial)->value();
            return std::nullopt;
        };
    };
    table.addNumber(
        "CHANnel#:GAIN",
        channelRange(&ChannelColumn::gain,
                     [](std::int32_t) { return static_cast<double>(TScopeForm::kStartupGainDial); }),
        [panel, &form](Call& call, double v) {
            const ChannelColumn col = column(form, call.suffix());
            panel.turn(col.gain, v, col.gainChange, true);
        },
        dialValue(&ChannelColumn::gain));
    // The zero line at start-up, for the display type in force.
    table.addNumber(
        "CHANnel#:POSition",
        channelRange(&ChannelColumn::position,
                     [&s, startup](std::int32_t channel) {
                         const bool time = s.displayType == kTimeDisplayType;
                         const std::int32_t offset = channel == 1
                                                         ? (time ? startup.chan1TimeOffset : startup.chan1FreqOffset)
                                                         : (time ? startup.chan2TimeOffset : startup.chan2FreqOffset);
                         return static_cast<double>(DialFromOffset(kDisplayRows, offset));
                     }),
        [panel, &form](Call& call, double v) {
            const ChannelColumn col = column(form, call.suffix());
            panel.turn(col.position, v, col.positionChange, true);
        },
        dialValue(&ChannelColumn::position));
    table.addNumber(
        "TRIGger:LEVel",
        [c, startup](Call&) { return std::optional(dialRange(c.trigger.ThresholdDial, startup.triggerThreshold)); },
        [panel, c](Call&, double v) {
            panel.turn(c.trigger.ThresholdDial, v, &TScopeForm::ThresholdDialValueChange, false);
        },
        [c](Call&) { return std::optional<double>(c.trigger.ThresholdDial->value()); });
    table.addNumber(
        "TIMebase[:DIAL]",
        [c](Call&) { return std::optional(dialRange(c.timeBase.TimeBaseDial, TScopeForm::kStartupTimeDial)); },
        [panel, c](Call&, double v) {
            panel.turn(c.timeBase.TimeBaseDial, v, &TScopeForm::TimeBaseDialValueChange, true);
        },
        [c](Call&) { return std::optional<double>(c.timeBase.TimeBaseDial->value()); });
    table.addNumber(
        "ACQuire:SRATe",
        [startup](Call&) {
            return std::optional(NumberRange{.minimum = static_cast<double>(kSampleRates.front()),
                                             .maximum = static_cast<double>(kSampleRates.back()),
                                             .byDefault = static_cast<double>(startup.sampleRate),
                                             .unit = scpi::Unit::Hertz});
        },
        [panel, c](Call& call, double v) {
            // The Sample Rate menu's item for the rate, as a user would choose
            // it: greyed out when the device cannot record at it.
            panel.form.ShowDeviceRates();
            for (QAction* item : c.optionsMenu.SampleRates)
                if (v == item->data().toUInt()) {
                    if (!item->isEnabled()) {
                        call.fail(scpi::code::kSettingsConflict, "the device cannot record at this rate");
                        return;
                    }
                    panel.form.SampleRateItemClick(item);
                    return;
                }
            call.fail(scpi::code::kIllegalParameterValue, call.parameter(0));
        },
        [&s](Call&) { return std::optional<double>(s.sampleRate); });
    table.addNumber(
        "MARKer#:POSition",
        [startup](Call& call) -> std::optional<NumberRange> {
            const auto marker = call.suffixUpTo(2);
            if (!marker)
                return std::nullopt;
            return NumberRange{.minimum = 0,
                               .maximum = kFullWidth,
                               .byDefault = *marker == 1 ? startup.marker1Pos : startup.marker2Pos,
                               .unit = scpi::Unit::None};
        },
        [&form, sender, &s](Call& call, double v) {
            const std::int32_t marker = call.suffix();
            if ((marker == 1 ? s.marker1Enabled : s.marker2Enabled) == 0) {
                call.fail(scpi::code::kSettingsConflict, "marker is off");
                return;
            }
            moveMarker(form, sender, marker, static_cast<std::int32_t>(std::lround(v)));
        },
        [&s](Call& call) -> std::optional<double> {
            if (const auto marker = call.suffixUpTo(2))
                return *marker == 1 ? s.marker1Pos : s.marker2Pos;
            return std::nullopt;
        });
}

}  // namespace

const char* remoteIdentity() { return "Varmolen,Varmolen,0," VARMOLEN_VERSION; }

void addSettingCommands(scpi::CommandTable& table, TScopeForm& form, QObject* sender)
{
    const Panel panel{form, sender};
    InstrumentState& s = form.state();
    const PanelControls& c = form.controls();
    const auto channelRow = [&form](Call& call) -> std::optional<ChannelColumn> {
        if (const std::optional<std::int32_t> channel = call.suffixUpTo(2))
            return column(form, *channel);
        return std::nullopt;
    };

    table.add({
        {"*IDN?", 0, [](Call& call) { call.reply(remoteIdentity()); }},
        // Nothing the generator drives goes on playing (at full scale,
        // perhaps) once the instrument is reset; then every setting of the
        // record goes back to its start-up value.
        {"*RST", 0,
         [&form, sender](Call&) {
             resetGenerator(form);
             form.applyStartupValues(sender);
         }},
        // Run control: Hold and Single.
        {"RUN", 0,
         [panel, c](Call&) {
             panel.flip(c.display.SingleDisplaySw, false, &TScopeForm::SingleDisplaySwClick, false);
             panel.flip(c.display.DisplayHoldSw, false, &TScopeForm::DisplayHoldSwClick, false);
         }},
        {"STOP", 0,
         [panel, c](Call&) { panel.flip(c.display.DisplayHoldSw, true, &TScopeForm::DisplayHoldSwClick, false); }},
        {"SINGle", 0,
         [panel, c](Call&) {
             panel.flip(c.display.DisplayHoldSw, false, &TScopeForm::DisplayHoldSwClick, false);
             panel.flip(c.display.SingleDisplaySw, true, &TScopeForm::SingleDisplaySwClick, false);
         }},
        {"HOLD", 1,
         [panel, c](Call& call) {
             if (const auto on = call.boolean(0))
                 panel.flip(c.display.DisplayHoldSw, *on, &TScopeForm::DisplayHoldSwClick, false);
         }},
        {"HOLD?", 0, [&s](Call& call) { call.reply(onOff(s.displayHold == 1)); }},
        {"SINGle?", 0, [&s](Call& call) { call.reply(onOff(s.singleSweep == 1)); }},
        // Channels.
        {"CHANnel#:DISPlay", 1,
         [panel, channelRow](Call& call) {
             const auto col = channelRow(call);
             if (const auto on = col ? call.boolean(0) : std::nullopt)
                 panel.flip(col->enable, *on, col->enableClick, true);
         }},
        {"CHANnel#:DISPlay?", 0,
         [channelRow](Call& call) {
             if (const auto col = channelRow(call))
                 call.reply(onOff(col->enable->isChecked()));
         }},
        {"CHANnel#:RANGe", 1,
         [panel, channelRow](Call& call) {
             const auto col = channelRow(call);
             const auto v = col ? call.number(0, 0, 100) : std::nullopt;
             if (!v)
                 return;
             const std::optional<int> position = PositionFromRange(static_cast<std::int32_t>(std::lround(*v)));
             if (!position || std::abs(*v - std::round(*v)) > 1e-9) {
                 call.fail(scpi::code::kIllegalParameterValue, "range is 0, 1, 10 or 100");
                 return;
             }
             {
                 const QSignalBlocker quiet(col->range);
                 col->range->setValue(*position);
             }
             (panel.form.*(col->rangeChange))(panel.sender);
             panel.form.RedrawHeldPicture();
         }},
        {"CHANnel#:RANGe?", 0,
         [channelRow](Call& call) {
             if (const auto col = channelRow(call))
                 call.replyNumber(RangeFromPosition(col->range->value()).value_or(0));
         }},
        // Trace: Add and XY.
        {"TRACe:ADD", 1,
         [panel, c](Call& call) {
             if (const auto on = call.boolean(0))
                 panel.flip(c.trace.AddChanSw, *on, &TScopeForm::AddChanSwClick, true);
         }},
        {"TRACe:ADD?", 0, [&s](Call& call) { call.reply(onOff(s.addChannels == 1)); }},
        {"TRACe:XY", 1,
         [panel, c](Call& call) {
             if (const auto on = call.boolean(0))
                 panel.flip(c.trace.TraceModeSw, *on, &TScopeForm::TraceModeSwClick, true);
         }},
        {"TRACe:XY?", 0, [&s](Call& call) { call.reply(onOff(s.traceMode == kXyTraceMode)); }},
        // Trigger.
        {"TRIGger:STATe", 1,
         [panel, c](Call& call) {
             if (const auto on = call.boolean(0))
                 panel.flip(c.trigger.TriggerEnableSwitch, *on, &TScopeForm::TriggerEnableSwitchClick, false);
         }},
        {"TRIGger:STATe?", 0, [&s](Call& call) { call.reply(onOff(s.triggerEnabled == 1)); }},
        {"TRIGger:SOURce", 1,
         [panel, c](Call& call) {
             if (const auto ch = call.channel(0))
                 panel.flip(c.trigger.ChannelSw, *ch == 1, &TScopeForm::ChannelSwClick, false);
         }},
        {"TRIGger:SOURce?", 0, [&s](Call& call) { call.reply(s.triggerChannel == 1 ? "CH1" : "CH2"); }},
        {"TRIGger:SLOPe", 1,
         [panel, c](Call& call) {
             if (const auto i = call.choice(0, {"POSitive", "NEGative"}))
                 panel.flip(c.trigger.TrigSlopeSw, *i == 0, &TScopeForm::TrigSlopeSwClick, false);
         }},
        {"TRIGger:SLOPe?", 0, [&s](Call& call) { call.reply(s.triggerSlope == kRisingSlope ? "POS" : "NEG"); }},
        {"TRIGger:MODE", 1,
         [panel, c](Call& call) {
             if (const auto i = call.choice(0, {"CHOP", "ALTernate"}))
                 panel.flip(c.trigger.ChopSw, *i == 0, &TScopeForm::ChopSwClick, false);
         }},
        {"TRIGger:MODE?", 0, [&s](Call& call) { call.reply(s.chopMode == 1 ? "CHOP" : "ALT"); }},
        {"TRIGger:DETector", 1,
         [panel, c](Call& call) {
             if (const auto i = call.choice(0, {"SINe", "SQV", "SQUare"}))
                 panel.flip(c.trigger.SineSquareSw, *i == 0, &TScopeForm::SineSquareSwClick, false);
         }},
        {"TRIGger:DETector?", 0, [&s](Call& call) { call.reply(s.triggerShape == kSineTrigger ? "SIN" : "SQV"); }},
        // Time base and sample rate.
        {"TIMebase:SPAN?", 0, [&s](Call& call) { call.replyNumber(columnValue(s, kFullWidth)); }},
        // Display.
        {"DISPlay:TYPE", 1,
         [panel, c](Call& call) {
             const auto i = call.choice(0, {"TIME", "FREQuency"});
             if (!i)
                 return;
             (panel.form.*(*i == 0 ? &TScopeForm::Time1Click : &TScopeForm::FFT1Click))(panel.sender);
             panel.form.RedrawHeldPicture();
         }},
        {"DISPlay:TYPE?", 0, [&s](Call& call) { call.reply(s.displayType == kTimeDisplayType ? "TIME" : "FREQ"); }},
        {"DISPlay:GRID", 1,
         [panel](Call& call) {
             if (const auto on = call.boolean(0)) {
                 (panel.form.*(*on ? &TScopeForm::Enable1Click : &TScopeForm::Disable1Click))(panel.sender);
                 panel.form.RedrawHeldPicture();
             }
         }},
        {"DISPlay:GRID?", 0, [&s](Call& call) { call.reply(onOff(s.gridEnabled == 1)); }},
        // Markers.
        {"MARKer#[:STATe]", 1,
         [panel, channelRow](Call& call) {
             const auto col = channelRow(call);
             if (const auto on = col ? call.boolean(0) : std::nullopt)
                 panel.flip(col->marker, *on, col->markerClick, true);
         }},
        {"MARKer#[:STATe]?", 0,
         [channelRow](Call& call) {
             if (const auto col = channelRow(call))
                 call.reply(onOff(col->marker->isChecked()));
         }},
        {"MARKer#:X?", 0,
         [&s](Call& call) {
             if (const auto marker = call.suffixUpTo(2))
                 call.replyNumber(columnValue(s, *marker == 1 ? s.marker1Pos : s.marker2Pos));
         }},
        // Input, as Options > Input.
        {"INPut", 1,
         [panel](Call& call) {
             if (const auto i = call.choice(0, {"LINE", "MICrophone"}))
                 (panel.form.*(*i == 0 ? &TScopeForm::Line1Click : &TScopeForm::Mic1Click))(panel.sender);
         }},
        {"INPut?", 0, [&s](Call& call) { call.reply(s.inputSelect == kLineInput ? "LINE" : "MIC"); }},
        // Blocks completed and drawn since the start: every block is drawn
        // unless the display is held.
        {"SYSTem:BLOCks?", 0,
         [&form](Call& call) {
             call.replyNumber(static_cast<double>(form.acquisition().blocksCompleted()));
             call.replyNumber(static_cast<double>(form.acquisition().blocksDrawn()));
         }},
        {"MARKer:DIFFerence?", 0,
         [&s](Call& call) { call.replyNumber(columnValue(s, std::abs(s.marker2Pos - s.marker1Pos))); }},
    });
    addNumberSettings(table, form, sender);
}

}  // namespace varmolen
