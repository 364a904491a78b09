// The spectrum analyser's numerics: the windows it offers and what each does
// to a level, the transform of a long record, the fractional-octave bands and
// the frequency weightings. Levels are powers in squared codes of a sine's
// amplitude: a sine of amplitude A codes centred on a bin reads A^2 in that
// bin whatever the window, so a full-scale sine (32767 codes) reads 0 dBFS.
// A band or a total sums its bins' powers divided by the window's equivalent
// noise bandwidth, so a tone reads its own level in its band and noise reads
// its power, whatever the window and the length.
//
// Only SpectrumTransform::prepare allocates; a transform allocates nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace varmolen {

// The windows of the analyser. Specified: the display's own four-term
// Blackman-Harris table, as the block spectrum builds it (single precision,
// its angle stepped in float), at any length.
enum class AnalysisWindow : std::int32_t {
    Specified = 0,
    Rectangular = 1,
    Hann = 2,
    BlackmanHarris = 3,  // four-term, -92 dB side lobes
    FlatTop = 4,         // five-term flat top: a sine's level within 0.01 dB wherever it falls
};
constexpr std::int32_t kAnalysisWindowCount = 5;

// Transform lengths: powers of two from the block's 1024 to 262144.
constexpr int kAnalysisMinLength = 1024;
constexpr int kAnalysisMaxLength = 262144;
constexpr bool isAnalysisLength(int length)
{
    return length >= kAnalysisMinLength && length <= kAnalysisMaxLength && (length & (length - 1)) == 0;
}

// The code of full scale: a sine of this amplitude reads 0 dBFS.
constexpr double kAnalysisFullScale = 32767.0;

// The periodic window over `length` points into out[0..length-1]; nothing
// for a length below 1 or an `out` shorter than it. The display's table ends
// with one entry more: with room for it in `out` it is made in place, else
// through a copy.
void fillAnalysisWindow(AnalysisWindow window, std::span<float> out, int length);

// What a window does to levels: its sum and its sum of squares over its points.
struct WindowShape {
    double sum = 0.0;
    double sumSquares = 0.0;
    int length = 0;
    // The window's mean (the factor a centred sine's amplitude is read at).
    double coherentGain() const { return length > 0 ? sum / length : 0.0; }
    // Equivalent noise bandwidth, in bins: length * sum(w^2) / sum(w)^2.
    double enbwBins() const { return sum != 0.0 ? length * sumSquares / (sum * sum) : 0.0; }
};
WindowShape windowShape(std::span<const float> window, int length);

// The power spectrum of a long record, windowed, by a real-to-complex
// transform planned once for its length.
class SpectrumTransform {
public:
    SpectrumTransform();
    ~SpectrumTransform();
    SpectrumTransform(const SpectrumTransform&) = delete;
    SpectrumTransform& operator=(const SpectrumTransform&) = delete;

    // Makes the window, the arrays and the plan for `length` (an analysis
    // length) and `window`; the only call that allocates. False, changing
    // nothing, for a length it does not take.
    bool prepare(int length, AnalysisWindow window);
    int length() const { return length_; }
    AnalysisWindow window() const { return window_; }
    const WindowShape& shape() const { return shape_; }
    // Bins 0..length/2.
    int bins() const { return length_ / 2 + 1; }

    // Power of bins 0..length/2 of (x[t] - offset) * w[t], t < length, into
    // out[0..bins()-1], in squared codes of a sine's amplitude (see the top
    // of this file): |X[k]|^2 / (sum(w) / 2)^2, DC and Nyquist halved as
    // their own real parts, (X[k] / sum(w))^2: they have no mirror image, so
    // a constant c reads c^2, its mean square. False, writing nothing, before
    // prepare or with `out` too short.
    bool power(const float* x, float offset, std::span<float> out);

private:
    struct Plan;
    std::unique_ptr<Plan> plan_;
    int length_ = 0;
    AnalysisWindow window_ = AnalysisWindow::Specified;
    WindowShape shape_;
    std::vector<float> windowTable_;
};

// dBFS of a power in squared codes (a floor at -400 dB for zero).
double powerDbfs(double power);

// The frequency weightings of sound level meters (A and C as the standard
// for them defines them analytically, Z flat): the gain in dB at `hz`, 0 dB
// at 1 kHz; A and C give -400 dB at 0 Hz and below.
enum class Weighting : std::int32_t { Z = 0, A = 1, C = 2 };
double weightingDb(Weighting weighting, double hz);

// Fractional-octave bands, base ten: the octave ratio G = 10^(3/10), the
// reference 1000 Hz, the mid-band frequencies 1000 G^(x/b) for odd b and
// 1000 G^((2x+1)/(2b)) for even b, the edges the mid-band frequency times
// G^(-1/(2b)) and G^(1/(2b)).
struct Band {
    double lowHz = 0.0;
    double centreHz = 0.0;  // exact mid-band frequency
    double highHz = 0.0;
};
// b = 1, 3, 6 or 12. The bands whose mid-band frequency lies in
// [fromHz, toHz], lowest first, into `out` (cleared first; reserve room to
// avoid allocating). False for any other b.
bool fractionalOctaveBands(int b, double fromHz, double toHz, std::vector<Band>& out);

// The level of a band or of a span of frequencies from a power spectrum of
// `bins` bins, bin k at k * binHz: the sum of the power of every bin whose
// frequency lies in [lowHz, highHz), each weighted by `weighting` at its
// frequency, divided by the window's equivalent noise bandwidth in bins (in
// squared codes, like a bin).
double bandPower(std::span<const float> power, double binHz, double enbwBins, double lowHz, double highHz,
                 Weighting weighting);

}  // namespace varmolen
