#include "dsp/SampleDecoder.h"

#include <algorithm>

namespace varmolen {

void decodeChannel(const std::uint8_t* data, int frames, int channelCount, int index, std::int32_t* out)
{
    const int frameBytes = 2 * channelCount;
    const std::uint8_t* p = data + 2 * index;
    for (int i = 0; i < frames; ++i, p += frameBytes)
        out[i] = decodeSample(p);
}

int extractChannel(const RecordedBlock& block, int channel, std::int32_t* out, int capacity)
{
    if (block.data == nullptr || capacity <= 0 || (block.channelCount != 1 && block.channelCount != 2))
        return 0;
    if (block.channelCount == 1 && channel != 1)
        return 0;
    const int frameBytes = 2 * block.channelCount;
    const int frames = static_cast<int>(std::min<std::uint32_t>(block.bytes / static_cast<std::uint32_t>(frameBytes),
                                                                static_cast<std::uint32_t>(capacity)));
    // Stereo frames are (channel 2, channel 1), as the display's split reads them.
    const int index = block.channelCount == 2 && channel == 1 ? 1 : 0;
    decodeChannel(block.data, frames, block.channelCount, index, out);
    return frames;
}

}  // namespace varmolen
