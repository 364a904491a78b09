// The spectrum analyser's numerics against what a level meter, a noise meter
// and a band analyser must read: sines at and between bins at every length,
// two close tones resolved or not, white noise's density, a tone in its
// band, the weightings' tabulated values and the bands' own frequencies.
// Signals are made in double precision; every expected value comes from the
// signal's own level or from published tables, never from the code's
// formulas.
#include "dsp/SpectrumAnalysis.h"

#include <gtest/gtest.h>

#include "tests/CountAllocations.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <random>
#include <vector>

using namespace varmolen;

namespace {

constexpr double kTwoPi = 2.0 * M_PI;
constexpr double kRate = 48000.0;

std::size_t at(int i) { return static_cast<std::size_t>(i); }

// A * sin(2 pi cycles t / length + phase), t < length.
std::vector<float> Sine(int length, double amplitude, double cycles, double phase)
{
    std::vector<float> x(at(length));
    for (int t = 0; t < length; ++t)
        x[at(t)] = static_cast<float>(amplitude * std::sin(kTwoPi * cycles * t / length + phase));
    return x;
}

std::vector<float> Power(SpectrumTransform& transform, const std::vector<float>& x)
{
    std::vector<float> out(at(transform.bins()));
    EXPECT_TRUE(transform.power(x.data(), 0.0f, out));
    return out;
}

double LevelDbfs(double amplitude) { return 20.0 * std::log10(amplitude / 32767.0); }

// Bins in [from, to] higher than both neighbours and within `belowTopDb` of
// the strongest of them.
int CountPeaks(const std::vector<float>& p, int from, int to, double belowTopDb)
{
    const double top = *std::max_element(p.begin() + from, p.begin() + to + 1);
    int peaks = 0;
    for (int k = std::max(from, 1); k <= to; ++k)
        if (p[at(k)] > p[at(k - 1)] && p[at(k)] >= p[at(k + 1)] && powerDbfs(p[at(k)]) > powerDbfs(top) - belowTopDb)
            ++peaks;
    return peaks;
}

}  // namespace

TEST(SpectrumAnalysis, SinesReadTheirLevelWhereverTheyFall)
{
    struct Case {
        AnalysisWindow window;
        int length;
        double offsetBins;  // the sine's distance from the nearest bin below it
        double toleranceDb;
    };
    std::vector<Case> cases;
    // The flat top at every length, the sine on a bin, a quarter and half a
    // bin off, and at an offset no length makes periodic: its passband is
    // flat to 0.01 dB, and single precision adds far less.
    for (int length = kAnalysisMinLength; length <= kAnalysisMaxLength; length *= 2)
        for (double offset : {0.0, 0.25, 0.5, std::sqrt(2.0) - 1.0})
            cases.push_back({AnalysisWindow::FlatTop, length, offset, 0.02});
    // Every window reads a sine on a bin at its level.
    for (auto window : {AnalysisWindow::Specified, AnalysisWindow::Rectangular, AnalysisWindow::Hann,
                        AnalysisWindow::BlackmanHarris, AnalysisWindow::FlatTop})
        cases.push_back({window, 4096, 0.0, 0.01});

    SpectrumTransform transform;
    constexpr double kAmplitude = 12345.6;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "window " << static_cast<int>(c.window) << ", length " << c.length
                                          << ", offset " << c.offsetBins);
        ASSERT_TRUE(transform.prepare(c.length, c.window));
        const int bin = c.length / 8 + 3;
        const std::vector<float> p = Power(transform, Sine(c.length, kAmplitude, bin + c.offsetBins, 0.7));
        const double peak = *std::max_element(p.begin() + bin - 2, p.begin() + bin + 3);
        EXPECT_NEAR(powerDbfs(peak), LevelDbfs(kAmplitude), c.toleranceDb);
    }
}

TEST(SpectrumAnalysis, TwoTonesTenHertzApartAreResolvedOnlyByTheLongTransform)
{
    constexpr double kLow = 1000.0;
    constexpr double kHigh = 1010.0;
    constexpr double kAmplitude = 8000.0;
    const auto twoTones = [](int length) {
        std::vector<float> x(at(length));
        for (int t = 0; t < length; ++t)
            x[at(t)] = static_cast<float>(kAmplitude * std::sin(kTwoPi * kLow * t / kRate) +
                                          kAmplitude * std::sin(kTwoPi * kHigh * t / kRate + 1.0));
        return x;
    };
    SpectrumTransform transform;

    ASSERT_TRUE(transform.prepare(65536, AnalysisWindow::BlackmanHarris));
    double binHz = kRate / transform.length();
    std::vector<float> p = Power(transform, twoTones(transform.length()));
    const int low = static_cast<int>(std::lround(kLow / binHz));
    const int high = static_cast<int>(std::lround(kHigh / binHz));
    EXPECT_EQ(CountPeaks(p, low - 20, high + 20, 40.0), 2);
    const double lowPeak = *std::max_element(p.begin() + low - 1, p.begin() + low + 2);
    const double highPeak = *std::max_element(p.begin() + high - 1, p.begin() + high + 2);
    const double dip = *std::min_element(p.begin() + low, p.begin() + high);
    EXPECT_GE(powerDbfs(std::min(lowPeak, highPeak)) - powerDbfs(dip), 40.0);
    EXPECT_NEAR(powerDbfs(lowPeak), LevelDbfs(kAmplitude), 1.0);
    EXPECT_NEAR(powerDbfs(highPeak), LevelDbfs(kAmplitude), 1.0);

    ASSERT_TRUE(transform.prepare(1024, AnalysisWindow::Specified));
    binHz = kRate / transform.length();
    p = Power(transform, twoTones(transform.length()));
    const int centre = static_cast<int>(std::lround(kLow / binHz));
    EXPECT_EQ(CountPeaks(p, centre - 8, centre + 8, 40.0), 1);
    // The display's four-term Blackman-Harris: side lobes 92 dB down, so
    // nothing 10 bins off the tones is within 90 dB of them.
    const double top = *std::max_element(p.begin() + centre - 1, p.begin() + centre + 2);
    const double far = *std::max_element(p.begin() + centre + 10, p.end());
    EXPECT_LE(powerDbfs(far), powerDbfs(top) - 90.0);
    // So it does over a long record.
    ASSERT_TRUE(transform.prepare(262144, AnalysisWindow::Specified));
    binHz = kRate / transform.length();
    p = Power(transform, twoTones(transform.length()));
    const int second = static_cast<int>(std::lround(kHigh / binHz));
    const double peak = *std::max_element(p.begin() + low - 1, p.begin() + second + 2);
    EXPECT_LE(powerDbfs(*std::max_element(p.begin() + second + 10, p.end())), powerDbfs(peak) - 90.0);
    EXPECT_LE(powerDbfs(*std::max_element(p.begin() + 1, p.begin() + low - 10)), powerDbfs(peak) - 90.0);
}

TEST(SpectrumAnalysis, WhiteNoiseReadsItsDensity)
{
    // The window's equivalent noise bandwidth as published for it, in bins.
    struct Case {
        AnalysisWindow window;
        double enbwBins;
    };
    const Case cases[] = {{AnalysisWindow::Hann, 1.50}, {AnalysisWindow::BlackmanHarris, 2.00}};
    constexpr int kLength = 8192;
    constexpr int kRecords = 32;
    constexpr double kSigma = 1000.0;
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.window));
        SpectrumTransform transform;
        ASSERT_TRUE(transform.prepare(kLength, c.window));
        EXPECT_NEAR(transform.shape().enbwBins(), c.enbwBins, 0.01);
        std::mt19937 random(11);
        std::normal_distribution<double> noise(0.0, kSigma);
        std::vector<float> x(at(kLength));
        double sum = 0.0;
        int count = 0;
        for (int r = 0; r < kRecords; ++r) {
            for (float& v : x)
                v = static_cast<float>(noise(random));
            const std::vector<float> p = Power(transform, x);
            for (int k = 1; k < kLength / 2; ++k, ++count)
                sum += p[at(k)] / transform.shape().enbwBins();
        }
        // Density in dBFS/Hz, the power of a full-scale sine being 0 dBFS: noise
        // of variance sigma^2 has the power of a sine of amplitude sigma sqrt(2),
        // spread evenly from 0 Hz to half the rate.
        const double binHz = kRate / kLength;
        const double measured = 10.0 * std::log10(sum / count / binHz / (32767.0 * 32767.0));
        const double expected = 10.0 * std::log10(2.0 * kSigma * kSigma / (32767.0 * 32767.0) / (kRate / 2.0));
        EXPECT_NEAR(measured, expected, 0.2);
    }
}

TEST(SpectrumAnalysis, ToneReadsItsLevelInItsThirdOctaveBand)
{
    struct Case {
        double hz;
        int length;
        AnalysisWindow window;
        Weighting weighting;
        double weightingDb;  // the weighting's tabulated value at hz
    };
    const Case cases[] = {
        {1000.0, 16384, AnalysisWindow::Hann, Weighting::Z, 0.0},
        {1000.0, 16384, AnalysisWindow::FlatTop, Weighting::A, 0.0},
        {100.0, 262144, AnalysisWindow::BlackmanHarris, Weighting::Z, 0.0},
        {100.0, 262144, AnalysisWindow::BlackmanHarris, Weighting::A, -19.1},
        {100.0, 262144, AnalysisWindow::Hann, Weighting::C, -0.3},
    };
    constexpr double kAmplitude = 5000.0;
    SpectrumTransform transform;
    std::vector<Band> bands;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message()
                     << c.hz << " Hz, length " << c.length << ", weighting " << static_cast<int>(c.weighting));
        ASSERT_TRUE(transform.prepare(c.length, c.window));
        const double binHz = kRate / c.length;
        const std::vector<float> p = Power(transform, Sine(c.length, kAmplitude, c.hz / binHz, 0.3));
        ASSERT_TRUE(fractionalOctaveBands(3, c.hz, c.hz, bands));
        ASSERT_EQ(bands.size(), 1u);
        const double level =
            bandPower(p, binHz, transform.shape().enbwBins(), bands[0].lowHz, bands[0].highHz, c.weighting);
        EXPECT_NEAR(powerDbfs(level), LevelDbfs(kAmplitude) + c.weightingDb, 0.1);
    }
}

TEST(SpectrumAnalysis, WeightingsFollowTheSoundLevelMetersTable)
{
    // IEC 61672-1's table of A and C weightings at exact base-ten frequencies,
    // to the tenth of a dB it gives.
    struct Case {
        Weighting weighting;
        double hz;
        double db;
    };
    const Case cases[] = {
        {Weighting::A, 10.0, -70.4},
        {Weighting::A, std::pow(10.0, 1.5), -39.4},  // nominal 31.5 Hz
        {Weighting::A, 100.0, -19.1},
        {Weighting::A, 1000.0, 0.0},
        {Weighting::A, 10000.0, -2.5},
        {Weighting::A, std::pow(10.0, 4.3), -9.3},  // nominal 20 kHz
        {Weighting::C, std::pow(10.0, 1.5), -3.0},
        {Weighting::C, 1000.0, 0.0},
        {Weighting::C, 10000.0, -4.4},
        {Weighting::C, std::pow(10.0, 4.3), -11.2},
        {Weighting::Z, 31.5, 0.0},
        {Weighting::Z, 10000.0, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(weightingDb(c.weighting, c.hz), c.db, 0.1)
            << "weighting " << static_cast<int>(c.weighting) << " at " << c.hz << " Hz";
}

TEST(SpectrumAnalysis, BandsHaveTheBaseTenMidBandFrequenciesAndEdges)
{
    struct Case {
        int b;
        double fromHz;
        double toHz;
        std::size_t count;
        Band first;
        double lastCentreHz;
    };
    const Case cases[] = {
        {3, 790.0, 1300.0, 3, {707.946, 794.328, 891.251}, 1258.925},
        {1, 20.0, 20000.0, 10, {22.387, 31.623, 44.668}, 15848.932},
        {6, 900.0, 1100.0, 2, {891.251, 944.061, 1000.0}, 1059.254},
        {12, 1000.0, 1050.0, 1, {1000.0, 1029.201, 1059.254}, 1029.201},
    };
    std::vector<Band> bands;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.b);
        ASSERT_TRUE(fractionalOctaveBands(c.b, c.fromHz, c.toHz, bands));
        ASSERT_EQ(bands.size(), c.count);
        EXPECT_NEAR(bands.front().lowHz, c.first.lowHz, 1e-3);
        EXPECT_NEAR(bands.front().centreHz, c.first.centreHz, 1e-3);
        EXPECT_NEAR(bands.front().highHz, c.first.highHz, 1e-3);
        EXPECT_NEAR(bands.back().centreHz, c.lastCentreHz, 1e-3);
    }
    EXPECT_FALSE(fractionalOctaveBands(2, 20.0, 20000.0, bands));
}

TEST(SpectrumAnalysis, BandPowerTakesTheBinsFromItsLowEdgeUpToItsHighEdge)
{
    // Bin k holds 2^k at k * 10 Hz: a sum names the bins it took.
    std::vector<float> p(16);
    for (int k = 0; k < 16; ++k)
        p[at(k)] = static_cast<float>(1 << k);
    struct Case {
        double lowHz;
        double highHz;
        double enbwBins;
        double expected;
    };
    const Case cases[] = {
        {20.0, 50.0, 1.0, 4 + 8 + 16},  // bins on the low edge in, on the high edge out
        {19.9, 50.1, 1.0, 4 + 8 + 16 + 32},
        {0.0, 10.0, 2.0, 1 / 2.0},    // divided by the noise bandwidth
        {145.0, 1000.0, 1.0, 32768},  // the last bin, nothing beyond
        {50.0, 50.0, 1.0, 0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(bandPower(p, 10.0, c.enbwBins, c.lowHz, c.highHz, Weighting::Z), c.expected)
            << c.lowHz << " to " << c.highHz << " Hz";
}

TEST(SpectrumAnalysis, TransformRefusesWhatItCannotDoAndAllocatesNothing)
{
    SpectrumTransform transform;
    std::vector<float> x(at(kAnalysisMaxLength), 1.0f);
    std::vector<float> out(at(kAnalysisMaxLength / 2 + 1), -1.0f);
    EXPECT_FALSE(transform.power(x.data(), 0.0f, out));  // before prepare
    EXPECT_EQ(out[0], -1.0f);
    ASSERT_TRUE(transform.prepare(4096, AnalysisWindow::Hann));
    EXPECT_FALSE(transform.prepare(3000, AnalysisWindow::FlatTop));
    EXPECT_FALSE(transform.prepare(2 * kAnalysisMaxLength, AnalysisWindow::FlatTop));
    EXPECT_EQ(transform.length(), 4096);
    EXPECT_EQ(transform.window(), AnalysisWindow::Hann);
    EXPECT_FALSE(transform.power(x.data(), 0.0f, std::span<float>(out).first(2048)));  // one bin short
    EXPECT_EQ(out[0], -1.0f);

    // The counter works: an allocation here is seen.
    const long before = varmolen::test::allocations.load();
    void* volatile probe = ::operator new(16);
    ::operator delete(probe);
    ASSERT_EQ(varmolen::test::allocations.load(), before + 1);
    const long start = varmolen::test::allocations.load();
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(transform.power(x.data(), 0.5f, out));
    EXPECT_EQ(varmolen::test::allocations.load(), start);
    // A constant reads its mean square in bin 0.
    EXPECT_NEAR(out[0], 0.25, 1e-5);
}
