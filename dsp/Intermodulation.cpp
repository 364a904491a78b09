#include "dsp/Intermodulation.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "dsp/ToneMeter.h"

namespace varmolen {

namespace {

// As the tone readings: a tone's main lobe spans 4 bins either side, bins
// 0..3 hold the window's image of DC, a tone is read from bin 5 on and up
// to where its lobe still ends below the Nyquist bin.
constexpr int kLobe = 4;
constexpr int kFirstNoiseBin = kLobe;
constexpr int kFirstToneBin = kLobe + 1;
// A tone's strongest bin lies within this many bins of where it is.
constexpr double kToneOffsetLimit = 0.6;
// A pair on the input: each tone within this share of its frequency.
constexpr double kPairTolerance = 0.01;
// ... their amplitudes' ratio within this factor of the pair's.
constexpr double kRatioFactor = 2.0;
// ... and the pair's lobes holding this share of the spectrum's power.
constexpr double kPairShare = 0.5;
// As the tone readings have a tone stand out: its lobe holds this many
// times the mean power of as many bins of everything beside the pair's
// lobes; noise never does.
constexpr double kToneOverNoise = 30.0;

// A tone found in the spectrum: where it lies in bins, its amplitude (the
// root of its power as the meter reads a tone: a ratio of two of them is
// the ratio of the tones' amplitudes) and the power of its lobe's bins.
struct Tone {
    bool found = false;
    double bin = 0.0;
    double amplitude = 0.0;
    double lobe = 0.0;
};

class Spectrum {
public:
    Spectrum(const ToneMeter& meter, double rate)
        : meter_(meter), bins_(meter.length() / 2), binHz_(rate / meter.length())
    {}

    double binHz() const { return binHz_; }
    double power(int k) const { return meter_.binPower(k); }
    // A component at `bin` can be read: its lobe lies between DC's image
    // and the Nyquist bin.
    bool readable(double bin) const { return bin >= kFirstToneBin && bin + kLobe <= bins_ - 1; }

    // The strongest tone within `reach` bins of `bin`: its strongest bin a
    // peak whose neighbours have the shape of one tone.
    Tone find(double bin, double reach) const
    {
        const int from = std::max(kFirstToneBin, static_cast<int>(std::floor(bin - reach)));
        const int to = std::min(bins_ - 1 - kLobe, static_cast<int>(std::ceil(bin + reach)));
        if (from > to)
            return {};
        int k0 = from;
        for (int k = from + 1; k <= to; ++k) {
            if (power(k) > power(k0))
                k0 = k;
        }
        // The edge of the search on the slope of something stronger beside it.
        if (!(power(k0) > 0.0) || power(k0 - 1) > power(k0) || power(k0 + 1) > power(k0))
            return {};
        const double offset = meter_.toneOffset(k0);
        if (std::abs(offset) > kToneOffsetLimit)
            return {};
        const double peak = meter_.kernelMagnitude(offset);
        double lobe = 0.0;
        for (int k = k0 - kLobe; k <= k0 + kLobe; ++k)
            lobe += power(k);
        return {true, k0 + offset, std::sqrt(power(k0)) / peak, lobe};
    }

    // The power of the bins beside DC's image and below the Nyquist bin.
    double total() const
    {
        double sum = 0.0;
        for (int k = kFirstNoiseBin; k < bins_; ++k)
            sum += power(k);
        return sum;
    }
    // The mean power of a bin outside the two tones' lobes.
    double beside(const Tone& a, const Tone& b, double total) const
    {
        const int counted = bins_ - kFirstNoiseBin - 2 * (2 * kLobe + 1);
        return counted > 0 ? std::max(0.0, total - a.lobe - b.lobe) / counted : 0.0;
    }

    // The amplitude of a product at `bin`, in the units of a tone's, from
    // its nearest bin, less what the two tones' skirts put there.
    double product(double bin, const Tone& a, const Tone& b) const
    {
        const long centre = std::lround(bin);
        const auto k = static_cast<int>(centre);
        const auto skirt = [this, k](const Tone& t) {
            const double h = t.amplitude * meter_.kernelMagnitude(k - t.bin);
            return h * h;
        };
        const double held = std::max(0.0, power(k) - skirt(a) - skirt(b));
        return std::sqrt(held) / meter_.kernelMagnitude(bin - static_cast<double>(centre));
    }

private:
    const ToneMeter& meter_;
    int bins_;
    double binHz_;
};

// Finds the pair of `method` in the spectrum; `detect`: not played by the
// generator, so it must also look like the pair in its levels and hold
// most of the signal.
bool findPair(const Spectrum& s, ImdMethod method, bool detect, Tone& low, Tone& high)
{
    const SynthWaveform waveform = method == ImdMethod::Smpte ? SynthWaveform::TwoToneLow : SynthWaveform::TwoToneHigh;
    const ToneMix mix = twoToneMix(waveform);
    const double lowBin = mix.hzA / s.binHz();
    const double highBin = mix.hzB / s.binHz();
    const double spacing = method == ImdMethod::Smpte ? lowBin : highBin - lowBin;
    if (spacing < kLeastSpacingBins || !s.readable(lowBin) || !s.readable(highBin))
        return false;
    // Not as far as another component of the pair.
    const double lowReach = std::min(std::max(1.5, kPairTolerance * lowBin), 0.5 * spacing);
    const double highReach = std::min(std::max(1.5, kPairTolerance * highBin), 0.5 * spacing);
    low = s.find(lowBin, lowReach);
    high = s.find(highBin, highReach);
    if (!low.found || !high.found)
        return false;
    if (std::abs(low.bin - lowBin) > kPairTolerance * lowBin || std::abs(high.bin - highBin) > kPairTolerance * highBin)
        return false;
    const double total = s.total();
    const double noise = s.beside(low, high, total);
    const auto standsOut = [noise](const Tone& t) { return t.lobe >= kToneOverNoise * (2 * kLobe + 1) * noise; };
    if (!standsOut(low) || !standsOut(high))
        return false;
    if (!detect)
        return true;
    const double ratio = low.amplitude / high.amplitude;
    const double expected = mix.shareA / mix.shareB;
    return ratio <= kRatioFactor * expected && ratio * kRatioFactor >= expected &&
           low.lobe + high.lobe >= kPairShare * total;
}

// The reading of a pair found, or none where a product cannot be read.
ImdReading readPair(const Spectrum& s, ImdMethod method, const Tone& low, const Tone& high)
{
    ImdReading r;
    const double f1 = low.bin;
    const double f2 = high.bin;
    const auto at = [&](double bin, double& sum) {
        if (!s.readable(bin))
            return false;
        sum += s.product(bin, low, high);
        return true;
    };
    if (method == ImdMethod::Smpte) {
        for (int n = 1; n <= 3; ++n) {
            double pair = 0.0;
            if (!at(f2 - n * f1, pair) || !at(f2 + n * f1, pair))
                return {};
            r.orders[static_cast<std::size_t>(n - 1)] = pair / high.amplitude;
        }
    } else {
        double second = 0.0;
        double third = 0.0;
        if (!at(f2 - f1, second) || !at(2.0 * f1 - f2, third) || !at(2.0 * f2 - f1, third))
            return {};
        const double reference = low.amplitude + high.amplitude;
        r.orders = {second / reference, third / reference, 0.0};
    }
    double squares = 0.0;
    for (double d : r.orders)
        squares += d * d;
    r.valid = true;
    r.method = method;
    r.ratio = std::sqrt(squares);
    r.lowHz = f1 * s.binHz();
    r.highHz = f2 * s.binHz();
    return r;
}

}  // namespace

const char* imdMethodName(ImdMethod method)
{
    return method == ImdMethod::Smpte ? "SMPTE" : method == ImdMethod::Dfd ? "DFD" : "NONE";
}

ImdMethod imdMethodOf(SynthWaveform waveform)
{
    return waveform == SynthWaveform::TwoToneLow    ? ImdMethod::Smpte
           : waveform == SynthWaveform::TwoToneHigh ? ImdMethod::Dfd
                                                    : ImdMethod::None;
}

ImdReading readIntermodulation(const ToneMeter& meter, double rate, ImdMethod played)
{
    if (!(rate > 0.0) || meter.length() < kToneMinRecord)
        return {};
    const Spectrum s(meter, rate);
    const bool detect = played == ImdMethod::None;
    for (ImdMethod method : {ImdMethod::Smpte, ImdMethod::Dfd}) {
        if (!detect && method != played)
            continue;
        Tone low;
        Tone high;
        if (findPair(s, method, detect, low, high))
            return readPair(s, method, low, high);
    }
    return {};
}

}  // namespace varmolen
