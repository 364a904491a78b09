// One run of the logarithmic sine sweep: the signal the output plays once,
// the recording of what comes back, and its analysis.
//
// The recording starts with the first buffer handed over after the output
// was started, so it begins before the sweep is heard; the deconvolution
// finds the path's delay. The output plays kLogSweepLeadInSeconds of
// silence before the sweep: an output stream that has just started (a
// sound server settling its latency, a device filling its buffer) may
// stumble in its first moments, and the sweep's lowest frequencies, which
// come first, would carry the stumble. As much is dropped from the start of
// the recording, which keeps the delay the path's own. It gathers the channel measured (and channel 2
// when that is the reference) in full-scale units until the plan's record
// is complete, then analyses it on a thread of its own, so the window stays
// live through the second or so that takes. A buffer that does not follow
// the previous one, or one at another rate, ends the run with the reason:
// a sweep with a gap in its recording cannot be deconvolved.
#pragma once

#include <cstddef>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "dsp/LogSweep.h"
#include "dsp/RecordedBlock.h"

namespace varmolen {

constexpr double kLogSweepLeadInSeconds = 0.5;

struct LogSweepRequest {
    LogSweepPlan plan;
    int channel = 1;                         // the instrument's channel measured
    bool referenceChannel2 = false;          // divide by channel 2, the output taken straight back
    std::vector<ResponsePoint> calibration;  // divide by this saved measurement when not empty
    std::string calibrationName;             // what the calibration is called, for the result's notes
};

class LogSweepRun {
public:
    LogSweepRun(LogSweepRequest request, double rate);
    ~LogSweepRun();
    LogSweepRun(const LogSweepRun&) = delete;
    LogSweepRun& operator=(const LogSweepRun&) = delete;

    const LogSweepRequest& request() const { return request_; }
    double rate() const { return rate_; }
    // What the output plays, in full-scale units: the lead-in, then the sweep.
    const std::shared_ptr<const std::vector<float>>& signal() const { return signal_; }

    // Hands over the next recorded buffer; true once the result is ready
    // (after that nothing more is taken).
    bool take(const RecordedBlock& block);
    // The recording is complete (the output may stop); the analysis may still run.
    bool recorded() const { return recordedDone_; }
    bool done() const { return done_; }
    // 0 to 1: the recording's share, then the analysis.
    double progress() const;
    // Valid once done(); its whyNot tells why a run failed.
    const LogSweepResult& result() const { return result_; }

private:
    void fail(std::string why);
    void analyse();

    LogSweepRequest request_;
    double rate_;
    std::size_t leadIn_;
    std::shared_ptr<const std::vector<float>> signal_;
    std::size_t needed_;
    std::vector<float> measured_;
    std::vector<float> reference_;
    std::vector<float> scratch_;
    bool started_ = false;
    bool recordedDone_ = false;
    bool done_ = false;
    std::future<LogSweepResult> analysis_;
    LogSweepResult result_;
};

}  // namespace varmolen
