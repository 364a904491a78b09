// One display pass: clear the bitmap by the background scheme, draw the
// enabled channels (trigger channel first) as time traces or spectra, then
// the graticule and the marker lines. The window shows the bitmap afterwards.
#pragma once

#include "app/InstrumentState.h"
#include "display/Raster.h"

namespace varmolen {

// Draws one pass into displayBitmap. Returns whether SpectrumBox shows its
// hint ("Drag the marker to the desired position"): true while at least one
// marker is on.
bool RunDisplayPass(InstrumentState& s, Raster& displayBitmap);

// The first step of every pass: copies the block a new-block pass draws into
// displayedBlock (a redraw keeps the block it has), notes the display type and
// channels drawn, and counts the pass for the spectrum history.
void KeepDisplayedBlock(InstrumentState& s);

}  // namespace varmolen
