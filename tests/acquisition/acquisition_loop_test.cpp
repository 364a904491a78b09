#include <gtest/gtest.h>

#include <cmath>

#include "AcquisitionRig.h"
#include "acquisition/RecordingFormat.h"

namespace varmolen {
namespace {

using Calls = std::vector<WaveCall>;
using Texts = std::vector<std::string>;

TEST(AcquisitionLoop, StartSequenceOpensQueuesAndStartsThenWaitsForTheDevice)
{
    AcquisitionRig r;
    r.loop.StartBtnClick();
    EXPECT_TRUE(r.loop.running());
    EXPECT_EQ(r.s.stopped, 0);
    // Start, then the first position query finds the device at 0 and queues b.
    EXPECT_EQ(r.device.calls(),
              (Calls{WaveCall::Query, WaveCall::Open, WaveCall::Prepare, WaveCall::AddBuffer, WaveCall::Start,
                     WaveCall::GetPosition, WaveCall::Prepare, WaveCall::AddBuffer}));
    EXPECT_EQ(r.device.queuedBuffers(), 2u);
    EXPECT_TRUE(r.host.timeoutTimer);
    EXPECT_EQ(r.displayPasses, 0);

    r.device.clearCallLog();
    r.recordBlocks(1);
    EXPECT_EQ(r.displayPasses, 1);
    EXPECT_EQ(r.s.bufferSelect, 1);  // a just completed
    EXPECT_EQ(r.device.calls(), (Calls{WaveCall::Unprepare, WaveCall::Prepare, WaveCall::AddBuffer}));
    r.recordBlocks(3);
    EXPECT_EQ(r.displayPasses, 4);
    EXPECT_EQ(r.s.bufferSelect, 0);
    EXPECT_TRUE(r.host.messages.empty());
}

TEST(AcquisitionLoop, SecondStartLeavesTheActiveRunAlone)
{
    AcquisitionRig r;
    r.loop.StartBtnClick();
    r.recordBlocks(1);
    r.device.clearCallLog();
    const std::uint32_t position = r.s.positionBytes;
    r.loop.StartBtnClick();
    EXPECT_TRUE(r.device.calls().empty());
    EXPECT_EQ(r.s.positionBytes, position);
    EXPECT_EQ(r.s.bufferSelect, 1);
    r.recordBlocks(1);
    EXPECT_EQ(r.displayPasses, 2);
}

TEST(AcquisitionLoop, MissingDeviceReportsFiveStartMessagesThenTheFirstRunningFailureEndsIt)
{
    AcquisitionRig r;
    r.s.waveDeviceId = 4;  // the rig has two devices
    r.loop.StartBtnClick();
    const Texts start{"Could not open the input wave device", "Error Opening Input wave device",
                      "Error preparing the header_a", "Error in sending 'a' buffer",
                      "Error starting the input wave device"};
    const Texts shown = r.host.texts();
    ASSERT_GE(shown.size(), 5u);
    EXPECT_EQ(Texts(shown.begin(), shown.begin() + 5), start);
    for (const auto& m : r.host.messages)
        EXPECT_EQ(m.caption, "Wave Device Message");
    // The run then began, and its first device call failed and ended it.
    EXPECT_EQ(r.host.texts().size(), 6u);
    EXPECT_EQ(r.host.texts().back(), "Error getting the byte position");
    EXPECT_EQ(r.host.endRequests, 1);
    // The loop does not go on polling a failed device.
    EXPECT_FALSE(r.loop.running());
    r.device.clearCallLog();
    r.loop.onDeviceNotification();
    r.loop.TimeoutTimerTimer();
    EXPECT_TRUE(r.device.calls().empty());
    EXPECT_EQ(r.host.messages.size(), 6u);
}

TEST(AcquisitionLoop, StartFailuresAloneNeverEndTheProgram)
{
    AcquisitionRig r;
    r.s.waveDeviceId = 9;
    r.s.stopped = 1;
    r.engine.FillWaveFormat();
    r.engine.OpenWaveInput();
    r.engine.PrepareHeaderA();
    r.engine.QueueBufferA();
    r.engine.StartWaveInput();
    EXPECT_EQ(r.host.messages.size(), 5u);
    EXPECT_EQ(r.host.endRequests, 0);
}

TEST(AcquisitionLoop, DeviceVanishingWhileRunningEndsTheApplicationWithoutHanging)
{
    AcquisitionRig r;
    r.loop.StartBtnClick();
    r.recordBlocks(2);
    r.device.failEverything();
    r.record(5000);  // nothing arrives any more
    EXPECT_TRUE(r.loop.running());
    r.tickTimeout();
    EXPECT_FALSE(r.loop.running());
    EXPECT_GE(r.host.endRequests, 1);
    EXPECT_EQ(r.host.texts().front(), "Error Resetting the input wave device");
    const std::size_t shown = r.host.messages.size();
    r.tickTimeout();
    r.loop.onDeviceNotification();
    EXPECT_EQ(r.host.messages.size(), shown);
    EXPECT_FALSE(r.host.timeoutTimer);
}

TEST(AcquisitionLoop, FourTimedOutWaitsKeepTheRunAndTheFifthEndsIt)
{
    AcquisitionRig r;
    r.loop.StartBtnClick();
    r.recordBlocks(1);
    r.device.setStalled(true);
    for (int i = 0; i < 4; ++i) {
        r.tickTimeout();
        EXPECT_TRUE(r.loop.running()) << "after timeout " << i + 1;
    }
    EXPECT_EQ(r.loop.timeoutCount(), 4);
    EXPECT_FALSE(r.host.startTimer);
    r.tickTimeout();
    EXPECT_FALSE(r.loop.running());
    EXPECT_EQ(r.s.stopped, 1);
    EXPECT_FALSE(r.device.isOpen());  // released
    EXPECT_TRUE(r.host.startTimer);   // a fresh run 250 ms later
    EXPECT_TRUE(r.host.messages.empty());
    EXPECT_EQ(r.host.endRequests, 0);

    r.device.setStalled(false);
    r.device.clearCallLog();
    r.loop.StartTimerTimer();
    EXPECT_FALSE(r.host.startTimer);
    EXPECT_TRUE(r.loop.running());
    EXPECT_EQ(r.device.calls().at(1), WaveCall::Open);
    const int before = r.displayPasses;
    r.recordBlocks(2);
    EXPECT_EQ(r.displayPasses, before + 2);
}

TEST(AcquisitionLoop, StopDuringAWaitReleasesTheDeviceAndAFreshRunFollows)
{
    AcquisitionRig r;
    r.loop.StartBtnClick();
    r.record(300);
    r.loop.StopBtnClick();
    EXPECT_FALSE(r.loop.running());
    EXPECT_EQ(r.s.stopped, 1);
    EXPECT_FALSE(r.device.isOpen());
    EXPECT_EQ(r.device.queuedBuffers(), 0u);
    EXPECT_NE(r.s.headerA.dwFlags.load() & WHDR_DONE, 0u);  // returned marked done
    EXPECT_EQ(r.s.headerA.dwBytesRecorded.load(), 1200u);
    EXPECT_TRUE(r.host.startTimer);
    EXPECT_FALSE(r.host.timeoutTimer);
    r.device.clearCallLog();
    r.loop.onDeviceNotification();
    r.loop.TimeoutTimerTimer();
    EXPECT_TRUE(r.device.calls().empty());
    EXPECT_EQ(r.displayPasses, 0);
    // A second stop while stopped has nothing to release and reports nothing.
    r.loop.StopBtnClick();
    EXPECT_TRUE(r.host.messages.empty());
}

TEST(AcquisitionLoop, StopAndStartInsideADisplayPassLeaveExactlyOneRun)
{
    AcquisitionRig r;
    int restarts = 0;
    r.onDisplayPass = [&] {
        if (restarts++ == 0) {
            r.loop.StopBtnClick();
            r.useMic(22050);
            r.loop.StartBtnClick();
        }
    };
    r.loop.StartBtnClick();
    r.recordBlocks(1);
    EXPECT_TRUE(r.loop.running());
    EXPECT_TRUE(r.device.isOpen());
    EXPECT_EQ(r.device.openedFormat().nChannels + 0, 1);
    EXPECT_EQ(r.device.queuedBuffers(), 2u);
    r.recordBlocks(3);
    EXPECT_EQ(r.displayPasses, 4);
    EXPECT_TRUE(r.host.messages.empty());
}

TEST(AcquisitionLoop, WindowCloseStopsTheRunAtItsNextCheck)
{
    AcquisitionRig r;
    r.loop.StartBtnClick();
    r.recordBlocks(1);
    r.s.stopped = 1;  // what the window's close does
    r.recordBlocks(1);
    EXPECT_FALSE(r.loop.running());
    EXPECT_FALSE(r.device.isOpen());
    EXPECT_EQ(r.displayPasses, 1);
}

// Leaves the run waiting on the position: a done, b holding 100 frames and
// the last position answer not on a half-block boundary.
void reachPositionWait(AcquisitionRig& r)
{
    r.loop.StartBtnClick();
    r.record(1000);
    r.s.positionBytes = 5;
    r.record(24 + 100);
    ASSERT_EQ(r.displayPasses, 1);
    ASSERT_EQ(r.s.positionBytes, 4096u + 400u);
}

TEST(AcquisitionLoop, PositionWaitQueuesTheNextBufferAtHalfOfTheCurrentOne)
{
    AcquisitionRig r;
    reachPositionWait(r);
    EXPECT_EQ(r.device.queuedBuffers(), 1u);  // only b, being recorded
    r.record(411);
    EXPECT_EQ(r.device.queuedBuffers(), 1u);
    EXPECT_EQ(r.s.positionBytes, 4096u + 2044u);
    r.record(1);  // half of b
    EXPECT_EQ(r.device.queuedBuffers(), 2u);
    EXPECT_TRUE(r.host.timeoutTimer);
    r.record(512);
    EXPECT_EQ(r.displayPasses, 2);
    EXPECT_EQ(r.s.bufferSelect, 0);
}

TEST(AcquisitionLoop, StalledPositionIsGuardedByTheTimeoutTimer)
{
    AcquisitionRig r;
    reachPositionWait(r);
    r.device.setStalled(true);
    EXPECT_TRUE(r.host.timeoutTimer);
    r.tickTimeout();
    // The wait gave up on the position: a is queued and the block wait runs.
    EXPECT_EQ(r.device.queuedBuffers(), 2u);
    EXPECT_TRUE(r.host.timeoutTimer);
    EXPECT_TRUE(r.loop.running());
    // The stall then ends the run by its timed-out block waits, never hangs it.
    for (int i = 0; i < 20 && r.loop.running(); ++i)
        r.tickTimeout();
    EXPECT_FALSE(r.loop.running());
    EXPECT_TRUE(r.host.startTimer);
}

TEST(AcquisitionLoop, StereoSplitPutsTheFirstValueInChannelTwo)
{
    InstrumentState s;
    std::array<std::uint8_t, 4096> block{};
    block[0] = 0xFF;
    block[1] = 0x7F;  // 0x7FFF
    block[2] = 0x00;
    block[3] = 0x80;  // 0x8000
    block[4] = 0x01;
    block[5] = 0x00;
    block[6] = 0xFF;
    block[7] = 0xFF;  // -1
    s.chan1Samples[1024] = 99;
    splitStereo(block.data(), s);
    EXPECT_EQ(s.chan2Samples[0], 32767);
    EXPECT_EQ(s.chan1Samples[0], -32768);
    EXPECT_EQ(s.chan2Samples[1], 1);
    EXPECT_EQ(s.chan1Samples[1], -1);
    EXPECT_EQ(s.chan1Samples[1024], 99);  // only 1024 entries are written

    splitMono(block.data(), s);
    EXPECT_EQ(s.chan1Samples[0], 32767);
    EXPECT_EQ(s.chan1Samples[1], -32768);
    EXPECT_EQ(s.chan1Samples[2], 1);
    EXPECT_EQ(s.chan2Samples[0], 32767);  // untouched
}

TEST(AcquisitionLoop, ExtremeFrameThroughTheRunLoopAfterTheFirstDcStep)
{
    AcquisitionRig r;
    r.device.setFrameSource([](std::uint64_t) {
        return std::array<std::int16_t, 2>{0x7FFF, static_cast<std::int16_t>(-32768)};
    });
    r.loop.StartBtnClick();
    r.recordBlocks(1);
    ASSERT_EQ(r.displayPasses, 1);
    // The first block removes a tenth of its mean, truncated toward zero.
    EXPECT_EQ(r.s.chan2Samples[0], 32767 - 3276);
    EXPECT_EQ(r.s.chan1Samples[0], -32768 + 3276);
    EXPECT_EQ(r.s.chan1Samples[1023], -32768 + 3276);
}

TEST(AcquisitionLoop, DcLevelConvergesAsAFirstOrderAverage)
{
    AcquisitionRig r;
    constexpr int D = 1234;
    r.device.setFrameSource([](std::uint64_t) { return std::array<std::int16_t, 2>{D, -D}; });
    r.loop.StartBtnClick();
    int checked = 0;
    for (int n = 1; n <= 90; ++n) {
        r.recordBlocks(1);
        ASSERT_EQ(r.displayPasses, n);
        const double exact = D * (1.0 - std::pow(0.9, n));
        const double fraction = exact - std::floor(exact);
        if (fraction < 1e-3 || fraction > 1 - 1e-3)
            continue;  // too close to a whole number for a float recurrence
        ++checked;
        EXPECT_EQ(r.s.chan2Samples[5], D - static_cast<int>(exact)) << "block " << n;
        EXPECT_EQ(r.s.chan1Samples[5], -D + static_cast<int>(exact)) << "block " << n;
    }
    EXPECT_GT(checked, 60);
    // After some tens of blocks the level has reached D - 1 or D.
    EXPECT_LE(std::abs(r.s.chan2Samples[0]), 1);
}

TEST(AcquisitionLoop, MicrophoneLeavesChannelTwoButStillRemovesItsDc)
{
    AcquisitionRig r;
    r.useMic(11025);
    r.device.setFrameSource([](std::uint64_t k) {
        return std::array<std::int16_t, 2>{static_cast<std::int16_t>(k % 2 ? 300 : -300), 0};
    });
    for (int i = 0; i < 1024; ++i)
        r.s.chan2Samples[i] = 500;
    r.loop.StartBtnClick();
    r.recordBlocks(1);
    EXPECT_EQ(r.s.chan1Samples[0], -300);
    EXPECT_EQ(r.s.chan1Samples[1], 300);
    EXPECT_EQ(r.s.chan2Samples[0], 450);  // 500 less a tenth
    r.recordBlocks(1);
    EXPECT_EQ(r.s.chan2Samples[0], 360);  // level (50 * 9 + 450) / 10 = 90
    EXPECT_EQ(r.device.openedFormat().nChannels + 0, 1);
}

TEST(AcquisitionLoop, HoldSkipsTheDisplayButKeepsTheDcLevelsMoving)
{
    AcquisitionRig r;
    r.s.displayHold = 1;
    r.device.setFrameSource([](std::uint64_t) { return std::array<std::int16_t, 2>{1000, 2000}; });
    r.loop.StartBtnClick();
    r.recordBlocks(3);
    EXPECT_EQ(r.displayPasses, 0);
    EXPECT_GT(r.s.chan1DcLevel, 500.0f);
    EXPECT_GT(r.s.chan2DcLevel, 250.0f);
    const float level = r.s.chan1DcLevel;
    r.recordBlocks(1);
    EXPECT_GT(r.s.chan1DcLevel, level);
    r.s.displayHold = 0;
    r.recordBlocks(1);
    EXPECT_EQ(r.displayPasses, 1);
}

TEST(AcquisitionLoop, LongBuffersAtTheHighRateStillYield1024Frames)
{
    AcquisitionRig r;
    r.useLine(44100);
    r.device.setFrameSource([](std::uint64_t k) {
        return std::array<std::int16_t, 2>{static_cast<std::int16_t>(k), static_cast<std::int16_t>(-k)};
    });
    r.loop.StartBtnClick();
    r.record(2047);
    EXPECT_EQ(r.displayPasses, 0);
    r.record(1);
    ASSERT_EQ(r.displayPasses, 1);
    // From the start of the buffer, less the first DC step (mean 511.5).
    EXPECT_EQ(r.s.chan2Samples[1023] - r.s.chan2Samples[0], 1023);
    EXPECT_EQ(r.s.chan2Samples[0], 0 - 51);
}

// The hand-off of every buffer as recorded: whole (at 44100 Hz both halves),
// before the DC removal, also while the display is held, and marked as
// following the one before only where no reset or new run lies between.
TEST(AcquisitionLoop, BlockHandOffSeesWholeBuffersAndTheirGaps)
{
    AcquisitionRig r;
    r.useLine(44100);
    r.s.displayHold = 1;
    r.device.setFrameSource([](std::uint64_t k) {
        return std::array<std::int16_t, 2>{static_cast<std::int16_t>(k % 30000), 1000};
    });
    struct Seen {
        std::uint32_t bytes;
        int channels;
        std::uint32_t rate;
        bool follows;
        std::int32_t firstChannel2;
        std::int32_t firstChannel1;
    };
    std::vector<Seen> seen;
    r.loop.setBlockObserver([&seen](const RecordedBlock& b) {
        const auto value = [&b](int at) {
            return static_cast<std::int16_t>(static_cast<std::uint16_t>(b.data[at] | (b.data[at + 1] << 8)));
        };
        seen.push_back({b.bytes, b.channelCount, b.sampleRate, b.followsPrevious, value(0), value(2)});
    });
    r.loop.StartBtnClick();
    r.recordBlocks(3);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(r.displayPasses, 0);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(seen[i].bytes, 8192u);
        EXPECT_EQ(seen[i].channels, 2);
        EXPECT_EQ(seen[i].rate, 44100u);
        EXPECT_EQ(seen[i].follows, i > 0);
        EXPECT_EQ(seen[i].firstChannel2, static_cast<std::int32_t>(2048 * i));  // no frame skipped
        EXPECT_EQ(seen[i].firstChannel1, 1000);                                 // before any DC removal
    }

    // A timed-out wait resets the device: neither the buffer it returns nor
    // the next one follows what came before.
    r.device.setStalled(true);
    r.tickTimeout();
    r.device.setStalled(false);
    r.recordBlocks(3);
    ASSERT_GE(seen.size(), 6u);
    EXPECT_FALSE(seen[3].follows);
    EXPECT_FALSE(seen[4].follows);
    EXPECT_TRUE(seen.back().follows);

    // A block the device marks as after a break (an overrun) does not
    // follow the one before; the block after it does.
    r.device.breakStream();
    const std::size_t before = seen.size();
    r.recordBlocks(2);
    ASSERT_GE(seen.size(), before + 2);
    EXPECT_FALSE(seen[before].follows);
    EXPECT_TRUE(seen[before + 1].follows);

    // A new run starts afresh.
    r.loop.StopBtnClick();
    r.loop.StartBtnClick();
    seen.clear();
    r.recordBlocks(2);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[0].follows);
    EXPECT_TRUE(seen[1].follows);
}

// The record keeps every frame the device delivered, at every rate and
// whether the picture is drawn, held or frozen: its breaks fall exactly on
// the buffers that do not follow (a reset, an overrun, a new run), it wraps
// round keeping the newest frames, survives a new run at its rate and
// starts afresh at another.
TEST(AcquisitionLoop, TheRecordKeepsEveryFrameAndBreaksWhereTheStreamDoes)
{
    for (const std::uint32_t rate : {11025u, 44100u, 96000u, 192000u}) {
        SCOPED_TRACE(rate);
        AcquisitionRig r;
        r.useLine(rate);
        r.s.bufferBytes = blockBufferBytes(r.s, rate);
        r.s.features.memorySeconds = 1;
        // Channel 2 (a frame's first value) counts the device's frames.
        r.device.setFrameSource([](std::uint64_t k) {
            return std::array<std::int16_t, 2>{static_cast<std::int16_t>(k % 30000),
                                               static_cast<std::int16_t>(-static_cast<int>(k % 20000))};
        });
        struct Buffer {
            std::int64_t first;
            bool follows;
        };
        std::vector<Buffer> buffers;
        r.loop.setBlockObserver([&](const RecordedBlock& b) {
            buffers.push_back({r.loop.record()->end() - b.bytes / 4, b.followsPrevious});
        });
        r.loop.StartBtnClick();
        const SampleRing* ring = r.loop.record();
        ASSERT_NE(ring, nullptr);
        EXPECT_GE(ring->capacity(), rate);
        EXPECT_LT(ring->capacity(), rate + SampleRing::kRunFrames);
        r.recordBlocks(2);
        r.s.displayHold = 1;
        r.recordBlocks(1);
        r.s.displayHold = 0;
        r.loop.freezePicture();
        r.recordBlocks(2);
        r.loop.releasePicture();
        // The observers' first buffer after the freeze does not follow the
        // last they saw; in the record it follows on.
        const std::size_t afterFreeze = buffers.size();
        r.recordBlocks(1);
        const std::int64_t unbroken = ring->end();
        EXPECT_EQ(unbroken, 6 * static_cast<std::int64_t>(r.blockFrames()));
        EXPECT_FALSE(ring->firstBreak(0, unbroken).has_value());
        for (std::int64_t k = 0; k < unbroken; ++k) {
            ASSERT_EQ(ring->at(2, k), static_cast<float>(k % 30000)) << k;
            ASSERT_EQ(ring->at(1, k), static_cast<float>(-(k % 20000))) << k;
        }

        r.device.setStalled(true);
        r.tickTimeout();
        r.device.setStalled(false);
        r.recordBlocks(2);
        r.device.breakStream();
        r.recordBlocks(2);
        r.loop.StopBtnClick();
        r.loop.StartBtnClick();
        EXPECT_EQ(r.loop.record(), ring) << "a new run at the same rate keeps the record";
        r.recordBlocks(2);
        int breakCount = 0;
        for (std::size_t i = 1; i + 1 < buffers.size(); ++i) {
            const Buffer& b = buffers[i];
            const std::int64_t next = buffers[i + 1].first;
            if (b.first == next)
                continue;  // the device returned it empty: the next one does not follow
            const bool breaks = !b.follows && i != afterFreeze;
            EXPECT_EQ(ring->firstBreak(b.first, next) == b.first, breaks) << "buffer " << i;
            EXPECT_FALSE(ring->firstBreak(b.first + 1, next).has_value()) << "buffer " << i;
            breakCount += breaks ? 1 : 0;
        }
        EXPECT_EQ(breakCount, 3) << "the reset, the overrun and the new run";
        // Enough to wrap round the ring past the new run's first frames.
        const std::int64_t newest = ring->end();
        r.recordBlocks(static_cast<int>(ring->capacity() / r.blockFrames()) + 2);
        ASSERT_GT(ring->oldest(), newest);
        // Across the wrapped record the device's count runs on frame by frame
        // except into a break.
        for (std::int64_t k = ring->oldest() + 1; k < ring->end(); ++k) {
            if (ring->firstBreak(k, k + 1).has_value())
                continue;
            ASSERT_EQ(std::fmod(ring->at(2, k - 1) + 1.0f, 30000.0f), ring->at(2, k)) << k;
        }

        r.loop.StopBtnClick();
        r.useLine(rate == 11025u ? 22050u : 11025u);
        r.loop.StartBtnClick();
        EXPECT_EQ(r.loop.record()->end(), 0) << "another rate starts the record afresh";
        EXPECT_EQ(r.loop.record()->rate(), r.s.sampleRate);
    }
}

// A frozen picture (a command at work while a recording runs): the device
// records on without a reset or a close, blocks keep moving the DC levels,
// but nothing is drawn or handed off until the last release, and the first
// block handed off then does not follow the last one before the freeze.
TEST(AcquisitionLoop, AFrozenPictureRecordsOnButDrawsAndHandsOffNothing)
{
    AcquisitionRig r;
    r.device.setFrameSource([](std::uint64_t) { return std::array<std::int16_t, 2>{1000, 2000}; });
    std::vector<bool> follows;
    r.loop.setBlockObserver([&follows](const RecordedBlock& b) { follows.push_back(b.followsPrevious); });
    r.loop.StartBtnClick();
    r.recordBlocks(2);
    ASSERT_EQ(r.displayPasses, 2);
    r.device.clearCallLog();

    r.loop.freezePicture();
    r.loop.freezePicture();  // a command inside another's dialog
    const float level = r.s.chan1DcLevel;
    r.recordBlocks(3);
    r.loop.releasePicture();
    r.recordBlocks(1);
    EXPECT_EQ(r.displayPasses, 2);
    EXPECT_EQ(follows.size(), 2u);
    EXPECT_GT(r.s.chan1DcLevel, level);
    EXPECT_TRUE(r.loop.running());
    for (WaveCall call : r.device.calls())
        EXPECT_TRUE(call != WaveCall::Reset && call != WaveCall::Close && call != WaveCall::Open);

    r.loop.releasePicture();
    r.loop.releasePicture();  // one release too many changes nothing
    r.recordBlocks(2);
    EXPECT_EQ(r.displayPasses, 4);
    EXPECT_EQ(follows, (std::vector<bool>{false, true, false, true}));
    r.loop.freezePicture();
    r.recordBlocks(1);
    EXPECT_EQ(r.displayPasses, 4) << "one extra release must not leave the next freeze without effect";
}

}  // namespace
}  // namespace varmolen
