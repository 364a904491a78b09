#include "dsp/Calibration.h"

#include <cmath>

#include "dsp/Measurements.h"

namespace varmolen {

bool isUsableFullScaleVolts(double volts)
{
    if (volts == 0.0)
        return true;
    return std::isfinite(volts) && volts >= kFullScaleVoltsMin && volts <= kFullScaleVoltsMax;
}

std::optional<double> channelVolts(double code, double fullScaleVolts)
{
    if (fullScaleVolts == 0.0 || !isUsableFullScaleVolts(fullScaleVolts))
        return std::nullopt;
    return code * fullScaleVolts / kFullScaleCode;
}

double fullScaleFromApplied(double appliedRmsVolts, double measuredRmsCodes)
{
    if (!(measuredRmsCodes > 0.0) || !std::isfinite(appliedRmsVolts))
        return 0.0;
    return appliedRmsVolts * kFullScaleCode / measuredRmsCodes;
}

std::string fullScaleProblem(int channel, double volts)
{
    const std::string who = "Channel " + std::to_string(channel) + ": ";
    if (!std::isfinite(volts))
        return who + "the full scale must be a number of volts.";
    if (volts <= 0.0)
        return who + "the full scale must be more than 0 V.";
    if (!isUsableFullScaleVolts(volts))
        return who + "the full scale must lie between 0.001 V and 1000 V.";
    return {};
}

}  // namespace varmolen
