// The numerical routines of the display: the analysis window filled at
// start-up, the power spectrum of one channel's block, and the cubic-spline
// resampler that stretches a run of trace values over the display width.
// They keep no state of their own; everything lives in the work arrays of the
// instrument state (single-precision floats, 1-based where numerical).
#pragma once

#include <cstdint>

#include "state/InstrumentState.h"

namespace varmolen {

// Fills windowTable[0..blockSamples] with the periodic 4-term Blackman-Harris
// window over blockSamples points (1024 in practice; clamped to the table).
void FillWindowTable(InstrumentState& s);

// Power spectrum of one block of 1024 integer samples (after DC removal).
// Leaves spectrumWork[k] = |X[k-1]|^2 for k = 2..512, spectrumWork[1] =
// (X[0]^2 + X[512]^2)/4 (DC and Nyquist mixed) and spectrumWork[513..1024] =
// the windowed samples 512..1023. spectrumWork[0] is not written. Uses
// fftReal/fftImag as the 512-point complex work arrays.
void PowerSpectrum(InstrumentState& s, const std::int32_t* samples);

// Number of display points a resampling produces.
constexpr int kResampleOutputs = 512;

// Cubic-spline resampling of `count` source values (source[0..count-1]) whose
// run of `length` values is spread over `width` columns: output k is the
// spline value at source position k*length/width, truncated toward zero,
// written to out[0..511]. `available` is how many entries may be read from
// source; the point count is kept within it, within the work arrays and at
// least at the length + 2 points the spline needs, so no index leaves an
// array whatever the caller passes.
void Resample(InstrumentState& s, const std::int32_t* source, int available, int count,
              float length, float width, std::int32_t* out);

// Truncates a float toward zero into a 32-bit integer, saturating at the
// integer range (NaN gives 0), so no conversion is ever undefined.
std::int32_t TruncateToInt(double v);

}  // namespace varmolen
