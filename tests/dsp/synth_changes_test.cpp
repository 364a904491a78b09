// The generator's changes while it plays: channels, inversion and waveform
// ramp without a step, and a prepared signal played once comes out as it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <vector>

#include "dsp/SignalSynth.h"

namespace varmolen {
namespace {

constexpr double kRate = 48000;

// The largest step between consecutive frames of each channel.
double largestStep(const std::vector<double>& v)
{
    double most = 0.0;
    for (std::size_t i = 2; i < v.size(); ++i)
        most = std::max(most, std::abs(v[i] - v[i - 2]));
    return most;
}

std::vector<double> exact(SignalSynth& s, std::size_t frames)
{
    std::vector<double> v(2 * frames);
    s.renderExact(v.data(), frames);
    return v;
}

TEST(SynthChanges, ChannelsInversionAndWaveformRampWithoutAStep)
{
    const double level = std::pow(10.0, -6.0 / 20.0);
    const auto rampFrames = static_cast<std::size_t>(kSynthRampSeconds * kRate);
    struct Case {
        const char* what;
        SynthSettings from;
        std::vector<SynthSettings> to;  // set a fifth of a ramp apart
        double left, right;             // after the ramp: the multiple of the new tone on each side
    };
    const SynthSettings tone{.waveform = SynthWaveform::Sine, .hz = 100, .levelDbfs = -6};
    SynthSettings leftOnly = tone, rightOnly = tone, inverted = tone, rightInverted = tone, triangle = tone,
                  pair = tone;
    leftOnly.channels = SynthChannels::Left;
    rightOnly.channels = SynthChannels::Right;
    inverted.invertRight = true;
    rightInverted = rightOnly;
    rightInverted.invertRight = true;
    triangle.waveform = SynthWaveform::Triangle;
    pair.waveform = SynthWaveform::TwoToneLow;
    for (const Case& c :
         {Case{"both to left", tone, {leftOnly}, 1, 0}, Case{"left to right", leftOnly, {rightOnly}, 0, 1},
          Case{"right inverted", tone, {inverted}, 1, -1}, Case{"inversion undone", rightInverted, {rightOnly}, 0, 1},
          Case{"sine to triangle", tone, {triangle}, 1, 1}, Case{"triangle to a pair", triangle, {pair}, 1, 1},
          Case{"changes within a crossfade", tone, {triangle, pair, tone, leftOnly}, 1, 0}}) {
        SCOPED_TRACE(c.what);
        // The steady signal's largest step, before and after each change.
        double steady = 0.0;
        std::vector<SynthSettings> all = c.to;
        all.push_back(c.from);
        for (const SynthSettings& settings : all) {
            SignalSynth s(kRate, 16);
            s.set(settings);
            s.switchOn(true);
            exact(s, rampFrames);
            steady = std::max(steady, largestStep(exact(s, 4800)));
        }
        SignalSynth s(kRate, 16);
        s.set(c.from);
        s.switchOn(true);
        exact(s, rampFrames + 70);  // steady, and where sine and triangle differ by a fifth of the level
        std::vector<double> during = exact(s, 1);
        for (const SynthSettings& settings : c.to) {
            s.set(settings);
            const std::vector<double> more = exact(s, rampFrames / 5);
            during.insert(during.end(), more.begin(), more.end());
        }
        const std::vector<double> more = exact(s, 2 * rampFrames);
        during.insert(during.end(), more.begin(), more.end());
        // A gain moving by at most 2 (1 to -1) over the ramp, or a crossfade
        // between two waves within the level, adds at most 2 * level /
        // rampFrames to a step: y = g v gives dy = g dv + v dg.
        const double allowed = steady + 2.0 * level / static_cast<double>(rampFrames);
        EXPECT_LE(largestStep(during), allowed * (1 + 1e-9));
        // Afterwards each side plays its multiple of the one tone.
        const std::vector<double> after = exact(s, 480);
        for (std::size_t i = 0; i < after.size(); i += 2) {
            const double played = c.left != 0 ? after[i] / c.left : after[i + 1] / c.right;
            ASSERT_NEAR(after[i], c.left * played, 1e-12);
            ASSERT_NEAR(after[i + 1], c.right * played, 1e-12);
        }
        EXPECT_GT(largestStep(after), 0.0);
    }
}

TEST(SynthChanges, ASignalPlayedOnceComesOutAsItIsOnBothChannelsThenSilence)
{
    // A chirp with fades of its own, up to 0.9 of full scale.
    auto signal = std::make_shared<std::vector<float>>(3000);
    for (std::size_t n = 0; n < signal->size(); ++n) {
        const double t = static_cast<double>(n) / kRate;
        const double fade = std::sin(std::numbers::pi * static_cast<double>(n) / 3000.0);
        (*signal)[n] = static_cast<float>(0.9 * fade * std::sin(2 * std::numbers::pi * (200 * t + 200000 * t * t)));
    }
    for (const int bits : {16, 24}) {
        SCOPED_TRACE(bits);
        SignalSynth s(kRate, bits);
        // A tone that would play on the left only, at another level.
        s.set({.waveform = SynthWaveform::Square,
               .hz = 1000,
               .levelDbfs = -30,
               .channels = SynthChannels::Left,
               .invertRight = true});
        s.switchOn(true);
        std::vector<std::int32_t> codes(2 * 4000);
        s.render(codes.data(), 500);
        s.playOnce(signal);
        EXPECT_TRUE(s.playingOnce());
        s.render(codes.data(), 1000);
        EXPECT_EQ(s.framesPlayedOnce(), 1000u);
        s.render(codes.data() + 2000, 3000);
        EXPECT_FALSE(s.playingOnce());
        EXPECT_EQ(s.framesPlayedOnce(), signal->size());
        // Each code is the signal's value plus two steps of triangular dither,
        // rounded: within 1.5 steps, 0.25 steps squared on average.
        double worst = 0.0, power = 0.0;
        for (std::size_t n = 0; n < signal->size(); ++n) {
            for (int side = 0; side < 2; ++side) {
                const double e = codes[2 * n + static_cast<std::size_t>(side)] - (*signal)[n] * s.fullScale();
                worst = std::max(worst, std::abs(e));
                power += e * e;
            }
        }
        EXPECT_LE(worst, 1.5);
        EXPECT_NEAR(power / (2.0 * static_cast<double>(signal->size())), 0.25, 0.05);
        EXPECT_TRUE(std::all_of(codes.begin() + 2 * 3000, codes.end(), [](std::int32_t c) { return c == 0; }))
            << "digital silence after the signal";

        // A change ends it: the tone comes back along its ramp.
        s.set({.waveform = SynthWaveform::Sine, .hz = 1000, .levelDbfs = -6});
        const std::vector<double> back = exact(s, 480);
        EXPECT_LT(std::abs(back[0]), 0.5 / 240 + 1e-12);
        EXPECT_GT(largestStep(back), 0.0);
        EXPECT_EQ(s.framesPlayedOnce(), signal->size());
    }
}

TEST(SynthChanges, ASignalCutShortFadesOutAlongTheRamp)
{
    auto signal = std::make_shared<std::vector<float>>(48000, 0.5f);
    const auto rampFrames = static_cast<std::size_t>(kSynthRampSeconds * kRate);
    SignalSynth s(kRate, 16);
    s.switchOn(true);
    s.playOnce(signal);
    exact(s, 100);
    s.switchOn(false);
    const std::vector<double> v = exact(s, rampFrames + 10);
    EXPECT_LE(largestStep(v), 0.5 / static_cast<double>(rampFrames) * (1 + 1e-9));
    EXPECT_NEAR(v[0], 0.5 * (1 - 1.0 / static_cast<double>(rampFrames)), 1e-9);
    EXPECT_EQ(v[2 * rampFrames], 0.0);
    EXPECT_TRUE(s.silent());
    EXPECT_EQ(s.framesPlayedOnce(), 100 + rampFrames) << "the signal goes on while it fades";
}

}  // namespace
}  // namespace varmolen
