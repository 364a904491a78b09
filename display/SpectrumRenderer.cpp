#include "display/SpectrumRenderer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "display/DisplayPass.h"
#include "display/TraceRenderer.h"
#include "dsp/Graphicinterpolate.h"

namespace varmolen {

namespace {
constexpr int kLogEntries = 1024;  // entries 0..1023 of the transform's output
constexpr int kLastColumn = 512;
constexpr double kFullScale = 32767.0;

// The level in dB of the power a full-scale sine centred on a bin gives:
// |X| = A * sum / 2 there, with the window summed over the block.
double fullScaleBinDb(const PassBuffers& work)
{
    double sum = 0.0;
    for (int n = 1; n <= kBlockSamples; ++n)
        sum += work.windowTable[n];
    return 20.0 * std::log10(kFullScale * sum / 2.0);
}

// dBFS of a power of the display's spectrum, clamped at the display's floor.
double levelDbfs(double power, double fullScaleDb) { return 10.0 * std::log10(std::max(power, 1.0)) - fullScaleDb; }

}  // namespace

void spectrumFromPower(InstrumentView& view, PassBuffers& buffers, std::uint32_t rate, int y0, int g,
                       float* smoothedColumns, bool fine)
{
    float* work = buffers.spectrumWork.data();
    const float scale = view.spectrumScale;
    const bool inPlace = rate == 22050;
    for (int i = 0; i < kLogEntries; ++i) {
        float v = work[i];
        if (!(v >= 1.0f))  // also catches a value that is not a number
            v = 1.0f;
        v = std::log(v);
        work[i] = v;
        const float scaled = scale * v;
        if (inPlace)
            work[i] = scaled;
        else if (i >= 1)
            work[i - 1] = scaled;
    }
    // Shifted down one place, the entry under column 512 would come from the
    // windowed time samples that follow the power values; it repeats bin 511
    // instead, as column 0 repeats column 1.
    if (!inPlace)
        work[kLastColumn] = work[kLastColumn - 1];

    work[0] = work[1];
    float smooth = work[1];
    std::int32_t* trace = buffers.chan1Trace.data();
    for (int k = 0; k <= kLastColumn; ++k) {
        smooth = (smooth + work[k]) * 0.5f;
        if (smoothedColumns != nullptr)
            smoothedColumns[k] = smooth;
        const std::int64_t p = truncateToInt(smooth);
        std::int64_t scaled = (p * g) >> 5;
        if (scaled > y0)
            scaled = y0;  // never above the top row
        trace[k] = scaled < std::numeric_limits<std::int32_t>::min() ? std::numeric_limits<std::int32_t>::min()
                                                                     : static_cast<std::int32_t>(scaled);
        if (fine) {
            const std::int64_t top = static_cast<std::int64_t>(y0) * kFineSteps;
            const std::int64_t fineScaled = std::min(
                (static_cast<std::int64_t>(truncateToInt(static_cast<double>(smooth) * kFineSteps)) * g) >> 5, top);
            buffers.chan1FineTrace[static_cast<std::size_t>(k)] =
                static_cast<std::int32_t>(std::max<std::int64_t>(fineScaled, std::numeric_limits<std::int32_t>::min()));
        }
    }
    view.spectrumSmooth = smooth;
}

namespace {

// The power of channel n's block after averaging and peak hold, which replace
// it by what they keep (with both off this changes nothing), in spectrumWork.
void blockPower(const InstrumentSettings& s, InstrumentView& view, PassBuffers& work, const std::int32_t* samples,
                int n, bool redraw)
{
    powerSpectrum(samples, work.windowTable, work.spectrumWork, work.fftReal, work.fftImag);
    applySpectrumHistory(view.spectrumHistory, n, work.spectrumWork.data(), s.features.spectrumAverage,
                         s.features.peakHold, redraw);
}

}  // namespace

void renderSpectrumChannel(const InstrumentSettings& s, InstrumentView& view, PassBuffers& work, Raster& r,
                           const BlockToDraw& block, int n, std::uint32_t rate, int y0, int g)
{
    blockPower(s, view, work, block.samples(n), n, block.redraw);
    const bool fine = r.finerThanOwnSize();
    spectrumFromPower(view, work, rate, y0, g, nullptr, fine);
    drawZoomedTrace(s, view, work, r, work.chan1Trace.data(), fine ? work.chan1FineTrace.data() : nullptr, y0, 512.0f);
}

void keptSpectrumLevels(const InstrumentSettings& s, InstrumentView& view, PassBuffers& work, int n, BinLevels& level,
                        BinLevels& drawn)
{
    const double fullScaleDb = fullScaleBinDb(work);
    const float scale = view.spectrumScale;
    const KeptBlock& block = keptBlockFor(view, n);
    std::array<float, kDisplayColumns> smoothed{};
    blockPower(s, view, work, block.samples(n).data(), n, true);
    // spectrumWork[k] holds bin k - 1.
    for (int k = 1; k <= kLastLevelBin; ++k)
        level[k] = levelDbfs(work.spectrumWork[k + 1], fullScaleDb);
    // Laid out as the display draws the block: by the rate it was recorded at.
    const bool inPlace = block.sampleRate == 22050;  // the display shows bin k at column k + 1 there
    spectrumFromPower(view, work, block.sampleRate, kDisplayRows, 32, smoothed.data());
    for (int k = 1; k <= kLastLevelBin; ++k) {
        // spectrumScale * ln(power), smoothed: in dB of power that is
        // 10 / ln 10 times the natural logarithm.
        const double v = smoothed[inPlace ? k + 1 : k];
        drawn[k] = scale > 0.0f ? 10.0 * v / (scale * std::numbers::ln10) - fullScaleDb : level[k];
    }
}

}  // namespace varmolen
