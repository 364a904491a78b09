// What assistive technology (a screen reader, a braille display, the
// accessibility bus) learns about the panel's own widgets: each kind gets an
// interface of its own, made by one factory that every widget's constructor
// installs (once), so a dial, switch, lamp or labelled track bar added
// anywhere is described without further code.
//
//   Dial          a dial with a value (current, minimum, maximum, step) that
//                 reads as printed ("74.0 %"); Increase and Decrease turn it
//                 one step as the arrow keys do
//   RockerSwitch  a check box, checked while on; Press and Toggle flip it
//   ToggleSwitch  a toggle button named with both positions
//                 ("Trigger slope: + / -"), checked in its first position,
//                 valued with the position in force; Press and Toggle flip it
//   Led           a status indicator, checked while lit, valued "on"/"off"
//   TrackBar      a slider valued with its positions' names ("Gnd", "10")
//                 and numbers (0, 10); Increase and Decrease move it
//
// Actions and values set through these interfaces work the control as a
// user's hand does, so the control's handlers run; a disabled control does
// not move.
#pragma once

#include <QString>

class QWidget;

namespace varmolen {

void installPanelAccessibility();

// What a control is called aloud: its accessible name when it has one, else
// the title of the group it sits in with its caption ("Channel 1 Gain").
QString spokenName(const QWidget* control, const QString& caption);

}  // namespace varmolen
