// The tone readings of a record finer than 16 bits, by least squares in
// the time domain: the record less its mean, its tone and the tone's
// harmonics leaves the noise alone. A windowed transform cannot read that
// deep: the window's own skirt beside the tone (some -90 dB of it) stands
// above the noise of a 24-bit card, so THD+N would read the window. The fit
// has no window; its floor is the arithmetic's, far below any card's.
#pragma once

namespace varmolen {

struct ToneFitReading {
    bool valid = false;
    double hz = 0.0;          // the frequency that fits best
    double amplitude = 0.0;   // the tone's peak, in the record's units
    double thd = 0.0;         // harmonics 2..9 below the Nyquist frequency, RMS over the tone's RMS
    double thdN = 0.0;        // everything but the tone and the mean, RMS over the tone's RMS
    double noisePower = 0.0;  // what is left beside the harmonics, as 2 x its mean square (a sine's (A/2)^2 x 4 scale)
};

// Fits the mean, a tone near `hz` and its harmonics to x[0..n) recorded at
// `rate`, the frequency refined from `hz` (a transform's reading, within a
// fraction of a bin). Not valid for fewer than 64 values or a frequency
// outside (0, rate / 2). Allocates nothing.
ToneFitReading fitTone(const float* x, int n, double rate, double hz);

}  // namespace varmolen
