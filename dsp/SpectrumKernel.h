// The window and the transform every spectrum of the instrument comes from:
// the four-term Blackman-Harris window, and the power spectrum of a windowed
// record of any power-of-two length, taken as a radix-2 transform of the
// record packed into half as many complex values and split into the real
// transform. Single precision serves the display (its pixels depend on every
// rounding of this arithmetic, so the operations and their order are fixed);
// double precision serves the tone readings' longer records, and a complex
// transform on the same butterflies serves the log sweep's deconvolution.
//
// Nothing here allocates or keeps state: the caller owns every array.
#pragma once

#include <cstdint>
#include <span>

namespace varmolen {

// w = a0 - a1 cos(a) + a2 cos(2a) - a3 cos(3a).
inline constexpr double kBlackmanHarris[4] = {0.35875, 0.48829, 0.14128, 0.01168};

// Fills window[0..length] (length + 1 entries, the last equal to the first)
// with the periodic window over `length` points; `length` is kept within
// 1..window.size() - 1. The single-precision table steps its angle in float,
// as the display's window always has.
void fillWindowTable(std::span<float> window, int length);
void fillWindowTable(std::span<double> window, int length);

// Whether the transform takes `length`: a power of two from 4 to 2^24.
constexpr bool isSpectrumLength(int length)
{
    return length >= 4 && length <= (1 << 24) && (length & (length - 1)) == 0;
}

// Entries each of the two twiddle arrays needs for a transform of `length`:
// the turns of every butterfly stage, then those of the split.
constexpr int spectrumTwiddleCount(int length) { return 3 * (length / 2) / 2 - 1; }

// Fills the twiddle arrays a transform of `length` reads. Single precision
// makes them as the display always has (a half-angle recurrence per stage, a
// rotation for the split), so they serve that one length; double precision
// makes them exact, so they serve every shorter length too. False, writing
// nothing, for a length the transform does not take or arrays too short.
bool makeSpectrumTwiddles(int length, std::span<float> re, std::span<float> im);
bool makeSpectrumTwiddles(int length, std::span<double> re, std::span<double> im);

// The arrays one transform works in.
template <typename T>
struct SpectrumWork {
    std::span<T> work;  // `length` values: the windowed record, then the power
    std::span<T> re;    // length / 2 values: the packed transform, then the bins
    std::span<T> im;
    std::span<const T> twiddleRe;  // made by makeSpectrumTwiddles
    std::span<const T> twiddleIm;
};

// The power spectrum of the record x[t] = (samples[t] - offset) *
// window[t * windowStride], t < length, whose transform is
// X[k] = sum over t of x[t] e^(-2 pi i k t / length). Leaves
//   work[k] = |X[k]|^2 for k = 1 .. length/2 - 1,
//   work[0] = (X[0]^2 + X[length/2]^2) / 4 (DC and Nyquist mixed),
//   work[length/2 .. length - 1] = x[length/2 .. length - 1],
//   re[k] + i im[k] = X[k] for k = 1 .. length/2 - 1,
//   re[0] = X[0] / 2 and im[0] = X[length/2] / 2.
// False, writing nothing, for a length it does not take or an array too short.
bool windowedPowerSpectrum(const std::int32_t* samples, int length, float offset, std::span<const float> window,
                           int windowStride, const SpectrumWork<float>& work);
bool windowedPowerSpectrum(const std::int32_t* samples, int length, double offset, std::span<const double> window,
                           int windowStride, const SpectrumWork<double>& work);
// The same of values in units of codes that may carry a fraction.
bool windowedPowerSpectrum(const float* samples, int length, double offset, std::span<const double> window,
                           int windowStride, const SpectrumWork<double>& work);

// The complex transform of the n = re.size() values re + i im, in place and
// in double precision, for the sweep's long records: forward
//   X[k] = sum over t of x[t] e^(-2 pi i k t / n),
// inverse
//   x[t] = (1 / n) sum over k of X[k] e^(+2 pi i k t / n).
// It runs the spectra's own butterflies on exact turns: those
// makeComplexTwiddles makes for n or any longer length (or, the same values,
// those makeSpectrumTwiddles makes in double precision for 2n or longer).
// False, writing nothing, unless n is a power of two from 2 to 2^23, im is as
// long and there are complexTwiddleCount(n) turns.
constexpr int kComplexTransformMaxLength = 1 << 23;
constexpr int complexTwiddleCount(int length) { return length - 1; }
bool makeComplexTwiddles(int length, std::span<double> re, std::span<double> im);
bool complexTransform(std::span<double> re, std::span<double> im, std::span<const double> twiddleRe,
                      std::span<const double> twiddleIm, bool inverse);

}  // namespace varmolen
