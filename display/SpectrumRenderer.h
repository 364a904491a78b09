// Spectrum rendering of one channel in the FREQUENCY display: power spectrum,
// natural logarithm scaled by spectrumScale, smoothing across frequency,
// gain, the clip at the top row, and the same time-base zoom and marker
// expansion as the time traces (expanded over 512 columns).
#pragma once

#include <array>
#include <cstdint>

#include "display/Raster.h"
#include "display/TraceRenderer.h"
#include "state/InstrumentSettings.h"
#include "state/InstrumentView.h"
#include "state/PassBuffers.h"

namespace varmolen {

// The steps after the transform: spectrumWork[1..1024] as powerSpectrum
// leaves it becomes the logarithmic, smoothed, scaled and clipped
// chan1Trace[0..512], laid out by the rate the block was recorded at. When
// `smoothedColumns` is given, it receives the smoothed logarithmic value of
// each column 0..512 before gain and clip (the curve the display draws, in
// units of spectrumScale times ln of power). With `fine`, chan1FineTrace
// receives the same trace in sixteenths of a row, for a display drawn finer
// than its rows.
void spectrumFromPower(InstrumentView& view, PassBuffers& work, std::uint32_t rate, int y0, int g,
                       float* smoothedColumns = nullptr, bool fine = false);

// Computes and draws the spectrum of channel n of `block`, recorded at `rate`
// Hz, against baseline y0 with gain g.
void renderSpectrumChannel(const InstrumentSettings& s, InstrumentView& view, PassBuffers& work, Raster& r,
                           const BlockToDraw& block, int n, std::uint32_t rate, int y0, int g);

// The levels of channel n's spectrum as the held picture draws it, for an
// export: the spectrum of the block its picture came from (keptBlockFor),
// averaged or held as the display has it, laid out by the rate that block was
// recorded at. For each bin k of 1..511, level[k] is its power in dBFS (a sine
// whose peaks reach full scale, centred on a bin, reads 0 dBFS; the
// display's floor, power 1, below) and drawn[k] the level the display draws
// there after its smoothing across frequency. Works in the display's spectrum
// work arrays, which the next pass fills again.
constexpr int kLastLevelBin = 511;
using BinLevels = std::array<double, kLastLevelBin + 1>;
void keptSpectrumLevels(const InstrumentSettings& s, InstrumentView& view, PassBuffers& work, int n, BinLevels& level,
                        BinLevels& drawn);

}  // namespace varmolen
