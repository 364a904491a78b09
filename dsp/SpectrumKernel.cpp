#include "dsp/SpectrumKernel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

#include "dsp/SpectrumLanes.h"

namespace varmolen {

namespace {

using namespace spectrum_lanes;

template <typename T>
struct Precision;

template <>
struct Precision<float> {
    // The display's own seven-digit values of 2 pi and pi: its pixels depend
    // on them, and on the recurrences its turns come from.
    static constexpr double kTwoPi = 6.2831853;
    static constexpr double kPi = 3.141593;
    static constexpr bool kExactTurns = false;
};

template <>
struct Precision<double> {
    static constexpr double kPi = 3.14159265358979323846;
    static constexpr double kTwoPi = 2.0 * kPi;
    static constexpr bool kExactTurns = true;
};

constexpr std::size_t at(int i) { return static_cast<std::size_t>(i); }

// Each byte with its bits in reverse order: a constant table, so that the
// packing's reversed indices cost no branches.
constexpr std::array<std::uint8_t, 256> kReversedBytes = [] {
    std::array<std::uint8_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        int r = 0;
        for (int b = 0; b < 8; ++b)
            r |= ((i >> b) & 1) << (7 - b);
        t[at(i)] = static_cast<std::uint8_t>(r);
    }
    return t;
}();

// m (below 2^24) with its low 24 bits in reverse order, shifted right by `shift`.
inline int reversedIndex(int m, int shift)
{
    const auto v = static_cast<std::uint32_t>(m);
    const std::uint32_t r = (static_cast<std::uint32_t>(kReversedBytes[v & 255u]) << 16) |
                            (static_cast<std::uint32_t>(kReversedBytes[(v >> 8) & 255u]) << 8) |
                            kReversedBytes[(v >> 16) & 255u];
    return static_cast<int>(r >> shift);
}

// Stage h's turns sit at h - 1 .. 2h - 2 of the twiddle arrays; the split's
// turn m at half - 1 + m.
inline int stageOffset(int h) { return h - 1; }
inline int splitOffset(int half) { return half - 1; }

template <typename T>
void fillWindow(std::span<T> window, int length)
{
    if (window.size() < 2)
        return;
    const int largest = static_cast<int>(std::min<std::size_t>(window.size() - 1, 1u << 30));
    const int n = std::clamp(length, 1, largest);
    const T a = static_cast<T>(Precision<T>::kTwoPi / n);
    for (int i = 0; i <= n; ++i) {
        const T ia = static_cast<T>(i) * a;
        const double w = kBlackmanHarris[0] - kBlackmanHarris[1] * std::cos(static_cast<double>(ia)) +
                         kBlackmanHarris[2] * std::cos(2.0 * static_cast<double>(ia)) -
                         kBlackmanHarris[3] * std::cos(3.0 * static_cast<double>(ia));
        window[at(i)] = static_cast<T>(w);
    }
}

template <typename T>
bool makeTwiddles(int length, std::span<T> re, std::span<T> im)
{
    if (!isSpectrumLength(length))
        return false;
    const auto count = static_cast<std::size_t>(spectrumTwiddleCount(length));
    if (re.size() < count || im.size() < count)
        return false;
    const int half = length / 2;
    // Butterfly stage h turns by e^(-i pi j / h), j < h, kept as (wr, wi)
    // meaning wr - i wi.
    double cv = 1.0;
    for (int h = 1; h < half; h <<= 1) {
        T* r = re.data() + stageOffset(h);
        T* i = im.data() + stageOffset(h);
        if constexpr (Precision<T>::kExactTurns) {
            for (int j = 0; j < h; ++j) {
                r[j] = std::cos(Precision<T>::kPi * j / h);
                i[j] = std::sin(Precision<T>::kPi * j / h);
            }
        } else {
            // The stage's rotation from the half-angle recurrence (the first
            // stage's is cos pi = -1), the turns by rotating from (1, 0), in
            // double precision so that they stay accurate.
            const double sv = std::sqrt((1.0 - cv) * 0.5);
            cv = std::sqrt((1.0 + cv) * 0.5);
            if (h == 1)
                cv = -cv;
            double wr = 1.0;
            double wi = 0.0;
            for (int j = 0; j < h; ++j) {
                r[j] = static_cast<T>(wr);
                i[j] = static_cast<T>(wi);
                const double nr = wr * cv - wi * sv;
                wi = wr * sv + wi * cv;
                wr = nr;
            }
        }
    }
    // The split turns by e^(-2 pi i m / length), m < length / 4: exact, or
    // stepped by a rotation through the angle pi / half from (1, 0).
    T* r = re.data() + splitOffset(half);
    T* i = im.data() + splitOffset(half);
    r[0] = 1;
    i[0] = 0;
    if constexpr (Precision<T>::kExactTurns) {
        for (int m = 1; m < half / 2; ++m) {
            r[m] = std::cos(Precision<T>::kPi * m / half);
            i[m] = std::sin(Precision<T>::kPi * m / half);
        }
    } else {
        const double theta = Precision<T>::kPi / half;
        const double rc = std::cos(theta);
        const double rs = std::sin(theta);
        double c = 1.0;
        double sn = 0.0;
        for (int m = 1; m < half / 2; ++m) {
            const double nc = c * rc - sn * rs;
            sn = c * rs + sn * rc;
            c = nc;
            r[m] = static_cast<T>(c);
            i[m] = static_cast<T>(sn);
        }
    }
    return true;
}

// Stages h and 2h at once on the values a, a + h, a + 2h, a + 3h (and the
// lanes after each): stage h pairs (a, a + h) and (a + 2h, a + 3h) by its
// turn j, stage 2h pairs (a, a + 2h) by its turn j and (a + h, a + 3h) by its
// turn j + h. Every value goes through the same operations as in two
// separate stages.
template <typename V, typename T>
inline void twoStages(T* re, T* im, int a, int h, int j, const T* turnRe, const T* turnIm)
{
    T* r0 = re + a;
    T* i0 = im + a;
    V ar = load<V>(r0), ai = load<V>(i0);
    V br = load<V>(r0 + h), bi = load<V>(i0 + h);
    V cr = load<V>(r0 + 2 * h), ci = load<V>(i0 + 2 * h);
    V dr = load<V>(r0 + 3 * h), di = load<V>(i0 + 3 * h);
    const T* s1r = turnRe + stageOffset(h);
    const T* s1i = turnIm + stageOffset(h);
    const T* s2r = turnRe + stageOffset(2 * h);
    const T* s2i = turnIm + stageOffset(2 * h);
    const V f1r = load<V>(s1r + j), f1i = load<V>(s1i + j);
    butterfly(ar, ai, br, bi, f1r, f1i);
    butterfly(cr, ci, dr, di, f1r, f1i);
    butterfly(ar, ai, cr, ci, load<V>(s2r + j), load<V>(s2i + j));
    butterfly(br, bi, dr, di, load<V>(s2r + j + h), load<V>(s2i + j + h));
    store(r0, ar);
    store(i0, ai);
    store(r0 + h, br);
    store(i0 + h, bi);
    store(r0 + 2 * h, cr);
    store(i0 + 2 * h, ci);
    store(r0 + 3 * h, dr);
    store(i0 + 3 * h, di);
}

template <typename V, typename T>
inline void oneStage(T* re, T* im, int p, int h, int j, const T* turnRe, const T* turnIm)
{
    V pr = load<V>(re + p), pi = load<V>(im + p);
    V qr = load<V>(re + p + h), qi = load<V>(im + p + h);
    butterfly(pr, pi, qr, qi, load<V>(turnRe + stageOffset(h) + j), load<V>(turnIm + stageOffset(h) + j));
    store(re + p, pr);
    store(im + p, pi);
    store(re + p + h, qr);
    store(im + p + h, qi);
}

// The forward transform of the `half` complex values in bit-reversed order:
// the radix-2 stages h = 1, 2, 4, ..., half / 2, two at a time.
template <typename T>
void butterflies(T* re, T* im, int half, const T* turnRe, const T* turnIm)
{
    using Vec = typename Lanes<T>::Vec;
    constexpr int kLanes = Lanes<T>::kCount;
    int h = 1;
    if constexpr (Precision<T>::kExactTurns) {
        // Exact turns make the first two stages turn by 1 and -i only: no
        // products at all.
        if (half >= 4) {
            for (int p = 0; p < half; p += 4) {
                const T ar = re[p] + re[p + 1], ai = im[p] + im[p + 1];
                const T br = re[p] - re[p + 1], bi = im[p] - im[p + 1];
                const T cr = re[p + 2] + re[p + 3], ci = im[p + 2] + im[p + 3];
                const T dr = re[p + 2] - re[p + 3], di = im[p + 2] - im[p + 3];
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
            h = 4;
        }
    }
    for (; 2 * h < half; h *= 4) {
        for (int start = 0; start < half; start += 4 * h) {
            if (h >= kLanes) {
                for (int j = 0; j < h; j += kLanes)
                    twoStages<Vec>(re, im, start + j, h, j, turnRe, turnIm);
            } else {
                for (int j = 0; j < h; ++j)
                    twoStages<T>(re, im, start + j, h, j, turnRe, turnIm);
            }
        }
    }
    if (h < half) {  // an odd number of stages: the last alone
        for (int start = 0; start < half; start += 2 * h) {
            if (h >= kLanes) {
                for (int j = 0; j < h; j += kLanes)
                    oneStage<Vec>(re, im, start + j, h, j, turnRe, turnIm);
            } else {
                for (int j = 0; j < h; ++j)
                    oneStage<T>(re, im, start + j, h, j, turnRe, turnIm);
            }
        }
    }
}

template <typename T, typename S>
bool powerSpectrum(const S* samples, int length, T offset, std::span<const T> window, int windowStride,
                   const SpectrumWork<T>& w)
{
    if (samples == nullptr || !isSpectrumLength(length) || windowStride < 1)
        return false;
    const int half = length / 2;
    const auto count = static_cast<std::size_t>(spectrumTwiddleCount(length));
    if (window.size() <= static_cast<std::size_t>(length - 1) * static_cast<std::size_t>(windowStride) ||
        w.work.size() < at(length) || w.re.size() < at(half) || w.im.size() < at(half) || w.twiddleRe.size() < count ||
        w.twiddleIm.size() < count)
        return false;
    T* work = w.work.data();
    T* re = w.re.data();
    T* im = w.im.data();
    const T* win = window.data();

    // 1. Windowing, and 2. packing, even samples real and odd ones
    // imaginary, straight into bit-reversed order. Only the upper half of
    // the windowed record stays in work: the power replaces the lower half.
    int bits = 0;
    while ((1 << bits) < half)
        ++bits;
    const std::ptrdiff_t step = windowStride;
    const auto window2 = [&](int m, T& x0, T& x1) {
        const int t = 2 * m;
        x0 = (static_cast<T>(samples[t]) - offset) * win[t * step];
        x1 = (static_cast<T>(samples[t + 1]) - offset) * win[(t + 1) * step];
        const int r = reversedIndex(m, 24 - bits);
        re[r] = x0;
        im[r] = x1;
    };
    T x0;
    T x1;
    for (int m = 0; m < half / 2; ++m)
        window2(m, x0, x1);
    for (int m = half / 2; m < half; ++m) {
        window2(m, x0, x1);
        work[2 * m] = x0;
        work[2 * m + 1] = x1;
    }

    // 3. The half-length complex transform.
    butterflies(re, im, half, w.twiddleRe.data(), w.twiddleIm.data());

    // 4. Split into the real transform: Z[m] and Z[half - m] give X[m] and
    // X[half - m] through the even part (h1) and the odd part (h2) turned.
    const T z0r = re[0];
    const T z0i = im[0];
    re[0] = (z0r + z0i) * static_cast<T>(0.5);  // X[0] / 2
    im[0] = (z0r - z0i) * static_cast<T>(0.5);  // X[half] / 2
    const T* splitRe = w.twiddleRe.data() + splitOffset(half);
    const T* splitIm = w.twiddleIm.data() + splitOffset(half);
    constexpr T kHalf = static_cast<T>(0.5);
    using Vec = typename Lanes<T>::Vec;
    constexpr int kLanes = Lanes<T>::kCount;
    int m = 1;
    // As many m at once as a register holds, the mirror entries read and
    // written in reverse order; the same operations on every value.
    for (; m + kLanes <= half / 2; m += kLanes) {
        const int b = half - m - (kLanes - 1);
        const Vec ar = load<Vec>(re + m), ai = load<Vec>(im + m);
        const Vec br = reversedLanes<T>(load<Vec>(re + b)), bi = reversedLanes<T>(load<Vec>(im + b));
        const Vec h1r = kHalf * (ar + br);
        const Vec h1i = kHalf * (ai - bi);
        const Vec h2r = kHalf * (ai + bi);
        const Vec h2i = kHalf * (br - ar);
        const Vec fc = load<Vec>(splitRe + m);
        const Vec fs = load<Vec>(splitIm + m);
        const Vec pr = fc * h2r + fs * h2i;
        const Vec pi = fc * h2i - fs * h2r;
        store(re + m, h1r + pr);
        store(im + m, h1i + pi);
        store(re + b, reversedLanes<T>(h1r - pr));
        store(im + b, reversedLanes<T>(-h1i + pi));
    }
    for (; m < half / 2; ++m) {
        const int a = m;
        const int b = half - m;
        const T ar = re[a], ai = im[a], br = re[b], bi = im[b];
        const T h1r = kHalf * (ar + br);
        const T h1i = kHalf * (ai - bi);
        const T h2r = kHalf * (ai + bi);
        const T h2i = kHalf * (br - ar);
        const T fc = splitRe[m];
        const T fs = splitIm[m];
        const T pr = fc * h2r + fs * h2i;
        const T pi = fc * h2i - fs * h2r;
        re[a] = h1r + pr;
        im[a] = h1i + pi;
        re[b] = h1r - pr;
        im[b] = -h1i + pi;
    }
    im[half / 2] = -im[half / 2];

    // 5. Power.
    int k = 0;
    for (; k + kLanes <= half; k += kLanes) {
        const Vec vr = load<Vec>(re + k);
        const Vec vi = load<Vec>(im + k);
        store(work + k, vr * vr + vi * vi);
    }
    for (; k < half; ++k)
        work[k] = re[k] * re[k] + im[k] * im[k];
    return true;
}

}  // namespace

void fillWindowTable(std::span<float> window, int length) { fillWindow(window, length); }
void fillWindowTable(std::span<double> window, int length) { fillWindow(window, length); }

bool makeSpectrumTwiddles(int length, std::span<float> re, std::span<float> im) { return makeTwiddles(length, re, im); }

bool makeSpectrumTwiddles(int length, std::span<double> re, std::span<double> im)
{
    return makeTwiddles(length, re, im);
}

bool windowedPowerSpectrum(const std::int32_t* samples, int length, float offset, std::span<const float> window,
                           int windowStride, const SpectrumWork<float>& work)
{
    return powerSpectrum(samples, length, offset, window, windowStride, work);
}

bool windowedPowerSpectrum(const std::int32_t* samples, int length, double offset, std::span<const double> window,
                           int windowStride, const SpectrumWork<double>& work)
{
    return powerSpectrum(samples, length, offset, window, windowStride, work);
}

bool windowedPowerSpectrum(const float* samples, int length, double offset, std::span<const double> window,
                           int windowStride, const SpectrumWork<double>& work)
{
    return powerSpectrum(samples, length, offset, window, windowStride, work);
}

bool makeComplexTwiddles(int length, std::span<double> re, std::span<double> im)
{
    if (length < 2 || length > kComplexTransformMaxLength || (length & (length - 1)) != 0)
        return false;
    const auto count = static_cast<std::size_t>(complexTwiddleCount(length));
    if (re.size() < count || im.size() < count)
        return false;
    // The last stage's turns, e^(-i pi j / h) for h = length / 2, exactly as
    // makeSpectrumTwiddles makes them; every earlier stage's are every
    // (h / its h)-th of them (pi j / h is the same double for j and h both
    // doubled).
    const int last = length / 2;
    double* lastRe = re.data() + stageOffset(last);
    double* lastIm = im.data() + stageOffset(last);
    for (int j = 0; j < last; ++j) {
        lastRe[j] = std::cos(Precision<double>::kPi * j / last);
        lastIm[j] = std::sin(Precision<double>::kPi * j / last);
    }
    for (int h = 1; h < last; h <<= 1) {
        const int stride = last / h;
        for (int j = 0; j < h; ++j) {
            re[at(stageOffset(h) + j)] = lastRe[j * stride];
            im[at(stageOffset(h) + j)] = lastIm[j * stride];
        }
    }
    return true;
}

bool complexTransform(std::span<double> re, std::span<double> im, std::span<const double> twiddleRe,
                      std::span<const double> twiddleIm, bool inverse)
{
    const std::size_t n = re.size();
    if (n < 2 || n > at(kComplexTransformMaxLength) || (n & (n - 1)) != 0 || im.size() != n ||
        twiddleRe.size() < n - 1 || twiddleIm.size() < n - 1)
        return false;
    const int length = static_cast<int>(n);
    int bits = 0;
    while ((1 << bits) < length)
        ++bits;
    for (int m = 0; m < length; ++m) {
        const int r = reversedIndex(m, 24 - bits);
        if (r > m) {
            std::swap(re[at(m)], re[at(r)]);
            std::swap(im[at(m)], im[at(r)]);
        }
    }
    // The inverse is the forward transform with the real and imaginary parts
    // exchanged on the way in and out, then scaled.
    butterflies(inverse ? im.data() : re.data(), inverse ? re.data() : im.data(), length, twiddleRe.data(),
                twiddleIm.data());
    if (inverse) {
        const double scale = 1.0 / static_cast<double>(length);
        for (std::size_t i = 0; i < n; ++i) {
            re[i] *= scale;
            im[i] *= scale;
        }
    }
    return true;
}

}  // namespace varmolen
