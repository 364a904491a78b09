// The response sweep's steps, its settling and gathering over buffers, its
// rows and their CSV, on buffers made from the generator's own synthesis
// through a known response.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "dsp/ResponseSweep.h"
#include "dsp/SignalSynth.h"

namespace varmolen {
namespace {

TEST(ResponseSweep, StepsLieOnTheGridThrough1kHz)
{
    struct Case {
        double start, stop;
        int perOctave;
        double rate;
        std::size_t count;
        double first, last;
    };
    for (const Case c : {Case{20, 20000, 3, 44100, 31, 19.686, 19845}, Case{20, 20000, 6, 48000, 61, 19.686, 20158.7},
                         Case{1000, 1000, 6, 44100, 1, 1000, 1000}, Case{5000, 96000, 1, 22050, 2, 8000, 9922.5},
                         Case{12000, 20000, 3, 22050, 0, 0, 0}, Case{100, 50, 3, 44100, 0, 0, 0},
                         Case{900, 1100, 0, 44100, 1, 1000, 1000}}) {
        SCOPED_TRACE(testing::Message() << c.start << ".." << c.stop << " / " << c.perOctave);
        const std::vector<double> f =
            sweepFrequencies({.startHz = c.start, .stopHz = c.stop, .stepsPerOctave = c.perOctave}, c.rate);
        ASSERT_EQ(f.size(), c.count);
        if (c.count == 0)
            continue;
        EXPECT_NEAR(f.front(), c.first, 0.01);
        EXPECT_NEAR(f.back(), c.last, 0.1);
        EXPECT_LE(f.back(), 0.45 * c.rate);
    }
}

// Plays each step through `gainDb(hz)` into channel 1 of stereo buffers of
// 2048 frames, as the run loop hands them on; channel 2 carries silence.
// Noise of about 1000 codes is added to channel 1 for the first `disturbedVisits`
// times the sweep plays `disturbedHz`: load on the machine while it was read.
std::vector<SweepRow> runSweep(ResponseSweep& sweep, double (*gainDb)(double), int breakAt = -1,
                               double disturbedHz = 0.0, int disturbedVisits = 0)
{
    const double rate = 44100;
    SignalSynth synth(rate, 16);
    synth.switchOn(true);
    std::vector<std::int32_t> frames(2 * 2048);
    std::vector<std::uint8_t> bytes(4 * 2048);
    int buffers = 0;
    int visits = 0;
    double lastHz = 0.0;
    std::uint32_t noise = 12345;
    while (!sweep.finished() && buffers < 10000) {
        const double hz = sweep.currentHz();
        visits += hz == disturbedHz && hz != lastHz ? 1 : 0;
        lastHz = hz;
        const bool disturbed = hz == disturbedHz && visits <= disturbedVisits;
        synth.set({.hz = hz, .levelDbfs = sweep.plan().levelDbfs + gainDb(hz), .channels = SynthChannels::Left});
        synth.render(frames.data(), 2048);
        for (std::size_t i = 0; i < 2048; ++i) {
            // A frame is (channel 2, channel 1): the synth's right, then its left.
            const auto put = [&](std::size_t at, std::int32_t v) {
                bytes[at] = static_cast<std::uint8_t>(v & 0xff);
                bytes[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xff);
            };
            noise = noise * 1664525u + 1013904223u;
            const std::int32_t extra = disturbed ? static_cast<std::int32_t>(noise >> 21) - 1024 : 0;
            put(4 * i, frames[2 * i + 1]);
            put(4 * i + 2, frames[2 * i] + extra);
        }
        const RecordedBlock block{bytes.data(), 4 * 2048, 2, 44100, buffers != breakAt};
        sweep.take(block);
        ++buffers;
    }
    return sweep.rows();
}

double lowPass(double hz) { return -10.0 * std::log10(1.0 + std::pow(hz / 2000.0, 2.0)); }

TEST(ResponseSweep, ReadsTheResponseRelativeTo1kHzAndWritesItsRows)
{
    ResponseSweep sweep({.startHz = 100, .stopHz = 8000, .stepsPerOctave = 2, .levelDbfs = -12, .channel = 1}, 44100);
    ASSERT_EQ(sweep.stepCount(), 13);
    const std::vector<SweepRow> rows = runSweep(sweep, lowPass, 20);
    ASSERT_EQ(rows.size(), 13u);
    const int ref = sweepReferenceRow(rows);
    ASSERT_GE(ref, 0);
    EXPECT_DOUBLE_EQ(rows[static_cast<std::size_t>(ref)].hz, 1000.0);
    for (const SweepRow& r : rows) {
        SCOPED_TRACE(r.hz);
        ASSERT_TRUE(r.valid);
        // The first step's buffers carry the ramp up: the settling lets it pass.
        EXPECT_NEAR(r.levelDbfs, -12 + lowPass(r.hz), 0.02);
        ASSERT_TRUE(r.thdNValid);
        EXPECT_LT(r.thdNPercent, 0.1);
    }
    const std::string csv = composeSweepCsv(rows);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")), "Frequency (Hz),Level (dBFS),Relative (dB),THD (%),THD+N (%)");
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 14);
    const std::string at1k = csv.substr(csv.find("\r\n1000,") + 2);
    EXPECT_NE(at1k.find(",0,"), std::string::npos) << "1 kHz is 0 dB relative to itself: " << at1k.substr(0, 60);

    // Channel 2 carries nothing: every row is there, none of them read.
    ResponseSweep silent({.startHz = 1000, .stopHz = 2000, .stepsPerOctave = 1, .channel = 2}, 44100);
    const std::vector<SweepRow> none = runSweep(silent, lowPass);
    ASSERT_EQ(none.size(), 2u);
    EXPECT_FALSE(none[0].valid || none[1].valid);
    EXPECT_EQ(sweepReferenceRow(none), -1);
    EXPECT_EQ(composeSweepCsv(none).substr(composeSweepCsv(none).find("\r\n") + 2), "1000,,,,\r\n2000,,,,\r\n");
}

TEST(ResponseSweep, AStepDisturbedWhileReadIsMeasuredAgainOnceAndFlaggedIfItStaysSo)
{
    struct Case {
        int disturbedVisits;
        bool remeasured, flagged;
    };
    for (const Case c : {Case{0, false, false}, Case{1, true, false}, Case{2, true, true}}) {
        SCOPED_TRACE(c.disturbedVisits);
        ResponseSweep sweep({.startHz = 500, .stopHz = 4000, .stepsPerOctave = 1, .levelDbfs = -12}, 44100);
        const std::vector<SweepRow> rows = runSweep(sweep, lowPass, -1, 2000.0, c.disturbedVisits);
        ASSERT_EQ(rows.size(), 4u);
        EXPECT_EQ(sweep.stepCount(), c.remeasured ? 5 : 4);
        for (const SweepRow& r : rows) {
            SCOPED_TRACE(r.hz);
            const bool target = r.hz == 2000.0;
            EXPECT_EQ(r.remeasured, target && c.remeasured);
            EXPECT_EQ(r.flagged, target && c.flagged);
            ASSERT_TRUE(r.thdNValid);
            // A row measured again in quiet reads as its neighbours do.
            EXPECT_EQ(r.thdNPercent > 0.5, target && c.flagged);
        }
    }
}

}  // namespace
}  // namespace varmolen
