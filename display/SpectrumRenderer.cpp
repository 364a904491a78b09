#include "display/SpectrumRenderer.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "display/TraceRenderer.h"
#include "dsp/Graphicinterpolate.h"

namespace varmolen {

namespace {
constexpr int kLogEntries = 1024;  // entries 0..1023 of the transform's output
constexpr int kLastColumn = 512;
}  // namespace

void SpectrumFromPower(InstrumentState& s, std::uint32_t rate, int y0, int g, float* smoothedColumns)
{
    float* work = s.spectrumWork.data();
    const float scale = s.spectrumScale;
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
    std::int32_t* trace = s.chan1Trace.data();
    for (int k = 0; k <= kLastColumn; ++k) {
        smooth = (smooth + work[k]) * 0.5f;
        if (smoothedColumns != nullptr)
            smoothedColumns[k] = smooth;
        const std::int64_t p = TruncateToInt(smooth);
        std::int64_t scaled = (p * g) >> 5;
        if (scaled > y0)
            scaled = y0;  // never above the top row
        trace[k] = scaled < std::numeric_limits<std::int32_t>::min()
                       ? std::numeric_limits<std::int32_t>::min()
                       : static_cast<std::int32_t>(scaled);
    }
    s.spectrumSmooth = smooth;
}

void ComputeSpectrumTrace(InstrumentState& s, const std::int32_t* samples, std::uint32_t rate, int y0, int g)
{
    PowerSpectrum(samples, s.windowTable, s.spectrumWork, s.fftReal, s.fftImag);
    SpectrumFromPower(s, rate, y0, g);
}

void RenderSpectrumChannel(InstrumentState& s, Raster& r, int n, std::uint32_t rate, int y0, int g)
{
    const std::int32_t* samples = n == 1 ? s.chan1Samples.data() : s.chan2Samples.data();
    PowerSpectrum(samples, s.windowTable, s.spectrumWork, s.fftReal, s.fftImag);
    // Averaging and peak hold replace the block's power by what they keep;
    // with both off this changes nothing.
    ApplySpectrumHistory(s.spectrumHistory, n, s.spectrumWork.data(), s.features.spectrumAverage,
                         s.features.peakHold, s.passIsRedraw == 1);
    SpectrumFromPower(s, rate, y0, g);
    DrawZoomedTrace(s, r, s.chan1Trace.data(), y0, 512.0f);
}

}  // namespace varmolen
