// The settings record's bytes: layout, encoding, decoding of short and long
// files, and the mends applied after loading.
#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <vector>

#include "persist/ConfigFile.h"
#include "state/InstrumentState.h"

using namespace varmolen;

namespace {

// The record as the file format documents it, written out independently of
// the code: number, field, offset, width, start-up value.
// The table keeps several rows to a line, as written.
// clang-format off
#define TEST_LAYOUT(X)                                                                              \
    X(1, chan1Enabled, 0, 1, 0) X(2, chan2Enabled, 1, 1, 0) X(3, chan1TimeRange, 2, 4, 1)           \
    X(4, chan2TimeRange, 6, 4, 1) X(5, chan1FreqRange, 10, 4, 1) X(6, chan2FreqRange, 14, 4, 1)     \
    X(7, chan1TimeGainDial, 18, 4, 0) X(8, chan2TimeGainDial, 22, 4, 0)                             \
    X(9, chan1TimeOffset, 26, 4, 86) X(10, chan2TimeOffset, 30, 4, 258)                             \
    X(11, chan1FreqGainDial, 34, 4, 0) X(12, chan2FreqGainDial, 38, 4, 0)                           \
    X(13, chan1FreqOffset, 42, 4, 172) X(14, chan2FreqOffset, 46, 4, 343)                           \
    X(15, triggerThreshold, 50, 4, 0) X(16, triggerSlope, 54, 4, 1) X(17, chopMode, 58, 1, 1)      \
    X(18, addChannels, 59, 1, 0) X(19, displayHold, 60, 1, 0) X(20, singleSweep, 61, 1, 0)          \
    X(21, triggerEnabled, 62, 1, 0) X(22, traceMode, 63, 4, 1) X(23, sampleRate, 67, 4, 11025)      \
    X(24, timeBaseSetting, 71, 4, 0) X(25, inputSelect, 75, 4, 0) X(26, displayType, 79, 4, 2)      \
    X(27, backgroundScheme, 83, 4, 1) X(28, triggerChannel, 87, 4, 1) X(29, chan1Color, 91, 4, 0)  \
    X(30, chan2Color, 95, 4, 0) X(31, marker1Pos, 99, 4, 142) X(32, marker2Pos, 103, 4, 396)        \
    X(33, marker1Enabled, 107, 1, 0) X(34, marker2Enabled, 108, 1, 0) X(35, osVariant, 109, 4, 1)  \
    X(36, gridEnabled, 113, 1, 1) X(37, waveDeviceId, 114, 4, 0)
// clang-format on

struct LayoutRow {
    int number;
    const char* name;
    std::size_t offset, width;
    std::uint32_t startup;
};
constexpr LayoutRow kLayout[] = {
#define TEST_ROW(n, name, off, w, start) {n, #name, off, w, start},
    TEST_LAYOUT(TEST_ROW)
#undef TEST_ROW
};

// A value for field n whose bytes occur in no other field, so a swapped,
// shifted or byte-reversed field changes the record.
std::uint32_t pattern(int n, std::size_t width)
{
    const auto b = static_cast<std::uint32_t>(n);
    return width == 1 ? b : b | (0x40 + b) << 8 | (0x80 + b) << 16 | (0xC0 + b) << 24;
}

ConfigRecord recordOf(std::uint32_t (*valueOf)(const LayoutRow&))
{
    ConfigRecord r{};
    for (const LayoutRow& row : kLayout)
        for (std::size_t i = 0; i < row.width; ++i)
            r[row.offset + i] = static_cast<std::uint8_t>(valueOf(row) >> (8 * i));
    return r;
}
ConfigRecord patternRecord()
{
    return recordOf([](const LayoutRow& r) { return pattern(r.number, r.width); });
}
ConfigRecord startupRecord()
{
    return recordOf([](const LayoutRow& r) { return r.startup; });
}

ConfigValues patternValues()
{
    const ConfigRecord r = patternRecord();
    return decodeConfiguration(r, startupConfiguration()).values;
}

}  // namespace

TEST(ConfigLayout, TableMatchesTheFileFormat)
{
    ASSERT_EQ(kConfigFields.size(), std::size(kLayout));
    for (std::size_t i = 0; i < kConfigFields.size(); ++i) {
        EXPECT_EQ(kConfigFields[i].name, kLayout[i].name) << i;
        EXPECT_EQ(kConfigFields[i].offset, kLayout[i].offset) << kLayout[i].name;
        EXPECT_EQ(kConfigFields[i].width, kLayout[i].width) << kLayout[i].name;
        EXPECT_EQ(static_cast<std::size_t>(kConfigFields[i].field), i);
    }
}

TEST(ConfigCodec, EveryFieldLandsAtItsOffsetLittleEndian)
{
    const ConfigRecord record = patternRecord();
    const DecodedConfiguration d = decodeConfiguration(record, startupConfiguration());
    EXPECT_EQ(d.present, kAllConfigFieldsMask);
    const ConfigValues& v = d.values;
#define TEST_CHECK(n, name, off, w, start) EXPECT_EQ(static_cast<std::uint32_t>(v.name), pattern(n, w)) << #name;
    TEST_LAYOUT(TEST_CHECK)
#undef TEST_CHECK
    EXPECT_EQ(encodeConfiguration(v), record);
}

TEST(ConfigCodec, SignedAndWideValuesAndStateRoundTrip)
{
    auto state = std::make_unique<InstrumentState>();
    state->triggerThreshold = -100;
    state->chan1Color = 0x00FF8040;
    state->sampleRate = 44100;
    state->waveDeviceId = -1;
    const ConfigRecord r = encodeConfiguration(*state);
    EXPECT_EQ((std::vector<int>(r.begin() + 50, r.begin() + 54)), (std::vector<int>{0x9C, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ((std::vector<int>(r.begin() + 91, r.begin() + 95)), (std::vector<int>{0x40, 0x80, 0xFF, 0x00}));
    EXPECT_EQ((std::vector<int>(r.begin() + 67, r.begin() + 71)), (std::vector<int>{0x44, 0xAC, 0x00, 0x00}));

    auto restored = std::make_unique<InstrumentState>();
    storeConfiguration(decodeConfiguration(r, startupConfiguration()).values, *restored);
    EXPECT_EQ(captureConfiguration(*restored), captureConfiguration(*state));
    EXPECT_EQ(restored->waveDeviceId, -1);
    EXPECT_EQ(restored->triggerThreshold, -100);
}

TEST(ConfigCodec, StartupAndDefaultRecords)
{
    EXPECT_EQ(encodeConfiguration(startupConfiguration()), startupRecord());
    // The set-up tool's file: the start-up record with the fields of a
    // working first picture on the generator changed, byte for byte.
    ConfigRecord expected = startupRecord();
    const struct {
        std::size_t offset;
        std::vector<std::uint8_t> bytes;
    } changed[] = {
        {0, {1}},                  // channel 1 on
        {1, {1}},                  // channel 2 on
        {18, {8, 0, 0, 0}},        // channel 1 TIME gain dial
        {22, {14, 0, 0, 0}},       // channel 2 TIME gain dial
        {34, {30, 0, 0, 0}},       // channel 1 FREQUENCY gain dial
        {38, {30, 0, 0, 0}},       // channel 2 FREQUENCY gain dial
        {62, {1}},                 // trigger on
        {67, {0x44, 0xAC, 0, 0}},  // 44100 Hz
        {71, {100, 0, 0, 0}},      // time base at full span
        {75, {1, 0, 0, 0}},        // line input
        {91, {0xFF, 0, 0, 0}},     // channel 1 red
        {95, {0, 0, 0xFF, 0}},     // channel 2 blue
    };
    for (const auto& c : changed)
        std::copy(c.bytes.begin(), c.bytes.end(), expected.begin() + static_cast<std::ptrdiff_t>(c.offset));
    EXPECT_EQ(encodeConfiguration(defaultConfiguration()), expected);
    // The mends fall back to the same start-up values.
    EXPECT_EQ(kStartupSampleRate, startupConfiguration().sampleRate);
    EXPECT_EQ(kStartupMarker1Pos, startupConfiguration().marker1Pos);
    EXPECT_EQ(kStartupMarker2Pos, startupConfiguration().marker2Pos);
}

TEST(ConfigCodec, StoringOneFieldTouchesOnlyThatField)
{
    const ConfigValues source = patternValues();
    const ConfigRecord before = startupRecord();
    for (const LayoutRow& row : kLayout) {
        auto state = std::make_unique<InstrumentState>();
        storeConfigField(source, static_cast<ConfigField>(row.number - 1), *state);
        const ConfigRecord after = encodeConfiguration(*state);
        for (std::size_t i = 0; i < kConfigRecordBytes; ++i) {
            const bool inField = i >= row.offset && i < row.offset + row.width;
            EXPECT_EQ(after[i], inField ? patternRecord()[i] : before[i]) << row.name << " byte " << i;
        }
    }
}

TEST(ConfigCodec, ShortFilesKeepStartupValuesFromTheCutOn)
{
    const ConfigRecord full = patternRecord();
    const ConfigRecord startup = startupRecord();
    for (std::size_t length = 0; length <= kConfigRecordBytes; ++length) {
        const DecodedConfiguration d = decodeConfiguration(std::span(full.data(), length), startupConfiguration());
        const ConfigRecord got = encodeConfiguration(d.values);
        for (std::size_t f = 0; f < std::size(kLayout); ++f) {
            const LayoutRow& row = kLayout[f];
            const bool whole = row.offset + row.width <= length;
            EXPECT_EQ(d.has(static_cast<ConfigField>(f)), whole) << row.name << " at length " << length;
            const ConfigRecord& want = whole ? full : startup;
            for (std::size_t i = row.offset; i < row.offset + row.width; ++i)
                ASSERT_EQ(got[i], want[i]) << row.name << " at length " << length;
        }
    }
    EXPECT_EQ(decodeConfiguration({}, startupConfiguration()).present, 0u);
}

TEST(ConfigCodec, BytesAfterTheRecordAreIgnored)
{
    const ConfigRecord full = patternRecord();
    std::vector<std::uint8_t> longer(full.begin(), full.end());
    longer.resize(400, 0xA5);
    const DecodedConfiguration d = decodeConfiguration(longer, startupConfiguration());
    EXPECT_EQ(d.present, kAllConfigFieldsMask);
    EXPECT_EQ(encodeConfiguration(d.values), full);

    ConfigValues v = startupConfiguration();
    EXPECT_FALSE(decodeField(longer, static_cast<ConfigField>(37), v));
    EXPECT_FALSE(decodeField(longer, static_cast<ConfigField>(-1), v));
    EXPECT_EQ(v, startupConfiguration());
}

TEST(ConfigSanitise, SampleRateAndMarkers)
{
    for (std::uint32_t rate : {0u, 8000u, 11024u, 48000u, 0xFFFFFFFFu}) {
        ConfigValues v = startupConfiguration();
        v.sampleRate = rate;
        EXPECT_EQ(sanitiseConfiguration(v), configFieldBit(ConfigField::sampleRate)) << rate;
        EXPECT_EQ(v.sampleRate, 11025u);
    }
    for (std::uint32_t rate : {11025u, 22050u, 44100u}) {
        ConfigValues v = startupConfiguration();
        v.sampleRate = rate;
        EXPECT_EQ(sanitiseConfiguration(v), 0u);
        EXPECT_EQ(v.sampleRate, rate);
    }
    const std::pair<int, int> unusable[] = {{-1, 396}, {142, 513}, {300, 300}, {400, 100}, {INT_MIN, INT_MAX}};
    for (auto [m1, m2] : unusable) {
        ConfigValues v = startupConfiguration();
        v.marker1Pos = m1;
        v.marker2Pos = m2;
        EXPECT_NE(sanitiseConfiguration(v), 0u) << m1 << "," << m2;
        EXPECT_EQ(v.marker1Pos, 142);
        EXPECT_EQ(v.marker2Pos, 396);
    }
    for (auto [m1, m2] : {std::pair{0, 512}, std::pair{511, 512}, std::pair{0, 1}}) {
        ConfigValues v = startupConfiguration();
        v.marker1Pos = m1;
        v.marker2Pos = m2;
        EXPECT_EQ(sanitiseConfiguration(v), 0u);
        EXPECT_EQ(v.marker1Pos, m1);
        EXPECT_EQ(v.marker2Pos, m2);
    }
}

TEST(ConfigSanitise, RowsAndDialPositionsAreClamped)
{
    ConfigValues v = defaultConfiguration();
    EXPECT_EQ(sanitiseConfiguration(v), 0u);
    EXPECT_EQ(v, defaultConfiguration());

    v.chan1TimeOffset = -5;
    v.chan2FreqOffset = INT_MAX;
    v.chan2TimeGainDial = 101;
    v.chan1FreqGainDial = INT_MIN;
    v.timeBaseSetting = 1000;
    const std::uint64_t changed = sanitiseConfiguration(v);
    EXPECT_EQ(changed, configFieldBit(ConfigField::chan1TimeOffset) | configFieldBit(ConfigField::chan2FreqOffset) |
                           configFieldBit(ConfigField::chan2TimeGainDial) |
                           configFieldBit(ConfigField::chan1FreqGainDial) |
                           configFieldBit(ConfigField::timeBaseSetting));
    EXPECT_EQ(v.chan1TimeOffset, 0);
    EXPECT_EQ(v.chan2FreqOffset, 343);
    EXPECT_EQ(v.chan2TimeGainDial, 100);
    EXPECT_EQ(v.chan1FreqGainDial, 0);
    EXPECT_EQ(v.timeBaseSetting, 100);
}

TEST(ConfigSanitise, RandomFilesAlwaysGiveUsableValues)
{
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> length(0, 200), byte(0, 255), small(0, 3);
    const ConfigValues startup = startupConfiguration();
    std::vector<std::uint8_t> data;
    for (int run = 0; run < 10000; ++run) {
        data.resize(static_cast<std::size_t>(length(random)));
        for (auto& b : data)  // mostly small bytes too, so in-range values turn up
            b = static_cast<std::uint8_t>(small(random) == 0 ? byte(random) : byte(random) & 0x03);
        DecodedConfiguration d = decodeConfiguration(data, startup);
        sanitiseConfiguration(d.values);
        const ConfigValues& v = d.values;
        ASSERT_TRUE(v.sampleRate == 11025 || v.sampleRate == 22050 || v.sampleRate == 44100) << run;
        ASSERT_TRUE(v.marker1Pos >= 0 && v.marker1Pos < v.marker2Pos && v.marker2Pos <= 512) << run;
        for (std::int32_t row : {v.chan1TimeOffset, v.chan2TimeOffset, v.chan1FreqOffset, v.chan2FreqOffset})
            ASSERT_TRUE(row >= 0 && row <= 343) << run;
        for (std::int32_t dial :
             {v.chan1TimeGainDial, v.chan2TimeGainDial, v.chan1FreqGainDial, v.chan2FreqGainDial, v.timeBaseSetting})
            ASSERT_TRUE(dial >= 0 && dial <= 100) << run;
    }
}
