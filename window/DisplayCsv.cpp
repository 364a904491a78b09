#include "window/DisplayCsv.h"

#include <array>

#include "display/DisplayPass.h"
#include "display/RecordTraces.h"
#include "display/SpectrumAnalyser.h"
#include "display/SpectrumRenderer.h"

namespace varmolen {

bool exportsRecordSpan(const InstrumentState& s) { return recordPictureShown(s); }

SpanFrames spanToExport(const InstrumentState& s, const SampleRing* record, std::string& whyNot)
{
    whyNot.clear();
    SpanFrames span;
    if (s.chan1Enabled != 1 && s.chan2Enabled != 1) {
        whyNot = "No channel is shown on the display.";
        return span;
    }
    if (record != nullptr)
        span = shownSpanFrames(s.recordPicture, *record);
    if (span.held == SpanHeld::NothingRecorded)
        whyNot = "The record holds nothing of the span shown yet.";
    else if (span.held == SpanHeld::NoLongerHeld)
        whyNot = "The record no longer holds the span shown.";
    return span;
}

std::string spanTooLong(std::int64_t count, std::int64_t maxFrames)
{
    return "The span shown is too long to export: it holds " + std::to_string(count) + " samples, the file at most " +
           std::to_string(maxFrames) + ". Choose a shorter Display > Time/Div.";
}

SpanCsvInput spanCsvInput(const InstrumentState& s, const RecordSpan& span)
{
    return {span, {s.chan1Enabled == 1, s.chan2Enabled == 1}, s.recordPicture.dcLevels, s.features.fullScaleVolts};
}

namespace {

// The analyser's points as the display shows them, each channel's in the
// level axis's unit.
std::string analyserCsv(const InstrumentState& s, std::string& whyNot)
{
    constexpr const char* kWindows[] = {"display's own", "rectangular", "Hann", "Blackman-Harris", "flat top"};
    const AnalyserSettings& a = s.features.analyser;
    AnalyserCsvColumns columns;
    columns.bands = a.bands != 0;
    std::vector<float> hz;
    for (int n : {1, 2}) {
        const auto c = static_cast<std::size_t>(n - 1);
        columns.shown[c] = channelSettings(s, n).on() && analyserPoints(s, s, n, hz, columns.level[c]);
        if (columns.shown[c]) {
            columns.hz = hz;
            columns.unit = analyserUnitName(s, s, n);
        }
    }
    if (!columns.shown[0] && !columns.shown[1]) {
        whyNot = "The display shows no spectrum yet.";
        return {};
    }
    columns.unit += ", " + std::to_string(s.analyser.length) + " points, " +
                    kWindows[static_cast<std::size_t>(s.analyser.window)] + " window";
    if (columns.bands)
        columns.unit +=
            ", 1/" + std::to_string(a.bands) + " octave bands, " + "ZAC"[static_cast<int>(a.weighting)] + "-weighted";
    return composeAnalyserCsv(columns);
}

}  // namespace

std::string composeDisplayCsv(InstrumentState& s, std::string& whyNot, CsvExtent extent, const SampleRing* record)
{
    whyNot.clear();
    if (exportsRecordSpan(s) && extent == CsvExtent::ShownSpan) {
        const SpanFrames span = spanToExport(s, record, whyNot);
        if (span.held != SpanHeld::Held)
            return {};
        if (span.count > kMaxSpanCsvFrames) {
            whyNot = spanTooLong(span.count, kMaxSpanCsvFrames);
            return {};
        }
        return composeSpanCsv(spanCsvInput(s, {record, span.from, span.count, span.offset}));
    }
    if (analyserShown(s))
        return analyserCsv(s, whyNot);
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
    if (v.displayType == kFrequencyDisplayType) {
        SpectrumCsvColumns columns;
        columns.rate = v.sampleRate;
        columns.spectrumAverage = s.features.spectrumAverage;
        columns.peakHold = s.features.peakHold;
        columns.shown = shown;
        for (int c = 0; c < 2; ++c) {
            if (shown[c])
                keptSpectrumLevels(s, s, s, c + 1, columns.level[c], columns.drawn[c]);
        }
        return composeSpectrumCsv(columns);
    }
    TimeCsvInput in{v, {}, s.features.fullScaleVolts};
    for (int c = 0; c < 2; ++c) {
        if (shown[c])
            in.blocks[c] = &keptBlockFor(s, c + 1);
    }
    return composeTimeCsv(in, extent);
}

}  // namespace varmolen
