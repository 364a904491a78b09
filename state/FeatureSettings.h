// Settings of the instrument's features that the 118-byte settings record has
// no room for: the measurement strip and its calibration, spectrum averaging
// and peak hold, and the folders last used for exports and recordings. They
// live in Varmolen.ini beside Varmolen.cfg, which they never touch. Every
// default leaves the instrument exactly as it is without these features.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "dsp/Calibration.h"
#include "dsp/ResponseSweep.h"
#include "dsp/SignalSynth.h"

namespace varmolen {

// Length limit of a WAV recording, in minutes: an hour unless the user sets
// another; at most six hours, which keeps a 44100 Hz stereo file under the
// 4 GiB a WAV file can describe.
constexpr std::int32_t kRecordLimitMinutesDefault = 60;
constexpr std::int32_t kRecordLimitMinutesMin = 1;
constexpr std::int32_t kRecordLimitMinutesMax = 360;

struct FeatureSettings {
    bool measureShown = false;                                     // [Measure] Shown
    std::array<double, 2> fullScaleVolts{0.0, 0.0};                // [Measure] FullScaleVolts1, FullScaleVolts2
    std::int32_t spectrumAverage = 0;                              // [Spectrum] Average: 0 (off), 4, 16 or 64 blocks
    bool peakHold = false;                                         // [Spectrum] PeakHold
    std::string exportFolder;                                      // [Folders] Export
    std::string recordFolder;                                      // [Folders] Recording
    std::int32_t recordLimitMinutes = kRecordLimitMinutesDefault;  // [Recording] LimitMinutes
    // The signal generator on the sound card's output and the response sweep.
    // The generator plays at program start only with OnAtStart=true.
    SynthSettings generator;          // [Generator] Waveform, Frequency, LevelDbfs, Channels, InvertRight
    std::string generatorDevice;      // [Generator] Device: an ALSA device name; empty for ALSA's default
    bool generatorOnAtStart = false;  // [Generator] OnAtStart
    SweepPlan sweep;                  // [Sweep] Start, Stop, StepsPerOctave, LevelDbfs, Channel

    friend bool operator==(const FeatureSettings&, const FeatureSettings&) = default;
};

// 0 (off), 4, 16 or 64.
bool isSpectrumAverage(std::int32_t blocks);
// Within kRecordLimitMinutesMin..kRecordLimitMinutesMax.
bool isRecordLimitMinutes(std::int32_t minutes);
// The highest frequency the generator or a sweep may be set to in the file;
// the sample rate limits it further when it plays.
constexpr double kSettingsMaxHz = 100000.0;

}  // namespace varmolen
