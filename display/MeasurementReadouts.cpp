#include "display/MeasurementReadouts.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <utility>

#include "dsp/Calibration.h"

namespace varmolen {

namespace {

constexpr int kMaxDecimals = 4;
constexpr int kMaxSignificant = 7;

// A value whose standard uncertainty is sigma, to the digit that four
// uncertainties fill; coarser than units it is rounded to tens, hundreds...
std::string resolved(double value, double sigma, char decimalSeparator)
{
    const int order = static_cast<int>(std::floor(std::log10(std::abs(value))));
    const int finest = std::min(kMaxDecimals, std::max(0, kMaxSignificant - 1 - order));
    if (!(sigma > 0.0) || !std::isfinite(sigma))
        return fixedText(value, finest, decimalSeparator);
    const int exponent = static_cast<int>(std::ceil(std::log10(4.0 * sigma)));
    if (exponent > 0) {
        const double unit = std::pow(10.0, exponent);
        return fixedText(std::round(value / unit) * unit, 0, decimalSeparator);
    }
    return fixedText(value, std::min(finest, -exponent), decimalSeparator);
}

double ratioToFullScale(double codes) { return codes / kFullScaleCode; }

// An AC RMS as the level of the sine that has it: full scale = 32767 / sqrt 2.
double rmsToFullScale(double codes) { return codes * std::sqrt(2.0) / kFullScaleCode; }

struct LevelText {
    std::string value;
    std::string decibels;
};

// % and dBFS of a ratio to full scale, or volts of `codes` on a calibrated
// channel; below the floor (but not 0) the volts of the floor after "<".
LevelText level(double ratio, double codes, double fullScaleVolts, char decimalSeparator)
{
    if (const std::optional<double> volts = channelVolts(codes, fullScaleVolts)) {
        if (codes != 0.0 && std::abs(ratio) < kLevelFloor)
            return {"< " + formatVolts(std::abs(*volts) * kLevelFloor / std::abs(ratio), decimalSeparator), {}};
        return {formatVolts(*volts, decimalSeparator), {}};
    }
    return {formatPercent(ratio, decimalSeparator), formatLevelDecibels(ratio, decimalSeparator)};
}

// A power in squared codes of a sine's amplitude in dBFS with the unit
// given, "< -120" and the unit below the floor; "?" when not a number.
std::string powerText(double power, const char* unit, char decimalSeparator)
{
    if (!(power >= 0.0) || !std::isfinite(power))
        return measure_text::kUnknown;
    const double ratio = std::sqrt(power) / kAnalysisFullScale;
    if (ratio < kLevelFloor)
        return "< -120 " + std::string(unit);
    return formatDecibels(ratio, unit, decimalSeparator);
}

std::string decibelText(bool valid, double db, char decimalSeparator)
{
    if (!valid || !std::isfinite(db))
        return measure_text::kUnknown;
    return fixedText(db, 2, decimalSeparator) + " dB";
}

}  // namespace

// Fixed-point text independent of the process's locale, with the window's
// decimal separator; never "-0.00".
std::string fixedText(double value, int decimals, char decimalSeparator)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    std::string text(buffer, result.ptr);
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos)
        text.erase(0, 1);
    const char separator = decimalSeparator == '\0' ? '.' : decimalSeparator;
    std::replace(text.begin(), text.end(), '.', separator);
    return text;
}

std::string formatFrequency(double hz, double sigmaHz, char decimalSeparator)
{
    if (!(hz > 0.0) || !std::isfinite(hz))
        return measure_text::kUnknown;
    return resolved(hz, sigmaHz, decimalSeparator) + " Hz";
}

std::string formatPeriod(double hz, double sigmaHz, char decimalSeparator)
{
    if (!(hz > 0.0) || !std::isfinite(hz))
        return measure_text::kUnknown;
    const double seconds = 1.0 / hz;
    const double sigma = sigmaHz / (hz * hz);
    struct Unit {
        double scale;
        const char* name;
    };
    constexpr Unit kUnits[] = {{1e6, " µs"}, {1e3, " ms"}, {1.0, " s"}};
    // The smallest unit in which the period, as shown, stays below 1000.
    for (const Unit& u : kUnits) {
        const std::string text = resolved(seconds * u.scale, sigma * u.scale, decimalSeparator);
        long whole = 0;
        std::from_chars(text.data(), text.data() + text.size(), whole);
        if (whole < 1000 || u.scale == 1.0)
            return text + u.name;
    }
    return measure_text::kUnknown;
}

std::string formatPercent(double ratio, char decimalSeparator)
{
    if (!std::isfinite(ratio))
        return measure_text::kUnknown;
    return fixedText(ratio * 100.0, 2, decimalSeparator) + " %";
}

std::string formatDecibels(double ratio, const char* unit, char decimalSeparator)
{
    const double magnitude = std::abs(ratio);
    if (!(magnitude > 0.0) || !std::isfinite(magnitude))
        return measure_text::kUnknown;
    return fixedText(20.0 * std::log10(magnitude), 2, decimalSeparator) + " " + unit;
}

std::string formatLevelDecibels(double ratio, char decimalSeparator)
{
    const double magnitude = std::abs(ratio);
    if (!std::isfinite(magnitude))
        return measure_text::kUnknown;
    if (magnitude < kLevelFloor)
        return measure_text::kBelowFloor;
    return formatDecibels(magnitude, "dBFS", decimalSeparator);
}

std::string formatVolts(double volts, char decimalSeparator)
{
    if (!std::isfinite(volts))
        return measure_text::kUnknown;
    struct Unit {
        double scale;
        const char* name;
    };
    constexpr Unit kUnits[] = {{1.0, " V"}, {1e-3, " mV"}, {1e-6, " µV"}, {1e-9, " nV"}};
    constexpr std::size_t kLast = std::size(kUnits) - 1;
    // Four significant digits, at most four decimals (below 1 nV).
    const auto decimalsOf = [](double v) {
        if (v == 0.0)
            return 3;
        const int order = static_cast<int>(std::floor(std::log10(std::abs(v))));
        return std::clamp(3 - order, 0, 4);
    };
    // The largest unit in which the value is at least 1; 0 in mV.
    std::size_t u = 1;
    if (volts != 0.0) {
        u = 0;
        while (u < kLast && std::abs(volts) < kUnits[u].scale)
            ++u;
    }
    double value = volts / kUnits[u].scale;
    int decimals = decimalsOf(value);
    const double step = std::pow(10.0, -decimals);
    const double rounded = std::round(value / step) * step;
    // A value that rounds up into the next decade (999.96 mV) is written
    // there (1.000 V), with the digits that keep four significant ones.
    if (u > 0 && std::abs(rounded) >= 1000.0) {
        --u;
        value = std::copysign(std::abs(rounded) / 1000.0, volts);
        decimals = decimalsOf(value);
    } else if (rounded != 0.0 && decimalsOf(rounded) < decimals) {
        decimals = decimalsOf(rounded);
    }
    return fixedText(value, decimals, decimalSeparator) + kUnits[u].name;
}

std::string formatDistortion(double ratio, char decimalSeparator)
{
    if (!(ratio >= 0.0) || !std::isfinite(ratio))
        return measure_text::kUnknown;
    const double percent = ratio * 100.0;
    if (percent == 0.0)
        return fixedText(0.0, 2, decimalSeparator) + " %";
    const int order = static_cast<int>(std::floor(std::log10(percent)));
    return fixedText(percent, std::clamp(2 - order, 0, 5), decimalSeparator) + " %";
}

std::optional<LevelValue> readingLevel(const ChannelReadings& r, LevelKind kind)
{
    if (!r.recorded)
        return std::nullopt;
    if (kind == LevelKind::Tone) {
        if (!r.tone.valid)
            return std::nullopt;
        // The tone's level: its RMS, in volts RMS where calibrated.
        return LevelValue{ratioToFullScale(r.tone.amplitude), r.tone.amplitude / std::sqrt(2.0)};
    }
    if (!r.levels.valid)
        return std::nullopt;
    const LevelReadings& l = r.levels;
    switch (kind) {
        case LevelKind::PeakToPeak:
            return LevelValue{l.peakToPeak / (2.0 * kFullScaleCode), l.peakToPeak};
        case LevelKind::Maximum:
            return LevelValue{ratioToFullScale(l.maximum), l.maximum};
        case LevelKind::Minimum:
            return LevelValue{ratioToFullScale(l.minimum), l.minimum};
        case LevelKind::DcMean: {
            // Within half a code of 0 the mean is 0: what is left is rounding.
            const double dc = std::abs(l.dcMean) < 0.5 ? 0.0 : l.dcMean;
            return LevelValue{ratioToFullScale(dc), dc};
        }
        default:
            return LevelValue{rmsToFullScale(l.acRms), l.acRms};
    }
}

TimeRowTexts timeTexts(const ChannelReadings& r, double fullScaleVolts, char separator)
{
    TimeRowTexts t;
    const bool calibrated = channelVolts(0.0, fullScaleVolts).has_value();
    const std::string unknownDb = calibrated ? std::string() : std::string(measure_text::kUnknown);
    t.frequency = r.recorded && r.frequency.valid ? formatFrequency(r.frequency.hz, r.frequency.sigmaHz, separator)
                                                  : measure_text::kUnknown;
    t.period = r.recorded && r.frequency.valid ? formatPeriod(r.frequency.hz, r.frequency.sigmaHz, separator)
                                               : measure_text::kUnknown;
    if (!r.recorded || !r.levels.valid) {
        t.peakToPeak = t.maximum = t.minimum = t.dcMean = t.rms = measure_text::kUnknown;
        t.peakToPeakDb = t.maximumDb = t.minimumDb = t.dcMeanDb = t.rmsDb = unknownDb;
    } else {
        const auto put = [&](LevelKind kind, std::string& value, std::string& decibels) {
            const LevelValue v = *readingLevel(r, kind);
            LevelText x = level(v.ratio, v.codes, fullScaleVolts, separator);
            value = std::move(x.value);
            decibels = std::move(x.decibels);
        };
        put(LevelKind::PeakToPeak, t.peakToPeak, t.peakToPeakDb);
        put(LevelKind::Maximum, t.maximum, t.maximumDb);
        put(LevelKind::Minimum, t.minimum, t.minimumDb);
        put(LevelKind::DcMean, t.dcMean, t.dcMeanDb);
        put(LevelKind::Rms, t.rms, t.rmsDb);
    }
    t.overload = !r.recorded  ? measure_text::kUnknown
                 : r.overload ? measure_text::kOverload
                              : measure_text::kNoOverload;
    return t;
}

ToneRowTexts toneTexts(const ChannelReadings& r, double fullScaleVolts, char separator, Weighting weighting)
{
    ToneRowTexts t;
    const bool calibrated = channelVolts(0.0, fullScaleVolts).has_value();
    const ToneReading& tone = r.tone;
    t.weighted = measure_text::kUnknown;
    if (r.recorded && tone.weightedValid) {
        const double power = tone.weightedPower[static_cast<std::size_t>(weighting)];
        constexpr const char* kUnits[] = {"dBFS(Z)", "dBFS(A)", "dBFS(C)"};
        t.weighted = formatDecibels(std::sqrt(power) / kAnalysisFullScale, kUnits[static_cast<std::size_t>(weighting)],
                                    separator);
    }
    const bool noise = r.recorded && tone.valid && tone.noiseValid;
    t.noise = noise ? powerText(tone.noisePower, "dBFS", separator) : measure_text::kUnknown;
    t.noiseA = noise ? powerText(tone.noisePowerA, "dBFS(A)", separator) : measure_text::kUnknown;
    t.snr = decibelText(noise && tone.snrValid, tone.snrDb, separator);
    t.dynamicRange = decibelText(noise && tone.dynamicRangeValid, tone.dynamicRangeDb, separator);
    const bool imd = r.recorded && r.imd.valid;
    t.imd = imd ? formatDistortion(r.imd.ratio, separator) : measure_text::kUnknown;
    t.imdDb = imd ? formatDecibels(r.imd.ratio, "dB", separator) : measure_text::kUnknown;
    t.imdMethod = imd ? imdMethodName(r.imd.method) : "";
    if (!r.recorded || !tone.valid) {
        t.peakFrequency = t.peakLevel = t.thd = t.thdN = measure_text::kUnknown;
        t.peakLevelDb = calibrated ? std::string() : std::string(measure_text::kUnknown);
        t.thdDb = t.thdNDb = measure_text::kUnknown;
        return t;
    }
    t.peakFrequency = formatFrequency(tone.hz, tone.sigmaHz, separator);
    // The tone's level: its RMS, in volts RMS where calibrated.
    const LevelValue v = *readingLevel(r, LevelKind::Tone);
    const LevelText x = level(v.ratio, v.codes, fullScaleVolts, separator);
    t.peakLevel = x.value;
    t.peakLevelDb = x.decibels;
    t.thd = tone.thdValid ? formatDistortion(tone.thd, separator) : measure_text::kUnknown;
    t.thdDb = tone.thdValid ? formatDecibels(tone.thd, "dB", separator) : measure_text::kUnknown;
    t.thdN = tone.thdNValid ? formatDistortion(tone.thdN, separator) : measure_text::kUnknown;
    t.thdNDb = tone.thdNValid ? formatDecibels(tone.thdN, "dB", separator) : measure_text::kUnknown;
    return t;
}

std::optional<double> channelVolts(const FeatureSettings& settings, int channel, double code)
{
    if (channel != 1 && channel != 2)
        return std::nullopt;
    return channelVolts(code, settings.fullScaleVolts[static_cast<std::size_t>(channel - 1)]);
}

}  // namespace varmolen
