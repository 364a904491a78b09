// A completed recording buffer as the run loop hands it on, before the split
// into chan1Samples and chan2Samples and before any DC removal.
#pragma once

#include <cstdint>

namespace varmolen {

struct RecordedBlock {
    const std::uint8_t* data = nullptr;  // 16-bit little-endian PCM, frames interleaved
    std::uint32_t bytes = 0;             // bytes recorded
    int channelCount = 1;                // 1: every value is channel 1; 2: a frame is (channel 2, channel 1)
    std::uint32_t sampleRate = 0;        // Hz
    bool followsPrevious = false;        // its first frame follows the previous buffer's last one
};

}  // namespace varmolen
