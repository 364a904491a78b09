#include "display/DisplayPass.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cmath>
#include <cstdint>

#include "display/RecordTraces.h"
#include "display/SpectrumAnalyser.h"
#include "display/SpectrumRenderer.h"
#include "display/TraceRenderer.h"
#include "dsp/VectorState.h"

namespace varmolen {

namespace {

constexpr int kHorizontalLines = 11;  // rows 0, 34, ... 340
constexpr int kRowPitch = 34;
// Vertical lines of the graticule: at every division of 51 columns in TIME,
// of 64 in FREQUENCY.
constexpr int kTimeColumnLines = 11;
constexpr int kFrequencyColumnLines = 9;
using Graticule = std::array<GraticuleLine, kHorizontalLines + kTimeColumnLines>;

void setColours(Raster& r, std::int32_t colourWord)
{
    r.setPenColor(static_cast<std::uint32_t>(colourWord));
    r.setBrushColor(static_cast<std::uint32_t>(colourWord));
}

// Bottom end of the graticule's and markers' vertical lines.
int lineBottom(const InstrumentView& view) { return traceRow(view.displayHeight, 3); }

void copyBlock(const std::int32_t* from, std::int32_t* to) { std::copy(from, from + kBlockSamples, to); }

// Draws channel n; true when its trigger search looked at a new block.
bool renderChannel(const InstrumentSettings& s, InstrumentView& view, PassBuffers& work, Raster& r, int n, bool redraw)
{
    const auto index = static_cast<std::size_t>(n - 1);
    // A new block is drawn from the live samples; a redraw from the kept
    // block, laying a spectrum out by the rate that block was recorded at,
    // which a held picture keeps when the rate in force changes.
    BlockToDraw block{work.chan1Samples.data(), work.chan2Samples.data(), redraw};
    std::uint32_t rate = s.sampleRate;
    if (redraw) {
        const KeptBlock& kept = keptBlockFor(view, n);
        block.chan1 = kept.chan1.data();
        block.chan2 = kept.chan2.data();
        rate = kept.sampleRate;
    } else {
        view.traceKept[index] = 0;  // the time rendering says when it keeps the trace
    }
    const auto channel = channelSettings(s, n);
    setColours(r, channel.color());
    const bool time = s.displayType == kTimeDisplayType;
    const int y0 = channel.offset(time);
    const int g = channel.gain(time);
    bool searched = false;
    if (s.displayType == kFrequencyDisplayType)
        renderSpectrumChannel(s, view, work, r, block, n, rate, y0, g);
    else
        searched = renderTimeChannel(s, view, work, r, block, n, y0, g);
    // A channel drawn from this block keeps the block as its picture's record.
    if (!redraw && view.traceKept[index] == 0) {
        KeptBlock& kept = view.keptBlocks[index];
        copyBlock(work.chan1Samples.data(), kept.chan1.data());
        copyBlock(work.chan2Samples.data(), kept.chan2.data());
        kept.sampleRate = s.sampleRate;
        // The level the run loop has just taken from this block's samples.
        kept.dcOffset = {static_cast<std::int32_t>(work.chan1DcLevel), static_cast<std::int32_t>(work.chan2DcLevel)};
        kept.valid = 1;
    }
    return searched;
}

// The graticule's lines: rows 0, 34, ... 340 across the display, and the
// columns of the divisions (8 in FREQUENCY, 10 in TIME) from the bottom up.
// Returns how many.
std::size_t graticuleLines(const InstrumentSettings& s, const InstrumentView& view, Graticule& lines)
{
    std::size_t n = 0;
    for (int i = 0; i < kHorizontalLines; ++i)
        lines[n++] = {1, kRowPitch * i, view.displayWidth, kRowPitch * i};
    if (analyserShown(s)) {
        // The analyser's lines stand at the round frequencies its axis is labelled at.
        std::array<double, kTimeColumnLines> columns{};
        const std::size_t count = analyserGridColumns(s, view, columns);
        for (std::size_t i = 0; i < count; ++i) {
            const auto x = static_cast<int>(std::lround(columns[i]));
            lines[n++] = {x, lineBottom(view), x, 0};
        }
        return n;
    }
    const bool frequency = s.displayType == kFrequencyDisplayType;
    const int count = frequency ? kFrequencyColumnLines : kTimeColumnLines;
    const int pitch = frequency ? 64 : 51;
    for (int i = 0; i < count; ++i)
        lines[n++] = {pitch * i, lineBottom(view), pitch * i, 0};
    return n;
}

bool finishPass(const InstrumentSettings& s, const InstrumentView& view, Raster& r, const Graticule& grid,
                std::size_t gridLines, std::int32_t gridColour);

// The channels of a picture of the record, and the trigger level's tick on
// the source's baseline as a block's trace has it; the Trig'd lamp says
// whether the picture came from a trigger point.
void drawRecordChannels(const InstrumentSettings& s, InstrumentView& view, PassBuffers& work, Raster& r)
{
    view.triggerFound = view.recordPicture.valid && view.recordPicture.trigger >= 0 ? 1 : 0;
    // Expanded, the stretch between the markers over the full width.
    const RecordPicture& picture = shownRecordPicture(s, view);
    view.expandedRecord.drawn = &picture == &view.expandedRecord.picture;
    for (int n : {1, 2}) {
        const auto channel = channelSettings(s, n);
        if (!channel.on())
            continue;
        setColours(r, channel.color());
        drawRecordTrace(s, picture, work, r, n);
        if (s.triggerEnabled == 1 && n == s.triggerChannel)
            drawTriggerTick(s, r, channel.offset(true));
    }
}

bool runPass(InstrumentSettings& s, InstrumentView& view, PassBuffers& work, Raster& r, bool redraw)
{
    clearUpperVectorState();
    view.triggerFound = 0;  // until the trigger source's search finds its point
    // What this pass shows, for exports; the spectrum history counts the
    // new blocks.
    noteDisplayedView(s, view, redraw);

    // 1. Clear by the background scheme; an unknown scheme draws no background.
    std::int32_t background = -1;
    if (s.backgroundScheme == kWhiteBackground)
        background = colour::kWhite;
    else if (s.backgroundScheme == kBlackBackground)
        background = colour::kBlack;
    else if (s.backgroundScheme == kTealBackground)
        background = colour::kTeal;
    // The graticule stays in the bitmap from pass to pass: the clear lays it
    // when it changed, and step 3 puts it back where the channels drew over it.
    const std::int32_t gridColour = s.backgroundScheme == kTealBackground ? colour::kBlack : colour::kTeal;
    Graticule grid;
    const std::size_t gridLines = s.gridEnabled == 1 ? graticuleLines(s, view, grid) : 0;
    if (background >= 0) {
        r.setPenWidth(1);
        setColours(r, background);
        r.setGraticule(static_cast<std::uint32_t>(gridColour), grid.data(), gridLines);
        r.Rectangle(0, 0, Raster::kWidth, view.clearHeight);
    }

    // 2. Channels, the trigger source first.
    const int first = s.triggerChannel == 1 ? 1 : 2;
    const int second = first == 1 ? 2 : 1;
    if (recordPictureShown(s)) {
        drawRecordChannels(s, view, work, r);
        return finishPass(s, view, r, grid, gridLines, gridColour);
    }
    if (analyserShown(s)) {
        drawAnalyser(s, view, r);
        return finishPass(s, view, r, grid, gridLines, gridColour);
    }
    for (int n : {first, second}) {
        // A single sweep freezes the display once a new block has been
        // searched for its trigger point.
        if (channelSettings(s, n).on() && renderChannel(s, view, work, r, n, redraw))
            s.displayHold = s.singleSweep;
    }

    return finishPass(s, view, r, grid, gridLines, gridColour);
}

// Steps 3 to 5 of a pass, after the channels: the graticule over them and
// the marker lines. Returns whether the display shows its hint.
bool finishPass(const InstrumentSettings& s, const InstrumentView& view, Raster& r, const Graticule& grid,
                std::size_t gridLines, std::int32_t gridColour)
{
    // 3./4. Graticule: black on teal, teal on the other backgrounds, over
    // the channels.
    setColours(r, gridColour);
    if (gridLines > 0 && !r.coverWithGraticule(static_cast<std::uint32_t>(gridColour), grid.data(), gridLines)) {
        for (std::size_t i = 0; i < gridLines; ++i) {
            r.MoveTo(grid[i].x1, grid[i].y1);
            r.LineTo(grid[i].x2, grid[i].y2);
        }
    }

    // 5. Marker lines (hidden in the expanded view, which shows the stretch
    // between them).
    const bool m1 = s.marker1Enabled == 1;
    const bool m2 = s.marker2Enabled == 1;
    if (!m1 && !m2)
        return false;
    setColours(r, colour::kMagenta);
    if (view.expanded != 1) {
        if (m1) {
            r.MoveTo(s.marker1Pos, lineBottom(view));
            r.LineTo(s.marker1Pos, 0);
        }
        if (m2) {
            r.MoveTo(s.marker2Pos, lineBottom(view));
            r.LineTo(s.marker2Pos, 0);
        }
    }
    return true;
}

}  // namespace

const KeptBlock& keptBlockFor(const InstrumentView& view, int n)
{
    const KeptBlock& own = view.keptBlocks[static_cast<std::size_t>(n - 1)];
    return own.valid == 1 ? own : view.keptBlocks[static_cast<std::size_t>(2 - n)];
}

void noteDisplayedView(const InstrumentSettings& s, InstrumentView& view, bool redraw)
{
    DisplayedView& v = view.displayedView;
    if (!redraw)
        v.sampleRate = s.sampleRate;
    v.displayType = s.displayType;
    v.chan1Enabled = s.chan1Enabled;
    v.chan2Enabled = s.chan2Enabled;
    // The view's ends as the axis labels give them: the full width, or in
    // the expanded view the columns of the two markers.
    v.span = effectiveSpan(view);
    const bool expanded = view.expanded == 1 && s.marker1Enabled == 1;
    v.firstColumn = expanded ? std::clamp(s.marker1Pos, 0, 512) : 0;
    v.lastColumn = expanded ? std::clamp(s.marker2Pos, v.firstColumn, 512) : 512;
    v.xy = s.traceMode != kYtTraceMode ? 1 : 0;
    v.addChannels = s.addChannels;
    noteDisplayPass(view.spectrumHistory, redraw);
}

bool runDisplayPass(InstrumentSettings& s, InstrumentView& view, PassBuffers& work, Raster& r)
{
    return runPass(s, view, work, r, false);
}

bool heldPictureWantsRedraw(const InstrumentSettings& s, const InstrumentView& view)
{
    if (recordPictureShown(s)) {
        if (!view.recordPicture.valid)
            return false;
        // A live picture too when Exp went on or off, or the markers moved
        // in the expanded view: the next picture may be long in coming.
        const bool expanded = recordExpanded(s, view);
        const ColumnStretch stretch = expandedStretch(s);
        const bool stretchMoved = expanded && !view.expandedRecord.shows(view.recordPicture, stretch.from, stretch.to);
        return s.displayHold == 1 || expanded != view.expandedRecord.drawn || stretchMoved;
    }
    if (analyserShown(s))
        return view.analyser.valid;  // drawn from the spectra it keeps
    if (view.keptBlocks[0].valid != 1 && view.keptBlocks[1].valid != 1)
        return false;  // no block made the picture yet (the start picture)
    return s.displayHold == 1 || (s.chan1Enabled == 1 && view.traceKept[0] == 1) ||
           (s.chan2Enabled == 1 && view.traceKept[1] == 1);
}

bool runRedrawPass(InstrumentSettings& s, InstrumentView& view, PassBuffers& work, Raster& r)
{
    // What the search of the last new block found stays as it was: the next
    // new block's second channel may start at it (its source disabled), and
    // the Trig'd lamp says whether the held trace was triggered.
    const std::int32_t triggerIndex = view.triggerIndex;
    const flag crossingSeen = view.crossingSeen;
    const flag triggerFound = view.triggerFound;
    const bool hint = runPass(s, view, work, r, true);
    view.triggerIndex = triggerIndex;
    view.crossingSeen = crossingSeen;
    view.triggerFound = triggerFound;
    return hint;
}

}  // namespace varmolen
