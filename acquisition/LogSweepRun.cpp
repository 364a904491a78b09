#include "acquisition/LogSweepRun.h"

#include <algorithm>
#include <chrono>
#include <span>
#include <cmath>
#include <utility>

#include "dsp/SampleDecoder.h"

namespace varmolen {

namespace {

// The code of a full-scale positive peak: recorded values are read in units of it.
constexpr float kFullScaleCode = 32767.0F;

// The lead-in's silence, then the sweep.
std::vector<float> leadInAndSweep(const LogSweepPlan& plan, double rate, std::size_t leadIn)
{
    std::vector<float> out(leadIn, 0.0F);
    const std::vector<float> sweep = logSweepSignal(plan, rate);
    out.insert(out.end(), sweep.begin(), sweep.end());
    return out;
}

}  // namespace

LogSweepRun::LogSweepRun(LogSweepRequest request, double rate)
    : request_(std::move(request)),
      rate_(rate),
      leadIn_(static_cast<std::size_t>(std::lround(kLogSweepLeadInSeconds * rate))),
      signal_(std::make_shared<const std::vector<float>>(leadInAndSweep(request_.plan, rate, leadIn_))),
      needed_(leadIn_ + logSweepRecordFrames(request_.plan, rate))
{
    measured_.reserve(needed_);
    if (request_.referenceChannel2)
        reference_.reserve(needed_);
}

LogSweepRun::~LogSweepRun()
{
    // An analysis still running finishes first: it reads this run's records.
    if (analysis_.valid())
        analysis_.wait();
}

void LogSweepRun::fail(std::string why)
{
    result_ = {};
    result_.whyNot = std::move(why);
    recordedDone_ = done_ = true;
}

bool LogSweepRun::take(const RecordedBlock& block)
{
    if (done_)
        return false;
    if (recordedDone_) {
        if (analysis_.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return false;
        result_ = analysis_.get();
        done_ = true;
        return true;
    }
    if (block.sampleRate != static_cast<std::uint32_t>(std::lround(rate_))) {
        fail("The capture's sample rate changed while the sweep was recorded.");
        return true;
    }
    if (started_ && !block.followsPrevious) {
        fail("Recorded buffers were lost while the sweep played: the computer was too busy. Run it again.");
        return true;
    }
    started_ = true;
    const int frames = block.frameBytes() > 0 ? static_cast<int>(block.bytes / block.frameBytes()) : 0;
    if (frames <= 0)
        return false;
    scratch_.resize(static_cast<std::size_t>(frames));
    const auto append = [&](int channel, std::vector<float>& to) {
        const int got = extractChannel(block, channel, scratch_.data(), frames);
        const std::size_t take = std::min(static_cast<std::size_t>(got), needed_ - to.size());
        for (std::size_t i = 0; i < take; ++i)
            to.push_back(scratch_[i] / kFullScaleCode);
        return got;
    };
    if (append(request_.channel, measured_) == 0) {
        fail("Channel " + std::to_string(request_.channel) + " is not recorded at this input.");
        return true;
    }
    if (request_.referenceChannel2 && append(2, reference_) == 0) {
        fail("Channel 2 is not recorded at this input: the reference needs the Line input.");
        return true;
    }
    if (measured_.size() < needed_)
        return false;
    recordedDone_ = true;
    analyse();
    return false;
}

void LogSweepRun::analyse()
{
    analysis_ = std::async(std::launch::async, [this] {
        const std::span<const float> sweep(signal_->data() + leadIn_, signal_->size() - leadIn_);
        const auto fromLeadIn = [this](const std::vector<float>& v) {
            return v.empty() ? std::span<const float>() : std::span<const float>(v).subspan(leadIn_);
        };
        LogSweepResult r = analyseLogSweep(request_.plan, rate_, sweep, fromLeadIn(measured_), fromLeadIn(reference_));
        if (r.valid && !request_.calibration.empty()) {
            r.points = divideResponse(r.points, request_.calibration);
            if (r.points.size() < 2) {
                r.valid = false;
                r.whyNot = "The saved reference " + request_.calibrationName + " does not cover the sweep's range.";
            }
        }
        return r;
    });
}

double LogSweepRun::progress() const
{
    if (done_)
        return 1.0;
    // The recording is most of the wait; the analysis the rest.
    return recordedDone_ ? 0.95 : 0.95 * static_cast<double>(measured_.size()) / static_cast<double>(needed_);
}

}  // namespace varmolen
