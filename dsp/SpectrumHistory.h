// Spectrum averaging and peak hold: what the FREQUENCY display keeps of
// earlier blocks. Both act on a channel's power spectrum (spectrumWork[1..512]
// as the transform leaves it), before the logarithm and the display's
// smoothing and scaling, so the averaged or held spectrum is drawn exactly as
// a single block's would be.
//
// Averaging is exponential on power: the first N blocks after a restart are
// averaged evenly, after that each new block weighs 1/N. Peak hold keeps, for
// every bin, the largest power seen (of the averaged spectrum when averaging
// is on). Both advance only when a new block is drawn; a pass that redraws a
// block it drew before shows what the history held after that block, also
// when the history has been restarted since: a held picture keeps showing
// what it showed.
//
// A channel restarts its history when it was not drawn on the previous new
// block (the display showed TIME, or the channel was off); the window restarts
// both channels when the rate, the input or the display type changes, so the
// next new block starts them afresh.
#pragma once

#include <array>
#include <cstdint>

namespace varmolen {

constexpr int kHistoryBins = 512;  // spectrumWork[1..512]

struct SpectrumHistory {
    // Per channel (index 0 = channel 1), 1-based like spectrumWork; entry 0 unused.
    std::array<std::array<float, kHistoryBins + 1>, 2> average{};
    std::array<std::array<float, kHistoryBins + 1>, 2> peak{};
    std::array<std::int32_t, 2> averagedBlocks{};  // blocks in `average` since its restart
    std::array<std::int32_t, 2> heldBlocks{};      // blocks in `peak` since its restart
    std::array<std::uint64_t, 2> lastPass{};       // the new-block pass that last advanced the channel
    // What that pass left in `average` and `peak`: the spectrum it showed
    // (averaging, or peak hold, was on for it). A restart leaves these.
    std::array<bool, 2> averageShown{};
    std::array<bool, 2> peakShown{};
    std::uint64_t passes = 0;  // new-block passes so far
};

// Starts both channels afresh (Reset, and a change of rate, input or display type).
void resetSpectrumHistory(SpectrumHistory& h);
// Starts only the averages, or only the held peaks, afresh (their setting changed).
void restartSpectrumAverage(SpectrumHistory& h);
void restartPeakHold(SpectrumHistory& h);

// Counts a display pass: new blocks advance the history, redraws do not.
void noteDisplayPass(SpectrumHistory& h, bool redraw);

// Folds channel `channel`'s (1 or 2) power spectrum power[1..512] into its
// history and replaces it by what the display shows: the average when
// `averageBlocks` is 4, 16 or 64, the held peaks when `peakHold` is set. With
// averaging off and peak hold off it returns at once and changes nothing.
// On a redraw (`redraw`) nothing advances: the spectrum is replaced by the
// history as it stood after the block being redrawn, if the history holds it
// (a restart since does not change that).
void applySpectrumHistory(SpectrumHistory& h, int channel, float* power, std::int32_t averageBlocks, bool peakHold,
                          bool redraw);

}  // namespace varmolen
