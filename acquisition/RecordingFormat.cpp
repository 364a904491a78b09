#include "acquisition/RecordingFormat.h"

#include <algorithm>

namespace varmolen {

std::uint16_t blockBufferBytes(const DeviceRecords& device, std::uint32_t rate)
{
    std::int64_t bytes = static_cast<std::int64_t>(device.blockSamples) * device.bytesPerSample * device.channelCount;
    if (rate >= 88200)
        bytes *= 4;
    else if (rate >= 32000)
        bytes *= 2;
    return static_cast<std::uint16_t>(std::clamp<std::int64_t>(bytes, 0, kRecordBufferBytes));
}

namespace {

std::uint16_t formatTagOf(std::int32_t precision)
{
    return precision == kPrecisionFloat ? WAVE_FORMAT_IEEE_FLOAT : WAVE_FORMAT_PCM;
}

std::uint16_t bytesOf(std::int32_t precision)
{
    return precision == kPrecision24 || precision == kPrecisionFloat ? 4 : 2;
}

}  // namespace

void setRecordingFormat(DeviceRecords& device, std::uint32_t rate, bool line, std::int32_t precision)
{
    const std::uint16_t bytes = bytesOf(precision);
    device.formatTag = formatTagOf(precision);
    device.channelCount = line ? 2 : 1;
    device.blockAlign = static_cast<std::uint16_t>(device.channelCount * bytes);
    device.bitsPerSample = static_cast<std::uint16_t>(8 * bytes);
    device.bytesPerSample = bytes;
    device.bufferBytes = blockBufferBytes(device, rate);
}

bool recordsPrecision(const DeviceRates& rates, std::int32_t precision)
{
    switch (precision) {
        case kPrecision16:
            return true;
        case kPrecision24:
            return (rates.fine & kFineInteger) != 0;
        case kPrecisionFloat:
            return (rates.fine & kFineFloat) != 0;
        default:
            return false;
    }
}

bool alignRecordingFormat(DeviceRecords& device, const InstrumentSettings& s)
{
    const bool line = s.inputSelect == kLineInput;
    const std::uint16_t channels = line ? 2 : 1;
    const std::int32_t precision = s.features.precision;
    const std::uint16_t bytes = bytesOf(precision);
    if (device.channelCount == channels && device.blockAlign == bytes * channels && device.bytesPerSample == bytes &&
        device.bitsPerSample == 8 * bytes && device.formatTag == formatTagOf(precision))
        return false;
    setRecordingFormat(device, s.sampleRate, line, precision);
    return true;
}

}  // namespace varmolen
