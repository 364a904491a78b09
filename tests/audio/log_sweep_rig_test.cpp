// The log sweep as a bench uses it, on a private PulseAudio server: the
// generator's output played through a real filter (sox between two null
// sinks) and read back through the instrument's ALSA capture, against the
// filter's analytic response; a loopback divided by channel 2 taking the
// output straight back; and the harmonics of a real nonlinearity against
// the stepped sweep's THD. The readings are printed for the record.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <vector>

#include "acquisition/LogSweepRun.h"
#include "audio/AlsaPlayback.h"
#include "audio/PulseRig.h"
#include "audio/RigRecorder.h"
#include "audio/SignalPlayer.h"
#include "dsp/ResponseSweep.h"

namespace varmolen {
namespace {

using test::PulseRig;
constexpr unsigned kRate = 48000;
// Floats from the sinks to the capture: a filter's stop band at -75 dB is
// read clear of 16-bit rounding.
using Recorder = test::RigRecorder<kRate, float>;

// Plays the request's sweep once and hands what comes back to its run,
// as the generator does, until the result is ready.
LogSweepResult runLogSweep(const LogSweepPlan& plan, bool referenceChannel2 = false)
{
    LogSweepRequest request;
    request.plan = plan;
    request.referenceChannel2 = referenceChannel2;
    LogSweepRun run(request, kRate);
    auto began = std::chrono::steady_clock::now();
    // Recording, its first block taken, before the output starts: as the
    // instrument records all along.
    Recorder rec;
    EXPECT_TRUE(rec.ok());
    SignalPlayer player([] { return std::make_unique<AlsaPlaybackSink>("default"); });
    std::vector<float> frames;
    for (int blocks = 0; blocks < 2000; ++blocks) {
        frames.clear();
        if (!rec.read(frames, 2048))
            break;
        const RecordedBlock block{reinterpret_cast<const std::uint8_t*>(frames.data()),
                                  Recorder::kFrameBytes * 2048,
                                  2,
                                  kRate,
                                  true,
                                  Recorder::kFormat};
        if (run.take(block))
            break;
        if (blocks == 0) {
            // Start is pressed: the capture runs already, as the instrument's does.
            began = std::chrono::steady_clock::now();
            std::string whyNot;
            EXPECT_TRUE(player.start(kRate, {.levelDbfs = kSynthMinDbfs}, whyNot, true, run.signal())) << whyNot;
        }
    }
    // How long from Start to the result is for the record only
    // (bench/generator_cost.sh measures it).
    std::printf("%.1f s log sweep: result after %.2f s\n", plan.seconds,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
    player.stop();
    EXPECT_TRUE(run.done());
    EXPECT_EQ(rec.breaks(), 0u) << "the private server's stream broke: the readings may be off";
    return run.result();
}

// sox's two-pole filters: the cookbook biquads at Q = 1/sqrt 2, as a
// response at `hz`.
std::complex<double> biquad(bool lowPass, double f0, double hz)
{
    const double w0 = 2 * std::numbers::pi * f0 / kRate, alpha = std::sin(w0) / std::sqrt(2.0), c = std::cos(w0);
    const double b0 = lowPass ? (1 - c) / 2 : (1 + c) / 2, b1 = lowPass ? 1 - c : -(1 + c), b2 = b0;
    const std::complex<double> z = std::polar(1.0, -2 * std::numbers::pi * hz / kRate);
    return (b0 + b1 * z + b2 * z * z) / ((1 + alpha) + (-2 * c) * z + (1 - alpha) * z * z);
}

double wrappedDegrees(double d) { return std::remainder(d, 360.0); }

// A rig whose streams hold 200 ms: a gap anywhere in a log sweep's seconds
// spreads over its whole response, and a loaded machine (the sanitizer
// runs) makes one now and then with the stepped sweeps' 20 ms.
PulseRig steadyRig(const char* words)
{
    ::setenv("VARMOLEN_RIG_LATENCY_MS", "200", 1);
    ::setenv("VARMOLEN_RIG_RATE", "48000", 1);
    ::setenv("VARMOLEN_RIG_FORMAT", "float32le", 1);
    return PulseRig(words);
}

// Runs `measure` up to three times while `disturbed` finds its result off:
// a gap in the private server's stream leaves readings far off where the
// others agree, and does not repeat; an error of the sweep itself does, and
// the last run's failure is then reported.
template <class Measure, class Disturbed>
LogSweepResult leastDisturbed(Measure measure, Disturbed disturbed)
{
    LogSweepResult r;
    for (int run = 1; run <= 3; ++run) {
        r = measure();
        if (!r.valid || !disturbed(r))
            break;
        std::printf("run %d disturbed; measured again\n", run);
    }
    return r;
}

// Through sox's two-pole filter: the magnitude within 0.1 dB and the phase
// within 2 degrees of its analytic response from 20 Hz to 20 kHz.
void readsTheAnalyticResponse(const char* words, bool lowPass, double f0)
{
    PulseRig rig = steadyRig(words);
    if (!rig.ready())
        GTEST_SKIP() << "no private PulseAudio server could start; the log sweep through " << words
                     << " was not tested";
    const auto wantDb = [lowPass, f0](double hz) { return 20 * std::log10(std::abs(biquad(lowPass, f0, hz))); };
    const LogSweepResult r = leastDisturbed(
        [] { return runLogSweep({.startHz = 20, .stopHz = 20000, .seconds = 5, .levelDbfs = -6}); },
        [&wantDb](const LogSweepResult& m) {
            return std::any_of(m.points.begin(), m.points.end(),
                               [&](const ResponsePoint& p) { return std::abs(p.magnitudeDb - wantDb(p.hz)) > 0.3; });
        });
    ASSERT_TRUE(r.valid) << r.whyNot;
    // The phase shown has the delay of the response's peak taken off;
    // put back, it is the filter's own after the rig's latency, a whole
    // number of frames that the server chose: the best one is found.
    const auto residual = [&r, lowPass, f0](const ResponsePoint& p, double latencyFrames) {
        const double raw = p.phaseDeg - 360.0 * p.hz * r.delaySeconds;
        const double want = std::arg(biquad(lowPass, f0, p.hz)) * 180 / std::numbers::pi;
        return wrappedDegrees(raw + 360.0 * p.hz * latencyFrames / kRate - want);
    };
    double bestLatency = 0.0, bestWorst = 1e9;
    const double peak = std::round(r.delaySeconds * kRate);
    for (double n = peak - 64; n <= peak + 64; ++n) {
        double worst = 0.0;
        for (const ResponsePoint& p : r.points)
            worst = std::max(worst, std::abs(residual(p, n)));
        if (worst < bestWorst) {
            bestWorst = worst;
            bestLatency = n;
        }
    }
    double worstDb = 0.0;
    for (const ResponsePoint& p : r.points) {
        const double want = wantDb(p.hz);
        EXPECT_NEAR(p.magnitudeDb, want, 0.1) << p.hz << " Hz";
        EXPECT_NEAR(residual(p, bestLatency), 0.0, 2.0) << p.hz << " Hz";
        worstDb = std::max(worstDb, std::abs(p.magnitudeDb - want));
    }
    std::printf("%s: %zu points, worst %.4f dB and %.3f degrees; latency %.0f frames, delay shown %.3f ms\n", words,
                r.points.size(), worstDb, bestWorst, bestLatency, 1000 * r.delaySeconds);
}

TEST(LogSweepRig, ThroughALowPassReadsItsAnalyticResponse)
{
    readsTheAnalyticResponse("through lowpass 1000", true, 1000.0);
}

TEST(LogSweepRig, ThroughAHighPassReadsItsAnalyticResponse)
{
    readsTheAnalyticResponse("through highpass 200", false, 200.0);
}

TEST(LogSweepRig, ALoopbackDividedByChannel2ReadsFlat)
{
    PulseRig rig = steadyRig("loopback");
    if (!rig.ready())
        GTEST_SKIP() << "no private PulseAudio server could start; the reference channel was not tested";
    const LogSweepResult r = runLogSweep({.startHz = 20, .stopHz = 20000, .seconds = 2, .levelDbfs = -6}, true);
    ASSERT_TRUE(r.valid) << r.whyNot;
    double worstDb = 0.0, worstDeg = 0.0;
    for (const ResponsePoint& p : r.points) {
        EXPECT_NEAR(p.magnitudeDb, 0.0, 0.02) << p.hz << " Hz";
        EXPECT_NEAR(p.phaseDeg, 0.0, 0.5) << p.hz << " Hz";
        worstDb = std::max(worstDb, std::abs(p.magnitudeDb));
        worstDeg = std::max(worstDeg, std::abs(p.phaseDeg));
    }
    EXPECT_NEAR(r.delaySeconds, 0.0, 0.5 / kRate) << "the card's delay cancels";
    std::printf("loopback over channel 2: worst %.4f dB, %.3f degrees, delay %.3f frames\n", worstDb, worstDeg,
                r.delaySeconds * kRate);
}

TEST(LogSweepRig, TheHarmonicsOfANonlinearityAgreeWithTheSteppedSweep)
{
    // sox's overdrive, its colour giving even harmonics as well as odd: H2
    // some 27 dB and H3 some 22 dB below the fundamental at -6 dBFS. The
    // stepped sweep reads their sum as THD; H2..H5 of the log sweep summed
    // must agree with it.
    PulseRig rig = steadyRig("through overdrive 6 20");
    if (!rig.ready())
        GTEST_SKIP() << "no private PulseAudio server could start; the harmonic responses were not tested";
    const double level = -6.0;
    const LogSweepResult r = runLogSweep({.startHz = 50, .stopHz = 20000, .seconds = 5, .levelDbfs = level});
    ASSERT_TRUE(r.valid) << r.whyNot;

    // The stepped sweep's THD at an octave a step, through the same device.
    ResponseSweep sweep({.startHz = 100, .stopHz = 3200, .stepsPerOctave = 1, .levelDbfs = level, .channel = 1}, kRate);
    std::string whyNot;
    ASSERT_TRUE(test::playSteppedSweep<kRate>(sweep, whyNot)) << whyNot;
    // The harmonic level of H_k at `hz`, read between the log sweep's points.
    const auto harmonicDb = [&r](std::size_t k, double hz) {
        const std::vector<HarmonicPoint>& h = r.harmonics[k - 2];
        const auto at =
            std::lower_bound(h.begin(), h.end(), hz, [](const HarmonicPoint& p, double f) { return p.hz < f; });
        if (at == h.begin() || at == h.end())
            return std::nan("");
        const auto before = at - 1;
        const double t = std::log(hz / before->hz) / std::log(at->hz / before->hz);
        return before->levelDb + t * (at->levelDb - before->levelDb);
    };
    int compared = 0;
    for (const SweepRow& row : sweep.rows()) {
        if (!row.valid || !row.thdValid || row.hz * 5 > 20000)
            continue;
        double power = 0.0;
        for (std::size_t k = 2; k <= 5; ++k)
            power += std::pow(10.0, harmonicDb(k, row.hz) / 10.0);
        const double logDb = 10 * std::log10(power), steppedDb = 20 * std::log10(row.thdPercent / 100.0);
        std::printf("%7.1f Hz: stepped THD %8.3f dB, log sweep H2..H5 %8.3f dB (H2 %.2f, H3 %.2f)\n", row.hz, steppedDb,
                    logDb, harmonicDb(2, row.hz), harmonicDb(3, row.hz));
        EXPECT_NEAR(logDb, steppedDb, 1.0) << row.hz << " Hz";
        ++compared;
    }
    EXPECT_GE(compared, 4);
}

}  // namespace
}  // namespace varmolen
