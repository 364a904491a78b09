// The labels around the display: where its axes are marked and what the
// marks say. TIME: the time at each vertical grid line, as the cursor reads
// it there, and each channel's height per division in % of full scale (volts
// when the channel is calibrated). FREQUENCY: round frequencies in 1-2-5
// steps at the columns where the spectrum draws them, and each channel's
// level per division in dB. Everything follows the time base, Exp, the rate
// the readouts describe and the calibration; the panel only draws the texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"

namespace varmolen {

// Rows of one division of the graticule, and its columns in TIME.
inline constexpr int kRowsPerDivision = 34;
inline constexpr int kTimeColumnsPerDivision = 51;

struct AxisTick {
    double column = 0.0;  // display column 0..512, fractional
    std::string text;
};

// The smallest of 1, 2, 5 times a power of ten that is not below `rough`
// (> 0); 0 for anything else.
double roundStep(double rough);

// A round frequency as a tick says it: "500 Hz", "1 kHz", "2.5 kHz".
std::string frequencyText(double hz, char decimalSeparator);

// The column (fractional) at which the FREQUENCY display draws `hz`: bin k at
// column k (k + 1 at 22050 Hz), the lowest `span` columns spread over the
// width, expanded the stretch from marker 1 to marker 2 over 512 columns.
// Nothing when it lies off 0..512.
std::optional<double> spectrumColumnOf(std::uint32_t rate, std::int32_t span, bool expanded, std::int32_t marker1,
                                       std::int32_t marker2, double hz);

// Round frequencies across the FREQUENCY display as it stands, at most
// `maxTicks` of them (at least 2), each at its own column.
std::vector<AxisTick> frequencyTicks(std::uint32_t rate, std::int32_t span, bool expanded, std::int32_t marker1,
                                     std::int32_t marker2, int maxTicks, char decimalSeparator);

// The time at each of the TIME graticule's 11 vertical lines, as the cursor
// reads it there ("12.87"); the unit is "ms".
std::vector<AxisTick> timeTicks(const InstrumentSettings& s, const InstrumentView& view, char decimalSeparator);
// The unit of the time labels: ms for a block, the time base's for a picture of the record.
std::string timeAxisUnit(const InstrumentSettings& s, const InstrumentView& view);

// A channel's height per division in the TIME display at integer gain g:
// "3.32 %/div", or with a calibrated channel "66.4 mV/div"; "Gnd" at gain 0.
std::string timeDivisionText(std::int32_t gain, double fullScaleVolts, char decimalSeparator);

// A channel's level per division in the FREQUENCY display at integer gain g
// and the spectrum's scale: "9.45 dB/div"; "Gnd" at gain 0.
std::string levelDivisionText(std::int32_t gain, float spectrumScale, char decimalSeparator);

}  // namespace varmolen
