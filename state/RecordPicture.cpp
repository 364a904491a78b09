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

bool ExpandedPicture::shows(const RecordPicture& whole, double fromColumn, double toColumn) const
{
    return picture.valid && whole.valid && wholeFirst == whole.first && wholeFrames == whole.frames &&
           wholeRecordEnd == whole.recordEnd && wholeColumns == whole.columns && from == fromColumn && to == toColumn;
}

namespace {

constexpr float kNone = std::numeric_limits<float>::quiet_NaN();

// The whole picture's pixel columns over frames [lo, hi), both channels
// (NaN where it has none).
std::array<SampleRing::Extremes, 2> wholeColumnsOver(const RecordPicture& whole, std::int64_t lo, std::int64_t hi)
{
    std::array<SampleRing::Extremes, 2> e{SampleRing::Extremes{kNone, kNone}, SampleRing::Extremes{kNone, kNone}};
    const double perColumn = whole.framesPerColumn();
    if (hi <= lo || lo < whole.first)
        return e;
    std::int64_t k0 = 0;
    std::int64_t k1 = 0;
    if (perColumn >= 1.0) {
        k0 = SampleRing::columnOf(lo - whole.first, perColumn);
        k1 = SampleRing::columnOf(hi - 1 - whole.first, perColumn);
    } else {
        // Pixels of values between frames: those from the frame before to the one after.
        k0 = static_cast<std::int64_t>(std::floor(static_cast<double>(lo - 1 - whole.first) / perColumn));
        k1 = static_cast<std::int64_t>(std::ceil(static_cast<double>(hi - whole.first) / perColumn));
    }
    k0 = std::max<std::int64_t>(k0, 0);
    k1 = std::min<std::int64_t>(k1, whole.columns - 1);
    for (int c = 0; c < 2; ++c) {
        const auto& columns = whole.of(c + 1);
        for (std::int64_t k = k0; k <= k1; ++k) {
            const SampleRing::Extremes& w = columns[static_cast<std::size_t>(k)];
            if (std::isnan(w.min) || std::isnan(w.max))
                continue;
            SampleRing::Extremes& out = e[static_cast<std::size_t>(c)];
            out = std::isnan(out.min) ? w : SampleRing::Extremes{std::min(out.min, w.min), std::max(out.max, w.max)};
        }
    }
    return e;
}

}  // namespace

void takeExpandedPicture(const SampleRing& ring, const RecordPicture& whole, double fromColumn, double toColumn,
                         ExpandedPicture& out)
{
    out.wholeFirst = whole.first;
    out.wholeFrames = whole.frames;
    out.wholeRecordEnd = whole.recordEnd;
    out.wholeColumns = whole.columns;
    out.from = fromColumn;
    out.to = toColumn;
    RecordPicture& p = out.picture;
    p.valid = false;
    if (!whole.valid || whole.columns < 2 || !(toColumn > fromColumn))
        return;
    // The stretch is (to - from) / 512 of the width: that part of the
    // span's frames and of its time a division.
    const double part = (toColumn - fromColumn) / kLastColumn;
    p.columns = whole.columns;
    p.frames = whole.frames * part;
    p.perDiv = whole.perDiv * part;
    p.rate = whole.rate;
    p.trigger = whole.trigger;
    p.position = whole.position;
    p.roll = whole.roll;
    p.dcLevels = whole.dcLevels;
    p.recordEnd = whole.recordEnd;
    // Display column x of the whole picture lies x / 510 of its frames after its first.
    const double start = static_cast<double>(whole.first) +
                         fromColumn * whole.frames / (kTimeBaseDivisions * kTimeBaseColumnsPerDivision);
    p.first = floorFrame(start);
    p.valid = true;
    // A record started afresh numbers its frames from 0 again.
    const bool sameRecord = ring.rate() == whole.rate && ring.end() >= whole.recordEnd;
    const auto held = [&](std::int64_t lo, std::int64_t hi) { return sameRecord && ring.holds(lo, hi); };
    const float dc1 = whole.dcLevels[0];
    const float dc2 = whole.dcLevels[1];
    const double perColumn = p.framesPerColumn();
    for (int q = 0; q < p.columns; ++q) {
        const auto i = static_cast<std::size_t>(q);
        if (perColumn >= 1.0) {
            // Every frame of the stretch in exactly one pixel column.
            const std::int64_t lo = floorFrame(start + q * perColumn);
            const std::int64_t hi = floorFrame(start + (q + 1) * perColumn);
            if (held(lo, hi) && lo < hi) {
                const SampleRing::Extremes e1 = ring.extremes(1, lo, hi);
                const SampleRing::Extremes e2 = ring.extremes(2, lo, hi);
                p.chan1[i] = {e1.min - dc1, e1.max - dc1};
                p.chan2[i] = {e2.min - dc2, e2.max - dc2};
            } else {
                const auto e = wholeColumnsOver(whole, lo, hi);
                p.chan1[i] = e[0];
                p.chan2[i] = e[1];
            }
            continue;
        }
        // Fewer frames than pixels: the line between the two frames around each pixel.
        const double at = start + q * perColumn;
        const std::int64_t before = floorFrame(at);
        const double after = at - static_cast<double>(before);
        float v1 = kNone;
        float v2 = kNone;
        if (held(before, before + 2)) {
            v1 = static_cast<float>(ring.at(1, before) * (1.0 - after) + ring.at(1, before + 1) * after) - dc1;
            v2 = static_cast<float>(ring.at(2, before) * (1.0 - after) + ring.at(2, before + 1) * after) - dc2;
        } else if (held(before, before + 1) && after == 0.0) {
            v1 = ring.at(1, before) - dc1;
            v2 = ring.at(2, before) - dc2;
        } else {
            const auto e = wholeColumnsOver(whole, before, before + 1);
            v1 = e[0].max;
            v2 = e[1].max;
        }
        p.chan1[i] = {v1, v1};
        p.chan2[i] = {v2, v2};
    }
}

}  // namespace varmolen
