// What the spectrum analyser shows: the power spectrum of each channel's
// newest transform (averaged or held as the spectrum's settings say), where
// in the record it came from, and the spectrogram's rows. A held picture
// keeps these; a control that changes only how they are drawn draws them
// again. The arrays are sized when the length changes, never during a pass.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "dsp/SpectrogramHistory.h"
#include "dsp/SpectrumAnalysis.h"

namespace varmolen {

struct AnalyserPicture {
    // [n - 1]: bins 0..length/2 of channel n, in squared codes of a sine's
    // amplitude (dsp/SpectrumAnalysis.h); what the display draws.
    std::array<std::vector<float>, 2> power;
    // [n - 1]: the running average and the held peaks of channel n, and how
    // many transforms each holds since its restart.
    std::array<std::vector<float>, 2> average;
    std::array<std::vector<float>, 2> peak;
    std::array<std::int32_t, 2> averaged{};
    std::array<std::int32_t, 2> held{};
    std::array<bool, 2> taken{};  // channel n has a spectrum in `power`
    std::int32_t length = 0;
    AnalysisWindow window = AnalysisWindow::Specified;
    double enbwBins = 1.0;
    std::uint32_t rate = 0;  // Hz, the rate the frames were recorded at
    // The record's index one past the newest frame transformed, and its time.
    std::int64_t end = -1;
    double seconds = 0.0;
    bool valid = false;
    // [n - 1]: the spectrogram of channel n, a row a transform.
    std::array<SpectrogramHistory, 2> spectrogram;

    double binHz() const { return length > 0 ? static_cast<double>(rate) / length : 0.0; }
};

}  // namespace varmolen
