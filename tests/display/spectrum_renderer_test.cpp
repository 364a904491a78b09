#include "display/SpectrumRenderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "display/DisplayPass.h"
#include "display/DisplayTestState.h"

using namespace varmolen;
using varmolen::testing::Bench;

namespace {

constexpr std::uint32_t kLime = 0x00FF00;

Bench MakeFreqBench()
{
    Bench b;
    b.s.displayType = 1;
    b.s.gridEnabled = 0;
    b.s.chan1Enabled = 1;
    b.s.chan1Color = kLime;
    return b;
}

void Tone(InstrumentState& s, double bin, double amplitude)
{
    for (int n = 0; n < 1024; ++n)
        s.chan1Samples[n] = static_cast<std::int32_t>(std::lround(amplitude * std::sin(2 * M_PI * bin * n / 1024.0)));
}

int PeakColumn(const InstrumentState& s)
{
    int best = 0;
    for (int k = 0; k <= 512; ++k)
        if (s.chan1Trace[k] > s.chan1Trace[best])
            best = k;
    return best;
}

}  // namespace

TEST(Spectrum, SilenceIsAFlatLineOnTheBaseline)
{
    Bench b = MakeFreqBench();
    runDisplayPass(b.s, b.s, b.s, b.r);
    for (int k = 0; k <= 512; ++k)
        ASSERT_EQ(b.s.chan1Trace[k], 0);
    EXPECT_EQ(b.CountRow(b.s.chan1FreqOffset, kLime), 512);
    EXPECT_EQ(b.CountAll(kLime), 512);
}

TEST(Spectrum, StrongToneIsClippedAtTheTopRow)
{
    Bench b = MakeFreqBench();
    b.s.chan1FreqGain = 5000;
    Tone(b.s, 100, 30000);
    runDisplayPass(b.s, b.s, b.s, b.r);
    EXPECT_EQ(b.s.chan1Trace[100], b.s.chan1FreqOffset);
    EXPECT_EQ(b.r.pixel(100, 0), kLime);
    for (int k = 0; k <= 512; ++k)
        ASSERT_LE(b.s.chan1Trace[k], b.s.chan1FreqOffset);
}

TEST(Spectrum, SmoothingHalvesTheExcessToTheRightOnly)
{
    Bench b = MakeFreqBench();
    const float floorPower = std::exp(2.025f);  // 10 ln = 20.25
    const float peakPower = std::exp(10.025f);  // 10 ln = 100.25
    for (int k = 1; k <= 1024; ++k)
        b.s.spectrumWork[k] = floorPower;
    b.s.spectrumWork[201] = peakPower;                     // bin 200
    spectrumFromPower(b.s, b.s, b.s.sampleRate, 343, 32);  // (p * 32) >> 5 == p
    EXPECT_EQ(b.s.chan1Trace[199], 20);
    EXPECT_EQ(b.s.chan1Trace[200], 60);
    EXPECT_EQ(b.s.chan1Trace[201], 40);
    EXPECT_EQ(b.s.chan1Trace[202], 30);
    EXPECT_EQ(b.s.chan1Trace[203], 25);
    EXPECT_EQ(b.s.chan1Trace[204], 22);
    EXPECT_EQ(b.s.chan1Trace[0], 20);
}

TEST(Spectrum, PowersBelowOneAndNaNReadAsZero)
{
    Bench b = MakeFreqBench();
    for (int k = 1; k <= 1024; ++k)
        b.s.spectrumWork[k] = 0.25f;
    b.s.spectrumWork[50] = std::numeric_limits<float>::quiet_NaN();
    b.s.spectrumWork[60] = -5.0f;
    spectrumFromPower(b.s, b.s, b.s.sampleRate, 343, 5000);
    for (int k = 0; k <= 512; ++k)
        ASSERT_EQ(b.s.chan1Trace[k], 0) << k;
}

TEST(Spectrum, At22050HzColumnsAreOneBinLater)
{
    Bench a = MakeFreqBench();
    Bench c = MakeFreqBench();
    a.s.sampleRate = 11025;
    c.s.sampleRate = 22050;
    Tone(a.s, 150, 8000);
    Tone(c.s, 150, 8000);
    runDisplayPass(a.s, a.s, a.s, a.r);
    runDisplayPass(c.s, c.s, c.s, c.r);
    EXPECT_EQ(PeakColumn(c.s), PeakColumn(a.s) + 1);
    // Only the start of the smoothing differs (column 1 holds the DC and
    // Nyquist mix at 22050 Hz); it has died away well before the tone.
    for (int k = 60; k < 512; ++k)
        ASSERT_NEAR(c.s.chan1Trace[k + 1], a.s.chan1Trace[k], 1) << k;
}

TEST(Spectrum, LastColumnRepeatsBin511)
{
    Bench b = MakeFreqBench();
    b.s.sampleRate = 44100;
    for (int k = 1; k <= 1024; ++k)
        b.s.spectrumWork[k] = 1.0f;
    b.s.spectrumWork[512] = std::exp(8.0f);  // bin 511: 10 ln = 80
    b.s.spectrumWork[513] = 0.0f;            // a windowed time sample, not power
    spectrumFromPower(b.s, b.s, b.s.sampleRate, 343, 32);
    EXPECT_EQ(b.s.chan1Trace[511], 40);
    EXPECT_EQ(b.s.chan1Trace[512], 60);
}

TEST(Spectrum, SpanZoomAndExpansionOverFullWidth)
{
    Bench b = MakeFreqBench();
    Tone(b.s, 64, 3000);
    b.s.span = 256;
    b.s.blockSize = 256;
    b.s.interpFactor = 4;
    runDisplayPass(b.s, b.s, b.s, b.r);
    for (int k = 0; k < 256; ++k)
        ASSERT_EQ(b.s.resampledTrace[2 * k], b.s.chan1Trace[k]) << k;
    const int y0 = b.s.chan1FreqOffset;
    EXPECT_EQ(b.r.pixel(128, y0 - b.s.chan1Trace[64]), kLime);

    Bench e = MakeFreqBench();
    Tone(e.s, 120, 3000);
    e.s.marker1Enabled = 1;
    e.s.marker1Pos = 100;
    e.s.marker2Pos = 228;
    e.s.expanded = 1;
    runDisplayPass(e.s, e.s, e.s, e.r);
    EXPECT_EQ(e.s.expandWidth, 128);
    for (int k = 0; k < 128; ++k)
        ASSERT_EQ(e.s.expandedTrace[4 * k], e.s.chan1Trace[100 + k]) << k;
    EXPECT_EQ(e.r.pixel(80, y0 - e.s.chan1Trace[120]), kLime);
}
