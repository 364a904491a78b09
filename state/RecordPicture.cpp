#include "state/RecordPicture.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "dsp/TimeBase.h"

namespace varmolen {

namespace {

constexpr double kLastColumn = 512.0;

}  // namespace

double RecordPicture::framesPerColumn() const
{
    if (columns <= 1)
        return 0.0;
    return frames / (kTimeBaseDivisions * kTimeBaseColumnsPerDivision) * kLastColumn / (columns - 1);
}

void takeRecordPicture(const SampleRing& ring, std::int64_t first, double perDiv, std::array<float, 2> dcLevels,
                       int width, RecordPicture& picture)
{
    picture.columns = std::clamp(width, 2, RecordPicture::kMaxColumns);
    picture.first = first;
    picture.perDiv = perDiv;
    picture.rate = ring.rate();
    picture.frames = timeBaseSpanFrames(perDiv, ring.rate());
    picture.dcLevels = dcLevels;
    picture.recordEnd = ring.end();
    picture.valid = true;
    const double perColumn = picture.framesPerColumn();
    for (int channel = 1; channel <= 2; ++channel) {
        auto& out = channel == 1 ? picture.chan1 : picture.chan2;
        const float dc = dcLevels[static_cast<std::size_t>(channel - 1)];
        if (perColumn >= 1.0) {
            ring.columnExtremes(channel, first, perColumn, picture.columns, out.data());
        } else {
            // Fewer frames than pixels: the line between the two frames around each pixel.
            for (int p = 0; p < picture.columns; ++p) {
                const double at = static_cast<double>(first) + p * perColumn;
                const auto before = static_cast<std::int64_t>(std::floor(at));
                float v = std::numeric_limits<float>::quiet_NaN();
                if (ring.holds(before, before + 2)) {
                    const double part = at - static_cast<double>(before);
                    v = static_cast<float>(ring.at(channel, before) * (1.0 - part) +
                                           ring.at(channel, before + 1) * part);
                } else if (ring.holds(before, before + 1) && at == static_cast<double>(before)) {
                    v = ring.at(channel, before);
                }
                out[static_cast<std::size_t>(p)] = {v, v};
            }
        }
        for (int p = 0; p < picture.columns; ++p) {
            SampleRing::Extremes& e = out[static_cast<std::size_t>(p)];
            e = {e.min - dc, e.max - dc};
        }
    }
}

}  // namespace varmolen
