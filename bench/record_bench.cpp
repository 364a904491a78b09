// What a buffer costs the display with a time per division chosen, against
// the picture of one block: each iteration is one buffer of a 1 kHz sine and
// a 250 Hz square arriving at the rate, appended to the record, and the
// pass that follows it (for a picture of the record, the sweep's search of
// every new sample and the columns of the span). Compare the ratios of one
// run, side by side:
//   BM_BufferToBlockPicture/44100 against BM_BufferToRecordPicture/44100/...
//   (10 s span triggered: 1 s/div in the main mode; roll at 1 s/div), and
//   /192000 with every sample through the trigger search (1 ms/div).
#include <benchmark/benchmark.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "display/DisplayPass.h"
#include "display/Raster.h"
#include "display/RecordSweep.h"
#include "dsp/Graphicinterpolate.h"
#include "dsp/SampleRing.h"
#include "state/InstrumentState.h"

using namespace varmolen;

namespace {

struct Stream {
    std::unique_ptr<InstrumentState> state = std::make_unique<InstrumentState>();
    std::unique_ptr<Raster> raster = std::make_unique<Raster>();
    InstrumentState& s = *state;
    std::uint32_t rate;
    std::size_t frames;  // a buffer: one block below 32000 Hz, two to 48000, four above
    SampleRing ring;
    std::vector<float> chan1, chan2;
    std::int64_t at = 0;

    explicit Stream(std::uint32_t r, const std::function<void(Stream&)>& first = {})
        : rate(r),
          frames(r < 32000    ? 1024
                 : r <= 48000 ? 2048
                              : 4096),
          ring(20 * r),
          chan1(frames),
          chan2(frames)
    {
        fillWindowTable(s.windowTable, s.blockSamples);
        s.chan1Enabled = 1;
        s.chan2Enabled = 1;
        s.chan1Color = colour::kRed;
        s.chan2Color = colour::kBlue;
        s.chan1TimeGain = 50;
        s.chan2TimeGain = 50;
        s.displayType = 2;
        // Triggered on the square's rising edges (the Sin detector's window
        // would miss a sine whose samples repeat every ten periods).
        s.triggerEnabled = 1;
        s.triggerChannel = 2;
        s.triggerShape = kSquareTrigger;
        s.sampleRate = rate;
        ring.restart(rate);
        // A buffer, what the caller does with it, then ten seconds recorded.
        next();
        if (first)
            first(*this);
        while (ring.end() < static_cast<std::int64_t>(10 * rate))
            next();
    }
    // One buffer into the record, its first block into the display's samples.
    void next()
    {
        for (std::size_t i = 0; i < frames; ++i, ++at) {
            const double t = static_cast<double>(at) / rate;
            chan1[i] = static_cast<float>(std::round(30000 * std::sin(2 * M_PI * 1000 * t)));
            chan2[i] = std::fmod(250 * t, 1.0) < 0.5 ? 20000.0f : -20000.0f;
        }
        ring.append(chan1.data(), chan2.data(), frames, true);
        for (int i = 0; i < 1024; ++i) {
            s.chan1Samples[i] = static_cast<std::int32_t>(chan1[static_cast<std::size_t>(i)]);
            s.chan2Samples[i] = static_cast<std::int32_t>(chan2[static_cast<std::size_t>(i)]);
        }
    }
};

// The Time dial's picture of one block, triggered: the instrument's own view.
void BM_BufferToBlockPicture(benchmark::State& st)
{
    Stream f(static_cast<std::uint32_t>(st.range(0)));
    for (auto _ : st) {
        f.next();
        f.s.displayHold = 0;
        benchmark::DoNotOptimize(runDisplayPass(f.s, f.s, f.s, *f.raster));
        benchmark::DoNotOptimize(f.raster->takeChangedRows());
    }
}
BENCHMARK(BM_BufferToBlockPicture)->Arg(44100)->Arg(192000)->Unit(benchmark::kMicrosecond);

// A picture of the record: rate, time a division in µs, mode (0 auto, 1 main, 2 roll).
void BM_BufferToRecordPicture(benchmark::State& st)
{
    // The sweep searches from the first buffer on, so that a triggered ten
    // second span is ready once the ten seconds are recorded.
    RecordSweep sweep;
    Stream f(static_cast<std::uint32_t>(st.range(0)), [&](Stream& at) {
        at.s.features.timePerDiv = static_cast<double>(st.range(1)) * 1e-6;
        at.s.features.timeBaseMode = static_cast<std::int32_t>(st.range(2));
        sweep.advance(at.s, at.s, at.ring, {0.0f, 0.0f}, at.raster->width());
    });
    double pictures = 0;
    for (auto _ : st) {
        f.next();
        f.s.displayHold = 0;
        if (sweep.advance(f.s, f.s, f.ring, {0.0f, 0.0f}, f.raster->width()) != RecordSweep::Taken::Nothing) {
            ++pictures;
            benchmark::DoNotOptimize(runDisplayPass(f.s, f.s, f.s, *f.raster));
        }
        benchmark::DoNotOptimize(f.raster->takeChangedRows());
    }
    // New pictures a buffer: 1 where every buffer brings one.
    st.counters["pictures"] = benchmark::Counter(pictures / static_cast<double>(st.iterations()));
}
BENCHMARK(BM_BufferToRecordPicture)
    ->Args({44100, 1000000, kMainTimeBase})
    ->Args({44100, 1000000, kRollTimeBase})
    ->Args({192000, 1000, kAutoTimeBase})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
