// Builds the front panel and the menus of the main window: every control with
// its name, caption, range and start state, laid out as a bench instrument.
// No handler is connected here; the window connects what it handles.
#pragma once

#include <cstdint>

class QAction;
class QColor;
class QIcon;
class QObject;
class QWidget;

namespace varmolen {

class TScopeForm;

// Lays out the panel on `central` and returns its size.
void BuildFrontPanel(TScopeForm& form, QWidget* central);
void BuildMenus(TScopeForm& form);

// Gives a control its documented name as object name, and the words people
// use for it: the name it is called aloud where its group's title and
// caption do not say it, and a tooltip that says what it does.
void NameControl(QWidget* control, const char* name);
// Gives a readout label its documented name as object name; its live text is
// what assistive technology reads (so it has no accessible name), and its
// description says what it shows ("Marker difference").
void NameLabel(QWidget* label, const char* name, const char* shows);

// A small framed square of a colour word (0x00BBGGRR), for the colour menus.
QIcon ColourSwatch(std::int32_t word);
// A colour word (0x00BBGGRR) as the toolkit's colour.
QColor ColourOf(std::int32_t word);
// The display's ground for a background scheme (1 white, 2 black, 3 teal;
// white for any other value), as a colour word.
std::int32_t BackgroundColour(std::int32_t scheme);

// Runs a handler of the window, with the item as sender, whenever the user
// chooses a menu item (window/ConnectPanel.cpp). A missing item binds nothing.
using MenuHandler = void (TScopeForm::*)(QObject*);
void BindMenuItem(TScopeForm& form, QAction* item, MenuHandler handler);

}  // namespace varmolen
