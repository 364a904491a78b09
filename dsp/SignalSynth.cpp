#include "dsp/SignalSynth.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varmolen {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Noise at unit level has the RMS of a unit sine.
const double kSineRms = 1.0 / std::numbers::sqrt2;

// The correction of a band-limited step over the sample either side of a
// jump at phase 0 of a waveform whose phase advances by dt a frame: it takes
// most of the aliases out of the square and the sawtooth.
double stepCorrection(double t, double dt)
{
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

double fraction(double x) { return x - std::floor(x); }

// A pink (1/f) filter over white noise: one-pole sections spread over the
// audio band, each adding a share of the noise.
double pinkStep(std::array<double, 7>& b, double white)
{
    b[0] = 0.99886 * b[0] + white * 0.0555179;
    b[1] = 0.99332 * b[1] + white * 0.0750759;
    b[2] = 0.96900 * b[2] + white * 0.1538520;
    b[3] = 0.86650 * b[3] + white * 0.3104856;
    b[4] = 0.55000 * b[4] + white * 0.5329522;
    b[5] = -0.7616 * b[5] - white * 0.0168980;
    const double out = b[0] + b[1] + b[2] + b[3] + b[4] + b[5] + b[6] + white * 0.5362;
    b[6] = white * 0.115926;
    return out;
}

// 1 / the RMS of the pink filter's output for white noise of unit RMS: the
// root of the energy of its impulse response.
double pinkNormalisation()
{
    std::array<double, 7> b{};
    double energy = 0.0;
    for (int n = 0; n < 40000; ++n) {
        const double h = pinkStep(b, n == 0 ? 1.0 : 0.0);
        energy += h * h;
    }
    return 1.0 / std::sqrt(energy);
}

}  // namespace

ToneMix twoToneMix(SynthWaveform waveform)
{
    // The two usual intermodulation pairs: a low tone with a high one at a
    // quarter of its level, and two high tones 1 kHz apart at equal levels.
    if (waveform == SynthWaveform::TwoToneLow)
        return {60.0, 7000.0, 0.8, 0.2};
    if (waveform == SynthWaveform::TwoToneHigh)
        return {19000.0, 20000.0, 0.5, 0.5};
    return {};
}

double synthMaxHz(double rate) { return kSynthMaxRateFraction * rate; }

SynthSettings clampSynthSettings(SynthSettings s, double rate)
{
    const double top = std::max(kSynthMinHz, synthMaxHz(rate));
    s.hz = std::isfinite(s.hz) ? std::clamp(s.hz, kSynthMinHz, top) : kSynthMinHz;
    s.levelDbfs = std::isfinite(s.levelDbfs) ? std::clamp(s.levelDbfs, kSynthMinDbfs, kSynthMaxDbfs) : kSynthMinDbfs;
    return s;
}

SignalSynth::SignalSynth(double rate, int bits, std::uint64_t seed)
    : rate_(rate > 0.0 ? rate : 44100.0),
      bits_(bits == 24 ? 24 : 16),
      fullScale_(bits_ == 24 ? 8388607.0 : 32767.0),
      random_(seed),
      pinkScale_(pinkNormalisation())
{
    settings_ = clampSynthSettings(settings_, rate_);
}

void SignalSynth::set(const SynthSettings& settings)
{
    settings_ = clampSynthSettings(settings, rate_);
    aimGain();
}

void SignalSynth::switchOn(bool on)
{
    on_ = on;
    aimGain();
}

void SignalSynth::aimGain()
{
    target_ = on_ ? std::pow(10.0, settings_.levelDbfs / 20.0) : 0.0;
    step_ = std::abs(target_ - gain_) / (kSynthRampSeconds * rate_);
}

double SignalSynth::nextGain()
{
    if (gain_ < target_)
        gain_ = std::min(gain_ + step_, target_);
    else if (gain_ > target_)
        gain_ = std::max(gain_ - step_, target_);
    return gain_;
}

double SignalSynth::uniform()
{
    // splitmix64: fast, and plenty for dither and noise.
    std::uint64_t z = (random_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    return static_cast<double>(z >> 11) * 0x1.0p-53 - 0.5;
}

double SignalSynth::gaussian()
{
    const double u = uniform() + 0.5;
    const double v = uniform() + 0.5;
    return std::sqrt(-2.0 * std::log(1.0 - u)) * std::cos(kTwoPi * v);
}

double SignalSynth::nextValue()
{
    const SynthWaveform w = settings_.waveform;
    if (w == SynthWaveform::WhiteNoise)
        return kSineRms * gaussian();
    if (w == SynthWaveform::PinkNoise)
        return kSineRms * pinkScale_ * pinkStep(pink_, gaussian());
    if (w == SynthWaveform::TwoToneLow || w == SynthWaveform::TwoToneHigh) {
        const ToneMix mix = twoToneMix(w);
        const double v = mix.shareA * std::sin(kTwoPi * phase_) + mix.shareB * std::sin(kTwoPi * phaseB_);
        phase_ = fraction(phase_ + mix.hzA / rate_);
        phaseB_ = fraction(phaseB_ + mix.hzB / rate_);
        return v;
    }
    const double t = phase_;
    const double dt = settings_.hz / rate_;
    double v = 0.0;
    switch (w) {
        case SynthWaveform::Square:
            v = (t < 0.5 ? 1.0 : -1.0) + stepCorrection(t, dt) - stepCorrection(fraction(t + 0.5), dt);
            break;
        case SynthWaveform::Triangle:
            v = t < 0.25 ? 4.0 * t : (t < 0.75 ? 2.0 - 4.0 * t : 4.0 * t - 4.0);
            break;
        case SynthWaveform::Sawtooth: {
            const double s = fraction(t + 0.5);
            v = 2.0 * s - 1.0 - stepCorrection(s, dt);
            break;
        }
        default:
            v = std::sin(kTwoPi * t);
            break;
    }
    phase_ += dt;
    if (phase_ >= 1.0)
        phase_ -= 1.0;
    return v;
}

void SignalSynth::renderExact(double* out, std::size_t frames)
{
    const bool left = settings_.channels != SynthChannels::Right;
    const bool right = settings_.channels != SynthChannels::Left;
    const double rightSign = settings_.invertRight ? -1.0 : 1.0;
    for (std::size_t i = 0; i < frames; ++i) {
        if (silent()) {
            out[2 * i] = out[2 * i + 1] = 0.0;
            continue;
        }
        const double v = std::clamp(nextValue() * nextGain(), -1.0, 1.0);
        out[2 * i] = left ? v : 0.0;
        out[2 * i + 1] = right ? rightSign * v : 0.0;
    }
}

void SignalSynth::render(std::int32_t* out, std::size_t frames)
{
    // Rendered in short runs through the exact values, then dithered.
    constexpr std::size_t kRun = 256;
    std::array<double, 2 * kRun> exact{};
    const double low = -fullScale_ - 1.0;
    while (frames > 0) {
        const std::size_t n = std::min(frames, kRun);
        const bool wasSilent = silent();
        renderExact(exact.data(), n);
        for (std::size_t k = 0; k < 2 * n; ++k) {
            // A channel that plays nothing stays digital silence.
            if (wasSilent || exact[k] == 0.0) {
                out[k] = 0;
                continue;
            }
            const double code = std::nearbyint(exact[k] * fullScale_ + uniform() + uniform());
            out[k] = static_cast<std::int32_t>(std::clamp(code, low, fullScale_));
        }
        out += 2 * n;
        frames -= n;
    }
}

}  // namespace varmolen
