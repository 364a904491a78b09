#include "display/MarkerReadouts.h"

#include <cmath>
#include <optional>

#include "display/ReadoutScales.h"
#include "display/RecordTraces.h"
#include "display/SpectrumAnalyser.h"

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

}  // namespace

bool bothMarkersEnabled(const InstrumentSettings& s) { return s.marker1Enabled != 0 && s.marker2Enabled != 0; }

MarkerReadout computeMarkerReadout(const InstrumentSettings& s, const InstrumentView& view, char decimalSeparator)
{
    MarkerReadout r;
    const bool bothOn = bothMarkersEnabled(s);
    if (s.displayType == kTimeDisplayType) {
        if (bothOn) {
            const std::uint32_t t = readoutTime(s, view, markerDistance(s));
            r.markerLabel = joined(readout::kMarkerDifference, readoutMs(s, view, markerDistance(s), decimalSeparator),
                                   readout::kMs);
            const std::optional<std::int32_t> hz = reciprocalHz(t);
            r.statusPanel4 = hz ? joined(readout::kReciprocal, std::to_string(*hz), readout::kHz)
                                : joined(readout::kReciprocal, readout::kUnknown, {});
        } else {
            r.markerLabel = joined(readout::kMarkerDifference, readout::kUnknown, {});
            r.statusPanel4 = joined(readout::kReciprocal, readout::kUnknown, {});
        }
    } else if (analyserShown(s)) {
        r.markerLabel = analyserMarkerText(s, view, decimalSeparator);
        r.statusPanel4 = joined(readout::kReciprocal, readout::kUnknown, {});
    } else {
        r.markerLabel = bothOn ? joined(readout::kMarkerDifference,
                                        std::to_string(readoutFrequency(s, view, markerDistance(s))), readout::kHz)
                               : joined(readout::kMarkerDifference, readout::kUnknown, {});
        r.statusPanel4 = joined(readout::kReciprocal, readout::kUnknown, {});
    }
    return r;
}

std::int32_t clampColumn(std::int64_t x) { return columnOf(x); }

std::string cursorReadout(const InstrumentSettings& s, const InstrumentView& view, std::int32_t x,
                          char decimalSeparator, std::int32_t y)
{
    if (analyserShown(s))
        return analyserCursorText(s, view, clampColumn(x), y, decimalSeparator);
    if (recordExpanded(s, view)) {
        // A picture of the record spreads the stretch between the markers
        // over 512 columns too, each pixel its own frames: the pointer reads
        // the time of its place in the stretch, not of a whole column.
        const double column = expandedStretch(s).at(static_cast<double>(clampColumn(x)));
        return joined(readout::kCursor, recordColumnMs(s, view, column, decimalSeparator), readout::kMs);
    }
    const std::int32_t k = readoutColumn(s, view, x);
    if (s.displayType == kTimeDisplayType)
        return joined(readout::kCursor, readoutMs(s, view, k, decimalSeparator), readout::kMs);
    return joined(readout::kCursor, std::to_string(readoutFrequency(s, view, k)), readout::kHz);
}

std::int32_t readoutColumn(const InstrumentSettings& s, const InstrumentView& view, std::int32_t x)
{
    x = clampColumn(x);
    if (view.expanded == 0)
        return x;
    return expandedColumn(s, x, s.displayType == kTimeDisplayType ? 512 : 511);
}

std::int32_t thresholdFromDial(float dialValue)
{
    const double level = static_cast<double>(dialValue) * 2.0;
    if (std::isnan(level))
        return 0;
    // Bounded before the conversion, which is undefined for values an int
    // cannot hold.
    const double bounded = level < -100.0 ? -100.0 : (level > 100.0 ? 100.0 : level);
    return static_cast<std::int32_t>(bounded);  // truncates toward zero
}

std::string thresholdReadout(std::int32_t threshold)
{
    return joined(readout::kThreshold, std::to_string(threshold), {});
}

}  // namespace varmolen
