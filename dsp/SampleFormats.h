// The reading of every capture format a sound card may give: 16, 24 and
// 32-bit integers and 32-bit floats, in either byte order. Every format
// reads in units of 16-bit codes, the unit of the record and the display:
// a 16-bit value reads as its own code, a finer one keeps its fraction
// (a 24-bit value in 1/256 steps), and full negative scale reads exactly
// -32768 in every integer format.
#pragma once

#include <cstdint>

namespace varmolen {

// The formats carry ALSA's names: S24LE and S24BE are 24 bits in the low
// three bytes of a 32-bit container (SND_PCM_FORMAT_S24_LE), S24_3 the same
// 24 bits packed in three bytes, Float an IEEE 754 32-bit value with full
// scale at +-1.0.
enum class SampleFormat { S16LE, S16BE, S24LE, S24BE, S24_3LE, S24_3BE, S32LE, S32BE, FloatLE, FloatBE };

// The bytes one value of one channel takes in a frame.
int bytesPerSample(SampleFormat format);

// The format's name for messages ("S24_3LE").
const char* sampleFormatName(SampleFormat format);

// Writes value `index` of each of `frames` frames of `channelCount` values
// into out[0..frames-1], in units of 16-bit codes:
// - S16 reads as the code itself, S24 as value/256 (exact);
// - S32 as value/65536, rounded down to a float where the value has more
//   significant bits than a float holds, so that it never reads 32768 and
//   its display code is its top 16 bits;
// - Float x as x*32768, held within [-32768, 32767 + 255/256] (the largest
//   a 24-bit value reads); a NaN reads 0.
void decodeFrames(SampleFormat format, const std::uint8_t* data, int frames, int channelCount, int index, float* out);

// The 16-bit code the display draws for a value: rounded toward negative
// infinity, so a 16-bit sample gives back its own code and a finer one the
// code its top 16 bits make, as the card's 16-bit format would truncate it
// (-1/256 draws -1, 32767.99609375 draws 32767).
inline std::int32_t displayCode(float value)
{
    const auto t = static_cast<std::int32_t>(value);
    return value < static_cast<float>(t) ? t - 1 : t;
}

}  // namespace varmolen
