// The numerical routines of the display: the analysis window filled at
// start-up (fillWindowTable, dsp/SpectrumKernel.h), the power spectrum of one
// channel's block, and the cubic-spline resampler that stretches a run of
// trace values over the display width. They keep no state of their own;
// everything lives in the work arrays the caller passes (the instrument
// state's, single-precision floats, 1-based where numerical).
#pragma once

#include <cstdint>
#include <span>

#include "dsp/SpectrumKernel.h"

namespace varmolen {

// Power spectrum of one block of 1024 integer samples (after DC removal),
// sample n windowed by windowTable[n + 1]. Leaves spectrumWork[k] =
// |X[k-1]|^2 for k = 2..512, spectrumWork[1] = (X[0]^2 + X[512]^2)/4 (DC and
// Nyquist mixed) and spectrumWork[513..1024] = the windowed samples
// 512..1023. spectrumWork[0] is not written. Uses fftReal/fftImag[1..512] as
// the 512-point complex work arrays. Writes nothing when an array is shorter
// than that.
void powerSpectrum(const std::int32_t* samples, std::span<const float> windowTable, std::span<float> spectrumWork,
                   std::span<float> fftReal, std::span<float> fftImag);

// The resampler's work arrays: interpInput, splineSweep, splineCurvature and
// interpOutput of the instrument state.
struct SplineWork {
    std::span<float> input;
    std::span<float> sweep;
    std::span<float> curvature;
    std::span<float> output;
};

// Number of display points a resampling produces.
constexpr int kResampleOutputs = 512;

// Cubic-spline resampling of `count` source values (source[0..count-1]) whose
// run of `length` values is spread over `width` columns: output k is the
// spline value at source position k*length/width, truncated toward zero,
// written to out[0..outputs-1] (the display's 512 points, or one per pixel of
// a larger display; past what the output work array holds, the last value
// is repeated). `available`
// is how many entries may be read from source; the point count is kept
// within it, within the work arrays and at least at the length + 2 points the
// spline needs, so no index leaves an array whatever the caller passes.
void resample(const SplineWork& work, const std::int32_t* source, int available, int count, float length, float width,
              std::int32_t* out, int outputs = kResampleOutputs);

// Truncates a float toward zero into a 32-bit integer, saturating at the
// integer range (NaN gives 0), so no conversion is ever undefined.
std::int32_t truncateToInt(double v);

}  // namespace varmolen
