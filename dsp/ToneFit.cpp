#include "dsp/ToneFit.h"

#include <array>
#include <cmath>
#include <numbers>

namespace varmolen {

namespace {

constexpr int kLastHarmonic = 9;
// The mean, a cosine and a sine a harmonic, and the frequency's step.
constexpr int kMaxTerms = 1 + 2 * kLastHarmonic + 1;
// Passes that refine the frequency: each multiplies its error by about
// the error over the record's length, so a fraction of a bin becomes far
// below a millionth of one within three. They fit the tone alone (its
// harmonics move its frequency by nothing a reading shows), so they cost
// a tenth of the last pass, which fits the harmonics too.
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

// The terms at one value: the mean, each harmonic's cosine and sine at
// phase h w t (t counted from the record's middle, so the frequency's step
// is not tied to the phase; c1 and s1 the tone's), and with `step` the
// derivative of the tone by its frequency, scaled to the order of the others.
void terms(double c1, double s1, double t, int harmonics, bool step, double a1, double b1, double stepScale, double* v)
{
    v[0] = 1.0;
    double c = c1;
    double s = s1;
    for (int h = 1; h <= harmonics; ++h) {
        v[2 * h - 1] = c;
        v[2 * h] = s;
        const double next = c * c1 - s * s1;
        s = s * c1 + c * s1;
        c = next;
    }
    if (step)
        v[2 * harmonics + 1] = t * stepScale * (b1 * c1 - a1 * s1);
}

}  // namespace

ToneFitReading fitTone(const float* x, int n, double rate, double hz)
{
    ToneFitReading r;
    if (x == nullptr || n < kLeastValues || !(rate > 0.0) || !(hz > 0.0) || !(hz < rate / 2))
        return r;
    int harmonics = 1;
    while (harmonics < kLastHarmonic && (harmonics + 1) * hz < rate / 2)
        ++harmonics;
    const double middle = 0.5 * (n - 1);
    double w = 2.0 * std::numbers::pi * hz / rate;
    Vector coef{};
    double a1 = 0.0;
    double b1 = 0.0;
    for (int pass = 0; pass <= kFrequencyPasses; ++pass) {
        // The first pass finds the tone's phase, the next ones step the
        // frequency, the last fits at the frequency found.
        const bool step = pass > 0 && pass < kFrequencyPasses;
        const int fitted = pass == kFrequencyPasses ? harmonics : 1;
        const int k = 2 * fitted + 1 + (step ? 1 : 0);
        const double amplitude = std::hypot(a1, b1);
        const double stepScale = step ? 1.0 / (middle * amplitude) : 0.0;
        if (step && !(amplitude > 0.0))
            return r;
        Matrix m{};
        Vector b{};
        std::array<double, kMaxTerms> v{};
        Phase phase(w, -middle);
        for (int i = 0; i < n; ++i, phase.next()) {
            terms(phase.cosine(), phase.sine(), i - middle, fitted, step, a1, b1, stepScale, v.data());
            const double xi = x[i];
            for (int p = 0; p < k; ++p) {
                const double vp = v[static_cast<std::size_t>(p)];
                b[static_cast<std::size_t>(p)] += vp * xi;
                double* row = m.data() + static_cast<std::ptrdiff_t>(p) * kMaxTerms;
                for (int q = p; q < k; ++q)
                    row[q] += vp * v[static_cast<std::size_t>(q)];
            }
        }
        if (!solve(m, b, k))
            return r;
        coef = b;
        a1 = coef[1];
        b1 = coef[2];
        if (step)
            w += coef[static_cast<std::size_t>(k - 1)] * stepScale;
        if (!(w > 0.0) || !(w < std::numbers::pi))
            return r;
    }

    // What the fit leaves: the noise beside the mean, the tone and its harmonics.
    double left = 0.0;
    std::array<double, kMaxTerms> v{};
    Phase phase(w, -middle);
    for (int i = 0; i < n; ++i, phase.next()) {
        terms(phase.cosine(), phase.sine(), i - middle, harmonics, false, 0.0, 0.0, 0.0, v.data());
        double model = 0.0;
        for (int p = 0; p < 2 * harmonics + 1; ++p)
            model += coef[static_cast<std::size_t>(p)] * v[static_cast<std::size_t>(p)];
        const double e = x[i] - model;
        left += e * e;
    }
    const double noiseSquare = left / n;
    double harmonicSquare = 0.0;  // sum of each harmonic's mean square
    for (int h = 2; h <= harmonics; ++h)
        harmonicSquare += 0.5 * (coef[static_cast<std::size_t>(2 * h - 1)] * coef[static_cast<std::size_t>(2 * h - 1)] +
                                 coef[static_cast<std::size_t>(2 * h)] * coef[static_cast<std::size_t>(2 * h)]);
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
