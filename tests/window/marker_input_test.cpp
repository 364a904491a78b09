// What a user's input over the markers does: the drag with its grab windows,
// the marker and Expand switches and the threshold dial.
#include "window/MarkerInput.h"

#include <cstdint>
#include <limits>
#include <memory>

#include <gtest/gtest.h>

#include "state/InstrumentState.h"
#include "tests/support/MarkerStates.h"

namespace varmolen {
namespace {

constexpr std::int32_t kFrequency = 1;

using test::bothMarkersOn;
using test::startupState;

// Moves with the left button held from the current column to target in
// steps small enough for the dragging window, as a hand would.
void dragTo(InstrumentState& s, std::int32_t from, std::int32_t target)
{
    const std::int32_t step = from < target ? 20 : -20;
    std::int32_t x = from;
    while ((step > 0 && x < target) || (step < 0 && x > target)) {
        x += step;
        if ((step > 0 && x > target) || (step < 0 && x < target))
            x = target;
        markerMouseMove(s, s, x, true, '.');
    }
}

TEST(MarkerDrag, PressShrinksTheWindowAndReleaseRestoresBothMarkers)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    EXPECT_EQ(s.grabLeft, 10);
    markerMouseDown(s);
    EXPECT_EQ(s.grabLeft, 5);
    EXPECT_EQ(s.grabRight, 5);
    EXPECT_EQ(s.marker1Pos, 142);
    EXPECT_EQ(s.marker2Pos, 396);
    s.marker1Grabbable = 0;
    s.grabLeft = 45;
    s.grabRight = 45;
    markerMouseUp(s);
    EXPECT_EQ(s.marker1Grabbable, 1);
    EXPECT_EQ(s.marker2Grabbable, 1);
    EXPECT_EQ(s.grabLeft, 5);
    EXPECT_EQ(s.grabRight, 5);
}

TEST(MarkerDrag, FourPixelsAwayPicksTheMarkerOnTheFirstMove)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    markerMouseDown(s);
    const MouseMoveTexts t = markerMouseMove(s, s, 138, true, '.');
    EXPECT_EQ(s.marker1Pos, 138);
    EXPECT_EQ(s.marker2Grabbable, 0);
    EXPECT_EQ(s.marker1Grabbable, 1);
    EXPECT_EQ(s.grabLeft, 45);
    EXPECT_EQ(s.grabRight, 45);
    // d = 258: 2340 hundredths, reciprocal 42 Hz.
    EXPECT_EQ(t.readout.markerLabel, "Marker Difference = 23.40 ms");
    EXPECT_EQ(t.readout.statusPanel4, "1/Mkr = 42 Hz");

    auto rightOwner = bothMarkersOn();
    InstrumentState& right = *rightOwner;
    markerMouseDown(right);
    markerMouseMove(right, right, 146, true, '.');
    EXPECT_EQ(right.marker1Pos, 146);
}

TEST(MarkerDrag, FivePixelsAwayPicksOnlyOnceTheWindowHasWidened)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    markerMouseDown(s);
    markerMouseMove(s, s, 137, true, '.');
    EXPECT_EQ(s.marker1Pos, 142);
    EXPECT_EQ(s.marker1Grabbable, 1);
    EXPECT_EQ(s.marker2Grabbable, 1);
    EXPECT_EQ(s.grabLeft, 45);
    markerMouseMove(s, s, 137, true, '.');
    EXPECT_EQ(s.marker1Pos, 137);
    EXPECT_EQ(s.marker2Grabbable, 0);
}

TEST(MarkerDrag, WidenedWindowReachesFortyFourPixels)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    markerMouseDown(s);
    markerMouseMove(s, s, 300, true, '.');  // nothing picked, window widens
    markerMouseMove(s, s, 142 - 45, true, '.');
    EXPECT_EQ(s.marker1Pos, 142);
    markerMouseMove(s, s, 142 - 44, true, '.');
    EXPECT_EQ(s.marker1Pos, 98);
}

TEST(MarkerDrag, BeforeTheFirstPressTheWindowIsNinePixels)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    markerMouseMove(s, s, 142 + 10, true, '.');
    EXPECT_EQ(s.marker1Pos, 142);

    auto tOwner = bothMarkersOn();
    InstrumentState& t = *tOwner;
    markerMouseMove(t, t, 142 + 9, true, '.');
    EXPECT_EQ(t.marker1Pos, 151);
}

TEST(MarkerDrag, WithoutTheLeftButtonNothingMovesAndWindowsStay)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    markerMouseDown(s);
    const MouseMoveTexts t = markerMouseMove(s, s, 142, false, '.');
    EXPECT_EQ(s.marker1Pos, 142);
    EXPECT_EQ(s.marker2Pos, 396);
    EXPECT_EQ(s.grabLeft, 5);
    EXPECT_EQ(s.grabRight, 5);
    EXPECT_EQ(t.cursorText, "Cursor = 12.87 ms");
    EXPECT_EQ(t.readout.markerLabel, "Marker Difference = 23.03 ms");
}

TEST(MarkerDrag, MarkersOffOrLockedOutAreNotPicked)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;  // both markers off
    markerMouseDown(s);
    markerMouseMove(s, s, 140, true, '.');
    EXPECT_EQ(s.marker1Pos, 142);
    EXPECT_EQ(s.grabLeft, 45);

    auto tOwner = bothMarkersOn();
    InstrumentState& t = *tOwner;
    t.marker1Enabled = 0;
    t.marker1Pos = 100;
    t.marker2Pos = 103;
    markerMouseDown(t);
    markerMouseMove(t, t, 101, true, '.');  // hits both; marker 1 off, so marker 2
    EXPECT_EQ(t.marker1Pos, 100);
    EXPECT_EQ(t.marker2Pos, 101);
    EXPECT_EQ(t.marker1Grabbable, 0);
}

TEST(MarkerDrag, MarkersThreeApartMoveMarker1AndKeepMarker2)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    s.marker1Pos = 100;
    s.marker2Pos = 103;
    markerMouseDown(s);
    markerMouseMove(s, s, 101, true, '.');
    EXPECT_EQ(s.marker1Pos, 101);
    EXPECT_EQ(s.marker2Pos, 103);
    EXPECT_EQ(s.marker2Grabbable, 0);
    for (std::int32_t x : {102, 103, 110, 130, 104, 90, 120})
        markerMouseMove(s, s, x, true, '.');
    EXPECT_EQ(s.marker1Pos, 102);
    EXPECT_EQ(s.marker2Pos, 103);
    markerMouseMove(s, s, 80, true, '.');
    EXPECT_EQ(s.marker1Pos, 80);
    EXPECT_EQ(s.marker2Pos, 103);
}

TEST(MarkerDrag, MarkersNeverPass)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    markerMouseDown(s);
    markerMouseMove(s, s, 142, true, '.');
    dragTo(s, 142, 500);
    EXPECT_EQ(s.marker1Pos, 395);
    EXPECT_EQ(s.marker2Pos, 396);
    markerMouseMove(s, s, 390, true, '.');
    markerMouseMove(s, s, 396, true, '.');  // exactly onto marker 2
    EXPECT_EQ(s.marker1Pos, 395);
    markerMouseUp(s);

    auto tOwner = bothMarkersOn();
    InstrumentState& t = *tOwner;
    markerMouseDown(t);
    markerMouseMove(t, t, 396, true, '.');
    dragTo(t, 396, 0);
    EXPECT_EQ(t.marker2Pos, 143);
    EXPECT_EQ(t.marker1Pos, 142);
    EXPECT_EQ(t.marker1Grabbable, 0);
    // Exactly onto the other marker is not allowed either.
    markerMouseMove(t, t, 142, true, '.');
    EXPECT_EQ(t.marker2Pos, 143);
}

TEST(MarkerDrag, TheOtherMarkerStaysLockedUntilRelease)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    markerMouseDown(s);
    markerMouseMove(s, s, 142, true, '.');  // picks marker 1
    markerMouseMove(s, s, 396, true, '.');  // leaves its window onto marker 2
    EXPECT_EQ(s.marker1Pos, 142);
    EXPECT_EQ(s.marker2Pos, 396);
    markerMouseMove(s, s, 380, true, '.');
    EXPECT_EQ(s.marker2Pos, 396);
    markerMouseUp(s);

    markerMouseDown(s);
    markerMouseMove(s, s, 396, true, '.');
    markerMouseMove(s, s, 380, true, '.');
    EXPECT_EQ(s.marker2Pos, 380);
    EXPECT_EQ(s.marker1Grabbable, 0);
}

TEST(MarkerDrag, PointerBeyondTheDisplayIsClamped)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    s.marker1Pos = 3;
    s.marker2Pos = 508;
    markerMouseDown(s);
    MouseMoveTexts t = markerMouseMove(s, s, 3, true, '.');
    t = markerMouseMove(s, s, -20, true, '.');
    EXPECT_EQ(s.marker1Pos, 0);
    EXPECT_EQ(t.cursorText, "Cursor = 0.00 ms");
    markerMouseUp(s);

    markerMouseDown(s);
    markerMouseMove(s, s, 508, true, '.');
    t = markerMouseMove(s, s, 600, true, '.');
    EXPECT_EQ(s.marker2Pos, 512);
    EXPECT_EQ(t.cursorText, "Cursor = 46.43 ms");
}

TEST(MarkerDrag, CursorReadsTheMarkersAsTheyStoodBeforeTheMove)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    s.expanded = 1;
    markerMouseDown(s);
    const MouseMoveTexts t = markerMouseMove(s, s, 140, true, '.');
    EXPECT_EQ(s.marker1Pos, 140);
    // 142 + 254 × 140 ÷ 512 = 211 (after the move it would have been 210).
    EXPECT_EQ(t.cursorText, "Cursor = 19.13 ms");
}

TEST(MarkerDrag, CorruptMarkerColumnsLandOnTheDisplay)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    s.marker1Pos = 0;
    s.marker2Pos = 0;
    markerMouseDown(s);
    markerMouseMove(s, s, 0, true, '.');
    EXPECT_EQ(s.marker1Pos, 0);

    auto tOwner = bothMarkersOn();
    InstrumentState& t = *tOwner;
    t.marker1Pos = 512;
    t.marker2Pos = 512;
    t.marker1Enabled = 0;
    markerMouseDown(t);
    markerMouseMove(t, t, 512, true, '.');
    EXPECT_EQ(t.marker2Pos, 512);

    auto uOwner = bothMarkersOn();
    InstrumentState& u = *uOwner;
    u.marker1Pos = std::numeric_limits<std::int32_t>::max();
    u.marker2Pos = std::numeric_limits<std::int32_t>::min();
    u.grabLeft = std::numeric_limits<std::int32_t>::max();
    u.grabRight = std::numeric_limits<std::int32_t>::max();
    markerMouseMove(u, u, 256, true, '.');
    EXPECT_GE(u.marker1Pos, 0);
    EXPECT_LE(u.marker1Pos, 512);
}

TEST(MarkerSwitch, BothOnShowsTheDifference)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    MarkerSwitchTexts t = markerSwitchClick(s, s, 1, true, '.');
    EXPECT_EQ(s.marker1Enabled, 1);
    EXPECT_FALSE(t.uncheckExpandSw);
    EXPECT_FALSE(t.markerLabel.has_value());
    EXPECT_FALSE(t.statusPanel4.has_value());

    t = markerSwitchClick(s, s, 2, true, '.');
    EXPECT_EQ(s.marker2Enabled, 1);
    EXPECT_EQ(t.markerLabel, "Marker Difference = 23.03 ms");
    EXPECT_EQ(t.statusPanel4, "1/Mkr = 43 Hz");

    s.displayType = kFrequency;
    t = markerSwitchClick(s, s, 2, true, '.');
    EXPECT_EQ(t.markerLabel, "Marker Difference = 2734 Hz");
    EXPECT_EQ(t.statusPanel4, "1/Mkr = ?");
}

TEST(MarkerSwitch, TurningAMarkerOffEndsTheExpandedView)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    s.expanded = 1;
    const MarkerSwitchTexts t = markerSwitchClick(s, s, 2, false, '.');
    EXPECT_EQ(s.marker2Enabled, 0);
    EXPECT_EQ(s.marker1Enabled, 1);
    EXPECT_EQ(s.expanded, 0);
    EXPECT_TRUE(t.uncheckExpandSw);
    EXPECT_EQ(t.markerLabel, "Marker Difference = ?");
    EXPECT_FALSE(t.statusPanel4.has_value());

    auto uOwner = bothMarkersOn();
    InstrumentState& u = *uOwner;
    u.expanded = 1;
    markerSwitchClick(u, u, 1, false, '.');
    EXPECT_EQ(u.marker1Enabled, 0);
    EXPECT_EQ(u.expanded, 0);
}

TEST(MarkerSwitch, UnknownMarkerNumberChangesNothing)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    s.expanded = 1;
    const MarkerSwitchTexts t = markerSwitchClick(s, s, 3, false, '.');
    EXPECT_EQ(s.marker1Enabled, 1);
    EXPECT_EQ(s.marker2Enabled, 1);
    EXPECT_EQ(s.expanded, 1);
    EXPECT_FALSE(t.uncheckExpandSw);
    EXPECT_FALSE(t.markerLabel.has_value());
}

TEST(ExpandSwitch, RefusedWithAMarkerOff)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    s.marker1Enabled = 1;
    const ExpandOutcome o = expandSwitchClick(s, s, true);
    EXPECT_TRUE(o.refused);
    EXPECT_EQ(o.message, "Both markers must be enabled!");
    EXPECT_EQ(o.caption, "Error Message");
    EXPECT_EQ(s.expanded, 0);
}

TEST(ExpandSwitch, FollowsTheSwitchWithBothMarkersOn)
{
    auto sOwner = bothMarkersOn();
    InstrumentState& s = *sOwner;
    ExpandOutcome o = expandSwitchClick(s, s, true);
    EXPECT_FALSE(o.refused);
    EXPECT_TRUE(o.message.empty());
    EXPECT_EQ(s.expanded, 1);
    o = expandSwitchClick(s, s, false);
    EXPECT_FALSE(o.refused);
    EXPECT_EQ(s.expanded, 0);
}

TEST(Threshold, TwiceTheDialTruncatedTowardZero)
{
    auto sOwner = startupState();
    InstrumentState& s = *sOwner;
    EXPECT_EQ(thresholdDialChange(s, -12.7f), "Threshold = -25");
    EXPECT_EQ(s.triggerThreshold, -25);
    EXPECT_EQ(thresholdDialChange(s, 12.7f), "Threshold = 25");
    EXPECT_EQ(thresholdDialChange(s, -0.4f), "Threshold = 0");
    EXPECT_EQ(thresholdDialChange(s, 50.0f), "Threshold = 100");
    EXPECT_EQ(thresholdDialChange(s, -50.0f), "Threshold = -100");
    EXPECT_EQ(s.triggerThreshold, -100);
}

}  // namespace
}  // namespace varmolen
