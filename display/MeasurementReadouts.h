// The texts of the measurement strip: each is the reading alone, a number
// and its unit ("440.00 Hz", "-6.02 dBFS", "1.00 %", "12.34 mV"), or "?"
// where no value can be formed. Levels read against full scale the way
// AES17 has it: a sine whose peaks reach full scale (32767) reads 100 % and
// 0 dBFS in every level, its RMS included, so a half-scale sine reads
// -6.02 dBFS RMS. A calibrated channel reads volts (mV below 1 V) instead of
// % and dBFS; its dBFS texts are then empty. A level below -120 dBFS (the
// floor no 16-bit recording reaches but by averaging) reads "< -120 dBFS",
// or in volts "<" and what -120 dBFS is on that channel; a DC mean within
// half a code of 0 reads 0.
#pragma once

#include <optional>
#include <string>

#include "dsp/Measurements.h"
#include "dsp/SpectrumAnalysis.h"
#include "state/FeatureSettings.h"

namespace varmolen {

namespace measure_text {
inline constexpr const char* kUnknown = "?";
inline constexpr const char* kOverload = "Overload";
inline constexpr const char* kNoOverload = "OK";
inline constexpr const char* kBelowFloor = "< -120 dBFS";
}  // namespace measure_text

// The volts of a sample value on channel 1 or 2 as the feature settings
// calibrate it; nothing when it is not calibrated.
std::optional<double> channelVolts(const FeatureSettings& settings, int channel, double code);

// The lowest level read as a number: -120 dBFS.
inline constexpr double kLevelFloor = 1e-6;

// Frequency with as many decimals as its uncertainty allows: the last digit
// shown is right to within one, as four standard uncertainties fit in it.
std::string formatFrequency(double hz, double sigmaHz, char decimalSeparator);
// The period of that frequency in s, ms or µs, to the same relative resolution.
std::string formatPeriod(double hz, double sigmaHz, char decimalSeparator);
// A ratio to full scale in percent, two decimals: 0.5 -> "50.00 %".
std::string formatPercent(double ratio, char decimalSeparator);
// 20 log10 of a ratio with two decimals and the unit: 0.5 -> "-6.02 dBFS";
// "?" for a ratio of 0.
std::string formatDecibels(double ratio, const char* unit, char decimalSeparator);
// A level's ratio to full scale in dBFS with two decimals: 0.5 -> "-6.02
// dBFS"; "< -120 dBFS" below kLevelFloor, 0 included; "?" when not a number.
std::string formatLevelDecibels(double ratio, char decimalSeparator);
// Volts to four significant digits in V, mV, µV or nV, whichever holds the
// value from 1 up: "1.234 V", "12.34 mV", "-115.2 nV"; 0 is "0.000 mV".
std::string formatVolts(double volts, char decimalSeparator);
// A distortion ratio in percent to three significant digits:
// 0.01 -> "1.00 %", 0.000123 -> "0.0123 %", 0.123 -> "12.3 %".
std::string formatDistortion(double ratio, char decimalSeparator);

// The levels a channel's readings are shown in: each as a ratio to full
// scale (what % and dBFS read) and in codes (what volts read on a calibrated
// channel).
enum class LevelKind { PeakToPeak, Maximum, Minimum, DcMean, Rms, Tone };
struct LevelValue {
    double ratio = 0.0;
    double codes = 0.0;
};
// Nothing when the readings hold no such level.
std::optional<LevelValue> readingLevel(const ChannelReadings& r, LevelKind kind);

// One channel's row in the TIME display.
struct TimeRowTexts {
    std::string frequency;
    std::string period;
    std::string peakToPeak;
    std::string peakToPeakDb;
    std::string maximum;
    std::string maximumDb;
    std::string minimum;
    std::string minimumDb;
    std::string dcMean;
    std::string dcMeanDb;
    std::string rms;
    std::string rmsDb;
    std::string overload;
};

// One channel's row in the FREQUENCY display.
struct ToneRowTexts {
    std::string peakFrequency;
    std::string peakLevel;
    std::string peakLevelDb;
    std::string thd;
    std::string thdDb;
    std::string thdN;
    std::string thdNDb;
    // The weighted level of the whole spectrum: "-23.4 dBFS(A)".
    std::string weighted;
    // The noise beside the tone and its harmonics, unweighted and
    // A-weighted ("-96.12 dBFS", "-98.30 dBFS(A)"), in dBFS whether or not
    // the channel is calibrated; the SNR and the dynamic range ("95.43 dB";
    // the dynamic range "?" but from a tone within 10 dB of -60 dBFS).
    std::string noise;
    std::string noiseA;
    std::string snr;
    std::string dynamicRange;
    // Intermodulation of a two-tone pair ("0.0123 %", "-78.21 dB") and the
    // method it was read by ("SMPTE", "DFD"; empty with no reading).
    std::string imd;
    std::string imdDb;
    std::string imdMethod;
};

// Fixed-point text independent of the process's locale, with the window's
// decimal separator ('\0': a point); never "-0.00".
std::string fixedText(double value, int decimals, char decimalSeparator);

// The readings of a channel as texts; `fullScaleVolts` 0 = not calibrated.
TimeRowTexts timeTexts(const ChannelReadings& r, double fullScaleVolts, char decimalSeparator);
// The weighted level is read with `weighting` (Z, A or C).
ToneRowTexts toneTexts(const ChannelReadings& r, double fullScaleVolts, char decimalSeparator,
                       Weighting weighting = Weighting::Z);

}  // namespace varmolen
