#include "state/FeatureSettings.h"

namespace varmolen {

bool isSpectrumAverage(std::int32_t blocks) { return blocks == 0 || blocks == 4 || blocks == 16 || blocks == 64; }

bool isRecordLimitMinutes(std::int32_t minutes)
{
    return minutes >= kRecordLimitMinutesMin && minutes <= kRecordLimitMinutesMax;
}

bool axisLabelsShown(const FeatureSettings& f)
{
    if (f.axisLabels == kAxisLabelsBySize)
        return f.displaySize != kNormalDisplaySize;
    return f.axisLabels == kAxisLabelsOn;
}

}  // namespace varmolen
