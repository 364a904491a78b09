// The tone readings of one channel: the strongest tone of a Blackman-Harris
// windowed transform in double precision over the last samples recorded (up
// to 8192 of them, gathered across consecutive buffers), its frequency
// interpolated exactly for a single windowed tone, its level, THD and THD+N,
// the noise beside it, its SNR and the dynamic range.
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
    // With THD+N: the noise, what THD+N counts less the harmonics, each
    // harmonic's power read at its bin (so the noise in the bins beside a
    // harmonic stays in), and less the window's skirt of the tone beyond its
    // lobe (some -90 dB of the tone, known from the tone); the tone's lobe,
    // DC's bins and the Nyquist bin are not counted. In squared codes of a
    // sine's amplitude like weightedPower: white noise of RMS s reads
    // 2 s^2. Unweighted and A-weighted (each bin, and each harmonic, at its
    // frequency).
    bool noiseValid = false;
    double noisePower = 0.0;
    double noisePowerA = 0.0;
    // The tone's power over the unweighted noise's, in dB.
    bool snrValid = false;
    double snrDb = 0.0;
    // Dynamic range as AES17 reads it: the A-weighted power of everything
    // but the tone (noise and harmonics) below full scale, in dB, read only
    // from a tone within 10 dB of -60 dBFS; with a -60 dBFS tone, its
    // A-weighted THD+N in dB below the tone plus 60 dB.
    bool dynamicRangeValid = false;
    double dynamicRangeDb = 0.0;
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
    ToneReading measure(const float* x, int frames, double rate, ToneAverage* average = nullptr);

    // What other readings of the same record (intermodulation) take from
    // the last spectrum read, the average's where one was given: its record
    // length, the power of bin k (0..n/2), and where a tone whose strongest
    // bin is k lies from it, in bins (-1..1), interpolated as the tone
    // reading's own tone is.
    int length() const { return n_; }
    double binPower(int k) const { return power_[static_cast<std::size_t>(k)]; }
    double toneOffset(int k) const;
    // |transform of a unit complex tone at `offset` bins from a bin| at the
    // record length last read.
    double kernelMagnitude(double offset) const;

private:
    void useLength(int n);
    // The A and C weightings' power gains of bins 0..n/2 at `rate`.
    void useGains(double rate);
    void transform(const float* x, int n);
    void joinAverage(ToneAverage& average);
    // The strongest of bins 1..n/2-1; the power of the bins above the
    // window's image of DC.
    void findStrongest();
    void sumTotal();
    double solveOffset(double ratio, double guess) const;
    ToneReading read(double rate) const;
    void weigh(ToneReading& r) const;
    // The noise, SNR and dynamic range of a reading whose THD+N is read, of
    // a tone at `offset` bins from bin k0; `harmonics` lists each harmonic's power (as `tonePower` has the
    // tone's) and the bin it lies at, fractional.
    void readNoise(ToneReading& r, int k0, double offset, double tonePower, const double* harmonics,
                   const double* harmonicBins, int counted) const;

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
    double squares_ = 0.0;    // sum of the squared window over n_ points
    // Power gains of the A and C weightings at bins 0..n/2, for gainRate_
    // and gainLength_ (0: none yet).
    std::vector<double> gainA_;
    std::vector<double> gainC_;
    double gainRate_ = 0.0;
    int gainLength_ = 0;
    // Window coefficients as complex exponentials at length n_:
    // w[t] = sum_m b_m e^(2 pi i m t / n).
    std::array<double, 7> kernelRe_{};
    std::array<double, 7> kernelIm_{};
    std::array<double, 7> shiftCos_{};
    std::array<double, 7> shiftSin_{};
};

}  // namespace varmolen
