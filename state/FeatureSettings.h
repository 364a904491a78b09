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
#include "dsp/SpectrumAnalysis.h"
#include "dsp/SignalSynth.h"
#include "state/RecordFormat.h"

namespace varmolen {

// Length limit of a WAV recording, in minutes: an hour unless the user sets
// another; at most six hours, which keeps a 44100 Hz stereo 16-bit file
// under the 4 GiB a WAV file can describe (a wider format, or a higher rate,
// ends the file sooner: recordLimitFrames).
constexpr std::int32_t kRecordLimitMinutesDefault = 60;
constexpr std::int32_t kRecordLimitMinutesMin = 1;
constexpr std::int32_t kRecordLimitMinutesMax = 360;

// The display's size: the instrument's own 513 x 343 pixels, twice that, or
// the room the window leaves it (the window then has a resizable border).
constexpr std::int32_t kNormalDisplaySize = 0;
constexpr std::int32_t kLargeDisplaySize = 1;
constexpr std::int32_t kFitDisplaySize = 2;
// The labels around the display: as the size says (off at Normal, on at
// Large and Fit), or as the user chose.
constexpr std::int32_t kAxisLabelsBySize = -1;
constexpr std::int32_t kAxisLabelsOff = 0;
constexpr std::int32_t kAxisLabelsOn = 1;
// The record of everything recorded, in seconds at the rate in force: ten
// unless the user sets another, 1 to 600. The machine's memory bounds it
// further: a second at 192000 Hz stereo costs about 1.6 MB, a minute 96.5 MB.
constexpr std::int32_t kMemorySecondsDefault = 10;
constexpr std::int32_t kMemorySecondsMin = 1;
constexpr std::int32_t kMemorySecondsMax = 600;
// How finely the input is recorded: the instrument's 16-bit frames, or the
// card's 24 bits (in 32-bit frames), or 32-bit floats. The display draws
// the same picture at every precision; the record, the strip and the
// analyser keep what the card gives.
// The response sweep's kind: stepped sine (a tone a step, level and
// distortion read at each) or a logarithmic sine sweep played once and
// deconvolved (magnitude, phase, impulse and harmonic responses).
constexpr std::int32_t kSteppedSweep = 0;
constexpr std::int32_t kLogSweep = 1;
constexpr std::array<const char*, 2> kSweepTypeNames{"stepped", "log"};
// What a log sweep is divided by: nothing, channel 2 recording the output
// straight back, or a saved measurement (a calibration of the card).
constexpr std::int32_t kSweepReferenceNone = 0;
constexpr std::int32_t kSweepReferenceChannel2 = 1;
constexpr std::int32_t kSweepReferenceSaved = 2;
constexpr std::array<const char*, 3> kSweepReferenceNames{"none", "ch2", "saved"};
// Fractional-octave smoothing of a log sweep's curves: 0 (none) or 1/N octave.
constexpr std::array<std::int32_t, 6> kSweepSmoothings{0, 48, 24, 12, 6, 3};
constexpr double kSweepSecondsDefault = 5.0;
bool isSweepSmoothing(std::int32_t n);

constexpr std::int32_t kPrecision16 = 0;
constexpr std::int32_t kPrecision24 = 1;
constexpr std::int32_t kPrecisionFloat = 2;
// The trigger's sweep for pictures of the record: Auto draws the newest
// span when no trigger comes, Normal waits for one. Single (the panel's
// switch, in the settings record) waits as Normal does and holds the first.
constexpr std::int32_t kAutoSweep = 0;
constexpr std::int32_t kNormalSweep = 1;
// The holdoff: the least time from one trigger point to the next, 0 to 10 s.
constexpr double kHoldoffMaxSeconds = 10.0;
// How pictures of the record follow the signal: rolling from
// kRollFromPerDiv a division and triggered below (auto), always triggered
// (main), or always rolling (roll).
constexpr double kRollFromPerDiv = 0.1;
constexpr std::int32_t kAutoTimeBase = 0;
constexpr std::int32_t kMainTimeBase = 1;
constexpr std::int32_t kRollTimeBase = 2;
// Remote control: the raw-socket port instruments usually answer on, and
// only this computer may connect unless the user names another address.
constexpr std::int32_t kRemotePortDefault = 5025;
inline constexpr const char* kRemoteListenDefault = "127.0.0.1";
// A client silent this long is let go, so idle connections never hold every
// place; 0 keeps silent clients for ever. At most a week.
constexpr std::int32_t kRemoteIdleSecondsDefault = 600;
constexpr std::int32_t kRemoteIdleSecondsMax = 7 * 24 * 3600;
// The longest *OPC? or *WAI waits for the readings to follow the commands
// before it gives up with an error (no trigger, no device): 1 s to an hour.
constexpr std::int32_t kRemoteOpcTimeoutSecondsDefault = 30;
constexpr std::int32_t kRemoteOpcTimeoutSecondsMax = 3600;

// The spectrum analyser: the FREQUENCY display as the block's spectrum
// draws it until one of these leaves its default, and the spectrogram.
// Levels are read in dBFS, in dBV or dBu on a calibrated channel, or as a
// density in dBFS/Hz.
constexpr std::int32_t kDbfsUnit = 0;
constexpr std::int32_t kDbvUnit = 1;
constexpr std::int32_t kDbuUnit = 2;
constexpr std::int32_t kDbfsPerHzUnit = 3;
constexpr std::int32_t kLevelUnitCount = 4;
// The level axis: its top and its height, ten divisions.
constexpr double kLevelTopDefault = 0.0;
constexpr double kLevelTopMin = -200.0;
constexpr double kLevelTopMax = 200.0;
constexpr double kLevelRangeDefault = 120.0;
constexpr double kLevelRangeMin = 10.0;
constexpr double kLevelRangeMax = 300.0;
// The lowest frequency a logarithmic axis starts at when no start is set.
constexpr double kLogAxisStartDefault = 20.0;
// Fractional-octave bands: none, or 1/b octave.
inline constexpr std::array<std::int32_t, 5> kOctaveFractions = {0, 1, 3, 6, 12};
// The menu's choices: the lengths, the tops and ranges of the level axis.
inline constexpr std::array<std::int32_t, 9> kAnalysisLengths = {1024,  2048,  4096,   8192,  16384,
                                                                 32768, 65536, 131072, 262144};
inline constexpr std::array<double, 4> kLevelTops = {20.0, 0.0, -20.0, -40.0};
inline constexpr std::array<double, 5> kLevelRanges = {60.0, 80.0, 100.0, 120.0, 160.0};
// The spectrogram's history, at least.
constexpr double kSpectrogramSeconds = 20.0;

struct AnalyserSettings {
    std::int32_t length = kAnalysisMinLength;           // [Spectrum] Length: 1024 .. 262144, powers of two
    AnalysisWindow window = AnalysisWindow::Specified;  // [Spectrum] Window
    bool logFrequency = false;                          // [Spectrum] Scale: lin or log
    double startHz = 0.0;                               // [Spectrum] Start: 0 = the axis's lowest
    double stopHz = 0.0;                                // [Spectrum] Stop: 0 = half the rate
    std::int32_t unit = kDbfsUnit;                      // [Spectrum] Unit
    double topDb = kLevelTopDefault;                    // [Spectrum] Top
    double rangeDb = kLevelRangeDefault;                // [Spectrum] Range
    std::int32_t bands = 0;                             // [Spectrum] Bands: 0, 1, 3, 6, 12
    Weighting weighting = Weighting::Z;                 // [Spectrum] Weighting
    bool spectrogram = false;                           // [Display] Spectrogram: the FREQUENCY display's other kind

    friend bool operator==(const AnalyserSettings&, const AnalyserSettings&) = default;
};

// Whether the FREQUENCY display is the analyser's rather than the block's
// spectrum: any of its settings but the weighting (which only the bands and
// the strip read) differs from its default.
bool analyserChosen(const AnalyserSettings& a);

struct FeatureSettings {
    bool measureShown = false;                                     // [Measure] Shown
    std::array<double, 2> fullScaleVolts{0.0, 0.0};                // [Measure] FullScaleVolts1, FullScaleVolts2
    std::int32_t spectrumAverage = 0;                              // [Spectrum] Average: 0 (off), 4, 16 or 64 blocks
    bool peakHold = false;                                         // [Spectrum] PeakHold
    std::string exportFolder;                                      // [Folders] Export
    std::string recordFolder;                                      // [Folders] Recording
    std::int32_t recordLimitMinutes = kRecordLimitMinutesDefault;  // [Recording] LimitMinutes
    RecordFormat recordFormat = RecordFormat::Pcm16;               // [Recording] Format: 16, 24 or float
    std::int32_t displaySize = kNormalDisplaySize;                 // [Display] Size: normal, large or fit
    std::int32_t axisLabels = kAxisLabelsBySize;                   // [Display] AxisLabels: absent, or on/off
    std::int32_t fitWidth = 0;  // [Display] FitWidth, FitHeight: the window's size at fit; 0 = not set
    std::int32_t fitHeight = 0;
    // [Acquisition] SampleRate: the rate chosen in the Sample Rate menu when
    // it is none of the three buttons' (Varmolen.cfg keeps the last button
    // rate); 0 when the buttons' rate is in force.
    std::uint32_t sampleRate = 0;
    std::int32_t memorySeconds = kMemorySecondsDefault;  // [Acquisition] MemorySeconds
    std::int32_t precision = kPrecision16;               // [Acquisition] Precision: 16, 24 or float
    // Pictures of the record: the seconds a division (0: the Time dial's
    // picture of one block), the mode, and the part
    // of the span before the trigger point (0 to 1); the trigger's sweep and
    // holdoff there.
    double timePerDiv = 0.0;                                                 // [TimeBase] PerDiv
    std::int32_t timeBaseMode = kAutoTimeBase;                               // [TimeBase] Mode: auto, main or roll
    double triggerPosition = 0.0;                                            // [TimeBase] Position
    std::int32_t triggerSweep = kAutoSweep;                                  // [Trigger] Sweep: auto or normal
    double holdoffSeconds = 0.0;                                             // [Trigger] Holdoff
    bool remoteEnabled = false;                                              // [Remote] Enabled
    std::int32_t remotePort = kRemotePortDefault;                            // [Remote] Port: 1..65535
    std::string remoteListen = kRemoteListenDefault;                         // [Remote] Listen: an IP address
    std::int32_t remoteIdleSeconds = kRemoteIdleSecondsDefault;              // [Remote] IdleSeconds: 0 = never
    std::int32_t remoteOpcTimeoutSeconds = kRemoteOpcTimeoutSecondsDefault;  // [Remote] OpcTimeoutSeconds
    // [Remote] FilesFolder: the one folder a remote client records into;
    // empty for the folder the window last recorded into.
    std::string remoteFilesFolder;
    // The signal generator on the sound card's output and the response sweep.
    // The generator plays at program start only with OnAtStart=true.
    SynthSettings generator;                     // [Generator] Waveform, Frequency, LevelDbfs, Channels, InvertRight
    std::string generatorDevice;                 // [Generator] Device: an ALSA device name; empty for ALSA's default
    bool generatorOnAtStart = false;             // [Generator] OnAtStart
    SweepPlan sweep;                             // [Sweep] Start, Stop, StepsPerOctave, LevelDbfs, Channel
    std::int32_t sweepType = kSteppedSweep;      // [Sweep] Type: stepped or log
    double sweepSeconds = kSweepSecondsDefault;  // [Sweep] Seconds: a log sweep's length
    std::int32_t sweepReference = kSweepReferenceNone;  // [Sweep] Reference: none, ch2 or saved
    std::int32_t sweepSmoothing = 0;                    // [Sweep] Smoothing: 0 or N of 1/N octave
    std::string sweepCalibration;                       // [Sweep] Calibration: the saved measurement's file
    AnalyserSettings analyser;

    friend bool operator==(const FeatureSettings&, const FeatureSettings&) = default;
};

// 0 (off), 4, 16 or 64.
bool isSpectrumAverage(std::int32_t blocks);
// Whether the labels around the display are shown: the user's choice, or on
// at Large and Fit and off at Normal.
bool axisLabelsShown(const FeatureSettings& f);

// Within kRecordLimitMinutesMin..kRecordLimitMinutesMax.
bool isRecordLimitMinutes(std::int32_t minutes);
// 1..65535.
bool isRemotePort(std::int32_t port);
// A numeric IPv4 or IPv6 address ("127.0.0.1", "::1", "0.0.0.0").
bool isRemoteListenAddress(const std::string& text);
// The highest frequency the generator or a sweep may be set to in the file;
// the sample rate limits it further when it plays.
constexpr double kSettingsMaxHz = 100000.0;

}  // namespace varmolen
