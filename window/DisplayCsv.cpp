#include "window/DisplayCsv.h"

#include <array>

#include "display/DisplayPass.h"
#include "display/SpectrumRenderer.h"

namespace varmolen {

std::string composeDisplayCsv(InstrumentState& s, std::string& whyNot, CsvExtent extent)
{
    whyNot.clear();
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
