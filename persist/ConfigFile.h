// The settings file Varmolen.cfg: 118 bytes, 37 fields packed without
// padding, integers little-endian two's complement, flags one byte each, no
// header. This unit turns the instrument's settings (InstrumentSettings) into
// those bytes and back, mends stored values the instrument cannot work with,
// and reads and writes the file. It knows nothing of the front panel: the
// window's loader decodes the file here, then stores and applies the fields
// one by one in file order through its handlers:
//
//     ConfigValues startup = captureConfiguration(state);   // start-up values
//     auto file = readConfigFile(path);                     // nullopt: cannot open
//     DecodedConfiguration d = decodeConfiguration(file->view(), startup);
//     sanitiseConfiguration(d.values);
//     for (const ConfigFieldInfo& info : kConfigFields) {
//         storeConfigField(d.values, info.field, state);
//         /* apply info.field through its front-panel handler */
//     }
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "state/InstrumentSettings.h"

namespace varmolen {

// The 37 persisted fields in file order: name, byte offset, width.
#define VARMOLEN_CONFIG_FIELDS(X) \
    X(chan1Enabled, 0, 1)         \
    X(chan2Enabled, 1, 1)         \
    X(chan1TimeRange, 2, 4)       \
    X(chan2TimeRange, 6, 4)       \
    X(chan1FreqRange, 10, 4)      \
    X(chan2FreqRange, 14, 4)      \
    X(chan1TimeGainDial, 18, 4)   \
    X(chan2TimeGainDial, 22, 4)   \
    X(chan1TimeOffset, 26, 4)     \
    X(chan2TimeOffset, 30, 4)     \
    X(chan1FreqGainDial, 34, 4)   \
    X(chan2FreqGainDial, 38, 4)   \
    X(chan1FreqOffset, 42, 4)     \
    X(chan2FreqOffset, 46, 4)     \
    X(triggerThreshold, 50, 4)    \
    X(triggerSlope, 54, 4)        \
    X(chopMode, 58, 1)            \
    X(addChannels, 59, 1)         \
    X(displayHold, 60, 1)         \
    X(singleSweep, 61, 1)         \
    X(triggerEnabled, 62, 1)      \
    X(traceMode, 63, 4)           \
    X(sampleRate, 67, 4)          \
    X(timeBaseSetting, 71, 4)     \
    X(inputSelect, 75, 4)         \
    X(displayType, 79, 4)         \
    X(backgroundScheme, 83, 4)    \
    X(triggerChannel, 87, 4)      \
    X(chan1Color, 91, 4)          \
    X(chan2Color, 95, 4)          \
    X(marker1Pos, 99, 4)          \
    X(marker2Pos, 103, 4)         \
    X(marker1Enabled, 107, 1)     \
    X(marker2Enabled, 108, 1)     \
    X(osVariant, 109, 4)          \
    X(gridEnabled, 113, 1)        \
    X(waveDeviceId, 114, 4)

constexpr std::size_t kConfigRecordBytes = 118;
constexpr std::size_t kConfigFieldCount = 37;

using ConfigRecord = std::array<std::uint8_t, kConfigRecordBytes>;

// One enumerator per persisted field, in file order (0 = chan1Enabled).
enum class ConfigField : int {
#define VARMOLEN_CONFIG_ENUM(name, offset, width) name,
    VARMOLEN_CONFIG_FIELDS(VARMOLEN_CONFIG_ENUM)
#undef VARMOLEN_CONFIG_ENUM
};

struct ConfigFieldInfo {
    ConfigField field;
    std::size_t offset;
    std::size_t width;
    std::string_view name;  // the instrument-state field it persists
};

// The record's layout, in file order; kConfigFields[i].field == ConfigField(i).
inline constexpr std::array<ConfigFieldInfo, kConfigFieldCount> kConfigFields{{
#define VARMOLEN_CONFIG_INFO(name, offset, width) {ConfigField::name, offset, width, #name},
    VARMOLEN_CONFIG_FIELDS(VARMOLEN_CONFIG_INFO)
#undef VARMOLEN_CONFIG_INFO
}};

constexpr const ConfigFieldInfo& configFieldInfo(ConfigField f) { return kConfigFields[static_cast<std::size_t>(f)]; }

// Bit of a field in a field mask (DecodedConfiguration::present, the result
// of sanitiseConfiguration).
constexpr std::uint64_t configFieldBit(ConfigField f) { return std::uint64_t{1} << static_cast<unsigned>(f); }
constexpr std::uint64_t kAllConfigFieldsMask = (std::uint64_t{1} << kConfigFieldCount) - 1;

// The persisted fields, under their instrument-state names and types.
struct ConfigValues {
#define VARMOLEN_CONFIG_MEMBER(name, offset, width) decltype(InstrumentSettings::name) name{};
    VARMOLEN_CONFIG_FIELDS(VARMOLEN_CONFIG_MEMBER)
#undef VARMOLEN_CONFIG_MEMBER

    friend bool operator==(const ConfigValues&, const ConfigValues&) = default;
};

// The persisted fields as the settings hold them now.
ConfigValues captureConfiguration(const InstrumentSettings& s);

// The persisted fields at their start-up values (those of fresh settings).
ConfigValues startupConfiguration();

// What the set-up step, and the program on a user's first start, put in a
// fresh install directory: a working first picture on the built-in generator
// (both channels on at gains where its sine and square fit, line input at
// 44100 Hz, triggered on channel 1, red and blue traces on white with the
// graticule), the time base at its full span. The instrument's own start-up
// values without a file stay as they are.
ConfigValues defaultConfiguration();

// Copies one field, or all of them, from decoded values into the settings.
void storeConfigField(const ConfigValues& v, ConfigField f, InstrumentSettings& s);
// One field of the settings as a whole number, and set from one (as the
// field's own type): what a control that shows the field reads and writes.
std::int32_t configFieldValue(const InstrumentSettings& s, ConfigField f);
void setConfigField(InstrumentSettings& s, ConfigField f, std::int32_t value);
void storeConfiguration(const ConfigValues& v, InstrumentSettings& s);

ConfigRecord encodeConfiguration(const ConfigValues& v);
ConfigRecord encodeConfiguration(const InstrumentSettings& s);

// Reads one field from the start of a file's bytes into `into` when the data
// holds all of its bytes; returns false, leaving `into` alone, when the data
// ends before the field does.
bool decodeField(std::span<const std::uint8_t> data, ConfigField f, ConfigValues& into);

struct DecodedConfiguration {
    ConfigValues values;        // read from the data, or the start-up value where not
    std::uint64_t present = 0;  // configFieldBit of every field read from the data

    bool has(ConfigField f) const { return (present & configFieldBit(f)) != 0; }
};

// Decodes a file of any length. A field wholly inside the data is read; a
// field that the end of the data cuts, and every field after it, keeps its
// value from `startup`; bytes after the 118th are ignored.
DecodedConfiguration decodeConfiguration(std::span<const std::uint8_t> data, const ConfigValues& startup);

// Range of the zero-line rows and of the dial positions kept in the file.
constexpr std::int32_t kConfigOffsetMax = kDisplayRows;  // 0..343
constexpr std::int32_t kConfigDialMax = 100;             // 0..100

// The mends below fall back to the start-up values (kStartupSampleRate,
// kStartupMarker1Pos and kStartupMarker2Pos of the settings).
constexpr std::int32_t kMarkerColumnMax = kDisplayColumns - 1;  // 512

// Mends stored values the instrument cannot work with:
//  - sampleRate other than 11025, 22050 or 44100 (0 would divide by zero in
//    the readout scales): the start-up rate, 11025;
//  - a marker column outside 0..512, or marker 1 not left of marker 2: both
//    markers go back to their start-up columns, 142 and 396;
//  - zero-line rows outside 0..343 and gain-dial and time-base positions
//    outside 0..100 are clamped into range, so the dial arithmetic that
//    carries them to the controls cannot overflow.
// Values in range are untouched. Returns the mask of the fields changed.
std::uint64_t sanitiseConfiguration(ConfigValues& v);

// The first bytes of a settings file, at most one record's worth.
struct ConfigFileContents {
    ConfigRecord bytes{};
    std::size_t size = 0;  // 0..118

    std::span<const std::uint8_t> view() const { return {bytes.data(), size}; }
};

// Whether `path` is a regular file that opens for reading. Never blocks: a
// pipe or a device at the path is no file (and not waited on).
bool isReadableFile(const std::string& path);

// Reads up to 118 bytes from the start of the file; later bytes are ignored.
// nullopt when the file cannot be opened or read.
std::optional<ConfigFileContents> readConfigFile(const std::string& path);

// Writes a small file to a temporary file in the same directory, flushes it
// to the disk and renames it over `path`, so a crash or a full disk never
// leaves a cut file: either the old file or the complete new one is there.
// When the new file cannot be written the old one stays as it was and no
// temporary file is left behind. A file without any write permission is
// never replaced; a writable file in a directory that refuses new files is
// rewritten in place. A symbolic link at `path` is followed and its target
// replaced. `whyNot` says why it failed, for messages.
bool writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes, std::string& whyNot);

// The settings record through writeFileAtomically.
bool writeConfigFileAtomically(const std::string& path, const ConfigRecord& bytes);
bool writeConfigFileAtomically(const std::string& path, const ConfigRecord& bytes, std::string& whyNot);

// Saves the persisted fields of the settings to `path`; with an empty path
// (no settings file at start-up) nothing is written and the result is false.
bool saveConfiguration(const std::string& path, const InstrumentSettings& s);

}  // namespace varmolen
