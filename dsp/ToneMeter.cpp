#include "dsp/ToneMeter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

#include "dsp/SpectrumAnalysis.h"

namespace varmolen {

namespace {

constexpr double kPi = 3.14159265358979323846;

// The window's main lobe spans 4 bins either side of a tone.
constexpr int kLobe = 4;
// Bins 0..3 hold the window's image of DC; a tone is read from bin 5 on, up
// to where its lobe still ends below the Nyquist bin.
constexpr int kFirstToneBin = 5;
constexpr int kFirstNoiseBin = kLobe;  // 4
// A tone's lobe must hold this many times the power of the noise in as many
// bins; white noise stays far below it in every record.
constexpr double kToneOverNoise = 30.0;
constexpr int kFlankBins = 8;  // bins either side beyond the lobe
// The lobe's central bins must follow one windowed tone's shape within this
// share of their power.
constexpr int kShapeBins = 2;
constexpr double kShapeMisfit = 0.01;
// Harmonics 2..9 lie apart from the tone's lobe only from this bin on.
constexpr int kFirstDistortionBin = 2 * kLobe + 1;  // 9
constexpr int kLastHarmonic = 9;
// Least uncertainty of the interpolated tone frequency, in bins.
constexpr double kToneSigmaFloor = 1e-4;
// A new spectrum continues the average while its strongest bin stays within
// this many bins of the average's and its power within this factor.
constexpr int kAverageMoveBins = 1;
constexpr double kAverageLevelFactor = 2.0;
// ... and the power beside the tone (its harmonics and the noise) within
// this factor: a tone of another shape at the same pitch and level (another
// waveform) is a new signal too. Summed over thousands of bins, the noise
// of a steady signal moves that power by a few per cent from one record to
// the next, far inside the factor.
constexpr double kAverageRestFactor = 2.0;
constexpr double kAverageRestFloor = 1e-12;
// Dynamic range is read from a tone within this many dB of -60 dBFS.
constexpr double kRangeToneDbfs = -60.0;
constexpr double kRangeToneSpanDb = 10.0;

// Power of bins kFirstNoiseBin..n/2-1 outside the lobe around `strongest`.
double restPower(const double* p, int n, int strongest)
{
    double rest = 0.0;
    for (int k = kFirstNoiseBin; k < n / 2; ++k)
        if (k < strongest - kLobe || k > strongest + kLobe)
            rest += p[k];
    return rest;
}

}  // namespace

ToneMeter::ToneMeter()
    : window_(static_cast<std::size_t>(kToneMaxRecord + 1)),
      power_(static_cast<std::size_t>(kToneMaxRecord)),
      binRe_(static_cast<std::size_t>(kToneMaxRecord / 2)),
      binIm_(static_cast<std::size_t>(kToneMaxRecord / 2)),
      turnRe_(static_cast<std::size_t>(spectrumTwiddleCount(kToneMaxRecord))),
      turnIm_(static_cast<std::size_t>(spectrumTwiddleCount(kToneMaxRecord))),
      gainA_(static_cast<std::size_t>(kToneMaxRecord / 2 + 1)),
      gainC_(static_cast<std::size_t>(kToneMaxRecord / 2 + 1))
{
    fillWindowTable(std::span<double>(window_), kToneMaxRecord);
    makeSpectrumTwiddles(kToneMaxRecord, std::span<double>(turnRe_), std::span<double>(turnIm_));
    useLength(kToneMinRecord);
}

void ToneMeter::useLength(int n)
{
    n_ = n;
    const int stride = kToneMaxRecord / n_;
    double squares = 0.0;
    for (int t = 0; t < n_; ++t) {
        const double w = window_[static_cast<std::size_t>(t * stride)];
        squares += w * w;
    }
    squares_ = squares;
    // w[t] = sum over m = -3..3 of b_m e^(2 pi i m t / n); the transform of a
    // windowed unit tone at x bins from a bin is then
    // |sin(pi x)| * |sum_m b_m e^(-i pi m / n) / sin(pi (x + m) / n)|.
    for (int m = -3; m <= 3; ++m) {
        const int am = m < 0 ? -m : m;
        const double b = (am == 0 ? 1.0 : 0.5) * kBlackmanHarris[am] * (am % 2 == 1 ? -1.0 : 1.0);
        const double phase = kPi * m / n;
        const auto i = static_cast<std::size_t>(m + 3);
        kernelRe_[i] = b * std::cos(phase);
        kernelIm_[i] = -b * std::sin(phase);
        shiftCos_[i] = std::cos(phase);
        shiftSin_[i] = std::sin(phase);
    }
}

void ToneMeter::useGains(double rate)
{
    gainRate_ = rate;
    gainLength_ = n_;
    const double binHz = rate / n_;
    for (int k = 0; k <= n_ / 2; ++k) {
        const auto i = static_cast<std::size_t>(k);
        gainA_[i] = std::pow(10.0, weightingDb(Weighting::A, k * binHz) / 10.0);
        gainC_[i] = std::pow(10.0, weightingDb(Weighting::C, k * binHz) / 10.0);
    }
}

double ToneMeter::kernelMagnitude(double x) const
{
    const double s = std::sin(kPi * x);
    if (std::abs(s) < 1e-12) {
        // On a bin: only the term whose denominator vanishes is left.
        const long j = std::lround(x);
        if (j < -3 || j > 3)
            return 0.0;
        const auto i = static_cast<std::size_t>(3 - j);
        return n_ * std::sqrt(kernelRe_[i] * kernelRe_[i] + kernelIm_[i] * kernelIm_[i]);
    }
    const double sx = std::sin(kPi * x / n_);
    const double cx = std::cos(kPi * x / n_);
    double re = 0.0;
    double im = 0.0;
    for (std::size_t i = 0; i < 7; ++i) {
        const double d = sx * shiftCos_[i] + cx * shiftSin_[i];  // sin(pi (x + m) / n)
        re += kernelRe_[i] / d;
        im += kernelIm_[i] / d;
    }
    return std::abs(s) * std::sqrt(re * re + im * im);
}

double ToneMeter::solveOffset(double ratio, double guess) const
{
    // |X[k0 + 1]| / |X[k0 - 1]| = |H(d - 1)| / |H(d + 1)| rises with the
    // offset d of the tone from bin k0; on (-1, 1) both lie inside the main
    // lobe. Secant steps on the logarithm of the ratio from a close guess,
    // kept inside (-1, 1) by regula falsi (Illinois) where they would leave.
    const double target = std::log(ratio);
    const auto g = [this, target](double d) {
        return std::log(kernelMagnitude(d - 1.0)) - std::log(kernelMagnitude(d + 1.0)) - target;
    };
    double a = -0.999;
    double b = 0.999;
    double ga = g(a);
    double gb = g(b);
    if (!(ga < 0.0))
        return a;
    if (!(gb > 0.0))
        return b;
    double x0 = std::clamp(guess, a + 1e-3, b - 1e-3);
    double g0 = g(x0);
    double x1 = x0 + (g0 < 0.0 ? 1e-3 : -1e-3);
    double g1 = g(x1);
    int side = 0;
    for (int i = 0; i < 60; ++i) {
        // Narrow the bracket with what is known, then step.
        for (const auto& [x, gx] : {std::pair{x0, g0}, std::pair{x1, g1}}) {
            if (gx < 0.0 && x > a) {
                a = x;
                ga = gx;
            } else if (gx > 0.0 && x < b) {
                b = x;
                gb = gx;
            }
        }
        if (std::abs(g1) < 1e-13 || b - a < 1e-12)
            return x1;
        double next = g1 != g0 ? x1 - g1 * (x1 - x0) / (g1 - g0) : a;
        if (!(next > a && next < b)) {
            next = (a * gb - b * ga) / (gb - ga);
            if (side != 0)
                (side < 0 ? gb : ga) *= 0.5;
            side = g1 < 0.0 ? -1 : 1;
        }
        x0 = x1;
        g0 = g1;
        x1 = next;
        g1 = g(x1);
    }
    return x1;
}

double ToneMeter::toneOffset(int k) const
{
    const auto p = [this](int i) { return power_[static_cast<std::size_t>(i)]; };
    if (k < 1 || k >= n_ / 2 || !(p(k - 1) > 0.0) || !(p(k) > 0.0) || !(p(k + 1) > 0.0))
        return 0.0;
    // First guess: the vertex of the parabola through the log powers.
    const double lm = std::log(p(k - 1));
    const double l0 = std::log(p(k));
    const double lp = std::log(p(k + 1));
    const double curvature = lm - 2.0 * l0 + lp;
    const double guess = curvature < 0.0 ? 0.5 * (lm - lp) / curvature : 0.0;
    return solveOffset(std::sqrt(p(k + 1) / p(k - 1)), guess);
}

void ToneMeter::transform(const float* x, int n)
{
    // Without its mean, so that bins 1..3 show only the signal's slow drift.
    // A double holds the sum of 8192 16-bit codes exactly.
    double sum = 0.0;
    for (int t = 0; t < n; ++t)
        sum += static_cast<double>(x[t]);
    const double mean = sum / n;
    // The window over n points: every m-th value of the longest one.
    windowedPowerSpectrum(x, n, mean, window_, kToneMaxRecord / n, {power_, binRe_, binIm_, turnRe_, turnIm_});
    // DC and Nyquist apart: the transform leaves half of each beside the bins.
    power_[0] = 4.0 * binRe_[0] * binRe_[0];
    power_[static_cast<std::size_t>(n / 2)] = 4.0 * binIm_[0] * binIm_[0];
}

void ToneMeter::findStrongest()
{
    const double* p = power_.data();
    const int last = n_ / 2;
    int strongest = 1;
    for (int k = 2; k < last; ++k) {
        if (p[k] > p[strongest])
            strongest = k;
    }
    strongest_ = strongest;
}

void ToneMeter::sumTotal()
{
    const double* p = power_.data();
    double total = 0.0;
    for (int k = kFirstNoiseBin; k < n_ / 2; ++k)
        total += p[k];
    total_ = total;
}

void ToneMeter::joinAverage(ToneAverage& average)
{
    // The same tone as the average's? Otherwise the signal changed, and the
    // readings start again from this spectrum.
    const double now = power_[static_cast<std::size_t>(strongest_)];
    const double before = average.power[static_cast<std::size_t>(average.strongest)];
    const double restNow = restPower(power_.data(), n_, strongest_);
    const double restBefore = average.rest;
    // Power beside the tone far below anything a record can hold (-120 dB
    // under the tone) counts as none: two such records are the same shape.
    const double none = kAverageRestFloor * now;
    const bool continues =
        average.length == n_ && average.count > 0 && std::abs(average.strongest - strongest_) <= kAverageMoveBins &&
        now <= kAverageLevelFactor * before && before <= kAverageLevelFactor * now &&
        restNow <= kAverageRestFactor * restBefore + none && restBefore <= kAverageRestFactor * restNow + none;
    if (!continues) {
        average.length = n_;
        average.count = 0;
    }
    average.count = std::min(average.count + 1, ToneAverage::kDepth);
    const int bins = n_ / 2 + 1;
    if (average.count == 1) {
        std::copy_n(power_.data(), bins, average.power.data());
    } else {
        const double weight = 1.0 / average.count;
        double* a = average.power.data();
        double* p = power_.data();
        for (int k = 0; k < bins; ++k) {
            a[k] += weight * (p[k] - a[k]);
            p[k] = a[k];
        }
        findStrongest();
    }
    average.strongest = strongest_;
    average.rest = restPower(average.power.data(), n_, strongest_);
}

ToneReading ToneMeter::measure(const float* x, int frames, double rate, ToneAverage* average)
{
    if (x == nullptr || frames < kToneMinRecord || !(rate > 0.0))
        return {};
    int n = kToneMinRecord;
    while (2 * n <= std::min(frames, kToneMaxRecord))
        n *= 2;
    if (n != n_)
        useLength(n);
    if (rate != gainRate_ || n_ != gainLength_)
        useGains(rate);
    transform(x + (frames - n), n);
    findStrongest();
    if (average != nullptr)
        joinAverage(*average);
    sumTotal();
    return read(rate);
}

void ToneMeter::weigh(ToneReading& r) const
{
    // A sine of amplitude A puts (A/2)^2 n sum(w^2) into the bins of its
    // lobe, whatever the window, so the sum of the bins read that way is the
    // power of tones and noise alike.
    if (!(squares_ > 0.0))
        return;
    double z = 0.0;
    double a = 0.0;
    double c = 0.0;
    for (int k = kFirstNoiseBin; k < n_ / 2; ++k) {
        const auto i = static_cast<std::size_t>(k);
        z += power_[i];
        a += power_[i] * gainA_[i];
        c += power_[i] * gainC_[i];
    }
    const double scale = 4.0 / (n_ * squares_);
    r.weightedPower = {scale * z, scale * a, scale * c};
    r.weightedValid = true;
}

void ToneMeter::readNoise(ToneReading& r, int k0, double offset, double tonePower, const double* harmonics,
                          const double* harmonicBins, int counted) const
{
    if (!(squares_ > 0.0) || !(tonePower > 0.0))
        return;
    // Everything THD+N counts, the bins beside the tone's lobe, unweighted
    // and A-weighted; then each harmonic's power at its own frequency taken
    // out of it. What is left is the noise, with the noise of the bins
    // around each harmonic.
    double rest = 0.0;
    double restA = 0.0;
    for (int k = kFirstNoiseBin; k < n_ / 2; ++k) {
        if (k >= k0 - kLobe && k <= k0 + kLobe)
            continue;
        const auto i = static_cast<std::size_t>(k);
        rest += power_[i];
        restA += power_[i] * gainA_[i];
    }
    // In squared codes of a sine's amplitude: a sine of amplitude A puts
    // (A/2)^2 n sum(w^2) into its lobe, and a tone's or a harmonic's power
    // as read at its bin is (A/2)^2.
    const double scale = 4.0 / (n_ * squares_);
    const double binHz = gainRate_ / n_;
    double distortion = 0.0;
    double distortionA = 0.0;
    for (int h = 0; h < counted; ++h) {
        distortion += 4.0 * harmonics[h];
        distortionA += 4.0 * harmonics[h] * std::pow(10.0, weightingDb(Weighting::A, harmonicBins[h] * binHz) / 10.0);
    }
    // The tone's own skirt beyond its lobe, some -90 dB of it, would read
    // as noise: what the transform of one tone at that offset holds outside
    // the lobe's bins (all its power but the lobe's, by Parseval) is taken
    // out. The skirt that falls below bin 4 and above n/2 is as much as the
    // skirt of the tone's mirror image that falls inside.
    double lobeShare = 0.0;
    for (int j = -kLobe; j <= kLobe; ++j) {
        const double h = kernelMagnitude(offset - j);
        lobeShare += h * h;
    }
    const double skirt = 4.0 * tonePower * std::max(0.0, 1.0 - lobeShare / (n_ * squares_));
    const double skirtA = skirt * gainA_[static_cast<std::size_t>(k0)];
    const double everything = std::max(0.0, scale * rest - skirt);
    const double everythingA = std::max(0.0, scale * restA - skirtA);
    r.noiseValid = true;
    r.noisePower = std::max(0.0, everything - distortion);
    r.noisePowerA = std::max(0.0, everythingA - distortionA);
    const double tone = 4.0 * tonePower;
    if (r.noisePower > 0.0) {
        r.snrValid = true;
        r.snrDb = 10.0 * std::log10(tone / r.noisePower);
    }
    const double level = 10.0 * std::log10(tone) - 20.0 * std::log10(kAnalysisFullScale);
    if (everythingA > 0.0 && std::abs(level - kRangeToneDbfs) <= kRangeToneSpanDb) {
        r.dynamicRangeValid = true;
        r.dynamicRangeDb = 20.0 * std::log10(kAnalysisFullScale) - 10.0 * std::log10(everythingA);
    }
}

ToneReading ToneMeter::read(double rate) const
{
    ToneReading r;
    weigh(r);
    const auto p = [this](int k) { return power_[static_cast<std::size_t>(k)]; };
    const int lastNoiseBin = n_ / 2 - 1;
    const int lastToneBin = lastNoiseBin - kLobe;

    // The strongest bin of the whole spectrum; where it lies too near DC or
    // Nyquist to be read, the strongest tone cannot be read either.
    const int k0 = strongest_;
    if (k0 < kFirstToneBin || k0 > lastToneBin)
        return r;
    const double total = total_;
    double lobe = 0.0;
    for (int k = k0 - kLobe; k <= k0 + kLobe; ++k)
        lobe += p(k);
    if (!(lobe > 0.0) || !(p(k0 - 1) > 0.0) || !(p(k0 + 1) > 0.0))
        return r;
    const int noiseBins = lastNoiseBin - kFirstNoiseBin + 1 - (2 * kLobe + 1);
    const double noisePerBin = std::max(0.0, total - lobe) / noiseBins;
    // A tone stands out of the noise, both of the whole spectrum and of the
    // bins beside its lobe (coloured noise piles up where it is strongest).
    double flank = 0.0;
    int flankBins = 0;
    for (int d = kLobe + 1; d <= kLobe + kFlankBins; ++d) {
        for (int k : {k0 - d, k0 + d}) {
            if (k >= kFirstNoiseBin && k <= lastNoiseBin) {
                flank += p(k);
                ++flankBins;
            }
        }
    }
    const double around = std::max(noisePerBin, flank / flankBins);
    if (lobe < kToneOverNoise * (2 * kLobe + 1) * around)
        return r;

    const double offset = toneOffset(k0);
    if (std::abs(offset) > 0.6)
        return r;  // not the shape of one tone
    // Each bin of the lobe must hold what one tone at that offset would put
    // there: a bump of noise, or the skirt of a strong low-frequency drift,
    // has another shape.
    const double tonePeak = kernelMagnitude(offset);
    const double half = std::sqrt(p(k0)) / tonePeak;
    double misfit = 0.0;
    double held = 0.0;
    for (int j = -kShapeBins; j <= kShapeBins; ++j) {
        const double measured = std::sqrt(p(k0 + j));
        const double model = half * kernelMagnitude(offset - j);
        misfit += (measured - model) * (measured - model);
        held += measured * measured;
    }
    if (misfit > kShapeMisfit * held)
        return r;

    const double binHz = rate / n_;
    r.valid = true;
    r.length = n_;
    r.hz = (k0 + offset) * binHz;
    r.sigmaHz = std::max(kToneSigmaFloor, std::sqrt(noisePerBin / p(k0))) * binHz;
    // A real tone of peak A puts A/2 of the unit tone's transform on its bins.
    r.amplitude = 2.0 * half;

    if (k0 < kFirstDistortionBin)
        return r;
    r.thdNValid = true;
    r.thdN = std::sqrt(std::max(0.0, total - lobe) / lobe);
    // Each harmonic from the bin nearest to it, as the tone from its own:
    // the noise of the other bins of its lobe stays out of the reading.
    const double fundamental = k0 + offset;
    const double tonePower = p(k0) / (tonePeak * tonePeak);
    double harmonics = 0.0;
    std::array<double, kLastHarmonic - 1> harmonicPower{};
    std::array<double, kLastHarmonic - 1> harmonicBin{};
    int counted = 0;
    for (int h = 2; h <= kLastHarmonic; ++h) {
        const double at = h * fundamental;
        const long centre = std::lround(at);
        if (centre + kLobe > lastNoiseBin)
            break;  // at or beyond the Nyquist frequency
        const double peak = kernelMagnitude(at - static_cast<double>(centre));
        const double power = p(static_cast<int>(centre)) / (peak * peak);
        harmonics += power;
        harmonicPower[static_cast<std::size_t>(counted)] = power;
        harmonicBin[static_cast<std::size_t>(counted)] = at;
        ++counted;
    }
    readNoise(r, k0, offset, tonePower, harmonicPower.data(), harmonicBin.data(), counted);
    if (counted > 0) {
        r.thdValid = true;
        r.thd = std::sqrt(harmonics / tonePower);
        // Everything but the tone holds its harmonics: the two ways of
        // weighing a tone (its lobe, its nearest bin) differ by a ten
        // thousandth of it, which must not make THD+N read below THD.
        r.thdN = std::max(r.thdN, r.thd);
    }
    return r;
}

}  // namespace varmolen
