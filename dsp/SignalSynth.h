// The signal generator's numerics: the waveform a sound card's output plays,
// as interleaved stereo codes (left, right) at 16 or 24 bits.
//
// A tone's phase is a double-precision accumulator in cycles, so the
// frequency is exact to far below 1e-6 of the setting and a new frequency
// goes on from the phase the old one reached. The square, the triangle and
// the sawtooth are band-limited: each plays only the harmonics of its ideal
// series below half the sample rate, read from a table of one cycle
// (dsp/CycleTable.h). Everything else a setting changes moves along a
// straight line over kSynthRampSeconds, so nothing clicks: the level, and
// silence and back when the output is switched off and on; each channel's
// gain when the channels change (inverting the right channel takes its gain
// through zero to minus itself); and a new waveform crossfades from the old,
// both played at the one phase. Levels are on the measurement strip's
// scale: a sine at 0 dBFS peaks at full scale (32767 at 16 bits), the
// periodic waveforms and the two-tone pairs peak at the level, noise has the
// RMS of a sine at that level. Every sample is dithered with triangular noise
// of two steps peak to peak before it is rounded, so the rounding leaves no
// distortion, only a flat floor.
//
// Besides the tone, the output can play a prepared signal once (a log sweep)
// on both channels, then digital silence.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "dsp/CycleTable.h"

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
    // phase where it is, the rest along their ramps. `prepared` is the table
    // tableFor made for these settings on another thread, so that none is
    // built here; without it (or with another) the table is found or built
    // here. Settings equal to the present ones change nothing.
    void set(const SynthSettings& settings, std::shared_ptr<const CycleTable> prepared = nullptr);
    const SynthSettings& settings() const { return settings_; }
    // The table `settings` play at `rate` (null for a waveform without one).
    static std::shared_ptr<const CycleTable> tableFor(const SynthSettings& settings, double rate);
    // Switches the output on or off, along a ramp.
    void switchOn(bool on);
    bool switchedOn() const { return on_; }
    // Off, the ramp down finished and nothing playing once: every frame is zero.
    bool silent() const { return !on_ && level_.now == 0.0 && !onceSounds(); }

    // From the next frame rendered, both channels play signal[0..n-1] (full
    // scale 1, as it is: no level, no ramp, whatever the channels and the
    // inversion), dithered and rounded as every sample, and then digital
    // silence, until a set() or switchOn() that changes something: the
    // signal then fades out along a ramp while the tone comes back along
    // its own.
    void playOnce(std::shared_ptr<const std::vector<float>> signal);
    // Frames of the signal rendered so far.
    std::uint64_t framesPlayedOnce() const { return oncePos_; }
    // Frames of it are still to come.
    bool playingOnce() const { return onceMode_ && once_ && oncePos_ < once_->size(); }

    // Renders `frames` stereo frames into out[0..2*frames-1], left first.
    void render(std::int32_t* out, std::size_t frames);
    // The same before dither and rounding, in full-scale units; for tests.
    void renderExact(double* out, std::size_t frames);

    // The tone's phase in cycles, 0 <= phase < 1.
    double phase() const { return phase_; }
    // The code of a full-scale positive peak at this depth.
    double fullScale() const { return fullScale_; }

private:
    // A value moving along a straight line to its target, which it reaches
    // exactly, on the last frame of the ramp.
    struct Ramp {
        double now = 0.0, target = 0.0, step = 0.0;  // step: per frame, positive
        int framesLeft = 0;
        void aim(double to, double frames);
        void snap(double to) { now = target = to, step = 0.0, framesLeft = 0; }
        double next();
    };
    // A waveform the output plays, with its share of it: one, or a few
    // during a crossfade.
    struct Voice {
        SynthWaveform waveform = SynthWaveform::Sine;
        std::shared_ptr<const CycleTable> table;  // square, triangle and sawtooth
        Ramp weight;
        double pairA = 0.0, pairB = 0.0;  // a two-tone pair's phases in cycles
    };
    static constexpr int kMaxVoices = 3;

    double nextValue();  // one frame's waveform at unit level, before the gains
    void renderSteady(double* out, std::size_t frames);
    double voiceValue(Voice& v);
    std::uint64_t next64();
    double uniform();     // -0.5 <= u < 0.5
    double ditherPair();  // the sum of two uniform values: -1 < d < 1, triangular
    double gaussian();
    double rampFrames() const { return kSynthRampSeconds * rate_; }
    void aimVoices(SynthWaveform waveform, std::shared_ptr<const CycleTable> table);
    void aimChannels();
    void aimGain();
    void endOnce();
    bool onceSounds() const { return once_ && onceGain_.now > 0.0 && oncePos_ < once_->size(); }

    double rate_;
    int bits_;
    double fullScale_;
    SynthSettings settings_;
    bool on_ = false;
    double phase_ = 0.0;  // cycles of the tone
    Ramp level_;          // the level's gain
    Ramp left_, right_;   // each channel's gain, -1 .. 1
    std::array<Voice, kMaxVoices> voices_{};
    int voiceCount_ = 1;
    std::shared_ptr<const std::vector<float>> once_;
    std::size_t oncePos_ = 0;
    bool onceMode_ = false;
    Ramp onceGain_;
    std::uint64_t random_;
    std::array<double, 7> pink_{};  // the pink filter's state
    double pinkScale_ = 1.0;        // brings the pink filter's output to unit RMS
};

}  // namespace varmolen
