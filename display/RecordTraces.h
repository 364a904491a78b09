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

// Whether a picture of the record is shown expanded: Exp on with both markers.
bool recordExpanded(const InstrumentSettings& s, const InstrumentView& view);

// The display columns of the whole picture the expanded view spreads over
// the full width: the markers', kept within 0..512 and at least a column
// apart (the markers are never closer, a settings file aside).
struct ColumnStretch {
    double from = 0.0;
    double to = 0.0;

    // The whole picture's column that expanded column x (0..512) shows.
    double at(double x) const { return from + (to - from) * x / 512.0; }
};
ColumnStretch expandedStretch(const InstrumentSettings& s);

// Takes the expanded view of the picture on the display from the record,
// when the view is expanded and that picture's stretch is not taken yet: at
// every new picture and every redraw (the markers may have moved), never in
// between. Allocates nothing.
void takeExpandedRecord(const InstrumentSettings& s, InstrumentView& view, const SampleRing& ring);

// The picture the display draws: the expanded one when the view is expanded
// and it was taken for the picture and the markers as they stand, otherwise
// the whole picture.
const RecordPicture& shownRecordPicture(const InstrumentSettings& s, const InstrumentView& view);

// Draws channel n (1 or 2) of the picture, in the channel's colour, the pen
// as it is; `work`'s per-pixel arrays hold the strokes' rows.
void drawRecordTrace(const InstrumentSettings& s, const RecordPicture& picture, PassBuffers& work, Raster& r, int n);

}  // namespace varmolen
