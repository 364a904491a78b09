// A measured frequency response as points on a logarithmic frequency axis
// (magnitude, phase and group delay at each), and what is done with such a
// curve after the measurement: dividing it by a saved one (a calibration),
// smoothing it over a fraction of an octave, and the group delay recomputed
// from its phase. The log sweep (dsp/LogSweep.h) makes these curves and the
// sweep file (persist/SweepFile.h) keeps them.
#pragma once

#include <cstddef>
#include <vector>

namespace varmolen {

struct ResponsePoint {
    double hz = 0;
    double magnitudeDb = 0;   // gain: 0 dB for a straight wire
    double phaseDeg = 0;      // unwrapped along the frequency axis, the path's delay removed
    double groupDelayMs = 0;  // -d(phase)/d(angular frequency) of the phase above
};

// Fractions of an octave the smoothing takes: 0 (none) or 1/N octave.
inline constexpr int kSmoothingFractions[] = {0, 48, 24, 12, 6, 3};

// Frequencies from startHz to stopHz (both included) evenly spaced on a log
// axis, at least pointsPerOctave (1..96) an octave; empty unless 0 < startHz
// < stopHz, and a single point when startHz == stopHz.
std::vector<double> logFrequencies(double startHz, double stopHz, int pointsPerOctave);

// Unwraps a phase in degrees in place along the points: each step between
// neighbours taken as the one within +-180 degrees; the point `anchor` keeps
// its value.
void unwrapPhase(std::vector<double>& degrees, std::size_t anchor);

// Sets every point's group delay from the phases, in milliseconds: central
// differences of the phase over frequency, one-sided at the ends; zero for
// a single point.
void computeGroupDelays(std::vector<ResponsePoint>& points);

// A measured response divided by a saved one (a calibration): magnitudes
// subtract in dB, phases subtract, group delays subtract; the reference
// interpolated linearly on a log frequency axis; points outside the
// reference's range are dropped. A reference whose frequencies do not rise
// gives nothing.
std::vector<ResponsePoint> divideResponse(const std::vector<ResponsePoint>& measured,
                                          const std::vector<ResponsePoint>& reference);

// Fractional-octave smoothing over the points within 1/octaveFraction octave
// centred on each point (narrowed near the ends, so that the window stays
// centred and the ends are not pulled toward one side; the end points stay
// as they are): octaveFraction 0 leaves the points as they are, otherwise
// 1/N octave (the menu offers 48, 24, 12, 6 and 3). The magnitude is
// averaged as power, the phase taken from the averaged complex response
// (each neighbour turned relative to the centre point's unwrapped phase, so
// the result stays unwrapped), the group delay recomputed from the smoothed
// phase. Points rising in frequency; each counts equally, as log-spaced
// points should.
std::vector<ResponsePoint> smoothResponse(const std::vector<ResponsePoint>& points, int octaveFraction);

}  // namespace varmolen
