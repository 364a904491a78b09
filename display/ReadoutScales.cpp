#include "display/ReadoutScales.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "display/MarkerReadouts.h"
#include "display/RecordTraces.h"
#include "display/SpectrumAnalyser.h"
#include "dsp/TimeBase.h"

namespace varmolen {

namespace {

std::int64_t clampTo(std::int64_t v, std::int64_t lo, std::int64_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

std::string msText(std::string ms)
{
    ms += readout::kMs;
    return ms;
}

std::string hzText(std::int32_t hz)
{
    std::string text = std::to_string(hz);
    text += readout::kHz;
    return text;
}

}  // namespace

std::uint32_t readoutRate(const InstrumentSettings& s, const InstrumentView& view)
{
    if (s.displayHold == 1 && view.displayedView.sampleRate != 0)
        return view.displayedView.sampleRate;
    return s.sampleRate;
}

std::uint32_t ColumnToTime(std::uint32_t rate, std::int32_t span, std::int32_t p)
{
    if (rate == 0)
        return 0;
    // With p ≤ 512 the first step fits 32 bits as the instrument always had
    // it; the second runs in 64 bits so that low rates cannot wrap.
    const std::uint32_t columns = static_cast<std::uint32_t>(clampTo(p, 0, kFullWidth));
    const std::uint32_t q = columns * 100000u / rate;
    const std::uint64_t t = static_cast<std::uint64_t>(q) *
                            static_cast<std::uint64_t>(clampTo(span, kMinSpan, kMaxSpan)) /
                            static_cast<std::uint64_t>(kFullWidth);
    return static_cast<std::uint32_t>(t);  // ≤ q ≤ 51 200 000
}

std::int32_t ColumnToFrequency(std::uint32_t rate, std::int32_t span, std::int32_t p)
{
    const std::uint64_t columns = static_cast<std::uint64_t>(clampTo(p, 0, kFullWidth));
    const std::uint64_t b =
        static_cast<std::uint64_t>(clampTo(span, kMinSpan, kMaxSpan)) * rate / static_cast<std::uint64_t>(kFullWidth);
    // span ≤ 512 and columns ≤ 512 keep this at or below (2^32 − 1) ÷ 2,
    // so every rate a uint32 can hold reads as a non-negative int32.
    return static_cast<std::int32_t>(b * columns / 1024u);
}

std::uint32_t readoutTime(const InstrumentSettings& s, const InstrumentView& view, std::int32_t p)
{
    if (recordPictureShown(s))
        return static_cast<std::uint32_t>(std::llround(readoutSeconds(s, view, p) * 1e5));
    return ColumnToTime(readoutRate(s, view), view.span, p);
}

double recordColumnSeconds(const InstrumentSettings& s, const InstrumentView& view, double column)
{
    // Column x lies x / 51 divisions from the left end.
    return timeBaseColumnTime(std::clamp(column, 0.0, 512.0), recordPerDiv(s, view));
}

std::string recordColumnMs(const InstrumentSettings& s, const InstrumentView& view, double column,
                           char decimalSeparator)
{
    const int decimals = readoutRate(s, view) > 100000 ? 3 : 2;
    char text[48];
    std::snprintf(text, sizeof text, "%.*f", decimals, recordColumnSeconds(s, view, column) * 1e3);
    std::string out(text);
    std::replace(out.begin(), out.end(), '.', decimalSeparator == '\0' ? '.' : decimalSeparator);
    return out;
}

std::int32_t readoutFrequency(const InstrumentSettings& s, const InstrumentView& view, std::int32_t p)
{
    return ColumnToFrequency(readoutRate(s, view), view.span, p);
}

double readoutSeconds(const InstrumentSettings& s, const InstrumentView& view, std::int32_t p)
{
    if (recordPictureShown(s))
        return recordColumnSeconds(s, view, static_cast<double>(clampTo(p, 0, kFullWidth)));
    return readoutTime(s, view, p) * 1e-5;
}

std::string readoutMs(const InstrumentSettings& s, const InstrumentView& view, std::int32_t p, char decimalSeparator)
{
    if (!recordPictureShown(s))
        return FormatMs(readoutTime(s, view, p), decimalSeparator);
    return recordColumnMs(s, view, static_cast<double>(clampTo(p, 0, kFullWidth)), decimalSeparator);
}

std::string FormatMs(std::uint32_t t, char decimalSeparator)
{
    std::string text = std::to_string(t / 100u);
    text += decimalSeparator == '\0' ? '.' : decimalSeparator;
    const std::uint32_t hundredths = t % 100u;
    text += static_cast<char>('0' + hundredths / 10u);
    text += static_cast<char>('0' + hundredths % 10u);
    return text;
}

std::optional<std::int32_t> reciprocalHz(std::uint32_t t)
{
    const double hz = 100.0 / (static_cast<double>(t) * 0.001 + 0.00000001);
    const float rounded = static_cast<float>(hz);
    // 2^31 is exactly representable as a float; anything from there up does
    // not fit the signed 32-bit readout.
    if (!(rounded < 2147483648.0f))
        return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

std::int32_t spanFromDial(float dialValue)
{
    double v = dialValue;
    if (!(v >= 0.0))  // also NaN
        v = 0.0;
    if (v > 100.0)
        v = 100.0;
    const float scaled = static_cast<float>(v * 5.03);
    const std::int32_t span = static_cast<std::int32_t>(scaled) + kMinSpan;
    return static_cast<std::int32_t>(clampTo(span, kMinSpan, kMaxSpan));
}

ResampleBlock resampleBlockForSpan(std::int32_t span)
{
    std::int32_t block = 16;
    while (block < span && block < 512)
        block *= 2;
    return ResampleBlock{block, 1024 / block};
}

TimeBaseTexts computeTimeBase(InstrumentSettings& s, InstrumentView& view, float dialValue, char decimalSeparator)
{
    TimeBaseTexts texts;
    float v = dialValue;
    if (!(v >= 0.0f))  // also NaN
        v = 0.0f;
    if (v > 100.0f)
        v = 100.0f;

    texts.uncalLedOn = v < 100.0f;
    s.timeBaseSetting = static_cast<std::int32_t>(v);
    view.span = spanFromDial(v);
    const ResampleBlock block = resampleBlockForSpan(view.span);
    view.blockSize = block.blockSize;
    view.interpFactor = block.interpFactor;

    // The marker difference reads as the marker readout has it; only TIME
    // writes the reciprocal panel, FREQUENCY leaves it as it stands.
    MarkerReadout markers = computeMarkerReadout(s, view, decimalSeparator);
    texts.markerLabel = std::move(markers.markerLabel);
    const bool bothOn = s.marker1Enabled != 0 && s.marker2Enabled != 0;

    if (s.displayType == kTimeDisplayType) {
        texts.statusPanel4 = std::move(markers.statusPanel4);
        if (view.expanded != 0) {
            texts.hiFreqLabel = msText(readoutMs(s, view, s.marker2Pos, decimalSeparator));
            texts.loFreqLabel = msText(readoutMs(s, view, s.marker1Pos, decimalSeparator));
        } else {
            texts.hiFreqLabel = msText(readoutMs(s, view, kFullWidth, decimalSeparator));
            texts.loFreqLabel = "0";
            texts.loFreqLabel += readout::kMs;
        }
    } else if (analyserShown(s)) {
        // The ends of the analyser's axis as drawn.
        texts.hiFreqLabel = analyserHzText(s, view, kFullWidth, decimalSeparator) + std::string(readout::kHz);
        texts.loFreqLabel = analyserHzText(s, view, 0, decimalSeparator) + std::string(readout::kHz);
    } else {
        if (bothOn && view.expanded != 0) {
            texts.hiFreqLabel = hzText(readoutFrequency(s, view, s.marker2Pos));
            texts.loFreqLabel = hzText(readoutFrequency(s, view, s.marker1Pos));
        } else {
            texts.hiFreqLabel = hzText(readoutFrequency(s, view, kFullWidth));
            texts.loFreqLabel = "0";
        }
    }
    return texts;
}

}  // namespace varmolen
