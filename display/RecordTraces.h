// The time traces of a picture of the record (Time/Div in force): each pixel
// column a stroke from its least to its greatest sample, joined to the
// column before, so a single-sample spike anywhere in the span shows; a span
// with fewer frames than pixels is one line through the pixels' values.
// Gain, baseline, Gnd and colours are the channel's, as for a block's trace.
#pragma once

#include "display/Raster.h"
#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"
#include "state/PassBuffers.h"
#include "state/RecordPicture.h"

namespace varmolen {

// Whether the display shows a picture of the record: a time per division is
// chosen and the TIME display draws Y against time.
bool recordPictureShown(const InstrumentSettings& s);

// The time a division the readouts describe: the held picture's while the
// display is held, otherwise the one chosen.
double recordPerDiv(const InstrumentSettings& s, const InstrumentView& view);

// Draws channel n (1 or 2) of the picture, in the channel's colour, the pen
// as it is; `work`'s per-pixel arrays hold the strokes' rows.
void drawRecordTrace(const InstrumentSettings& s, const RecordPicture& picture, PassBuffers& work, Raster& r, int n);

}  // namespace varmolen
