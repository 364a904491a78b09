#include "acquisition/RecordingFormat.h"

#include <algorithm>

namespace varmolen {

std::uint16_t BlockBufferBytes(const InstrumentState& s, std::uint32_t rate)
{
    std::int64_t bytes = static_cast<std::int64_t>(s.blockSamples) * s.bytesPerSample * s.channelCount;
    if (rate >= 44100)
        bytes *= 2;
    return static_cast<std::uint16_t>(std::clamp<std::int64_t>(bytes, 0, kRecordBufferBytes));
}

void SetRecordingFormat(InstrumentState& s, bool line)
{
    s.channelCount = line ? 2 : 1;
    s.blockAlign = line ? 4 : 2;
    s.bitsPerSample = 16;
    s.bytesPerSample = 2;
    s.bufferBytes = BlockBufferBytes(s, s.sampleRate);
}

bool AlignRecordingFormat(InstrumentState& s)
{
    const bool line = s.inputSelect == 1;
    const std::uint16_t channels = line ? 2 : 1;
    if (s.channelCount == channels && s.blockAlign == 2 * channels && s.bytesPerSample == 2 && s.bitsPerSample == 16)
        return false;
    SetRecordingFormat(s, line);
    return true;
}

}  // namespace varmolen
