// Builds the front panel and the menus of the main window: every control with
// its name, caption, range and start state, laid out as a bench instrument.
// No handler is connected here; the window connects what it handles.
#pragma once

class QWidget;

namespace varmolen {

class TScopeForm;

// Lays out the panel on `central` and returns its size.
void BuildFrontPanel(TScopeForm& form, QWidget* central);
void BuildMenus(TScopeForm& form);

// Gives a control its documented name: as object name always; as accessible
// name where the control shows no text of its own, or as accessible
// description (with an empty name) for labels whose live text must be what
// assistive technology reads.
void NameControl(QWidget* control, const char* name);
void NameLabel(QWidget* label, const char* name);

}  // namespace varmolen
