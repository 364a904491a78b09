#include "dsp/ToneFit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace varmolen {

namespace {

constexpr int kLastHarmonic = 9;
// The largest system solved: the mean and the cosines of every harmonic.
constexpr int kMaxTerms = kLastHarmonic + 1;
// Passes that refine the frequency: each multiplies its error by about
// the error over the record's length, so a fraction of a bin becomes far
// below a millionth of one within three.
constexpr int kFrequencyPasses = 4;
constexpr int kLeastValues = 64;

using Matrix = std::array<double, kMaxTerms * kMaxTerms>;
using Vector = std::array<double, kMaxTerms>;

// Solves m y = b for a symmetric positive-definite m of size k (its upper
// triangle given) by Cholesky, y into b; false when m is not positive definite.
bool solve(Matrix& m, Vector& b, int k)
{
    const auto at = [&](int i, int j) -> double& { return m[static_cast<std::size_t>(i * kMaxTerms + j)]; };
    for (int i = 0; i < k; ++i)
        for (int j = 0; j < i; ++j)
            at(i, j) = at(j, i);
    for (int j = 0; j < k; ++j) {
        double d = at(j, j);
        for (int p = 0; p < j; ++p)
            d -= at(j, p) * at(j, p);
        if (!(d > 0.0))
            return false;
        const double root = std::sqrt(d);
        at(j, j) = root;
        for (int i = j + 1; i < k; ++i) {
            double s = at(i, j);
            for (int p = 0; p < j; ++p)
                s -= at(i, p) * at(j, p);
            at(i, j) = s / root;
        }
    }
    for (int i = 0; i < k; ++i) {
        double s = b[static_cast<std::size_t>(i)];
        for (int p = 0; p < i; ++p)
            s -= at(i, p) * b[static_cast<std::size_t>(p)];
        b[static_cast<std::size_t>(i)] = s / at(i, i);
    }
    for (int i = k - 1; i >= 0; --i) {
        double s = b[static_cast<std::size_t>(i)];
        for (int p = i + 1; p < k; ++p)
            s -= at(p, i) * b[static_cast<std::size_t>(p)];
        b[static_cast<std::size_t>(i)] = s / at(i, i);
    }
    return true;
}

// The tone's phase w t at t = from, from + 1, ...: a rotation a value,
// brought back to unit length now and then (its error after 8192 steps is
// some 1e-13, far below any reading).
class Phase {
public:
    Phase(double w, double from) : c_(std::cos(w * from)), s_(std::sin(w * from)), dc_(std::cos(w)), ds_(std::sin(w)) {}
    double cosine() const { return c_; }
    double sine() const { return s_; }
    void next()
    {
        const double c = c_ * dc_ - s_ * ds_;
        s_ = s_ * dc_ + c_ * ds_;
        c_ = c;
        if (++count_ % 1024 == 0) {
            const double norm = 1.0 / std::hypot(c_, s_);
            c_ *= norm;
            s_ *= norm;
        }
    }

private:
    double c_, s_, dc_, ds_;
    int count_ = 0;
};

}  // namespace

ToneFitReading fitTone(const float* x, int n, double rate, double hz)
{
    ToneFitReading r;
    if (x == nullptr || n < kLeastValues || !(rate > 0.0) || !(hz > 0.0) || !(hz < rate / 2))
        return r;
    int harmonics = 1;
    while (harmonics < kLastHarmonic && (harmonics + 1) * hz < rate / 2)
        ++harmonics;
    // t counts from the record's middle, so the frequency's step is not
    // tied to the phase.
    const double middle = 0.5 * (n - 1);
    double w = 2.0 * std::numbers::pi * hz / rate;
    double a1 = 0.0;
    double b1 = 0.0;
    for (int pass = 0; pass < kFrequencyPasses; ++pass) {
        // The first pass finds the tone's phase, the next ones step the
        // frequency by the derivative of the tone (scaled to the order of
        // the other terms).
        const bool step = pass > 0;
        const int k = step ? 4 : 3;
        const double amplitude = std::hypot(a1, b1);
        if (step && !(amplitude > 0.0))
            return r;
        const double stepScale = step ? 1.0 / (middle * amplitude) : 0.0;
        Matrix m{};
        Vector b{};
        Phase phase(w, -middle);
        for (int i = 0; i < n; ++i, phase.next()) {
            const double c = phase.cosine();
            const double s = phase.sine();
            const std::array<double, kMaxTerms> v{1.0, c, s, (i - middle) * stepScale * (b1 * c - a1 * s)};
            const double xi = x[i];
            for (int p = 0; p < k; ++p) {
                b[static_cast<std::size_t>(p)] += v[static_cast<std::size_t>(p)] * xi;
                for (int q = p; q < k; ++q)
                    m[static_cast<std::size_t>(p * kMaxTerms + q)] +=
                        v[static_cast<std::size_t>(p)] * v[static_cast<std::size_t>(q)];
            }
        }
        if (!solve(m, b, k))
            return r;
        a1 = b[1];
        b1 = b[2];
        if (step)
            w += b[3] * stepScale;
        if (!(w > 0.0) || !(w < std::numbers::pi))
            return r;
    }

    // The mean, the tone and its harmonics together at the frequency found.
    // With t counted from the middle, every sine is orthogonal to the mean
    // and to every cosine, and each sum of two terms is a sum of cosines
    // in arithmetic progression, known in closed form: only the record's
    // sums against each term take a pass over it.
    const auto cosines = [&](int k) {  // sum over t of cos(k w t)
        return k == 0 ? static_cast<double>(n) : std::sin(0.5 * n * k * w) / std::sin(0.5 * k * w);
    };
    Matrix even{};  // the mean, cos(w t) .. cos(harmonics w t)
    Matrix odd{};   // sin(w t) .. sin(harmonics w t)
    for (int a = 0; a <= harmonics; ++a) {
        for (int b = a; b <= harmonics; ++b) {
            even[static_cast<std::size_t>(a * kMaxTerms + b)] =
                a == 0 ? cosines(b) : 0.5 * (cosines(b - a) + cosines(a + b));
            if (a > 0)
                odd[static_cast<std::size_t>((a - 1) * kMaxTerms + b - 1)] = 0.5 * (cosines(b - a) - cosines(a + b));
        }
    }
    Vector evenSums{};
    Vector oddSums{};
    {
        Phase phase(w, -middle);
        for (int i = 0; i < n; ++i, phase.next()) {
            const double xi = x[i];
            evenSums[0] += xi;
            double c = phase.cosine();
            double s = phase.sine();
            for (int h = 1; h <= harmonics; ++h) {
                evenSums[static_cast<std::size_t>(h)] += xi * c;
                oddSums[static_cast<std::size_t>(h - 1)] += xi * s;
                const double next = c * phase.cosine() - s * phase.sine();
                s = s * phase.cosine() + c * phase.sine();
                c = next;
            }
        }
    }
    if (!solve(even, evenSums, harmonics + 1) || !solve(odd, oddSums, harmonics))
        return r;
    // What the fit leaves: the noise.
    double left = 0.0;
    Phase phase(w, -middle);
    for (int i = 0; i < n; ++i, phase.next()) {
        double e = x[i] - evenSums[0];
        double c = phase.cosine();
        double s = phase.sine();
        for (int h = 1; h <= harmonics; ++h) {
            e -= evenSums[static_cast<std::size_t>(h)] * c + oddSums[static_cast<std::size_t>(h - 1)] * s;
            const double next = c * phase.cosine() - s * phase.sine();
            s = s * phase.cosine() + c * phase.sine();
            c = next;
        }
        left += e * e;
    }
    a1 = evenSums[1];
    b1 = oddSums[0];
    double harmonicSquare = 0.0;  // sum of each harmonic's mean square
    for (int h = 2; h <= harmonics; ++h) {
        const double a = evenSums[static_cast<std::size_t>(h)];
        const double b = oddSums[static_cast<std::size_t>(h - 1)];
        harmonicSquare += 0.5 * (a * a + b * b);
    }
    const double noiseSquare = left / n;
    const double amplitude = std::hypot(a1, b1);
    const double toneSquare = 0.5 * amplitude * amplitude;
    if (!(toneSquare > 0.0))
        return r;
    r.valid = true;
    r.hz = w * rate / (2.0 * std::numbers::pi);
    r.amplitude = amplitude;
    r.thd = std::sqrt(harmonicSquare / toneSquare);
    r.thdN = std::sqrt((harmonicSquare + noiseSquare) / toneSquare);
    r.noisePower = 2.0 * noiseSquare;
    return r;
}

}  // namespace varmolen
