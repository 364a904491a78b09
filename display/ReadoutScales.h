// The readout scales and the time base. A display column becomes hundredths
// of a millisecond (TIME) or hertz (FREQUENCY) at the current span and sample
// rate, with the integer steps and truncations every readout of the
// instrument shares: axis end labels, marker difference, cursor. The time
// base turns the Time dial's percent into the span and the resampling block
// the renderers use, and decides the scale texts under the display.
//
// Nothing here touches a widget: the window's handler reads the dial, calls
// computeTimeBase and copies the returned texts into its labels, the Uncal.
// LED and (in TIME display) status panel 4.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"

namespace varmolen {

// Display columns run 0..kFullWidth; the full width is 512 columns.
constexpr std::int32_t kFullWidth = 512;
constexpr std::int32_t kMinSpan = 9;
constexpr std::int32_t kMaxSpan = 512;

// The rate the readouts describe: while the display is held, the rate the
// held picture was recorded at (a rate chosen since takes effect with the
// next block drawn); otherwise the rate in force. readoutTime and
// readoutFrequency work at it, so the axis labels, the marker difference and
// the cursor always describe the picture on the display.
std::uint32_t readoutRate(const InstrumentSettings& s, const InstrumentView& view);

// Hundredths of a millisecond spanned by p display columns at a sample
// rate and span: q = p × 100000 ÷ rate, then q × span ÷ 512, both truncated, in this
// order (so 512 columns at 11025 Hz read 4643, one hundredth under 46.44).
// p outside 0..512 is clamped to that range; span outside 9..512 likewise.
// A sample rate of 0 gives 0 (no time can be formed; the reciprocal then
// reads "?").
std::uint32_t ColumnToTime(std::uint32_t rate, std::int32_t span, std::int32_t p);

// Hertz spanned by p display columns: b = span × rate ÷ 512, then
// b × p ÷ 1024, both truncated. p and span are clamped as for ColumnToTime;
// the arithmetic is 64-bit, so no sample rate can overflow it.
std::int32_t ColumnToFrequency(std::uint32_t rate, std::int32_t span, std::int32_t p);

// ColumnToTime and ColumnToFrequency at the readout rate and the span in
// force: what the axis labels, the marker difference and the cursor read.
std::uint32_t readoutTime(const InstrumentSettings& s, const InstrumentView& view, std::int32_t p);
std::int32_t readoutFrequency(const InstrumentSettings& s, const InstrumentView& view, std::int32_t p);
// The time p display columns span in seconds: on a picture of the record
// exactly, on the block picture as readoutTime reads it.
double readoutSeconds(const InstrumentSettings& s, const InstrumentView& view, std::int32_t p);
// That time in milliseconds as the cursor, the marker difference and the
// labels under the display write it: the block picture's two decimals
// (FormatMs of readoutTime); on a picture of the record as many as tell
// each sample from the next, two up to 100000 Hz and three above.
std::string readoutMs(const InstrumentSettings& s, const InstrumentView& view, std::int32_t p, char decimalSeparator);

// A picture of the record's time at display column `column` (0..512, a
// fraction of a column too): in seconds, and in milliseconds as readoutMs
// writes it, what readoutSeconds and readoutMs read there while the picture
// is shown.
double recordColumnSeconds(const InstrumentSettings& s, const InstrumentView& view, double column);
std::string recordColumnMs(const InstrumentSettings& s, const InstrumentView& view, double column,
                           char decimalSeparator);

// t hundredths of a millisecond as milliseconds with exactly two decimals and
// the given decimal separator: 4643 → "46.43", 5 → "0.05", 0 → "0.00". Large
// counts are written in full (no rounding, no digit grouping). A separator
// of '\0' (one the caller could not express as a single byte) writes '.'.
std::string FormatMs(std::uint32_t t, char decimalSeparator);

// The reciprocal of a marker difference of t hundredths of a millisecond in
// whole hertz: 100 ÷ (t × 0.001 + 0.00000001) in double, rounded to float and
// truncated (2303 → 43). Empty when it does not fit a signed 32-bit integer,
// which happens for t = 0 (short spans with the markers a column apart).
std::optional<std::int32_t> reciprocalHz(std::uint32_t t);

// Span of the Time dial's percent: (v × 5.03 in double, rounded to float,
// truncated) + 9. 100 gives 512, 99 gives 506, 0.000001 gives 9. Values
// outside 0..100 (and NaN) are first brought into 0..100.
std::int32_t spanFromDial(float dialValue);

// The resampling block of a span: the smallest power of two from 16 to 512
// not below it, and 1024 ÷ that block.
struct ResampleBlock {
    std::int32_t blockSize;
    std::int32_t interpFactor;
};
ResampleBlock resampleBlockForSpan(std::int32_t span);

// The texts the time base decides. statusPanel4 is empty in the FREQUENCY
// display, where the panel keeps what it shows.
struct TimeBaseTexts {
    bool uncalLedOn = false;
    std::string loFreqLabel;
    std::string hiFreqLabel;
    std::string markerLabel;
    std::optional<std::string> statusPanel4;
};

// The time-base refresh: from the dial's value sets timeBaseSetting (whole
// percent, truncated), span, blockSize and interpFactor, then forms the axis
// end labels, the marker difference and, in TIME display, status panel 4 in
// the unit of the display type in force. Idempotent: a function of the dial
// value and the fields it reads.
TimeBaseTexts computeTimeBase(InstrumentSettings& s, InstrumentView& view, float dialValue, char decimalSeparator);

}  // namespace varmolen
