// Builds the front panel and the menus of the main window: every control with
// its name, caption, range and start state, laid out as a bench instrument.
// No handler is connected here; the window binds what it handles.
#pragma once

#include <cstdint>

#include "panel/PanelControls.h"

#include <QMargins>
#include <QSize>

class QColor;
class QIcon;
class QMainWindow;
class QString;
class QWidget;

namespace varmolen {

class Raster;

// Lays out the panel on `central`, with the display showing `display`, and
// the status bar of `window`; returns the widgets by group (the menus' groups
// are left for buildMenus).
PanelControls buildFrontPanel(QMainWindow& window, QWidget* central, const Raster& display);
// The display's box in points: the instrument's own 513 x 343 at Normal,
// twice its 512 x 342 column and row spans at Large.
QSize displayBoxSize(std::int32_t displaySize);
// Display > Size > Large on a screen: the display box and whether it is
// smaller than Large. `room`: the screen's area for windows
// (QScreen::availableGeometry), `frame`: the border the window manager puts
// round the window, `around`: what the window takes beyond the display box
// (the panel, the labels, the menu and status bars, the measurement strip).
// Large where the whole window fits; otherwise the largest box of Large's
// shape that fits, and Normal where nothing larger than Normal would.
struct LargeBoxFit {
    QSize box;
    bool reduced = false;
};
LargeBoxFit fitLargeDisplayBox(QSize room, QMargins frame, QSize around);
// Places the display at `box` points (labels: the room for the labelled axes
// around it, or none) and the panel around it: the right column and the rows
// below move out by what the display grew. `fixed`: the panel takes exactly
// that size; otherwise it may grow (Fit to Window), never below the panel
// at Normal.
void layOutFrontPanel(PanelControls& c, QWidget* central, QSize box, QMargins labels, bool fixed);
// The display box that fills a panel of `panel` points (Fit to Window),
// never below Normal.
QSize displayBoxForPanel(QSize panel, QMargins labels);

// Builds the menu bar of `window` (panel/MenuBar.cpp) into the menus' groups.
void buildMenus(QMainWindow& window, PanelControls& controls);
// The caption of a Sample Rate item ("48000 Hz"), marked when the device
// records the rate natively.
QString sampleRateCaption(std::uint32_t rate, bool native);
// The caption of Display > Size > Large, which says when the screen holds
// only a smaller display (fitLargeDisplayBox).
QString largeSizeCaption(bool reduced);

// Gives a control its documented name as object name, and the words people
// use for it: the name it is called aloud where its group's title and
// caption do not say it, and a tooltip that says what it does.
void nameControl(QWidget* control, const char* name);
// Gives a readout label its documented name as object name; its live text is
// what assistive technology reads (so it has no accessible name), and its
// description says what it shows ("Marker difference").
void nameLabel(QWidget* label, const char* name, const char* shows);

// A small framed square of a colour word (0x00BBGGRR), for the colour menus.
QIcon colourSwatch(std::int32_t word);
// A colour word (0x00BBGGRR) as the toolkit's colour.
QColor colourOf(std::int32_t word);
// The display's ground for a background scheme (1 white, 2 black, 3 teal;
// white for any other value), as a colour word.
std::int32_t backgroundColour(std::int32_t scheme);

}  // namespace varmolen
