#include "dsp/RealFft.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace varmolen {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Two doubles worked on at once (GCC's and Clang's vector extension: one
// SSE2 register on x86-64, plain pairs elsewhere); loaded and stored
// through memcpy, so no alignment or aliasing is assumed.
typedef double Pair __attribute__((vector_size(16)));

Pair load(const double* p)
{
    Pair v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

void store(double* p, Pair v)
{
    std::memcpy(p, &v, sizeof v);
}

// The turns of the radix-4 pass of span q, for j = 0..q-1: W^j, W^2j and
// W^3j with W = e^(-2 pi i / 4q), real and imaginary parts, in that order.
std::size_t spanTableOffset(int span)
{
    std::size_t offset = 0;
    for (int q = 4; q < span; q *= 4)
        offset += 6 * static_cast<std::size_t>(q);
    return offset;
}

}  // namespace

RealFft::RealFft(int maxLength)
{
    while (maxLength_ < maxLength && maxLength_ < (1 << 30))
        maxLength_ *= 2;
    const int half = maxLength_ / 2;
    maxBits_ = 0;
    while ((1 << maxBits_) < half)
        ++maxBits_;
    // Up to three quarters of a turn: the radix-4 passes turn by W^3j.
    twiddleRe_.resize(static_cast<std::size_t>(3 * half / 4 + 1));
    twiddleIm_.resize(twiddleRe_.size());
    for (std::size_t k = 0; k < twiddleRe_.size(); ++k) {
        twiddleRe_[k] = std::cos(2.0 * kPi * static_cast<double>(k) / half);
        twiddleIm_[k] = -std::sin(2.0 * kPi * static_cast<double>(k) / half);
    }
    splitRe_.resize(static_cast<std::size_t>(half + 1));
    splitIm_.resize(splitRe_.size());
    for (std::size_t k = 0; k < splitRe_.size(); ++k) {
        splitRe_[k] = std::cos(2.0 * kPi * static_cast<double>(k) / maxLength_);
        splitIm_[k] = -std::sin(2.0 * kPi * static_cast<double>(k) / maxLength_);
    }
    bitReverse_.resize(static_cast<std::size_t>(half));
    for (int k = 0; k < half; ++k) {
        std::uint32_t r = 0;
        for (int bit = 0; bit < maxBits_; ++bit)
            r |= static_cast<std::uint32_t>((k >> bit) & 1) << (maxBits_ - 1 - bit);
        bitReverse_[static_cast<std::size_t>(k)] = r;
    }
    workRe_.resize(static_cast<std::size_t>(half));
    workIm_.resize(static_cast<std::size_t>(half));
    // The radix-4 passes' turns, contiguous per span so that a pass reads them in step.
    int lastSpan = 4;
    while (4 * lastSpan * 4 <= half)
        lastSpan *= 4;
    spanTwiddles_.resize(spanTableOffset(4 * lastSpan));
    for (int q = 4; 4 * q <= half; q *= 4) {
        double* t = spanTwiddles_.data() + spanTableOffset(q);
        for (int j = 0; j < q; ++j) {
            for (int m = 1; m <= 3; ++m) {
                const double a = -2.0 * kPi * m * j / (4.0 * q);
                t[(2 * m - 2) * q + j] = std::cos(a);
                t[(2 * m - 1) * q + j] = std::sin(a);
            }
        }
    }
}

int RealFft::reverseShift(int n) const
{
    int bits = 0;
    while ((1 << bits) < n / 2)
        ++bits;
    return maxBits_ - bits;
}

void RealFft::halfTransform(const double* x, int n)
{
    // Pack the n real samples as n/2 complex values (even, odd samples) in
    // bit-reversed order, then transform in place.
    const int shift = reverseShift(n);
    double* re = workRe_.data();
    double* im = workIm_.data();
    for (int m = 0; m < n / 2; ++m) {
        const auto r = static_cast<std::size_t>(bitReverse_[static_cast<std::size_t>(m)] >> shift);
        re[r] = x[2 * m];
        im[r] = x[2 * m + 1];
    }
    passes(n);
}

void RealFft::passes(int n)
{
    const int half = n / 2;
    double* re = workRe_.data();
    double* im = workIm_.data();
    // The first two stages turn by 1 and -i only.
    if (half >= 4) {
        for (int p = 0; p < half; p += 4) {
            const double ar = re[p] + re[p + 1], ai = im[p] + im[p + 1];
            const double br = re[p] - re[p + 1], bi = im[p] - im[p + 1];
            const double cr = re[p + 2] + re[p + 3], ci = im[p + 2] + im[p + 3];
            const double dr = re[p + 2] - re[p + 3], di = im[p + 2] - im[p + 3];
            re[p] = ar + cr;
            im[p] = ai + ci;
            re[p + 2] = ar - cr;
            im[p + 2] = ai - ci;
            // d turned by -i: (dr, di) -> (di, -dr)
            re[p + 1] = br + di;
            im[p + 1] = bi - dr;
            re[p + 3] = br - di;
            im[p + 3] = bi + dr;
        }
    } else {  // n = 4: one stage of two points
        const double ar = re[0], ai = im[0];
        re[0] = ar + re[1];
        im[0] = ai + im[1];
        re[1] = ar - re[1];
        im[1] = ai - im[1];
    }
    // Then radix-4 passes: four transforms of length q become one of 4q,
    // X[j + m q] = B0 + (-i)^m W^j B2 + (-1)^m W^2j B1 + i^m W^3j B3 with
    // W = e^(-2 pi i / 4q), the four held in bit-reversed order (B0, B1, B2,
    // B3 the samples at 0, 2, 1, 3 modulo 4). A last radix-2 pass where the
    // length is an odd power of two.
    const int stride = maxLength_ / n;  // twiddle step of this length in the largest one's table
    int span = 4;
    for (; 4 * span <= half; span *= 4) {
        const double* t = spanTwiddles_.data() + spanTableOffset(span);
        const double* w1r = t;
        const double* w1i = t + span;
        const double* w2r = t + 2 * span;
        const double* w2i = t + 3 * span;
        const double* w3r = t + 4 * span;
        const double* w3i = t + 5 * span;
        for (int start = 0; start < half; start += 4 * span) {
            double* r0 = re + start;
            double* i0 = im + start;
            double* r1 = r0 + span;
            double* i1 = i0 + span;
            double* r2 = r1 + span;
            double* i2 = i1 + span;
            double* r3 = r2 + span;
            double* i3 = i2 + span;
            for (int j = 0; j < span; j += 2) {
                // b1 = W^2j B1, b2 = W^j B2, b3 = W^3j B3, two j at a time.
                const Pair x1r = load(r1 + j), x1i = load(i1 + j);
                const Pair x2r = load(r2 + j), x2i = load(i2 + j);
                const Pair x3r = load(r3 + j), x3i = load(i3 + j);
                const Pair c1 = load(w2r + j), s1 = load(w2i + j);
                const Pair c2 = load(w1r + j), s2 = load(w1i + j);
                const Pair c3 = load(w3r + j), s3 = load(w3i + j);
                const Pair b1r = x1r * c1 - x1i * s1, b1i = x1r * s1 + x1i * c1;
                const Pair b2r = x2r * c2 - x2i * s2, b2i = x2r * s2 + x2i * c2;
                const Pair b3r = x3r * c3 - x3i * s3, b3i = x3r * s3 + x3i * c3;
                const Pair b0r = load(r0 + j), b0i = load(i0 + j);
                const Pair sr = b0r + b1r, si = b0i + b1i;  // b0 + b1
                const Pair dr = b0r - b1r, di = b0i - b1i;  // b0 - b1
                const Pair ur = b2r + b3r, ui = b2i + b3i;  // b2 + b3
                const Pair vr = b2r - b3r, vi = b2i - b3i;  // b2 - b3
                store(r0 + j, sr + ur);
                store(i0 + j, si + ui);
                store(r2 + j, sr - ur);
                store(i2 + j, si - ui);
                // -i (b2 - b3) = (vi, -vr)
                store(r1 + j, dr + vi);
                store(i1 + j, di - vr);
                store(r3 + j, dr - vi);
                store(i3 + j, di + vr);
            }
        }
    }
    if (span < half) {
        const int step = stride * (half / (2 * span));
        for (int j = 0; j < span; ++j) {
            const auto t = static_cast<std::size_t>(j * step);
            const int p = j;
            const int q = p + span;
            const double wr = twiddleRe_[t];
            const double wi = twiddleIm_[t];
            const double qr = re[q] * wr - im[q] * wi;
            const double qi = re[q] * wi + im[q] * wr;
            re[q] = re[p] - qr;
            im[q] = im[p] - qi;
            re[p] += qr;
            im[p] += qi;
        }
    }
}

void RealFft::split(int k, int n, double& xr, double& xi) const
{
    const int half = n / 2;
    const auto a = static_cast<std::size_t>(k % half);
    const auto b = static_cast<std::size_t>((half - k) % half);
    // Even samples' transform E = (Z[k] + conj Z[n/2 - k]) / 2, odd
    // samples' O = (Z[k] - conj Z[n/2 - k]) / 2i; X[k] = E + e^(-2 pi i k / n) O.
    const double er = 0.5 * (workRe_[a] + workRe_[b]);
    const double ei = 0.5 * (workIm_[a] - workIm_[b]);
    const double or_ = 0.5 * (workIm_[a] + workIm_[b]);
    const double oi = -0.5 * (workRe_[a] - workRe_[b]);
    const auto t = static_cast<std::size_t>(k * (maxLength_ / n));
    const double wr = splitRe_[t];
    const double wi = splitIm_[t];
    xr = er + or_ * wr - oi * wi;
    xi = ei + or_ * wi + oi * wr;
}

bool RealFft::forward(const double* x, int n, double* re, double* im)
{
    if (x == nullptr || !accepts(n))
        return false;
    halfTransform(x, n);
    for (int k = 0; k <= n / 2; ++k)
        split(k, n, re[k], im[k]);
    return true;
}

bool RealFft::power(const double* x, int n, double* power)
{
    if (x == nullptr || !accepts(n))
        return false;
    halfTransform(x, n);
    splitPower(n, power);
    return true;
}

bool RealFft::windowedPower(const std::int32_t* x, double offset, const double* window, int windowStride, int n,
                            double* power)
{
    if (x == nullptr || window == nullptr || !accepts(n))
        return false;
    const int shift = reverseShift(n);
    double* re = workRe_.data();
    double* im = workIm_.data();
    for (int m = 0; m < n / 2; ++m) {
        const auto r = static_cast<std::size_t>(bitReverse_[static_cast<std::size_t>(m)] >> shift);
        re[r] = (x[2 * m] - offset) * window[static_cast<std::ptrdiff_t>(2 * m) * windowStride];
        im[r] = (x[2 * m + 1] - offset) * window[static_cast<std::ptrdiff_t>(2 * m + 1) * windowStride];
    }
    passes(n);
    splitPower(n, power);
    return true;
}

void RealFft::splitPower(int n, double* power) const
{
    const int half = n / 2;
    const int stride = maxLength_ / n;
    const double* zr = workRe_.data();
    const double* zi = workIm_.data();
    power[0] = (zr[0] + zi[0]) * (zr[0] + zi[0]);
    power[half] = (zr[0] - zi[0]) * (zr[0] - zi[0]);
    // Bins k and k + 1 at once, from Z[k], Z[k + 1] and Z[m - 1], Z[m]
    // (m = n/2 - k) turned end for end; the last bin alone.
    const auto reversed = [](Pair v) { return Pair{v[1], v[0]}; };
    const Pair halfPair = {0.5, 0.5};
    int k = 1;
    for (; k + 1 < half; k += 2) {
        const int m = half - k - 1;
        const Pair ar = load(zr + k), ai = load(zi + k);
        const Pair br = reversed(load(zr + m)), bi = reversed(load(zi + m));
        const Pair er = halfPair * (ar + br);
        const Pair ei = halfPair * (ai - bi);
        const Pair or_ = halfPair * (ai + bi);
        const Pair oi = halfPair * (br - ar);
        const auto t0 = static_cast<std::size_t>(k * stride);
        const auto t1 = static_cast<std::size_t>((k + 1) * stride);
        const Pair wr = {splitRe_[t0], splitRe_[t1]};
        const Pair wi = {splitIm_[t0], splitIm_[t1]};
        const Pair xr = er + or_ * wr - oi * wi;
        const Pair xi = ei + or_ * wi + oi * wr;
        store(power + k, xr * xr + xi * xi);
    }
    for (; k < half; ++k) {
        double xr = 0.0;
        double xi = 0.0;
        split(k, n, xr, xi);
        power[k] = xr * xr + xi * xi;
    }
}
}  // namespace varmolen
