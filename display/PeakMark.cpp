#include "display/PeakMark.h"

#include <algorithm>
#include <cmath>

#include "display/DisplayScale.h"
#include "display/ReadoutScales.h"
#include "display/SpectrumAnalyser.h"

namespace varmolen {

std::optional<double> frequencyColumn(const InstrumentSettings& s, const InstrumentView& view, double hz)
{
    if (analyserShown(s)) {
        // The analyser's own axis, as drawn (narrowed by Exp).
        const double column = shownAxis(s, view).columnOf(hz);
        if (!std::isfinite(column) || column < 0.0 || column > kFullWidth)
            return std::nullopt;
        return column;
    }
    // The cursor's own scale: what it reads at the right edge of the
    // unexpanded display, in whole hertz.
    const std::int32_t fullWidthHz = readoutFrequency(s, view, kFullWidth);
    if (fullWidthHz <= 0 || !(hz >= 0.0) || !std::isfinite(hz))
        return std::nullopt;
    double column = hz * kFullWidth / fullWidthHz;
    if (view.expanded != 0) {
        // Expanded, the stretch between the markers fills 511 columns.
        const double from = s.marker1Pos;
        const double width = static_cast<double>(s.marker2Pos) - s.marker1Pos;
        if (!(width > 0.0))
            return std::nullopt;
        column = (column - from) * 511.0 / width;
    }
    if (column < 0.0 || column > kFullWidth)
        return std::nullopt;
    return column;
}

std::optional<DrawnPeak> findDrawnPeak(const InstrumentSettings& s, const InstrumentView& view, const Raster& r,
                                       double hz, std::uint32_t colourWord)
{
    const std::optional<double> column = frequencyColumn(s, view, hz);
    if (!column)
        return std::nullopt;
    // Columns per bin of the transform (1024 samples a block) as drawn now.
    const std::optional<double> nextBin = frequencyColumn(s, view, hz + s.sampleRate / 1024.0);
    const double perBin = nextBin ? std::max(1.0, *nextBin - *column) : 1.0;
    // The columns looked at, as the bitmap's pixels (more of them on a larger display).
    const auto firstColumn = static_cast<std::int64_t>(std::floor(*column - perBin));
    const auto lastColumn = static_cast<std::int64_t>(std::ceil(*column + 2.0 * perBin)) + 1;
    const int first = static_cast<int>(std::max<std::int64_t>(0, columnToPixel(firstColumn, r.width())));
    const int last = static_cast<int>(std::min<std::int64_t>(r.width() - 1, columnToPixel(lastColumn, r.width())));
    const std::uint32_t wanted = colourWord & 0xFFFFFFu;
    for (int y = 0; y < r.height(); ++y) {
        for (int x = first; x <= last; ++x) {
            if (r.pixel(x, y) == wanted)
                return DrawnPeak{x, y};
        }
    }
    return std::nullopt;
}

}  // namespace varmolen
