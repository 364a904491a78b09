#include "state/ShownSpan.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>
#include <vector>

#include "dsp/TimeBase.h"

namespace varmolen {

namespace {

// Frames copied at a time: the copy's work buffers stay small however long the span.
constexpr std::int64_t kCopyChunkFrames = 65536;

}  // namespace

SpanFrames shownSpanFrames(const RecordPicture& picture, const SampleRing& ring)
{
    SpanFrames span;
    if (!picture.valid || picture.rate == 0 || !(picture.frames > 0.0) || !std::isfinite(picture.frames))
        return span;
    // A record started afresh numbers its frames from 0 again: the picture's
    // indices no longer name its frames.
    if (ring.rate() != picture.rate || ring.end() < picture.recordEnd) {
        span.held = SpanHeld::NoLongerHeld;
        return span;
    }
    const std::int64_t spanEnd = picture.first + timeBaseSpanCount(picture.frames);
    // A span longer than the record begins with the oldest frame the record
    // held when the picture was taken: what came before was never held.
    // Frames overwritten since then are no longer held.
    const std::int64_t oldestThen =
        std::max<std::int64_t>(0, picture.recordEnd - static_cast<std::int64_t>(ring.capacity()));
    const std::int64_t from = std::max(picture.first, oldestThen);
    const std::int64_t to = std::min(spanEnd, ring.end());
    if (to <= from)
        return span;
    if (from < ring.oldest()) {
        span.held = SpanHeld::NoLongerHeld;
        return span;
    }
    return {SpanHeld::Held, from, to - from, from - picture.first};
}

std::unique_ptr<SampleRing> copySpan(const SampleRing& ring, const SpanFrames& span)
{
    if (span.held != SpanHeld::Held || span.count <= 0 || !ring.holds(span.from, span.from + span.count))
        return nullptr;
    try {
        auto copy = std::make_unique<SampleRing>(static_cast<std::size_t>(span.count));
        copy->restart(ring.rate());
        const auto chunk = static_cast<std::size_t>(std::min(span.count, kCopyChunkFrames));
        std::vector<float> chan1(chunk);
        std::vector<float> chan2(chunk);
        const std::int64_t end = span.from + span.count;
        std::optional<std::int64_t> nextBreak = ring.firstBreak(span.from + 1, end);
        for (std::int64_t at = span.from; at < end;) {
            // A piece ends at a chunk's length or at the next break, which
            // then starts the following piece as a break of the copy too.
            std::int64_t pieceEnd = std::min(end, at + kCopyChunkFrames);
            if (nextBreak && *nextBreak < pieceEnd)
                pieceEnd = *nextBreak;
            const auto n = static_cast<std::size_t>(pieceEnd - at);
            ring.copy(1, at, n, chan1.data());
            ring.copy(2, at, n, chan2.data());
            const bool breaksHere = at > span.from && ring.breaksAt(at);
            copy->append(chan1.data(), chan2.data(), n, !breaksHere);
            at = pieceEnd;
            if (nextBreak && *nextBreak < at + 1)
                nextBreak = ring.firstBreak(at + 1, end);
        }
        return copy;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace varmolen
