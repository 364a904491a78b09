#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

#include "audio/AlsaDeviceList.h"
#include "audio/GeneratorWaveInput.h"
#include "audio/StreamWaveInput.h"
#include "tests/audio/StuckSource.h"

namespace varmolen {
namespace {

WAVEFORMATEX format(std::uint16_t channels, std::uint32_t rate)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.nBlockAlign = static_cast<std::uint16_t>(channels * 2);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    f.wBitsPerSample = 16;
    return f;
}

void arm(WAVEHDR& h, std::uint8_t* data, std::uint32_t length)
{
    h.lpData = data;
    h.dwBufferLength = length;
    h.dwFlags = 0;
    h.dwLoops = 0;
}

bool waitDone(const WAVEHDR& h, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!(h.dwFlags.load(std::memory_order_acquire) & WHDR_DONE)) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::int16_t valueAt(const std::uint8_t* p) { return static_cast<std::int16_t>(p[0] | (p[1] << 8)); }

TEST(Generator, SineAndSquareHaveTheirFrequenciesAndLevels)
{
    for (std::uint32_t rate : {11025u, 22050u, 44100u}) {
        int sineCrossings = 0, squareChanges = 0, sinePeak = 0;
        for (std::uint64_t k = 1; k <= rate; ++k) {
            const int s0 = generatorSine(k - 1, rate), s1 = generatorSine(k, rate);
            sinePeak = std::max(sinePeak, std::abs(s1));
            if ((s0 < 0) != (s1 < 0))
                ++sineCrossings;
            const int q0 = generatorSquare(k - 1, rate), q1 = generatorSquare(k, rate);
            EXPECT_EQ(std::abs(q1), 8192);
            if (q0 != q1)
                ++squareChanges;
        }
        EXPECT_NEAR(sineCrossings, 2000, 2) << rate;  // two per cycle of 1 kHz
        EXPECT_NEAR(squareChanges, 500, 1) << rate;   // two per cycle of 250 Hz
        EXPECT_NEAR(sinePeak, 16384, 200) << rate;
    }
}

TEST(Generator, RecordsPacedByTheClockWithTheCalibratorInBothChannels)
{
    GeneratorWaveInput input;
    ASSERT_EQ(input.waveInGetNumDevs(), 1u);
    WAVEINCAPSA caps{};
    ASSERT_EQ(input.waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_STREQ(caps.szPname, "Signal generator");

    std::atomic<int> notes{0};
    input.setNotifier([&] { ++notes; });
    const WAVEFORMATEX f = format(2, 44100);
    HWAVEIN h = 0;
    ASSERT_EQ(input.waveInOpen(nullptr, 0, &f, 0, 0, WAVE_FORMAT_QUERY), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInOpen(&h, 0, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    std::vector<std::uint8_t> a(8192), b(8192);
    WAVEHDR ha, hb;
    arm(ha, a.data(), 8192);
    arm(hb, b.data(), 8192);
    ASSERT_EQ(input.waveInPrepareHeader(h, &ha, sizeof ha), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInPrepareHeader(h, &hb, sizeof hb), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInAddBuffer(h, &ha, sizeof ha), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInAddBuffer(h, &hb, sizeof hb), MMSYSERR_NOERROR);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(input.waveInStart(h), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitDone(ha, std::chrono::seconds(2)));
    ASSERT_TRUE(waitDone(hb, std::chrono::seconds(2)));
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    // 4096 frames at 44100 Hz last 93 ms: a device that delivered at once
    // would show the instrument a meaningless time base.
    EXPECT_GT(seconds, 0.085);
    EXPECT_EQ(ha.dwBytesRecorded.load(), 8192u);
    EXPECT_GT(notes.load(), 4);
    for (std::uint64_t k = 0; k < 2048; ++k) {
        ASSERT_EQ(valueAt(&a[4 * k]), generatorSquare(k, 44100)) << k;
        ASSERT_EQ(valueAt(&a[4 * k + 2]), generatorSine(k, 44100)) << k;
        ASSERT_EQ(valueAt(&b[4 * k + 2]), generatorSine(2048 + k, 44100)) << k;
    }
    MMTIME t{};
    ASSERT_EQ(input.waveInGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
    EXPECT_EQ(t.cb, 16384u);  // nothing is counted while no buffer is queued

    ASSERT_EQ(input.waveInReset(h), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInUnprepareHeader(h, &ha, sizeof ha), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInUnprepareHeader(h, &hb, sizeof hb), MMSYSERR_NOERROR);
    ASSERT_EQ(input.waveInClose(h), MMSYSERR_NOERROR);
}

TEST(StreamWaveInput, ResetReturnsQueuedBuffersDoneWithWhatTheyHold)
{
    GeneratorWaveInput input;
    const WAVEFORMATEX f = format(1, 11025);
    HWAVEIN h = 0;
    ASSERT_EQ(input.waveInOpen(&h, 0, &f, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    std::vector<std::uint8_t> a(20000), b(20000);
    WAVEHDR ha, hb;
    arm(ha, a.data(), 20000);
    arm(hb, b.data(), 20000);
    input.waveInPrepareHeader(h, &ha, sizeof ha);
    input.waveInPrepareHeader(h, &hb, sizeof hb);
    input.waveInAddBuffer(h, &ha, sizeof ha);
    input.waveInAddBuffer(h, &hb, sizeof hb);
    // Unpreparing or closing while the device holds a buffer is refused.
    EXPECT_EQ(input.waveInUnprepareHeader(h, &ha, sizeof ha), WAVERR_STILLPLAYING);
    EXPECT_EQ(input.waveInClose(h), WAVERR_STILLPLAYING);
    input.waveInStart(h);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
    ASSERT_EQ(input.waveInReset(h), MMSYSERR_NOERROR);
    EXPECT_TRUE(ha.dwFlags & WHDR_DONE);
    EXPECT_TRUE(hb.dwFlags & WHDR_DONE);
    const std::uint32_t held = ha.dwBytesRecorded;
    EXPECT_GT(held, 0u);
    EXPECT_LT(held, 20000u);
    EXPECT_EQ(held % 2, 0u);
    EXPECT_EQ(hb.dwBytesRecorded.load(), 0u);
    MMTIME t{};
    input.waveInGetPosition(h, &t, sizeof t);
    EXPECT_EQ(t.cb, 0u);
    // Nothing is written after the reset.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(ha.dwBytesRecorded.load(), held);
    EXPECT_EQ(input.waveInClose(h), MMSYSERR_NOERROR);
}

TEST(StreamWaveInput, RefusesWhatItCannotDoWithResultCodes)
{
    GeneratorWaveInput input;
    WAVEFORMATEX f = format(2, 11025);
    HWAVEIN h = 0;
    EXPECT_EQ(input.waveInOpen(&h, 1, &f, 0, 0, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(input.waveInOpen(&h, 0, &f, 1234, 0, 0), MMSYSERR_INVALFLAG);
    WAVEFORMATEX odd = format(2, 48000);
    EXPECT_EQ(input.waveInOpen(&h, 0, &odd, 0, 0, WAVE_FORMAT_QUERY), WAVERR_BADFORMAT);
    WAVEFORMATEX wrongRate = f;
    wrongRate.nAvgBytesPerSec = 1;
    EXPECT_EQ(input.waveInOpen(&h, 0, &wrongRate, 0, 0, 0), WAVERR_BADFORMAT);
    EXPECT_EQ(h, 0u);
    WAVEINCAPSA caps{};
    EXPECT_EQ(input.waveInGetDevCapsA(3, &caps, sizeof caps), MMSYSERR_BADDEVICEID);

    ASSERT_EQ(input.waveInOpen(&h, 0, &f, 0, 0, 0), MMSYSERR_NOERROR);
    HWAVEIN second = 0;
    EXPECT_EQ(input.waveInOpen(&second, 0, &f, 0, 0, 0), MMSYSERR_ALLOCATED);
    WAVEHDR unprepared;
    std::uint8_t data[64];
    arm(unprepared, data, 64);
    EXPECT_EQ(input.waveInAddBuffer(h, &unprepared, sizeof unprepared), WAVERR_UNPREPARED);
    EXPECT_EQ(input.waveInStart(h + 1), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(input.waveInPrepareHeader(h, &unprepared, 31), MMSYSERR_INVALPARAM);
    EXPECT_EQ(input.waveInClose(h), MMSYSERR_NOERROR);
    EXPECT_EQ(input.waveInStart(h), MMSYSERR_INVALHANDLE);
}

// A source whose device disappears after a few chunks.
class VanishingSource : public CaptureSource {
public:
    MMRESULT query(const WAVEFORMATEX&) override { return MMSYSERR_NOERROR; }
    MMRESULT open(const WAVEFORMATEX&) override { return MMSYSERR_NOERROR; }
    bool start() override { return true; }
    long read(std::int16_t* dst, std::size_t frames, int) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (++reads > 3)
            return -1;
        std::memset(dst, 0, frames * 4);
        return static_cast<long>(frames);
    }
    void stop() override {}
    void close() override {}
    int reads = 0;
};

TEST(StreamWaveInput, VanishedDeviceFailsLaterCallsButCanBeReleased)
{
    StreamWaveInput input({{"Vanishing", [] { return std::make_unique<VanishingSource>(); }}});
    std::atomic<int> notes{0};
    input.setNotifier([&] { ++notes; });
    const WAVEFORMATEX f = format(2, 44100);
    HWAVEIN h = 0;
    ASSERT_EQ(input.waveInOpen(&h, 0, &f, 0, 0, 0), MMSYSERR_NOERROR);
    std::vector<std::uint8_t> a(20000);
    WAVEHDR ha;
    arm(ha, a.data(), 20000);
    input.waveInPrepareHeader(h, &ha, sizeof ha);
    input.waveInAddBuffer(h, &ha, sizeof ha);
    input.waveInStart(h);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!input.deviceFailed() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(input.deviceFailed());
    EXPECT_GE(notes.load(), 4);  // three chunks and the failure
    MMTIME t{};
    EXPECT_NE(input.waveInGetPosition(h, &t, sizeof t), MMSYSERR_NOERROR);
    EXPECT_NE(input.waveInStart(h), MMSYSERR_NOERROR);
    EXPECT_EQ(ha.dwFlags & WHDR_DONE, 0u);  // never completed
    EXPECT_EQ(input.waveInReset(h), MMSYSERR_NOERROR);
    EXPECT_EQ(ha.dwBytesRecorded.load(), 3u * (44100 / kChunksPerSecond) * 4);
    EXPECT_EQ(input.waveInUnprepareHeader(h, &ha, sizeof ha), MMSYSERR_NOERROR);
    EXPECT_EQ(input.waveInClose(h), MMSYSERR_NOERROR);
}

TEST(StreamWaveInput, CloseGivesUpOnAStuckSourceWithinItsBoundAndTheServiceGoesOn)
{
    using clock = std::chrono::steady_clock;
    for (const bool spins : {false, true}) {
        SCOPED_TRACE(spins ? "a source that spins" : "a source that never returns");
        auto driver = std::make_shared<test::StuckDriver>();
        {
            StreamWaveInput input({{"Stuck", [driver, spins] { return std::make_unique<test::StuckSource>(driver, spins); }},
                                   generatorDevice()});
            const WAVEFORMATEX f = format(2, 11025);
            HWAVEIN h = 0;
            ASSERT_EQ(input.waveInOpen(&h, 0, &f, 0, 0, 0), MMSYSERR_NOERROR);
            std::vector<std::uint8_t> a(4096);
            WAVEHDR ha;
            arm(ha, a.data(), 4096);
            input.waveInPrepareHeader(h, &ha, sizeof ha);
            input.waveInAddBuffer(h, &ha, sizeof ha);
            input.waveInStart(h);
            const auto entered = clock::now() + std::chrono::seconds(2);
            while (!driver->inRead && clock::now() < entered)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ASSERT_TRUE(driver->inRead);

            const auto t0 = clock::now();
            EXPECT_EQ(input.waveInReset(h), MMSYSERR_NOERROR);
            EXPECT_TRUE(ha.dwFlags & WHDR_DONE);
            EXPECT_EQ(input.waveInUnprepareHeader(h, &ha, sizeof ha), MMSYSERR_NOERROR);
            EXPECT_EQ(input.waveInClose(h), MMSYSERR_ERROR);  // reported, not waited for
            const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(clock::now() - t0).count();
            ::testing::Test::RecordProperty(spins ? "close_ms_spinning" : "close_ms_stuck", static_cast<int>(took));
            EXPECT_GE(took, kCloseWaitMs - 5);
            EXPECT_LT(took, kCloseWaitMs + 250);
            EXPECT_EQ(driver->closed, 0) << "the source is released by its own thread, not under it";

            // The service opens and records again, here from the generator.
            std::vector<std::uint8_t> b(4096);
            WAVEHDR hb;
            arm(hb, b.data(), 4096);
            ASSERT_EQ(input.waveInOpen(&h, 1, &f, 0, 0, 0), MMSYSERR_NOERROR);
            input.waveInPrepareHeader(h, &hb, sizeof hb);
            input.waveInAddBuffer(h, &hb, sizeof hb);
            input.waveInStart(h);
            EXPECT_TRUE(waitDone(hb, std::chrono::seconds(2)));
            EXPECT_EQ(input.waveInReset(h), MMSYSERR_NOERROR);
            EXPECT_EQ(input.waveInUnprepareHeader(h, &hb, sizeof hb), MMSYSERR_NOERROR);
            EXPECT_EQ(input.waveInClose(h), MMSYSERR_NOERROR);
        }
        // The service is gone; the stuck thread, once let go, ends by itself.
        driver->release();
        const auto end = clock::now() + std::chrono::seconds(2);
        while (driver->closed < 1 && clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(driver->closed, 1);
    }
}

// A counting recording tap.
struct TapCounter : RecordingTap {
    void deliver(const std::int16_t*, std::size_t count, bool) override { frames += count; }
    void deviceFailed() override {}
    void formatChanged() override {}
    std::atomic<std::uint64_t> frames{0};
};

TEST(StreamWaveInput, ACaptureThreadLeftStuckAtCloseNeverHandsARecordingAnotherChunk)
{
    auto driver = std::make_shared<test::StuckDriver>();
    driver->framesOnRelease = 220;
    auto tap = std::make_shared<TapCounter>();
    {
        StreamWaveInput input({{"Stuck", [driver] { return std::make_unique<test::StuckSource>(driver, false); }}});
        const WAVEFORMATEX f = format(2, 11025);
        ASSERT_TRUE(input.setRecordingTap(tap, 0, f));
        HWAVEIN h = 0;
        ASSERT_EQ(input.waveInOpen(&h, 0, &f, 0, 0, 0), MMSYSERR_NOERROR);
        input.waveInStart(h);
        const auto entered = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!driver->inRead && std::chrono::steady_clock::now() < entered)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        input.waveInReset(h);
        ASSERT_EQ(input.waveInClose(h), MMSYSERR_ERROR);
        // The recording goes on with the next open of the same device; the
        // abandoned thread's late chunk must not land in it.
        driver->release();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (driver->closed < 1 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(driver->closed, 1);
    }
    EXPECT_EQ(tap->frames.load(), 0u);
}

TEST(StreamWaveInput, ProductNamesAreCutTo31Characters)
{
    StreamWaveInput input({{"An unusually long capture device description", nullptr}});
    WAVEINCAPSA caps{};
    ASSERT_EQ(input.waveInGetDevCapsA(0, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(caps.szPname), "An unusually long capture devic");
}

TEST(AlsaDeviceList, KeepsDefaultThenCardCaptureDevicesThroughThePlugLayer)
{
    const std::vector<AlsaHint> hints{
        {"null", "Discard all samples", ""},
        {"lavrate", "Rate Converter Plugin Using Libav/FFmpeg Library", ""},
        {"samplerate", "Rate Converter Plugin Using Samplerate Library", ""},
        {"speexrate", "Rate Converter Plugin Using Speex Resampler", ""},
        {"jack", "JACK Audio Connection Kit", ""},
        {"oss", "Open Sound System", ""},
        {"pulse", "PulseAudio Sound Server", ""},
        {"upmix", "Plugin for channel upmix (4,6,8)", ""},
        {"vdownmix", "Plugin for channel downmix (stereo) with a simple spacialization", ""},
        {"hw:CARD=PCH,DEV=0", "HDA Intel PCH, ALC3246 Analog\nFront microphone", ""},
        {"hw:CARD=PCH,DEV=3", "HDA Intel PCH, HDMI 0", "Output"},
        {"dmix:CARD=PCH,DEV=0", "HDA Intel PCH, ALC3246 Analog", "Output"},
        {"dsnoop:CARD=PCH,DEV=0", "HDA Intel PCH, ALC3246 Analog", "Input"},
        {"surround51:CARD=PCH,DEV=0", "HDA Intel PCH, ALC3246 Analog", "Output"},
        {"hdmi:CARD=PCH,DEV=0", "HDA Intel PCH, HDMI 0", "Output"},
        {"hw:CARD=Mic,DEV=0", "USB Microphone With An Extremely Long Name, USB Audio", "Input"},
        {"default", "Default ALSA Output (currently PulseAudio Sound Server)", ""},
    };
    const std::vector<AlsaCaptureDevice> devices = selectCaptureDevices(hints);
    ASSERT_EQ(devices.size(), 3u);
    EXPECT_EQ(devices[0].pcmName, "default");
    EXPECT_EQ(devices[1].pcmName, "plughw:CARD=PCH,DEV=0");
    EXPECT_EQ(devices[1].productName, "HDA Intel PCH, ALC3246 Analog Front microphone");
    EXPECT_EQ(devices[2].pcmName, "plughw:CARD=Mic,DEV=0");
    EXPECT_EQ(devices[2].productName, "USB Microphone With An Extremely Long Name, USB Audio");

    EXPECT_TRUE(selectCaptureDevices({{"null", "Discard all samples", ""}}).empty());
}

}  // namespace
}  // namespace varmolen
