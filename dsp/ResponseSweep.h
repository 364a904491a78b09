// A response sweep: a stepped sine played through a device under test and
// read back on one of the instrument's channels. At each step the caller sets
// the generator to the step's frequency and hands over every buffer recorded
// from then on; the sweep lets the first settleSeconds of them pass (the
// sound's way through the output, the device and the input, and the device's
// own settling), then gathers the longest record the tone readings use from
// consecutive buffers (the sums of a few consecutive samples, for a low
// step) and reads the tone's level, THD and THD+N from it. A record whose
// tone is not the step's (still on its way), or whose halves read levels
// apart (the step arrived during it), is read again from the next buffers, up
// to kSweepTries records; the last is read as it is if it holds the step's
// tone, and otherwise the row stays unread.
//
// The steps lie on a grid of stepsPerOctave per octave through 1 kHz (20 Hz
// to 20 kHz at three a octave gives the 31 usual third-octave frequencies),
// from the last grid point not a quarter step below the start to the last not
// a quarter step above the stop; a step above the generator's highest
// frequency is played at that frequency and ends the sweep (at 44100 Hz, the
// 31st third-octave step is 19845 Hz). The relative column is each level less the level at 1 kHz, or at
// the step nearest to it when the sweep leaves 1 kHz out.
//
// When every step has been read, a step whose THD+N lies more than
// kSweepDisturbedDb above both its neighbours' (a click, a burst of load
// while it was read) is measured once more, and its row replaced; one that
// still does is flagged, so the user knows not to trust it.
//
// Settling is counted in frames, not on a clock, so the same buffers give
// the same rows whatever the machine's load.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dsp/RecordedBlock.h"

namespace varmolen {

class ToneMeter;

constexpr double kSweepMinHz = 1.0;
constexpr int kSweepMinStepsPerOctave = 1;
constexpr int kSweepMaxStepsPerOctave = 48;
constexpr double kSweepSettleSeconds = 0.25;
// A tone this many bins above DC is read with its harmonics; a lower step
// reads sums of consecutive samples, a record m times as long.
constexpr double kSweepMinToneBins = 10.0;
// The halves of a record read levels this close, or it is read again.
constexpr double kSweepSteadyDb = 0.1;
// Records read at one step before a step whose tone never arrives is given up.
constexpr int kSweepTries = 4;
// A step's THD+N this far above both neighbours' is measured again.
constexpr double kSweepDisturbedDb = 20.0;

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
    double hz = 0.0;         // the step's frequency
    bool valid = false;      // a tone was read
    double levelDbfs = 0.0;  // its level; a sine peaking at full scale reads 0
    bool thdValid = false;
    double thdPercent = 0.0;
    bool thdNValid = false;
    double thdNPercent = 0.0;
    bool remeasured = false;  // read a second time, its THD+N being far above both neighbours'
    bool flagged = false;     // and still so: the row is not to be trusted
};

// The steps of a plan at `rate`, lowest first; empty when the plan has none.
std::vector<double> sweepFrequencies(const SweepPlan& plan, double rate);
// The row the relative column refers to: 1 kHz or the valid row nearest to
// it on a log scale; -1 when no row is valid.
int sweepReferenceRow(const std::vector<SweepRow>& rows);
// A row's level less the reference row's (`reference` from sweepReferenceRow);
// nothing when either was not read.
std::optional<double> sweepRelativeDb(const std::vector<SweepRow>& rows, int reference, const SweepRow& row);
// The steps whose THD+N lies more than kSweepDisturbedDb above both
// neighbours' (the first and last rows have one neighbour and are not judged).
std::vector<int> disturbedSweepRows(const std::vector<SweepRow>& rows);
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
    // Steps to measure, a step measured again counting twice.
    int stepCount() const { return static_cast<int>(steps_.size() + retries_.size()); }
    int stepsDone() const { return static_cast<int>(rows_.size()) + retried_; }
    bool finished() const { return rows_.size() >= steps_.size() && retried_ >= static_cast<int>(retries_.size()); }
    // The frequency the generator plays for the step now.
    double currentHz() const;

    // Hands over the next buffer recorded since the current step began; true
    // when it finished that step (the caller then sets the generator to the
    // next step's frequency, and the next buffer counts for that step).
    // Buffers at another rate than the sweep's are not measured.
    bool take(const RecordedBlock& block);
    const std::vector<SweepRow>& rows() const { return rows_; }

private:
    // Samples summed into each value of the record at `hz`: enough that the
    // tone lies kSweepMinToneBins bins above DC.
    int decimation(double hz) const;
    void restartRecord();
    // Whether both halves of the record read a tone of this amplitude.
    bool steadyRecord(double rate, double amplitude);
    // Reads the gathered record; true when the step is finished.
    bool measureStep();
    // The step measured now: the next in order, or one measured again.
    std::size_t currentStep() const;

    SweepPlan plan_;
    double rate_;
    std::vector<double> steps_;
    std::vector<SweepRow> rows_;
    std::unique_ptr<ToneMeter> meter_;
    std::vector<float> record_;  // the step's gathered samples, in units of codes
    std::vector<float> scratch_;
    int gathered_ = 0;
    double sum_ = 0.0;  // of the samples summed so far for the next value
    int summed_ = 0;
    long settleLeft_ = 0;       // frames still to let pass at this step
    int tries_ = 0;             // records of this step that held another tone
    std::vector<int> retries_;  // steps measured again once every step was read
    int retried_ = 0;           // of them, done
};

}  // namespace varmolen
