#include "dsp/Graphicinterpolate.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>

namespace varmolen {

namespace {

constexpr int kTransformPoints = 1024;  // real samples per transform
constexpr int kComplexPoints = 512;     // packed complex points

}  // namespace

std::int32_t truncateToInt(double v)
{
    if (!(v == v))
        return 0;
    if (v >= 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

void powerSpectrum(const std::int32_t* samples, std::span<const float> windowTable, std::span<float> spectrumWork,
                   std::span<float> fftReal, std::span<float> fftImag)
{
    // The arrays are 1-based: entry 0 is not part of the data.
    if (windowTable.size() < kTransformPoints + 1 || spectrumWork.size() < kTransformPoints + 1 ||
        fftReal.size() < kComplexPoints + 1 || fftImag.size() < kComplexPoints + 1)
        return;
    // The turns are made afresh for every block, as the display always has
    // made them: one cosine and one sine, two square roots a stage.
    constexpr int kTwiddles = spectrumTwiddleCount(kTransformPoints);
    std::array<float, kTwiddles> turnRe;
    std::array<float, kTwiddles> turnIm;
    makeSpectrumTwiddles(kTransformPoints, turnRe, turnIm);
    windowedPowerSpectrum(samples, kTransformPoints, 0.0f, windowTable.subspan(1), 1,
                          {spectrumWork.subspan(1), fftReal.subspan(1), fftImag.subspan(1), turnRe, turnIm});
}

void resample(const SplineWork& work, const std::int32_t* source, int available, int count, float length, float width,
              std::int32_t* out, int wanted)
{
    float* y = work.input.data();
    float* z = work.sweep.data();
    float* m = work.curvature.data();
    float* v = work.output.data();
    // The evaluation reads y[i + 1] and m[i + 1] with i up to the point count.
    const std::size_t arrays = std::min({work.input.size(), work.sweep.size(), work.curvature.size()});
    const int splineLimit = static_cast<int>(std::min<std::size_t>(arrays, 1u << 30)) - 2;
    wanted = std::max(wanted, 0);
    const int outputs = static_cast<int>(std::min<std::size_t>(work.output.size(), static_cast<std::size_t>(wanted)));

    int avail = available < splineLimit ? available : splineLimit;
    if (avail < 2) {
        // Nothing to interpolate: hold the one value there is.
        const std::int32_t only = avail >= 1 ? source[0] : 0;
        for (int k = 0; k < wanted; ++k)
            out[k] = only;
        return;
    }

    double l = static_cast<double>(length);
    if (!(l >= 0.0))
        l = 0.0;
    if (l > avail - 2)
        l = avail - 2;
    double w = static_cast<double>(width);
    if (!(w > 0.0))
        w = kResampleOutputs;

    // The spline needs the values 0 to the length + 1 (the length + 2 points).
    int j = static_cast<int>(l + 2.0);
    int n = count;
    if (n < j)
        n = j;
    if (n > avail)
        n = avail;

    for (int i = 0; i < n; ++i)
        y[i] = static_cast<float>(source[i]);
    // The evaluation may look one or two entries past the copied run; give
    // them defined values (they never reach the 512 results in use).
    y[n] = y[n - 1];
    y[n + 1] = y[n - 1];

    // Forward sweep, right end, back substitution.
    z[0] = 0.0f;
    for (int i = 1; i <= j - 2; ++i)
        z[i] = -0.25f * (z[i - 1] - 6.0f * (y[i - 1] - 2.0f * y[i] + y[i + 1]));
    m[j - 1] = (-3.0f * (y[j - 1] - y[j - 2]) - 0.5f * z[j - 2]) / 0.875f;
    for (int i = j - 2; i >= 0; --i)
        m[i] = -0.25f * m[i + 1] + z[i];
    for (int i = j; i <= n + 1; ++i)
        m[i] = 0.0f;

    // Evaluation at h = 0, one step, two steps, ... while h <= n, a step
    // being the length over the width; only the first 512 values are ever
    // used, so the sweep stops there.
    const double step = l / w;
    int produced = 0;
    double h = 0.0;
    while (produced < outputs && h <= n) {
        int i = static_cast<int>(h);
        if (i < 0)
            i = 0;
        if (i > n)
            i = n;
        const double t = i + 1 - h;
        const double u = h - i;
        const double value =
            t * y[i] + u * y[i + 1] + ((t * t * t - t) * m[i] + (u * u * u - u) * m[i + 1]) * 0.16666667;
        v[produced] = static_cast<float>(value);
        ++produced;
        h += step;
    }
    for (int k = 0; k < produced; ++k)
        out[k] = truncateToInt(v[k]);
    // A run too short for the width (never with the time base's counts)
    // holds its last value to the right edge.
    for (int k = produced; k < wanted; ++k)
        out[k] = produced > 0 ? out[produced - 1] : 0;
}

}  // namespace varmolen
