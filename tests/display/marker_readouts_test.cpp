// Markers, cursor and threshold readouts: the marker difference and its
// reciprocal, the cursor under the pointer and the trigger level of the
// threshold dial.
#include "display/MarkerReadouts.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>

#include <gtest/gtest.h>

#include "display/ReadoutScales.h"
#include "state/InstrumentState.h"
#include "tests/support/MarkerStates.h"

namespace varmolen {
namespace {

constexpr std::int32_t kFrequency = 1;

using test::bothMarkersOn;
using test::startupState;

TEST(MarkerReadout, TimeAndFrequencyAtStartPositions)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    MarkerReadout r = computeMarkerReadout(s, s, '.');
    EXPECT_EQ(r.markerLabel, "Marker Difference = 23.03 ms");
    EXPECT_EQ(r.statusPanel4, "1/Mkr = 43 Hz");

    s.displayType = kFrequency;
    r = computeMarkerReadout(s, s, '.');
    EXPECT_EQ(r.markerLabel, "Marker Difference = 2734 Hz");
    EXPECT_EQ(r.statusPanel4, "1/Mkr = ?");
}

TEST(MarkerReadout, OneMarkerOffReadsUnknown)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    s.marker2Enabled = 1;
    MarkerReadout r = computeMarkerReadout(s, s, '.');
    EXPECT_EQ(r.markerLabel, "Marker Difference = ?");
    EXPECT_EQ(r.statusPanel4, "1/Mkr = ?");
    s.displayType = kFrequency;
    r = computeMarkerReadout(s, s, '.');
    EXPECT_EQ(r.markerLabel, "Marker Difference = ?");
    EXPECT_EQ(r.statusPanel4, "1/Mkr = ?");
}

TEST(MarkerReadout, ZeroTimeDifferenceGivesUnknownReciprocal)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    s.sampleRate = 44100;
    s.span = 9;
    s.marker1Pos = 10;
    s.marker2Pos = 11;
    const MarkerReadout r = computeMarkerReadout(s, s, ',');
    EXPECT_EQ(r.markerLabel, "Marker Difference = 0,00 ms");
    EXPECT_EQ(r.statusPanel4, "1/Mkr = ?");
}

TEST(CursorReadout, FullWidthAndClampedPointer)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    EXPECT_EQ(cursorReadout(s, s, 512, '.'), "Cursor = 46.43 ms");
    EXPECT_EQ(cursorReadout(s, s, 600, '.'), "Cursor = 46.43 ms");
    EXPECT_EQ(cursorReadout(s, s, -20, '.'), "Cursor = 0.00 ms");
    EXPECT_EQ(cursorReadout(s, s, 142, ','), "Cursor = 12,87 ms");
    s.displayType = kFrequency;
    EXPECT_EQ(cursorReadout(s, s, 512, '.'), "Cursor = 5512 Hz");
    EXPECT_EQ(cursorReadout(s, s, 600, '.'), "Cursor = 5512 Hz");
    EXPECT_EQ(cursorReadout(s, s, -20, '.'), "Cursor = 0 Hz");
}

TEST(CursorReadout, ExpandedTimeSpreadsTheMarkersOver512Columns)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    s.expanded = 1;
    EXPECT_EQ(cursorReadout(s, s, 0, '.'), "Cursor = 12.87 ms");
    EXPECT_EQ(cursorReadout(s, s, 512, '.'), "Cursor = 35.91 ms");
    // 142 + 254 × 511 ÷ 512 = 395: one column short of marker 2.
    EXPECT_EQ(cursorReadout(s, s, 511, '.'), "Cursor = 35.82 ms");
}

TEST(CursorReadout, ExpandedFrequencySpreadsTheMarkersOver511Columns)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    s.expanded = 1;
    s.displayType = kFrequency;
    EXPECT_EQ(cursorReadout(s, s, 0, '.'), "Cursor = 1528 Hz");
    EXPECT_EQ(cursorReadout(s, s, 511, '.'), "Cursor = 4263 Hz");
    EXPECT_EQ(cursorReadout(s, s, 510, '.'), "Cursor = 4252 Hz");
    EXPECT_EQ(cursorReadout(s, s, 512, '.'), "Cursor = 4263 Hz");
}

TEST(CursorReadout, ExpandedWithCorruptMarkersStaysOnTheDisplay)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    s.expanded = 1;
    s.marker1Pos = std::numeric_limits<std::int32_t>::min();
    s.marker2Pos = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(cursorReadout(s, s, 0, '.'), "Cursor = 0.00 ms");
    EXPECT_EQ(cursorReadout(s, s, 512, '.'), "Cursor = 46.43 ms");
    s.displayType = kFrequency;
    EXPECT_EQ(cursorReadout(s, s, 511, '.'), "Cursor = 5512 Hz");
}

TEST(Threshold, ValuesBeyondTheDialStayWithinItsRange)
{
    EXPECT_EQ(thresholdFromDial(1.0e9f), 100);
    EXPECT_EQ(thresholdFromDial(-1.0e9f), -100);
    EXPECT_EQ(thresholdFromDial(std::numeric_limits<float>::infinity()), 100);
    EXPECT_EQ(thresholdFromDial(std::nanf("")), 0);
}

}  // namespace
}  // namespace varmolen
