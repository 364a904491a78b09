// The readout scales and the time base: column-to-time and column-to-frequency
// steps, the millisecond text, the dial-to-span mapping with its resampling
// table, and the texts the time-base refresh decides.
#include "display/ReadoutScales.h"
#include "state/InstrumentState.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include <gtest/gtest.h>

namespace varmolen {
namespace {

constexpr std::int32_t kTime = 2;
constexpr std::int32_t kFrequency = 1;

// A state as the window has it after start-up: TIME, 11025 Hz, span 512,
// markers at 142 and 396, both off.
// On the heap: the state carries its work arrays and cannot be moved.
std::unique_ptr<InstrumentState> startupState()
{
    auto s = std::make_unique<InstrumentState>();
    return s;
}

TEST(ColumnToTime, FullSpanAtEachSampleRateIsOneHundredthBelowTheButtonCaption)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    s.sampleRate = 11025;
    EXPECT_EQ(readoutTime(s, s, 512), 4643u);
    EXPECT_EQ(FormatMs(readoutTime(s, s, 512), '.'), "46.43");
    s.sampleRate = 22050;
    EXPECT_EQ(readoutTime(s, s, 512), 2321u);
    EXPECT_EQ(FormatMs(readoutTime(s, s, 512), '.'), "23.21");
    s.sampleRate = 44100;
    EXPECT_EQ(readoutTime(s, s, 512), 1160u);
    EXPECT_EQ(FormatMs(readoutTime(s, s, 512), '.'), "11.60");
}

TEST(ColumnToTime, MarkerColumnsAtStartValues)
{
    auto sOwner = startupState();
    const InstrumentState& s = *sOwner;
    EXPECT_EQ(readoutTime(s, s, 142), 1287u);
    EXPECT_EQ(readoutTime(s, s, 396), 3591u);
    EXPECT_EQ(readoutTime(s, s, 396 - 142), 2303u);
    EXPECT_EQ(readoutTime(s, s, 0), 0u);
}

TEST(ColumnToTime, TruncatesTheColumnTimeBeforeScalingBySpan)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    s.span = 506;
    // 512 columns: q = 4643, then 4643 × 506 ÷ 512 = 4588.6 → 4588. Scaling
    // first and truncating once would read 4589.
    EXPECT_EQ(readoutTime(s, s, 512), 4588u);
    s.span = 9;
    s.sampleRate = 44100;
    EXPECT_EQ(readoutTime(s, s, 512), 20u);
}

TEST(ColumnToTime, ColumnsAndSpanOutsideTheirRangesAreClamped)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    EXPECT_EQ(readoutTime(s, s, -1), 0u);
    EXPECT_EQ(readoutTime(s, s, std::numeric_limits<std::int32_t>::min()), 0u);
    EXPECT_EQ(readoutTime(s, s, 513), 4643u);
    EXPECT_EQ(readoutTime(s, s, std::numeric_limits<std::int32_t>::max()), 4643u);
    s.span = 100000;
    EXPECT_EQ(readoutTime(s, s, 512), 4643u);
    s.span = -7;  // read as the shortest span, 9
    EXPECT_EQ(readoutTime(s, s, 512), 4643u * 9u / 512u);
}

TEST(ColumnToTime, ZeroRateGivesZeroAndLowRatesDoNotWrap)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    s.sampleRate = 0;
    EXPECT_EQ(readoutTime(s, s, 512), 0u);
    s.sampleRate = 1;
    // 512 columns of 1 Hz at full span: 512 s, 51 200 000 hundredths of a ms.
    EXPECT_EQ(readoutTime(s, s, 512), 51200000u);
}

TEST(ColumnToFrequency, FullSpanAtEachSampleRate)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    EXPECT_EQ(readoutFrequency(s, s, 512), 5512);
    s.sampleRate = 22050;
    EXPECT_EQ(readoutFrequency(s, s, 512), 11025);
    s.sampleRate = 44100;
    EXPECT_EQ(readoutFrequency(s, s, 512), 22050);
}

// Every rate of the table through both integer steps of each scale, at the
// longest and the shortest span: nothing wraps at 192000 Hz, and each step
// truncates in its order.
TEST(ReadoutScales, EveryRateAtBothEndsOfTheSpan)
{
    struct Case {
        std::uint32_t rate;
        std::int32_t span;
        std::uint32_t hundredthsMs;  // ColumnToTime(512)
        std::int32_t hz;             // ColumnToFrequency(512)
    };
    const Case cases[] = {
        {8000, 512, 6400, 4000},   {11025, 512, 4643, 5512},  {16000, 512, 3200, 8000},  {22050, 512, 2321, 11025},
        {32000, 512, 1600, 16000}, {44100, 512, 1160, 22050}, {48000, 512, 1066, 24000}, {88200, 512, 580, 44100},
        {96000, 512, 533, 48000},  {176400, 512, 290, 88200}, {192000, 512, 266, 96000}, {8000, 9, 112, 70},
        {48000, 9, 18, 421},       {96000, 9, 9, 843},        {192000, 9, 4, 1687},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz, span " << c.span);
        EXPECT_EQ(ColumnToTime(c.rate, c.span, 512), c.hundredthsMs);
        EXPECT_EQ(ColumnToFrequency(c.rate, c.span, 512), c.hz);
        // One column: at the highest rates a hundredth of a millisecond holds
        // more than a column, and the reading is 0, never a wrapped number.
        EXPECT_LE(ColumnToTime(c.rate, c.span, 1), c.hundredthsMs);
        EXPECT_LE(ColumnToFrequency(c.rate, c.span, 1), c.hz);
    }
}

TEST(ColumnToFrequency, MarkerColumnsAndShortSpan)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    EXPECT_EQ(readoutFrequency(s, s, 142), 1528);
    EXPECT_EQ(readoutFrequency(s, s, 396), 4263);
    EXPECT_EQ(readoutFrequency(s, s, 254), 2734);
    s.span = 9;
    // b = 9 × 11025 ÷ 512 = 193, then 193 × 512 ÷ 1024 = 96.
    EXPECT_EQ(readoutFrequency(s, s, 512), 96);
}

TEST(ColumnToFrequency, ExtremeArgumentsStayInRange)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    EXPECT_EQ(readoutFrequency(s, s, -20), 0);
    EXPECT_EQ(readoutFrequency(s, s, 600), 5512);
    s.sampleRate = 0;
    EXPECT_EQ(readoutFrequency(s, s, 512), 0);
    s.sampleRate = std::numeric_limits<std::uint32_t>::max();
    s.span = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(readoutFrequency(s, s, std::numeric_limits<std::int32_t>::max()),
              std::numeric_limits<std::int32_t>::max());
}

TEST(FormatMs, TwoFixedDecimals)
{
    EXPECT_EQ(FormatMs(4643, '.'), "46.43");
    EXPECT_EQ(FormatMs(5, '.'), "0.05");
    EXPECT_EQ(FormatMs(0, '.'), "0.00");
    EXPECT_EQ(FormatMs(100, '.'), "1.00");
    EXPECT_EQ(FormatMs(1290, '.'), "12.90");
    EXPECT_EQ(FormatMs(9999, '.'), "99.99");
}

TEST(FormatMs, UsesTheLocaleSeparatorAndWritesLargeCountsInFull)
{
    EXPECT_EQ(FormatMs(4643, ','), "46,43");
    EXPECT_EQ(FormatMs(20, ','), "0,20");
    EXPECT_EQ(FormatMs(4643, '\0'), "46.43");
    EXPECT_EQ(FormatMs(51200000, '.'), "512000.00");
    EXPECT_EQ(FormatMs(std::numeric_limits<std::uint32_t>::max(), '.'), "42949672.95");
}

TEST(ReciprocalHz, WholeHertzOfTheMarkerDifference)
{
    EXPECT_EQ(reciprocalHz(2303), 43);
    EXPECT_EQ(reciprocalHz(4643), 21);
    EXPECT_EQ(reciprocalHz(1), 99999);
    EXPECT_EQ(reciprocalHz(2), 49999);
    EXPECT_EQ(reciprocalHz(std::numeric_limits<std::uint32_t>::max()), 0);
}

TEST(ReciprocalHz, ZeroDifferenceHasNoValue)
{
    // 100 ÷ 0.00000001 is ten thousand million: no 32-bit integer holds it.
    EXPECT_FALSE(reciprocalHz(0).has_value());
}

TEST(SpanFromDial, DialPositions)
{
    EXPECT_EQ(spanFromDial(100.0f), 512);
    EXPECT_EQ(spanFromDial(99.0f), 506);
    EXPECT_EQ(spanFromDial(0.000001f), 9);
    EXPECT_EQ(spanFromDial(55.5f), 288);
    EXPECT_EQ(spanFromDial(55.0f), 285);
    EXPECT_EQ(spanFromDial(1.0f), 14);
}

TEST(SpanFromDial, ValuesBeyondTheDialAreBroughtIntoRange)
{
    EXPECT_EQ(spanFromDial(0.0f), 9);
    EXPECT_EQ(spanFromDial(-30.0f), 9);
    EXPECT_EQ(spanFromDial(250.0f), 512);
    EXPECT_EQ(spanFromDial(std::numeric_limits<float>::infinity()), 512);
    EXPECT_EQ(spanFromDial(std::nanf("")), 9);
}

TEST(ResampleBlockForSpan, TableBoundaries)
{
    struct Row {
        std::int32_t span, blockSize, interpFactor;
    };
    const Row rows[] = {{9, 16, 64},   {16, 16, 64},  {17, 32, 32},  {32, 32, 32},  {33, 64, 16},  {64, 64, 16},
                        {65, 128, 8},  {128, 128, 8}, {129, 256, 4}, {256, 256, 4}, {257, 512, 2}, {506, 512, 2},
                        {512, 512, 2}, {0, 16, 64},   {-5, 16, 64},  {9999, 512, 2}};
    for (const Row& r : rows) {
        const ResampleBlock b = resampleBlockForSpan(r.span);
        EXPECT_EQ(b.blockSize, r.blockSize) << "span " << r.span;
        EXPECT_EQ(b.interpFactor, r.interpFactor) << "span " << r.span;
    }
}

TEST(ComputeTimeBase, FullScaleTimeDisplayWithMarkersOff)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    s.span = 0;
    s.blockSize = 0;
    s.interpFactor = 0;
    const TimeBaseTexts t = computeTimeBase(s, s, 100.0f, '.');
    EXPECT_EQ(s.span, 512);
    EXPECT_EQ(s.blockSize, 512);
    EXPECT_EQ(s.interpFactor, 2);
    EXPECT_EQ(s.timeBaseSetting, 100);
    EXPECT_FALSE(t.uncalLedOn);
    EXPECT_EQ(t.hiFreqLabel, "46.43 ms");
    EXPECT_EQ(t.loFreqLabel, "0 ms");
    EXPECT_EQ(t.markerLabel, "Marker Difference = ?");
    EXPECT_EQ(t.statusPanel4, "1/Mkr = ?");
}

TEST(ComputeTimeBase, Dial99IsUncalibrated)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    const TimeBaseTexts t = computeTimeBase(s, s, 99.0f, '.');
    EXPECT_EQ(s.span, 506);
    EXPECT_EQ(s.blockSize, 512);
    EXPECT_EQ(s.interpFactor, 2);
    EXPECT_EQ(s.timeBaseSetting, 99);
    EXPECT_TRUE(t.uncalLedOn);
    EXPECT_EQ(t.hiFreqLabel, "45.88 ms");
}

TEST(ComputeTimeBase, DialMinimumAt44100)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    s.sampleRate = 44100;
    const TimeBaseTexts t = computeTimeBase(s, s, 0.000001f, '.');
    EXPECT_EQ(s.span, 9);
    EXPECT_EQ(s.blockSize, 16);
    EXPECT_EQ(s.interpFactor, 64);
    EXPECT_EQ(s.timeBaseSetting, 0);
    EXPECT_TRUE(t.uncalLedOn);
    EXPECT_EQ(t.hiFreqLabel, "0.20 ms");
    EXPECT_EQ(t.loFreqLabel, "0 ms");
}

TEST(ComputeTimeBase, WholePercentSettingRestoresASlightlyShorterSpan)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    computeTimeBase(s, s, 55.5f, '.');
    EXPECT_EQ(s.span, 288);
    EXPECT_EQ(s.timeBaseSetting, 55);
    computeTimeBase(s, s, static_cast<float>(s.timeBaseSetting), '.');
    EXPECT_EQ(s.span, 285);
    EXPECT_EQ(s.blockSize, 512);
}

TEST(ComputeTimeBase, TimeDisplayWithBothMarkers)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    s.marker1Enabled = 1;
    s.marker2Enabled = 1;
    TimeBaseTexts t = computeTimeBase(s, s, 100.0f, '.');
    EXPECT_EQ(t.markerLabel, "Marker Difference = 23.03 ms");
    EXPECT_EQ(t.statusPanel4, "1/Mkr = 43 Hz");
    EXPECT_EQ(t.loFreqLabel, "0 ms");
    EXPECT_EQ(t.hiFreqLabel, "46.43 ms");

    s.expanded = 1;
    t = computeTimeBase(s, s, 100.0f, '.');
    EXPECT_EQ(t.loFreqLabel, "12.87 ms");
    EXPECT_EQ(t.hiFreqLabel, "35.91 ms");
    EXPECT_EQ(t.markerLabel, "Marker Difference = 23.03 ms");
}

TEST(ComputeTimeBase, FrequencyDisplayWithBothMarkersLeavesPanel4Alone)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    s.displayType = kFrequency;
    s.marker1Enabled = 1;
    s.marker2Enabled = 1;
    TimeBaseTexts t = computeTimeBase(s, s, 100.0f, '.');
    EXPECT_EQ(t.markerLabel, "Marker Difference = 2734 Hz");
    EXPECT_FALSE(t.statusPanel4.has_value());
    EXPECT_EQ(t.hiFreqLabel, "5512 Hz");
    EXPECT_EQ(t.loFreqLabel, "0");

    s.expanded = 1;
    t = computeTimeBase(s, s, 100.0f, '.');
    EXPECT_EQ(t.loFreqLabel, "1528 Hz");
    EXPECT_EQ(t.hiFreqLabel, "4263 Hz");
}

TEST(ComputeTimeBase, SwitchingTypesRelabelsWithoutTouchingTheDialFields)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    s.marker1Enabled = 1;  // marker 2 stays off
    TimeBaseTexts t = computeTimeBase(s, s, 80.0f, '.');
    EXPECT_EQ(t.loFreqLabel, "0 ms");
    const std::int32_t span = s.span;

    s.displayType = kFrequency;
    t = computeTimeBase(s, s, 80.0f, '.');
    EXPECT_EQ(t.loFreqLabel, "0");
    EXPECT_EQ(t.markerLabel, "Marker Difference = ?");
    EXPECT_FALSE(t.statusPanel4.has_value());
    EXPECT_EQ(t.hiFreqLabel, std::to_string(readoutFrequency(s, s, 512)) + " Hz");

    s.displayType = kTime;
    t = computeTimeBase(s, s, 80.0f, '.');
    EXPECT_EQ(t.loFreqLabel, "0 ms");
    EXPECT_EQ(t.statusPanel4, "1/Mkr = ?");
    EXPECT_EQ(s.span, span);
    EXPECT_EQ(s.timeBaseSetting, 80);
}

TEST(ComputeTimeBase, FrequencyAt22050FullSpan)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    s.displayType = kFrequency;
    s.sampleRate = 22050;
    EXPECT_EQ(computeTimeBase(s, s, 100.0f, '.').hiFreqLabel, "11025 Hz");
}

TEST(ComputeTimeBase, ZeroTimeDifferenceAtShortSpanReadsUnknownReciprocal)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    s.sampleRate = 44100;
    s.marker1Enabled = 1;
    s.marker2Enabled = 1;
    s.marker1Pos = 200;
    s.marker2Pos = 201;
    const TimeBaseTexts t = computeTimeBase(s, s, 0.000001f, '.');
    EXPECT_EQ(t.markerLabel, "Marker Difference = 0.00 ms");
    EXPECT_EQ(t.statusPanel4, "1/Mkr = ?");
}

TEST(ComputeTimeBase, ZeroSampleRateFormsNoReciprocal)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    s.sampleRate = 0;
    s.marker1Enabled = 1;
    s.marker2Enabled = 1;
    TimeBaseTexts t = computeTimeBase(s, s, 100.0f, '.');
    EXPECT_EQ(t.markerLabel, "Marker Difference = 0.00 ms");
    EXPECT_EQ(t.statusPanel4, "1/Mkr = ?");
    EXPECT_EQ(t.hiFreqLabel, "0.00 ms");
    s.displayType = kFrequency;
    t = computeTimeBase(s, s, 100.0f, '.');
    EXPECT_EQ(t.hiFreqLabel, "0 Hz");
    EXPECT_EQ(t.markerLabel, "Marker Difference = 0 Hz");
}

TEST(ComputeTimeBase, DecimalCommaLocale)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    s.marker1Enabled = 1;
    s.marker2Enabled = 1;
    s.expanded = 1;
    const TimeBaseTexts t = computeTimeBase(s, s, 100.0f, ',');
    EXPECT_EQ(t.markerLabel, "Marker Difference = 23,03 ms");
    EXPECT_EQ(t.loFreqLabel, "12,87 ms");
    EXPECT_EQ(t.hiFreqLabel, "35,91 ms");
    EXPECT_EQ(t.statusPanel4, "1/Mkr = 43 Hz");
}

TEST(ComputeTimeBase, DialValuesBeyondTheScaleStayInRange)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    TimeBaseTexts t = computeTimeBase(s, s, 400.0f, '.');
    EXPECT_EQ(s.timeBaseSetting, 100);
    EXPECT_EQ(s.span, 512);
    EXPECT_FALSE(t.uncalLedOn);
    t = computeTimeBase(s, s, -1.0f, '.');
    EXPECT_EQ(s.timeBaseSetting, 0);
    EXPECT_EQ(s.span, 9);
    EXPECT_TRUE(t.uncalLedOn);
}

TEST(ComputeTimeBase, CorruptMarkerColumnsReadClampedColumns)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    s.marker1Enabled = 1;
    s.marker2Enabled = 1;
    s.expanded = 1;
    s.marker1Pos = std::numeric_limits<std::int32_t>::max();
    s.marker2Pos = std::numeric_limits<std::int32_t>::min();
    const TimeBaseTexts t = computeTimeBase(s, s, 100.0f, '.');
    EXPECT_EQ(t.markerLabel, "Marker Difference = 0.00 ms");
    EXPECT_EQ(t.statusPanel4, "1/Mkr = ?");
    EXPECT_EQ(t.loFreqLabel, "46.43 ms");
    EXPECT_EQ(t.hiFreqLabel, "0.00 ms");
}

}  // namespace
}  // namespace varmolen
