// The log sweep's readings of devices the test makes itself: the played
// sweep passed through known digital filters (the RBJ cookbook's biquads),
// a memoryless polynomial, whole-sample latencies and a little white noise,
// at 48000 Hz, 5 s, 20 Hz..20 kHz, against their analytic responses; and
// the plan's checks, the played signal and the analysis's refusals.
#include "dsp/LogSweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "dsp/SpectrumKernel.h"

namespace varmolen {
namespace {

constexpr double kRate = 48000.0;
constexpr double kPi = std::numbers::pi;
// White noise on every recording: -100 dBFS RMS, a good 24-bit card's floor.
constexpr double kNoise = 3e-7;

using Signal = std::vector<double>;
using Device = std::function<Signal(const Signal&)>;

// An RBJ cookbook biquad, normalised (a0 = 1).
struct Biquad {
    double b0, b1, b2, a1, a2;

    static Biquad pass(bool high, double hz, double q)
    {
        const double w = 2.0 * kPi * hz / kRate;
        const double alpha = std::sin(w) / (2.0 * q);
        const double c = std::cos(w);
        const double a0 = 1.0 + alpha;
        const double b1 = high ? -(1.0 + c) : 1.0 - c;
        const double b0 = high ? (1.0 + c) / 2.0 : (1.0 - c) / 2.0;
        return {b0 / a0, b1 / a0, b0 / a0, -2.0 * c / a0, (1.0 - alpha) / a0};
    }
    std::complex<double> at(double hz) const
    {
        const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * hz / kRate);
        return (b0 + b1 * z1 + b2 * z1 * z1) / (1.0 + a1 * z1 + a2 * z1 * z1);
    }
    Signal operator()(const Signal& x) const
    {
        Signal y(x.size());
        double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
        for (std::size_t n = 0; n < x.size(); ++n) {
            y[n] = b0 * x[n] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = x[n];
            y2 = y1;
            y1 = y[n];
        }
        return y;
    }
    // Where the analytic envelope of its impulse response peaks, to a
    // fraction of a sample (a parabola through the largest value and its
    // neighbours): the delay the analysis reads.
    double peakSamples() const
    {
        constexpr int kLength = 8192;
        Signal impulse(kLength, 0.0);
        impulse[0] = 1.0;
        std::vector<double> re = (*this)(impulse), im(kLength, 0.0);
        std::vector<double> turnRe(static_cast<std::size_t>(complexTwiddleCount(kLength))), turnIm(turnRe.size());
        makeComplexTwiddles(kLength, std::span<double>(turnRe), std::span<double>(turnIm));
        // The analytic signal: no negative frequencies, the positive ones doubled.
        complexTransform(re, im, turnRe, turnIm, false);
        for (std::size_t k = 1; k < kLength; ++k) {
            const double scale = k < kLength / 2 ? 2.0 : k == kLength / 2 ? 1.0 : 0.0;
            re[k] *= scale;
            im[k] *= scale;
        }
        complexTransform(re, im, turnRe, turnIm, true);
        const auto envelope = [&](std::size_t n) { return std::hypot(re[n], im[n]); };
        std::size_t p = 0;
        for (std::size_t n = 1; n < kLength / 2; ++n)
            if (envelope(n) > envelope(p))
                p = n;
        if (p == 0)
            return 0.0;
        const double a = envelope(p - 1), b = envelope(p), c = envelope(p + 1);
        return static_cast<double>(p) + 0.5 * (a - c) / (a - 2.0 * b + c);
    }
};

Signal delayed(const Signal& x, std::size_t frames)
{
    Signal y(frames, 0.0);
    y.insert(y.end(), x.begin(), x.end());
    return y;
}

// What the input records: the sweep through `device` after `latency` frames,
// cut or padded to the sweep's recording length, plus the noise.
std::vector<float> record(const std::vector<float>& played, const LogSweepPlan& plan, const Device& device,
                          std::size_t latency, unsigned seed)
{
    const std::size_t frames = logSweepRecordFrames(plan, kRate);
    Signal x(played.begin(), played.end());
    x.resize(frames, 0.0);
    Signal y = delayed(device(x), latency);
    y.resize(frames, 0.0);
    std::mt19937 random(seed);
    std::normal_distribution<double> gauss(0.0, kNoise);
    std::vector<float> out(frames);
    for (std::size_t n = 0; n < frames; ++n)
        out[n] = static_cast<float>(y[n] + gauss(random));
    return out;
}

double db(double ratio) { return 20.0 * std::log10(ratio); }
double wrapDegrees(double d) { return d - 360.0 * std::round(d / 360.0); }

// The largest differences of a result from a response known at every
// frequency, the reported delay added back to the phase and the known
// latency taken off.
struct Errors {
    double magnitudeDb = 0;
    double phaseDeg = 0;
};

Errors compare(const LogSweepResult& r, const std::function<std::complex<double>(double)>& expected,
               double latencySamples)
{
    Errors e;
    for (const ResponsePoint& p : r.points) {
        const std::complex<double> h = expected(p.hz);
        e.magnitudeDb = std::max(e.magnitudeDb, std::abs(p.magnitudeDb - db(std::abs(h))));
        const double phase = p.phaseDeg - 360.0 * p.hz * (r.delaySeconds - latencySamples / kRate);
        e.phaseDeg = std::max(e.phaseDeg, std::abs(wrapDegrees(phase - std::arg(h) * 180.0 / kPi)));
    }
    return e;
}

TEST(LogSweep, FiltersReadTheirAnalyticResponseAndDelay)
{
    const LogSweepPlan plan;
    const std::vector<float> played = logSweepSignal(plan, kRate);
    struct Case {
        const char* name;
        Biquad filter;
        std::size_t latency;
    };
    for (const Case& c : {Case{"low-pass 1 kHz", Biquad::pass(false, 1000, 0.707), 3000},
                          Case{"high-pass 1 kHz", Biquad::pass(true, 1000, 0.707), 4321}}) {
        SCOPED_TRACE(c.name);
        const std::vector<float> recorded = record(played, plan, c.filter, c.latency, 1);
        const LogSweepResult r = analyseLogSweep(plan, kRate, played, recorded, {});
        ASSERT_TRUE(r.valid) << r.whyNot;
        ASSERT_EQ(r.points.size(), 480u);  // 479 steps of 1/48 octave or a little less
        EXPECT_DOUBLE_EQ(r.points.front().hz, 20.0);
        EXPECT_DOUBLE_EQ(r.points.back().hz, 20000.0);
        const Errors e = compare(
            r, [&](double hz) { return c.filter.at(hz); }, static_cast<double>(c.latency));
        const double delay = r.delaySeconds * kRate - static_cast<double>(c.latency);
        std::printf(
            "  %s: magnitude within %.4f dB, phase within %.3f deg, delay %.3f samples after the latency "
            "(its own envelope's peak at %.3f), peak %.1f dB above the noise\n",
            c.name, e.magnitudeDb, e.phaseDeg, delay, c.filter.peakSamples(), r.peakToNoiseDb);
        EXPECT_LT(e.magnitudeDb, 0.1);
        EXPECT_LT(e.phaseDeg, 2.0);
        EXPECT_NEAR(delay, c.filter.peakSamples(), 1.0);
    }
}

Device chain(const Device& first, const Device& second)
{
    return [=](const Signal& x) { return second(first(x)); };
}

Device delay(std::size_t frames)
{
    return [=](const Signal& x) { return delayed(x, frames); };
}

TEST(LogSweep, AReferenceChannelTakesTheCardAway)
{
    const LogSweepPlan plan;
    const std::vector<float> played = logSweepSignal(plan, kRate);
    // The card: an AC-coupled input and an anti-alias filter, 2500 frames
    // late; the device 700 frames later still.
    const Biquad coupling = Biquad::pass(true, 25, 0.707);
    const Biquad antiAlias = Biquad::pass(false, 21000, 0.6);
    const Device card = chain(chain(coupling, antiAlias), delay(2500));
    struct Case {
        const char* name;
        Device device;
        std::function<std::complex<double>(double)> response;
        double latency;   // frames
        double peak;      // frames after the latency
        double withinDb;  // magnitude
        double withinDeg;
    };
    const Biquad lowPass = Biquad::pass(false, 1000, 0.707);
    const auto wire = [](double) { return std::complex<double>(1.0); };
    const auto identity = [](const Signal& x) { return x; };
    for (const Case& c : {Case{"low-pass 1 kHz", chain(lowPass, delay(700)), [&](double hz) { return lowPass.at(hz); },
                               700, lowPass.peakSamples(), 0.1, 2.0},
                          Case{"a straight wire", identity, wire, 0, 0, 0.02, 0.5}}) {
        SCOPED_TRACE(c.name);
        const std::vector<float> recorded = record(played, plan, chain(card, c.device), 0, 2);
        const std::vector<float> reference = record(played, plan, card, 0, 3);
        const LogSweepResult r = analyseLogSweep(plan, kRate, played, recorded, reference);
        ASSERT_TRUE(r.valid) << r.whyNot;
        EXPECT_TRUE(r.withReference);
        const Errors e = compare(r, c.response, c.latency);
        const double delay = r.delaySeconds * kRate - c.latency;
        std::printf(
            "  through the card, %s: magnitude within %.4f dB, phase within %.3f deg, delay %.3f samples "
            "after the device's latency\n",
            c.name, e.magnitudeDb, e.phaseDeg, delay);
        EXPECT_LT(e.magnitudeDb, c.withinDb);
        EXPECT_LT(e.phaseDeg, c.withinDeg);
        EXPECT_NEAR(delay, c.peak, 1.0);
    }
}

TEST(LogSweep, AStraightWireReadsFlatAndItsLatencyExactly)
{
    // The whole band; a narrow one, whose impulse is a long burst of many
    // near-equal peaks; the widest and shortest sweep there is.
    struct Case {
        LogSweepPlan plan;
        std::size_t latency;
    };
    for (const Case& c : {Case{{}, 1234}, Case{{.startHz = 1000, .stopHz = 1500, .seconds = 1}, 500},
                          Case{{.startHz = 1, .stopHz = 24000, .seconds = 0.5}, 100}}) {
        SCOPED_TRACE(testing::Message() << c.plan.startHz << ".." << c.plan.stopHz << " Hz, " << c.plan.seconds
                                        << " s");
        const std::vector<float> played = logSweepSignal(c.plan, kRate);
        const std::vector<float> recorded = record(played, c.plan, delay(0), c.latency, 4);
        const LogSweepResult r = analyseLogSweep(c.plan, kRate, played, recorded, {});
        ASSERT_TRUE(r.valid) << r.whyNot;
        const Errors e = compare(
            r, [](double) { return std::complex<double>(1.0); }, static_cast<double>(c.latency));
        std::printf(
            "  a straight wire, %g..%g Hz: magnitude within %.4f dB, phase within %.3f deg, delay %.4f "
            "samples off\n",
            c.plan.startHz, c.plan.stopHz, e.magnitudeDb, e.phaseDeg, r.delaySeconds * kRate - c.latency);
        EXPECT_LT(e.magnitudeDb, 0.02);
        EXPECT_LT(e.phaseDeg, 0.5);
        EXPECT_NEAR(r.delaySeconds * kRate, static_cast<double>(c.latency), 0.01);
        // Its phase, the delay removed, is flat too, and so its group delay.
        for (const ResponsePoint& p : r.points) {
            ASSERT_NEAR(p.phaseDeg, 0.0, 0.5) << p.hz;
            ASSERT_NEAR(p.groupDelayMs, 0.0, 0.01) << p.hz;
        }
        // The impulse starts a little before the delay, peaks there (over a
        // wide band: a narrow one's is a burst), and has unit gain in the band.
        ASSERT_FALSE(r.impulse.empty());
        EXPECT_LT(r.impulseStartSeconds, 0.0);
        const auto peak = static_cast<std::size_t>(std::lround(-r.impulseStartSeconds * kRate));
        ASSERT_LT(peak, r.impulse.size());
        for (std::size_t n = 0; n < r.impulse.size() && c.plan.stopHz > 10 * c.plan.startHz; ++n)
            ASSERT_LE(std::abs(r.impulse[n]), r.impulse[peak]) << n;
        const double centre = std::sqrt(c.plan.startHz * c.plan.stopHz);
        std::complex<double> sum = 0.0;
        for (std::size_t n = 0; n < r.impulse.size(); ++n)
            sum += static_cast<double>(r.impulse[n]) *
                   std::polar(1.0, -2.0 * kPi * centre * static_cast<double>(n) / kRate);
        EXPECT_NEAR(std::abs(sum), 1.0, 2e-3);
    }
}

// The sweep as the header documents it: A sin(phi(t)) under its fades.
struct SweepFormula {
    LogSweepPlan plan;
    double l = plan.seconds / std::log(plan.stopHz / plan.startHz);
    double amplitude = std::pow(10.0, plan.levelDbfs / 20.0);
    double frames = std::round(plan.seconds * kRate);

    double phase(std::size_t n) const { return 2.0 * kPi * plan.startHz * l * std::expm1(n / kRate / l); }
    double hz(std::size_t n) const { return plan.startHz * std::exp(n / kRate / l); }
    double envelope(std::size_t n) const
    {
        const double fadeIn = std::min(1.0 * kRate / plan.startHz, 0.1 * frames);
        const double fadeOut = std::min(0.001 * kRate, 0.1 * frames);
        const double fromStart = n + 0.5, toEnd = frames - n - 0.5;
        double w = amplitude;
        if (fromStart < fadeIn)
            w *= 0.5 * (1.0 - std::cos(kPi * fromStart / fadeIn));
        if (toEnd < fadeOut)
            w *= 0.5 * (1.0 - std::cos(kPi * toEnd / fadeOut));
        return w;
    }
};

TEST(LogSweep, APolynomialReadsItsHarmonics)
{
    // y = x + a x^2 + b x^3. For x = A sin(phi): x^2 = A^2 (1 - cos 2 phi) / 2 and
    // x^3 = A^3 (3 sin phi - sin 3 phi) / 4, so the fundamental is A + 3 b A^3 / 4,
    // the second harmonic a A^2 / 2 and the third b A^3 / 4. The device is
    // made from these terms, each harmonic fading out between 20.5 and 23 kHz as an
    // analogue device's would be filtered before the card samples it (a polynomial
    // of the samples themselves would fold its harmonics above 24 kHz back into
    // the band).
    const SweepFormula sweep;
    const LogSweepPlan& plan = sweep.plan;
    const double a = 0.1, b = 0.2;
    const double fundamental = 1.0 + 0.75 * b * sweep.amplitude * sweep.amplitude;
    const double expected[2] = {db(a * sweep.amplitude / 2.0 / fundamental),
                                db(b * sweep.amplitude * sweep.amplitude / 4.0 / fundamental)};
    const auto below = [](double hz) { return std::clamp((23000.0 - hz) / 2500.0, 0.0, 1.0); };
    const Device polynomial = [&](const Signal& x) {
        Signal y(x.size());
        for (std::size_t n = 0; n < x.size() && n < sweep.frames; ++n) {
            const double w = sweep.envelope(n), phi = sweep.phase(n), f = sweep.hz(n);
            y[n] = x[n] + a * w * w * (1.0 - below(2 * f) * std::cos(2 * phi)) / 2.0 +
                   b * w * w * w * (3.0 * std::sin(phi) - below(3 * f) * std::sin(3 * phi)) / 4.0;
        }
        return y;
    };
    const std::vector<float> played = logSweepSignal(plan, kRate);
    const LogSweepResult r = analyseLogSweep(plan, kRate, played, record(played, plan, polynomial, 2000, 5), {});
    ASSERT_TRUE(r.valid) << r.whyNot;
    // Over fundamentals from a sixth of an octave above the start: below
    // that, the start of the second harmonic's response (the sweep starts
    // abruptly at 2 x 20 Hz there) spreads into the third's window.
    const double clear = plan.startHz * std::exp2(1.0 / 6.0);
    const double second = expected[0];
    for (int k = 2; k <= 5; ++k) {
        SCOPED_TRACE(testing::Message() << "H" << k);
        const std::vector<HarmonicPoint>& h = r.harmonics[static_cast<std::size_t>(k - 2)];
        ASSERT_FALSE(h.empty());
        EXPECT_DOUBLE_EQ(h.front().hz, 20.0);
        EXPECT_LE(h.back().hz, 20000.0 / k);
        EXPECT_GT(h.back().hz, 20000.0 / k / std::exp2(1.0 / 48.0));
        double worst = 0, worstClear = 0, highest = -1000;
        for (const HarmonicPoint& p : h) {
            if (k <= 3) {
                const double error = std::abs(p.levelDb - expected[k - 2]);
                worst = std::max(worst, error);
                if (p.hz >= clear)
                    worstClear = std::max(worstClear, error);
            }
            highest = std::max(highest, p.levelDb);
        }
        if (k <= 3) {
            std::printf("  H%d: %.2f dB expected, read within %.3f dB from %.1f Hz up (%.3f dB from 20 Hz)\n", k,
                        expected[k - 2], worstClear, clear, worst);
            EXPECT_LT(worstClear, 1.0);
        } else {
            // Absent: well below the second harmonic everywhere.
            std::printf("  H%d: absent, at most %.1f dB\n", k, highest);
            EXPECT_LT(highest, second - 20.0);
        }
    }
}

TEST(LogSweep, PlansAreCheckedWithAReason)
{
    struct Case {
        LogSweepPlan plan;
        double rate;
        const char* says;  // part of the reason; empty for a plan that runs
    };
    const LogSweepPlan good;
    for (const Case& c : {
             Case{good, 48000, ""},
             Case{{.startHz = 1, .stopHz = 24000, .seconds = 0.5, .levelDbfs = 0}, 48000, ""},
             Case{{.startHz = 20, .stopHz = 96000, .seconds = 10, .levelDbfs = -100}, 192000, ""},
             Case{{.seconds = 30}, 48000, ""},
             Case{{.startHz = 0.5}, 48000, "at least 1 Hz"},
             Case{{.startHz = 1000, .stopHz = 1000}, 48000, "below the stop"},
             Case{{.stopHz = 24001}, 48000, "24000 Hz"},
             Case{{.seconds = 0.4}, 48000, "from 0.5 to 30 s"},
             Case{{.seconds = 31}, 48000, "from 0.5 to 30 s"},
             Case{{.levelDbfs = 0.5}, 48000, "-100 to 0 dBFS"},
             Case{{.levelDbfs = std::nan("")}, 48000, "-100 to 0 dBFS"},
             Case{{.startHz = std::nan("")}, 48000, "at least 1 Hz"},
             Case{good, 0, "sample rate"},
             Case{{.seconds = 11}, 192000, "At 192000 Hz a sweep may last at most 10.1 s"},
             Case{{.seconds = 30}, 96000, "at most 21 s"},
         }) {
        SCOPED_TRACE(testing::Message() << c.plan.startHz << ".." << c.plan.stopHz << " Hz, " << c.plan.seconds
                                        << " s, " << c.plan.levelDbfs << " dBFS at " << c.rate);
        std::string whyNot = "left over";
        const bool runs = checkLogSweepPlan(c.plan, c.rate, whyNot);
        EXPECT_EQ(runs, *c.says == 0);
        if (runs) {
            EXPECT_TRUE(whyNot.empty());
            EXPECT_EQ(logSweepSignal(c.plan, c.rate).size(),
                      static_cast<std::size_t>(std::lround(c.plan.seconds * c.rate)));
        } else {
            EXPECT_NE(whyNot.find(c.says), std::string::npos) << whyNot;
            EXPECT_TRUE(logSweepSignal(c.plan, c.rate).empty());
            EXPECT_EQ(logSweepRecordFrames(c.plan, c.rate), 0u);
        }
    }
}

TEST(LogSweep, TheSignalIsTheExponentialSweepUnderItsFades)
{
    const SweepFormula sweep;
    const std::vector<float> played = logSweepSignal(sweep.plan, kRate);
    ASSERT_EQ(played.size(), 240000u);
    EXPECT_EQ(logSweepRecordFrames(sweep.plan, kRate), 240000u + 72000u);  // 1 s of latency and 0.5 s of tail
    double largest = 0;
    for (std::size_t n = 0; n < played.size(); ++n) {
        ASSERT_NEAR(played[n], sweep.envelope(n) * std::sin(sweep.phase(n)), 2e-6) << n;
        largest = std::max(largest, std::abs(static_cast<double>(played[n])));
    }
    EXPECT_NEAR(db(largest), sweep.plan.levelDbfs, 0.01);
    // No click: it starts and ends at nothing, each step small.
    EXPECT_LT(std::abs(played.front()), 1e-6);
    EXPECT_LT(std::abs(played.back()), 1e-3);
}

TEST(LogSweep, RefusesWhatItCannotRead)
{
    const LogSweepPlan plan;
    const std::vector<float> played = logSweepSignal(plan, kRate);
    const std::vector<float> good = record(played, plan, delay(0), 500, 6);
    const std::size_t frames = good.size();
    std::vector<float> silence(frames, 0.0f), noise(frames), late = record(played, plan, delay(0), 72001, 7);
    std::mt19937 random(8);
    std::normal_distribution<float> gauss(0.0f, 0.01f);
    for (float& v : noise)
        v = gauss(random);
    std::vector<float> withNan = good;
    withNan[1000] = std::nanf("");
    const std::vector<float> shorter(good.begin(), good.begin() + static_cast<long>(played.size()) - 1);
    const std::vector<float> otherSweep = logSweepSignal({.seconds = 4}, kRate);
    struct Case {
        const char* name;
        LogSweepPlan plan;
        std::span<const float> played, recorded, reference;
        const char* says;
    };
    for (const Case& c : {
             Case{"a plan that does not run", {.stopHz = 30000}, played, good, {}, "24000 Hz"},
             Case{"another sweep", plan, otherSweep, good, {}, "not the plan's"},
             Case{"a recording shorter than the sweep", plan, played, shorter, {}, "shorter than the sweep"},
             Case{"a reference of another length", plan, played, good, shorter, "not as long"},
             Case{"a silent recording", plan, played, silence, {}, "recorded silence"},
             Case{"a silent reference", plan, played, good, silence, "reference channel recorded silence"},
             Case{"a value that is no number", plan, played, withNan, {}, "not numbers"},
             Case{"noise alone", plan, played, noise, {}, "No sweep was found"},
             Case{"a response too late", plan, played, late, {}, "too late"},
         }) {
        SCOPED_TRACE(c.name);
        const LogSweepResult r = analyseLogSweep(c.plan, kRate, c.played, c.recorded, c.reference);
        EXPECT_FALSE(r.valid);
        EXPECT_NE(r.whyNot.find(c.says), std::string::npos) << r.whyNot;
        EXPECT_TRUE(r.points.empty());
    }
    // The last frame the recording allows for still reads.
    const LogSweepResult r = analyseLogSweep(plan, kRate, played, record(played, plan, delay(0), 71000, 9), {});
    EXPECT_TRUE(r.valid) << r.whyNot;
    EXPECT_NEAR(r.delaySeconds * kRate, 71000.0, 0.01);
}

}  // namespace
}  // namespace varmolen
