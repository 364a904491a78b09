// The one table that binds every control and menu item of the main window to
// its handler: one row a control and signal, in panel order, then the menus
// in menu order. Only a user's action reaches a handler: the dials, rockers
// and toggles emit nothing when the program sets them, radio buttons and
// menu items are bound to their click and trigger signals, and the code that
// moves a range track bar holds its signals back.
#pragma once

#include <Qt>

#include <variant>
#include <vector>

class QObject;

namespace varmolen {

struct PanelControls;
class TScopeForm;

// The signal of a control that a row binds.
enum class Signal {
    Clicked,       // Dial, RockerSwitch, ToggleSwitch, QRadioButton
    ValueChanged,  // Dial, QSlider
    Triggered,     // QAction
    Timeout,       // QTimer
    MousePressed,  // the display (TPaintBox), and so on
    MouseMoved,
    MouseReleased,
    MouseLeft,
    KeyPressed,
    KeyboardEntered,
};

// What runs after the handler.
enum class Then {
    Nothing,
    // The control changes how a block is drawn: a held picture is drawn again.
    Redraw,
    // A colour item: the colour menus show the colours now in force, then
    // the held picture is drawn again.
    ShowColours,
    // A pointer move with the left button down may have dragged a marker.
    RedrawAfterDrag,
    // Left and Right may have moved a marker.
    RedrawAfterMarkerKey,
};

using Handler = void (TScopeForm::*)(QObject* sender);
using ButtonHandler = void (TScopeForm::*)(QObject* sender, Qt::MouseButton button, Qt::KeyboardModifiers shift, int x,
                                           int y);
using MoveHandler = void (TScopeForm::*)(QObject* sender, Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x,
                                         int y);
using KeyHandler = void (TScopeForm::*)(QObject* sender, int key, Qt::KeyboardModifiers shift);

struct Binding {
    QObject* control;
    Signal signal;
    std::variant<Handler, ButtonHandler, MoveHandler, KeyHandler> handler;
    Then then;
};

// The rows for the window's widgets.
std::vector<Binding> BindingTable(const PanelControls& c);

// Binds every row of the table; the control is the sender the handler gets.
void BindControls(TScopeForm& form);

}  // namespace varmolen
