#include "display/RecordTraces.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "display/DisplayScale.h"
#include "display/TraceRenderer.h"

namespace varmolen {

bool recordPictureShown(const InstrumentSettings& s)
{
    return s.features.timePerDiv > 0.0 && s.displayType == kTimeDisplayType && s.traceMode == kYtTraceMode;
}

double recordPerDiv(const InstrumentSettings& s, const InstrumentView& view)
{
    const RecordPicture& held = view.recordPicture;
    return s.displayHold == 1 && held.valid && held.perDiv > 0.0 ? held.perDiv : s.features.timePerDiv;
}

bool recordExpanded(const InstrumentSettings& s, const InstrumentView& view)
{
    return recordPictureShown(s) && view.expanded == 1 && s.marker1Enabled == 1 && s.marker2Enabled == 1;
}

ColumnStretch expandedStretch(const InstrumentSettings& s)
{
    const int from = std::clamp(s.marker1Pos, 0, 511);
    const int to = std::clamp(s.marker2Pos, from + 1, 512);
    return {static_cast<double>(from), static_cast<double>(to)};
}

void takeExpandedRecord(const InstrumentSettings& s, InstrumentView& view, const SampleRing& ring)
{
    if (!recordExpanded(s, view) || !view.recordPicture.valid)
        return;
    const ColumnStretch stretch = expandedStretch(s);
    if (!view.expandedRecord.shows(view.recordPicture, stretch.from, stretch.to))
        takeExpandedPicture(ring, view.recordPicture, stretch.from, stretch.to, view.expandedRecord);
}

const RecordPicture& shownRecordPicture(const InstrumentSettings& s, const InstrumentView& view)
{
    if (recordExpanded(s, view)) {
        const ColumnStretch stretch = expandedStretch(s);
        if (view.expandedRecord.shows(view.recordPicture, stretch.from, stretch.to))
            return view.expandedRecord.picture;
    }
    return view.recordPicture;
}

void drawRecordTrace(const InstrumentSettings& s, const RecordPicture& picture, PassBuffers& work, Raster& r, int n)
{
    if (!picture.valid || picture.columns < 2)
        return;
    const auto channel = channelSettings(s, n);
    const std::int32_t g = channel.gain(true);
    const bool ground = channel.range(true) == 0;
    const std::int64_t y0 = channel.offset(true);
    const bool fine = r.finerThanOwnSize();
    // Trace values of a sample, in rows or sixteenths of a row.
    const auto value = [&](float v) -> std::int64_t {
        if (ground)
            return 0;
        const auto code = static_cast<std::int64_t>(std::floor(v));
        return fine ? scaleSampleFine(g, code) : scaleSample(g, code);
    };
    const auto x = [&](int p) -> long long {
        return fine ? pixelToFineColumn(p, picture.columns) : pixelToColumn(p, picture.columns);
    };
    const long long base = fine ? y0 * kFineSteps : y0;
    const auto moveTo = [&](long long px, long long v) {
        fine ? r.moveToFine(px, base - v) : r.MoveTo(static_cast<int>(px), traceRow(y0, v));
    };
    const auto lineTo = [&](long long px, long long v) {
        fine ? r.lineToFine(px, base - v) : r.LineTo(static_cast<int>(px), traceRow(y0, v));
    };
    const auto& columns = picture.of(n);
    if (picture.framesPerColumn() < 1.0) {
        // Fewer frames than pixels: one line through the pixels' values.
        bool drawn = false;
        for (int p = 0; p < picture.columns; ++p) {
            const SampleRing::Extremes& e = columns[static_cast<std::size_t>(p)];
            if (std::isnan(e.max)) {
                drawn = false;
                continue;
            }
            drawn ? lineTo(x(p), value(e.max)) : moveTo(x(p), value(e.max));
            drawn = true;
        }
        return;
    }
    // A stroke a column from its greatest sample to its least, reaching the
    // column before so that the trace is one line: first the strokes' ends
    // (trace values, kNoStroke where the column holds no frame).
    constexpr std::int32_t kNoStroke = std::numeric_limits<std::int32_t>::min();
    std::int32_t* const tops = work.fineColumns.data();
    std::int32_t* const bottoms = work.finePixels.data();
    bool drawn = false;
    std::int64_t lastLow = 0;
    std::int64_t lastHigh = 0;
    for (int p = 0; p < picture.columns; ++p) {
        const SampleRing::Extremes& e = columns[static_cast<std::size_t>(p)];
        if (std::isnan(e.min) || std::isnan(e.max)) {
            tops[p] = kNoStroke;
            drawn = false;
            continue;
        }
        const std::int64_t low = value(e.min);
        const std::int64_t high = value(e.max);
        tops[p] = static_cast<std::int32_t>(drawn ? std::max(high, lastLow) : high);
        bottoms[p] = static_cast<std::int32_t>(drawn ? std::min(low, lastHigh) : low);
        lastLow = low;
        lastHigh = high;
        drawn = true;
    }
    const auto row = [&](std::int64_t v) -> int {
        const std::int64_t y = fine ? fineRowToPixel(base - v, r.height()) : traceRow(y0, v);
        return static_cast<int>(std::clamp<std::int64_t>(y, -1, r.height()));
    };
    // A band of tall strokes (more pixels than a quarter of the bitmap) is
    // laid row by row where each pixel column is its own; thin strokes are
    // drawn as lines, whose pixels the bitmap notes for its next clear.
    std::int64_t pixels = 0;
    for (int p = 0; p < picture.columns; ++p) {
        if (tops[p] != kNoStroke)
            pixels += row(bottoms[p]) - row(tops[p]) + 1;
    }
    const bool band = picture.columns == r.width() && r.penWidth() == 1 &&
                      pixels > static_cast<std::int64_t>(r.width()) * r.height() / 4;
    if (band) {
        for (int p = 0; p < picture.columns; ++p) {
            if (tops[p] == kNoStroke) {
                tops[p] = 1;  // an empty span
                bottoms[p] = 0;
            } else {
                tops[p] = row(tops[p]);
                bottoms[p] = row(bottoms[p]);
            }
        }
        r.fillColumnSpans(tops, bottoms, picture.columns);
        return;
    }
    // The walk leaves out a line's end, so a stroke ends a little below the least.
    const long long beyond = fine ? kFineSteps / 2 : 1;
    for (int p = 0; p < picture.columns; ++p) {
        if (tops[p] == kNoStroke)
            continue;
        moveTo(x(p), tops[p]);
        lineTo(x(p), bottoms[p] - beyond);
    }
}

}  // namespace varmolen
