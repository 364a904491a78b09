// The queue between the capture thread and the WAV writer on its own: chunks
// come out in order with what went in, around the ring many times; a full
// ring refuses a push whole and takes the next once there is room; and one
// producer and one consumer thread pass a million chunks through it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "audio/RecordingQueue.h"

namespace varmolen {
namespace {

// Frame f of a push numbered n: values that tell every push and frame apart.
std::int16_t valueOf(std::uint64_t n, std::size_t sample)
{
    return static_cast<std::int16_t>((n * 131 + sample) % 65521);
}

std::vector<std::int16_t> framesOf(std::uint64_t n, std::size_t frames, unsigned channels)
{
    std::vector<std::int16_t> v(frames * channels);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = valueOf(n, i);
    return v;
}

// A push larger than one chunk is split in order, the first chunk alone
// carrying the marks; after more than ten turns of the ring every chunk
// still comes out as it went in.
TEST(RecordingQueue, KeepsOrderContentAndMarksAcrossManyTurnsOfTheRing)
{
    for (const unsigned channels : {1u, 2u}) {
        SCOPED_TRACE(channels);
        RecordingQueue q(channels);
        const std::size_t perChunk = q.framesPerChunk();
        EXPECT_EQ(perChunk * channels, RecordingQueue::kChunkSamples);
        std::uint64_t n = 0;
        for (std::size_t turn = 0; turn < 11 * RecordingQueue::kChunks / 3; ++turn, ++n) {
            // 2.5 chunks a push: the splits fall at every place in the ring.
            const std::size_t frames = perChunk * 2 + perChunk / 2;
            const std::vector<std::int16_t> in = framesOf(n, frames, channels);
            ASSERT_TRUE(q.push(in.data(), frames, n % 2 == 0, static_cast<std::uint32_t>(n)));
            EXPECT_EQ(q.depth(), 3u);
            std::vector<std::int16_t> out;
            for (int c = 0; c < 3; ++c) {
                const RecordingQueue::Chunk* chunk = q.front();
                ASSERT_NE(chunk, nullptr);
                EXPECT_EQ(chunk->frames, c < 2 ? perChunk : perChunk / 2);
                EXPECT_EQ(chunk->afterStart, c == 0 && n % 2 == 0);
                EXPECT_EQ(chunk->silenceBefore, c == 0 ? n : 0u);
                out.insert(out.end(), chunk->samples.begin(), chunk->samples.begin() + chunk->frames * channels);
                q.pop();
            }
            ASSERT_EQ(out, in) << "push " << n;
            EXPECT_EQ(q.front(), nullptr);
        }
    }
}

// A full ring refuses every push, whole (nothing of a refused push is
// queued), and the refusals are exactly the chunks beyond its room; once the
// consumer frees room the next push goes in behind what was queued.
TEST(RecordingQueue, AFullRingRefusesPushesWholeAndCountsThem)
{
    RecordingQueue q(2);
    const std::size_t perChunk = q.framesPerChunk();
    int refused = 0;
    for (std::uint64_t n = 0; n < RecordingQueue::kChunks + 10; ++n) {
        const std::vector<std::int16_t> in = framesOf(n, perChunk, 2);
        refused += q.push(in.data(), perChunk, false) ? 0 : 1;
    }
    EXPECT_EQ(refused, 10);
    EXPECT_EQ(q.depth(), RecordingQueue::kChunks);

    // Room for one chunk only: a push of two is refused and leaves nothing.
    q.pop();
    const std::vector<std::int16_t> two = framesOf(999, 2 * perChunk, 2);
    EXPECT_FALSE(q.push(two.data(), 2 * perChunk, false));
    EXPECT_EQ(q.depth(), RecordingQueue::kChunks - 1);
    const std::vector<std::int16_t> one = framesOf(1000, perChunk, 2);
    EXPECT_TRUE(q.push(one.data(), perChunk, false));

    // Out come chunks 1 to 255, then the one pushed last.
    for (std::uint64_t n = 1; n < RecordingQueue::kChunks; ++n) {
        const RecordingQueue::Chunk* c = q.front();
        ASSERT_NE(c, nullptr);
        ASSERT_EQ(std::vector<std::int16_t>(c->samples.begin(), c->samples.end()), framesOf(n, perChunk, 2));
        q.pop();
    }
    ASSERT_NE(q.front(), nullptr);
    EXPECT_EQ(std::vector<std::int16_t>(q.front()->samples.begin(), q.front()->samples.end()), one);
    q.pop();
    EXPECT_EQ(q.front(), nullptr);
    EXPECT_EQ(q.depth(), 0u);
}

// The capture thread and the writer at once: a million pushes of varying
// size go through in order and intact; a push the full ring refuses is tried
// again, so nothing may be missing.
TEST(RecordingQueue, OneProducerAndOneConsumerPassAMillionChunksInOrder)
{
    constexpr std::uint64_t kPushes = 1'000'000;
    RecordingQueue q(2);
    // Small pushes (1 to 16 frames), so the million runs in a moment, and
    // the ring is full and empty many times on the way.
    const auto framesFor = [](std::uint64_t n) { return static_cast<std::size_t>(1 + n % 16); };
    std::atomic<std::uint64_t> refusals{0};
    std::thread producer([&] {
        std::vector<std::int16_t> in;
        for (std::uint64_t n = 0; n < kPushes; ++n) {
            const std::size_t frames = framesFor(n);
            in.resize(frames * 2);
            for (std::size_t i = 0; i < in.size(); ++i)
                in[i] = valueOf(n, i);
            while (!q.push(in.data(), frames, false, static_cast<std::uint32_t>(n))) {
                refusals.fetch_add(1, std::memory_order_relaxed);
                std::this_thread::yield();
            }
        }
    });
    std::uint64_t n = 0;
    std::uint64_t mismatches = 0;
    while (n < kPushes) {
        const RecordingQueue::Chunk* c = q.front();
        if (c == nullptr) {
            std::this_thread::yield();
            continue;
        }
        bool same = c->frames == framesFor(n) && c->silenceBefore == static_cast<std::uint32_t>(n);
        for (std::size_t i = 0; same && i < c->frames * 2; ++i)
            same = c->samples[i] == valueOf(n, i);
        mismatches += same ? 0 : 1;
        q.pop();
        ++n;
    }
    producer.join();
    EXPECT_EQ(mismatches, 0u);
    EXPECT_EQ(q.front(), nullptr);
    RecordProperty("refused_pushes", static_cast<int>(refusals.load()));
}

}  // namespace
}  // namespace varmolen
