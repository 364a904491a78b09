// The response curves' log axis, unwrapping and group delay, a response
// divided by a saved one, and fractional-octave smoothing: flat stays flat,
// a notch one point wide spreads over the smoothing's width and fills in as
// the power average says.
#include "dsp/ResponseCurve.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

namespace varmolen {
namespace {

std::vector<ResponsePoint> curve(double startHz, double stopHz, int perOctave, double magnitudeDb, double phaseDeg)
{
    std::vector<ResponsePoint> points;
    for (const double hz : logFrequencies(startHz, stopHz, perOctave))
        points.push_back({hz, magnitudeDb, phaseDeg, 0.0});
    return points;
}

TEST(ResponseCurve, LogFrequenciesSpanTheEndsAtLeastAsFineAsAsked)
{
    struct Case {
        double start, stop;
        int perOctave;
        std::size_t count;
    };
    for (const Case c : {Case{20, 20000, 48, 480}, Case{20, 20000, 3, 31}, Case{20, 20000, 0, 11},
                         Case{20, 20000, 500, 958}, Case{1000, 1000, 48, 1}, Case{1000, 2000, 1, 2},
                         Case{0, 1000, 48, 0}, Case{100, 50, 48, 0}, Case{20, INFINITY, 48, 0}}) {
        SCOPED_TRACE(testing::Message() << c.start << ".." << c.stop << " at " << c.perOctave);
        const std::vector<double> hz = logFrequencies(c.start, c.stop, c.perOctave);
        ASSERT_EQ(hz.size(), c.count);
        if (hz.empty())
            continue;
        EXPECT_EQ(hz.front(), c.start);
        EXPECT_EQ(hz.back(), c.stop);
        for (std::size_t i = 1; i < hz.size(); ++i) {
            ASSERT_GT(hz[i], hz[i - 1]);
            // Even steps on the log axis, each at most the octave's share asked for (1..96).
            ASSERT_NEAR(std::log2(hz[i] / hz[i - 1]), std::log2(hz[1] / hz[0]), 1e-9);
            ASSERT_LE(std::log2(hz[i] / hz[i - 1]), 1.0 / std::clamp(c.perOctave, 1, 96) + 1e-12);
        }
    }
}

TEST(ResponseCurve, UnwrappingKeepsTheAnchorAndMakesEveryStepSmall)
{
    // A delay's phase, wrapped into (-180, 180].
    std::vector<double> truth, wrapped;
    for (int i = 0; i < 200; ++i) {
        truth.push_back(-37.0 * i + 100.0);
        wrapped.push_back(truth.back() - 360.0 * std::round(truth.back() / 360.0));
    }
    std::vector<double> phase = wrapped;
    unwrapPhase(phase, 120);
    EXPECT_EQ(phase[120], wrapped[120]);
    for (std::size_t i = 0; i < phase.size(); ++i)
        ASSERT_NEAR(phase[i] - truth[i], wrapped[120] - truth[120], 1e-9) << i;
}

TEST(ResponseCurve, GroupDelayOfADelayIsTheDelay)
{
    std::vector<ResponsePoint> points = curve(20, 20000, 12, 0, 0);
    for (ResponsePoint& p : points)
        p.phaseDeg = -360.0 * p.hz * 0.0025;  // 2.5 ms
    computeGroupDelays(points);
    for (const ResponsePoint& p : points)
        ASSERT_NEAR(p.groupDelayMs, 2.5, 1e-9) << p.hz;
    std::vector<ResponsePoint> one = {{1000, 0, 45, 7}};
    computeGroupDelays(one);
    EXPECT_EQ(one[0].groupDelayMs, 0.0);
}

TEST(ResponseCurve, DivisionSubtractsTheReferenceInterpolatedOnTheLogAxis)
{
    const std::vector<ResponsePoint> reference = {{100, 0, 0, 1}, {400, 6, -90, 3}, {1600, 6, -90, 3}};
    const std::vector<ResponsePoint> measured = {{50, 1, 1, 1},    {100, 1, 10, 2},   {200, 1, 10, 2},
                                                 {800, 7, -80, 4}, {1600, 6, -90, 3}, {1600.0000001, 0, 0, 0},
                                                 {1601, 0, 0, 0}};
    const std::vector<ResponsePoint> out = divideResponse(measured, reference);
    struct Expected {
        double hz, db, deg, ms;
    };
    const Expected expected[] = {
        {100, 1, 10, 1}, {200, -2, 55, 0}, {800, 1, 10, 1}, {1600, 0, 0, 0}, {1600.0000001, -6, 90, -3}};
    ASSERT_EQ(out.size(), std::size(expected));  // 50 and 1601 Hz lie outside the reference
    for (std::size_t i = 0; i < out.size(); ++i) {
        SCOPED_TRACE(expected[i].hz);
        EXPECT_EQ(out[i].hz, expected[i].hz);
        EXPECT_NEAR(out[i].magnitudeDb, expected[i].db, 1e-6);
        EXPECT_NEAR(out[i].phaseDeg, expected[i].deg, 1e-6);
        EXPECT_NEAR(out[i].groupDelayMs, expected[i].ms, 1e-6);
    }
    // A reference whose frequencies do not rise, or none, divides nothing.
    EXPECT_TRUE(divideResponse(measured, {{100, 0, 0, 0}, {100, 1, 0, 0}}).empty());
    EXPECT_TRUE(divideResponse(measured, {{400, 0, 0, 0}, {100, 1, 0, 0}}).empty());
    EXPECT_TRUE(divideResponse(measured, {}).empty());
}

TEST(ResponseCurve, SmoothingKeepsFlatFlatAndSpreadsANotch)
{
    const std::vector<ResponsePoint> flat = curve(20, 20000, 48, -3, 10);
    for (const int fraction : {48, 24, 12, 6, 3}) {
        SCOPED_TRACE(fraction);
        for (const ResponsePoint& p : smoothResponse(flat, fraction)) {
            ASSERT_NEAR(p.magnitudeDb, -3.0, 1e-9);
            ASSERT_NEAR(p.phaseDeg, 10.0, 1e-9);
            ASSERT_NEAR(p.groupDelayMs, 0.0, 1e-9);
        }
    }
    // A notch 40 dB deep at one point of 48 an octave. Smoothed over 1/N
    // octave, the N/48-wide window about each point holds 48/N + 1 points;
    // each one holding the notch reads the power average, the others 0 dB.
    std::vector<ResponsePoint> notched = curve(20, 20000, 48, 0, 0);
    const std::size_t at = 240;
    notched[at].magnitudeDb = -40.0;
    EXPECT_EQ(smoothResponse(notched, 0)[at].magnitudeDb, -40.0);
    for (const int fraction : {24, 12, 6, 3}) {
        SCOPED_TRACE(fraction);
        const std::vector<ResponsePoint> smoothed = smoothResponse(notched, fraction);
        const int reach = 24 / fraction;  // points on either side
        const double count = 2.0 * reach + 1.0;
        const double filled = 10.0 * std::log10((count - 1.0 + 1e-4) / count);
        for (std::size_t i = 0; i < smoothed.size(); ++i) {
            const bool near = std::abs(static_cast<int>(i) - static_cast<int>(at)) <= reach;
            ASSERT_NEAR(smoothed[i].magnitudeDb, near ? filled : 0.0, 1e-6) << i;
        }
    }
}

TEST(ResponseCurve, SmoothedPhaseStaysUnwrapped)
{
    // A small delay's phase reaches -360 degrees at 20 kHz; smoothing takes
    // it from the averaged complex response, about each point's own phase.
    std::vector<ResponsePoint> points = curve(20, 20000, 48, 0, 0);
    for (ResponsePoint& p : points)
        p.phaseDeg = -360.0 * p.hz * 0.00005 + 720.0;
    computeGroupDelays(points);
    const std::vector<ResponsePoint> smoothed = smoothResponse(points, 6);
    for (std::size_t i = 0; i < points.size(); ++i) {
        ASSERT_NEAR(smoothed[i].phaseDeg, points[i].phaseDeg, 3.0) << points[i].hz;
        ASSERT_NEAR(smoothed[i].groupDelayMs, 0.05, 0.01) << points[i].hz;
    }
}

}  // namespace
}  // namespace varmolen
