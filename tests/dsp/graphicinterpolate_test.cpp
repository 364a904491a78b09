#include "dsp/Graphicinterpolate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <memory>
#include <vector>

#include "state/InstrumentState.h"

using namespace varmolen;

namespace {

std::unique_ptr<InstrumentState> MakeState()
{
    auto s = std::make_unique<InstrumentState>();
    fillWindowTable(s->windowTable, s->blockSamples);
    return s;
}

SplineWork Spline(InstrumentState& s) { return {s.interpInput, s.splineSweep, s.splineCurvature, s.interpOutput}; }

double Db(double ratio) { return 10.0 * std::log10(ratio); }

}  // namespace

TEST(WindowTable, BlackmanHarrisValues)
{
    auto s = MakeState();
    const auto& w = s->windowTable;
    EXPECT_NEAR(w[0], 0.00006f, 1e-6f);
    EXPECT_NEAR(w[1024], 0.00006f, 1e-6f);
    EXPECT_NEAR(w[512], 1.0f, 1e-6f);
    // Periodic over 1024 and symmetric about the centre.
    for (int i = 1; i < 512; ++i)
        EXPECT_NEAR(w[i], w[1024 - i], 2e-6f) << i;
    // Against the four-term formula at a few points.
    for (int i : {1, 100, 256, 700, 1023}) {
        const double a = 2.0 * M_PI * i / 1024.0;
        const double expect = 0.35875 - 0.48829 * std::cos(a) + 0.14128 * std::cos(2 * a) - 0.01168 * std::cos(3 * a);
        EXPECT_NEAR(w[i], expect, 2e-6) << i;
    }
    // Only 1025 entries are written.
    EXPECT_EQ(w[1025], 0.0f);
}

TEST(PowerSpectrum, MatchesDirectTransformOfWindowedBlock)
{
    auto s = MakeState();
    std::vector<std::int32_t> samples(1024);
    std::uint32_t seed = 12345;
    for (int n = 0; n < 1024; ++n) {
        seed = seed * 1664525u + 1013904223u;
        const double noise = static_cast<double>(seed >> 16) / 65536.0 - 0.5;
        const double v = 9000.0 * std::sin(2 * M_PI * 37.3 * n / 1024.0) +
                         4000.0 * std::cos(2 * M_PI * 201.7 * n / 1024.0) + 800.0 * noise + 300.0 +
                         ((n & 1) ? 500.0 : -500.0);  // some Nyquist content
        samples[static_cast<std::size_t>(n)] = static_cast<std::int32_t>(std::lround(v));
    }
    powerSpectrum(samples.data(), s->windowTable, s->spectrumWork, s->fftReal, s->fftImag);

    std::vector<double> x(1024);
    for (int n = 0; n < 1024; ++n)
        x[static_cast<std::size_t>(n)] =
            samples[static_cast<std::size_t>(n)] * static_cast<double>(s->windowTable[static_cast<std::size_t>(n + 1)]);
    std::vector<double> power(513);
    for (int m = 0; m <= 512; ++m) {
        std::complex<double> acc = 0.0;
        for (int n = 0; n < 1024; ++n)
            acc += x[static_cast<std::size_t>(n)] * std::polar(1.0, -2.0 * M_PI * m * n / 1024.0);
        power[static_cast<std::size_t>(m)] = std::norm(acc);
    }
    double peak = 0.0;
    for (double p : power)
        peak = std::max(peak, p);

    int compared = 0;
    for (int k = 2; k <= 512; ++k) {
        const double ref = power[static_cast<std::size_t>(k - 1)];
        if (ref < peak * 1e-6)
            continue;
        ++compared;
        EXPECT_NEAR(s->spectrumWork[static_cast<std::size_t>(k)] / ref, 1.0, 1e-3) << "entry " << k;
    }
    EXPECT_GT(compared, 20);
    const double mixed = (power[0] + power[512]) / 4.0;  // DC and Nyquist mixed
    EXPECT_NEAR(s->spectrumWork[1] / mixed, 1.0, 1e-3);
    // The windowed samples 512..1023 stay behind the power values.
    for (int n : {512, 700, 1023})
        EXPECT_FLOAT_EQ(s->spectrumWork[static_cast<std::size_t>(n + 1)],
                        static_cast<float>(x[static_cast<std::size_t>(n)]));
}

TEST(PowerSpectrum, SineOnBin100PeaksAtEntry101WithLowSidelobes)
{
    auto s = MakeState();
    std::vector<std::int32_t> samples(1024);
    const double A = 10000.0;
    for (int n = 0; n < 1024; ++n)
        samples[static_cast<std::size_t>(n)] =
            static_cast<std::int32_t>(std::lround(A * std::sin(2 * M_PI * 100 * n / 1024.0)));
    powerSpectrum(samples.data(), s->windowTable, s->spectrumWork, s->fftReal, s->fftImag);
    const auto& p = s->spectrumWork;
    int best = 1;
    for (int k = 1; k <= 512; ++k)
        if (p[static_cast<std::size_t>(k)] > p[static_cast<std::size_t>(best)])
            best = k;
    EXPECT_EQ(best, 101);
    const double expect = std::pow(0.35875 * 512 * A, 2);
    EXPECT_NEAR(p[101] / expect, 1.0, 0.01);
    for (int k = 1; k <= 512; ++k) {
        if (std::abs(k - 101) <= 3)
            continue;  // the window's main lobe
        EXPECT_LT(Db(p[static_cast<std::size_t>(k)] / p[101]), -92.0) << "entry " << k;
    }
}

TEST(PowerSpectrum, SilenceGivesZeroPower)
{
    auto s = MakeState();
    std::vector<std::int32_t> samples(1024, 0);
    s->spectrumWork[0] = 7.0f;
    powerSpectrum(samples.data(), s->windowTable, s->spectrumWork, s->fftReal, s->fftImag);
    for (int k = 1; k <= 1024; ++k)
        EXPECT_EQ(s->spectrumWork[static_cast<std::size_t>(k)], 0.0f);
    EXPECT_EQ(s->spectrumWork[0], 7.0f);  // index 0 is not part of the data
}

TEST(Resample, EqualLengthAndWidthReturnsSource)
{
    auto s = MakeState();
    std::vector<std::int32_t> src(kArrayLength);
    for (int i = 0; i < 1024; ++i)
        src[static_cast<std::size_t>(i)] = (i * 37) % 201 - 100;
    std::vector<std::int32_t> out(kArrayLength, 99999);
    resample(Spline(*s), src.data(), kArrayLength, 1024, 512.0f, 512.0f, out.data());
    for (int k = 0; k < 512; ++k)
        EXPECT_EQ(out[static_cast<std::size_t>(k)], src[static_cast<std::size_t>(k)]) << k;
    EXPECT_EQ(out[512], 99999);  // exactly 512 results
}

TEST(Resample, HalfLengthInterleavesSourceAndMidpointsOnTheCurve)
{
    auto s = MakeState();
    constexpr double kAmplitude = 20000.0;
    std::vector<std::int32_t> src(kArrayLength);
    for (int i = 0; i < 600; ++i)
        src[static_cast<std::size_t>(i)] =
            static_cast<std::int32_t>(std::lround(kAmplitude * std::sin(2 * M_PI * i / 64.0)));
    std::vector<std::int32_t> out(kArrayLength);
    resample(Spline(*s), src.data(), kArrayLength, 512, 256.0f, 512.0f, out.data());
    double splineError = 0.0, chordError = 0.0;
    for (int k = 0; k < 256; ++k) {
        EXPECT_EQ(out[static_cast<std::size_t>(2 * k)], src[static_cast<std::size_t>(k)]) << k;
        if (k >= 250)
            continue;  // the right end condition bends the last few
        const double truth = kAmplitude * std::sin(2 * M_PI * (k + 0.5) / 64.0);
        const double chord = 0.5 * (src[static_cast<std::size_t>(k)] + src[static_cast<std::size_t>(k + 1)]);
        splineError = std::max(splineError, std::abs(out[static_cast<std::size_t>(2 * k + 1)] - truth));
        chordError = std::max(chordError, std::abs(chord - truth));
    }
    // The chord misses a sine sampled 64 times a period by 24 at its crests;
    // the spline's curvature brings its midpoints within a few units.
    EXPECT_GT(chordError, 20.0);
    EXPECT_LT(splineError, chordError / 8) << "midpoints on the chord: no curvature";
}

// The resampler against the documented spline, computed here on its own in
// double precision for a small run: sweep with the factor -0.25, the right
// end condition, back substitution, evaluation at k * L / W, truncation.
TEST(Resample, SmallRunMatchesTheDocumentedSplineExactly)
{
    const std::vector<double> y = {0, 100, -50, 300, 20, 80, -200, 10};
    const int J = 8;  // L + 2 points
    const double L = 6.0, W = 512.0;
    std::vector<double> z(J, 0.0), m(J + 1, 0.0);
    for (int i = 1; i <= J - 2; ++i)
        z[i] = -0.25 * (z[i - 1] - 6.0 * (y[i - 1] - 2.0 * y[i] + y[i + 1]));
    m[J - 1] = (-3.0 * (y[J - 1] - y[J - 2]) - 0.5 * z[J - 2]) / 0.875;
    for (int i = J - 2; i >= 0; --i)
        m[i] = -0.25 * m[i + 1] + z[i];

    auto s = MakeState();
    std::vector<std::int32_t> src(kArrayLength, 0);
    for (int i = 0; i < J; ++i)
        src[static_cast<std::size_t>(i)] = static_cast<std::int32_t>(y[static_cast<std::size_t>(i)]);
    std::vector<std::int32_t> out(kArrayLength);
    resample(Spline(*s), src.data(), kArrayLength, J, static_cast<float>(L), static_cast<float>(W), out.data());
    int compared = 0;
    for (int k = 0; k < 512; ++k) {
        const double h = k * L / W;
        const int i = static_cast<int>(h);
        const double t = i + 1 - h, u = h - i;
        const double value =
            t * y[static_cast<std::size_t>(i)] + u * y[static_cast<std::size_t>(i + 1)] +
            ((t * t * t - t) * m[static_cast<std::size_t>(i)] + (u * u * u - u) * m[static_cast<std::size_t>(i + 1)]) /
                6.0;
        // Single precision may land either side of a whole number.
        if (std::abs(value - std::round(value)) < 0.01)
            continue;
        ++compared;
        EXPECT_EQ(out[static_cast<std::size_t>(k)], static_cast<std::int32_t>(std::trunc(value))) << "k=" << k;
    }
    EXPECT_GT(compared, 490);
}

TEST(Resample, ShortCountsAndOddArgumentsStayInsideTheArrays)
{
    auto s = MakeState();
    std::vector<std::int32_t> src(kArrayLength, 5);
    std::vector<std::int32_t> out(kArrayLength, 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        int available, count;
        float length, width;
    };
    const Case cases[] = {{kArrayLength, 0, 9.0f, 513.0f},
                          {kArrayLength, -7, 300.0f, 512.0f},
                          {kArrayLength, 100000, 1e9f, 512.0f},
                          {kArrayLength, 50, -20.0f, 512.0f},
                          {kArrayLength, 50, nan, 512.0f},
                          {kArrayLength, 50, 30.0f, 0.0f},
                          {3, 1000, 512.0f, 512.0f},
                          {1, 10, 9.0f, 512.0f}};
    for (const Case& c : cases) {
        resample(Spline(*s), src.data(), c.available, c.count, c.length, c.width, out.data());
        // A constant source resamples to the same constant everywhere.
        for (int k = 0; k < 512; ++k)
            ASSERT_EQ(out[static_cast<std::size_t>(k)], 5) << c.count << " " << c.length << " k=" << k;
    }
    // A run too short for the width holds its value, never garbage.
    resample(Spline(*s), src.data(), 0, 10, 9.0f, 512.0f, out.data());
    EXPECT_EQ(out[0], 0);
}

TEST(Resample, HugeValuesSaturateInsteadOfOverflowing)
{
    auto s = MakeState();
    std::vector<std::int32_t> src(kArrayLength, 0);
    for (int i = 0; i < 40; i += 2)
        src[static_cast<std::size_t>(i)] = std::numeric_limits<std::int32_t>::max();
    std::vector<std::int32_t> out(kArrayLength);
    resample(Spline(*s), src.data(), kArrayLength, 40, 20.0f, 512.0f, out.data());
    EXPECT_EQ(out[0], std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(truncateToInt(1e30), std::numeric_limits<std::int32_t>::max());
    EXPECT_EQ(truncateToInt(-1e30), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(truncateToInt(std::nan("")), 0);
    EXPECT_EQ(truncateToInt(-2.9), -2);
}
