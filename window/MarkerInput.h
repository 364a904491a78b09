// What a user's input over the markers does to the state, without a widget in
// sight: a press, move and release on the display drag a marker, the marker
// and Expand switches turn them and the expanded view on and off, the
// threshold dial sets the trigger level. The window's handlers read their
// control (switch state, pointer x, left button, dial value), call the
// function of the same purpose here and copy the returned texts into
// MarkerLabel and the status panels; where a result asks for it they uncheck
// ExpandSw (without running its handler) or show the refusal message through
// the Host, then run the time-base refresh as usual. The texts themselves are
// the readouts' (display/MarkerReadouts.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "display/MarkerReadouts.h"
#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"

namespace varmolen {

namespace readout {
inline constexpr std::string_view kExpandRefused = "Both markers must be enabled!";
inline constexpr std::string_view kErrorCaption = "Error Message";
}  // namespace readout

// Grab windows of the drag: after a press, and once a move with the left
// button held has run.
constexpr std::int32_t kGrabPressed = 5;
constexpr std::int32_t kGrabDragging = 45;

// A mouse button pressed on the display: the grab windows shrink to 5.
void markerMouseDown(InstrumentView& view);

// Texts after a pointer move: status panel 1 and the marker readout.
struct MouseMoveTexts {
    std::string cursorText;
    MarkerReadout readout;
};

// A pointer move over the display: clamp x, form the cursor readout at the
// markers before the move, then, with the left button held, drag the marker
// the pointer hits (marker 1 first; the other is locked out until release;
// a marker never reaches or passes the other) and widen the windows to 45;
// last the marker readout at the new positions.
MouseMoveTexts markerMouseMove(InstrumentSettings& s, InstrumentView& view, std::int32_t x, bool leftButtonHeld,
                               char decimalSeparator, std::int32_t y = -1);

// A mouse button released: both markers grabbable again, windows back to 5.
void markerMouseUp(InstrumentView& view);

// Before the keyboard's drag of marker 1 or 2 (a press on its line, a move
// there and one to where it goes): locks the other marker out, as a drag
// that has picked this one does, so that a close neighbour is never carried
// instead. markerMouseUp frees it again. Any other marker number changes
// nothing.
void lockOtherMarker(InstrumentView& view, int marker);

// What a marker switch click leaves for the window to show. Apply in order:
// uncheck ExpandSw when asked, set MarkerLabel and status panel 4 when given,
// then run the time-base refresh (which rewrites MarkerLabel again).
struct MarkerSwitchTexts {
    bool uncheckExpandSw = false;
    std::optional<std::string> markerLabel;
    std::optional<std::string> statusPanel4;
};

// Mkr1 (marker 1) or Mkr2 (marker 2) switch clicked, checked = its new
// state. Off also ends the expanded view. Any other marker number changes
// nothing.
MarkerSwitchTexts markerSwitchClick(InstrumentSettings& s, InstrumentView& view, int marker, bool checked,
                                    char decimalSeparator);

// Outcome of an Expand click. When refused, uncheck ExpandSw, show message
// with caption (one OK button, no icon), then run the time-base refresh.
struct ExpandOutcome {
    bool refused = false;
    std::string message;
    std::string caption;
};

// Expand switch clicked, checked = its new state. Only with both markers on
// does it change the view; otherwise it is refused and expanded stays off.
ExpandOutcome expandSwitchClick(const InstrumentSettings& s, InstrumentView& view, bool checked);

// Threshold dial clicked or moved: sets triggerThreshold and returns status
// panel 2, e.g. "Threshold = -25" for -12.7.
std::string thresholdDialChange(InstrumentSettings& s, float dialValue);

}  // namespace varmolen
