// Export Data: what the display shows now as CSV text (RFC 4180: a header
// row, fields separated by commas, quoted where they hold a comma, a quote or
// a line break, every line ended by CR LF), UTF-8, with '.' as the decimal
// point whatever the locale. Numbers are written in the shortest form that
// reads back to the same double.
//
// The numbers come from the blocks the picture was drawn from (keptBlocks),
// so a held picture exports what it shows while new blocks arrive.
//
// TIME: one row per sample the display shows, from its left end to its right
// end: the time in ms from the trace start, as the axis labels count it (the
// trigger point, or sample 0 running free; in the expanded view the rows run
// from marker 1 to marker 2). Then for each channel shown: `raw`, the sample
// as recorded (converter codes, before the slow DC removal); `as drawn`, the
// value the display scales (after the DC removal; in Add the sum of both
// channels); and the raw value in % of full scale (32767), or in volts where
// the channel is calibrated (features.fullScaleVolts). The header gives the
// rate and each channel's trace start (its sample index in the block). The
// whole block is the other extent: all 1024 samples, the time from the
// block's first sample.
//
// FREQUENCY: one row per transform bin 1 to 511 (frequency k * rate / 1024):
// the frequency in Hz, then for each channel shown the bin's level in dBFS
// (a sine whose peaks reach full scale, centred on a bin, reads 0 dBFS) and
// the level the display draws at that bin after its smoothing across
// frequency. Both come from the spectrum the display draws: averaged or held
// when those are on. Levels below the display's floor (power 1) read the floor.
#pragma once

#include <string>

#include "state/InstrumentState.h"

namespace varmolen {

// How much of a TIME picture's blocks an export holds.
enum class CsvExtent { ShownSpan, WholeBlock };

// The CSV text of the display now, or empty text and a reason when there is
// nothing to export (no block drawn yet, no channel shown). Works in the
// display's spectrum work arrays, which the next pass fills again. The
// extent matters in TIME only.
std::string ComposeDisplayCsv(InstrumentState& s, std::string& whyNot, CsvExtent extent = CsvExtent::ShownSpan);

// One CSV field: as it is, or quoted (inner quotes doubled) where RFC 4180
// requires it.
std::string CsvField(const std::string& text);

}  // namespace varmolen
