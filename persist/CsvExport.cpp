#include "persist/CsvExport.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <system_error>
#include <vector>

#include "state/FeatureSettings.h"

namespace varmolen {

namespace {

constexpr double kFullScale = 32767.0;
constexpr const char* kLineEnd = "\r\n";

// Shortest text that reads back to the same double; never a locale's comma.
void appendNumber(std::string& out, double value)
{
    std::array<char, 32> text{};
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value);
    if (error == std::errc())
        out.append(text.data(), end);
}

// A sample in units of 16-bit codes. A whole code is written as the
// shortest text of the float, as it always was. A fraction on the 24-bit
// grid (a whole number of 1/256 codes, what a 24-bit or 32-bit card gives)
// is written exactly, with as many decimals as it needs, at most 8, trailing
// zeros trimmed: 32767.99609375, not the float's shortest 32767.996, so a
// reader in double precision gets the 24-bit step itself. Any other value
// (a float card's finer fraction) is the shortest text that reads back to
// the same float.
void appendSample(std::string& out, float value)
{
    const float steps = value * 256.0f;  // exact: a power of two
    if (value != std::trunc(value) && steps == std::trunc(steps) && std::fabs(steps) < 2147483648.0f) {
        const auto whole = static_cast<std::int64_t>(std::fabs(steps));
        if (value < 0)
            out += '-';
        out += std::to_string(whole / 256);
        // 1/256 = 0.00390625: the fraction in hundred-millionths.
        std::string decimals = std::to_string(whole % 256 * 390625);
        decimals.insert(0, 8 - decimals.size(), '0');
        out += '.';
        out.append(decimals, 0, decimals.find_last_not_of('0') + 1);
        return;
    }
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
        out += csvField(names[i]);
    }
    out += kLineEnd;
}

std::string channelName(int n) { return "Channel " + std::to_string(n); }

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

}  // namespace

std::string composeTimeCsv(const TimeCsvInput& in, CsvExtent extent)
{
    const DisplayedView& v = in.view;
    const std::array<bool, 2> shown{v.chan1Enabled == 1 && in.blocks[0] != nullptr,
                                    v.chan2Enabled == 1 && in.blocks[1] != nullptr};
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
        volts[c] = isUsableFullScaleVolts(in.fullScaleVolts[c]) ? in.fullScaleVolts[c] : 0.0;
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
            const KeptBlock& block = *in.blocks[static_cast<std::size_t>(c)];
            // The sample of row i: i after the trace start, or the block's
            // i-th in the whole block.
            const auto at = static_cast<std::size_t>(whole ? i : start[c] + i);
            const std::int32_t own = block.samples(c + 1)[at];
            const std::int32_t raw = block.recorded(c + 1, at);
            // What the display scales: the channel's sample, or in Add both summed.
            const std::int64_t drawn =
                v.addChannels == 1 && v.xy == 0 ? static_cast<std::int64_t>(block.chan1[at]) + block.chan2[at] : own;
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

bool writeSpanCsv(const SpanCsvInput& in, const std::function<bool(std::string_view)>& sink)
{
    const RecordSpan& span = in.span;
    if (span.ring == nullptr || span.count <= 0 || span.count > kMaxSpanCsvFrames ||
        !span.ring->holds(span.from, span.from + span.count) || span.ring->rate() == 0)
        return false;
    const SampleRing& ring = *span.ring;
    const std::uint32_t rate = ring.rate();
    const std::int64_t end = span.from + span.count;
    const bool breaks = ring.firstBreak(span.from + 1, end).has_value();
    std::vector<std::string> names{"Time (s; 0 = the span's left end; " + std::to_string(rate) + " Hz)"};
    std::array<double, 2> volts{};
    for (int c = 0; c < 2; ++c) {
        if (!in.shown[c])
            continue;
        volts[c] = isUsableFullScaleVolts(in.fullScaleVolts[c]) ? in.fullScaleVolts[c] : 0.0;
        const std::string channel = channelName(c + 1);
        names.push_back(channel + " raw");
        names.push_back(channel + " as drawn");
        names.push_back(channel + (volts[c] > 0.0 ? " (V)" : " (% of full scale)"));
    }
    if (breaks)
        names.emplace_back("Break (1: the frame does not follow the one before)");
    constexpr std::size_t kPieceBytes = 1u << 20;
    std::string out;
    out.reserve(kPieceBytes + 512);
    appendHeader(out, names);
    for (std::int64_t i = span.from; i < end; ++i) {
        appendNumber(out, static_cast<double>(span.offset + (i - span.from)) / rate);
        for (int c = 0; c < 2; ++c) {
            if (!in.shown[c])
                continue;
            const float raw = ring.at(c + 1, i);
            out += ',';
            appendSample(out, raw);
            out += ',';
            appendSample(out, raw - in.dcLevels[static_cast<std::size_t>(c)]);
            out += ',';
            appendNumber(out, volts[c] > 0.0 ? raw * volts[c] / kFullScale : raw * 100.0 / kFullScale);
        }
        if (breaks)
            out += i > span.from && ring.breaksAt(i) ? ",1" : ",0";
        out += kLineEnd;
        if (out.size() >= kPieceBytes) {
            if (!sink(out))
                return false;
            out.clear();
        }
    }
    return out.empty() || sink(out);
}

std::string composeSpanCsv(const SpanCsvInput& in)
{
    std::string text;
    if (!writeSpanCsv(in, [&text](std::string_view piece) {
            text.append(piece);
            return true;
        }))
        return {};
    return text;
}

std::string composeSpectrumCsv(const SpectrumCsvColumns& in)
{
    const std::uint32_t rate = in.rate;
    const std::array<bool, 2>& shown = in.shown;
    // What the levels are: the history's settings, named in the header.
    std::string kind = "dBFS";
    if (isSpectrumAverage(in.spectrumAverage) && in.spectrumAverage > 0)
        kind += ", average of " + std::to_string(in.spectrumAverage);
    if (in.peakHold)
        kind += ", peak hold";

    std::vector<std::string> names{"Frequency (Hz)"};
    for (int c = 0; c < 2; ++c) {
        if (!shown[c])
            continue;
        names.push_back(channelName(c + 1) + " level (" + kind + ")");
        names.push_back(channelName(c + 1) + " as drawn (" + kind + ")");
    }
    std::string out;
    out.reserve(static_cast<std::size_t>(kCsvLastBin) * 96);
    appendHeader(out, names);
    for (int k = kCsvFirstBin; k <= kCsvLastBin; ++k) {
        appendNumber(out, k * static_cast<double>(rate) / kBlockSamples);
        for (int c = 0; c < 2; ++c) {
            if (!shown[c])
                continue;
            out += ',';
            appendNumber(out, in.level[c][k]);
            out += ',';
            appendNumber(out, in.drawn[c][k]);
        }
        out += kLineEnd;
    }
    return out;
}

std::string composeAnalyserCsv(const AnalyserCsvColumns& in)
{
    std::vector<std::string> names{in.bands ? "Band centre (Hz)" : "Frequency (Hz)"};
    for (int c = 0; c < 2; ++c)
        if (in.shown[c])
            names.push_back(channelName(c + 1) + " level (" + in.unit + ")");
    std::string out;
    out.reserve(in.hz.size() * 40);
    appendHeader(out, names);
    for (std::size_t k = 0; k < in.hz.size(); ++k) {
        appendNumber(out, in.hz[k]);
        for (int c = 0; c < 2; ++c) {
            if (!in.shown[c])
                continue;
            out += ',';
            appendNumber(out, k < in.level[c].size() ? in.level[c][k] : 0.0);
        }
        out += kLineEnd;
    }
    return out;
}

std::string csvField(const std::string& text)
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

}  // namespace varmolen
