#include "display/DisplayPass.h"

#include <algorithm>
#include <cstdint>

#include "display/SpectrumRenderer.h"
#include "display/TraceRenderer.h"

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

void renderChannel(InstrumentState& s, Raster& r, int n)
{
    s.currentChannel = n;
    setColours(r, n == 1 ? s.chan1Color : s.chan2Color);
    const bool time = s.displayType == 2;
    const int y0 = n == 1 ? (time ? s.chan1TimeOffset : s.chan1FreqOffset)
                          : (time ? s.chan2TimeOffset : s.chan2FreqOffset);
    const int g = n == 1 ? (time ? s.chan1TimeGain : s.chan1FreqGain)
                         : (time ? s.chan2TimeGain : s.chan2FreqGain);
    if (s.displayType == 1)
        RenderSpectrumChannel(s, r, n, y0, g);
    else
        RenderTimeChannel(s, r, n, y0, g);
}

}  // namespace

void KeepDisplayedBlock(InstrumentState& s)
{
    DisplayedBlock& b = s.displayedBlock;
    if (s.passIsRedraw == 0) {
        std::copy_n(s.chan1Samples.begin(), kDisplayedBlockSamples, b.chan1Samples.begin());
        std::copy_n(s.chan2Samples.begin(), kDisplayedBlockSamples, b.chan2Samples.begin());
        b.sampleRate = s.sampleRate;
    }
    b.displayType = s.displayType;
    b.chan1Enabled = s.chan1Enabled;
    b.chan2Enabled = s.chan2Enabled;
    b.drawn = true;
    NoteDisplayPass(s.spectrumHistory, s.passIsRedraw == 1);
}

bool RunDisplayPass(InstrumentState& s, Raster& r)
{
    // 0. What this pass shows, kept for exports; the spectrum history counts
    //    the new blocks.
    KeepDisplayedBlock(s);

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

}  // namespace varmolen
