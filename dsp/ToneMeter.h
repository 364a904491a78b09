// The tone readings of one channel: the strongest tone of a Blackman-Harris
// windowed transform in double precision over the last samples recorded (up
// to 8192 of them, gathered across consecutive buffers), its frequency
// interpolated exactly for a single windowed tone, its level, THD and THD+N.
//
// A long record puts the noise of a clean tone into many narrow bins, so the
// bins where its harmonics fall hold little of it: each harmonic is read from
// the one bin nearest to it, corrected for where it falls between bins, as
// the tone itself is. The power spectra of successive readings of a steady
// tone are averaged (ToneAverage), so that a reading does not jump from one
// refresh of the texts to the next; a tone that moves, changes its level or
// changes its shape (the power beside it) starts the average afresh.
//
// Everything works in arrays allocated with the meter; a reading allocates
// nothing.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "dsp/SpectrumKernel.h"

namespace varmolen {

// Record lengths the tone readings use: the longest power of two the record
// holds, from the shortest to the longest.
constexpr int kToneMinRecord = 1024;
constexpr int kToneMaxRecord = 8192;

struct ToneReading {
    bool valid = false;
    double hz = 0.0;
    double sigmaHz = 0.0;
    double amplitude = 0.0;  // peak, codes
    bool thdValid = false;
    double thd = 0.0;  // ratio of the harmonics' RMS to the tone's (0.01 = 1 %)
    bool thdNValid = false;
    double thdN = 0.0;  // ratio of everything but the tone (and DC) to the tone
    int length = 0;     // samples the reading was formed from (0: none)
    // The power of the whole spectrum (above the lowest bins the window's
    // image of DC takes), weighted Z, A and C (by Weighting's number), in
    // squared codes of a sine's amplitude: a full-scale sine reads 32767^2,
    // 0 dBFS. Read whether or not a tone stands out.
    bool weightedValid = false;
    std::array<double, 3> weightedPower{};
};

// The running average of one channel's tone spectra.
struct ToneAverage {
    // Readings a new spectrum is averaged with, at most: its weight never
    // falls below 1/kDepth, so a slow change of the signal is followed.
    static constexpr int kDepth = 4;

    std::array<double, kToneMaxRecord / 2 + 1> power{};
    int length = 0;  // record length of the spectra averaged; 0 = none yet
    int count = 0;
    int strongest = 1;  // strongest bin of the average
    double rest = 0.0;  // power of the average beside the strongest tone's lobe

    // Forgets the spectra: the next reading starts the average.
    void restart()
    {
        length = 0;
        count = 0;
    }
};

class ToneMeter {
public:
    ToneMeter();

    // Reads the last n codes of x[0..frames-1] recorded at `rate` Hz, n the
    // longest power of two not above min(frames, 8192); fewer than 1024
    // frames give no reading. With `average`, the spectrum first joins the
    // channel's average (or starts it afresh) and the reading is that of
    // the average.
    ToneReading measure(const std::int32_t* x, int frames, double rate, ToneAverage* average = nullptr);

    // Power of bin k (0..n/2) of the last spectrum read; for tests.
    double binPower(int k) const { return power_[static_cast<std::size_t>(k)]; }
    // |transform of a unit complex tone at `offset` bins from a bin| at the
    // record length last read.
    double kernelMagnitude(double offset) const;

private:
    void useLength(int n);
    void transform(const std::int32_t* x, int n);
    void joinAverage(ToneAverage& average);
    // The strongest of bins 1..n/2-1; the power of the bins above the
    // window's image of DC.
    void findStrongest();
    void sumTotal();
    double solveOffset(double ratio, double guess) const;
    ToneReading read(double rate) const;
    void weigh(ToneReading& r, double rate) const;

    std::vector<double> window_;  // over kToneMaxRecord points; shorter records take every m-th
    // The transform's arrays: power_ holds the windowed record, then the power
    // of bins 0..n/2; the turns are exact, made once for the longest record.
    std::vector<double> power_;
    std::vector<double> binRe_;
    std::vector<double> binIm_;
    std::vector<double> turnRe_;
    std::vector<double> turnIm_;
    int n_ = kToneMinRecord;  // record length of power_
    int strongest_ = 1;       // strongest of bins 1..n/2-1
    double total_ = 0.0;      // power of the bins above the window's image of DC
    // Window coefficients as complex exponentials at length n_:
    // w[t] = sum_m b_m e^(2 pi i m t / n).
    std::array<double, 7> kernelRe_{};
    std::array<double, 7> kernelIm_{};
    std::array<double, 7> shiftCos_{};
    std::array<double, 7> shiftSin_{};
};

}  // namespace varmolen
