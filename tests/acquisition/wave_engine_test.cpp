#include <gtest/gtest.h>

#include "AcquisitionRig.h"

namespace varmolen {
namespace {

using Calls = std::vector<WaveCall>;

TEST(WaveEngine, FillWaveFormatDescribesTheRecordingAndArmsBothHeaders)
{
    AcquisitionRig r;
    r.useLine(22050);
    r.s.headerA.dwFlags = WHDR_DONE;
    r.s.headerA.dwBytesRecorded = 77;
    r.engine.FillWaveFormat();
    const WAVEFORMATEX& f = r.s.waveFormat;
    EXPECT_EQ(+f.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(+f.nChannels, 2);
    EXPECT_EQ(+f.nSamplesPerSec, 22050u);
    EXPECT_EQ(+f.nAvgBytesPerSec, 22050u * 4);
    EXPECT_EQ(+f.nBlockAlign, 4);
    EXPECT_EQ(+f.wBitsPerSample, 16);
    EXPECT_EQ(+f.cbSize, 4096);
    EXPECT_EQ(r.s.headerA.lpData, r.s.bufferA.get());
    EXPECT_EQ(r.s.headerB.lpData, r.s.bufferB.get());
    EXPECT_EQ(r.s.headerA.dwBufferLength, 4096u);
    EXPECT_EQ(r.s.headerA.dwFlags.load(), 0u);
    EXPECT_EQ(r.s.headerA.dwBytesRecorded.load(), 77u);  // arming leaves it alone

    // A new rate reaches the record at the next fill.
    r.useMic(44100);
    r.engine.FillWaveFormat();
    EXPECT_EQ(+f.nSamplesPerSec, 44100u);
    EXPECT_EQ(+f.nAvgBytesPerSec, 44100u * 2);
    EXPECT_EQ(r.s.headerB.dwBufferLength, 4096u);
}

TEST(WaveEngine, HeaderLengthNeverExceedsTheRecordingBlocks)
{
    AcquisitionRig r;
    r.s.bufferBytes = 60000;
    r.engine.FillWaveFormat();
    EXPECT_EQ(r.s.headerA.dwBufferLength, static_cast<std::uint32_t>(kRecordBufferBytes));
    r.engine.RearmHeaderB();
    EXPECT_EQ(r.s.headerB.dwBufferLength, static_cast<std::uint32_t>(kRecordBufferBytes));
}

TEST(WaveEngine, OpenQueriesFirstThenOpensTheChosenDevice)
{
    AcquisitionRig r;
    r.s.waveDeviceId = 1;
    r.engine.FillWaveFormat();
    r.engine.OpenWaveInput();
    EXPECT_EQ(r.device.calls(), (Calls{WaveCall::Query, WaveCall::Open}));
    EXPECT_TRUE(r.device.isOpen());
    EXPECT_EQ(r.device.openedDevice(), 1u);
    EXPECT_NE(r.s.waveInHandle, 0u);
    EXPECT_TRUE(r.host.messages.empty());
}

TEST(WaveEngine, FailuresShowTheirMessagesAndEndTheApplicationOnlyWhileRunning)
{
    AcquisitionRig r;
    r.engine.FillWaveFormat();
    r.engine.OpenWaveInput();
    r.device.failCall(WaveCall::GetPosition);
    r.s.stopped = 1;
    r.engine.ReadWavePosition();
    ASSERT_EQ(r.host.messages.size(), 1u);
    EXPECT_EQ(r.host.messages[0].text, "Error getting the byte position");
    EXPECT_EQ(r.host.messages[0].caption, "Wave Device Message");
    EXPECT_EQ(r.host.endRequests, 0);
    EXPECT_FALSE(r.engine.failureEndedRun());

    r.s.positionBytes = 1234;
    r.s.stopped = 0;
    r.engine.ReadWavePosition();
    EXPECT_EQ(r.host.endRequests, 1);
    EXPECT_TRUE(r.engine.failureEndedRun());
    EXPECT_EQ(r.s.positionBytes, 1234u);  // a failed query keeps the last count
    EXPECT_EQ(r.s.stopped, 0);            // no failure changes the stop flag
}

TEST(WaveEngine, ReleaseRunsEveryStepAndReportsEachFailure)
{
    AcquisitionRig r;
    r.engine.FillWaveFormat();
    r.engine.OpenWaveInput();
    r.device.clearCallLog();
    r.device.failEverything(MMSYSERR_ERROR);
    r.s.stopped = 1;
    r.engine.ReleaseWaveInput();
    EXPECT_EQ(r.device.calls(), (Calls{WaveCall::Reset, WaveCall::Unprepare, WaveCall::Unprepare, WaveCall::Close}));
    EXPECT_EQ(r.host.texts(),
              (std::vector<std::string>{"Error Resetting the input wave device", "Error unpreparing the _a Header",
                                        "Error unpreparing the _b Header", "Error closing the input wave device"}));
    EXPECT_EQ(r.host.endRequests, 0);
    EXPECT_EQ(r.s.waveInHandle, 0u);
}

TEST(WaveEngine, ReleaseWithoutAnOpenDeviceDoesNothing)
{
    AcquisitionRig r;
    r.engine.ReleaseWaveInput();
    EXPECT_TRUE(r.device.calls().empty());
    EXPECT_TRUE(r.host.messages.empty());
}

TEST(WaveEngine, WaitReturnsTheCountOnceTheDeviceMarksTheBlockDone)
{
    AcquisitionRig r;
    r.engine.FillWaveFormat();
    r.engine.OpenWaveInput();
    r.engine.PrepareHeaderA();
    r.engine.QueueBufferA();
    r.engine.StartWaveInput();
    EXPECT_FALSE(r.engine.WaitBufferA().has_value());
    r.device.advanceFrames(1000);
    EXPECT_FALSE(r.engine.WaitBufferA().has_value());
    r.device.advanceFrames(24);
    EXPECT_EQ(r.engine.WaitBufferA(), std::optional<std::uint32_t>(4096));
}

TEST(WaveEngine, TimedOutWaitResetsRestartsAndReturnsWhatWasRecorded)
{
    AcquisitionRig r;
    r.engine.FillWaveFormat();
    r.engine.OpenWaveInput();
    r.engine.PrepareHeaderA();
    r.engine.QueueBufferA();
    r.engine.StartWaveInput();
    r.device.advanceFrames(100);
    r.device.clearCallLog();
    r.s.bufferTimedOut = 1;
    EXPECT_EQ(r.engine.WaitBufferA(), std::optional<std::uint32_t>(400));
    EXPECT_EQ(r.device.calls(), (Calls{WaveCall::Reset, WaveCall::Start}));
    EXPECT_EQ(r.device.position(), 0u);
    EXPECT_TRUE(r.device.isStarted());

    // A reset that fails is reported, and the device is still started.
    r.s.stopped = 1;
    r.device.failCall(WaveCall::Reset);
    r.engine.RearmHeaderA();
    r.engine.PrepareHeaderA();
    r.engine.QueueBufferA();
    r.device.clearCallLog();
    EXPECT_EQ(r.engine.WaitBufferA(), std::optional<std::uint32_t>(0));
    EXPECT_EQ(r.device.calls(), (Calls{WaveCall::Reset, WaveCall::Start}));
    EXPECT_EQ(r.host.texts(), std::vector<std::string>{"Error Resetting the input wave device"});
}

}  // namespace
}  // namespace varmolen
