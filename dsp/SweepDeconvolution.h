// The log sweep's deconvolution (dsp/LogSweep.h): the recording divided by
// the played sweep in the frequency domain, over a complex transform long
// enough for their linear convolution (the spectrum kernel's, in double
// precision), regularised outside the swept band. With a reference the two
// recordings are each divided by the sweep and then the measured one by the
// reference, regularised again, so that what the two paths share cancels.
//
// Besides the impulse response the same division gives its own band limit:
// what it makes of a straight wire, an impulse at lag 0 whose spectrum is 1
// across the band and falls away outside it. The readings divide by it, so
// that the band's edges do not show.
#pragma once

#include <cmath>
#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace varmolen {

// The regularisation: inside the band the division reaches (from
// kSweepReachBelow octaves below the start to a sixth of an octave above the
// stop) it adds this fraction of the sweep's largest power in the swept band;
// an octave further out on either side (a third of an octave above the stop)
// it adds the largest power itself, a raised cosine on the log axis between.
// The sweep's spectrum falls steeply above the stop frequency, so the upper
// edge is the sweep's own; below the start it falls slowly, and a causal
// fourth-order Butterworth high-pass at kSweepHighPassFraction of the start
// frequency makes the lower edge. Being causal (a zero-phase edge there would
// ring for tenths of a second before the peak, where no window reaches), it
// lies wholly within the readings' window, so the readings divide it out
// exactly.
constexpr double kSweepRegularisation = 1e-8;
constexpr double kSweepReachBelow = 4.0;
constexpr double kSweepHighPassFraction = 0.5;

// Lags whose analytic envelope the readings look at: the impulse's from
// impulseFirst to impulseLast (where its peak is sought), the band limit's
// from -bandLimitReach to bandLimitReach.
struct SweepEnvelopeLags {
    long long impulseFirst = 0;
    long long impulseLast = 0;
    long long bandLimitReach = 0;
};

struct SweepDeconvolution {
    // Both `length` values long, lag t (negative for the harmonics, which
    // come before the linear response) at index t mod length.
    std::vector<double> impulse;    // samples of the response to a one-sample unit impulse
    std::vector<double> bandLimit;  // the division's own band limit, near lag 0
    // Their Hilbert transforms over the lags asked for (SweepEnvelopeLags),
    // the imaginary parts of their analytic signals.
    long long impulseHilbertFirst = 0;
    std::vector<double> impulseHilbert;
    long long bandLimitReach = 0;
    std::vector<double> bandLimitHilbert;  // lags -reach..reach

    std::size_t length() const { return impulse.size(); }
    double at(const std::vector<double>& response, long long lag) const
    {
        const auto n = static_cast<long long>(response.size());
        return response[static_cast<std::size_t>(((lag % n) + n) % n)];
    }
    // The analytic envelope, within the lags asked for.
    double impulseEnvelope(long long lag) const
    {
        return std::hypot(at(impulse, lag), impulseHilbert[static_cast<std::size_t>(lag - impulseHilbertFirst)]);
    }
    double bandLimitEnvelope(long long lag) const
    {
        return std::hypot(at(bandLimit, lag), bandLimitHilbert[static_cast<std::size_t>(lag + bandLimitReach)]);
    }
};

// A signal the analysis knows (one harmonic of the sweep itself) divided
// by the sweep as the recording is, without the reference: what the
// division makes of a device that plays exactly that signal.
struct SweepStimulus {
    std::size_t frames = 0;                 // the signal's length, from the sweep's first sample on
    std::function<double(std::size_t)> at;  // its sample n, made when it is divided
    long long firstLag = 0;                 // the lags of the result kept
    long long lastLag = 0;
    std::vector<double> response;  // made by deconvolveSweep: lag t at response[t - firstLag]
};

// The smallest power-of-two transform over which the recording and the sweep
// convolve without wrapping round.
std::size_t sweepTransformLength(std::size_t recorded, std::size_t played);

// Divides `recorded` (and, unless empty, `reference`, as long) by `played`,
// and each of `stimuli` (each at most as long as the recording) by `played`.
// False, with the reason, when the transform would be longer than the kernel
// takes or memory runs out.
bool deconvolveSweep(std::span<const float> played, std::span<const float> recorded, std::span<const float> reference,
                     double rate, double startHz, double stopHz, const SweepEnvelopeLags& envelopes,
                     std::span<SweepStimulus> stimuli, SweepDeconvolution& out, std::string& whyNot);

}  // namespace varmolen
