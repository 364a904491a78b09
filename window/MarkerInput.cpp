#include "window/MarkerInput.h"

#include <utility>

namespace varmolen {

namespace {

bool hits(std::int32_t markerPos, std::int32_t x, const InstrumentView& view)
{
    const std::int64_t m = markerPos;
    return m - view.grabLeft < x && x < m + view.grabRight;
}

}  // namespace

void markerMouseDown(InstrumentView& view)
{
    view.grabLeft = kGrabPressed;
    view.grabRight = kGrabPressed;
}

MouseMoveTexts markerMouseMove(InstrumentSettings& s, InstrumentView& view, std::int32_t x, bool leftButtonHeld,
                               char decimalSeparator, std::int32_t y)
{
    MouseMoveTexts texts;
    x = clampColumn(x);
    texts.cursorText = cursorReadout(s, view, x, decimalSeparator, y);

    if (leftButtonHeld) {
        if (hits(s.marker1Pos, x, view) && s.marker1Enabled != 0 && view.marker1Grabbable != 0) {
            view.marker2Grabbable = 0;
            s.marker1Pos = x < s.marker2Pos ? x : clampColumn(static_cast<std::int64_t>(s.marker2Pos) - 1);
        } else if (hits(s.marker2Pos, x, view) && s.marker2Enabled != 0 && view.marker2Grabbable != 0) {
            view.marker1Grabbable = 0;
            s.marker2Pos = x > s.marker1Pos ? x : clampColumn(static_cast<std::int64_t>(s.marker1Pos) + 1);
        }
        view.grabLeft = kGrabDragging;
        view.grabRight = kGrabDragging;
    }

    texts.readout = computeMarkerReadout(s, view, decimalSeparator);
    return texts;
}

void markerMouseUp(InstrumentView& view)
{
    view.marker1Grabbable = 1;
    view.marker2Grabbable = 1;
    view.grabLeft = kGrabPressed;
    view.grabRight = kGrabPressed;
}

void lockOtherMarker(InstrumentView& view, int marker)
{
    if (marker == 1)
        view.marker2Grabbable = 0;
    else if (marker == 2)
        view.marker1Grabbable = 0;
}

MarkerSwitchTexts markerSwitchClick(InstrumentSettings& s, InstrumentView& view, int marker, bool checked,
                                    char decimalSeparator)
{
    MarkerSwitchTexts texts;
    flag* enabled = marker == 1 ? &s.marker1Enabled : (marker == 2 ? &s.marker2Enabled : nullptr);
    if (enabled == nullptr)
        return texts;

    if (checked) {
        *enabled = 1;
    } else {
        *enabled = 0;
        view.expanded = 0;
        texts.uncheckExpandSw = true;
        texts.markerLabel = std::string(readout::kMarkerDifference).append(readout::kUnknown);
    }
    if (bothMarkersEnabled(s)) {
        MarkerReadout r = computeMarkerReadout(s, view, decimalSeparator);
        texts.markerLabel = std::move(r.markerLabel);
        texts.statusPanel4 = std::move(r.statusPanel4);
    }
    return texts;
}

ExpandOutcome expandSwitchClick(const InstrumentSettings& s, InstrumentView& view, bool checked)
{
    ExpandOutcome outcome;
    if (bothMarkersEnabled(s)) {
        view.expanded = checked ? 1 : 0;
        return outcome;
    }
    // The expanded view needs both marker columns; it is never on without them.
    view.expanded = 0;
    outcome.refused = true;
    outcome.message = readout::kExpandRefused;
    outcome.caption = readout::kErrorCaption;
    return outcome;
}

std::string thresholdDialChange(InstrumentSettings& s, float dialValue)
{
    s.triggerThreshold = thresholdFromDial(dialValue);
    return thresholdReadout(s.triggerThreshold);
}

}  // namespace varmolen
