// Cost of analysing a log sweep: the recording of a 5 s sweep, 20 Hz to
// 20 kHz, through a 1 kHz low-pass with a latency of 3000 frames, divided
// by the played sweep and read at 48 points an octave with the harmonics
// H2..H5 (BM_LogSweepAnalysis/rate), and the same with a reference channel
// (BM_LogSweepWithReference/rate). Target: under 1 s of CPU for 48000 Hz.
// Also the played signal itself (BM_LogSweepSignal/rate).
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "dsp/LogSweep.h"

using namespace varmolen;

namespace {

// The sweep through a 1 kHz two-pole low-pass (the RBJ cookbook's, Q 0.707)
// 3000 frames late, with white noise at -100 dBFS.
std::vector<float> recording(const std::vector<float>& played, const LogSweepPlan& plan, double rate, unsigned seed)
{
    const double w = 2.0 * 3.14159265358979323846 * 1000.0 / rate;
    const double alpha = std::sin(w) / (2.0 * 0.707);
    const double c = std::cos(w);
    const double a0 = 1.0 + alpha;
    const double b0 = (1.0 - c) / 2.0 / a0, b1 = (1.0 - c) / a0, a1 = -2.0 * c / a0, a2 = (1.0 - alpha) / a0;
    std::vector<float> out(logSweepRecordFrames(plan, rate));
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 1e-5);
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (std::size_t n = 0; n < out.size(); ++n) {
        const double x = n >= 3000 && n - 3000 < played.size() ? played[n - 3000] : 0.0;
        const double y = b0 * x + b1 * x1 + b0 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        out[n] = static_cast<float>(y + noise(random));
    }
    return out;
}

void analysis(benchmark::State& st, bool withReference)
{
    const auto rate = static_cast<double>(st.range(0));
    const LogSweepPlan plan;
    const std::vector<float> played = logSweepSignal(plan, rate);
    const std::vector<float> recorded = recording(played, plan, rate, 1);
    const std::vector<float> reference = withReference ? recording(played, plan, rate, 2) : std::vector<float>{};
    bool valid = true;
    for (auto _ : st) {
        const LogSweepResult r = analyseLogSweep(plan, rate, played, recorded, reference);
        valid = valid && r.valid;
        benchmark::DoNotOptimize(r.points.data());
    }
    if (!valid)
        st.SkipWithError("the analysis did not read the sweep");
}

void BM_LogSweepAnalysis(benchmark::State& st) { analysis(st, false); }
void BM_LogSweepWithReference(benchmark::State& st) { analysis(st, true); }

void BM_LogSweepSignal(benchmark::State& st)
{
    const auto rate = static_cast<double>(st.range(0));
    for (auto _ : st) {
        const std::vector<float> played = logSweepSignal({}, rate);
        benchmark::DoNotOptimize(played.data());
    }
}

}  // namespace

BENCHMARK(BM_LogSweepAnalysis)->Arg(44100)->Arg(48000)->Arg(96000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogSweepWithReference)->Arg(48000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogSweepSignal)->Arg(48000)->Unit(benchmark::kMillisecond);
