// The sample format a WAV recording is written in: 16-bit PCM (the
// instrument's own, and the default), 24-bit PCM, or 32-bit IEEE float.
// [Recording] Format in Varmolen.ini names it by kRecordFormatWords.
#pragma once

#include <array>
#include <cstdint>

namespace varmolen {

enum class RecordFormat : std::int32_t { Pcm16, Pcm24, Float32 };
constexpr std::int32_t kRecordFormatCount = 3;

// The words of [Recording] Format, by RecordFormat.
inline constexpr std::array<const char*, kRecordFormatCount> kRecordFormatWords = {"16", "24", "float"};

// The bytes one value of one channel takes in the file.
constexpr std::uint16_t recordBytesPerSample(RecordFormat format)
{
    return format == RecordFormat::Pcm24 ? 3 : format == RecordFormat::Float32 ? 4 : 2;
}

}  // namespace varmolen
