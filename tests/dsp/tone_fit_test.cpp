// The readings of a record finer than 16 bits: the fit against tones whose
// harmonics and noise are known, and the strip's readings of a 24-bit tone
// reaching far below the window's floor, while the same tone in 16 bits
// reads as it always did.
#include "dsp/ToneFit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/Measurements.h"

namespace varmolen {
namespace {

double db(double ratio) { return 20.0 * std::log10(ratio); }

// A tone of peak `amplitude` codes with harmonics 2 and 3 at their levels
// below it and white noise of RMS `noise` codes, kept to 1/256 of a code.
std::vector<float> tone(int n, double rate, double hz, double amplitude, double h2Db, double h3Db, double noise,
                        unsigned seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<float> x(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const double a = 2.0 * std::numbers::pi * hz * i / rate;
        const double v = amplitude * (std::sin(a + 0.3) + std::pow(10.0, h2Db / 20.0) * std::sin(2 * a + 1.1) +
                                      std::pow(10.0, h3Db / 20.0) * std::sin(3 * a + 2.0)) +
                         noise * gauss(random);
        x[static_cast<std::size_t>(i)] = static_cast<float>(std::round(v * 256.0) / 256.0);
    }
    return x;
}

TEST(ToneFit, ReadsHarmonicsAndNoiseFarBelowTheWindowsFloor)
{
    const struct {
        double rate, hz, dbfs, h2Db, h3Db, noiseDbfs;
    } cases[] = {
        {48000, 997, -1, -140, -135, -140},     // a 24-bit card's clean tone
        {44100, 1000.3, -1, -110, -120, -150},  // distortion above the noise
        {96000, 19000, -6, -130, -200, -135},   // only harmonic 2 below Nyquist
        {48000, 60.1, -20, -100, -105, -130},   // a low tone, few cycles
    };
    for (const auto& c : cases) {
        const double amplitude = 32768.0 * std::pow(10.0, c.dbfs / 20.0);
        const double noise = 32768.0 * std::sqrt(0.5) * std::pow(10.0, c.noiseDbfs / 20.0);
        const std::vector<float> x = tone(8192, c.rate, c.hz, amplitude, c.h2Db, c.h3Db, noise, 7);
        // Within a tenth of a bin of the truth, as the transform hands it on.
        const ToneFitReading r = fitTone(x.data(), 8192, c.rate, c.hz + 0.1 * c.rate / 8192);
        ASSERT_TRUE(r.valid) << c.hz;
        EXPECT_NEAR(r.hz, c.hz, 1e-6 * c.hz) << c.hz;
        EXPECT_NEAR(db(r.amplitude / amplitude), 0.0, 0.001) << c.hz;
        const bool h3Heard = 3 * c.hz < c.rate / 2;
        const double harmonics = std::pow(10.0, c.h2Db / 10.0) + (h3Heard ? std::pow(10.0, c.h3Db / 10.0) : 0.0);
        // The noise of the 1/256 steps (step^2 / 12) stands beside the noise added.
        const double noisePower = noise * noise + 1.0 / (12.0 * 65536.0);
        const double relativeNoise = noisePower / (0.5 * amplitude * amplitude);
        EXPECT_NEAR(10.0 * std::log10(r.thdN * r.thdN), 10.0 * std::log10(harmonics + relativeNoise), 0.3) << c.hz;
        // A harmonic well above the noise reads within a tenth of a dB.
        if (10.0 * std::log10(harmonics) > 10.0 * std::log10(relativeNoise) + 20.0) {
            EXPECT_NEAR(db(r.thd), 10.0 * std::log10(harmonics), 0.1) << c.hz;
        }
        EXPECT_NEAR(10.0 * std::log10(r.noisePower / 2.0 / noisePower), 0.0, 0.3) << c.hz;
    }
    EXPECT_FALSE(fitTone(nullptr, 8192, 48000, 1000).valid);
    const std::vector<float> silence(8192, 0.0f);
    EXPECT_FALSE(fitTone(silence.data(), 8192, 48000, 1000).valid);
    EXPECT_FALSE(fitTone(silence.data(), 8192, 48000, 30000).valid);  // above the Nyquist frequency
}

// The strip's readings of one 997 Hz tone at -1 dBFS, clean to 24 bits,
// handed over as 32-bit float frames and as the 16-bit frames a 16-bit card
// would give of it.
TEST(ToneFit, TheStripReadsAFineRecordDeepAndASixteenBitOneAsBefore)
{
    const int frames = 16384;
    const double amplitude = 32768.0 * std::pow(10.0, -1.0 / 20.0);
    std::vector<float> floats(static_cast<std::size_t>(frames));
    std::vector<std::int16_t> codes(static_cast<std::size_t>(frames));
    for (int i = 0; i < frames; ++i) {
        const double v = std::round(amplitude * 256.0 * std::sin(2.0 * std::numbers::pi * 997.0 * i / 48000.0)) / 256.0;
        floats[static_cast<std::size_t>(i)] = static_cast<float>(v / 32768.0);
        codes[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(std::floor(v));
    }
    const auto read = [&](const void* data, SampleFormat format) {
        auto m = std::make_unique<Measurements>();
        const int bytes = bytesPerSample(format);
        for (int from = 0; from < frames; from += 1024)
            m->measureBlock(
                RecordedBlock{static_cast<const std::uint8_t*>(data) + static_cast<std::ptrdiff_t>(from) * bytes,
                              static_cast<std::uint32_t>(1024 * bytes), 1, 48000, from > 0, format},
                true, false, MeasureParts{.time = true, .tone = true});
        return m->tone(1);
    };
    const ToneReading fine = read(floats.data(), SampleFormat::FloatLE);
    ASSERT_TRUE(fine.valid && fine.thdValid && fine.thdNValid);
    EXPECT_LT(db(fine.thd), -130.0);
    EXPECT_LT(db(fine.thdN), -120.0);
    EXPECT_NEAR(db(fine.amplitude / amplitude), 0.0, 0.01);
    const ToneReading coarse = read(codes.data(), SampleFormat::S16LE);
    ASSERT_TRUE(coarse.valid && coarse.thdNValid);
    // Sixteen bits read the transform's floor, some 30 dB above.
    EXPECT_GT(db(coarse.thdN), -100.0);
}

}  // namespace
}  // namespace varmolen
