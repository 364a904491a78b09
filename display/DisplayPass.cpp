#include "display/DisplayPass.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "display/SpectrumRenderer.h"
#include "display/TraceRenderer.h"
#include "dsp/VectorState.h"

namespace varmolen {

namespace {

constexpr int kHorizontalLines = 11;  // rows 0, 34, ... 340
constexpr int kRowPitch = 34;

void setColours(Raster& r, std::int32_t colourWord)
{
    r.setPenColor(static_cast<std::uint32_t>(colourWord));
    r.setBrushColor(static_cast<std::uint32_t>(colourWord));
}

// Bottom end of the graticule's and markers' vertical lines.
int lineBottom(const InstrumentState& s)
{
    return TraceRow(s.displayHeight, 3);
}

void copyBlock(const std::int32_t* from, std::int32_t* to)
{
    std::copy(from, from + kBlockSamples, to);
}

// The block a redraw draws channel n from: its own, or the other channel's
// when the picture did not show channel n.
const InstrumentState::KeptBlock& keptBlockFor(const InstrumentState& s, int n)
{
    const InstrumentState::KeptBlock& own = s.keptBlocks[static_cast<std::size_t>(n - 1)];
    return own.valid == 1 ? own : s.keptBlocks[static_cast<std::size_t>(2 - n)];
}

void renderChannel(InstrumentState& s, Raster& r, int n)
{
    const auto index = static_cast<std::size_t>(n - 1);
    const bool redraw = s.passIsRedraw == 1;
    if (redraw) {
        const InstrumentState::KeptBlock& kept = keptBlockFor(s, n);
        copyBlock(kept.chan1.data(), s.chan1Samples.data());
        copyBlock(kept.chan2.data(), s.chan2Samples.data());
    } else {
        s.traceKept[index] = 0;  // the time rendering says when it keeps the trace
    }
    s.currentChannel = n;
    setColours(r, n == 1 ? s.chan1Color : s.chan2Color);
    const bool time = s.displayType == 2;
    const int y0 = n == 1 ? (time ? s.chan1TimeOffset : s.chan1FreqOffset)
                          : (time ? s.chan2TimeOffset : s.chan2FreqOffset);
    const int g = n == 1 ? (time ? s.chan1TimeGain : s.chan1FreqGain)
                         : (time ? s.chan2TimeGain : s.chan2FreqGain);
    // A redraw lays a spectrum out by the rate its block was recorded at,
    // which a held picture keeps when the rate in force changes.
    const std::uint32_t rate = redraw ? keptBlockFor(s, n).sampleRate : s.sampleRate;
    if (s.displayType == 1)
        RenderSpectrumChannel(s, r, n, rate, y0, g);
    else
        RenderTimeChannel(s, r, n, y0, g);
    // A channel drawn from this block keeps the block as its picture's record.
    if (!redraw && s.traceKept[index] == 0) {
        InstrumentState::KeptBlock& kept = s.keptBlocks[index];
        copyBlock(s.chan1Samples.data(), kept.chan1.data());
        copyBlock(s.chan2Samples.data(), kept.chan2.data());
        kept.sampleRate = s.sampleRate;
        // The level the run loop has just taken from this block's samples.
        kept.dcOffset = {static_cast<std::int32_t>(s.chan1DcLevel), static_cast<std::int32_t>(s.chan2DcLevel)};
        kept.valid = 1;
    }
}

}  // namespace

void NoteDisplayedView(InstrumentState& s)
{
    DisplayedView& v = s.displayedView;
    if (s.passIsRedraw == 0)
        v.sampleRate = s.sampleRate;
    v.displayType = s.displayType;
    v.chan1Enabled = s.chan1Enabled;
    v.chan2Enabled = s.chan2Enabled;
    // The view's ends as the axis labels give them: the full width, or in
    // the expanded view the columns of the two markers.
    v.span = EffectiveSpan(s);
    const bool expanded = s.expanded == 1 && s.marker1Enabled == 1;
    v.firstColumn = expanded ? std::clamp(s.marker1Pos, 0, 512) : 0;
    v.lastColumn = expanded ? std::clamp(s.marker2Pos, v.firstColumn, 512) : 512;
    v.xy = s.traceMode != 1 ? 1 : 0;
    v.addChannels = s.addChannels;
    NoteDisplayPass(s.spectrumHistory, s.passIsRedraw == 1);
}

bool RunDisplayPass(InstrumentState& s, Raster& r)
{
    clearUpperVectorState();
    s.triggerFound = 0;  // until the trigger source's search finds its point
    // What this pass shows, for exports; the spectrum history counts the
    // new blocks.
    NoteDisplayedView(s);

    // 1. Clear by the background scheme; an unknown scheme draws no background.
    std::int32_t background = -1;
    if (s.backgroundScheme == 1)
        background = colour::white;
    else if (s.backgroundScheme == 2)
        background = colour::black;
    else if (s.backgroundScheme == 3)
        background = colour::teal;
    if (background >= 0) {
        r.setPenWidth(1);
        setColours(r, background);
        r.Rectangle(0, 0, Raster::kWidth, s.clearHeight);
    }

    // 2. Channels, the trigger source first.
    const int first = s.triggerChannel == 1 ? 1 : 2;
    const int second = first == 1 ? 2 : 1;
    for (int n : {first, second}) {
        const bool enabled = n == 1 ? s.chan1Enabled == 1 : s.chan2Enabled == 1;
        if (enabled)
            renderChannel(s, r, n);
    }

    // 3./4. Graticule: black on teal, teal on the other backgrounds.
    setColours(r, s.backgroundScheme == 3 ? colour::black : colour::teal);
    if (s.gridEnabled == 1) {
        for (int i = 0; i < kHorizontalLines; ++i) {
            r.MoveTo(1, kRowPitch * i);
            r.LineTo(s.displayWidth, kRowPitch * i);
        }
        const int lines = s.displayType == 1 ? 9 : 11;
        const int pitch = s.displayType == 1 ? 64 : 51;
        for (int i = 0; i < lines; ++i) {
            r.MoveTo(pitch * i, lineBottom(s));
            r.LineTo(pitch * i, 0);
        }
    }

    // 5. Marker lines (hidden in the expanded view, which shows the stretch
    // between them).
    const bool m1 = s.marker1Enabled == 1;
    const bool m2 = s.marker2Enabled == 1;
    if (!m1 && !m2)
        return false;
    setColours(r, colour::magenta);
    if (s.expanded != 1) {
        if (m1) {
            r.MoveTo(s.marker1Pos, lineBottom(s));
            r.LineTo(s.marker1Pos, 0);
        }
        if (m2) {
            r.MoveTo(s.marker2Pos, lineBottom(s));
            r.LineTo(s.marker2Pos, 0);
        }
    }
    return true;
}

bool HeldPictureWantsRedraw(const InstrumentState& s)
{
    if (s.keptBlocks[0].valid != 1 && s.keptBlocks[1].valid != 1)
        return false;  // no block made the picture yet (the start picture)
    return s.displayHold == 1 || (s.chan1Enabled == 1 && s.traceKept[0] == 1) ||
           (s.chan2Enabled == 1 && s.traceKept[1] == 1);
}

bool RunRedrawPass(InstrumentState& s, Raster& r)
{
    copyBlock(s.chan1Samples.data(), s.liveChan1Samples.data());
    copyBlock(s.chan2Samples.data(), s.liveChan2Samples.data());
    // What the search of the last new block found stays as it was: the next
    // new block's second channel may start at it (its source disabled), and
    // the Trig'd lamp says whether the held trace was triggered.
    const std::int32_t triggerIndex = s.triggerIndex;
    const flag crossingSeen = s.crossingSeen;
    const flag triggerFound = s.triggerFound;
    s.passIsRedraw = 1;
    const bool hint = RunDisplayPass(s, r);
    s.passIsRedraw = 0;
    s.triggerIndex = triggerIndex;
    s.crossingSeen = crossingSeen;
    s.triggerFound = triggerFound;
    copyBlock(s.liveChan1Samples.data(), s.chan1Samples.data());
    copyBlock(s.liveChan2Samples.data(), s.chan2Samples.data());
    return hint;
}

}  // namespace varmolen
