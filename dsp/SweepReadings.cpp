#include "dsp/SweepReadings.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <string>
#include <utility>

namespace varmolen {

namespace {

constexpr double kPi = SweepLaw::kPi;
// A peak this far (dB) above the deconvolution's noise counts as the sweep's.
constexpr double kLeastPeakToNoiseDb = 20.0;
// The smallest magnitude a reading reports, so that every value is finite.
constexpr double kLeastMagnitude = 1e-20;
// The shortest window read, in samples.
constexpr long long kShortestWindow = 16;

double decibels(double ratio) { return 20.0 * std::log10(std::max(ratio, kLeastMagnitude)); }

// Samples before the peak of the k-th harmonic's response (k = 1: the
// linear one) that its window takes.
double preSamples(const SweepLaw& law, int k)
{
    return std::min(kSweepPreSeconds * law.rate, 0.2 * (law.lead(k + 1) - law.lead(k)));
}

// The k-th harmonic's window (k >= 2) relative to the linear response's
// peak: from `first` up to, not including, `end`.
struct Span {
    double first;
    double end;
    double pre;
};

Span harmonicSpan(const SweepLaw& law, int k)
{
    const double pre = preSamples(law, k);
    return {-law.lead(k) - pre, -law.lead(k - 1) - preSamples(law, k - 1), pre};
}

// How long the linear response's window would be, the recording allowing.
double linearWindowSamples(const SweepLaw& law)
{
    return std::max(kSweepLinearWindowSeconds, kSweepLinearWindowPeriods / law.startHz) * law.rate;
}

// The value at lag `lag` of a response stored lag mod its length.
std::size_t lagIndex(long long lag, std::size_t length)
{
    const auto n = static_cast<long long>(length);
    return static_cast<std::size_t>(((lag % n) + n) % n);
}

// A window over lags first .. first + weights.size() - 1: flat, with half
// cosines rising over `rise` samples and falling over `fall`.
struct Window {
    long long first = 0;
    std::vector<double> weights;
};

Window taperedWindow(long long first, long long last, std::size_t rise, std::size_t fall)
{
    const auto length = static_cast<std::size_t>(last - first + 1);
    Window w{first, std::vector<double>(length, 1.0)};
    rise = std::min(rise, length / 2);
    fall = std::min(fall, length / 2);
    for (std::size_t i = 0; i < rise; ++i)
        w.weights[i] = 0.5 * (1.0 - std::cos(kPi * (static_cast<double>(i) + 0.5) / static_cast<double>(rise)));
    for (std::size_t i = 0; i < fall; ++i)
        w.weights[length - 1 - i] =
            0.5 * (1.0 - std::cos(kPi * (static_cast<double>(i) + 0.5) / static_cast<double>(fall)));
    return w;
}

// value(lag) through the window, its lags shifted by `shift`.
template <typename Value>
std::vector<double> windowed(const Window& w, long long shift, Value value)
{
    std::vector<double> out(w.weights.size());
    for (std::size_t m = 0; m < out.size(); ++m)
        out[m] = w.weights[m] * value(w.first + shift + static_cast<long long>(m));
    return out;
}

// The transform at `hz` of samples x[m] lying t0 + m samples after the time
// the phase refers to. Two phasors, on the even and the odd samples, keep
// two sums going at once.
std::complex<double> spectrumAt(const std::vector<double>& x, double t0, double hz, double rate)
{
    const double omega = 2.0 * kPi * hz / rate;
    const double stepRe = std::cos(2.0 * omega);
    const double stepIm = -std::sin(2.0 * omega);
    double evenRe = 1.0, evenIm = 0.0;
    double oddRe = std::cos(omega), oddIm = -std::sin(omega);
    double sumRe = 0.0, sumIm = 0.0, sum2Re = 0.0, sum2Im = 0.0;
    std::size_t m = 0;
    for (; m + 1 < x.size(); m += 2) {
        sumRe += x[m] * evenRe;
        sumIm += x[m] * evenIm;
        sum2Re += x[m + 1] * oddRe;
        sum2Im += x[m + 1] * oddIm;
        const double er = evenRe * stepRe - evenIm * stepIm;
        evenIm = evenRe * stepIm + evenIm * stepRe;
        evenRe = er;
        const double orr = oddRe * stepRe - oddIm * stepIm;
        oddIm = oddRe * stepIm + oddIm * stepRe;
        oddRe = orr;
    }
    if (m < x.size()) {
        sumRe += x[m] * evenRe;
        sumIm += x[m] * evenIm;
    }
    const std::complex<double> sum(sumRe + sum2Re, sumIm + sum2Im);
    return sum * std::polar(1.0, -omega * t0);
}

// The peak of value(lag) over lags from..to, refined to a fraction of a
// sample by a parabola through it and its neighbours (within from..to).
template <typename Value>
double findPeak(long long from, long long to, Value value)
{
    long long best = from;
    double largest = -1.0;
    for (long long lag = from; lag <= to; ++lag) {
        const double v = value(lag);
        if (v > largest) {
            largest = v;
            best = lag;
        }
    }
    if (best == from || best == to)
        return static_cast<double>(best);
    const double a = value(best - 1);
    const double c = value(best + 1);
    const double curve = a - 2.0 * largest + c;
    const double offset = curve < 0.0 ? std::clamp(0.5 * (a - c) / curve, -0.5, 0.5) : 0.0;
    return static_cast<double>(best) + offset;
}

// The RMS over lags a.. b and c.. d (either empty when it ends before it starts).
double rmsOver(const std::vector<double>& response, long long a, long long b, long long c, long long d)
{
    double sum = 0.0;
    long long count = 0;
    for (const auto& [from, to] : {std::pair{a, b}, std::pair{c, d}})
        for (long long lag = from; lag <= to; ++lag, ++count) {
            const double v = response[lagIndex(lag, response.size())];
            sum += v * v;
        }
    return count > 0 ? std::sqrt(sum / static_cast<double>(count)) : 0.0;
}

std::string describe(const char* format, double value)
{
    char text[200];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

SweepStimulus sweepHarmonic(const SweepLaw& law, int k)
{
    SweepStimulus s;
    s.frames = law.frames;
    const double top = std::min(law.stopHz * std::exp2(1.0 / 6.0), law.rate / 2.0);
    s.at = [law, k, top](std::size_t n) {
        const double hz = k * law.hz(n);
        double cut = hz <= law.stopHz ? 1.0 : 0.0;
        if (hz > law.stopHz && hz < top)
            cut = 0.5 * (1.0 + std::cos(kPi * (hz - law.stopHz) / (top - law.stopHz)));
        return cut * law.amplitude * std::pow(law.envelope(n) / law.amplitude, k) * std::sin(k * law.phase(n));
    };
    const Span span = harmonicSpan(law, k);
    s.firstLag = static_cast<long long>(std::floor(span.first)) - 2;
    s.lastLag = static_cast<long long>(std::ceil(span.end)) + 2;
    return s;
}

SweepEnvelopeLags sweepEnvelopeLags(const SweepLaw& law, std::size_t recordedFrames)
{
    return {-static_cast<long long>(std::ceil(0.5 * preSamples(law, 1))), static_cast<long long>(recordedFrames) - 1,
            static_cast<long long>(
                std::ceil(std::min(linearWindowSamples(law), 0.5 * static_cast<double>(recordedFrames))))};
}

void readSweep(const SweepLaw& law, const SweepDeconvolution& d, std::span<const SweepStimulus> harmonics,
               std::size_t recordedFrames, int pointsPerOctave, LogSweepResult& r)
{
    const double rate = law.rate;
    const std::size_t n = d.length();
    const double preLinear = preSamples(law, 1);
    const auto lastLag = static_cast<long long>(recordedFrames) - 1;
    // The peak of the analytic envelope: from a little before lag 0 (a
    // reference may be a fraction of a sample later than the measured path)
    // to the recording's end. The band limit's own peak, which the
    // high-pass below the band moves a little later (noticeably only for a
    // narrow band), is the delay's zero.
    const double tau =
        findPeak(d.impulseHilbertFirst, d.impulseHilbertFirst + static_cast<long long>(d.impulseHilbert.size()) - 1,
                 [&](long long lag) { return d.impulseEnvelope(lag); });
    const double tauLimit =
        findPeak(-d.bandLimitReach, d.bandLimitReach, [&](long long lag) { return d.bandLimitEnvelope(lag); });
    const double delay = tau - tauLimit;
    const auto shift = static_cast<long long>(std::lround(delay));
    if (!r.withReference && shift > static_cast<long long>(recordedFrames - law.frames)) {
        r.whyNot = describe("The response arrived %.2f s into the recording: too late for the recording to hold it.",
                            delay / rate);
        return;
    }
    const auto first = static_cast<long long>(std::ceil(tau - preLinear));
    const auto last = std::min(static_cast<long long>(std::ceil(tau + linearWindowSamples(law))), lastLag);
    if (last - first < kShortestWindow) {
        r.whyNot = "The recording ends too soon after the response arrived.";
        return;
    }
    // The noise: where the whole sweep's span of the recording is divided
    // (lags 0 .. recorded - played) and no response lies (before the
    // harmonics' and after the linear one's windows).
    const auto fullLags = static_cast<long long>(recordedFrames - law.frames);
    const auto harmonicsFrom = static_cast<long long>(std::floor(tau + harmonicSpan(law, kSweepHighestHarmonic).first));
    const double noise = rmsOver(d.impulse, 0, std::min(harmonicsFrom, fullLags), last + 1, fullLags);
    const double peakLevel = d.impulseEnvelope(std::lround(tau));
    r.peakToNoiseDb = noise > 0.0 ? decibels(peakLevel / noise) : decibels(1.0 / kLeastMagnitude);
    if (r.peakToNoiseDb < kLeastPeakToNoiseDb) {
        r.whyNot = r.withReference ? "No sweep was found in the recording that the reference explains: are the "
                                     "output and both inputs connected?"
                                   : "No sweep was found in the recording: is the output connected to the input?";
        return;
    }
    r.delaySeconds = delay / rate;

    // The linear response, and the band limit through the same window
    // shifted by the delay.
    const Window linear = taperedWindow(first, last, static_cast<std::size_t>(preLinear / 2.0),
                                        static_cast<std::size_t>(last - first + 1) / 4);
    const auto impulseAt = [&](long long lag) { return d.impulse[lagIndex(lag, n)]; };
    const std::vector<double> response = windowed(linear, 0, impulseAt);
    const std::vector<double> limit =
        windowed(linear, -shift, [&](long long lag) { return d.bandLimit[lagIndex(lag, n)]; });
    const double t0 = static_cast<double>(first) - tau;
    const double t0Limit = static_cast<double>(first - shift) - tauLimit;
    const std::vector<double> hz = logFrequencies(law.startHz, law.stopHz, pointsPerOctave);
    std::vector<double> phase(hz.size());
    std::vector<double> gain(hz.size());
    std::size_t loudest = 0;
    for (std::size_t i = 0; i < hz.size(); ++i) {
        const std::complex<double> h = spectrumAt(response, t0, hz[i], rate) / spectrumAt(limit, t0Limit, hz[i], rate);
        gain[i] = std::abs(h);
        phase[i] = std::arg(h) * 180.0 / kPi;
        if (gain[i] > gain[loudest])
            loudest = i;
    }
    unwrapPhase(phase, loudest);
    r.points.resize(hz.size());
    for (std::size_t i = 0; i < hz.size(); ++i)
        r.points[i] = {hz[i], decibels(gain[i]), phase[i], 0.0};
    computeGroupDelays(r.points);

    // Each harmonic against the same harmonic of the sweep itself.
    for (int k = 2; k <= kSweepHighestHarmonic && static_cast<std::size_t>(k - 2) < harmonics.size(); ++k) {
        const SweepStimulus& ideal = harmonics[static_cast<std::size_t>(k - 2)];
        const Span span = harmonicSpan(law, k);
        const auto from = static_cast<long long>(std::ceil(tau + span.first));
        const auto to = static_cast<long long>(std::ceil(tau + span.end)) - 1;
        if (to - from < kShortestWindow)
            continue;
        const auto rise = static_cast<std::size_t>(span.pre / 2.0);
        const Window w = taperedWindow(from, to, rise, (static_cast<std::size_t>(to - from + 1) - rise) / 4);
        const std::vector<double> measured = windowed(w, 0, impulseAt);
        const std::vector<double> expected = windowed(w, -shift, [&](long long lag) {
            return lag >= ideal.firstLag && lag <= ideal.lastLag
                       ? ideal.response[static_cast<std::size_t>(lag - ideal.firstLag)]
                       : 0.0;
        });
        std::vector<HarmonicPoint>& out = r.harmonics[static_cast<std::size_t>(k - 2)];
        for (std::size_t i = 0; i < hz.size() && hz[i] * k <= law.stopHz * (1.0 + 1e-9); ++i) {
            const double level = std::abs(spectrumAt(measured, 0.0, hz[i] * k, rate)) /
                                 std::max(std::abs(spectrumAt(expected, 0.0, hz[i] * k, rate)), kLeastMagnitude);
            out.push_back({hz[i], decibels(level / std::max(gain[i], kLeastMagnitude))});
        }
    }

    r.impulse.resize(response.size());
    for (std::size_t m = 0; m < response.size(); ++m)
        r.impulse[m] = static_cast<float>(impulseAt(first + static_cast<long long>(m)));
    r.impulseStartSeconds = (static_cast<double>(first) - delay) / rate;
    r.valid = true;
}

}  // namespace varmolen
