// The one reading of the sound card's samples: 16-bit little-endian PCM,
// frames of one or two interleaved values, each value a signed code that
// becomes a 32-bit integer; and of a block at any precision, as the codes
// the display draws or as the finer values the meters read.
#pragma once

#include <cstdint>

#include "dsp/RecordedBlock.h"

namespace varmolen {

// The 16-bit little-endian value at p, sign-extended.
inline std::int32_t decodeSample(const std::uint8_t* p)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}

// Writes value `index` of each of `frames` frames of `channelCount` values
// into out[0..frames-1], sign-extended.
void decodeChannel(const std::uint8_t* data, int frames, int channelCount, int index, std::int32_t* out);

// The same for values in `format`: the code each draws (displayCode), so a
// finer value draws what its top 16 bits make.
void decodeChannelCodes(SampleFormat format, const std::uint8_t* data, int frames, int channelCount, int index,
                        std::int32_t* out);

// Copies one channel of the buffer into out[0..] in units of 16-bit codes
// (a 16-bit value its own code, a finer one with its fraction) and returns
// how many frames it holds (at most `capacity`); 0 when the buffer does not
// record that channel (channel 2 of a mono recording).
int extractChannel(const RecordedBlock& block, int channel, float* out, int capacity);

}  // namespace varmolen
