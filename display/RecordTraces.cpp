#include "display/RecordTraces.h"

#include <algorithm>
#include <cmath>

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

void drawRecordTrace(const InstrumentSettings& s, const RecordPicture& picture, Raster& r, int n)
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
    // column before so that the trace is one line; the walk leaves out its
    // end, so the stroke ends a little below the least.
    const long long beyond = fine ? kFineSteps / 2 : 1;
    bool drawn = false;
    std::int64_t lastLow = 0;
    std::int64_t lastHigh = 0;
    for (int p = 0; p < picture.columns; ++p) {
        const SampleRing::Extremes& e = columns[static_cast<std::size_t>(p)];
        if (std::isnan(e.min) || std::isnan(e.max)) {
            drawn = false;
            continue;
        }
        const std::int64_t low = value(e.min);
        const std::int64_t high = value(e.max);
        const std::int64_t top = drawn ? std::max(high, lastLow) : high;
        const std::int64_t bottom = drawn ? std::min(low, lastHigh) : low;
        moveTo(x(p), top);
        lineTo(x(p), bottom - beyond);
        lastLow = low;
        lastHigh = high;
        drawn = true;
    }
}

}  // namespace varmolen
