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

namespace varmolen {

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
        // One binding a row, in columns.
        // clang-format off
        // control                          signal              handler                         then
        // Channel 1.
        {c.chan1.Chan1GainDial,            S::Clicked,         &F::Chan1GainDialClick,         T::Redraw},
        {c.chan1.Chan1GainDial,            S::ValueChanged,    &F::Chan1GainDialValueChange,   T::Redraw},
        {c.chan1.Chan1GainTrackBar,        S::ValueChanged,    &F::Chan1GainTrackBarChange,    T::Redraw},
        {c.chan1.Chan1OffsetDial,          S::Clicked,         &F::Chan1OffsetDialClick,       T::Redraw},
        {c.chan1.Chan1OffsetDial,          S::ValueChanged,    &F::Chan1OffsetDialValueChange, T::Redraw},
        {c.chan1.Chan1EnbSwitch,           S::Clicked,         &F::Chan1EnbSwitchClick,        T::Nothing},
        {c.chan1.Mkr1Switch,               S::Clicked,         &F::Mkr1SwitchClick,            T::Redraw},
        // Trace.
        {c.trace.AddChanSw,                S::Clicked,         &F::AddChanSwClick,             T::Nothing},
        {c.trace.TraceModeSw,              S::Clicked,         &F::TraceModeSwClick,           T::Nothing},
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
        {c.chan2.Chan2GainDial,            S::ValueChanged,    &F::Chan2GainDialValueChange,   T::Redraw},
        {c.chan2.Chan2GainTrackBar,        S::ValueChanged,    &F::Chan2GainTrackBarChange,    T::Redraw},
        {c.chan2.Chan2OffsetDial,          S::Clicked,         &F::Chan2OffsetDialClick,       T::Redraw},
        {c.chan2.Chan2OffsetDial,          S::ValueChanged,    &F::Chan2OffsetDialValueChange, T::Redraw},
        {c.chan2.Chan2EnbSwitch,           S::Clicked,         &F::Chan2EnbSwitchClick,        T::Nothing},
        {c.chan2.Mkr2Switch,               S::Clicked,         &F::Mkr2SwitchClick,            T::Redraw},
        // Trigger.
        {c.trigger.TriggerEnableSwitch,    S::Clicked,         &F::TriggerEnableSwitchClick,   T::Nothing},
        {c.trigger.TrigSlopeSw,            S::Clicked,         &F::TrigSlopeSwClick,           T::Nothing},
        {c.trigger.ChannelSw,              S::Clicked,         &F::ChannelSwClick,             T::Nothing},
        {c.trigger.ChopSw,                 S::Clicked,         &F::ChopSwClick,                T::Nothing},
        {c.trigger.SineSquareSw,           S::Clicked,         &F::SineSquareSwClick,          T::Nothing},
        {c.trigger.ThresholdDial,          S::Clicked,         &F::ThresholdDialClick,         T::Nothing},
        {c.trigger.ThresholdDial,          S::ValueChanged,    &F::ThresholdDialValueChange,   T::Nothing},
        // Display.
        {c.display.DisplayHoldSw,          S::Clicked,         &F::DisplayHoldSwClick,         T::Nothing},
        {c.display.SingleDisplaySw,        S::Clicked,         &F::SingleDisplaySwClick,       T::Nothing},
        {c.display.ExpandSw,               S::Clicked,         &F::ExpandSwClick,              T::Redraw},
        // Time Base.
        {c.timeBase.TimeBaseDial,          S::Clicked,         &F::TimeBaseDialClick,          T::Redraw},
        {c.timeBase.TimeBaseDial,          S::ValueChanged,    &F::TimeBaseDialValueChange,    T::Redraw},
        {c.timeBase.LowSampleRateRadioBtn, S::Clicked,         &F::LowSampleRateRadioBtnClick, T::Nothing},
        {c.timeBase.MidSampleRateRadioBtn, S::Clicked,         &F::MidSampleRateRadioBtnClick, T::Nothing},
        {c.timeBase.HiSampleRateRadioBtn,  S::Clicked,         &F::HiSampleRateRadioBtnClick,  T::Nothing},
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
        {options.Mic1,                     S::Triggered,       &F::Mic1Click,                  T::Nothing},
        {options.Line1,                    S::Triggered,       &F::Line1Click,                 T::Nothing},
        {options.RemoteControl1,           S::Triggered,       &F::RemoteControl1Click,        T::Nothing},
        {options.Generator1,               S::Triggered,       &F::Generator1Click,            T::Nothing},
        // Display: type, grid, background and trace colours, spectrum.
        {display.Time1,                    S::Triggered,       &F::Time1Click,                 T::Redraw},
        {display.FFT1,                     S::Triggered,       &F::FFT1Click,                  T::Redraw},
        {display.Enable1,                  S::Triggered,       &F::Enable1Click,               T::Redraw},
        {display.Disable1,                 S::Triggered,       &F::Disable1Click,              T::Redraw},
        {display.White1,                   S::Triggered,       &F::White1Click,                T::ShowColours},
        {display.Teal1,                    S::Triggered,       &F::Teal1Click,                 T::ShowColours},
        {display.Black1,                   S::Triggered,       &F::Black1Click,                T::ShowColours},
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
        {display.AverageOff1,              S::Triggered,       &F::AverageOff1Click,           T::Redraw},
        {display.Average4,                 S::Triggered,       &F::Average4Click,              T::Redraw},
        {display.Average16,                S::Triggered,       &F::Average16Click,             T::Redraw},
        {display.Average64,                S::Triggered,       &F::Average64Click,             T::Redraw},
        {display.PeakHold1,                S::Triggered,       &F::PeakHold1Click,             T::Redraw},
        {display.SpectrumReset1,           S::Triggered,       &F::SpectrumReset1Click,        T::Redraw},
        {display.SizeNormal1,              S::Triggered,       &F::SizeNormal1Click,           T::Nothing},
        {display.SizeLarge1,               S::Triggered,       &F::SizeLarge1Click,            T::Nothing},
        {display.SizeFit1,                 S::Triggered,       &F::SizeFit1Click,              T::Nothing},
        {display.AxisLabels1,              S::Triggered,       &F::AxisLabels1Click,           T::Nothing},
        // Measure.
        {c.measureMenu.ShowMeasurements1,  S::Triggered,       &F::ShowMeasurements1Click,     T::Nothing},
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
        rates.push_back({item, S::Triggered, &F::SampleRateItemClick, T::Nothing});
    rows.insert(afterOptions + 1, rates.begin(), rates.end());
    return rows;
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
