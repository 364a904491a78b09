// Calibration of a channel in volts: the peak voltage that reads full scale
// (code 32767). 0 means the channel is not calibrated and reads % and dBFS.
// Everything that shows or writes volts converts through channelVolts.
#pragma once

#include <optional>
#include <string>

namespace varmolen {

// 0 means the channel is not calibrated; anything else must lie within these bounds.
constexpr double kFullScaleVoltsMin = 0.001;
constexpr double kFullScaleVoltsMax = 1000.0;

// 0 (uncalibrated) or a finite voltage within the bounds above.
bool isUsableFullScaleVolts(double volts);

// The volts of a sample value (a code, or a level in codes) on a channel
// whose full scale is `fullScaleVolts`; nothing when it is not calibrated.
std::optional<double> channelVolts(double code, double fullScaleVolts);

// The full scale of a channel on which a known RMS voltage reads
// `measuredRmsCodes` of AC RMS.
double fullScaleFromApplied(double appliedRmsVolts, double measuredRmsCodes);

// Why a full-scale voltage cannot be used, as the calibration dialog says it
// for channel `channel`; empty when it can.
std::string fullScaleProblem(int channel, double fullScaleVolts);

}  // namespace varmolen
