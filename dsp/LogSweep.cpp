#include "dsp/LogSweep.h"

#include <cmath>
#include <cstdio>

#include "dsp/SpectrumKernel.h"

namespace varmolen {

namespace {

constexpr double kPi = 3.14159265358979323846;

std::string describe(const char* format, double a, double b = 0.0)
{
    char text[200];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

std::size_t signalFrames(const LogSweepPlan& plan, double rate)
{
    return static_cast<std::size_t>(std::lround(plan.seconds * rate));
}

std::size_t recordFrames(const LogSweepPlan& plan, double rate)
{
    return signalFrames(plan, rate) +
           static_cast<std::size_t>(std::ceil((kLogSweepLatencySeconds + kLogSweepTailSeconds) * rate));
}

// The transform's length: the linear convolution of the recording and the
// sweep fits without wrapping round.
std::size_t transformLength(std::size_t recorded, std::size_t played)
{
    std::size_t n = 2;
    while (n < recorded + played)
        n *= 2;
    return n;
}

}  // namespace

bool checkLogSweepPlan(const LogSweepPlan& plan, double rate, std::string& whyNot)
{
    if (!(rate >= 4.0 * kLogSweepMinHz && rate <= 1e7)) {
        whyNot = "The sample rate is not one a sweep can run at.";
        return false;
    }
    if (!(plan.startHz >= kLogSweepMinHz)) {
        whyNot = describe("The start frequency must be at least %g Hz.", kLogSweepMinHz);
        return false;
    }
    if (!(plan.stopHz > plan.startHz)) {
        whyNot = "The start frequency must lie below the stop frequency.";
        return false;
    }
    if (!(plan.stopHz <= rate / 2.0)) {
        whyNot = describe("The stop frequency must not lie above %g Hz, half the sample rate.", rate / 2.0);
        return false;
    }
    if (!(plan.seconds >= kLogSweepMinSeconds && plan.seconds <= kLogSweepMaxSeconds)) {
        whyNot = describe("The sweep must last from %g to %g s.", kLogSweepMinSeconds, kLogSweepMaxSeconds);
        return false;
    }
    if (!(plan.levelDbfs >= kLogSweepMinLevelDbfs && plan.levelDbfs <= kLogSweepMaxLevelDbfs)) {
        whyNot = describe("The level must lie from %g to %g dBFS.", kLogSweepMinLevelDbfs, kLogSweepMaxLevelDbfs);
        return false;
    }
    const auto limit = static_cast<std::size_t>(kComplexTransformMaxLength);
    if (transformLength(recordFrames(plan, rate), signalFrames(plan, rate)) > limit) {
        // The longest sweep whose analysis fits, to a tenth of a second.
        double longest = std::floor(plan.seconds * 10.0) / 10.0;
        while (longest > kLogSweepMinSeconds &&
               transformLength(recordFrames({.seconds = longest}, rate), signalFrames({.seconds = longest}, rate)) >
                   limit)
            longest -= 0.1;
        whyNot = describe("At %g Hz a sweep may last at most %.1f s.", rate, longest);
        return false;
    }
    whyNot.clear();
    return true;
}

std::vector<float> logSweepSignal(const LogSweepPlan& plan, double rate)
{
    std::string whyNot;
    if (!checkLogSweepPlan(plan, rate, whyNot))
        return {};
    const std::size_t frames = signalFrames(plan, rate);
    const double amplitude = std::pow(10.0, plan.levelDbfs / 20.0);
    const double l = plan.seconds / std::log(plan.stopHz / plan.startHz);
    const double fadeIn = std::min(rate / plan.startHz, 0.1 * static_cast<double>(frames));
    const double fadeOut = std::min(0.005 * rate, 0.1 * static_cast<double>(frames));
    std::vector<float> out(frames);
    for (std::size_t n = 0; n < frames; ++n) {
        const double t = static_cast<double>(n) / rate;
        double gain = amplitude;
        const double fromStart = static_cast<double>(n) + 0.5;
        const double toEnd = static_cast<double>(frames - n) - 0.5;
        if (fromStart < fadeIn)
            gain *= 0.5 * (1.0 - std::cos(kPi * fromStart / fadeIn));
        if (toEnd < fadeOut)
            gain *= 0.5 * (1.0 - std::cos(kPi * toEnd / fadeOut));
        out[n] = static_cast<float>(gain * std::sin(2.0 * kPi * plan.startHz * l * std::expm1(t / l)));
    }
    return out;
}

std::size_t logSweepRecordFrames(const LogSweepPlan& plan, double rate)
{
    std::string whyNot;
    return checkLogSweepPlan(plan, rate, whyNot) ? recordFrames(plan, rate) : 0;
}

LogSweepResult analyseLogSweep(const LogSweepPlan& plan, double rate, std::span<const float> played,
                               std::span<const float> recorded, std::span<const float> reference, int pointsPerOctave)
{
    (void)played;
    (void)recorded;
    (void)reference;
    (void)pointsPerOctave;
    LogSweepResult r;
    r.rate = rate;
    r.plan = plan;
    r.whyNot = "The analysis is not built yet.";
    return r;
}

}  // namespace varmolen
