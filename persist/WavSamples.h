// The queue a WAV recording's frames wait in, by the file's format, and the
// values a recording finer than 16 bits writes, from whatever the capture
// thread delivers: a 24-bit file takes 32-bit integers whose top 24
// bits are the sample (libsndfile writes those bytes), a float file takes
// floats full scale at +-1.0. Each conversion is exact wherever the file can
// hold the value; what it cannot hold is said beside each.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <variant>

#include "audio/RecordingQueue.h"
#include "dsp/SampleFormats.h"
#include "state/RecordFormat.h"

namespace varmolen::wav {

// The queue of each file format: 16-bit codes as delivered, 32-bit integers
// for a 24-bit file, floats for a float file.
using AnyQueue = std::variant<std::unique_ptr<RecordingQueue>, std::unique_ptr<SampleQueue<std::int32_t>>,
                              std::unique_ptr<SampleQueue<float>>>;

inline AnyQueue queueFor(RecordFormat format, std::uint16_t channels, std::uint32_t rate)
{
    const std::size_t chunks = RecordingQueue::chunksFor(rate);
    switch (format) {
        case RecordFormat::Pcm24:
            return std::make_unique<SampleQueue<std::int32_t>>(channels, chunks);
        case RecordFormat::Float32:
            return std::make_unique<SampleQueue<float>>(channels, chunks);
        case RecordFormat::Pcm16:
            break;
    }
    return std::make_unique<RecordingQueue>(channels, chunks);
}

// A chunk of silence in each kind of value.
template <class Value>
const Value* silenceOf()
{
    static const std::array<Value, RecordingQueue::kChunkSamples> silence{};
    return silence.data();
}

// A 16-bit code, widened: exact in both.
inline void widen(std::int16_t code, std::int32_t& out) { out = static_cast<std::int32_t>(code) * 65536; }
inline void widen(std::int16_t code, float& out) { out = static_cast<float>(code) * (1.0f / 32768.0f); }

// A 32-bit integer sample (full scale at +-2^31): a 24-bit file keeps its top
// 24 bits (the low byte cut, toward negative infinity, as a 24-bit card's own
// format does); a float file the nearest float (exact up to 24 significant
// bits, which a card's 24-bit converter never passes).
inline void fromS32(std::int32_t v, std::int32_t& out)
{
    out = static_cast<std::int32_t>(static_cast<std::uint32_t>(v) & 0xFFFFFF00u);
}
inline void fromS32(std::int32_t v, float& out) { out = static_cast<float>(v) * (1.0f / 2147483648.0f); }

// A float sample (full scale at +-1.0): a 24-bit file takes the nearest
// 24-bit step, clipped to the 24-bit range (+1.0 and above write
// 8388607/8388608); a float file keeps every finite value exactly, beyond
// +-1.0 too, since a float file has that headroom. A NaN writes 0 and an
// infinity full scale of its sign: neither is sound, and neither may reach
// a file that other programs read.
inline void fromFloat(float x, std::int32_t& out)
{
    if (std::isnan(x)) {
        out = 0;
        return;
    }
    constexpr double kSteps = 8388608.0;  // 2^23
    const double step = std::clamp(static_cast<double>(x) * kSteps, -kSteps, kSteps - 1.0);
    out = static_cast<std::int32_t>(std::lround(step)) * 256;
}
inline void fromFloat(float x, float& out)
{
    if (std::isnan(x))
        out = 0.0f;
    else if (std::isinf(x))
        out = x > 0 ? 1.0f : -1.0f;
    else
        out = x;
}

inline std::uint32_t le32(const std::uint8_t* b)
{
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

// Writes frames from..from+n-1 of `data` (interleaved frames of `channels`
// values in `format`: S32LE or FloatLE, what a device opened finer than 16
// bits delivers) into out[], in the file's kind of value.
template <class Value>
void convertFrames(SampleFormat format, const std::uint8_t* data, unsigned channels, std::size_t from, std::size_t n,
                   Value* out)
{
    const std::size_t count = n * channels;
    const std::uint8_t* in = data + from * channels * 4;
    for (std::size_t i = 0; i < count; ++i, in += 4) {
        if (format == SampleFormat::S32LE)
            fromS32(std::bit_cast<std::int32_t>(le32(in)), out[i]);
        else
            fromFloat(std::bit_cast<float>(le32(in)), out[i]);
    }
}

}  // namespace varmolen::wav
