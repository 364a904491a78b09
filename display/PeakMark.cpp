#include "display/PeakMark.h"

#include <algorithm>
#include <cmath>

#include "display/ReadoutScales.h"

namespace varmolen {

std::optional<double> FrequencyColumn(const InstrumentSettings& s, const InstrumentView& view, double hz)
{
    // The cursor's own scale: what it reads at the right edge of the
    // unexpanded display, in whole hertz.
    const std::int32_t fullWidthHz = ReadoutFrequency(s, view, kFullWidth);
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

std::optional<DrawnPeak> FindDrawnPeak(const InstrumentSettings& s, const InstrumentView& view, const Raster& r,
                                       double hz, std::uint32_t colourWord)
{
    const std::optional<double> column = FrequencyColumn(s, view, hz);
    if (!column)
        return std::nullopt;
    // Columns per bin of the transform (1024 samples a block) as drawn now.
    const std::optional<double> nextBin = FrequencyColumn(s, view, hz + s.sampleRate / 1024.0);
    const double perBin = nextBin ? std::max(1.0, *nextBin - *column) : 1.0;
    const int first = std::max(0, static_cast<int>(std::floor(*column - perBin)));
    const int last = std::min(Raster::kWidth - 1, static_cast<int>(std::ceil(*column + 2.0 * perBin)) + 1);
    const std::uint32_t wanted = colourWord & 0xFFFFFFu;
    for (int y = 0; y < Raster::kHeight; ++y) {
        for (int x = first; x <= last; ++x) {
            if (r.pixel(x, y) == wanted)
                return DrawnPeak{x, y};
        }
    }
    return std::nullopt;
}

}  // namespace varmolen
