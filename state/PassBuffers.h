// The arrays one display pass works in: the block's samples as the run loop
// leaves them (with the DC level it keeps taking off them), the traces the
// renderers form, and the work arrays of the window, the transform and the
// resampler. Their sizes are fixed; nothing here is allocated during a pass.
#pragma once

#include <array>
#include <cstdint>

#include "state/StateBasics.h"

namespace varmolen {

struct PassBuffers {
    // The live block, split per channel, and each channel's slowly averaged
    // DC level.
    std::array<std::int32_t, kArrayLength> chan1Samples{};
    std::array<std::int32_t, kArrayLength> chan2Samples{};
    float chan1DcLevel = 0.0f;
    float chan2DcLevel = 0.0f;

    // Traces
    std::array<std::int32_t, kArrayLength> scaledTrace{};
    std::array<std::int32_t, kArrayLength> chan1Trace{};
    std::array<std::int32_t, kArrayLength> chan2Trace{};
    std::array<std::int32_t, kArrayLength> resampledTrace{};
    std::array<std::int32_t, kArrayLength> expandedTrace{};
    // The same traces in sixteenths of a row, for a display drawn larger than
    // its own size: the scaled block, each channel's trace (the spectrum's
    // in chan1FineTrace), the resampled columns the expanded view stretches,
    // and the points drawn, one per pixel column (up to kArrayLength pixels).
    std::array<std::int32_t, kArrayLength> fineScaledTrace{};
    std::array<std::int32_t, kArrayLength> chan1FineTrace{};
    std::array<std::int32_t, kArrayLength> chan2FineTrace{};
    std::array<std::int32_t, kArrayLength> fineColumns{};
    std::array<std::int32_t, kArrayLength> finePixels{};
    // Window, transform and resampler
    std::array<float, kArrayLength> windowTable{};
    std::array<float, kArrayLength> spectrumWork{};
    std::array<float, kArrayLength> fftReal{};
    std::array<float, kArrayLength> fftImag{};
    std::array<float, kArrayLength> interpInput{};
    std::array<float, kArrayLength> interpOutput{};
    std::array<float, kArrayLength> splineCurvature{};
    std::array<float, kArrayLength> splineSweep{};
    // XY display: the scaled horizontal (channel 2) and vertical (channel 1)
    // deflections, 513 used. Scaling into these leaves chan1Samples and
    // chan2Samples untouched, so a block that is not refilled (channel 2 at
    // the microphone input) is not scaled again on every pass.
    std::array<std::int32_t, kArrayLength> xyHorizontal{};
    std::array<std::int32_t, kArrayLength> xyVertical{};

    // Channel n's arrays by its number (1, or any other for channel 2).
    using Column = std::array<std::int32_t, kArrayLength>;
    const Column& samples(int n) const { return n == 1 ? chan1Samples : chan2Samples; }
    float dcLevel(int n) const { return n == 1 ? chan1DcLevel : chan2DcLevel; }
    Column& trace(int n) { return n == 1 ? chan1Trace : chan2Trace; }
    Column& fineTrace(int n) { return n == 1 ? chan1FineTrace : chan2FineTrace; }
};

}  // namespace varmolen
