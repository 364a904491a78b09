// What every part of the instrument state shares: the one-byte flag, the
// sizes of its arrays and the colour words of the traces and backgrounds.
#pragma once

#include <cstdint>

namespace varmolen {

using flag = std::uint8_t;  // one byte holding 0 or 1

constexpr int kArrayLength = 4097;         // every work array, 1-based where numerical
constexpr int kRecordBufferBytes = 20000;  // each of bufferA and bufferB
constexpr int kDisplayColumns = 513;       // display columns 0..512
constexpr int kDisplayRows = 343;
constexpr int kPathLength = 256;     // 255 characters and a terminating NUL
constexpr int kBlockSamples = 1024;  // samples per channel in one block

// Colour words 0x00BBGGRR (red in the low byte).
namespace colour {
constexpr std::int32_t kBlack = 0x000000;
constexpr std::int32_t kRed = 0x0000FF;
constexpr std::int32_t kBlue = 0xFF0000;
constexpr std::int32_t kTeal = 0x808000;
constexpr std::int32_t kLime = 0x00FF00;
constexpr std::int32_t kYellow = 0x00FFFF;
constexpr std::int32_t kWhite = 0xFFFFFF;
constexpr std::int32_t kMagenta = 0xFF00FF;
}  // namespace colour

}  // namespace varmolen
