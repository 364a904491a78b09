// Where the FREQUENCY display draws the peak of a tone whose frequency the
// measurement strip read: the label that shows the strip's reading beside
// the drawn peak is placed from here. The display's smoothing across
// frequency draws a peak up to a bin to the right of the tone (two at
// 22050 Hz, whose columns are one bin later), so the drawn peak is looked
// for in the trace itself, near the column where the cursor reads the tone.
#pragma once

#include <cstdint>
#include <optional>

#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"
#include "display/Raster.h"

namespace varmolen {

// The display column (fractional, 0..512) at which the cursor reads `hz` in
// the FREQUENCY display as it stands: span, rate and, expanded, the stretch
// between the markers. Nothing when it lies off the display or no
// frequency can be read there.
std::optional<double> frequencyColumn(const InstrumentSettings& s, const InstrumentView& view, double hz);

// In the bitmap's pixels (the display's columns and rows at its own size).
struct DrawnPeak {
    int column = 0;
    int row = 0;  // its top row
};

// The top of the trace drawn in `colourWord` (0x00BBGGRR) where the peak of a
// tone at `hz` is drawn: its highest pixel from a column before the
// cursor's column of the tone to two bins after it. Nothing when the tone
// lies off the display or no pixel of that colour is there.
std::optional<DrawnPeak> findDrawnPeak(const InstrumentSettings& s, const InstrumentView& view, const Raster& r,
                                       double hz, std::uint32_t colourWord);

}  // namespace varmolen
