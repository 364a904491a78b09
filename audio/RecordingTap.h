// What a running WAV recording takes from the capture thread: every chunk of
// frames the source delivers, whether or not a buffer is queued for the
// display. The wave-input service calls it; the recorder behind it must never
// make the caller wait (it queues, or counts what it had to drop).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "dsp/SampleDecoder.h"

namespace varmolen {

class RecordingTap {
public:
    virtual ~RecordingTap() = default;

    // Capture thread: interleaved 16-bit frames exactly as the source
    // delivered them, in the format the tap was attached for. `afterStart`
    // marks the first frames since the source started (after an open or a
    // reset): they do not follow the frames before them without a break.
    virtual void deliver(const std::int16_t* frames, std::size_t frameCount, bool afterStart) = 0;
    // Capture thread: the same from a device opened finer than 16 bits:
    // interleaved frames of `channelCount` values in `format` (S32LE or
    // FloatLE), as the source delivered them. A tap that keeps 16 bits
    // (this default) takes the code each value draws, as the card's 16-bit
    // format would have given it.
    virtual void deliverFine(const std::uint8_t* frames, SampleFormat format, int channelCount, std::size_t frameCount,
                             bool afterStart)
    {
        constexpr std::size_t kPiece = 256;
        std::array<std::int32_t, kPiece> channel{};
        std::array<std::int16_t, 2 * kPiece> codes{};
        const auto frameBytes = static_cast<std::size_t>(bytesPerSample(format) * channelCount);
        for (std::size_t done = 0; done < frameCount;) {
            const std::size_t n = std::min(kPiece, frameCount - done);
            for (int c = 0; c < channelCount; ++c) {
                decodeChannelCodes(format, frames + done * frameBytes, static_cast<int>(n), channelCount, c,
                                   channel.data());
                for (std::size_t i = 0; i < n; ++i)
                    codes[i * static_cast<std::size_t>(channelCount) + static_cast<std::size_t>(c)] =
                        static_cast<std::int16_t>(channel[i]);
            }
            deliver(codes.data(), n, afterStart && done == 0);
            done += n;
        }
    }
    // Capture thread: the device lost sound (an overrun, a suspend) and runs
    // again; `lostFrames` is its best estimate of the frames it never
    // delivered. The next frames delivered come after that break.
    virtual void streamBroke(std::uint64_t /*lostFrames*/) {}
    // Capture thread: the device has failed for good; nothing more comes.
    virtual void deviceFailed() = 0;
    // User-interface thread: the device was opened for another device or
    // another format; the tap has been let go and nothing more comes.
    virtual void formatChanged() = 0;
};

}  // namespace varmolen
