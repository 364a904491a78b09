#include "audio/SampleRates.h"

#include <algorithm>

namespace varmolen {

std::optional<std::size_t> sampleRateIndex(std::uint32_t rate)
{
    const auto* at = std::find(kSampleRates.begin(), kSampleRates.end(), rate);
    if (at == kSampleRates.end())
        return std::nullopt;
    return static_cast<std::size_t>(at - kSampleRates.begin());
}

bool isSampleRate(std::uint32_t rate) { return sampleRateIndex(rate).has_value(); }

bool DeviceRates::takes(std::uint32_t rate) const
{
    const auto i = sampleRateIndex(rate);
    return i && (taken >> *i & 1u) != 0;
}

bool DeviceRates::isNative(std::uint32_t rate) const
{
    const auto i = sampleRateIndex(rate);
    return i && (native >> *i & 1u) != 0;
}

DeviceRates DeviceRates::unknown()
{
    return {rateBits([](std::uint32_t) { return true; }), 0};
}

}  // namespace varmolen
