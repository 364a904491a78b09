// The instrument's view: what the display is and what it shows now. The
// display's size and scales, the markers' grab state and the expanded view,
// the time base the Time dial set, the trigger search's results, the record
// of the blocks the picture came from and the spectrum history. Every field
// starts at its start-up value.
#pragma once

#include <array>
#include <cstdint>

#include "dsp/SpectrumHistory.h"
#include "state/AnalyserPicture.h"
#include "state/RecordPicture.h"
#include "state/StateBasics.h"

namespace varmolen {

// What the display shows now, for exports: the display type, channels and
// view of the last pass of any kind, and the rate of the last block drawn
// (which the readouts describe while the picture is held). The blocks the
// picture came from are keptBlocks.
struct DisplayedView {
    std::uint32_t sampleRate = 0;
    std::int32_t displayType = 0;
    std::uint8_t chan1Enabled = 0;
    std::uint8_t chan2Enabled = 0;
    // TIME: the samples across the width (span, 9..512), the columns at the
    // view's left and right ends (0 and 512, or the markers' in the expanded
    // view), XY and Add.
    std::int32_t span = 0;
    std::int32_t firstColumn = 0;
    std::int32_t lastColumn = 0;
    std::uint8_t xy = 0;
    std::uint8_t addChannels = 0;
    // [n - 1]: the sample index of channel n's kept block that its trace on
    // the display starts at (the trigger point, or 0 running free).
    std::array<std::int32_t, 2> traceStart{};
};

// The picture on the display. A held picture (Hold, a finished single
// sweep, a channel that keeps its previous trace) is a record of the
// block that made it: when a control changes how a block is drawn, the
// display pass draws that block again, so picture and readouts agree.
struct KeptBlock {
    std::array<std::int32_t, kBlockSamples> chan1{};  // both channels of the block
    std::array<std::int32_t, kBlockSamples> chan2{};
    std::int32_t traceStart = 0;   // sample index of the trace's first point
    std::uint32_t sampleRate = 0;  // Hz, the rate the block was recorded at
    // [n - 1]: the DC level taken from channel n's samples (the slow
    // average, truncated): as recorded, a sample read value + dcOffset.
    std::array<std::int32_t, 2> dcOffset{};
    flag valid = 0;

    // Channel n's sample i as recorded: the value kept and the DC level
    // taken off it.
    std::int32_t recorded(int channel, std::size_t i) const
    {
        return samples(channel)[i] + dcOffset[channel == 1 ? 0 : 1];
    }
    // Channel n's kept samples (1, or any other for channel 2).
    const std::array<std::int32_t, kBlockSamples>& samples(int channel) const { return channel == 1 ? chan1 : chan2; }
};

struct InstrumentView {
    // The display: the width the graticule's rows reach, its height, the
    // rows the background covers, the XY display's centre and the spectrum's
    // scale (units of the trace per unit of ln of power).
    std::int32_t displayWidth = 511;
    std::int32_t displayHeight = kDisplayRows;
    std::int32_t clearHeight = kDisplayRows;
    std::int32_t xyCenterX = 511 / 2;
    std::int32_t xyCenterY = kDisplayRows / 2;
    float spectrumScale = 10.0f;
    float spectrumSmooth = 0.0f;  // the last spectrum's smoothed value at column 512

    // Markers: which may be dragged, the pointer's grab window either side of
    // a marker line, and the expanded view between them.
    flag marker1Grabbable = 1;
    flag marker2Grabbable = 1;
    std::int32_t grabLeft = 10;
    std::int32_t grabRight = 10;
    flag expanded = 0;
    std::int32_t expandWidth = 0;

    // Time base: the samples across the width and the resampling block.
    std::int32_t span = 512;
    std::int32_t blockSize = 512;
    std::int32_t interpFactor = 2;

    // Trigger: the Sin detector's window, and what the last search found.
    std::int32_t triggerBand = 5;
    std::int32_t triggerIndex = 0;
    flag crossingSeen = 0;
    flag triggerFound = 0;  // the last pass found the trigger source's trigger point

    std::array<KeptBlock, 2> keptBlocks{};  // [n - 1]: the block channel n's picture came from
    std::array<flag, 2> traceKept{};        // [n - 1]: the last pass kept channel n's previous trace
    DisplayedView displayedView;
    // The picture of the record while a time per division is chosen.
    RecordPicture recordPicture;
    // Its expanded view between the markers (Exp on), taken with it.
    ExpandedPicture expandedRecord;
    // Spectrum averaging and peak hold (features.spectrumAverage, features.peakHold).
    SpectrumHistory spectrumHistory;
    // The spectrum analyser's picture (features.analyser).
    AnalyserPicture analyser;
};

}  // namespace varmolen
