// The spectrum analyser's readouts: the round frequencies its axis is
// labelled and ruled at, the level axis's labels and unit, and the texts of
// the cursor, the markers and the axis's ends.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <span>

#include "display/MarkerReadouts.h"
#include "display/MeasurementReadouts.h"
#include "display/SpectrogramRenderer.h"
#include "display/SpectrumAnalyser.h"

namespace varmolen {

namespace {

constexpr double kLastColumn = 512.0;

const AnalyserSettings& settingsOf(const InstrumentSettings& s) { return s.features.analyser; }

// Decimals that show a frequency to a tenth of a bin or better.
int hzDecimals(double binHz)
{
    if (!(binHz > 0.0))
        return 0;
    return std::clamp(static_cast<int>(std::ceil(-std::log10(binHz / 10.0))), 0, 3);
}

// The round frequencies of `axis` into out (at most out.size(), at most
// maxTicks); their count. Allocates nothing: the graticule asks at every pass.
std::size_t tickFrequencies(const FrequencyAxis& axis, int maxTicks, std::span<double> out)
{
    const auto room = static_cast<std::size_t>(
        std::clamp<std::size_t>(static_cast<std::size_t>(std::max(maxTicks, 2)), 2, out.size()));
    std::size_t count = 0;
    const auto fits = [&](double hz) { return hz >= axis.lowHz * (1.0 - 1e-9) && hz <= axis.highHz * (1.0 + 1e-9); };
    if (axis.log && axis.highHz / axis.lowHz >= 10.0) {
        constexpr double kAll[] = {1.0, 2.0, 5.0};
        for (const std::size_t kinds : {std::size_t{3}, std::size_t{1}}) {
            count = 0;
            bool full = false;
            for (double decade = std::pow(10.0, std::floor(std::log10(axis.lowHz))); decade <= axis.highHz && !full;
                 decade *= 10.0)
                for (std::size_t i = 0; i < kinds && !full; ++i) {
                    if (!fits(kAll[i] * decade))
                        continue;
                    if (count == room)
                        full = true;
                    else
                        out[count++] = kAll[i] * decade;
                }
            if (!full)
                break;
        }
        return count;
    }
    const double step = roundStep((axis.highHz - axis.lowHz) / static_cast<double>(room - 1));
    if (!(step > 0.0))
        return 0;
    for (double k = std::ceil(axis.lowHz / step - 1e-9); fits(k * step) && count < room; k += 1.0)
        out[count++] = k * step;
    return count;
}

constexpr std::size_t kMostTicks = 64;

}  // namespace

std::vector<AxisTick> analyserFrequencyTicks(const FrequencyAxis& axis, int maxTicks, char decimalSeparator)
{
    std::array<double, kMostTicks> hz{};
    const std::size_t count = tickFrequencies(axis, maxTicks, hz);
    std::vector<AxisTick> ticks;
    for (std::size_t i = 0; i < count; ++i)
        ticks.push_back({std::clamp(axis.columnOf(hz[i]), 0.0, kLastColumn), frequencyText(hz[i], decimalSeparator)});
    return ticks;
}

std::size_t analyserGridColumns(const InstrumentSettings& s, const InstrumentView& view, std::span<double> columns)
{
    const FrequencyAxis axis = shownAxis(s, view);
    const std::size_t count = tickFrequencies(axis, static_cast<int>(columns.size()), columns);
    for (std::size_t i = 0; i < count; ++i)
        columns[i] = std::clamp(axis.columnOf(columns[i]), 0.0, kLastColumn);
    return count;
}

std::string analyserUnitName(const InstrumentSettings& s, const InstrumentView& view, int n)
{
    return levelUnit(s, view.analyser, n).name;
}

std::vector<std::string> analyserLevelTicks(const InstrumentSettings& s, const InstrumentView& view, int n,
                                            char decimalSeparator)
{
    (void)view;
    (void)n;
    const AnalyserSettings& a = settingsOf(s);
    const double step = a.rangeDb / 10.0;
    const int decimals =
        std::abs(step - std::round(step)) < 1e-9 && std::abs(a.topDb - std::round(a.topDb)) < 1e-9 ? 0 : 1;
    std::vector<std::string> ticks;
    for (int i = 0; i <= 10; ++i)
        ticks.push_back(fixedText(a.topDb - i * step, decimals, decimalSeparator));
    return ticks;
}

std::string analyserHzText(const InstrumentSettings& s, const InstrumentView& view, double column,
                           char decimalSeparator)
{
    const double hz = shownAxis(s, view).hzAt(std::clamp(column, 0.0, kLastColumn));
    return fixedText(hz, hzDecimals(view.analyser.binHz()), decimalSeparator);
}

std::string analyserCursorText(const InstrumentSettings& s, const InstrumentView& view, std::int32_t column,
                               std::int32_t row, char decimalSeparator)
{
    std::string text(readout::kCursor);
    text += analyserHzText(s, view, column, decimalSeparator);
    text += readout::kHz;
    const FrequencyAxis axis = shownAxis(s, view);
    const AnalyserSettings& a = settingsOf(s);
    for (int n : {1, 2}) {
        if (!channelSettings(s, n).on())
            continue;
        if (a.spectrogram) {
            const std::optional<SpectrogramBand> rows = spectrogramRows(s, n);
            if (!rows || row < rows->top || row >= rows->bottom)
                continue;
            const SpectrogramHistory& history = view.analyser.spectrogram[static_cast<std::size_t>(n - 1)];
            // At the display's own size a column is a pixel.
            const std::optional<SpectrogramReading> reading =
                spectrogramAt(history, kDisplayColumns, rows->top, rows->bottom, spectrogramSeconds(), column, row);
            if (!reading || reading->levelDb <= kNoSpectrogramLevel)
                return text;
            return text + ", " + fixedText(reading->levelDb, 1, decimalSeparator) + " " +
                   levelUnit(s, view.analyser, n).name + ", " + fixedText(-reading->secondsAgo, 2, decimalSeparator) +
                   " s";
        }
        const std::optional<double> level = columnLevel(s, view.analyser, axis, n, column - 0.5, column + 0.5);
        if (!level)
            return text;
        return text + ", " + fixedText(*level, 1, decimalSeparator) + " " + levelUnit(s, view.analyser, n).name;
    }
    return text;
}

std::string analyserMarkerText(const InstrumentSettings& s, const InstrumentView& view, char decimalSeparator)
{
    std::string text(readout::kMarkerDifference);
    if (s.marker1Enabled == 0 || s.marker2Enabled == 0)
        return text + std::string(readout::kUnknown);
    const FrequencyAxis axis = baseAxis(s, view);
    const double difference = axis.hzAt(std::clamp(s.marker2Pos, 0, 512)) - axis.hzAt(std::clamp(s.marker1Pos, 0, 512));
    return text + fixedText(difference, hzDecimals(view.analyser.binHz()), decimalSeparator) +
           std::string(readout::kHz);
}

}  // namespace varmolen
