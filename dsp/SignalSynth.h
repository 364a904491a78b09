// The signal generator's numerics: the waveform a sound card's output plays,
// as interleaved stereo codes (left, right) at 16 or 24 bits.
//
// A tone's phase is a double-precision accumulator in cycles, so the
// frequency is exact to far below 1e-6 of the setting and a new frequency
// goes on from the phase the old one reached. The level is a gain that moves
// to a new setting, or to silence and back when the output is switched off
// and on, along a straight line over kSynthRampSeconds, so neither makes a
// click. Levels are on the measurement strip's scale: a sine at 0 dBFS peaks
// at full scale (32767 at 16 bits), the periodic waveforms and the two-tone
// pairs peak at the level, noise has the RMS of a sine at that level. Every
// sample is dithered with triangular noise of two steps peak to peak before
// it is rounded, so the rounding leaves no distortion, only a flat floor.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace varmolen {

enum class SynthWaveform { Sine, Square, Triangle, Sawtooth, WhiteNoise, PinkNoise, TwoToneLow, TwoToneHigh };
constexpr int kSynthWaveformCount = 8;
// The stored names of the waveforms, in the enumeration's order.
constexpr std::array<const char*, kSynthWaveformCount> kSynthWaveformNames{
    "sine", "square", "triangle", "sawtooth", "white", "pink", "imd-60-7000", "imd-19000-20000"};

enum class SynthChannels { Left, Right, Both };
constexpr std::array<const char*, 3> kSynthChannelNames{"left", "right", "both"};

constexpr double kSynthMinHz = 1.0;
// The highest frequency is this fraction of the sample rate.
constexpr double kSynthMaxRateFraction = 0.45;
constexpr double kSynthMinDbfs = -100.0;
constexpr double kSynthMaxDbfs = 0.0;
constexpr double kSynthRampSeconds = 0.005;

struct SynthSettings {
    SynthWaveform waveform = SynthWaveform::Sine;
    double hz = 1000.0;
    double levelDbfs = -20.0;
    SynthChannels channels = SynthChannels::Both;
    bool invertRight = false;

    friend bool operator==(const SynthSettings&, const SynthSettings&) = default;
};

// The two tones of a two-tone waveform and the share of the peak each has.
struct ToneMix {
    double hzA = 0.0, hzB = 0.0;
    double shareA = 0.0, shareB = 0.0;
};
ToneMix twoToneMix(SynthWaveform waveform);

// The highest frequency the generator plays at `rate`.
double synthMaxHz(double rate);
// The settings with frequency and level brought into their ranges at `rate`.
SynthSettings clampSynthSettings(SynthSettings s, double rate);

class SignalSynth {
public:
    // `bits`: 16 or 24. The output starts switched off and silent.
    SignalSynth(double rate, int bits, std::uint64_t seed = 0x5eed1234abcdULL);

    double rate() const { return rate_; }
    int bits() const { return bits_; }
    // Takes effect from the next frame rendered: a frequency at once with the
    // phase where it is, a level along a ramp.
    void set(const SynthSettings& settings);
    const SynthSettings& settings() const { return settings_; }
    // Switches the output on or off, along a ramp.
    void switchOn(bool on);
    bool switchedOn() const { return on_; }
    // Off and the ramp down finished: every frame is zero.
    bool silent() const { return !on_ && gain_ == 0.0; }

    // Renders `frames` stereo frames into out[0..2*frames-1], left first.
    void render(std::int32_t* out, std::size_t frames);
    // The same before dither and rounding, in full-scale units; for tests.
    void renderExact(double* out, std::size_t frames);

    // The tone's phase in cycles, 0 <= phase < 1.
    double phase() const { return phase_; }
    // The code of a full-scale positive peak at this depth.
    double fullScale() const { return fullScale_; }

private:
    double nextValue();  // one frame's waveform at unit level, before the gain
    double uniform();    // -0.5 <= u < 0.5
    double gaussian();
    void aimGain();
    double nextGain();

    double rate_;
    int bits_;
    double fullScale_;
    SynthSettings settings_;
    bool on_ = false;
    double phase_ = 0.0;   // cycles of the tone (tone A of a pair)
    double phaseB_ = 0.0;  // cycles of tone B of a pair
    double gain_ = 0.0;    // now
    double target_ = 0.0;  // where the ramp goes
    double step_ = 0.0;    // per frame, positive
    std::uint64_t random_;
    std::array<double, 7> pink_{};  // the pink filter's state
    double pinkScale_ = 1.0;        // brings the pink filter's output to unit RMS
};

}  // namespace varmolen
