// Intermodulation distortion of a two-tone signal, read from the spectrum
// the tone readings transform (dsp/ToneMeter.h: the same record, window and
// transform, its average included), each tone and each product from the bin
// nearest to it, corrected for where it falls between bins, as the tone
// readings read a harmonic.
//
// Two methods, after the generator's two pairs (twoToneMix):
//
// - SMPTE (SMPTE RP120, the modulation method of IEC 60268-3): a low tone f1
//   (60 Hz) with a high tone f2 (7 kHz) at a quarter of its amplitude. The
//   low tone modulates the high one: each order's pair of sidebands, f2 - n
//   f1 and f2 + n f1 for n = 1, 2, 3 (the 2nd, 3rd and 4th order), summed in
//   amplitude (what a demodulator sees) over f2's amplitude, the orders
//   combined as the root of their sum of squares.
// - DFD (the difference-frequency method of IEC 60268-3): two tones f1 and
//   f2 (19 and 20 kHz) of equal amplitude. The 2nd order, the difference
//   tone f2 - f1, and the 3rd order, 2 f1 - f2 plus 2 f2 - f1 in amplitude,
//   each over the sum of the two tones' amplitudes (the pair's peak); the
//   reading is the root of the sum of both squares.
//
// The method is the one of the pair the generator plays; otherwise a pair
// found on the input: both tones of one of the two pairs within 1 % of
// their frequencies, their amplitudes within a factor 2 of the pair's ratio,
// and the pair holding at least half of the spectrum's power. Every tone
// must stand out of the noise. No reading where the rate cannot carry every
// product read (a pair at or beyond half the rate, 21 kHz at 32000 Hz), or
// where the record is too short to part them: the tones and products of a
// pair must lie at least kLeastSpacingBins apart (at 8192 samples the 60 Hz
// sidebands part from 7 kHz at rates up to 98304 Hz: at 96000 Hz, not at
// 192000 Hz).
#pragma once

#include <array>

#include "dsp/SignalSynth.h"

namespace varmolen {

class ToneMeter;

enum class ImdMethod { None, Smpte, Dfd };
// "SMPTE", "DFD", or "NONE".
const char* imdMethodName(ImdMethod method);
// The method a waveform of the generator is measured by: its pair's, or
// None for a waveform that is no pair.
ImdMethod imdMethodOf(SynthWaveform waveform);

// Tones and products of a pair are read apart from this many bins on: each
// one's nearest bin then lies outside every other one's main lobe.
constexpr double kLeastSpacingBins = 5.0;

struct ImdReading {
    bool valid = false;
    ImdMethod method = ImdMethod::None;
    double ratio = 0.0;  // the reading (0.0001 = 0.01 %)
    // What it is made of: SMPTE's 2nd, 3rd and 4th order; DFD's 2nd and 3rd
    // order (the third entry 0).
    std::array<double, 3> orders{};
    // The two tones as found, low first.
    double lowHz = 0.0;
    double highHz = 0.0;
};

// Reads the intermodulation of the spectrum `meter` last read from a
// record at `rate` Hz; `played` is the method of the pair the generator
// plays, None when it plays no pair. Allocates nothing.
ImdReading readIntermodulation(const ToneMeter& meter, double rate, ImdMethod played);

}  // namespace varmolen
