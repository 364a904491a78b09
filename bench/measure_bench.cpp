// Cost of measuring one recorded buffer, both channels: the TIME readings
// alone and with the tone readings asked for at every buffer, at 11025 Hz
// (1024-frame buffers) and at 44100 Hz (2048-frame buffers); a tone reading is
// formed at most once a second of signal, so with them this is the cost per
// buffer spread over a second. And one tone reading alone from a full record
// of 8192 samples (a transform, the average, the reading), its worst case,
// and the intermodulation reading formed from its spectrum.
// The signals repeat exactly over the cycle of buffers, so the run is one
// continuous recording. Target: under 50 us a buffer.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/Measurements.h"
#include "dsp/ToneFit.h"

using namespace varmolen;

namespace {

constexpr int kCycle = 16;  // buffers

void BM_MeasureBothChannels(benchmark::State& st)
{
    const auto rate = static_cast<std::uint32_t>(st.range(0));
    const bool tone = st.range(1) != 0;
    const int frames = rate >= 44100 ? 2048 : 1024;
    const int total = kCycle * frames;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(4 * total));
    for (int n = 0; n < total; ++n) {
        // Whole numbers of periods over the cycle: about 1 kHz and 250 Hz,
        // with a 1 % second harmonic and a little noise-like ripple.
        const double a = 2 * M_PI * static_cast<double>(n) / total;
        const double one = 12000 * std::sin(a * std::round(1000.0 * total / rate)) +
                           120 * std::sin(2 * a * std::round(1000.0 * total / rate)) + 30 * std::sin(a * 3517);
        const double two = 8000 * (std::sin(a * std::round(250.0 * total / rate)) >= 0 ? 1 : -1);
        const auto put = [&bytes](int at, double v) {
            const auto code = static_cast<std::int16_t>(std::lround(v));
            bytes[static_cast<std::size_t>(at)] = static_cast<std::uint8_t>(code & 0xFF);
            bytes[static_cast<std::size_t>(at + 1)] = static_cast<std::uint8_t>((code >> 8) & 0xFF);
        };
        put(4 * n, two);      // channel 2 comes first in a frame
        put(4 * n + 2, one);  // channel 1
    }
    auto m = std::make_unique<Measurements>();
    int b = 0;
    bool follows = false;
    for (auto _ : st) {
        const RecordedBlock block{bytes.data() + static_cast<std::ptrdiff_t>(4 * frames * b),
                                  static_cast<std::uint32_t>(4 * frames), 2, rate, follows};
        m->measureBlock(block, true, true, MeasureParts{.time = true, .tone = tone});
        benchmark::DoNotOptimize(m->readings(2).frequency.hz);
        if (tone) {
            benchmark::DoNotOptimize(m->tone(1).hz);
            benchmark::DoNotOptimize(m->tone(2).hz);
        }
        benchmark::DoNotOptimize(m->readings(1).frequency.hz);
        b = (b + 1) % kCycle;
        follows = true;
    }
    st.counters["ch1_hz"] = m->readings(1).frequency.hz;
}
BENCHMARK(BM_MeasureBothChannels)
    ->ArgNames({"rate", "tone"})
    ->Args({11025, 0})
    ->Args({11025, 1})
    ->Args({44100, 0})
    ->Args({44100, 1})
    ->Unit(benchmark::kMicrosecond);

void BM_OneToneReading(benchmark::State& st)
{
    std::vector<float> x(8192 + 4096);
    for (std::size_t n = 0; n < x.size(); ++n)
        x[n] = static_cast<float>(std::lround(10000 * std::sin(2 * M_PI * 997.0 * static_cast<double>(n) / 44100.0)));
    auto meter = std::make_unique<ToneMeter>();
    ToneAverage average;
    std::size_t start = 0;
    for (auto _ : st) {
        benchmark::DoNotOptimize(meter->measure(x.data() + start, 8192, 44100.0, &average).thd);
        start = (start + 1021) % 4096;
    }
}
BENCHMARK(BM_OneToneReading)->Unit(benchmark::kMicrosecond);

// The intermodulation reading formed with each tone reading, from its
// spectrum: the generator's 60 Hz + 7 kHz pair found on the input (both
// pairs looked for, the first found), beside the tone reading's cost.
void BM_OneImdReading(benchmark::State& st)
{
    std::vector<float> x(8192);
    for (std::size_t n = 0; n < x.size(); ++n) {
        const double t = static_cast<double>(n) / 44100.0;
        x[n] = static_cast<float>(
            std::lround(16000 * std::sin(2 * M_PI * 60.0 * t) + 4000 * std::sin(2 * M_PI * 7000.0 * t)));
    }
    auto meter = std::make_unique<ToneMeter>();
    meter->measure(x.data(), 8192, 44100.0);
    for (auto _ : st)
        benchmark::DoNotOptimize(readIntermodulation(*meter, 44100.0, ImdMethod::None).ratio);
}
BENCHMARK(BM_OneImdReading)->Unit(benchmark::kMicrosecond);

// The fit that reads a record finer than 16 bits, once a reading, beside it.
void BM_OneFineToneReading(benchmark::State& st)
{
    std::vector<float> x(8192);
    for (std::size_t n = 0; n < x.size(); ++n)
        x[n] = static_cast<float>(10000 * std::sin(2 * M_PI * 997.0 * static_cast<double>(n) / 44100.0));
    for (auto _ : st)
        benchmark::DoNotOptimize(fitTone(x.data(), 8192, 44100.0, 997.01).thdN);
}
BENCHMARK(BM_OneFineToneReading)->Unit(benchmark::kMicrosecond);

}  // namespace
