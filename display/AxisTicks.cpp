#include "display/AxisTicks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "display/MarkerReadouts.h"
#include "display/ReadoutScales.h"
#include "display/RecordTraces.h"
#include "dsp/TimeBase.h"

namespace varmolen {

namespace {

constexpr int kTimeGridLines = 11;  // columns 0, 51, ... 510
constexpr double kFullScaleCode = 32767.0;

// Three significant digits, the decimal point as the user's separator.
std::string threeDigits(double v, const char* unit, char decimalSeparator)
{
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%.3g %s", v, unit);
    std::string text(buffer);
    if (decimalSeparator != '\0')
        std::replace(text.begin(), text.end(), '.', decimalSeparator);
    return text;
}

// Column = atZero + hz * perHz: the spectrum's columns are linear in frequency.
struct ColumnLine {
    double atZero;
    double perHz;
};

std::optional<ColumnLine> spectrumLine(std::uint32_t rate, std::int32_t span, bool expanded, std::int32_t marker1,
                                       std::int32_t marker2)
{
    if (rate == 0)
        return std::nullopt;
    // Bin k is drawn at column k (one later at 22050 Hz), and the lowest
    // `span` columns are spread over the full width.
    const double stretch = static_cast<double>(kFullWidth) / std::clamp(span, kMinSpan, kMaxSpan);
    ColumnLine line{(rate == 22050 ? 1.0 : 0.0) * stretch, static_cast<double>(kBlockSamples) / rate * stretch};
    if (expanded) {
        // The stretch from marker 1 over (at least 9) columns fills the width.
        const double width = static_cast<double>(
            std::clamp(static_cast<std::int64_t>(marker2) - marker1, std::int64_t{9}, std::int64_t{512}));
        const double from = std::clamp(marker1, 0, kFullWidth);
        line = {(line.atZero - from) * kFullWidth / width, line.perHz * kFullWidth / width};
    }
    return line;
}

}  // namespace

double roundStep(double rough)
{
    if (!(rough > 0.0) || !std::isfinite(rough))
        return 0.0;
    double decade = std::pow(10.0, std::floor(std::log10(rough)));
    for (;;) {
        for (double m : {1.0, 2.0, 5.0}) {
            // A hair of tolerance keeps 0.3 * 10 from reading above 3.
            if (m * decade >= rough * (1.0 - 1e-9))
                return m * decade;
        }
        decade *= 10.0;
    }
}

std::string frequencyText(double hz, char decimalSeparator)
{
    if (hz < 1000.0)
        return threeDigits(hz, "Hz", decimalSeparator);
    char buffer[48];
    // Round frequencies in kHz need at most three decimals (a step of 1 Hz at 1 kHz and above never occurs).
    std::snprintf(buffer, sizeof buffer, "%.3f", hz / 1000.0);
    std::string text(buffer);
    while (text.back() == '0')
        text.pop_back();
    if (text.back() == '.')
        text.pop_back();
    if (decimalSeparator != '\0')
        std::replace(text.begin(), text.end(), '.', decimalSeparator);
    return text + " kHz";
}

std::optional<double> spectrumColumnOf(std::uint32_t rate, std::int32_t span, bool expanded, std::int32_t marker1,
                                       std::int32_t marker2, double hz)
{
    const std::optional<ColumnLine> line = spectrumLine(rate, span, expanded, marker1, marker2);
    if (!line || !std::isfinite(hz))
        return std::nullopt;
    const double column = line->atZero + hz * line->perHz;
    if (column < -1e-9 || column > kFullWidth + 1e-9)
        return std::nullopt;
    return std::clamp(column, 0.0, static_cast<double>(kFullWidth));
}

std::vector<AxisTick> frequencyTicks(std::uint32_t rate, std::int32_t span, bool expanded, std::int32_t marker1,
                                     std::int32_t marker2, int maxTicks, char decimalSeparator)
{
    std::vector<AxisTick> ticks;
    const std::optional<ColumnLine> line = spectrumLine(rate, span, expanded, marker1, marker2);
    if (!line)
        return ticks;
    // The frequencies at the display's two ends.
    const double low = std::max(0.0, -line->atZero / line->perHz);
    const double high = (kFullWidth - line->atZero) / line->perHz;
    const double step = roundStep((high - low) / std::max(1, maxTicks - 1));
    if (!(high > low) || !(step > 0.0))
        return ticks;
    for (double n = std::max(0.0, std::ceil(low / step - 1e-9)); n * step <= high + step * 1e-9; n += 1.0) {
        if (const std::optional<double> column = spectrumColumnOf(rate, span, expanded, marker1, marker2, n * step))
            ticks.push_back({*column, frequencyText(n * step, decimalSeparator)});
    }
    return ticks;
}

std::vector<AxisTick> timeTicks(const InstrumentSettings& s, const InstrumentView& view, char decimalSeparator)
{
    std::vector<AxisTick> ticks;
    ticks.reserve(kTimeGridLines);
    if (recordPictureShown(s)) {
        // Round values of the time base, in the unit timeAxisUnit names;
        // expanded, the times of the stretch between the markers each line shows.
        const double perDiv = recordPerDiv(s, view);
        const bool expanded = recordExpanded(s, view);
        const ColumnStretch stretch = expandedStretch(s);
        for (int i = 0; i < kTimeGridLines; ++i) {
            const int x = kTimeColumnsPerDivision * i;
            const double seconds = expanded ? timeBaseColumnTime(stretch.at(x), perDiv) : i * perDiv;
            ticks.push_back({static_cast<double>(x), timeBaseNumber(seconds, perDiv, decimalSeparator)});
        }
        return ticks;
    }
    for (int i = 0; i < kTimeGridLines; ++i) {
        const int x = kTimeColumnsPerDivision * i;
        ticks.push_back(
            {static_cast<double>(x), FormatMs(readoutTime(s, view, readoutColumn(s, view, x)), decimalSeparator)});
    }
    return ticks;
}

std::string timeAxisUnit(const InstrumentSettings& s, const InstrumentView& view)
{
    return recordPictureShown(s) ? timeBaseUnit(recordPerDiv(s, view)) : "ms";
}

std::string timeDivisionText(std::int32_t gain, double fullScaleVolts, char decimalSeparator)
{
    if (gain == 0)
        return "Gnd";
    // A trace value is (4 * g * s) >> 12 rows: one division is 34 * 1024 / g codes.
    const double codes = kRowsPerDivision * 1024.0 / std::abs(static_cast<double>(gain));
    if (fullScaleVolts > 0.0) {
        const double volts = codes / kFullScaleCode * fullScaleVolts;
        return volts < 1.0 ? threeDigits(volts * 1000.0, "mV/div", decimalSeparator)
                           : threeDigits(volts, "V/div", decimalSeparator);
    }
    return threeDigits(codes / kFullScaleCode * 100.0, "%/div", decimalSeparator);
}

std::string levelDivisionText(std::int32_t gain, float spectrumScale, char decimalSeparator)
{
    if (gain == 0 || !(spectrumScale > 0.0f))
        return "Gnd";
    // A spectrum point is (spectrumScale * ln power * g) >> 5 rows, and a
    // decibel of power is ln power * 10 / ln 10.
    const double lnPerDivision = kRowsPerDivision * 32.0 / (std::abs(static_cast<double>(gain)) * spectrumScale);
    return threeDigits(lnPerDivision * 10.0 / std::numbers::ln10, "dB/div", decimalSeparator);
}

}  // namespace varmolen
