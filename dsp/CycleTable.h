// One cycle of the generator's square, triangle or sawtooth holding only the
// harmonics the sample rate carries, so that playing it adds nothing that
// folds back below half the rate.
//
// A table is the ideal Fourier series cut after its `harmonics`-th harmonic,
// summed in double precision by one transform, and divided by its own peak,
// found to machine precision between the table's points, so that the wave
// with its Gibbs overshoot peaks at exactly 1. It is read at any phase by
// eight-point (seventh-order) Lagrange interpolation. The table holds at
// least twelve points per cycle of its highest harmonic: there the
// interpolation is off by less than 6e-6 of that harmonic, and its error
// falls as the eighth power of the points per cycle, so what it adds to the
// wave (images of the harmonics, folded back) stays more than 150 dB under
// the fundamental, and no harmonic moves by a measurable fraction of a dB.
//
// Building one takes from a tenth of a millisecond (a few harmonics) to some
// 50 ms (a 1 Hz tone's 22000 harmonics at 44100 Hz, a table of 4 MB);
// cycleTable() keeps the ones in use and the latest few, shared between
// threads, so the caller who changes a setting builds the table and the
// playback thread only reads it.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace varmolen {

enum class CycleShape { Square, Triangle, Sawtooth };

// The most harmonics a table holds (a tone below about 1 Hz at 384 kHz has
// more below half the rate; it plays without the highest of them).
constexpr int kMaxCycleHarmonics = 174762;

// The highest harmonic of `hz` below half of `rate` (k * hz < rate / 2),
// at least 1 and at most kMaxCycleHarmonics.
int harmonicsBelowHalfRate(double hz, double rate);

// The harmonics a table for `shape` at `hz` holds: those below half of
// `rate`, down to the last odd one for the square and the triangle (which
// have no even harmonics, so that one table serves both counts).
int tableHarmonics(CycleShape shape, double hz, double rate);

// The sine amplitudes of the ideal series: the wave is the sum over k >= 1
// of cycleCoefficient(shape, k) * sin(2 pi k phase). The square is +1 over
// the first half cycle, the triangle rises through 0 at phase 0 to +1 at a
// quarter, the sawtooth rises through 0 at phase 0 and falls at one half.
double cycleCoefficient(CycleShape shape, int k);

class CycleTable {
public:
    // Builds the series to `harmonics` (at least 1). Takes a while: see above.
    CycleTable(CycleShape shape, int harmonics);

    CycleShape shape() const { return shape_; }
    int harmonics() const { return harmonics_; }
    // Points per cycle (a power of two).
    std::size_t size() const { return size_; }
    // The peak of the cut series before it was divided by it.
    double seriesPeak() const { return seriesPeak_; }
    // The wave at `phase` in cycles, 0 <= phase < 1.
    double at(double phase) const
    {
        const double pos = phase * static_cast<double>(size_);
        std::size_t i = static_cast<std::size_t>(pos);
        if (i >= size_)
            i = size_ - 1;
        const double x = pos - static_cast<double>(i);
        // p[0..7] are the points at i-3 .. i+4; point j's weight is the
        // product of (x - node) over the other nodes, over that product at
        // node j, formed as a tree of products to keep the chain short.
        const double* p = points_.data() + i;
        const double d0 = x + 3.0, d1 = x + 2.0, d2 = x + 1.0, d3 = x, d4 = x - 1.0, d5 = x - 2.0, d6 = x - 3.0,
                     d7 = x - 4.0;
        const double d01 = d0 * d1, d23 = d2 * d3, d45 = d4 * d5, d67 = d6 * d7;
        const double d0123 = d01 * d23, d4567 = d45 * d67;
        const double low = (-1.0 / 5040) * (d1 * d23) * p[0] + (1.0 / 720) * (d0 * d23) * p[1] +
                           (-1.0 / 240) * (d01 * d3) * p[2] + (1.0 / 144) * (d01 * d2) * p[3];
        const double high = (-1.0 / 144) * (d5 * d67) * p[4] + (1.0 / 240) * (d4 * d67) * p[5] +
                            (-1.0 / 720) * (d45 * d7) * p[6] + (1.0 / 5040) * (d45 * d6) * p[7];
        return d4567 * low + d0123 * high;
    }

private:
    CycleShape shape_;
    int harmonics_;
    std::size_t size_ = 0;
    double seriesPeak_ = 1.0;
    std::vector<double> points_;  // size_ + 7: the cycle from point -3 to point size_ + 3
};

// The shared table of `shape` with the harmonics of `hz` below half of
// `rate`: one already built when there is one, else built on the calling
// thread. Safe from any thread; never holds its lock while building.
std::shared_ptr<const CycleTable> cycleTable(CycleShape shape, double hz, double rate);

}  // namespace varmolen
