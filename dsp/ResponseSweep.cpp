#include "dsp/ResponseSweep.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "dsp/SampleDecoder.h"
#include "dsp/SignalSynth.h"
#include "dsp/ToneMeter.h"

namespace varmolen {

namespace {

constexpr double kFullScale = 32767.0;  // the code of a full-scale positive peak

void appendNumber(std::string& out, bool valid, double value)
{
    if (!valid || !std::isfinite(value))
        return;
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, value);
    out.append(text, r.ptr);
}

}  // namespace

std::vector<double> sweepFrequencies(const SweepPlan& plan, double rate)
{
    std::vector<double> out;
    const int n = std::clamp(plan.stepsPerOctave, kSweepMinStepsPerOctave, kSweepMaxStepsPerOctave);
    const double top = synthMaxHz(rate);
    const double start = std::max(plan.startHz, kSweepMinHz);
    const double stop = plan.stopHz;
    if (!std::isfinite(start) || !std::isfinite(stop) || stop < start || start > top)
        return out;
    // Grid index k plays 1000 * 2^(k / n).
    const int first = static_cast<int>(std::ceil(n * std::log2(start / 1000.0) - 0.25 - 1e-9));
    const int last = static_cast<int>(std::floor(n * std::log2(stop / 1000.0) + 0.25 + 1e-9));
    for (int k = first; k <= last; ++k) {
        const double hz = 1000.0 * std::exp2(static_cast<double>(k) / n);
        // Past the generator's highest frequency, the sweep ends at it.
        if (hz > top) {
            if (out.empty() || out.back() < top)
                out.push_back(top);
            break;
        }
        if (hz >= kSweepMinHz)
            out.push_back(hz);
    }
    return out;
}

int sweepReferenceRow(const std::vector<SweepRow>& rows)
{
    int best = -1;
    double bestDistance = 0.0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].valid)
            continue;
        const double distance = std::abs(std::log2(rows[i].hz / 1000.0));
        if (best < 0 || distance < bestDistance - 1e-12) {
            best = static_cast<int>(i);
            bestDistance = distance;
        }
    }
    return best;
}

std::string composeSweepCsv(const std::vector<SweepRow>& rows)
{
    std::string out = "Frequency (Hz),Level (dBFS),Relative (dB),THD (%),THD+N (%)\r\n";
    const int ref = sweepReferenceRow(rows);
    for (const SweepRow& r : rows) {
        appendNumber(out, true, r.hz);
        out += ',';
        appendNumber(out, r.valid, r.levelDbfs);
        out += ',';
        appendNumber(out, r.valid && ref >= 0, r.levelDbfs - rows[static_cast<std::size_t>(std::max(ref, 0))].levelDbfs);
        out += ',';
        appendNumber(out, r.valid && r.thdValid, r.thdPercent);
        out += ',';
        appendNumber(out, r.valid && r.thdNValid, r.thdNPercent);
        out += "\r\n";
    }
    return out;
}

ResponseSweep::ResponseSweep(const SweepPlan& plan, double rate)
    : plan_(plan), rate_(rate), steps_(sweepFrequencies(plan, rate)), meter_(std::make_unique<ToneMeter>()),
      record_(kToneMaxRecord), settleLeft_(std::lround(std::max(plan.settleSeconds, 0.0) * rate))
{
    rows_.reserve(steps_.size());
}

ResponseSweep::~ResponseSweep() = default;

double ResponseSweep::currentHz() const { return finished() ? 0.0 : steps_[rows_.size()]; }

bool ResponseSweep::take(const RecordedBlock& block)
{
    if (finished() || block.sampleRate != static_cast<std::uint32_t>(std::lround(rate_)))
        return false;
    const int frames = static_cast<int>(block.bytes / (2u * static_cast<std::uint32_t>(block.channelCount)));
    if (frames <= 0)
        return false;
    if (static_cast<int>(scratch_.size()) < frames)
        scratch_.resize(static_cast<std::size_t>(frames));
    const int got = ExtractChannel(block, plan_.channel, scratch_.data(), frames);
    // A record is made of consecutive frames only.
    if (!block.followsPrevious)
        gathered_ = 0;
    int from = 0;
    if (settleLeft_ > 0) {
        from = static_cast<int>(std::min<long>(settleLeft_, got));
        settleLeft_ -= from;
        gathered_ = 0;
    }
    const int n = std::min(got - from, kToneMaxRecord - gathered_);
    std::copy_n(scratch_.begin() + from, std::max(n, 0), record_.begin() + gathered_);
    gathered_ += std::max(n, 0);
    if (gathered_ < kToneMaxRecord && got > 0)
        return false;
    measureStep();
    return true;
}

void ResponseSweep::measureStep()
{
    SweepRow row;
    row.hz = steps_[rows_.size()];
    if (gathered_ >= kToneMinRecord) {
        const ToneReading t = meter_->measure(record_.data(), gathered_, rate_);
        row.valid = t.valid && t.amplitude > 0.0;
        row.levelDbfs = row.valid ? 20.0 * std::log10(t.amplitude / kFullScale) : 0.0;
        row.thdValid = t.thdValid;
        row.thdPercent = 100.0 * t.thd;
        row.thdNValid = t.thdNValid;
        row.thdNPercent = 100.0 * t.thdN;
    }
    rows_.push_back(row);
    gathered_ = 0;
    settleLeft_ = std::lround(std::max(plan_.settleSeconds, 0.0) * rate_);
}

}  // namespace varmolen
