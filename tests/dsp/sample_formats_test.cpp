// Every capture format read from bytes written out by hand: full scale both
// ways, one step either side of zero, zero and a value with a fraction, each
// in units of 16-bit codes; and the code the display draws for a reading.
#include "dsp/SampleFormats.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace varmolen {
namespace {

struct Sample {
    std::vector<std::uint8_t> bytes;
    float value;
};

struct Format {
    SampleFormat format;
    const char* name;
    std::vector<Sample> samples;
};

const std::vector<Format> kFormats = {
    {SampleFormat::S16LE,
     "S16LE",
     {{{0xFF, 0x7F}, 32767},
      {{0x00, 0x80}, -32768},
      {{0xFF, 0xFF}, -1},
      {{0x01, 0x00}, 1},
      {{0x00, 0x00}, 0},
      {{0x34, 0x12}, 4660}}},
    {SampleFormat::S16BE,
     "S16BE",
     {{{0x7F, 0xFF}, 32767},
      {{0x80, 0x00}, -32768},
      {{0xFF, 0xFF}, -1},
      {{0x00, 0x01}, 1},
      {{0x00, 0x00}, 0},
      {{0x12, 0x34}, 4660}}},
    // The container's top byte is not the value's: junk there changes nothing.
    {SampleFormat::S24LE,
     "S24LE",
     {{{0xFF, 0xFF, 0x7F, 0x00}, 32767.99609375f},
      {{0x00, 0x00, 0x80, 0xFF}, -32768},
      {{0xFF, 0xFF, 0xFF, 0x00}, -0.00390625f},
      {{0x01, 0x00, 0x00, 0xFF}, 0.00390625f},
      {{0x00, 0x00, 0x00, 0x00}, 0},
      {{0x56, 0x34, 0x12, 0x00}, 4660.3359375f}}},
    {SampleFormat::S24BE,
     "S24BE",
     {{{0x00, 0x7F, 0xFF, 0xFF}, 32767.99609375f},
      {{0xFF, 0x80, 0x00, 0x00}, -32768},
      {{0x00, 0xFF, 0xFF, 0xFF}, -0.00390625f},
      {{0xFF, 0x00, 0x00, 0x01}, 0.00390625f},
      {{0x00, 0x00, 0x00, 0x00}, 0},
      {{0x00, 0x12, 0x34, 0x56}, 4660.3359375f}}},
    {SampleFormat::S24_3LE,
     "S24_3LE",
     {{{0xFF, 0xFF, 0x7F}, 32767.99609375f},
      {{0x00, 0x00, 0x80}, -32768},
      {{0xFF, 0xFF, 0xFF}, -0.00390625f},
      {{0x01, 0x00, 0x00}, 0.00390625f},
      {{0x00, 0x00, 0x00}, 0},
      {{0x56, 0x34, 0x12}, 4660.3359375f}}},
    {SampleFormat::S24_3BE,
     "S24_3BE",
     {{{0x7F, 0xFF, 0xFF}, 32767.99609375f},
      {{0x80, 0x00, 0x00}, -32768},
      {{0xFF, 0xFF, 0xFF}, -0.00390625f},
      {{0x00, 0x00, 0x01}, 0.00390625f},
      {{0x00, 0x00, 0x00}, 0},
      {{0x12, 0x34, 0x56}, 4660.3359375f}}},
    // Past 24 significant bits a reading is the float below the exact value:
    // 0x12345678 is 4660 + 691.75/2048, 0x7FFEFFFF just under 32767.
    {SampleFormat::S32LE,
     "S32LE",
     {{{0xFF, 0xFF, 0xFF, 0x7F}, 32767.998046875f},
      {{0x00, 0x00, 0x00, 0x80}, -32768},
      {{0xFF, 0xFF, 0xFF, 0xFF}, -0.0000152587890625f},
      {{0x01, 0x00, 0x00, 0x00}, 0.0000152587890625f},
      {{0x00, 0x00, 0x00, 0x00}, 0},
      {{0x78, 0x56, 0x34, 0x12}, 4660.33740234375f},
      {{0xFF, 0xFF, 0xFE, 0x7F}, 32766.998046875f}}},
    {SampleFormat::S32BE,
     "S32BE",
     {{{0x7F, 0xFF, 0xFF, 0xFF}, 32767.998046875f},
      {{0x80, 0x00, 0x00, 0x00}, -32768},
      {{0xFF, 0xFF, 0xFF, 0xFF}, -0.0000152587890625f},
      {{0x00, 0x00, 0x00, 0x01}, 0.0000152587890625f},
      {{0x00, 0x00, 0x00, 0x00}, 0},
      {{0x12, 0x34, 0x56, 0x78}, 4660.33740234375f},
      {{0x7F, 0xFE, 0xFF, 0xFF}, 32766.998046875f}}},
    // The float just under 1.0, -1.0, -2^-23, 2^-15, 0, 0.25, 1.0, 1.5,
    // -2.0, NaN and 1e-6.
    {SampleFormat::FloatLE,
     "FloatLE",
     {{{0xFF, 0xFF, 0x7F, 0x3F}, 32767.99609375f},
      {{0x00, 0x00, 0x80, 0xBF}, -32768},
      {{0x00, 0x00, 0x00, 0xB4}, -0.00390625f},
      {{0x00, 0x00, 0x00, 0x38}, 1},
      {{0x00, 0x00, 0x00, 0x00}, 0},
      {{0x00, 0x00, 0x80, 0x3E}, 8192},
      {{0x00, 0x00, 0x80, 0x3F}, 32767.99609375f},
      {{0x00, 0x00, 0xC0, 0x3F}, 32767.99609375f},
      {{0x00, 0x00, 0x00, 0xC0}, -32768},
      {{0x00, 0x00, 0xC0, 0x7F}, 0},
      {{0xBD, 0x37, 0x86, 0x35}, 0.032768f}}},
    {SampleFormat::FloatBE,
     "FloatBE",
     {{{0x3F, 0x7F, 0xFF, 0xFF}, 32767.99609375f},
      {{0xBF, 0x80, 0x00, 0x00}, -32768},
      {{0xB4, 0x00, 0x00, 0x00}, -0.00390625f},
      {{0x38, 0x00, 0x00, 0x00}, 1},
      {{0x00, 0x00, 0x00, 0x00}, 0},
      {{0x3E, 0x80, 0x00, 0x00}, 8192},
      {{0x3F, 0x80, 0x00, 0x00}, 32767.99609375f},
      {{0x3F, 0xC0, 0x00, 0x00}, 32767.99609375f},
      {{0xC0, 0x00, 0x00, 0x00}, -32768},
      {{0x7F, 0xC0, 0x00, 0x00}, 0},
      {{0x35, 0x86, 0x37, 0xBD}, 0.032768f}}},
};

// One two-channel buffer per format: frame i holds sample i in the first
// channel and the samples in reverse order in the second.
TEST(SampleFormats, EveryFormatReadsBothChannelsOfOneBufferInSixteenBitCodes)
{
    for (const Format& f : kFormats) {
        SCOPED_TRACE(f.name);
        EXPECT_STREQ(sampleFormatName(f.format), f.name);
        const int n = static_cast<int>(f.samples.size());
        std::vector<std::uint8_t> buffer;
        for (int i = 0; i < n; ++i) {
            const auto& first = f.samples[i].bytes;
            const auto& second = f.samples[n - 1 - i].bytes;
            ASSERT_EQ(static_cast<int>(first.size()), bytesPerSample(f.format));
            buffer.insert(buffer.end(), first.begin(), first.end());
            buffer.insert(buffer.end(), second.begin(), second.end());
        }
        std::vector<float> first(n, 99.0f);
        std::vector<float> second(n, 99.0f);
        decodeFrames(f.format, buffer.data(), n, 2, 0, first.data());
        decodeFrames(f.format, buffer.data(), n, 2, 1, second.data());
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(first[i], f.samples[i].value) << "sample " << i;
            EXPECT_EQ(second[i], f.samples[n - 1 - i].value) << "sample " << n - 1 - i;
        }
    }
}

TEST(SampleFormats, TheDisplayDrawsTheCodeBelowAReading)
{
    const struct {
        float value;
        std::int32_t code;
    } cases[] = {
        {100.0f, 100},         {-0.00390625f, -1}, {32767.99609375f, 32767},
        {-32768.0f, -32768},   {0.0f, 0},          {-1.0f, -1},
        {4660.3359375f, 4660}, {-1.5f, -2},        {32766.998046875f, 32766},
    };
    for (const auto& c : cases)
        EXPECT_EQ(displayCode(c.value), c.code) << c.value;
}

}  // namespace
}  // namespace varmolen
