// The power-of-two real transform against the defining sum, at lengths
// from the shortest to the longest one transform serves.
#include "dsp/RealFft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <random>
#include <vector>

using namespace varmolen;

TEST(RealFft, EveryLengthMatchesTheDefiningSum)
{
    RealFft fft(8192);
    std::mt19937 random(3);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (int n : {4, 8, 16, 512, 1024, 2048, 8192}) {
        SCOPED_TRACE(n);
        std::vector<double> x(static_cast<std::size_t>(n));
        for (double& v : x)
            v = value(random);
        std::vector<double> re(static_cast<std::size_t>(n / 2 + 1));
        std::vector<double> im(re.size());
        std::vector<double> power(re.size());
        ASSERT_TRUE(fft.forward(x.data(), n, re.data(), im.data()));
        ASSERT_TRUE(fft.power(x.data(), n, power.data()));
        // Every bin of the short ones; DC, Nyquist and a spread of bins of the long ones.
        std::vector<int> bins;
        for (int k = 0; k < n / 2; k += n <= 1024 ? 1 : 97)
            bins.push_back(k);
        bins.push_back(n / 2);
        for (int k : bins) {
            std::complex<double> sum = 0.0;
            for (int t = 0; t < n; ++t)
                sum += x[static_cast<std::size_t>(t)] * std::polar(1.0, -2.0 * M_PI * k * static_cast<double>(t) / n);
            const auto i = static_cast<std::size_t>(k);
            ASSERT_NEAR(re[i], sum.real(), 1e-9 * n) << "bin " << k;
            ASSERT_NEAR(im[i], sum.imag(), 1e-9 * n) << "bin " << k;
            ASSERT_NEAR(power[i], std::norm(sum), 1e-9 * n * n) << "bin " << k;
        }
    }
    // The window applied while packing: the same as windowing first, for a
    // window over the longest length taken every m-th point.
    std::vector<double> window(8192);
    for (std::size_t t = 0; t < window.size(); ++t)
        window[t] = 0.5 - 0.5 * std::cos(2.0 * M_PI * static_cast<double>(t) / 8192.0);
    for (int n : {1024, 8192}) {
        std::vector<std::int32_t> codes(static_cast<std::size_t>(n));
        std::vector<double> windowed(codes.size());
        for (int t = 0; t < n; ++t) {
            codes[static_cast<std::size_t>(t)] = static_cast<std::int32_t>(std::lround(20000.0 * value(random)));
            windowed[static_cast<std::size_t>(t)] =
                (codes[static_cast<std::size_t>(t)] - 12.5) * window[static_cast<std::size_t>(t * (8192 / n))];
        }
        std::vector<double> expected(static_cast<std::size_t>(n / 2 + 1));
        std::vector<double> got(expected.size());
        ASSERT_TRUE(fft.power(windowed.data(), n, expected.data()));
        ASSERT_TRUE(fft.windowedPower(codes.data(), 12.5, window.data(), 8192 / n, n, got.data()));
        for (std::size_t k = 0; k < got.size(); ++k)
            ASSERT_NEAR(got[k], expected[k], 1e-9 * expected[0] + 1e-6) << n << " bin " << k;
    }

    // Lengths it cannot take are refused, and nothing is written.
    std::vector<double> x(16384, 1.0);
    std::vector<double> out(8193, -7.0);
    for (int n : {0, 2, 6, 1000, 16384})
        EXPECT_FALSE(fft.power(x.data(), n, out.data())) << n;
    EXPECT_EQ(out[0], -7.0);
    EXPECT_EQ(RealFft(1000).maxLength(), 1024);
}
