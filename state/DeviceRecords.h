// The records of the input device: the recording format, the open device's
// handle, its two buffers and their headers, its position, and where the run
// loop stands (which buffer is next, whether a wait timed out, whether
// acquisition is stopped). Every field starts at its start-up value; the
// buffers are allocated by the window at start-up and live until the end.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/WaveInput.h"
#include "state/StateBasics.h"

namespace varmolen {

struct DeviceRecords {
    std::int32_t waveDeviceCount = 0;

    // Recording format: 16-bit samples, a block of 1024 frames per buffer
    // (32-bit integers or floats at a finer precision).
    std::uint16_t formatTag = WAVE_FORMAT_PCM;
    std::uint16_t channelCount = 2;
    std::int32_t bytesPerSample = 2;
    std::uint16_t blockAlign = 4;
    std::uint16_t bitsPerSample = 16;
    std::int32_t blockSamples = kBlockSamples;
    std::uint16_t bufferBytes = 2 * kBlockSamples * 2 * 2;
    WAVEFORMATEX waveFormat{};

    // The open device
    WAVEHDR headerA;
    WAVEHDR headerB;
    HWAVEIN waveInHandle = 0;
    MMTIME positionRecord;
    std::uint32_t positionBytes = 0;
    std::unique_ptr<std::uint8_t[]> bufferA;  // kRecordBufferBytes, from start-up to the end
    std::unique_ptr<std::uint8_t[]> bufferB;

    // The run loop
    flag stopped = 1;
    flag bufferTimedOut = 0;
    std::int32_t bufferSelect = 0;
};

}  // namespace varmolen
