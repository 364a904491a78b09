// Spectrum averaging and peak hold: exponential on power after an even start,
// peaks of what is shown, nothing advanced by a redraw, a channel that missed
// a block starts afresh; and on the display, averaging calms a noise floor
// while both off leave every pixel as it was.
#include "dsp/SpectrumHistory.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "display/DisplayPass.h"
#include "display/DisplayTestState.h"

using namespace varmolen;

namespace {

// A power spectrum whose every bin holds `value`.
std::array<float, kHistoryBins + 1> flat(float value)
{
    std::array<float, kHistoryBins + 1> p{};
    p.fill(value);
    return p;
}

// One new block through the history: what channel `channel` would show.
float showNewBlock(SpectrumHistory& h, int channel, float value, int average, bool peak)
{
    auto p = flat(value);
    noteDisplayPass(h, false);
    applySpectrumHistory(h, channel, p.data(), average, peak, false);
    return p[100];
}

TEST(SpectrumHistory, AveragesEvenlyAtFirstThenExponentiallyAndHoldsPeaksOfWhatIsShown)
{
    struct Case {
        const char* what;
        int average;
        bool peak;
        std::vector<float> blocks;
        std::vector<float> shown;
    };
    const Case cases[] = {
        {"off: each block as it is", 0, false, {8, 2, 4}, {8, 2, 4}},
        {"average 4: even over the first four", 4, false, {8, 4, 0, 4}, {8, 6, 4, 4}},
        {"average 4: then a new block weighs a quarter", 4, false, {4, 4, 4, 4, 8, 0}, {4, 4, 4, 4, 5, 3.75f}},
        {"peak hold: the largest so far", 0, true, {2, 8, 4, 16}, {2, 8, 8, 16}},
        {"peak hold of the average", 4, true, {8, 0, 0, 0}, {8, 8, 8, 8}},
        {"peak hold of the average, rising", 4, true, {0, 8, 8}, {0, 4, 5.333333f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SpectrumHistory h;
        for (std::size_t i = 0; i < c.blocks.size(); ++i)
            EXPECT_NEAR(showNewBlock(h, 1, c.blocks[i], c.average, c.peak), c.shown[i], 1e-5) << "block " << i;
    }
}

TEST(SpectrumHistory, RedrawsShowTheHistoryWithoutAdvancingIt)
{
    SpectrumHistory h;
    showNewBlock(h, 1, 8, 4, false);
    showNewBlock(h, 1, 0, 4, false);  // average now 4
    for (int i = 0; i < 3; ++i) {
        noteDisplayPass(h, true);
        auto p = flat(100);  // the kept block's own spectrum
        applySpectrumHistory(h, 1, p.data(), 4, false, true);
        EXPECT_FLOAT_EQ(p[1], 4);
        EXPECT_FLOAT_EQ(p[512], 4);
    }
    EXPECT_EQ(h.averagedBlocks[0], 2);
    EXPECT_FLOAT_EQ(showNewBlock(h, 1, 4, 4, false), 4);  // (8 + 0 + 4) / 3

    // Channel 2 was not drawn on that block: a redraw shows its own spectrum.
    auto p = flat(100);
    applySpectrumHistory(h, 2, p.data(), 4, false, true);
    EXPECT_FLOAT_EQ(p[1], 100);
}

TEST(SpectrumHistory, AChannelThatMissedABlockOrAResetStartsAfresh)
{
    SpectrumHistory h;
    showNewBlock(h, 1, 16, 0, true);
    showNewBlock(h, 2, 16, 0, true);
    noteDisplayPass(h, false);  // a block on which neither channel was drawn (TIME, or both off)
    EXPECT_FLOAT_EQ(showNewBlock(h, 1, 2, 0, true), 2);
    EXPECT_FLOAT_EQ(showNewBlock(h, 1, 1, 0, true), 2);
    resetSpectrumHistory(h);
    EXPECT_FLOAT_EQ(showNewBlock(h, 1, 1, 0, true), 1);
    showNewBlock(h, 1, 8, 16, true);
    restartPeakHold(h);
    EXPECT_FLOAT_EQ(showNewBlock(h, 1, 1, 16, true), 4.5f);  // the average goes on: (8 + 1) / 2
}

// Column spread of a spectrum trace's floor, away from DC and the tone.
double floorSpread(const InstrumentState& s)
{
    double sum = 0, squares = 0;
    int n = 0;
    for (int k = 150; k <= 500; ++k, ++n) {
        sum += s.chan1Trace[k];
        squares += static_cast<double>(s.chan1Trace[k]) * s.chan1Trace[k];
    }
    return std::sqrt(squares / n - (sum / n) * (sum / n));
}

TEST(SpectrumHistory, OnTheDisplayAveragingCalmsNoiseAndBothOffChangeNoPixel)
{
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 300.0);
    const auto block = [&](InstrumentState& s) {
        for (int n = 0; n < 1024; ++n)
            s.chan1Samples[n] = static_cast<std::int32_t>(noise(random) + 8000 * std::sin(2 * M_PI * 100 * n / 1024.0));
    };
    varmolen::testing::Bench plain, averaged;
    for (auto* b : {&plain, &averaged}) {
        b->s.displayType = 1;
        b->s.chan1Enabled = 1;
        b->s.chan1FreqGain = 32;  // (p * 32) >> 5 == p: the levels as they are
        b->s.chan1FreqOffset = 343;
    }
    averaged.s.features.spectrumAverage = 64;
    for (int i = 0; i < 64; ++i) {
        block(plain.s);
        averaged.s.chan1Samples = plain.s.chan1Samples;
        runDisplayPass(plain.s, plain.s, plain.s, plain.r);
        runDisplayPass(averaged.s, averaged.s, averaged.s, averaged.r);
    }
    EXPECT_LT(floorSpread(averaged.s), floorSpread(plain.s) / 3) << "64 blocks average the noise floor smooth";
    EXPECT_GT(averaged.s.chan1Trace[100], averaged.s.chan1Trace[300] + 20) << "the tone stands above it";

    // Averaging and peak hold off: the same block draws the same picture
    // as an instrument that never had them, whatever they held before.
    varmolen::testing::Bench fresh;
    fresh.s.displayType = 1;
    fresh.s.chan1Enabled = 1;
    fresh.s.chan1FreqGain = 32;
    fresh.s.chan1FreqOffset = 343;
    fresh.s.chan1Samples = plain.s.chan1Samples;
    averaged.s.features.spectrumAverage = 0;
    averaged.s.features.peakHold = false;
    runDisplayPass(fresh.s, fresh.s, fresh.s, fresh.r);
    runDisplayPass(averaged.s, averaged.s, averaged.s, averaged.r);
    EXPECT_EQ(averaged.s.chan1Trace, fresh.s.chan1Trace);
    EXPECT_TRUE(std::equal(averaged.r.data(), averaged.r.data() + Raster::kWidth * Raster::kHeight, fresh.r.data()));
}

TEST(SpectrumHistory, ARedrawOfAHeldAveragedSpectrumDrawsTheSamePictureAndAdvancesNothing)
{
    varmolen::testing::Bench b;
    b.s.displayType = 1;
    b.s.chan1Enabled = 1;
    b.s.features.spectrumAverage = 16;
    b.s.features.peakHold = true;
    for (const double amplitude : {12000.0, 3000.0, 6000.0}) {
        for (int n = 0; n < 1024; ++n)
            b.s.chan1Samples[n] = static_cast<std::int32_t>(amplitude * std::sin(2 * M_PI * 40.5 * n / 1024.0));
        runDisplayPass(b.s, b.s, b.s, b.r);
    }
    const auto picture = b.s.chan1Trace;
    const SpectrumHistory before = b.s.spectrumHistory;
    // Held: a new block arrives but is not drawn; a control asks for a redraw.
    b.s.displayHold = 1;
    b.s.chan1Samples.fill(0);
    for (int i = 0; i < 3; ++i)
        runRedrawPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.s.chan1Trace, picture);
    EXPECT_EQ(b.s.spectrumHistory.averagedBlocks, before.averagedBlocks);
    EXPECT_EQ(b.s.spectrumHistory.passes, before.passes);
    EXPECT_EQ(b.s.spectrumHistory.peak, before.peak);
    // A restart (a new rate, input or display type) waits for the next new
    // block: the held picture, drawn again, still shows what it showed.
    resetSpectrumHistory(b.s.spectrumHistory);
    runRedrawPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.s.chan1Trace, picture);
}

}  // namespace
