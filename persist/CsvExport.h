// Export Data: what the display shows now as CSV text (RFC 4180: a header
// row, fields separated by commas, quoted where they hold a comma, a quote or
// a line break, every line ended by CR LF), UTF-8, with '.' as the decimal
// point whatever the locale. Numbers are written in the shortest form that
// reads back to the same double.
//
// The numbers come from the blocks the picture was drawn from (keptBlocks),
// so a held picture exports what it shows while new blocks arrive. The
// composer is given them: the blocks and the view for TIME, the levels per
// bin for FREQUENCY (which the display computes as it draws a spectrum).
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
// A picture of the record (Time/Div in force): one row for every frame of
// the span it shows, from its left end to the end of its ten divisions (see
// state/ShownSpan.h), not one per pixel column: the time in s from the
// span's left end, exact to the frame (shortest text of frame / rate). Then
// for each channel shown: `raw`, the sample as recorded (codes); `as drawn`,
// the sample less the DC level the picture took off; and the raw value in %
// of full scale or in volts, as for a block. Where the span holds a break
// (the device's stream lost sound, acquisition stopped and started), a last
// column `Break` reads 1 on each frame that does not follow the one before,
// 0 elsewhere; a span without one has no such column. A span holds at most
// kMaxSpanCsvFrames rows, so a spreadsheet can open it and writing it stays
// within seconds.
//
// FREQUENCY: one row per transform bin 1 to 511 (frequency k * rate / 1024):
// the frequency in Hz, then for each channel shown the bin's level in dBFS
// (a sine whose peaks reach full scale, centred on a bin, reads 0 dBFS) and
// the level the display draws at that bin after its smoothing across
// frequency. Both come from the spectrum the display draws: averaged or held
// when those are on. Levels below the display's floor (power 1) read the floor.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include <string_view>

#include "state/InstrumentView.h"
#include "state/ShownSpan.h"

namespace varmolen {

// How much of a TIME picture's blocks an export holds.
enum class CsvExtent { ShownSpan, WholeBlock };

// A TIME export: the view the last pass drew and, for each channel it shows,
// the block that channel's picture came from.
struct TimeCsvInput {
    DisplayedView view;
    std::array<const KeptBlock*, 2> blocks{};  // [n - 1]: channel n's block; nullptr where not shown
    std::array<double, 2> fullScaleVolts{};    // [n - 1]: channel n's calibration, 0 when none
};
std::string composeTimeCsv(const TimeCsvInput& in, CsvExtent extent = CsvExtent::ShownSpan);

// A span of the record as CSV: its frames, the rate, the channels shown, the
// DC levels the picture took off and each channel's calibration.
struct SpanCsvInput {
    RecordSpan span;
    std::array<bool, 2> shown{};
    std::array<float, 2> dcLevels{};
    std::array<double, 2> fullScaleVolts{};  // [n - 1]: channel n's calibration, 0 when none
};
// The most rows a span's CSV holds: 10.4 s at 192000 Hz, 45 s at 44100 Hz.
constexpr std::int64_t kMaxSpanCsvFrames = 2'000'000;
// Hands the text to `sink` piece by piece (about 1 MiB each), so a long span
// is never held as text whole; false when the sink refused a piece (nothing
// more is handed on) or the span has no frames or too many.
bool writeSpanCsv(const SpanCsvInput& in, const std::function<bool(std::string_view)>& sink);
// The whole text at once; empty where writeSpanCsv would fail.
std::string composeSpanCsv(const SpanCsvInput& in);

// The bins of a FREQUENCY export.
constexpr int kCsvFirstBin = 1;
constexpr int kCsvLastBin = 511;
using CsvBinColumn = std::array<double, kCsvLastBin + 1>;  // [k]: bin k, 1..511 written

// A FREQUENCY export: the rate of the picture, the spectrum history's
// settings (named in the header) and, for each channel shown, its level in
// dBFS and the level the display draws, per bin.
struct SpectrumCsvColumns {
    std::uint32_t rate = 0;
    std::int32_t spectrumAverage = 0;
    bool peakHold = false;
    std::array<bool, 2> shown{};
    std::array<CsvBinColumn, 2> level{};
    std::array<CsvBinColumn, 2> drawn{};
};
std::string composeSpectrumCsv(const SpectrumCsvColumns& in);

// An export of the spectrum analyser: one row a point of the axis shown (a
// bin, or a band at its mid-band frequency), and each channel shown's level
// in the unit `unit` names (with what else the header says of it: "dBFS,
// 65536 points, Hann window").
struct AnalyserCsvColumns {
    std::string unit;
    bool bands = false;
    std::vector<float> hz;
    std::array<bool, 2> shown{};
    std::array<std::vector<float>, 2> level;
};
std::string composeAnalyserCsv(const AnalyserCsvColumns& in);

// One CSV field: as it is, or quoted (inner quotes doubled) where RFC 4180
// requires it.
std::string csvField(const std::string& text);

}  // namespace varmolen
