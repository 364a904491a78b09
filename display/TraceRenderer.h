// Time-domain rendering of one channel: gain scaling, Add, the trigger search
// with its Sin and Sqv detectors, Chop and Alt, Hold and Single, the time-base
// resampling, the expanded view between the markers, the trigger-level tick
// and the XY display. Also the drawing steps the spectrum shares with it.
#pragma once

#include <cstdint>

#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"
#include "state/PassBuffers.h"
#include "display/Raster.h"
#include "dsp/TriggerRule.h"

namespace varmolen {

// The block a pass draws a channel from: both channels' samples, 1024 each
// (the live block, or the kept block a held picture came from), and whether
// the pass draws again a block it has drawn before. Whatever accumulates over
// blocks (Hold after a single sweep, the kept trace starts, the spectrum
// history) advances only on new ones.
struct BlockToDraw {
    const std::int32_t* chan1;
    const std::int32_t* chan2;
    bool redraw;

    const std::int32_t* samples(int n) const { return n == 1 ? chan1 : chan2; }
};

// The trigger detector the settings choose, with the Sin detector's window
// `band` (a slope of neither kind fires nothing).
TriggerRule triggerRule(const InstrumentSettings& s, std::int64_t band);

// The trigger level's tick: a short red line at the left end of the
// source's baseline `y0`, the level's rows above it.
void drawTriggerTick(const InstrumentSettings& s, Raster& r, int y0);

// Row of trace value v against baseline row y0 (y0 - v), saturated to the
// 32-bit range; the raster clips whatever lies outside the bitmap.
int traceRow(std::int64_t y0, std::int64_t v);

// Band factor of the Sin detector from a TIME range: 1 for Gnd (and for any
// range below 1), otherwise the truncation of ln(range) + 1.
int bandFactor(std::int32_t range);

// The span the renderers use: `span` kept within 9..512 columns.
int effectiveSpan(const InstrumentView& view);

// Polyline through (k, y0 - values[k]) for k = 0..segments.
void drawTracePolyline(Raster& r, const std::int32_t* values, int segments, int y0);

// Polyline through (k, y0 - values[k] / 16) for k = 0..segments in
// sixteenths of a row, point k at column k, or at pixel column k when
// `perPixel` (Raster's fine pen).
void drawFinePolyline(Raster& r, const std::int32_t* values, int segments, int y0, bool perPixel);

// Steps shared by the time and spectrum renderings: the trace (an array of
// kArrayLength values, 513 in use) drawn directly or resampled to the time
// base, then the expanded view between the markers stretched over
// `expandColumns` (513 for time traces, 512 for spectra). With `fineTrace`
// (the same trace in sixteenths of a row, on a display larger than its own
// size) that one is drawn instead, resampled to one point per pixel column.
void drawZoomedTrace(const InstrumentSettings& s, InstrumentView& view, PassBuffers& work, Raster& r,
                     const std::int32_t* trace, const std::int32_t* fineTrace, int y0, float expandColumns);

// Draws channel n (1 or 2) of `block` against baseline y0 with gain g in the
// TIME display. True when the trigger searched a new block: a single sweep
// then freezes the display (the pass sets Hold).
bool renderTimeChannel(const InstrumentSettings& s, InstrumentView& view, PassBuffers& work, Raster& r,
                       const BlockToDraw& block, int n, int y0, int g);

}  // namespace varmolen
