#include "dsp/SignalSynth.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace varmolen {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Noise at unit level has the RMS of a unit sine.
const double kSineRms = 1.0 / std::numbers::sqrt2;

// The wrap of a phase that has just been advanced by less than a cycle.
double wrapped(double phase) { return phase >= 1.0 ? phase - 1.0 : phase; }

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
    voices_[0].waveform = settings_.waveform;
    voices_[0].table = tableFor(settings_, rate_);
    voices_[0].weight.snap(1.0);
    aimChannels();
}

void SignalSynth::Ramp::aim(double to, double frames)
{
    target = to;
    step = std::abs(to - now) / frames;
    framesLeft = to == now ? 0 : static_cast<int>(std::ceil(frames - 1e-9));
}

double SignalSynth::Ramp::next()
{
    if (framesLeft > 0) {
        if (--framesLeft == 0)
            now = target;
        else
            now = now < target ? std::min(now + step, target) : std::max(now - step, target);
    }
    return now;
}

std::shared_ptr<const CycleTable> SignalSynth::tableFor(const SynthSettings& settings, double rate)
{
    switch (settings.waveform) {
        case SynthWaveform::Square:
            return cycleTable(CycleShape::Square, settings.hz, rate);
        case SynthWaveform::Triangle:
            return cycleTable(CycleShape::Triangle, settings.hz, rate);
        case SynthWaveform::Sawtooth:
            return cycleTable(CycleShape::Sawtooth, settings.hz, rate);
        default:
            return nullptr;
    }
}

void SignalSynth::set(const SynthSettings& settings, std::shared_ptr<const CycleTable> prepared)
{
    const SynthSettings s = clampSynthSettings(settings, rate_);
    const Voice& newest = voices_[static_cast<std::size_t>(voiceCount_ - 1)];
    std::shared_ptr<const CycleTable> table;
    const SynthWaveform w = s.waveform;
    if (w == SynthWaveform::Square || w == SynthWaveform::Triangle || w == SynthWaveform::Sawtooth) {
        const CycleShape shape = w == SynthWaveform::Square     ? CycleShape::Square
                                 : w == SynthWaveform::Triangle ? CycleShape::Triangle
                                                                : CycleShape::Sawtooth;
        const int harmonics = tableHarmonics(shape, s.hz, rate_);
        const auto fits = [&](const std::shared_ptr<const CycleTable>& t) {
            return t && t->shape() == shape && t->harmonics() == harmonics;
        };
        if (fits(prepared))
            table = std::move(prepared);
        else if (fits(newest.table))
            table = newest.table;
        else
            table = cycleTable(shape, s.hz, rate_);  // built here when no one holds it
    }
    if (s == settings_ && newest.waveform == w && newest.table == table)
        return;
    settings_ = s;
    endOnce();
    aimVoices(w, std::move(table));
    aimChannels();
    aimGain();
}

void SignalSynth::switchOn(bool on)
{
    if (on == on_)
        return;
    on_ = on;
    endOnce();
    aimGain();
}

void SignalSynth::aimGain()
{
    level_.aim(on_ && !onceMode_ ? std::pow(10.0, settings_.levelDbfs / 20.0) : 0.0, rampFrames());
}

void SignalSynth::aimChannels()
{
    const double left = settings_.channels != SynthChannels::Right ? 1.0 : 0.0;
    const double right = settings_.channels == SynthChannels::Left ? 0.0 : (settings_.invertRight ? -1.0 : 1.0);
    // Unheard (off, or before the tone rises), a change is made at once.
    if (level_.now == 0.0) {
        left_.snap(left);
        right_.snap(right);
        return;
    }
    left_.aim(left, rampFrames());
    right_.aim(right, rampFrames());
}

void SignalSynth::aimVoices(SynthWaveform waveform, std::shared_ptr<const CycleTable> table)
{
    const auto begin = voices_.begin();
    // Unheard (off, or before the tone rises), the new waveform replaces the old at once.
    if (level_.now == 0.0) {
        voices_ = {};
        voices_[0].waveform = waveform;
        voices_[0].table = std::move(table);
        voices_[0].weight.snap(1.0);
        voiceCount_ = 1;
        return;
    }
    // A voice still fading out that plays the new waveform comes back from
    // where it is; else a new one joins, silent, in place of the faintest
    // when two crossfades are already under way.
    auto count = static_cast<std::size_t>(voiceCount_);
    std::size_t found = count;
    for (std::size_t i = 0; i < count; ++i)
        if (voices_[i].waveform == waveform && voices_[i].table == table)
            found = i;
    if (found == count) {
        if (count == voices_.size()) {
            const auto faintest =
                std::min_element(begin, begin + static_cast<std::ptrdiff_t>(count),
                                 [](const Voice& a, const Voice& b) { return a.weight.now < b.weight.now; });
            std::rotate(faintest, faintest + 1, begin + static_cast<std::ptrdiff_t>(count));
            found = count - 1;
        } else {
            found = count++;
        }
        voices_[found] = Voice{};
        voices_[found].waveform = waveform;
        voices_[found].table = std::move(table);
    }
    // The newest goes last: a later change compares with it.
    std::rotate(begin + static_cast<std::ptrdiff_t>(found), begin + static_cast<std::ptrdiff_t>(found) + 1,
                begin + static_cast<std::ptrdiff_t>(count));
    voiceCount_ = static_cast<int>(count);
    // Every share moves to its end in one ramp, so they always add up to one.
    for (std::size_t i = 0; i < count; ++i)
        voices_[i].weight.aim(i + 1 == count ? 1.0 : 0.0, rampFrames());
}

void SignalSynth::playOnce(std::shared_ptr<const std::vector<float>> signal)
{
    once_ = std::move(signal);
    oncePos_ = 0;
    onceMode_ = true;
    onceGain_.snap(1.0);
    // The tone stops here; it comes back along its ramp after the signal.
    level_.snap(0.0);
}

void SignalSynth::endOnce()
{
    if (!onceMode_)
        return;
    onceMode_ = false;
    onceGain_.aim(0.0, rampFrames());
}

std::uint64_t SignalSynth::next64()
{
    // splitmix64: fast, and plenty for dither and noise.
    std::uint64_t z = (random_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

double SignalSynth::uniform() { return static_cast<double>(next64() >> 11) * 0x1.0p-53 - 0.5; }

double SignalSynth::ditherPair()
{
    // Two uniform values of 32 bits each from one draw: ample for dither.
    const std::uint64_t z = next64();
    return (static_cast<double>(z >> 32) + static_cast<double>(z & 0xffffffffULL)) * 0x1.0p-32 - 1.0 + 0x1.0p-32;
}

double SignalSynth::gaussian()
{
    const double u = uniform() + 0.5;
    const double v = uniform() + 0.5;
    return std::sqrt(-2.0 * std::log(1.0 - u)) * std::cos(kTwoPi * v);
}

double SignalSynth::voiceValue(Voice& v)
{
    switch (v.waveform) {
        case SynthWaveform::Sine:
            return std::sin(kTwoPi * phase_);
        case SynthWaveform::Square:
        case SynthWaveform::Triangle:
        case SynthWaveform::Sawtooth:
            return v.table->at(phase_);
        case SynthWaveform::WhiteNoise:
            return kSineRms * gaussian();
        case SynthWaveform::PinkNoise:
            return kSineRms * pinkScale_ * pinkStep(pink_, gaussian());
        case SynthWaveform::TwoToneLow:
        case SynthWaveform::TwoToneHigh: {
            const ToneMix mix = twoToneMix(v.waveform);
            const double value = mix.shareA * std::sin(kTwoPi * v.pairA) + mix.shareB * std::sin(kTwoPi * v.pairB);
            v.pairA = wrapped(v.pairA + mix.hzA / rate_);
            v.pairB = wrapped(v.pairB + mix.hzB / rate_);
            return value;
        }
    }
    return 0.0;
}

double SignalSynth::nextValue()
{
    double v = 0.0;
    if (voiceCount_ == 1) {
        v = voiceValue(voices_[0]);
    } else {
        // A crossfade: every voice at the one phase, by its share.
        for (int i = 0; i < voiceCount_; ++i) {
            Voice& voice = voices_[static_cast<std::size_t>(i)];
            v += voice.weight.next() * voiceValue(voice);
        }
        // The voices faded out leave; the order (the newest last) stays.
        int kept = 0;
        for (int i = 0; i < voiceCount_; ++i) {
            Voice& voice = voices_[static_cast<std::size_t>(i)];
            if (voice.weight.now > 0.0 || voice.weight.target > 0.0)
                std::swap(voices_[static_cast<std::size_t>(kept++)], voice);
        }
        for (int i = kept; i < voiceCount_; ++i)
            voices_[static_cast<std::size_t>(i)] = Voice{};
        voiceCount_ = kept;
    }
    phase_ = wrapped(phase_ + settings_.hz / rate_);
    return v;
}

void SignalSynth::renderSteady(double* out, std::size_t frames)
{
    // One voice, no ramp, nothing played once: plain loops, the tables' and
    // the sine's without a call per frame (silence while the level is 0).
    const double left = level_.now * left_.now, right = level_.now * right_.now;
    const auto put = [&](std::size_t i, double v) {
        out[2 * i] = std::clamp(v * left, -1.0, 1.0);
        out[2 * i + 1] = std::clamp(v * right, -1.0, 1.0);
    };
    const double dt = settings_.hz / rate_;
    const Voice& voice = voices_[0];
    if (level_.now == 0.0) {
        std::fill(out, out + 2 * frames, 0.0);
    } else if (voice.table) {
        const CycleTable& table = *voice.table;
        for (std::size_t i = 0; i < frames; ++i) {
            put(i, table.at(phase_));
            phase_ = wrapped(phase_ + dt);
        }
    } else if (voice.waveform == SynthWaveform::Sine) {
        for (std::size_t i = 0; i < frames; ++i) {
            put(i, std::sin(kTwoPi * phase_));
            phase_ = wrapped(phase_ + dt);
        }
    } else {
        for (std::size_t i = 0; i < frames; ++i)
            put(i, nextValue());
    }
}

void SignalSynth::renderExact(double* out, std::size_t frames)
{
    for (std::size_t i = 0; i < frames; ++i) {
        const bool ramps = level_.framesLeft > 0 || left_.framesLeft > 0 || right_.framesLeft > 0 || voiceCount_ > 1;
        if (!ramps && !onceSounds()) {
            renderSteady(out + 2 * i, frames - i);
            return;
        }
        double left = 0.0, right = 0.0;
        if (level_.now != 0.0 || level_.target != 0.0) {
            const double v = nextValue() * level_.next();
            left = v * left_.next();
            right = v * right_.next();
        }
        if (onceSounds()) {
            const double v = onceGain_.next() * static_cast<double>((*once_)[oncePos_++]);
            left += v;
            right += v;
        }
        out[2 * i] = std::clamp(left, -1.0, 1.0);
        out[2 * i + 1] = std::clamp(right, -1.0, 1.0);
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
            // Rounded to the nearest code (ties to even) by the double's own
            // rounding at a magnitude of 2^52, cheaper than a call to nearbyint.
            constexpr double kRound = 0x1.8p52;
            const double code = (exact[k] * fullScale_ + ditherPair() + kRound) - kRound;
            out[k] = static_cast<std::int32_t>(std::clamp(code, low, fullScale_));
        }
        out += 2 * n;
        frames -= n;
    }
}

}  // namespace varmolen
