// Intermodulation readings of two-tone records: pairs through a polynomial,
// whose products' amplitudes follow from the trigonometric identities, read
// by both methods; the pairs the rate or the record cannot carry, and the
// signals that are no pair, read nothing; the generator's own pair through
// the strip's measurements reads its own floor.
#include "dsp/Intermodulation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "dsp/Measurements.h"
#include "dsp/SignalSynth.h"
#include "dsp/ToneMeter.h"

using namespace varmolen;

namespace {

constexpr double kTwoPi = 2.0 * M_PI;

// y = x + a2 x^2 + a3 x^3 + a4 x^4.
struct Polynomial {
    double a2 = 0.0, a3 = 0.0, a4 = 0.0;
    double operator()(double x) const { return x + x * x * (a2 + x * (a3 + x * a4)); }
};

// The products of A1 cos(w1 t) + A2 cos(w2 t) through the polynomial: each
// tone's amplitude, and each product's, from cos^2, cos^3 and cos^4 written
// as sums of cosines.
struct Products {
    double tone1, tone2;
    double sum1;    // f2 - f1 and f2 + f1 (each)
    double sum2;    // f2 - 2 f1, f2 + 2 f1, 2 f1 - f2
    double twice2;  // 2 f2 - f1
    double sum3;    // f2 - 3 f1, f2 + 3 f1
};
Products productsOf(double a1, double a2, const Polynomial& p)
{
    return {a1 + p.a3 * (0.75 * a1 * a1 * a1 + 1.5 * a1 * a2 * a2),
            a2 + p.a3 * (0.75 * a2 * a2 * a2 + 1.5 * a1 * a1 * a2),
            std::abs(p.a2 * a1 * a2 + 1.5 * p.a4 * (a1 * a1 * a1 * a2 + a1 * a2 * a2 * a2)),
            0.75 * std::abs(p.a3) * a1 * a1 * a2,
            0.75 * std::abs(p.a3) * a1 * a2 * a2,
            0.5 * std::abs(p.a4) * a1 * a1 * a1 * a2};
}

// A record of `frames` codes of a pair (peak `level` of full scale, shared
// as the generator shares it) through the polynomial.
std::vector<float> pairRecord(SynthWaveform pair, double rate, int frames, double level, const Polynomial& p)
{
    const ToneMix mix = twoToneMix(pair);
    std::vector<float> x(static_cast<std::size_t>(frames));
    for (int n = 0; n < frames; ++n) {
        const double v = level * (mix.shareA * std::cos(kTwoPi * mix.hzA * n / rate + 0.4) +
                                  mix.shareB * std::cos(kTwoPi * mix.hzB * n / rate + 1.1));
        x[static_cast<std::size_t>(n)] = static_cast<float>(kFullScaleCode * p(v));
    }
    return x;
}

ImdReading readRecord(const std::vector<float>& x, double rate, ImdMethod played)
{
    auto meter = std::make_unique<ToneMeter>();
    meter->measure(x.data(), static_cast<int>(x.size()), rate);
    return readIntermodulation(*meter, rate, played);
}

}  // namespace

// Each method reads each order of the polynomial's products within 1 % of
// it and 3e-6 of the tone (-110 dB: the window's skirt beside the tones),
// at the usual rates up to the highest that parts 60 Hz sidebands at 8192
// samples.
TEST(Intermodulation, PolynomialProductsByBothMethods)
{
    struct Case {
        SynthWaveform pair;
        double rate;
        Polynomial p;
    };
    const Case cases[] = {
        {SynthWaveform::TwoToneLow, 48000.0, {0.01, 0.0, 0.0}},
        {SynthWaveform::TwoToneLow, 44100.0, {0.0, 0.02, 0.0}},
        {SynthWaveform::TwoToneLow, 44100.0, {0.001, 0.003, 0.05}},
        {SynthWaveform::TwoToneLow, 96000.0, {-0.02, 0.01, 0.1}},
        {SynthWaveform::TwoToneLow, 22050.0, {1e-4, 0.0, 0.0}},
        {SynthWaveform::TwoToneHigh, 48000.0, {0.01, 0.0, 0.0}},
        {SynthWaveform::TwoToneHigh, 44100.0, {0.0, -0.03, 0.0}},
        {SynthWaveform::TwoToneHigh, 96000.0, {0.003, 0.002, 0.0}},
        {SynthWaveform::TwoToneHigh, 192000.0, {1e-4, 1e-4, 0.0}},
    };
    constexpr double kLevel = 0.5;
    for (const Case& c : cases) {
        const bool smpte = c.pair == SynthWaveform::TwoToneLow;
        const ToneMix mix = twoToneMix(c.pair);
        const Products q = productsOf(kLevel * mix.shareA, kLevel * mix.shareB, c.p);
        const std::array<double, 3> orders =
            smpte ? std::array<double, 3>{2.0 * q.sum1 / q.tone2, 2.0 * q.sum2 / q.tone2, 2.0 * q.sum3 / q.tone2}
                  : std::array<double, 3>{q.sum1 / (q.tone1 + q.tone2), (q.sum2 + q.twice2) / (q.tone1 + q.tone2), 0.0};
        const double ratio = std::hypot(orders[0], orders[1], orders[2]);
        const ImdMethod method = smpte ? ImdMethod::Smpte : ImdMethod::Dfd;
        for (ImdMethod played : {ImdMethod::None, method}) {
            const ImdReading r = readRecord(pairRecord(c.pair, c.rate, 8192, kLevel, c.p), c.rate, played);
            SCOPED_TRACE(testing::Message()
                         << imdMethodName(method) << " at " << c.rate << " Hz, a2 " << c.p.a2 << " a3 " << c.p.a3
                         << " a4 " << c.p.a4 << ", played " << imdMethodName(played));
            ASSERT_TRUE(r.valid);
            EXPECT_EQ(r.method, method);
            EXPECT_NEAR(r.ratio, ratio, 0.01 * ratio + 3e-6);
            for (std::size_t i = 0; i < 3; ++i)
                EXPECT_NEAR(r.orders[i], orders[i], 0.01 * orders[i] + 3e-6) << "order " << i + 2;
            EXPECT_NEAR(r.lowHz, mix.hzA, 1e-3 * mix.hzA);
            EXPECT_NEAR(r.highHz, mix.hzB, 1e-3 * mix.hzB);
        }
    }
}

// No reading where the rate cannot carry the pair or a product, or the
// record cannot part the sidebands from the tone; none for what is no pair
// unless the generator plays it, and never by another method than the one
// played.
TEST(Intermodulation, AbsentWhereThePairCannotBeRead)
{
    const Polynomial bent{0.01, 0.01, 0.0};
    const auto pair = [&](SynthWaveform w, double rate, int frames) { return pairRecord(w, rate, frames, 0.5, bent); };
    const auto tones = [](std::vector<std::pair<double, double>> hzAndLevel) {
        std::vector<float> x(8192);
        for (int n = 0; n < 8192; ++n)
            for (const auto& [hz, level] : hzAndLevel)
                x[static_cast<std::size_t>(n)] += static_cast<float>(level * std::sin(kTwoPi * hz * n / 48000.0 + 0.2));
        return x;
    };
    const auto noise = [] {
        std::mt19937 random(7);
        std::normal_distribution<float> gauss(0.0f, 3000.0f);
        std::vector<float> x(8192);
        for (float& v : x)
            v = gauss(random);
        return x;
    };
    struct Case {
        const char* what;
        std::vector<float> record;
        double rate;
        ImdMethod played;
        ImdMethod reads;
    };
    const Case cases[] = {
        {"60 Hz sidebands 2.6 bins from 7 kHz", pair(SynthWaveform::TwoToneLow, 192000.0, 8192), 192000.0,
         ImdMethod::Smpte, ImdMethod::None},
        {"a record of 2048 at 48000 Hz", pair(SynthWaveform::TwoToneLow, 48000.0, 2048), 48000.0, ImdMethod::Smpte,
         ImdMethod::None},
        {"20 kHz beyond half of 32000 Hz", pair(SynthWaveform::TwoToneHigh, 32000.0, 8192), 32000.0, ImdMethod::Dfd,
         ImdMethod::None},
        {"21 kHz at the edge of 42000 Hz", pair(SynthWaveform::TwoToneHigh, 42000.0, 8192), 42000.0, ImdMethod::Dfd,
         ImdMethod::None},
        {"the low pair while the high one plays", pair(SynthWaveform::TwoToneLow, 48000.0, 8192), 48000.0,
         ImdMethod::Dfd, ImdMethod::None},
        {"7 kHz alone", tones({{7000.0, 8000.0}}), 48000.0, ImdMethod::None, ImdMethod::None},
        {"60 Hz and 7 kHz at 1:1", tones({{60.0, 8000.0}, {7000.0, 8000.0}}), 48000.0, ImdMethod::None,
         ImdMethod::None},
        {"... played", tones({{60.0, 8000.0}, {7000.0, 8000.0}}), 48000.0, ImdMethod::Smpte, ImdMethod::Smpte},
        {"19 and 20 kHz under a stronger 5 kHz", tones({{19000.0, 4000.0}, {20000.0, 4000.0}, {5000.0, 9000.0}}),
         48000.0, ImdMethod::None, ImdMethod::None},
        {"... played", tones({{19000.0, 4000.0}, {20000.0, 4000.0}, {5000.0, 9000.0}}), 48000.0, ImdMethod::Dfd,
         ImdMethod::Dfd},
        {"61.5 Hz and 7175 Hz", tones({{61.5, 8000.0}, {7175.0, 2000.0}}), 48000.0, ImdMethod::None, ImdMethod::None},
        {"silence", std::vector<float>(8192), 48000.0, ImdMethod::Smpte, ImdMethod::None},
        {"white noise", noise(), 48000.0, ImdMethod::Smpte, ImdMethod::None},
    };
    for (const Case& c : cases) {
        const ImdReading r = readRecord(c.record, c.rate, c.played);
        EXPECT_EQ(r.valid, c.reads != ImdMethod::None) << c.what;
        EXPECT_EQ(r.method, c.reads) << c.what;
    }
}

// The generator's own pairs at -1 dBFS, 16-bit and dithered, recorded as
// they are played (channel 1 of a stereo buffer) and read through the
// strip's measurements by the method played: the noise of 16 bits, far
// below any card's reading; by the other method, nothing.
TEST(Intermodulation, TheGeneratorsOwnPairReadsItsFloor)
{
    for (SynthWaveform w : {SynthWaveform::TwoToneLow, SynthWaveform::TwoToneHigh}) {
        SignalSynth synth(48000.0, 16);
        synth.set({.waveform = w, .levelDbfs = -1.0});
        synth.switchOn(true);
        Measurements m;
        m.setPlayedPair(imdMethodOf(w));
        std::vector<std::int32_t> frames(2 * 2048);
        std::vector<std::uint8_t> bytes(4 * 2048);
        for (int b = 0; b < 8; ++b) {
            synth.render(frames.data(), 2048);
            for (std::size_t i = 0; i < frames.size(); ++i) {
                // A frame is (channel 2, channel 1): left plays into channel 1.
                const auto code = static_cast<std::uint16_t>(frames[i ^ 1]);
                bytes[2 * i] = static_cast<std::uint8_t>(code & 0xFF);
                bytes[2 * i + 1] = static_cast<std::uint8_t>(code >> 8);
            }
            m.measureBlock(RecordedBlock{bytes.data(), 4 * 2048, 2, 48000, b > 0}, true, false,
                           {.time = false, .tone = true});
        }
        m.tone(1);
        const ImdReading& r = m.readings(1).imd;
        ASSERT_TRUE(r.valid) << imdMethodName(imdMethodOf(w));
        EXPECT_EQ(r.method, imdMethodOf(w));
        EXPECT_LT(r.ratio, 1e-5) << imdMethodName(r.method);  // below 0.001 %, -100 dB
        // The method played rules: by the other pair's, nothing.
        m.setPlayedPair(w == SynthWaveform::TwoToneLow ? ImdMethod::Dfd : ImdMethod::Smpte);
        m.restartTone();
        m.tone(1);
        EXPECT_FALSE(m.readings(1).imd.valid);
    }
}
