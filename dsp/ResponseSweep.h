// A response sweep: a stepped sine played through a device under test and
// read back on one of the instrument's channels. At each step the caller sets
// the generator to the step's frequency and hands over every buffer recorded
// from then on; the sweep lets the first settleSeconds of them pass (the
// sound's way through the output, the device and the input, and the device's
// own settling), then gathers the longest record the tone readings use from
// consecutive buffers and reads the tone's level, THD and THD+N from it.
//
// The steps lie on a grid of stepsPerOctave per octave through 1 kHz (20 Hz
// to 20 kHz at three a octave gives the 31 usual third-octave frequencies),
// from the last grid point not a quarter step below the start to the last not
// a quarter step above the stop; a step above the generator's highest
// frequency is played at that frequency and ends the sweep (at 44100 Hz, the
// 31st third-octave step is 19845 Hz). The relative column is each level less the level at 1 kHz, or at
// the step nearest to it when the sweep leaves 1 kHz out.
//
// Settling is counted in frames, not on a clock, so the same buffers give
// the same rows whatever the machine's load.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dsp/RecordedBlock.h"

namespace varmolen {

class ToneMeter;

constexpr double kSweepMinHz = 1.0;
constexpr int kSweepMinStepsPerOctave = 1;
constexpr int kSweepMaxStepsPerOctave = 48;
constexpr double kSweepSettleSeconds = 0.25;

struct SweepPlan {
    double startHz = 20.0;
    double stopHz = 20000.0;
    int stepsPerOctave = 6;
    double levelDbfs = -10.0;
    int channel = 1;  // the instrument's channel 1 or 2
    double settleSeconds = kSweepSettleSeconds;

    friend bool operator==(const SweepPlan&, const SweepPlan&) = default;
};

struct SweepRow {
    double hz = 0.0;           // the step's frequency
    bool valid = false;        // a tone was read
    double levelDbfs = 0.0;    // its level; a sine peaking at full scale reads 0
    bool thdValid = false;
    double thdPercent = 0.0;
    bool thdNValid = false;
    double thdNPercent = 0.0;
};

// The steps of a plan at `rate`, lowest first; empty when the plan has none.
std::vector<double> sweepFrequencies(const SweepPlan& plan, double rate);
// The row the relative column refers to: 1 kHz or the valid row nearest to
// it on a log scale; -1 when no row is valid.
int sweepReferenceRow(const std::vector<SweepRow>& rows);
// The rows as CSV (header, one line a row, CR LF, '.' as decimal point;
// empty fields where a reading is missing).
std::string composeSweepCsv(const std::vector<SweepRow>& rows);

class ResponseSweep {
public:
    ResponseSweep(const SweepPlan& plan, double rate);
    ~ResponseSweep();
    ResponseSweep(const ResponseSweep&) = delete;
    ResponseSweep& operator=(const ResponseSweep&) = delete;

    const SweepPlan& plan() const { return plan_; }
    int stepCount() const { return static_cast<int>(steps_.size()); }
    // Steps finished; the step playing now is this one, unless finished().
    int stepsDone() const { return static_cast<int>(rows_.size()); }
    bool finished() const { return rows_.size() >= steps_.size(); }
    // The frequency the generator plays for the step now.
    double currentHz() const;

    // Hands over the next buffer recorded since the current step began; true
    // when it finished that step (the caller then sets the generator to the
    // next step's frequency, and the next buffer counts for that step).
    // Buffers at another rate than the sweep's are not measured.
    bool take(const RecordedBlock& block);
    const std::vector<SweepRow>& rows() const { return rows_; }

private:
    void measureStep();

    SweepPlan plan_;
    double rate_;
    std::vector<double> steps_;
    std::vector<SweepRow> rows_;
    std::unique_ptr<ToneMeter> meter_;
    std::vector<std::int32_t> record_;  // the step's gathered samples
    std::vector<std::int32_t> scratch_;
    int gathered_ = 0;
    long settleLeft_ = 0;  // frames still to let pass at this step
};

}  // namespace varmolen
