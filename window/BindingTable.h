// The one table of the main window's controls and menu items: one row a
// control and signal, in panel order, then the menus in menu order. A row
// names the control, its handler, what runs after it, where its setting is
// kept between runs and the remote command that works it. The binding of
// signals to handlers, the settings file's start-up apply and the remote
// setting commands all read these rows: a new control is one row and its
// handler.
//
// Only a user's action reaches a handler: the dials, rockers and toggles
// emit nothing when the program sets them, radio buttons and menu items are
// bound to their click and trigger signals, and the code that moves a range
// track bar holds its signals back.
#pragma once

#include <Qt>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <variant>
#include <vector>

#include "persist/ConfigFile.h"
#include "state/FeatureSettings.h"

class QObject;

namespace varmolen {

struct PanelControls;
class TScopeForm;

// The signal of a control that a row binds.
enum class Signal {
    Clicked,       // Dial, RockerSwitch, ToggleSwitch, QRadioButton
    ValueChanged,  // Dial, QSlider, QComboBox (an item the user chose)
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

// A handler as the table holds it: the member of the window's group that
// owns it (or of the window), reached through the window and told the
// sender, and for the display's pointer and keys where and what.
using Handler = std::function<void(TScopeForm& form, QObject* sender)>;
using ButtonHandler = std::function<void(TScopeForm& form, QObject* sender, Qt::MouseButton button,
                                         Qt::KeyboardModifiers shift, int x, int y)>;
using MoveHandler = std::function<void(TScopeForm& form, QObject* sender, Qt::MouseButtons buttons,
                                       Qt::KeyboardModifiers shift, int x, int y)>;
using KeyHandler = std::function<void(TScopeForm& form, QObject* sender, int key, Qt::KeyboardModifiers shift)>;

// Where a control's setting is kept between runs, and how the settings
// record gives it back at start-up (fields in record order).
struct Kept {
    // The field of the settings record (Varmolen.cfg) the control shows.
    std::optional<ConfigField> field;
    // The field's value the control stands for: a switch turned on, an item
    // or a button chosen.
    std::int32_t on = 1;
    // A switch's value when off.
    std::int32_t off = 0;
    // An item chosen for any value the field's other items do not stand for.
    bool otherwise = false;
    // The record gives it back through the handler, as a user's action; or
    // into the state alone (the handler would also act on other fields).
    bool throughHandler = true;
    // A dial the record keeps in units of this many dial steps.
    std::int32_t perStep = 1;
    // The key of Varmolen.ini that keeps a setting beyond the record.
    const char* iniKey = nullptr;
    // For a menu item or switch kept there: the setting as a whole number,
    // which the control shows checked at start when it is `on` (or, for one
    // of several items, when no other stands for it and it is `otherwise`).
    // nullptr where the setting's own routine shows it (the display's size
    // and labels, the strip, the menu's rate).
    std::int32_t (*feature)(const FeatureSettings& f) = nullptr;
};

// How a remote command names a control's positions.
enum class Words {
    OnOff,    // ON, OFF, 1 or 0
    Choice,   // words of the row's own (a switch is on for the first)
    Channel,  // CH1 or CH2 (a switch is on for channel 1)
    Number,   // a dial's value, with MINimum, MAXimum, DEFault and the query's
};

// The remote setting command that works a control as a user does: the
// control set silently, its handler run, then the row's `then`.
struct Remote {
    // The header ("TRACe:ADD"; '#' takes the number), or nullptr for a
    // control no command works.
    const char* header = nullptr;
    // For a header with '#': the channel or marker number this row is.
    std::int32_t number = 0;
    Words words = Words::OnOff;
    // Choice: the words the command takes (an item has one).
    std::array<const char*, 3> choices{};
    // What the query answers: a switch on and off, an item chosen.
    std::array<const char*, 2> replies{"1", "0"};
    // Where it differs from the row's `then`: what runs after a script's
    // setting (a script that reads the display next sees its change).
    std::optional<Then> then;
    // Number: the dial's start-up value, what DEFault names and *RST gives.
    double (*startup)(const InstrumentSettings& s, std::int32_t number) = nullptr;
};

struct Binding {
    QObject* control;
    Signal signal;
    std::variant<Handler, ButtonHandler, MoveHandler, KeyHandler> handler;
    Then then;
    Kept kept{};
    Remote remote{};
};

// The rows for the window's widgets.
std::vector<Binding> bindingTable(const PanelControls& c);

// Binds every row of the table; the control is the sender the handler gets.
void bindControls(TScopeForm& form);

// What a row's handler is after, run as a user's action runs it (the
// control is set already): the handler, told `sender`, then `then`.
void runRow(TScopeForm& form, const Binding& row, QObject* sender, Then then);

// The first row of a control; a control without one is a fault of the
// table itself.
const Binding& rowOf(std::span<const Binding> rows, const QObject* control);

// The rows that keep a field of the settings record, in table order.
std::vector<const Binding*> rowsKeeping(std::span<const Binding> rows, ConfigField field);

// At start, after Varmolen.ini is read: the menu items and switches kept
// there show the settings read (checked, without running their handlers).
void showKeptFeatures(std::span<const Binding> rows, const FeatureSettings& f);

// Of the items or buttons that keep one field, the one that stands for
// `value`, or else the one for any other value; nullptr when none does.
const Binding* chosenItem(std::span<const Binding* const> items, std::int32_t value);

}  // namespace varmolen
