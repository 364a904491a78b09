// The readings of a log sweep's deconvolution (dsp/LogSweep.h): the delay
// from the linear impulse response's peak, magnitude and phase at
// log-spaced points through a window about it, each harmonic's level
// through a window about its own response, and the impulse itself.
//
// Every reading is divided by what the same window makes of an ideal
// device: the linear one by the deconvolution's band limit (a straight
// wire), each harmonic by the same harmonic of the sweep itself. So the
// band's edges, where the sweep starts and stops abruptly, read as the
// device does.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "dsp/LogSweep.h"
#include "dsp/SweepDeconvolution.h"
#include "dsp/SweepLaw.h"

namespace varmolen {

// The window about the linear response: from this long before its peak (or
// a fifth of the way back to the second harmonic's) for at least
// kSweepLinearWindowSeconds or kSweepLinearWindowPeriods periods of the
// start frequency, where the recording holds that much. Each harmonic's
// window runs from as long before its own peak (or a fifth of the way back
// to the next one's) to where the next later one's begins. Each is flat,
// rising over the first half of the part before the peak and falling over
// the last quarter of the part after it, as half cosines.
constexpr double kSweepPreSeconds = 0.02;
constexpr double kSweepLinearWindowSeconds = 0.3;
constexpr double kSweepLinearWindowPeriods = 6.0;
// The harmonics read: H2 .. H5.
constexpr int kSweepHighestHarmonic = 5;

// The k-th harmonic of the sweep itself, for the reading of that harmonic:
// the sweep's envelope to the k-th power (so that a device whose k-th
// harmonic comes from a k-th power of its input reads the same at the
// sweep's edges), its phase times k, faded out where k times the frequency
// passes the stop frequency, so that nothing folds back from above half the
// rate. Its lags are those its reading's window may take.
SweepStimulus sweepHarmonic(const SweepLaw& law, int k);

// The lags whose analytic envelope readSweep looks at, for a recording
// `recordedFrames` long.
SweepEnvelopeLags sweepEnvelopeLags(const SweepLaw& law, std::size_t recordedFrames);

// Fills r's delay, points, harmonics, impulse and peakToNoiseDb from the
// deconvolution (`harmonics`: sweepHarmonic for k = 2, 3, ... divided as the
// recording was), or its whyNot. The plan is checked; the recording is
// `recordedFrames` long.
void readSweep(const SweepLaw& law, const SweepDeconvolution& d, std::span<const SweepStimulus> harmonics,
               std::size_t recordedFrames, int pointsPerOctave, LogSweepResult& r);

}  // namespace varmolen
