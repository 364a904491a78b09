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

void setRecordingFormat(DeviceRecords& device, std::uint32_t rate, bool line)
{
    device.channelCount = line ? 2 : 1;
    device.blockAlign = line ? 4 : 2;
    device.bitsPerSample = 16;
    device.bytesPerSample = 2;
    device.bufferBytes = blockBufferBytes(device, rate);
}

bool alignRecordingFormat(DeviceRecords& device, const InstrumentSettings& s)
{
    const bool line = s.inputSelect == kLineInput;
    const std::uint16_t channels = line ? 2 : 1;
    if (device.channelCount == channels && device.blockAlign == 2 * channels && device.bytesPerSample == 2 &&
        device.bitsPerSample == 16)
        return false;
    setRecordingFormat(device, s.sampleRate, line);
    return true;
}

}  // namespace varmolen
