// Export Data's text: the picture on the display as CSV. The display gives
// what a held picture shows (its kept blocks and, in FREQUENCY, the levels
// of their spectra); the CSV composer writes them.
#pragma once

#include <string>

#include "persist/CsvExport.h"
#include "state/InstrumentState.h"

namespace varmolen {

// The CSV text of the display now, or empty text and a reason when there is
// nothing to export (no block drawn yet, no channel shown). Works in the
// display's spectrum work arrays, which the next pass fills again. The
// extent matters in TIME only.
std::string composeDisplayCsv(InstrumentState& s, std::string& whyNot, CsvExtent extent = CsvExtent::ShownSpan);

}  // namespace varmolen
