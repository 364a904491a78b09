#include "dsp/SampleDecoder.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace varmolen {

void decodeChannel(const std::uint8_t* data, int frames, int channelCount, int index, std::int32_t* out)
{
    const int frameBytes = 2 * channelCount;
    const std::uint8_t* p = data + 2 * index;
    for (int i = 0; i < frames; ++i, p += frameBytes)
        out[i] = decodeSample(p);
}

void decodeChannelCodes(SampleFormat format, const std::uint8_t* data, int frames, int channelCount, int index,
                        std::int32_t* out)
{
    if (format == SampleFormat::S16LE) {
        decodeChannel(data, frames, channelCount, index, out);
        return;
    }
    constexpr int kPiece = 256;
    std::array<float, kPiece> values{};
    const int frameBytes = bytesPerSample(format) * channelCount;
    for (int done = 0; done < frames; done += kPiece) {
        const int n = std::min(kPiece, frames - done);
        decodeFrames(format, data + static_cast<std::ptrdiff_t>(done) * frameBytes, n, channelCount, index,
                     values.data());
        for (int i = 0; i < n; ++i)
            out[done + i] = displayCode(values[static_cast<std::size_t>(i)]);
    }
}

int extractChannel(const RecordedBlock& block, int channel, float* out, int capacity)
{
    if (block.data == nullptr || capacity <= 0 || (block.channelCount != 1 && block.channelCount != 2))
        return 0;
    if (block.channelCount == 1 && channel != 1)
        return 0;
    const int frameBytes = block.frameBytes();
    const int frames = static_cast<int>(std::min<std::uint32_t>(block.bytes / static_cast<std::uint32_t>(frameBytes),
                                                                static_cast<std::uint32_t>(capacity)));
    // Stereo frames are (channel 2, channel 1), as the display's split reads them.
    const int index = block.channelCount == 2 && channel == 1 ? 1 : 0;
    decodeFrames(block.format, block.data, frames, block.channelCount, index, out);
    return frames;
}

}  // namespace varmolen
