// Cost of the display's per-block work: one power spectrum, one TIME pass with
// both channels triggered at span 300 (resampled), one FREQUENCY pass with
// both channels expanded between the markers. Each pass must stay well within
// one block time.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "state/InstrumentState.h"
#include "display/DisplayPass.h"
#include "display/Raster.h"
#include "display/SpectrogramRenderer.h"
#include "dsp/Graphicinterpolate.h"

using namespace varmolen;

namespace {

struct Fixture {
    std::unique_ptr<InstrumentState> state = std::make_unique<InstrumentState>();
    std::unique_ptr<Raster> raster = std::make_unique<Raster>();
    InstrumentState& s = *state;

    Fixture()
    {
        fillWindowTable(s.windowTable, s.blockSamples);
        s.chan1Enabled = 1;
        s.chan2Enabled = 1;
        s.chan1Color = colour::kRed;
        s.chan2Color = colour::kBlue;
        for (int i = 0; i < 1024; ++i) {
            s.chan1Samples[i] = static_cast<int>(12000 * std::sin(i * 2 * M_PI * 7.3 / 1024) + 300 * std::sin(i * 1.7));
            s.chan2Samples[i] = static_cast<int>(8000 * std::sin(i * 2 * M_PI * 31.1 / 1024 + 0.5));
        }
    }
};

void BM_PowerSpectrum(benchmark::State& st)
{
    Fixture f;
    for (auto _ : st) {
        powerSpectrum(f.s.chan1Samples.data(), f.s.windowTable, f.s.spectrumWork, f.s.fftReal, f.s.fftImag);
        benchmark::DoNotOptimize(f.s.spectrumWork.data());
    }
}
BENCHMARK(BM_PowerSpectrum);

void BM_TimePassTriggeredSpan300(benchmark::State& st)
{
    Fixture f;
    f.s.displayType = 2;
    f.s.triggerEnabled = 1;
    f.s.chopMode = 0;  // both channels search
    f.s.span = 300;
    f.s.blockSize = 512;
    f.s.interpFactor = 2;
    // Start-up gains (25): the 12000-count sine spans about 590 rows, so
    // many segments leave the bitmap and are clipped.
    for (auto _ : st) {
        f.s.displayHold = 0;
        benchmark::DoNotOptimize(runDisplayPass(f.s, f.s, f.s, *f.raster));
    }
}
BENCHMARK(BM_TimePassTriggeredSpan300);

// The FREQUENCY display expanded over 300 points with both markers shown.
void SetExpandedFrequency(Fixture& f)
{
    f.s.displayType = 1;
    f.s.marker1Enabled = 1;
    f.s.marker2Enabled = 1;
    f.s.expanded = 1;
    f.s.span = 300;
    f.s.blockSize = 512;
    f.s.interpFactor = 2;
}

void BM_FrequencyPassExpanded(benchmark::State& st)
{
    Fixture f;
    SetExpandedFrequency(f);
    for (auto _ : st)
        benchmark::DoNotOptimize(runDisplayPass(f.s, f.s, f.s, *f.raster));
}
BENCHMARK(BM_FrequencyPassExpanded);

// The same with spectrum averaging over 64 blocks and peak hold on: every
// pass is a new block, so both histories advance.
void BM_FrequencyPassExpandedAveragedPeakHold(benchmark::State& st)
{
    Fixture f;
    SetExpandedFrequency(f);
    f.s.features.spectrumAverage = 64;
    f.s.features.peakHold = true;
    for (auto _ : st)
        benchmark::DoNotOptimize(runDisplayPass(f.s, f.s, f.s, *f.raster));
}
BENCHMARK(BM_FrequencyPassExpandedAveragedPeakHold);

}  // namespace

// A whole spectrogram over the full height of the display, at its own size
// (0) and at twice its width and height (1), from a full history (wrapped)
// of 512 columns with a row for every pixel row, so that no row is copied:
// levels spread over the 100 dB range, every column a new colour.
void BM_SpectrogramFullHistory(benchmark::State& st)
{
    const int scale = st.range(0) == 1 ? 2 : 1;
    auto raster = std::make_unique<Raster>();
    raster->resize(Raster::kWidth * scale, Raster::kHeight * scale);
    const int rows = raster->height();
    constexpr int kColumns = 512;
    constexpr double kRowSeconds = 1024.0 / 44100.0;
    SpectrogramHistory history;
    history.reset(kColumns, rows);
    std::vector<float> levels(kColumns);
    for (int k = 0; k < rows + rows / 3; ++k) {
        for (int c = 0; c < kColumns; ++c)
            levels[static_cast<std::size_t>(c)] = static_cast<float>(-50.0 + 45.0 * std::sin(0.37 * c + 0.11 * k));
        history.append(levels.data(), k * kRowSeconds);
    }
    for (auto _ : st) {
        drawSpectrogram(*raster, history, 0, rows, rows * kRowSeconds, 0.0, 100.0);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_SpectrogramFullHistory)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A free-running TIME pass and the rows it sends to the screen,
// at the display's own size (0) and at twice its width and height (1): a
// 1 kHz sine near full scale and a 250 Hz square at 44100 Hz, moved on by a
// fraction of a period every pass as an untriggered picture is.
void BM_TimePassToScreen(benchmark::State& st)
{
    Fixture f;
    f.s.displayType = 2;
    f.s.triggerEnabled = 0;
    f.s.chan1TimeGain = 50;
    f.s.chan2TimeGain = 50;
    if (st.range(0) == 1)
        f.raster->resize(2 * Raster::kWidth - 1, 2 * Raster::kHeight - 1);
    double phase = 0.0;
    for (auto _ : st) {
        phase += 0.37;
        for (int i = 0; i < 1024; ++i) {
            const double t = i / 44100.0;
            f.s.chan1Samples[i] = static_cast<int>(30000 * std::sin(2 * M_PI * 1000 * t + phase));
            f.s.chan2Samples[i] = std::fmod(250 * t + phase / 7, 1.0) < 0.5 ? 20000 : -20000;
        }
        f.s.displayHold = 0;
        runDisplayPass(f.s, f.s, f.s, *f.raster);
        benchmark::DoNotOptimize(f.raster->takeChangedRows());
    }
}
BENCHMARK(BM_TimePassToScreen)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
