// The recording buffer length per input kind and rate.
#include "acquisition/RecordingFormat.h"
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
    EXPECT_EQ(BlockBufferBytes(*s, 11025), 2048);
    EXPECT_EQ(BlockBufferBytes(*s, 22050), 2048);
    EXPECT_EQ(BlockBufferBytes(*s, 44100), 4096);
    s->channelCount = 2;
    EXPECT_EQ(BlockBufferBytes(*s, 11025), 4096);
    EXPECT_EQ(BlockBufferBytes(*s, 22050), 4096);
    EXPECT_EQ(BlockBufferBytes(*s, 44100), 8192);
    // Never longer than the recording buffer it describes.
    s->blockSamples = 1 << 20;
    EXPECT_EQ(BlockBufferBytes(*s, 44100), kRecordBufferBytes);
    s->blockSamples = -5;
    EXPECT_EQ(BlockBufferBytes(*s, 11025), 0);
}

}  // namespace
}  // namespace varmolen
