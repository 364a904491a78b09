#include "dsp/SweepDeconvolution.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <new>
#include <utility>

#include "dsp/SpectrumKernel.h"

namespace varmolen {

namespace {

constexpr double kPi = 3.14159265358979323846;

using Complex = std::complex<double>;

// 1 at or below `from`, 0 at or above `to`, a half cosine between.
double fall(double x, double from, double to)
{
    if (x <= from)
        return 1.0;
    if (x >= to)
        return 0.0;
    return 0.5 * (1.0 + std::cos(kPi * (x - from) / (to - from)));
}

// How far a frequency counts as inside the band the division reaches for
// the regularisation: 1 inside, 0 outside (see kSweepRegularisation).
double inBand(double hz, double startHz, double stopHz)
{
    if (!(hz > 0.0))
        return 0.0;
    const double below = std::log2(startHz / hz);  // octaves below the start
    const double above = std::log2(hz / stopHz);   // octaves above the stop
    return fall(below, kSweepReachBelow, kSweepReachBelow + 1.0) * fall(above, 1.0 / 6.0, 1.0 / 3.0);
}

// The high-pass's response at `hz`: a fourth-order Butterworth, two of the
// RBJ cookbook's biquads (Q 0.5412 and 1.3066) at cornerHz.
Complex highPass(double hz, double cornerHz, double rate)
{
    const double w0 = 2.0 * kPi * cornerHz / rate;
    const Complex z1 = std::polar(1.0, -2.0 * kPi * hz / rate);
    Complex h = 1.0;
    for (const double q : {0.54119610, 1.30656296}) {
        const double alpha = std::sin(w0) / (2.0 * q);
        const double c = std::cos(w0);
        const double b0 = (1.0 + c) / 2.0;
        h *= (b0 - (1.0 + c) * z1 + b0 * z1 * z1) / ((1.0 + alpha) - 2.0 * c * z1 + (1.0 - alpha) * z1 * z1);
    }
    return h;
}

// The two real halves of one complex transform of x + i y: bin k of x's
// transform and of y's.
struct Split {
    Complex x;
    Complex y;
};

Split split(const std::vector<double>& re, const std::vector<double>& im, std::size_t k)
{
    const std::size_t n = re.size();
    const std::size_t mirror = k == 0 ? 0 : n - k;
    const Complex z(re[k], im[k]);
    const Complex w(re[mirror], -im[mirror]);  // conjugate of the mirror bin
    return {0.5 * (z + w), Complex(0.0, -0.5) * (z - w)};
}

// a conj(b) / (|b|^2 + eps), and |b|^2 / (|b|^2 + eps): the regularised
// division and what it makes of b itself.
struct Division {
    Complex ratio;
    double limit;
};

Division divide(Complex a, Complex b, double eps)
{
    const double power = std::norm(b);
    const double denominator = power + eps;
    if (!(denominator > 0.0))
        return {Complex(0.0), 0.0};
    return {a * std::conj(b) / denominator, power / denominator};
}

// The division's state over one analysis: the transform's turns, and for
// every bin from 0 to n / 2 the sweep's transform, the regularisation and
// the high-pass.
class Divider {
public:
    Divider(std::size_t n, double rate, double startHz, double stopHz)
        : n_(n), half_(n / 2), rate_(rate), startHz_(startHz), stopHz_(stopHz)
    {
        turnRe_.resize(static_cast<std::size_t>(complexTwiddleCount(static_cast<int>(n))));
        turnIm_.resize(turnRe_.size());
        makeComplexTwiddles(static_cast<int>(n), std::span<double>(turnRe_), std::span<double>(turnIm_));
        fraction_.resize(half_ + 1);
        highPass_.resize(half_ + 1);
        const double binHz = rate / static_cast<double>(n);
        for (std::size_t k = 0; k <= half_; ++k) {
            const double hz = static_cast<double>(k) * binHz;
            fraction_[k] = std::pow(kSweepRegularisation, inBand(hz, startHz, stopHz));
            highPass_[k] = highPass(hz, kSweepHighPassFraction * startHz, rate);
        }
    }

    void transform(std::vector<double>& re, std::vector<double>& im, bool inverse) const
    {
        complexTransform(re, im, turnRe_, turnIm_, inverse);
    }

    // The sweep's transform, bin by bin, and its largest power in the swept band.
    void setSweep(std::vector<Complex> bins)
    {
        sweep_ = std::move(bins);
        sweepPower_ = largestInBand([&](std::size_t k) { return sweep_[k]; });
    }
    const Complex& sweep(std::size_t k) const { return sweep_[k]; }
    std::size_t half() const { return half_; }

    // The largest power of bins(k) in the swept band.
    template <typename Bins>
    double largestInBand(Bins bins) const
    {
        const double binHz = rate_ / static_cast<double>(n_);
        double largest = 0.0;
        for (std::size_t k = 0; k <= half_; ++k) {
            const double hz = static_cast<double>(k) * binHz;
            if (hz >= startHz_ && hz <= stopHz_)
                largest = std::max(largest, std::norm(bins(k)));
        }
        return largest;
    }
    // y divided by the sweep at bin k.
    Division bySweep(Complex y, std::size_t k) const { return divide(y, sweep_[k], sweepPower_ * fraction_[k]); }
    // y divided by b at bin k, b's largest power in the band `largest`.
    Division by(Complex y, Complex b, double largest, std::size_t k) const
    {
        return divide(y, b, largest * fraction_[k]);
    }
    const Complex& highPassAt(std::size_t k) const { return highPass_[k]; }

private:
    std::size_t n_;
    std::size_t half_;
    double rate_;
    double startHz_;
    double stopHz_;
    std::vector<double> turnRe_;
    std::vector<double> turnIm_;
    std::vector<double> fraction_;
    std::vector<Complex> highPass_;
    std::vector<Complex> sweep_;
    double sweepPower_ = 0.0;
};

// Writes two real signals' spectra, given bin by bin from 0 to n / 2, over
// re and im as the spectrum of first + i second, for one inverse transform.
// pair(k) may read bins k and n - k of re and im: they are written after.
template <typename Pair>
void packSpectra(std::vector<double>& re, std::vector<double>& im, std::size_t half, Pair pair)
{
    const std::size_t n = re.size();
    for (std::size_t k = 0; k <= half; ++k) {
        const auto [a, b] = pair(k);
        if (k == 0 || k == half) {
            re[k] = a.real();
            im[k] = b.real();
            continue;
        }
        // Bin n - k of each is the conjugate of bin k.
        re[k] = a.real() - b.imag();
        im[k] = a.imag() + b.real();
        re[n - k] = a.real() + b.imag();
        im[n - k] = -a.imag() + b.real();
    }
}

// Turns a packed spectrum (of two real signals) by -i sign(frequency), so
// that its inverse is their Hilbert transforms, packed the same way.
void hilbertTurn(std::vector<double>& re, std::vector<double>& im)
{
    const std::size_t n = re.size();
    for (std::size_t k = 0; k < n; ++k) {
        if (k == 0 || k == n / 2) {
            re[k] = 0.0;
            im[k] = 0.0;
            continue;
        }
        // -i (a + ib) = b - ia below n / 2; +i above.
        const double a = re[k];
        const double b = im[k];
        re[k] = k < n / 2 ? b : -b;
        im[k] = k < n / 2 ? -a : a;
    }
}

// values[lag - first] = response at lag, for lags first..last.
void keepLags(const std::vector<double>& response, long long first, long long last, std::vector<double>& values)
{
    const auto n = static_cast<long long>(response.size());
    values.resize(static_cast<std::size_t>(std::max(0LL, last - first + 1)));
    for (std::size_t m = 0; m < values.size(); ++m) {
        const long long lag = first + static_cast<long long>(m);
        values[m] = response[static_cast<std::size_t>(((lag % n) + n) % n)];
    }
}

// Divides the stimuli by the sweep two at a time, one in the real part and
// one in the imaginary part of each transform.
void divideStimuli(const Divider& divider, std::span<SweepStimulus> stimuli, std::vector<double>& re,
                   std::vector<double>& im)
{
    const std::size_t n = re.size();
    for (std::size_t i = 0; i < stimuli.size(); i += 2) {
        SweepStimulus& first = stimuli[i];
        SweepStimulus* second = i + 1 < stimuli.size() ? &stimuli[i + 1] : nullptr;
        std::fill(re.begin(), re.end(), 0.0);
        std::fill(im.begin(), im.end(), 0.0);
        for (std::size_t t = 0; t < std::min(first.frames, n); ++t)
            re[t] = first.at(t);
        for (std::size_t t = 0; second != nullptr && t < std::min(second->frames, n); ++t)
            im[t] = second->at(t);
        divider.transform(re, im, false);
        packSpectra(re, im, divider.half(), [&](std::size_t k) {
            const Split bin = split(re, im, k);
            const Complex hp = divider.highPassAt(k);
            return std::pair<Complex, Complex>{divider.bySweep(bin.x, k).ratio * hp,
                                               divider.bySweep(bin.y, k).ratio * hp};
        });
        divider.transform(re, im, true);
        for (SweepStimulus* s : {&first, second}) {
            if (s == nullptr)
                continue;
            keepLags(s == &first ? re : im, s->firstLag, s->lastLag, s->response);
        }
    }
}

}  // namespace

std::size_t sweepTransformLength(std::size_t recorded, std::size_t played)
{
    std::size_t n = 2;
    while (n < recorded + played)
        n *= 2;
    return n;
}

bool deconvolveSweep(std::span<const float> played, std::span<const float> recorded, std::span<const float> reference,
                     double rate, double startHz, double stopHz, const SweepEnvelopeLags& envelopes,
                     std::span<SweepStimulus> stimuli, SweepDeconvolution& out, std::string& whyNot)
{
    const std::size_t n = sweepTransformLength(recorded.size(), played.size());
    if (n > static_cast<std::size_t>(kComplexTransformMaxLength)) {
        whyNot = "The recording is too long to analyse.";
        return false;
    }
    const bool withReference = !reference.empty();
    try {
        Divider divider(n, rate, startHz, stopHz);
        const std::size_t half = divider.half();
        // The recording in the real part; the sweep, or the reference, in the
        // imaginary part; with a reference, the sweep alone first.
        std::vector<double> re(n, 0.0);
        std::vector<double> im(n, 0.0);
        std::vector<Complex> sweep(half + 1);
        if (withReference) {
            std::copy(played.begin(), played.end(), re.begin());
            divider.transform(re, im, false);
            for (std::size_t k = 0; k <= half; ++k)
                sweep[k] = Complex(re[k], im[k]);
            std::fill(re.begin(), re.end(), 0.0);
            std::fill(im.begin(), im.end(), 0.0);
        }
        std::copy(recorded.begin(), recorded.end(), re.begin());
        const std::span<const float> second = withReference ? reference : played;
        std::copy(second.begin(), second.end(), im.begin());
        divider.transform(re, im, false);
        if (!withReference)
            for (std::size_t k = 0; k <= half; ++k)
                sweep[k] = split(re, im, k).y;
        divider.setSweep(std::move(sweep));
        // With a reference, the reference divided by the sweep sets the
        // second division's scale.
        const double referencePower =
            withReference
                ? divider.largestInBand([&](std::size_t k) { return divider.bySweep(split(re, im, k).y, k).ratio; })
                : 0.0;

        // The division, written back over the transform as impulse + i band
        // limit, both through the high-pass.
        packSpectra(re, im, half, [&](std::size_t k) {
            const Split bin = split(re, im, k);
            Division d = divider.bySweep(bin.x, k);
            if (withReference)
                d = divider.by(d.ratio, divider.bySweep(bin.y, k).ratio, referencePower, k);
            const Complex hp = divider.highPassAt(k);
            return std::pair<Complex, Complex>{d.ratio * hp, d.limit * hp};
        });
        // The Hilbert transforms first, from the same spectra turned by -i
        // sign(frequency): kept over the lags asked for. Then the spectra
        // themselves, kept aside meanwhile, back to the impulse and the
        // band limit.
        out.impulse = re;
        out.bandLimit = im;
        hilbertTurn(re, im);
        divider.transform(re, im, true);
        keepLags(re, envelopes.impulseFirst, envelopes.impulseLast, out.impulseHilbert);
        out.impulseHilbertFirst = envelopes.impulseFirst;
        keepLags(im, -envelopes.bandLimitReach, envelopes.bandLimitReach, out.bandLimitHilbert);
        out.bandLimitReach = envelopes.bandLimitReach;
        divider.transform(out.impulse, out.bandLimit, true);
        divideStimuli(divider, stimuli, re, im);
    } catch (const std::bad_alloc&) {
        whyNot = "There is not enough memory to analyse the sweep.";
        return false;
    }
    return true;
}

}  // namespace varmolen
