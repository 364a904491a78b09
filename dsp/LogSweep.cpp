#include "dsp/LogSweep.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <utility>

#include "dsp/SweepDeconvolution.h"
#include "dsp/SweepLaw.h"
#include "dsp/SweepReadings.h"

namespace varmolen {

namespace {

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

std::size_t transformLength(std::size_t recorded, std::size_t played) { return sweepTransformLength(recorded, played); }

bool silent(std::span<const float> x)
{
    return std::all_of(x.begin(), x.end(), [](float v) { return v == 0.0f; });
}

bool finite(std::span<const float> x)
{
    return std::all_of(x.begin(), x.end(), [](float v) { return std::isfinite(v); });
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
    const std::size_t limit = kLogSweepMaxTransformLength;
    if (transformLength(recordFrames(plan, rate), signalFrames(plan, rate)) > limit) {
        // The longest sweep whose analysis fits, to a tenth of a second.
        auto tenths = static_cast<int>(std::floor(plan.seconds * 10.0));
        const auto fits = [&](int t) {
            const LogSweepPlan shorter{.seconds = t / 10.0};
            return transformLength(recordFrames(shorter, rate), signalFrames(shorter, rate)) <= limit;
        };
        while (tenths > static_cast<int>(kLogSweepMinSeconds * 10.0) && !fits(tenths))
            --tenths;
        whyNot = describe("At %g Hz a sweep may last at most %g s.", rate, tenths / 10.0);
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
    const SweepLaw law(plan, rate);
    std::vector<float> out(law.frames);
    for (std::size_t n = 0; n < law.frames; ++n)
        out[n] = static_cast<float>(law.envelope(n) * std::sin(law.phase(n)));
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
    LogSweepResult r;
    r.rate = rate;
    r.plan = plan;
    r.withReference = !reference.empty();
    const auto refuse = [&r](std::string why) {
        r.whyNot = std::move(why);
        return r;
    };
    if (!checkLogSweepPlan(plan, rate, r.whyNot))
        return r;
    if (played.empty() || played.size() != signalFrames(plan, rate))
        return refuse("The played sweep is not the plan's.");
    if (recorded.size() < played.size())
        return refuse("The recording is shorter than the sweep.");
    if (transformLength(recorded.size(), played.size()) > kLogSweepMaxTransformLength)
        return refuse("The recording is too long to analyse.");
    if (r.withReference && reference.size() != recorded.size())
        return refuse("The reference channel's recording is not as long as the measured one's.");
    if (!finite(recorded) || !finite(reference))
        return refuse("The recording holds values that are not numbers.");
    if (silent(recorded))
        return refuse("The input recorded silence: is the output connected to it?");
    if (r.withReference && silent(reference))
        return refuse("The reference channel recorded silence: is the output connected to it?");

    // The harmonics of the sweep itself, for those whose fundamentals lie in the band.
    const SweepLaw law(plan, rate);
    std::vector<SweepStimulus> harmonics;
    for (int k = 2; k <= kSweepHighestHarmonic && plan.stopHz / k >= plan.startHz; ++k)
        harmonics.push_back(sweepHarmonic(law, k));
    SweepDeconvolution d;
    if (!deconvolveSweep(played, recorded, reference, rate, plan.startHz, plan.stopHz,
                         sweepEnvelopeLags(law, recorded.size()), harmonics, d, r.whyNot))
        return r;
    readSweep(law, d, harmonics, recorded.size(),
              std::clamp(pointsPerOctave, kLogSweepMinPointsPerOctave, kLogSweepMaxPointsPerOctave), r);
    return r;
}

}  // namespace varmolen
