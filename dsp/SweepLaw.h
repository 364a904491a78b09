// The exponential sweep's law (dsp/LogSweep.h): its phase, frequency and
// envelope at each sample, shared by the signal the output plays and the
// analysis, which divides each harmonic's reading by what the same analysis
// makes of that harmonic of the sweep itself.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "dsp/LogSweep.h"

namespace varmolen {

// The fades: at most one period of the start frequency at the start, this
// long at the end, each at most a tenth of the sweep.
constexpr double kSweepFadeOutSeconds = 0.001;
constexpr double kSweepFadeFraction = 0.1;

struct SweepLaw {
    static constexpr double kPi = 3.14159265358979323846;

    double rate;
    double startHz;
    double stopHz;
    double l;  // seconds: the frequency is startHz e^(t / l)
    double amplitude;
    std::size_t frames;
    double fadeIn;   // samples
    double fadeOut;  // samples

    SweepLaw(const LogSweepPlan& plan, double sampleRate)
        : rate(sampleRate),
          startHz(plan.startHz),
          stopHz(plan.stopHz),
          l(plan.seconds / std::log(plan.stopHz / plan.startHz)),
          amplitude(std::pow(10.0, plan.levelDbfs / 20.0)),
          frames(static_cast<std::size_t>(std::lround(plan.seconds * sampleRate))),
          fadeIn(std::min(1.0 * sampleRate / plan.startHz, kSweepFadeFraction * static_cast<double>(frames))),
          fadeOut(std::min(kSweepFadeOutSeconds * sampleRate, kSweepFadeFraction * static_cast<double>(frames)))
    {}

    double seconds(std::size_t n) const { return static_cast<double>(n) / rate; }
    // Radians, 0 at the first sample.
    double phase(std::size_t n) const { return 2.0 * kPi * startHz * l * std::expm1(seconds(n) / l); }
    double hz(std::size_t n) const { return startHz * std::exp(seconds(n) / l); }
    // The peak amplitude at sample n, under the half-cosine fades.
    double envelope(std::size_t n) const
    {
        const double fromStart = static_cast<double>(n) + 0.5;
        const double toEnd = static_cast<double>(frames - n) - 0.5;
        double gain = amplitude;
        if (fromStart < fadeIn)
            gain *= 0.5 * (1.0 - std::cos(kPi * fromStart / fadeIn));
        if (toEnd < fadeOut)
            gain *= 0.5 * (1.0 - std::cos(kPi * toEnd / fadeOut));
        return gain;
    }
    // Samples the k-th harmonic's response comes before the linear one.
    double lead(int k) const { return l * std::log(static_cast<double>(k)) * rate; }
};

}  // namespace varmolen
