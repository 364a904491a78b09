// The window-and-transform kernel against the defining sum, at lengths from
// the shortest to the longest one the tone readings use, in both precisions.
// (Its 1024-point single-precision spectrum is pinned by the display's own
// tests, bit for bit.)
#include "dsp/SpectrumKernel.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

using namespace varmolen;

namespace {

// Runs the kernel over `codes` with the window taken every `stride`-th
// point; checks every output the header promises against the direct sum.
template <typename T>
void CheckAgainstDirectSum(const std::vector<std::int32_t>& codes, T offset, const std::vector<T>& window, int stride,
                           const std::vector<T>& turnRe, const std::vector<T>& turnIm, double tolerance)
{
    const int n = static_cast<int>(codes.size());
    std::vector<T> work(codes.size()), re(codes.size() / 2), im(codes.size() / 2);
    ASSERT_TRUE(windowedPowerSpectrum(codes.data(), n, offset, window, stride, {work, re, im, turnRe, turnIm}));
    std::vector<double> x(codes.size());
    double scale = 0.0;  // the largest bin any record of this size and level can reach
    for (int t = 0; t < n; ++t) {
        const auto i = static_cast<std::size_t>(t);
        x[i] = (codes[i] - static_cast<double>(offset)) *
               static_cast<double>(window[i * static_cast<std::size_t>(stride)]);
        scale += std::abs(x[i]);
    }
    const auto dft = [&](int k) {
        std::complex<double> sum = 0.0;
        for (int t = 0; t < n; ++t)
            sum += x[static_cast<std::size_t>(t)] *
                   std::polar(1.0, -2.0 * M_PI * static_cast<double>((static_cast<long long>(k) * t) % n) / n);
        return sum;
    };
    const double eps = tolerance * scale;
    const std::complex<double> dc = dft(0), nyquist = dft(n / 2);
    EXPECT_NEAR(2.0 * re[0], dc.real(), eps);
    EXPECT_NEAR(2.0 * im[0], nyquist.real(), eps);
    EXPECT_NEAR(work[0], (std::norm(dc) + std::norm(nyquist)) / 4.0, 2.0 * eps * scale);
    for (int k = 1; k < n / 2; k += n <= 1024 ? 1 : 97) {
        const std::complex<double> expected = dft(k);
        const auto i = static_cast<std::size_t>(k);
        ASSERT_NEAR(re[i], expected.real(), eps) << "bin " << k;
        ASSERT_NEAR(im[i], expected.imag(), eps) << "bin " << k;
        ASSERT_NEAR(work[i], std::norm(expected), 2.0 * eps * scale) << "bin " << k;
    }
    // The upper half of the windowed record stays behind the power.
    for (int t : {n / 2, n - 1})
        EXPECT_EQ(work[static_cast<std::size_t>(t)], static_cast<T>(x[static_cast<std::size_t>(t)])) << t;
}

std::vector<std::int32_t> Codes(int n, std::mt19937& random)
{
    std::uniform_int_distribution<std::int32_t> code(-32768, 32767);
    std::vector<std::int32_t> codes(static_cast<std::size_t>(n));
    for (std::int32_t& c : codes)
        c = code(random);
    return codes;
}

}  // namespace

TEST(SpectrumKernel, DoublePrecisionMatchesTheDefiningSumAtEveryLength)
{
    // One window and one set of turns, made for the longest record, serve
    // every shorter one: the tone readings rely on it.
    constexpr int kLongest = 8192;
    std::vector<double> window(kLongest + 1);
    fillWindowTable(std::span<double>(window), kLongest);
    std::vector<double> turnRe(static_cast<std::size_t>(spectrumTwiddleCount(kLongest))), turnIm(turnRe.size());
    ASSERT_TRUE(makeSpectrumTwiddles(kLongest, std::span<double>(turnRe), std::span<double>(turnIm)));
    std::mt19937 random(3);
    for (int n : {4, 8, 16, 32, 512, 2048, 8192}) {
        SCOPED_TRACE(n);
        CheckAgainstDirectSum<double>(Codes(n, random), 12.5, window, kLongest / n, turnRe, turnIm, 1e-13);
    }
}

TEST(SpectrumKernel, SinglePrecisionMatchesTheDefiningSumAtOtherLengths)
{
    std::mt19937 random(5);
    for (int n : {8, 256, 4096}) {
        SCOPED_TRACE(n);
        std::vector<float> window(static_cast<std::size_t>(n + 1));
        fillWindowTable(std::span<float>(window), n);
        std::vector<float> turnRe(static_cast<std::size_t>(spectrumTwiddleCount(n))), turnIm(turnRe.size());
        ASSERT_TRUE(makeSpectrumTwiddles(n, std::span<float>(turnRe), std::span<float>(turnIm)));
        CheckAgainstDirectSum<float>(Codes(n, random), 0.0f, window, 1, turnRe, turnIm, 2e-6);
    }
}

TEST(SpectrumKernel, RefusesLengthsAndArraysItCannotTake)
{
    std::vector<std::int32_t> codes(2048, 1);
    std::vector<double> window(2049, 1.0), work(2048, -7.0), re(1024, -7.0), im(1024, -7.0);
    std::vector<double> turnRe(static_cast<std::size_t>(spectrumTwiddleCount(1024)), 0.0), turnIm(turnRe);
    for (int n : {0, 2, 6, 1000, -4})
        EXPECT_FALSE(makeSpectrumTwiddles(n, std::span<double>(turnRe), std::span<double>(turnIm))) << n;
    ASSERT_TRUE(makeSpectrumTwiddles(1024, std::span<double>(turnRe), std::span<double>(turnIm)));
    const auto run = [&](int n, int stride, std::size_t workSize, std::size_t turns) {
        return windowedPowerSpectrum(
            codes.data(), n, 0.0, window, stride,
            {std::span<double>(work).first(workSize), re, im, std::span<const double>(turnRe).first(turns), turnIm});
    };
    EXPECT_FALSE(run(1000, 1, 2048, turnRe.size()));  // not a power of two
    EXPECT_FALSE(run(2048, 1, 2048, turnRe.size()));  // turns made for a shorter length
    EXPECT_FALSE(run(1024, 1, 1023, turnRe.size()));  // work one short
    EXPECT_FALSE(run(1024, 3, 1024, turnRe.size()));  // the window read past its end
    EXPECT_FALSE(run(1024, 0, 1024, turnRe.size()));
    EXPECT_EQ(work[0], -7.0);  // nothing written
    EXPECT_EQ(re[0], -7.0);
    EXPECT_TRUE(run(1024, 2, 1024, turnRe.size()));
}

TEST(SpectrumKernel, ComplexTransformMatchesTheDefiningSumBothWays)
{
    // Turns made for the longest transform serve every shorter one, as the
    // sweep's analysis takes them; they are the spectra's own double turns.
    constexpr int kLongest = 1 << 16;
    std::vector<double> turnRe(static_cast<std::size_t>(complexTwiddleCount(kLongest))), turnIm(turnRe.size());
    ASSERT_TRUE(makeComplexTwiddles(kLongest, std::span<double>(turnRe), std::span<double>(turnIm)));
    std::vector<double> spectrumRe(static_cast<std::size_t>(spectrumTwiddleCount(2 * kLongest))),
        spectrumIm(spectrumRe.size());
    ASSERT_TRUE(makeSpectrumTwiddles(2 * kLongest, std::span<double>(spectrumRe), std::span<double>(spectrumIm)));
    for (std::size_t i = 0; i < turnRe.size(); ++i) {
        ASSERT_EQ(turnRe[i], spectrumRe[i]) << i;
        ASSERT_EQ(turnIm[i], spectrumIm[i]) << i;
    }
    std::mt19937 random(11);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (int n : {2, 4, 8, 16, 32, 1024, kLongest}) {
        SCOPED_TRACE(n);
        const auto size = static_cast<std::size_t>(n);
        std::vector<std::complex<double>> x(size);
        for (auto& v : x)
            v = {value(random), value(random)};
        std::vector<double> re(size), im(size);
        for (std::size_t t = 0; t < size; ++t) {
            re[t] = x[t].real();
            im[t] = x[t].imag();
        }
        ASSERT_TRUE(complexTransform(re, im, turnRe, turnIm, false));
        const double eps = 1e-13 * n;
        for (int k = 0; k < n; k += n <= 1024 ? 1 : 331) {
            std::complex<double> sum = 0.0;
            for (int t = 0; t < n; ++t)
                sum += x[static_cast<std::size_t>(t)] *
                       std::polar(1.0, -2.0 * M_PI * static_cast<double>((static_cast<long long>(k) * t) % n) / n);
            ASSERT_NEAR(re[static_cast<std::size_t>(k)], sum.real(), eps) << "bin " << k;
            ASSERT_NEAR(im[static_cast<std::size_t>(k)], sum.imag(), eps) << "bin " << k;
        }
        // And back: the inverse of the transform is the record again.
        ASSERT_TRUE(complexTransform(re, im, turnRe, turnIm, true));
        for (std::size_t t = 0; t < size; ++t) {
            ASSERT_NEAR(re[t], x[t].real(), 1e-14 * n) << t;
            ASSERT_NEAR(im[t], x[t].imag(), 1e-14 * n) << t;
        }
    }
}

TEST(SpectrumKernel, ComplexTransformRefusesLengthsAndArraysItCannotTake)
{
    std::vector<double> turnRe(static_cast<std::size_t>(complexTwiddleCount(1024)), -7.0), turnIm(turnRe);
    for (int n : {0, 1, 6, 1000, -4, 2048})  // 2048 needs more turns than there are
        EXPECT_FALSE(makeComplexTwiddles(n, std::span<double>(turnRe), std::span<double>(turnIm))) << n;
    EXPECT_EQ(turnRe[0], -7.0);
    ASSERT_TRUE(makeComplexTwiddles(1024, std::span<double>(turnRe), std::span<double>(turnIm)));
    const auto run = [&](std::size_t n, std::size_t imSize, std::size_t turns) {
        std::vector<double> re(n, -7.0), im(imSize, -7.0);
        const bool done = complexTransform(re, im, std::span<const double>(turnRe).first(turns), turnIm, false);
        EXPECT_TRUE(done || std::all_of(re.begin(), re.end(), [](double v) { return v == -7.0; }));
        return done;
    };
    EXPECT_FALSE(run(0, 0, turnRe.size()));
    EXPECT_FALSE(run(1, 1, turnRe.size()));
    EXPECT_FALSE(run(1000, 1000, turnRe.size()));  // not a power of two
    EXPECT_FALSE(run(1024, 1023, turnRe.size()));  // the parts of different lengths
    EXPECT_FALSE(run(2048, 2048, turnRe.size()));  // turns made for a shorter length
    EXPECT_FALSE(run(1024, 1024, 1022));           // one turn short
    EXPECT_TRUE(run(1024, 1024, 1023));
}
