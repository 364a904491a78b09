// A completed recording buffer as the run loop hands it on, before the split
// into chan1Samples and chan2Samples and before any DC removal.
#pragma once

#include <cstdint>

#include "dsp/SampleFormats.h"

namespace varmolen {

struct RecordedBlock {
    const std::uint8_t* data = nullptr;  // little-endian values in `format`, frames interleaved
    std::uint32_t bytes = 0;             // bytes recorded
    int channelCount = 1;                // 1: every value is channel 1; 2: a frame is (channel 2, channel 1)
    std::uint32_t sampleRate = 0;        // Hz
    bool followsPrevious = false;        // its first frame follows the previous buffer's last one
    // 16-bit PCM, or at a finer precision 32-bit integers (S32LE) or floats (FloatLE).
    SampleFormat format = SampleFormat::S16LE;

    int frameBytes() const { return bytesPerSample(format) * channelCount; }
};

}  // namespace varmolen
