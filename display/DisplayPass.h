// One display pass: clear the bitmap by the background scheme, draw the
// enabled channels (trigger channel first) as time traces or spectra, then
// the graticule and the marker lines. The window shows the bitmap afterwards.
#pragma once

#include "state/InstrumentState.h"
#include "display/Raster.h"

namespace varmolen {

// Draws one pass into displayBitmap. Returns whether SpectrumBox shows its
// hint ("Drag the marker to the desired position"): true while at least one
// marker is on.
bool RunDisplayPass(InstrumentState& s, Raster& displayBitmap);

// Whether the picture is a held one that a change of how blocks are drawn
// must draw again: the display is held, or an enabled channel keeps its
// previous trace, and a block made the picture.
bool HeldPictureWantsRedraw(const InstrumentState& s);

// The display pass again, on the blocks that made the picture instead of the
// live one (which stays as it is): each channel from its own kept block (a
// channel the picture did not show from the other's). A channel whose
// trigger point the search no longer finds there keeps the kept block's
// trace start, so the picture always follows the controls. A redraw only
// draws: Hold, Single, the last new block's trigger search (its point, the
// crossing and the Trig'd lamp's word) and the kept blocks stay as they are.
// Returns as RunDisplayPass does.
bool RunRedrawPass(InstrumentState& s, Raster& displayBitmap);

// The first step of every pass: notes what the picture shows for exports (the
// display type and channels, and the rate of a new block; the blocks
// themselves are keptBlocks) and counts the pass for the spectrum history.
void NoteDisplayedView(InstrumentState& s);

}  // namespace varmolen
