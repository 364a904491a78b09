#include "persist/CsvExport.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <numbers>
#include <system_error>
#include <vector>

#include "display/SpectrumRenderer.h"
#include "dsp/Graphicinterpolate.h"

namespace varmolen {

namespace {

constexpr double kFullScale = 32767.0;
constexpr int kFirstBin = 1;
constexpr int kLastBin = 511;
constexpr const char* kLineEnd = "\r\n";

// Shortest text that reads back to the same double; never a locale's comma.
void appendNumber(std::string& out, double value)
{
    std::array<char, 32> text{};
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc())
        out.append(text.data(), end);
}

void appendInteger(std::string& out, long long value)
{
    std::array<char, 24> text{};
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc())
        out.append(text.data(), end);
}

void appendHeader(std::string& out, const std::vector<std::string>& names)
{
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            out += ',';
        out += CsvField(names[i]);
    }
    out += kLineEnd;
}

// The level in dB of the power a full-scale sine centred on a bin gives:
// |X| = A * sum / 2 there, with the window summed over the block.
double fullScaleBinDb(const InstrumentState& s)
{
    double sum = 0.0;
    for (int n = 1; n <= kBlockSamples; ++n)
        sum += s.windowTable[n];
    return 20.0 * std::log10(kFullScale * sum / 2.0);
}

// dBFS of a power of the display's spectrum, clamped at the display's floor.
double levelDbfs(double power, double fullScaleDb)
{
    return 10.0 * std::log10(std::max(power, 1.0)) - fullScaleDb;
}

std::string channelName(int n)
{
    return "Channel " + std::to_string(n);
}

// The block channel c (0 or 1) shows: the block its picture came from, or,
// for a channel the picture did not show, the other's, as a redraw draws it.
const InstrumentState::KeptBlock& shownBlock(const InstrumentState& s, int c)
{
    const InstrumentState::KeptBlock& own = s.keptBlocks[static_cast<std::size_t>(c)];
    return own.valid == 1 ? own : s.keptBlocks[static_cast<std::size_t>(1 - c)];
}

const std::int32_t* shownSamples(const InstrumentState& s, int c)
{
    const InstrumentState::KeptBlock& kept = shownBlock(s, c);
    return c == 0 ? kept.chan1.data() : kept.chan2.data();
}

// The rows of a TIME export, as sample positions from the trace start:
// `first` to `last` (negative before the trace start in the whole block).
struct TimeRows {
    int first = 0;
    int last = 0;
};

// The samples the display shows: from the left end of the view to its right
// end, where column c lies c * span / 512 samples after the trace start; a
// sample in between the ends belongs to the view, one short of the left end
// or past the right end does not. XY plots samples 0..512.
TimeRows shownRows(const DisplayedView& v)
{
    if (v.xy == 1)
        return {0, 512};
    const std::int64_t span = std::clamp(v.span, 9, 512);
    const std::int64_t left = std::clamp(v.firstColumn, 0, 512) * span;
    const std::int64_t right = std::clamp(v.lastColumn, 0, 512) * span;
    return {static_cast<int>((left + 511) / 512), static_cast<int>(right / 512)};
}

std::string composeTime(const InstrumentState& s, const std::array<bool, 2>& shown, CsvExtent extent)
{
    const DisplayedView& v = s.displayedView;
    const std::uint32_t rate = v.sampleRate;
    const bool whole = extent == CsvExtent::WholeBlock;
    std::array<int, 2> start{};
    for (int c = 0; c < 2; ++c)
        start[c] = v.xy == 1 ? 0 : std::clamp(v.traceStart[static_cast<std::size_t>(c)], 0, kBlockSamples - 513);
    std::vector<std::string> names{"Time (ms; 0 = " + std::string(whole ? "the block's first sample" : "trace start") +
                                   "; " + std::to_string(rate) + " Hz)"};
    std::array<double, 2> volts{};
    for (int c = 0; c < 2; ++c) {
        if (!shown[c])
            continue;
        volts[c] = isUsableFullScaleVolts(s.features.fullScaleVolts[c]) ? s.features.fullScaleVolts[c] : 0.0;
        const std::string channel = channelName(c + 1);
        names.push_back(channel + " raw (trace start: sample " + std::to_string(start[c]) + ")");
        names.push_back(channel + " as drawn" + (v.addChannels == 1 && v.xy == 0 ? " (1 + 2)" : ""));
        names.push_back(channel + (volts[c] > 0.0 ? " (V)" : " (% of full scale)"));
    }
    const TimeRows rows = whole ? TimeRows{0, kBlockSamples - 1} : shownRows(v);
    std::string out;
    out.reserve(static_cast<std::size_t>(rows.last - rows.first + 1) * 80);
    appendHeader(out, names);
    for (int i = rows.first; i <= rows.last; ++i) {
        appendNumber(out, i * 1000.0 / rate);
        for (int c = 0; c < 2; ++c) {
            if (!shown[c])
                continue;
            const InstrumentState::KeptBlock& block = shownBlock(s, c);
            // The sample of row i: i after the trace start, or the block's
            // i-th in the whole block.
            const auto at = static_cast<std::size_t>(whole ? i : start[c] + i);
            const std::int32_t own = c == 0 ? block.chan1[at] : block.chan2[at];
            const std::int32_t raw = own + block.dcOffset[static_cast<std::size_t>(c)];
            // What the display scales: the channel's sample, or in Add both summed.
            const std::int64_t drawn = v.addChannels == 1 && v.xy == 0
                                           ? static_cast<std::int64_t>(block.chan1[at]) + block.chan2[at]
                                           : own;
            out += ',';
            appendInteger(out, raw);
            out += ',';
            appendInteger(out, drawn);
            out += ',';
            appendNumber(out, volts[c] > 0.0 ? raw * volts[c] / kFullScale : raw * 100.0 / kFullScale);
        }
        out += kLineEnd;
    }
    return out;
}

std::string composeFrequency(InstrumentState& s, const std::array<bool, 2>& shown)
{
    const std::uint32_t rate = s.displayedView.sampleRate;
    // What the levels are: the history's settings, named in the header.
    std::string kind = "dBFS";
    if (isSpectrumAverage(s.features.spectrumAverage) && s.features.spectrumAverage > 0)
        kind += ", average of " + std::to_string(s.features.spectrumAverage);
    if (s.features.peakHold)
        kind += ", peak hold";

    std::vector<std::string> names{"Frequency (Hz)"};
    std::array<std::array<double, kLastBin + 1>, 2> level{};
    std::array<std::array<double, kLastBin + 1>, 2> drawn{};
    std::array<float, kDisplayColumns> smoothed{};
    const double fullScaleDb = fullScaleBinDb(s);
    const float scale = s.spectrumScale;
    for (int c = 0; c < 2; ++c) {
        if (!shown[c])
            continue;
        names.push_back(channelName(c + 1) + " level (" + kind + ")");
        names.push_back(channelName(c + 1) + " as drawn (" + kind + ")");
        PowerSpectrum(shownSamples(s, c), s.windowTable, s.spectrumWork, s.fftReal, s.fftImag);
        ApplySpectrumHistory(s.spectrumHistory, c + 1, s.spectrumWork.data(), s.features.spectrumAverage,
                             s.features.peakHold, true);
        // spectrumWork[k] holds bin k - 1.
        for (int k = kFirstBin; k <= kLastBin; ++k)
            level[c][k] = levelDbfs(s.spectrumWork[k + 1], fullScaleDb);
        // Laid out as the display draws the block: by the rate it was recorded at.
        const std::uint32_t blockRate = shownBlock(s, c).sampleRate;
        const bool inPlace = blockRate == 22050;  // the display shows bin k at column k + 1 there
        SpectrumFromPower(s, blockRate, kDisplayRows, 32, smoothed.data());
        for (int k = kFirstBin; k <= kLastBin; ++k) {
            // spectrumScale * ln(power), smoothed: in dB of power that is
            // 10 / ln 10 times the natural logarithm.
            const double v = smoothed[inPlace ? k + 1 : k];
            drawn[c][k] = scale > 0.0f ? 10.0 * v / (scale * std::numbers::ln10) - fullScaleDb : level[c][k];
        }
    }
    std::string out;
    out.reserve(static_cast<std::size_t>(kLastBin) * 96);
    appendHeader(out, names);
    for (int k = kFirstBin; k <= kLastBin; ++k) {
        appendNumber(out, k * static_cast<double>(rate) / kBlockSamples);
        for (int c = 0; c < 2; ++c) {
            if (!shown[c])
                continue;
            out += ',';
            appendNumber(out, level[c][k]);
            out += ',';
            appendNumber(out, drawn[c][k]);
        }
        out += kLineEnd;
    }
    return out;
}

}  // namespace

std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char ch : text) {
        if (ch == '"')
            quoted += '"';
        quoted += ch;
    }
    quoted += '"';
    return quoted;
}

std::string ComposeDisplayCsv(InstrumentState& s, std::string& whyNot, CsvExtent extent)
{
    whyNot.clear();
    const DisplayedView& v = s.displayedView;
    if ((s.keptBlocks[0].valid != 1 && s.keptBlocks[1].valid != 1) || v.sampleRate == 0) {
        whyNot = "The display shows no recorded block yet.";
        return {};
    }
    const std::array<bool, 2> shown{v.chan1Enabled == 1, v.chan2Enabled == 1};
    if (!shown[0] && !shown[1]) {
        whyNot = "No channel is shown on the display.";
        return {};
    }
    return v.displayType == 1 ? composeFrequency(s, shown) : composeTime(s, shown, extent);
}

}  // namespace varmolen
