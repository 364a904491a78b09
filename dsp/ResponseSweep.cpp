#include "dsp/ResponseSweep.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

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

std::optional<double> sweepRelativeDb(const std::vector<SweepRow>& rows, int reference, const SweepRow& row)
{
    if (!row.valid || reference < 0)
        return std::nullopt;
    return row.levelDbfs - rows[static_cast<std::size_t>(reference)].levelDbfs;
}

std::vector<int> disturbedSweepRows(const std::vector<SweepRow>& rows)
{
    // THD+N of a row as a level, when read.
    const auto db = [&rows](std::size_t i) {
        const SweepRow& r = rows[i];
        return r.valid && r.thdNValid && r.thdNPercent > 0.0 ? std::optional(20.0 * std::log10(r.thdNPercent))
                                                             : std::nullopt;
    };
    std::vector<int> out;
    for (std::size_t i = 1; i + 1 < rows.size(); ++i) {
        const std::optional<double> here = db(i), before = db(i - 1), after = db(i + 1);
        if (here && before && after && *here - *before > kSweepDisturbedDb && *here - *after > kSweepDisturbedDb)
            out.push_back(static_cast<int>(i));
    }
    return out;
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
        const std::optional<double> relative = sweepRelativeDb(rows, ref, r);
        appendNumber(out, relative.has_value(), relative.value_or(0.0));
        out += ',';
        appendNumber(out, r.valid && r.thdValid, r.thdPercent);
        out += ',';
        appendNumber(out, r.valid && r.thdNValid, r.thdNPercent);
        out += "\r\n";
    }
    return out;
}

ResponseSweep::ResponseSweep(const SweepPlan& plan, double rate)
    : plan_(plan),
      rate_(rate),
      steps_(sweepFrequencies(plan, rate)),
      meter_(std::make_unique<ToneMeter>()),
      record_(kToneMaxRecord),
      settleLeft_(std::lround(std::max(plan.settleSeconds, 0.0) * rate))
{
    rows_.reserve(steps_.size());
}

ResponseSweep::~ResponseSweep() = default;

std::size_t ResponseSweep::currentStep() const
{
    return rows_.size() < steps_.size() ? rows_.size() : static_cast<std::size_t>(retries_[retried_]);
}

double ResponseSweep::currentHz() const { return finished() ? 0.0 : steps_[currentStep()]; }

bool ResponseSweep::take(const RecordedBlock& block)
{
    if (finished() || block.sampleRate != static_cast<std::uint32_t>(std::lround(rate_)))
        return false;
    const int frames = block.channelCount == 1 || block.channelCount == 2
                           ? static_cast<int>(block.bytes / static_cast<std::uint32_t>(block.frameBytes()))
                           : 0;
    if (frames <= 0)
        return false;
    if (static_cast<int>(scratch_.size()) < frames)
        scratch_.resize(static_cast<std::size_t>(frames));
    const int got = extractChannel(block, plan_.channel, scratch_.data(), frames);
    // A record is made of consecutive frames only.
    if (!block.followsPrevious)
        restartRecord();
    int from = 0;
    if (settleLeft_ > 0) {
        from = static_cast<int>(std::min<long>(settleLeft_, got));
        settleLeft_ -= from;
        restartRecord();
    }
    const int m = decimation(currentHz());
    for (int i = from; i < got && gathered_ < kToneMaxRecord; ++i) {
        // Each value of the record sums m consecutive samples: exact, and a
        // low tone spans enough bins of the record to be read.
        sum_ += scratch_[static_cast<std::size_t>(i)];
        if (++summed_ == m) {
            record_[static_cast<std::size_t>(gathered_++)] = static_cast<float>(sum_);
            sum_ = 0.0;
            summed_ = 0;
        }
    }
    if (gathered_ < kToneMaxRecord && got > 0)
        return false;
    return measureStep();
}

int ResponseSweep::decimation(double hz) const
{
    const double m = std::ceil(kSweepMinToneBins * rate_ / (kToneMaxRecord * hz));
    return static_cast<int>(std::clamp(m, 1.0, 64.0));
}

void ResponseSweep::restartRecord()
{
    gathered_ = 0;
    sum_ = 0.0;
    summed_ = 0;
}

bool ResponseSweep::steadyRecord(double rate, double amplitude)
{
    // The two halves of the record read the tone alike: the sound did not
    // change while it was recorded (a step arriving late, a dropout).
    const int half = gathered_ / 2;
    for (const int from : {0, half}) {
        const ToneReading t = meter_->measure(record_.data() + from, half, rate);
        if (!t.valid || std::abs(20.0 * std::log10(t.amplitude / amplitude)) > kSweepSteadyDb)
            return false;
    }
    return true;
}

bool ResponseSweep::measureStep()
{
    SweepRow row;
    const std::size_t step = currentStep();
    const bool again = rows_.size() >= steps_.size();
    row.hz = steps_[step];
    const int m = decimation(row.hz);
    const double rate = rate_ / m;
    if (gathered_ >= kToneMinRecord) {
        const ToneReading t = meter_->measure(record_.data(), gathered_, rate);
        // The tone read must be the step's: one still on its way through a
        // slow device is read again from the next buffers, a few times.
        const double binHz = rate / gathered_;
        const bool stepTone = t.valid && std::abs(t.hz - row.hz) <= std::max(2.0 * binHz, 0.02 * row.hz);
        if (!(stepTone && steadyRecord(rate, t.amplitude)) && ++tries_ < kSweepTries) {
            restartRecord();
            return false;
        }
        // A sum of m samples holds the tone m times over, less the sum's own
        // (small) loss at the tone's frequency.
        const double x = std::numbers::pi * row.hz / rate_;
        const double sumGain = m == 1 ? 1.0 : std::abs(std::sin(m * x) / std::sin(x));
        row.valid = stepTone && t.amplitude > 0.0;
        row.levelDbfs = row.valid ? 20.0 * std::log10(t.amplitude / sumGain / kFullScale) : 0.0;
        row.thdValid = t.thdValid;
        row.thdPercent = 100.0 * t.thd;
        row.thdNValid = t.thdNValid;
        row.thdNPercent = 100.0 * t.thdN;
    }
    if (again) {
        row.remeasured = true;
        rows_[step] = row;
        ++retried_;
        const std::vector<int> still = disturbedSweepRows(rows_);
        rows_[step].flagged = std::find(still.begin(), still.end(), static_cast<int>(step)) != still.end();
    } else {
        rows_.push_back(row);
        if (rows_.size() == steps_.size())
            retries_ = disturbedSweepRows(rows_);
    }
    restartRecord();
    tries_ = 0;
    settleLeft_ = std::lround(std::max(plan_.settleSeconds, 0.0) * rate_);
    return true;
}

}  // namespace varmolen
