#include "display/DisplayPass.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "display/DisplayTestState.h"

using namespace varmolen;
using varmolen::testing::Bench;

namespace {
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;
constexpr std::uint32_t kTeal = 0x808000;
constexpr std::uint32_t kMagenta = 0xFF00FF;
constexpr std::uint32_t kLime = 0x00FF00;
constexpr std::uint32_t kBlue = 0xFF0000;
}  // namespace

TEST(DisplayPass, BackgroundAndGraticuleColoursBySchemes)
{
    struct Case {
        int scheme;
        std::uint32_t background, grid;
    };
    for (const Case c : {Case{1, kWhite, kTeal}, Case{2, kBlack, kTeal}, Case{3, kTeal, kBlack}}) {
        Bench b;
        b.r.fill(0x123456);
        b.s.backgroundScheme = c.scheme;
        EXPECT_FALSE(runDisplayPass(b.s, b.s, b.s, b.r));
        EXPECT_EQ(b.r.pixel(300, 300), c.background) << c.scheme;
        EXPECT_EQ(b.r.pixel(512, 342), c.background) << c.scheme;
        // TIME graticule: verticals every 51 columns, horizontals every 34 rows.
        EXPECT_EQ(b.r.pixel(51, 100), c.grid) << c.scheme;
        EXPECT_EQ(b.r.pixel(510, 100), c.grid) << c.scheme;
        EXPECT_EQ(b.r.pixel(300, 34), c.grid) << c.scheme;
        EXPECT_EQ(b.r.pixel(300, 340), c.grid) << c.scheme;
        EXPECT_EQ(b.r.pixel(51, 340), c.grid);
        EXPECT_EQ(b.r.pixel(51, 341), c.background);  // verticals end at row 340
        EXPECT_EQ(b.r.pixel(511, 34), c.background);  // horizontals end before 511
        EXPECT_EQ(b.r.pixel(64, 100), c.background);
        int gridPixels = 0;
        for (int y = 0; y < 343; ++y)
            gridPixels += b.CountRow(y, c.grid);
        // 11 rows of 510 plus 11 columns of 340, less the crossings of the
        // columns 51..510 with the rows 34..340
        EXPECT_EQ(gridPixels, 11 * 510 + 11 * 340 - 10 * 10) << c.scheme;
    }
}

TEST(DisplayPass, FrequencyGraticuleHasEightColumns)
{
    Bench b;
    b.s.displayType = 1;
    runDisplayPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.r.pixel(64, 100), kTeal);
    EXPECT_EQ(b.r.pixel(512, 100), kTeal);
    EXPECT_EQ(b.r.pixel(51, 100), kWhite);
}

TEST(DisplayPass, UnknownSchemeKeepsTheOldPictureAndGridCanBeOff)
{
    Bench b;
    b.r.fill(0x123456);
    b.s.backgroundScheme = 0;
    b.s.gridEnabled = 0;
    runDisplayPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.CountAll(0x123456), 513 * 343);
}

TEST(DisplayPass, MarkerLinesAndHint)
{
    Bench b;
    b.s.gridEnabled = 0;
    b.s.marker1Enabled = 1;
    b.s.marker1Pos = 142;
    b.s.marker2Pos = 396;
    EXPECT_TRUE(runDisplayPass(b.s, b.s, b.s, b.r));
    EXPECT_EQ(b.r.pixel(142, 340), kMagenta);
    EXPECT_EQ(b.r.pixel(142, 1), kMagenta);
    EXPECT_EQ(b.r.pixel(142, 0), kWhite);
    EXPECT_EQ(b.CountAll(kMagenta), 340);
    b.s.marker2Enabled = 1;
    EXPECT_TRUE(runDisplayPass(b.s, b.s, b.s, b.r));
    EXPECT_EQ(b.CountAll(kMagenta), 680);
    b.s.expanded = 1;
    EXPECT_TRUE(runDisplayPass(b.s, b.s, b.s, b.r));
    EXPECT_EQ(b.CountAll(kMagenta), 0);
    b.s.marker1Enabled = 0;
    b.s.marker2Enabled = 0;
    EXPECT_FALSE(runDisplayPass(b.s, b.s, b.s, b.r));
    // Marker positions far outside (a damaged file) draw nothing and harm nothing.
    b.s.expanded = 0;
    b.s.marker1Enabled = 1;
    b.s.marker1Pos = -2147483647 - 1;
    b.s.marker2Enabled = 1;
    b.s.marker2Pos = 2147483647;
    EXPECT_TRUE(runDisplayPass(b.s, b.s, b.s, b.r));
    EXPECT_EQ(b.CountAll(kMagenta), 0);
}

TEST(DisplayPass, TriggerChannelIsDrawnFirst)
{
    for (int source : {1, 2}) {
        Bench b;
        b.s.gridEnabled = 0;
        b.s.chan1Enabled = 1;
        b.s.chan2Enabled = 1;
        b.s.chan1Color = kLime;
        b.s.chan2Color = kBlue;
        b.s.chan1TimeOffset = 150;
        b.s.chan2TimeOffset = 150;
        b.s.triggerChannel = source;
        runDisplayPass(b.s, b.s, b.s, b.r);
        // Both flat on row 150; the one drawn last covers the other.
        EXPECT_EQ(b.r.pixel(300, 150), source == 1 ? kBlue : kLime);
    }
}

// Drawing a held picture again only draws: whatever trigger settings and
// whatever froze the picture, Hold, Single, the last search's results (which
// the next block's second channel and the Trig'd lamp go by) and the record
// of the picture stay as the last new block left them, even when the
// controls changed so that a search of the kept blocks finds other points.
TEST(DisplayPass, ARedrawLeavesAcquisitionAsItWas)
{
    enum class Freeze { Hold, SingleArmed, SingleFrozen };
    std::mt19937 random(19);
    std::normal_distribution<double> noise(0.0, 2500.0);
    for (const int shape : {1, 2})
        for (const int chop : {1, 0})
            for (const int source : {1, 2})
                for (const Freeze freeze : {Freeze::Hold, Freeze::SingleArmed, Freeze::SingleFrozen}) {
                    SCOPED_TRACE(::testing::Message() << "shape " << shape << ", chop " << chop << ", source " << source
                                                      << ", freeze " << static_cast<int>(freeze));
                    Bench b;
                    b.s.chan1Enabled = 1;
                    b.s.chan2Enabled = 1;
                    b.s.triggerEnabled = 1;
                    b.s.triggerShape = shape;
                    b.s.chopMode = static_cast<flag>(chop);
                    b.s.triggerChannel = source;
                    b.s.chan1TimeGain = 40;
                    b.s.chan2TimeGain = 40;
                    const auto newBlock = [&] {
                        for (int i = 0; i < 1024; ++i) {
                            b.s.chan1Samples[i] = static_cast<std::int32_t>(8000 * std::sin(i * 0.13) + noise(random));
                            b.s.chan2Samples[i] = static_cast<std::int32_t>(6000 * std::sin(i * 0.05) + noise(random));
                        }
                    };
                    for (int i = 0; i < 4; ++i) {
                        newBlock();
                        runDisplayPass(b.s, b.s, b.s, b.r);
                    }
                    if (freeze == Freeze::Hold) {
                        b.s.displayHold = 1;
                    } else {
                        b.s.singleSweep = 1;
                        if (freeze == Freeze::SingleFrozen) {
                            newBlock();
                            runDisplayPass(b.s, b.s, b.s, b.r);
                            ASSERT_EQ(b.s.displayHold, 1);
                        }
                    }
                    newBlock();  // arrives, but is not drawn
                    b.s.chan1TimeGain = 97;
                    b.s.chan2TimeGain = 13;
                    struct Acquisition {
                        flag displayHold, singleSweep, crossingSeen, triggerFound;
                        std::int32_t triggerIndex;
                        std::array<flag, 2> traceKept;
                        std::array<KeptBlock, 2> keptBlocks;
                        std::array<std::int32_t, kArrayLength> chan1Samples;
                        std::array<std::int32_t, kArrayLength> chan2Samples;
                    };
                    const auto before = std::make_unique<Acquisition>(Acquisition{
                        b.s.displayHold, b.s.singleSweep, b.s.crossingSeen, b.s.triggerFound, b.s.triggerIndex,
                        b.s.traceKept, b.s.keptBlocks, b.s.chan1Samples, b.s.chan2Samples});
                    runRedrawPass(b.s, b.s, b.s, b.r);
                    EXPECT_EQ(b.s.displayHold, before->displayHold);
                    EXPECT_EQ(b.s.singleSweep, before->singleSweep);
                    EXPECT_EQ(b.s.triggerIndex, before->triggerIndex);
                    EXPECT_EQ(b.s.crossingSeen, before->crossingSeen);
                    EXPECT_EQ(b.s.triggerFound, before->triggerFound);
                    EXPECT_EQ(b.s.traceKept, before->traceKept);
                    for (int c = 0; c < 2; ++c) {
                        EXPECT_EQ(b.s.keptBlocks[c].chan1, before->keptBlocks[c].chan1) << c;
                        EXPECT_EQ(b.s.keptBlocks[c].traceStart, before->keptBlocks[c].traceStart) << c;
                    }
                    EXPECT_EQ(b.s.chan1Samples, before->chan1Samples) << "the live block";
                    EXPECT_EQ(b.s.chan2Samples, before->chan2Samples) << "the live block";
                }
}

// A redraw draws the blocks the picture came from: with the controls as they
// were, it gives the picture those blocks made, whatever block is live now.
TEST(DisplayPass, ARedrawDrawsTheKeptBlocksNotTheLiveOne)
{
    for (const std::int32_t type : {kTimeDisplayType, kFrequencyDisplayType})
        for (const std::int32_t mode : {kYtTraceMode, 0}) {
            SCOPED_TRACE(::testing::Message() << "display type " << type << ", trace mode " << mode);
            Bench b;
            b.s.displayType = type;
            b.s.traceMode = mode;
            b.s.chan1Enabled = 1;
            b.s.chan2Enabled = 1;
            b.s.chan1TimeGain = 40;
            b.s.chan2TimeGain = 40;
            for (int i = 0; i < 1024; ++i) {
                b.s.chan1Samples[i] = static_cast<std::int32_t>(8000 * std::sin(i * 0.13));
                b.s.chan2Samples[i] = static_cast<std::int32_t>(6000 * std::sin(i * 0.05));
            }
            runDisplayPass(b.s, b.s, b.s, b.r);
            std::vector<std::uint32_t> drawn;
            for (int y = 0; y < Raster::kHeight; ++y)
                for (int x = 0; x < Raster::kWidth; ++x)
                    drawn.push_back(b.r.pixel(x, y));
            b.s.displayHold = 1;
            for (int i = 0; i < 1024; ++i) {
                b.s.chan1Samples[i] = static_cast<std::int32_t>(3000 * std::sin(i * 0.41));
                b.s.chan2Samples[i] = -b.s.chan1Samples[i];
            }
            runRedrawPass(b.s, b.s, b.s, b.r);
            int differing = 0;
            for (int y = 0; y < Raster::kHeight; ++y)
                for (int x = 0; x < Raster::kWidth; ++x)
                    differing += b.r.pixel(x, y) != drawn[static_cast<std::size_t>(y * Raster::kWidth + x)];
            EXPECT_EQ(differing, 0);
        }
}
