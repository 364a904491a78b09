#include "dsp/SpectrumHistory.h"

#include <algorithm>

namespace varmolen {

void resetSpectrumHistory(SpectrumHistory& h)
{
    h.averagedBlocks = {};
    h.heldBlocks = {};
}

void restartSpectrumAverage(SpectrumHistory& h) { h.averagedBlocks = {}; }

void restartPeakHold(SpectrumHistory& h) { h.heldBlocks = {}; }

void noteDisplayPass(SpectrumHistory& h, bool redraw)
{
    if (!redraw)
        ++h.passes;
}

void applySpectrumHistory(SpectrumHistory& h, int channel, float* power, std::int32_t averageBlocks, bool peakHold,
                          bool redraw)
{
    const bool averaging = averageBlocks > 1;
    if (!averaging && !peakHold)
        return;
    const int c = channel == 2 ? 1 : 0;
    float* average = h.average[c].data();
    float* peak = h.peak[c].data();

    if (redraw) {
        // Only a history that took in the block being redrawn stands for it.
        if (h.lastPass[c] != h.passes)
            return;
        if (peakHold && h.peakShown[c])
            std::copy(peak + 1, peak + kHistoryBins + 1, power + 1);
        else if (averaging && h.averageShown[c])
            std::copy(average + 1, average + kHistoryBins + 1, power + 1);
        return;
    }

    // A channel that missed the previous block starts afresh: its history
    // would join blocks that are not neighbours.
    if (h.lastPass[c] + 1 != h.passes) {
        h.averagedBlocks[c] = 0;
        h.heldBlocks[c] = 0;
    }
    h.lastPass[c] = h.passes;
    h.averageShown[c] = averaging;
    h.peakShown[c] = peakHold;

    if (averaging) {
        const std::int32_t n = std::min(h.averagedBlocks[c] + 1, averageBlocks);
        if (n == 1) {
            std::copy(power + 1, power + kHistoryBins + 1, average + 1);
        } else {
            const float weight = 1.0f / static_cast<float>(n);
            for (int k = 1; k <= kHistoryBins; ++k) {
                average[k] += (power[k] - average[k]) * weight;
                power[k] = average[k];
            }
        }
        h.averagedBlocks[c] = n;
    } else {
        h.averagedBlocks[c] = 0;
    }

    if (peakHold) {
        if (h.heldBlocks[c] == 0) {
            std::copy(power + 1, power + kHistoryBins + 1, peak + 1);
        } else {
            for (int k = 1; k <= kHistoryBins; ++k) {
                peak[k] = std::max(peak[k], power[k]);
                power[k] = peak[k];
            }
        }
        if (h.heldBlocks[c] < 1'000'000)
            ++h.heldBlocks[c];
    } else {
        h.heldBlocks[c] = 0;
    }
}

}  // namespace varmolen
