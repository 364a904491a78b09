// A recording in each of its formats (16-bit PCM, 24-bit PCM, float), fed
// the three kinds of frames a capture thread hands over (16-bit codes, and
// S32 and float frames of a device opened finer than 16 bits), read back
// byte by byte: the header's fields, every value (full scale, -1 LSB, a
// fraction of a 16-bit code, a float beyond +-1.0, a NaN and an infinity),
// the silence that stands for a break in the device's sound, and the end at
// the length limit.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "persist/WavRecorder.h"

namespace varmolen {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

// The chunks of a RIFF WAVE file by their ids (their bodies), or a problem.
struct Riff {
    std::string problem;
    std::map<std::string, std::vector<std::uint8_t>> chunks;
};
Riff readRiff(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Riff r;
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0 ||
        le32(b, 4) != b.size() - 8) {
        r.problem = "no RIFF WAVE header of the file's size";
        return r;
    }
    std::size_t at = 12;
    while (at + 8 <= b.size()) {
        const std::uint32_t size = le32(b, at + 4);
        if (at + 8 + size > b.size()) {
            r.problem = "a chunk runs past the end";
            return r;
        }
        r.chunks[std::string(reinterpret_cast<const char*>(b.data() + at), 4)] = std::vector<std::uint8_t>(
            b.begin() + static_cast<std::ptrdiff_t>(at + 8), b.begin() + static_cast<std::ptrdiff_t>(at + 8 + size));
        at += 8 + size + (size & 1);
    }
    if (at != b.size())
        r.problem = "stray bytes after the last chunk";
    return r;
}

// One value as the file holds it: 16-bit, 24-bit (its top 24 bits of a
// 32-bit integer) or float.
void put(std::vector<std::uint8_t>& bytes, RecordFormat format, double value)
{
    if (format == RecordFormat::Float32) {
        const auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
        for (int k = 0; k < 4; ++k)
            bytes.push_back(static_cast<std::uint8_t>(bits >> (8 * k)));
        return;
    }
    const auto v = static_cast<std::int32_t>(value);
    for (int k = 0; k < (format == RecordFormat::Pcm24 ? 3 : 2); ++k)
        bytes.push_back(static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * k)));
}

TEST(WavFormats, EachFormatHoldsEveryKindOfFrameWithItsHeader)
{
    char pattern[] = "/tmp/varmolen-wavformat-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const fs::path dir = pattern;
    constexpr std::uint32_t kRate = 48000;
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    // Stereo frames, interleaved.
    const std::vector<std::int16_t> s16 = {32767, -32768, -1, 0, 1, 12345};
    const std::vector<std::int32_t> s32 = {
        std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::min(), -1, 0x12380, 256, -256};
    // The last frame lies beyond the length limit.
    const std::vector<float> f32 = {1.0f, -1.0f, 1.5f, -1.5f, -0x1p-23f, 3.4f * 0x1p-23f, kNaN, -kInf, 0.5f, 0.5f};
    constexpr std::size_t kLost = 2;  // frames of silence for a break
    constexpr std::uint64_t kLimit = 3 + kLost + 3 + 4;

    const struct {
        RecordFormat format;
        std::uint16_t tag, bits;
        // What the file holds of each value, in its own units: 16-bit codes,
        // 24-bit steps, or floats.
        std::vector<double> values;
    } cases[] = {
        {RecordFormat::Pcm16, 1, 16, {32767, -32768, -1,    0,      1,  12345,  // as delivered
                                      0,     0,      0,     0,                  // the break
                                      32767, -32768, -1,    1,      0,  -1,     // top 16 bits
                                      32767, -32768, 32767, -32768, -1, 0,     0, -32768}},
        {RecordFormat::Pcm24,
         1,
         24,
         {8388352, -8388608, -256,    0,        256,     3160320,                       // widened exactly
          0,       0,        0,       0,        8388607, -8388608, -1, 0x123,   1, -1,  // top 24 bits
          8388607, -8388608, 8388607, -8388608, -1,      3,        0,  -8388608}},      // rounded, clipped
        {RecordFormat::Float32,
         3,
         32,
         {32767.0 / 32768,
          -1,
          -1.0 / 32768,
          0,
          1.0 / 32768,
          12345.0 / 32768,
          0,
          0,
          0,
          0,
          1,
          -1,
          -0x1p-31,
          0x12380 * 0x1p-31,
          0x1p-23,
          -0x1p-23,
          1,
          -1,
          1.5,
          -1.5,
          -0x1p-23,
          static_cast<float>(3.4f * 0x1p-23f),
          0,
          -1}},  // kept, NaN 0, inf full scale
    };
    for (const auto& c : cases) {
        const auto bytes = static_cast<std::uint16_t>(c.bits / 8);
        SCOPED_TRACE(testing::Message() << c.bits << "-bit, tag " << c.tag);
        const std::string path = (dir / ("take" + std::to_string(c.bits) + ".wav")).string();
        std::string whyNot;
        auto recorder =
            WavRecorder::start(path, kRate, 2, kLimit, whyNot, false, WavRecorder::Existing::Replace, c.format);
        ASSERT_TRUE(recorder) << whyNot;
        const auto tap = recorder->tap();
        tap->deliver(s16.data(), 3, true);
        tap->streamBroke(kLost);
        tap->deliverFine(reinterpret_cast<const std::uint8_t*>(s32.data()), SampleFormat::S32LE, 2, 3, false);
        tap->deliverFine(reinterpret_cast<const std::uint8_t*>(f32.data()), SampleFormat::FloatLE, 2, 5, false);
        const auto until = std::chrono::steady_clock::now() + 2s;
        while (recorder->status().end == RecordingEnd::None && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(5ms);
        EXPECT_EQ(recorder->status().end, RecordingEnd::LimitReached);
        ASSERT_TRUE(recorder->finish());

        const Riff riff = readRiff(path);
        ASSERT_EQ(riff.problem, "");
        ASSERT_EQ(riff.chunks.count("fmt "), 1u);
        const std::vector<std::uint8_t>& fmt = riff.chunks.at("fmt ");
        ASSERT_GE(fmt.size(), 16u);
        EXPECT_EQ(le16(fmt, 0), c.tag);
        EXPECT_EQ(le16(fmt, 2), 2);
        EXPECT_EQ(le32(fmt, 4), kRate);
        EXPECT_EQ(le32(fmt, 8), kRate * 2u * bytes);
        EXPECT_EQ(le16(fmt, 12), 2 * bytes);
        EXPECT_EQ(le16(fmt, 14), c.bits);
        // A float file says its frames in a fact chunk; a PCM file needs none.
        EXPECT_EQ(riff.chunks.count("fact"), c.tag == 3 ? 1u : 0u);
        if (c.tag == 3 && riff.chunks.count("fact") == 1) {
            EXPECT_EQ(le32(riff.chunks.at("fact"), 0), kLimit);
        }
        std::vector<std::uint8_t> expected;
        for (const double v : c.values)
            put(expected, c.format, v);
        ASSERT_EQ(riff.chunks.count("data"), 1u);
        EXPECT_EQ(riff.chunks.at("data"), expected);
    }
    fs::remove_all(dir);
}

}  // namespace
}  // namespace varmolen
