// Pictures of the record: which span the sweep takes (roll, triggered with
// its pre-trigger part and holdoff, Auto and Normal without a trigger),
// a single-sample spike drawn at its column in a ten-second span, and the
// axis, strip and cursor reading the same time at every column; the
// expanded view between the markers: its spikes, readouts and Exp off.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "display/AxisTicks.h"
#include "display/DisplayPass.h"
#include "display/MarkerReadouts.h"
#include "display/ReadoutScales.h"
#include "display/RecordSweep.h"
#include "display/RecordTraces.h"
#include "display/DisplayTestState.h"
#include "dsp/TimeBase.h"

namespace varmolen {
namespace {

using testing::Bench;

constexpr std::uint32_t kLime = 0x00FF00;

// Channel 1 alone at unit gain on baseline 200, trigger on channel 1, rising
// edge at level 0, the time base at `perDiv`.
Bench recordBench(double perDiv)
{
    Bench b;
    b.s.gridEnabled = 0;
    b.s.chan1Enabled = 1;
    b.s.chan2Enabled = 0;
    b.s.chan1Color = kLime;
    b.s.chan1TimeGain = 1024;
    b.s.chan1TimeOffset = 200;
    b.s.chan1TimeRange = 1;
    b.s.displayType = kTimeDisplayType;
    b.s.traceMode = kYtTraceMode;
    b.s.triggerEnabled = 1;
    b.s.triggerChannel = 1;
    b.s.triggerSlope = kRisingSlope;
    b.s.triggerShape = kSquareTrigger;
    b.s.triggerThreshold = 0;
    b.s.features.timePerDiv = perDiv;
    return b;
}

// Appends `frames` frames of channel 1 at -5000 with a rising edge to +5000
// (three frames long) at each of `edges` (absolute frames).
void appendEdges(SampleRing& ring, std::int64_t frames, const std::vector<std::int64_t>& edges)
{
    std::vector<float> a(static_cast<std::size_t>(frames)), zero(a.size(), 0.0f);
    const std::int64_t from = ring.end();
    for (std::int64_t k = 0; k < frames; ++k) {
        a[static_cast<std::size_t>(k)] = -5000.0f;
        for (const std::int64_t e : edges)
            if (from + k >= e && from + k < e + 3)
                a[static_cast<std::size_t>(k)] = 5000.0f;
    }
    ring.append(a.data(), zero.data(), a.size(), true);
}

TEST(RecordSweep, TakesTheSpanTheTimeBaseAndTheTriggerSweepAskFor)
{
    constexpr std::uint32_t kRate = 8000;
    using Taken = RecordSweep::Taken;
    // 10 ms a division at 8000 Hz: 800 frames a span; Auto waits 100 ms (800 frames).
    Bench b = recordBench(0.01);
    SampleRing ring(kRate * 10);
    ring.restart(kRate);
    RecordSweep sweep;
    const auto advance = [&] { return sweep.advance(b.s, b.s, ring, {0.0f, 0.0f}, 513); };
    const RecordPicture& p = b.s.recordPicture;

    appendEdges(ring, 100, {});
    EXPECT_EQ(advance(), Taken::Nothing) << "the search starts at the newest frame";
    appendEdges(ring, 1000, {300, 700});
    EXPECT_EQ(advance(), Taken::Triggered);
    EXPECT_EQ(p.trigger, 300) << "the edge at 700 has not yet its whole span";
    EXPECT_EQ(p.first, 300);
    appendEdges(ring, 500, {});
    EXPECT_EQ(advance(), Taken::Triggered);
    EXPECT_EQ(p.trigger, 700);

    // A quarter of the span before the trigger point; a 30 ms holdoff after
    // the edge at 2000 passes over the one 20 ms later, not the one 40 ms
    // later, which is the newest found and shows.
    b.s.features.triggerPosition = 0.25;
    b.s.features.holdoffSeconds = 0.03;
    appendEdges(ring, 2000, {2000, 2160, 2320});
    EXPECT_EQ(advance(), Taken::Triggered);
    EXPECT_EQ(p.trigger, 2320);
    EXPECT_EQ(p.first, 2120);
    EXPECT_DOUBLE_EQ(p.position, 0.25);

    // No trigger: Auto shows the newest span once 100 ms passed, untriggered.
    appendEdges(ring, 400, {});
    EXPECT_EQ(advance(), Taken::Nothing);
    appendEdges(ring, 500, {});
    EXPECT_EQ(advance(), Taken::Untriggered);
    EXPECT_EQ(p.first, ring.end() - 800);
    EXPECT_EQ(p.trigger, -1);
    // Normal keeps the last picture however long no trigger comes.
    b.s.features.triggerSweep = kNormalSweep;
    appendEdges(ring, 3000, {});
    EXPECT_EQ(advance(), Taken::Nothing);
    const std::int64_t edge = ring.end() + 100;
    appendEdges(ring, 1000, {edge});
    EXPECT_EQ(advance(), Taken::Triggered);
    EXPECT_EQ(p.trigger, edge);

    // With the trigger off, and at 100 ms a division and more (roll), the
    // newest span at every pass.
    b.s.triggerEnabled = 0;
    appendEdges(ring, 10, {});
    EXPECT_EQ(advance(), Taken::Untriggered);
    EXPECT_EQ(p.first, ring.end() - 800);
    b.s.triggerEnabled = 1;
    b.s.features.timePerDiv = 0.1;
    appendEdges(ring, 10, {ring.end() + 2});
    EXPECT_EQ(advance(), Taken::Untriggered);
    EXPECT_TRUE(p.roll);
    // Rolling, the span starts at the column that holds its first frame.
    EXPECT_LE(p.first, ring.end() - 8000);
    EXPECT_GT(static_cast<double>(p.first), static_cast<double>(ring.end() - 8000) - p.framesPerColumn());
    // Triggered by choice at 100 ms a division; rolling by choice below it.
    b.s.features.timeBaseMode = kMainTimeBase;
    appendEdges(ring, 9000, {ring.end() + 5});
    EXPECT_EQ(advance(), Taken::Triggered);
    EXPECT_FALSE(p.roll);
    b.s.features.timePerDiv = 0.01;
    b.s.features.timeBaseMode = kRollTimeBase;
    appendEdges(ring, 10, {ring.end() + 2});
    EXPECT_EQ(advance(), Taken::Untriggered);
    EXPECT_TRUE(p.roll);

    // A single sweep takes only a span of frames recorded after it was
    // armed: rolling, the first whole span; triggered, the first edge whose
    // span (a quarter of it before the edge) begins after.
    // Armed at the next pass, it ends untriggered once a whole span (800
    // frames) was recorded after that, the span starting where it was armed.
    const auto expectWholeSpanAfterArming = [&] {
        const std::int64_t at = ring.end();
        EXPECT_EQ(advance(), Taken::Nothing);
        appendEdges(ring, 799, {});
        EXPECT_EQ(advance(), Taken::Nothing);
        appendEdges(ring, 1, {});
        EXPECT_EQ(advance(), Taken::Untriggered);
        EXPECT_EQ(p.first, at);
    };
    b.s.singleSweep = 1;
    expectWholeSpanAfterArming();
    b.s.singleSweep = 0;
    b.s.features.timeBaseMode = kMainTimeBase;
    b.s.features.holdoffSeconds = 0.0;
    EXPECT_EQ(advance(), Taken::Nothing);
    b.s.singleSweep = 1;
    const std::int64_t armed = ring.end();
    EXPECT_EQ(advance(), Taken::Nothing);
    appendEdges(ring, 1000, {armed + 100, armed + 300});
    EXPECT_EQ(advance(), Taken::Triggered);
    EXPECT_EQ(p.trigger, armed + 300);
    EXPECT_EQ(p.first, armed + 100);
    // Normal without a trigger point: a forced trigger takes the newest span.
    b.s.singleSweep = 0;
    appendEdges(ring, 100, {});
    EXPECT_EQ(advance(), Taken::Nothing);
    sweep.force();
    EXPECT_EQ(advance(), Taken::Untriggered);
    EXPECT_EQ(p.first, ring.end() - 800);
    // A single sweep armed to end untriggered ends as Auto would, with a
    // whole span recorded after it was armed.
    b.s.features.triggerSweep = kAutoSweep;
    b.s.singleSweep = 1;
    sweep.armUntriggeredSingle();
    expectWholeSpanAfterArming();

    // Soon after the start a rolling picture draws the little there is.
    SampleRing fresh(kRate * 10);
    fresh.restart(kRate);
    RecordSweep rolling;
    b.s.singleSweep = 0;
    b.s.features.timeBaseMode = kRollTimeBase;
    appendEdges(fresh, 100, {});
    EXPECT_EQ(rolling.advance(b.s, b.s, fresh, {0.0f, 0.0f}, 513), Taken::Untriggered);
    EXPECT_LE(p.first, 100 - 800);
}

// A ten-second span at 44100 Hz (roll, 1 s a division): a spike of a single
// frame draws up to its row in the column its time falls in, wherever it lies.
TEST(RecordPicture, ASingleFrameSpikeInATenSecondSpanShowsAtItsColumn)
{
    constexpr std::uint32_t kRate = 44100;
    const std::int64_t span = 10 * kRate;
    for (const std::int64_t at :
         {std::int64_t{0}, std::int64_t{1}, std::int64_t{63}, std::int64_t{220500}, span - 65, span - 1}) {
        Bench b = recordBench(1.0);
        SampleRing ring(static_cast<std::size_t>(span));
        ring.restart(kRate);
        std::vector<float> a(static_cast<std::size_t>(span), 0.0f), zero(a.size(), 0.0f);
        a[static_cast<std::size_t>(at)] = 150.0f;  // 150 rows above the baseline at unit gain
        ring.append(a.data(), zero.data(), a.size(), true);
        RecordSweep sweep;
        ASSERT_EQ(sweep.advance(b.s, b.s, ring, {0.0f, 0.0f}, b.r.width()), RecordSweep::Taken::Untriggered);
        ASSERT_EQ(b.s.recordPicture.first, 0);
        runDisplayPass(b.s, b.s, b.s, b.r);
        const int column = static_cast<int>(static_cast<double>(at) / span * 510.0);
        int found = -1;
        for (int x = 0; x <= 512 && found < 0; ++x) {
            if (b.r.pixel(x, 200 - 150) == kLime)
                found = x;
        }
        EXPECT_EQ(found, column) << "spike at frame " << at;
        EXPECT_EQ(b.CountRow(200 - 151, kLime), 0) << "nothing above the spike";
    }
}

// A rolling picture kept up to date from the new frames only is the picture
// taken afresh from the whole record, pass after pass: buffers of several
// sizes, a ring that wraps and forgets, a DC level that moves, a picture
// wider than its span has frames for and one resized.
TEST(RecordPicture, ARollingPictureKeptFromPassToPassIsTheOneTakenAfresh)
{
    const struct {
        std::uint32_t rate;
        double perDiv;
        std::size_t ringFrames;
        int width;
    } cases[] = {
        {44100, 0.1, 60000, 513}, {8000, 0.5, 41000, 1025}, {192000, 0.01, 30000, 777}, {8000, 0.05, 9000, 4096}};
    for (const auto& c : cases) {
        SampleRing ring(c.ringFrames);
        ring.restart(c.rate);
        RollingColumns kept;
        auto rolled = std::make_unique<RecordPicture>();
        auto fresh = std::make_unique<RecordPicture>();
        std::uint32_t seed = 7;
        std::vector<float> a(5000), z(5000);
        for (int pass = 0; pass < 60; ++pass) {
            const std::size_t frames = 1 + (pass * 977) % 4999;
            for (std::size_t i = 0; i < frames; ++i) {
                seed = seed * 1664525u + 1013904223u;
                a[i] = static_cast<float>(static_cast<int>(seed >> 16) % 20001 - 10000);
                z[i] = static_cast<float>(static_cast<int>(seed >> 8) % 301);
            }
            ring.append(a.data(), z.data(), frames, true);
            const std::array<float, 2> dc{static_cast<float>(pass % 7), -static_cast<float>(pass % 3)};
            const int width = pass == 40 ? c.width / 2 + 1 : c.width;
            takeRollingPicture(ring, c.perDiv, dc, width, *rolled, kept);
            RollingColumns once;
            takeRollingPicture(ring, c.perDiv, dc, width, *fresh, once);
            ASSERT_EQ(rolled->first, fresh->first);
            ASSERT_EQ(rolled->columns, fresh->columns);
            for (int channel : {1, 2}) {
                for (int k = 0; k < rolled->columns; ++k) {
                    const auto& r = rolled->of(channel)[static_cast<std::size_t>(k)];
                    const auto& f = fresh->of(channel)[static_cast<std::size_t>(k)];
                    ASSERT_TRUE(std::memcmp(&r, &f, sizeof r) == 0)
                        << c.rate << " Hz, pass " << pass << ", channel " << channel << ", column " << k;
                }
            }
        }
    }
}

// The axis labels, the strip's right end and the cursor read one time per
// column for every step at 8000, 44100 and 192000 Hz.
TEST(RecordPicture, AxisStripAndCursorReadTheSameTimes)
{
    for (const std::uint32_t rate : {8000u, 44100u, 192000u}) {
        for (const double perDiv : timeBaseSteps(rate, 10)) {
            Bench b = recordBench(perDiv);
            b.s.sampleRate = rate;
            const std::vector<AxisTick> ticks = timeTicks(b.s, b.s, '.');
            ASSERT_EQ(ticks.size(), 11u);
            const std::string unit = timeAxisUnit(b.s, b.s);
            const double scale = unit == "µs" ? 1e-6 : unit == "ms" ? 1e-3 : 1.0;
            for (const AxisTick& t : ticks) {
                const double labelled = std::stod(t.text) * scale;
                // The cursor names the sample: within half a sample's time.
                const double cursor = std::stod(readoutMs(b.s, b.s, static_cast<std::int32_t>(t.column), '.')) * 1e-3;
                EXPECT_NEAR(labelled, cursor, 0.5 / rate) << perDiv << " s/div at column " << t.column;
                EXPECT_NEAR(labelled, t.column / 51.0 * perDiv, perDiv * 1e-9);
            }
            const TimeBaseTexts texts = computeTimeBase(b.s, b.s, 100.0f, '.');
            EXPECT_EQ(texts.hiFreqLabel, readoutMs(b.s, b.s, 512, '.') + " ms");
        }
    }
}

// A ten-second span at 44100 Hz (1 s a division), expanded between the
// markers: a spike of a single frame draws up to its row in the pixel column
// its time falls in within the stretch, and two spikes in one column of the
// whole picture stand apart once the stretch is narrow enough.
TEST(RecordPicture, ExpandedASingleFrameSpikeShowsAtItsColumnInTheStretch)
{
    constexpr std::uint32_t kRate = 44100;
    constexpr std::int64_t kSpan = 10 * kRate;
    const struct {
        std::int32_t marker1, marker2;
        std::int64_t spikes[2];  // frames; -1 none
    } cases[] = {
        {0, 512, {123457, -1}}, {37, 301, {50001, 201234}}, {200, 210, {177000, 177040}}, {505, 512, {kSpan - 1, -1}}};
    for (const auto& c : cases) {
        Bench b = recordBench(1.0);
        b.s.marker1Enabled = 1;
        b.s.marker2Enabled = 1;
        b.s.marker1Pos = c.marker1;
        b.s.marker2Pos = c.marker2;
        b.s.expanded = 1;
        SampleRing ring(static_cast<std::size_t>(kSpan));
        ring.restart(kRate);
        std::vector<float> a(static_cast<std::size_t>(kSpan), 0.0f), zero(a.size(), 0.0f);
        for (const std::int64_t at : c.spikes)
            if (at >= 0)
                a[static_cast<std::size_t>(at)] = 150.0f;  // 150 rows above the baseline at unit gain
        ring.append(a.data(), zero.data(), a.size(), true);
        RecordSweep sweep;
        ASSERT_EQ(sweep.advance(b.s, b.s, ring, {0.0f, 0.0f}, b.r.width()), RecordSweep::Taken::Untriggered);
        runDisplayPass(b.s, b.s, b.s, b.r);
        std::vector<int> expected;
        for (const std::int64_t at : c.spikes) {
            if (at < 0)
                continue;
            // The spike's column of the whole picture, then its place in the stretch.
            const double column = static_cast<double>(at) / kSpan * 510.0;
            expected.push_back(static_cast<int>((column - c.marker1) * 512.0 / (c.marker2 - c.marker1)));
        }
        std::vector<int> found;
        for (int x = 0; x <= 512; ++x)
            if (b.r.pixel(x, 200 - 150) == kLime)
                found.push_back(x);
        EXPECT_EQ(found, expected) << "markers " << c.marker1 << ", " << c.marker2;
        EXPECT_EQ(b.CountRow(200 - 151, kLime), 0) << "nothing above the spikes";
    }
}

// Expanded, the cursor at the view's two ends reads the markers' times, as
// the block's expanded view does, and between them the time of its place in
// the stretch, a fraction of a column included; so do the axis's lines.
TEST(RecordPicture, ExpandedCursorAndAxisReadTheStretchBetweenTheMarkers)
{
    const struct {
        double perDiv;
        std::int32_t marker1, marker2;
    } cases[] = {{1.0, 0, 512}, {0.002, 100, 101}, {0.5, 37, 301}, {0.0001, 511, 512}};
    for (const auto& c : cases) {
        Bench b = recordBench(c.perDiv);
        b.s.sampleRate = 44100;
        b.s.marker1Enabled = 1;
        b.s.marker2Enabled = 1;
        b.s.marker1Pos = c.marker1;
        b.s.marker2Pos = c.marker2;
        b.s.expanded = 1;
        const auto cursor = [&](std::int32_t x) { return cursorReadout(b.s, b.s, x, '.'); };
        const auto at = [&](double column) {
            return "Cursor = " +
                   FormatMs(static_cast<std::uint32_t>(std::llround(column / 51.0 * c.perDiv * 1e5)), '.') + " ms";
        };
        EXPECT_EQ(cursor(0), "Cursor = " + FormatMs(readoutTime(b.s, b.s, c.marker1), '.') + " ms") << c.perDiv;
        EXPECT_EQ(cursor(512), "Cursor = " + FormatMs(readoutTime(b.s, b.s, c.marker2), '.') + " ms") << c.perDiv;
        EXPECT_EQ(cursor(256), at((c.marker1 + c.marker2) / 2.0)) << c.perDiv;
        const std::vector<AxisTick> ticks = timeTicks(b.s, b.s, '.');
        const std::string unit = timeAxisUnit(b.s, b.s);
        const double scale = unit == "µs" ? 1e-6 : unit == "ms" ? 1e-3 : 1.0;
        ASSERT_EQ(ticks.size(), 11u);
        EXPECT_NEAR(std::stod(ticks[0].text) * scale, c.marker1 / 51.0 * c.perDiv, c.perDiv * 1e-4);
        EXPECT_NEAR(std::stod(ticks[10].text) * scale,
                    (c.marker1 + (c.marker2 - c.marker1) * 510.0 / 512.0) / 51.0 * c.perDiv, c.perDiv * 1e-4);
        b.s.expanded = 0;
        EXPECT_EQ(cursor(256), "Cursor = " + FormatMs(readoutTime(b.s, b.s, 256), '.') + " ms") << "Exp off";
    }
}

// Exp on and off, and a marker moved, draw a live picture again at once.
// A held picture: Exp on draws the stretch from the record, Exp off gives
// back the whole picture bit for bit; once the record moved past the held
// frames, a stretch the markers moved to still shows, from the whole
// picture's columns.
TEST(RecordPicture, ExpandedHeldPictureRedrawsAndExpOffGivesTheWholeBack)
{
    constexpr std::uint32_t kRate = 8000;
    Bench b = recordBench(0.1);  // 8000 frames a span
    b.s.marker1Enabled = 1;
    b.s.marker2Enabled = 1;
    b.s.marker1Pos = 100;
    b.s.marker2Pos = 140;
    SampleRing ring(12000);
    ring.restart(kRate);
    std::vector<float> a(8000), zero(a.size(), 0.0f);
    for (std::size_t i = 0; i < a.size(); ++i)
        a[i] = static_cast<float>(std::round(100.0 * std::sin(static_cast<double>(i) * 0.05)));
    ring.append(a.data(), zero.data(), a.size(), true);
    RecordSweep sweep;
    ASSERT_EQ(sweep.advance(b.s, b.s, ring, {0.0f, 0.0f}, b.r.width()), RecordSweep::Taken::Untriggered);
    runDisplayPass(b.s, b.s, b.s, b.r);
    const std::vector<std::uint32_t> whole(b.r.data(), b.r.data() + b.r.width() * b.r.height());
    const auto redraw = [&] {
        takeExpandedRecord(b.s, b.s, ring);
        runRedrawPass(b.s, b.s, b.s, b.r);
        return std::vector<std::uint32_t>(b.r.data(), b.r.data() + b.r.width() * b.r.height());
    };
    // Live, Exp on or off draws the picture again at once, the other controls at the next picture.
    EXPECT_FALSE(heldPictureWantsRedraw(b.s, b.s));
    b.s.expanded = 1;
    EXPECT_TRUE(heldPictureWantsRedraw(b.s, b.s));
    redraw();
    EXPECT_FALSE(heldPictureWantsRedraw(b.s, b.s));
    b.s.marker2Pos = 141;
    EXPECT_TRUE(heldPictureWantsRedraw(b.s, b.s)) << "a marker moved";
    b.s.marker2Pos = 140;
    b.s.displayHold = 1;
    const std::vector<std::uint32_t> expanded = redraw();
    ASSERT_TRUE(b.s.expandedRecord.shows(b.s.recordPicture, 100.0, 140.0));
    // The trace differs, not only the marker lines the expanded view hides.
    int changed = 0;
    for (int y = 0; y < b.r.height(); ++y)
        for (int x = 0; x < b.r.width(); ++x)
            changed += x != 100 && x != 140 &&
                       expanded[static_cast<std::size_t>(y * b.r.width() + x)] !=
                           whole[static_cast<std::size_t>(y * b.r.width() + x)];
    EXPECT_GT(changed, 100);
    b.s.expanded = 0;
    EXPECT_EQ(redraw(), whole) << "Exp off";
    // The record moves past the held frames; the markers move.
    ring.append(a.data(), zero.data(), a.size(), true);
    ASSERT_GT(ring.oldest(), b.s.recordPicture.first + 3000);
    b.s.expanded = 1;
    b.s.marker1Pos = 10;
    b.s.marker2Pos = 60;
    redraw();
    const ExpandedPicture& e = b.s.expandedRecord;
    ASSERT_TRUE(e.shows(b.s.recordPicture, 10.0, 60.0));
    const auto& whole1 = b.s.recordPicture.chan1;
    for (int q = 0; q < e.picture.columns; ++q) {
        const auto& got = e.picture.chan1[static_cast<std::size_t>(q)];
        ASSERT_FALSE(std::isnan(got.min) || std::isnan(got.max)) << "pixel " << q;
        // Within the whole picture's columns around the one it shows (513 pixels: column = pixel).
        const int k = (10 * 512 + 50 * q) / 512;
        float low = whole1[static_cast<std::size_t>(k)].min;
        float high = whole1[static_cast<std::size_t>(k)].max;
        for (const int n : {k - 1, k + 1}) {
            low = std::min(low, whole1[static_cast<std::size_t>(n)].min);
            high = std::max(high, whole1[static_cast<std::size_t>(n)].max);
        }
        EXPECT_GE(got.min, low) << "pixel " << q;
        EXPECT_LE(got.max, high) << "pixel " << q;
    }
}

}  // namespace
}  // namespace varmolen
