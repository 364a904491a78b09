#include "display/MarkerReadouts.h"

#include <cmath>
#include <utility>

#include "display/ReadoutScales.h"

namespace varmolen {

namespace {

std::int64_t clampTo(std::int64_t v, std::int64_t lo, std::int64_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Marker columns come from the configuration file unchecked, so every sum
// and product of them runs in 64 bits and lands back on a display column.
std::int32_t columnOf(std::int64_t v) { return static_cast<std::int32_t>(clampTo(v, 0, kFullWidth)); }

std::string joined(std::string_view prefix, std::string_view value, std::string_view unit)
{
    std::string text;
    text.reserve(prefix.size() + value.size() + unit.size());
    text += prefix;
    text += value;
    text += unit;
    return text;
}

bool bothMarkersOn(const InstrumentSettings& s) { return s.marker1Enabled != 0 && s.marker2Enabled != 0; }

// The distance between the markers as a column count for the scales.
std::int32_t markerDistance(const InstrumentSettings& s)
{
    return columnOf(static_cast<std::int64_t>(s.marker2Pos) - s.marker1Pos);
}

// The pointer's column mapped onto the stretch between the markers, which
// the expanded view spreads over divisor columns.
std::int32_t expandedColumn(const InstrumentSettings& s, std::int32_t x, std::int64_t divisor)
{
    const std::int64_t d = static_cast<std::int64_t>(s.marker2Pos) - s.marker1Pos;
    // Truncation toward zero, as the instrument's integer division does.
    return columnOf(static_cast<std::int64_t>(s.marker1Pos) + (d * x) / divisor);
}

bool hits(std::int32_t markerPos, std::int32_t x, const InstrumentView& view)
{
    const std::int64_t m = markerPos;
    return m - view.grabLeft < x && x < m + view.grabRight;
}

}  // namespace

MarkerReadout ComputeMarkerReadout(const InstrumentSettings& s, const InstrumentView& view, char decimalSeparator)
{
    MarkerReadout r;
    const bool bothOn = bothMarkersOn(s);
    if (s.displayType == kTimeDisplayType) {
        if (bothOn) {
            const std::uint32_t t = ReadoutTime(s, view, markerDistance(s));
            r.markerLabel = joined(readout::kMarkerDifference, FormatMs(t, decimalSeparator), readout::kMs);
            const std::optional<std::int32_t> hz = ReciprocalHz(t);
            r.statusPanel4 = hz ? joined(readout::kReciprocal, std::to_string(*hz), readout::kHz)
                                : joined(readout::kReciprocal, readout::kUnknown, {});
        } else {
            r.markerLabel = joined(readout::kMarkerDifference, readout::kUnknown, {});
            r.statusPanel4 = joined(readout::kReciprocal, readout::kUnknown, {});
        }
    } else {
        r.markerLabel = bothOn ? joined(readout::kMarkerDifference,
                                        std::to_string(ReadoutFrequency(s, view, markerDistance(s))), readout::kHz)
                               : joined(readout::kMarkerDifference, readout::kUnknown, {});
        r.statusPanel4 = joined(readout::kReciprocal, readout::kUnknown, {});
    }
    return r;
}

std::int32_t ClampColumn(std::int32_t x) { return columnOf(x); }

std::string CursorReadout(const InstrumentSettings& s, const InstrumentView& view, std::int32_t x,
                          char decimalSeparator)
{
    const std::int32_t k = ReadoutColumn(s, view, x);
    if (s.displayType == kTimeDisplayType)
        return joined(readout::kCursor, FormatMs(ReadoutTime(s, view, k), decimalSeparator), readout::kMs);
    return joined(readout::kCursor, std::to_string(ReadoutFrequency(s, view, k)), readout::kHz);
}

std::int32_t ReadoutColumn(const InstrumentSettings& s, const InstrumentView& view, std::int32_t x)
{
    x = ClampColumn(x);
    if (view.expanded == 0)
        return x;
    return expandedColumn(s, x, s.displayType == kTimeDisplayType ? 512 : 511);
}

void MarkerMouseDown(InstrumentView& view)
{
    view.grabLeft = kGrabPressed;
    view.grabRight = kGrabPressed;
}

MouseMoveTexts MarkerMouseMove(InstrumentSettings& s, InstrumentView& view, std::int32_t x, bool leftButtonHeld,
                               char decimalSeparator)
{
    MouseMoveTexts texts;
    x = ClampColumn(x);
    texts.cursorText = CursorReadout(s, view, x, decimalSeparator);

    if (leftButtonHeld) {
        if (hits(s.marker1Pos, x, view) && s.marker1Enabled != 0 && view.marker1Grabbable != 0) {
            view.marker2Grabbable = 0;
            s.marker1Pos = x < s.marker2Pos ? x : columnOf(static_cast<std::int64_t>(s.marker2Pos) - 1);
        } else if (hits(s.marker2Pos, x, view) && s.marker2Enabled != 0 && view.marker2Grabbable != 0) {
            view.marker1Grabbable = 0;
            s.marker2Pos = x > s.marker1Pos ? x : columnOf(static_cast<std::int64_t>(s.marker1Pos) + 1);
        }
        view.grabLeft = kGrabDragging;
        view.grabRight = kGrabDragging;
    }

    texts.readout = ComputeMarkerReadout(s, view, decimalSeparator);
    return texts;
}

void MarkerMouseUp(InstrumentView& view)
{
    view.marker1Grabbable = 1;
    view.marker2Grabbable = 1;
    view.grabLeft = kGrabPressed;
    view.grabRight = kGrabPressed;
}

void LockOtherMarker(InstrumentView& view, int marker)
{
    if (marker == 1)
        view.marker2Grabbable = 0;
    else if (marker == 2)
        view.marker1Grabbable = 0;
}

MarkerSwitchTexts MarkerSwitchClick(InstrumentSettings& s, InstrumentView& view, int marker, bool checked,
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
        texts.markerLabel = joined(readout::kMarkerDifference, readout::kUnknown, {});
    }
    if (bothMarkersOn(s)) {
        MarkerReadout r = ComputeMarkerReadout(s, view, decimalSeparator);
        texts.markerLabel = std::move(r.markerLabel);
        texts.statusPanel4 = std::move(r.statusPanel4);
    }
    return texts;
}

ExpandOutcome ExpandSwitchClick(const InstrumentSettings& s, InstrumentView& view, bool checked)
{
    ExpandOutcome outcome;
    if (bothMarkersOn(s)) {
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

std::int32_t ThresholdFromDial(float dialValue)
{
    const double level = static_cast<double>(dialValue) * 2.0;
    if (std::isnan(level))
        return 0;
    // Bounded before the conversion, which is undefined for values an int
    // cannot hold.
    const double bounded = level < -100.0 ? -100.0 : (level > 100.0 ? 100.0 : level);
    return static_cast<std::int32_t>(bounded);  // truncates toward zero
}

std::string ThresholdReadout(std::int32_t threshold)
{
    return joined(readout::kThreshold, std::to_string(threshold), {});
}

std::string ThresholdDialChange(InstrumentSettings& s, float dialValue)
{
    s.triggerThreshold = ThresholdFromDial(dialValue);
    return ThresholdReadout(s.triggerThreshold);
}

}  // namespace varmolen
