// The frames of the span a picture of the record shows: from its first frame
// to the end of its ten divisions as far as the record holds them, nothing
// once they are overwritten or the record started afresh; and the copy an
// export takes keeps every frame and every break.
#include "state/ShownSpan.h"

#include <gtest/gtest.h>

#include <vector>

namespace varmolen {
namespace {

// A record of `capacity` frames (whole runs of 64) at 1000 Hz holding frames
// 0..`recorded` - 1, frame i reading i on channel 1 and -i on channel 2.
SampleRing recordOf(std::size_t capacity, std::int64_t recorded)
{
    SampleRing ring(capacity);
    ring.restart(1000);
    std::vector<float> a(static_cast<std::size_t>(recorded));
    std::vector<float> b(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        a[i] = static_cast<float>(i);
        b[i] = -static_cast<float>(i);
    }
    ring.append(a.data(), b.data(), a.size(), true);
    return ring;
}

RecordPicture pictureOf(std::int64_t first, double frames, std::int64_t recordEnd, std::uint32_t rate = 1000)
{
    RecordPicture p;
    p.first = first;
    p.frames = frames;
    p.rate = rate;
    p.recordEnd = recordEnd;
    p.valid = true;
    return p;
}

TEST(ShownSpan, FramesRunFromTheFirstToTheDivisionsEndAsFarAsTheRecordHoldsThem)
{
    struct Case {
        const char* what;
        RecordPicture picture;
        SpanFrames want;
    };
    // The record: 1024 frames held of 2000 recorded (frames 976..1999).
    const SampleRing ring = recordOf(1024, 2000);
    const Case cases[] = {
        {"whole frames", pictureOf(1000, 500.0, 1500), {SpanHeld::Held, 1000, 500, 0}},
        {"a fraction of a frame rounds up", pictureOf(1000, 499.25, 1500), {SpanHeld::Held, 1000, 500, 0}},
        {"the newest frames: bounded by the record's end",
         pictureOf(1900, 100.5, 2000),
         {SpanHeld::Held, 1900, 100, 0}},
        {"the oldest frame held", pictureOf(976, 10.0, 2000), {SpanHeld::Held, 976, 10, 0}},
        {"one frame overwritten since", pictureOf(975, 10.0, 1990), {SpanHeld::NoLongerHeld, 0, 0, 0}},
        {"longer than the record: from the oldest frame held when taken",
         pictureOf(0, 3000.0, 2000),
         {SpanHeld::Held, 976, 1024, 976}},
        {"another rate: a record started afresh",
         pictureOf(1000, 500.0, 1500, 2000),
         {SpanHeld::NoLongerHeld, 0, 0, 0}},
        {"taken of a longer record: started afresh since",
         pictureOf(1000, 500.0, 2001),
         {SpanHeld::NoLongerHeld, 0, 0, 0}},
        {"no picture", RecordPicture{}, {SpanHeld::NothingRecorded, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const SpanFrames got = shownSpanFrames(c.picture, ring);
        EXPECT_EQ(got.held, c.want.held);
        EXPECT_EQ(got.from, c.want.from);
        EXPECT_EQ(got.count, c.want.count);
        EXPECT_EQ(got.offset, c.want.offset);
    }
    // A roll picture soon after the start: the span began before the record.
    const SampleRing young = recordOf(1024, 300);
    const SpanFrames early = shownSpanFrames(pictureOf(-200, 500.0, 300), young);
    EXPECT_EQ(early.held, SpanHeld::Held);
    EXPECT_EQ(early.from, 0);
    EXPECT_EQ(early.count, 300);
    EXPECT_EQ(early.offset, 200) << "frame 0 lies 200 frames after the span's left end";
    EXPECT_EQ(shownSpanFrames(pictureOf(-600, 500.0, 300), young).held, SpanHeld::NothingRecorded);
}

TEST(ShownSpan, ACopyHoldsEveryFrameAndBreakAcrossItsChunks)
{
    // Longer than a copy's chunk, with breaks inside and on a chunk's edge.
    constexpr std::int64_t kFrames = 150000;
    SampleRing ring(kFrames);
    ring.restart(48000);
    const std::vector<std::int64_t> breaks{70000, 65536 + 70000, 140001};
    std::int64_t at = 0;
    for (const std::int64_t next : {breaks[0], breaks[1], breaks[2], kFrames}) {
        std::vector<float> a;
        std::vector<float> b;
        for (std::int64_t i = at; i < next; ++i) {
            a.push_back(static_cast<float>(i % 30000) + 0.5f);
            b.push_back(-static_cast<float>(i % 20000));
        }
        ring.append(a.data(), b.data(), a.size(), at == 0);
        at = next;
    }
    const SpanFrames span{SpanHeld::Held, 1000, kFrames - 1000, 0};
    const auto copy = copySpan(ring, span);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->rate(), 48000u);
    ASSERT_EQ(copy->end(), span.count);
    std::vector<std::int64_t> copied;
    for (std::int64_t j = 0; j < span.count; ++j) {
        ASSERT_EQ(copy->at(1, j), ring.at(1, span.from + j)) << j;
        ASSERT_EQ(copy->at(2, j), ring.at(2, span.from + j)) << j;
        if (j > 0 && copy->breaksAt(j))
            copied.push_back(span.from + j);
    }
    EXPECT_EQ(copied, breaks);
    EXPECT_EQ(copySpan(ring, {SpanHeld::NoLongerHeld, 1000, 10, 0}), nullptr);
}

}  // namespace
}  // namespace varmolen
