// What exporting a ten-second span of the record costs, the part the window
// waits for: Export Data's copy of the span taken from the record and its CSV
// written to a file; Export Span as WAV's file made by libsndfile and
// written. A 1 kHz sine on channel 1 and a 250 Hz square on channel 2, both
// channels shown. Run: varmolen_bench --benchmark_filter=Span
// --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dsp/SampleRing.h"
#include "persist/CsvExport.h"
#include "persist/SpanWav.h"
#include "state/ShownSpan.h"

using namespace varmolen;

namespace {

constexpr double kSpanSeconds = 10.0;

// A record of the span and a second more, at `rate`.
std::unique_ptr<SampleRing> recordAt(std::uint32_t rate)
{
    const auto frames = static_cast<std::size_t>((kSpanSeconds + 1.0) * rate);
    auto ring = std::make_unique<SampleRing>(frames);
    ring->restart(rate);
    std::vector<float> a(frames);
    std::vector<float> b(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        a[i] = std::round(30000.0f * static_cast<float>(std::sin(2.0 * M_PI * 1000.0 * static_cast<double>(i) / rate)));
        b[i] = (i * 250 / rate) % 2 == 0 ? 20000.0f : -20000.0f;
    }
    ring->append(a.data(), b.data(), frames, true);
    return ring;
}

std::string scratchPath(const char* suffix) { return "/tmp/varmolen_span_bench." + std::string(suffix); }

void BM_SpanCsvToFile(benchmark::State& state)
{
    const auto rate = static_cast<std::uint32_t>(state.range(0));
    const auto ring = recordAt(rate);
    const auto count = static_cast<std::int64_t>(kSpanSeconds * rate);
    const SpanFrames span{SpanHeld::Held, ring->end() - count, count, 0};
    const std::string path = scratchPath("csv");
    std::size_t bytes = 0;
    for (auto _ : state) {
        const auto copy = copySpan(*ring, span);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        bytes = 0;
        const bool ok = writeSpanCsv({{copy.get(), 0, count, 0}, {true, true}, {0.0f, 0.0f}, {0.0, 0.0}},
                                     [&](std::string_view piece) {
                                         bytes += piece.size();
                                         return std::fwrite(piece.data(), 1, piece.size(), f) == piece.size();
                                     });
        std::fclose(f);
        if (!ok)
            state.SkipWithError("the CSV was not written");
    }
    std::remove(path.c_str());
    state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}
BENCHMARK(BM_SpanCsvToFile)->Arg(44100)->Arg(192000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SpanWavToFile(benchmark::State& state)
{
    const auto rate = static_cast<std::uint32_t>(state.range(0));
    const auto ring = recordAt(rate);
    const auto count = static_cast<std::int64_t>(kSpanSeconds * rate);
    const RecordSpan span{ring.get(), ring->end() - count, count, 0};
    const std::string path = scratchPath("wav");
    std::vector<char> bytes;
    for (auto _ : state) {
        std::string whyNot;
        if (!composeSpanWav(span, {true, true}, bytes, whyNot))
            state.SkipWithError(whyNot.c_str());
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    std::remove(path.c_str());
    state.counters["MB"] = static_cast<double>(bytes.size()) / 1e6;
}
BENCHMARK(BM_SpanWavToFile)->Arg(44100)->Arg(192000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
