#include "state/RecordPicture.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "dsp/TimeBase.h"

namespace varmolen {

namespace {

constexpr double kLastColumn = 512.0;

}  // namespace

double RecordPicture::framesPerColumn(double frames, int columns)
{
    if (columns <= 1)
        return 0.0;
    return frames / (kTimeBaseDivisions * kTimeBaseColumnsPerDivision) * kLastColumn / (columns - 1);
}

namespace {

void takeOffDc(std::array<SampleRing::Extremes, RecordPicture::kMaxColumns>& out, int columns, float dc)
{
    for (int p = 0; p < columns; ++p) {
        SampleRing::Extremes& e = out[static_cast<std::size_t>(p)];
        e = {e.min - dc, e.max - dc};
    }
}

}  // namespace

void takeRollingPicture(const SampleRing& ring, double perDiv, std::array<float, 2> dcLevels, int width,
                        RecordPicture& picture, RollingColumns& kept)
{
    const double frames = timeBaseSpanFrames(perDiv, ring.rate());
    const std::int64_t newest = ring.end() - std::llround(frames);
    const int count = std::clamp(width, 2, RecordPicture::kMaxColumns);
    const double perColumn = RecordPicture::framesPerColumn(frames, count);
    if (perColumn < 1.0) {
        // Fewer frames than pixels: no columns to keep.
        kept.count = 0;
        takeRecordPicture(ring, newest, perDiv, dcLevels, width, picture);
        return;
    }
    const std::int64_t column = SampleRing::columnOf(newest, perColumn);
    const auto start = [&](std::int64_t j) { return floorFrame(static_cast<double>(j) * perColumn); };
    // The columns kept that are still exact and in the new picture move to
    // their new places; the others are taken from the record.
    std::int64_t reuseFrom = column;
    std::int64_t reuseTo = column;
    if (kept.record == ring.number() && kept.perColumn == perColumn && kept.count == count && column >= kept.column) {
        std::int64_t heldFrom = SampleRing::columnOf(ring.oldest(), perColumn);
        if (start(heldFrom) < ring.oldest())
            ++heldFrom;
        reuseFrom = std::max({column, kept.exactFrom, heldFrom});
        reuseTo = std::min({column + count, kept.exactTo, kept.column + count});
    }
    SampleRing::Extremes* const one = kept.chan1.data();
    SampleRing::Extremes* const two = kept.chan2.data();
    if (reuseFrom < reuseTo) {
        const std::int64_t from = reuseFrom - kept.column;
        const std::int64_t to = reuseTo - kept.column;
        if (column != kept.column) {
            std::copy(one + from, one + to, one + (reuseFrom - column));
            std::copy(two + from, two + to, two + (reuseFrom - column));
        }
        ring.anchoredColumnExtremes(column, perColumn, static_cast<int>(reuseFrom - column), one, two);
        const std::int64_t after = reuseTo - column;
        ring.anchoredColumnExtremes(reuseTo, perColumn, static_cast<int>(count - after), one + after, two + after);
    } else {
        ring.anchoredColumnExtremes(column, perColumn, count, one, two);
    }
    kept.record = ring.number();
    kept.perColumn = perColumn;
    kept.count = count;
    kept.column = column;
    // Exact: every frame held, from the first held whole to the last ended.
    std::int64_t exactFrom = SampleRing::columnOf(ring.oldest(), perColumn);
    if (start(exactFrom) < ring.oldest())
        ++exactFrom;
    kept.exactFrom = exactFrom;
    kept.exactTo = SampleRing::columnOf(ring.end(), perColumn);

    picture.columns = count;
    picture.first = start(column);
    picture.perDiv = perDiv;
    picture.rate = ring.rate();
    picture.frames = frames;
    picture.dcLevels = dcLevels;
    picture.recordEnd = ring.end();
    picture.valid = true;
    for (int channel = 1; channel <= 2; ++channel) {
        auto& out = channel == 1 ? picture.chan1 : picture.chan2;
        const auto& raw = channel == 1 ? kept.chan1 : kept.chan2;
        std::copy(raw.begin(), raw.begin() + count, out.begin());
        takeOffDc(out, count, dcLevels[static_cast<std::size_t>(channel - 1)]);
    }
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
    if (perColumn >= 1.0)
        ring.columnExtremes(first, perColumn, picture.columns, picture.chan1.data(), picture.chan2.data());
    for (int channel = 1; channel <= 2; ++channel) {
        auto& out = channel == 1 ? picture.chan1 : picture.chan2;
        const float dc = dcLevels[static_cast<std::size_t>(channel - 1)];
        if (perColumn < 1.0) {
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
        takeOffDc(out, picture.columns, dc);
    }
}

}  // namespace varmolen
