// Spectrum rendering of one channel in the FREQUENCY display: power spectrum,
// natural logarithm scaled by spectrumScale, smoothing across frequency,
// gain, the clip at the top row, and the same time-base zoom and marker
// expansion as the time traces (expanded over 512 columns).
#pragma once

#include <cstdint>

#include "state/InstrumentState.h"
#include "display/Raster.h"

namespace varmolen {

// Turns `samples` (1024 values, recorded at `rate` Hz) into
// chan1Trace[0..512]: column k shows frequency bin k (k * rate / 1024 Hz),
// column 0 repeats column 1; at exactly 22050 Hz the columns are one bin
// later.
void ComputeSpectrumTrace(InstrumentState& s, const std::int32_t* samples, std::uint32_t rate, int y0, int g);

// The steps after the transform: spectrumWork[1..1024] as PowerSpectrum
// leaves it becomes the logarithmic, smoothed, scaled and clipped
// chan1Trace[0..512], laid out by the rate the block was recorded at. When
// `smoothedColumns` is given, it receives the smoothed logarithmic value of
// each column 0..512 before gain and clip (the curve the display draws, in
// units of spectrumScale times ln of power).
void SpectrumFromPower(InstrumentState& s, std::uint32_t rate, int y0, int g, float* smoothedColumns = nullptr);

// Computes and draws channel n's spectrum of its block, recorded at `rate`
// Hz, against baseline y0 with gain g.
void RenderSpectrumChannel(InstrumentState& s, Raster& r, int n, std::uint32_t rate, int y0, int g);

}  // namespace varmolen
