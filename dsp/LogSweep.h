// The log sweep: a frequency response, phase and harmonic distortion
// measured in one pass of an exponential sine sweep played through a device
// under test and recorded back (Farina's method: the sweep's frequency rises
// exponentially, f(t) = startHz e^(t / L) with L = seconds / ln(stopHz /
// startHz), so that the k-th harmonic of every frequency is the sweep
// itself L ln k earlier).
//
// The recording is divided by the played sweep in the frequency domain,
// over a transform long enough for the linear (not circular) convolution of
// the two, regularised above the swept band and high-passed below it
// (dsp/SweepDeconvolution.h). That gives the impulse response: the linear
// one at the path's delay, the harmonics' before it at -L ln k. The peak of
// the linear one's analytic envelope gives the delay (to a fraction of a
// sample, counted from the same peak of what the division makes of a
// straight wire, so that a wire reads its latency in any band, a narrow one
// too, whose impulse is a burst of near-equal peaks); a window about it
// gives magnitude and phase (the delay removed) at log-spaced points, each
// divided by the same window's reading of the deconvolution's own band
// limit, so that a straight wire reads 0 dB and 0 degrees to the band's
// edges. A window about each harmonic's response gives its level relative to
// the fundamental, divided by what the same window reads of that harmonic of
// the sweep itself (dsp/SweepReadings.h).
//
// With a reference (channel 2 recorded over the same frames, the output
// taken straight back), the recording is divided by the reference instead
// (both deconvolved, then divided, regularised): the card's own response and
// delay cancel and the device alone remains.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "dsp/ResponseCurve.h"

namespace varmolen {

constexpr double kLogSweepMinSeconds = 0.5;
constexpr double kLogSweepMaxSeconds = 30.0;
constexpr double kLogSweepMinHz = 1.0;
constexpr double kLogSweepMinLevelDbfs = -100.0;
constexpr double kLogSweepMaxLevelDbfs = 0.0;
// What the recording allows for the path's latency (output buffer, device,
// input buffer), beyond the signal itself.
constexpr double kLogSweepLatencySeconds = 1.0;
// And after that, for the response to decay.
constexpr double kLogSweepTailSeconds = 0.5;
// The longest transform the analysis runs (the recording and the sweep
// together, rounded up to a power of two): it needs about 70 bytes a point,
// so at most about 300 MB; at 192000 Hz that bounds a sweep to about 10 s,
// at 96000 Hz to about 21 s.
constexpr std::size_t kLogSweepMaxTransformLength = std::size_t{1} << 22;
// Points per octave the analysis takes.
constexpr int kLogSweepMinPointsPerOctave = 1;
constexpr int kLogSweepMaxPointsPerOctave = 96;

struct LogSweepPlan {
    double startHz = 20.0;
    double stopHz = 20000.0;
    double seconds = 5.0;
    double levelDbfs = -10.0;  // the sweep's peak: 0 dBFS peaks at full scale

    friend bool operator==(const LogSweepPlan&, const LogSweepPlan&) = default;
};

// Whether the plan can run at `rate`: 1 Hz <= start < stop <= rate / 2,
// seconds within the limits, level -100..0 dBFS, and the analysis's
// transform no longer than kLogSweepMaxTransformLength; otherwise false with
// the reason, a sentence a user reads.
bool checkLogSweepPlan(const LogSweepPlan& plan, double rate, std::string& whyNot);

// The samples the output plays, in full-scale units (peak = the level):
// round(seconds * rate) samples of sin(2 pi startHz L (e^(t / L) - 1)), the
// frequency rising exponentially from start to stop, with short half-cosine
// fades (a period of the start frequency at the start, 1 ms at the end, each
// at most a tenth of the sweep) so that it starts and ends without a click.
// Empty for a plan checkLogSweepPlan refuses.
std::vector<float> logSweepSignal(const LogSweepPlan& plan, double rate);

// Frames to record from the moment the output is started so that the whole
// response arrives: the signal, plus kLogSweepLatencySeconds for the path's
// latency, plus kLogSweepTailSeconds for the response to decay. 0 for a plan
// checkLogSweepPlan refuses.
std::size_t logSweepRecordFrames(const LogSweepPlan& plan, double rate);

// hz: the fundamental's frequency; levelDb: the level of the k-th harmonic
// (at k hz) relative to the fundamental's, in dB.
struct HarmonicPoint {
    double hz = 0;
    double levelDb = 0;
};

struct LogSweepResult {
    bool valid = false;
    std::string whyNot;  // when not valid: a sentence a user reads
    double rate = 0;
    LogSweepPlan plan;
    bool withReference = false;
    // The path's delay: the peak of the linear impulse response's analytic
    // envelope, to a fraction of a sample, counted from the recording's
    // first frame (with a reference: the device's own delay, the recorded
    // path's less the reference's). It is removed from the phase and
    // reported here.
    double delaySeconds = 0;
    // The linear impulse response, for export and display: samples of the
    // path's response to a one-sample impulse of 1.0 (in full-scale units,
    // so its transform is the gain: 1 across the band for a straight wire),
    // limited to the swept band (a straight wire gives a band-limited
    // impulse, whose peak over the band 20 Hz..20 kHz at 48000 Hz is about
    // 0.88, the band's share of half the rate), from a little before the
    // delay to the end of the window the analysis reads (at least 0.3 s).
    std::vector<float> impulse;
    double impulseStartSeconds = 0;  // the time of impulse[0] relative to the delay (negative)
    // Log-spaced from start to stop at pointsPerOctave (logFrequencies).
    std::vector<ResponsePoint> points;
    // H2..H5: harmonics[k - 2] over the fundamentals of `points` up to
    // stop / k.
    std::array<std::vector<HarmonicPoint>, 4> harmonics;
    // The linear impulse's peak above the deconvolution's noise, in dB: a
    // measure of how far the readings can be trusted.
    double peakToNoiseDb = 0;
};

// `played`: the samples the output played (logSweepSignal of the plan);
// `recorded`: the device's answer, captured from before the output started
// (the deconvolution finds the latency) for logSweepRecordFrames;
// `reference`: empty, or channel 2 recorded over the same frames (the output
// taken straight back): then the result is recorded divided by reference,
// so the card's own response and delay cancel. Values in full-scale units
// (so a straight wire reads 0 dB). pointsPerOctave is held within
// kLogSweepMinPointsPerOctave..kLogSweepMaxPointsPerOctave. Not valid, with
// the reason, for a plan checkLogSweepPlan refuses, a recording shorter than
// the sweep, a reference of another length, a silent recording or
// reference, no sweep found, or a response that arrived too late for the
// recording to hold it.
LogSweepResult analyseLogSweep(const LogSweepPlan& plan, double rate, std::span<const float> played,
                               std::span<const float> recorded, std::span<const float> reference,
                               int pointsPerOctave = 48);

}  // namespace varmolen
