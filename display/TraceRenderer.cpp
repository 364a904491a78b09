#include "display/TraceRenderer.h"

#include <cmath>
#include <cstddef>
#include <limits>

#include "display/DisplayScale.h"
#include "dsp/Graphicinterpolate.h"

namespace varmolen {

namespace {

constexpr int kBlock = 1024;       // samples per channel block
constexpr int kTracePoints = 513;  // display columns 0..512
constexpr int kLastTrigger = 511;  // trigger search positions 1..511
constexpr int kTickSegments = 5;

std::int32_t saturate(std::int64_t v)
{
    if (v > std::numeric_limits<std::int32_t>::max())
        return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min())
        return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

int clampInt(std::int64_t v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : static_cast<int>(v)); }

void renderXY(const InstrumentSettings& s, const InstrumentView& view, PassBuffers& work, Raster& r,
              const BlockToDraw& block)
{
    // Channel 2 drives the horizontal axis with the Channel 1 gain, channel 1
    // the vertical axis with the Channel 2 gain. The deflections go to their
    // own work arrays: the sample blocks stay as recorded.
    std::int32_t* hx = work.xyHorizontal.data();
    std::int32_t* vy = work.xyVertical.data();
    for (int i = 0; i < kTracePoints; ++i) {
        hx[i] = scaleSample(s.chan1TimeGain, block.chan2[i]);
        vy[i] = scaleSample(s.chan2TimeGain, block.chan1[i]);
    }
    if (r.finerThanOwnSize()) {
        // On a larger display, the same deflections sixteen times finer.
        const long long cx = static_cast<long long>(view.xyCenterX) * kFineSteps;
        const long long cy = static_cast<long long>(view.xyCenterY) * kFineSteps;
        auto x = [&](int i) { return cx + scaleSampleFine(s.chan1TimeGain, block.chan2[i]); };
        auto y = [&](int i) { return cy - scaleSampleFine(s.chan2TimeGain, block.chan1[i]); };
        r.moveToFine(x(0), y(0));
        for (int i = 1; i < kTracePoints; ++i)
            r.lineToFine(x(i), y(i));
        return;
    }
    auto column = [&](int i) { return saturate(static_cast<std::int64_t>(hx[i]) + view.xyCenterX); };
    r.MoveTo(column(0), traceRow(view.xyCenterY, vy[0]));
    for (int i = 1; i < kTracePoints; ++i)
        r.LineTo(column(i), traceRow(view.xyCenterY, vy[i]));
}

}  // namespace

int traceRow(std::int64_t y0, std::int64_t v) { return saturate(y0 - v); }

int bandFactor(std::int32_t range)
{
    if (range < 1)
        return 1;
    return static_cast<int>(std::log(static_cast<double>(range)) + 1.0);
}

TriggerRule triggerRule(const InstrumentSettings& s, std::int64_t band)
{
    TriggerRule rule;
    rule.level = s.triggerThreshold;
    rule.band = band;
    rule.shape = s.triggerShape == kSineTrigger     ? TriggerShape::Sine
                 : s.triggerShape == kSquareTrigger ? TriggerShape::Square
                                                    : TriggerShape::None;
    // A slope of neither kind finds nothing and sees no crossing.
    if (s.triggerSlope != kRisingSlope && s.triggerSlope != kFallingSlope)
        rule.shape = TriggerShape::None;
    rule.rising = s.triggerSlope == kRisingSlope;
    return rule;
}

int effectiveSpan(const InstrumentView& view) { return clampInt(view.span, 9, 512); }

void drawTracePolyline(Raster& r, const std::int32_t* values, int segments, int y0)
{
    r.MoveTo(0, traceRow(y0, values[0]));
    for (int k = 1; k <= segments; ++k)
        r.LineTo(k, traceRow(y0, values[k]));
}

void drawFinePolyline(Raster& r, const std::int32_t* values, int segments, int y0, bool perPixel)
{
    const long long base = static_cast<long long>(y0) * kFineSteps;
    auto x = [&](int k) { return perPixel ? pixelToFineColumn(k, r.width()) : static_cast<long long>(k) * kFineSteps; };
    r.moveToFine(x(0), base - values[0]);
    for (int k = 1; k <= segments; ++k)
        r.lineToFine(x(k), base - values[k]);
}

void drawZoomedTrace(const InstrumentSettings& s, InstrumentView& view, PassBuffers& work, Raster& r,
                     const std::int32_t* trace, const std::int32_t* fineTrace, int y0, float expandColumns)
{
    const int span = effectiveSpan(view);
    const bool expanded = view.expanded == 1;
    const std::int64_t blockSize = view.blockSize;
    const SplineWork spline{work.interpInput, work.splineSweep, work.splineCurvature, work.interpOutput};
    const int sourceCount = clampInt(2 * blockSize, 0, kArrayLength);
    // On a larger display the fine trace is drawn instead, one resampled
    // point per pixel column up to the pixel of column 511, where the
    // display's own 512 points end (on a display wider than the work arrays,
    // one per column).
    const bool fine = fineTrace != nullptr;
    const std::int64_t lastColumnPixel = columnToPixel(511, r.width());
    const bool perPixel = fine && lastColumnPixel < kArrayLength;
    const int lastPixel = perPixel ? static_cast<int>(lastColumnPixel) : 511;
    const float pixelsPerColumn = perPixel ? static_cast<float>(r.width() - 1) / 512.0f : 1.0f;
    const std::int32_t* source = fine ? fineTrace : trace;

    // Resamples a run spread over `columns` display columns and draws it:
    // the display's own 512 points (into `own`) at columns 0..511, or the
    // fine one's.
    auto drawResampled = [&](const std::int32_t* from, int available, std::int64_t count, int length, float columns,
                             std::int32_t* own) {
        const int points = clampInt(count, 0, kArrayLength);
        if (fine) {
            resample(spline, from, available, points, static_cast<float>(length), columns * pixelsPerColumn,
                     work.finePixels.data(), lastPixel + 1);
            drawFinePolyline(r, work.finePixels.data(), lastPixel, y0, perPixel);
        } else {
            resample(spline, from, available, points, static_cast<float>(length), columns, own);
            drawTracePolyline(r, own, 511, y0);
        }
    };

    // The time base's columns, which the expanded view stretches.
    std::int32_t* columns = fine ? work.fineColumns.data() : work.resampledTrace.data();
    if (span == 512 && !expanded) {
        if (fine)
            drawFinePolyline(r, fineTrace, 512, y0, false);
        else
            drawTracePolyline(r, trace, 512, y0);
    } else if (!expanded) {
        drawResampled(source, kArrayLength, sourceCount, span, 512.0f, work.resampledTrace.data());
    } else if (span != 512) {
        resample(spline, source, kArrayLength, sourceCount, static_cast<float>(span), 512.0f, columns);
    }

    if (s.marker1Enabled == 1 && expanded) {
        // Marker positions may come from a file: the width is kept within the
        // display (9..512) and the start within columns 0..512.
        const std::int64_t gap = static_cast<std::int64_t>(s.marker2Pos) - s.marker1Pos;
        const int width = clampInt(gap, 9, 512);
        view.expandWidth = width;
        const int start = clampInt(s.marker1Pos, 0, 512);
        const std::int32_t* from = (span == 512 ? source : columns) + start;
        std::int64_t count = clampInt((blockSize * width) / 256, 0, kArrayLength);
        if (span != 512)
            count = (count * clampInt(view.interpFactor, 0, kArrayLength)) / 2;
        drawResampled(from, kArrayLength - start, count, width, expandColumns, work.expandedTrace.data());
    }
}

bool renderTimeChannel(const InstrumentSettings& s, InstrumentView& view, PassBuffers& work, Raster& r,
                       const BlockToDraw& block, int n, int y0, int g)
{
    if (s.traceMode != kYtTraceMode) {
        if (n == 1)
            renderXY(s, view, work, r, block);
        return false;
    }

    const bool isSource = n == s.triggerChannel;
    if (isSource) {
        view.triggerIndex = 0;
        view.crossingSeen = 0;
    }
    bool found = false;

    const std::int32_t ownRange = channelSettings(s, n).range(true);
    const std::int64_t band = static_cast<std::int64_t>(view.triggerBand) * bandFactor(ownRange);

    // Gain scaling, of the channel's own block or in Add of the sum of both.
    const std::int32_t* own = block.samples(n);
    const std::int32_t* c1 = block.chan1;
    const std::int32_t* c2 = block.chan2;
    const bool add = s.addChannels == 1;
    auto sample = [&](int i) { return add ? static_cast<std::int64_t>(c1[i]) + c2[i] : own[i]; };
    std::int32_t* w = work.scaledTrace.data();
    for (int i = 0; i < kBlock; ++i)
        w[i] = scaleSample(g, sample(i));
    // The same, sixteen times finer, for a display larger than its own size.
    const bool fine = r.finerThanOwnSize();
    std::int32_t* wf = work.fineScaledTrace.data();
    if (fine) {
        for (int i = 0; i < kBlock; ++i)
            wf[i] = scaleSampleFine(g, sample(i));
    }

    // Trigger search. In Chop the other channel never searches; it takes the
    // source's trigger point.
    const bool triggerOn = s.triggerEnabled == 1;
    const bool chop = s.chopMode == 1;
    bool searchedNewBlock = false;
    if (triggerOn && !(chop && !isSource)) {
        const TriggerRule rule = triggerRule(s, band);
        const bool slopeKnown = s.triggerSlope == kRisingSlope || s.triggerSlope == kFallingSlope;
        for (int j = 1; j <= kLastTrigger && !found; ++j) {
            if (slopeKnown && rule.crosses(w[j - 1], w[j]))
                view.crossingSeen = 1;
            if (rule.fires(w[j - 1], w[j])) {
                found = true;
                view.triggerIndex = j;
                if (isSource)
                    view.triggerFound = 1;
            }
        }
        // Drawing a held picture again is no new sweep.
        searchedNewBlock = !block.redraw;
    }

    // Update rule: a sweep that saw the level crossed without a trigger point
    // keeps the previous trace on screen.
    bool update;
    bool ground = false;
    if (!triggerOn) {
        update = true;
        ground = ownRange == 0;
    } else if (chop && !isSource) {
        update = view.triggerIndex != 0 || view.crossingSeen == 0 || s.chan1TimeRange == 0 || s.chan2TimeRange == 0;
    } else {
        update = found || view.crossingSeen == 0 || ownRange == 0;
    }
    const auto index = static_cast<std::size_t>(n - 1);
    // A stale trigger point is kept within the search's range 0..511.
    int start = clampInt(view.triggerIndex, 0, kLastTrigger);
    if (block.redraw) {
        // Drawing a held picture again: the trace always follows the
        // controls, from the kept block's own start where the search on it
        // would keep the previous trace.
        if (!update)
            start =
                clampInt(view.keptBlocks[index].valid == 1 ? view.keptBlocks[index].traceStart : 0, 0, kLastTrigger);
        update = true;
    } else {
        view.traceKept[index] = update ? 0 : 1;
        if (update)
            view.keptBlocks[index].traceStart = start;
    }
    std::int32_t* trace = work.trace(n).data();
    std::int32_t* fineTrace = work.fineTrace(n).data();
    if (update) {
        for (int k = 0; k < kTracePoints; ++k)
            trace[k] = ground ? 0 : w[start + k];
        if (fine)
            for (int k = 0; k < kTracePoints; ++k)
                fineTrace[k] = ground ? 0 : wf[start + k];
        view.displayedView.traceStart[index] = start;
    }

    drawZoomedTrace(s, view, work, r, trace, fine ? fineTrace : nullptr, y0, 513.0f);

    if (triggerOn)
        drawTriggerTick(s, r, y0);
    return searchedNewBlock;
}

void drawTriggerTick(const InstrumentSettings& s, Raster& r, int y0)
{
    r.setPenWidth(3);
    r.setPenColor(static_cast<std::uint32_t>(colour::kRed));
    r.setBrushColor(static_cast<std::uint32_t>(colour::kRed));
    const int row = traceRow(y0, s.triggerThreshold);
    r.MoveTo(0, row);
    for (int k = 1; k <= kTickSegments; ++k)
        r.LineTo(k, row);
    r.setPenWidth(1);
}

}  // namespace varmolen
