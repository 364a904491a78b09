// Cost of one windowed power spectrum at every analysis length, 2^10 to
// 2^18: the instrument's own radix-2 kernel in single precision (the
// display's) and in double precision (the tone readings'), against the
// analyser's FFTW transform (SpectrumTransform::power, single precision).
// Each includes its windowing and its power; none allocates in the loop.
// The record is noise of a few thousand codes, the same for all three.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "dsp/SpectrumAnalysis.h"
#include "dsp/SpectrumKernel.h"

using namespace varmolen;

namespace {

std::vector<std::int32_t> record(int length)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<std::int32_t> code(-3000, 3000);
    std::vector<std::int32_t> codes(static_cast<std::size_t>(length));
    for (std::int32_t& c : codes)
        c = code(random);
    return codes;
}

template <typename T>
void kernel(benchmark::State& st)
{
    const int length = static_cast<int>(st.range(0));
    const auto n = static_cast<std::size_t>(length);
    const std::vector<std::int32_t> codes = record(length);
    std::vector<T> window(n + 1), work(n), re(n / 2), im(n / 2);
    std::vector<T> turnRe(static_cast<std::size_t>(spectrumTwiddleCount(length))), turnIm(turnRe.size());
    fillWindowTable(std::span<T>(window), length);
    makeSpectrumTwiddles(length, std::span<T>(turnRe), std::span<T>(turnIm));
    const SpectrumWork<T> w{work, re, im, turnRe, turnIm};
    for (auto _ : st) {
        windowedPowerSpectrum(codes.data(), length, T(0.5), std::span<const T>(window), 1, w);
        benchmark::DoNotOptimize(work.data());
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * length);
}

void BM_FftKernelFloat(benchmark::State& st) { kernel<float>(st); }
void BM_FftKernelDouble(benchmark::State& st) { kernel<double>(st); }

void BM_FftFftwFloat(benchmark::State& st)
{
    const int length = static_cast<int>(st.range(0));
    const std::vector<std::int32_t> codes = record(length);
    const std::vector<float> x(codes.begin(), codes.end());
    SpectrumTransform transform;
    if (!transform.prepare(length, AnalysisWindow::Specified)) {
        st.SkipWithError("prepare refused the length");
        return;
    }
    std::vector<float> out(static_cast<std::size_t>(transform.bins()));
    for (auto _ : st) {
        transform.power(x.data(), 0.5f, out);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    st.SetItemsProcessed(st.iterations() * length);
}

}  // namespace

BENCHMARK(BM_FftKernelFloat)
    ->RangeMultiplier(2)
    ->Range(kAnalysisMinLength, kAnalysisMaxLength)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FftKernelDouble)
    ->RangeMultiplier(2)
    ->Range(kAnalysisMinLength, kAnalysisMaxLength)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FftFftwFloat)
    ->RangeMultiplier(2)
    ->Range(kAnalysisMinLength, kAnalysisMaxLength)
    ->Unit(benchmark::kMicrosecond);
