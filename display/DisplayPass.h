// One display pass: clear the bitmap by the background scheme, draw the
// enabled channels (trigger channel first) as time traces or spectra, then
// the graticule and the marker lines. The window shows the bitmap afterwards.
#pragma once

#include "display/Raster.h"
#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"
#include "state/PassBuffers.h"

namespace varmolen {

// Draws one pass of the live block (chan1Samples, chan2Samples) into
// displayBitmap. Returns whether SpectrumBox shows its
// hint ("Drag the marker to the desired position"): true while at least one
// marker is on.
bool runDisplayPass(InstrumentSettings& s, InstrumentView& view, PassBuffers& work, Raster& displayBitmap);

// Whether the picture is a held one that a change of how blocks are drawn
// must draw again: the display is held, or an enabled channel keeps its
// previous trace, and a block made the picture. A picture of the record:
// held, or its expanded view turned on or off or its markers moved.
bool heldPictureWantsRedraw(const InstrumentSettings& s, const InstrumentView& view);

// The display pass again, on the blocks that made the picture instead of the
// live one (which stays as it is): each channel from its own kept block (a
// channel the picture did not show from the other's). A channel whose
// trigger point the search no longer finds there keeps the kept block's
// trace start, so the picture always follows the controls. A redraw only
// draws: Hold, Single, the last new block's trigger search (its point, the
// crossing and the Trig'd lamp's word) and the kept blocks stay as they are.
// Returns as runDisplayPass does.
bool runRedrawPass(InstrumentSettings& s, InstrumentView& view, PassBuffers& work, Raster& displayBitmap);

// The block channel n (1 or 2) of a held picture is drawn from: its own kept
// block, or the other channel's when the picture did not show channel n.
const KeptBlock& keptBlockFor(const InstrumentView& view, int n);

// The first step of every pass: notes what the picture shows for exports (the
// display type and channels, and the rate of a new block; the blocks
// themselves are keptBlocks) and counts the pass for the spectrum history.
// `redraw`: the pass draws the kept blocks again, no new block.
void noteDisplayedView(const InstrumentSettings& s, InstrumentView& view, bool redraw);

}  // namespace varmolen
