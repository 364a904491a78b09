#include "dsp/SampleFormats.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace varmolen {
namespace {

// The largest value a 24-bit sample reads: 0x7FFFFF / 256.
constexpr float kLargestReading = 32767.0f + 255.0f / 256.0f;

// The `Bytes` bytes at p as an unsigned number, most significant first when
// `BigEndian`.
template <int Bytes, bool BigEndian>
std::uint32_t readBits(const std::uint8_t* p)
{
    // A whole little-endian word on a little-endian machine: one load.
    if constexpr (Bytes == 4 && !BigEndian && std::endian::native == std::endian::little) {
        std::uint32_t u = 0;
        std::memcpy(&u, p, sizeof u);
        return u;
    }
    std::uint32_t u = 0;
    for (int k = 0; k < Bytes; ++k)
        u = (u << 8) | p[BigEndian ? k : Bytes - 1 - k];
    return u;
}

// The same bytes as a signed number, its sign the top bit of the top byte.
template <int Bytes, bool BigEndian>
std::int32_t readInt(const std::uint8_t* p)
{
    constexpr int kUnused = 32 - 8 * Bytes;
    return static_cast<std::int32_t>(readBits<Bytes, BigEndian>(p) << kUnused) >> kUnused;
}

// A 32-bit value may have more significant bits than a float holds. Rounded
// to the nearest float it could step up into the next 16-bit code, and full
// scale would read 32768, a code the card's 16-bit format never gives;
// rounded down, its display code stays its top 16 bits.
float fromS32(std::int32_t value)
{
    // Up to 24 significant bits (a 24-bit card's, in the top bits) a float
    // holds the value exactly.
    if ((value & 0xFF) == 0)
        return static_cast<float>(value) * (1.0f / 65536.0f);
    const double exact = value / 65536.0;
    const auto nearest = static_cast<float>(exact);
    return static_cast<double>(nearest) > exact ? std::nextafter(nearest, -65536.0f) : nearest;
}

// A device's float stream may carry values past full scale (a mixer's sum,
// a resampler's overshoot) and, from a faulty driver, NaN; the display and
// the meters expect the range of the integer codes, so a value is held
// within what a 24-bit sample can read and a NaN reads as silence.
float fromFloat(std::uint32_t bits)
{
    const float x = std::bit_cast<float>(bits);
    if (std::isnan(x))
        return 0.0f;
    return std::clamp(x * 32768.0f, -32768.0f, kLargestReading);
}

template <typename Read>
void eachFrame(const std::uint8_t* p, int frames, int frameBytes, float* out, Read read)
{
    for (int i = 0; i < frames; ++i, p += frameBytes)
        out[i] = read(p);
}

}  // namespace

int bytesPerSample(SampleFormat format)
{
    switch (format) {
        case SampleFormat::S16LE:
        case SampleFormat::S16BE:
            return 2;
        case SampleFormat::S24_3LE:
        case SampleFormat::S24_3BE:
            return 3;
        case SampleFormat::S24LE:
        case SampleFormat::S24BE:
        case SampleFormat::S32LE:
        case SampleFormat::S32BE:
        case SampleFormat::FloatLE:
        case SampleFormat::FloatBE:
            return 4;
    }
    return 2;
}

const char* sampleFormatName(SampleFormat format)
{
    switch (format) {
        case SampleFormat::S16LE:
            return "S16LE";
        case SampleFormat::S16BE:
            return "S16BE";
        case SampleFormat::S24LE:
            return "S24LE";
        case SampleFormat::S24BE:
            return "S24BE";
        case SampleFormat::S24_3LE:
            return "S24_3LE";
        case SampleFormat::S24_3BE:
            return "S24_3BE";
        case SampleFormat::S32LE:
            return "S32LE";
        case SampleFormat::S32BE:
            return "S32BE";
        case SampleFormat::FloatLE:
            return "FloatLE";
        case SampleFormat::FloatBE:
            return "FloatBE";
    }
    return "unknown";
}

void decodeFrames(SampleFormat format, const std::uint8_t* data, int frames, int channelCount, int index, float* out)
{
    const int size = bytesPerSample(format);
    const std::uint8_t* p = data + size * index;
    const int frameBytes = size * channelCount;
    using P = const std::uint8_t*;
    switch (format) {
        case SampleFormat::S16LE:
            return eachFrame(p, frames, frameBytes, out, [](P s) { return static_cast<float>(readInt<2, false>(s)); });
        case SampleFormat::S16BE:
            return eachFrame(p, frames, frameBytes, out, [](P s) { return static_cast<float>(readInt<2, true>(s)); });
        // In a 32-bit container the value is the low three bytes; the top byte
        // holds nothing of it and is not read.
        case SampleFormat::S24LE:
            return eachFrame(p, frames, frameBytes, out,
                             [](P s) { return static_cast<float>(readInt<3, false>(s)) / 256.0f; });
        case SampleFormat::S24BE:
            return eachFrame(p, frames, frameBytes, out,
                             [](P s) { return static_cast<float>(readInt<3, true>(s + 1)) / 256.0f; });
        case SampleFormat::S24_3LE:
            return eachFrame(p, frames, frameBytes, out,
                             [](P s) { return static_cast<float>(readInt<3, false>(s)) / 256.0f; });
        case SampleFormat::S24_3BE:
            return eachFrame(p, frames, frameBytes, out,
                             [](P s) { return static_cast<float>(readInt<3, true>(s)) / 256.0f; });
        case SampleFormat::S32LE:
            return eachFrame(p, frames, frameBytes, out, [](P s) { return fromS32(readInt<4, false>(s)); });
        case SampleFormat::S32BE:
            return eachFrame(p, frames, frameBytes, out, [](P s) { return fromS32(readInt<4, true>(s)); });
        case SampleFormat::FloatLE:
            return eachFrame(p, frames, frameBytes, out, [](P s) { return fromFloat(readBits<4, false>(s)); });
        case SampleFormat::FloatBE:
            return eachFrame(p, frames, frameBytes, out, [](P s) { return fromFloat(readBits<4, true>(s)); });
    }
}

}  // namespace varmolen
