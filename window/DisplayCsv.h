// Export Data's text: the picture on the display as CSV. The display gives
// what a held picture shows (its kept blocks and, in FREQUENCY, the levels
// of their spectra); the CSV composer writes them. A picture of the record
// (Time/Div in force) is exported as every frame of its span, taken from the
// record (state/ShownSpan.h).
#pragma once

#include <string>

#include "dsp/SampleRing.h"
#include "persist/CsvExport.h"
#include "state/InstrumentState.h"
#include "state/ShownSpan.h"

namespace varmolen {

// The CSV text of the display now, or empty text and a reason when there is
// nothing to export (no block drawn yet, no channel shown, the span of a
// picture of the record not held or too long). Works in the display's
// spectrum work arrays, which the next pass fills again. The extent matters
// in TIME only; `record` is the run loop's (null before the first start).
std::string composeDisplayCsv(InstrumentState& s, std::string& whyNot, CsvExtent extent = CsvExtent::ShownSpan,
                              const SampleRing* record = nullptr);

// Whether an export takes the span of a picture of the record rather than a block.
bool exportsRecordSpan(const InstrumentState& s);

// The frames of the span shown that an export takes from the record, or a
// reason (a sentence, for "There is nothing to export. ...") and a span not
// held.
SpanFrames spanToExport(const InstrumentState& s, const SampleRing* record, std::string& whyNot);
// The message for a span of `count` frames where a file holds at most `maxFrames`.
std::string spanTooLong(std::int64_t count, std::int64_t maxFrames);

// What the span's CSV holds besides its frames: the channels shown, the
// picture's DC levels, the calibration.
SpanCsvInput spanCsvInput(const InstrumentState& s, const RecordSpan& span);

}  // namespace varmolen
