// Binds every front-panel control and menu item to its handler. Only a
// user's action reaches a handler: the dials, rockers and toggles emit
// nothing when the program sets them, radio buttons and menu items are bound
// to their click and trigger signals, and the code that moves a range track
// bar holds its signals back.
#include <QAction>
#include <QRadioButton>
#include <QSlider>

#include "window/Varmolen2.h"
#include "panel/FrontPanel.h"
#include "panel/widgets/Dial.h"
#include "panel/widgets/RockerSwitch.h"
#include "panel/widgets/ToggleSwitch.h"

namespace varmolen {

namespace {

using Handler = void (TScopeForm::*)(QObject*);

// Controls that change how a block is drawn (gain, range, position, time
// base, markers, Exp, colours, grid, background, display type) also draw a
// held picture again, after their handler.
enum class Draws { No, Yes };

void runHandler(TScopeForm& form, Handler handler, QObject* sender, Draws draws)
{
    (form.*handler)(sender);
    if (draws == Draws::Yes)
        form.RedrawHeldPicture();
}

// A colour item: its handler, then the colour menus' entries show the colour
// now in force, then the held picture.
void bindColour(TScopeForm& form, QAction* action, Handler click)
{
    QObject::connect(action, &QAction::triggered, &form, [&form, action, click] {
        (form.*click)(action);
        form.ShowColoursInForce();
        form.RedrawHeldPicture();
    });
}

void bindDial(TScopeForm& form, Dial* dial, Handler click, Handler valueChange, Draws draws = Draws::No)
{
    QObject::connect(dial, &Dial::clicked, &form, [&form, dial, click, draws] { runHandler(form, click, dial, draws); });
    QObject::connect(dial, &Dial::valueChanged, &form,
                     [&form, dial, valueChange, draws] { runHandler(form, valueChange, dial, draws); });
}

template <typename Control>
void bindClick(TScopeForm& form, Control* control, Handler click, Draws draws = Draws::No)
{
    QObject::connect(control, &Control::clicked, &form,
                     [&form, control, click, draws] { runHandler(form, click, control, draws); });
}

void bindTrackBar(TScopeForm& form, QSlider* bar, Handler change)
{
    QObject::connect(bar, &QSlider::valueChanged, &form,
                     [&form, bar, change] { runHandler(form, change, bar, Draws::Yes); });
}

void bindAction(TScopeForm& form, QAction* action, Handler click, Draws draws = Draws::No)
{
    QObject::connect(action, &QAction::triggered, &form,
                     [&form, action, click, draws] { runHandler(form, click, action, draws); });
}

}  // namespace

void BindMenuItem(TScopeForm& form, QAction* item, MenuHandler handler)
{
    if (item != nullptr)
        bindAction(form, item, handler);
}

void TScopeForm::ConnectFrontPanel()
{
    TScopeForm& f = *this;

    // Channel columns and the Trace group.
    bindDial(f, Chan1GainDial, &TScopeForm::Chan1GainDialClick, &TScopeForm::Chan1GainDialValueChange, Draws::Yes);
    bindDial(f, Chan2GainDial, &TScopeForm::Chan2GainDialClick, &TScopeForm::Chan2GainDialValueChange, Draws::Yes);
    bindTrackBar(f, Chan1GainTrackBar, &TScopeForm::Chan1GainTrackBarChange);
    bindTrackBar(f, Chan2GainTrackBar, &TScopeForm::Chan2GainTrackBarChange);
    bindDial(f, Chan1OffsetDial, &TScopeForm::Chan1OffsetDialClick, &TScopeForm::Chan1OffsetDialValueChange,
             Draws::Yes);
    bindDial(f, Chan2OffsetDial, &TScopeForm::Chan2OffsetDialClick, &TScopeForm::Chan2OffsetDialValueChange,
             Draws::Yes);
    bindClick(f, Chan1EnbSwitch, &TScopeForm::Chan1EnbSwitchClick);
    bindClick(f, Chan2EnbSwitch, &TScopeForm::Chan2EnbSwitchClick);
    bindClick(f, Mkr1Switch, &TScopeForm::Mkr1SwitchClick, Draws::Yes);
    bindClick(f, Mkr2Switch, &TScopeForm::Mkr2SwitchClick, Draws::Yes);
    bindClick(f, AddChanSw, &TScopeForm::AddChanSwClick);
    bindClick(f, TraceModeSw, &TScopeForm::TraceModeSwClick);

    // Trigger group.
    bindClick(f, TriggerEnableSwitch, &TScopeForm::TriggerEnableSwitchClick);
    bindClick(f, TrigSlopeSw, &TScopeForm::TrigSlopeSwClick);
    bindClick(f, ChannelSw, &TScopeForm::ChannelSwClick);
    bindClick(f, ChopSw, &TScopeForm::ChopSwClick);
    bindClick(f, SineSquareSw, &TScopeForm::SineSquareSwClick);
    bindDial(f, ThresholdDial, &TScopeForm::ThresholdDialClick, &TScopeForm::ThresholdDialValueChange);

    // Display group.
    bindClick(f, DisplayHoldSw, &TScopeForm::DisplayHoldSwClick);
    bindClick(f, SingleDisplaySw, &TScopeForm::SingleDisplaySwClick);
    bindClick(f, ExpandSw, &TScopeForm::ExpandSwClick, Draws::Yes);

    // Time Base group.
    bindDial(f, TimeBaseDial, &TScopeForm::TimeBaseDialClick, &TScopeForm::TimeBaseDialValueChange, Draws::Yes);
    bindClick(f, LowSampleRateRadioBtn, &TScopeForm::LowSampleRateRadioBtnClick);
    bindClick(f, MidSampleRateRadioBtn, &TScopeForm::MidSampleRateRadioBtnClick);
    bindClick(f, HiSampleRateRadioBtn, &TScopeForm::HiSampleRateRadioBtnClick);

    // The display: markers and the cursor readout follow the pointer.
    connect(SpectrumBox, &TPaintBox::mousePressed, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
                SpectrumBoxMouseDown(SpectrumBox, button, shift, x, y);
            });
    connect(SpectrumBox, &TPaintBox::mouseMoved, this,
            [this](Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y) {
                SpectrumBoxMouseMove(SpectrumBox, buttons, shift, x, y);
                if (buttons.testFlag(Qt::LeftButton))  // a marker may have moved
                    RedrawHeldPicture();
            });
    connect(SpectrumBox, &TPaintBox::mouseReleased, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers shift, int x, int y) {
                SpectrumBoxMouseUp(SpectrumBox, button, shift, x, y);
            });
    connect(SpectrumBox, &TPaintBox::mouseLeft, this, [this] { SpectrumBoxMouseLeave(SpectrumBox); });
    // ... and the keyboard, once Tab has brought it to the display.
    connect(SpectrumBox, &TPaintBox::keyPressed, this, [this](int key, Qt::KeyboardModifiers shift) {
        SpectrumBoxKeyDown(SpectrumBox, key, shift);
        if (key == Qt::Key_Left || key == Qt::Key_Right)  // a marker may have moved
            RedrawHeldPicture();
    });
    connect(SpectrumBox, &TPaintBox::keyboardFocusChanged, this, [this](bool focused) {
        if (focused)
            SpectrumBoxEnter(SpectrumBox);
    });

    // Menus: input, display type, grid, background and trace colours.
    bindAction(f, Mic1, &TScopeForm::Mic1Click);
    bindAction(f, Line1, &TScopeForm::Line1Click);
    bindAction(f, Time1, &TScopeForm::Time1Click, Draws::Yes);
    bindAction(f, FFT1, &TScopeForm::FFT1Click, Draws::Yes);
    bindAction(f, Enable1, &TScopeForm::Enable1Click, Draws::Yes);
    bindAction(f, Disable1, &TScopeForm::Disable1Click, Draws::Yes);
    bindColour(f, White1, &TScopeForm::White1Click);
    bindColour(f, Teal1, &TScopeForm::Teal1Click);
    bindColour(f, Black1, &TScopeForm::Black1Click);
    bindColour(f, Black2, &TScopeForm::Black2Click);
    bindColour(f, Red1, &TScopeForm::Red1Click);
    bindColour(f, Blue1, &TScopeForm::Blue1Click);
    bindColour(f, Lime1, &TScopeForm::Lime1Click);
    bindColour(f, Lime2, &TScopeForm::Lime2Click);
    bindColour(f, Yellow1, &TScopeForm::Yellow1Click);
    bindColour(f, White2, &TScopeForm::White2Click);
    bindColour(f, Black3, &TScopeForm::Black3Click);
    bindColour(f, Red2, &TScopeForm::Red2Click);
    bindColour(f, Blue2, &TScopeForm::Blue2Click);
    bindColour(f, Teal2, &TScopeForm::Teal2Click);
    bindColour(f, Lime3, &TScopeForm::Lime3Click);
    bindColour(f, Yellow2, &TScopeForm::Yellow2Click);
    bindColour(f, White3, &TScopeForm::White3Click);
    bindAction(f, AverageOff1, &TScopeForm::AverageOff1Click, Draws::Yes);
    bindAction(f, Average4, &TScopeForm::Average4Click, Draws::Yes);
    bindAction(f, Average16, &TScopeForm::Average16Click, Draws::Yes);
    bindAction(f, Average64, &TScopeForm::Average64Click, Draws::Yes);
    bindAction(f, PeakHold1, &TScopeForm::PeakHold1Click, Draws::Yes);
    bindAction(f, SpectrumReset1, &TScopeForm::SpectrumReset1Click, Draws::Yes);
}

}  // namespace varmolen
