#include "state/FeatureSettings.h"

#include <algorithm>

#include <arpa/inet.h>

namespace varmolen {

bool isSpectrumAverage(std::int32_t blocks) { return blocks == 0 || blocks == 4 || blocks == 16 || blocks == 64; }

bool analyserChosen(const AnalyserSettings& a)
{
    AnalyserSettings unchosen;
    unchosen.weighting = a.weighting;
    return !(a == unchosen);
}

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

bool isSweepSmoothing(std::int32_t n)
{
    return std::find(kSweepSmoothings.begin(), kSweepSmoothings.end(), n) != kSweepSmoothings.end();
}

bool isRemotePort(std::int32_t port) { return port >= 1 && port <= 65535; }

bool isRemoteListenAddress(const std::string& text)
{
    in6_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1 || inet_pton(AF_INET6, text.c_str(), &address) == 1;
}

}  // namespace varmolen
