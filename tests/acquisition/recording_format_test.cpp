// The recording buffer length per input kind and rate.
#include "acquisition/RecordingFormat.h"
#include "audio/RecordingQueue.h"
#include "audio/StreamWaveInput.h"
#include "state/InstrumentState.h"

#include <memory>

#include <gtest/gtest.h>

namespace varmolen {
namespace {

std::unique_ptr<InstrumentState> startupState()
{
    auto s = std::make_unique<InstrumentState>();
    return s;
}

TEST(RecordingFormat, BufferBytesPerInputAndRate)
{
    auto s = startupState();
    s->channelCount = 1;
    EXPECT_EQ(blockBufferBytes(*s, 11025), 2048);
    EXPECT_EQ(blockBufferBytes(*s, 22050), 2048);
    EXPECT_EQ(blockBufferBytes(*s, 44100), 4096);
    s->channelCount = 2;
    EXPECT_EQ(blockBufferBytes(*s, 11025), 4096);
    EXPECT_EQ(blockBufferBytes(*s, 22050), 4096);
    EXPECT_EQ(blockBufferBytes(*s, 44100), 8192);
    // Never longer than the recording buffer it describes.
    s->blockSamples = 1 << 20;
    EXPECT_EQ(blockBufferBytes(*s, 44100), kRecordBufferBytes);
    s->blockSamples = -5;
    EXPECT_EQ(blockBufferBytes(*s, 11025), 0);
}

// At every rate of the table, in stereo: the buffer's length, and what the
// capture side and the run loop need of it. A chunk read at once stays under half a buffer
// (the run loop queues the next buffer at the half) and within one chunk of
// a recording's queue, which holds five seconds whatever the rate.
TEST(RecordingFormat, EveryRateKeepsItsBuffersChunksAndQueue)
{
    const std::pair<std::uint32_t, int> cases[] = {
        {8000, 4096},  {11025, 4096},  {16000, 4096},  {22050, 4096},   {32000, 8192},   {44100, 8192},
        {48000, 8192}, {88200, 16384}, {96000, 16384}, {176400, 16384}, {192000, 16384},
    };
    auto s = startupState();
    s->channelCount = 2;
    for (const auto& [rate, bytes] : cases) {
        SCOPED_TRACE(testing::Message() << rate << " Hz");
        ASSERT_TRUE(isSampleRate(rate));
        EXPECT_EQ(blockBufferBytes(*s, rate), bytes);
        const std::size_t bufferFrames = static_cast<std::size_t>(bytes) / 4;
        const std::size_t chunk = chunkFramesAt(rate);
        EXPECT_GT(chunk, 0u);
        EXPECT_LE(2 * chunk, bufferFrames);
        EXPECT_LE(2 * chunk, RecordingQueue::kChunkSamples);
        EXPECT_GE(RecordingQueue::chunksFor(rate) * chunk, RecordingQueue::kHeldSeconds * rate);
        // A buffer fills well within the run loop's 250 ms timeout, at 8000 Hz too.
        EXPECT_LT(bufferFrames * 1000 / rate, 150u);
    }
}

}  // namespace
}  // namespace varmolen
