// The signal generator's numerics, headless: frequency and level read back
// by the tone meter, the waveforms' levels, the dither, the ramps and the
// phase across a change of frequency.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "dsp/SignalSynth.h"
#include "dsp/ToneMeter.h"

namespace varmolen {
namespace {

std::vector<double> exact(SignalSynth& s, std::size_t frames)
{
    std::vector<double> v(2 * frames);
    s.renderExact(v.data(), frames);
    return v;
}

double rmsOf(const std::vector<double>& v, int channel, std::size_t from = 0)
{
    double sum = 0.0;
    std::size_t n = 0;
    for (std::size_t i = 2 * from + static_cast<std::size_t>(channel); i < v.size(); i += 2, ++n)
        sum += v[i] * v[i];
    return std::sqrt(sum / static_cast<double>(n));
}

// THD+N as what a least-squares sine at `hz` (and an offset) leaves of x,
// over the sine's RMS: exact, where a windowed transform has a floor of its own.
template <typename V>
double fittedThdN(const std::vector<V>& x, double hz, double rate)
{
    double ss = 0, cc = 0, sc = 0, s1 = 0, c1 = 0, xs = 0, xc = 0, x1 = 0;
    const double n = static_cast<double>(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double a = 2 * std::numbers::pi * hz * static_cast<double>(i) / rate;
        const double s = std::sin(a), c = std::cos(a), v = x[i];
        ss += s * s, cc += c * c, sc += s * c, s1 += s, c1 += c, xs += v * s, xc += v * c, x1 += v;
    }
    // Normal equations of v = p s + q c + r, solved by Cramer's rule.
    const double m[3][3] = {{ss, sc, s1}, {sc, cc, c1}, {s1, c1, n}};
    const double b[3] = {xs, xc, x1};
    const auto det = [](const double a[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
               a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    double sol[3];
    for (int k = 0; k < 3; ++k) {
        double t[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                t[i][j] = j == k ? b[i] : m[i][j];
        sol[k] = det(t) / det(m);
    }
    double residual = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double a = 2 * std::numbers::pi * hz * static_cast<double>(i) / rate;
        const double e = x[i] - (sol[0] * std::sin(a) + sol[1] * std::cos(a) + sol[2]);
        residual += e * e;
    }
    return std::sqrt(residual / n) / (std::hypot(sol[0], sol[1]) / std::numbers::sqrt2);
}

TEST(SignalSynth, SineReadsBackItsFrequencyLevelAndPurity)
{
    struct Case {
        double rate, hz, dbfs;
        int bits;
    };
    for (const Case c : {Case{44100, 1000, -1, 16}, Case{48000, 997.13, -1, 16}, Case{22050, 60.5, -20, 16},
                         Case{96000, 19999.99, -1, 24}, Case{11025, 4961.25, -1, 16}}) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz rate, " << c.hz << " Hz, " << c.dbfs << " dBFS");
        SignalSynth s(c.rate, c.bits);
        s.set({.waveform = SynthWaveform::Sine, .hz = c.hz, .levelDbfs = c.dbfs});
        s.switchOn(true);
        std::vector<std::int32_t> out(2 * 16384);
        s.render(out.data(), 16384);
        std::vector<float> left(8192);
        for (int i = 0; i < 8192; ++i)
            left[static_cast<std::size_t>(i)] = static_cast<float>(out[2 * (8192 + static_cast<std::size_t>(i))]);
        // The accumulator after n frames stands where n * hz / rate cycles put it.
        EXPECT_NEAR(s.phase(), std::fmod(16384.0 * c.hz / c.rate, 1.0), 1e-9);
        ToneMeter meter;
        const ToneReading r = meter.measure(left.data(), 8192, c.rate);
        ASSERT_TRUE(r.valid);
        EXPECT_NEAR(r.hz, c.hz, c.hz * 1e-4);
        EXPECT_NEAR(20 * std::log10(r.amplitude / s.fullScale()), c.dbfs, 0.01);
        if (c.dbfs == -1 && c.bits == 16) {
            // Two steps of triangular dither over a sine of 0.89 full scale:
            // -92 dB.
            EXPECT_LT(fittedThdN(left, c.hz, c.rate), 3e-5) << "THD+N below -90 dB";
            EXPECT_GT(fittedThdN(left, c.hz, c.rate), 2e-5) << "the dither is there";
        }
    }
}

TEST(SignalSynth, EachWaveformHasTheLevelItsScaleGives)
{
    const double peak = std::pow(10.0, -6.0 / 20.0);
    const double sineRms = peak / std::numbers::sqrt2;
    // The square, the triangle and the sawtooth are matched sample by sample
    // in band_limited_test.cpp; here their peak, with the others' RMS.
    struct Case {
        SynthWaveform w;
        double rms, tolerance;  // rms 0: not read here
    };
    for (const Case c :
         {Case{SynthWaveform::Sine, sineRms, 1e-4}, Case{SynthWaveform::Square, 0, 0},
          Case{SynthWaveform::Triangle, 0, 0}, Case{SynthWaveform::Sawtooth, 0, 0},
          Case{SynthWaveform::WhiteNoise, sineRms, 0.01}, Case{SynthWaveform::PinkNoise, sineRms, 0.05},
          Case{SynthWaveform::TwoToneLow, peak * std::sqrt(0.8 * 0.8 + 0.2 * 0.2) / std::numbers::sqrt2, 1e-3},
          Case{SynthWaveform::TwoToneHigh, peak * 0.5, 1e-3}}) {
        SCOPED_TRACE(kSynthWaveformNames[static_cast<std::size_t>(c.w)]);
        SignalSynth s(48000, 16);
        // 100.3 Hz: the samples land at every phase of the cycle in turn.
        s.set({.waveform = c.w, .hz = 100.3, .levelDbfs = -6});
        s.switchOn(true);
        const std::vector<double> v = exact(s, 480000);
        if (c.rms > 0) {
            EXPECT_NEAR(rmsOf(v, 0, 480), c.rms, c.rms * c.tolerance);
        }
        const double top = *std::max_element(v.begin(), v.end());
        if (c.w != SynthWaveform::WhiteNoise && c.w != SynthWaveform::PinkNoise) {
            // At the level within 0.01 dB (a factor of 1.00115), never above
            // it; the samples of a pair near half the rate miss its crests.
            EXPECT_LE(top, peak * (1 + 1e-9)) << "the periodic waveforms peak at the level";
            if (c.w != SynthWaveform::TwoToneHigh) {
                EXPECT_GT(top, peak / 1.00115);
            }
        }
    }
}

TEST(SignalSynth, DitherIsTriangularAndUnrelatedToTheSignal)
{
    for (const int bits : {16, 24}) {
        SCOPED_TRACE(bits);
        SignalSynth plain(44100, bits), dithered(44100, bits);
        for (SignalSynth* s : {&plain, &dithered}) {
            s->set({.hz = 441, .levelDbfs = -20});
            s->switchOn(true);
        }
        const std::size_t n = 200000;
        const std::vector<double> v = exact(plain, n);
        std::vector<std::int32_t> out(2 * n);
        dithered.render(out.data(), n);
        double sum = 0.0, power = 0.0, withSignal = 0.0, worst = 0.0;
        for (std::size_t i = 2 * 400; i < 2 * n; ++i) {
            const double e = out[i] - v[i] * dithered.fullScale();
            sum += e;
            power += e * e;
            withSignal += e * v[i];
            worst = std::max(worst, std::abs(e));
        }
        const double m = static_cast<double>(2 * n - 800);
        EXPECT_NEAR(sum / m, 0.0, 0.01);
        // Rounding a value with two uniform steps of dither added: 1/4 step squared.
        EXPECT_NEAR(power / m, 0.25, 0.01);
        EXPECT_LE(worst, 1.5);
        EXPECT_NEAR(withSignal / m, 0.0, 0.002);
    }
}

TEST(SignalSynth, OnOffAndLevelChangesRampOverFiveMilliseconds)
{
    const double rate = 48000;
    const std::size_t ramp = static_cast<std::size_t>(kSynthRampSeconds * rate);  // 240 frames
    SignalSynth s(rate, 16);
    s.set({.waveform = SynthWaveform::Sine, .hz = 20, .levelDbfs = 0});
    EXPECT_TRUE(s.silent());
    s.switchOn(true);
    // The unit tone at frame n of the output; the envelope is the ramp.
    const auto tone = [&](std::size_t n) {
        return std::sin(2 * std::numbers::pi * 20 * static_cast<double>(n) / rate);
    };
    std::vector<double> v = exact(s, 2 * ramp);
    struct Point {
        std::size_t frame;
        double level;
    };
    for (const Point p : {Point{1, 2.0 / 240}, Point{119, 0.5}, Point{239, 1.0}, Point{300, 1.0}})
        EXPECT_NEAR(v[2 * p.frame], p.level * tone(p.frame), 1e-9) << "frame " << p.frame;
    s.set({.waveform = SynthWaveform::Sine, .hz = 20, .levelDbfs = -6.0206});
    v = exact(s, ramp);
    EXPECT_NEAR(v[2 * 119], 0.75 * tone(2 * ramp + 119), 1e-4);
    EXPECT_NEAR(v[2 * 239], 0.5 * tone(2 * ramp + 239), 1e-4);
    s.switchOn(false);
    v = exact(s, ramp + 10);
    EXPECT_NEAR(v[2 * 119], 0.25 * tone(3 * ramp + 119), 1e-4);
    EXPECT_EQ(v[2 * 239], 0.0);
    EXPECT_TRUE(s.silent());
    std::vector<std::int32_t> codes(2 * 100, 7);
    s.render(codes.data(), 100);
    EXPECT_TRUE(std::all_of(codes.begin(), codes.end(), [](std::int32_t c) { return c == 0; }))
        << "switched off, the output is digital silence, dither and all";
}

TEST(SignalSynth, FrequencyChangeKeepsThePhaseAndChannelsFollowTheirSetting)
{
    SignalSynth s(44100, 16);
    s.set({.hz = 1000, .levelDbfs = 0});
    s.switchOn(true);
    exact(s, 1000);
    const double before = s.phase();
    s.set({.hz = 3000, .levelDbfs = 0});
    const std::vector<double> v = exact(s, 2);
    EXPECT_NEAR(v[0], std::sin(2 * std::numbers::pi * before), 1e-12);
    EXPECT_NEAR(v[2], std::sin(2 * std::numbers::pi * (before + 3000.0 / 44100)), 1e-12);

    struct Case {
        SynthChannels channels;
        bool invert;
        double left, right;  // multiples of the tone on each side
    };
    for (const Case c : {Case{SynthChannels::Both, false, 1, 1}, Case{SynthChannels::Both, true, 1, -1},
                         Case{SynthChannels::Left, true, 1, 0}, Case{SynthChannels::Right, true, 0, -1},
                         Case{SynthChannels::Right, false, 0, 1}}) {
        SignalSynth t(44100, 16);
        t.set({.hz = 997, .levelDbfs = 0, .channels = c.channels, .invertRight = c.invert});
        t.switchOn(true);
        const std::vector<double> w = exact(t, 2000);
        for (std::size_t i = 1000; i < 2000; ++i) {
            const double tone = std::sin(2 * std::numbers::pi * 997.0 * static_cast<double>(i) / 44100);
            ASSERT_NEAR(w[2 * i], c.left * tone, 1e-9) << static_cast<int>(c.channels) << c.invert;
            ASSERT_NEAR(w[2 * i + 1], c.right * tone, 1e-9) << static_cast<int>(c.channels) << c.invert;
        }
    }
}

TEST(SignalSynth, SettingsOutsideTheirRangesAreBroughtIn)
{
    struct Case {
        double rate, hz, dbfs, wantHz, wantDbfs;
    };
    for (const Case c : {Case{44100, 0.2, 3, 1, 0}, Case{44100, 30000, -120, 19845, -100},
                         Case{8000, NAN, NAN, 1, -100}, Case{192000, 50000, -3.5, 50000, -3.5}}) {
        const SynthSettings s = clampSynthSettings({.hz = c.hz, .levelDbfs = c.dbfs}, c.rate);
        EXPECT_DOUBLE_EQ(s.hz, c.wantHz);
        EXPECT_DOUBLE_EQ(s.levelDbfs, c.wantDbfs);
    }
}

}  // namespace
}  // namespace varmolen
