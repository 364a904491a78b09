// The readouts of the two measuring markers, the mouse cursor and the trigger
// threshold, without a widget in sight: the texts the window copies into
// MarkerLabel and the status panels, from the markers, the expanded view and
// the trigger level as they stand. What a user's input does to them (a drag,
// the marker and Expand switches, the threshold dial) is the window's
// (window/MarkerInput.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"

namespace varmolen {

// The readout texts: a fixed prefix, a number and a unit; "?" where no value
// can be formed.
namespace readout {
inline constexpr std::string_view kMarkerDifference = "Marker Difference = ";
inline constexpr std::string_view kCursor = "Cursor = ";
inline constexpr std::string_view kReciprocal = "1/Mkr = ";
inline constexpr std::string_view kThreshold = "Threshold = ";
inline constexpr std::string_view kMs = " ms";
inline constexpr std::string_view kHz = " Hz";
inline constexpr std::string_view kUnknown = "?";
}  // namespace readout

// Marker difference (MarkerLabel) and the reciprocal (status panel 4).
struct MarkerReadout {
    std::string markerLabel;
    std::string statusPanel4;
};

// The marker readout at the current markers, display type, span and rate.
// TIME with both markers on: "Marker Difference = 23.03 ms" and
// "1/Mkr = 43 Hz" ("1/Mkr = ?" when the difference reads 0.00 ms).
// FREQUENCY with both on: "Marker Difference = 2734 Hz". Otherwise
// "Marker Difference = ?". In FREQUENCY the panel always reads "1/Mkr = ?".
MarkerReadout computeMarkerReadout(const InstrumentSettings& s, const InstrumentView& view, char decimalSeparator);

// Both markers are on: their difference and the expanded view need both.
bool bothMarkersEnabled(const InstrumentSettings& s);

// A pointer x, or a sum of marker columns, as a display column 0..512.
std::int32_t clampColumn(std::int64_t x);

// The column whose time or frequency the readouts give at pointer x
// (clamped first): x itself, or expanded its place between the markers.
std::int32_t readoutColumn(const InstrumentSettings& s, const InstrumentView& view, std::int32_t x);

// "Cursor = ..." for pointer x (clamped first) at the markers as they stand.
// Expanded, the pointer maps onto the stretch between the markers: in TIME
// over 512 columns (x = 512 reads marker 2), in FREQUENCY over 511
// (x = 511 reads marker 2). A picture of the record reads the time of the
// pointer's place in the stretch, a fraction of a column included.
// The spectrum analyser reads the frequency of its own axis and the level
// there; its spectrogram at row y (-1: none) also the time.
std::string cursorReadout(const InstrumentSettings& s, const InstrumentView& view, std::int32_t x,
                          char decimalSeparator, std::int32_t y = -1);

// Trigger level of the threshold dial's percent: v × 2.0 truncated toward
// zero, within -100..100 (NaN reads 0).
std::int32_t thresholdFromDial(float dialValue);

// Status panel 2 for a trigger level: "Threshold = -25".
std::string thresholdReadout(std::int32_t threshold);

}  // namespace varmolen
