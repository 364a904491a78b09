#include "dsp/Graphicinterpolate.h"

#include <cmath>
#include <cstddef>
#include <limits>

namespace varmolen {

namespace {

constexpr int kTransformPoints = 1024;   // real samples per transform
constexpr int kComplexPoints = 512;      // packed complex points
constexpr int kComplexBits = 9;          // log2(kComplexPoints)
constexpr int kSplineLimit = kArrayLength - 2;  // evaluation reads y[i + 1] with i <= count

inline std::size_t idx(int i) { return static_cast<std::size_t>(i); }

}  // namespace

std::int32_t TruncateToInt(double v)
{
    if (!(v == v))
        return 0;
    if (v >= 2147483647.0)
        return std::numeric_limits<std::int32_t>::max();
    if (v <= -2147483648.0)
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

void FillWindowTable(InstrumentState& s)
{
    int n = s.blockSamples;
    if (n < 1)
        n = 1;
    if (n > kArrayLength - 1)
        n = kArrayLength - 1;
    const float a = static_cast<float>(6.2831853 / n);
    for (int i = 0; i <= n; ++i) {
        const float ia = static_cast<float>(i) * a;
        const double w = 0.35875 - 0.48829 * std::cos(static_cast<double>(ia)) +
                         0.14128 * std::cos(2.0 * static_cast<double>(ia)) -
                         0.01168 * std::cos(3.0 * static_cast<double>(ia));
        s.windowTable[idx(i)] = static_cast<float>(w);
    }
}

void PowerSpectrum(InstrumentState& s, const std::int32_t* samples)
{
    float* work = s.spectrumWork.data();
    float* re = s.fftReal.data();
    float* im = s.fftImag.data();
    const float* w = s.windowTable.data();

    // Windowing: sample n takes window entry n + 1.
    for (int n = 0; n < kTransformPoints; ++n)
        work[n + 1] = static_cast<float>(samples[n]) * w[n + 1];

    // Packing: even samples real, odd samples imaginary.
    for (int m = 0; m < kComplexPoints; ++m) {
        re[m + 1] = work[2 * m + 1];
        im[m + 1] = work[2 * m + 2];
    }

    // Bit-reversal permutation of the 512 packed points.
    for (int i = 0; i < kComplexPoints; ++i) {
        int r = 0;
        for (int b = 0, v = i; b < kComplexBits; ++b, v >>= 1)
            r = (r << 1) | (v & 1);
        if (i < r) {
            const float tr = re[i + 1];
            const float ti = im[i + 1];
            re[i + 1] = re[r + 1];
            im[i + 1] = im[r + 1];
            re[r + 1] = tr;
            im[r + 1] = ti;
        }
    }

    // Radix-2 butterflies, forward sign. The stage rotation (cos, sin of
    // pi/h) comes from the half-angle recurrence; the rotation values are
    // carried in double precision so the twiddles stay accurate.
    double cv = 1.0;
    for (int h = 1; h < kComplexPoints; h <<= 1) {
        const double sv = std::sqrt((1.0 - cv) * 0.5);
        cv = std::sqrt((1.0 + cv) * 0.5);
        if (h == 1)
            cv = -cv;
        // Twiddle e^(-i*pi*j/h) kept as (wr, wi) meaning wr - i*wi.
        double wr = 1.0;
        double wi = 0.0;
        for (int j = 0; j < h; ++j) {
            const float fr = static_cast<float>(wr);
            const float fi = static_cast<float>(wi);
            for (int p = j; p < kComplexPoints; p += 2 * h) {
                const int q = p + h;
                const float qr = re[q + 1];
                const float qi = im[q + 1];
                const float tr = fr * qr + fi * qi;
                const float ti = fr * qi - fi * qr;
                re[q + 1] = re[p + 1] - tr;
                im[q + 1] = im[p + 1] - ti;
                re[p + 1] += tr;
                im[p + 1] += ti;
            }
            const double nr = wr * cv - wi * sv;
            wi = wr * sv + wi * cv;
            wr = nr;
        }
    }

    // Split the packed transform into the 1024-point real transform.
    const float z0r = re[1];
    const float z0i = im[1];
    re[1] = (z0r + z0i) * 0.5f;   // X[0] / 2
    im[1] = (z0r - z0i) * 0.5f;   // X[512] / 2

    const double theta = 3.141593 / 512.0;
    const double rc = std::cos(theta);
    const double rs = std::sin(theta);
    double c = 1.0;
    double sn = 0.0;
    for (int m = 1; m < kComplexPoints / 2; ++m) {
        const double nc = c * rc - sn * rs;
        sn = c * rs + sn * rc;
        c = nc;
        const int a = m + 1;                  // entry of Z[m]
        const int b = kComplexPoints - m + 1; // entry of Z[512 - m]
        const float ar = re[a], ai = im[a], br = re[b], bi = im[b];
        const float h1r = 0.5f * (ar + br);   // even part
        const float h1i = 0.5f * (ai - bi);
        const float h2r = 0.5f * (ai + bi);   // odd part
        const float h2i = 0.5f * (br - ar);
        const float fc = static_cast<float>(c);
        const float fs = static_cast<float>(sn);
        const float pr = fc * h2r + fs * h2i;
        const float pi = fc * h2i - fs * h2r;
        re[a] = h1r + pr;
        im[a] = h1i + pi;
        re[b] = h1r - pr;
        im[b] = -h1i + pi;
    }
    im[kComplexPoints / 2 + 1] = -im[kComplexPoints / 2 + 1];

    // Power.
    for (int k = 1; k <= kComplexPoints; ++k)
        work[k] = re[k] * re[k] + im[k] * im[k];
}

void Resample(InstrumentState& s, const std::int32_t* source, int available, int count,
              float length, float width, std::int32_t* out)
{
    float* y = s.interpInput.data();
    float* z = s.splineSweep.data();
    float* m = s.splineCurvature.data();
    float* v = s.interpOutput.data();

    int avail = available < kSplineLimit ? available : kSplineLimit;
    if (avail < 2) {
        // Nothing to interpolate: hold the one value there is.
        const std::int32_t only = avail >= 1 ? source[0] : 0;
        for (int k = 0; k < kResampleOutputs; ++k)
            out[k] = only;
        return;
    }

    double L = static_cast<double>(length);
    if (!(L >= 0.0))
        L = 0.0;
    if (L > avail - 2)
        L = avail - 2;
    double W = static_cast<double>(width);
    if (!(W > 0.0))
        W = kResampleOutputs;

    // The spline needs the values 0..L+1 (J points).
    int J = static_cast<int>(L + 2.0);
    int n = count;
    if (n < J)
        n = J;
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
    for (int i = 1; i <= J - 2; ++i)
        z[i] = -0.25f * (z[i - 1] - 6.0f * (y[i - 1] - 2.0f * y[i] + y[i + 1]));
    m[J - 1] = (-3.0f * (y[J - 1] - y[J - 2]) - 0.5f * z[J - 2]) / 0.875f;
    for (int i = J - 2; i >= 0; --i)
        m[i] = -0.25f * m[i + 1] + z[i];
    for (int i = J; i <= n + 1; ++i)
        m[i] = 0.0f;

    // Evaluation at h = 0, L/W, 2L/W, ... while h <= n; only the first 512
    // values are ever used, so the sweep stops there.
    const double step = L / W;
    int produced = 0;
    double h = 0.0;
    while (produced < kResampleOutputs && h <= n) {
        int i = static_cast<int>(h);
        if (i < 0)
            i = 0;
        if (i > n)
            i = n;
        const double t = i + 1 - h;
        const double u = h - i;
        const double value = t * y[i] + u * y[i + 1] +
                             ((t * t * t - t) * m[i] + (u * u * u - u) * m[i + 1]) * 0.16666667;
        v[produced] = static_cast<float>(value);
        ++produced;
        h += step;
    }
    for (int k = 0; k < produced; ++k)
        out[k] = TruncateToInt(v[k]);
    // A run too short for the width (never with the time base's counts)
    // holds its last value to the right edge.
    for (int k = produced; k < kResampleOutputs; ++k)
        out[k] = produced > 0 ? out[produced - 1] : 0;
}

}  // namespace varmolen
